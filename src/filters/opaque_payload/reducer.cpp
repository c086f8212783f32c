#include "filters/opaque_payload/reducer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "filters/filter.h"
#include "filters/opaque_payload/detector.h"
#include "filters/opaque_payload/summary.h"
#include "json.h"
#include "text.h"

namespace filters::opaque_payload::reducer {

namespace {

constexpr std::size_t kMinOpaqueJsonBytes = 8192;
constexpr std::uint64_t kMinOpaquePercent = 70;
constexpr std::size_t kMinLargeBody = 32768;
constexpr std::size_t kMinLongPiece = 8192;
constexpr std::size_t kMaxTitleChars = 80;
constexpr std::size_t kCutTitleChars = 77;
constexpr std::size_t kMinScriptLinesForLongest = 4;
constexpr std::size_t kMinScriptLongestLine = 8192;
constexpr double kMaxScriptWhitespace = 0.1;

// Whether `s` has a line of at least `bytes` bytes. Such a line holds the
// whole of one of the aligned windows of half that size, so a text whose
// every window holds a newline has none; a window is read only up to its
// first newline.
bool has_line_of_at_least(std::string_view s, std::size_t bytes) {
    const std::size_t window = std::max<std::size_t>(bytes / 2, 1);
    for (std::size_t p = 0; p + window <= s.size(); p += window)
        if (!std::memchr(s.data() + p, '\n', window)) return true;
    return false;
}

// Whether `s` may hold a JSON string of at least `bytes` bytes between its
// quotes. Every quote inside a string has a backslash right before it, and
// such a string holds the whole of one of the aligned windows of half that
// size: a text whose every window holds a quote without a backslash before
// it holds no such string. (A closing quote after an escaped backslash is
// passed over too, which only says yes more often.)
bool may_hold_string_of_at_least(std::string_view s, std::size_t bytes) {
    const std::size_t window = std::max<std::size_t>(bytes / 2, 1);
    for (std::size_t p = 0; p + window <= s.size(); p += window) {
        bool plain_quote = false;
        for (std::size_t q = p; q < p + window && !plain_quote;) {
            const void* hit = std::memchr(s.data() + q, '"', p + window - q);
            if (!hit) break;
            q = static_cast<std::size_t>(static_cast<const char*>(hit) - s.data());
            plain_quote = q == 0 || s[q - 1] != '\\';
            ++q;
        }
        if (!plain_quote) return true;
    }
    return false;
}

std::optional<std::string> summarize_json_object(std::string_view body, std::string_view trimmed) {
    if (trimmed.size() < kMinOpaqueJsonBytes || !trimmed.starts_with('{') || !trimmed.ends_with('}'))
        return std::nullopt;
    // The opaque bytes are counted from strings of kMinOpaqueStringBytes or
    // more; such a string stands on one line with its quotes, as the parser
    // takes no raw newline inside a string and no escape is shorter than
    // what it stands for.
    if (!has_line_of_at_least(trimmed, detector::kMinOpaqueStringBytes + 2)) return std::nullopt;
    // Nor is the object read into a tree unless it may hold such a string:
    // a wide object of short members (a dump of a large map) would cost
    // many times its size in memory for nothing.
    if (!may_hold_string_of_at_least(trimmed, detector::kMinOpaqueStringBytes)) return std::nullopt;
    const auto value = json::parse(trimmed);
    if (!value || !value->is_object()) return std::nullopt;
    const std::uint64_t opaque = detector::opaque_string_bytes(*value, "");
    if (opaque < kMinOpaqueJsonBytes) return std::nullopt;
    const std::uint64_t compact = json::write_compact(*value).size();
    if (opaque * 100 < compact * kMinOpaquePercent) return std::nullopt;
    std::vector<std::string> keys;
    for (auto it = value->begin(); it != value->end(); ++it) keys.push_back(it.key());
    const std::string_view kind = detector::is_source_map_signature(*value) ? "json-source-map" : "json-opaque";
    return summary::format_json_summary(kind, keys, body.size());
}

// Large enough to be worth one marker: long in all, or holding one long
// line (pieces between "\n", a "\r" counted in its piece).
bool passes_size_gate(std::string_view body) {
    if (body.size() >= kMinLargeBody) return true;
    std::size_t start = 0;
    while (start <= body.size()) {
        const void* nl = std::memchr(body.data() + start, '\n', body.size() - start);
        const std::size_t end = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - body.data()) : body.size();
        if (end - start >= kMinLongPiece) return true;
        start = end + 1;
    }
    return false;
}

std::optional<std::string> page_title(std::string_view body) {
    const std::size_t open = text::find_ignore_case(body, "<title");
    if (open == std::string_view::npos) return std::nullopt;
    const std::size_t gt = body.find('>', open);
    if (gt == std::string_view::npos) return std::nullopt;
    const std::size_t close = text::find_ignore_case(body, "</title>", gt + 1);
    if (close == std::string_view::npos) return std::nullopt;
    std::string title = text::join(text::split_whitespace(body.substr(gt + 1, close - gt - 1)), " ");
    if (title.empty()) return std::nullopt;
    if (text::char_count(title) > kMaxTitleChars) title = std::string(text::take_chars(title, kCutTitleChars)) + "...";
    return title;
}

bool is_html_page(std::string_view trimmed) {
    return text::starts_with_any_ignore_case(trimmed, {"<!doctype html", "<html"}) &&
           text::ends_with_ignore_case(trimmed, "</html>");
}

// Whether the body's non-blank lines (four or more) include none long
// enough for a bundle written on long lines.
bool lacks_long_line(std::string_view body) {
    std::size_t non_blank = 0;
    std::size_t longest = 0;
    std::size_t start = 0;
    while (start <= body.size()) {
        const void* nl = std::memchr(body.data() + start, '\n', body.size() - start);
        const std::size_t end = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - body.data()) : body.size();
        std::string_view line = body.substr(start, end - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (!text::trim(line).empty()) {
            ++non_blank;
            longest = std::max(longest, line.size());
        }
        start = end + 1;
    }
    return non_blank >= kMinScriptLinesForLongest && longest < kMinScriptLongestLine;
}

bool is_minified_script(std::string_view body, std::string_view trimmed) {
    // The cheap tests first; all must hold, so the order does not change
    // the answer. "(function" is the classic immediately-invoked wrapper.
    if (body.size() < kMinLargeBody) return false;
    if (!text::starts_with_any_ignore_case(trimmed,
                                           {"(()=>", "!function", "function", "var ", "let ", "const ", "(function"}))
        return false;
    if (!text::contains_ignore_case(trimmed, "function") && !text::contains_ignore_case(trimmed, "webpack") &&
        !text::contains_ignore_case(trimmed, "//# sourcemappingurl") &&
        !text::contains_any(body, {"=>", "(()=>", "!function"}))
        return false;
    if (lacks_long_line(body)) return false;
    return detector::whitespace_ratio(body) <= kMaxScriptWhitespace;
}

std::string replace_line_spans(const text::LineIndex& lines, const std::vector<detector::LinePayloadSpan>& spans) {
    const std::string_view s = lines.text();
    std::string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    for (const auto& span : spans) {
        out.append(s, pos, lines.start(span.start) - pos);
        out += summary::format_line_span(span);
        pos = lines.start(span.end - 1) + lines[span.end - 1].size();
    }
    out.append(s, pos);
    return out;
}

std::string replace_data_urls(std::string_view s, const std::vector<detector::DataUrlSpan>& spans) {
    std::string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    for (const auto& span : spans) {
        out.append(s, pos, span.range.first - pos);
        out += summary::format_data_url(span);
        pos = span.range.second;
    }
    out.append(s, pos);
    return out;
}

}  // namespace

std::optional<std::string> summarize_body(std::string_view body) {
    const bool final_newline = body.ends_with('\n');
    const std::string_view trimmed = text::trim(body);
    if (auto json = summarize_json_object(body, trimmed))
        return summary::with_final_newline(std::move(*json), final_newline);
    if (!passes_size_gate(body)) return std::nullopt;
    if (is_html_page(trimmed))
        return summary::with_final_newline(summary::format_html_summary(body.size(), page_title(body)), final_newline);
    if (is_minified_script(body, trimmed))
        return summary::with_final_newline(
            text::format("[opaque payload omitted: kind=minified-js bytes={}]", body.size()), final_newline);
    return std::nullopt;
}

std::string_view choose_smaller(std::string_view current, std::string_view candidate) {
    // The same text twice (nothing was replaced): no need to count characters.
    if (candidate.data() == current.data() && candidate.size() == current.size()) return current;
    return text::is_smaller_output(candidate, current) ? candidate : current;
}

Attempt try_compress_opaque_payload_output(const FilterInput& input) {
    const std::string_view text = input.text;
    std::optional<std::string> whole;
    if (const auto http = text::split_http_response_head(text)) {
        if (const auto marker = summarize_body(http->body))
            whole = text::format("{}{}{}", http->head, http->separator, *marker);
    } else {
        whole = summarize_body(text);
    }
    const std::string_view best = whole ? choose_smaller(text, *whole) : text;

    // Without a sign of a line payload or a data: URL nothing below changes the text.
    const auto scan =
        detector::may_hold_line_payload(text) ? detector::scan_line_payloads(input.lines) : detector::LineScan{};
    const auto& line_spans = scan.spans;
    std::string spans_replaced;
    std::string_view text2 = text;
    if (!line_spans.empty()) {
        spans_replaced = replace_line_spans(input.lines, line_spans);
        text2 = spans_replaced;
    }
    const auto data_urls =
        scan.data_scheme_seen ? detector::find_data_url_spans(text2) : std::vector<detector::DataUrlSpan>{};
    std::string urls_replaced;
    std::string_view text3 = text2;
    if (!data_urls.empty()) {
        urls_replaced = replace_data_urls(text2, data_urls);
        text3 = urls_replaced;
    }
    const std::string_view result = choose_smaller(best, text3);
    const auto is = [&](std::string_view v) { return result.data() == v.data() && result.size() == v.size(); };
    if (is(text)) return std::nullopt;
    // The chosen text is one this call built: hand it over rather than copy it.
    if (is(urls_replaced)) return urls_replaced;
    if (is(spans_replaced)) return spans_replaced;
    if (whole && is(*whole)) return std::move(*whole);
    return std::string(result);
}

std::string compress_opaque_payload_output(std::string_view text) {
    return run_alone(&try_compress_opaque_payload_output, text);
}

}  // namespace filters::opaque_payload::reducer
