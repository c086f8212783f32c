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

// At most 64 lanes, so that a block is a whole number of vectors.
using D = hn::CappedTag<std::uint8_t, kBlock>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;

// The bits of a mask of the N lanes from lane `lane` of a block, moved to
// their place in the block's 64.
HWY_INLINE std::uint64_t bits_at(M mask, std::size_t lane) {
    std::uint64_t chunk = 0;  // the store writes N / 8 of its bytes
    hn::StoreMaskBits(D(), mask, reinterpret_cast<std::uint8_t*>(&chunk));
    return chunk << lane;
}

// The block's 64 bits, from `mask_at(lane)` for each vector of it.
template <class MaskAt>
HWY_INLINE std::uint64_t block_bits(MaskAt mask_at) {
    const std::size_t n = hn::Lanes(D());
    std::uint64_t bits = 0;
    for (std::size_t lane = 0; lane < kBlock; lane += n) bits |= bits_at(mask_at(lane), lane);
    return bits;
}

HWY_INLINE const std::uint8_t* bytes(const char* s) { return reinterpret_cast<const std::uint8_t*>(s); }

// The table entries of each byte of `v`: its low half-byte's ANDed with
// its high half-byte's (both tables hold sixteen entries, repeated in each
// sixteen bytes of the vector).
HWY_INLINE V lookup(V v, V low, V high) {
    const D d;
    const V low_half = hn::And(v, hn::Set(d, std::uint8_t{0x0F}));
    const V high_half = hn::ShiftRight<4>(v);
    return hn::And(hn::TableLookupBytes(low, low_half), hn::TableLookupBytes(high, high_half));
}

HWY_INLINE V table(const std::array<std::uint8_t, 16>& t) { return hn::LoadDup128(D(), t.data()); }

Hits ByteHits(const char* s, std::size_t n, char c, std::size_t from) {
    const D d;
    const V wanted = hn::Set(d, static_cast<std::uint8_t>(c));
    const std::uint8_t* p = bytes(s);
    std::size_t base = from;
    for (; base < n && n - base >= kBlock; base += kBlock) {
        const std::uint64_t bits = block_bits([&](std::size_t i) { return hn::Eq(hn::LoadU(d, p + base + i), wanted); });
        if (bits != 0) return Hits{base, bits};
    }
    return portable::byte_hits(s, n, c, base);
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

Hits PairHits(const char* s, std::size_t n, const Pair& pair, std::size_t from) {
    const D d;
    const V first_a = hn::Set(d, static_cast<std::uint8_t>(pair.first_a));
    const V first_b = hn::Set(d, static_cast<std::uint8_t>(pair.first_b));
    const V second_a = hn::Set(d, static_cast<std::uint8_t>(pair.second_a));
    const V second_b = hn::Set(d, static_cast<std::uint8_t>(pair.second_b));
    const std::uint8_t* p = bytes(s);
    std::size_t base = from;
    // The second byte of the block's last position is one past the block.
    for (; base < n && n - base >= kBlock + 1; base += kBlock) {
        const std::uint64_t bits = block_bits([&](std::size_t i) {
            const V x = hn::LoadU(d, p + base + i), y = hn::LoadU(d, p + base + i + 1);
            return hn::And(hn::Or(hn::Eq(x, first_a), hn::Eq(x, first_b)),
                           hn::Or(hn::Eq(y, second_a), hn::Eq(y, second_b)));
        });
        if (bits != 0) return Hits{base, bits};
    }
    return portable::pair_hits(s, n, pair, base);
}

Hits ClassHits(const char* s, std::size_t n, const ByteClasses& classes, std::size_t from) {
    const D d;
    const V low = table(classes.low()), high = table(classes.high()), zero = hn::Zero(d);
    const std::uint8_t* p = bytes(s);
    std::size_t base = from;
    for (; base < n && n - base >= kBlock; base += kBlock) {
        const std::uint64_t bits =
            block_bits([&](std::size_t i) { return hn::Ne(lookup(hn::LoadU(d, p + base + i), low, high), zero); });
        if (bits != 0) return Hits{base, bits};
    }
    return portable::class_hits(s, n, classes, base);
}

ClassMasks Classify(const char* s, std::size_t n, std::size_t at, const ByteClasses& classes) {
    if (at > n || n - at < kBlock) return portable::classify(s, n, at, classes);
    const D d;
    const V low = table(classes.low()), high = table(classes.high()), zero = hn::Zero(d);
    const std::uint8_t* p = bytes(s) + at;
    const std::size_t count = classes.size();
    ClassMasks m;
    for (std::size_t i = 0; i < kBlock; i += hn::Lanes(d)) {
        const V pieces = lookup(hn::LoadU(d, p + i), low, high);
        for (std::size_t k = 0; k < count; ++k)
            m.of[k] |= bits_at(hn::Ne(hn::And(pieces, hn::Set(d, classes.members(k))), zero), i);
    }
    return m;
}

// The place kernels for a table of `kPlaces` places, its tables held in
// registers (these targets have fixed-size vectors, which arrays may hold).
template <std::size_t kPlaces>
struct Places {
    V low[kPlaces], high[kPlaces];

    explicit Places(const PlaceTable& t) {
        for (std::size_t k = 0; k < kPlaces; ++k) {
            low[k] = table(t.low(k));
            high[k] = table(t.high(k));
        }
    }

    // The groups that places [first, last) allow for the N positions at `p`.
    template <std::size_t kFirst, std::size_t kLast>
    HWY_INLINE V groups(const std::uint8_t* p, V groups) const {
        for (std::size_t k = kFirst; k < kLast; ++k)
            groups = hn::And(groups, lookup(hn::LoadU(D(), p + k), low[k], high[k]));
        return groups;
    }

    // A block looks at its first four places for all its positions, and at
    // the other places only when those left some group.
    Hits hits(const char* s, std::size_t n, const PlaceTable& t, std::size_t from) const {
        const D d;
        const V zero = hn::Zero(d), all = hn::Set(d, std::uint8_t{0xFF});
        constexpr std::size_t kFirst = kPlaces < 4 ? kPlaces : 4;
        const std::uint8_t* p = bytes(s);
        HWY_ALIGN std::uint8_t first[kBlock];
        std::size_t base = from;
        for (; base < n && n - base >= kBlock + kPlaces - 1; base += kBlock) {
            V any = zero;
            for (std::size_t i = 0; i < kBlock; i += hn::Lanes(d)) {
                const V g = groups<0, kFirst>(p + base + i, all);
                hn::Store(g, d, first + i);
                any = hn::Or(any, g);
            }
            if (hn::AllTrue(d, hn::Eq(any, zero))) continue;
            const std::uint64_t bits = block_bits([&](std::size_t i) {
                return hn::Ne(groups<kFirst, kPlaces>(p + base + i, hn::Load(d, first + i)), zero);
            });
            if (bits != 0) return Hits{base, bits};
        }
        return portable::place_hits(s, n, t, base);
    }

    GroupMasks block(const char* s, std::size_t n, std::size_t at, const PlaceTable& t) const {
        if (at > n || n - at < kBlock + kPlaces - 1) return portable::place_groups(s, n, at, t);
        const D d;
        const V zero = hn::Zero(d), all = hn::Set(d, std::uint8_t{0xFF});
        const std::uint8_t* p = bytes(s) + at;
        GroupMasks m;
        for (std::size_t i = 0; i < kBlock; i += hn::Lanes(d)) {
            const V g = groups<0, kPlaces>(p + i, all);
            for (std::size_t group = 0; group < PlaceTable::kGroups; ++group)
                m.of[group] |= bits_at(hn::Ne(hn::And(g, hn::Set(d, static_cast<std::uint8_t>(1u << group))), zero), i);
        }
        return m;
    }
};

template <class Run>
HWY_INLINE auto with_places(const PlaceTable& t, Run run) {
    switch (t.places()) {
        case 1:
            return run(Places<1>(t));
        case 2:
            return run(Places<2>(t));
        case 3:
            return run(Places<3>(t));
        case 4:
            return run(Places<4>(t));
        case 5:
            return run(Places<5>(t));
        case 6:
            return run(Places<6>(t));
        case 7:
            return run(Places<7>(t));
        default:
            return run(Places<8>(t));
    }
}

Hits PlaceHits(const char* s, std::size_t n, const PlaceTable& t, std::size_t from) {
    return with_places(t, [&](const auto& places) { return places.hits(s, n, t, from); });
}

GroupMasks PlaceGroups(const char* s, std::size_t n, std::size_t at, const PlaceTable& t) {
    return with_places(t, [&](const auto& places) { return places.block(s, n, at, t); });
}

const Kernels* KernelsHere() {
    static const Kernels kernels = {
        hwy::TargetName(HWY_TARGET), &ByteHits, &CountByte, &PairHits, &ClassHits, &Classify, &PlaceHits, &PlaceGroups,
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
