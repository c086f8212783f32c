// The scan layer: the few byte searches that the filters run over whole
// texts, each done many bytes at a time. This is the one place that names a
// vector instruction or asks the processor what it has; everything else
// calls these kernels in plain loops.
//
// Every kernel has one portable version, written as plain C++, which is the
// reference, and vector versions for the processors that have them (SSSE3,
// SSE4, AVX2 and AVX-512 on x86-64, NEON on ARM). The best one the processor
// runs is chosen once, on first use; all of them give the same answers.
//
// Two shapes of answer:
//   - a whole-range search returns the first block of 64 positions, at or
//     after `from`, that holds a hit (`Hits`), so that a caller checks each
//     candidate there and goes on from `next()` without starting over;
//   - a block look (`classify`, `place_groups`) returns, for the 64 bytes
//     from `at`, one bit mask per class or group, which the caller combines
//     with shifts, ANDs and ORs.
// No kernel reads outside the text it is given: bytes past the end count
// as no byte of any class, and a window of places that runs past the end
// allows any byte there.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string_view>

namespace scan {

static_assert(std::endian::native == std::endian::little, "the masks put byte i at bit i");

inline constexpr std::size_t kBlock = 64;
inline constexpr std::size_t npos = std::string_view::npos;

// ------------------------------------------------------------ hits --

// The hits of a search in the block of positions [base, base + 64): bit i
// stands for position base + i. No bits: nothing found up to the end.
struct Hits {
    std::size_t base = 0;
    std::uint64_t bits = 0;

    explicit operator bool() const { return bits != 0; }
    bool operator==(const Hits&) const = default;
    // The first hit; only when there is one.
    std::size_t first() const { return base + static_cast<std::size_t>(std::countr_zero(bits)); }
    // Where the search goes on after this block.
    std::size_t next() const { return base + kBlock; }

    // The positions of the hits, in order: `for (std::size_t at : hits)`.
    class Iterator {
    public:
        using value_type = std::size_t;
        using difference_type = std::ptrdiff_t;
        Iterator() = default;
        Iterator(std::size_t base, std::uint64_t bits) : base_(base), bits_(bits) {}
        std::size_t operator*() const { return base_ + static_cast<std::size_t>(std::countr_zero(bits_)); }
        Iterator& operator++() {
            bits_ &= bits_ - 1;
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            bits_ &= bits_ - 1;
            return old;
        }
        bool operator==(const Iterator& o) const { return bits_ == o.bits_; }

    private:
        std::size_t base_ = 0;
        std::uint64_t bits_ = 0;
    };
    Iterator begin() const { return Iterator(base, bits); }
    Iterator end() const { return Iterator(base, 0); }
};

// ------------------------------------------------------- byte sets --

// A set of byte values, built at compile time.
class ByteSet {
public:
    constexpr ByteSet() = default;

    // The bytes of `bytes`.
    static constexpr ByteSet of(std::string_view bytes) {
        ByteSet s;
        for (char c : bytes) s.add(static_cast<unsigned char>(c));
        return s;
    }
    // The bytes from `lo` to `hi`, both included.
    static constexpr ByteSet range(unsigned lo, unsigned hi) {
        ByteSet s;
        for (unsigned b = lo; b <= hi && b < 256; ++b) s.add(b);
        return s;
    }
    // The bytes for which `pred(byte)` holds.
    template <class Pred>
    static constexpr ByteSet where(Pred pred) {
        ByteSet s;
        for (unsigned b = 0; b < 256; ++b)
            if (pred(static_cast<unsigned char>(b))) s.add(b);
        return s;
    }

    constexpr bool contains(unsigned char b) const { return (words_[b >> 6] >> (b & 63)) & 1; }
    constexpr bool empty() const { return (words_[0] | words_[1] | words_[2] | words_[3]) == 0; }
    constexpr bool operator==(const ByteSet&) const = default;

    constexpr ByteSet operator|(const ByteSet& o) const {
        ByteSet s;
        for (std::size_t i = 0; i < 4; ++i) s.words_[i] = words_[i] | o.words_[i];
        return s;
    }
    constexpr ByteSet operator&(const ByteSet& o) const {
        ByteSet s;
        for (std::size_t i = 0; i < 4; ++i) s.words_[i] = words_[i] & o.words_[i];
        return s;
    }
    constexpr ByteSet operator~() const {
        ByteSet s;
        for (std::size_t i = 0; i < 4; ++i) s.words_[i] = ~words_[i];
        return s;
    }
    // The set with the other case of each ASCII letter in it.
    constexpr ByteSet with_other_case() const {
        ByteSet s = *this;
        for (unsigned b = 'A'; b <= 'Z'; ++b)
            if (contains(static_cast<unsigned char>(b)) || contains(static_cast<unsigned char>(b + 32))) {
                s.add(b);
                s.add(b + 32);
            }
        return s;
    }

private:
    constexpr void add(unsigned b) { words_[b >> 6] |= std::uint64_t{1} << (b & 63); }

    std::array<std::uint64_t, 4> words_{};
};

// -------------------------------------------------- classes of bytes --

// Up to eight classes of bytes, tested for every byte of a block at once.
// A byte is looked up twice, by its low and by its high half-byte, in two
// sixteen-entry tables whose bits are ANDed: each bit so stands for a
// "rectangle" of bytes (some high half-bytes times some low half-bytes).
// The constructor cuts each class into such rectangles, so the answer is
// exact; eight rectangles in all is the limit (a class of one byte or one
// range within sixteen takes one, the ASCII letters two, the bytes from
// 0x80 one), and more fails to compile.
class ByteClasses {
public:
    static constexpr std::size_t kMaxClasses = 8, kMaxPieces = 8;

    constexpr ByteClasses(std::initializer_list<ByteSet> classes) {
        std::array<std::uint16_t, kMaxPieces> piece_low{}, piece_high{};
        std::size_t pieces = 0;
        for (const ByteSet& set : classes) {
            if (count_ == kMaxClasses) throw "more than eight classes";
            // For each high half-byte, the low half-bytes that go with it.
            std::array<std::uint16_t, 16> lows{};
            for (unsigned b = 0; b < 256; ++b)
                if (set.contains(static_cast<unsigned char>(b))) lows[b >> 4] |= static_cast<std::uint16_t>(1u << (b & 15));
            std::uint16_t done = 0;
            for (unsigned h = 0; h < 16; ++h) {
                if (lows[h] == 0 || ((done >> h) & 1)) continue;
                std::uint16_t highs = 0;
                for (unsigned h2 = h; h2 < 16; ++h2)
                    if (lows[h2] == lows[h]) highs |= static_cast<std::uint16_t>(1u << h2);
                done |= highs;
                std::size_t piece = 0;
                while (piece < pieces && !(piece_low[piece] == lows[h] && piece_high[piece] == highs)) ++piece;
                if (piece == pieces) {
                    if (pieces == kMaxPieces) throw "the classes need more than eight rectangles of bytes";
                    piece_low[piece] = lows[h];
                    piece_high[piece] = highs;
                    ++pieces;
                }
                members_[count_] |= static_cast<std::uint8_t>(1u << piece);
            }
            ++count_;
        }
        for (std::size_t piece = 0; piece < pieces; ++piece)
            for (unsigned n = 0; n < 16; ++n) {
                if ((piece_low[piece] >> n) & 1) low_[n] |= static_cast<std::uint8_t>(1u << piece);
                if ((piece_high[piece] >> n) & 1) high_[n] |= static_cast<std::uint8_t>(1u << piece);
            }
    }

    constexpr std::size_t size() const { return count_; }
    // Bit k set for each class k that holds byte `b`.
    constexpr std::uint8_t classes_of(unsigned char b) const {
        const std::uint8_t pieces = low_[b & 15u] & high_[b >> 4];
        std::uint8_t out = 0;
        for (std::size_t k = 0; k < count_; ++k)
            if (pieces & members_[k]) out |= static_cast<std::uint8_t>(1u << k);
        return out;
    }
    constexpr bool in_any(unsigned char b) const { return (low_[b & 15u] & high_[b >> 4]) != 0; }

    // The tables the kernels read.
    constexpr const std::array<std::uint8_t, 16>& low() const { return low_; }
    constexpr const std::array<std::uint8_t, 16>& high() const { return high_; }
    // The rectangle bits of class k.
    constexpr std::uint8_t members(std::size_t k) const { return members_[k]; }

private:
    std::array<std::uint8_t, 16> low_{}, high_{};
    std::array<std::uint8_t, kMaxClasses> members_{};
    std::size_t count_ = 0;
};

// The classes of the bytes of a block: bit i of `of[k]` is set when byte i
// is in class k.
struct ClassMasks {
    std::array<std::uint64_t, ByteClasses::kMaxClasses> of{};
};

// ------------------------------------------------- places of a window --

// Up to eight groups of short patterns looked for together: a position may
// start a pattern of group g when each of the next `places()` bytes is
// allowed for g at its place. A place keeps what it allows as a low and a
// high half-byte table, a byte being allowed when both its halves are, so
// that a table may allow more than its patterns (a mix of them) but never
// less: a hit is where a pattern may start, and the caller checks it.
class PlaceTable {
public:
    static constexpr std::size_t kMaxPlaces = 8, kGroups = 8;

    constexpr explicit PlaceTable(std::size_t places) : places_(places) {
        if (places == 0 || places > kMaxPlaces) throw "a place table has one to eight places";
    }

    constexpr std::size_t places() const { return places_; }

    // Lets `groups` (one bit each) have byte `b` at `place`.
    constexpr void allow(std::size_t place, unsigned char b, std::uint8_t groups) {
        low_[place][b & 15u] |= groups;
        high_[place][b >> 4] |= groups;
    }
    // Lets `groups` have any byte at `place`.
    constexpr void allow_any(std::size_t place, std::uint8_t groups) {
        for (std::uint8_t& m : low_[place]) m |= groups;
        for (std::uint8_t& m : high_[place]) m |= groups;
    }
    // Lets `groups` have every byte of `set` at `place`.
    constexpr void allow(std::size_t place, const ByteSet& set, std::uint8_t groups) {
        for (unsigned b = 0; b < 256; ++b)
            if (set.contains(static_cast<unsigned char>(b))) allow(place, static_cast<unsigned char>(b), groups);
    }

    // The same table read with bit 5 of every byte set first (ASCII case
    // folded, and a few other bytes joined with their pair): a byte's high
    // half-byte then has its bit 1 set, its low one is unchanged.
    constexpr PlaceTable folded() const {
        PlaceTable t = *this;
        for (std::size_t place = 0; place < places_; ++place)
            for (unsigned h = 0; h < 16; ++h) t.high_[place][h] = high_[place][h | 2u];
        return t;
    }

    // The groups that may start at byte `at` of `s`; a place past the end
    // allows any byte.
    constexpr std::uint8_t groups_at(std::string_view s, std::size_t at) const {
        std::uint8_t groups = 0xFF;
        for (std::size_t place = 0; place < places_ && at + place < s.size() && groups != 0; ++place) {
            const auto b = static_cast<unsigned char>(s[at + place]);
            groups &= low_[place][b & 15u] & high_[place][b >> 4];
        }
        return groups;
    }

    constexpr const std::array<std::uint8_t, 16>& low(std::size_t place) const { return low_[place]; }
    constexpr const std::array<std::uint8_t, 16>& high(std::size_t place) const { return high_[place]; }

private:
    std::array<std::array<std::uint8_t, 16>, kMaxPlaces> low_{}, high_{};
    std::size_t places_ = 0;
};

// The groups that may start at each position of a block: bit i of
// `of[g]` is set when group g may start at position i.
struct GroupMasks {
    std::array<std::uint64_t, PlaceTable::kGroups> of{};
    std::uint64_t any() const {
        std::uint64_t m = 0;
        for (std::uint64_t g : of) m |= g;
        return m;
    }
};

// ------------------------------------------------------ byte pairs --

// Two bytes in a row, each matched as it is or, for ASCII letters read
// without case, in either case.
struct Pair {
    char first_a, first_b;    // the first byte: one of these
    char second_a, second_b;  // the second byte: one of these

    static constexpr Pair exact(char first, char second) { return Pair{first, first, second, second}; }
    static constexpr Pair ignore_case(char first, char second) {
        return Pair{lower(first), upper(first), lower(second), upper(second)};
    }

private:
    static constexpr char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
    static constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
};

// --------------------------------------------------------- kernels --

// One version of every kernel (versions.h lists them). A text is passed as
// its bytes and length.
struct Kernels {
    const char* name;
    Hits (*byte_hits)(const char* s, std::size_t n, char c, std::size_t from);
    std::size_t (*count_byte)(const char* s, std::size_t n, char c);
    Hits (*pair_hits)(const char* s, std::size_t n, const Pair& pair, std::size_t from);
    std::size_t (*find_ignore_case)(const char* s, std::size_t n, std::string_view needle, std::size_t from);
    Hits (*class_hits)(const char* s, std::size_t n, const ByteClasses& classes, std::size_t from);
    ClassMasks (*classify)(const char* s, std::size_t n, std::size_t at, const ByteClasses& classes);
    void (*classify_run)(const char* s, std::size_t n, std::size_t at, const ByteClasses& classes, ClassMasks* out,
                         std::size_t blocks);
    Hits (*place_hits)(const char* s, std::size_t n, const PlaceTable& table, std::size_t from);
    GroupMasks (*place_groups)(const char* s, std::size_t n, std::size_t at, const PlaceTable& table);
};

namespace detail {
// The best version this processor runs, chosen on the first call.
const Kernels& choose();
inline const Kernels& chosen() {
    // A static local starts once, safely between threads.
    static const Kernels& best = choose();
    return best;
}
}  // namespace detail

// The positions of byte `c` in `s`, from `from` on.
inline Hits byte_hits(std::string_view s, char c, std::size_t from) {
    if (from >= s.size()) return Hits{};
    return detail::chosen().byte_hits(s.data(), s.size(), c, from);
}
// How many times byte `c` occurs in `s`.
inline std::size_t count_byte(std::string_view s, char c) { return detail::chosen().count_byte(s.data(), s.size(), c); }
// The first `c` at or after `from`, or npos (the C library's search, which
// is already as wide as the processor allows).
inline std::size_t find_byte(std::string_view s, char c, std::size_t from = 0) {
    if (from >= s.size()) return npos;
    const void* hit = std::memchr(s.data() + from, c, s.size() - from);
    return hit == nullptr ? npos : static_cast<std::size_t>(static_cast<const char*>(hit) - s.data());
}

// The positions where `pair` starts, from `from` on (its second byte inside `s`).
inline Hits pair_hits(std::string_view s, const Pair& pair, std::size_t from) {
    if (s.size() < 2 || from >= s.size() - 1) return Hits{};
    return detail::chosen().pair_hits(s.data(), s.size(), pair, from);
}
// The first of them, or npos.
inline std::size_t find_pair(std::string_view s, const Pair& pair, std::size_t from = 0) {
    const Hits hits = pair_hits(s, pair, from);
    return hits ? hits.first() : npos;
}

// The first position at or after `from` where `needle` stands, ASCII case
// folded, or npos (`from` itself for an empty needle, when inside or at the
// end). Each candidate its first two bytes give is checked where the search
// stands, so a frequent pair costs its checks and no new start.
inline std::size_t find_ignore_case(std::string_view s, std::string_view needle, std::size_t from = 0) {
    if (needle.empty()) return from <= s.size() ? from : npos;
    if (from > s.size() || s.size() - from < needle.size()) return npos;
    return detail::chosen().find_ignore_case(s.data(), s.size(), needle, from);
}

// The positions of bytes in any class of `classes`, from `from` on.
inline Hits class_hits(std::string_view s, const ByteClasses& classes, std::size_t from) {
    if (from >= s.size()) return Hits{};
    return detail::chosen().class_hits(s.data(), s.size(), classes, from);
}
// The first of them, or npos.
inline std::size_t find_first_in(std::string_view s, const ByteClasses& classes, std::size_t from = 0) {
    const Hits hits = class_hits(s, classes, from);
    return hits ? hits.first() : npos;
}

// The classes of the 64 bytes of `s` from `at` on (`at` <= s.size()).
inline ClassMasks classify(std::string_view s, std::size_t at, const ByteClasses& classes) {
    return detail::chosen().classify(s.data(), s.size(), at, classes);
}

// The classes of `out.size()` blocks in a row from `at`, one call for all:
// out[i] is classify(s, at + 64 * i, classes).
inline void classify_run(std::string_view s, std::size_t at, const ByteClasses& classes, std::span<ClassMasks> out) {
    detail::chosen().classify_run(s.data(), s.size(), at, classes, out.data(), out.size());
}

// The positions where some group of `table` may start, from `from` on.
inline Hits place_hits(std::string_view s, const PlaceTable& table, std::size_t from) {
    if (from >= s.size()) return Hits{};
    return detail::chosen().place_hits(s.data(), s.size(), table, from);
}
// The groups that may start at the 64 positions of `s` from `at` on.
inline GroupMasks place_groups(std::string_view s, std::size_t at, const PlaceTable& table) {
    return detail::chosen().place_groups(s.data(), s.size(), at, table);
}

// The name of the version chosen for this processor ("AVX2", "NEON",
// "portable" ...).
inline const char* chosen_version() { return detail::chosen().name; }

// ------------------------------------------- eight bytes in a word --
// For short looks that a call would cost more than: eight bytes of one
// machine word at once, in plain C++. A flag is the high bit of its byte.

namespace word {

inline constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;

inline std::uint64_t load(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}
// A flag on each zero byte of `w`, and on no other.
constexpr std::uint64_t zero_bytes(std::uint64_t w) {
    return ~(((w & ~kHighs) + ~kHighs) | w | ~kHighs);
}
// A flag on each byte of `w` equal to `c`.
constexpr std::uint64_t equal_bytes(std::uint64_t w, char c) {
    return zero_bytes(w ^ (kOnes * static_cast<unsigned char>(c)));
}
// A flag on each byte of `w` below `c` (`c` at most 0x80).
constexpr std::uint64_t bytes_below(std::uint64_t w, unsigned char c) {
    return ~(((w & ~kHighs) + kOnes * (0x80u - c)) | w) & kHighs;
}
// The index of the first flagged byte, 8 when none is.
constexpr unsigned first_flag(std::uint64_t flags) { return static_cast<unsigned>(std::countr_zero(flags)) / 8; }

}  // namespace word

// The number of spaces and tabs that begin the 16 bytes at `at` (all of
// them readable); 16 when all are blanks.
inline unsigned blank_run_16(const char* at) {
    for (unsigned half = 0; half < 16; half += 8) {
        const std::uint64_t w = word::load(at + half);
        const std::uint64_t other = ~(word::equal_bytes(w, ' ') | word::equal_bytes(w, '\t')) & word::kHighs;
        if (other != 0) return half + word::first_flag(other);
    }
    return 16;
}

}  // namespace scan
