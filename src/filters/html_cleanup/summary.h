// Reading an HTML page as plain text (tags, character references, data:
// URLs), pulling out its title, headings, links and text blocks, and
// printing that outline.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace filters::html_cleanup::summary {

struct Heading {
    std::string level;  // "1" to "6"
    std::string text;   // at most 120 characters
};

struct Link {
    std::string text;  // at most 80 characters
    std::string href;  // at most 160 characters
};

// The outline keeps the first few items of each list and counts the rest,
// so it holds only what it prints: a page of any size summarises in memory
// that does not grow with the number of its headings, links or blocks.
struct HtmlSummary {
    std::vector<Heading> headings;  // the first ones, in document order, no two equal
    std::size_t heading_count = 0;  // distinct headings on the page
    std::vector<Link> links;        // the first ones, in document order, no two equal
    std::size_t link_count = 0;     // distinct links on the page
    // The text blocks the outline prints, with their positions among the
    // distinct blocks of the page, in document order.
    std::vector<std::pair<std::size_t, std::string>> text_blocks;
    std::size_t text_block_count = 0;  // distinct text blocks on the page
    std::optional<std::string> title;
    std::size_t bytes = 0;  // length of the page that was read
    std::size_t comments = 0;
    std::size_t scripts = 0;
    std::size_t styles = 0;
    std::size_t svg = 0;
    std::size_t data_urls = 0;
};

// The opening tag whose "<" is at `pos`: its name as written and the
// position of the first ">" at or after `pos`. Nothing for comments,
// declarations, closing tags and processing instructions.
std::optional<std::pair<std::string, std::size_t>> parse_open_tag(std::string_view text, std::size_t pos);

// The first opening tag named `name` (so "<a" does not find "<abbr"): the
// positions of its "<" and of its closing ">".
std::optional<std::pair<std::size_t, std::size_t>> find_open_tag(std::string_view text, std::string_view name);

// Every tag replaced by one space, or by a line break for block elements
// when `block_breaks`; a "<" without a later ">" stays.
std::string tags_to_text(std::string_view text, bool block_breaks);

// Character references decoded: "&lt;", "&gt;", "&amp;", "&quot;", "&apos;",
// "&tab;", "&colon;", "&newline;" in any case, and numeric ones. Anything
// else stays as written.
std::string html_unescape(std::string_view text);

// Every data: URL replaced by "[data-url omitted]".
std::string sanitize_snippet(std::string_view text);

// Unescaped, whitespace collapsed to single spaces and trimmed, data: URLs
// hidden.
std::string normalize_visible_text(std::string_view text);

// At most `max_chars` characters: the text, or its beginning and "…".
std::string truncate(std::string_view text, std::size_t max_chars);

// Whether the text speaks of an error ("error", "failed", "404", ...).
bool is_salient_text(std::string_view text);

// The page's outline, or nothing when it has no body or nothing to show.
std::optional<HtmlSummary> summarize_html_document(std::string_view html);

// The outline as text: a headline, then headings, links, text blocks and
// what was removed; "\n" at the end when `final_newline`.
std::string format_html_summary(const HtmlSummary& summary, bool final_newline);

}  // namespace filters::html_cleanup::summary
