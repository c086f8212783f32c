#include "filters/json_payload/detector.h"

#include "text.h"

namespace filters::json_payload::detector {

namespace {

bool is_bracketed(std::string_view s, char open, char close) {
    return s.size() >= 2 && s.front() == open && s.back() == close;
}

}  // namespace

bool is_bracketed_document(std::string_view trimmed) {
    return is_bracketed(trimmed, '[', ']') || is_bracketed(trimmed, '{', '}');
}

std::optional<json::Value> parse_whole_json_payload(std::string_view text) {
    const std::string_view body = text::trim(text);
    if (!is_bracketed_document(body)) return std::nullopt;
    return json::parse(body);
}

json::DocumentKind visit_whole_json_payload(std::string_view text, const json::ElementSink& on_element) {
    const std::string_view body = text::trim(text);
    if (!is_bracketed_document(body)) return json::DocumentKind::Invalid;
    return json::visit_document(body, on_element);
}

std::optional<std::size_t> parse_jsonl_payload(const std::vector<std::string_view>& lines,
                                               const RecordSink& on_record) {
    std::size_t count = 0;
    for (std::string_view raw : lines) {
        const std::string_view line = text::trim(raw);
        if (line.empty()) continue;
        if (!is_bracketed(line, '{', '}')) return std::nullopt;
        std::optional<json::Value> record = json::parse(line);
        if (!record || !record->is_object()) return std::nullopt;
        on_record(std::move(*record));
        ++count;
    }
    if (count == 0) return std::nullopt;
    return count;
}

}  // namespace filters::json_payload::detector
