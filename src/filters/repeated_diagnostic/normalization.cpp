#include "filters/repeated_diagnostic/normalization.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <optional>

#include "filters/guards.h"
#include "text.h"

namespace filters::repeated_diagnostic::normalization {

namespace {

constexpr std::size_t kMinAddressBytes = 5;
constexpr std::size_t kMinStaticBytes = 10;
constexpr std::size_t kMinStaticLetters = 6;

// The bytes that may open a token before its core ("'([{ and a double
// quote) and those that may close it after its core.
bool is_token_prefix_char(char c) { return c == '"' || c == '\'' || c == '(' || c == '[' || c == '{'; }
bool is_token_suffix_char(char c) {
    return c == '"' || c == '\'' || c == ')' || c == ',' || c == '.' || c == ':' || c == ';' || c == ']' || c == '}';
}
constexpr std::string_view kQuotes = "\"'";

constexpr std::array<std::string_view, 34> kPathExtensions = {
    ".c",    ".cc",  ".cfg",  ".conf", ".cpp", ".csv", ".go",  ".gz",   ".h",   ".hpp", ".html", ".ini",
    ".java", ".js",  ".json", ".jsx",  ".log", ".md",  ".php", ".png",  ".py",  ".rb",  ".rs",   ".so",
    ".sql",  ".svg", ".toml", ".ts",   ".tsx", ".txt", ".xml", ".yaml", ".yml", ".zip",
};

bool is_quote(char c) { return c == '"' || c == '\''; }

std::string with_slashes(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

// The path as the affected-path list records it.
std::string recorded_path(std::string_view s) { return with_slashes(text::trim_chars(s, kQuotes)); }

// Runs of 12 or more hex digits not touching a letter or digit become
// "<hash>".
std::string normalize_embedded_hashes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (!text::is_ascii_hex_digit(s[i])) {
            out.push_back(s[i++]);
            continue;
        }
        std::size_t end = i;
        while (end < s.size() && text::is_ascii_hex_digit(s[end])) ++end;
        const bool free_before = i == 0 || !text::is_ascii_alnum(s[i - 1]);
        const bool free_after = end == s.size() || !text::is_ascii_alnum(s[end]);
        if (end - i >= kMinHashDigits && free_before && free_after)
            out.append("<hash>");
        else
            out.append(s.substr(i, end - i));
        i = end;
    }
    return out;
}

// Numbers (an optional sign, digits, an optional fraction) become "<num>",
// except where a letter comes just before: there only the first character
// is kept and the scan moves on by one.
void append_normalized_numbers(std::string_view s, std::string& out) {
    std::size_t i = 0;
    while (i < s.size()) {
        const bool sign = (s[i] == '+' || s[i] == '-') && i + 1 < s.size() && text::is_ascii_digit(s[i + 1]);
        if (!sign && !text::is_ascii_digit(s[i])) {
            out.push_back(s[i++]);
            continue;
        }
        if (i > 0 && text::is_ascii_alpha(s[i - 1])) {
            out.push_back(s[i++]);
            continue;
        }
        std::size_t end = i + (sign ? 1 : 0);
        end += text::digit_run(s, end);
        if (end + 1 < s.size() && s[end] == '.' && text::is_ascii_digit(s[end + 1]))
            end += 1 + text::digit_run(s, end + 1);
        out.append("<num>");
        i = end;
    }
}

// Removes every `what` from `s` in one left-to-right pass, in place.
void remove_all(std::string& s, std::string_view what) {
    std::size_t at = s.find(what);
    if (at == std::string::npos) return;
    std::size_t kept = at;
    std::size_t from = at + what.size();
    for (;;) {
        at = s.find(what, from);
        const std::size_t end = at == std::string::npos ? s.size() : at;
        std::memmove(s.data() + kept, s.data() + from, end - from);
        kept += end - from;
        if (at == std::string::npos) break;
        from = at + what.size();
    }
    s.resize(kept);
}

// Whether "0x" or "0X" occurs in `s`.
bool has_hex_prefix(std::string_view s) {
    for (std::size_t at = s.find('0'); at != std::string_view::npos; at = s.find('0', at + 1))
        if (at + 1 < s.size() && (s[at + 1] == 'x' || s[at + 1] == 'X')) return true;
    return false;
}

// Whether `s` holds a run of kMinHashDigits hex digits.
bool has_hex_run(std::string_view s) {
    std::size_t run = 0;
    for (char c : s) {
        run = text::is_ascii_hex_digit(c) ? run + 1 : 0;
        if (run >= kMinHashDigits) return true;
    }
    return false;
}

// Whether a token core holds a digit or a run of kMinHashDigits hex digits.
bool needs_rewrite(std::string_view core) {
    std::size_t hex_run = 0;
    for (char c : core) {
        if (text::is_ascii_digit(c)) return true;
        hex_run = text::is_ascii_hex_digit(c) ? hex_run + 1 : 0;
        if (hex_run >= kMinHashDigits) return true;
    }
    return false;
}

constexpr std::array<std::string_view, 5> kPlaceholders = {"<path>", "<addr>", "<hash>", "<num>", "<pid>"};

// The length of the placeholder that starts at `at`, or 0 where none does.
std::size_t placeholder_length_at(std::string_view s, std::size_t at) {
    for (std::string_view placeholder : kPlaceholders)
        if (s.substr(at).starts_with(placeholder)) return placeholder.size();
    return 0;
}

// `s` without its placeholders, removed one kind after the other, so that
// one that only forms once another is gone goes too when its kind comes
// later. Where every "<" starts a placeholder none can form, and one pass
// drops them all.
std::string without_placeholders(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t open = s.find('<', i);
        out.append(s.substr(i, open == std::string_view::npos ? std::string_view::npos : open - i));
        if (open == std::string_view::npos) return out;
        const std::size_t length = placeholder_length_at(s, open);
        if (length == 0) {
            out.assign(s);
            for (std::string_view placeholder : kPlaceholders) remove_all(out, placeholder);
            return out;
        }
        i = open + length;
    }
    return out;
}

// has_enough_static_text for an ASCII template whose every "<" starts a
// placeholder, or nothing for any other.
std::optional<bool> ascii_static_text_check(std::string_view s) {
    std::size_t bytes = 0;
    std::size_t letters = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
        if (c == '<') {
            const std::size_t length = placeholder_length_at(s, i);
            if (length == 0) return std::nullopt;
            i += length;
            continue;
        }
        if (!text::is_ascii_whitespace(c)) {
            ++bytes;
            if (text::is_ascii_alpha(c)) ++letters;
        }
        ++i;
    }
    return bytes >= kMinStaticBytes && letters >= kMinStaticLetters;
}

// Every "0x" and its hex digits becomes "<addr>"; with `keep_zero_values`,
// a value of zeros only is copied as written.
std::string replace_hex_values(std::string_view s, bool keep_zero_values) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '0' && i + 2 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
            text::is_ascii_hex_digit(s[i + 2])) {
            std::size_t end = i + 2;
            bool zero = true;
            for (; end < s.size() && text::is_ascii_hex_digit(s[end]); ++end) zero = zero && s[end] == '0';
            if (zero && keep_zero_values)
                out.append(s.substr(i, end - i));
            else
                out.append("<addr>");
            i = end;
            continue;
        }
        out.push_back(s[i++]);
    }
    return out;
}

}  // namespace

bool looks_like_path(std::string_view s) {
    // Every path form holds a slash, a backslash or a dot.
    if (std::none_of(s.begin(), s.end(), [](char c) { return c == '/' || c == '\\' || c == '.'; })) return false;
    // A backslash reads as "/" throughout, and case matters only for the
    // extensions, which are compared ignoring it. One pass finds a URL, the
    // pieces between slashes and a dot.
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && is_quote(s[begin])) ++begin;
    while (end > begin && is_quote(s[end - 1])) --end;
    bool url = false;
    bool has_slash = false;
    bool has_dot = false;
    std::size_t pieces = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ':' && i + 2 < s.size() && s[i + 1] == '/' && s[i + 2] == '/') url = true;
        if (i < begin || i >= end) continue;
        const bool slash = c == '/' || c == '\\';
        if (!slash && (i == begin || s[i - 1] == '/' || s[i - 1] == '\\')) ++pieces;
        has_slash = has_slash || slash;
        has_dot = has_dot || c == '.';
    }
    if (s.empty() || url) return false;
    const std::string_view t = s.substr(begin, end - begin);
    auto slash_at = [&](std::size_t i) { return i < t.size() && (t[i] == '/' || t[i] == '\\'); };
    if (slash_at(0)) return t.size() >= 3;
    if (!t.empty() && (t[0] == '.' || t[0] == '~') &&
        (slash_at(1) || (t[0] == '.' && t.size() > 1 && t[1] == '.' && slash_at(2))))
        return t.size() >= 3;
    if (t.size() >= 3 && t[1] == ':' && slash_at(2)) return true;
    if (has_slash) return pieces >= 2;
    if (!has_dot) return false;
    for (std::string_view ext : kPathExtensions)
        if (text::ends_with_ignore_case(t, ext)) return true;
    return false;
}

std::string normalize_pid_prefixes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (s.substr(i).starts_with("==")) {
            const std::size_t digits = text::digit_run(s, i + 2);
            if (digits > 0 && s.substr(i + 2 + digits).starts_with("==")) {
                out.append("==<pid>==");
                i += 4 + digits;
                continue;
            }
        }
        out.push_back(s[i++]);
    }
    return out;
}

std::string normalize_hex_addresses(std::string_view s) { return replace_hex_values(s, false); }

std::string normalize_nonzero_hex_addresses(std::string_view s) { return replace_hex_values(s, true); }

namespace {

// A token cut into the bytes that may open it, its core and the bytes that
// may close it.
struct TokenParts {
    std::string_view prefix, core, suffix;
};

TokenParts split_token(std::string_view token) {
    std::size_t prefix_end = 0;
    while (prefix_end < token.size() && is_token_prefix_char(token[prefix_end])) ++prefix_end;
    const std::string_view rest = token.substr(prefix_end);
    std::size_t core_end = rest.size();
    while (core_end > 0 && is_token_suffix_char(rest[core_end - 1])) --core_end;
    return {token.substr(0, prefix_end), rest.substr(0, core_end), rest.substr(core_end)};
}

// The piece of a core that is a path, as written: the value of a key whose
// value is a path, or the whole core; nothing for a core that is no path.
// With `key`, the key of a key-value core goes there.
std::optional<std::string_view> path_in_core(std::string_view core, std::string_view* key = nullptr) {
    if (core.empty()) return std::nullopt;
    if (const auto kv = guards::split_key_value(core); kv && looks_like_path(kv->second)) {
        if (key) *key = kv->first;
        return kv->second;
    }
    if (looks_like_path(core)) return core;
    return std::nullopt;
}

}  // namespace

std::optional<std::string_view> token_path(std::string_view token, std::string& storage) {
    const std::optional<std::string_view> path = path_in_core(split_token(token).core);
    if (!path) return std::nullopt;
    const std::string_view trimmed = text::trim_chars(*path, kQuotes);
    if (trimmed.find('\\') == std::string_view::npos) return trimmed;
    storage = with_slashes(trimmed);
    return storage;
}

void append_normalized_token(std::string_view token, std::string& out, std::vector<std::string>* paths) {
    const auto [prefix, core, suffix] = split_token(token);
    auto append = [&](std::initializer_list<std::string_view> middle) {
        out.append(prefix);
        for (std::string_view piece : middle) out.append(piece);
        out.append(suffix);
    };
    if (core.empty()) {
        out.append(token);
        return;
    }
    std::string_view key;
    if (const std::optional<std::string_view> path = path_in_core(core, &key)) {
        if (key.empty())
            append({"<path>"});
        else
            append({key, "=<path>"});
        if (paths) paths->push_back(recorded_path(*path));
        return;
    }
    if (core.size() >= kMinAddressBytes && (core.starts_with("0x") || core.starts_with("0X")) &&
        all_hex(core.substr(2))) {
        append({"<addr>"});
        return;
    }
    if (core.size() >= kMinHashDigits && all_hex(core)) {
        append({"<hash>"});
        return;
    }
    // Every rewrite below needs a digit, but for a hash, which needs a run of
    // kMinHashDigits hex digits: a word without either stays as it is.
    if (!needs_rewrite(core)) {
        out.append(token);
        return;
    }
    // Each rewrite that cannot apply is skipped.
    std::string step;
    std::string_view current = core;
    if (current.find("==") != std::string_view::npos) current = step = normalize_pid_prefixes(current);
    if (has_hex_prefix(current)) current = step = normalize_hex_addresses(current);
    if (has_hex_run(current)) current = step = normalize_embedded_hashes(current);
    out.append(prefix);
    append_normalized_numbers(current, out);
    out.append(suffix);
}

std::pair<std::string, std::vector<std::string>> normalize_token(std::string_view token) {
    std::pair<std::string, std::vector<std::string>> result;
    append_normalized_token(token, result.first, &result.second);
    return result;
}

bool has_enough_static_text(std::string_view template_text) {
    // An ASCII template whose every "<" starts a placeholder is counted in
    // place, skipping them: whitespace is then one byte that alone decides.
    if (std::optional<bool> enough = ascii_static_text_check(template_text)) return *enough;
    std::string removed;
    std::string_view s = template_text;
    if (template_text.find('<') != std::string_view::npos) {
        removed = without_placeholders(template_text);
        s = removed;
    }
    std::size_t bytes = 0;
    std::size_t letters = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        if (const std::size_t ws = text::whitespace_length_at(s, i)) {
            i += ws;
            continue;
        }
        ++bytes;
        if (text::is_ascii_alpha(s[i])) ++letters;
        ++i;
    }
    return bytes >= kMinStaticBytes && letters >= kMinStaticLetters;
}

}  // namespace filters::repeated_diagnostic::normalization
