#include "filters/mixed_transcript/reducer.h"

#include "filters/filters.h"

namespace filters::mixed_transcript::reducer {

std::optional<std::string> try_compress_mixed_transcript_output(std::string_view /*text*/) { return std::nullopt; }

std::string compress_mixed_transcript_output(std::string_view text) { return or_input(try_compress_mixed_transcript_output(text), text); }

}  // namespace filters::mixed_transcript::reducer
