#include "compression.h"

#include "filters/filters.h"
#include "text.h"

namespace compression {

std::string compress_owned_text(std::string&& input, std::uint64_t max_blank_lines) {
    std::string current = std::move(input);
    text::normalize_and_trim_trailing_whitespace_in_place(current);
    current = filters::apply_filter_pipeline_excluding(std::move(current), {});
    text::collapse_blank_lines_in_place(current, max_blank_lines);
    return current;
}

std::string compress_text(std::string_view input, std::uint64_t max_blank_lines) {
    return compress_owned_text(std::string(input), max_blank_lines);
}

}  // namespace compression
