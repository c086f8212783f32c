// Recognising a JSON payload: one whole bracketed document, or JSON Lines
// (one object per non-blank line).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "json.h"
#include "text.h"

namespace filters::json_payload::detector {

// Whether the text, trimmed, is bracketed by "[...]" or "{...}".
bool is_bracketed_document(std::string_view trimmed);

// Reads the text as one whole bracketed document without keeping it: the
// elements of a top-level array go to `on_element` (when given) as they are
// parsed. Invalid for text that, trimmed, is no bracketed document or does
// not parse as a whole.
json::DocumentScan parse_whole_json_payload(std::string_view text, json::Reader& reader,
                                            const json::ElementSink* on_element);

// Receives each JSON Lines record, in input order, with its trimmed line.
using RecordSink = json::FnRef<void(const json::Node&, std::string_view)>;

// Reads every non-blank line (trimmed) as one JSON object and hands it to
// `on_record`. The number of records, or nothing when any non-blank line is
// not an object or no record was found. Records are streamed rather than
// collected, so that a long stream is never held parsed in memory at once.
std::optional<std::size_t> parse_jsonl_payload(const text::LineIndex& lines, json::Reader& reader,
                                               RecordSink on_record);

}  // namespace filters::json_payload::detector
