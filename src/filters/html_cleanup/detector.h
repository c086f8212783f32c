// Recognising one complete HTML page, with or without the head of an HTTP
// response in front of it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace filters::html_cleanup::detector {

// A page split from its response head; head + separator + body is the text.
struct HtmlPayload {
    std::string head;       // the HTTP response head as it stood, or empty
    std::string separator;  // "\r\n\r\n" or "\n\n" after the head, or empty
    std::string body;       // the page: the text after the separator, or all of it
};

// The same split, viewing the text.
struct HtmlPage {
    std::string_view head;
    std::string_view separator;
    std::string_view body;
};

// The page, or nothing when the text is not one whole HTML document.
std::optional<HtmlPage> find_html_page(std::string_view text);

// find_html_page, copied out of the text.
std::optional<HtmlPayload> detect_html_payload(std::string_view text);

// True when the text carries a mark of template or component source, a
// diff, a traceback or compiler diagnostics: HTML-looking text of that kind
// is not a page.
bool looks_like_non_html_source(std::string_view text);

}  // namespace filters::html_cleanup::detector
