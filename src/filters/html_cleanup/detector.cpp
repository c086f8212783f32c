#include "filters/html_cleanup/detector.h"

#include <cstddef>

#include "text.h"

namespace filters::html_cleanup::detector {

namespace {

// Smaller pages are left as they are.
constexpr std::size_t kMinBodyBytes = 4096;
// More control characters than this share of all characters is no page.
constexpr double kMaxControlShare = 0.01;

bool is_counted_control(unsigned char b) { return b < 0x20 && b != '\t' && b != '\n' && b != '\r'; }

bool has_too_many_controls(std::string_view body) {
    std::size_t controls = 0;
    for (unsigned char b : body) controls += is_counted_control(b) ? 1 : 0;
    if (controls == 0) return false;
    std::size_t chars = text::char_count(body);
    if (chars == 0) chars = 1;
    return static_cast<double>(controls) / static_cast<double>(chars) > kMaxControlShare;
}

}  // namespace

bool looks_like_non_html_source(std::string_view text) {
    if (text::contains_any(
            text, {"```", "{{", "{%", "<%", "<?php", "className=", "export default", "const App", "function App(",
                   "React.", "</>", "Traceback (most recent call last):", "\ndiff --git "}))
        return true;
    if (text.starts_with("diff --git ")) return true;
    if (text::contains_any(text, {"\n@@ ", "\n--- ", "\n+++ "})) return true;
    if (text::contains(text, "\n --> ") &&
        (text::contains_ignore_case(text, "error:") || text::contains_ignore_case(text, "warning:")))
        return true;
    return text::starts_with_any_ignore_case(text, {"error[", "error:", "warning:"});
}

std::optional<HtmlPayload> detect_html_payload(std::string_view text) {
    std::string_view head;
    std::string_view separator;
    std::string_view body = text;
    if (const auto split = text::split_http_response_head(text)) {
        head = split->head;
        separator = split->separator;
        body = split->body;
    }
    if (body.size() < kMinBodyBytes) return std::nullopt;
    // The cheap tests on the two ends come first; every test must pass, so
    // their order does not change the answer.
    const std::string_view t = text::trim(body);
    if (t.empty()) return std::nullopt;
    if (!text::starts_with_any_ignore_case(t, {"<!doctype html", "<html"})) return std::nullopt;
    if (!text::ends_with_ignore_case(t, "</html>")) return std::nullopt;
    if (body.find('\0') != std::string_view::npos) return std::nullopt;
    if (has_too_many_controls(body)) return std::nullopt;
    if (text::find_ignore_case(t, "<html") == std::string_view::npos) return std::nullopt;
    const std::size_t body_open = text::find_ignore_case(t, "<body");
    const std::size_t body_close = text::find_ignore_case(t, "</body>");
    if (body_open == std::string_view::npos || body_close == std::string_view::npos) return std::nullopt;
    if (body_open > body_close) return std::nullopt;
    // t ends with "</html>", so its last one starts there.
    if (body_close > t.size() - 7) return std::nullopt;
    if (looks_like_non_html_source(body)) return std::nullopt;
    return HtmlPayload{std::string(head), std::string(separator), std::string(body)};
}

}  // namespace filters::html_cleanup::detector
