#include "filters/traceback/summary.h"

#include "text.h"

namespace filters::traceback::summary {

namespace {

constexpr std::string_view kFrameStart = "File \"";
constexpr std::string_view kLineField = "\", line ";
constexpr std::string_view kNameField = ", in ";
constexpr std::string_view kRepeatNote = "[Previous line repeated ";
constexpr std::size_t kMinRepeatNote = 24;

bool starts_with_whitespace(std::string_view line) { return !line.empty() && text::whitespace_length_at(line, 0) > 0; }

// The text before the first ":", else before the first "(", else all of it.
std::string_view head_of(std::string_view t) {
    std::size_t end = t.find(':');
    if (end == std::string_view::npos) end = t.find('(');
    return t.substr(0, end);
}

}  // namespace

std::optional<FrameLine> parse_frame_line(std::string_view line) {
    const std::string_view t = text::trim(line);
    if (!t.starts_with(kFrameStart)) return std::nullopt;
    const std::string_view after = t.substr(kFrameStart.size());
    const std::size_t quote = after.find(kLineField);
    if (quote == std::string_view::npos || quote == 0) return std::nullopt;
    std::string_view rest = after.substr(quote + kLineField.size());
    const std::size_t digits = text::digit_run(rest);
    if (digits == 0 || rest[0] == '0') return std::nullopt;
    rest.remove_prefix(digits);
    if (!rest.empty() && !(rest.starts_with(kNameField) && rest.size() > kNameField.size())) return std::nullopt;
    return FrameLine{t, after.substr(0, quote)};
}

bool is_context_line(std::string_view line) {
    if (starts_with_whitespace(line)) return true;
    const std::string_view t = text::trim(line);
    return t.size() >= kMinRepeatNote && t.starts_with(kRepeatNote) && t.ends_with(']');
}

bool is_unindented_exception_summary(std::string_view line) {
    if (starts_with_whitespace(line)) return false;
    const std::string_view head = text::trim(head_of(text::trim(line)));
    if (head.empty()) return false;
    for (char c : head)
        if (!text::is_ascii_alnum(c) && c != '_' && c != '.') return false;
    const std::size_t dot = head.rfind('.');
    const std::string_view name = dot == std::string_view::npos ? head : head.substr(dot + 1);
    return text::ends_with_any(name, {"Error", "Exception", "Warning", "Interrupt", "Exit", "Iteration", "Timeout",
                                      "Cancelled", "Abort", "Failure", "Failed"});
}

std::string_view normalize_selected_line(std::string_view line) { return text::trim(line); }

std::string_view exception_type(std::string_view line) { return text::trim(head_of(line)); }

bool is_repo_looking_path(std::string_view path) {
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    const std::string l = text::to_lower(p);
    // "<frozen runpy>", "<frozen importlib._bootstrap>": the interpreter's
    // own modules, compiled in. Other pseudo-files ("<stdin>", "<string>")
    // hold code the user gave it.
    if (p.starts_with("<frozen")) return false;
    if (p.starts_with('<')) return true;
    if (text::contains_any(
            l, {"/site-packages/", "/dist-packages/", "/lib/python", "/lib64/python", "/python3.", "/importlib/"}))
        return false;
    if (text::starts_with_any(l, {"/usr/lib/", "/usr/local/lib/", "/opt/hostedtoolcache/"})) return false;
    // Outside installed packages and the interpreter's library, a path is
    // the project's, wherever it lives: "/tmp/proj/reports/", "/app/",
    // "/srv/", as well as a home directory or a relative path.
    return true;
}

}  // namespace filters::traceback::summary
