#include "filters/mixed_transcript/detector.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>

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

constexpr std::array<std::string_view, 15> kExitPhrases = {
    "finished with exit code",  "command exited with status", "command exited with code", "command exited",
    "command exit with status", "command exit with code",     "command exit",             "process exited with status",
    "process exited with code", "process exited",             "script returned exit code", "script returned",
    "exit status",              "exit code",                  "exit"};

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
    for (std::size_t i = 0; i < s.size();) {
        if (!text::is_ascii_alnum(s[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < s.size() && text::is_ascii_alnum(s[i])) ++i;
        if (s.substr(start, i - start) == word) return true;
    }
    return false;
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
    if (text::starts_with_any(message, {"failure ", "failed to ", "failed writing", "failed receiving",
                                        "failed reading", "failed sending", "unable to ", "unsupported protocol",
                                        "unsupported proxy", "unsupported scheme", "connection refused",
                                        "connection reset", "connection timed out", "connection timeout",
                                        "connection closed", "connection failed", "operation timed out",
                                        "empty reply", "url rejected", "url malformed", "url using bad/illegal format",
                                        "no url"}))
        return true;
    for (std::string_view word : {"protocol", "proxy", "ssl", "tls", "openssl", "recv", "send", "resolving",
                                  "the requested url"})
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
    const std::vector<std::string_view> tokens = text::split_whitespace(t);
    if (tokens.size() < 2) return false;
    const std::string_view first = tokens[0];
    if (first == "curl" || first == "wget") {
        for (std::size_t k = 1; k < tokens.size(); ++k)
            if (is_option(tokens[k]) ||
                text::starts_with_any_ignore_case(tokens[k],
                                                  {"http://", "https://", "localhost/", "localhost:", "127."}))
                return true;
        return false;
    }
    if (first == "node" || first == "python") {
        for (std::size_t k = 1; k < tokens.size(); ++k) {
            if (is_option(tokens[k])) return true;
            for (std::string_view ext : {".py", ".js", ".ts", ".sh", ".mjs", ".cjs", ".tsx", ".jsx", ".bash", ".rs"})
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

// What the first look at each line finds, to decline a text in which no
// mix can qualify before any body is scanned. Most lines of other output
// are settled by their first byte.
struct FirstLook {
    bool http = false, command = false, error = false, marker = false, body = false;

    void add(std::string_view line) {
        std::string_view t = line.substr(text::leading_blanks(line));
        if (!t.empty() && static_cast<unsigned char>(t[0]) >= 0x80) t = trim_start_ws(t);
        if (t.empty()) return;
        switch (t[0]) {
            case 'H':
                http = http || (t.size() > 4 && t.starts_with("HTTP/"));
                return;
            case '$':
            case '+':
                command = command || (t.size() >= 2 && t[1] == ' ');
                return;
            case '{':
            case '[':
                body = true;
                return;
            case '<':
                body = body || text::starts_with_any_ignore_case(t, {"<!doctype html", "<html"});
                return;
            case '=':
            case '-':
            case '*':
            case '#':
                marker = marker || is_marker_line(text::trim_end(t));
                return;
            case 'c': case 'C': case 'w': case 'n': case 'p': case 'P': case 'u':
            case 'f': case 'F': case 's': case 'S': case 'e': case 'E': {
                const std::string_view trimmed = text::trim_end(t);
                if (!command && is_command_line(trimmed)) command = true;
                if (!error && (is_curl_error_line(trimmed) || is_exit_status_line(trimmed))) error = true;
                return;
            }
            default:
                return;
        }
    }

    // Whether the kinds found could make a qualifying mix.
    bool may_qualify() const { return http || (command && (marker || body || error)) || (error && body); }
};

// -------------------------------------------------------------- bodies --

// Where the bodies that may start at each line end, found once for the
// whole text so that no scan restarts from every line that opens one.
class BodyIndex {
public:
    explicit BodyIndex(const text::LineIndex& lines) : n_(lines.size()) {
        next_empty_.assign(n_ + 1, n_);
        next_colonless_.assign(n_ + 1, n_);
        next_html_close_.assign(n_ + 1, n_);
        for (std::size_t i = n_; i-- > 0;) {
            const std::string_view line = lines[i];
            next_empty_[i] = line.empty() ? i : next_empty_[i + 1];
            next_colonless_[i] = (!line.empty() && line.find(':') == std::string_view::npos) ? i : next_colonless_[i + 1];
            next_html_close_[i] = text::contains_ignore_case(line, "</html>") ? i : next_html_close_[i + 1];
        }
        index_json(lines);
    }

    // The line ending an HTTP head whose status line is `i`, or nothing.
    std::optional<std::size_t> http_head_end(std::size_t i) const {
        if (i + 1 >= n_ || next_empty_[i + 1] == i + 1) return std::nullopt;
        const std::size_t end = next_empty_[i + 1];
        if (end >= n_ || next_colonless_[i + 1] < end) return std::nullopt;
        return end;
    }

    std::optional<std::size_t> html_end(std::size_t i) const {
        return next_html_close_[i] < n_ ? std::optional(next_html_close_[i]) : std::nullopt;
    }

    // The last line of the bracket-balanced run that starts at line `i`, or
    // nothing; the caller still checks that it parses.
    std::optional<std::size_t> json_end(std::size_t i) const {
        const auto it = json_end_.find(i);
        if (it == json_end_.end()) return std::nullopt;
        return it->second;
    }

private:
    struct Depths {
        std::int64_t delta = 0;       // depth change over the line
        std::int64_t lowest = 0;      // lowest depth reached, from 0 at its start
        bool ends_in_string = false;  // a raw newline in a string: no JSON
    };

    static Depths scan_line(std::string_view line) {
        Depths d;
        bool in_string = false, escaped = false;
        for (char c : line) {
            if (in_string) {
                if (escaped)
                    escaped = false;
                else if (c == '\\')
                    escaped = true;
                else if (c == '"')
                    in_string = false;
            } else if (c == '{' || c == '[') {
                ++d.delta;
            } else if (c == '}' || c == ']') {
                --d.delta;
                d.lowest = std::min(d.lowest, d.delta);
            } else if (c == '"') {
                in_string = true;
            }
        }
        d.ends_in_string = in_string;
        return d;
    }

    // For every line that opens with "{" or "[": the first later line end at
    // which the depth is back where the line started, unless the depth drops
    // below that first or a string runs past a line end.
    void index_json(const text::LineIndex& lines) {
        std::vector<std::int64_t> start_depth(n_ + 1, 0), lowest(n_, 0);
        std::vector<std::size_t> next_string_end(n_ + 1, n_);
        std::vector<bool> opens(n_, false);
        bool any = false;
        for (std::size_t i = 0; i < n_; ++i) {
            const std::string_view t = trim_start_ws(lines[i]);
            opens[i] = !t.empty() && (t[0] == '{' || t[0] == '[');
            any = any || opens[i];
        }
        if (!any) return;
        std::vector<Depths> depths(n_);
        for (std::size_t i = 0; i < n_; ++i) {
            depths[i] = scan_line(lines[i]);
            start_depth[i + 1] = start_depth[i] + depths[i].delta;
            lowest[i] = start_depth[i] + depths[i].lowest;
        }
        // Line ends by depth, in line order.
        std::unordered_map<std::int64_t, std::vector<std::size_t>> ends_at_depth;
        for (std::size_t i = 0; i < n_; ++i) ends_at_depth[start_depth[i + 1]].push_back(i);

        // From the last line back: the chain of lines whose lowest depth is
        // below every lowest depth before them (from the current line on),
        // so the first line that drops below a depth is a binary search.
        std::vector<std::size_t> chain;  // back = nearest line
        for (std::size_t i = n_; i-- > 0;) {
            next_string_end[i] = depths[i].ends_in_string ? i : next_string_end[i + 1];
            while (!chain.empty() && lowest[chain.back()] >= lowest[i]) chain.pop_back();
            chain.push_back(i);
            if (!opens[i]) continue;
            const std::int64_t base = start_depth[i];
            // lowest[] rises from the chain's front to its back.
            const auto below = std::lower_bound(chain.begin(), chain.end(), base,
                                                [&](std::size_t j, std::int64_t v) { return lowest[j] < v; });
            const std::size_t drops = below == chain.begin() ? n_ : *(below - 1);
            const std::size_t fails = std::min(drops, next_string_end[i]);
            const auto found = ends_at_depth.find(base);
            if (found == ends_at_depth.end()) continue;
            const auto end = std::lower_bound(found->second.begin(), found->second.end(), i);
            if (end != found->second.end() && *end < fails) json_end_.emplace(i, *end);
        }
    }

    std::size_t n_;
    std::vector<std::size_t> next_empty_, next_colonless_, next_html_close_;
    std::unordered_map<std::size_t, std::size_t> json_end_;
};

bool parses_as_container(const text::LineIndex& lines, std::size_t first, std::size_t last) {
    const std::size_t begin = lines.start(first);
    const std::size_t end = lines.start(last) + lines[last].size();
    const std::string_view body = text::trim(lines.text().substr(begin, end - begin));
    const json::DocumentKind kind = json::visit_document(body, {});
    return kind == json::DocumentKind::Array || kind == json::DocumentKind::Object;
}

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
    for (std::size_t i = 0; i < s.size();) {
        if (!text::is_ascii_alnum(s[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < s.size() && text::is_ascii_alnum(s[i])) ++i;
        window[0] = window[1];
        window[1] = window[2];
        window[2] = s.substr(start, i - start);
        if (++seen >= 3 && window[0] == words[0] && window[1] == words[1] && window[2] == words[2]) return true;
    }
    return false;
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
    FirstLook look;
    for (std::size_t i = 0; i < n; ++i) {
        look.add(lines[i]);
        if (look.http) break;
    }
    if (!look.may_qualify()) return std::nullopt;

    const BodyIndex bodies(lines);
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
        if (lead.starts_with('{') || lead.starts_with('['))
            if (const auto end = bodies.json_end(i);
                end && !(i == 0 && *end == n - 1) && parses_as_container(lines, i, *end)) {
                close(i, *end - i + 1, true);
                ++counts.json;
                i = *end + 1;
                continue;
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
