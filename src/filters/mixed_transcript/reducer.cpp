#include "filters/mixed_transcript/reducer.h"

#include "filters/mixed_transcript/detector.h"

namespace filters::mixed_transcript::reducer {

namespace {

constexpr std::size_t kMinSavedBytes = 80;
constexpr std::size_t kLargeSavingBytes = 511;  // more than this is always worth it
constexpr std::size_t kMinSavedPercent = 8;

constexpr std::string_view kSelf = "mixed-transcript";

// The text of lines [first, first + count), as it stands in the input.
std::string_view span_text(const text::LineIndex& lines, std::size_t first, std::size_t count) {
    const std::size_t last = first + count - 1;
    const std::size_t begin = lines.start(first);
    return lines.text().substr(begin, lines.start(last) + lines[last].size() - begin);
}

bool is_worth_it(std::size_t input_bytes, std::size_t output_bytes) {
    if (output_bytes >= input_bytes) return false;
    const std::size_t saved = input_bytes - output_bytes;
    return saved >= kMinSavedBytes && (saved > kLargeSavingBytes || saved * 100 >= input_bytes * kMinSavedPercent);
}

}  // namespace

Attempt try_compress_mixed_transcript_output(const FilterInput& input) {
    const auto segments = detector::segment_mixed_transcript_lines(input.lines);
    if (!segments) return std::nullopt;
    const text::LineIndex& lines = input.lines;

    std::string out;
    out.reserve(input.text.size());
    bool changed = false;
    bool first_line = true;
    auto add = [&](std::string_view block) {
        if (!first_line) out.push_back('\n');
        first_line = false;
        out.append(block);
    };
    for (const detector::TranscriptSegment& segment : *segments) {
        const std::string_view original = span_text(lines, segment.first, segment.count);
        if (!segment.compressible || text::trim(original).empty()) {
            add(original);
            continue;
        }
        std::string result = apply_filter_pipeline_excluding(original, {kSelf});
        if (!text::is_smaller_output(result, original)) {
            add(original);
            continue;
        }
        changed = true;
        while (!result.empty() && result.back() == '\n') result.pop_back();
        // An empty result contributes no line at all.
        if (!result.empty()) add(result);
    }
    if (!changed) return std::nullopt;
    if (lines.final_newline()) out.push_back('\n');
    if (!is_worth_it(input.text.size(), out.size())) return std::nullopt;
    return out;
}

std::string compress_mixed_transcript_output(std::string_view text) {
    return run_alone(&try_compress_mixed_transcript_output, text);
}

}  // namespace filters::mixed_transcript::reducer
