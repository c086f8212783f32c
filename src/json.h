// The project's one door to the JSON library: parse into an ordered value,
// look members up, iterate, and write compact text.
#pragma once

#include <cstddef>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace json {

// Objects keep their members in order of first appearance; a repeated key
// keeps its first position and takes its last value.
using Value = nlohmann::ordered_json;

// Documents nested deeper than this do not parse: writing them back would
// recurse too deep.
inline constexpr std::size_t kMaxDepth = 2000;

// One JSON value filling the whole text (surrounding whitespace allowed), or
// nothing. Never throws; linear in the text, however wide an object is.
std::optional<Value> parse(std::string_view text);

// What `visit_document` found at the top of a text.
enum class DocumentKind { Invalid, Array, Object, Other };

// Receives one element of a top-level array; returns whether it wants the
// elements that follow.
using ElementSink = std::function<bool(Value&&)>;

// Checks that `text` is one JSON value by the rules of `parse` (depth limit
// included) without keeping it: each element of a top-level array is built
// and handed to `on_element` in order, and nothing else is built (neither
// a top-level object or scalar, nor the elements after the sink declined
// one). An empty sink gets nothing: the whole text is only checked.
// Invalid when the text does not parse, also after some elements were
// handed over.
DocumentKind visit_document(std::string_view text, const ElementSink& on_element);

// The member named `key` of an object, or nullptr (also for non-objects).
const Value* find_member(const Value& object, std::string_view key);

// Compact form: no insignificant whitespace, non-ASCII kept as is, invalid
// UTF-8 replaced by U+FFFD.
std::string write_compact(const Value& value);
// The compact form appended to `out`.
void append_compact(std::string& out, const Value& value);

// A string as a JSON string literal, quotes included.
std::string quote_string(std::string_view s);

}  // namespace json
