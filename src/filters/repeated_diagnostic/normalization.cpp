#include "filters/repeated_diagnostic/normalization.h"

#include <array>
#include <cstddef>

#include "filters/guards.h"
#include "text.h"

namespace filters::repeated_diagnostic::normalization {

namespace {

constexpr std::size_t kMinHashDigits = 12;
constexpr std::size_t kMinAddressBytes = 5;
constexpr std::size_t kMinStaticBytes = 10;
constexpr std::size_t kMinStaticLetters = 6;

constexpr std::string_view kTokenPrefixChars = "\"'([{";
constexpr std::string_view kTokenSuffixChars = "\"'),.:;]}";
constexpr std::string_view kQuotes = "\"'";

constexpr std::array<std::string_view, 34> kPathExtensions = {
    ".c",    ".cc",  ".cfg",  ".conf", ".cpp", ".csv", ".go",  ".gz",   ".h",   ".hpp", ".html", ".ini",
    ".java", ".js",  ".json", ".jsx",  ".log", ".md",  ".php", ".png",  ".py",  ".rb",  ".rs",   ".so",
    ".sql",  ".svg", ".toml", ".ts",   ".tsx", ".txt", ".xml", ".yaml", ".yml", ".zip",
};

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
std::string normalize_numbers(std::string_view s) {
    std::string out;
    out.reserve(s.size());
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
    return out;
}

// The pieces joined: a token is rebuilt once per line, so without the
// general template machinery.
std::string concat(std::initializer_list<std::string_view> pieces) {
    std::size_t size = 0;
    for (std::string_view piece : pieces) size += piece.size();
    std::string out;
    out.reserve(size);
    for (std::string_view piece : pieces) out.append(piece);
    return out;
}

void remove_all(std::string& s, std::string_view what) {
    std::string out;
    out.reserve(s.size());
    std::size_t from = 0;
    for (std::size_t at; (at = s.find(what, from)) != std::string::npos; from = at + what.size())
        out.append(s, from, at - from);
    out.append(s, from);
    s = std::move(out);
}

}  // namespace

bool looks_like_path(std::string_view s) {
    if (s.empty() || text::contains(s, "://")) return false;
    const std::string_view t = text::trim_chars(s, kQuotes);
    const std::string n = with_slashes(t);
    const std::string l = text::to_lower(n);
    if (l.starts_with('/')) return t.size() >= 3;
    if (l.starts_with("./") || l.starts_with("../") || l.starts_with("~/")) return t.size() >= 3;
    if (n.size() >= 3 && n[1] == ':' && n[2] == '/') return true;
    if (n.find('/') != std::string::npos) {
        std::size_t pieces = 0;
        std::size_t from = 0;
        while (from <= n.size()) {
            std::size_t slash = n.find('/', from);
            if (slash == std::string::npos) slash = n.size();
            if (slash > from) ++pieces;
            from = slash + 1;
        }
        return pieces >= 2;
    }
    for (std::string_view ext : kPathExtensions)
        if (l.ends_with(ext)) return true;
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

std::string normalize_hex_addresses(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '0' && i + 2 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
            text::is_ascii_hex_digit(s[i + 2])) {
            std::size_t end = i + 2;
            while (end < s.size() && text::is_ascii_hex_digit(s[end])) ++end;
            out.append("<addr>");
            i = end;
            continue;
        }
        out.push_back(s[i++]);
    }
    return out;
}

std::pair<std::string, std::vector<std::string>> normalize_token(std::string_view token) {
    const std::size_t prefix_end = std::min(token.find_first_not_of(kTokenPrefixChars), token.size());
    const std::string_view prefix = token.substr(0, prefix_end);
    std::string_view rest = token.substr(prefix_end);
    std::size_t core_end = rest.size();
    while (core_end > 0 && kTokenSuffixChars.find(rest[core_end - 1]) != std::string_view::npos) --core_end;
    const std::string_view core = rest.substr(0, core_end);
    const std::string_view suffix = rest.substr(core_end);
    if (core.empty()) return {std::string(token), {}};

    if (const auto kv = guards::split_key_value(core); kv && looks_like_path(kv->second))
        return {concat({prefix, kv->first, "=<path>", suffix}), {recorded_path(kv->second)}};
    if (looks_like_path(core)) return {concat({prefix, "<path>", suffix}), {recorded_path(core)}};
    if (core.size() >= kMinAddressBytes && (core.starts_with("0x") || core.starts_with("0X")) &&
        all_hex(core.substr(2)))
        return {concat({prefix, "<addr>", suffix}), {}};
    if (core.size() >= kMinHashDigits && all_hex(core)) return {concat({prefix, "<hash>", suffix}), {}};

    const std::string rewritten =
        normalize_numbers(normalize_embedded_hashes(normalize_hex_addresses(normalize_pid_prefixes(core))));
    return {concat({prefix, rewritten, suffix}), {}};
}

bool has_enough_static_text(std::string_view template_text) {
    std::string s(template_text);
    for (std::string_view placeholder : {"<path>", "<addr>", "<hash>", "<num>", "<pid>"}) remove_all(s, placeholder);
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
