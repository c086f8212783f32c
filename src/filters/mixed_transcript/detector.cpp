#include "filters/mixed_transcript/detector.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#if defined(__SSE2__)
#include <emmintrin.h>
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

// The tools whose name may begin a command line.
constexpr std::array<std::string_view, 7> kToolNames = {"curl", "wget", "node", "python", "uv", "npm", "cargo"};

bool is_command_line(std::string_view t) {
    if (t.size() >= 2 && (t.starts_with("$ ") || t.starts_with("+ "))) return true;
    if (std::ranges::none_of(kToolNames, [t](std::string_view tool) { return t.starts_with(tool); })) return false;
    // The tool's name must be the whole first word, with a word after it:
    // told before the line is split ("nodes = 3" is no command).
    const auto first_word = text::split_once_whitespace(t);
    if (!first_word || std::ranges::find(kToolNames, first_word->first) == kToolNames.end()) return false;
    // A script runner's line needs an option or a script's name after it:
    // a "-" or a "." ("node = f(node)" is no command).
    if (text::equals_any(first_word->first, {"node", "python"}) &&
        std::ranges::none_of(first_word->second, [](char c) { return c == '-' || c == '.'; }))
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

// ---------------------------------------------------------- shell prompts --

constexpr char kEsc = '\x1b';

// A line as the terminal shows it: colours and modes (ESC "[" ...) and
// window titles (ESC "]" ... ended by BEL or ESC "\") removed. An
// interactive shell draws both into its prompt.
std::string visible_text(std::string_view line) {
    const std::string shown = text::strip_ansi(line);
    std::string out;
    out.reserve(shown.size());
    for (std::size_t i = 0; i < shown.size();) {
        if (shown[i] != kEsc || i + 1 >= shown.size() || shown[i + 1] != ']') {
            out.push_back(shown[i++]);
            continue;
        }
        std::size_t j = i + 2;
        while (j < shown.size() && shown[j] != '\a' && !(shown[j] == kEsc && j + 1 < shown.size() && shown[j + 1] == '\\'))
            ++j;
        i = j >= shown.size() ? j : j + (shown[j] == '\a' ? 1 : 2);
    }
    return out;
}

bool is_name_byte(char c) { return text::is_ascii_alnum(c) || c == '_' || c == '-' || c == '.'; }

// The length of the run of name bytes (user or host names) at the start.
std::size_t name_run(std::string_view s) {
    std::size_t k = 0;
    while (k < s.size() && is_name_byte(s[k])) ++k;
    return k;
}

// What follows a shell prompt, "user@host:dir$ " or "user@host:dir# " (the
// dir a path or "~..."), with a virtual environment's "(name) " allowed
// before it; empty when the text does not begin with one or runs nothing.
std::string_view after_prompt(std::string_view v) {
    v = trim_start_ws(v);
    if (v.starts_with('(')) {
        const std::size_t close = v.find(") ");
        if (close == std::string_view::npos) return {};
        v = trim_start_ws(v.substr(close + 2));
    }
    const std::size_t user = name_run(v);
    if (user == 0 || user >= v.size() || v[user] != '@') return {};
    v.remove_prefix(user + 1);
    const std::size_t host = name_run(v);
    if (host == 0 || host >= v.size() || v[host] != ':') return {};
    v.remove_prefix(host + 1);
    if (!v.starts_with('/') && !v.starts_with('~')) return {};
    std::size_t end = 0;  // the first blank after the dir
    while (end < v.size() && !text::is_ascii_whitespace(v[end])) ++end;
    if (end < 2 || end == v.size() || (v[end - 1] != '$' && v[end - 1] != '#')) return {};
    return trim_start_ws(v.substr(end));
}

// Whether a line may hold a prompt at all: a prompt names its user "@" its
// host, before which only blanks, a terminal sequence or "(" may come.
bool may_be_prompt_line(std::string_view line) {
    if (line.find('@') == std::string_view::npos) return false;
    const std::string_view t = trim_start_ws(line);
    return !t.empty() && (t[0] == kEsc || t[0] == '(' || is_name_byte(t[0]));
}

// The command after a shell prompt, as the terminal shows it; empty when
// the line is no prompt or runs nothing. `scratch` keeps the visible text
// of a line drawn with terminal sequences.
std::string_view prompt_command(std::string_view line, std::string& scratch) {
    if (!may_be_prompt_line(line)) return {};
    if (line.find(kEsc) != std::string_view::npos) {
        scratch = visible_text(line);
        line = scratch;
    }
    return after_prompt(line);
}

// The first word of a text that is not empty after its leading blanks.
std::string_view first_word(std::string_view s) {
    std::size_t pos = 0;
    return text::next_word(s, pos);
}

// The command a line runs, empty when it is no command line: the first
// word after "$ " or "+ ", a tool's name, or the first word after a shell
// prompt. `t` is the line trimmed.
// The command of a line that is a command line by its own words ("$ ",
// "+ " or a tool's name), empty otherwise. `t` is the line trimmed.
std::string_view own_command_of(std::string_view t) {
    if (!is_command_line(t)) return {};
    return t.starts_with("$ ") || t.starts_with("+ ") ? first_word(t.substr(2)) : first_word(t);
}

// The command a line runs, empty when it is no command line: its own
// command, or the first word after a shell prompt.
std::string_view command_of(std::string_view line, std::string_view t, std::string& scratch) {
    const std::string_view own = own_command_of(t);
    return own.empty() ? first_word(prompt_command(line, scratch)) : own;
}

// Whether the "@" at `at` may be a prompt's, as far as the bytes after it
// tell: a host's name, ":" and a path, unless a terminal sequence comes
// first (a coloured prompt draws one between the host and the ":"). An
// "@" of a mail address or a package name is passed over at once.
bool may_be_prompt_host_at(std::string_view s, std::size_t at) {
    std::size_t k = at + 1;
    while (k < s.size() && is_name_byte(s[k])) ++k;
    if (k < s.size() && s[k] == kEsc) return true;
    return k > at + 1 && k + 1 < s.size() && s[k] == ':' && (s[k + 1] == '/' || s[k + 1] == '~' || s[k + 1] == kEsc);
}

// Calls `visit` with the command of each shell prompt line that runs one,
// in order, until it returns true; whether it did. The lines that name a
// user "@" a host are few, and only those are looked at.
template <class Visit>
bool find_prompt_command(const text::LineIndex& lines, Visit visit) {
    const std::string_view s = lines.text();
    std::string scratch;
    std::size_t line = 0;
    for (std::size_t at = s.find('@'); at != std::string_view::npos; at = s.find('@', at + 1)) {
        if (!may_be_prompt_host_at(s, at)) continue;
        line = text::line_at_from(lines, at, line);
        if (const std::string_view command = first_word(prompt_command(lines[line], scratch)); !command.empty())
            if (visit(command)) return true;
        if (line + 1 >= lines.size()) break;
        at = lines.start(line + 1) - 1;  // on from the next line
    }
    return false;
}

bool has_prompt_line(const text::LineIndex& lines) {
    return find_prompt_command(lines, [](std::string_view) { return true; });
}

// The commands that a transcript's command lines run, as far as telling
// one command from several needs.
class CommandNames {
public:
    // Whether the commands added so far are several.
    bool add(std::string_view name) {
        if (several_) return true;
        if (!first_)
            first_.emplace(name);
        else
            several_ = name != *first_;
        return several_;
    }
    bool several() const { return several_; }

private:
    std::optional<std::string> first_;
    bool several_ = false;
};

// The words an error line begins with, case aside: "curl:" a curl error,
// and an exit status line a word that begins its phrase (checked below).
constexpr std::array<std::string_view, 6> kErrorWords = {
    "curl:", "command exit", "process exited", "finished with exit code", "script returned", "exit"};

constexpr bool exit_phrases_begin_with_error_words() {
    for (std::string_view phrase : kExitPhrases) {
        bool found = false;
        for (std::string_view word : kErrorWords) found = found || phrase.starts_with(word);
        if (!found) return false;
    }
    return true;
}
static_assert(exit_phrases_begin_with_error_words());

// Up to eight bytes of a word, byte k in bits 8k to 8k + 7, with the mask
// of the bytes it has.
struct WordStart {
    std::uint64_t bytes = 0, mask = 0;
};

constexpr std::uint64_t kBit5 = 0x2020202020202020ull;

template <std::size_t N>
constexpr std::array<WordStart, N> make_word_starts(const std::array<std::string_view, N>& words) {
    std::array<WordStart, N> starts{};
    for (std::size_t w = 0; w < N; ++w)
        for (std::size_t k = 0; k < 8 && k < words[w].size(); ++k) {
            starts[w].bytes |= std::uint64_t{static_cast<unsigned char>(words[w][k])} << (8 * k);
            starts[w].mask |= std::uint64_t{0xFF} << (8 * k);
        }
    return starts;
}
constexpr auto kToolStarts = make_word_starts(kToolNames);
constexpr auto kErrorStarts = make_word_starts(kErrorWords);

// Lowercase letters, blanks and ":" keep bit 5 set: a word of them is its
// own image when every byte gets that bit, as `lowered_word` gives it.
template <std::size_t N>
constexpr bool keep_bit5(const std::array<WordStart, N>& starts) {
    for (const WordStart& w : starts)
        if (((w.bytes | kBit5) & w.mask) != w.bytes) return false;
    return true;
}
static_assert(keep_bit5(kToolStarts) && keep_bit5(kErrorStarts));

// The eight bytes from `at` with bit 5 set in each: an ASCII letter is then
// lowercased, so a text that begins with a word, case aside, gives that
// word's bytes here (other texts may too).
inline std::uint64_t lowered_word(const char* at) {
    std::uint64_t w = 0;
    for (unsigned k = 0; k < 8; ++k) w |= std::uint64_t{static_cast<unsigned char>(at[k])} << (8 * k);
    return w | kBit5;
}

// What a line may be, as far as its first eight bytes (lowered so) tell.
enum : unsigned { kMayBeCommand = 1, kMayBeError = 2 };

template <std::size_t N>
inline bool begins_with_any(std::uint64_t lowered, const std::array<WordStart, N>& starts) {
    bool any = false;
    for (const WordStart& w : starts) any |= (lowered & w.mask) == w.bytes;
    return any;
}

inline unsigned command_or_error_kinds(std::uint64_t lowered) {
    return (begins_with_any(lowered, kToolStarts) ? kMayBeCommand : 0u) |
           (begins_with_any(lowered, kErrorStarts) ? kMayBeError : 0u);
}

// The same for a line that begins with a letter, read as far as it goes.
unsigned command_or_error_kinds(std::string_view t) {
    char head[8] = {};
    std::copy_n(t.data(), std::min<std::size_t>(8, t.size()), head);
    return command_or_error_kinds(lowered_word(head));
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
                if (command && error) return;
                const unsigned kinds = command_or_error_kinds(t);
                if (kinds == 0) return;
                const std::string_view trimmed = text::trim_end(t);
                if (!command && (kinds & kMayBeCommand) && is_command_line(trimmed)) command = true;
                if (!error && (kinds & kMayBeError) && (is_curl_error_line(trimmed) || is_exit_status_line(trimmed)))
                    error = true;
                return;
            }
        }
    }

    // Whether the kinds found could make a qualifying mix.
    bool may_qualify() const { return http || (command && (marker || body || error)) || (error && body); }
};

// Whether a line whose first two bytes after its indent are (a, b) may
// set a flag of FirstLook: what each kind of line begins with, as far as
// two bytes tell ("HT", "+ ", "==", "cu" ...). For a line of one byte, b
// is the byte after it, whatever it is. Beside those, the blanks FirstLook trims further: "\v", "\f",
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

// The pairs of bytes that may begin a line after its indent, one bit per
// pair, bit (a | b << 8) for the pair (a, b): two bytes read as a number.
class PairSet {
public:
    static constexpr unsigned key(unsigned char a, unsigned char b) { return a | (unsigned{b} << 8); }
    // The key of the two bytes from `at`, in one load where it can be.
    static unsigned key_at(const char* at) {
        if constexpr (std::endian::native == std::endian::little) {
            std::uint16_t two;
            std::memcpy(&two, at, 2);
            return two;
        } else {
            return key(static_cast<unsigned char>(at[0]), static_cast<unsigned char>(at[1]));
        }
    }
    constexpr bool has(unsigned key) const { return (bits_[key >> 6] >> (key & 63)) & 1; }
    constexpr void add(unsigned char a, unsigned char b) {
        bits_[key(a, b) >> 6] |= std::uint64_t{1} << (key(a, b) & 63);
    }
    // Every pair that begins with `a`.
    constexpr void drop(unsigned char a) {
        for (unsigned b = 0; b < 256; ++b)
            bits_[key(a, static_cast<unsigned char>(b)) >> 6] &= ~(std::uint64_t{1} << (key(a, 0) & 63));
    }

private:
    std::array<std::uint64_t, 1024> bits_{};
};

// The pairs that may matter, and those that begin with a blank: a line
// whose indent fills the window below is looked at whole.
constexpr PairSet make_pairs() {
    PairSet t;
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned b = 0; b < 256; ++b)
            if (a == ' ' || a == '\t' || pair_may_matter(static_cast<unsigned char>(a), static_cast<unsigned char>(b)))
                t.add(static_cast<unsigned char>(a), static_cast<unsigned char>(b));
    return t;
}
constexpr PairSet kPairsThatMatter = make_pairs();

// Every line that may be a command or an error begins with a pair that
// may matter: a tool's name as written, an error word in either case.
constexpr bool pairs_cover_words() {
    const auto upper = [](char c) { return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c); };
    for (std::string_view tool : kToolNames)
        if (!pair_may_matter(static_cast<unsigned char>(tool[0]), static_cast<unsigned char>(tool[1]))) return false;
    for (std::string_view word : kErrorWords)
        for (unsigned char a : {static_cast<unsigned char>(word[0]), upper(word[0])})
            for (unsigned char b : {static_cast<unsigned char>(word[1]), upper(word[1])})
                if (!pair_may_matter(a, b)) return false;
    return true;
}
static_assert(pairs_cover_words());

// Lines from which this many bytes are readable are told without being
// cut out: the indent window and the eight bytes after it.
constexpr std::size_t kWindow = 24;

// The first line in [from, to) whose two bytes after its indent form a pair
// of `pairs`, `to` when none. Every line in [from, to) has kWindow bytes
// readable from its start. An indent of 16 blanks or more is read as 16:
// the byte after them is a blank, every pair of which is in `pairs` (the
// line is then looked at whole), or the first after the indent.
std::size_t next_line_to_look_at(const text::LineIndex& lines, std::size_t from, std::size_t to, const PairSet& pairs) {
    const char* const data = lines.text().data();
    for (std::size_t i = from; i < to; ++i) {
        const char* at = data + lines.start(i);
        const unsigned k = text::indent_within_16(at);
        if (pairs.has(PairSet::key_at(at + k))) return i;
    }
    return to;
}

// Whether a line whose pair may matter, with its first byte after the
// indent at `at`, still may set a flag of FirstLook: what FirstLook tests
// first, on the bytes from there. Most such lines fail it.
bool passes_first_test(const text::LineIndex& lines, std::size_t i, const char* at) {
    const auto first = static_cast<unsigned char>(at[0]);
    const Lead lead = kLeads[first];
    if (lead == Lead::Letter) return command_or_error_kinds(lowered_word(at)) != 0;
    if (lead != Lead::Marker) return true;
    // A marker line's run is three long, and a marker of dashes ends with
    // three of them too: a line that ends with another byte than a dash or
    // a blank is none.
    if (static_cast<unsigned char>(at[2]) != first) return false;
    if (first != '-') return true;
    const auto last = static_cast<unsigned char>(lines[i].back());
    return last >= 0x80 || last == '-' || text::is_ascii_whitespace(static_cast<char>(last));
}

// Calls `visit(i, told_by_pair)` for each line whose two bytes after its
// indent form a pair of `pairs` (told_by_pair true; `visit` may narrow the
// pairs as it goes), and for each of the last lines, fewer than kWindow
// bytes from the end, which are looked at whole (told_by_pair false);
// stops when `visit` returns true, and tells whether it did.
template <class Visit>
bool visit_lines_by_pairs(const text::LineIndex& lines, const PairSet& pairs, Visit visit) {
    const std::string_view s = lines.text();
    const std::size_t n = lines.size();
    std::size_t told = n;
    while (told > 0 && s.size() - lines.start(told - 1) < kWindow) --told;
    for (std::size_t i = 0; i < n; ++i) {
        if (i < told) {
            i = next_line_to_look_at(lines, i, told, pairs);
            if (i == told) {
                --i;  // the loop moves on to the first line looked at whole
                continue;
            }
        }
        if (visit(i, i < told)) return true;
    }
    return false;
}

// Whether the first look at the lines finds a mix that may qualify. Every
// line is told by the two bytes after its indent, read through the line
// index; only the few lines whose pair may matter are looked at whole. A
// kind of line whose flags are all set asks for nothing more: the pairs
// that begin it are then dropped.
bool first_look_may_qualify(const text::LineIndex& lines) {
    const std::string_view s = lines.text();
    PairSet pairs = kPairsThatMatter;
    const auto drop = [&pairs](std::string_view firsts) {
        for (char c : firsts) pairs.drop(static_cast<unsigned char>(c));
    };
    FirstLook look;
    const bool qualifies = visit_lines_by_pairs(lines, pairs, [&](std::size_t i, bool told_by_pair) {
        if (told_by_pair) {
            const char* at = s.data() + lines.start(i);
            const unsigned k = text::indent_within_16(at);
            if (at[k] != ' ' && at[k] != '\t' && !passes_first_test(lines, i, at + k)) return false;
        }
        const FirstLook before = look;
        look.add(lines[i]);
        if (look.may_qualify()) return true;
        if (look.command != before.command) drop("$+");
        if (look.body != before.body) drop("{[<");
        if (look.marker != before.marker) drop("=-*#");
        if (look.command && look.error) drop("cCwnpPufFsSeE");
        return false;
    });
    if (qualifies) return true;
    // A shell prompt begins with a user's name or a terminal sequence, which
    // no pair tells: prompts are looked for only when a command is all that
    // the mix lacks.
    return !look.command && (look.marker || look.body || look.error) && has_prompt_line(lines);
}

// The pairs that may begin a command line by its own words after the
// indent: "$ ", "+ ", a tool's name as written, and the blanks that the
// first look trims further; and those that begin with a blank, as above.
constexpr PairSet make_command_pairs() {
    PairSet t;
    for (unsigned a = 0; a < 256; ++a) {
        const auto ca = static_cast<unsigned char>(a);
        if (a != ' ' && a != '\t' && kLeads[a] != Lead::Trim) continue;
        for (unsigned b = 0; b < 256; ++b)
            if (a == ' ' || a == '\t' || pair_may_matter(ca, static_cast<unsigned char>(b)))
                t.add(ca, static_cast<unsigned char>(b));
    }
    t.add('$', ' ');
    t.add('+', ' ');
    for (std::string_view tool : kToolNames)
        t.add(static_cast<unsigned char>(tool[0]), static_cast<unsigned char>(tool[1]));
    return t;
}
constexpr PairSet kCommandPairs = make_command_pairs();

// Whether the lines, every one of them, name two different commands. The
// segments count the command lines outside bodies only, so a text for
// which this fails is no transcript of several commands; most texts fail
// it for the price of a first look, where segmenting would read every line.
bool may_run_several_commands(const text::LineIndex& lines) {
    CommandNames names;
    return visit_lines_by_pairs(lines, kCommandPairs,
                                [&](std::size_t i, bool) {
                                    const std::string_view command = own_command_of(text::trim(lines[i]));
                                    return !command.empty() && names.add(command);
                                }) ||
           find_prompt_command(lines, [&names](std::string_view command) { return names.add(command); });
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

namespace {

std::optional<std::vector<TranscriptSegment>> segment_lines(const text::LineIndex& lines, CommandNames& names) {
    const std::size_t n = lines.size();
    if (n < kMinLines) return std::nullopt;
    if (!first_look_may_qualify(lines)) return std::nullopt;

    BodyIndex bodies(lines);
    std::optional<JsonBodies> json_bodies;
    std::vector<TranscriptSegment> segments;
    std::string scratch;
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
        } else if (const std::string_view command = command_of(line, t, scratch); !command.empty()) {
            // A command line stays as written, in its place: it tells which
            // command printed the lines after it.
            close(i, 1, false);
            ++counts.commands;
            names.add(command);
        } else if (pending == n) {
            pending = i;
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

}  // namespace

std::optional<std::vector<TranscriptSegment>> segment_mixed_transcript_lines(const text::LineIndex& lines) {
    CommandNames names;
    return segment_lines(lines, names);
}

bool is_multi_command_transcript(const text::LineIndex& lines) {
    if (lines.size() < kMinLines || !may_run_several_commands(lines)) return false;
    CommandNames names;
    return segment_lines(lines, names) && names.several();
}

}  // namespace filters::mixed_transcript::detector
