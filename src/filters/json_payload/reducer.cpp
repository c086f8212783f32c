#include "filters/json_payload/reducer.h"

#include "filters/json_payload/detector.h"
#include "filters/json_payload/summary.h"
#include "text.h"

namespace filters::json_payload::reducer {

namespace {

// Fewer than this many records are only minified, never summarised.
constexpr std::size_t kMinSummaryRecords = 10;

// The smallest of the input, the minified text and the summary, by the size
// rule, the earlier on a tie. Each candidate is known by its length first
// and built only when it is the result, or when a tie of lengths must be
// settled by counting characters. `summary` is null when there is none.
template <class BuildMinified>
Attempt choose_smallest(std::string_view input, std::size_t minified_size, BuildMinified build_minified,
                        std::optional<summary::RecordSummary>& summary, bool had_newline) {
    // The minified text keeps a subsequence of the input: smaller exactly
    // when it is shorter.
    const bool minified_wins = minified_size < input.size();
    const std::size_t best_size = minified_wins ? minified_size : input.size();
    const std::size_t summary_size = summary ? summary->size(had_newline) : best_size + 1;
    if (summary_size < best_size) return summary->text(had_newline);
    if (summary_size > best_size) {
        summary.reset();  // freed before the minified text is built
        return minified_wins ? Attempt(build_minified()) : std::nullopt;
    }
    std::string text = summary->text(had_newline);
    summary.reset();
    if (!minified_wins) return text::is_smaller_output(text, input) ? Attempt(std::move(text)) : std::nullopt;
    std::string minified = build_minified();
    return text::is_smaller_output(text, minified) ? std::move(text) : std::move(minified);
}

// The first character after the opening "[" that is no JSON whitespace.
char first_element_start(std::string_view body) {
    const std::size_t at = body.find_first_not_of(" \t\n\r", 1);
    return at == std::string_view::npos ? '\0' : body[at];
}

// The result for a text that trims to a bracketed document. `is_document`
// tells whether it parsed as one; when it did not, the text may still be
// JSON Lines.
Attempt compress_whole_document(std::string_view text, std::string_view body, bool had_newline, bool& is_document) {
    const std::size_t surrounding = text.size() - body.size();
    const bool may_summarize = body.front() == '[' && first_element_start(body) == '{';
    if (!may_summarize && surrounding <= (had_newline ? 1u : 0u) && !json::has_blank_between_tokens(body)) {
        // Neither candidate can win. Were the text JSON Lines rather than one
        // document, it would be a single compact line: nothing to gain there
        // either.
        is_document = true;
        return std::nullopt;
    }

    json::Reader reader;
    std::optional<summary::RecordSummary> records(std::in_place, summary::RecordSummary::Source::Array, text.size(),
                                                  reader);
    bool all_objects = true;
    auto summarize = [&](const json::Node& element, std::string_view source) {
        all_objects = element.kind() == json::Kind::Object;
        if (all_objects) records->add(element, source);
        return all_objects && !records->gave_up();
    };
    const json::ElementSink to_summary = summarize;  // refers to the lambda above, which outlives the visit
    const json::DocumentScan scan =
        detector::parse_whole_json_payload(body, reader, may_summarize ? &to_summary : nullptr);
    is_document = scan.kind != json::DocumentKind::Invalid;
    if (!is_document) return std::nullopt;

    if (!(scan.kind == json::DocumentKind::Array && all_objects && scan.elements_complete && !records->gave_up() &&
          records->count() >= kMinSummaryRecords))
        records.reset();
    const auto build_minified = [&] {
        std::string minified;
        minified.reserve(scan.minified_size + 1);
        json::append_minified(minified, body);
        if (had_newline) minified.push_back('\n');
        return minified;
    };
    return choose_smallest(text, scan.minified_size + (had_newline ? 1 : 0), build_minified, records, had_newline);
}

Attempt compress_json_lines(const FilterInput& input, bool had_newline) {
    const std::string_view text = input.text;
    // Cheap refusal before reading lines: the first non-blank line must open an object.
    if (!text::trim_start(text).starts_with('{')) return std::nullopt;
    json::Reader reader;
    std::optional<summary::RecordSummary> records(std::in_place, summary::RecordSummary::Source::Lines, text.size(),
                                                  reader);
    const std::optional<std::size_t> count = detector::parse_jsonl_payload(
        input.lines, reader,
        [&records](const json::Node& record, std::string_view line) { records->add(record, line); });
    if (!count) return std::nullopt;
    if (*count < kMinSummaryRecords || records->gave_up()) records.reset();

    // The minified lines: each line trimmed and minified. Lines before the
    // first that changes are copied whole. A line is kept as it is when it
    // is empty or a record from "{" to "}" with no blank between tokens;
    // every line parsed, so each starts and ends outside strings and the
    // blanks are looked for in one walk over the lines up to the first
    // that trimming changes.
    const text::LineIndex& lines = input.lines;
    std::size_t first_changed = 0, size = text.size();
    for (; first_changed < lines.size(); ++first_changed) {
        const std::string_view line = lines[first_changed];
        if (!line.empty() && !(line.front() == '{' && line.back() == '}')) break;
    }
    const std::size_t untrimmed_end = first_changed < lines.size() ? lines.start(first_changed) : text.size();
    if (const std::size_t blank = json::first_blank_within_lines(text.substr(0, untrimmed_end));
        blank != std::string_view::npos)
        first_changed = lines.line_at(blank);
    if (first_changed < lines.size()) {
        size = lines.start(first_changed) + (had_newline ? 1 : 0);
        for (std::size_t i = first_changed; i < lines.size(); ++i)
            size += json::minified_size(text::trim(lines[i])) + (i > first_changed ? 1 : 0);
    }
    const auto build_minified = [&] {
        std::string minified;
        minified.reserve(size);
        minified.append(text.substr(0, lines.start(first_changed)));
        for (std::size_t i = first_changed; i < lines.size(); ++i) {
            if (i > first_changed) minified.push_back('\n');
            json::append_minified(minified, text::trim(lines[i]));
        }
        if (had_newline) minified.push_back('\n');
        return minified;
    };
    return choose_smallest(text, size, build_minified, records, had_newline);
}

}  // namespace

std::string minify_json_source(std::string_view source) {
    std::string out;
    out.reserve(source.size());
    json::append_minified(out, source);
    return out;
}

Attempt try_compress_json_payload_output(const FilterInput& input) {
    const std::string_view text = input.text;
    const bool had_newline = text.ends_with('\n');
    const std::string_view body = text::trim(text);
    if (detector::is_bracketed_document(body)) {
        bool is_document = false;
        Attempt result = compress_whole_document(text, body, had_newline, is_document);
        if (is_document) return result;
        // A single line that is no document is no JSON Lines record either.
        if (body.find('\n') == std::string_view::npos) return std::nullopt;
    }
    return compress_json_lines(input, had_newline);
}

std::string compress_json_payload_output(std::string_view text) {
    return run_alone(&try_compress_json_payload_output, text);
}

}  // namespace filters::json_payload::reducer
