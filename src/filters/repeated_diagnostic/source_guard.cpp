#include "filters/repeated_diagnostic/source_guard.h"

#include <algorithm>
#include <array>

#include "filters/guards.h"
#include "text.h"

namespace filters::repeated_diagnostic::source_guard {

namespace {

// Byte index and length of the first Unicode whitespace character at or
// after `from`, or npos.
std::pair<std::size_t, std::size_t> find_whitespace(std::string_view s, std::size_t from = 0) {
    for (std::size_t i = from; i < s.size(); ++i)
        if (const std::size_t len = text::whitespace_length_at(s, i)) return {i, len};
    return {std::string_view::npos, 0};
}

bool is_whitespace_at(std::string_view s, std::size_t pos) {
    return pos < s.size() && text::whitespace_length_at(s, pos) != 0;
}

// `t` without its trailing run of ";" and ",".
std::string_view strip_trailing_separators(std::string_view t) {
    while (!t.empty() && (t.back() == ';' || t.back() == ',')) t.remove_suffix(1);
    return t;
}

bool is_enclosed(std::string_view s, char open, char close) {
    return s.size() > 1 && s.front() == open && s.back() == close;
}

bool is_number(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t int_digits = text::digit_run(s, i);
    i += int_digits;
    if (int_digits > 0) {
        if (i < s.size() && s[i] == '.') i += 1 + text::digit_run(s, i + 1);
        return i == s.size();
    }
    if (i >= s.size() || s[i] != '.') return false;
    const std::size_t frac = text::digit_run(s, i + 1);
    return frac > 0 && i + 1 + frac == s.size();
}

bool is_identifier_path(std::string_view s) {
    if (s.empty() || !(text::is_ascii_alpha(s[0]) || s[0] == '_')) return false;
    std::size_t i = 1;
    while (i < s.size()) {
        if (s[i] == ':') {
            std::size_t run = 0;
            while (i < s.size() && s[i] == ':') ++run, ++i;
            if (run % 2 != 0) return false;
            continue;
        }
        if (!(guards::is_key_char(s[i]))) return false;
        ++i;
    }
    return true;
}

char closer_of(char open) { return open == '(' ? ')' : open == '[' ? ']' : '}'; }

// The quote state of a left-to-right scan: inside a quote a backslash
// escapes the next character and the opening quote closes it.
struct QuoteState {
    char quote = 0;
    bool escaped = false;

    // Whether `c` belongs to quoted text (its opening and closing quotes
    // included), updating the state.
    bool consume(char c) {
        if (quote) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == quote)
                quote = 0;
            return true;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            return true;
        }
        return false;
    }
};

// Quotes close and every closer outside quotes matches the opener on top.
bool is_balanced_text(std::string_view s) {
    if (s.empty() || std::string_view("\"'([{").find(s[0]) == std::string_view::npos) return false;
    std::vector<char> stack;
    QuoteState quotes;
    for (char c : s) {
        if (quotes.consume(c)) continue;
        if (c == '(' || c == '[' || c == '{') {
            stack.push_back(c);
        } else if (c == ')' || c == ']' || c == '}') {
            if (stack.empty() || closer_of(stack.back()) != c) return false;
            stack.pop_back();
        }
    }
    return stack.empty() && quotes.quote == 0;
}

// The walk that split_top_level_commas and find_top_level_separator share:
// calls `at_top(i)` for every byte outside quotes at depth zero that is not
// itself a quote or a bracket; stops when it returns true.
template <class F>
void walk_top_level(std::string_view s, F at_top) {
    QuoteState quotes;
    std::size_t depth = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quotes.consume(c)) continue;
        if (c == '(' || c == '[' || c == '{') {
            ++depth;
        } else if (c == ')' || c == ']' || c == '}') {
            if (depth > 0) --depth;
        } else if (depth == 0 && at_top(i)) {
            return;
        }
    }
}

bool is_keyed_entry(std::string_view entry, std::size_t sep) {
    return is_source_literal_key(text::trim(entry.substr(0, sep))) &&
           is_source_literal_value(text::trim(entry.substr(sep + 1)));
}

bool is_string_prefix_letter(char c) {
    return c == 'B' || c == 'F' || c == 'R' || c == 'U' || c == 'b' || c == 'f' || c == 'r' || c == 'u';
}

}  // namespace

std::vector<std::string_view> split_top_level_commas(std::string_view s) {
    std::vector<std::string_view> entries;
    std::size_t from = 0;
    walk_top_level(s, [&](std::size_t i) {
        if (s[i] == ',') {
            entries.push_back(text::trim(s.substr(from, i - from)));
            from = i + 1;
        }
        return false;
    });
    const std::string_view last = text::trim(s.substr(std::min(from, s.size())));
    if (!last.empty()) entries.push_back(last);
    return entries;
}

std::optional<std::size_t> find_top_level_separator(std::string_view s, char sep) {
    std::optional<std::size_t> found;
    walk_top_level(s, [&](std::size_t i) {
        if (s[i] != sep) return false;
        found = i;
        return true;
    });
    return found;
}

bool is_source_literal_key(std::string_view s) {
    if (s.size() >= 2 && ((s.front() == '"' && s.back() == '"') || (s.front() == '\'' && s.back() == '\'')))
        s = s.substr(1, s.size() - 2);
    if (s.empty() || !(text::is_ascii_alpha(s[0]) || s[0] == '_')) return false;
    for (char c : s)
        if (!guards::is_key_char(c)) return false;
    return true;
}

bool is_source_literal_value(std::string_view s) {
    if (s.empty()) return false;
    for (std::string_view word : {"true", "false", "null", "none"})
        if (text::equals_ignore_case(s, word)) return true;
    return is_number(s) || is_identifier_path(s) || is_balanced_text(s);
}

bool looks_like_hash_source_comment(std::string_view t) {
    if (!t.starts_with('#')) return false;
    if (t.size() == 1 || !text::is_ascii_digit(t[1]) || t.size() == 2) return true;
    return !is_whitespace_at(t, 2);
}

bool looks_like_sql_source_comment(std::string_view t) { return t.starts_with("--") && is_whitespace_at(t, 2); }

bool looks_like_markdown_list_row(std::string_view t) {
    const auto [pos, len] = find_whitespace(t);
    if (pos == std::string_view::npos) return false;
    if (text::trim_start(t.substr(pos + len)).empty()) return false;
    const std::string_view marker = t.substr(0, pos);
    if (marker == "-" || marker == "*" || marker == "+") return true;
    return marker.size() >= 2 && (marker.back() == '.' || marker.back() == ')') &&
           text::is_ascii_digits(marker.substr(0, marker.size() - 1));
}

bool looks_like_issue_list_row(std::string_view t) {
    if (!t.starts_with('#')) return false;
    const std::size_t digits = text::digit_run(t, 1);
    return digits > 0 && is_whitespace_at(t, 1 + digits);
}

bool looks_like_braced_source_object_literal(std::string_view t) {
    const std::string_view s = text::trim(strip_trailing_separators(t));
    if (!is_enclosed(s, '{', '}')) return false;
    const std::string_view inner = text::trim(s.substr(1, s.size() - 2));
    if (inner.empty()) return false;
    const std::vector<std::string_view> entries = split_top_level_commas(inner);
    if (entries.empty()) return false;
    for (std::string_view entry : entries) {
        const std::optional<std::size_t> sep = find_top_level_separator(entry, ':');
        if (!sep || !is_keyed_entry(entry, *sep)) return false;
    }
    return true;
}

bool looks_like_wrapped_source_object_literal(std::string_view t) {
    const std::string_view s = text::trim(strip_trailing_separators(t));
    if (!is_enclosed(s, '(', ')') && !is_enclosed(s, '[', ']')) return false;
    const std::string_view inner = text::trim(s.substr(1, s.size() - 2));
    if (inner.empty()) return false;
    const std::vector<std::string_view> entries = split_top_level_commas(inner);
    if (entries.empty()) return false;
    for (std::string_view entry : entries)
        if (!looks_like_braced_source_object_literal(entry) && !looks_like_standalone_source_literal(entry))
            return false;
    return true;
}

bool looks_like_keyed_source_literal(std::string_view t) {
    const std::string_view s = strip_trailing_separators(t);
    // The first ":" or "=" outside quotes and brackets: one walk finds it.
    std::optional<std::size_t> sep;
    walk_top_level(s, [&](std::size_t i) {
        if (s[i] != ':' && s[i] != '=') return false;
        sep = i;
        return true;
    });
    return sep && is_keyed_entry(s, *sep);
}

bool looks_like_standalone_source_literal(std::string_view t) {
    std::string_view s = text::trim(strip_trailing_separators(t));
    if (s.empty()) return false;
    if (is_enclosed(s, '(', ')') || is_enclosed(s, '[', ']')) {
        s = text::trim(s.substr(1, s.size() - 2));
        if (s.empty()) return false;
    }
    std::size_t prefix = 0;
    while (prefix < s.size() && is_string_prefix_letter(s[prefix])) ++prefix;
    if (prefix > 3 || prefix == s.size()) return false;
    const char quote = s[prefix];
    return (quote == '"' || quote == '\'' || quote == '`') && s.back() == quote;
}

bool looks_like_function_call_statement(std::string_view t) {
    std::string_view r = t;
    if (const std::size_t eq = t.find('='); eq != std::string_view::npos) r = text::trim_start(t.substr(eq + 1));
    if (r.starts_with("await ")) r.remove_prefix(6);
    const std::size_t open = r.find('(');
    if (open == std::string_view::npos) return false;
    const std::string_view callee = text::trim(r.substr(0, open));
    if (callee.empty()) return false;
    for (char c : callee)
        if (!(text::is_ascii_alnum(c) || c == '_' || c == '.')) return false;
    const std::string_view call = r.substr(open);
    return std::any_of(call.begin(), call.end(), [](char c) { return c == '"' || c == '\'' || c == '='; });
}

bool looks_like_source_or_code_statement(std::string_view line) {
    const std::string_view t = text::trim(line);
    if (t.empty()) return false;
    const char first = text::to_lower_ascii(t[0]);
    for (std::string_view keyword : kKeywordStarts)
        if (keyword[0] == first && text::starts_with_ignore_case(t, keyword)) return true;
    if (t.starts_with("//") || t.starts_with("/*") || t.starts_with('*') || t.starts_with("<!--")) return true;
    if (looks_like_hash_source_comment(t) || looks_like_sql_source_comment(t) || looks_like_markdown_list_row(t) ||
        looks_like_issue_list_row(t) || looks_like_braced_source_object_literal(t) ||
        looks_like_wrapped_source_object_literal(t) || looks_like_keyed_source_literal(t) ||
        looks_like_standalone_source_literal(t))
        return true;
    const bool has_parens = text::contains(t, "(") && text::contains(t, ")");
    if (has_parens && (text::contains_ignore_case(t, "logger.") || text::contains_ignore_case(t, "console.") ||
                       text::contains_ignore_case(t, "log.")))
        return true;
    if (looks_like_function_call_statement(t)) return true;
    const bool has_quote = std::any_of(t.begin(), t.end(), [](char c) { return c == '"' || c == '\''; });
    return has_quote && has_parens && (t.back() == ',' || t.back() == ';' || t.back() == ')');
}

}  // namespace filters::repeated_diagnostic::source_guard
