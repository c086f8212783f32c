#include "filters/log_template/template.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "filters/guards.h"
#include "text.h"

namespace filters::log_template::templates {

namespace {

constexpr std::size_t kMaxValueBytes = 48;
constexpr std::size_t kMaxUnitChars = 8;
constexpr std::size_t kMaxValues = 5;
constexpr std::size_t kMinFixedBytes = 12;
constexpr std::size_t kMinFixedLetters = 6;
constexpr std::size_t kMinIdBytesWithSeparator = 6;
constexpr std::size_t kMinHexIdBytes = 12;

constexpr std::string_view kLevelPunctuation = "-:=[]";

constexpr std::array<std::string_view, 9> kIdKeyWords = {"id",   "uuid",    "hash", "sha", "trace",
                                                         "span", "request", "job",  "task"};

constexpr text::WordSet<10> kSecretKeyWords =
    text::WordSet<10>::of({"password", "passwd", "secret", "token", "api_key", "apikey", "authorization", "credential",
                           "private_key", "access_key"},
                          true);

bool has_log_prefix(const std::vector<std::string_view>& tokens) {
    const std::string_view first = text::trim_chars(tokens[0], "[]");
    if (looks_like_timestamp(first))
        return tokens.size() == 1 || normalize_level(text::trim_chars(tokens[1], kLevelPunctuation)).has_value();
    if (normalize_level(text::trim_chars(tokens[0], kLevelPunctuation)))
        return tokens[0].starts_with('[') || tokens[0].ends_with('-') || tokens[0].ends_with(':');
    const auto kv = parse_key_value_core(tokens[0]);
    return kv && text::equals_ignore_case(kv->first, "level") && normalize_level(kv->second).has_value();
}

bool is_event_line(const std::vector<std::string_view>& tokens) {
    if (tokens.size() < kMinEventTokens) return false;
    std::size_t joined = tokens.size() - 1;
    for (std::string_view t : tokens) joined += t.size();
    if (joined > kMaxEventLineBytes || tokens.back().ends_with('.')) return false;
    for (std::string_view t : tokens)
        if (is_event_word(t)) return true;
    return false;
}

bool is_id_key(std::string_view key) {
    for (std::string_view word : kIdKeyWords)
        if (text::contains_ignore_case(key, word)) return true;
    return false;
}

void remove_all(std::string& s, std::string_view needle) {
    std::string out;
    out.reserve(s.size());
    std::size_t from = 0;
    for (std::size_t at = s.find(needle); at != std::string::npos; at = s.find(needle, from)) {
        out.append(s, from, at - from);
        from = at + needle.size();
    }
    out.append(s, from, std::string::npos);
    s = std::move(out);
}

// Enough fixed text around the placeholders to tell one kind of line from
// another: at least 12 bytes, 6 of them letters.
bool has_enough_fixed_text(std::string_view template_text) {
    std::string rest(template_text);
    for (std::string_view placeholder : {"<num>", "<id>", "<ip>", "<ts>", "<value>"}) remove_all(rest, placeholder);
    std::size_t bytes = 0, letters = 0;
    for (std::size_t i = 0; i < rest.size();) {
        if (const std::size_t w = text::whitespace_length_at(rest, i)) {
            i += w;
            continue;
        }
        // A whole character at a time: a continuation byte read alone
        // would decode as U+0085 or U+00A0 and pass for white space.
        const std::size_t len = std::min(text::utf8_len(static_cast<unsigned char>(rest[i])), rest.size() - i);
        bytes += len;
        if (text::is_ascii_alpha(rest[i])) ++letters;
        i += len;
    }
    return bytes >= kMinFixedBytes && letters >= kMinFixedLetters;
}

}  // namespace

bool is_event_word(std::string_view token) {
    constexpr std::string_view kWrapping = "(),.:;[]{}";
    // Most long tokens (paths, identifiers) have no wrapping punctuation to
    // shed and are told by their length.
    if (token.size() < 3 || (token.size() > 9 && kWrapping.find(token.front()) == std::string_view::npos &&
                             kWrapping.find(token.back()) == std::string_view::npos))
        return false;
    const std::string_view core = text::trim_chars(token, kWrapping);
    if (core.size() < 3 || core.size() > 9) return false;
    for (std::string_view word : kEventWords)
        if (word.size() == core.size() && text::equals_ignore_case(core, word)) return true;
    return false;
}

WrappedToken split_wrapping_punctuation(std::string_view token) {
    std::size_t start = 0;
    while (start < token.size() && std::string_view("([{").find(token[start]) != std::string_view::npos) ++start;
    std::size_t end = token.size();
    while (end > start && std::string_view("),.;]}").find(token[end - 1]) != std::string_view::npos) --end;
    return {token.substr(0, start), token.substr(start, end - start), token.substr(end)};
}

std::optional<std::pair<std::string_view, std::string_view>> parse_key_value_core(std::string_view text) {
    return guards::split_key_value(text);
}

std::optional<std::pair<std::string_view, std::string_view>> parse_key_value_token(std::string_view token) {
    return parse_key_value_core(split_wrapping_punctuation(token).core);
}

bool looks_like_timestamp(std::string_view s) {
    if (s.size() < 19) return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18})
        if (!text::is_ascii_digit(s[i])) return false;
    if (s[4] != '-' || s[7] != '-' || (s[10] != 'T' && s[10] != ' ') || s[13] != ':' || s[16] != ':') return false;
    for (char c : s.substr(19))
        if (!text::is_ascii_digit(c) && std::string_view("+,-.:Zz").find(c) == std::string_view::npos) return false;
    return true;
}

bool looks_like_ipv4(std::string_view s) {
    std::size_t parts = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = s.find('.', start);
        const std::string_view part =
            s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (!text::is_ascii_digits(part)) return false;
        const std::string_view significant = part.substr(std::min(part.find_first_not_of('0'), part.size()));
        if (significant.size() > 3 || (significant.size() == 3 && significant > "255")) return false;
        ++parts;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return parts == 4;
}

std::optional<std::pair<std::string_view, std::string_view>> split_number_with_unit(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t digits = text::digit_run(s, i);
    if (digits == 0) return std::nullopt;
    i += digits;
    if (i + 1 < s.size() && s[i] == '.' && text::is_ascii_digit(s[i + 1])) i += 1 + text::digit_run(s, i + 1);
    const std::string_view unit = s.substr(i);
    std::size_t chars = 0;
    for (std::size_t k = 0; k < unit.size(); ++chars) {
        if (text::is_ascii_alpha(unit[k]) || unit[k] == '%') {
            ++k;
        } else if (unit.substr(k).starts_with("\xC2\xB5")) {  // µ
            k += 2;
        } else {
            return std::nullopt;
        }
    }
    if (chars > kMaxUnitChars) return std::nullopt;
    return std::pair{s.substr(0, i), unit};
}

bool is_safe_printable_value(std::string_view s) {
    if (s.empty() || s.size() > kMaxValueBytes) return false;
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 33 || b > 126 || std::string_view("/<>[\\]{}").find(c) != std::string_view::npos) return false;
    }
    return true;
}

bool is_safe_id_value(std::string_view s) {
    if (s.size() > kMaxValueBytes) return false;
    bool alnum = false;
    for (char c : s) {
        if (text::is_ascii_alnum(c))
            alnum = true;
        else if (c != '-' && c != '.' && c != '_' && c != ':')
            return false;
    }
    return alnum;
}

bool looks_like_id_value(std::string_view s) {
    if (!is_safe_id_value(s)) return false;
    bool letter = false, digit = false, hex = true;
    for (char c : s) {
        letter = letter || text::is_ascii_alpha(c);
        digit = digit || text::is_ascii_digit(c);
        hex = hex && text::is_ascii_hex_digit(c);
    }
    if (!letter || !digit) return false;
    if (s.find('-') != std::string_view::npos || s.find('_') != std::string_view::npos)
        return s.size() >= kMinIdBytesWithSeparator;
    return s.size() >= kMinHexIdBytes && hex;
}

bool is_secret_key(std::string_view key) { return kSecretKeyWords.found_in(key); }

std::optional<std::string_view> normalize_level(std::string_view word) { return text::canonical_level(word); }

std::optional<types::LineTemplate> template_for_line(std::string_view line) {
    const std::string_view trimmed = text::trim(line);
    if (trimmed.empty()) return std::nullopt;
    const std::vector<std::string_view> tokens = text::split_whitespace(trimmed);

    const bool log_prefix = has_log_prefix(tokens);
    bool key_value = false;
    for (std::string_view t : tokens)
        if (parse_key_value_token(t)) {
            key_value = true;
            break;
        }
    const bool event = is_event_line(tokens);
    if (!log_prefix && !key_value && !event) return std::nullopt;
    const bool replace_bare = log_prefix || event;

    types::LineTemplate result;
    std::string& out = result.template_text;
    out.reserve(trimmed.size());
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        if (k > 0) out.push_back(' ');
        const WrappedToken w = split_wrapping_punctuation(tokens[k]);
        if (w.core.empty()) {
            out.append(tokens[k]);
            continue;
        }
        out.append(w.prefix);
        if (const auto kv = parse_key_value_core(w.core)) {
            const auto [key, value] = *kv;
            if (is_secret_key(key) || !is_safe_printable_value(value)) return std::nullopt;
            out.append(key).push_back('=');
            if (looks_like_timestamp(value)) {
                out.append("<ts>");
                result.values.push_back(value);
            } else if (looks_like_ipv4(value)) {
                out.append("<ip>");
                result.values.push_back(value);
            } else if (const auto number = split_number_with_unit(value)) {
                out.append("<num>").append(number->second);
                result.values.push_back(number->first);
            } else if ((is_id_key(key) && is_safe_id_value(value)) || looks_like_id_value(value)) {
                out.append("<id>");
                result.values.push_back(value);
            } else {
                out.append("<value>");
                result.values.push_back(value);
            }
        } else if (looks_like_timestamp(w.core)) {
            out.append("<ts>");
            result.values.push_back(w.core);
        } else if (looks_like_ipv4(w.core)) {
            out.append("<ip>");
            result.values.push_back(w.core);
        } else if (const auto number = replace_bare ? split_number_with_unit(w.core) : std::nullopt) {
            out.append("<num>").append(number->second);
            result.values.push_back(number->first);
        } else if (replace_bare && looks_like_id_value(w.core)) {
            out.append("<id>");
            result.values.push_back(w.core);
        } else {
            out.append(w.core);
        }
        out.append(w.suffix);
    }

    if (result.values.empty() || result.values.size() > kMaxValues) return std::nullopt;
    for (std::string_view v : result.values)
        if (!is_safe_printable_value(v)) return std::nullopt;
    if (!has_enough_fixed_text(out)) return std::nullopt;
    return result;
}

}  // namespace filters::log_template::templates
