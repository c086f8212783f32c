// Runs the whole pipeline over each input twice, with the skipping by signs
// on and off, and fails when the two outputs differ anywhere: a family's
// declared sign that is not truly necessary shows as a difference.
//
//   sign_check PATH...
//
// A directory stands for every NAME.in under it (the end-to-end cases), a
// file for itself (a bench input). Each input is normalised as the request
// normalises it. Prints each input that differs and a count; exits 1 when
// one differs or no input was read.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "filters/filters.h"
#include "text.h"

namespace {

std::vector<std::filesystem::path> inputs_of(const std::filesystem::path& path) {
    std::vector<std::filesystem::path> found;
    if (!std::filesystem::is_directory(path)) {
        found.push_back(path);
        return found;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
        if (entry.is_regular_file() && entry.path().extension() == ".in") found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: sign_check PATH...\n");
        return 2;
    }
    std::size_t read = 0, differ = 0;
    for (int a = 1; a < argc; ++a)
        for (const std::filesystem::path& path : inputs_of(argv[a])) {
            std::ifstream in(path, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "sign_check: cannot read %s\n", path.c_str());
                ++differ;
                continue;
            }
            std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            ++read;
            // The request reads only valid UTF-8 (an exit-status case may
            // hold other bytes): such input never reaches the pipeline.
            if (!text::is_valid_utf8(input)) continue;
            text::normalize_and_trim_trailing_whitespace_in_place(input);
            const std::string on =
                filters::apply_filter_pipeline_excluding(std::string(input), {}, filters::Skipping::on);
            const std::string off =
                filters::apply_filter_pipeline_excluding(std::move(input), {}, filters::Skipping::off);
            if (on != off) {
                std::printf("DIFF %s: the skipping by signs changes the output\n", path.c_str());
                ++differ;
            }
        }
    std::printf("sign_check: %zu inputs, %zu differ\n", read, differ);
    return read > 0 && differ == 0 ? 0 : 1;
}
