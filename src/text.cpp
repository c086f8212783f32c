#include "text.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "scan/scan.h"
#include "text_unicode_ranges.h"

namespace text {

// ---------------------------------------------------------------- UTF-8 --

bool is_valid_utf8(std::string_view sv) {
    const auto* s = reinterpret_cast<const unsigned char*>(sv.data());
    const std::size_t n = sv.size();
    std::size_t i = 0;
    while (i < n) {
        // ASCII fast path, eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t w;
            std::memcpy(&w, s + i, 8);
            if (w & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= n) break;
        unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            if (i + 1 >= n || (s[i + 1] & 0xC0) != 0x80) return false;
            i += 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            if (i + 2 >= n) return false;
            unsigned char c1 = s[i + 1], c2 = s[i + 2];
            if ((c1 & 0xC0) != 0x80 || (c2 & 0xC0) != 0x80) return false;
            if (c == 0xE0 && c1 < 0xA0) return false;   // overlong
            if (c == 0xED && c1 >= 0xA0) return false;  // surrogate
            i += 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            if (i + 3 >= n) return false;
            unsigned char c1 = s[i + 1], c2 = s[i + 2], c3 = s[i + 3];
            if ((c1 & 0xC0) != 0x80 || (c2 & 0xC0) != 0x80 || (c3 & 0xC0) != 0x80) return false;
            if (c == 0xF0 && c1 < 0x90) return false;   // overlong
            if (c == 0xF4 && c1 >= 0x90) return false;  // above U+10FFFF
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

std::size_t char_count(std::string_view s) {
    std::size_t count = 0;
    for (unsigned char c : s) count += (c & 0xC0) != 0x80;
    return count;
}

char32_t decode_at(std::string_view s, std::size_t pos, std::size_t& len) {
    auto b0 = static_cast<unsigned char>(s[pos]);
    std::size_t want = utf8_len(b0);
    if (b0 < 0x80 || b0 < 0xC0 || pos + want > s.size()) {
        len = 1;
        return b0;
    }
    char32_t c = want == 2 ? (b0 & 0x1F) : want == 3 ? (b0 & 0x0F) : (b0 & 0x07);
    for (std::size_t k = 1; k < want; ++k) c = (c << 6) | (static_cast<unsigned char>(s[pos + k]) & 0x3F);
    len = want;
    return c;
}

std::string_view take_chars(std::string_view s, std::size_t n) {
    std::size_t i = 0;
    while (i < s.size() && n > 0) {
        i += utf8_len(static_cast<unsigned char>(s[i]));
        --n;
    }
    return s.substr(0, std::min(i, s.size()));
}

// ----------------------------------------------------------- whitespace --

bool is_whitespace(char32_t c) {
    if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    if (c < 0x85) return false;
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

// Byte length of the whitespace character that ends `s`, or 0.
static std::size_t trailing_ws_len(std::string_view s) {
    if (s.empty()) return 0;
    auto last = static_cast<unsigned char>(s.back());
    if (last < 0x80) return is_ascii_whitespace(static_cast<char>(last)) ? 1 : 0;
    if ((last & 0xC0) != 0x80) return 0;
    // Every non-ASCII whitespace character is two or three bytes long.
    for (std::size_t len = 2; len <= 3 && len <= s.size(); ++len) {
        auto lead = static_cast<unsigned char>(s[s.size() - len]);
        if (utf8_len(lead) == len && lead >= 0xC0) {
            std::size_t got;
            char32_t c = decode_at(s, s.size() - len, got);
            return got == len && is_whitespace(c) ? len : 0;
        }
    }
    return 0;
}

std::string_view trim_end(std::string_view s) {
    while (std::size_t k = trailing_ws_len(s)) s.remove_suffix(k);
    return s;
}

std::string_view trim_start(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            if (!is_ascii_whitespace(static_cast<char>(b))) break;
            ++i;
            continue;
        }
        std::size_t len;
        char32_t c = decode_at(s, i, len);
        if (!is_whitespace(c)) break;
        i += len;
    }
    return s.substr(i);
}

std::string_view trim(std::string_view s) { return trim_start(trim_end(s)); }

// Byte length of the whitespace character at `pos`, or 0.
static std::size_t ws_len_at(std::string_view s, std::size_t pos) { return whitespace_length_at(s, pos); }

std::vector<std::string_view> split_whitespace(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t i = 0, start = std::string_view::npos;
    while (i < s.size()) {
        std::size_t w = ws_len_at(s, i);
        if (w) {
            if (start != std::string_view::npos) out.push_back(s.substr(start, i - start));
            start = std::string_view::npos;
            i += w;
        } else {
            if (start == std::string_view::npos) start = i;
            i += utf8_len(static_cast<unsigned char>(s[i]));
        }
    }
    if (start != std::string_view::npos) out.push_back(s.substr(start, std::min(i, s.size()) - start));
    return out;
}

std::optional<std::pair<std::string_view, std::string_view>> split_once_whitespace(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        if (std::size_t w = ws_len_at(s, i)) return std::pair{s.substr(0, i), trim_start(s.substr(i + w))};
        i += utf8_len(static_cast<unsigned char>(s[i]));
    }
    return std::nullopt;
}

// ------------------------------------------------------------ ASCII case --

std::string to_lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = to_lower_ascii(c);
    return out;
}

std::string to_upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = to_upper_ascii(c);
    return out;
}

bool equals_ignore_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (to_lower_ascii(a[i]) != to_lower_ascii(b[i])) return false;
    return true;
}

bool starts_with_ignore_case(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equals_ignore_case(s.substr(0, prefix.size()), prefix);
}

bool ends_with_ignore_case(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && equals_ignore_case(s.substr(s.size() - suffix.size()), suffix);
}

std::size_t find_ignore_case(std::string_view s, std::string_view needle, std::size_t from) {
    // A candidate needs its first two bytes to match: the search passes
    // over whole texts without the needle many bytes at a time.
    return scan::find_ignore_case(s, needle, from);
}

// -------------------------------------------------------------- numbers --

std::optional<std::uint64_t> parse_unsigned(std::string_view s) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    std::uint64_t v = 0;
    constexpr auto max = std::numeric_limits<std::uint64_t>::max();
    for (char c : s) {
        if (!is_ascii_digit(c)) return std::nullopt;
        auto d = static_cast<std::uint64_t>(c - '0');
        if (v > (max - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    return v;
}

std::optional<double> parse_decimal(std::string_view s, bool allow_special) {
    if (s.empty()) return std::nullopt;
    std::size_t i = 0;
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        i = 1;
    }
    std::string_view body = s.substr(i);
    if (allow_special) {
        if (equals_ignore_case(body, "inf") || equals_ignore_case(body, "infinity"))
            return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        if (equals_ignore_case(body, "nan")) return std::numeric_limits<double>::quiet_NaN();
    }
    std::size_t digits = 0;
    while (i < s.size() && is_ascii_digit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && is_ascii_digit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exp_digits = 0;
        while (i < s.size() && is_ascii_digit(s[i])) ++i, ++exp_digits;
        if (exp_digits == 0) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    // The grammar is checked above; strtod only converts (it needs a NUL).
    std::string copy(s);
    return std::strtod(copy.c_str(), nullptr);
}

// ---------------------------------------------------------------- lines --

std::vector<std::string_view> split_on_newline(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (true) {
        const void* hit = std::memchr(s.data() + start, '\n', s.size() - start);
        if (!hit) break;
        std::size_t pos = static_cast<const char*>(hit) - s.data();
        out.push_back(s.substr(start, pos - start));
        start = pos + 1;
    }
    out.push_back(s.substr(start));
    return out;
}

LineIndex::LineIndex(std::string_view text) : text_(text) {
    final_newline_ = !text.empty() && text.back() == '\n';
    body_end_ = text.size() - (final_newline_ ? 1 : 0);
    starts_.push_back(0);
    // Sixty-four bytes a step, every newline of them from one bit mask: texts
    // of short lines (listings, status lines, blank runs) would otherwise pay
    // one library call per line. Counted first, so the offsets are held once
    // at their exact size rather than copied while a vector doubles (it
    // matters for texts of tens of millions of lines).
    const std::string_view body = text.substr(0, body_end_);
    starts_.reserve(scan::count_byte(body, '\n') + 1);
    for (scan::Hits hits = scan::byte_hits(body, '\n', 0); hits; hits = scan::byte_hits(body, '\n', hits.next()))
        for (const std::size_t at : hits) starts_.push_back(at + 1);
}

Lines LineIndex::to_lines() const {
    Lines out;
    out.final_newline = final_newline_;
    out.lines.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) out.lines.push_back((*this)[i]);
    return out;
}

Lines split_lines(std::string_view s) { return LineIndex(s).to_lines(); }

std::vector<std::string_view> lines_of(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (start < s.size()) {
        const void* hit = std::memchr(s.data() + start, '\n', s.size() - start);
        if (!hit) {
            // A last piece that no "\n" ended keeps its "\r".
            out.push_back(s.substr(start));
            break;
        }
        const auto pos = static_cast<std::size_t>(static_cast<const char*>(hit) - s.data());
        std::string_view line = s.substr(start, pos - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        out.push_back(line);
        start = pos + 1;
    }
    return out;
}

bool starts_with_any_ignore_case(std::string_view s, std::initializer_list<std::string_view> prefixes) {
    for (std::string_view p : prefixes)
        if (starts_with_ignore_case(s, p)) return true;
    return false;
}

// ------------------------------------------------------------ templates --

std::string fill_template(std::string_view tmpl, const std::vector<std::string>& args) {
    std::string out;
    std::size_t next = 0, i = 0;
    while (i < tmpl.size()) {
        if (tmpl[i] == '{' && i + 1 < tmpl.size() && tmpl[i + 1] == '}' && next < args.size()) {
            out += args[next++];
            i += 2;
        } else {
            out += tmpl[i++];
        }
    }
    return out;
}

std::string debug_quote(std::string_view s) {
    static const char* hex = "0123456789abcdef";
    std::string out = "\"";
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        switch (ch) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\u{";
                    if (c >= 0x10) out += hex[c >> 4];
                    out += hex[c & 0xF];
                    out += '}';
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

// -------------------------------------------------------- line clean-up --

std::string strip_ansi(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '\x1b' && i + 1 < s.size() && s[i + 1] == '[') {
            std::size_t j = i + 2;
            while (j < s.size() && !(s[j] >= 0x40 && s[j] <= 0x7E)) ++j;
            i = j < s.size() ? j + 1 : s.size();
            continue;
        }
        out += s[i++];
    }
    return out;
}

std::vector<std::string> drop_blank_and_adjacent_duplicates(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& line : lines) {
        if (line.empty()) continue;
        if (!out.empty() && out.back() == line) continue;
        out.push_back(line);
    }
    return out;
}

std::optional<std::string> normalize_level(std::string_view word) {
    std::optional<std::string_view> level = canonical_level(word);
    if (!level) return std::nullopt;
    return std::string(*level);
}

// ------------------------------------------------------- the size rule --

bool is_smaller_output(std::string_view candidate, std::string_view current) {
    if (candidate.size() != current.size()) return candidate.size() < current.size();
    return char_count(candidate) < char_count(current);
}

std::vector<std::string> choose_smaller_lines(const std::vector<std::string>& current,
                                              std::vector<std::string>&& candidate) {
    auto measure = [](const std::vector<std::string>& lines) {
        std::size_t bytes = lines.empty() ? 0 : lines.size() - 1;
        for (const auto& l : lines) bytes += l.size();
        return bytes;
    };
    auto chars = [](const std::vector<std::string>& lines) {
        std::size_t n = lines.empty() ? 0 : lines.size() - 1;
        for (const auto& l : lines) n += char_count(l);
        return n;
    };
    std::size_t cand_bytes = measure(candidate), cur_bytes = measure(current);
    bool smaller = cand_bytes != cur_bytes ? cand_bytes < cur_bytes : chars(candidate) < chars(current);
    if (smaller) return std::move(candidate);
    return current;
}

// --------------------------------------------------- request text steps --

// Position of the first `c` at or after `from`, or `n`.
static std::size_t find_byte(const char* base, std::size_t from, std::size_t n, char c) {
    const void* hit = std::memchr(base + from, c, n - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - base) : n;
}

// The text is read once and copied in as few pieces as it can be: a run of lines that need no change is copied whole
// when the next change, or the end, is reached. So a clean text costs one scan and one copy.
std::string normalize_and_trim_trailing_whitespace(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    append_normalized_and_trimmed(s, out);
    return out;
}

void normalize_and_trim_trailing_whitespace_in_place(std::string& text) {
    text = normalize_and_trim_trailing_whitespace(text);
}

// The next "\r" and the next "\n" are each searched for again only once the
// read position has passed them: a text of lone "\r"s (progress bars) would
// otherwise look for the same far "\n" once per line, which is quadratic.
void append_normalized_and_trimmed(std::string_view s, std::string& out) {
    const char* base = s.data();
    const std::size_t n = s.size();
    std::size_t copied = 0;  // s[copied, r) is unchanged text not yet in `out`
    std::size_t r = 0;
    std::size_t next_cr = find_byte(base, 0, n, '\r');
    std::size_t nl = find_byte(base, 0, n, '\n');
    while (true) {
        if (nl < r) nl = find_byte(base, r, n, '\n');
        const std::size_t end = next_cr < nl ? next_cr : nl;
        const std::size_t kept = trim_end(std::string_view(base + r, end - r)).size();
        if (end == n) {
            if (r + kept != n) {
                out.append(base + copied, r + kept - copied);
                copied = n;
            }
            break;
        }
        std::size_t next = end + 1;
        const bool at_cr = end != nl;
        if (at_cr) {
            // "\r\n" is one line end; any other "\r" ends a line of its own.
            if (next < n && base[next] == '\n') ++next;
            next_cr = find_byte(base, next, n, '\r');
        }
        if (at_cr || r + kept != end) {
            out.append(base + copied, r + kept - copied);
            out.push_back('\n');
            copied = next;
        }
        r = next;
    }
    out.append(base + copied, n - copied);
}

// Rewrites the text in place: each line is written at or before where it
// was read, so the unread rest stays intact.
void collapse_blank_lines_in_place(std::string& text, std::uint64_t limit) {
    const std::size_t n = text.size();
    if (n == 0) return;
    char* base = text.data();
    const bool final_newline = base[n - 1] == '\n';
    std::uint64_t blank_run = 0;
    std::size_t kept = 0;
    bool last_kept_blank = false;
    std::size_t r = 0, w = 0;  // read and write positions, w <= r
    while (r < n) {
        const std::size_t nl = find_byte(base, r, n, '\n');
        std::size_t len = nl - r;
        if (nl < n && len > 0 && base[nl - 1] == '\r') --len;
        const std::size_t from = r;
        r = nl + 1;
        if (len == 0) {
            ++blank_run;
            if (blank_run > limit) continue;
        } else {
            blank_run = 0;
        }
        if (kept) base[w++] = '\n';
        if (w != from) std::memmove(base + w, base + from, len);
        w += len;
        ++kept;
        last_kept_blank = len == 0;
    }
    if (kept == 0) {
        text.clear();
        return;
    }
    const bool joined_ends_with_newline = last_kept_blank && kept >= 2;
    if (final_newline && !joined_ends_with_newline) base[w++] = '\n';
    text.resize(w);
}

std::string collapse_blank_lines(std::string_view s, std::uint64_t limit) {
    std::string out(s);
    collapse_blank_lines_in_place(out, limit);
    return out;
}

}  // namespace text

// ------------------------------------------------------------ log guards --
namespace text {

bool has_secret_like_key(std::string_view line) {
    static constexpr auto kSecretKeys = WordSet<kSecretKeyWords.size()>::of(kSecretKeyWords, true);
    return kSecretKeys.found_in(line);
}

}  // namespace text

// ---------------------------------------- table family: letters, numbers --
namespace text {

static std::uint8_t unicode_class_flags(char32_t c) {
    using unicode_ranges::kRangeCount;
    using unicode_ranges::kRanges;
    const auto* end = kRanges + kRangeCount;
    // First range whose last code point is not below c.
    const auto* it = std::lower_bound(kRanges, end, c,
                                      [](const unicode_ranges::CodePointRange& r, char32_t v) { return r.last < v; });
    return (it != end && it->first <= c) ? it->flags : 0;
}

bool is_alphabetic(char32_t c) {
    if (c < 0x80) return is_ascii_alpha(static_cast<char>(c));
    return (unicode_class_flags(c) & unicode_ranges::kAlphabetic) != 0;
}

bool is_alphanumeric(char32_t c) {
    if (c < 0x80) return is_ascii_alnum(static_cast<char>(c));
    return unicode_class_flags(c) != 0;
}

}  // namespace text

// -------------------------- json and table families: words, severity words --
namespace text {

bool any_word(std::string_view s, bool (*f)(std::string_view)) {
    std::size_t pos = 0;
    for (std::string_view word = next_word(s, pos); !word.empty(); word = next_word(s, pos))
        if (f(word)) return true;
    return false;
}

bool has_severity_word(std::string_view s) {
    static constexpr std::string_view kWords[] = {"warn",     "fail",     "error",     "fatal",
                                                  "errors",   "failed",   "warning",   "failure",
                                                  "warnings", "critical", "exception", "traceback"};
    std::size_t i = 0;
    while (i < s.size()) {
        if (!is_ascii_alpha(s[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < s.size() && is_ascii_alpha(s[i])) ++i;
        const std::size_t len = i - start;
        if (len < 4 || len > 9) continue;  // the lengths of the words
        const char first = to_lower_ascii(s[start]);
        if (first != 'w' && first != 'f' && first != 'e' && first != 'c' && first != 't') continue;
        char lowered[9];
        for (std::size_t k = 0; k < len; ++k) lowered[k] = to_lower_ascii(s[start + k]);
        const std::string_view run(lowered, len);
        for (std::string_view w : kWords)
            if (run == w) return true;
    }
    return false;
}

}  // namespace text

// ------------------------------------- generic-log family: word search, levels --
namespace text {

std::optional<std::string_view> canonical_level(std::string_view word) {
    static constexpr std::string_view levels[] = {"INFO",  "WARN",  "TRACE", "DEBUG",  "ERROR",   "FATAL",
                                                  "PANIC", "ALERT", "EMERG", "NOTICE", "CRITICAL"};
    if (word.size() < 4 || word.size() > 8) return std::nullopt;
    std::array<char, 8> buf{};
    for (std::size_t i = 0; i < word.size(); ++i) buf[i] = to_upper_ascii(word[i]);
    const std::string_view up(buf.data(), word.size());
    if (up == "WARNING") return "WARN";
    for (std::string_view level : levels)
        if (up == level) return level;
    return std::nullopt;
}

}  // namespace text

// --------------------------- payload families: HTTP response head, quoting --
namespace text {

std::optional<HttpResponseSplit> split_http_response_head(std::string_view s) {
    // Only a text that starts with a status line can have a head, so other
    // texts are not searched for a blank line at all.
    if (!s.starts_with("HTTP/")) return std::nullopt;
    std::string_view separator = "\r\n\r\n";
    std::size_t at = s.find(separator);
    if (at == std::string_view::npos) {
        separator = "\n\n";
        at = s.find(separator);
    }
    if (at == std::string_view::npos || at == 0) return std::nullopt;
    const std::string_view head = s.substr(0, at);
    // Lines of the head with "\r\n" read as "\n": a "\r" that ends a line
    // does not count, one elsewhere stays part of the line.
    bool first = true;
    bool more_lines = false;
    bool has_colon = false;
    std::size_t start = 0;
    while (start <= head.size()) {
        std::size_t end = head.find('\n', start);
        if (end == std::string_view::npos) end = head.size();
        std::string_view line = head.substr(start, end - start);
        if (end < head.size() && line.ends_with('\r')) line.remove_suffix(1);
        if (first) {
            if (line.size() < 5) return std::nullopt;
            first = false;
        } else {
            more_lines = true;
            if (line.find(':') != std::string_view::npos) has_colon = true;
        }
        start = end + 1;
    }
    if (more_lines && !has_colon) return std::nullopt;
    return HttpResponseSplit{head, separator, s.substr(at + separator.size())};
}

std::string quote_escaped(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out.push_back('"');
    for (char c : s) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

}  // namespace text
