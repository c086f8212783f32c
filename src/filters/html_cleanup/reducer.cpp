#include "filters/html_cleanup/reducer.h"

#include "filters/filters.h"

namespace filters::html_cleanup::reducer {

std::optional<std::string> try_compress_html_cleanup_output(std::string_view /*text*/) { return std::nullopt; }

std::string compress_html_cleanup_output(std::string_view text) { return or_input(try_compress_html_cleanup_output(text), text); }

}  // namespace filters::html_cleanup::reducer
