#include "filters/log_template/census.h"

#include <immintrin.h>

#include <bit>
#include <cstring>

#include "text.h"

namespace filters::log_template::census {

namespace {

constexpr std::size_t kBlock = 64;

// The masks of one 64-byte block: bit b stands for byte b. `blank` holds
// "\t" to "\r" (the newline among them) and " ", the ASCII blanks.
struct Masks {
    std::uint64_t newline = 0, blank = 0, high = 0, equals = 0, pipe = 0;
};

struct Sse2 {
    [[gnu::always_inline]] static Masks masks(const char* p) {
        Masks m;
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            auto bits = [&](__m128i x) {
                return std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(x))} << (16 * k);
            };
            auto eq = [&](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
            const __m128i x = _mm_sub_epi8(v, _mm_set1_epi8('\t'));
            m.newline |= bits(eq('\n'));
            m.blank |= bits(_mm_or_si128(eq(' '), _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(4)), x)));
            m.high |= bits(v);
            m.equals |= bits(eq('='));
            m.pipe |= bits(eq('|'));
        }
        return m;
    }
    [[gnu::always_inline]] static unsigned count(std::uint64_t x) { return static_cast<unsigned>(std::popcount(x)); }
};

#define QS_AVX2 __attribute__((target("avx2,popcnt"))) inline
struct Avx2 {
    QS_AVX2 static std::uint64_t bits(__m256i a, __m256i b) {
        return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(a))} |
               (std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(b))} << 32);
    }
    QS_AVX2 static __m256i eq(__m256i v, char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); }
    QS_AVX2 static __m256i blank(__m256i v) {
        const __m256i x = _mm256_sub_epi8(v, _mm256_set1_epi8('\t'));
        return _mm256_or_si256(eq(v, ' '), _mm256_cmpeq_epi8(_mm256_min_epu8(x, _mm256_set1_epi8(4)), x));
    }
    QS_AVX2 static Masks masks(const char* p) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        Masks m;
        m.newline = bits(eq(a, '\n'), eq(b, '\n'));
        m.blank = bits(blank(a), blank(b));
        m.high = bits(a, b);
        m.equals = bits(eq(a, '='), eq(b, '='));
        m.pipe = bits(eq(a, '|'), eq(b, '|'));
        return m;
    }
    QS_AVX2 static unsigned count(std::uint64_t x) { return static_cast<unsigned>(__builtin_popcountll(x)); }
};
#undef QS_AVX2

// A pure ASCII line from its first token on.
std::string_view from_first_token(std::string_view line) {
    std::size_t from = 0;
    while (from < line.size() && text::is_ascii_whitespace(line[from])) ++from;
    return line.substr(from);
}

template <class Simd>
[[gnu::always_inline]] inline LineCensus census_of(std::string_view text, const SignStart& sign) {
    std::uint64_t maybe_nonblank = 0, surely_nonblank = 0, pipe_lines = 0, maybe_templated = 0;
    // What the current line has shown so far.
    std::uint64_t content = 0, ascii = 0, special = 0, pipe = 0;
    unsigned tokens = 0;
    std::size_t line_start = 0;
    std::uint64_t carry = 0;  // whether the byte before the block is content

    // The last piece is read padded with newlines: they end the last line
    // where the text ends and add only empty lines after it.
    char tail[kBlock];
    std::memset(tail, '\n', kBlock);
    const std::size_t whole = text.size() - text.size() % kBlock;
    if (text.size() > whole) std::memcpy(tail, text.data() + whole, text.size() - whole);
    for (std::size_t base = 0; base <= whole; base += kBlock) {
        const Masks m = Simd::masks(base < whole ? text.data() + base : tail);
        const std::uint64_t block_content = ~m.blank;
        const std::uint64_t starts = block_content & ~((block_content << 1) | carry);
        carry = block_content >> 63;
        if (block_content == 0 && content == 0) {
            // Blank lines only, and the line it goes on is blank so far:
            // nothing to count.
            if (m.newline != 0) line_start = base + 64 - static_cast<unsigned>(std::countl_zero(m.newline));
            continue;
        }
        std::uint64_t rest = ~std::uint64_t{0};
        for (std::uint64_t nl = m.newline;; nl &= nl - 1) {
            const unsigned q = nl != 0 ? static_cast<unsigned>(std::countr_zero(nl)) : 64;
            const std::uint64_t part = q == 64 ? rest : rest & ((std::uint64_t{1} << q) - 1);
            content |= block_content & part;
            ascii |= block_content & ~m.high & part;
            special |= (m.equals | m.high) & part;
            pipe |= m.pipe & part;
            tokens += Simd::count(starts & part);
            if (q == 64) break;
            if (content != 0) {
                ++maybe_nonblank;
                surely_nonblank += ascii != 0;
                pipe_lines += pipe != 0;
                // Without "=" or a non-ASCII byte the line is pure ASCII
                // and its tokens are the runs between ASCII blanks.
                const std::size_t end = base + q;
                if (special != 0 || tokens >= 4) {
                    ++maybe_templated;
                } else {
                    const std::string_view line = from_first_token(text.substr(line_start, end - line_start));
                    const auto first = static_cast<unsigned char>(line.front());
                    if (((sign.first_bytes[first >> 6] >> (first & 63)) & 1) != 0 && sign.test(line))
                        ++maybe_templated;
                }
                content = ascii = special = pipe = 0;
                tokens = 0;
            }
            line_start = base + q + 1;
            rest = q == 63 ? 0 : ~std::uint64_t{0} << (q + 1);
        }
    }
    return {surely_nonblank, maybe_nonblank, pipe_lines, maybe_templated};
}

__attribute__((target("avx2,popcnt"))) LineCensus census_avx2(std::string_view text, const SignStart& sign) {
    return census_of<Avx2>(text, sign);
}

}  // namespace

LineCensus take_census(std::string_view text, const SignStart& sign) {
    return __builtin_cpu_supports("avx2") ? census_avx2(text, sign) : census_of<Sse2>(text, sign);
}

}  // namespace filters::log_template::census
