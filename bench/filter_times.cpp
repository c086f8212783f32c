// Times each filter of the table alone on one file, the way the pipeline
// calls it (normalised text, lines found once), to show what each filter's
// decline or summary costs:
//
//   filter_times FILE [RUNS [NAME]]
//
// Prints one row per filter: its name, the best time in milliseconds over
// RUNS runs (default 3), and whether it declined or would be skipped by its
// signs; a first row times the first look itself. NAME times that filter
// only (handy under a profiler), or the first look alone as "first-look".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "filters/filters.h"
#include "text.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: filter_times FILE [RUNS [NAME]]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "filter_times: cannot read %s\n", argv[1]);
        return 1;
    }
    std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::string_view only = argc > 3 ? argv[3] : "";
    text::normalize_and_trim_trailing_whitespace_in_place(input);
    const text::LineIndex lines(input);
    const auto time_look = [&] {
        double best = 1e300;
        for (int r = 0; r < runs; ++r) {
            const auto start = std::chrono::steady_clock::now();
            const filters::FirstLook look = filters::first_look(input);
            const auto end = std::chrono::steady_clock::now();
            best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
        }
        return best;
    };
    if (only == "first-look" || only.empty()) std::printf("%-20s %10.2f ms\n", "first-look", time_look());
    const filters::FirstLook look = filters::first_look(input);
    for (const filters::FilterEntry& entry : filters::filter_table()) {
        if (!only.empty() && entry.name != only) continue;
        double best = 1e300;
        bool declined = true;
        for (int r = 0; r < runs; ++r) {
            const auto start = std::chrono::steady_clock::now();
            const filters::Attempt result = entry.filter(filters::FilterInput{input, lines, look});
            const auto end = std::chrono::steady_clock::now();
            best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
            declined = !result.has_value();
        }
        std::printf("%-20s %10.2f ms  %s%s\n", std::string(entry.name).c_str(), best,
                    declined ? "declined" : "accepted", look.holds_all(entry.signs) ? "" : ", skipped by its signs");
    }
    return 0;
}
