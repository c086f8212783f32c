#include "filters/json_payload/detector.h"

namespace filters::json_payload::detector {

namespace {

bool is_bracketed(std::string_view s, char open, char close) {
    return s.size() >= 2 && s.front() == open && s.back() == close;
}

}  // namespace

bool is_bracketed_document(std::string_view trimmed) {
    return is_bracketed(trimmed, '[', ']') || is_bracketed(trimmed, '{', '}');
}

json::DocumentScan parse_whole_json_payload(std::string_view text, json::Reader& reader,
                                            const json::ElementSink* on_element) {
    const std::string_view body = text::trim(text);
    if (!is_bracketed_document(body)) return json::DocumentScan{};
    return reader.visit_document(body, on_element);
}

std::optional<std::size_t> parse_jsonl_payload(const text::LineIndex& lines, json::Reader& reader,
                                               RecordSink on_record) {
    std::size_t count = 0;
    for (std::string_view raw : lines) {
        const std::string_view line = text::trim(raw);
        if (line.empty()) continue;
        if (!is_bracketed(line, '{', '}')) return std::nullopt;
        if (!reader.visit_object(line, [&](const json::Node& record) { on_record(record, line); })) return std::nullopt;
        ++count;
    }
    if (count == 0) return std::nullopt;
    return count;
}

}  // namespace filters::json_payload::detector
