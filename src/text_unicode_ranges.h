// The generated table behind text::is_alphabetic and text::is_alphanumeric.
#pragma once

#include <cstddef>
#include <cstdint>

namespace text::unicode_ranges {

inline constexpr std::uint8_t kAlphabetic = 1;
inline constexpr std::uint8_t kNumeric = 2;

// Code points first..last (inclusive) share `flags`; ranges are sorted,
// disjoint, and cover only code points with at least one flag.
struct CodePointRange {
    char32_t first;
    char32_t last;
    std::uint8_t flags;
};

extern const CodePointRange kRanges[];
extern const std::size_t kRangeCount;

}  // namespace text::unicode_ranges
