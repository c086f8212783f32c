#include "filters/json_payload/reducer.h"

#include "filters/filter.h"
#include "filters/json_payload/detector.h"
#include "filters/json_payload/summary.h"
#include "text.h"

namespace filters::json_payload::reducer {

namespace {

// Fewer than this many records are only minified, never summarised.
constexpr std::size_t kMinSummaryRecords = 10;

// The minifier's walk over JSON source: whether each character is kept.
// Blanks, tabs and line ends outside strings are dropped; a string runs to
// the next double quote that no backslash escapes.
class MinifyWalk {
   public:
    bool keeps(char c) {
        if (in_string_) {
            if (escaped_)
                escaped_ = false;
            else if (c == '"')
                in_string_ = false;
            else if (c == '\\')
                escaped_ = true;
            return true;
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') return false;
        in_string_ = c == '"';
        return true;
    }

   private:
    bool in_string_ = false;
    bool escaped_ = false;
};

void append_minified_json(std::string& out, std::string_view source) {
    // Written through a pointer into room made up front: the output is never
    // longer than the source.
    const std::size_t start = out.size();
    out.resize(start + source.size());
    char* write = out.data() + start;
    MinifyWalk walk;
    for (char c : source)
        if (walk.keeps(c)) *write++ = c;
    out.resize(static_cast<std::size_t>(write - out.data()));
}

// Keeps `candidate` as the best result so far when it is smaller than the
// current one (the input until something smaller turns up); a tie keeps
// the current one.
void choose_smaller(std::optional<std::string>& best, std::string_view input, std::string&& candidate) {
    if (text::is_smaller_output(candidate, best ? std::string_view(*best) : input)) best = std::move(candidate);
}

// The first character after the opening "[" that is no JSON whitespace.
char first_element_start(std::string_view body) {
    const std::size_t at = body.find_first_not_of(" \t\n\r", 1);
    return at == std::string_view::npos ? '\0' : body[at];
}

// The result for a text that trims to a bracketed document. `is_document`
// tells whether it parsed as one; when it did not, the text may still be
// JSON Lines.
std::optional<std::string> compress_whole_document(std::string_view text, std::string_view body, bool had_newline,
                                                   bool& is_document) {
    // The minified candidate keeps a subsequence of the input, so it is
    // smaller exactly when it drops something: surrounding whitespace beyond
    // the final newline, or whitespace between tokens.
    const std::size_t surrounding = text.size() - body.size();
    const bool minified_is_smaller = surrounding > (had_newline ? 1u : 0u) || minify_drops_something(body);
    const bool may_summarize = body.front() == '[' && first_element_start(body) == '{';
    if (!minified_is_smaller && !may_summarize) {
        // Neither candidate can win. Were the text JSON Lines rather than one
        // document, it would be a single compact line: nothing to gain there
        // either.
        is_document = true;
        return std::nullopt;
    }

    summary::RecordSummary records("json array", "rows", "JSON rows");
    bool all_objects = true;
    json::ElementSink to_summary;
    if (may_summarize)
        to_summary = [&](json::Value&& element) {
            all_objects = element.is_object();
            if (all_objects) records.add(std::move(element));
            return all_objects;
        };
    const json::DocumentKind kind = detector::visit_whole_json_payload(body, to_summary);
    is_document = kind != json::DocumentKind::Invalid;
    if (!is_document) return std::nullopt;

    std::optional<std::string> best;
    if (minified_is_smaller) {
        std::string minified = minify_json_source(body);
        if (had_newline) minified.push_back('\n');
        best = std::move(minified);
    }
    if (kind == json::DocumentKind::Array && all_objects && records.count() >= kMinSummaryRecords)
        choose_smaller(best, text, records.finish(had_newline));
    return best;
}

bool minify_changes_line(std::string_view line) {
    const std::string_view trimmed = text::trim(line);
    return trimmed.size() != line.size() || minify_drops_something(trimmed);
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
    // The minified lines are a subsequence of the input: smaller exactly when
    // some line changes. Lines before the first that changes are copied whole.
    std::size_t first_changed = 0;
    while (first_changed < lines.lines.size() && !minify_changes_line(lines.lines[first_changed])) ++first_changed;
    if (first_changed < lines.lines.size()) {
        std::string minified;
        minified.reserve(text.size());
        minified.append(text.substr(0, static_cast<std::size_t>(lines.lines[first_changed].data() - text.data())));
        for (std::size_t i = first_changed; i < lines.lines.size(); ++i) {
            if (i > first_changed) minified.push_back('\n');
            append_minified_json(minified, text::trim(lines.lines[i]));
        }
        if (had_newline) minified.push_back('\n');
        best = std::move(minified);
    }
    if (*count >= kMinSummaryRecords) choose_smaller(best, text, records.finish(had_newline));
    return best;
}

}  // namespace

bool minify_drops_something(std::string_view source) {
    // The walk of MinifyWalk, a string at a time: inside one only a double
    // quote that follows an even run of backslashes ends it.
    std::size_t i = 0;
    while (i < source.size()) {
        const char c = source[i++];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') return true;
        if (c != '"') continue;
        while (true) {
            const std::size_t quote = source.find('"', i);
            if (quote == std::string_view::npos) return false;
            std::size_t backslashes = 0;
            while (quote - backslashes > i && source[quote - backslashes - 1] == '\\') ++backslashes;
            i = quote + 1;
            if (backslashes % 2 == 0) break;
        }
    }
    return false;
}

std::string minify_json_source(std::string_view source) {
    std::string out;
    out.reserve(source.size());
    append_minified_json(out, source);
    return out;
}

std::optional<std::string> try_compress_json_payload_output(std::string_view text) {
    const bool had_newline = text.ends_with('\n');
    const std::string_view body = text::trim(text);
    if (detector::is_bracketed_document(body)) {
        bool is_document = false;
        std::optional<std::string> result = compress_whole_document(text, body, had_newline, is_document);
        if (is_document) return result;
        // A single line that is no document is no JSON Lines record either.
        if (body.find('\n') == std::string_view::npos) return std::nullopt;
    }
    return compress_json_lines(text, had_newline);
}

std::string compress_json_payload_output(std::string_view text) { return or_input(try_compress_json_payload_output(text), text); }

}  // namespace filters::json_payload::reducer
