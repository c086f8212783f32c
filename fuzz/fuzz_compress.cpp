// libFuzzer entry: any valid UTF-8 input through the whole request, with
// the result checked against the size rule, and through the pipeline a
// second time with the skipping by signs off: a family's declared sign that
// is not truly necessary changes the output, and the run aborts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "compression.h"
#include "filters/filters.h"
#include "text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    if (!text::is_valid_utf8(input)) return 0;
    std::string normal = text::normalize_and_trim_trailing_whitespace(input);
    std::string piped = filters::apply_filter_pipeline_excluding(std::string_view(normal), {});
    // The pipeline may keep its input or shrink it, never grow it.
    if (text::is_smaller_output(normal, piped)) std::abort();
    if (!text::is_valid_utf8(piped)) std::abort();
    // Every family asked, whatever its signs: the same output.
    if (filters::apply_filter_pipeline_excluding(std::string_view(normal), {}, filters::Skipping::off) != piped)
        std::abort();
    (void)compression::compress_text(input, 1);
    return 0;
}
