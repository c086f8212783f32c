#include "filters/html_cleanup/reducer.h"

#include "filters/filter.h"
#include "filters/html_cleanup/detector.h"
#include "filters/html_cleanup/summary.h"
#include "text.h"

namespace filters::html_cleanup::reducer {

Attempt try_compress_html_cleanup_output(const FilterInput& input) {
    const auto page = detector::find_html_page(input.text);
    if (!page) return std::nullopt;
    const auto summary = summary::summarize_html_document(page->body);
    if (!summary) return std::nullopt;
    const bool final_newline = page->body.ends_with('\n');
    std::string candidate(page->head);
    candidate += page->separator;
    candidate += summary::format_html_summary(*summary, final_newline);
    if (!text::is_smaller_output(candidate, input.text)) return std::nullopt;
    return candidate;
}

std::string compress_html_cleanup_output(std::string_view text) {
    return run_alone(&try_compress_html_cleanup_output, text);
}

}  // namespace filters::html_cleanup::reducer
