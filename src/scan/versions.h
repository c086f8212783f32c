// The versions of the scan kernels: the portable one and the vector ones
// that this processor runs. The filters call the kernels through scan.h,
// which uses the version chosen on first use; the tests call every version
// here and compare each with the portable one.
#pragma once

#include <cstddef>
#include <span>

#include "scan/scan.h"

namespace scan {

// The plain C++ version, which every other one must agree with.
extern const Kernels kPortable;

// Every version this processor runs, the chosen one first and the
// portable one last.
std::span<const Kernels* const> versions();

// The version the kernels of scan.h run: the first of `versions()`.
inline const Kernels& chosen() { return detail::chosen(); }

// The vector versions compiled in and run by this processor, best first.
// Empty in a build with the vector versions switched off.
std::span<const Kernels* const> vector_versions();

}  // namespace scan
