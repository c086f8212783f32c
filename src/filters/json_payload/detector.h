// Recognising a JSON payload: one whole bracketed document, or JSON Lines
// (one object per non-blank line).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "json.h"

namespace filters::json_payload::detector {

// The text as one array or object, or nothing when, trimmed, it is not
// bracketed by "[...]" or "{...}" or does not parse as a whole.
std::optional<json::Value> parse_whole_json_payload(std::string_view text);

// Whether the text, trimmed, is bracketed by "[...]" or "{...}".
bool is_bracketed_document(std::string_view trimmed);

// `parse_whole_json_payload` without keeping the document: the elements of a
// top-level array go to `on_element` as they are parsed (see
// json::visit_document). Invalid for text that is no bracketed document.
json::DocumentKind visit_whole_json_payload(std::string_view text, const json::ElementSink& on_element);

// Receives each JSON Lines record, in input order, as it is parsed.
using RecordSink = std::function<void(json::Value&&)>;

// Parses every non-blank line (trimmed) as one JSON object and hands it to
// `on_record`. The number of records, or nothing when any non-blank line is
// not an object or no record was found. Records are streamed rather than
// collected so that a long stream is never held parsed in memory at once.
std::optional<std::size_t> parse_jsonl_payload(const std::vector<std::string_view>& lines,
                                               const RecordSink& on_record);

}  // namespace filters::json_payload::detector
