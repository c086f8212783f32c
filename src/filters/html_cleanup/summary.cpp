#include "filters/html_cleanup/summary.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>

#include <sys/mman.h>

#include "filters/filter.h"
#include "text.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

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

// The first `c` at or after `from`, or npos. It is asked once for each tag
// of a page, where the answer is usually near: the first bytes are looked
// at inline and only a longer search calls the library.
std::size_t find_byte(std::string_view s, char c, std::size_t from) {
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(c);
    for (int step = 0; step < 4 && i + 16 <= s.size(); ++step, i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, wanted))))
            return i + static_cast<std::size_t>(std::countr_zero(mask));
    }
#endif
    if (i >= s.size()) return npos;
    const void* hit = std::memchr(s.data() + i, c, s.size() - i);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - s.data()) : npos;
}

#if defined(__SSE2__)
// find_in_any_case's filter 32 places a step with AVX2: the match, or npos
// with `p` moved to where the narrower steps go on.
__attribute__((target("avx2"))) std::size_t find_in_any_case_avx2(std::string_view s, std::string_view needle,
                                                                   std::size_t& p) {
    const std::size_t off = needle.size() - 2;
    const auto wanted = [](char c) { return static_cast<char>(text::is_ascii_alpha(c) ? text::to_lower_ascii(c) : c); };
    const auto folded = [](char c) { return static_cast<char>(text::is_ascii_alpha(c) ? 0x20 : 0); };
    const __m256i want0 = _mm256_set1_epi8(wanted(needle[off])), want1 = _mm256_set1_epi8(wanted(needle[off + 1]));
    const __m256i fold0 = _mm256_set1_epi8(folded(needle[off])), fold1 = _mm256_set1_epi8(folded(needle[off + 1]));
    for (; p + off + 33 <= s.size(); p += 32) {
        const char* at = s.data() + p + off;
        const __m256i x0 = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), fold0);
        const __m256i x1 = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1)), fold1);
        for (auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(
                 _mm256_and_si256(_mm256_cmpeq_epi8(x0, want0), _mm256_cmpeq_epi8(x1, want1))));
             mask != 0; mask &= mask - 1) {
            const std::size_t candidate = p + static_cast<std::size_t>(std::countr_zero(mask));
            if (text::equals_ignore_case(s.substr(candidate, off), needle.substr(0, off))) return candidate;
        }
    }
    return npos;
}
#endif

// text::find_ignore_case with its filter on the last two bytes of the
// needle: the names looked for start with "<" or "</", which a page has
// everywhere, while their ends ("dy", "a:", "vg", "h2") are rare.
std::size_t find_in_any_case(std::string_view s, std::string_view needle, std::size_t from) {
    if (needle.size() < 3 || from > s.size()) return text::find_ignore_case(s, needle, from);
    std::size_t p = from;
#if defined(__SSE2__)
    // A long search takes the wide steps; a near answer is found before
    // they would pay.
    if (s.size() - from >= 256 && __builtin_cpu_supports("avx2"))
        if (const std::size_t at = find_in_any_case_avx2(s, needle, p); at != npos) return at;
    const std::size_t off = needle.size() - 2;
    const auto wanted = [](char c) { return _mm_set1_epi8(text::is_ascii_alpha(c) ? text::to_lower_ascii(c) : c); };
    const auto folded = [](char c) { return _mm_set1_epi8(text::is_ascii_alpha(c) ? 0x20 : 0); };
    const __m128i want0 = wanted(needle[off]), want1 = wanted(needle[off + 1]);
    const __m128i fold0 = folded(needle[off]), fold1 = folded(needle[off + 1]);
    // Every place of a step can hold the whole needle.
    for (; p + off + 17 <= s.size(); p += 16) {
        const char* at = s.data() + p + off;
        const __m128i x0 = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), fold0);
        const __m128i x1 = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1)), fold1);
        for (auto mask = static_cast<unsigned>(
                 _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(x0, want0), _mm_cmpeq_epi8(x1, want1))));
             mask != 0; mask &= mask - 1) {
            const std::size_t candidate = p + static_cast<std::size_t>(std::countr_zero(mask));
            if (text::equals_ignore_case(s.substr(candidate, off), needle.substr(0, off))) return candidate;
        }
    }
#endif
    return text::find_ignore_case(s, needle, p);
}

// The first `needle` at or after `from`, found through its last byte: a
// comment's "-->" is looked for by its ">", which a run of "<!--" or of
// dashes does not hold.
std::size_t find_by_last_byte(std::string_view s, std::string_view needle, std::size_t from) {
    if (needle.empty() || from > s.size() || s.size() - from < needle.size()) return needle.empty() ? from : npos;
    const std::size_t before = needle.size() - 1;
    for (std::size_t at = from + before; (at = find_byte(s, needle.back(), at)) != npos; ++at)
        if (s.compare(at - before, before, needle, 0, before) == 0) return at - before;
    return npos;
}

// The first occurrence of a fixed needle at or after a position, kept from
// one question to the next. The scanners below ask with positions that only
// grow, so each stretch of the text is searched once however often the
// answer is asked for: a page of nothing but "<" or unclosed comments costs
// one pass, not one pass per "<". Tag names match in any case.
class NextMatch {
public:
    NextMatch(std::string_view haystack, std::string_view needle, bool ignore_case = false)
        : haystack_(haystack), needle_(needle), ignore_case_(ignore_case) {}

    std::size_t at_or_after(std::size_t from) {
        const bool known = asked_ && from >= from_ && (found_ == npos || from <= found_);
        if (!known) {
            found_ = npos;
            if (from > haystack_.size())
                found_ = npos;
            else if (ignore_case_)
                found_ = find_in_any_case(haystack_, needle_, from);
            else
                found_ = find_by_last_byte(haystack_, needle_, from);
            from_ = from;
            asked_ = true;
        }
        return found_;
    }

private:
    std::string_view haystack_;
    std::string_view needle_;
    bool ignore_case_ = false;
    std::size_t from_ = 0;
    std::size_t found_ = npos;
    bool asked_ = false;
};

// Byte length of the whitespace character at `pos`, read as the text
// stands or, when `lowered`, as its ASCII-lowercased copy reads: tags and
// data: URLs are matched in any case, as on such a copy, and a stray lead
// byte decodes the bytes after it, letters among them, into its character,
// so on text that is not UTF-8 the two readings can differ.
std::size_t whitespace_length(std::string_view s, std::size_t pos, bool lowered) {
    if (!lowered || static_cast<unsigned char>(s[pos]) < 0x80) return text::whitespace_length_at(s, pos);
    std::array<char, 4> bytes{};
    std::size_t n = 0;
    for (; n < bytes.size() && pos + n < s.size(); ++n) bytes[n] = text::to_lower_ascii(s[pos + n]);
    return text::whitespace_length_at(std::string_view(bytes.data(), n), 0);
}

bool is_space_at(std::string_view s, std::size_t pos, std::size_t& len, bool lowered = false) {
    len = whitespace_length(s, pos, lowered);
    return len != 0;
}

std::size_t skip_whitespace(std::string_view s, std::size_t pos, bool lowered = false) {
    std::size_t len = 0;
    while (pos < s.size() && is_space_at(s, pos, len, lowered)) pos += len;
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

// parse_open_tag with the ">" search shared across calls; whitespace read
// as in a lowercased copy when `lowered`.
std::optional<OpenTag> parse_open_tag_at(std::string_view text, std::size_t pos, NextMatch& next_gt,
                                         bool lowered) {
    if (pos >= text.size() || text[pos] != '<') return std::nullopt;
    if (pos + 1 >= text.size()) return std::nullopt;
    const char next = text[pos + 1];
    if (next == '!' || next == '/' || next == '?') return std::nullopt;
    const std::size_t name_start = skip_whitespace(text, pos + 1, lowered);
    if (name_start >= text.size()) return std::nullopt;
    const std::size_t name_end = alnum_run_end(text, name_start);
    if (name_end == name_start) return std::nullopt;
    const std::size_t gt = next_gt.at_or_after(pos);
    if (gt == npos) return std::nullopt;
    return OpenTag{text.substr(name_start, name_end - name_start), gt};
}

// A name of up to eight bytes as one number, ASCII-lowercased, so that a
// tag's name is compared with each known name in one step.
constexpr std::uint64_t packed_name(std::string_view name) {
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < name.size() && i < 8; ++i) {
        const auto b = static_cast<unsigned char>(name[i]);
        packed |= static_cast<std::uint64_t>(b >= 'A' && b <= 'Z' ? b + 32 : b) << (8 * i);
    }
    return packed;
}

// Elements that break a line, in any case.
bool is_block_name_in_any_case(std::string_view name) {
    if (name.empty() || name.size() > 10) return false;
    if (name.size() > 8) return text::equals_ignore_case(name, "blockquote") || text::equals_ignore_case(name, "figcaption");
    switch (packed_name(name)) {
        case packed_name("p"): case packed_name("br"): case packed_name("dd"): case packed_name("dl"):
        case packed_name("dt"): case packed_name("h1"): case packed_name("h2"): case packed_name("h3"):
        case packed_name("h4"): case packed_name("h5"): case packed_name("h6"): case packed_name("hr"):
        case packed_name("li"): case packed_name("ol"): case packed_name("td"): case packed_name("th"):
        case packed_name("tr"): case packed_name("ul"): case packed_name("div"): case packed_name("nav"):
        case packed_name("pre"): case packed_name("form"): case packed_name("main"): case packed_name("aside"):
        case packed_name("table"): case packed_name("tbody"): case packed_name("tfoot"): case packed_name("thead"):
        case packed_name("figure"): case packed_name("footer"): case packed_name("header"):
        case packed_name("address"): case packed_name("article"): case packed_name("details"):
        case packed_name("section"):
            return true;
        default:
            return false;
    }
}

// The UTF-8 bytes of `c` written at `out`; their number.
std::size_t encode_utf8(char32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

void append_utf8(std::string& out, char32_t c) {
    char bytes[4];
    out.append(bytes, encode_utf8(c, bytes));
}

std::optional<char> named_reference(std::string_view name) {
    // The longest name is "newline"; longer references are never looked up,
    // so a reference that runs over a huge stretch costs nothing here.
    if (name.size() > 7) return std::nullopt;
    switch (packed_name(name)) {
        case packed_name("lt"): return '<';
        case packed_name("gt"): return '>';
        case packed_name("amp"): return '&';
        case packed_name("quot"): return '"';
        case packed_name("apos"): return '\'';
        case packed_name("tab"): return '\t';
        case packed_name("colon"): return ':';
        case packed_name("newline"): return '\n';
        default: return std::nullopt;
    }
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
// a quote, ")", "<", ">", a backquote or the end. Matched in any case, the
// run reads whitespace as in a lowercased copy.
std::size_t data_url_run_end(std::string_view s, std::size_t pos) {
    while (pos < s.size()) {
        const char c = s[pos];
        if (c == '"' || c == '\'' || c == ')' || c == '<' || c == '>' || c == '`') break;
        if (whitespace_length(s, pos, true) != 0) break;
        pos += text::utf8_len(static_cast<unsigned char>(c));
    }
    return std::min(pos, s.size());
}

struct Removable {
    std::string_view name;
    std::string_view closer;
    std::size_t HtmlSummary::*counter;
};

constexpr std::array<Removable, 5> kRemovable = {{
    {"svg", "</svg", &HtmlSummary::svg},
    {"style", "</style", &HtmlSummary::styles},
    {"script", "</script", &HtmlSummary::scripts},
    {"noscript", "</noscript", &HtmlSummary::scripts},
    {"template", "</template", &HtmlSummary::scripts},
}};

// Whether the "<" at `pos` may open an element that is removed: every such
// name starts with "s", "n" or "t", so any other letter rules it out before
// the tag is read.
bool may_open_removable(std::string_view html, std::size_t pos) {
    if (pos + 1 >= html.size()) return false;
    const char c = html[pos + 1];
    if (text::is_ascii_alpha(c)) {
        const char lower = text::to_lower_ascii(c);
        return lower == 's' || lower == 'n' || lower == 't';
    }
    // Only whitespace may stand between "<" and the name.
    return text::is_ascii_whitespace(c) || static_cast<unsigned char>(c) >= 0x80;
}


// A text written once at a known greatest size, in memory mapped for it:
// a page's copy is tens of megabytes, and asking the system for it in large
// pages spares a fault on every small one.
class PageText {
public:
    explicit PageText(std::size_t capacity) {
        const std::size_t length = std::max<std::size_t>(capacity, 1);
        void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        ::madvise(p, length, MADV_HUGEPAGE);
        data_ = static_cast<char*>(p);
        length_ = length;
    }
    PageText(const PageText&) = delete;
    PageText& operator=(const PageText&) = delete;
    ~PageText() { ::munmap(data_, length_); }

    void append(std::string_view s, std::size_t from, std::size_t count) {
        std::memcpy(data_ + size_, s.data() + from, count);
        size_ += count;
    }
    void push_back(char c) { data_[size_++] = c; }
    std::string_view view() const { return {data_, size_}; }

private:
    char* data_ = nullptr;
    std::size_t length_ = 0;
    std::size_t size_ = 0;
};

// The page with each comment and each script, style, svg, noscript and
// template element replaced by one space. Names and closing tags match in
// any case. Each replaced part is longer than its space, so the text never
// outgrows the page. A page with nothing to remove is its own text: the
// copy is made only at the first part removed.
std::string_view remove_hidden_parts(std::string_view html, HtmlSummary& summary, std::optional<PageText>& out) {
    NextMatch next_gt(html, ">");
    NextMatch comment_end(html, "-->");
    // Each element name searches for its own closing tag and the ">" after
    // it, so that the positions asked of each finder only grow.
    std::array<NextMatch, 5> closers = {
        NextMatch(html, kRemovable[0].closer, true), NextMatch(html, kRemovable[1].closer, true),
        NextMatch(html, kRemovable[2].closer, true), NextMatch(html, kRemovable[3].closer, true),
        NextMatch(html, kRemovable[4].closer, true)};
    std::array<NextMatch, 5> closer_gts = {NextMatch(html, ">"), NextMatch(html, ">"), NextMatch(html, ">"),
                                           NextMatch(html, ">"), NextMatch(html, ">")};
    // Text between removed parts is copied in one piece.
    std::size_t copied = 0;
    std::size_t i = 0;
    while (i < html.size()) {
        i = find_byte(html, '<', i);
        if (i == npos) break;
        std::size_t resume = npos;
        if (i + 3 < html.size() && html[i + 1] == '!' && html[i + 2] == '-' && html[i + 3] == '-') {
            const std::size_t end = comment_end.at_or_after(i + 4);
            if (end != npos) {
                ++summary.comments;
                resume = end + 3;
            }
        } else if (may_open_removable(html, i)) {
            if (const auto tag = parse_open_tag_at(html, i, next_gt, true)) {
                for (std::size_t k = 0; k < kRemovable.size(); ++k) {
                    if (!text::equals_ignore_case(tag->name, kRemovable[k].name)) continue;
                    const std::size_t closer = closers[k].at_or_after(tag->close + 1);
                    if (closer == npos) break;
                    const std::size_t gt = closer_gts[k].at_or_after(closer + kRemovable[k].closer.size());
                    if (gt == npos) break;
                    ++(summary.*kRemovable[k].counter);
                    resume = gt + 1;
                    break;
                }
            }
        }
        if (resume == npos) {
            // A "<" right before another opens nothing.
            ++i;
            while (i + 1 < html.size() && html[i] == '<' && html[i + 1] == '<') ++i;
            continue;
        }
        if (!out) out.emplace(html.size());
        out->append(html, copied, i - copied);
        out->push_back(' ');
        copied = i = resume;
    }
    if (!out) return html;
    out->append(html, copied, html.size() - copied);
    return out->view();
}

std::size_t count_long_data_urls(std::string_view text) {
    std::size_t count = 0;
    std::size_t from = 0;
    while (true) {
        const std::size_t m = find_in_any_case(text, "data:", from);
        if (m == npos) break;
        const std::size_t end = data_url_run_end(text, m);
        if (end - m >= kMinDataUrlBytes) ++count;
        from = std::max(end, m + 5);
    }
    return count;
}

// find_open_tag, with the name matched in any case when `ignore_case`.
std::optional<std::pair<std::size_t, std::size_t>> find_open_tag_in(std::string_view text, std::string_view name,
                                                                    bool ignore_case) {
    std::string pattern = "<";
    pattern += name;
    std::size_t from = 0;
    while (true) {
        const std::size_t at =
            ignore_case ? find_in_any_case(text, pattern, from) : text.find(pattern, from);
        if (at == npos) return std::nullopt;
        const std::size_t after = at + pattern.size();
        if (after >= text.size()) return std::nullopt;
        std::size_t len = 0;
        if (text[after] == '>' || text[after] == '/' || is_space_at(text, after, len, ignore_case)) {
            const std::size_t gt = text.find('>', at);
            if (gt == npos) return std::nullopt;
            return std::pair<std::size_t, std::size_t>(at, gt);
        }
        from = after;
    }
}

// At most `max_chars` characters of `text`: the text itself, or its
// beginning and "…" written into `out`, which must not hold `text`.
std::string_view truncate_into(std::string& out, std::string_view text, std::size_t max_chars) {
    // A text has no more characters than bytes.
    if (text.size() <= max_chars || text::char_count(text) <= max_chars) return text;
    out.assign(text::take_chars(text, max_chars == 0 ? 0 : max_chars - 1));
    out += kEllipsis;
    return out;
}

// Bytes that markup text copies as they are: ASCII other than whitespace,
// "<" and "&".
constexpr std::array<bool, 256> kPlainBytes = [] {
    std::array<bool, 256> plain{};
    for (int b = 0; b < 0x80; ++b) plain[static_cast<std::size_t>(b)] = true;
    for (const char c : {' ', '\t', '\n', '\v', '\f', '\r', '<', '&'}) plain[static_cast<unsigned char>(c)] = false;
    return plain;
}();

bool is_reference_char(char c) { return text::is_ascii_alnum(c) || c == '#' || c == '+'; }

// The visible text of well-formed UTF-8 markup in one pass: what
// normalize_visible_text(tags_to_text(markup)) gives, line by line when
// block elements break lines, without the intermediate texts and without
// hiding data: URLs. A character reference holds only letters, digits, "#"
// and "+" before its ";", so it never spans a tag or a line break and reads
// the same before or after tags become spaces.
class VisibleText {
public:
    explicit VisibleText(std::string_view markup) : s_(markup) {
        const void* last = markup.empty() ? nullptr : ::memrchr(markup.data(), '>', markup.size());
        last_gt_ = last ? static_cast<std::size_t>(static_cast<const char*>(last) - markup.data()) : npos;
    }

    // Writes into `out` the text from `pos` to the end of the markup or,
    // when `block_breaks`, to the end of its line; returns where the next
    // line starts.
    std::size_t write(std::size_t pos, bool block_breaks, std::string& out) const {
        out.clear();
        bool pending_space = false;
        const auto emit = [&](const char* bytes, std::size_t len) {
            if (pending_space && !out.empty()) out.push_back(' ');
            pending_space = false;
            out.append(bytes, len);
        };
        const char* d = s_.data();
        const std::size_t n = s_.size();
        std::size_t i = pos;
        while (i < n) {
            const auto b = static_cast<unsigned char>(d[i]);
            if (kPlainBytes[b]) {
                const std::size_t j = plain_run_end(i + 1);
                emit(d + i, j - i);
                i = j;
            } else if (b == '<') {
                const std::size_t gt = tag_end(i);
                if (gt == npos) {
                    // No ">" follows, so none of the "<" that come next opens a tag either.
                    std::size_t j = i + 1;
                    while (j < n && d[j] == '<') ++j;
                    emit(d + i, j - i);
                    i = j;
                    continue;
                }
                if (block_breaks && is_block_tag(i, gt)) return gt + 1;
                pending_space = true;
                i = gt + 1;
            } else if (b == '&') {
                // An "&" right before another is no reference: a run of them is copied at once.
                std::size_t last = i;
                while (last + 1 < n && d[last + 1] == '&') ++last;
                if (last > i) {
                    emit(d + i, last - i);
                    i = last;
                }
                char decoded[4];
                std::size_t len = 0;
                const std::size_t after = read_reference(i, decoded, len);
                if (after == npos) {
                    emit(d + i, 1);
                    ++i;
                } else {
                    if (len == 0)
                        pending_space = true;
                    else
                        emit(decoded, len);
                    i = after;
                }
            } else if (b < 0x80) {
                if (b == '\n' && block_breaks) return i + 1;
                pending_space = true;
                ++i;
            } else {
                std::size_t len = 1;
                if (text::is_whitespace(text::decode_at(s_, i, len)))
                    pending_space = true;
                else
                    emit(d + i, len);
                i += len;
            }
        }
        return n;
    }

private:
    // Where a run that starts with a plain byte ends, going on from `from`:
    // plain bytes, and single spaces each followed by a plain byte, copy as
    // they are, since collapsing leaves such a space alone. Sixteen bytes a
    // step where SSE2 is there; control bytes, though plain, end a run there
    // and start the next.
    std::size_t plain_run_end(std::size_t from) const {
        const char* d = s_.data();
        const std::size_t n = s_.size();
        std::size_t j = from;
#if defined(__SSE2__)
        const __m128i space = _mm_set1_epi8(' ');
        const __m128i lt = _mm_set1_epi8('<');
        const __m128i amp = _mm_set1_epi8('&');
        const auto plain = [&](__m128i x) {
            // Signed: bytes from 0x80 up are negative and so not above ' '.
            return _mm_andnot_si128(_mm_or_si128(_mm_cmpeq_epi8(x, lt), _mm_cmpeq_epi8(x, amp)),
                                    _mm_cmpgt_epi8(x, space));
        };
        while (j + 17 <= n) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + j));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + j + 1));
            const __m128i good = _mm_or_si128(plain(x), _mm_and_si128(_mm_cmpeq_epi8(x, space), plain(next)));
            const auto stops = static_cast<unsigned>(~_mm_movemask_epi8(good)) & 0xFFFFu;
            if (stops != 0) return j + static_cast<std::size_t>(std::countr_zero(stops));
            j += 16;
        }
#endif
        while (j < n) {
            const auto b = static_cast<unsigned char>(d[j]);
            if (kPlainBytes[b]) {
                ++j;
            } else if (b == ' ' && j + 1 < n && kPlainBytes[static_cast<unsigned char>(d[j + 1])]) {
                j += 2;
            } else {
                break;
            }
        }
        return j;
    }

    // The ">" that closes the tag opened at `lt`, or npos.
    std::size_t tag_end(std::size_t lt) const {
        if (last_gt_ == npos || last_gt_ <= lt) return npos;
        return find_byte(s_.substr(0, last_gt_ + 1), '>', lt + 1);
    }

    bool is_block_tag(std::size_t lt, std::size_t gt) const {
        std::size_t name_start = lt + 1;
        if (name_start < gt && s_[name_start] == '/') ++name_start;
        name_start = skip_whitespace(s_, name_start);
        const std::size_t name_end = std::min(alnum_run_end(s_, name_start), gt);
        return is_block_name_in_any_case(s_.substr(name_start, name_end - name_start));
    }

    // The reference whose "&" is at `amp`: where the text goes on after its
    // ";", with its character in `decoded` (`len` 0 for whitespace), or
    // npos when it is no reference.
    std::size_t read_reference(std::size_t amp, char (&decoded)[4], std::size_t& len) const {
        std::size_t end = amp + 1;
        while (end < s_.size() && is_reference_char(s_[end])) ++end;
        if (end >= s_.size() || s_[end] != ';' || end == amp + 1) return npos;
        const std::string_view ref = s_.substr(amp + 1, end - amp - 1);
        char32_t c = 0;
        if (ref[0] != '#') {
            const auto named = named_reference(ref);
            if (!named) return npos;
            c = static_cast<unsigned char>(*named);
        } else {
            const auto numeric = numeric_reference(ref);
            if (!numeric) return npos;
            c = *numeric;
        }
        len = text::is_whitespace(c) ? 0 : encode_utf8(c, decoded);
        return end + 1;
    }

    std::string_view s_;
    std::size_t last_gt_ = npos;
};

// The text of a stretch of markup as the outline shows it, written into
// buffers kept from one call to the next. Markup that is not well-formed
// UTF-8 takes the general path, which decodes stray bytes as they stand.
// The text with data: URLs hidden, in `sanitized` when one was there.
// Most lines have no ":" at all, which one byte search shows.
std::string_view hide_data_urls(std::string_view s, std::string& sanitized) {
    if (s.find(':') == npos || find_in_any_case(s, "data:", 0) == npos) return s;
    sanitized = sanitize_snippet(s);
    return sanitized;
}

class TextReader {
public:
    explicit TextReader(bool valid_utf8) : valid_utf8_(valid_utf8) {}

    std::string_view visible(std::string_view markup) {
        if (!valid_utf8_) {
            line_ = normalize_visible_text(tags_to_text(markup, false));
            return line_;
        }
        VisibleText(markup).write(0, false, line_);
        return hide_data_urls(line_, sanitized_);
    }

    bool valid_utf8() const { return valid_utf8_; }

    // Calls `f` with each line of the markup's text, block elements
    // breaking lines, as normalize_visible_text gives it, and where the
    // line starts in the markup (well-formed UTF-8 only; 0 otherwise).
    template <class F>
    void for_each_block(std::string_view markup, F f) {
        if (!valid_utf8_) {
            const std::string blocks = tags_to_text(markup, true);
            for (std::string_view line : text::lines_of(blocks)) {
                line_ = normalize_visible_text(line);
                f(std::string_view(line_), std::size_t{0});
            }
            return;
        }
        const VisibleText reader(markup);
        for (std::size_t pos = 0; pos < markup.size();) {
            const std::size_t start = pos;
            pos = reader.write(pos, true, line_);
            f(hide_data_urls(line_, sanitized_), start);
        }
    }

private:
    bool valid_utf8_;
    std::string line_;
    std::string sanitized_;
};

// Texts already seen, each stored once in chunks that never move, found by
// hash: only the distinct texts are kept, not a node and a string each. The
// table holds eight bytes a slot (part of the hash and where the text is
// listed), so that the one random access of each question stays small.
class DistinctTexts {
public:
    static std::size_t hash_of(std::string_view s) { return std::hash<std::string_view>{}(s); }

    // Starts loading the slot where a text of this hash is looked up, so
    // that other work can go on while it comes.
    void prefetch(std::size_t hash) const {
        if (!slots_.empty()) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
    }

    // True when `s`, of the given hash, was not seen before; it is then
    // remembered. Without a rebuild its text is kept at once; with one, only
    // `token` is, and `rebuild(token)`, which must give the same text back,
    // is asked for it when a later text has the same hash: a text is kept
    // only once it has a twin, and rebuilt at most once.
    template <class Rebuild = std::nullptr_t>
    bool insert(std::string_view s, std::size_t hash, std::size_t token = 0, Rebuild rebuild = nullptr) {
        if ((entries_.size() + 1) * 4 > slots_.size() * 3) grow();
        const std::uint64_t tag = tag_of(hash);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            std::uint64_t& slot = slots_[at];
            if (slot == 0) {
                slot = tag | entries_.size();
                const char* kept = nullptr;
                if constexpr (std::is_same_v<Rebuild, std::nullptr_t>) kept = store(s);
                entries_.push_back(Entry{kept, s.size(), hash, token});
                return true;
            }
            if ((slot & ~kIndexBits) != tag) continue;
            Entry& entry = entries_[slot & kIndexBits];
            if (entry.size != s.size()) continue;
            if constexpr (!std::is_same_v<Rebuild, std::nullptr_t>)
                if (entry.data == nullptr) entry.data = store(rebuild(entry.token));
            if (std::memcmp(entry.data, s.data(), s.size()) == 0) return false;
        }
    }

private:
    struct Entry {
        const char* data;  // null while only the token is kept
        std::size_t size;
        std::size_t hash;
        std::size_t token;
    };
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

    // A slot is 0 while free, else 24 bits of the hash (never all zero) over
    // the 40 bits of where its text is listed: more texts than that would
    // need a page of terabytes.
    static constexpr std::uint64_t kIndexBits = (std::uint64_t{1} << 40) - 1;
    static std::uint64_t tag_of(std::size_t hash) { return ((static_cast<std::uint64_t>(hash) >> 40) | 1u) << 40; }

    const char* store(std::string_view s) {
        if (free_ == nullptr || s.size() > free_left_) {
            const std::size_t bytes = std::max(kChunkBytes, s.size());
            chunks_.emplace_back(new char[bytes]);
            free_ = chunks_.back().get();
            free_left_ = bytes;
        }
        char* at = free_;
        std::memcpy(at, s.data(), s.size());
        free_ += s.size();
        free_left_ -= s.size();
        return at;
    }

    void grow() {
        slots_.assign(std::max<std::size_t>(64, slots_.size() * 2), 0);
        const std::size_t mask = slots_.size() - 1;
        // The slots are written in no order: each is fetched a few entries
        // ahead, so that the waits overlap.
        constexpr std::size_t kAhead = 8;
        for (std::size_t k = 0; k < entries_.size(); ++k) {
            if (k + kAhead < entries_.size()) __builtin_prefetch(&slots_[entries_[k + kAhead].hash & mask], 1);
            std::size_t at = entries_[k].hash & mask;
            while (slots_[at] != 0) at = (at + 1) & mask;
            slots_[at] = tag_of(entries_[k].hash) | k;
        }
    }

    std::vector<std::uint64_t> slots_;
    std::vector<Entry> entries_;
    std::vector<std::unique_ptr<char[]>> chunks_;
    char* free_ = nullptr;
    std::size_t free_left_ = 0;
};

// Distinct texts looked up one step late: the slot of each text offered is
// fetched at once and the text offered before it is looked up meanwhile, so
// that reading the page and waiting for the table overlap. `on_new` gets
// each text that was not seen before, with the number given with it, in the
// order offered; `finish` looks up the last one.
class DistinctTextsAhead {
public:
    template <class OnNew, class Rebuild = std::nullptr_t>
    void offer(std::string_view s, std::size_t note, OnNew on_new, std::size_t token = 0, Rebuild rebuild = nullptr) {
        const std::size_t hash = DistinctTexts::hash_of(s);
        seen_.prefetch(hash);
        finish(on_new, rebuild);
        pending_.assign(s);
        pending_note_ = note;
        pending_hash_ = hash;
        pending_token_ = token;
        has_pending_ = true;
    }

    template <class OnNew, class Rebuild = std::nullptr_t>
    void finish(OnNew on_new, Rebuild rebuild = nullptr) {
        if (!has_pending_) return;
        has_pending_ = false;
        if (seen_.insert(pending_, pending_hash_, pending_token_, rebuild))
            on_new(std::string_view(pending_), pending_note_);
    }

private:
    DistinctTexts seen_;
    std::string pending_;
    std::size_t pending_note_ = 0;
    std::size_t pending_hash_ = 0;
    std::size_t pending_token_ = 0;
    bool has_pending_ = false;
};

std::optional<std::string> find_title(std::string_view text, TextReader& reader) {
    const auto tag = find_open_tag_in(text, "title", true);
    if (!tag) return std::nullopt;
    const std::size_t close = find_in_any_case(text, "</title", tag->second + 1);
    if (close == npos) return std::nullopt;
    const std::string_view title = reader.visible(text.substr(tag->second + 1, close - tag->second - 1));
    if (title.empty()) return std::nullopt;
    return truncate(title, kTitleChars);
}

bool is_heading_name(std::string_view name) {
    return name.size() == 2 && text::to_lower_ascii(name[0]) == 'h' && name[1] >= '1' && name[1] <= '6';
}

// What the heading and link collectors share: the body, the reader of its
// text, the summary they fill, and the cursor past the last "<" offered.
class TagCollector {
public:
    TagCollector(std::string_view body, TextReader& reader, HtmlSummary& summary)
        : body_(body), reader_(reader), summary_(summary), next_gt_(body, ">") {}

    std::size_t cursor() const { return cursor_; }

protected:
    // The open tag at `m` when its name passes `is_name`; otherwise nothing,
    // and the cursor moves past the "<" and its first letter.
    std::optional<OpenTag> open_tag_at(std::size_t m, bool (*is_name)(std::string_view)) {
        auto tag = parse_open_tag_at(body_, m, next_gt_, true);
        if (!tag || !is_name(tag->name)) {
            cursor_ = m + 2;
            return std::nullopt;
        }
        return tag;
    }

    std::string_view body_;
    TextReader& reader_;
    HtmlSummary& summary_;
    NextMatch next_gt_;
    std::size_t cursor_ = 0;
};

// The headings of the body: each "<h" at or after `cursor()` is offered to
// `at`, in document order.
class HeadingCollector : public TagCollector {
public:
    HeadingCollector(std::string_view body, TextReader& reader, HtmlSummary& summary)
        : TagCollector(body, reader, summary),
          closers_{NextMatch(body, "</h1", true), NextMatch(body, "</h2", true), NextMatch(body, "</h3", true),
                   NextMatch(body, "</h4", true), NextMatch(body, "</h5", true), NextMatch(body, "</h6", true)} {}

    void at(std::size_t m) {
        const auto tag = open_tag_at(m, &is_heading_name);
        if (!tag) return;
        const char digit = tag->name[1];
        const std::size_t close = closers_[static_cast<std::size_t>(digit - '1')].at_or_after(tag->close + 1);
        if (close == npos) {
            cursor_ = m + 2;
            return;
        }
        const std::string_view heading = reader_.visible(body_.substr(tag->close + 1, close - tag->close - 1));
        cursor_ = close + 4;
        if (heading.empty()) return;
        const std::string_view shown = truncate_into(truncated_, heading, kHeadingChars);
        key_.assign(1, digit);
        key_.push_back('\0');
        key_ += shown;
        seen_.offer(key_, 0, [this](std::string_view key, std::size_t) { take(key); });
    }

    void finish() {
        seen_.finish([this](std::string_view key, std::size_t) { take(key); });
    }

private:
    // A heading not seen before, as its key: the level, a NUL, the text.
    void take(std::string_view key) {
        if (summary_.headings.size() < kListedItems)
            summary_.headings.push_back(Heading{std::string(key.substr(0, 1)), std::string(key.substr(2))});
        ++summary_.heading_count;
    }

    std::array<NextMatch, 6> closers_;
    DistinctTextsAhead seen_;
    std::string truncated_;
    std::string key_;
};

bool is_href_name_char(char c) { return text::is_ascii_alnum(c) || c == '-' || c == ':' || c == '_'; }

// The raw href value of a tag (from "<" to ">"), or nothing.
std::optional<std::string_view> find_href(std::string_view tag) {
    std::size_t from = 0;
    while (true) {
        const std::size_t at = find_in_any_case(tag, "href", from);
        if (at == npos) return std::nullopt;
        if (at > 0 && is_href_name_char(tag[at - 1])) {
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

// The href as the outline shows it, viewing `raw` or one of the buffers;
// nothing when the link is not shown. The copies are made only when a
// reference or a data: URL changes the text.
std::optional<std::string_view> clean_href(std::string_view raw, std::string& unescaped, std::string& sanitized) {
    std::string_view value = raw;
    if (raw.find('&') != npos) {
        unescaped = html_unescape(raw);
        value = unescaped;
    }
    value = text::trim(value);
    if (value.empty() || !has_allowed_scheme(value)) return std::nullopt;
    if (value.find(':') != npos && find_in_any_case(value, "data:", 0) != npos) {
        sanitized = sanitize_snippet(value);
        value = sanitized;
    }
    const std::string_view href = text::trim(value);
    if (href.empty()) return std::nullopt;
    return href;
}

bool is_link_name(std::string_view name) { return name.size() == 1 && text::to_lower_ascii(name[0]) == 'a'; }

// The links of the body: each "<a" at or after `cursor()` is offered to
// `at`, in document order.
class LinkCollector : public TagCollector {
public:
    LinkCollector(std::string_view body, TextReader& reader, HtmlSummary& summary)
        : TagCollector(body, reader, summary), closers_(body, "</a", true) {}

    void at(std::size_t m) {
        const auto tag = open_tag_at(m, &is_link_name);
        if (!tag) return;
        const std::size_t close = closers_.at_or_after(tag->close + 1);
        if (close == npos) {
            cursor_ = tag->close + 1;
            return;
        }
        cursor_ = close + 3;
        const auto raw = find_href(body_.substr(m, tag->close - m + 1));
        if (!raw) return;
        const auto href = clean_href(*raw, href_unescaped_, href_sanitized_);
        if (!href) return;
        std::string_view label = reader_.visible(body_.substr(tag->close + 1, close - tag->close - 1));
        if (label.empty()) label = *href;
        const std::string_view label_shown = truncate_into(label_truncated_, label, kLinkTextChars);
        const std::string_view href_shown = truncate_into(href_truncated_, *href, kHrefChars);
        key_.assign(label_shown);
        key_.push_back('\0');
        key_ += href_shown;
        seen_.offer(key_, label_shown.size(), [this](std::string_view key, std::size_t label) { take(key, label); });
    }

    void finish() {
        seen_.finish([this](std::string_view key, std::size_t label) { take(key, label); });
    }

private:
    // A link not seen before, as its key: the text, a NUL, the target.
    void take(std::string_view key, std::size_t label) {
        if (summary_.links.size() < kListedItems)
            summary_.links.push_back(Link{std::string(key.substr(0, label)), std::string(key.substr(label + 1))});
        ++summary_.link_count;
    }

    NextMatch closers_;
    DistinctTextsAhead seen_;
    std::string href_unescaped_;
    std::string href_sanitized_;
    std::string label_truncated_;
    std::string href_truncated_;
    std::string key_;
};

// The first "<" followed by "h" or "a" in any case at or after `from`.
std::size_t find_heading_or_link(std::string_view s, std::size_t from) {
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i lt = _mm_set1_epi8('<');
    const __m128i case_bit = _mm_set1_epi8(0x20);
    const __m128i h = _mm_set1_epi8('h');
    const __m128i a = _mm_set1_epi8('a');
    for (; i + 17 <= s.size(); i += 16) {
        const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        const __m128i x1 = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i + 1)), case_bit);
        const __m128i hit =
            _mm_and_si128(_mm_cmpeq_epi8(x0, lt), _mm_or_si128(_mm_cmpeq_epi8(x1, h), _mm_cmpeq_epi8(x1, a)));
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit)))
            return i + static_cast<std::size_t>(std::countr_zero(mask));
    }
#endif
    for (; i + 1 < s.size(); ++i) {
        const char next = text::to_lower_ascii(s[i + 1]);
        if (s[i] == '<' && (next == 'h' || next == 'a')) return i;
    }
    return npos;
}

// Headings and links in one pass over the "<h" and "<a" of the body; each
// collector skips what it has already read.
void collect_headings_and_links(std::string_view body, TextReader& reader, HtmlSummary& summary) {
    HeadingCollector headings(body, reader, summary);
    LinkCollector links(body, reader, summary);
    for (std::size_t m = find_heading_or_link(body, 0); m != npos; m = find_heading_or_link(body, m + 1)) {
        if (text::to_lower_ascii(body[m + 1]) == 'h') {
            if (m >= headings.cursor()) headings.at(m);
        } else if (m >= links.cursor()) {
            links.at(m);
        }
    }
    headings.finish();
    links.finish();
}

struct AlnumCounts {
    std::size_t chars = 0;
    std::size_t words = 0;
};

// Letters and digits, and runs of them, counted until both reach what a
// text block needs.
AlnumCounts count_alnum_enough(std::string_view s) {
    AlnumCounts counts;
    bool in_word = false;
    for (std::size_t i = 0; i < s.size();) {
        bool alnum = false;
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            alnum = text::is_ascii_alnum(static_cast<char>(b));
            ++i;
        } else {
            std::size_t len = 1;
            const char32_t c = text::decode_at(s, i, len);
            i += len == 0 ? 1 : len;
            alnum = text::is_alphanumeric(c);
        }
        if (alnum) {
            ++counts.chars;
            if (!in_word) ++counts.words;
            if (counts.chars >= kMinBlockAlnum && counts.words >= kMinBlockWords) break;
        }
        in_word = alnum;
    }
    return counts;
}

// The outline prints the first three distinct blocks, the last two and up
// to three salient ones between them, or all when there are few; this keeps
// just the blocks that can be among them while the page is read.
class BlockPicker {
public:
    // `source`, when given, is the markup the blocks come from, read again
    // to give back a block from where its line starts: then a distinct
    // block's text is kept only once it has a twin, not every block's.
    explicit BlockPicker(const VisibleText* source) : source_(source) {}

    void add(std::string_view block, std::size_t line_start) {
        const AlnumCounts counts = count_alnum_enough(block);
        if (counts.chars < kMinBlockAlnum) return;
        if (counts.words < kMinBlockWords && !is_salient_text(block)) return;
        const std::string_view shown = truncate_into(truncated_, block, kBlockChars);
        const auto on_new = [this](std::string_view text, std::size_t) { take(text); };
        if (source_)
            seen_.offer(shown, 0, on_new, line_start, [this](std::size_t start) { return rebuild(start); });
        else
            seen_.offer(shown, 0, on_new);
    }

    void finish(HtmlSummary& summary) {
        const auto on_new = [this](std::string_view text, std::size_t) { take(text); };
        if (source_)
            seen_.finish(on_new, [this](std::size_t start) { return rebuild(start); });
        else
            seen_.finish(on_new);
        const std::size_t n = count_;
        summary.text_block_count = n;
        if (n <= kListedItems) {
            summary.text_blocks = std::move(first_);
            return;
        }
        auto& kept = summary.text_blocks;
        for (std::size_t i = 0; i < kFirstBlocks; ++i) kept.push_back(std::move(first_[i]));
        std::size_t middle = 0;
        for (auto& block : salient_)
            if (block.first + kLastBlocks < n && middle < kMiddleBlocks) {
                kept.push_back(std::move(block));
                ++middle;
            }
        kept.push_back(std::move(last_[(n - 2) % kLastBlocks]));
        kept.push_back(std::move(last_[(n - 1) % kLastBlocks]));
    }

private:
    static constexpr std::size_t kFirstBlocks = 3;
    static constexpr std::size_t kLastBlocks = 2;
    static constexpr std::size_t kMiddleBlocks = kListedItems - kFirstBlocks - kLastBlocks;

    // The block whose line starts at `start`, as `add` was given it.
    std::string_view rebuild(std::size_t start) {
        source_->write(start, true, rebuilt_line_);
        return truncate_into(rebuilt_truncated_, hide_data_urls(rebuilt_line_, rebuilt_sanitized_), kBlockChars);
    }

    // A block not seen before.
    void take(std::string_view shown) {
        const std::size_t index = count_++;
        if (index < kListedItems) first_.emplace_back(index, shown);
        // At most two of them can turn out to be among the last two.
        if (index >= kFirstBlocks && salient_.size() < kMiddleBlocks + kLastBlocks && is_salient_text(shown))
            salient_.emplace_back(index, shown);
        auto& last = last_[index % kLastBlocks];
        last.first = index;
        last.second.assign(shown);
    }

    const VisibleText* source_;
    DistinctTextsAhead seen_;
    std::string rebuilt_line_;
    std::string rebuilt_sanitized_;
    std::string rebuilt_truncated_;
    std::size_t count_ = 0;
    std::vector<std::pair<std::size_t, std::string>> first_;
    std::vector<std::pair<std::size_t, std::string>> salient_;
    std::array<std::pair<std::size_t, std::string>, kLastBlocks> last_;
    std::string truncated_;
};

void collect_text_blocks(std::string_view body, TextReader& reader, HtmlSummary& summary) {
    std::optional<VisibleText> source;
    if (reader.valid_utf8()) source.emplace(body);
    BlockPicker picker(source ? &*source : nullptr);
    reader.for_each_block(body, [&](std::string_view block, std::size_t start) { picker.add(block, start); });
    picker.finish(summary);
}

// "{name}:", the first eight items, and "… N {name} omitted" for the rest
// (the noun stays plural for one).
template <class Item, class Render>
void add_capped_list(SummaryWriter& out, std::string_view name, const std::vector<Item>& items, std::size_t total,
                     Render render) {
    if (total == 0) return;
    out.add(text::format("{}:", name));
    for (const Item& item : items) out.add(render(item));
    if (total > items.size()) out.add_omission(total - items.size(), "", text::format(" {} omitted", name));
}

}  // namespace

std::optional<std::pair<std::string, std::size_t>> parse_open_tag(std::string_view text, std::size_t pos) {
    NextMatch next_gt(text, ">");
    const auto tag = parse_open_tag_at(text, pos, next_gt, false);
    if (!tag) return std::nullopt;
    return std::pair<std::string, std::size_t>(std::string(tag->name), tag->close);
}

std::optional<std::pair<std::size_t, std::size_t>> find_open_tag(std::string_view text, std::string_view name) {
    return find_open_tag_in(text, name, false);
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
        const bool block = block_breaks && is_block_name_in_any_case(text.substr(name_start, name_end - name_start));
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
    if (find_in_any_case(text, "data:", 0) == npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t cursor = 0;
    while (cursor < text.size()) {
        const std::size_t m = find_in_any_case(text, "data:", cursor);
        if (m == npos) break;
        out.append(text, cursor, m - cursor);
        out.append(kDataUrlMarker);
        cursor = std::max(data_url_run_end(text, m), m + 5);
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
    std::string out;
    const std::string_view shown = truncate_into(out, text, max_chars);
    return shown.data() == text.data() ? std::string(text) : out;
}

bool is_salient_text(std::string_view text) {
    static constexpr std::array<std::string_view, 11> kWords = {
        "error", "warning", "failed", "failure", "exception", "traceback", "fatal", "critical", "denied", "404", "500"};
    // One pass: only a byte that starts one of the words is looked at twice.
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text::to_lower_ascii(text[i]);
        if (c != 'e' && c != 'w' && c != 'f' && c != 't' && c != 'c' && c != 'd' && c != '4' && c != '5') continue;
        const std::string_view rest = text.substr(i);
        for (const std::string_view word : kWords)
            if (word[0] == c && text::starts_with_ignore_case(rest, word)) return true;
    }
    return false;
}

std::optional<HtmlSummary> summarize_html_document(std::string_view html) {
    HtmlSummary summary;
    // Names and closing tags are matched in any case on the text itself:
    // no lowercased copy of the page is made.
    std::optional<PageText> cleaned_text;
    const std::string_view cleaned = remove_hidden_parts(html, summary, cleaned_text);
    summary.data_urls = count_long_data_urls(cleaned);
    TextReader reader(text::is_valid_utf8(cleaned));
    summary.title = find_title(cleaned, reader);
    const auto body_tag = find_open_tag_in(cleaned, "body", true);
    if (!body_tag) return std::nullopt;
    const std::size_t body_close = find_in_any_case(cleaned, "</body", body_tag->second + 1);
    if (body_close == npos) return std::nullopt;
    const std::size_t from = body_tag->second + 1;
    const std::string_view body = cleaned.substr(from, body_close - from);
    collect_headings_and_links(body, reader, summary);
    collect_text_blocks(body, reader, summary);
    if (summary.heading_count == 0 && summary.link_count == 0 && summary.text_block_count == 0) return std::nullopt;
    summary.bytes = html.size();
    return summary;
}

std::string format_html_summary(const HtmlSummary& summary, bool final_newline) {
    SummaryWriter out;
    std::string headline = text::format("html document: bytes={}", summary.bytes);
    if (summary.title) headline += " title=" + text::quote_escaped(*summary.title);
    out.add(headline);
    add_capped_list(out, "headings", summary.headings, summary.heading_count,
                    [](const Heading& h) { return text::format("- h{}: {}", h.level, h.text); });
    add_capped_list(out, "links", summary.links, summary.link_count,
                    [](const Link& l) { return text::format("- {} -> {}", l.text, l.href); });
    if (summary.text_block_count != 0) {
        out.add("text:");
        std::size_t next = 0;
        for (const auto& [k, block] : summary.text_blocks) {
            if (k > next) out.add_omission(k - next, "", " text blocks omitted");
            out.add("- " + block);
            next = k + 1;
        }
        if (next < summary.text_block_count)
            out.add_omission(summary.text_block_count - next, "", " text blocks omitted");
    }
    if (summary.comments || summary.scripts || summary.styles || summary.svg || summary.data_urls)
        out.add(text::format("[html cleanup removed: comments={} scripts={} styles={} svg={} data_urls={}]",
                             summary.comments, summary.scripts, summary.styles, summary.svg, summary.data_urls));
    return out.take(final_newline);
}

}  // namespace filters::html_cleanup::summary
