// The portable kernels, one byte at a time: the reference for every vector
// version, and what a vector version runs near the end of a text, where a
// whole vector would read past it.
#pragma once

#include <cstddef>
#include <string_view>

#include "scan/scan.h"

namespace scan::portable {

Hits byte_hits(const char* s, std::size_t n, char c, std::size_t from);
std::size_t count_byte(const char* s, std::size_t n, char c);
Hits pair_hits(const char* s, std::size_t n, const Pair& pair, std::size_t from);
std::size_t find_ignore_case(const char* s, std::size_t n, std::string_view needle, std::size_t from);
Hits class_hits(const char* s, std::size_t n, const ByteClasses& classes, std::size_t from);
ClassMasks classify(const char* s, std::size_t n, std::size_t at, const ByteClasses& classes);
void classify_run(const char* s, std::size_t n, std::size_t at, const ByteClasses& classes, ClassMasks* out,
                  std::size_t blocks);
Hits place_hits(const char* s, std::size_t n, const PlaceTable& table, std::size_t from);
GroupMasks place_groups(const char* s, std::size_t n, std::size_t at, const PlaceTable& table);

// Whether the bytes at `at` equal `needle` from its third byte on, ASCII
// case folded (the first two have matched).
inline bool rest_equals_ignore_case(const char* at, std::string_view needle) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (std::size_t k = 2; k < needle.size(); ++k)
        if (lower(at[k]) != lower(needle[k])) return false;
    return true;
}

}  // namespace scan::portable
