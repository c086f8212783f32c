// Turns one structured log line into its template: variable values
// (timestamps, addresses, numbers, identifiers, key values) become the
// placeholders "<ts>", "<ip>", "<num>", "<id>" and "<value>".
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

#include "filters/log_template/types.h"

// "template" is a keyword, so the module is called templates.
namespace filters::log_template::templates {

// An event line has at least this many tokens and one of these words, and
// no more than this many bytes in its tokens and the blanks between them.
inline constexpr std::size_t kMinEventTokens = 4;
inline constexpr std::size_t kMaxEventLineBytes = 160;
inline constexpr std::array<std::string_view, 15> kEventWords = {"completed", "handled", "message",   "batch", "chunk",
                                                                 "event",     "item",    "iteration", "job",   "poll",
                                                                 "processed", "record",  "request",   "shard", "task"};

struct WrappedToken {
    std::string_view prefix;  // leading "(", "[", "{"
    std::string_view core;
    std::string_view suffix;  // trailing ")", ",", ".", ";", "]", "}"
};

std::optional<types::LineTemplate> template_for_line(std::string_view line);

// Whether a token, without its wrapping punctuation, is an event word.
bool is_event_word(std::string_view token);

WrappedToken split_wrapping_punctuation(std::string_view token);
std::optional<std::pair<std::string_view, std::string_view>> parse_key_value_core(std::string_view text);
std::optional<std::pair<std::string_view, std::string_view>> parse_key_value_token(std::string_view token);
bool looks_like_timestamp(std::string_view text);
bool looks_like_ipv4(std::string_view text);
bool is_safe_printable_value(std::string_view text);
bool is_safe_id_value(std::string_view text);
bool looks_like_id_value(std::string_view text);
bool is_secret_key(std::string_view key);
// (number, unit): "12ms", "3.5GB", "100%", "-4".
std::optional<std::pair<std::string_view, std::string_view>> split_number_with_unit(std::string_view text);
// The level word's canonical form (WARNING reads as WARN), or nothing.
std::optional<std::string_view> normalize_level(std::string_view word);

}  // namespace filters::log_template::templates
