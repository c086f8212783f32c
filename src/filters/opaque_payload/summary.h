// The marker lines that stand in for opaque payloads.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/opaque_payload/detector.h"

namespace filters::opaque_payload::summary {

// "[opaque payload omitted: kind={} keys={} bytes={}]", keys joined with ",".
std::string format_json_summary(std::string_view kind, const std::vector<std::string>& keys, std::size_t bytes);

// "[opaque payload omitted: kind=html bytes={} title={}]", or without the
// title part when there is none.
std::string format_html_summary(std::size_t bytes, const std::optional<std::string>& title);

// The marker of a PEM block or of a run of base64 lines.
std::string format_line_span(const detector::LinePayloadSpan& span);

// The marker of a data: URL.
std::string format_data_url(const detector::DataUrlSpan& span);

// The text, followed by "\n" when `final_newline`.
std::string with_final_newline(std::string text, bool final_newline);

}  // namespace filters::opaque_payload::summary
