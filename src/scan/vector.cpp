// The vector versions of the scan kernels, written once over Highway's
// portable vector operations and compiled by it for each instruction set
// (this file is read once per target). choose.cpp runs the best one that
// the processor has.
//
// A block of 64 positions is read as 64 / N vectors of N bytes (N is 16,
// 32 or 64), and each compare gives N bits of the block's mask. A block is
// read whole only when all the bytes it needs lie inside the text; the
// blocks near the end go to the portable kernel, which reads byte by byte.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "scan/vector.cpp"
// The targets built: SSSE3, SSE4, AVX2 and AVX-512 on x86-64 with
// Highway's plain C++ emulation below them, NEON on ARM. The scalable ARM
// vectors (SVE) are left out: no machine here runs them, so no test would.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_AVX3_DL)
#endif
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "scan/portable.h"
#include "scan/versions.h"

HWY_BEFORE_NAMESPACE();
namespace scan {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// At most 64 lanes, so that a block is a whole number of vectors; and
// sixteen, for the last block of a text, where a whole vector would read
// past its end.
using D = hn::CappedTag<std::uint8_t, kBlock>;
using D16 = hn::CappedTag<std::uint8_t, 16>;
using V = hn::Vec<D>;

// The bits of a mask of the lanes from lane `lane` of a block, moved to
// their place in the block's 64.
template <class Tag, class Mask>
HWY_INLINE std::uint64_t bits_at(Tag d, Mask mask, std::size_t lane) {
    std::uint64_t chunk = 0;  // the store writes one byte per eight lanes
    hn::StoreMaskBits(d, mask, reinterpret_cast<std::uint8_t*>(&chunk));
    return chunk << lane;
}

// The block's 64 bits, from `mask_at(lane)` for each vector of it.
template <class MaskAt>
HWY_INLINE std::uint64_t block_bits(MaskAt mask_at) {
    const D d;
    std::uint64_t bits = 0;
    for (std::size_t lane = 0; lane < kBlock; lane += hn::Lanes(d)) bits |= bits_at(d, mask_at(lane), lane);
    return bits;
}

HWY_INLINE const std::uint8_t* bytes(const char* s) { return reinterpret_cast<const std::uint8_t*>(s); }

template <class Tag>
HWY_INLINE hn::Vec<Tag> table(Tag d, const std::array<std::uint8_t, 16>& t) {
    return hn::LoadDup128(d, t.data());
}

// The table entries of each byte of `v`: its low half-byte's ANDed with
// its high half-byte's (both tables hold sixteen entries, repeated in each
// sixteen bytes of the vector).
template <class Tag>
HWY_INLINE hn::Vec<Tag> lookup(Tag d, hn::Vec<Tag> v, hn::Vec<Tag> low, hn::Vec<Tag> high) {
    const auto low_half = hn::And(v, hn::Set(d, std::uint8_t{0x0F}));
    const auto high_half = hn::ShiftRight<4>(v);
    return hn::And(hn::TableLookupBytes(low, low_half), hn::TableLookupBytes(high, high_half));
}

// The bits of the positions below `end` in a block of 64 from `base`.
HWY_INLINE std::uint64_t positions_before(std::size_t base, std::size_t end) {
    return end - base >= kBlock ? ~std::uint64_t{0} : (std::uint64_t{1} << (end - base)) - 1;
}

// The bits of the positions [base, stop) of a block that whole vectors
// cannot read: sixteen positions a step while their bytes, and the `ahead`
// bytes after them, lie inside the text; `one(position)` for the rest.
template <class Match, class One>
HWY_INLINE std::uint64_t last_block_bits(const std::uint8_t* p, std::size_t n, std::size_t base, std::size_t stop,
                                         std::size_t ahead, Match match, One one) {
    const D16 d16;
    std::uint64_t bits = 0;
    std::size_t q = base;
    for (; q < stop && n - q >= 16 + ahead; q += 16) bits |= bits_at(d16, match(d16, p + q), q - base);
    for (; q < stop; ++q)
        if (one(q)) bits |= std::uint64_t{1} << (q - base);
    return bits & positions_before(base, stop);
}

// Calls `on_block(base, bits)` for each block from `from` (blocks start at
// from + 64k) with a hit among the positions before `end`, until it returns
// true: `match(d, q)` gives the hits of the vector of positions at q,
// reading `ahead` bytes past the last of them; `one(q)` gives the hit at
// one position.
template <class Match, class One, class OnBlock>
HWY_INLINE void scan_blocks(const std::uint8_t* p, std::size_t n, std::size_t end, std::size_t ahead,
                            std::size_t from, Match match, One one, OnBlock on_block) {
    const D d;
    std::size_t base = from;
    for (; base < end && n - base >= kBlock + ahead; base += kBlock) {
        const std::uint64_t bits = block_bits([&](std::size_t i) { return match(d, p + base + i); });
        if (bits != 0 && on_block(base, bits & positions_before(base, end))) return;
    }
    for (; base < end; base += kBlock)
        if (const std::uint64_t bits = last_block_bits(p, n, base, std::min(end, base + kBlock), ahead, match, one))
            if (on_block(base, bits)) return;
}

// The first block with a hit, as `scan_blocks` finds them.
template <class Match, class One>
HWY_INLINE Hits search(const std::uint8_t* p, std::size_t n, std::size_t end, std::size_t ahead, std::size_t from,
                       Match match, One one) {
    Hits found;
    scan_blocks(p, n, end, ahead, from, match, one, [&](std::size_t base, std::uint64_t bits) {
        found = Hits{base, bits};
        return bits != 0;
    });
    return found;
}

Hits ByteHits(const char* s, std::size_t n, char c, std::size_t from) {
    const auto wanted = static_cast<std::uint8_t>(c);
    return search(
        bytes(s), n, n, 0, from, [&](auto d, const std::uint8_t* q) { return hn::Eq(hn::LoadU(d, q), hn::Set(d, wanted)); },
        [&](std::size_t q) { return s[q] == c; });
}

std::size_t CountByte(const char* s, std::size_t n, char c) {
    const D d;
    const V wanted = hn::Set(d, static_cast<std::uint8_t>(c));
    const std::uint8_t* p = bytes(s);
    std::size_t count = 0, base = 0;
    for (; n - base >= kBlock; base += kBlock)
        count += static_cast<std::size_t>(
            std::popcount(block_bits([&](std::size_t i) { return hn::Eq(hn::LoadU(d, p + base + i), wanted); })));
    return count + portable::count_byte(s + base, n - base, c);
}

// The positions where one of the first bytes of `pair` is followed by one
// of its second bytes, for a vector and for one position.
struct PairMatch {
    const Pair& pair;
    const char* s;

    template <class Tag>
    HWY_INLINE hn::Mask<Tag> operator()(Tag d, const std::uint8_t* q) const {
        const auto x = hn::LoadU(d, q), y = hn::LoadU(d, q + 1);
        const auto set = [&](char c) { return hn::Set(d, static_cast<std::uint8_t>(c)); };
        return hn::And(hn::Or(hn::Eq(x, set(pair.first_a)), hn::Eq(x, set(pair.first_b))),
                       hn::Or(hn::Eq(y, set(pair.second_a)), hn::Eq(y, set(pair.second_b))));
    }
    HWY_INLINE bool operator()(std::size_t q) const {
        return (s[q] == pair.first_a || s[q] == pair.first_b) && (s[q + 1] == pair.second_a || s[q + 1] == pair.second_b);
    }
};

Hits PairHits(const char* s, std::size_t n, const Pair& pair, std::size_t from) {
    if (n < 2) return Hits{};
    const PairMatch match{pair, s};
    // A pair's second byte is one past its position.
    return search(bytes(s), n, n - 1, 1, from, match, match);
}

std::size_t FindIgnoreCase(const char* s, std::size_t n, std::string_view needle, std::size_t from) {
    if (needle.size() < 2 || needle.size() > n) return portable::find_ignore_case(s, n, needle, from);
    const Pair pair = Pair::ignore_case(needle[0], needle[1]);
    const PairMatch match{pair, s};
    std::size_t found = npos;
    // Each candidate is read in full where the search stands.
    scan_blocks(bytes(s), n, n - needle.size() + 1, 1, from, match, match, [&](std::size_t base, std::uint64_t bits) {
        for (; bits != 0; bits &= bits - 1) {
            const std::size_t at = base + static_cast<std::size_t>(std::countr_zero(bits));
            if (portable::rest_equals_ignore_case(s + at, needle)) {
                found = at;
                return true;
            }
        }
        return false;
    });
    return found;
}

Hits ClassHits(const char* s, std::size_t n, const ByteClasses& classes, std::size_t from) {
    return search(
        bytes(s), n, n, 0, from,
        [&](auto d, const std::uint8_t* q) {
            return hn::Ne(lookup(d, hn::LoadU(d, q), table(d, classes.low()), table(d, classes.high())), hn::Zero(d));
        },
        [&](std::size_t q) { return classes.in_any(static_cast<unsigned char>(s[q])); });
}

// The class masks of whole blocks, the tables held once for many blocks.
struct WholeBlocks {
    const ByteClasses& classes;
    V low = table(D(), classes.low()), high = table(D(), classes.high());

    // Written in place: a copy of the masks, stored a word at a time, would
    // be read back as one wide load, which waits for the stores.
    HWY_INLINE void at(const std::uint8_t* p, ClassMasks& m) const {
        const D d;
        m = ClassMasks{};
        for (std::size_t lane = 0; lane < kBlock; lane += hn::Lanes(d)) {
            const V pieces = lookup(d, hn::LoadU(d, p + lane), low, high);
            for (std::size_t k = 0; k < classes.size(); ++k)
                m.of[k] |= bits_at(d, hn::Ne(hn::And(pieces, hn::Set(d, classes.members(k))), hn::Zero(d)), lane);
        }
    }
};

// The class masks of the bytes [at, n) of a block that ends past the text.
ClassMasks last_block_classes(const char* s, std::size_t n, std::size_t at, const ByteClasses& classes) {
    ClassMasks m;
    if (at >= n) return m;
    const D16 d16;
    const std::uint8_t* p = bytes(s);
    std::size_t lane = 0;
    for (; n - at - lane >= 16; lane += 16) {
        const auto pieces = lookup(d16, hn::LoadU(d16, p + at + lane), table(d16, classes.low()), table(d16, classes.high()));
        for (std::size_t k = 0; k < classes.size(); ++k)
            m.of[k] |= bits_at(d16, hn::Ne(hn::And(pieces, hn::Set(d16, classes.members(k))), hn::Zero(d16)), lane);
    }
    for (; at + lane < n; ++lane)
        for (std::uint8_t in = classes.classes_of(p[at + lane]); in != 0; in &= in - 1)
            m.of[static_cast<std::size_t>(std::countr_zero(in))] |= std::uint64_t{1} << lane;
    return m;
}

ClassMasks Classify(const char* s, std::size_t n, std::size_t at, const ByteClasses& classes) {
    if (at >= n || n - at < kBlock) return last_block_classes(s, n, at, classes);
    ClassMasks m;
    WholeBlocks{classes}.at(bytes(s) + at, m);
    return m;
}

void ClassifyRun(const char* s, std::size_t n, std::size_t at, const ByteClasses& classes, ClassMasks* out,
                 std::size_t blocks) {
    const WholeBlocks whole{classes};
    std::size_t i = 0;
    for (; i < blocks && at + i * kBlock < n && n - (at + i * kBlock) >= kBlock; ++i)
        whole.at(bytes(s) + at + i * kBlock, out[i]);
    for (; i < blocks; ++i) out[i] = last_block_classes(s, n, at + i * kBlock, classes);
}

// The place kernels for a table of `kPlaces` places.
template <std::size_t kPlaces>
struct Places {
    const PlaceTable& t;

    // The groups that places [kFirst, kLast) allow, with `groups`, for the
    // vector of positions at `q`.
    template <std::size_t kFirst, std::size_t kLast, class Tag>
    HWY_INLINE hn::Vec<Tag> groups(Tag d, const std::uint8_t* q, hn::Vec<Tag> groups) const {
        for (std::size_t k = kFirst; k < kLast; ++k)
            groups = hn::And(groups, lookup(d, hn::LoadU(d, q + k), table(d, t.low(k)), table(d, t.high(k))));
        return groups;
    }
    template <class Tag>
    HWY_INLINE hn::Vec<Tag> all_groups(Tag d, const std::uint8_t* q) const {
        return groups<0, kPlaces>(d, q, hn::Set(d, std::uint8_t{0xFF}));
    }

    // A whole block looks at its first four places for all its positions,
    // and at the other places only when those left some group.
    Hits hits(const char* s, std::size_t n, std::size_t from) const {
        const D d;
        const V zero = hn::Zero(d), all = hn::Set(d, std::uint8_t{0xFF});
        constexpr std::size_t kFirst = kPlaces < 4 ? kPlaces : 4;
        const std::uint8_t* p = bytes(s);
        HWY_ALIGN std::uint8_t first[kBlock];
        std::size_t base = from;
        for (; base < n && n - base >= kBlock + kPlaces - 1; base += kBlock) {
            V any = zero;
            for (std::size_t i = 0; i < kBlock; i += hn::Lanes(d)) {
                const V g = groups<0, kFirst>(d, p + base + i, all);
                hn::Store(g, d, first + i);
                any = hn::Or(any, g);
            }
            if (hn::AllTrue(d, hn::Eq(any, zero))) continue;
            const std::uint64_t bits = block_bits([&](std::size_t i) {
                return hn::Ne(groups<kFirst, kPlaces>(d, p + base + i, hn::Load(d, first + i)), zero);
            });
            if (bits != 0) return Hits{base, bits};
        }
        // A window that runs past the end allows any byte there.
        const std::string_view text(s, n);
        return search(
            p, n, n, kPlaces - 1, base,
            [&](auto d, const std::uint8_t* q) { return hn::Ne(all_groups(d, q), hn::Zero(d)); },
            [&](std::size_t q) { return t.groups_at(text, q) != 0; });
    }

    GroupMasks block(const char* s, std::size_t n, std::size_t at) const {
        GroupMasks m;
        if (at >= n) return m;
        const auto add = [&](auto d, const std::uint8_t* q, std::size_t lane) {
            const auto g = all_groups(d, q);
            for (std::size_t group = 0; group < PlaceTable::kGroups; ++group) {
                const auto bit = hn::Set(d, static_cast<std::uint8_t>(1u << group));
                m.of[group] |= bits_at(d, hn::Ne(hn::And(g, bit), hn::Zero(d)), lane);
            }
        };
        const std::uint8_t* p = bytes(s);
        std::size_t lane = 0;
        if (n - at >= kBlock + kPlaces - 1) {
            const D d;
            for (; lane < kBlock; lane += hn::Lanes(d)) add(d, p + at + lane, lane);
            return m;
        }
        for (; lane < kBlock && n - at - lane >= 16 + kPlaces - 1; lane += 16) add(D16(), p + at + lane, lane);
        const std::string_view text(s, n);
        for (; lane < kBlock && at + lane < n; ++lane)
            for (std::uint8_t in = t.groups_at(text, at + lane); in != 0; in &= in - 1)
                m.of[static_cast<std::size_t>(std::countr_zero(in))] |= std::uint64_t{1} << lane;
        return m;
    }
};

template <class Run>
HWY_INLINE auto with_places(const PlaceTable& t, Run run) {
    switch (t.places()) {
        case 1:
            return run(Places<1>{t});
        case 2:
            return run(Places<2>{t});
        case 3:
            return run(Places<3>{t});
        case 4:
            return run(Places<4>{t});
        case 5:
            return run(Places<5>{t});
        case 6:
            return run(Places<6>{t});
        case 7:
            return run(Places<7>{t});
        default:
            return run(Places<8>{t});
    }
}

Hits PlaceHits(const char* s, std::size_t n, const PlaceTable& t, std::size_t from) {
    return with_places(t, [&](const auto& places) { return places.hits(s, n, from); });
}

GroupMasks PlaceGroups(const char* s, std::size_t n, std::size_t at, const PlaceTable& t) {
    return with_places(t, [&](const auto& places) { return places.block(s, n, at); });
}

const Kernels* KernelsHere() {
    static const Kernels kernels = {
        hwy::TargetName(HWY_TARGET), &ByteHits, &CountByte,  &PairHits,   &FindIgnoreCase,
        &ClassHits,                  &Classify, &ClassifyRun, &PlaceHits, &PlaceGroups,
    };
    return &kernels;
}

// NOLINTNEXTLINE(google-readability-namespace-comments)
}  // namespace HWY_NAMESPACE
}  // namespace scan
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace scan {
namespace {

struct Compiled {
    std::int64_t target;
    const Kernels* (*kernels)();
};

// Every target this file was built for, best first (a target left out
// gives a null entry).
const Compiled kCompiled[] = {
    {HWY_AVX3, HWY_CHOOSE_AVX3(KernelsHere)},   {HWY_AVX2, HWY_CHOOSE_AVX2(KernelsHere)},
    {HWY_SSE4, HWY_CHOOSE_SSE4(KernelsHere)},   {HWY_SSSE3, HWY_CHOOSE_SSSE3(KernelsHere)},
    {HWY_NEON, HWY_CHOOSE_NEON(KernelsHere)},
#if HWY_TARGETS & HWY_EMU128
    {HWY_EMU128, &N_EMU128::KernelsHere},
#endif
};

std::vector<const Kernels*> supported() {
    // The one question to the processor: which of the targets it runs.
    const std::int64_t runs = hwy::SupportedTargets();
    std::vector<const Kernels*> list;
    for (const Compiled& c : kCompiled)
        if (c.kernels != nullptr && (runs & c.target) != 0) list.push_back(c.kernels());
    return list;
}

}  // namespace

std::span<const Kernels* const> vector_versions() {
    static const std::vector<const Kernels*> list = supported();
    return list;
}

}  // namespace scan
#endif  // HWY_ONCE
