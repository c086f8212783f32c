#include "filters/mixed_transcript/reducer.h"

#include "filters/filter.h"

namespace filters::mixed_transcript::reducer {

Attempt try_compress_mixed_transcript_output(const FilterInput& /*input*/) { return std::nullopt; }

std::string compress_mixed_transcript_output(std::string_view text) { return run_alone(&try_compress_mixed_transcript_output, text); }

}  // namespace filters::mixed_transcript::reducer
