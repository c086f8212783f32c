// Times each filter of the table alone on one file, the way the pipeline
// calls it (normalised text, lines found once), to show what each filter's
// decline or summary costs:
//
//   filter_times FILE [RUNS [NAME]]
//
// Prints one row per filter: its name, the best time in milliseconds over
// RUNS runs (default 3), and whether it declined. NAME times that filter
// only (handy under a profiler).
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
    for (const filters::FilterEntry& entry : filters::filter_table()) {
        if (!only.empty() && entry.name != only) continue;
        double best = 1e300;
        bool declined = true;
        for (int r = 0; r < runs; ++r) {
            const auto start = std::chrono::steady_clock::now();
            const filters::Attempt result = entry.filter(filters::FilterInput{input, lines});
            const auto end = std::chrono::steady_clock::now();
            best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
            declined = !result.has_value();
        }
        std::printf("%-20s %10.2f ms  %s\n", std::string(entry.name).c_str(), best, declined ? "declined" : "accepted");
    }
    return 0;
}
