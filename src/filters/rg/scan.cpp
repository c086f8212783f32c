#include "filters/rg/scan.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "text.h"

namespace filters::rg::scan {
namespace {

constexpr std::size_t kBlock = 64;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
constexpr char kEsc = '\x1b';

bool is_path_mark(char c) { return c == '/' || c == '\\' || c == '.' || c == '~'; }

// A byte that starts a word when it begins its line or follows a space. Only
// ASCII graphic bytes count, and never ":" (the colon that closes a path).
bool is_word_byte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b > ' ' && b < 0x80 && c != ':';
}

// Some of the bytes no path holds (see no_path_sse2).
bool is_no_path(char c) { return c == '"' || c == ',' || c == '[' || c == '{'; }

std::uint64_t below(unsigned bit) { return (std::uint64_t{1} << bit) - 1; }
// The bits up to and including the highest of `x` (not 0).
std::uint64_t below_last(std::uint64_t x) { return ~std::uint64_t{0} >> std::countl_zero(x); }

// The colons that close the runs of digits that begin at `starts` (a subset
// of `digit`) within the block; a run that reaches past it closes nothing.
std::uint64_t closed_runs(std::uint64_t starts, std::uint64_t digit, std::uint64_t colon) {
    return (starts + digit) & ~digit & colon;
}

// The bytes of each line of the block after its first path mark (`carry`:
// one stands before the block in the line it starts in). Adding a mark to
// the run of ones of `rest` it stands in clears the run up to the newline.
std::uint64_t marked_region(std::uint64_t newline, std::uint64_t mark, bool carry) {
    const std::uint64_t rest = ~newline;
    return (rest & ~(rest + mark + (carry ? 1u : 0u))) | mark;
}

// One 64-byte block (bit b for byte b): the colons right after a digit and
// the ESCs, where the scan stops (both are empty for most blocks, and the
// other masks are then not read), and what a stop asks for.
struct BlockMasks {
    std::uint64_t stop_colon = 0, esc = 0, newline = 0, mark = 0, digit = 0, positive = 0;
};

// What Avx2::next_stop carries from block to block about the line the block
// at `at` starts in, before `at`: whether it holds a path mark, whether it
// holds a byte no path holds, and whether a run of digits that may open a
// result reaches `at`. Each may be true when it is not, never the other
// way. `at` is kNone while nothing is known.
struct LineState {
    std::size_t at = kNone;
    bool marked = false, ended = false, run = false;
};

// 64 bytes from a line's start on, for the end of its first word: the
// newlines, the spaces, the ASCII graphic bytes but ":" (word starts) and
// bytes no path holds.
struct LineMasks {
    std::uint64_t newline = 0, space = 0, word = 0, no_path = 0;
};

__m128i load_sse2(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
std::uint64_t bits_sse2(__m128i x, int k) {
    return std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(x))} << (16 * k);
}
__m128i eq_sse2(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }
__m128i digits_sse2(__m128i v) {
    return _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('/')), _mm_cmpgt_epi8(_mm_set1_epi8(':'), v));
}
// "." and "/" differ in the lowest bit only.
__m128i marks_sse2(__m128i v) {
    const __m128i dot_or_slash = _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(1)), _mm_set1_epi8('/'));
    return _mm_or_si128(dot_or_slash, _mm_or_si128(eq_sse2(v, '\\'), eq_sse2(v, '~')));
}

// Some of the bytes no path holds: enough to end the first word of JSON,
// quoted text, lists and bracketed log fields.
__m128i no_path_sse2(__m128i v) {
    return _mm_or_si128(_mm_or_si128(eq_sse2(v, '"'), eq_sse2(v, ',')), _mm_or_si128(eq_sse2(v, '['), eq_sse2(v, '{')));
}

// The mask of 64 bytes from a test of sixteen at a time.
template <class Test>
std::uint64_t mask_sse2(const char* p, Test test) {
    std::uint64_t m = 0;
    for (int k = 0; k < 4; ++k) m |= bits_sse2(test(load_sse2(p + 16 * k)), k);
    return m;
}

struct Sse2 {
    // The first block from `i` on that holds a colon right after a digit or
    // an ESC, with its masks, or the first that would reach past `n`.
    // `data + i - 1` must be readable.
    static std::size_t next_stop(const char* data, std::size_t i, std::size_t n, BlockMasks& m, LineState&) {
        for (; i + kBlock <= n; i += kBlock) {
            m = BlockMasks{};
            for (int k = 0; k < 4; ++k) {
                const char* p = data + i + 16 * k;
                const __m128i v = load_sse2(p), before = load_sse2(p - 1);
                m.stop_colon |= bits_sse2(_mm_and_si128(eq_sse2(v, ':'), digits_sse2(before)), k);
                m.esc |= bits_sse2(eq_sse2(v, kEsc), k);
                m.newline |= bits_sse2(eq_sse2(v, '\n'), k);
                m.mark |= bits_sse2(marks_sse2(v), k);
                m.digit |= bits_sse2(digits_sse2(v), k);
                m.positive |= bits_sse2(_mm_andnot_si128(eq_sse2(v, '0'), digits_sse2(v)), k);
            }
            if ((m.stop_colon | m.esc) != 0) break;
        }
        return i;
    }
    // The newlines and path marks of 64 bytes.
    static BlockMasks newlines(const char* p) {
        BlockMasks m;
        m.newline = mask_sse2(p, [](__m128i v) { return eq_sse2(v, '\n'); });
        m.mark = mask_sse2(p, marks_sse2);
        return m;
    }
    static LineMasks line(const char* p) {
        LineMasks m;
        m.newline = mask_sse2(p, [](__m128i v) { return eq_sse2(v, '\n'); });
        m.space = mask_sse2(p, [](__m128i v) { return eq_sse2(v, ' '); });
        m.word = mask_sse2(
            p, [](__m128i v) { return _mm_andnot_si128(eq_sse2(v, ':'), _mm_cmpgt_epi8(v, _mm_set1_epi8(' '))); });
        m.no_path = mask_sse2(p, no_path_sse2);
        return m;
    }
    static std::uint64_t marks(const char* p) { return mask_sse2(p, marks_sse2); }
};

#define QS_AVX2 inline __attribute__((target("avx2"), always_inline))
QS_AVX2 std::uint64_t bits_avx2(__m256i a, __m256i b) {
    return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(a))} |
           (std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(b))} << 32);
}
QS_AVX2 __m256i load_avx2(const char* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
QS_AVX2 __m256i eq_avx2(__m256i v, char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); }
QS_AVX2 __m256i digits_avx2(__m256i v) {
    return _mm256_and_si256(_mm256_cmpgt_epi8(v, _mm256_set1_epi8('/')), _mm256_cmpgt_epi8(_mm256_set1_epi8(':'), v));
}
QS_AVX2 __m256i marks_avx2(__m256i v) {
    const __m256i dot_or_slash = _mm256_cmpeq_epi8(_mm256_or_si256(v, _mm256_set1_epi8(1)), _mm256_set1_epi8('/'));
    return _mm256_or_si256(dot_or_slash, _mm256_or_si256(eq_avx2(v, '\\'), eq_avx2(v, '~')));
}
QS_AVX2 __m256i no_path_avx2(__m256i v) {
    return _mm256_or_si256(_mm256_or_si256(eq_avx2(v, '"'), eq_avx2(v, ',')),
                           _mm256_or_si256(eq_avx2(v, '['), eq_avx2(v, '{')));
}
QS_AVX2 __m256i words_avx2(__m256i v) {
    return _mm256_andnot_si256(eq_avx2(v, ':'), _mm256_cmpgt_epi8(v, _mm256_set1_epi8(' ')));
}

// Whether each byte is one of a set of ASCII bytes: `low` holds, per low
// nibble, the high nibbles (0 to 7) of the set's bytes with it as bits;
// `high` is that bit of each byte's high nibble (none past 7).
QS_AVX2 __m256i in_set_avx2(__m256i v, __m256i high, __m256i low) {
    const __m256i hit = _mm256_and_si256(_mm256_shuffle_epi8(low, v), high);
    return _mm256_cmpeq_epi8(hit, _mm256_setzero_si256());  // the bytes NOT in the set
}
QS_AVX2 __m256i high_nibble_bit_avx2(__m256i v) {
    const __m256i bits = _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4, 8, 16, 32, 64,
                                          -128, 0, 0, 0, 0, 0, 0, 0, 0);
    return _mm256_shuffle_epi8(bits, _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0f)));
}
// The low-nibble table of a set of ASCII bytes, for in_set_avx2.
constexpr std::array<char, 32> nibble_table(std::string_view set) {
    std::array<char, 32> t{};
    for (const char c : set)
        for (int half = 0; half < 32; half += 16)
            t[half + (c & 0x0f)] = static_cast<char>(t[half + (c & 0x0f)] | (1 << (c >> 4)));
    return t;
}
constexpr std::array<char, 32> kMarkNibbles = nibble_table("/\\.~");
constexpr std::array<char, 32> kNoPathNibbles = nibble_table("\",[{");

// The scan below reports a colon q that closes a run of digits from r on,
// where the digit at r is not 0, and either r starts its line, or r - 1 is
// a colon with a path mark before it in the line and q stands before the
// end of the line's first word for a path (Scanner::read_head), so before
// any byte no path holds. The digits and the colon before them are neither
// marks nor such bytes, so both conditions hold at q exactly when they hold
// at r. Avx2::next_stop reads them at r, in two steps: the marks first (a
// run that may open), then, for a block where one closes with a colon, the
// 0s and the bytes no path holds; the run is followed to its colon by
// adding r to the digits, across blocks by the carry. What it carries from
// block to block may be more than holds (a mark, a run), never less, so it
// passes over no block where the scan reports a colon.

// Each line's bytes from its first `x` on (`carry`: one stands in the line
// before the block), for the lines of a block with newlines `newline`.
std::uint64_t from_first(std::uint64_t newline, std::uint64_t x, bool carry) {
    const std::uint64_t rest = ~newline;
    return (rest & ~(rest + x + (carry ? 1u : 0u))) | x;
}
// Whether the line the next block starts in holds an `x` in this block
// (`before`: or before it).
bool in_tail(std::uint64_t newline, std::uint64_t x, bool before) {
    return newline == 0 ? before || x != 0 : (x & ~below_last(newline)) != 0;
}
#undef QS_AVX2

struct Avx2 {
    // As Sse2::next_stop, but it passes over the blocks with a colon right
    // after a digit too when none of those colons can be reported (see
    // above), keeping `state`. A loop of its own keeps its constants in
    // registers.
    __attribute__((target("avx2"))) static std::size_t next_stop(const char* data, std::size_t i, std::size_t n,
                                                                 BlockMasks& m, LineState& state) {
        LineState st = state;  // kept in registers
        const __m256i mark_set = load_avx2(kMarkNibbles.data());
        for (; i + kBlock <= n; i += kBlock) {
            const char* p = data + i;
            const __m256i v0 = load_avx2(p), v1 = load_avx2(p + 32);
            const __m256i k0 = eq_avx2(v0, ':'), k1 = eq_avx2(v1, ':');
            const __m256i s0 = _mm256_and_si256(k0, digits_avx2(load_avx2(p - 1)));
            const __m256i s1 = _mm256_and_si256(k1, digits_avx2(load_avx2(p + 31)));
            const __m256i e0 = eq_avx2(v0, kEsc), e1 = eq_avx2(v1, kEsc);
            const __m256i any = _mm256_or_si256(_mm256_or_si256(s0, s1), _mm256_or_si256(e0, e1));
            if (_mm256_testz_si256(any, any)) continue;
            m.stop_colon = bits_avx2(s0, s1);
            m.esc = bits_avx2(e0, e1);
            const std::uint64_t colon = bits_avx2(k0, k1);
            const std::uint64_t digit = bits_avx2(digits_avx2(v0), digits_avx2(v1));
            const bool digit_before = text::is_ascii_digit(p[-1]);
            if (st.at != i) {
                // The block before was passed over: whether its last line
                // holds a mark is read from it when it ends one.
                const __m256i w0 = load_avx2(p - kBlock), w1 = load_avx2(p - kBlock + 32);
                const std::uint64_t newline = bits_avx2(eq_avx2(w0, '\n'), eq_avx2(w1, '\n'));
                const std::uint64_t mark = ~bits_avx2(in_set_avx2(w0, high_nibble_bit_avx2(w0), mark_set),
                                                      in_set_avx2(w1, high_nibble_bit_avx2(w1), mark_set));
                st.marked = in_tail(newline, mark, true);
                st.ended = false;
                st.run = digit_before;
            }
            st.at = i + kBlock;
            const __m256i h0 = high_nibble_bit_avx2(v0), h1 = high_nibble_bit_avx2(v1);
            m.newline = bits_avx2(eq_avx2(v0, '\n'), eq_avx2(v1, '\n'));
            m.mark = ~bits_avx2(in_set_avx2(v0, h0, mark_set), in_set_avx2(v1, h1, mark_set));
            const std::uint64_t line_start = (m.newline << 1) | (p[-1] == '\n' ? 1u : 0u);
            const std::uint64_t after_colon = (colon << 1) | (p[-1] == ':' ? 1u : 0u);
            const std::uint64_t opening = digit & (line_start | (after_colon & from_first(m.newline, m.mark, st.marked)));
            const bool run = st.run;
            unsigned long long sum = 0, closed = 0;
            const bool c1 = __builtin_uaddll_overflow(opening, digit, &sum);
            const bool c2 = __builtin_uaddll_overflow(sum, run ? 1u : 0u, &closed);
            st.run = c1 || c2;
            st.marked = in_tail(m.newline, m.mark, st.marked);
            if ((closed & m.stop_colon) == 0 && m.esc == 0) {
                st.ended = st.ended && m.newline == 0;
                continue;
            }
            const __m256i no_path_set = load_avx2(kNoPathNibbles.data());
            const std::uint64_t no_path = ~bits_avx2(in_set_avx2(v0, h0, no_path_set), in_set_avx2(v1, h1, no_path_set));
            m.digit = digit;
            m.positive = digit & ~bits_avx2(eq_avx2(v0, '0'), eq_avx2(v1, '0'));
            const std::uint64_t open =
                opening & m.positive & (line_start | ~from_first(m.newline, no_path, st.ended));
            st.ended = in_tail(m.newline, no_path, st.ended);
            if (m.esc != 0 || ((open + digit + (run ? 1u : 0u)) & m.stop_colon) != 0) break;
        }
        state = st;
        return i;
    }
    __attribute__((target("avx2"))) static BlockMasks newlines(const char* p) {
        const __m256i v0 = load_avx2(p), v1 = load_avx2(p + 32);
        BlockMasks m;
        m.newline = bits_avx2(eq_avx2(v0, '\n'), eq_avx2(v1, '\n'));
        m.mark = bits_avx2(marks_avx2(v0), marks_avx2(v1));
        return m;
    }
    __attribute__((target("avx2"))) static LineMasks line(const char* p) {
        const __m256i v0 = load_avx2(p), v1 = load_avx2(p + 32);
        return {bits_avx2(eq_avx2(v0, '\n'), eq_avx2(v1, '\n')), bits_avx2(eq_avx2(v0, ' '), eq_avx2(v1, ' ')),
                bits_avx2(words_avx2(v0), words_avx2(v1)), bits_avx2(no_path_avx2(v0), no_path_avx2(v1))};
    }
    __attribute__((target("avx2"))) static std::uint64_t marks(const char* p) {
        return bits_avx2(marks_avx2(load_avx2(p)), marks_avx2(load_avx2(p + 32)));
    }
};

// The scan: blocks whose stop masks are empty are passed over; each colon
// that may follow a digit is asked about in ascending order, and what the
// scan learns of a line (where its first word ends, where its first path
// mark stands) is kept until the next line is asked about.
template <class Load>
class Scanner {
public:
    Scanner(std::string_view text, LinePredicate may_belong, CandidateVisitor visit, void* context)
        : s_(text), n_(text.size()), may_belong_(may_belong), visit_(visit), context_(context) {}

    void run() {
        const char* data = s_.data();
        const std::size_t first = std::min(n_, kBlock);  // the first block has no byte before it
        bytes(0, first);
        std::size_t i = first;
        BlockMasks m;
        LineState st;
        while ((i = Load::next_stop(data, i, n_, m, st)) + kBlock <= n_) {
            std::uint64_t found = m.esc;
            const auto line_of = [&](unsigned q) {
                const std::uint64_t nl = m.newline & below(q);
                return nl == 0 ? line_before(i) : i + static_cast<std::size_t>(std::bit_width(nl));
            };
            // A number that begins before the block: the colon right after
            // the block's leading digits, read byte by byte.
            const unsigned lead = static_cast<unsigned>(std::countr_one(m.digit));
            const std::uint64_t carried = lead < kBlock ? m.stop_colon & (std::uint64_t{1} << lead) : 0;
            if (carried != 0) {
                const auto marked = [&] {
                    const std::uint64_t nl = m.newline & below(lead);
                    const std::uint64_t own = nl == 0 ? below(lead) : below(lead) & ~below_last(nl);
                    return (m.mark & own) != 0 || (nl == 0 && marked_before(i));
                };
                if (stops_at(
                        i + lead, run_start(i), [&] { return line_of(lead); }, marked))
                    found |= carried;
            }
            // Numbers that begin within the block: "N:" at a line's start ...
            const std::uint64_t line_starts = (m.newline << 1) | (s_[i - 1] == '\n' ? 1u : 0u);
            found |= closed_runs(line_starts & m.positive, m.digit, m.stop_colon);
            // ... and "PATH:N:" after the line's first path mark.
            const std::uint64_t first_line =
                m.newline == 0 ? ~std::uint64_t{0} : below(static_cast<unsigned>(std::countr_zero(m.newline)));
            const bool carry = (m.stop_colon & first_line & ~carried) != 0 && marked_before(i);
            for (std::uint64_t c = m.stop_colon & marked_region(m.newline, m.mark, carry) & ~carried; c != 0;
                 c &= c - 1) {
                const unsigned q = static_cast<unsigned>(std::countr_zero(c));
                const std::size_t r = i + static_cast<std::size_t>(std::bit_width(~m.digit & below(q)));
                if (s_[r] != '0' && s_[r - 1] == ':' && in_first_word(i + q, r - 1, line_of(q)))
                    found |= std::uint64_t{1} << q;
            }
            for (; found != 0; found &= found - 1) {
                const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(found));
                if (s_[at] == kEsc || has_neighbour(at, line_of(static_cast<unsigned>(at - i)))) visit_(context_, at);
            }
            if (m.newline != 0) {
                line_ = i + static_cast<std::size_t>(std::bit_width(m.newline));
                line_known_to_ = i + kBlock;
                marked_ = (m.mark & ~below_last(m.newline)) != 0;
                marked_to_ = i + kBlock;
            } else {
                if (line_known_to_ == i) line_known_to_ = i + kBlock;
                if (marked_to_ == i) {
                    marked_ = marked_ || m.mark != 0;
                    marked_to_ = i + kBlock;
                }
            }
            i += kBlock;
        }
        bytes(i, n_);
    }

private:
    // Byte by byte over [from, to): the first block and the last bytes.
    void bytes(std::size_t from, std::size_t to) {
        if (from >= to) return;
        marked_before(from);
        for (std::size_t p = from; p < to; ++p) {
            const char c = s_[p];
            if (c == '\n') {
                marked_ = false;
            } else if (is_path_mark(c)) {
                marked_ = true;
            } else if (c == kEsc) {
                visit_(context_, p);
            } else if (c == ':' && p > 0 && text::is_ascii_digit(s_[p - 1]) &&
                       stops_at(
                           p, run_start(p), [&] { return line_before(p); }, [&] { return marked_; }) &&
                       has_neighbour(p, line_before(p))) {
                visit_(context_, p);
            }
        }
        marked_to_ = to;
    }

    // Whether a path mark stands in the line that holds byte `i` before it,
    // for `i` a multiple of the block size or where it was last brought.
    // Brought up block by block backwards to where it was last known.
    bool marked_before(std::size_t i) {
        if (marked_to_ >= i) return marked_;
        bool seen = false;
        for (std::size_t p = i; p > marked_to_; p -= kBlock) {
            const BlockMasks m = Load::newlines(s_.data() + p - kBlock);
            const std::uint64_t known =
                p - kBlock >= marked_to_ ? ~std::uint64_t{0} : ~below(static_cast<unsigned>(marked_to_ - (p - kBlock)));
            if (const std::uint64_t nl = m.newline & known; nl != 0) {
                marked_ = seen || (m.mark & ~below_last(nl)) != 0;
                marked_to_ = i;
                return marked_;
            }
            seen = seen || (m.mark & known) != 0;
        }
        marked_ = marked_ || seen;
        marked_to_ = i;
        return marked_;
    }

    // The start of the line that holds byte `i` (no newline stands in
    // [line_, line_known_to_)). Looked for backwards from `i` to where it
    // was last known, so every byte is read at most once.
    std::size_t line_before(std::size_t i) {
        if (line_known_to_ >= i) return line_;
        std::size_t to = i;
        if (i >= kBlock && i - kBlock >= line_known_to_) {
            // Mostly the line starts in the block before.
            if (const std::uint64_t nl = Load::newlines(s_.data() + i - kBlock).newline; nl != 0) {
                line_ = i - kBlock + static_cast<std::size_t>(std::bit_width(nl));
                line_known_to_ = i;
                return line_;
            }
            to = i - kBlock;
        }
        if (const void* nl = memrchr(s_.data() + line_known_to_, '\n', to - line_known_to_); nl != nullptr)
            line_ = static_cast<std::size_t>(static_cast<const char*>(nl) - s_.data()) + 1;
        line_known_to_ = i;
        return line_;
    }

    // Whether the line that starts at `start` and holds the colon at `q`,
    // which may close a matching result, is reported: once, and only when the line before or
    // after it may belong to a block, as a block holds two entries at least.
    // Read while the lines are at hand; each line is looked at for at most
    // three colons' lines (its own, as the one before and as the one after).
    bool has_neighbour(std::size_t q, std::size_t start) {
        if (q < reported_to_) return false;
        const char* data = s_.data();
        const auto* nl = static_cast<const char*>(std::memchr(data + q, '\n', n_ - q));
        const std::size_t end = nl == nullptr ? n_ : static_cast<std::size_t>(nl - data);
        reported_to_ = end;
        if (may_belong_ == nullptr) return true;
        if (start > 0) {
            nl = static_cast<const char*>(memrchr(data, '\n', start - 1));
            const std::size_t before = nl == nullptr ? 0 : static_cast<std::size_t>(nl - data) + 1;
            if (may_belong_(s_.substr(before, start - 1 - before))) return true;
        }
        if (end < n_) {
            nl = static_cast<const char*>(std::memchr(data + end + 1, '\n', n_ - end - 1));
            const std::size_t after = nl == nullptr ? n_ : static_cast<std::size_t>(nl - data);
            if (may_belong_(s_.substr(end + 1, after - end - 1))) return true;
        }
        return false;
    }

    // Where the run of digits that ends right before `p` starts. Each run is
    // walked back once, by the colon that closes it.
    std::size_t run_start(std::size_t p) const {
        while (p > 0 && text::is_ascii_digit(s_[p - 1])) --p;
        return p;
    }

    // Whether the colon at `q`, right after the digits from `r` on, closes a
    // line number that starts its line ("N:") or that follows a colon in the line's first
    // word with a path mark before it ("PATH:N:"). `line` gives the start of
    // the line, asked only when the number follows a colon.
    template <class LineOf, class MarkedOf>
    bool stops_at(std::size_t q, std::size_t r, const LineOf& line, const MarkedOf& marked) {
        if (s_[r] == '0') return false;
        if (r == 0 || s_[r - 1] == '\n') return true;
        // The path before the pair holds a mark, so the line does before `q`.
        return s_[r - 1] == ':' && marked() && in_first_word(q, r - 1, line());
    }

    // Whether the pair of colons at `a` and `q` in the line that starts at
    // `line` stands in its first word with a path mark before `a`.
    bool in_first_word(std::size_t q, std::size_t a, std::size_t line) {
        if (line != head_line_) read_head(line);
        return q < head_end_ && mark_before(a);
    }

    // Where the first word of the line that starts at `p` ends for a path:
    // where the second word starts, the line ends, or a byte no path holds
    // stands, whichever comes first.
    void read_head(std::size_t p) {
        head_line_ = p;
        first_mark_ = kNone;
        marks_to_ = p;
        bool first_word = false;
        bool after_space = true;  // the line's first byte counts as after one
        for (; p + kBlock <= n_; p += kBlock) {
            const LineMasks m = Load::line(s_.data() + p);
            std::uint64_t starts = m.word & ((m.space << 1) | (after_space ? 1u : 0u));
            if (!first_word && starts != 0) {
                starts &= starts - 1;
                first_word = true;
            }
            // An end before the first word start comes first all the same.
            if (const std::uint64_t end = starts | m.newline | m.no_path; end != 0) {
                head_end_ = p + static_cast<std::size_t>(std::countr_zero(end));
                return;
            }
            after_space = s_[p + kBlock - 1] == ' ';
        }
        for (; p < n_ && s_[p] != '\n' && !is_no_path(s_[p]); ++p) {
            if (after_space && is_word_byte(s_[p])) {
                if (first_word) break;
                first_word = true;
            }
            after_space = s_[p] == ' ';
        }
        head_end_ = p;
    }

    // Whether a path mark stands in the current line before `a`. Asked with
    // `a` ascending within a line, so each byte is looked at once.
    bool mark_before(std::size_t a) {
        while (first_mark_ == kNone && marks_to_ < a) {
            if (marks_to_ + kBlock <= n_) {
                if (const std::uint64_t m = Load::marks(s_.data() + marks_to_); m != 0)
                    first_mark_ = marks_to_ + static_cast<std::size_t>(std::countr_zero(m));
                else
                    marks_to_ += kBlock;
            } else if (is_path_mark(s_[marks_to_])) {
                first_mark_ = marks_to_;
            } else {
                ++marks_to_;
            }
        }
        return first_mark_ < a;
    }

    std::string_view s_;
    std::size_t n_;
    LinePredicate may_belong_;
    CandidateVisitor visit_;
    void* context_;
    std::size_t reported_to_ = 0;    // the lines before this are reported or left
    std::size_t line_ = 0;           // a line start ...
    std::size_t line_known_to_ = 0;  // ... that holds for the bytes before this
    std::size_t head_line_ = kNone;  // the line the head fields describe
    std::size_t head_end_ = 0;
    bool marked_ = false;             // a path mark in the line before ...
    std::size_t marked_to_ = 0;       // ... this offset
    std::size_t first_mark_ = kNone;  // in the head's line, when found
    std::size_t marks_to_ = 0;        // looked at for marks up to here
};

// Flattened, so that the scan and every helper it calls is compiled for
// AVX2 in one piece.
__attribute__((target("avx2"), flatten)) void scan_avx2(std::string_view text, LinePredicate may_belong,
                                                         CandidateVisitor visit, void* context) {
    Scanner<Avx2>(text, may_belong, visit, context).run();
}

}  // namespace

void for_each_match_candidate(std::string_view text, LinePredicate may_belong, CandidateVisitor visit, void* context) {
    if (__builtin_cpu_supports("avx2"))
        scan_avx2(text, may_belong, visit, context);
    else
        Scanner<Sse2>(text, may_belong, visit, context).run();
}

}  // namespace filters::rg::scan
