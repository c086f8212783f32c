#include "filters/opaque_payload/reducer.h"

#include "filters/filter.h"

namespace filters::opaque_payload::reducer {

Attempt try_compress_opaque_payload_output(const FilterInput& /*input*/) { return std::nullopt; }

std::string compress_opaque_payload_output(std::string_view text) { return run_alone(&try_compress_opaque_payload_output, text); }

}  // namespace filters::opaque_payload::reducer
