// Telling opaque payloads (base64 and hexadecimal runs, PEM blocks, data:
// URLs, minified scripts, source maps) from readable text, and finding
// them inside a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json.h"
#include "text.h"

namespace filters::opaque_payload::detector {

// Strings at least this long may count as opaque in a JSON body.
inline constexpr std::size_t kMinOpaqueStringBytes = 8192;

// The body of an HTTP response cut from its head (views into the text).
using HttpBody = text::HttpResponseSplit;

// What the whole-body summary says of a JSON object.
struct JsonPayloadSummary {
    std::string kind;               // "json-source-map" or "json-opaque"
    std::vector<std::string> keys;  // top-level member keys in order
    std::size_t bytes = 0;          // length of the whole body
};

// A run of lines to be replaced by one marker line.
struct LinePayloadSpan {
    std::optional<std::string> label;  // the PEM label, for PEM spans only
    std::size_t start = 0;             // first line
    std::size_t end = 0;               // one past the last line
    std::size_t bytes = 0;             // the run's lines joined with "\n"
    std::size_t lines = 0;
    bool pem = false;
};

// One data: URL to be replaced.
struct DataUrlSpan {
    std::string mime;                           // ASCII-lowercased media type
    std::string encoding;                       // "base64" or "urlencoded"
    std::pair<std::size_t, std::size_t> range;  // from the "d" of "data:" to the URL's end
    std::size_t bytes = 0;
};

bool is_hex_only(std::string_view s);
double base64_ratio(std::string_view s);
double whitespace_ratio(std::string_view s);
bool has_structural_payload_chars(std::string_view s);
bool looks_like_path_or_diff_line(std::string_view s);
bool valid_base64_shape(std::string_view s);
bool is_base64_token(std::string_view s);
// Bytes of the opaque strings in `value`, which stands under `key`.
std::uint64_t opaque_string_bytes(const json::Value& value, std::string_view key);
// Whether an object's keys are those of a source map.
bool is_source_map_signature(const json::Value& object);

// The PEM blocks, base64 runs and single base64 lines of a text, in line
// order, and whether "data:" occurs outside them.
struct LineScan {
    std::vector<LinePayloadSpan> spans;
    bool data_scheme_seen = false;
};
// `lines` is the text's line index.
LineScan scan_line_payloads(const text::LineIndex& lines);
// False when the text surely holds no PEM block, base64 run or token and no
// data: URL that would be replaced, on tests much cheaper than finding them.
bool may_hold_line_payload(std::string_view s);

// The long data: URLs of a text, in order.
std::vector<DataUrlSpan> find_data_url_spans(std::string_view s);

}  // namespace filters::opaque_payload::detector
