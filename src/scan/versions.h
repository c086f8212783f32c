// The versions of the scan kernels: the portable one and the vector ones
// that this processor runs. The filters call the kernels through scan.h,
// which uses the version chosen at start-up; the tests call every version
// here and compare each with the portable one.
#pragma once

#include <cstddef>
#include <span>

#include "scan/scan.h"

namespace scan {

// One version of every kernel. A text is passed as its bytes and length.
struct Kernels {
    const char* name;
    Hits (*byte_hits)(const char* s, std::size_t n, char c, std::size_t from);
    std::size_t (*count_byte)(const char* s, std::size_t n, char c);
    Hits (*pair_hits)(const char* s, std::size_t n, const Pair& pair, std::size_t from);
    std::size_t (*find_ignore_case)(const char* s, std::size_t n, std::string_view needle, std::size_t from);
    Hits (*class_hits)(const char* s, std::size_t n, const ByteClasses& classes, std::size_t from);
    ClassMasks (*classify)(const char* s, std::size_t n, std::size_t at, const ByteClasses& classes);
    Hits (*place_hits)(const char* s, std::size_t n, const PlaceTable& table, std::size_t from);
    GroupMasks (*place_groups)(const char* s, std::size_t n, std::size_t at, const PlaceTable& table);
};

// The plain C++ version, which every other one must agree with.
extern const Kernels kPortable;

// Every version this processor runs, the chosen one first and the
// portable one last.
std::span<const Kernels* const> versions();

// The version the kernels of scan.h run: the first of `versions()`.
const Kernels& chosen();

// The vector versions compiled in and run by this processor, best first.
// Empty in a build with the vector versions switched off.
std::span<const Kernels* const> vector_versions();

}  // namespace scan
