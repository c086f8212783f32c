// The token rules of diagnostic templates: paths, addresses, hashes,
// process ids and numbers become placeholders.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text.h"

namespace filters::repeated_diagnostic::normalization {

// A run of this many hex digits makes a hash.
inline constexpr std::size_t kMinHashDigits = 12;

// The token with its variable core replaced by a placeholder, and the paths
// that it replaced (quotes trimmed, backslashes read as "/").
std::pair<std::string, std::vector<std::string>> normalize_token(std::string_view token);
// The same, appended to `out` and, when given, `paths`.
void append_normalized_token(std::string_view token, std::string& out, std::vector<std::string>* paths);
// The path that the token's template replaces, as the list records it: a
// view of the token, or of `storage` when backslashes were turned into "/".
std::optional<std::string_view> token_path(std::string_view token, std::string& storage);

// ASCII hex digits only; `all_hex` is true for the empty text.
inline bool all_hex(std::string_view s) {
    for (char c : s)
        if (!text::is_ascii_hex_digit(c)) return false;
    return true;
}

// A file path: absolute, relative, home or drive paths, two or more
// "/"-separated pieces, or a name with a known file extension; never a URL.
bool looks_like_path(std::string_view s);

// Every "==" digits "==" becomes "==<pid>==".
std::string normalize_pid_prefixes(std::string_view s);
// Every "0x" followed by hex digits becomes "<addr>".
std::string normalize_hex_addresses(std::string_view s);
// The same, except that a value of zeros only ("0x0", "0x00000000") stays
// as written: in a crash report a null pointer is the finding, not an
// address that differs from run to run.
std::string normalize_nonzero_hex_addresses(std::string_view s);

// At least 10 bytes and 6 ASCII letters are left once placeholders and
// whitespace are removed.
bool has_enough_static_text(std::string_view template_text);

}  // namespace filters::repeated_diagnostic::normalization
