#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace compression {

// The whole request: normalise, run the filter pipeline, collapse blank
// lines. Never fails.
std::string compress_text(std::string_view input, std::uint64_t max_blank_lines);

// The request after its first step, for a caller that has normalised the
// text itself (text::normalize_and_trim_trailing_whitespace) on the way in.
std::string compress_normalized_text(std::string&& normalized, std::uint64_t max_blank_lines);

}  // namespace compression
