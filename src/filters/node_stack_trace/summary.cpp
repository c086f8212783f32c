#include "filters/node_stack_trace/summary.h"

#include <array>

#include "text.h"

namespace filters::node_stack_trace::summary {

namespace {

// Log prefixes that npm and yarn put before every line they relay.
constexpr std::string_view kToolPrefixes[] = {"npm err!", "npm error", "npm warn",  "npm notice",
                                              "npm verb", "npm sill",  "yarn error"};

// Prompt arrows that test reporters print before a frame.
constexpr std::string_view kPromptArrows[] = {"\xE2\x80\xBA", "\xE2\x9D\xAF", "\xE2\x86\x92"};  // › ❯ →

constexpr std::string_view kScriptExtensions[] = {".js",  ".jsx", ".ts",  ".tsx",    ".mjs",  ".cjs",
                                                  ".mts", ".cts", ".vue", ".svelte", ".astro"};

constexpr std::size_t kMaxPreludeBytes = 220;
constexpr std::size_t kMinRejectionHeadlineBytes = 25;
constexpr std::string_view kUnhandledRejection = "UnhandledPromiseRejection";

// Parts of a location looked for anywhere in it, ASCII case ignored, in
// one pass: Node internals, installed packages, and project folders.
constexpr unsigned kInternalGroup = 0, kDependencyGroup = 1, kProjectGroup = 2;
constexpr text::WordSet<13> kLocationWords(std::array<text::SearchWord, 13>{{
    {"node:internal", kInternalGroup},
    {"/internal/modules/", kInternalGroup},
    {"/internal/process/", kInternalGroup},
    {"/internal/errors", kInternalGroup},
    {"/internal/timers", kInternalGroup},
    {"node_modules/", kDependencyGroup},  // "/node_modules/" too
    {"/.pnpm/", kDependencyGroup},
    {"/.yarn/cache/", kDependencyGroup},
    {"/.bun/install/cache/", kDependencyGroup},
    {"/src/", kProjectGroup},
    {"/tests/", kProjectGroup},
    {"/test/", kProjectGroup},
    {"/app/", kProjectGroup},
}});

constexpr text::WordSet<9> kPreludeWords =
    text::WordSet<9>::of({"error", "failed", "cannot ", "can't ", "module not found", "failed to load config",
                          "starting dev server", "unhandled", "uncaught"});

std::uint32_t location_groups(std::string_view location) { return kLocationWords.groups_in(location, 0); }

bool is_internal(std::string_view location, std::uint32_t groups) {
    return (groups & (1u << kInternalGroup)) || text::starts_with_any_ignore_case(location, {"node:", "internal/"});
}

bool is_dependency(std::uint32_t groups) { return (groups & (1u << kDependencyGroup)) != 0; }

// Whether a prefix of `len` bytes of `n` ends a word: white space, ":" or
// the end of the line follows. "npm warning" is no "npm warn" prefix.
bool ends_word(std::string_view n, std::size_t len) {
    return len == n.size() || n[len] == ':' || text::whitespace_length_at(n, len) > 0;
}

bool ends_with_script_extension(std::string_view s) {
    for (std::string_view ext : kScriptExtensions)
        if (text::ends_with_ignore_case(s, ext)) return true;
    return false;
}

std::string_view cut_at(std::string_view s, char c) {
    const std::size_t at = s.find(c);
    return at == std::string_view::npos ? s : s.substr(0, at);
}

std::string_view first_word(std::string_view s) {
    s = text::trim_start(s);
    std::size_t i = 0;
    while (i < s.size()) {
        if (text::whitespace_length_at(s, i)) break;
        i += text::utf8_len(static_cast<unsigned char>(s[i]));
    }
    return s.substr(0, std::min(i, s.size()));
}

// The last piece of `s` between runs of white space.
std::string_view last_word(std::string_view s) {
    s = text::trim_end(s);
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        if (const std::size_t w = text::whitespace_length_at(s, i)) {
            i += w;
            start = i;
        } else {
            i += text::utf8_len(static_cast<unsigned char>(s[i]));
        }
    }
    return s.substr(std::min(start, s.size()));
}

bool has_whitespace(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); i += text::utf8_len(static_cast<unsigned char>(s[i])))
        if (text::whitespace_length_at(s, i)) return true;
    return false;
}

bool is_rejection_headline(std::string_view n) {
    return n.size() >= kMinRejectionHeadlineBytes && n.starts_with(kUnhandledRejection);
}

bool is_code_char(char c) { return (c >= 'A' && c <= 'Z') || text::is_ascii_digit(c) || c == '_'; }

bool is_error_code_token(std::string_view token) {
    if (token == "MODULE_NOT_FOUND") return true;
    if (token.size() < 4 || token == "ERROR" || token[0] != 'E') return false;
    for (char c : token)
        if (!is_code_char(c)) return false;
    return true;
}

}  // namespace

std::string_view normalize_selected_line(std::string_view line, std::string& storage) {
    std::string_view n = line;
    if (line.find('\x1b') != std::string_view::npos) {
        storage = text::strip_ansi(line);
        n = storage;
    }
    n = text::trim(n);
    if (!n.empty() && (n[0] | 0x20) != 'n' && (n[0] | 0x20) != 'y') return n;
    for (std::string_view prefix : kToolPrefixes)
        if (text::starts_with_ignore_case(n, prefix) && ends_word(n, prefix.size())) {
            n = text::trim(n.substr(prefix.size()));
            break;
        }
    return n;
}

std::string normalize_selected_line(std::string_view line) {
    std::string storage;
    return std::string(normalize_selected_line(line, storage));
}

std::optional<FrameLine> parse_frame_line(std::string_view line) {
    std::string storage;
    const std::optional<FrameView> frame = parse_frame_view(line, storage);
    if (!frame) return std::nullopt;
    return FrameLine{std::string(frame->text), std::string(frame->location), frame->kind};
}

std::optional<FrameView> parse_frame_view(std::string_view line, std::string& storage) {
    std::optional<FrameView> frame = locate_frame(line, storage);
    if (frame) frame->kind = frame_kind(frame->location);
    return frame;
}

bool is_frame_line(std::string_view line, std::string& storage) { return locate_frame(line, storage).has_value(); }

std::optional<FrameView> locate_frame(std::string_view line, std::string& storage) {
    std::string_view t = normalize_selected_line(line, storage);
    for (bool removed = true; removed;) {
        removed = false;
        for (std::string_view arrow : kPromptArrows)
            if (t.starts_with(arrow)) {
                t.remove_prefix(arrow.size());
                removed = true;
            }
    }
    t = text::trim(t);
    if (t.ends_with(" {"))
        t.remove_suffix(2);
    else if (t.ends_with('{') || t.ends_with(','))
        t.remove_suffix(1);
    t = text::trim_end(t);
    if (t.size() < 3 || !t.starts_with("at ")) return std::nullopt;

    std::string_view candidate;
    if (t.ends_with(')')) {
        const std::size_t open = t.rfind('(');
        if (open != std::string_view::npos) candidate = text::trim(t.substr(open + 1, t.size() - 1 - (open + 1)));
    }
    if (candidate.empty()) {
        std::string_view rest = text::trim(t.substr(3));
        if (rest.starts_with("async ")) rest = text::trim(rest.substr(6));
        if (rest.empty()) return std::nullopt;
        candidate = has_whitespace(rest) ? last_word(rest) : rest;
    }
    if (!has_stack_location_signal(candidate)) return std::nullopt;
    return FrameView{t, candidate, FrameKind::Other};
}

FrameKind frame_kind(std::string_view location) {
    std::string location_storage;
    const std::string_view m = normalize_location(location, location_storage);
    const std::uint32_t groups = location_groups(m);
    FrameKind kind = FrameKind::Other;
    if (is_internal(m, groups))
        kind = FrameKind::Internal;
    else if (is_dependency(groups))
        kind = FrameKind::Dependency;
    else if (is_repo_looking_path(m) || m.starts_with('/'))
        // Outside node's internals and installed packages, a frame in a file
        // on this machine ("/srv/api/lib/db.js", "file:///tmp/app/main.mjs")
        // is the project's own code, wherever the project lives.
        kind = FrameKind::Project;
    return kind;
}

std::string_view normalize_location(std::string_view location, std::string& storage) {
    std::string_view m = text::trim(location);
    while (!m.empty() && (m.front() == '\'' || m.front() == '"')) m.remove_prefix(1);
    while (!m.empty() && (m.back() == '\'' || m.back() == '"')) m.remove_suffix(1);
    if (m.starts_with("- ")) m = text::trim(m.substr(2));
    if (m.starts_with("file://")) m.remove_prefix(7);
    m = cut_at(cut_at(m, '?'), '#');
    if (m.find('\\') == std::string_view::npos) return m;
    storage.assign(m);
    for (char& c : storage)
        if (c == '\\') c = '/';
    return storage;
}

std::string normalize_location(std::string_view location) {
    std::string storage;
    return std::string(normalize_location(location, storage));
}

std::string_view strip_line_column_suffix(std::string_view location) {
    const std::string_view s = cut_at(cut_at(location, '?'), '#');
    const std::size_t last = s.rfind(':');
    if (last == std::string_view::npos) return s;
    if (text::digit_run(s, last + 1) != s.size() - last - 1) return s;
    if (last > 0) {
        const std::size_t before = s.rfind(':', last - 1);
        if (before != std::string_view::npos && text::digit_run(s, before + 1) == last - before - 1)
            return s.substr(0, before);
    }
    return s.substr(0, last);
}

bool has_stack_location_signal(std::string_view location) {
    if (text::starts_with_ignore_case(location, "node:") || text::contains_ignore_case(location, "node:internal"))
        return true;
    std::string_view s = location.substr(0, std::min(location.find('?'), location.find('#')));
    while (s.ends_with(')')) s.remove_suffix(1);
    if (s.empty()) return false;
    const std::size_t colon = s.rfind(':');
    return colon != std::string_view::npos && text::digit_run(s, colon + 1) == s.size() - colon - 1;
}

bool is_node_internal_location(std::string_view lower) { return is_internal(lower, location_groups(lower)); }

bool is_repo_looking_path(std::string_view location_or_line) {
    // Every rule below needs a "/" or a "." (a script extension).
    if (location_or_line.find_first_of("/\\.") == std::string_view::npos) return false;
    std::string storage;
    const std::string_view m = normalize_location(location_or_line, storage);
    if (m.empty()) return false;
    const std::uint32_t groups = location_groups(m);
    if (is_internal(m, groups) || is_dependency(groups)) return false;
    if (text::starts_with_any_ignore_case(
            m, {"webpack://", "vite://", "./", "../", "~/", "/workspace/", "/workspaces/", "/home/", "/users/"}))
        return true;
    if (groups & (1u << kProjectGroup)) return true;
    if (m.size() >= 3 && m[1] == ':' && m[2] == '/') return true;
    const std::string_view t = strip_line_column_suffix(m);
    if (text::starts_with_any_ignore_case(t, {"src/", "test/", "tests/", "app/"}) && ends_with_script_extension(t))
        return true;
    return m.find('/') == std::string_view::npos && ends_with_script_extension(t);
}

bool is_error_headline(std::string_view n) {
    if (is_rejection_headline(n)) return true;
    const std::size_t colon = n.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view head = text::trim(n.substr(0, colon));
    if (head.empty()) return false;
    head = text::trim(cut_at(head, '['));
    while (head.starts_with("Uncaught ")) head.remove_prefix(9);
    const std::string_view word = first_word(head);
    return word.ends_with("Error") || word.ends_with("Exception");
}

std::string exception_type(std::string_view n) {
    if (is_rejection_headline(n)) return std::string(text::trim(cut_at(n, ':')));
    const std::string_view word = first_word(text::trim(cut_at(cut_at(n, ':'), '[')));
    return word.empty() ? std::string("Error") : std::string(word);
}

std::optional<std::string> extract_error_code(std::string_view n) {
    std::size_t i = 0;
    while (i < n.size()) {
        if (!text::is_ascii_alnum(n[i]) && n[i] != '_') {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < n.size() && (text::is_ascii_alnum(n[i]) || n[i] == '_')) ++i;
        const std::string_view token = n.substr(start, i - start);
        if (is_error_code_token(token)) return std::string(token);
    }
    return std::nullopt;
}

bool is_code_line(std::string_view n) {
    return n.size() >= 5 && text::starts_with_any_ignore_case(n, {"code:", "code "}) &&
           extract_error_code(n).has_value();
}

bool is_node_version_line(std::string_view n) { return text::starts_with_any_ignore_case(n, {"node.js v", "node v"}); }

bool is_stack_section_line(std::string_view n) {
    // A nested cause ("[cause]: Error: connect ECONNREFUSED ...") is often
    // the only line that says why the error happened.
    return n == "Require stack:" || n == "Import stack:" ||
           text::starts_with_any(
               n, {"Emitted 'error' event", "Caused by:", "From previous event:", "[cause]:", "[errors]:"});
}

bool is_error_source_context(std::string_view n) {
    return n == "^" || text::starts_with_any(n, {"node:", "throw ", "throw;", "return ", "import ", "require("}) ||
           text::starts_with_any_ignore_case(n, {"triggeruncaughtexception", "process.emit"});
}

bool is_important_prelude(std::string_view n) { return n.size() <= kMaxPreludeBytes && kPreludeWords.found_in(n); }

bool is_command_or_status_line(std::string_view n) {
    return text::starts_with_any(n, {"$ ", "+ ", "> "}) ||
           text::starts_with_any_ignore_case(
               n, {"node ", "npm ", "npx ", "bun ", "pnpm ", "yarn ", "vite ", "vitest ", "playwright ", "command ",
                   "exit code", "exit status", "process exited", "finished with exit code"}) ||
           text::contains_ignore_case(n, " command failed");
}

bool is_caret_line(std::string_view n) { return !n.empty() && n.find_first_not_of('^') == std::string_view::npos; }

BraceRole ErrorObjectBraces::step(std::string_view n, bool frame) {
    if (n.empty()) {
        open_.clear();
        return BraceRole::Outside;
    }
    const bool opens = n.ends_with('{') || n.ends_with('[');
    if (n.starts_with('}') || n.starts_with(']')) {
        if (open_.empty()) return BraceRole::Outside;
        open_.pop_back();
        // "}, {" between the elements of an array of objects.
        if (opens) open_.push_back(false);
        return BraceRole::Closing;
    }
    const bool opens_error = opens && (frame || is_error_headline(n) || is_stack_section_line(n));
    if (open_.empty()) {
        if (opens_error) open_.push_back(true);
        return BraceRole::Outside;
    }
    const BraceRole role = open_.back() ? BraceRole::Property : BraceRole::Nested;
    if (opens) open_.push_back(opens_error);
    return role;
}

}  // namespace filters::node_stack_trace::summary
