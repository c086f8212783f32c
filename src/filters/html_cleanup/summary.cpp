#include "filters/html_cleanup/summary.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_set>

#include "filters/filter.h"
#include "text.h"

namespace filters::html_cleanup::summary {

namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr std::size_t kTitleChars = 80;
constexpr std::size_t kHeadingChars = 120;
constexpr std::size_t kLinkTextChars = 80;
constexpr std::size_t kHrefChars = 160;
constexpr std::size_t kBlockChars = 240;
constexpr std::size_t kMinDataUrlBytes = 128;
constexpr std::size_t kMinBlockAlnum = 3;
constexpr std::size_t kMinBlockWords = 2;
constexpr std::size_t kListedItems = 8;
constexpr std::string_view kDataUrlMarker = "[data-url omitted]";

// The first occurrence of a fixed needle at or after a position, kept from
// one question to the next. The scanners below ask with positions that only
// grow, so each stretch of the text is searched once however often the
// answer is asked for: a page of nothing but "<" or unclosed comments costs
// one pass, not one pass per "<".
class NextMatch {
public:
    NextMatch(std::string_view haystack, std::string_view needle) : haystack_(haystack), needle_(needle) {}

    std::size_t at_or_after(std::size_t from) {
        const bool known = asked_ && from >= from_ && (found_ == npos || from <= found_);
        if (!known) {
            found_ = from <= haystack_.size() ? haystack_.find(needle_, from) : npos;
            from_ = from;
            asked_ = true;
        }
        return found_;
    }

private:
    std::string_view haystack_;
    std::string_view needle_;
    std::size_t from_ = 0;
    std::size_t found_ = npos;
    bool asked_ = false;
};

bool is_space_at(std::string_view s, std::size_t pos, std::size_t& len) {
    len = text::whitespace_length_at(s, pos);
    return len != 0;
}

std::size_t skip_whitespace(std::string_view s, std::size_t pos) {
    std::size_t len = 0;
    while (pos < s.size() && is_space_at(s, pos, len)) pos += len;
    return pos;
}

std::size_t alnum_run_end(std::string_view s, std::size_t pos) {
    while (pos < s.size() && text::is_ascii_alnum(s[pos])) ++pos;
    return pos;
}

// Appends the text from `from` up to the next `stop` (or the end) and
// returns where that stop is (the text's size when there is none).
std::size_t copy_up_to(std::string& out, std::string_view text, std::size_t from, char stop) {
    std::size_t at = text.find(stop, from);
    if (at == npos) at = text.size();
    out.append(text, from, at - from);
    return at;
}

struct OpenTag {
    std::string_view name;
    std::size_t close = 0;  // the tag's ">"
};

// parse_open_tag with the ">" search shared across calls.
std::optional<OpenTag> parse_open_tag_at(std::string_view text, std::size_t pos, NextMatch& next_gt) {
    if (pos >= text.size() || text[pos] != '<') return std::nullopt;
    if (pos + 1 >= text.size()) return std::nullopt;
    const char next = text[pos + 1];
    if (next == '!' || next == '/' || next == '?') return std::nullopt;
    const std::size_t name_start = skip_whitespace(text, pos + 1);
    if (name_start >= text.size()) return std::nullopt;
    const std::size_t name_end = alnum_run_end(text, name_start);
    if (name_end == name_start) return std::nullopt;
    const std::size_t gt = next_gt.at_or_after(pos);
    if (gt == npos) return std::nullopt;
    return OpenTag{text.substr(name_start, name_end - name_start), gt};
}

constexpr std::array<std::string_view, 37> kBlockNames = {
    "p",      "br",      "dd",      "dl",      "dt",      "h1",         "h2",         "h3",    "h4",     "h5",
    "h6",     "hr",      "li",      "ol",      "td",      "th",         "tr",         "ul",    "div",    "nav",
    "pre",    "form",    "main",    "aside",   "table",   "tbody",      "tfoot",      "thead", "figure", "footer",
    "header", "address", "article", "details", "section", "blockquote", "figcaption",
};

bool is_block_name(std::string_view lower_name) {
    if (lower_name.empty() || lower_name.size() > 10) return false;
    return std::find(kBlockNames.begin(), kBlockNames.end(), lower_name) != kBlockNames.end();
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::optional<char> named_reference(std::string_view name) {
    // The longest name is "newline"; longer references are never looked up,
    // so a reference that runs over a huge stretch costs nothing here.
    if (name.size() > 7) return std::nullopt;
    if (text::equals_ignore_case(name, "lt")) return '<';
    if (text::equals_ignore_case(name, "gt")) return '>';
    if (text::equals_ignore_case(name, "amp")) return '&';
    if (text::equals_ignore_case(name, "quot")) return '"';
    if (text::equals_ignore_case(name, "apos")) return '\'';
    if (text::equals_ignore_case(name, "tab")) return '\t';
    if (text::equals_ignore_case(name, "colon")) return ':';
    if (text::equals_ignore_case(name, "newline")) return '\n';
    return std::nullopt;
}

int digit_value(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "#65", "#x41", "#+65": the character, or nothing. NUL decodes as U+FFFD:
// a reference must never put a NUL byte into the output.
std::optional<char32_t> numeric_reference(std::string_view ref) {
    std::string_view digits = ref.substr(1);
    const bool hex = !digits.empty() && (digits[0] == 'x' || digits[0] == 'X');
    if (hex) digits.remove_prefix(1);
    if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        const int d = digit_value(c, hex);
        if (d < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
        if (value > 0xFFFFFFFFull) return std::nullopt;  // stops at once on a long run
    }
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    if (value == 0) return U'\uFFFD';
    return static_cast<char32_t>(value);
}

// Where the run of a data: URL that starts at `pos` ends: at whitespace,
// a quote, ")", "<", ">", a backquote or the end.
std::size_t data_url_run_end(std::string_view s, std::size_t pos) {
    while (pos < s.size()) {
        const char c = s[pos];
        if (c == '"' || c == '\'' || c == ')' || c == '<' || c == '>' || c == '`') break;
        if (text::whitespace_length_at(s, pos) != 0) break;
        pos += text::utf8_len(static_cast<unsigned char>(c));
    }
    return std::min(pos, s.size());
}

// The comment and element removal pass: `cleaned` and its lowercased twin.
struct Cleaned {
    std::string text;
    std::string lower;
};

struct Removable {
    std::string_view name;
    std::size_t HtmlSummary::*counter;
};

constexpr std::array<Removable, 5> kRemovable = {{
    {"svg", &HtmlSummary::svg},
    {"style", &HtmlSummary::styles},
    {"script", &HtmlSummary::scripts},
    {"noscript", &HtmlSummary::scripts},
    {"template", &HtmlSummary::scripts},
}};

Cleaned remove_hidden_parts(std::string_view html, const std::string& lower, HtmlSummary& summary) {
    Cleaned out;
    out.text.reserve(html.size());
    out.lower.reserve(html.size());
    NextMatch next_gt(lower, ">");
    NextMatch comment_end(lower, "-->");
    // Each element name searches for its own closing tag and the ">" after
    // it, so that the positions asked of each finder only grow.
    static constexpr std::array<std::string_view, 5> kClosers = {"</svg", "</style", "</script", "</noscript",
                                                                 "</template"};
    std::array<NextMatch, 5> closers = {NextMatch(lower, kClosers[0]), NextMatch(lower, kClosers[1]),
                                        NextMatch(lower, kClosers[2]), NextMatch(lower, kClosers[3]),
                                        NextMatch(lower, kClosers[4])};
    std::array<NextMatch, 5> closer_gts = {NextMatch(lower, ">"), NextMatch(lower, ">"), NextMatch(lower, ">"),
                                           NextMatch(lower, ">"), NextMatch(lower, ">")};
    const auto put = [&](std::size_t from, std::size_t to) {
        out.text.append(html, from, to - from);
        out.lower.append(lower, from, to - from);
    };
    const auto replace = [&]() {
        out.text.push_back(' ');
        out.lower.push_back(' ');
    };
    std::size_t i = 0;
    while (i < html.size()) {
        std::size_t lt = lower.find('<', i);
        if (lt == npos) lt = html.size();
        put(i, lt);
        i = lt;
        if (i >= html.size()) break;
        if (lower.compare(i, 4, "<!--") == 0) {
            const std::size_t end = comment_end.at_or_after(i + 4);
            if (end != npos) {
                replace();
                ++summary.comments;
                i = end + 3;
                continue;
            }
        } else if (const auto tag = parse_open_tag_at(lower, i, next_gt)) {
            bool removed = false;
            for (std::size_t k = 0; k < kRemovable.size() && !removed; ++k) {
                if (tag->name != kRemovable[k].name) continue;
                const std::size_t closer = closers[k].at_or_after(tag->close + 1);
                if (closer == npos) break;
                const std::size_t gt = closer_gts[k].at_or_after(closer + kClosers[k].size());
                if (gt == npos) break;
                replace();
                ++(summary.*kRemovable[k].counter);
                i = gt + 1;
                removed = true;
            }
            if (removed) continue;
        }
        put(i, i + 1);
        ++i;
    }
    return out;
}

std::size_t count_long_data_urls(std::string_view lower) {
    std::size_t count = 0;
    std::size_t from = 0;
    while (true) {
        const std::size_t m = lower.find("data:", from);
        if (m == npos) break;
        const std::size_t end = data_url_run_end(lower, m);
        if (end - m >= kMinDataUrlBytes) ++count;
        from = std::max(end, m + 5);
    }
    return count;
}

// Text of a stretch of markup as the outline shows it.
std::string visible_text(std::string_view markup) { return normalize_visible_text(tags_to_text(markup, false)); }

std::optional<std::string> find_title(std::string_view text, std::string_view lower) {
    const auto tag = find_open_tag(lower, "title");
    if (!tag) return std::nullopt;
    const std::size_t close = lower.find("</title", tag->second + 1);
    if (close == npos) return std::nullopt;
    std::string title = visible_text(text.substr(tag->second + 1, close - tag->second - 1));
    if (title.empty()) return std::nullopt;
    return truncate(title, kTitleChars);
}

bool is_heading_name(std::string_view name) {
    return name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6';
}

void collect_headings(std::string_view body, std::string_view lower, HtmlSummary& summary) {
    NextMatch next_gt(lower, ">");
    std::array<NextMatch, 6> closers = {NextMatch(lower, "</h1"), NextMatch(lower, "</h2"), NextMatch(lower, "</h3"),
                                        NextMatch(lower, "</h4"), NextMatch(lower, "</h5"), NextMatch(lower, "</h6")};
    std::unordered_set<std::string> seen;
    std::size_t cursor = 0;
    while (true) {
        const std::size_t m = lower.find("<h", cursor);
        if (m == npos) break;
        const auto tag = parse_open_tag_at(lower, m, next_gt);
        if (!tag || !is_heading_name(tag->name)) {
            cursor = m + 2;
            continue;
        }
        const char digit = tag->name[1];
        const std::size_t close = closers[static_cast<std::size_t>(digit - '1')].at_or_after(tag->close + 1);
        if (close == npos) {
            cursor = m + 2;
            continue;
        }
        std::string heading = visible_text(body.substr(tag->close + 1, close - tag->close - 1));
        cursor = close + 4;
        if (heading.empty()) continue;
        heading = truncate(heading, kHeadingChars);
        std::string key(1, digit);
        key.push_back('\0');
        key += heading;
        if (!seen.insert(std::move(key)).second) continue;
        summary.headings.push_back(Heading{std::string(1, digit), std::move(heading)});
    }
}

bool is_href_name_char(char c) { return text::is_ascii_alnum(c) || c == '-' || c == ':' || c == '_'; }

// The raw href value of a tag (from "<" to ">"), or nothing.
std::optional<std::string_view> find_href(std::string_view tag, std::string_view tag_lower) {
    std::size_t from = 0;
    while (true) {
        const std::size_t at = tag_lower.find("href", from);
        if (at == npos) return std::nullopt;
        if (at > 0 && is_href_name_char(tag_lower[at - 1])) {
            from = at + 4;
            continue;
        }
        std::size_t j = skip_whitespace(tag, at + 4);
        if (j >= tag.size() || tag[j] != '=') {
            from = j;
            continue;
        }
        j = skip_whitespace(tag, j + 1);
        if (j >= tag.size()) return std::string_view();
        if (tag[j] == '"' || tag[j] == '\'') {
            const std::size_t end = tag.find(tag[j], j + 1);
            if (end == npos) return std::nullopt;
            return tag.substr(j + 1, end - j - 1);
        }
        std::size_t end = j;
        std::size_t len = 0;
        while (end < tag.size()) {
            const char c = tag[end];
            if (c == '"' || c == '\'' || c == '<' || c == '=' || c == '>' || c == '`' || is_space_at(tag, end, len))
                break;
            ++end;
        }
        return tag.substr(j, end - j);
    }
}

// Links that cannot be followed from a captured page (script, data, file
// and other schemes) are not shown.
bool has_allowed_scheme(std::string_view href) {
    if (href.starts_with('#')) return true;
    const std::size_t stop = href.find_first_of("#/?:");
    if (stop == npos || href[stop] != ':') return true;
    std::string scheme;
    for (char c : href.substr(0, stop)) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == ' ') continue;
        scheme.push_back(text::to_lower_ascii(c));
    }
    return text::equals_any(scheme, {"http", "https", "mailto", "tel"});
}

std::optional<std::string> clean_href(std::string_view raw) {
    const std::string unescaped = html_unescape(raw);
    const std::string_view value = text::trim(unescaped);
    if (value.empty() || !has_allowed_scheme(value)) return std::nullopt;
    const std::string sanitized = sanitize_snippet(value);
    const std::string_view href = text::trim(sanitized);
    if (href.empty()) return std::nullopt;
    return std::string(href);
}

void collect_links(std::string_view body, std::string_view lower, HtmlSummary& summary) {
    NextMatch next_gt(lower, ">");
    NextMatch closers(lower, "</a");
    std::unordered_set<std::string> seen;
    std::size_t cursor = 0;
    while (true) {
        const std::size_t m = lower.find("<a", cursor);
        if (m == npos) break;
        const auto tag = parse_open_tag_at(lower, m, next_gt);
        if (!tag || tag->name != "a") {
            cursor = m + 2;
            continue;
        }
        const std::size_t close = closers.at_or_after(tag->close + 1);
        if (close == npos) {
            cursor = tag->close + 1;
            continue;
        }
        cursor = close + 3;
        const std::size_t tag_len = tag->close - m + 1;
        const auto raw = find_href(body.substr(m, tag_len), lower.substr(m, tag_len));
        if (!raw) continue;
        auto href = clean_href(*raw);
        if (!href) continue;
        std::string label = visible_text(body.substr(tag->close + 1, close - tag->close - 1));
        if (label.empty()) label = *href;
        Link link{truncate(label, kLinkTextChars), truncate(*href, kHrefChars)};
        std::string key = link.text;
        key.push_back('\0');
        key += link.href;
        if (!seen.insert(std::move(key)).second) continue;
        summary.links.push_back(std::move(link));
    }
}

struct AlnumCounts {
    std::size_t chars = 0;
    std::size_t words = 0;
};

AlnumCounts count_alnum(std::string_view s) {
    AlnumCounts counts;
    bool in_word = false;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = 1;
        const char32_t c = text::decode_at(s, i, len);
        i += len == 0 ? 1 : len;
        const bool alnum = text::is_alphanumeric(c);
        if (alnum) {
            ++counts.chars;
            if (!in_word) ++counts.words;
        }
        in_word = alnum;
    }
    return counts;
}

void collect_text_blocks(std::string_view body, HtmlSummary& summary) {
    const std::string blocks = tags_to_text(body, true);
    std::unordered_set<std::string> seen;
    for (std::string_view line : text::lines_of(blocks)) {
        std::string block = normalize_visible_text(line);
        const AlnumCounts counts = count_alnum(block);
        if (counts.chars < kMinBlockAlnum) continue;
        if (counts.words < kMinBlockWords && !is_salient_text(block)) continue;
        block = truncate(block, kBlockChars);
        if (!seen.insert(block).second) continue;
        summary.text_blocks.push_back(std::move(block));
    }
}

// The positions of the text blocks that the outline prints: the first
// three, the last two and up to three salient ones between them.
std::vector<std::size_t> kept_block_positions(const std::vector<std::string>& blocks) {
    const std::size_t n = blocks.size();
    std::vector<std::size_t> kept;
    if (n <= kListedItems) {
        for (std::size_t i = 0; i < n; ++i) kept.push_back(i);
        return kept;
    }
    kept = {0, 1, 2, n - 2, n - 1};
    for (std::size_t i = 3; i + 2 < n && kept.size() < kListedItems; ++i)
        if (is_salient_text(blocks[i])) kept.push_back(i);
    std::sort(kept.begin(), kept.end());
    return kept;
}

// "{name}:", the first eight items, and "… N {name} omitted" for the rest
// (the noun stays plural for one).
template <class Item, class Render>
void add_capped_list(SummaryWriter& out, std::string_view name, const std::vector<Item>& items, Render render) {
    if (items.empty()) return;
    out.add(text::format("{}:", name));
    const std::size_t shown = std::min(items.size(), kListedItems);
    for (std::size_t i = 0; i < shown; ++i) out.add(render(items[i]));
    if (items.size() > shown) out.add_omission(items.size() - shown, "", text::format(" {} omitted", name));
}

}  // namespace

std::optional<std::pair<std::string, std::size_t>> parse_open_tag(std::string_view text, std::size_t pos) {
    NextMatch next_gt(text, ">");
    const auto tag = parse_open_tag_at(text, pos, next_gt);
    if (!tag) return std::nullopt;
    return std::pair<std::string, std::size_t>(std::string(tag->name), tag->close);
}

std::optional<std::pair<std::size_t, std::size_t>> find_open_tag(std::string_view text, std::string_view name) {
    std::string pattern = "<";
    pattern += name;
    std::size_t from = 0;
    while (true) {
        const std::size_t at = text.find(pattern, from);
        if (at == npos) return std::nullopt;
        const std::size_t after = at + pattern.size();
        if (after >= text.size()) return std::nullopt;
        std::size_t len = 0;
        if (text[after] == '>' || text[after] == '/' || is_space_at(text, after, len)) {
            const std::size_t gt = text.find('>', at);
            if (gt == npos) return std::nullopt;
            return std::pair<std::size_t, std::size_t>(at, gt);
        }
        from = after;
    }
}

std::string tags_to_text(std::string_view text, bool block_breaks) {
    std::string out;
    out.reserve(text.size());
    NextMatch next_gt(text, ">");
    std::size_t i = 0;
    while (i < text.size()) {
        i = copy_up_to(out, text, i, '<');
        if (i >= text.size()) break;
        const std::size_t gt = next_gt.at_or_after(i + 1);
        if (gt == npos) {
            out.push_back('<');
            ++i;
            continue;
        }
        std::size_t name_start = i + 1;
        if (name_start < gt && text[name_start] == '/') ++name_start;
        name_start = skip_whitespace(text, name_start);
        const std::size_t name_end = std::min(alnum_run_end(text, name_start), gt);
        const bool block =
            block_breaks && is_block_name(text::to_lower(text.substr(name_start, name_end - name_start)));
        out.push_back(block ? '\n' : ' ');
        i = gt + 1;
    }
    return out;
}

std::string html_unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    NextMatch next_semicolon(text, ";");
    std::size_t i = 0;
    while (i < text.size()) {
        i = copy_up_to(out, text, i, '&');
        if (i >= text.size()) break;
        const std::size_t semi = next_semicolon.at_or_after(i + 1);
        if (semi != npos && semi > i + 1) {
            const std::string_view ref = text.substr(i + 1, semi - i - 1);
            if (ref[0] != '#') {
                if (const auto c = named_reference(ref)) {
                    out.push_back(*c);
                    i = semi + 1;
                    continue;
                }
            } else if (const auto c = numeric_reference(ref)) {
                append_utf8(out, *c);
                i = semi + 1;
                continue;
            }
        }
        out.push_back('&');
        ++i;
    }
    return out;
}

std::string sanitize_snippet(std::string_view text) {
    // Most snippets hold no data: URL; they are copied without a lowercased twin.
    if (text::find_ignore_case(text, "data:") == npos) return std::string(text);
    const std::string lower = text::to_lower(text);
    std::string out;
    out.reserve(text.size());
    std::size_t cursor = 0;
    while (cursor < text.size()) {
        const std::size_t m = lower.find("data:", cursor);
        if (m == npos) break;
        out.append(text, cursor, m - cursor);
        out.append(kDataUrlMarker);
        cursor = std::max(data_url_run_end(lower, m), m + 5);
    }
    if (cursor < text.size()) out.append(text, cursor);
    return out;
}

std::string normalize_visible_text(std::string_view text) {
    const std::string unescaped = html_unescape(text);
    // The words joined by single spaces, written in one pass.
    std::string collapsed;
    collapsed.reserve(unescaped.size());
    bool pending_space = false;
    for (std::size_t i = 0; i < unescaped.size();) {
        if (const std::size_t len = text::whitespace_length_at(unescaped, i)) {
            pending_space = !collapsed.empty();
            i += len;
            continue;
        }
        if (pending_space) collapsed.push_back(' ');
        pending_space = false;
        const std::size_t len = text::utf8_len(static_cast<unsigned char>(unescaped[i]));
        collapsed.append(unescaped, i, len);
        i += len;
    }
    return sanitize_snippet(collapsed);
}

std::string truncate(std::string_view text, std::size_t max_chars) {
    if (text::char_count(text) <= max_chars) return std::string(text);
    std::string out(text::take_chars(text, max_chars == 0 ? 0 : max_chars - 1));
    out += kEllipsis;
    return out;
}

bool is_salient_text(std::string_view text) {
    for (std::string_view word : {"error", "warning", "failed", "failure", "exception", "traceback", "fatal",
                                  "critical", "denied", "404", "500"})
        if (text::contains_ignore_case(text, word)) return true;
    return false;
}

std::optional<HtmlSummary> summarize_html_document(std::string_view html) {
    HtmlSummary summary;
    const std::string lower = text::to_lower(html);
    const Cleaned cleaned = remove_hidden_parts(html, lower, summary);
    summary.data_urls = count_long_data_urls(cleaned.lower);
    summary.title = find_title(cleaned.text, cleaned.lower);
    const auto body_tag = find_open_tag(cleaned.lower, "body");
    if (!body_tag) return std::nullopt;
    const std::size_t body_close = cleaned.lower.find("</body", body_tag->second + 1);
    if (body_close == npos) return std::nullopt;
    const std::size_t from = body_tag->second + 1;
    const std::string_view body = std::string_view(cleaned.text).substr(from, body_close - from);
    const std::string_view body_lower = std::string_view(cleaned.lower).substr(from, body_close - from);
    collect_headings(body, body_lower, summary);
    collect_links(body, body_lower, summary);
    collect_text_blocks(body, summary);
    if (summary.headings.empty() && summary.links.empty() && summary.text_blocks.empty()) return std::nullopt;
    summary.bytes = html.size();
    return summary;
}

std::string format_html_summary(const HtmlSummary& summary, bool final_newline) {
    SummaryWriter out;
    std::string headline = text::format("html document: bytes={}", summary.bytes);
    if (summary.title) headline += " title=" + text::quote_escaped(*summary.title);
    out.add(headline);
    add_capped_list(out, "headings", summary.headings,
                    [](const Heading& h) { return text::format("- h{}: {}", h.level, h.text); });
    add_capped_list(out, "links", summary.links,
                    [](const Link& l) { return text::format("- {} -> {}", l.text, l.href); });
    if (!summary.text_blocks.empty()) {
        out.add("text:");
        std::size_t next = 0;
        for (const std::size_t k : kept_block_positions(summary.text_blocks)) {
            if (k > next) out.add_omission(k - next, "", " text blocks omitted");
            out.add("- " + summary.text_blocks[k]);
            next = k + 1;
        }
        if (next < summary.text_blocks.size())
            out.add_omission(summary.text_blocks.size() - next, "", " text blocks omitted");
    }
    if (summary.comments || summary.scripts || summary.styles || summary.svg || summary.data_urls)
        out.add(text::format("[html cleanup removed: comments={} scripts={} styles={} svg={} data_urls={}]",
                             summary.comments, summary.scripts, summary.styles, summary.svg, summary.data_urls));
    return out.take(final_newline);
}

}  // namespace filters::html_cleanup::summary
