#include "filters/node_stack_trace/reducer.h"

#include "filters/filter.h"

namespace filters::node_stack_trace::reducer {

Attempt try_compress_node_stack_trace_output(const FilterInput& /*input*/) { return std::nullopt; }

std::string compress_node_stack_trace_output(std::string_view text) { return run_alone(&try_compress_node_stack_trace_output, text); }

}  // namespace filters::node_stack_trace::reducer
