#include "filters/generic_log/summary.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace filters::generic_log::summary {

namespace {

constexpr std::size_t kMaxPatternChars = 140;

constexpr auto kImportantWordSet = text::WordSet<kImportantWords.size()>::of(kImportantWords);

// File extensions that make a path-like token worth keeping.
constexpr std::array<std::string_view, 22> kPathExtensions = {
    ".py",  ".rs",   ".ts",  ".tsx", ".js",  ".jsx", ".json", ".yaml", ".yml", ".toml", ".log",
    ".txt", ".html", ".xml", ".zip", ".png", ".jpg", ".jpeg", ".csv",  ".md",  ".c",    ".cpp",
};

// What the line scans below need to know of a byte.
enum class ByteClass : std::uint8_t { other, digit, space, separator, non_ascii };

constexpr std::array<ByteClass, 256> kByteClasses = [] {
    std::array<ByteClass, 256> classes{};
    for (std::size_t b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
        classes[b] = b >= 0x80               ? ByteClass::non_ascii
                     : c >= '0' && c <= '9'  ? ByteClass::digit
                     : space                 ? ByteClass::space
                     : c == '/' || c == '\\' ? ByteClass::separator
                                             : ByteClass::other;
    }
    return classes;
}();

ByteClass byte_class(char c) { return kByteClasses[static_cast<unsigned char>(c)]; }

// ASCII that a message pattern copies as it is: no digit, no whitespace.
bool is_plain_ascii(char c) {
    const ByteClass k = byte_class(c);
    return k == ByteClass::other || k == ByteClass::separator;
}

bool has_path_separator(std::string_view s) {
    for (char c : s)
        if (byte_class(c) == ByteClass::separator) return true;
    return false;
}

// Punctuation stripped from both ends of a token before it is classified.
constexpr std::string_view kTokenTrim = "\"'(),;[]";

std::string_view strip_token_trim_set(std::string_view token) { return text::trim_chars(token, kTokenTrim); }

std::size_t ascii_letter_run(std::string_view s, std::size_t from) {
    std::size_t end = from;
    while (end < s.size() && text::is_ascii_alpha(s[end])) ++end;
    return end - from;
}

// The message that follows a level token: leading whitespace and one ":" or
// "-" separator removed.
std::string_view message_after_level(std::string_view rest) {
    rest = text::trim_start_fast(rest);
    if (!rest.empty() && (rest.front() == ':' || rest.front() == '-')) rest = text::trim_start_fast(rest.substr(1));
    return rest;
}

std::optional<ParsedLogLine> parsed_with(std::string_view word, std::string_view rest) {
    std::optional<std::string_view> level = text::canonical_level(word);
    if (!level) return std::nullopt;
    return ParsedLogLine{*level, message_after_level(rest)};
}

bool is_known_extension(std::string_view candidate) {
    for (std::string_view ext : kPathExtensions)
        if (text::equals_ignore_case(candidate, ext)) return true;
    return false;
}

// A token naming a file: it holds "/" or "\", is no URL, and ends with a known
// extension or has one right before a ":" ("src/app.py:12"). Every extension
// is "." and letters, so an extension that ends at some position starts at
// the last "." before it: one pass over the token tries each candidate.
bool is_path_token_with_known_extension(std::string_view raw_token) {
    // Either way an extension needs its ".", which the trim set does not
    // hold: a token without one is turned away before anything else.
    if (raw_token.find('.') == std::string_view::npos) return false;
    // The trim set holds neither "/" nor "\", so the raw token can be tested first.
    if (!has_path_separator(raw_token)) return false;
    const std::string_view token = strip_token_trim_set(raw_token);
    if (text::contains(token, "://")) return false;
    std::size_t dot = std::string_view::npos;
    for (std::size_t k = 0; k < token.size(); ++k) {
        if (token[k] == '.')
            dot = k;
        else if (token[k] == ':' && dot != std::string_view::npos && is_known_extension(token.substr(dot, k - dot)))
            return true;
    }
    return dot != std::string_view::npos && is_known_extension(token.substr(dot));
}

}  // namespace

namespace {

constexpr std::uint64_t kEveryByte = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = kEveryByte * 0x80;
constexpr bool kLittleEndian = std::endian::native == std::endian::little;

std::uint64_t load8(const char* s) {
    std::uint64_t x;
    std::memcpy(&x, s, sizeof x);
    return x;
}

bool is_ascii(std::string_view s) {
    std::uint64_t seen = 0;
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) seen |= load8(s.data() + i);
    for (; i < s.size(); ++i) seen |= static_cast<unsigned char>(s[i]);
    return (seen & kHighBits) == 0;
}

// How many of the eight bytes at `s` a pattern copies as they are, the
// first being plain ASCII (little-endian machines only): the run ends at a
// digit, a non-ASCII byte or an ASCII blank, except a lone space between two
// bytes of plain ASCII or digits, which the pattern keeps as it is. A space
// before another blank or a non-ASCII byte (which may be a blank too) ends
// the run, as does one in the last lane, whose next byte is not looked at.
// Each byte's test keeps to its own lane: the low seven bits plus at most
// 0x77 never carry into the next byte.
std::size_t plain_ascii_prefix8(const char* s) {
    const std::uint64_t x = load8(s);
    const std::uint64_t y = x & (kEveryByte * 0x7F);
    auto at_least = [y](unsigned char b) { return (y + kEveryByte * (0x80 - b)) & kHighBits; };
    const std::uint64_t digit = at_least('0') & ~at_least('9' + 1);
    const std::uint64_t control_blank = at_least('\t') & ~at_least('\r' + 1);
    const std::uint64_t space = ~((y ^ (kEveryByte * ' ')) + kEveryByte * 0x7F) & kHighBits;
    const std::uint64_t not_before_space = (x & kHighBits) | control_blank | space;
    constexpr std::uint64_t kLastLane = std::uint64_t{0x80} << 56;
    const std::uint64_t lone_space_stop = space & ((not_before_space >> 8) | kLastLane);
    const std::uint64_t stop = (x & kHighBits) | digit | control_blank | lone_space_stop;
    return stop == 0 ? 8 : static_cast<std::size_t>(std::countr_zero(stop)) / 8;
}

#if defined(__SSE2__)
// The same test as plain_ascii_prefix8 over sixteen bytes: how many a
// pattern copies as they are. Signed compares leave non-ASCII bytes out of
// the digits and the control blanks.
std::size_t plain_ascii_prefix16(const char* s) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    auto between = [&x](char low, char high) {
        return _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(static_cast<char>(low - 1))),
                             _mm_cmplt_epi8(x, _mm_set1_epi8(static_cast<char>(high + 1))));
    };
    const auto non_ascii = static_cast<unsigned>(_mm_movemask_epi8(x));
    const auto digit = static_cast<unsigned>(_mm_movemask_epi8(between('0', '9')));
    const auto control_blank = static_cast<unsigned>(_mm_movemask_epi8(between('\t', '\r')));
    const auto space = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8(' '))));
    const unsigned not_before_space = non_ascii | control_blank | space;
    constexpr unsigned kLastLane = 1u << 15;
    const unsigned lone_space_stop = space & ((not_before_space >> 1) | kLastLane);
    const unsigned stop = non_ascii | digit | control_blank | lone_space_stop;
    return stop == 0 ? 16 : static_cast<std::size_t>(std::countr_zero(stop));
}
#endif

// The end of the run of ASCII digits that starts at byte `i` of `s`: a long
// number is passed over sixteen bytes at a time.
std::size_t end_of_digits(std::string_view s, std::size_t i) {
#if defined(__SSE2__)
    for (; i + 16 <= s.size(); i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        const auto digits = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(x, _mm_set1_epi8('9' + 1)))));
        if (digits != 0xFFFF) return i + static_cast<std::size_t>(std::countr_zero(~digits));
    }
#endif
    return i + text::digit_run(s, i);
}

}  // namespace

// The line's whitespace-separated tokens, tried without copies; only a
// token that holds "/" or "\" is looked at closely. In an ASCII line every
// blank is one byte, so the search jumps from separator to separator and
// widens each to its token.
bool has_known_file_token(std::string_view line) {
    std::size_t slash = line.find('/');
    std::size_t backslash = line.find('\\');
    if (slash == std::string_view::npos && backslash == std::string_view::npos) return false;
    if (!is_ascii(line)) return text::any_word(line, is_path_token_with_known_extension);
    std::size_t from = 0;  // where the previous token ended
    while (true) {
        if (slash != std::string_view::npos && slash < from) slash = line.find('/', from);
        if (backslash != std::string_view::npos && backslash < from) backslash = line.find('\\', from);
        const std::size_t separator = std::min(slash, backslash);
        if (separator == std::string_view::npos) return false;
        std::size_t start = separator;
        std::size_t end = separator + 1;
        while (start > from && !text::is_ascii_whitespace(line[start - 1])) --start;
        while (end < line.size() && !text::is_ascii_whitespace(line[end])) ++end;
        if (is_path_token_with_known_extension(line.substr(start, end - start))) return true;
        from = end;
    }
}

bool is_low_severity(std::string_view level) { return level == "INFO" || level == "DEBUG" || level == "TRACE"; }

bool is_timestamp_core(std::string_view s) {
    if (s.size() < 19) return false;
    if (s[4] != '-' || s[7] != '-' || (s[10] != ' ' && s[10] != 'T') || s[13] != ':' || s[16] != ':') return false;
    // The digits of "YYYY-MM-" and "DD?HH:MM" are tested eight bytes at a
    // time (little-endian machines): in each digit's lane the high half is
    // 3 and the low half plus 6 stays below 16. Those of ":SS" one by one.
    if constexpr (kLittleEndian) {
        auto digits_in = [](std::uint64_t word, std::uint64_t lanes) {
            const std::uint64_t high = word & lanes & (kEveryByte * 0xF0);
            const std::uint64_t low_plus_six = ((word & lanes & (kEveryByte * 0x0F)) + (lanes & (kEveryByte * 0x06)));
            return high == (lanes & (kEveryByte * 0x30)) && (low_plus_six & (kEveryByte * 0xF0)) == 0;
        };
        constexpr std::uint64_t kDateLanes = 0x00FFFF00FFFFFFFFULL;  // bytes 0-3, 5, 6
        constexpr std::uint64_t kTimeLanes = 0xFFFF00FFFF00FFFFULL;  // bytes 8, 9, 11, 12, 14, 15
        return digits_in(load8(s.data()), kDateLanes) && digits_in(load8(s.data() + 8), kTimeLanes) &&
               text::is_ascii_digit(s[17]) && text::is_ascii_digit(s[18]);
    }
    constexpr std::array<std::size_t, 14> digits = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18};
    for (std::size_t pos : digits)
        if (!text::is_ascii_digit(s[pos])) return false;
    return true;
}

std::optional<ParsedLogLine> parse_level_prefix(std::string_view text, bool after_timestamp) {
    std::string_view s = text::trim_start_fast(text);
    if (s.empty()) return std::nullopt;

    // "[warn] ...": a bracket that holds no level ends the attempt.
    if (s.front() == '[') {
        std::size_t close = s.find(']', 1);
        if (close != std::string_view::npos) return parsed_with(s.substr(1, close - 1), s.substr(close + 1));
    }

    // "level=info ...": an empty word falls through to the bare form.
    if (s.size() >= 7 && (s[0] | 0x20) == 'l' && text::starts_with_ignore_case(s, "level=")) {
        std::size_t len = ascii_letter_run(s, 6);
        if (len > 0) return parsed_with(s.substr(6, len), s.substr(6 + len));
    }

    // "ERROR: ...", or "ERROR ..." behind a timestamp.
    std::size_t len = ascii_letter_run(s, 0);
    if (len < 3 || len > 8) return std::nullopt;
    std::optional<std::string_view> level = text::canonical_level(s.substr(0, len));
    if (!level) return std::nullopt;
    std::string_view rest = s.substr(len);
    if (rest.empty()) {
        if (!after_timestamp) return std::nullopt;
    } else if (rest.front() != ':' && rest.front() != '-') {
        if (!after_timestamp || text::whitespace_length_at(rest, 0) == 0) return std::nullopt;
    }
    return ParsedLogLine{*level, message_after_level(rest)};
}

std::optional<ParsedLogLine> parse_log_line(std::string_view line) {
    std::string_view t = text::trim_fast(line);
    if (t.empty()) return std::nullopt;

    if (t.front() == '[') {
        std::size_t close = t.find(']', 1);
        if (close != std::string_view::npos && is_timestamp_core(t.substr(1, close - 1)))
            return parse_level_prefix(t.substr(close + 1), true);
    }

    if (t.size() >= 20 && is_timestamp_core(t)) {
        // Fractions, zones and offsets ("," ".123" "Z" "+02:00") belong to the timestamp.
        std::size_t i = 19;
        while (i < t.size() && (text::is_ascii_digit(t[i]) || t[i] == '+' || t[i] == ',' || t[i] == '-' ||
                                t[i] == '.' || t[i] == ':' || t[i] == 'Z'))
            ++i;
        if (i < t.size()) return parse_level_prefix(t.substr(i), true);
    }

    return parse_level_prefix(t, false);
}

bool is_important_line(std::string_view line, const std::optional<ParsedLogLine>& parsed) {
    if (parsed && !is_low_severity(parsed->level)) return true;
    return kImportantWordSet.found_in(line) || has_known_file_token(line);
}

std::string_view write_message_pattern_into(std::string_view message, std::string& buffer) {
    const std::string_view m = text::trim_fast(message);
    // The pattern grows from the left and is cut at 140 characters, so it is
    // written only until it has more than that: at most four bytes a
    // character, plus a blank and "<num>" for the last piece; and never more
    // than five bytes for a byte of the message. Sixteen bytes more let a
    // run be copied sixteen bytes at a time. The buffer is cut to length
    // after.
    constexpr std::size_t kBufferBytes = 4 * kMaxPatternChars + 16;
    constexpr std::size_t kCopyBytes = 16;
    // The buffer only grows: it is not cut, so bytes are not cleared again
    // line after line.
    const std::size_t need = (m.size() < kBufferBytes / 5 ? m.size() * 5 : kBufferBytes) + kCopyBytes;
    if (buffer.size() < need) buffer.resize(need);
    char* const begin = buffer.data();
    char* p = begin;
    std::size_t chars = 0;
    bool pending_space = false;
    bool ascii = true;
    auto separate = [&] {
        if (pending_space && p != begin) {
            *p++ = ' ';
            ++chars;
        }
        pending_space = false;
    };
    std::size_t i = 0;
    while (i < m.size() && chars <= kMaxPatternChars) {
        const ByteClass c = byte_class(m[i]);
        if (c == ByteClass::digit) {
            i = end_of_digits(m, i);
            // One fraction belongs to the number: "1.25" is one value, "1.2.3" two.
            if (i + 1 < m.size() && m[i] == '.' && text::is_ascii_digit(m[i + 1])) i = end_of_digits(m, i + 1);
            separate();
            for (char ch : std::string_view("<num>")) *p++ = ch;
            chars += 5;
        } else if (c == ByteClass::space) {
            pending_space = true;
            ++i;
        } else if (c == ByteClass::non_ascii) {
            std::size_t len = 1;
            if (text::is_whitespace(text::decode_at(m, i, len))) {
                pending_space = true;
            } else {
                separate();
                ascii = false;
                for (std::size_t k = 0; k < len; ++k) *p++ = m[i + k];
                ++chars;
            }
            i += len;
        } else {
            // Other ASCII is copied a run at a time, sixteen or eight bytes
            // at a step where it can, lone spaces between words included;
            // bytes past the run are overwritten or cut off. A step that
            // copies less than its width has met a byte that is not copied
            // as it is, which ends the run.
            separate();
            bool stopped = false;
#if defined(__SSE2__)
            while (!stopped && i + kCopyBytes <= m.size() && chars <= kMaxPatternChars) {
                const std::size_t run = plain_ascii_prefix16(m.data() + i);
                std::memcpy(p, m.data() + i, kCopyBytes);
                p += run;
                i += run;
                chars += run;
                stopped = run < kCopyBytes;
            }
#endif
            if constexpr (kLittleEndian) {
                while (!stopped && i + 8 <= m.size() && chars <= kMaxPatternChars) {
                    const std::size_t run = plain_ascii_prefix8(m.data() + i);
                    std::memcpy(p, m.data() + i, 8);
                    p += run;
                    i += run;
                    chars += run;
                    stopped = run < 8;
                }
            }
            while (!stopped && i < m.size() && chars <= kMaxPatternChars && is_plain_ascii(m[i])) {
                *p++ = m[i++];
                ++chars;
            }
        }
    }
    const auto size = static_cast<std::size_t>(p - begin);
    if (size == 0) return "<empty message>";
    if (chars > kMaxPatternChars) {
        // An ASCII pattern has as many characters as bytes. More than 140
        // characters were written, so "..." fits where the cut falls.
        const std::size_t cut =
            ascii ? kMaxPatternChars - 3 : text::take_chars(std::string_view(begin, size), kMaxPatternChars - 3).size();
        std::memcpy(begin + cut, "...", 3);
        return std::string_view(begin, cut + 3);
    }
    return std::string_view(begin, size);
}

void write_message_pattern(std::string_view message, std::string& out) {
    const std::string_view pattern = write_message_pattern_into(message, out);
    if (pattern.data() != out.data()) {
        out.assign(pattern);
        return;
    }
    out.resize(pattern.size());
}

std::string normalized_message_pattern(const ParsedLogLine& parsed) {
    std::string out;
    write_message_pattern(parsed.message, out);
    return out;
}

}  // namespace filters::generic_log::summary
