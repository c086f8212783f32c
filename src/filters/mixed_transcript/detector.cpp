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
        // Blanks other than spaces and tabs ("\v", "\f", U+00A0 ...) are rare:
        // the full trim only for them.
        if (!t.empty() && (static_cast<unsigned char>(t[0]) >= 0x80 || text::is_ascii_whitespace(t[0])))
            t = trim_start_ws(t);
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
            case 'c':
            case 'C':
            case 'w':
            case 'n':
            case 'p':
            case 'P':
            case 'u':
            case 'f':
            case 'F':
            case 's':
            case 'S':
            case 'e':
            case 'E': {
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
    FirstLook look;
    for (std::size_t i = 0; i < n; ++i) {
        look.add(lines[i]);
        if (look.http) break;
    }
    if (!look.may_qualify()) return std::nullopt;

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
