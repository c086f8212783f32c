#include "filters/system_output/summary.h"

#include <array>
#include <cstdint>

#include "text.h"

namespace filters::system_output::summary {

namespace {

// Tested as substrings of a key lower-cased with "-" read as "_".
constexpr std::array<std::string_view, 12> kSensitiveWords = {"secret",     "token",       "password", "passwd",
                                                              "credential", "private",     "api_key",  "apikey",
                                                              "access_key", "session_key", "auth",     "bearer"};

constexpr std::string_view kRedacted = "[redacted]";
constexpr std::size_t kOpaqueMinBytes = 64;
constexpr std::uint64_t kOpaqueTokenPercent = 95;

bool is_token_char(char32_t c) {
    if (c >= 0x80) return false;
    const char a = static_cast<char>(c);
    return text::is_ascii_alnum(a) || a == '+' || a == '-' || a == '.' || a == '/' || a == ':' || a == '=' || a == '_';
}

// A name that may stand before "=" in a redactable pair. Dots are allowed
// so that property names such as -Ddb.password=... are hidden too.
bool is_pair_key(std::string_view key) {
    if (key.empty()) return false;
    for (char c : key)
        if (!(text::is_ascii_alnum(c) || c == '_' || c == '-' || c == '.')) return false;
    return true;
}

std::string_view strip_leading_dashes(std::string_view s) {
    while (!s.empty() && s.front() == '-') s.remove_prefix(1);
    return s;
}

// Whether the name=value pair is one whose value must be hidden.
bool is_secret_pair(std::string_view key, std::string_view value) {
    if (key.empty() || value.empty() || !is_pair_key(key)) return false;
    if (is_sensitive_key(key)) return true;
    return text::ends_with_ignore_case(key, "_url") && text::contains(value, "://");
}

// The first split of a token at one of its "=" whose name and value form a
// secret pair: the token's text up to that "=", and whether the value is an
// authorisation scheme whose credential is the next token.
struct PairMatch {
    std::string_view name_part;
    bool hides_next = false;
};

std::optional<PairMatch> find_secret_pair(std::string_view token) {
    for (std::size_t eq = token.find('='); eq != std::string_view::npos; eq = token.find('=', eq + 1)) {
        // The piece before this "=" starts after the previous "=".
        const std::size_t prev = eq == 0 ? std::string_view::npos : token.rfind('=', eq - 1);
        const std::size_t piece_start = prev == std::string_view::npos ? 0 : prev + 1;
        std::string_view key = token.substr(piece_start, eq - piece_start);
        if (const std::size_t comma = key.rfind(','); comma != std::string_view::npos) key.remove_prefix(comma + 1);
        key = strip_leading_dashes(key);
        const std::string_view value = token.substr(eq + 1);
        if (!is_secret_pair(key, value)) continue;
        return PairMatch{token.substr(0, eq),
                         text::equals_ignore_case(value, "basic") || text::equals_ignore_case(value, "bearer")};
    }
    return std::nullopt;
}

// How PATH separates its entries: ";" for a Windows-style list.
char path_separator(std::string_view value) {
    if (!text::contains(value, ";")) return ':';
    std::size_t semicolons = 0;
    std::size_t colons = 0;
    for (char c : value) {
        semicolons += c == ';';
        colons += c == ':';
    }
    if (semicolons > colons) return ';';
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(';', start);
        if (end == std::string_view::npos) end = value.size();
        const std::string_view piece = value.substr(start, end - start);
        if (piece.size() >= 3 && text::is_ascii_alpha(piece[0]) && piece[1] == ':' &&
            (piece[2] == '/' || piece[2] == '\\'))
            return ';';
        start = end + 1;
    }
    return ':';
}

std::string format_path(std::string_view value) {
    const char sep = path_separator(value);
    std::size_t entries = 0;
    std::string_view first;
    std::string_view last;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(sep, start);
        if (end == std::string_view::npos) end = value.size();
        if (end > start) {
            last = value.substr(start, end - start);
            if (entries++ == 0) first = last;
        }
        start = end + 1;
    }
    if (entries == 0) return "[]";
    if (entries == 1) return std::string(first);
    return text::format("[path entries={} first={} last={}]", entries, first, last);
}

}  // namespace

bool is_sensitive_key(std::string_view key) {
    std::string norm = text::to_lower(key);
    for (char& c : norm)
        if (c == '-') c = '_';
    if (norm == "key" || norm.ends_with("_key")) return true;
    for (std::string_view w : kSensitiveWords)
        if (text::contains(norm, w)) return true;
    return false;
}

bool is_opaque_value(std::string_view value) {
    if (value.size() < kOpaqueMinBytes) return false;
    const std::string_view t = text::trim(value);
    if (text::contains(t, "://")) return true;
    std::uint64_t chars = 0;
    std::uint64_t token_chars = 0;
    bool has_space = false;
    for (std::size_t i = 0; i < t.size();) {
        std::size_t len = 1;
        const char32_t c = text::decode_at(t, i, len);
        ++chars;
        token_chars += is_token_char(c);
        has_space = has_space || text::is_whitespace(c);
        i += len;
    }
    if (token_chars * 100 < chars * kOpaqueTokenPercent) return false;
    return !has_space;
}

std::string redact_sensitive_text(std::string_view line) {
    const std::vector<std::string_view> tokens = text::split_whitespace(line);
    if (tokens.empty()) return std::string(line);
    std::string out;
    out.reserve(line.size() + kRedacted.size());
    bool pending = false;
    bool changed = false;
    for (std::string_view token : tokens) {
        if (!out.empty()) out.push_back(' ');
        if (pending) {
            out.append(kRedacted);
            changed = true;
            pending = false;
            continue;
        }
        if (text::contains(token, "=")) {
            if (const auto match = find_secret_pair(token)) {
                out.append(match->name_part).append("=").append(kRedacted);
                changed = true;
                pending = match->hides_next;
                continue;
            }
        }
        out.append(token);
        if (text::equals_ignore_case(token, "bearer")) {
            pending = true;
        } else if (token.starts_with("--")) {
            const std::size_t eq = token.find('=');
            if (eq == std::string_view::npos) {
                pending = is_sensitive_key(strip_leading_dashes(token));
            } else if (is_sensitive_key(strip_leading_dashes(token.substr(0, eq)))) {
                out.resize(out.size() - token.size() + eq);
                out.append("=").append(kRedacted);
                changed = true;
            }
        }
    }
    return changed ? out : std::string(line);
}

std::string format_env_var(std::string_view key, std::string_view value) {
    if (key == "PATH") return text::format("{}={}", key, format_path(value));
    if (is_sensitive_key(key) || is_opaque_value(value)) return text::format("{}=[redacted]", key);
    return text::format("{}={}", key, value);
}

std::vector<std::size_t> edge_indices(std::size_t n) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < n && i < 2; ++i) out.push_back(i);
    for (std::size_t i = n > 4 ? n - 2 : 2; i < n; ++i) out.push_back(i);
    return out;
}

void render_selected_rows(SummaryWriter& out, const std::vector<std::string_view>& rows,
                          const std::vector<std::size_t>& selection, std::string_view command, std::string_view noun,
                          RowTransform transform) {
    const std::size_t n = rows.size();
    // Marks instead of a sort keep the rendering linear however many rows
    // are selected.
    std::vector<char> keep(n, 0);
    for (std::size_t i : selection)
        if (i < n) keep[i] = 1;
    const std::string marker_noun = text::format("{} {}", command, noun);
    std::size_t next = 0;  // the first row not yet printed or counted
    for (std::size_t i = 0; i < n; ++i) {
        if (!keep[i]) continue;
        if (i > next) out.add_omission(i - next, marker_noun);
        if (transform == RowTransform::redact)
            out.add(redact_sensitive_text(rows[i]));
        else
            out.add(rows[i]);
        next = i + 1;
    }
    if (n > next) out.add_omission(n - next, marker_noun);
}

}  // namespace filters::system_output::summary
