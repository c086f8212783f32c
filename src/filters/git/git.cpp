#include "filters/git/git.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "filters/filter.h"
#include "filters/git/diff_sections.h"
#include "filters/git/long_status.h"
#include "filters/git/name_status.h"
#include "filters/git/passes.h"
#include "filters/git/short_status.h"
#include "filters/git/stat.h"
#include "text.h"

namespace filters::git {
namespace {

// What the lines of the input promise. The diff-section, name-status and
// short-status passes can only act on a line that starts their shape, and
// the stat pass only on a line whose last "|" is followed by what may
// begin a stat; one look over the text answers all four, so that other
// text is declined at the cost of that look. The answers still
// hold after the diff-section pass: its result is made of input lines and
// markers, and a marker starts no shape and holds no "|".
struct LineStarts {
    bool diff_section = false;
    bool name_status = false;
    bool status_block = false;
    bool stat_line = false;
};

// The bytes that can begin a line of one of those shapes: "diff --git ",
// "## ", a short-status code or a name-status letter. Most lines of other
// output are passed over on this one look.
constexpr auto kShapeFirstBytes = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : std::string_view("d# !?ABCDMRTUX")) table[c] = true;
    return table;
}();

// The bytes that can stand second in such a line: the "i" of "diff", the
// "#" of "## ", a short-status code, or the tab or score digit after a
// name-status letter.
constexpr auto kShapeSecondBytes = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : std::string_view("i# !?ACDMRTU\t0123456789")) table[c] = true;
    return table;
}();

// What the scan below takes from the tables without reading them: no
// "\n" in either, and no lower-case letter but "d" first and "i" second.
static_assert([] {
    if (kShapeFirstBytes['\n'] || kShapeSecondBytes['\n']) return false;
    for (unsigned char c = 'a'; c <= 'z'; ++c)
        if ((kShapeFirstBytes[c] && c != 'd') || (kShapeSecondBytes[c] && c != 'i')) return false;
    return true;
}());

// Judges the line that starts at offset `s` of the text.
[[gnu::always_inline]] inline void judge_line_start(std::string_view text, std::size_t s, LineStarts& found) {
    // Neither table holds "\n": two bytes they pass are the line's own.
    if (s >= text.size() || text.size() - s < 2 || !kShapeFirstBytes[static_cast<unsigned char>(text[s])] ||
        !kShapeSecondBytes[static_cast<unsigned char>(text[s + 1])])
        return;
    // An indented line (source, pretty-printed JSON) starts none of the
    // shapes: a status line that begins with a blank has a code second.
    if (text[s] == ' ' && text[s + 1] == ' ') return;
    // "diff --git " holds no "\n": the line starts with it exactly when
    // the text from the line start does.
    found.diff_section = found.diff_section || starts_diff_section(text.substr(s));
    // The other two tests read no more than the line's first five bytes
    // (the size, the code or letter, a tab within four bytes), so the line
    // is cut there and at its "\n": the cut line passes a test exactly when
    // the whole line does.
    const std::size_t most = std::min<std::size_t>(text.size() - s, 5);
    std::size_t size = 2;
    while (size < most && text[s + size] != '\n') ++size;
    const std::string_view line = text.substr(s, size);
    found.name_status = found.name_status || may_be_git_name_status_line(line);
    found.status_block = found.status_block || is_git_status_block_line(line);
}

// The first look's state: what was found, and how far the lines holding
// a "|" are judged.
struct ScanState {
    std::string_view text;
    LineStarts found;
    std::size_t judged_to = 0;  // the lines before this offset need no more judging

    // Judges the line that holds offset `at`, after a "|" of the line, by
    // the text after the line's last "|". Each line is judged once, so its
    // bytes are read at most twice more.
    void judge_bar_line(std::size_t at) {
        if (at < judged_to || found.stat_line) return;
        const void* before = memrchr(text.data(), '\n', at);
        const std::size_t begin =
            before ? static_cast<std::size_t>(static_cast<const char*>(before) - text.data()) + 1 : 0;
        const void* after = std::memchr(text.data() + at, '\n', text.size() - at);
        const std::size_t end =
            after ? static_cast<std::size_t>(static_cast<const char*>(after) - text.data()) : text.size();
        const auto last = static_cast<std::size_t>(
            static_cast<const char*>(memrchr(text.data() + begin, '|', end - begin)) - text.data());
        found.stat_line = may_begin_git_stat(text.substr(last + 1, end - last - 1));
        judged_to = end;
    }
};

// What one chunk of the text holds, a bit for each byte:
// - the "\n"s;
// - the "\n"s whose line judge_line_start would find nothing in, as its
//   first two bytes show;
// - the "|"s;
// - where the blanks after a "|" end (the first byte that is no ASCII
//   white space other than "\n"), when that byte may begin a stat: a
//   digit, "-", "B" or a byte of 0x80 or more.
// A line's stat test (may_begin_git_stat) reads exactly that byte after
// the line's last "|" ("\n" ends the blanks and fails it), so a line whose
// last "|" has no such bit fails the test, and only the lines of the bits
// need a look.
struct ChunkMasks {
    std::uint32_t newlines;
    std::uint32_t turned_away;
    std::uint32_t bars;
    std::uint32_t stat_starts;
};

// Where the blanks after each "|" end within a chunk of `width` bytes, as
// in ChunkMasks: adding the bit after each "|" to the blanks carries it
// over the run of blanks that follows, onto the first byte that is not
// one. `carry` comes in set when the blanks after a "|" ran to the end of
// the chunk before, and goes out set when they run to the end of this one.
inline std::uint32_t stat_starts_after(std::uint32_t bars, std::uint32_t blanks, std::uint32_t may_begin,
                                       unsigned width, std::uint32_t& carry) {
    const std::uint64_t landed = (((std::uint64_t{bars} << 1) | carry) + blanks) & ~std::uint64_t{blanks};
    carry = static_cast<std::uint32_t>(landed >> width) & 1u;
    return static_cast<std::uint32_t>(landed) & may_begin;
}

// Reads chunk after chunk of `kWidth` bytes while two bytes past the chunk
// are in the text; the offset where it stopped. The masks of a block of
// chunks are found first, in a loop that calls nothing and so keeps its
// constants in registers; the stats are looked for only in a block that
// holds a "|" (or blanks after one run into it), and a block that holds no
// line start to judge and no stat is passed over whole. `masks(p, want_bars,
// m)` fills all but the stats of `m` for the chunk at `p`, and `stats(p, m,
// carry)` the stats.
template <std::size_t kWidth, class Masks, class Stats>
[[gnu::always_inline]] inline std::size_t scan_chunks(ScanState& scan, Masks&& masks, Stats&& stats) {
    constexpr std::size_t kBlock = 64;
    const std::string_view text = scan.text;
    std::array<ChunkMasks, kBlock> block;
    std::uint32_t carry = 0;
    std::size_t i = 0;
    while (text.size() >= kWidth + 2 && i <= text.size() - (kWidth + 2)) {
        const bool want_bars = !scan.found.stat_line;
        std::uint32_t any = 0, bars = 0;
        std::size_t n = 0;
        for (; n < kBlock && i + n * kWidth <= text.size() - (kWidth + 2); ++n) {
            ChunkMasks& m = block[n];
            masks(text.data() + i + n * kWidth, want_bars, m);
            any |= m.newlines & ~m.turned_away;
            bars |= m.bars;
        }
        if ((bars | carry) != 0)
            for (std::size_t c = 0; c < n; ++c) {
                stats(text.data() + i + c * kWidth, block[c], carry);
                any |= block[c].stat_starts;
            }
        if (any == 0) {
            i += n * kWidth;
            continue;
        }
        // Whether the line goes on past the block without a "|" (0 no, 1
        // yes, -1 not looked at yet).
        int bare_past_block = -1;
        const std::size_t block_end = i + n * kWidth;
        // Whether no "|" follows bit `k` of chunk `c` on its line: a stat
        // bit after any "|" but the line's last is no stat of that line.
        auto last_on_line = [&](std::size_t c, unsigned k) {
            std::uint64_t next = (block[c].bars | block[c].newlines) & ~((std::uint64_t{2} << k) - 1);
            while (next == 0 && ++c < n) next = block[c].bars | block[c].newlines;
            if (next != 0) return ((block[c].bars >> std::countr_zero(next)) & 1u) == 0;
            if (bare_past_block < 0) {
                std::size_t p = block_end;
                while (p < text.size() && text[p] != '|' && text[p] != '\n') ++p;
                bare_past_block = p == text.size() || text[p] == '\n';
            }
            return bare_past_block == 1;
        };
        for (std::size_t c = 0; c < n; ++c, i += kWidth) {
            const ChunkMasks& m = block[c];
            for (std::uint32_t starts = m.newlines & ~m.turned_away; starts != 0; starts &= starts - 1)
                judge_line_start(text, i + static_cast<std::size_t>(std::countr_zero(starts)) + 1, scan.found);
            for (std::uint32_t ends = m.stat_starts; ends != 0 && !scan.found.stat_line; ends &= ends - 1) {
                const auto k = static_cast<unsigned>(std::countr_zero(ends));
                if (last_on_line(c, k)) scan.judge_bar_line(i + k);
            }
        }
    }
    // Blanks after a "|" that run on past the chunks: its line is judged.
    if (carry != 0) scan.judge_bar_line(i - 1);
    return i;
}

#if defined(__SSE2__)
// The bytes of `v` from `low` to `high` (both below 0x80).
[[gnu::always_inline]] inline __m128i sse2_between(__m128i v, char low, char high) {
    return _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(low - 1))),
                         _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(high + 1)), v));
}

// Without a byte shuffle the tables cannot be read sixteen at a time:
// here a line start is turned away on two blanks, or on a lower-case letter
// that neither table holds ("d" is the only one first, "i" the only one
// second).
[[gnu::always_inline]] inline void sse2_masks(const char* p, bool want_bars, ChunkMasks& m) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2));
    auto lower_but = [](__m128i v, char kept) {
        return _mm_andnot_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(kept)), sse2_between(v, 'a', 'z'));
    };
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i away = _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(v1, blank), _mm_cmpeq_epi8(v2, blank)),
                                      _mm_or_si128(lower_but(v1, 'd'), lower_but(v2, 'i')));
    m.newlines = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v0, _mm_set1_epi8('\n'))));
    m.turned_away = static_cast<std::uint32_t>(_mm_movemask_epi8(away));
    m.bars = want_bars ? static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v0, _mm_set1_epi8('|')))) : 0u;
    m.stat_starts = 0;
}

[[gnu::always_inline]] inline void sse2_stats(const char* p, ChunkMasks& m, std::uint32_t& carry) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i blanks =
        _mm_or_si128(_mm_cmpeq_epi8(v0, _mm_set1_epi8(' ')),
                     _mm_andnot_si128(_mm_cmpeq_epi8(v0, _mm_set1_epi8('\n')), sse2_between(v0, '\t', '\r')));
    const __m128i may_begin =
        _mm_or_si128(_mm_or_si128(sse2_between(v0, '0', '9'), _mm_cmplt_epi8(v0, _mm_setzero_si128())),
                     _mm_or_si128(_mm_cmpeq_epi8(v0, _mm_set1_epi8('-')), _mm_cmpeq_epi8(v0, _mm_set1_epi8('B'))));
    m.stat_starts = stat_starts_after(m.bars, static_cast<std::uint32_t>(_mm_movemask_epi8(blanks)),
                                      static_cast<std::uint32_t>(_mm_movemask_epi8(may_begin)), 16, carry);
}

std::size_t scan_chunks_sse2(ScanState& scan) { return scan_chunks<16>(scan, &sse2_masks, &sse2_stats); }
#endif
#if defined(__x86_64__) && defined(__GNUC__)
// A byte table as two tables of sixteen, so that one shuffle each looks up
// thirty-two bytes: each high half-byte that begins some byte of the table
// is given a bit of its own, and a low half-byte holds the bits of the high
// ones it completes to a byte of the table. A byte is in the table exactly
// when the bits of its two halves meet.
struct NibbleTables {
    std::array<std::uint8_t, 16> low{}, high{};
};

constexpr NibbleTables nibble_tables(const std::array<bool, 256>& table) {
    NibbleTables t;
    unsigned next_bit = 0;
    for (unsigned hi = 0; hi < 16; ++hi) {
        bool any = false;
        for (unsigned lo = 0; lo < 16; ++lo) any = any || table[hi * 16 + lo];
        if (!any) continue;
        if (next_bit == 8) throw "more than eight high half-bytes";
        const auto bit = static_cast<std::uint8_t>(1u << next_bit++);
        t.high[hi] = bit;
        for (unsigned lo = 0; lo < 16; ++lo)
            if (table[hi * 16 + lo]) t.low[lo] = static_cast<std::uint8_t>(t.low[lo] | bit);
    }
    return t;
}

constexpr NibbleTables kFirstNibbles = nibble_tables(kShapeFirstBytes);
constexpr NibbleTables kSecondNibbles = nibble_tables(kShapeSecondBytes);

// After a first blank, only a status line can start, and only with a
// status character that is no blank (see is_git_status_block_line): a
// context line of a diff (" if", " \tx") starts nothing.
constexpr auto kAfterBlankBytes = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : std::string_view("!?ACDMRTU")) table[c] = true;
    return table;
}();
constexpr NibbleTables kAfterBlankNibbles = nibble_tables(kAfterBlankBytes);

// The bytes of `v` that are in the table.
__attribute__((target("avx2"), always_inline)) inline __m256i avx2_in_table(__m256i v, const NibbleTables& t) {
    const __m256i low = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.low.data())));
    const __m256i high =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.high.data())));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i bits =
        _mm256_and_si256(_mm256_shuffle_epi8(low, _mm256_and_si256(v, nibble)),
                         _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble)));
    return _mm256_xor_si256(_mm256_cmpeq_epi8(bits, _mm256_setzero_si256()), _mm256_set1_epi8(-1));
}

// The bytes of `v` from `low` to `high` (both below 0x80).
__attribute__((target("avx2"), always_inline)) inline __m256i avx2_between(__m256i v, char low, char high) {
    return _mm256_and_si256(_mm256_cmpgt_epi8(v, _mm256_set1_epi8(static_cast<char>(low - 1))),
                            _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(high + 1)), v));
}

// Here a line start is turned away when judge_line_start would turn it
// away on its first two bytes, the tables themselves read, or would find
// nothing after a first blank.
__attribute__((target("avx2"), always_inline)) inline void avx2_masks(const char* p, bool want_bars,
                                                                      ChunkMasks& m) {
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m256i v2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2));
    const __m256i blank = _mm256_set1_epi8(' ');
    const __m256i kept =
        _mm256_and_si256(avx2_in_table(v1, kFirstNibbles),
                         _mm256_blendv_epi8(avx2_in_table(v2, kSecondNibbles), avx2_in_table(v2, kAfterBlankNibbles),
                                            _mm256_cmpeq_epi8(v1, blank)));
    m.newlines = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v0, _mm256_set1_epi8('\n'))));
    m.turned_away = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(kept));
    m.bars = want_bars
                 ? static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v0, _mm256_set1_epi8('|'))))
                 : 0u;
    m.stat_starts = 0;
}

__attribute__((target("avx2"), always_inline)) inline void avx2_stats(const char* p, ChunkMasks& m,
                                                                      std::uint32_t& carry) {
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i blanks = _mm256_or_si256(
        _mm256_cmpeq_epi8(v0, _mm256_set1_epi8(' ')),
        _mm256_andnot_si256(_mm256_cmpeq_epi8(v0, _mm256_set1_epi8('\n')), avx2_between(v0, '\t', '\r')));
    const __m256i may_begin =
        _mm256_or_si256(_mm256_or_si256(avx2_between(v0, '0', '9'), _mm256_cmpgt_epi8(_mm256_setzero_si256(), v0)),
                        _mm256_or_si256(_mm256_cmpeq_epi8(v0, _mm256_set1_epi8('-')),
                                        _mm256_cmpeq_epi8(v0, _mm256_set1_epi8('B'))));
    m.stat_starts = stat_starts_after(m.bars, static_cast<std::uint32_t>(_mm256_movemask_epi8(blanks)),
                                      static_cast<std::uint32_t>(_mm256_movemask_epi8(may_begin)), 32, carry);
}

__attribute__((target("avx2"))) std::size_t scan_chunks_avx2(ScanState& scan) {
    return scan_chunks<32>(
        scan,
        [](const char* p, bool want_bars, ChunkMasks& m) __attribute__((target("avx2"))) {
            avx2_masks(p, want_bars, m);
        },
        [](const char* p, ChunkMasks& m, std::uint32_t& carry)
            __attribute__((target("avx2"))) { avx2_stats(p, m, carry); });
}
#endif

// One pass over the bytes of the text, thirty-two or sixteen at a time
// where the processor allows, finds the line starts to judge and the "|"s
// whose line may be a stat line (see ChunkMasks): indented text, prose or
// a compiler's source gutter leave few lines to look at one by one.
LineStarts scan_bytes(std::string_view text) {
    ScanState scan{text, {}};
    judge_line_start(text, 0, scan.found);
    std::size_t i = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx2")) i = scan_chunks_avx2(scan);
#endif
#if defined(__SSE2__)
    if (i == 0) i = scan_chunks_sse2(scan);
#endif
    // The last bytes one by one; each "|" among them has its line judged.
    for (; i < text.size(); ++i) {
        if (text[i] == '\n')
            judge_line_start(text, i + 1, scan.found);
        else if (text[i] == '|')
            scan.judge_bar_line(i);
    }
    return scan.found;
}

// The same answers from the lines: each line start judged, and the lines
// holding a "|" looked into. Where such lines are rare, the next "|" is
// searched for once and the lines before it are passed over; after a line
// that holds one, its neighbours are looked into one by one until a line
// holds none. Lines of a text of long lines are few, so this reads less
// than the byte scan, and a table's many "|"s cost a look per line.
LineStarts walk_lines(const text::LineIndex& lines) {
    LineStarts found;
    const std::string_view text = lines.text();
    auto bar_from = [&text](std::size_t from) {
        const void* hit = std::memchr(text.data() + from, '|', text.size() - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : text.size();
    };
    std::size_t next_bar = bar_from(0);
    bool line_by_line = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (!found.stat_line && (line_by_line || next_bar < lines.start(i) + line.size())) {
            const void* bar = memrchr(line.data(), '|', line.size());
            line_by_line = bar != nullptr;
            if (line_by_line)
                found.stat_line = may_begin_git_stat(
                    line.substr(static_cast<std::size_t>(static_cast<const char*>(bar) - line.data()) + 1));
            else
                next_bar = bar_from(lines.start(i) + line.size());
        }
        judge_line_start(text, lines.start(i), found);
    }
    return found;
}

// Lines at least this long on average are walked rather than scanned: the
// byte scan pays for every byte, the walk for every line, and only texts
// of short lines (pretty-printed JSON, progress lines) have lines enough
// for the scan to win.
constexpr std::size_t kWalkedLineBytes = 32;

LineStarts scan_line_starts(const text::LineIndex& lines) {
    if (lines.size() > 0 && lines.text().size() / lines.size() >= kWalkedLineBytes) return walk_lines(lines);
    return scan_bytes(lines.text());
}

using Pass = std::optional<std::string> (*)(std::string_view);

struct PassEntry {
    Pass pass;
    bool LineStarts::*needs;  // on the unchanged input, the pass runs only when this holds
};

// Between the diff-section and the short-status passes, each pass works on
// what the one before left, in this order. The long-status pass has a
// cheap gate of its own (the first line).
constexpr PassEntry kMiddlePasses[] = {
    {&compress_git_stat_runs, &LineStarts::stat_line},
    {&compress_git_name_status_runs, &LineStarts::name_status},
    {&compress_git_long_status, nullptr},
};

}  // namespace

Attempt try_compress_git_output(const FilterInput& input) {
    const LineStarts starts = scan_line_starts(input.lines);
    Attempt current;
    auto keep_if_smaller = [&current](Attempt result, std::string_view view) {
        if (result && text::is_smaller_output(*result, view)) current = std::move(result);
    };
    // The first pass reads the input itself, whose lines are known.
    if (starts.diff_section) keep_if_smaller(compress_git_diff_sections(input.text, input.lines), input.text);
    // Once a later pass has changed the text, the scan says nothing about it.
    bool starts_hold = true;
    for (const PassEntry& entry : kMiddlePasses) {
        if (starts_hold && entry.needs && !(starts.*entry.needs)) continue;
        const std::string_view view = current ? std::string_view(*current) : input.text;
        Attempt result = entry.pass(view);
        if (result && text::is_smaller_output(*result, view)) {
            current = std::move(result);
            starts_hold = false;
        }
    }
    // A text that a middle pass changed is looked over again the same way
    // (a tree it drew may hold lines of any shape) before its lines are
    // found for the last pass.
    if (!(starts_hold ? starts : scan_bytes(*current)).status_block) return current;
    if (current)
        keep_if_smaller(compress_git_short_status(*current), *current);
    else
        keep_if_smaller(compress_git_short_status(input.text, input.lines), input.text);
    return current;
}

std::string compress_git_output(std::string_view text) { return run_alone(&try_compress_git_output, text); }

}  // namespace filters::git
