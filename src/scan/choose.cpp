// The choice of version, made once: the best that the processor runs.
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

const Kernels& detail::choose() { return *versions().front(); }

#if defined(QUORVANE_SCALAR)
std::span<const Kernels* const> vector_versions() { return {}; }
#endif

}  // namespace scan
