#include "compression.h"

#include "filters/filters.h"
#include "text.h"

namespace compression {

std::string compress_normalized_text(std::string&& normalized, std::uint64_t max_blank_lines) {
    std::string current = filters::apply_filter_pipeline_excluding(std::move(normalized), {});
    text::collapse_blank_lines_in_place(current, max_blank_lines);
    return current;
}

std::string compress_text(std::string_view input, std::uint64_t max_blank_lines) {
    return compress_normalized_text(text::normalize_and_trim_trailing_whitespace(input), max_blank_lines);
}

}  // namespace compression
