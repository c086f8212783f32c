#include "compression.h"

#include "filters/filters.h"
#include "text.h"

namespace compression {

std::string compress_text(std::string_view input, std::uint64_t max_blank_lines) {
    std::string filtered =
        filters::apply_filter_pipeline_excluding(text::normalize_and_trim_trailing_whitespace(input), {});
    return text::collapse_blank_lines(filtered, max_blank_lines);
}

}  // namespace compression
