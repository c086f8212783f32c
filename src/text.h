// Text helpers shared by the request and by every filter: line splitting,
// Unicode-whitespace trimming, ASCII case folding, strict number parsing,
// templates, the size rule, and the request's normalisation steps.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scan/scan.h"
#include "word_set.h"

namespace text {

// ---------------------------------------------------------------- UTF-8 --

// True when `s` is well-formed UTF-8 (no overlongs, no surrogates, <= U+10FFFF).
bool is_valid_utf8(std::string_view s);

// Number of Unicode scalar values in valid UTF-8 text.
std::size_t char_count(std::string_view s);

// Decodes the scalar value starting at byte `pos`; `len` receives its byte
// length (1 for a stray byte, which decodes as itself).
char32_t decode_at(std::string_view s, std::size_t pos, std::size_t& len);

// Byte length of the UTF-8 sequence that starts with lead byte `b` (1 for
// ASCII and stray continuation bytes).
inline std::size_t utf8_len(unsigned char b) {
    if (b < 0xC0) return 1;
    if (b < 0xE0) return 2;
    if (b < 0xF0) return 3;
    return 4;
}

// The prefix of `s` holding at most `n` characters; never splits a sequence.
std::string_view take_chars(std::string_view s, std::size_t n);

// ----------------------------------------------------------- whitespace --

// Unicode White_Space (the 25 code points).
bool is_whitespace(char32_t c);
inline bool is_ascii_whitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view trim(std::string_view s);
std::string_view trim_start(std::string_view s);
std::string_view trim_end(std::string_view s);

// Pieces between runs of Unicode whitespace; no empty pieces.
std::vector<std::string_view> split_whitespace(std::string_view s);

// `s` split at its first whitespace character: the part before it and the
// rest with leading whitespace removed. None when `s` holds no whitespace.
std::optional<std::pair<std::string_view, std::string_view>> split_once_whitespace(std::string_view s);

// ------------------------------------------------------------ ASCII case --

inline char to_lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
inline char to_upper_ascii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
inline bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_ascii_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool is_ascii_alnum(char c) { return is_ascii_digit(c) || is_ascii_alpha(c); }
// "0"-"9", "a"-"f" and "A"-"F".
inline bool is_ascii_hex_digit(char c) { return is_ascii_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
// Non-empty and ASCII digits only.
inline bool is_ascii_digits(std::string_view s) {
    for (char c : s)
        if (!is_ascii_digit(c)) return false;
    return !s.empty();
}
// A positive count or line number as written: ASCII digits, the first of
// them 1 to 9.
inline bool is_positive_digits(std::string_view s) { return !s.empty() && s[0] != '0' && is_ascii_digits(s); }

std::string to_lower(std::string_view s);
std::string to_upper(std::string_view s);
bool equals_ignore_case(std::string_view a, std::string_view b);
bool starts_with_ignore_case(std::string_view s, std::string_view prefix);
bool ends_with_ignore_case(std::string_view s, std::string_view suffix);
// Position of the first case-insensitive match of `needle`, or npos.
std::size_t find_ignore_case(std::string_view s, std::string_view needle, std::size_t from = 0);
inline bool contains_ignore_case(std::string_view s, std::string_view needle) {
    return find_ignore_case(s, needle) != std::string_view::npos;
}
inline bool contains(std::string_view s, std::string_view needle) { return s.find(needle) != std::string_view::npos; }

// -------------------------------------------------------------- numbers --

// Optional "+", then ASCII digits only; no overflow past 64 bits.
std::optional<std::uint64_t> parse_unsigned(std::string_view s);
// Optional sign, digits with an optional "." and an optional exponent
// ("1", "-2.5", "3.", ".5", "1e-3"). With `allow_special`, the words inf,
// infinity and nan (any case, optionally signed) are read too.
std::optional<double> parse_decimal(std::string_view s, bool allow_special = false);

// ---------------------------------------------------------------- lines --

// The text split on "\n" with one final newline set aside, so that
// join(lines) + (final_newline ? "\n" : "") gives the text back. The empty
// text gives one empty line.
struct Lines {
    std::vector<std::string_view> lines;
    bool final_newline = false;
};
Lines split_lines(std::string_view s);

// The lines of a text found once, as split_lines gives them (one final
// newline set aside, the empty text one empty line), held as the offsets
// where lines start. The pipeline builds one for each text it hands to the
// filters, so that no filter splits the same text again. It views the text:
// the text must outlive it and stay unchanged.
class LineIndex {
public:
    LineIndex() = default;
    explicit LineIndex(std::string_view text);

    std::string_view text() const { return text_; }
    bool final_newline() const { return final_newline_; }
    std::size_t size() const { return starts_.size(); }
    // Byte offset of line `i` in the text.
    std::size_t start(std::size_t i) const { return starts_[i]; }
    std::string_view operator[](std::size_t i) const {
        const std::size_t end = i + 1 < starts_.size() ? starts_[i + 1] - 1 : body_end_;
        return text_.substr(starts_[i], end - starts_[i]);
    }
    // The line that holds byte `offset` of the text (the last line for an
    // offset past its end).
    std::size_t line_at(std::size_t offset) const {
        return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin()) - 1;
    }
    // The split as a list of views, for code that wants one.
    Lines to_lines() const;

    class Iterator {
    public:
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        Iterator() = default;
        Iterator(const LineIndex* index, std::size_t i) : index_(index), i_(i) {}
        std::string_view operator*() const { return (*index_)[i_]; }
        Iterator& operator++() {
            ++i_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            ++i_;
            return old;
        }
        bool operator==(const Iterator& o) const { return i_ == o.i_; }

    private:
        const LineIndex* index_ = nullptr;
        std::size_t i_ = 0;
    };
    Iterator begin() const { return Iterator(this, 0); }
    Iterator end() const { return Iterator(this, starts_.size()); }

private:
    std::string_view text_;
    std::vector<std::size_t> starts_;
    std::size_t body_end_ = 0;
    bool final_newline_ = false;
};

// Line-iterator semantics: each "\n" ends a line and one "\r" before it is
// dropped; a piece after the last "\n" is a line only when it is not empty.
std::vector<std::string_view> lines_of(std::string_view s);

// Every piece between "\n"s, n line ends giving n + 1 pieces.
std::vector<std::string_view> split_on_newline(std::string_view s);

template <class Seq>
std::string join(const Seq& parts, std::string_view sep = "\n") {
    std::size_t total = 0;
    for (const auto& p : parts) total += std::string_view(p).size() + sep.size();
    std::string out;
    out.reserve(total);
    bool first = true;
    for (const auto& p : parts) {
        if (!first) out.append(sep);
        first = false;
        out.append(std::string_view(p));
    }
    return out;
}

// Lines joined with "\n", plus "\n" when `final_newline`.
template <class Seq>
std::string join_lines(const Seq& lines, bool final_newline) {
    std::string out = join(lines, "\n");
    if (final_newline) out.push_back('\n');
    return out;
}

// -------------------------------------------------------- phrase tests --
// Tests of one text against a short list of fixed phrases. They run many
// times on every line of large inputs, so each rules a phrase out on one
// byte before comparing the rest.

inline bool starts_with_any(std::string_view s, std::initializer_list<std::string_view> prefixes) {
    if (s.empty()) return false;
    for (std::string_view p : prefixes)
        if (!p.empty() && p[0] == s[0] && s.starts_with(p)) return true;
    return false;
}
inline bool ends_with_any(std::string_view s, std::initializer_list<std::string_view> suffixes) {
    if (s.empty()) return false;
    for (std::string_view p : suffixes)
        if (!p.empty() && p.back() == s.back() && s.ends_with(p)) return true;
    return false;
}
inline bool contains_any(std::string_view s, std::initializer_list<std::string_view> needles) {
    for (std::string_view n : needles)
        if (s.find(n) != std::string_view::npos) return true;
    return false;
}
inline bool equals_any(std::string_view s, std::initializer_list<std::string_view> words) {
    for (std::string_view w : words)
        if (s == w) return true;
    return false;
}
bool starts_with_any_ignore_case(std::string_view s, std::initializer_list<std::string_view> prefixes);

// Length of the run of ASCII digits that starts at byte `from`.
inline std::size_t digit_run(std::string_view s, std::size_t from = 0) {
    std::size_t i = from;
    while (i < s.size() && is_ascii_digit(s[i])) ++i;
    return i - from;
}

// `s` without its leading and trailing bytes that are not ASCII letters or
// digits (a non-ASCII character goes whole, byte by byte).
inline std::string_view trim_non_alnum(std::string_view s) {
    while (!s.empty() && !is_ascii_alnum(s.front())) s.remove_prefix(1);
    while (!s.empty() && !is_ascii_alnum(s.back())) s.remove_suffix(1);
    return s;
}

// `s` without its leading and trailing bytes that occur in `chars`.
inline std::string_view trim_chars(std::string_view s, std::string_view chars) {
    const std::size_t first = s.find_first_not_of(chars);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(chars) - first + 1);
}

// Number of ASCII spaces and tabs that start `s`. Indentation is skipped
// eight spaces at a time: it is read on every line of large inputs.
inline std::size_t leading_blanks(std::string_view s) {
    constexpr std::uint64_t kSpaces = 0x2020202020202020ull;
    std::size_t i = 0;
    while (s.size() - i >= 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (const std::uint64_t diff = word ^ kSpaces) {
            i += static_cast<std::size_t>(std::countr_zero(diff)) / 8;
            break;
        }
        i += 8;
    }
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    return i;
}

// Calls `visit` with each maximal run of ASCII letters and digits in `s`,
// in order, until it returns true; whether one did.
template <class Visit>
bool any_alnum_word(std::string_view s, Visit&& visit) {
    for (std::size_t i = 0; i < s.size();) {
        if (!is_ascii_alnum(s[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < s.size() && is_ascii_alnum(s[i])) ++i;
        if (visit(s.substr(start, i - start))) return true;
    }
    return false;
}

// ------------------------------------------------------------ templates --

inline std::string to_text(std::string_view s) { return std::string(s); }
inline std::string to_text(const std::string& s) { return s; }
inline std::string to_text(const char* s) { return std::string(s); }
inline std::string to_text(char c) { return std::string(1, c); }
template <class N>
requires std::is_integral_v<N> std::string to_text(N n) { return std::to_string(n); }

std::string fill_template(std::string_view tmpl, const std::vector<std::string>& args);

// Replaces each "{}" of `tmpl`, left to right, by the next argument.
template <class... Args>
std::string format(std::string_view tmpl, const Args&... args) {
    return fill_template(tmpl, std::vector<std::string>{to_text(args)...});
}

// "" for a count of 1, "s" otherwise.
inline std::string_view plural(std::uint64_t n) { return n == 1 ? "" : "s"; }

// String in double quotes with backslash escapes (\" \\ \n \t \r, other
// control characters as \u{XX}).
std::string debug_quote(std::string_view s);

// -------------------------------------------------------- line clean-up --

// Removes each ESC "[" ... final-byte (0x40..0x7E) sequence; an unterminated
// one runs to the end; an ESC not followed by "[" stays.
std::string strip_ansi(std::string_view s);

// Keeps a line only when it is non-empty and differs from the last kept one.
std::vector<std::string> drop_blank_and_adjacent_duplicates(const std::vector<std::string>& lines);

// Upper-cased level word when it is a known level (WARNING reads as WARN).
std::optional<std::string> normalize_level(std::string_view word);

// ------------------------------------------------------- the size rule --

// A candidate replaces the current text only when it has fewer bytes, or as
// many bytes and fewer characters.
bool is_smaller_output(std::string_view candidate, std::string_view current);

// Of two renderings of the same lines, the candidate when it is smaller by
// the size rule, otherwise a copy of the current lines.
std::vector<std::string> choose_smaller_lines(const std::vector<std::string>& current,
                                              std::vector<std::string>&& candidate);

// --------------------------------------------------- request text steps --

// "\r\n" then "\r" become "\n"; trailing Unicode whitespace is trimmed from
// every line; the number of lines and a final newline are preserved.
std::string normalize_and_trim_trailing_whitespace(std::string_view s);
// The same, replacing an owned text (for tools; the entry normalises as it reads).
void normalize_and_trim_trailing_whitespace_in_place(std::string& text);

// Keeps at most `limit` consecutive empty lines of each run.
std::string collapse_blank_lines(std::string_view s, std::uint64_t limit);
// The same, rewriting an owned text without a second buffer.
void collapse_blank_lines_in_place(std::string& text, std::uint64_t limit);

}  // namespace text

// ---------------------------------------------------------- secret keys --
namespace text {

// True when the line, ASCII-lowercased with "-" and "." read as "_", names a
// secret-bearing key ("password", "api_key", "token=", ...). Log filters
// refuse such text rather than fold it.
bool has_secret_like_key(std::string_view line);

}  // namespace text

// ------------------------------------------------------- Unicode classes --
namespace text {

// Unicode Alphabetic property (letters, letter numbers, combining vowel
// signs and the like), from a table generated out of the Unicode data.
bool is_alphabetic(char32_t c);
// Alphabetic, or a number of any kind (general categories Nd, Nl, No).
bool is_alphanumeric(char32_t c);

}  // namespace text

// ---------------------------------------------------------------- words --
namespace text {

// Whether `f` holds for some piece of `s` between runs of Unicode whitespace
// (the pieces of split_whitespace, tried in order), without building a list.
bool any_word(std::string_view s, bool (*f)(std::string_view));

// Whether some maximal run of ASCII letters in `s`, ASCII-lowercased, is one
// of "warn", "fail", "error", "fatal", "errors", "failed", "warning",
// "failure", "warnings", "critical", "exception" or "traceback".
bool has_severity_word(std::string_view s);

}  // namespace text

// ------------------------------------------------ keys, levels, blanks --
namespace text {

// The key words of `has_secret_like_key`, written with "_" for "-" and ".".
inline constexpr std::array<std::string_view, 10> kSecretKeyWords = {
    "password", "passwd",        "secret",     "token=",      "api_key",
    "apikey",   "authorization", "credential", "private_key", "access_key",
};

// The canonical level word for `word` (ASCII case ignored, nothing trimmed):
// one of INFO, WARN, TRACE, DEBUG, ERROR, FATAL, PANIC, ALERT, EMERG, NOTICE
// and CRITICAL, with WARNING read as WARN. The view points at constant
// storage; `normalize_level` is the same answer as a string.
std::optional<std::string_view> canonical_level(std::string_view word);

// Byte length of the Unicode whitespace character that starts at byte `pos`
// of `s`, or 0 when none does. Inline, as it is asked once per byte.
inline std::size_t whitespace_length_at(std::string_view s, std::size_t pos) {
    const auto b = static_cast<unsigned char>(s[pos]);
    if (b < 0x80) return is_ascii_whitespace(static_cast<char>(b)) ? 1 : 0;
    std::size_t len = 1;
    return is_whitespace(decode_at(s, pos, len)) ? len : 0;
}

}  // namespace text

// ------------------------------------------- HTTP response head, quoting --
namespace text {

// A text cut after an HTTP response head: the head as it stood, the blank
// line that ended it ("\r\n\r\n" or "\n\n") and the rest. Views into the text.
struct HttpResponseSplit {
    std::string_view head;
    std::string_view separator;
    std::string_view body;
};

// The head of an HTTP response at the start of `s`: everything before the
// first "\r\n\r\n" (or, when there is none, the first "\n\n"), when it is
// not empty, its first line is a status line beginning with "HTTP/" (at
// least 5 bytes), and, when it has more lines, one of them holds ":".
// Nothing otherwise.
std::optional<HttpResponseSplit> split_http_response_head(std::string_view s);

// `s` wrapped in double quotes, each backslash doubled and each double
// quote preceded by a backslash.
std::string quote_escaped(std::string_view s);

}  // namespace text

// ------------------------------------- request: normalising in pieces --
namespace text {

// normalize_and_trim_trailing_whitespace of `s`, appended to `out`. A text
// cut right after a "\n" normalises piece by piece to the same result, so
// that the entry can let each read piece go once it is normalised.
void append_normalized_and_trimmed(std::string_view s, std::string& out);

}  // namespace text

// ------------------------------------------------------ path separators --
namespace text {

// Offset of the first "/" or "\" at or after byte `from` of `s`, or its
// size when there is none. Eight bytes at a time: path lists and trees
// split every path of a large listing into components.
inline std::size_t find_path_separator(std::string_view s, std::size_t from = 0) {
    static_assert(std::endian::native == std::endian::little);
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
    auto has_zero_byte = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    std::size_t i = from;
    for (; i <= s.size() && s.size() - i >= 8; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        const std::uint64_t hits = has_zero_byte(word ^ (kOnes * '/')) | has_zero_byte(word ^ (kOnes * '\\'));
        // The lowest flagged byte is a true match: a borrow only flags the
        // bytes above one.
        if (hits != 0) return i + static_cast<std::size_t>(std::countr_zero(hits)) / 8;
    }
    while (i < s.size() && s[i] != '/' && s[i] != '\\') ++i;
    return i;
}

}  // namespace text

// ------------------------------------------------- fingerprints, scans --
namespace text {

// The place table of up to eight groups of eight-byte prints: each print
// lets its group have, at each of its places, the bytes that
// `allow_bytes(print, c, allow)` passes to `allow(byte)` for each
// character `c` written there; a place left empty allows any byte.
template <class Print, std::size_t N, class AllowBytes>
constexpr scan::PlaceTable print_table(const std::array<Print, N>& prints, AllowBytes allow_bytes) {
    constexpr std::size_t kPlaces = 8;
    scan::PlaceTable table(kPlaces);
    for (const Print& print : prints) {
        const auto bit = static_cast<std::uint8_t>(1u << print.group);
        for (std::size_t place = 0; place < kPlaces; ++place) {
            if (print.bytes[place].empty()) {
                table.allow_any(place, bit);
                continue;
            }
            for (char c : print.bytes[place])
                allow_bytes(print, c, [&](unsigned byte) { table.allow(place, static_cast<unsigned char>(byte), bit); });
        }
    }
    return table;
}

// Up to eight groups of eight-byte fingerprints, found together in one pass
// over a text, many positions at a time (scan::place_hits). A position
// matches a group when each of the eight bytes from it, with bit 5 set
// (ASCII case folded, and a few other bytes joined with their pair), is
// allowed at its place by the group. The allowed bytes are kept as low and
// high half-bytes, so a match may also be a mix of the group's
// fingerprints: a hit is only where a fingerprint may start, never missing
// one, and the caller checks it.
class FingerprintSet {
public:
    static constexpr std::size_t kPlaces = 8;
    // One fingerprint: for each of its places the bytes allowed there ("" or
    // a place past the fingerprint allows any byte; a letter allows both
    // cases), and its group (0-7).
    struct Print {
        std::array<std::string_view, kPlaces> bytes;
        unsigned group = 0;
    };
    struct Hit {
        std::size_t at = 0;
        std::uint8_t groups = 0;  // bit g for each group g that may start at `at`
    };

    template <std::size_t N>
    constexpr explicit FingerprintSet(const std::array<Print, N>& prints)
        : table_(print_table(prints, [](const Print&, char c, auto allow) { allow(static_cast<unsigned char>(c) | 0x20u); })
                     .folded()) {}

    // The first position at or after `from` where some group may start; a
    // window that runs past the end of `s` allows any byte there.
    std::optional<Hit> next(std::string_view s, std::size_t from) const {
        const scan::Hits hits = scan::place_hits(s, table_, from);
        if (!hits) return std::nullopt;
        return Hit{hits.first(), table_.groups_at(s, hits.first())};
    }

private:
    scan::PlaceTable table_;
};

// Up to eight groups of eight-byte prints looked for together in one pass.
// Unlike the `FingerprintSet`, bytes are matched in their letter case
// (a print read in any case allows both), as most signs here are words in
// one case: "return" or "error" in code or logs then leaves no hit for
// "RUN " or "ERROR ". A place allows a byte when its low and its high
// half-byte both allow the group, so a hit is where some print may start,
// never missing one; the caller checks it. The hits are visited block by
// block as the scan finds them, so a false one costs its check and no new
// start.
class ExactFingerprintSet {
public:
    static constexpr std::size_t kPlaces = 8;
    struct Print {
        std::array<std::string_view, kPlaces> bytes;
        unsigned group = 0;
        bool ignore_case = false;  // a letter allows its other case too
    };
    struct Hit {
        std::size_t at = 0;
        std::uint8_t groups = 0;
    };

    template <std::size_t N>
    constexpr explicit ExactFingerprintSet(const std::array<Print, N>& prints)
        : table_(print_table(prints, [](const Print& print, char c, auto allow) {
              allow(static_cast<unsigned char>(c));
              if (print.ignore_case && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
                  allow(static_cast<unsigned char>(c ^ 0x20));
          })) {}

    // Calls `visit(hit)` at each position of `s`, in order, where some
    // group may start, until it returns true; whether one did. A window
    // that runs past the end of `s` allows any byte there.
    template <class Visit>
    bool find_if(std::string_view s, Visit&& visit) const {
        for (scan::Hits hits = scan::place_hits(s, table_, 0); hits; hits = scan::place_hits(s, table_, hits.next()))
            for (const std::size_t at : hits)
                if (visit(Hit{at, table_.groups_at(s, at)})) return true;
        return false;
    }

private:
    scan::PlaceTable table_;
};

}  // namespace text

// ------------------------------------------------ indent of a line window --
namespace text {

// The number of spaces and tabs that begin the bytes at `at`, of which at
// least 16 are readable; 16 when all sixteen are blanks. Eight bytes a
// step: a first look that reads every line's first bytes after its indent
// then takes no branch per blank.
inline unsigned indent_within_16(const char* at) { return scan::blank_run_16(at); }

}  // namespace text

// ------------------------------------------------ line lookup near a hint --
namespace text {

// The line of `lines` that holds byte `offset`, for an offset at or after
// the start of line `from`. Scanners that jump from hit to hit mostly land a
// few lines further on: those are stepped to, and only a longer jump pays
// for the search over every line start.
inline std::size_t line_at_from(const LineIndex& lines, std::size_t offset, std::size_t from) {
    constexpr std::size_t kLinearSteps = 8;
    for (std::size_t step = 0; step < kLinearSteps; ++step, ++from)
        if (from + 1 >= lines.size() || lines.start(from + 1) > offset) return from;
    return lines.line_at(offset);
}

}  // namespace text

// ------------------------------------------------- words one at a time --
namespace text {

// The next piece of `s` between runs of Unicode whitespace, as
// split_whitespace cuts them, from byte `pos` on; `pos` is moved past it.
// Empty when no piece is left. For a reader that needs the first few
// pieces of a line and no list of them.
inline std::string_view next_word(std::string_view s, std::size_t& pos) {
    std::size_t start = std::string_view::npos;
    while (pos < s.size()) {
        // Inside a piece of plain ASCII, the common case, one test a byte.
        if (start != std::string_view::npos) {
            while (pos < s.size() && static_cast<unsigned char>(s[pos]) > ' ' && static_cast<unsigned char>(s[pos]) < 0x80)
                ++pos;
            if (pos == s.size()) break;
        }
        if (const std::size_t w = whitespace_length_at(s, pos)) {
            if (start != std::string_view::npos) return s.substr(start, pos - start);
            pos += w;
        } else {
            if (start == std::string_view::npos) start = pos;
            pos += utf8_len(static_cast<unsigned char>(s[pos]));
        }
    }
    if (start == std::string_view::npos) return {};
    return s.substr(start, std::min(pos, s.size()) - start);
}

}  // namespace text

// ------------------------------------------------- trims, ASCII at once --
namespace text {

// A byte that is a whole character and no blank: anything from "!" to "~".
inline bool is_visible_ascii(char c) { return c > ' ' && c < 0x7F; }

// trim_start and trim, answered at once where the end they look at is a
// visible ASCII byte after spaces and tabs, as on nearly every line of a
// log; anything else goes to the full Unicode trim.
inline std::string_view trim_start_fast(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    return i < s.size() && is_visible_ascii(s[i]) ? s.substr(i) : trim_start(s);
}
inline std::string_view trim_fast(std::string_view s) {
    return !s.empty() && is_visible_ascii(s.front()) && is_visible_ascii(s.back()) ? s : trim(s);
}

}  // namespace text
