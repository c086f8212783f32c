// The choice of version, made once, and the kernels of scan.h that run it.
#include <vector>

#include "scan/versions.h"

namespace scan {
namespace {

std::vector<const Kernels*> list_versions() {
    std::vector<const Kernels*> list(vector_versions().begin(), vector_versions().end());
    list.push_back(&kPortable);
    return list;
}

}  // namespace

std::span<const Kernels* const> versions() {
    // Built on first use; a static local's start is safe between threads.
    static const std::vector<const Kernels*> list = list_versions();
    return list;
}

const Kernels& chosen() {
    static const Kernels& best = *versions().front();
    return best;
}

const char* chosen_version() { return chosen().name; }

Hits byte_hits(std::string_view s, char c, std::size_t from) { return chosen().byte_hits(s.data(), s.size(), c, from); }

std::size_t count_byte(std::string_view s, char c) { return chosen().count_byte(s.data(), s.size(), c); }

Hits pair_hits(std::string_view s, const Pair& pair, std::size_t from) {
    return chosen().pair_hits(s.data(), s.size(), pair, from);
}

std::size_t find_pair(std::string_view s, const Pair& pair, std::size_t from) {
    const Hits hits = pair_hits(s, pair, from);
    return hits ? hits.first() : npos;
}

std::size_t find_ignore_case(std::string_view s, std::string_view needle, std::size_t from) {
    return chosen().find_ignore_case(s.data(), s.size(), needle, from);
}

Hits class_hits(std::string_view s, const ByteClasses& classes, std::size_t from) {
    return chosen().class_hits(s.data(), s.size(), classes, from);
}

std::size_t find_first_in(std::string_view s, const ByteClasses& classes, std::size_t from) {
    const Hits hits = class_hits(s, classes, from);
    return hits ? hits.first() : npos;
}

ClassMasks classify(std::string_view s, std::size_t at, const ByteClasses& classes) {
    return chosen().classify(s.data(), s.size(), at, classes);
}

Hits place_hits(std::string_view s, const PlaceTable& table, std::size_t from) {
    return chosen().place_hits(s.data(), s.size(), table, from);
}

GroupMasks place_groups(std::string_view s, std::size_t at, const PlaceTable& table) {
    return chosen().place_groups(s.data(), s.size(), at, table);
}

#if defined(QUORVANE_SCALAR)
std::span<const Kernels* const> vector_versions() { return {}; }
#endif

}  // namespace scan
