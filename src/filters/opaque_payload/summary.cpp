#include "filters/opaque_payload/summary.h"

#include "text.h"

namespace filters::opaque_payload::summary {

std::string format_json_summary(std::string_view kind, const std::vector<std::string>& keys, std::size_t bytes) {
    return text::format("[opaque payload omitted: kind={} keys={} bytes={}]", kind, text::join(keys, ","), bytes);
}

std::string format_html_summary(std::size_t bytes, const std::optional<std::string>& title) {
    if (!title) return text::format("[opaque payload omitted: kind=html bytes={}]", bytes);
    return text::format("[opaque payload omitted: kind=html bytes={} title={}]", bytes, text::quote_escaped(*title));
}

std::string format_line_span(const detector::LinePayloadSpan& span) {
    if (span.pem)
        return text::format("[opaque payload omitted: kind=pem label={} lines={} bytes={}]",
                            text::quote_escaped(span.label.value_or("")), span.lines, span.bytes);
    return text::format("[opaque payload omitted: kind=base64 lines={} bytes={}]", span.lines, span.bytes);
}

std::string format_data_url(const detector::DataUrlSpan& span) {
    return text::format("[opaque payload omitted: kind=data-url mime={} encoding={} bytes={}]", span.mime,
                        span.encoding, span.bytes);
}

std::string with_final_newline(std::string text, bool final_newline) {
    if (final_newline) text.push_back('\n');
    return text;
}

}  // namespace filters::opaque_payload::summary
