#include "filters/opaque_payload/detector.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <unordered_map>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace filters::opaque_payload::detector {

namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr std::size_t kMinTokenBytes = 1024;
constexpr double kMaxScriptWhitespace = 0.1;
constexpr double kMaxDenseWhitespace = 0.01;
constexpr std::size_t kMinRunLineBytes = 32;
constexpr std::size_t kMinRunLines = 4;
constexpr std::size_t kMinRunBytes = 2048;
constexpr std::size_t kMinPemLabelLine = 17;
constexpr std::size_t kMinPemContentLines = 4;
constexpr std::size_t kMinPemBodyBytes = 512;
constexpr std::size_t kMaxPemHeaderBytes = 80;
constexpr std::size_t kMaxPemShortLine = 15;
constexpr std::size_t kMaxDataUrlHeaderOffset = 256;
constexpr std::size_t kMinDataUrlPayload = 2048;
constexpr std::size_t kMinDataUrlBytes = 4096;
constexpr double kMinDataUrlBase64Share = 0.95;

constexpr std::string_view kPemBegin = "-----BEGIN ";
constexpr std::string_view kPemEnd = "-----END ";
constexpr std::string_view kPemDashes = "-----";

// Byte classes, one bit each.
enum : std::uint8_t {
    kAnyBase64 = 1,    // the 67 characters of either alphabet
    kStandard = 2,     // A-Z a-z 0-9 + / =
    kUrlSafe = 4,      // A-Z a-z 0-9 - _ =
    kHex = 8,          // 0-9 a-f A-F
    kStructural = 16,  // { } [ ] " ' : , < > ;
};

constexpr std::array<std::uint8_t, 256> make_classes() {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        std::uint8_t bits = 0;
        const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (alnum || c == '+' || c == '/' || c == '=') bits |= kStandard;
        if (alnum || c == '-' || c == '_' || c == '=') bits |= kUrlSafe;
        if (bits) bits |= kAnyBase64;
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) bits |= kHex;
        for (char s : std::string_view("{}[]\"':,<>;"))
            if (c == static_cast<unsigned char>(s)) bits |= kStructural;
        t[static_cast<std::size_t>(c)] = bits;
    }
    return t;
}
constexpr std::array<std::uint8_t, 256> kClasses = make_classes();

std::uint8_t class_of(char c) { return kClasses[static_cast<unsigned char>(c)]; }

bool is_char_start(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

bool all_hex(std::string_view s) {
    for (char c : s)
        if (!(class_of(c) & kHex)) return false;
    return true;
}

bool is_opaque_string(std::string_view s, std::string_view key) {
    if (text::equals_ignore_case(key, "mappings")) return true;
    if (s.starts_with("data:")) return true;
    if (is_base64_token(s)) return true;
    const double spaces = whitespace_ratio(s);
    if (spaces <= kMaxScriptWhitespace &&
        (text::contains_ignore_case(s, "function") || text::contains_ignore_case(s, "webpack") ||
         text::contains_any(s, {"=>", "(()=>", "!function"})))
        return true;
    return spaces <= kMaxDenseWhitespace;
}

// A line that may belong to a run of base64 lines.
bool is_run_line(std::string_view line) {
    return line.size() >= kMinRunLineBytes && valid_base64_shape(line) && !looks_like_path_or_diff_line(line);
}

// The label of a PEM BEGIN line (trimmed), or nothing.
std::optional<std::string_view> pem_begin_label(std::string_view b) {
    if (b.size() < kMinPemLabelLine || !b.starts_with(kPemBegin) || !b.ends_with(kPemDashes)) return std::nullopt;
    const std::string_view label = b.substr(kPemBegin.size(), b.size() - kPemBegin.size() - kPemDashes.size());
    if (label.empty()) return std::nullopt;
    const auto upper_or_digit = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
    if (!upper_or_digit(label[0])) return std::nullopt;
    for (char c : label)
        if (!upper_or_digit(c) && c != ' ' && c != '-' && c != '.' && c != '_') return std::nullopt;
    return label;
}

// Where the END lines of each label stand, found once when the first BEGIN
// line turns up, so that BEGIN lines without an END line cost no search
// each. The cursor of each label only moves forward, as BEGIN lines are
// met in line order.
class PemEndLines {
public:
    explicit PemEndLines(const text::LineIndex& lines) {
        for (std::size_t j = 0; j < lines.size(); ++j) {
            const std::string_view b = text::trim(lines[j]);
            if (b.size() < kPemEnd.size() + kPemDashes.size() || !b.starts_with(kPemEnd) || !b.ends_with(kPemDashes))
                continue;
            const std::string_view label = b.substr(kPemEnd.size(), b.size() - kPemEnd.size() - kPemDashes.size());
            by_label_[label].lines.push_back(j);
        }
    }

    // The first END line of `label` after line `i`.
    std::optional<std::size_t> first_after(std::string_view label, std::size_t i) {
        const auto it = by_label_.find(label);
        if (it == by_label_.end()) return std::nullopt;
        Ends& ends = it->second;
        while (ends.next < ends.lines.size() && ends.lines[ends.next] <= i) ++ends.next;
        if (ends.next == ends.lines.size()) return std::nullopt;
        return ends.lines[ends.next];
    }

private:
    struct Ends {
        std::vector<std::size_t> lines;
        std::size_t next = 0;
    };
    std::unordered_map<std::string_view, Ends> by_label_;
};

// Byte length of lines [from, to) joined with "\n" (0 for none).
std::size_t joined_bytes(const text::LineIndex& lines, std::size_t from, std::size_t to) {
    if (from >= to) return 0;
    const std::size_t last = to - 1;
    return lines.start(last) + lines[last].size() - lines.start(from);
}

// Whether the lines strictly between a BEGIN line and its END line are the
// body of a PEM block.
bool is_pem_body(const text::LineIndex& lines, std::size_t begin, std::size_t end) {
    std::size_t content = 0;
    std::size_t data = 0;
    for (std::size_t k = begin + 1; k < end; ++k) {
        const std::string_view c = text::trim(lines[k]);
        if (c.empty()) continue;
        ++content;
        if (c.size() <= kMaxPemHeaderBytes && c.find(':') != npos) continue;  // "Proc-Type: 4,ENCRYPTED"
        if (c.size() <= kMaxPemShortLine) return false;
        // A valid shape holds only alphabet characters: no whitespace and
        // nothing structural.
        if (!valid_base64_shape(c)) return false;
        ++data;
    }
    if (content < kMinPemContentLines && joined_bytes(lines, begin + 1, end) < kMinPemBodyBytes) return false;
    return data > 0;
}

// The first "data:" at or after `from`, or npos. A plain search stops at
// every "d" of ordinary text; this one tests sixteen starts at a time for
// a "d" with a ":" four bytes later, which ordinary text seldom has.
std::size_t find_data_scheme(std::string_view s, std::size_t from) {
    constexpr std::string_view kScheme = "data:";
    if (s.size() < kScheme.size()) return npos;
    const std::size_t last = s.size() - kScheme.size();
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8('d');
    const __m128i colon = _mm_set1_epi8(':');
    while (i + 16 + kScheme.size() - 1 <= s.size()) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i + 4));
        unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, colon))));
        while (mask != 0) {
            const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
            if (s.compare(at + 1, 3, "ata") == 0) return at;
            mask &= mask - 1;
        }
        i += 16;
    }
#endif
    for (; i <= last; ++i)
        if (s[i] == 'd' && s.compare(i, kScheme.size(), kScheme) == 0) return i;
    return npos;
}

// The first position at or after a given one where a search succeeds (the
// text's end when none does), kept from one question to the next: asked
// with positions that only grow, it reads each stretch of text once.
class NextCharWhere {
public:
    // The first position at or after `from` that the search stops at, or the text's size.
    using Search = std::size_t (*)(std::string_view, std::size_t);
    NextCharWhere(std::string_view s, Search search) : s_(s), search_(search) {}

    std::size_t at_or_after(std::size_t from) {
        if (asked_ && from >= from_ && from <= found_) return found_;
        from_ = from;
        found_ = std::min(search_(s_, from), s_.size());
        asked_ = true;
        return found_;
    }

private:
    std::string_view s_;
    Search search_;
    std::size_t from_ = 0;
    std::size_t found_ = 0;
    bool asked_ = false;
};

bool is_mime_char(char c) { return text::is_ascii_alnum(c) || c == '+' || c == '-' || c == '.'; }

bool is_mime_word(std::string_view w) {
    if (w.empty()) return false;
    for (char c : w)
        if (!is_mime_char(c)) return false;
    return true;
}

#if defined(__SSE2__)
__m128i load16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
__m128i eq16(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }
unsigned mask16(__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); }
// 0xFF for each byte that is a base64 character of either alphabet.
__m128i base64_bytes16(__m128i v) {
    // Signed compares: bytes of 0x80 and above are negative and fall in no range.
    const auto in_range = [](__m128i x, char lo, char hi) {
        return _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(static_cast<char>(lo - 1))),
                             _mm_cmplt_epi8(x, _mm_set1_epi8(static_cast<char>(hi + 1))));
    };
    // Setting bit 5 maps "A"-"Z" onto "a"-"z" and no other byte into that range.
    const __m128i letters = in_range(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 'z');
    const __m128i slash_digits = in_range(v, '/', '9');
    const __m128i signs =
        _mm_or_si128(_mm_or_si128(eq16(v, '+'), eq16(v, '-')), _mm_or_si128(eq16(v, '='), eq16(v, '_')));
    return _mm_or_si128(_mm_or_si128(letters, slash_digits), signs);
}
#endif

// The first byte at or after `from` that is not a base64 character of
// either alphabet, or the text's size. Base64 characters are ASCII, so a
// search that starts on a character boundary stops on one.
std::size_t first_non_base64(std::string_view s, std::size_t from) {
    std::size_t p = from;
#if defined(__SSE2__)
    for (; p + 16 <= s.size(); p += 16) {
        const unsigned others = ~mask16(base64_bytes16(load16(s.data() + p))) & 0xFFFFu;
        if (others != 0) return p + static_cast<std::size_t>(std::countr_zero(others));
    }
#endif
    while (p < s.size() && (class_of(s[p]) & kAnyBase64)) ++p;
    return p;
}

// ASCII bytes that end the header or the payload of a data: URL.
constexpr std::array<bool, 128> make_data_url_stops() {
    std::array<bool, 128> t{};
    for (char c : std::string_view("\"')<>]`} \t\n\v\f\r")) t[static_cast<unsigned char>(c)] = true;
    return t;
}
constexpr std::array<bool, 128> kDataUrlStops = make_data_url_stops();

// The first character at or after `from` (a character boundary) that ends
// a data: URL's header or payload: one of the ASCII stops or any
// whitespace character, the text's size when none does.
std::size_t first_data_url_stop(std::string_view s, std::size_t from) {
    std::size_t p = from;
    while (p < s.size()) {
        const auto b = static_cast<unsigned char>(s[p]);
        if (b < 0x80) {
            if (kDataUrlStops[b]) return p;
            ++p;
        } else {
            if (text::whitespace_length_at(s, p) != 0) return p;
            p += text::utf8_len(b);
        }
    }
    return p;
}

std::size_t first_comma(std::string_view s, std::size_t from) {
    const std::size_t at = s.find(',', from);
    return at == npos ? s.size() : at;
}

// One pass over the text, sixteen bytes at a time, that finds the lines
// where a line payload may start and notes any "data:" on the way. A line
// can start a PEM block only when, after its indent, it begins with
// "-----BEGIN ", and can belong to a base64 run or be a token only when it
// begins with sixteen base64 characters; other lines are never looked at
// one by one, so an ordinary text is read about once.
class PayloadSignScanner {
public:
    explicit PayloadSignScanner(std::string_view s) : s_(s) {}

    // The start of the first line at or after the line start `from` that
    // may hold a payload; the text's size when there is none.
    std::size_t next_line(std::size_t from) {
        if (from < s_.size() && may_be_base64_line(from)) return from;
        std::size_t p = from;
#if defined(__SSE2__)
        // Sixteen bytes at a time, with the next sixteen classified ahead:
        // a line start is a candidate when the sixteen bytes from it look
        // like base64 characters, which masks tell without a branch per line.
        if (p + 32 + 4 <= s_.size()) {
            __m128i at0 = load(p);
            unsigned base64_here = mask(roughly_base64_bytes(at0));
            unsigned carry = 0;  // a newline ends the previous block (not before `from`: that line was tested)
            while (p + 32 + 4 <= s_.size()) {
                const __m128i next = load(p + 16);
                const unsigned base64_next = mask(roughly_base64_bytes(next));
                const __m128i at4 = load(p + 4);
                const unsigned signs = mask(
                    _mm_or_si128(_mm_and_si128(eq(at0, 'd'), eq(at4, ':')), _mm_and_si128(eq(at0, '-'), eq(at4, 'G'))));
                // Bit j of `run`: bytes j to j + 15 all look like base64.
                std::uint32_t run = base64_here | (base64_next << 16);
                run &= run >> 1;
                run &= run >> 2;
                run &= run >> 4;
                run &= run >> 8;
                const unsigned nl = mask(eq(at0, '\n'));
                const unsigned starts = ((nl << 1) | carry) & 0xFFFFu;
                carry = nl >> 15;
                std::size_t found = npos;
                for (unsigned lines = starts & run; lines != 0 && found == npos; lines &= lines - 1) {
                    const std::size_t start = p + static_cast<std::size_t>(std::countr_zero(lines));
                    if (all_base64_at(start) && is_base64_line_at(start)) found = start;
                }
                if (signs != 0) {
                    const unsigned data = mask(_mm_and_si128(eq(at0, 'd'), eq(at4, ':')));
                    if (data != 0 && !data_scheme_seen_) note_data_schemes(p, data);
                    // A "-" with a "G" four bytes later ("--BEGIN") is rare in
                    // other text; only then is the start of its line looked up.
                    for (unsigned b = mask(_mm_and_si128(eq(at0, '-'), eq(at4, 'G'))); b != 0; b &= b - 1) {
                        const std::size_t start =
                            begin_line_start(from, p + 1 + static_cast<std::size_t>(std::countr_zero(b)));
                        if (start != npos) {
                            found = std::min(found, start);
                            break;
                        }
                    }
                }
                if (found != npos) return found;
                p += 16;
                at0 = next;
                base64_here = base64_next;
            }
            // A newline at the end of the last block read starts a line
            // that the loop below must still see.
            if (carry != 0) --p;
        }
#endif
        for (; p < s_.size(); ++p) {
            if (!data_scheme_seen_ && s_.compare(p, 5, "data:") == 0) data_scheme_seen_ = true;
            if (s_[p] == '\n' && p + 1 < s_.size() && may_be_base64_line(p + 1)) return p + 1;
            if (s_.compare(p, 2, "-B") == 0) {
                const std::size_t start = begin_line_start(from, p);
                if (start != npos) return start;
            }
        }
        return s_.size();
    }

    // Whether the line that starts at `start` is at least 32 bytes of base64
    // characters and nothing else, as every line of a run and every token
    // is. Lines of text that merely begin like base64 (a path, an
    // identifier) stop at their first other character.
    bool is_base64_line_at(std::size_t start) const {
        const std::size_t end = first_non_base64(s_, start);
        return (end == s_.size() || s_[end] == '\n') && end - start >= kMinRunLineBytes;
    }

    // Notes a "data:" in a line that the caller reads itself rather than
    // leaving it to the scan.
    void note_line(std::string_view line) {
        if (!data_scheme_seen_ && find_data_scheme(line, 0) != npos) data_scheme_seen_ = true;
    }

    bool data_scheme_seen() const { return data_scheme_seen_; }

private:
    // Whether the line that starts at `start` begins with sixteen base64
    // characters, as every line of a base64 run or token does.
    bool may_be_base64_line(std::size_t start) const {
        // Most lines fail on their first two bytes (an indent, a bracket, a
        // quote, a diff sign before a blank).
        return start + 16 <= s_.size() && (class_of(s_[start]) & class_of(s_[start + 1]) & kAnyBase64) &&
               all_base64_at(start);
    }

    // The start of the line that holds the "-B" at `at` when that line,
    // after its indent, begins with "-----BEGIN "; npos otherwise. `from`
    // is a line start at or before `at`.
    std::size_t begin_line_start(std::size_t from, std::size_t at) {
        if (at < from + 4 || s_.compare(at - 4, kPemBegin.size(), kPemBegin) != 0) return npos;
        // The line start is searched for backwards only as far as the last
        // search went, so that many BEGIN markers on one long line cost one
        // pass over it.
        if (line_searched_to_ < from || line_searched_to_ > at - 4) line_searched_to_ = line_start_ = from;
        const std::string_view unread = s_.substr(line_searched_to_, at - 4 - line_searched_to_);
        const std::size_t nl = unread.rfind('\n');
        if (nl != npos) line_start_ = line_searched_to_ + nl + 1;
        line_searched_to_ = at - 4;
        if (!text::trim_start(s_.substr(line_start_, at - 4 - line_start_)).empty()) return npos;
        return line_start_;
    }

#if defined(__SSE2__)
    __m128i load(std::size_t p) const { return load16(s_.data() + p); }
    static __m128i eq(__m128i v, char c) { return eq16(v, c); }
    static unsigned mask(__m128i v) { return mask16(v); }
    bool all_base64_at(std::size_t p) const { return mask(base64_bytes16(load(p))) == 0xFFFF; }
    // 0xFF for a superset of the base64 bytes that is cheaper to find: any
    // byte above "*" (so no blank, quote, bracket or byte of 0x80 and up)
    // but ",", "." and ":", which break most words of text. Candidates are
    // checked exactly afterwards.
    static __m128i roughly_base64_bytes(__m128i v) {
        const __m128i above = _mm_cmpgt_epi8(v, _mm_set1_epi8('*'));
        const __m128i punct = _mm_or_si128(_mm_or_si128(eq(v, ','), eq(v, '.')), eq(v, ':'));
        return _mm_andnot_si128(punct, above);
    }
    void note_data_schemes(std::size_t p, unsigned candidates) {
        for (; candidates != 0; candidates &= candidates - 1)
            if (s_.compare(p + static_cast<std::size_t>(std::countr_zero(candidates)), 5, "data:") == 0)
                data_scheme_seen_ = true;
    }
#else
    bool all_base64_at(std::size_t p) const {
        for (std::size_t k = p; k < p + 16; ++k)
            if (!(class_of(s_[k]) & kAnyBase64)) return false;
        return true;
    }
#endif

    std::string_view s_;
    bool data_scheme_seen_ = false;
    std::size_t line_searched_to_ = 0;  // begin_line_start has read the text up to here
    std::size_t line_start_ = 0;        // the start of the line that holds that position
};

// The line that holds byte `offset`, found by walking forward from line `i`.
std::size_t line_holding(const text::LineIndex& lines, std::size_t i, std::size_t offset) {
    while (i + 1 < lines.size() && lines.start(i + 1) <= offset) ++i;
    return i;
}

// ------------------------------------------------------- declining early --
// Three tests, each failed by every text that holds no payload of one kind,
// together far cheaper than the scan: most texts hold none and are declined
// on them.

// A base64 run or token lies in a group of consecutive lines, each of at
// least kMinRunLineBytes base64 characters, of at least kMinTokenBytes in
// all (a token is one such line; a run's lines total twice that). The
// group's bytes are base64 characters and the newlines between its lines,
// and two of its newlines stand more than kMinRunLineBytes apart. A group of
// kMinTokenBytes holds the whole of one of the aligned windows of half that
// size, so a text in which every window breaks one of those rules holds no
// group. Most windows of other text break them in their first bytes.
constexpr std::size_t kGroupWindow = kMinTokenBytes / 2;
static_assert(kMinRunBytes >= kMinTokenBytes);

bool window_may_lie_in_group(std::string_view w) {
    std::size_t last_newline = npos;
    std::size_t p = 0;
#if defined(__SSE2__)
    for (; p + 16 <= w.size(); p += 16) {
        const __m128i v = load16(w.data() + p);
        const __m128i newline = eq16(v, '\n');
        if (mask16(_mm_or_si128(base64_bytes16(v), newline)) != 0xFFFF) return false;
        for (unsigned nl = mask16(newline); nl != 0; nl &= nl - 1) {
            const std::size_t at = p + static_cast<std::size_t>(std::countr_zero(nl));
            if (last_newline != npos && at - last_newline <= kMinRunLineBytes) return false;
            last_newline = at;
        }
    }
#endif
    for (; p < w.size(); ++p) {
        if (w[p] == '\n') {
            if (last_newline != npos && p - last_newline <= kMinRunLineBytes) return false;
            last_newline = p;
        } else if (!(class_of(w[p]) & kAnyBase64)) {
            return false;
        }
    }
    return true;
}

// Whether byte `q` of `s` is one that every search for the end of a data:
// URL stops at when it gets there: a blank, a newline or a quote that no
// lead byte before it claims as part of its sequence (the searches step a
// character at a time, and in a malformed text might step over it).
bool is_sure_url_stop(std::string_view s, std::size_t q) {
    const char c = s[q];
    if (c != ' ' && c != '\n' && c != '"' && c != '\'') return false;
    for (std::size_t k = 1; k <= 3 && k <= q; ++k) {
        const auto lead = static_cast<unsigned char>(s[q - k]);
        if (lead >= 0xC0 && text::utf8_len(lead) > k) return false;
    }
    return true;
}

// A data: URL that is replaced, found at "data:" at m with h = m + 5, has
// its header's comma in (h, h + kMaxDataUrlHeaderOffset + 1] and at least
// kMinDataUrlPayload bytes after it (a shorter payload leaves it under
// kMinDataUrlBytes in all), and no byte from h to its end stops it. So the
// first comma c after h lies in that range and the first sure stop at or
// after h comes no sooner than c + 1 + kMinDataUrlPayload. Positions only
// grow from one "data:" to the next, and both searches keep what they found,
// so a text is read once however many "data:" it holds.
static_assert(5 + kMaxDataUrlHeaderOffset + 1 + 1 + kMinDataUrlPayload <= kMinDataUrlBytes,
              "a payload under kMinDataUrlPayload leaves a URL under kMinDataUrlBytes");
class DataUrlSigns {
public:
    explicit DataUrlSigns(std::string_view s) : s_(s) {}

    bool may_start_at(std::size_t m) {
        const std::size_t h = m + 5;
        if (comma_ == npos) return false;
        if (comma_ <= h) {
            const std::size_t from = h + 1;
            const void* c = from < s_.size() ? std::memchr(s_.data() + from, ',', s_.size() - from) : nullptr;
            comma_ = c ? static_cast<std::size_t>(static_cast<const char*>(c) - s_.data()) : npos;
            if (comma_ == npos) return false;
        }
        if (comma_ - h > kMaxDataUrlHeaderOffset + 1) return false;
        const std::size_t needed = comma_ + 1 + kMinDataUrlPayload;
        if (stop_ < h) stop_ = h;  // [h, stop_) holds no sure stop
        while (stop_ < needed && stop_ < s_.size() && !is_sure_url_stop(s_, stop_)) ++stop_;
        return stop_ >= needed;
    }

    // Whether no later "data:" can start a URL (no comma follows).
    bool exhausted() const { return comma_ == npos; }

private:
    std::string_view s_;
    std::size_t comma_ = 0;  // the first comma after the last h asked, npos when none
    std::size_t stop_ = 0;   // no sure stop from the last h asked up to here
};

// The signs of a PEM block (a "-----BEGIN " with a "-----END " after it:
// its BEGIN and END lines begin so after their indent) and of a data: URL
// that may be long enough. The signs are a "-" with a "G" (before the first
// BEGIN) or a "D" (after it) four bytes later and a "d" with a ":" four bytes
// later, rare in other text; each is checked where it turns up, in order.
class PemAndUrlSigns {
public:
    explicit PemAndUrlSigns(std::string_view s) : s_(s), urls_(s) {}

    // Whether the sign at q (its "-" or "d") starts what may be a payload.
    bool at(std::size_t q) {
        // A byte or two rules out most signs before any comparison.
        if (s_[q] == 'd')
            return s_[q + 1] == 'a' && s_.compare(q, kScheme.size(), kScheme) == 0 && urls_.may_start_at(q);
        if (q < 3 || s_[q - 1] != '-') return false;
        if (!begin_seen_) {
            begin_seen_ = s_.compare(q - 3, kPemBegin.size(), kPemBegin) == 0;
            return false;
        }
        return s_.compare(q - 3, kPemEnd.size(), kPemEnd) == 0;
    }

    bool is_sign(std::size_t q) const {
        return q + 4 < s_.size() && ((s_[q] == '-' && s_[q + 4] == dash_sign()) || (s_[q] == 'd' && s_[q + 4] == ':'));
    }
    char dash_sign() const { return begin_seen_ ? 'D' : 'G'; }
    bool begin_seen() const { return begin_seen_; }
    bool urls_exhausted() const { return urls_.exhausted(); }

private:
    static constexpr std::string_view kScheme = "data:";
    std::string_view s_;
    DataUrlSigns urls_;
    bool begin_seen_ = false;
};

}  // namespace

bool is_hex_only(std::string_view s) {
    const std::string_view t = text::trim(s);
    return !t.empty() && all_hex(t);
}

double base64_ratio(std::string_view s) {
    std::size_t chars = 0;
    std::size_t hits = 0;
    for (char c : s) {
        if (!is_char_start(c)) continue;
        ++chars;
        if (class_of(c) & kAnyBase64) ++hits;
    }
    return static_cast<double>(hits) / static_cast<double>(chars);
}

double whitespace_ratio(std::string_view s) {
    std::size_t chars = 0;
    std::size_t spaces = 0;
    for (std::size_t i = 0; i < s.size(); i += text::utf8_len(static_cast<unsigned char>(s[i]))) {
        ++chars;
        if (text::whitespace_length_at(s, i) != 0) ++spaces;
    }
    return static_cast<double>(spaces) / static_cast<double>(chars);
}

bool has_structural_payload_chars(std::string_view s) { return s.find_first_of("{}[]\"':,<>;") != npos; }

bool looks_like_path_or_diff_line(std::string_view s) {
    if (s.empty()) return false;
    if (s[0] == '+' || s[0] == '-') return true;
    std::size_t slashes = 0;
    for (char c : s) slashes += c == '/' ? 1 : 0;
    if (slashes >= 2 && slashes * 8 >= s.size()) return true;
    return slashes >= 3 && s.front() != '/' && s.back() != '/' && s.find("//") == npos;
}

bool valid_base64_shape(std::string_view s) {
    // A character outside both alphabets fails the alphabet rule whatever
    // the share, so every character must be one of the 67: the share is
    // then 1 and the walk stops at the first stranger.
    if (s.empty()) return false;
    bool standard_only = false;  // holds "+" or "/"
    bool url_only = false;       // holds "-" or "_"
    std::size_t p = 0;
#if defined(__SSE2__)
    __m128i standard = _mm_setzero_si128();
    __m128i url = _mm_setzero_si128();
    for (; p + 16 <= s.size(); p += 16) {
        const __m128i v = load16(s.data() + p);
        if (mask16(base64_bytes16(v)) != 0xFFFFu) return false;
        standard = _mm_or_si128(standard, _mm_or_si128(eq16(v, '+'), eq16(v, '/')));
        url = _mm_or_si128(url, _mm_or_si128(eq16(v, '-'), eq16(v, '_')));
    }
    standard_only = mask16(standard) != 0;
    url_only = mask16(url) != 0;
#endif
    for (; p < s.size(); ++p) {
        const std::uint8_t k = class_of(s[p]);
        if (!(k & kAnyBase64)) return false;
        if (!(k & kUrlSafe)) standard_only = true;
        if (!(k & kStandard)) url_only = true;
    }
    if (standard_only && url_only) return false;
    std::string_view unpadded = s;
    while (!unpadded.empty() && unpadded.back() == '=') unpadded.remove_suffix(1);
    if (unpadded.find('=') != npos) return false;
    return unpadded.size() % 4 != 1;
}

bool is_base64_token(std::string_view s) {
    // valid_base64_shape admits alphabet characters only, so it also rules
    // out whitespace and structural characters.
    return s.size() >= kMinTokenBytes && valid_base64_shape(s) && !looks_like_path_or_diff_line(s) && !is_hex_only(s);
}

std::uint64_t opaque_string_bytes(const json::Value& value, std::string_view key) {
    std::uint64_t total = 0;
    if (value.is_object()) {
        for (auto it = value.begin(); it != value.end(); ++it) total += opaque_string_bytes(*it, it.key());
    } else if (value.is_array()) {
        for (const json::Value& element : value) total += opaque_string_bytes(element, key);
    } else if (value.is_string()) {
        const std::string& s = value.get_ref<const std::string&>();
        if (s.size() >= kMinOpaqueStringBytes && is_opaque_string(s, key)) total = s.size();
    }
    return total;
}

bool is_source_map_signature(const json::Value& object) {
    bool version = false;
    bool mappings = false;
    bool sources = false;
    if (!object.is_object()) return false;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string& k = it.key();
        version = version || text::equals_ignore_case(k, "version");
        mappings = mappings || text::equals_ignore_case(k, "mappings");
        sources = sources || text::equals_ignore_case(k, "file") || text::equals_ignore_case(k, "names") ||
                  text::equals_ignore_case(k, "sources");
    }
    return version && mappings && sources;
}

bool may_hold_line_payload(std::string_view s) {
    // One pass over the text for the signs, which also looks at the start
    // of each base64 window as it goes by.
    PemAndUrlSigns signs(s);
    const auto window_at = [&](std::size_t p) {
        return p % kGroupWindow == 0 && p + kGroupWindow <= s.size() &&
               window_may_lie_in_group(s.substr(p, kGroupWindow));
    };
    std::size_t p = 0;
#if defined(__SSE2__)
    // Thirty-two bytes a round, with one test for both halves.
    static_assert(kGroupWindow % 32 == 0);
    __m128i dash_target = _mm_set1_epi8('G');
    __m128i scheme_on = _mm_set1_epi8(-1);
    const auto signs_in = [&](std::size_t at) {
        const __m128i a = load16(s.data() + at);
        const __m128i b = load16(s.data() + at + 4);
        const __m128i dash = _mm_and_si128(eq16(a, '-'), _mm_cmpeq_epi8(b, dash_target));
        // "data:" by its "d", "t" and ":": "d" with ":" alone is common ("model::").
        const __m128i t = eq16(load16(s.data() + at + 2), 't');
        const __m128i scheme = _mm_and_si128(_mm_and_si128(scheme_on, t), _mm_and_si128(eq16(a, 'd'), eq16(b, ':')));
        return _mm_or_si128(dash, scheme);
    };
    for (; p + 32 + 4 <= s.size(); p += 32) {
        if (window_at(p)) return true;
        const __m128i low = signs_in(p);
        const __m128i high = signs_in(p + 16);
        if (mask16(_mm_or_si128(low, high)) == 0) continue;
        const bool begin_before = signs.begin_seen();
        const std::uint32_t found = mask16(low) | (mask16(high) << 16);
        for (std::uint32_t m = found; m != 0; m &= m - 1)
            if (signs.at(p + static_cast<std::size_t>(std::countr_zero(m)))) return true;
        if (signs.begin_seen() && !begin_before) {
            // The signs of "-----END " from now on, which this round may hold too.
            dash_target = _mm_set1_epi8('D');
            for (std::size_t q = p; q < p + 32; ++q)
                if (signs.is_sign(q) && signs.at(q)) return true;
        }
        if (signs.urls_exhausted()) scheme_on = _mm_setzero_si128();
    }
#endif
    for (; p < s.size(); ++p)
        if (window_at(p) || (signs.is_sign(p) && signs.at(p))) return true;
    return false;
}

LineScan scan_line_payloads(const text::LineIndex& lines) {
    LineScan scan;
    std::vector<LinePayloadSpan>& spans = scan.spans;
    PayloadSignScanner signs(lines.text());
    const std::size_t n = lines.size();
    std::optional<PemEndLines> pem_ends;
    // Lines before this one were tried as the start of a base64 run that
    // fell short; a run from any later line of the same stretch is shorter
    // still (and as hexadecimal), so it is not tried again.
    std::size_t failed_run_end = 0;
    std::size_t i = 0;
    while (i < n) {
        // Lines before the next sign hold no payload: skip them unread.
        const std::size_t sign = signs.next_line(lines.start(i));
        if (sign >= lines.text().size()) break;
        i = line_holding(lines, i, sign);
        const std::string_view line = lines[i];
        // The scan goes on after this line (or after a span that holds it).
        signs.note_line(line);
        if (const auto label = pem_begin_label(text::trim(line))) {
            if (!pem_ends) pem_ends.emplace(lines);
            const auto end = pem_ends->first_after(*label, i);
            if (end && is_pem_body(lines, i, *end)) {
                spans.push_back(LinePayloadSpan{std::string(*label), i, *end + 1, joined_bytes(lines, i, *end + 1),
                                                *end + 1 - i, true});
                i = *end + 1;
                continue;
            }
        }
        if (i >= failed_run_end) {
            std::size_t k = i;
            std::size_t bytes = 0;
            bool hex = true;
            while (k < n && is_run_line(lines[k])) {
                bytes += lines[k].size();
                hex = hex && all_hex(lines[k]);
                ++k;
            }
            if (k - i >= kMinRunLines && bytes >= kMinRunBytes && !hex) {
                spans.push_back(LinePayloadSpan{std::nullopt, i, k, joined_bytes(lines, i, k), k - i, false});
                i = k;
                continue;
            }
            failed_run_end = k;
        }
        if (is_base64_token(line)) spans.push_back(LinePayloadSpan{std::nullopt, i, i + 1, line.size(), 1, false});
        ++i;
    }
    scan.data_scheme_seen = signs.data_scheme_seen();
    return scan;
}

std::vector<DataUrlSpan> find_data_url_spans(std::string_view s) {
    std::vector<DataUrlSpan> spans;
    // Searches that a run of rejected "data:" would otherwise repeat over
    // the same stretch: each asks with positions that only grow.
    NextCharWhere header_stop(s, &first_data_url_stop);
    NextCharWhere comma(s, &first_comma);
    NextCharWhere text_stop(s, &first_data_url_stop);
    NextCharWhere base64_stop(s, &first_non_base64);
    std::size_t cursor = 0;
    while (true) {
        const std::size_t m = find_data_scheme(s, cursor);
        if (m == npos) break;
        const std::size_t h = m + 5;
        if (h >= s.size()) break;
        cursor = h;  // where a rejected URL sends the search
        const std::size_t header_end = comma.at_or_after(h);
        if (header_end == s.size() || header_end == h || header_end > header_stop.at_or_after(h) ||
            header_end - h > kMaxDataUrlHeaderOffset + 1)
            continue;
        const std::string_view params = s.substr(h, header_end - h);
        const std::size_t semi = params.find(';');
        const std::string mime = text::to_lower(params.substr(0, semi));
        const std::size_t slash = mime.find('/');
        if (slash == npos || !is_mime_word(std::string_view(mime).substr(0, slash)) ||
            !is_mime_word(std::string_view(mime).substr(slash + 1)))
            continue;
        bool base64 = false;
        for (std::size_t from = semi; from != npos && !base64;) {
            const std::size_t next = params.find(';', from + 1);
            base64 = text::equals_ignore_case(params.substr(from + 1, next == npos ? npos : next - from - 1), "base64");
            from = next;
        }
        const std::size_t end =
            base64 ? base64_stop.at_or_after(header_end + 1) : text_stop.at_or_after(header_end + 1);
        const std::string_view payload = s.substr(header_end + 1, end - header_end - 1);
        if (payload.size() < kMinDataUrlPayload && end - m < kMinDataUrlBytes) continue;
        if (base64 && !(base64_ratio(payload) >= kMinDataUrlBase64Share)) continue;
        spans.push_back(DataUrlSpan{mime, base64 ? "base64" : "urlencoded", {m, end}, end - m});
        cursor = end;
    }
    return spans;
}

}  // namespace filters::opaque_payload::detector
