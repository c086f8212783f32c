// Shape tests that several log families run with the same rule before they
// fold a text: tables and listings of path locations are other filters'
// work, and so is the output of builds and package managers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "text.h"

namespace filters::guards {

// A line that, split at every ":", has at least 3 fields, a second or third
// field of ASCII digits only (non-empty), and a first field holding "/" or
// "." ("src/app.py:12: error", "main.c:3:1").
bool is_path_location_line(std::string_view line);
// At least 2 path locations and at least 45 % of the lines.
bool is_path_location_share(std::uint64_t locations, std::uint64_t lines);
bool looks_like_path_location_output(const std::vector<std::string_view>& lines);

// A line, trimmed, made only of "+", "|" and "-" (a table border).
bool is_table_rule_line(std::string_view trimmed);
// At least 3 lines with "|", and a border line or at least 55 % of lines.
bool is_table_share(std::uint64_t pipe_lines, bool has_rule_line, std::uint64_t lines);
bool looks_like_table(const std::vector<std::string_view>& lines);

// Phrases of build tools and package managers, written in lower case; a
// trailing blank is part of the phrase.
inline constexpr std::array<std::string_view, 17> kBuildOrPackageMarkers = {"compiling ",
                                                                            "checking ",
                                                                            "finished ",
                                                                            "could not compile",
                                                                            "error[",
                                                                            "warning[",
                                                                            "downloading ",
                                                                            "downloaded ",
                                                                            "installing collected packages",
                                                                            "successfully installed",
                                                                            "added ",
                                                                            "packages audited",
                                                                            "resolved ",
                                                                            "prepared ",
                                                                            "installed ",
                                                                            "npm warn",
                                                                            "npm err"};

// The characters of a key in "key=value" tokens, as the log families read
// them: ASCII letters, digits, "_", "-" and ".".
inline bool is_key_char(char c) { return text::is_ascii_alnum(c) || c == '_' || c == '-' || c == '.'; }
// "key=value" split at the first "=": a key of 1 to 40 key characters that
// begins with an ASCII letter or "_", and a non-empty value (further "="
// included).
std::optional<std::pair<std::string_view, std::string_view>> split_key_value(std::string_view core);

}  // namespace filters::guards
