// Location and path utilities, and the run signals and line roles that the
// detector and the reducer build on the per-tool classifiers.
#include "filters/build_compiler/summary.h"

#include "filters/build_compiler/line_scan.h"
#include "text.h"

namespace filters::build_compiler::summary {

void PreparedLine::assign(std::string_view raw) { assign_untrimmed(text::trim(raw)); }

void PreparedLine::assign_untrimmed(std::string_view raw) {
    text_ = raw;
    const std::size_t n = raw.size();
    lower_.resize(n);
    char* out = lower_.data();
    for (std::size_t i = 0; i < n; ++i) out[i] = text::to_lower_ascii(raw[i]);
    // A local set: stores into the lowercased copy cannot alias it, so it
    // stays out of the copy loop and out of memory round trips.
    std::array<std::uint64_t, 16> pairs{};
    for (std::size_t i = 1; i < n; ++i) {
        std::size_t bit = pair_bit(out[i - 1], out[i]);
        pairs[bit >> 6] |= std::uint64_t{1} << (bit & 63);
    }
    pairs_ = pairs;

    extension_count_ = 0;
    extension_colons_complete_ = true;
    for (std::size_t colon = raw.find(':'); colon != std::string_view::npos; colon = raw.find(':', colon + 1)) {
        std::size_t start = colon;
        while (start > 0 && colon - start < 7 && text::is_ascii_alpha(raw[start - 1])) --start;
        if (start == colon || colon - start > 6 || start == 0 || raw[start - 1] != '.') continue;
        std::string_view extension = raw.substr(start - 1, colon - start + 1);
        bool seen = false;
        for (std::size_t k = 0; k < extension_count_; ++k) seen = seen || extension_colons_[k].extension == extension;
        if (seen) continue;
        if (extension_count_ == kMaxExtensionColons) {
            extension_colons_complete_ = false;
            break;
        }
        extension_colons_[extension_count_++] = {extension, colon};
    }
}

// ------------------------------------------------------------ utilities --

bool is_line_col(std::string_view text) {
    std::size_t colon = text.find(':');
    return colon != std::string_view::npos && text::is_ascii_digits(text.substr(0, colon)) && text::is_ascii_digits(text.substr(colon + 1));
}

std::optional<std::string_view> consume_line_col(std::string_view text) {
    std::size_t a = digit_run(text, 0);
    if (a == 0 || a >= text.size() || text[a] != ':') return std::nullopt;
    std::size_t b = digit_run(text, a + 1);
    std::size_t end = a + 1 + b;
    if (b == 0 || end >= text.size() || text[end] != ':') return std::nullopt;
    return text.substr(end + 1);
}

std::optional<std::string_view> consume_line_col_then_space(std::string_view text) {
    std::size_t a = digit_run(text, 0);
    if (a == 0 || a >= text.size() || text[a] != ':') return std::nullopt;
    std::size_t b = digit_run(text, a + 1);
    std::size_t end = a + 1 + b;
    if (b == 0 || whitespace_len_at(text, end) == 0) return std::nullopt;
    return text.substr(end);
}

bool has_line_col_suffix(std::string_view text) {
    std::size_t last = text.rfind(':');
    if (last == std::string_view::npos || last == 0) return false;
    std::size_t before = text.rfind(':', last - 1);
    std::size_t start = before == std::string_view::npos ? 0 : before + 1;
    return text::is_ascii_digits(text.substr(last + 1)) && text::is_ascii_digits(text.substr(start, last - start));
}

bool has_extension(std::string_view text, Extensions extensions) {
    // Every extension is a dot and letters, so the text ends with one
    // exactly when the part from its last dot is that extension.
    constexpr std::size_t kLongest = 8;
    std::size_t from = text.size() > kLongest ? text.size() - kLongest : 0;
    std::string_view tail = text.substr(from);
    std::size_t dot = tail.rfind('.');
    if (dot == std::string_view::npos) return false;
    std::string_view suffix = tail.substr(dot);
    for (auto ext : extensions)
        if (text::equals_ignore_case(suffix, ext)) return true;
    return false;
}

std::optional<PathSplit> split_path_after_extension(std::string_view text, Extensions extensions) {
    // One walk over the colons finds, for every extension, whether and where
    // it first occurs directly before a ":"; the earliest extension of the
    // list that occurs at all decides.
    std::size_t best_index = extensions.size();
    std::size_t best_colon = 0;
    for (std::size_t colon = text.find(':'); colon != std::string_view::npos; colon = text.find(':', colon + 1)) {
        std::string_view before = text.substr(0, colon);
        for (std::size_t i = 0; i < best_index; ++i) {
            if (ends_with_quick(before, extensions[i])) {
                best_index = i;
                best_colon = colon;
                break;
            }
        }
        if (best_index == 0) break;
    }
    if (best_index == extensions.size()) return std::nullopt;
    return PathSplit{text.substr(0, best_colon), text.substr(best_colon + 1)};
}

std::optional<PathSplit> split_path_after_extension(const PreparedLine& line, Extensions extensions) {
    if (!line.extension_colons_complete()) return split_path_after_extension(line.text(), extensions);
    // An extension of the list is found before a ":" exactly when the
    // letters between the last dot and that ":" are the extension's.
    for (auto wanted : extensions)
        for (const auto& found : line.extension_colons())
            if (found.extension == wanted)
                return PathSplit{line.text().substr(0, found.colon), line.text().substr(found.colon + 1)};
    return std::nullopt;
}

bool is_note_help_line(std::string_view line) {
    std::string_view s = text::trim_start(line);
    if (!s.empty() && s[0] == '=') s = text::trim_start(s.substr(1));
    return text::starts_with_ignore_case(s, "note:") || text::starts_with_ignore_case(s, "help:") ||
           text::starts_with_ignore_case(s, "did you mean:");
}

bool is_rust_source_bar_line(std::string_view line) {
    std::string_view s = text::trim_start(line);
    if (s.starts_with('|')) return true;
    std::size_t digits = digit_run(s, 0);
    return digits > 0 && text::trim_start(s.substr(digits)).starts_with('|');
}

bool is_c_family_source_context_line(std::string_view line) { return is_rust_source_bar_line(line); }

bool is_lint_source_context_line(std::string_view line) {
    std::string_view t = text::trim(line);
    if (t.empty()) return false;
    if (t[0] == '|' || t[0] == '>') return true;
    for (std::string_view lead : {"·", "╭", "╰", "├"})
        if (t.starts_with(lead)) return true;
    return has(t, "│") || is_oxlint_frame_line(t) || is_c_family_source_context_line(t);
}

// ------------------------------------------------ run signals and roles --

bool contains_nonzero_count(std::string_view text, std::string_view noun) {
    bool after_positive_count = false;
    for (WordCursor words(text); auto word = words.next();) {
        std::string_view w = strip_non_alnum(*word);
        if (after_positive_count &&
            (text::equals_ignore_case(w, noun) || (w.size() == noun.size() + 1 && text::starts_with_ignore_case(w, noun) &&
                                                   text::to_lower_ascii(w.back()) == 's')))
            return true;
        after_positive_count = false;
        if (text::is_ascii_digits(w)) {
            auto n = text::parse_unsigned(w);
            after_positive_count = n && *n > 0;
        }
    }
    return false;
}

namespace {

bool is_word_byte(char c) { return text::is_ascii_alnum(c) || c == '_'; }

// Calls `accept(pos)` for every whole-word occurrence of `word` until it
// returns true.
template <class Accept>
bool any_severity_word(std::string_view text, std::string_view word, Accept accept) {
    for (std::size_t at = text::find_ignore_case(text, word); at != std::string_view::npos;
         at = text::find_ignore_case(text, word, at + 1)) {
        std::size_t end = at + word.size();
        if (at > 0 && is_word_byte(text[at - 1])) continue;
        if (end < text.size() && is_word_byte(text[end])) continue;
        if (accept(at)) return true;
    }
    return false;
}

// The whitespace-separated token right before `pos` counts zero ("0 Error(s)").
bool follows_zero_count(std::string_view text, std::size_t pos) {
    std::string_view before = text.substr(0, pos);
    std::string_view trimmed = text::trim_end(before);
    if (trimmed.size() == before.size()) return false;  // no separate token
    std::size_t start = trimmed.size();
    while (start > 0 && !text::is_ascii_whitespace(trimmed[start - 1])) --start;
    std::string_view token = strip_non_alnum(trimmed.substr(start));
    if (!text::is_ascii_digits(token)) return false;
    for (char c : token)
        if (c != '0') return false;
    return true;
}

bool has_warning_count(const PreparedLine& line) {
    // " and 0 error" holds "0 error", so one test covers both forms.
    return line.has("0 error") && contains_nonzero_count(line.lower(), "warning");
}

bool reads_as_warning_line(const PreparedLine& line) {
    if (has_warning_count(line)) return true;
    std::string_view s = text::trim_start(line.lower());
    if (s.starts_with("warning") || line.has(" - warning:")) return true;
    return (s.starts_with("×") || s.starts_with("!")) && line.has("(") && line.has("):");
}

}  // namespace

bool has_severity_word(std::string_view text, std::string_view word) {
    return any_severity_word(text, word, [](std::size_t) { return true; });
}

bool line_has_error_signal(const PreparedLine& line) {
    std::string_view l = line.lower();
    if (line.has("error") && contains_nonzero_count(l, "error")) return true;
    // A zero count before the word ("0 Error(s)" in a build that only
    // warned) reports the absence of errors.
    if (line.has("error") && any_severity_word(l, "error", [&](std::size_t at) { return !follows_zero_count(l, at); }) &&
        !reads_as_warning_line(line))
        return true;
    if (line.has("fatal") && has_severity_word(l, "fatal") && !has_warning_count(line)) return true;
    return line.has_any({"error[", "failed", "failure", "could not compile", "aborting due to", "running error"});
}

bool line_has_warning_signal(const PreparedLine& line) {
    if (!line.has("warning")) return false;
    std::string_view l = line.lower();
    return contains_nonzero_count(l, "warning") || has_severity_word(l, "warning") || line.has("warning[");
}

namespace {

// Whether `test` holds for some line, each line taken whole.
bool any_line(const std::vector<std::string_view>& lines, bool (*test)(const PreparedLine&)) {
    PreparedLine p;
    for (auto line : lines) {
        p.assign_untrimmed(line);
        if (test(p)) return true;
    }
    return false;
}

}  // namespace

bool has_error_signal(const std::vector<std::string_view>& lines) { return any_line(lines, line_has_error_signal); }

bool has_warning_signal(const std::vector<std::string_view>& lines) { return any_line(lines, line_has_warning_signal); }

bool is_progress_line(const PreparedLine& line) {
    return starts_with_any(line.lower(), {"compiling ", "checking ", "fresh ", "building ", "running ", "downloading ",
                                          "downloaded ", "blocking waiting", "waiting ", "starting compilation",
                                          "file change detected", "linking "});
}

bool has_final_summary_phrase(const PreparedLine& line) {
    std::string_view l = line.lower();
    if (line.has_any({"could not compile", "aborting due to", "error: build failed", "finished `"})) return true;
    if (line.has("warning: ") && line.has(" generated ")) return true;
    if (line.has("found ") && (line.has(" error") || line.has(" warning"))) return true;
    if (line.has(" errors,") && line.has(" warnings,") && line.has(" information"))
        return true;
    if (line.has("warning") && line.has("0 errors")) return true;
    if (l.ends_with("issues:") || l.ends_with("issue:")) return true;
    if (l.starts_with("checked ") && line.has(" file")) return true;
    return line.has("success: no issues found");
}

bool is_final_summary_line(const PreparedLine& line) {
    return has_final_summary_phrase(line) || is_eslint_summary_line(line) || is_ruff_summary_line(line) ||
           is_pyright_summary_line(line) || is_biome_summary_line(line) || is_oxlint_summary_line(line) || is_golangci_lint_summary_line(line) ||
           is_msbuild_summary_line(line) || is_maven_gradle_diagnostic_line(line) ||
           is_make_ninja_cmake_diagnostic_line(line) || is_nx_turbo_diagnostic_line(line) ||
           is_swift_xcode_failure_line(line);
}

bool is_important_diagnostic_line(const PreparedLine& line) {
    std::string_view t = line.text();
    if (starts_with_any(t, {"error:", "error[", "warning:", "warning["})) return true;
    if (t.starts_with("--> ") && has_line_col_suffix(t)) return true;
    if (is_rust_source_bar_line(t) || is_tsc_diagnostic_line(line) || is_eslint_issue_line(line)) return true;
    if (is_mypy_diagnostic_line(t)) return true;
    if (is_ruff_diagnostic_line(line) || is_pyright_diagnostic_line(line) || is_biome_diagnostic_line(line) ||
        is_oxlint_diagnostic_line(line) || is_oxlint_frame_line(t) || is_shellcheck_header_line(line) ||
        is_shellcheck_diagnostic_line(line) || is_markdownlint_diagnostic_line(line) ||
        is_yamllint_diagnostic_line(line) || is_golangci_lint_issue_line(line) ||
        is_golangci_lint_runner_error_line(line) || is_c_family_diagnostic_line(line) ||
        is_go_build_package_header(line) || is_go_build_diagnostic_line(line) || is_msbuild_diagnostic_line(line) ||
        is_msbuild_summary_line(line) || is_maven_gradle_diagnostic_line(line) ||
        is_make_ninja_cmake_diagnostic_line(line) || is_nx_turbo_diagnostic_line(line) ||
        is_swift_xcode_failure_line(line) || is_lint_source_context_line(t) || is_note_help_line(t))
        return true;
    return is_final_summary_line(line);
}

}  // namespace filters::build_compiler::summary
