// The portable kernels, one byte at a time: the reference for every vector
// version, and what a vector version runs near the end of a text, where a
// whole vector would read past it.
#pragma once

#include <cstddef>

#include "scan/scan.h"

namespace scan::portable {

Hits byte_hits(const char* s, std::size_t n, char c, std::size_t from);
std::size_t count_byte(const char* s, std::size_t n, char c);
Hits pair_hits(const char* s, std::size_t n, const Pair& pair, std::size_t from);
Hits class_hits(const char* s, std::size_t n, const ByteClasses& classes, std::size_t from);
ClassMasks classify(const char* s, std::size_t n, std::size_t at, const ByteClasses& classes);
Hits place_hits(const char* s, std::size_t n, const PlaceTable& table, std::size_t from);
GroupMasks place_groups(const char* s, std::size_t n, std::size_t at, const PlaceTable& table);

}  // namespace scan::portable
