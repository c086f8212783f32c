#include "filters/opaque_payload/reducer.h"

#include "filters/filters.h"

namespace filters::opaque_payload::reducer {

std::optional<std::string> try_compress_opaque_payload_output(std::string_view /*text*/) { return std::nullopt; }

std::string compress_opaque_payload_output(std::string_view text) { return or_input(try_compress_opaque_payload_output(text), text); }

}  // namespace filters::opaque_payload::reducer
