#include "filters/mixed_transcript/detector.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "json.h"

namespace filters::mixed_transcript::detector {

namespace {

constexpr std::size_t kMinLines = 4;
constexpr std::size_t kMinMarkerBytes = 7;
constexpr std::size_t kMaxMarkerBytes = 140;
constexpr std::size_t kMinMarkerRun = 3;
constexpr std::size_t kMaxCurlCodeDigits = 3;

constexpr std::array<WordTriple, 4> kProsePhrases = {{
    {"is", "returned", "when"},
    {"is", "returned", "if"},
    {"is", "emitted", "when"},
    {"is", "emitted", "if"},
}};

constexpr std::array<std::string_view, 15> kExitPhrases = {"finished with exit code",
                                                           "command exited with status",
                                                           "command exited with code",
                                                           "command exited",
                                                           "command exit with status",
                                                           "command exit with code",
                                                           "command exit",
                                                           "process exited with status",
                                                           "process exited with code",
                                                           "process exited",
                                                           "script returned exit code",
                                                           "script returned",
                                                           "exit status",
                                                           "exit code",
                                                           "exit"};

std::string_view trim_start_ws(std::string_view s) { return text::trim_start(s); }

bool starts_with_ws(std::string_view s) { return !s.empty() && text::whitespace_length_at(s, 0) > 0; }

// ---------------------------------------------------------------- markers --

bool has_alphanumeric(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = 1;
        if (text::is_alphanumeric(text::decode_at(s, i, len))) return true;
        i += len;
    }
    return false;
}

bool is_marker_line(std::string_view t) {
    if (t.size() < kMinMarkerBytes || t.size() > kMaxMarkerBytes) return false;
    for (char c : {'=', '-', '*', '#'}) {
        const std::size_t lead = std::min(t.find_first_not_of(c), t.size());
        if (lead < kMinMarkerRun) continue;
        const std::size_t last = t.find_last_not_of(c);
        const std::size_t trail = last == std::string_view::npos ? t.size() : t.size() - last - 1;
        if (c == '-' && trail < kMinMarkerRun) return false;
        if (lead == t.size()) continue;  // the whole line is the run: no label
        const std::size_t label_end = trail >= kMinMarkerRun ? t.size() - trail : t.size();
        const std::string_view label = text::trim(t.substr(lead, label_end - lead));
        if (!label.empty() && has_alphanumeric(label)) return true;
    }
    return false;
}

// ------------------------------------------------------------ curl errors --

bool has_word(std::string_view s, std::string_view word) {
    return text::any_alnum_word(s, [&](std::string_view w) { return w == word; });
}

bool is_curl_error_line(std::string_view t) {
    if (!text::starts_with_ignore_case(t, "curl:")) return false;
    const std::string l = text::to_lower(t);
    std::string_view rest = trim_start_ws(std::string_view(l).substr(5));
    if (!rest.starts_with('(')) return false;
    const std::size_t digits = text::digit_run(rest, 1);
    if (digits == 0 || digits > kMaxCurlCodeDigits) return false;
    rest = trim_start_ws(rest.substr(1 + digits));
    if (!rest.starts_with(')')) return false;
    const std::string_view message = trim_start_ws(rest.substr(1));
    if (message.empty()) return false;
    if (has_word(message, "means")) return false;
    for (const WordTriple& phrase : kProsePhrases)
        if (contains_word_phrase(message, phrase)) return false;
    if (starts_with_curl_could_error(message)) return true;
    if (text::starts_with_any(message, {"failure ",
                                        "failed to ",
                                        "failed writing",
                                        "failed receiving",
                                        "failed reading",
                                        "failed sending",
                                        "unable to ",
                                        "unsupported protocol",
                                        "unsupported proxy",
                                        "unsupported scheme",
                                        "connection refused",
                                        "connection reset",
                                        "connection timed out",
                                        "connection timeout",
                                        "connection closed",
                                        "connection failed",
                                        "operation timed out",
                                        "empty reply",
                                        "url rejected",
                                        "url malformed",
                                        "url using bad/illegal format",
                                        "no url"}))
        return true;
    for (std::string_view word :
         {"protocol", "proxy", "ssl", "tls", "openssl", "recv", "send", "resolving", "the requested url"})
        if (starts_with_error_prefix(message, word)) return true;
    return false;
}

// ---------------------------------------------------------- exit statuses --

bool is_exit_status_line(std::string_view t) {
    for (std::string_view phrase : kExitPhrases) {
        if (t.size() <= phrase.size() || !text::starts_with_ignore_case(t, phrase)) continue;
        std::string_view rest = t.substr(phrase.size());
        if (!starts_with_ws(rest) && rest[0] != '=' && rest[0] != ':') continue;
        rest = trim_start_ws(rest);
        if (rest.empty()) continue;
        if (rest[0] == '=' || rest[0] == ':') {
            rest = trim_start_ws(rest.substr(1));
            if (rest.empty()) continue;
        }
        if (rest[0] == '-') {
            rest.remove_prefix(1);
            if (rest.empty()) continue;
        }
        const std::size_t digits = text::digit_run(rest);
        if (digits == 0) continue;
        const std::string_view after = text::trim(rest.substr(digits));
        if (after.empty() || after == "." || after == ")") return true;
    }
    return false;
}

// ---------------------------------------------------------- command lines --

bool is_option(std::string_view token) { return token.size() > 1 && token[0] == '-'; }

bool is_command_line(std::string_view t) {
    if (t.size() >= 2 && (t.starts_with("$ ") || t.starts_with("+ "))) return true;
    if (!text::starts_with_any(t, {"curl", "wget", "node", "python", "uv", "npm", "cargo"})) return false;
    // The tool's name must be the whole first word, with a word after it:
    // told before the line is split ("nodes = 3" is no command).
    const auto first_word = text::split_once_whitespace(t);
    if (!first_word || !text::equals_any(first_word->first, {"curl", "wget", "node", "python", "uv", "npm", "cargo"}))
        return false;
    // A script runner's line needs an option or a script's name after it:
    // a "-" or a "." ("node = f(node)" is no command).
    if (text::equals_any(first_word->first, {"node", "python"}) &&
        first_word->second.find_first_of("-.") == std::string_view::npos)
        return false;
    const std::vector<std::string_view> tokens = text::split_whitespace(t);
    if (tokens.size() < 2) return false;
    const std::string_view first = tokens[0];
    if (first == "curl" || first == "wget") {
        for (std::size_t k = 1; k < tokens.size(); ++k)
            if (is_option(tokens[k]) || text::starts_with_any_ignore_case(
                                            tokens[k], {"http://", "https://", "localhost/", "localhost:", "127."}))
                return true;
        return false;
    }
    if (first == "node" || first == "python") {
        constexpr std::array<std::string_view, 10> kScripts = {".py",  ".js",  ".ts",  ".sh",   ".mjs",
                                                               ".cjs", ".tsx", ".jsx", ".bash", ".rs"};
        for (std::size_t k = 1; k < tokens.size(); ++k) {
            if (is_option(tokens[k])) return true;
            if (tokens[k].find('.') == std::string_view::npos) continue;  // no extension
            for (std::string_view ext : kScripts)
                if (text::ends_with_ignore_case(tokens[k], ext)) return true;
        }
        return false;
    }
    if (first == "uv" || first == "npm" || first == "cargo")
        return is_option(tokens[1]) ||
               text::equals_any(tokens[1], {"add", "dev", "fmt", "pip", "run", "sync", "test", "build", "check",
                                            "start", "clippy", "remove", "update", "install", "publish"});
    return false;
}

// Whether a line that begins with a letter may be a command or an error
// line: a command line begins with its tool's name, a curl error with
// "curl:", an exit status line with its phrase, and each of these begins
// with one of the words below (case aside). Most lines that begin with a
// letter are settled here on a word or two.
bool may_be_command_or_error(std::string_view t) {
    const auto any = [t](std::initializer_list<std::string_view> words) {
        for (std::string_view w : words)
            if (text::starts_with_ignore_case(t, w)) return true;
        return false;
    };
    switch (text::to_lower_ascii(t[0])) {
        case 'c':
            return any({"curl", "cargo", "command ex"});
        case 'w':
            return any({"wget"});
        case 'n':
            return any({"node", "npm"});
        case 'p':
            return any({"python", "process exited"});
        case 'u':
            return any({"uv"});
        case 'f':
            return any({"finished with exit code"});
        case 's':
            return any({"script returned"});
        case 'e':
            return any({"exit"});
        default:
            return false;
    }
}

// What the first look at a line's first byte (after its indent) asks for.
// `Trim` is for blanks other than spaces and tabs ("\v", "\f", U+00A0 ...),
// rare, after which the line is looked at again.
enum class Lead : std::uint8_t { None, Trim, Http, CommandSign, Body, Html, Marker, Letter };

constexpr std::array<Lead, 256> make_leads() {
    std::array<Lead, 256> t{};
    for (int c = 0x80; c < 0x100; ++c) t[static_cast<std::size_t>(c)] = Lead::Trim;
    for (char c : std::string_view(" \t\n\v\f\r")) t[static_cast<unsigned char>(c)] = Lead::Trim;
    t['H'] = Lead::Http;
    t['$'] = t['+'] = Lead::CommandSign;
    t['{'] = t['['] = Lead::Body;
    t['<'] = Lead::Html;
    t['='] = t['-'] = t['*'] = t['#'] = Lead::Marker;
    for (char c : std::string_view("cCwnpPufFsSeE")) t[static_cast<unsigned char>(c)] = Lead::Letter;
    return t;
}
constexpr std::array<Lead, 256> kLeads = make_leads();

// What the first look at each line finds, to decline a text in which no
// mix can qualify before any body is scanned. Most lines of other output
// are settled by their first byte.
struct FirstLook {
    bool http = false, command = false, error = false, marker = false, body = false;

    void add(std::string_view line) {
        std::string_view t = line.substr(text::leading_blanks(line));
        if (t.empty()) return;
        Lead lead = kLeads[static_cast<unsigned char>(t[0])];
        if (lead == Lead::None) return;
        if (lead == Lead::Trim) {
            t = trim_start_ws(t);
            if (t.empty()) return;
            lead = kLeads[static_cast<unsigned char>(t[0])];
        }
        switch (lead) {
            case Lead::None:
            case Lead::Trim:  // a character other than a blank, at or above U+0080
                return;
            case Lead::Http:
                http = http || (t.size() > 4 && t.starts_with("HTTP/"));
                return;
            case Lead::CommandSign:
                command = command || (t.size() >= 2 && t[1] == ' ');
                return;
            case Lead::Body:
                body = true;
                return;
            case Lead::Html:
                body = body || text::starts_with_any_ignore_case(t, {"<!doctype html", "<html"});
                return;
            case Lead::Marker:
                // A marker line begins with a run of at least three of its
                // first character.
                marker = marker || (t.size() >= kMinMarkerBytes && t[1] == t[0] && t[2] == t[0] &&
                                    is_marker_line(text::trim_end(t)));
                return;
            case Lead::Letter: {
                if ((command && error) || !may_be_command_or_error(t)) return;
                const std::string_view trimmed = text::trim_end(t);
                if (!command && is_command_line(trimmed)) command = true;
                if (!error && (is_curl_error_line(trimmed) || is_exit_status_line(trimmed))) error = true;
                return;
            }
        }
    }

    // Whether the kinds found could make a qualifying mix.
    bool may_qualify() const { return http || (command && (marker || body || error)) || (error && body); }
};

// Whether a line whose first two bytes after its indent are (a, b) may
// set a flag of FirstLook: what each kind of line begins with, as far as
// two bytes tell ("HT", "+ ", "==", "cu" ...). A line of one byte has
// b == 0. Beside those, the blanks FirstLook trims further: "\v", "\f",
// "\r" and the bytes that may begin a blank past U+007F as `text::
// whitespace_length_at` decodes it (the value's high bits are in the first
// byte, and for 0xE2 in the second).
constexpr bool pair_may_matter(unsigned char a, unsigned char b) {
    const auto lower = [](unsigned char c) { return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
    switch (a) {
        case 'H':
            return b == 'T';
        case '$':
        case '+':
            return b == ' ';
        case '{':
        case '[':
            return true;
        case '<':
            return b == '!' || lower(b) == 'h';
        case '=':
        case '-':
        case '*':
        case '#':
            return b == a;
        case '\v':
        case '\f':
        case '\r':
            return true;
        case 0x85:
        case 0xA0:
        case 0xC0:
        case 0xC2:
        case 0xE0:
        case 0xE1:
        case 0xE3:
        case 0xF0:
        case 0xF8:
            return true;
        case 0xE2:
            return (b & 0x3E) == 0;
        default:
            break;
    }
    if (kLeads[a] != Lead::Letter) return false;
    constexpr std::string_view kPairs[] = {"cu", "ca", "co", "wg", "no", "np", "py", "pr", "uv", "fi", "sc", "ex"};
    for (std::string_view p : kPairs)
        if (static_cast<unsigned char>(p[0]) == lower(a) && static_cast<unsigned char>(p[1]) == lower(b)) return true;
    return false;
}

constexpr std::array<std::uint64_t, 1024> make_pairs() {
    std::array<std::uint64_t, 1024> t{};
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned b = 0; b < 256; ++b)
            if (pair_may_matter(static_cast<unsigned char>(a), static_cast<unsigned char>(b)))
                t[(a << 2) | (b >> 6)] |= std::uint64_t{1} << (b & 63);
    return t;
}
constexpr std::array<std::uint64_t, 1024> kPairsThatMatter = make_pairs();

constexpr bool is_marker_start(unsigned char c) { return c == '=' || c == '-' || c == '*' || c == '#'; }

// The same pairs, read 32 at once with byte shuffles. The first bytes
// that may matter fall in groups, each with the second bytes that may
// follow them; a shuffle of a byte's low and of its high nibble gives the
// groups it may be in (one bit each), for the first byte and for the
// second, and a pair may matter only when they share a group. The check
// below makes sure that every pair that may matter is let through.
struct LeadGroup {
    std::string_view firsts, seconds;  // no seconds: any byte may follow
};
constexpr LeadGroup kLeadGroups[] = {
    {"\v\f\r\x85\xA0", ""},                    // blanks FirstLook trims further
    {"$+", " "},                               // command signs
    {"#*-=", "#*-="},                          // markers (kMarkerGroup)
    {"<", "!hH"},                              // an HTML page
    {"CEFHcefn", "TaouxipAOUXIP"},             // a response, words of commands and errors
    {"[{", ""},                                // a JSON body
    {"PSpsuw", "yrcvgYRCVG"},                  // more words
    {"\xC0\xC2\xE0\xE1\xE2\xE3\xF0\xF8", ""},  // bytes that may begin a blank past U+007F
};

// The group of the marker lines, whose third byte is their first again.
constexpr std::size_t kMarkerGroup = 2;
static_assert(kLeadGroups[kMarkerGroup].firsts == "#*-=");

// Bit g of low[n] (high[n]) set when group g has a byte whose low (high)
// nibble is n.
struct NibbleTables {
    std::array<std::uint8_t, 16> low{}, high{};

    constexpr void add(unsigned char c, std::size_t group) {
        low[c & 15] |= static_cast<std::uint8_t>(1u << group);
        high[c >> 4] |= static_cast<std::uint8_t>(1u << group);
    }
    constexpr bool has(unsigned char c, std::size_t group) const { return ((low[c & 15] & high[c >> 4]) >> group) & 1; }
};

constexpr NibbleTables make_second_tables() {
    NibbleTables t;
    for (std::size_t g = 0; g < std::size(kLeadGroups); ++g) {
        if (kLeadGroups[g].seconds.empty()) {
            for (unsigned c = 0; c < 256; ++c) t.add(static_cast<unsigned char>(c), g);
        } else {
            for (char c : kLeadGroups[g].seconds) t.add(static_cast<unsigned char>(c), g);
        }
    }
    return t;
}
constexpr NibbleTables kSecondTables = make_second_tables();

// The tables of the first bytes whose kind of line `leads` still asks about.
constexpr NibbleTables first_tables(const std::array<Lead, 256>& leads) {
    NibbleTables t;
    for (std::size_t g = 0; g < std::size(kLeadGroups); ++g)
        for (char c : kLeadGroups[g].firsts)
            if (leads[static_cast<unsigned char>(c)] != Lead::None) t.add(static_cast<unsigned char>(c), g);
    return t;
}

constexpr bool groups_cover_pairs() {
    const NibbleTables firsts = first_tables(kLeads);
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned b = 0; b < 256; ++b) {
            if (!pair_may_matter(static_cast<unsigned char>(a), static_cast<unsigned char>(b))) continue;
            bool covered = false;
            for (std::size_t g = 0; g < std::size(kLeadGroups) && !covered; ++g)
                covered = kLeadGroups[g].firsts.find(static_cast<char>(a)) != std::string_view::npos &&
                          firsts.has(static_cast<unsigned char>(a), g) &&
                          kSecondTables.has(static_cast<unsigned char>(b), g);
            if (!covered) return false;
        }
    return true;
}
static_assert(std::size(kLeadGroups) <= 8);
static_assert(groups_cover_pairs());

// For 64 bytes: bit k of `newlines` set when byte k is a newline, of
// `blanks` when it is a space or a tab, of `may_matter` when it may begin
// a line that matters (every bit, where the bytes are not classified).
struct LineMasks {
    std::uint64_t newlines = 0, blanks = 0, may_matter = ~std::uint64_t{0};
};

LineMasks line_masks(const char* at) {
    LineMasks m;
#if defined(__SSE2__)
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * k));
        const auto bits = [](__m128i x) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(x)));
        };
        m.newlines |= bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))) << (16 * k);
        m.blanks |= bits(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))))
                    << (16 * k);
    }
#else
    for (int k = 0; k < 64; ++k) {
        m.newlines |= static_cast<std::uint64_t>(at[k] == '\n') << k;
        m.blanks |= static_cast<std::uint64_t>(at[k] == ' ' || at[k] == '\t') << k;
    }
#endif
    return m;
}

#if defined(__x86_64__)
// The 66 bytes from `at` are read (the two bytes after the block too).
__attribute__((target("avx2"))) LineMasks line_masks_avx2(const char* at, const NibbleTables& firsts) {
    LineMasks m;
    m.may_matter = 0;
    const __m256i first_low =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(firsts.low.data())));
    const __m256i first_high =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(firsts.high.data())));
    const __m256i second_low =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kSecondTables.low.data())));
    const __m256i second_high =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kSecondTables.high.data())));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i marker_bit = _mm256_set1_epi8(static_cast<char>(1u << kMarkerGroup));
    for (int k = 0; k < 2; ++k) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * k));
        const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * k + 1));
        const __m256i newline = _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n'));
        const __m256i blank =
            _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(' ')), _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\t')));
        const __m256i first =
            _mm256_and_si256(_mm256_shuffle_epi8(first_low, _mm256_and_si256(v, nibble)),
                             _mm256_shuffle_epi8(first_high, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble)));
        const __m256i second =
            _mm256_and_si256(_mm256_shuffle_epi8(second_low, _mm256_and_si256(next, nibble)),
                             _mm256_shuffle_epi8(second_high, _mm256_and_si256(_mm256_srli_epi16(next, 4), nibble)));
        // A marker's run is three long: its bit goes where the third byte differs.
        const __m256i third = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * k + 2));
        const __m256i unlike_third = _mm256_andnot_si256(_mm256_cmpeq_epi8(v, third), marker_bit);
        const __m256i groups = _mm256_andnot_si256(unlike_third, _mm256_and_si256(first, second));
        const __m256i none = _mm256_cmpeq_epi8(groups, _mm256_setzero_si256());
        const unsigned shift = 32 * static_cast<unsigned>(k);
        m.newlines |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(newline))} << shift;
        m.blanks |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(blank))} << shift;
        m.may_matter |= std::uint64_t{~static_cast<std::uint32_t>(_mm256_movemask_epi8(none))} << shift;
    }
    return m;
}
#endif

// The first look at every line, as FirstLook takes it line by line, but
// reading the text 64 bytes at a time: masks give the first byte after each
// line's indent of spaces and tabs, and only lines whose byte there asks for
// more are looked at. A kind of line whose flags are all set already asks
// for nothing more. Whether the mix may qualify.
bool first_look_may_qualify(std::string_view s) {
    FirstLook look;
    std::array<Lead, 256> leads = kLeads;
    leads['\n'] = Lead::None;  // an empty or blank line
    NibbleTables firsts = first_tables(leads);
    const auto settle = [&] {
        const auto none = [&](std::string_view bytes) {
            for (char c : bytes) leads[static_cast<unsigned char>(c)] = Lead::None;
        };
        if (look.command) none("$+");
        if (look.body) none("{[<");
        if (look.marker) none("=-*#");
        if (look.command && look.error) none("cCwnpPufFsSeE");
        firsts = first_tables(leads);
    };
    // `pos` is the first byte of a line after its indent.
    // `newline` is where the line ends when already known, else npos.
    const auto visit = [&](std::size_t pos, std::size_t newline) {
        const Lead lead = leads[static_cast<unsigned char>(s[pos])];
        if (lead == Lead::None) return false;
        // What FirstLook would test first, on the rest of the text (which
        // begins with the line): most lines fail it, and need not be cut.
        const std::string_view rest = s.substr(pos);
        switch (lead) {
            case Lead::Trim:  // a character at or above U+0080 that is no blank: nothing to see
                if (static_cast<unsigned char>(s[pos]) >= 0x80 && text::whitespace_length_at(s, pos) == 0) return false;
                break;
            case Lead::CommandSign:
                if (rest.size() < 2 || rest[1] != ' ') return false;
                break;
            case Lead::Marker:
                if (rest.size() < kMinMarkerBytes || rest[1] != rest[0] || rest[2] != rest[0]) return false;
                break;
            case Lead::Letter:
                if (!may_be_command_or_error(rest)) return false;
                break;
            default:
                break;
        }
        std::size_t end = newline;
        if (end == std::string_view::npos) {
            const void* nl = std::memchr(s.data() + pos, '\n', s.size() - pos);
            end = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - s.data()) : s.size();
        }
        // A marker of dashes ends with three of them too: a line that ends
        // with another byte than a dash or a blank is none.
        if (lead == Lead::Marker && s[pos] == '-') {
            const auto last = static_cast<unsigned char>(s[end - 1]);
            if (last < 0x80 && last != '-' && !text::is_ascii_whitespace(static_cast<char>(last))) return false;
        }
        const FirstLook before = look;
        look.add(s.substr(pos, end - pos));
        if (look.may_qualify()) return true;
        if (look.command != before.command || look.error != before.error || look.marker != before.marker ||
            look.body != before.body)
            settle();
        return false;
    };
    // A line start is the byte after a newline (and the text's first); the
    // first byte after its indent is where the start, added to the run of
    // blanks from it, carries to. Both carry across blocks.
#if defined(__x86_64__)
    const bool avx2 = __builtin_cpu_supports("avx2");
#endif
    std::uint64_t start_in = 1;
    std::uint64_t carry = 0;
    // The last blocks are read from a copy padded with zero bytes (neither
    // blank nor newline), two longer than a block: the two bytes after a
    // line's first are then always at hand.
    char padded[66];
    for (std::size_t b = 0; b < s.size(); b += 64) {
        const std::size_t len = std::min<std::size_t>(64, s.size() - b);
        const char* at = s.data() + b;
        if (b + sizeof padded > s.size()) {
            std::memset(padded, 0, sizeof padded);
            std::memcpy(padded, at, len);
            at = padded;
        }
#if defined(__x86_64__)
        const LineMasks masks = avx2 ? line_masks_avx2(at, firsts) : line_masks(at);
#else
        const LineMasks masks = line_masks(at);
#endif
        const std::uint64_t starts = (masks.newlines << 1) | start_in;
        start_in = masks.newlines >> 63;
        const std::uint64_t partial = starts + masks.blanks;
        const std::uint64_t sum = partial + carry;
        carry = (partial < starts || sum < partial) ? 1 : 0;
        std::uint64_t line_firsts = sum & ~masks.blanks & masks.may_matter;
        if (len < 64) line_firsts &= (std::uint64_t{1} << len) - 1;
        // Without a branch per line: which of them begin with a pair that may matter.
        std::uint64_t hits = 0;
        for (; line_firsts != 0; line_firsts &= line_firsts - 1) {
            const unsigned k = static_cast<unsigned>(std::countr_zero(line_firsts));
            const auto first = static_cast<unsigned char>(at[k]);
            const auto next = static_cast<unsigned char>(at[k + 1]);
            // A marker line's run is three long: its third byte too.
            const bool third = !is_marker_start(first) || static_cast<unsigned char>(at[k + 2]) == first;
            hits |= (((kPairsThatMatter[(first << 2) | (next >> 6)] >> (next & 63)) & 1) & third) << k;
        }
        for (; hits != 0; hits &= hits - 1) {
            const unsigned k = static_cast<unsigned>(std::countr_zero(hits));
            // The line's end, when this block holds it.
            const std::uint64_t after = k < 63 ? masks.newlines >> (k + 1) : 0;
            const std::size_t newline =
                after != 0 ? b + k + 1 + static_cast<std::size_t>(std::countr_zero(after)) : std::string_view::npos;
            if (visit(b + k, newline)) return true;
        }
    }
    return false;
}

// Whether the first look at the lines finds a mix that may qualify. Few
// long lines are looked at one by one; many short ones through the masks.
bool first_look_may_qualify(const text::LineIndex& lines) {
    constexpr std::size_t kLongLineBytes = 256;
    if (lines.size() > lines.text().size() / kLongLineBytes) return first_look_may_qualify(lines.text());
    FirstLook look;
    for (std::size_t i = 0; i < lines.size() && !look.may_qualify(); ++i) look.add(lines[i]);
    return look.may_qualify();
}

// -------------------------------------------------------------- bodies --

// The first line at or after a start for which a test holds, for starts
// that never go back between calls: each line is tested at most once.
class ForwardSearch {
public:
    template <class Test>
    std::size_t next(const text::LineIndex& lines, std::size_t from, Test test) {
        if (searched_ && found_ >= from) return found_;
        searched_ = true;
        found_ = from;
        while (found_ < lines.size() && !test(lines[found_])) ++found_;
        return found_;
    }

private:
    bool searched_ = false;
    std::size_t found_ = 0;  // lines.size() when none
};

// Where the HTTP heads and HTML bodies that may start at a line end, asked
// for lines in increasing order, so that no scan restarts from every line.
class BodyIndex {
public:
    explicit BodyIndex(const text::LineIndex& lines) : lines_(lines), n_(lines.size()) {}

    // The line ending an HTTP head whose status line is `i`, or nothing.
    std::optional<std::size_t> http_head_end(std::size_t i) {
        if (i + 1 >= n_) return std::nullopt;
        const std::size_t end = next_empty_.next(lines_, i + 1, [](std::string_view l) { return l.empty(); });
        if (end == i + 1 || end >= n_) return std::nullopt;
        const std::size_t colonless = next_colonless_.next(
            lines_, i + 1, [](std::string_view l) { return !l.empty() && l.find(':') == std::string_view::npos; });
        if (colonless < end) return std::nullopt;
        return end;
    }

    std::optional<std::size_t> html_end(std::size_t i) {
        const std::size_t end = next_html_close_.next(
            lines_, i, [](std::string_view l) { return text::contains_ignore_case(l, "</html>"); });
        return end < n_ ? std::optional(end) : std::nullopt;
    }

private:
    const text::LineIndex& lines_;
    std::size_t n_;
    ForwardSearch next_empty_, next_colonless_, next_html_close_;
};

// The JSON bodies of a text. Every line whose first character after white
// space is "{" or "[" opens a container; one pass over the text finds where
// each closes (a raw newline inside a string closes none that is open) and
// how deep it nests. A body is then checked by parsing its text with every
// such container inside it checked first and replaced by "[]": a valid value
// stays valid with a valid value in place of an inner one, so no byte is
// parsed twice, however many nested lines open a body that does not parse.
class JsonBodies {
public:
    explicit JsonBodies(const text::LineIndex& lines) : lines_(lines) {
        struct Open {
            std::size_t line, depth, max_depth, first_inside;
        };
        std::vector<Open> open;  // line-opening containers not yet closed
        std::size_t depth = 0;   // brackets open, of any kind
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string_view line = lines[i];
            const std::size_t lead = line.size() - trim_start_ws(line).size();
            json::StringCursor strings;
            for (std::size_t p = 0; p < line.size(); ++p) {
                const char c = line[p];
                if (strings.take(c)) {
                    continue;
                } else if (c == '{' || c == '[') {
                    ++depth;
                    if (p == lead)
                        open.push_back({i, depth, depth, containers_.size()});
                    else if (!open.empty())
                        open.back().max_depth = std::max(open.back().max_depth, depth);
                } else if (c == '}' || c == ']') {
                    if (depth == 0) continue;  // closes nothing: no body spans it
                    if (!open.empty() && open.back().depth == depth) {
                        const Open o = open.back();
                        open.pop_back();
                        if (!open.empty()) open.back().max_depth = std::max(open.back().max_depth, o.max_depth);
                        by_line_.emplace(o.line, containers_.size());
                        const std::string_view opening = lines[o.line];
                        const std::size_t offset = lines.start(o.line) + opening.size() - trim_start_ws(opening).size();
                        containers_.push_back(
                            {offset, lines.start(i) + p, i, o.first_inside, o.max_depth - o.depth + 1});
                    }
                    --depth;
                }
            }
            if (strings.in_string) {  // no container open here can be JSON
                open.clear();
                depth = 0;
            }
        }
    }

    // The last line of the JSON body that starts at line `i`: its container
    // parses, nothing but white space follows it on its last line, and it is
    // not the whole input.
    std::optional<std::size_t> body_end(std::size_t i) {
        const auto it = by_line_.find(i);
        if (it == by_line_.end()) return std::nullopt;
        const Container& c = containers_[it->second];
        const std::size_t rest = c.close + 1 - lines_.start(c.close_line);
        if (!text::trim(lines_[c.close_line].substr(rest)).empty()) return std::nullopt;
        if (i == 0 && c.close_line + 1 == lines_.size()) return std::nullopt;
        if (!is_valid(it->second)) return std::nullopt;
        return c.close_line;
    }

private:
    enum class State : std::uint8_t { Unknown, Valid, Invalid };

    struct Container {
        std::size_t open, close, close_line;
        std::size_t first_inside;  // containers closed inside it: [first_inside, own index)
        std::size_t height;        // levels of brackets, its own included
        State state = State::Unknown;
    };

    // Containers close in post-order, so those inside `c` come just before
    // it, and checking them in index order checks each before its parent.
    bool is_valid(std::size_t c) {
        if (containers_[c].state != State::Unknown) return containers_[c].state == State::Valid;
        for (std::size_t k = containers_[c].first_inside; k <= c; ++k)
            if (containers_[k].state == State::Unknown) check(k);
        return containers_[c].state == State::Valid;
    }

    void check(std::size_t c) {
        Container& self = containers_[c];
        self.state = State::Invalid;
        if (self.height > json::kMaxDepth) return;
        children_.clear();
        for (std::size_t k = c; k > self.first_inside;) {
            const std::size_t child = k - 1;
            if (containers_[child].state != State::Valid) return;
            children_.push_back(child);
            k = containers_[child].first_inside;
        }
        const std::string_view text = lines_.text();
        reduced_.clear();
        std::size_t from = self.open;
        for (auto child = children_.rbegin(); child != children_.rend(); ++child) {
            reduced_.append(text.substr(from, containers_[*child].open - from)).append("[]");
            from = containers_[*child].close + 1;
        }
        reduced_.append(text.substr(from, self.close + 1 - from));
        const json::DocumentKind kind = reader_.visit_document(reduced_, nullptr).kind;
        if (kind == json::DocumentKind::Array || kind == json::DocumentKind::Object) self.state = State::Valid;
    }

    const text::LineIndex& lines_;
    std::vector<Container> containers_;
    std::unordered_map<std::size_t, std::size_t> by_line_;  // closed line-opening containers by line
    std::vector<std::size_t> children_;
    std::string reduced_;
    json::Reader reader_;
};

struct Counts {
    std::size_t http = 0, html = 0, json = 0, markers = 0, errors = 0, commands = 0;

    bool qualify() const {
        if (http > 0) return true;
        if (commands > 0) return markers + json + html + errors > 0;
        return errors > 0 && json + html > 0;
    }
};

}  // namespace

bool contains_word_phrase(std::string_view s, const WordTriple& words) {
    std::array<std::string_view, 3> window{};
    std::size_t seen = 0;
    return text::any_alnum_word(s, [&](std::string_view w) {
        window = {window[1], window[2], w};
        return ++seen >= 3 && window[0] == words[0] && window[1] == words[1] && window[2] == words[2];
    });
}

bool starts_with_error_prefix(std::string_view s, std::string_view word) {
    if (!s.starts_with(word) || s.size() <= word.size()) return false;
    const std::string_view after = s.substr(word.size());
    if (!starts_with_ws(after)) return false;
    const std::string_view rest = trim_start_ws(after);
    return rest != "means" && !rest.starts_with("means ");
}

bool starts_with_curl_could_error(std::string_view message) {
    std::string_view rest;
    if (message.starts_with("could not "))
        rest = message.substr(10);
    else if (message.starts_with("couldn't "))
        rest = message.substr(9);
    else
        return false;
    return text::starts_with_any(rest, {"resolve host:", "resolve proxy:", "connect to", "parse host", "parse proxy",
                                        "read from", "write to", "create file", "save file", "open file"});
}

std::optional<std::vector<TranscriptSegment>> segment_mixed_transcript_lines(const text::LineIndex& lines) {
    const std::size_t n = lines.size();
    if (n < kMinLines) return std::nullopt;
    if (!first_look_may_qualify(lines)) return std::nullopt;

    BodyIndex bodies(lines);
    std::optional<JsonBodies> json_bodies;
    std::vector<TranscriptSegment> segments;
    Counts counts;
    std::size_t pending = n;  // first pending line, n when none
    auto close = [&](std::size_t first, std::size_t count, bool compressible) {
        if (pending < first) segments.push_back({pending, first - pending, true});
        pending = n;
        segments.push_back({first, count, compressible});
    };
    for (std::size_t i = 0; i < n;) {
        const std::string_view line = lines[i];
        const std::string_view lead = trim_start_ws(line);
        if (lead.size() > 4 && lead.starts_with("HTTP/"))
            if (const auto end = bodies.http_head_end(i)) {
                close(i, *end - i + 1, false);
                ++counts.http;
                i = *end + 1;
                continue;
            }
        if (text::starts_with_any_ignore_case(lead, {"<!doctype html", "<html"}))
            if (const auto end = bodies.html_end(i); end && !(i == 0 && *end == n - 1)) {
                close(i, *end - i + 1, true);
                ++counts.html;
                i = *end + 1;
                continue;
            }
        if (lead.starts_with('{') || lead.starts_with('[')) {
            if (!json_bodies) json_bodies.emplace(lines);
            if (const auto end = json_bodies->body_end(i)) {
                close(i, *end - i + 1, true);
                ++counts.json;
                i = *end + 1;
                continue;
            }
        }
        const std::string_view t = text::trim(line);
        if (is_marker_line(t)) {
            close(i, 1, false);
            ++counts.markers;
        } else if (is_curl_error_line(t) || is_exit_status_line(t)) {
            close(i, 1, false);
            ++counts.errors;
        } else {
            if (is_command_line(t)) ++counts.commands;
            if (pending == n) pending = i;
        }
        ++i;
    }
    if (pending < n) segments.push_back({pending, n - pending, true});

    if (segments.size() < 2 || !counts.qualify()) return std::nullopt;
    for (const TranscriptSegment& s : segments) {
        if (!s.compressible) continue;
        for (std::size_t k = s.first; k < s.first + s.count; ++k)
            if (!text::trim(lines[k]).empty()) return segments;
    }
    return std::nullopt;
}

}  // namespace filters::mixed_transcript::detector
