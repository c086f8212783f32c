#include "filters/rg/scan.h"

#include <immintrin.h>

#include <bit>
#include <cstdint>
#include <cstring>

#include "text.h"

namespace filters::rg::scan {
namespace {

constexpr std::size_t kBlock = 64;

bool is_path_mark(char c) { return c == '/' || c == '\\' || c == '.' || c == '~'; }

// The masks of one 64-byte block: bit b stands for byte b of the block.
struct Masks {
    std::uint64_t colon = 0, digit = 0, positive = 0, newline = 0, path_mark = 0, esc = 0;  // path_mark: SSE2 only
};

// Lane by lane: 0xFF where the byte is in "0".."9", else 0.
__m128i digits_sse2(__m128i v) {
    const __m128i x = _mm_sub_epi8(v, _mm_set1_epi8('0'));
    return _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(9)), x);
}

[[gnu::always_inline]] inline Masks masks_sse2(const char* p) {
    Masks m;
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        auto bits = [&](__m128i x) {
            return std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(x))} << (16 * k);
        };
        auto eq = [&](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
        const __m128i digit = digits_sse2(v);
        m.colon |= bits(eq(':'));
        m.digit |= bits(digit);
        m.positive |= bits(_mm_andnot_si128(eq('0'), digit));
        m.newline |= bits(eq('\n'));
        m.esc |= bits(eq('\x1b'));
        // "." and "/" differ in the lowest bit only.
        const __m128i dot_or_slash = _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(1)), _mm_set1_epi8('/'));
        m.path_mark |= bits(_mm_or_si128(dot_or_slash, _mm_or_si128(eq('\\'), eq('~'))));
    }
    return m;
}

#define QS_AVX2 inline __attribute__((target("avx2"), always_inline))
QS_AVX2 std::uint64_t bits_avx2(__m256i a, __m256i b) {
    return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(a))} |
           (std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(b))} << 32);
}
QS_AVX2 __m256i eq_avx2(__m256i v, char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); }
QS_AVX2 __m256i digits_avx2(__m256i v) {
    const __m256i x = _mm256_sub_epi8(v, _mm256_set1_epi8('0'));
    return _mm256_cmpeq_epi8(_mm256_min_epu8(x, _mm256_set1_epi8(9)), x);
}
// "." and "/" differ in the lowest bit only.
QS_AVX2 __m256i marks_avx2(__m256i v) {
    const __m256i dot_or_slash = _mm256_cmpeq_epi8(_mm256_or_si256(v, _mm256_set1_epi8(1)), _mm256_set1_epi8('/'));
    return _mm256_or_si256(dot_or_slash, _mm256_or_si256(eq_avx2(v, '\\'), eq_avx2(v, '~')));
}
#undef QS_AVX2

// The masks of the block at `p`, or only its colon and ESC masks when both
// are empty and `quick` allows it: such a block needs no closer look.
inline __attribute__((target("avx2"))) Masks masks_avx2(const char* p, bool quick) {
    Masks m;
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    m.colon = bits_avx2(eq_avx2(v0, ':'), eq_avx2(v1, ':'));
    m.esc = bits_avx2(eq_avx2(v0, '\x1b'), eq_avx2(v1, '\x1b'));
    if (quick && m.colon == 0 && m.esc == 0) return m;
    m.digit = bits_avx2(digits_avx2(v0), digits_avx2(v1));
    m.positive = m.digit & ~bits_avx2(eq_avx2(v0, '0'), eq_avx2(v1, '0'));
    m.newline = bits_avx2(eq_avx2(v0, '\n'), eq_avx2(v1, '\n'));
    return m;
}

inline __attribute__((target("avx2"))) std::uint64_t path_marks_avx2(const char* p) {
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    return bits_avx2(marks_avx2(v0), marks_avx2(v1));
}

struct Sse2 {
    [[gnu::always_inline]] static Masks masks(const char* p, bool) { return masks_sse2(p); }
    [[gnu::always_inline]] static std::uint64_t path_marks(const char* p) { return masks_sse2(p).path_mark; }
};
struct Avx2 {
    __attribute__((target("avx2"))) static Masks masks(const char* p, bool quick) { return masks_avx2(p, quick); }
    __attribute__((target("avx2"))) static std::uint64_t path_marks(const char* p) { return path_marks_avx2(p); }
};

// Brings `marked` (a path mark since the last newline) from offset `from`,
// where it holds, to offset `to`. Every byte is read at most once over a
// whole scan, as `from` only moves on.
void bring_marked(std::string_view s, std::size_t from, std::size_t to, bool& marked) {
    if (from >= to) return;
    const void* nl = memrchr(s.data() + from, '\n', to - from);
    if (nl != nullptr) {
        from = static_cast<std::size_t>(static_cast<const char*>(nl) - s.data()) + 1;
        marked = false;
    }
    for (std::size_t k = from; k < to && !marked; ++k) marked = is_path_mark(s[k]);
}

std::uint64_t below(unsigned bit) { return (std::uint64_t{1} << bit) - 1; }

// The ends of the digit runs that begin at `starts` (a subset of `digit`)
// and are closed by a colon. `carry` is 1 when a run goes on from the last
// byte of the block before (0 otherwise) and is set to whether a run goes
// on past the last byte of this one.
std::uint64_t closed_runs(std::uint64_t starts, std::uint64_t digit, std::uint64_t colon, std::uint64_t& carry) {
    std::uint64_t sum = 0, with_carry = 0;
    const bool out1 = __builtin_add_overflow(starts, digit, &sum);
    const bool out2 = __builtin_add_overflow(sum, carry, &with_carry);
    carry = (out1 || out2) ? 1 : 0;
    return with_carry & ~digit & colon;
}

// The byte-at-a-time form of the same test, for the bytes near the end of
// the text and for the rare blocks where a digit run reaches the next block.
// `marked` is whether a path mark stands since the last newline before
// `from`; it is brought up to `to`.
void scan_bytes(std::string_view s, std::size_t from, std::size_t to, bool& marked, std::vector<std::size_t>& out) {
    for (std::size_t p = from; p < to; ++p) {
        const char c = s[p];
        if (c == '\n') {
            marked = false;
        } else if (is_path_mark(c)) {
            marked = true;
        } else if (c == '\x1b') {
            out.push_back(p);
        } else if (c == ':' && p > 0 && text::is_ascii_digit(s[p - 1])) {
            // Each digit run is walked back once, by the colon that closes it.
            std::size_t b = p;
            while (b > 0 && text::is_ascii_digit(s[b - 1])) --b;
            if (s[b] == '0') continue;
            if (b == 0 || s[b - 1] == '\n' || (s[b - 1] == ':' && marked)) out.push_back(p);
        }
    }
}

// The 64-byte blocks of the text from its start, as long as 65 bytes are
// left; returns where it stopped. `marked` is left for the rest.
template <class Load>
[[gnu::always_inline]] inline std::size_t scan_blocks(std::string_view text, bool& marked,
                                                      std::vector<std::size_t>& out) {
    const char* data = text.data();
    const std::size_t n = text.size();
    // Whether the byte before the block is a newline (or the text starts).
    bool line_start = true;
    // `marked` holds at this offset; blocks passed over bring it up lazily.
    std::size_t marked_from = 0;
    // Digit runs that go on from one block into the next: after a colon
    // ("PATH:N:") and at the start of a line ("N:").
    std::uint64_t pair_carry = 0, heading_carry = 0;
    std::size_t i = 0;
    for (; i + kBlock + 1 <= n; i += kBlock) {
        // A block without colon and ESC closes no result; unless a digit run
        // crosses its edges it needs no closer look.
        const bool quick = pair_carry == 0 && heading_carry == 0 && !text::is_ascii_digit(data[i + kBlock - 1]);
        const Masks m = Load::masks(data + i, quick);
        if (quick && m.colon == 0 && m.esc == 0) {
            line_start = data[i + kBlock - 1] == '\n';
            continue;
        }
        // Byte b + 1 of the block is a digit 1 to 9.
        const bool positive_after = data[i + kBlock] >= '1' && data[i + kBlock] <= '9';
        const std::uint64_t positive_next = (m.positive >> 1) | (positive_after ? std::uint64_t{1} << 63 : 0);
        const std::uint64_t colon_then_number = m.colon & positive_next;
        // "PATH:N:": a colon, a run of digits that starts with 1-9, a colon.
        std::uint64_t pairs = closed_runs(colon_then_number << 1, m.digit, m.colon, pair_carry);
        pair_carry |= colon_then_number >> 63;
        // "N:" at the start of a line.
        const std::uint64_t starts = (m.newline << 1) | (line_start ? 1u : 0u);
        std::uint64_t found = m.esc | closed_runs(starts & m.positive, m.digit, m.colon, heading_carry);
        if (pairs != 0) {
            // Only a pair asks for the path marks.
            bring_marked(text, marked_from, i, marked);
            const std::uint64_t path_mark = Load::path_marks(data + i);
            for (; pairs != 0; pairs &= pairs - 1) {
                const unsigned q = static_cast<unsigned>(std::countr_zero(pairs));
                const std::uint64_t nl = m.newline & below(q), pm = path_mark & below(q);
                const bool pathy = nl == 0 ? (pm != 0 || marked) : std::bit_width(pm) > std::bit_width(nl);
                if (pathy) found |= std::uint64_t{1} << q;
            }
            if (m.newline != 0) {
                const unsigned last = static_cast<unsigned>(std::bit_width(m.newline)) - 1;
                marked = last < 63 && (path_mark >> (last + 1)) != 0;
            } else {
                marked = marked || path_mark != 0;
            }
            marked_from = i + kBlock;
        }
        for (; found != 0; found &= found - 1) out.push_back(i + static_cast<std::size_t>(std::countr_zero(found)));
        line_start = (m.newline >> 63) != 0;
    }
    bring_marked(text, marked_from, i, marked);
    return i;
}

__attribute__((target("avx2"))) std::size_t scan_blocks_avx2(std::string_view text, bool& marked,
                                                             std::vector<std::size_t>& out) {
    return scan_blocks<Avx2>(text, marked, out);
}

}  // namespace

std::vector<std::size_t> find_match_candidates(std::string_view text) {
    std::vector<std::size_t> out;
    // Whether a path mark stands since the last newline.
    bool marked = false;
    const std::size_t done =
        __builtin_cpu_supports("avx2") ? scan_blocks_avx2(text, marked, out) : scan_blocks<Sse2>(text, marked, out);
    scan_bytes(text, done, text.size(), marked, out);
    return out;
}

}  // namespace filters::rg::scan
