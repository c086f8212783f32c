// Tells source code, configuration and documentation lines from
// diagnostics: many lines carry an error word without reporting an error.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace filters::repeated_diagnostic::source_guard {

// Line starts of source code, written in lower case; each ends in a blank.
inline constexpr std::array<std::string_view, 21> kKeywordStarts = {
    "def ", "class ", "function ",  "fn ",          "pub fn ",         "pub async fn ", "if ",
    "for ", "while ", "return ",    "raise ",       "throw ",          "assert ",       "const ",
    "let ", "var ",   "async def ", "async class ", "async function ", "async fn ",     "async pub fn ",
};

// True when the line is source code, a configuration entry, a log call, a
// comment or a list item rather than a diagnostic.
bool looks_like_source_or_code_statement(std::string_view line);

// The line tests, each on a trimmed line.
bool looks_like_hash_source_comment(std::string_view t);
bool looks_like_sql_source_comment(std::string_view t);
bool looks_like_markdown_list_row(std::string_view t);
bool looks_like_issue_list_row(std::string_view t);
bool looks_like_braced_source_object_literal(std::string_view t);
bool looks_like_wrapped_source_object_literal(std::string_view t);
bool looks_like_keyed_source_literal(std::string_view t);
bool looks_like_standalone_source_literal(std::string_view t);
bool looks_like_function_call_statement(std::string_view t);

// The two halves of a keyed entry ("name: value", "name = value").
bool is_source_literal_key(std::string_view s);
bool is_source_literal_value(std::string_view s);

// The entries of a comma-separated list, commas inside quotes and brackets
// not counted; each entry trimmed.
std::vector<std::string_view> split_top_level_commas(std::string_view s);
// Byte index of the first `sep` outside quotes and brackets.
std::optional<std::size_t> find_top_level_separator(std::string_view s, char sep);

}  // namespace filters::repeated_diagnostic::source_guard
