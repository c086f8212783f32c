#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace compression {

// The whole request: normalise, run the filter pipeline, collapse blank
// lines. Never fails.
std::string compress_text(std::string_view input, std::uint64_t max_blank_lines);

}  // namespace compression
