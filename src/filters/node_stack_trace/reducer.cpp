#include "filters/node_stack_trace/reducer.h"

#include "filters/filters.h"

namespace filters::node_stack_trace::reducer {

std::optional<std::string> try_compress_node_stack_trace_output(std::string_view /*text*/) { return std::nullopt; }

std::string compress_node_stack_trace_output(std::string_view text) { return or_input(try_compress_node_stack_trace_output(text), text); }

}  // namespace filters::node_stack_trace::reducer
