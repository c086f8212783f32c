#include "filters/html_cleanup/detector.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace filters::html_cleanup::detector {

namespace {

// Smaller pages are left as they are.
constexpr std::size_t kMinBodyBytes = 4096;
// More control characters than this share of all characters is no page.
constexpr double kMaxControlShare = 0.01;

bool is_counted_control(unsigned char b) { return b < 0x20 && b != '\t' && b != '\n' && b != '\r'; }

std::size_t count_controls(std::string_view s) {
    std::size_t count = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes a step: bytes up to 0x1F, less tab, line feed and
    // carriage return.
    const __m128i highest = _mm_set1_epi8(0x1F);
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    for (; i + 16 <= s.size(); i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(x, highest), x);
        const __m128i allowed =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, tab), _mm_cmpeq_epi8(x, lf)), _mm_cmpeq_epi8(x, cr));
        // A page has none, so the count is taken only when there are some.
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(allowed, low))))
            count += static_cast<std::size_t>(std::popcount(mask));
    }
#endif
    for (; i < s.size(); ++i) count += is_counted_control(static_cast<unsigned char>(s[i])) ? 1 : 0;
    return count;
}

bool has_too_many_controls(std::string_view body) {
    const std::size_t controls = count_controls(body);
    if (controls == 0) return false;
    std::size_t chars = text::char_count(body);
    if (chars == 0) chars = 1;
    return static_cast<double>(controls) / static_cast<double>(chars) > kMaxControlShare;
}

// Whether "</body>", in any case, occurs in the text; searched from the end,
// where a page has it.
bool has_closing_body_tag(std::string_view t) {
    std::size_t end = t.size();
    while (end > 0) {
        const void* lt = ::memrchr(t.data(), '<', end);
        if (!lt) return false;
        const auto at = static_cast<std::size_t>(static_cast<const char*>(lt) - t.data());
        if (text::equals_ignore_case(t.substr(at, 7), "</body>")) return true;
        end = at;
    }
    return false;
}

enum class SourceMark { kNone, kSource, kArrow };

// Whether `mark` occurs in `s` with its byte `anchor` at `pos`.
bool mark_at(std::string_view s, std::size_t pos, std::string_view mark, std::size_t anchor) {
    return pos >= anchor && s.size() - (pos - anchor) >= mark.size() && s.compare(pos - anchor, mark.size(), mark) == 0;
}

// The mark of non-page text that has the byte at `pos` as its anchor: each
// mark is found through one of its rarer bytes, so that one pass over the
// text looks for all of them.
SourceMark source_mark_at(std::string_view s, std::size_t pos) {
    bool found = false;
    switch (s[pos]) {
        case '`': found = mark_at(s, pos, "```", 0); break;
        case '{': found = mark_at(s, pos, "{{", 0) || mark_at(s, pos, "{%", 0); break;
        case '%': found = mark_at(s, pos, "<%", 1); break;
        case '?': found = mark_at(s, pos, "<?php", 1); break;
        case 'N': found = mark_at(s, pos, "className=", 5); break;
        case 'x': found = mark_at(s, pos, "export default", 1); break;
        case 'A': found = mark_at(s, pos, "const App", 6) || mark_at(s, pos, "function App(", 9); break;
        case 'R': found = mark_at(s, pos, "React.", 0); break;
        case '<': found = mark_at(s, pos, "</>", 0); break;
        case '(': found = mark_at(s, pos, "Traceback (most recent call last):", 10); break;
        case '\n':
            found = mark_at(s, pos, "\ndiff --git ", 0) || mark_at(s, pos, "\n@@ ", 0) ||
                    mark_at(s, pos, "\n--- ", 0) || mark_at(s, pos, "\n+++ ", 0);
            if (!found && mark_at(s, pos, "\n --> ", 0)) return SourceMark::kArrow;
            break;
        default: break;
    }
    return found ? SourceMark::kSource : SourceMark::kNone;
}

// Whether the text holds a mark of source, a diff hunk or a traceback
// anywhere; `arrow` is set when it holds the arrow line of a compiler
// diagnostic.
bool has_source_mark(std::string_view s, bool& arrow) {
    const auto seen = [&](std::size_t pos) {
        const SourceMark mark = source_mark_at(s, pos);
        if (mark == SourceMark::kArrow) arrow = true;
        return mark == SourceMark::kSource;
    };
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen positions a step, three loads each: the rare anchor bytes
    // alone, the common ones with the byte after them ("ex", "Ap", a line
    // feed before "d", "@", "-", "+" or a space), and "</>".
    const auto ones = [](char c) { return _mm_set1_epi8(c); };
    const __m128i anchors[] = {ones('`'), ones('{'), ones('%'), ones('?'), ones('N'), ones('R'), ones('(')};
    const __m128i line_next[] = {ones('d'), ones('@'), ones('-'), ones('+'), ones(' ')};
    const __m128i e = ones('e'), x = ones('x'), cap_a = ones('A'), p = ones('p'), lf = ones('\n');
    const __m128i lt = ones('<'), slash = ones('/'), gt = ones('>');
    for (; i + 18 <= s.size(); i += 16) {
        const char* at = s.data() + i;
        const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
        const __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 2));
        __m128i hit = _mm_and_si128(_mm_cmpeq_epi8(x0, cap_a), _mm_cmpeq_epi8(x1, p));
        // "export default" is anchored on its "x", the byte after "e".
        hit = _mm_or_si128(hit, _mm_and_si128(_mm_cmpeq_epi8(x0, e), _mm_cmpeq_epi8(x1, x)));
        hit = _mm_or_si128(hit, _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(x0, lt), _mm_cmpeq_epi8(x1, slash)),
                                              _mm_cmpeq_epi8(x2, gt)));
        __m128i after_lf = _mm_setzero_si128();
        for (const __m128i& c : line_next) after_lf = _mm_or_si128(after_lf, _mm_cmpeq_epi8(x1, c));
        hit = _mm_or_si128(hit, _mm_and_si128(_mm_cmpeq_epi8(x0, lf), after_lf));
        for (const __m128i& a : anchors) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x0, a));
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit)); mask != 0; mask &= mask - 1) {
            std::size_t pos = i + static_cast<std::size_t>(std::countr_zero(mask));
            // An "e" found before "x" stands for the "x" it anchors.
            if (s[pos] == 'e') ++pos;
            if (seen(pos)) return true;
        }
    }
#endif
    for (; i < s.size(); ++i)
        if (seen(i)) return true;
    return false;
}

}  // namespace

bool looks_like_non_html_source(std::string_view text) {
    bool arrow = false;
    if (has_source_mark(text, arrow)) return true;
    if (text.starts_with("diff --git ")) return true;
    if (arrow && (text::contains_ignore_case(text, "error:") || text::contains_ignore_case(text, "warning:")))
        return true;
    return text::starts_with_any_ignore_case(text, {"error[", "error:", "warning:"});
}

std::optional<HtmlPage> find_html_page(std::string_view text) {
    HtmlPage page{{}, {}, text};
    if (const auto split = text::split_http_response_head(text)) page = HtmlPage{split->head, split->separator, split->body};
    const std::string_view body = page.body;
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
    if (body_open == std::string_view::npos) return std::nullopt;
    // The first "</body>" must come after "<body": none may start before it
    // (one that did would end before it, as no "<" can sit inside
    // "</body>"), and there must be one.
    if (text::find_ignore_case(t.substr(0, body_open), "</body>") != std::string_view::npos) return std::nullopt;
    if (!has_closing_body_tag(t)) return std::nullopt;
    if (looks_like_non_html_source(body)) return std::nullopt;
    return page;
}

std::optional<HtmlPayload> detect_html_payload(std::string_view text) {
    const auto page = find_html_page(text);
    if (!page) return std::nullopt;
    return HtmlPayload{std::string(page->head), std::string(page->separator), std::string(page->body)};
}

}  // namespace filters::html_cleanup::detector
