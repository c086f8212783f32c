#include "filters/log_template/census.h"

#include <immintrin.h>

#include <bit>
#include <climits>
#include <cstring>
#include <vector>

#include "filters/guards.h"
#include "text.h"

namespace filters::log_template::census {

namespace {

constexpr std::size_t kBlock = 64;

// The masks of one 64-byte block: bit b stands for byte b. `blank` holds
// "\t" to "\r" (the newline among them) and " ", the ASCII blanks.
struct Masks {
    std::uint64_t newline = 0, blank = 0, high = 0, equals = 0, pipe = 0;
};

// Any x86-64 machine: a byte at a time. Those with AVX2 take the vector
// path below.
struct Portable {
    static Masks masks(const char* p) {
        Masks m;
        for (unsigned i = 0; i < kBlock; ++i) {
            const auto b = static_cast<unsigned char>(p[i]);
            const std::uint64_t bit = std::uint64_t{1} << i;
            if (b == '\n') m.newline |= bit;
            if (b == ' ' || (b >= '\t' && b <= '\r')) m.blank |= bit;
            if (b >= 0x80) m.high |= bit;
            if (b == '=') m.equals |= bit;
            if (b == '|') m.pipe |= bit;
        }
        return m;
    }
    static unsigned count(std::uint64_t x) { return static_cast<unsigned>(std::popcount(x)); }
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

// What one line has shown so far.
struct LineSeen {
    bool content = false, ascii = false, equals = false, high = false, pipe = false;
    std::size_t tokens = 0, content_bytes = 0, ascii_bytes = 0;
};

// A byte that no safe value holds and that never ends a token's core as
// wrapping punctuation ("]" and "}" may, and are left out).
bool is_unsafe_value_byte(char c) { return c == '/' || c == '<' || c == '>' || c == '[' || c == '\\' || c == '{'; }

// Whether the "=" at `eq` is the first of a key=value token's core with a
// valid key: read back to the token's start, which must be an ASCII blank
// (or the start of `text` or of its line) that no non-ASCII byte before it
// may take into its character; then the wrapping punctuation the templates
// strip, and a key of 1 to 40 key characters that begins with a letter or
// "_". Any non-ASCII byte on the way may hide a blank or a longer
// character, and the answer is no.
bool splits_key_value_token(std::string_view text, std::size_t eq) {
    constexpr std::size_t kMaxKeyBytes = 40, kMaxBack = 64;
    const std::size_t floor = eq > kMaxBack ? eq - kMaxBack : 0;
    std::size_t start = eq;
    while (start > floor) {
        const char c = text[start - 1];
        if (text::is_ascii_whitespace(c)) break;
        if (static_cast<unsigned char>(c) >= 0x80 || c == '=') return false;
        --start;
    }
    if (start > 0) {
        if (!text::is_ascii_whitespace(text[start - 1])) return false;  // further back than any key
        // A lead byte of up to four bytes before the blank, in a text that
        // is not valid UTF-8, would read the blank as part of its character.
        if (text[start - 1] != '\n')
            for (std::size_t k = 2; k <= 4 && k <= start && text[start - k] != '\n'; ++k)
                if (static_cast<unsigned char>(text[start - k]) >= 0x80) return false;
    }
    while (start < eq && (text[start] == '(' || text[start] == '[' || text[start] == '{')) ++start;
    if (start == eq || eq - start > kMaxKeyBytes) return false;
    if (!text::is_ascii_alpha(text[start]) && text[start] != '_') return false;
    for (std::size_t k = start; k < eq; ++k)
        if (!guards::is_key_char(text[k])) return false;
    return true;
}

}  // namespace

// A value runs from the "=" to its token's end: an ASCII blank, or a
// non-ASCII byte that may be one. It may be safe when no byte before that
// is one no safe value holds; a closing "]" or "}" may be wrapping
// punctuation after the value, so it passes.
//
// It is surely unsafe when such a byte comes first, with only ASCII bytes
// before it, and the "=" splits a key=value token (`splits_key_value_token`):
// the byte is then in the value, as the core keeps every byte up to the
// last one that is no closing punctuation, and a template is never made of
// a line with an unsafe key=value token. A later "=" of the same token is
// no split, and its value's scan stops where the first one's did.
EqualsSign EqualsReader::at(std::size_t eq) {
    if (scan_end_ <= eq) {
        std::size_t i = eq + 1;
        bool unsafe = false;
        for (; i < text_.size(); ++i) {
            const char c = text_[i];
            // Most value bytes are letters and digits, past every test below.
            if (text::is_ascii_alnum(c)) continue;
            if (static_cast<unsigned char>(c) >= 0x80 || text::is_ascii_whitespace(c)) break;
            if (static_cast<unsigned char>(c) < 33 || c == 127 || is_unsafe_value_byte(c)) {
                unsafe = true;
                break;
            }
        }
        scan_end_ = i;
        scan_unsafe_ = unsafe;
    }
    if (scan_unsafe_)
        return is_unsafe_value_byte(text_[scan_end_]) && splits_key_value_token(text_, eq) ? EqualsSign::unsafe_value
                                                                                           : EqualsSign::none;
    if (eq == 0 || !guards::is_key_char(text_[eq - 1])) return EqualsSign::none;
    if (eq + 1 == text_.size() || text::is_ascii_whitespace(text_[eq + 1])) return EqualsSign::none;
    return EqualsSign::safe_value;
}

namespace {

// Whether the token at `at` of `text` is an event word; most are told by
// their first two bytes.
bool is_event_token_at(std::string_view text, std::size_t at, const LineTests& tests) {
    // The word itself begins after any wrapping punctuation.
    std::size_t word = at;
    while (word < text.size() && tests.event_openings[static_cast<unsigned char>(text[word])] == kWrapping) ++word;
    if (word + 1 >= text.size()) return false;
    const std::uint32_t seconds = tests.event_openings[static_cast<unsigned char>(text[word])];
    const unsigned second = (static_cast<unsigned char>(text[word + 1]) | 0x20u) - 'a';
    return second < 26 && ((seconds >> second) & 1) != 0 && tests.is_event_token(text.substr(at));
}

// Whether a token of `line` is an event word: one that starts after an
// ASCII blank (or the line's start), or an ASCII byte after a non-ASCII one,
// which may end a blank.
bool has_event_token(std::string_view line, const LineTests& tests) {
    for (std::size_t at = 0; at < line.size(); ++at) {
        if (text::is_ascii_whitespace(line[at])) continue;
        if (at > 0 && !text::is_ascii_whitespace(line[at - 1]) &&
            !(static_cast<unsigned char>(line[at]) < 0x80 && static_cast<unsigned char>(line[at - 1]) >= 0x80))
            continue;
        if (is_event_token_at(line, at, tests)) return true;
    }
    return false;
}

// The same of the tokens that start at a bit of `starts`, in the block at
// `base` of `text`.
bool has_event_token(std::string_view text, std::size_t base, std::uint64_t starts, const LineTests& tests) {
    for (; starts != 0; starts &= starts - 1)
        if (is_event_token_at(text, base + static_cast<unsigned>(std::countr_zero(starts)), tests)) return true;
    return false;
}

// `event_token()` tells whether the line holds an event word, as
// `has_event_token` does; it is asked last, of a line that may be an event
// line by its counts.
template <class EventToken>
bool may_be_templated(std::string_view line, const LineSeen& seen, const LineTests& tests, EventToken event_token) {
    // Every "=" of the line: one unsafe key=value token leaves it without a
    // template, whatever else it holds.
    bool safe_key_value = false;
    if (seen.equals) {
        EqualsReader equals(line);
        for (std::size_t eq = line.find('='); eq != std::string_view::npos; eq = line.find('=', eq + 1)) {
            const EqualsSign sign = equals.at(eq);
            if (sign == EqualsSign::unsafe_value) return false;
            safe_key_value = safe_key_value || sign == EqualsSign::safe_value;
        }
    }
    std::size_t from = 0;
    while (text::is_ascii_whitespace(line[from])) ++from;
    // A log prefix: its first token begins with a sign byte. A non-ASCII
    // byte first may be a blank before it.
    const auto first = static_cast<unsigned char>(line[from]);
    const bool sign_byte = ((tests.sign_first_bytes[first >> 6] >> (first & 63)) & 1) != 0;
    if (seen.high ? first >= 0x80 || sign_byte : sign_byte && tests.ascii_log_sign(line.substr(from))) return true;
    if (safe_key_value) return true;
    // An event line. Every ASCII byte other than a blank is in a token; in a
    // pure ASCII line the tokens are the runs between ASCII blanks.
    const bool may_be_event =
        seen.high ? seen.ascii_bytes <= tests.max_event_bytes
                  : seen.tokens >= tests.min_event_tokens && seen.content_bytes + seen.tokens - 1 <= tests.max_event_bytes;
    // Its tokens are read only now, once the line is short enough: an
    // event line is.
    return may_be_event && (tests.is_event_token == nullptr || event_token());
}

// A text read 64 bytes at a time, the last pieces padded with newlines:
// they end the last line where the text ends and add only empty lines after
// it. From each block's offset `kReadAhead` bytes more may be read.
class PaddedBlocks {
public:
    static constexpr std::size_t kReadAhead = 32 + 3;  // the word groups' places past the block

    explicit PaddedBlocks(std::string_view text)
        : text_(text),
          whole_(text.size() - text.size() % kBlock),
          // Blocks before this one have all their bytes and those ahead in the text.
          copied_(text.size() >= kBlock + kReadAhead ? (text.size() - kBlock - kReadAhead) / kBlock * kBlock + kBlock : 0) {
        std::memset(tail_, '\n', sizeof tail_);
        if (text.size() > copied_) std::memcpy(tail_, text.data() + copied_, text.size() - copied_);
    }
    // The last block's offset: the blocks are at 0, 64, ... up to it.
    std::size_t last() const { return whole_; }
    const char* at(std::size_t base) const { return base < copied_ ? text_.data() + base : tail_ + (base - copied_); }

private:
    std::string_view text_;
    std::size_t whole_;
    std::size_t copied_;
    char tail_[3 * kBlock + kReadAhead];
};

// Every line still to come ends at a newline still to come or at the
// text's end, and each is at most one more templated line and so one more
// nonblank line: once that many lines more could not reach the least lines
// or the share, the counts so far with them decline the text, and are
// given as such. Looked at every 64 blocks.
struct ShareBound {
    std::uint64_t maybe_templated = 0, surely_nonblank = 0;
};
[[gnu::always_inline]] inline std::optional<ShareBound> share_bound(const ShareTest& share, std::size_t base,
                                                                    std::uint64_t maybe_templated,
                                                                    std::uint64_t newlines_seen,
                                                                    std::uint64_t surely_nonblank) {
    if (base % (64 * kBlock) != 0 || share.max_lines == 0 || base == 0) return std::nullopt;
    const std::uint64_t left = share.max_lines + 1 - std::min(newlines_seen, share.max_lines);
    const ShareBound bound{maybe_templated + left, surely_nonblank + left};
    if (bound.maybe_templated < share.min_lines || bound.maybe_templated * 100 < bound.surely_nonblank * share.min_percent)
        return bound;
    return std::nullopt;
}

template <class Simd>
[[gnu::always_inline]] inline LineCensus census_of(std::string_view text, const LineTests& tests,
                                                   const ShareTest& share) {
    std::uint64_t maybe_nonblank = 0, surely_nonblank = 0, pipe_lines = 0, maybe_templated = 0;
    LineSeen seen;
    std::size_t line_start = 0;
    std::uint64_t carry = 0;        // whether the byte before the block is content
    std::uint64_t high_before = 0;  // whether it is a non-ASCII byte
    // Of the last blocks, where a token may start that may be an event
    // word: after an ASCII blank, or an ASCII byte after a non-ASCII one,
    // which may end a blank. A line's tokens are looked at once it has
    // ended and its counts let it be an event line: most lines are too long
    // or have too few tokens.
    constexpr std::size_t kStartBlocks = 8;
    std::array<std::uint64_t, kStartBlocks> token_starts{};

    const PaddedBlocks blocks(text);
    const std::size_t whole = blocks.last();
    std::uint64_t newlines_seen = 0;
    for (std::size_t base = 0; base <= whole; base += kBlock) {
        if (const auto bound = share_bound(share, base, maybe_templated, newlines_seen, surely_nonblank))
            return {bound->surely_nonblank, maybe_nonblank, pipe_lines, bound->maybe_templated};
        const Masks m = Simd::masks(blocks.at(base));
        newlines_seen += Simd::count(m.newline);
        const std::uint64_t content = ~m.blank;
        const std::uint64_t starts = content & ~((content << 1) | carry);
        carry = content >> 63;
        token_starts[base / kBlock % kStartBlocks] = starts | (content & ~m.high & ((m.high << 1) | high_before));
        high_before = m.high >> 63;
        if (content == 0 && !seen.content) {
            // Blank lines only, and the line it goes on is blank so far:
            // nothing to count.
            if (m.newline != 0) line_start = base + 64 - static_cast<unsigned>(std::countl_zero(m.newline));
            continue;
        }
        std::uint64_t rest = ~std::uint64_t{0};
        for (std::uint64_t nl = m.newline;; nl &= nl - 1) {
            const unsigned q = nl != 0 ? static_cast<unsigned>(std::countr_zero(nl)) : 64;
            const std::uint64_t part = q == 64 ? rest : rest & ((std::uint64_t{1} << q) - 1);
            const std::uint64_t line_content = content & part;
            if (line_content != 0) {
                seen.content = true;
                seen.ascii |= (line_content & ~m.high) != 0;
                seen.equals |= (m.equals & part) != 0;
                seen.high |= (m.high & part) != 0;
                seen.pipe |= (m.pipe & part) != 0;
                seen.tokens += Simd::count(starts & part);
                seen.content_bytes += Simd::count(line_content);
                seen.ascii_bytes += Simd::count(line_content & ~m.high);
            }
            if (q == 64) break;
            const std::size_t end = base + q;
            if (seen.content) {
                ++maybe_nonblank;
                surely_nonblank += seen.ascii;
                pipe_lines += seen.pipe;
                // A pure ASCII line with no "=" and too few tokens for an
                // event line may only start with a log prefix: most are told
                // by their first byte here.
                std::size_t from = line_start;
                while (text::is_ascii_whitespace(text[from])) ++from;
                const auto first = static_cast<unsigned char>(text[from]);
                if (seen.high || seen.equals || seen.tokens >= tests.min_event_tokens ||
                    ((tests.sign_first_bytes[first >> 6] >> (first & 63)) & 1) != 0)
                    maybe_templated += may_be_templated(text.substr(line_start, end - line_start), seen, tests, [&] {
                        const std::size_t first_block = line_start / kBlock * kBlock;
                        if (base - first_block >= kStartBlocks * kBlock)
                            return has_event_token(text.substr(line_start, end - line_start), tests);
                        for (std::size_t b = first_block; b <= base; b += kBlock) {
                            std::uint64_t bits = token_starts[b / kBlock % kStartBlocks];
                            if (b < line_start) bits &= ~std::uint64_t{0} << (line_start - b);
                            if (b == base) bits &= (std::uint64_t{1} << q) - 1;
                            if (has_event_token(text, b, bits, tests)) return true;
                        }
                        return false;
                    });
                seen = LineSeen{};
            }
            line_start = end + 1;
            rest = q == 63 ? 0 : ~std::uint64_t{0} << (q + 1);
        }
    }
    return {surely_nonblank, maybe_nonblank, pipe_lines, maybe_templated};
}

__attribute__((target("avx2,popcnt"))) LineCensus census_avx2(std::string_view text, const LineTests& tests,
                                                               const ShareTest& share) {
    return census_of<Avx2>(text, tests, share);
}

LineCensus census_portable(std::string_view text, const LineTests& tests, const ShareTest& share) {
    return census_of<Portable>(text, tests, share);
}

}  // namespace

namespace {

// A class of bytes in two 16-entry tables for a byte's low and high nibble,
// on bits `first` to `first + count - 1`: a byte may be in the class when
// the entries for its nibbles share one of those bits. High nibbles whose
// sets of low nibbles are equal share one bit; past `count` such sets the
// last bit takes the rest, which only lets more bytes pass.
struct NibbleTables {
    std::array<std::uint8_t, 16> low{}, high{};
};

void add_nibble_class(NibbleTables& t, const std::array<std::uint64_t, 4>& bytes, unsigned first, unsigned count) {
    std::array<std::uint16_t, 8> sets{};
    unsigned used = 0;
    for (unsigned h = 0; h < 16; ++h) {
        std::uint16_t lows = 0;
        for (unsigned l = 0; l < 16; ++l) {
            const unsigned b = h * 16 + l;
            if (((bytes[b >> 6] >> (b & 63)) & 1) != 0) lows = static_cast<std::uint16_t>(lows | (1u << l));
        }
        if (lows == 0) continue;
        unsigned k = 0;
        while (k < used && sets[k] != lows) ++k;
        if (k == used) {
            if (used < count) ++used;
            k = used - 1;
        }
        sets[k] = static_cast<std::uint16_t>(sets[k] | lows);
        t.high[h] = static_cast<std::uint8_t>(t.high[h] | (1u << (first + k)));
    }
    for (unsigned k = 0; k < used; ++k)
        for (unsigned l = 0; l < 16; ++l)
            if (((sets[k] >> l) & 1) != 0) t.low[l] = static_cast<std::uint8_t>(t.low[l] | (1u << (first + k)));
}

NibbleTables nibble_tables(const std::array<std::uint64_t, 4>& bytes) {
    NibbleTables t;
    add_nibble_class(t, bytes, 0, 8);
    return t;
}

__attribute__((target("avx2,popcnt"))) QuickBounds quick_bounds_avx2(std::string_view text, const NibbleTables& t,
                                                                       const ShareTest& share) {
    const __m256i low_table = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.low.data())));
    const __m256i high_table =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.high.data())));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    auto sign_bytes = [&](__m256i v) __attribute__((target("avx2"))) {
        const __m256i lows = _mm256_shuffle_epi8(low_table, _mm256_and_si256(v, nibble));
        const __m256i highs = _mm256_shuffle_epi8(high_table, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
        return _mm256_cmpeq_epi8(_mm256_and_si256(lows, highs), _mm256_setzero_si256());
    };
    std::uint64_t specials = 0, later_starts = 0, signed_firsts = 0, nonblank = 0;
    // Whether the byte before the block is a newline (or the text's start),
    // a blank other than a newline, and an ASCII byte other than a blank.
    std::uint64_t newline_before = 1, blank_before = 0, ascii_before = 0;
    const PaddedBlocks blocks(text);
    const std::size_t whole = blocks.last();
    std::uint64_t newlines_seen = 0;
    for (std::size_t base = 0; base <= whole; base += kBlock) {
        // A line counts once at least for each sign it has.
        if (const auto bound = share_bound(share, base, specials + later_starts / 3 + signed_firsts, newlines_seen, nonblank))
            return QuickBounds{bound->maybe_templated, bound->surely_nonblank};
        const char* p = blocks.at(base);
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        const std::uint64_t newline = Avx2::bits(Avx2::eq(a, '\n'), Avx2::eq(b, '\n'));
        newlines_seen += Avx2::count(newline);
        const std::uint64_t blank = Avx2::bits(Avx2::blank(a), Avx2::blank(b)) & ~newline;
        const std::uint64_t high = Avx2::bits(a, b);
        const std::uint64_t equals = Avx2::bits(Avx2::eq(a, '='), Avx2::eq(b, '='));
        const std::uint64_t not_sign = Avx2::bits(sign_bytes(a), sign_bytes(b));
        const std::uint64_t content = ~(blank | newline);
        const std::uint64_t ascii = content & ~high;
        const std::uint64_t firsts = (newline << 1) | newline_before;
        specials += Avx2::count(equals | high);
        later_starts += Avx2::count(content & ((blank << 1) | blank_before));
        signed_firsts += Avx2::count(firsts & (blank | (content & ~not_sign)));
        nonblank += Avx2::count(newline & ((ascii << 1) | ascii_before));
        newline_before = newline >> 63;
        blank_before = blank >> 63;
        ascii_before = ascii >> 63;
    }
    return QuickBounds{specials + later_starts / 3 + signed_firsts, nonblank};
}

// Two classes of bytes in one pair of nibble tables: wrapping punctuation
// a word may follow on the low three bits, and the bytes a log prefix's
// first token may begin with on the high five.
constexpr std::uint8_t kWrapBits = 0x07, kSignBits = 0xF8;

NibbleTables class_tables(const LineTests& tests) {
    std::array<std::uint64_t, 4> wrap{};
    for (unsigned b = 0; b < 256; ++b)
        if (tests.event_openings[b] == kWrapping) wrap[b >> 6] |= std::uint64_t{1} << (b & 63);
    NibbleTables t;
    add_nibble_class(t, wrap, 0, 3);
    add_nibble_class(t, tests.sign_first_bytes, 3, 5);
    return t;
}

// The event words in up to eight groups, as a low and a high half-byte
// table for each of a word's first three places (every event word the
// block pass looks for has three letters at least), ASCII case folded
// (b | 0x20): a word of a group may start where the tables of every place,
// read at the byte there, share the group's bit. Within a group the
// half-bytes mix the words' letters, which only lets more pass; words are
// grouped so that they mix least. The rest of a word is compared byte by
// byte (`WordPrefixes`): more places here cost more than they save.
constexpr std::size_t kGroupPlaces = 3;
struct WordGroupTables {
    std::array<std::array<std::uint8_t, 16>, kGroupPlaces> low{}, high{};
};

WordGroupTables word_group_tables(std::span<const std::string_view> words) {
    constexpr std::size_t kGroups = 8, kPlaces = kGroupPlaces;
    // Per group and place: the bytes it allows, as 16 bits of low and of
    // high half-bytes; all of them past a word's end.
    struct Group {
        std::array<std::uint16_t, kPlaces> lows{}, highs{};
    };
    std::vector<Group> groups;
    for (std::string_view word : words) {
        if (word.size() < 3) continue;
        Group g;
        for (std::size_t place = 0; place < kPlaces; ++place) {
            if (place >= word.size()) {
                g.lows[place] = g.highs[place] = 0xFFFF;
                continue;
            }
            const unsigned folded = static_cast<unsigned char>(word[place]) | 0x20u;
            g.lows[place] = static_cast<std::uint16_t>(1u << (folded & 15u));
            g.highs[place] = static_cast<std::uint16_t>(1u << (folded >> 4));
        }
        groups.push_back(g);
    }
    auto joined = [](const Group& a, const Group& b) {
        Group g;
        for (std::size_t place = 0; place < kPlaces; ++place) {
            g.lows[place] = static_cast<std::uint16_t>(a.lows[place] | b.lows[place]);
            g.highs[place] = static_cast<std::uint16_t>(a.highs[place] | b.highs[place]);
        }
        return g;
    };
    // How many byte values a group lets pass, over its places.
    auto passes = [](const Group& g) {
        int n = 0;
        for (std::size_t place = 0; place < kPlaces; ++place)
            n += std::popcount(g.lows[place]) * std::popcount(g.highs[place]);
        return n;
    };
    // Join the two groups whose join lets the fewest more bytes pass, until
    // eight are left.
    while (groups.size() > kGroups) {
        std::size_t best_a = 0, best_b = 1;
        int best = INT_MAX;
        for (std::size_t a = 0; a < groups.size(); ++a)
            for (std::size_t b = a + 1; b < groups.size(); ++b) {
                const int more = passes(joined(groups[a], groups[b])) - passes(groups[a]) - passes(groups[b]);
                if (more < best) {
                    best = more;
                    best_a = a;
                    best_b = b;
                }
            }
        groups[best_a] = joined(groups[best_a], groups[best_b]);
        groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(best_b));
    }
    WordGroupTables t;
    for (std::size_t k = 0; k < groups.size(); ++k)
        for (std::size_t place = 0; place < kPlaces; ++place)
            for (unsigned n = 0; n < 16; ++n) {
                if (((groups[k].lows[place] >> n) & 1) != 0) t.low[place][n] |= static_cast<std::uint8_t>(1u << k);
                if (((groups[k].highs[place] >> n) & 1) != 0) t.high[place][n] |= static_cast<std::uint8_t>(1u << k);
            }
    return t;
}

// A seed's reach along a run of bits, block after block: bit p is set when a
// seed at q < p lies in the run and bits q to p - 1 all do. The carry of an
// addition walks the run.
struct RunReach {
    std::uint64_t carry = 0;
    std::uint64_t operator()(std::uint64_t run, std::uint64_t seeds) {
        seeds &= run;
        std::uint64_t sum = 0;
        const bool over = __builtin_add_overflow(run, seeds, &sum);
        const bool over_again = __builtin_add_overflow(sum, carry, &sum);
        carry = (over || over_again) ? 1 : 0;
        return sum ^ run ^ seeds;
    }
};

#define LM_AVX2 __attribute__((target("avx2,popcnt")))
// The class bits of each byte of `v`.
LM_AVX2 inline __m256i byte_classes(__m256i v, __m256i low, __m256i high) {
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    return _mm256_and_si256(_mm256_shuffle_epi8(low, _mm256_and_si256(v, nibble)),
                            _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble)));
}

// The bytes whose class bits share one with `bits`.
LM_AVX2 inline std::uint64_t class_bits(__m256i a, __m256i b, std::uint8_t bits) {
    const __m256i mask = _mm256_set1_epi8(static_cast<char>(bits)), zero = _mm256_setzero_si256();
    return ~Avx2::bits(_mm256_cmpeq_epi8(_mm256_and_si256(a, mask), zero), _mm256_cmpeq_epi8(_mm256_and_si256(b, mask), zero));
}

// The event words' first four letters (three for a word of three), ASCII
// case folded, as little-endian words with the mask of the bytes they hold.
struct WordPrefixes {
    std::array<std::uint32_t, 32> prefix{}, mask{};
    std::array<std::string_view, 32> word_of{};
    // By the hash of their first three bytes, folded: the words (bit k for
    // word k) that may begin so.
    std::array<std::uint32_t, 64> by_hash{};

    static std::size_t hash(const char* p) {
        const std::uint32_t three = (static_cast<std::uint32_t>(static_cast<unsigned char>(p[0]) | 0x20u)) |
                                    (static_cast<std::uint32_t>(static_cast<unsigned char>(p[1]) | 0x20u) << 8) |
                                    (static_cast<std::uint32_t>(static_cast<unsigned char>(p[2]) | 0x20u) << 16);
        return (three * 0x9E3779B1u) >> 26;
    }
    std::size_t count = 0;
    bool all = false;  // too many words to keep: every word start may be one

    explicit WordPrefixes(std::span<const std::string_view> words) {
        for (std::string_view word : words) {
            if (word.size() < 3) continue;
            if (count == prefix.size()) {
                all = true;
                return;
            }
            word_of[count] = word;
            by_hash[hash(word.data())] |= std::uint32_t{1} << count;
            for (std::size_t i = 0; i < 4 && i < word.size(); ++i) {
                prefix[count] |= ((static_cast<std::uint32_t>(static_cast<unsigned char>(word[i])) | 0x20u) << (8 * i));
                mask[count] |= 0xFFu << (8 * i);
            }
            ++count;
        }
    }
    // Whether a word begins at `at` and ends there its token's core: the
    // token ends after it (an ASCII blank or a non-ASCII byte may end it)
    // or wrapping punctuation follows, which the core leaves out. A token
    // that is an event word once its wrapping punctuation is shed passes
    // here at its word's first byte, which follows a separator as well.
    bool may_end_core(std::string_view text, std::size_t at, const LineTests& tests) const {
        if (all || at + 4 > text.size()) return true;
        std::uint32_t got = 0;
        std::memcpy(&got, text.data() + at, 4);
        got = std::uint32_t{0x20202020u} | got;
        if constexpr (std::endian::native != std::endian::little) got = __builtin_bswap32(got);
        for (std::uint32_t words = by_hash[hash(text.data() + at)]; words != 0; words &= words - 1) {
            const auto k = static_cast<std::size_t>(std::countr_zero(words));
            if ((got & mask[k]) != prefix[k]) continue;
            const std::string_view word = word_of[k];
            if (at + word.size() > text.size()) continue;
            std::size_t i = 4;
            while (i < word.size() && (static_cast<unsigned char>(text[at + i]) | 0x20u) ==
                                          (static_cast<unsigned char>(word[i]) | 0x20u))
                ++i;
            if (i < word.size()) continue;
            if (at + word.size() == text.size()) return true;
            const char next = text[at + word.size()];
            if (static_cast<unsigned char>(next) >= 0x80 || text::is_ascii_whitespace(next) ||
                tests.event_openings[static_cast<unsigned char>(next)] == kWrapping)
                return true;
        }
        return false;
    }
};

// Where a word of a group may start, for the 32 bytes from `p` (with the
// next kGroupPlaces - 1 read after them).
LM_AVX2 inline __m256i word_group_starts(const char* p, const __m256i (&low)[kGroupPlaces], const __m256i (&high)[kGroupPlaces]) {
    const __m256i nibble = _mm256_set1_epi8(0x0F), fold = _mm256_set1_epi8(0x20);
    __m256i groups = _mm256_set1_epi8(-1);
    for (std::size_t place = 0; place < kGroupPlaces; ++place) {
        const __m256i v = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + place)), fold);
        const __m256i lows = _mm256_shuffle_epi8(low[place], _mm256_and_si256(v, nibble));
        const __m256i highs = _mm256_shuffle_epi8(high[place], _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
        groups = _mm256_and_si256(groups, _mm256_and_si256(lows, highs));
    }
    return _mm256_cmpeq_epi8(groups, _mm256_setzero_si256());
}

LM_AVX2 QuickBounds line_mask_bounds_avx2(std::string_view text, const NibbleTables& t, const LineTests& tests,
                                          const ShareTest& share) {
    const WordPrefixes prefixes(tests.event_words);
    const __m256i class_low = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.low.data())));
    const __m256i class_high = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.high.data())));
    const WordGroupTables words_tables = word_group_tables(tests.event_words);
    __m256i group_low[kGroupPlaces], group_high[kGroupPlaces];
    for (std::size_t k = 0; k < kGroupPlaces; ++k) {
        group_low[k] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(words_tables.low[k].data())));
        group_high[k] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(words_tables.high[k].data())));
    }
    EqualsReader equals_reader(text);
    std::uint64_t maybe_templated = 0, surely_nonblank = 0, asked = 0;
    // Of the byte before the block: whether it is an ASCII blank (the text's
    // start counts as one), or a byte a word may follow.
    std::uint64_t blank_before = 1, separator_before = 1;
    RunReach content_reach, sign_reach, ascii_reach, unsafe_reach;
    const PaddedBlocks blocks(text);
    const std::size_t whole = blocks.last();
    std::uint64_t newlines_seen = 0;
    for (std::size_t base = 0; base <= whole; base += kBlock) {
        if (const auto bound = share_bound(share, base, maybe_templated, newlines_seen, surely_nonblank))
            return QuickBounds{bound->maybe_templated, bound->surely_nonblank, asked};
        const char* p = blocks.at(base);
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        const std::uint64_t newline = Avx2::bits(Avx2::eq(a, '\n'), Avx2::eq(b, '\n'));
        newlines_seen += Avx2::count(newline);
        const std::uint64_t blank = Avx2::bits(Avx2::blank(a), Avx2::blank(b));  // the newline among them
        const std::uint64_t high = Avx2::bits(a, b);
        const std::uint64_t equals = Avx2::bits(Avx2::eq(a, '='), Avx2::eq(b, '='));
        const __m256i ca = byte_classes(a, class_low, class_high), cb = byte_classes(b, class_low, class_high);
        const std::uint64_t content = ~blank;

        // Signs: a "=" after a key character whose value may be safe; and
        // what leaves a line without a template: a "=" of an unsafe
        // key=value token. A "=" after a blank is neither.
        std::uint64_t signs = 0, unsafe = 0;
        for (std::uint64_t e = equals & ~((blank << 1) | blank_before); e != 0; e &= e - 1) {
            const unsigned q = static_cast<unsigned>(std::countr_zero(e));
            const std::size_t at = base + q;
            if (at >= text.size()) break;
            ++asked;
            const EqualsSign sign = equals_reader.at(at);
            if (sign == EqualsSign::safe_value) signs |= std::uint64_t{1} << q;
            if (sign == EqualsSign::unsafe_value) unsafe |= std::uint64_t{1} << q;
        }
        blank_before = blank >> 63;

        // Event words, marked on their first byte: a word start where a
        // word of a group may start.
        const std::uint64_t separator = blank | high | class_bits(ca, cb, kWrapBits);
        std::uint64_t words = content & ((separator << 1) | separator_before) &
                              ~Avx2::bits(word_group_starts(p, group_low, group_high),
                                          word_group_starts(p + 32, group_low, group_high));
        separator_before = separator >> 63;
        for (; words != 0; words &= words - 1) {
            const unsigned q = static_cast<unsigned>(std::countr_zero(words));
            const std::size_t word = base + q;
            if (word >= text.size()) break;
            // The groups pass letters of different words together: a
            // word's first letters settle most.
            ++asked;
            if (!prefixes.may_end_core(text, word, tests)) continue;
            if (tests.is_event_token(text.substr(word))) signs |= std::uint64_t{1} << q;
        }

        // Each line's first byte other than an ASCII blank.
        const std::uint64_t line_firsts = content & ~content_reach(~newline, content);
        for (std::uint64_t f = line_firsts & (high | class_bits(ca, cb, kSignBits)); f != 0; f &= f - 1) {
            const unsigned q = static_cast<unsigned>(std::countr_zero(f));
            const std::uint64_t bit = std::uint64_t{1} << q;
            if ((high & bit) != 0) {
                signs |= bit;
                continue;
            }
            const std::size_t from = base + q;
            const auto first = static_cast<unsigned char>(text[from]);
            if (((tests.sign_first_bytes[first >> 6] >> (first & 63)) & 1) == 0) continue;
            // A letter first begins a level word, of `min_level_letters` letters at least.
            if (text::is_ascii_alpha(text[from])) {
                std::size_t letters = 1;
                while (letters < tests.min_level_letters && from + letters < text.size() &&
                       text::is_ascii_alpha(text[from + letters]))
                    ++letters;
                if (letters < tests.min_level_letters) continue;
            }
            if (tests.ascii_log_sign(text.substr(from))) signs |= bit;
        }

        maybe_templated += Avx2::count(newline & (sign_reach(~newline, signs) | signs) &
                                       ~(unsafe_reach(~newline, unsafe) | unsafe));
        surely_nonblank += Avx2::count(newline & ascii_reach(~newline, content & ~high));
    }
    return QuickBounds{maybe_templated, surely_nonblank, asked};
}
#undef LM_AVX2

}  // namespace

std::optional<QuickBounds> take_line_mask_bounds(std::string_view text, const LineTests& tests,
                                                 const ShareTest& share) {
    if (!__builtin_cpu_supports("avx2") || tests.is_event_token == nullptr || tests.ascii_log_sign == nullptr)
        return std::nullopt;
    return line_mask_bounds_avx2(text, class_tables(tests), tests, share);
}

std::optional<QuickBounds> take_quick_bounds(std::string_view text, const LineTests& tests, const ShareTest& share) {
    if (!__builtin_cpu_supports("avx2")) return std::nullopt;
    const NibbleTables tables = nibble_tables(tests.sign_first_bytes);
    return quick_bounds_avx2(text, tables, share);
}

LineCensus take_census(std::string_view text, const LineTests& tests, const ShareTest& share) {
    return __builtin_cpu_supports("avx2") ? census_avx2(text, tests, share) : census_portable(text, tests, share);
}

}  // namespace filters::log_template::census
