#include "scan/portable.h"

#include <algorithm>

#include "scan/versions.h"

namespace scan::portable {
namespace {

// The first block of positions [base, base + 64), base = from + 64k, with
// a position p < `end` for which `hit(p)` holds.
template <class Hit>
Hits first_block(std::size_t from, std::size_t end, Hit hit) {
    for (std::size_t base = from; base < end; base += kBlock) {
        const std::size_t stop = std::min(end, base + kBlock);
        std::uint64_t bits = 0;
        for (std::size_t p = base; p < stop; ++p)
            if (hit(p)) bits |= std::uint64_t{1} << (p - base);
        if (bits != 0) return Hits{base, bits};
    }
    return Hits{};
}

}  // namespace

Hits byte_hits(const char* s, std::size_t n, char c, std::size_t from) {
    return first_block(from, n, [&](std::size_t p) { return s[p] == c; });
}

std::size_t count_byte(const char* s, std::size_t n, char c) {
    std::size_t count = 0;
    for (std::size_t p = 0; p < n; ++p) count += s[p] == c;
    return count;
}

Hits pair_hits(const char* s, std::size_t n, const Pair& pair, std::size_t from) {
    if (n < 2) return Hits{};
    return first_block(from, n - 1, [&](std::size_t p) {
        return (s[p] == pair.first_a || s[p] == pair.first_b) && (s[p + 1] == pair.second_a || s[p + 1] == pair.second_b);
    });
}

std::size_t find_ignore_case(const char* s, std::size_t n, std::string_view needle, std::size_t from) {
    if (needle.empty()) return from <= n ? from : npos;
    if (needle.size() > n || from > n - needle.size()) return npos;
    const Pair pair = Pair::ignore_case(needle[0], needle.size() > 1 ? needle[1] : '\0');
    for (std::size_t at = from; at <= n - needle.size(); ++at) {
        if (s[at] != pair.first_a && s[at] != pair.first_b) continue;
        if (needle.size() == 1) return at;
        if ((s[at + 1] == pair.second_a || s[at + 1] == pair.second_b) && rest_equals_ignore_case(s + at, needle))
            return at;
    }
    return npos;
}

Hits class_hits(const char* s, std::size_t n, const ByteClasses& classes, std::size_t from) {
    return first_block(from, n, [&](std::size_t p) { return classes.in_any(static_cast<unsigned char>(s[p])); });
}

ClassMasks classify(const char* s, std::size_t n, std::size_t at, const ByteClasses& classes) {
    ClassMasks m;
    for (std::size_t p = at; p < n && p < at + kBlock; ++p)
        for (std::uint8_t in = classes.classes_of(static_cast<unsigned char>(s[p])); in != 0; in &= in - 1)
            m.of[static_cast<std::size_t>(std::countr_zero(in))] |= std::uint64_t{1} << (p - at);
    return m;
}

void classify_run(const char* s, std::size_t n, std::size_t at, const ByteClasses& classes, ClassMasks* out,
                  std::size_t blocks) {
    for (std::size_t i = 0; i < blocks; ++i) out[i] = classify(s, n, at + i * kBlock, classes);
}

Hits place_hits(const char* s, std::size_t n, const PlaceTable& table, std::size_t from) {
    const std::string_view text(s, n);
    return first_block(from, n, [&](std::size_t p) { return table.groups_at(text, p) != 0; });
}

GroupMasks place_groups(const char* s, std::size_t n, std::size_t at, const PlaceTable& table) {
    const std::string_view text(s, n);
    GroupMasks m;
    for (std::size_t p = at; p < n && p < at + kBlock; ++p)
        for (std::uint8_t in = table.groups_at(text, p); in != 0; in &= in - 1)
            m.of[static_cast<std::size_t>(std::countr_zero(in))] |= std::uint64_t{1} << (p - at);
    return m;
}

}  // namespace scan::portable

namespace scan {

const Kernels kPortable = {
    "portable",
    &portable::byte_hits,
    &portable::count_byte,
    &portable::pair_hits,
    &portable::find_ignore_case,
    &portable::class_hits,
    &portable::classify,
    &portable::classify_run,
    &portable::place_hits,
    &portable::place_groups,
};

}  // namespace scan
