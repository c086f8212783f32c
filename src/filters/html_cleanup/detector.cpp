#include "filters/html_cleanup/detector.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace filters::html_cleanup::detector {

namespace {

// Smaller pages are left as they are.
constexpr std::size_t kMinBodyBytes = 4096;
// More control characters than this share of all characters is no page.
constexpr double kMaxControlShare = 0.01;

bool is_counted_control(unsigned char b) { return b < 0x20 && b != '\t' && b != '\n' && b != '\r'; }

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
        case 'x': found = pos > 0 && s[pos - 1] == 'e' && mark_at(s, pos, "export default", 1); break;
        case 'A': found = mark_at(s, pos, "const App", 6) || mark_at(s, pos, "function App(", 9); break;
        case 'R': found = mark_at(s, pos, "React.", 0); break;
        case '<': found = mark_at(s, pos, "</>", 0); break;
        case '(': found = mark_at(s, pos, "Traceback (most recent call last):", 10); break;
        case '\n':
            if (pos + 1 >= s.size()) break;
            if (const char next = s[pos + 1]; next != 'd' && next != '@' && next != '-' && next != '+' && next != ' ')
                break;
            found = mark_at(s, pos, "\ndiff --git ", 0) || mark_at(s, pos, "\n@@ ", 0) ||
                    mark_at(s, pos, "\n--- ", 0) || mark_at(s, pos, "\n+++ ", 0);
            if (!found && mark_at(s, pos, "\n --> ", 0)) return SourceMark::kArrow;
            break;
        default: break;
    }
    return found ? SourceMark::kSource : SourceMark::kNone;
}

// What one pass over a page finds: its control characters, and the first
// mark of source, a diff or a traceback, where the pass stops.
struct PageScan {
    std::size_t controls = 0;  // bytes below 0x20 other than tab, line feed and carriage return
    bool nul = false;
    bool source_mark = false;
    bool arrow = false;  // the arrow line of a compiler diagnostic
};

// Takes the mark anchored at `pos`, if any; true when the pass can stop.
bool take_mark(std::string_view s, std::size_t pos, PageScan& scan) {
    const SourceMark mark = source_mark_at(s, pos);
    if (mark == SourceMark::kArrow) scan.arrow = true;
    scan.source_mark = mark == SourceMark::kSource;
    return scan.source_mark;
}

// The bytes from `i` on, one at a time.
void scan_bytes(std::string_view s, std::size_t i, PageScan& scan) {
    for (; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (is_counted_control(b)) ++scan.controls;
        if (b == 0) scan.nul = true;
        if (take_mark(s, i, scan)) return;
    }
}

// In each step, the anchors of the marks: the rare bytes alone, the common
// ones with the byte after them ("ex" for "export default", "Ap", a line
// feed before "d", "@", "-", "+" or a space) and "</>". An "e" found before
// "x" stands for the "x" it anchors.
#define QUORVANE_HTML_SCAN_STEP(V, set1, cmpeq, or_, and_, andnot, min_u8, movemask, zero, width)            \
    const V rare[] = {set1('`'), set1('{'), set1('%'), set1('?'), set1('N'), set1('R'), set1('(')};                    \
    const V line_next[] = {set1('d'), set1('@'), set1('-'), set1('+'), set1(' ')};                                     \
    const V e = set1('e'), x = set1('x'), cap_a = set1('A'), p = set1('p'), lf = set1('\n');                           \
    const V lt = set1('<'), slash = set1('/'), gt = set1('>');                                                         \
    const V highest_control = set1(0x1F), tab = set1('\t'), cr = set1('\r');                                           \
    V nul = zero;                                                                                                      \
    for (; i + width + 2 <= s.size(); i += width) {                                                                    \
        const char* at = s.data() + i;                                                                                 \
        const V x0 = QUORVANE_HTML_LOAD(at), x1 = QUORVANE_HTML_LOAD(at + 1), x2 = QUORVANE_HTML_LOAD(at + 2);                                                   \
        const V low = cmpeq(min_u8(x0, highest_control), x0);                                                          \
        nul = or_(nul, cmpeq(x0, zero));                                                                               \
        /* A page has no controls: they are counted only where there are some. */                                     \
        if (const auto controls = static_cast<std::uint32_t>(                                                          \
                movemask(andnot(or_(or_(cmpeq(x0, tab), cmpeq(x0, lf)), cmpeq(x0, cr)), low))))                        \
            scan.controls += static_cast<std::size_t>(std::popcount(controls));                                        \
        V hit = or_(and_(cmpeq(x0, cap_a), cmpeq(x1, p)), and_(cmpeq(x0, e), cmpeq(x1, x)));                           \
        hit = or_(hit, and_(and_(cmpeq(x0, lt), cmpeq(x1, slash)), cmpeq(x2, gt)));                                    \
        V after_lf = zero;                                                                                             \
        for (const V& c : line_next) after_lf = or_(after_lf, cmpeq(x1, c));                                           \
        hit = or_(hit, and_(cmpeq(x0, lf), after_lf));                                                                 \
        for (const V& c : rare) hit = or_(hit, cmpeq(x0, c));                                                          \
        for (auto mask = static_cast<std::uint32_t>(movemask(hit)); mask != 0; mask &= mask - 1) {                     \
            std::size_t pos = i + static_cast<std::size_t>(std::countr_zero(mask));                                    \
            if (s[pos] == 'e') ++pos;                                                                                  \
            if (take_mark(s, pos, scan)) return;                                                                       \
        }                                                                                                              \
    }                                                                                                                  \
    if (movemask(nul) != 0) scan.nul = true;                                                                           \
    scan_bytes(s, i, scan);

#if defined(__SSE2__)
void scan_page_sse2(std::string_view s, PageScan& scan) {
    std::size_t i = 0;
#define QUORVANE_HTML_LOAD(at) _mm_loadu_si128(reinterpret_cast<const __m128i*>(at))
    QUORVANE_HTML_SCAN_STEP(__m128i, _mm_set1_epi8, _mm_cmpeq_epi8, _mm_or_si128, _mm_and_si128, _mm_andnot_si128,
                            _mm_min_epu8, _mm_movemask_epi8, _mm_setzero_si128(), 16)
#undef QUORVANE_HTML_LOAD
}

// With AVX2, a byte's membership of the set of rare anchors is one table
// look-up by each half of the byte (the low half's entry lists which high
// halves go with it), so a step of 32 bytes costs a few instructions;
// controls, which a page lacks, are looked at one by one where there are
// some.
__attribute__((target("avx2"))) void scan_page_avx2(std::string_view s, PageScan& scan) {
    // Anchors by high half: 0 "\n"; 2 "%" "("; 3 "?"; 4 "N"; 5 "R"; 6 "`"; 7 "x" "{".
    const __m256i by_low = _mm256_setr_epi8(0x20, 0, 0x10, 0, 0, 0x02, 0, 0, 0x42, 0, 0x01, 0x40, 0, 0, 0x08, 0x04,
                                            0x20, 0, 0x10, 0, 0, 0x02, 0, 0, 0x42, 0, 0x01, 0x40, 0, 0, 0x08, 0x04);
    const __m256i by_high = _mm256_setr_epi8(0x01, 0, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0, 0, 0, 0, 0, 0, 0, 0,
                                             0x01, 0, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i low_half = _mm256_set1_epi8(0x0F);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i highest_control = _mm256_set1_epi8(0x1F);
    const __m256i cap_a = _mm256_set1_epi8('A'), p = _mm256_set1_epi8('p');
    const __m256i lt = _mm256_set1_epi8('<'), slash = _mm256_set1_epi8('/'), gt = _mm256_set1_epi8('>');
    std::size_t i = 0;
    for (; i + 34 <= s.size(); i += 32) {
        const char* at = s.data() + i;
        const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1));
        const __m256i x2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 2));
        if (const auto low = static_cast<std::uint32_t>(
                _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_min_epu8(x0, highest_control), x0)))) {
            for (std::uint32_t mask = low; mask != 0; mask &= mask - 1) {
                const auto b = static_cast<unsigned char>(at[std::countr_zero(mask)]);
                if (is_counted_control(b)) ++scan.controls;
                if (b == 0) scan.nul = true;
            }
        }
        const __m256i classes =
            _mm256_and_si256(_mm256_shuffle_epi8(by_low, _mm256_and_si256(x0, low_half)),
                             _mm256_shuffle_epi8(by_high, _mm256_and_si256(_mm256_srli_epi16(x0, 4), low_half)));
        const __m256i pairs = _mm256_or_si256(
            _mm256_and_si256(_mm256_cmpeq_epi8(x0, cap_a), _mm256_cmpeq_epi8(x1, p)),
            _mm256_and_si256(_mm256_and_si256(_mm256_cmpeq_epi8(x0, lt), _mm256_cmpeq_epi8(x1, slash)),
                             _mm256_cmpeq_epi8(x2, gt)));
        auto hits = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(classes, zero))) |
                    static_cast<std::uint32_t>(_mm256_movemask_epi8(pairs));
        for (; hits != 0; hits &= hits - 1)
            if (take_mark(s, i + static_cast<std::size_t>(std::countr_zero(hits)), scan)) return;
    }
    scan_bytes(s, i, scan);
}
#endif

#undef QUORVANE_HTML_SCAN_STEP

// One pass over the page: 32 bytes a step where the processor has AVX2,
// 16 with SSE2, one otherwise.
PageScan scan_page(std::string_view s) {
    PageScan scan;
#if defined(__SSE2__)
    if (__builtin_cpu_supports("avx2"))
        scan_page_avx2(s, scan);
    else
        scan_page_sse2(s, scan);
#else
    scan_bytes(s, 0, scan);
#endif
    return scan;
}

bool has_too_many_controls(std::string_view body, std::size_t controls) {
    if (controls == 0) return false;
    std::size_t chars = text::char_count(body);
    if (chars == 0) chars = 1;
    return static_cast<double>(controls) / static_cast<double>(chars) > kMaxControlShare;
}

bool is_non_html_source(std::string_view text, const PageScan& scan) {
    if (scan.source_mark) return true;
    if (text.starts_with("diff --git ")) return true;
    if (scan.arrow && (text::contains_ignore_case(text, "error:") || text::contains_ignore_case(text, "warning:")))
        return true;
    return text::starts_with_any_ignore_case(text, {"error[", "error:", "warning:"});
}

}  // namespace

bool looks_like_non_html_source(std::string_view text) { return is_non_html_source(text, scan_page(text)); }

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
    // One pass finds NUL bytes, control characters and marks of other text;
    // it stops at the first mark, and then the page is refused anyway.
    const PageScan scan = scan_page(body);
    if (scan.source_mark) return std::nullopt;
    if (scan.nul) return std::nullopt;
    if (has_too_many_controls(body, scan.controls)) return std::nullopt;
    if (text::find_ignore_case(t, "<html") == std::string_view::npos) return std::nullopt;
    const std::size_t body_open = text::find_ignore_case(t, "<body");
    if (body_open == std::string_view::npos) return std::nullopt;
    // The first "</body>" must come after "<body": none may start before it
    // (one that did would end before it, as no "<" can sit inside
    // "</body>"), and there must be one.
    if (text::find_ignore_case(t.substr(0, body_open), "</body>") != std::string_view::npos) return std::nullopt;
    if (!has_closing_body_tag(t)) return std::nullopt;
    if (is_non_html_source(body, scan)) return std::nullopt;
    return page;
}

std::optional<HtmlPayload> detect_html_payload(std::string_view text) {
    const auto page = find_html_page(text);
    if (!page) return std::nullopt;
    return HtmlPayload{std::string(page->head), std::string(page->separator), std::string(page->body)};
}

}  // namespace filters::html_cleanup::detector
