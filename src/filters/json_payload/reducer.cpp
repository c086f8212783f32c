#include "filters/json_payload/reducer.h"

#include "filters/filters.h"
#include "filters/json_payload/detector.h"
#include "filters/json_payload/summary.h"
#include "text.h"

namespace filters::json_payload::reducer {

namespace {

// Fewer than this many records are only minified, never summarised.
constexpr std::size_t kMinSummaryRecords = 10;

void append_minified_json(std::string& out, std::string_view source) {
    // Written through a pointer into room made up front: the output is never
    // longer than the source.
    const std::size_t start = out.size();
    out.resize(start + source.size());
    char* write = out.data() + start;
    bool in_string = false;
    bool escaped = false;
    for (char c : source) {
        if (in_string) {
            *write++ = c;
            if (escaped)
                escaped = false;
            else if (c == '"')
                in_string = false;
            else if (c == '\\')
                escaped = true;
        } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
            *write++ = c;
            in_string = c == '"';
        }
    }
    out.resize(static_cast<std::size_t>(write - out.data()));
}

// Keeps `candidate` as the best result so far when it is smaller than the
// current one (the input until something smaller turns up); a tie keeps
// the current one.
void choose_smaller(std::optional<std::string>& best, std::string_view input, std::string&& candidate) {
    if (text::is_smaller_output(candidate, best ? std::string_view(*best) : input)) best = std::move(candidate);
}

std::optional<std::string> compress_whole_document(std::string_view text, json::Value&& document,
                                                   bool had_newline) {
    std::optional<std::string> best;
    std::string minified = minify_json_source(text::trim(text));
    if (had_newline) minified.push_back('\n');
    choose_smaller(best, text, std::move(minified));
    if (std::optional<std::string> summary = summary::summarize_json_array(std::move(document), had_newline))
        choose_smaller(best, text, std::move(*summary));
    return best;
}

std::optional<std::string> compress_json_lines(std::string_view text, bool had_newline) {
    // Cheap refusal before splitting: the first non-blank line must open an object.
    if (!text::trim_start(text).starts_with('{')) return std::nullopt;
    const text::Lines lines = text::split_lines(text);
    summary::RecordSummary records("jsonl", "records", "JSONL records");
    const std::optional<std::size_t> count =
        detector::parse_jsonl_payload(lines.lines, [&records](json::Value&& r) { records.add(std::move(r)); });
    if (!count) return std::nullopt;

    std::optional<std::string> best;
    std::string minified;
    minified.reserve(text.size());
    for (std::size_t i = 0; i < lines.lines.size(); ++i) {
        if (i > 0) minified.push_back('\n');
        append_minified_json(minified, text::trim(lines.lines[i]));
    }
    if (had_newline) minified.push_back('\n');
    choose_smaller(best, text, std::move(minified));
    if (*count >= kMinSummaryRecords) choose_smaller(best, text, records.finish(had_newline));
    return best;
}

}  // namespace

std::string minify_json_source(std::string_view source) {
    std::string out;
    out.reserve(source.size());
    append_minified_json(out, source);
    return out;
}

std::optional<std::string> try_compress_json_payload_output(std::string_view text) {
    const bool had_newline = text.ends_with('\n');
    if (std::optional<json::Value> document = detector::parse_whole_json_payload(text))
        return compress_whole_document(text, std::move(*document), had_newline);
    return compress_json_lines(text, had_newline);
}

std::string compress_json_payload_output(std::string_view text) { return or_input(try_compress_json_payload_output(text), text); }

}  // namespace filters::json_payload::reducer
