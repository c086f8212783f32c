// Line classifiers of the build-diagnostics filter: location and path
// utilities, one set of shape tests per compiler, linter and build tool, and
// the run signals and line roles built from them. Each test looks at the
// trimmed line and, where case does not matter, at its lowercased form.
#include "filters/build_compiler/summary.h"

#include <algorithm>

#include "text.h"

namespace filters::build_compiler::summary {

namespace {

// Byte length of the Unicode whitespace character at `pos`, or 0 (also past
// the end).
std::size_t whitespace_at(std::string_view s, std::size_t pos) {
    return pos < s.size() ? text::whitespace_length_at(s, pos) : 0;
}

bool has_whitespace(std::string_view s) { return text::split_once_whitespace(s).has_value(); }

// The first whitespace-separated word of `rest`, which then holds what
// follows it; none when only whitespace is left.
std::optional<std::string_view> take_word(std::string_view& rest) {
    rest = text::trim_start(rest);
    if (rest.empty()) return std::nullopt;
    auto parts = text::split_once_whitespace(rest);
    std::string_view word = parts ? parts->first : rest;
    rest = parts ? parts->second : std::string_view();
    return word;
}

// The last whitespace-separated word of a trimmed, non-empty text.
std::string_view last_word(std::string_view t) {
    std::string_view last;
    while (auto w = take_word(t)) last = *w;
    return last;
}

bool is_ascii_word(std::string_view w) {
    return !w.empty() && std::all_of(w.begin(), w.end(), [](char c) { return text::is_ascii_alpha(c); });
}

// At least two spaces stand right before `word`, a view into `t`.
bool follows_column_gap(std::string_view t, std::string_view word) {
    const auto at = static_cast<std::size_t>(word.data() - t.data());
    return at >= 2 && t[at - 1] == ' ' && t[at - 2] == ' ';
}

}  // namespace

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
    return colon != std::string_view::npos && text::is_ascii_digits(text.substr(0, colon)) &&
           text::is_ascii_digits(text.substr(colon + 1));
}

std::optional<std::string_view> consume_line_col(std::string_view text) {
    std::size_t a = text::digit_run(text, 0);
    if (a == 0 || a >= text.size() || text[a] != ':') return std::nullopt;
    std::size_t b = text::digit_run(text, a + 1);
    std::size_t end = a + 1 + b;
    if (b == 0 || end >= text.size() || text[end] != ':') return std::nullopt;
    return text.substr(end + 1);
}

std::optional<std::string_view> consume_line_col_then_space(std::string_view text) {
    std::size_t a = text::digit_run(text, 0);
    if (a == 0 || a >= text.size() || text[a] != ':') return std::nullopt;
    std::size_t b = text::digit_run(text, a + 1);
    std::size_t end = a + 1 + b;
    if (b == 0 || whitespace_at(text, end) == 0) return std::nullopt;
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
            if (before.ends_with(extensions[i])) {
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

std::optional<std::string_view> after_line_col_severity(std::string_view t) {
    const std::size_t row = text::digit_run(t);
    if (row == 0 || row + 1 >= t.size() || t[row] != ':' || !text::is_ascii_digit(t[row + 1])) return std::nullopt;
    std::string_view rest = t;
    auto first = take_word(rest);
    auto second = take_word(rest);
    if (!first || !second || !is_line_col(*first)) return std::nullopt;
    if (!text::equals_ignore_case(*second, "error") && !text::equals_ignore_case(*second, "warning"))
        return std::nullopt;
    return rest;
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
    std::size_t digits = text::digit_run(s, 0);
    return digits > 0 && text::trim_start(s.substr(digits)).starts_with('|');
}

bool is_c_family_source_context_line(std::string_view line) { return is_rust_source_bar_line(line); }

bool is_lint_source_context_line(std::string_view line) {
    std::string_view t = text::trim(line);
    if (t.empty()) return false;
    if (t[0] == '|' || t[0] == '>') return true;
    for (std::string_view lead : {"·", "╭", "╰", "├"})
        if (t.starts_with(lead)) return true;
    return text::contains(t, "│") || is_oxlint_frame_line(t) || is_c_family_source_context_line(t);
}

// ------------------------------------- TypeScript, JavaScript, Python --

bool is_tsc_diagnostic_line(const PreparedLine& line) {
    if (line.has_any({".ts(", ".tsx(", ".js(", ".jsx("}) && line.has_any({"): error ts", "): warning ts"})) return true;
    return line.has_any({".ts:", ".tsx:", ".js:", ".jsx:"}) && line.has_any({" - error ts", " - warning ts"});
}

bool looks_like_eslint_rule_id(std::string_view word) {
    if (word.empty()) return false;
    if (text::contains(word, "/") || text::contains(word, "-") || word.starts_with('@')) return true;
    return text::equals_any(word, {"quotes", "eqeqeq", "curly", "semi"});
}

bool is_eslint_issue_line(const PreparedLine& line) {
    std::string_view t = line.text();
    if (t.empty()) return false;
    if (has_extension(t, kJavaScriptSources) && (line.has(": error ") || line.has(": warning ")) &&
        looks_like_eslint_rule_id(last_word(t)))
        return true;
    auto rest = after_line_col_severity(t);
    if (!rest) return false;
    std::size_t count = 2;
    std::string_view last;
    while (auto w = take_word(*rest)) {
        ++count;
        last = *w;
    }
    // Core rules such as `indent`, `radix` or `camelcase` are one plain word,
    // which the stylish layout sets off from the message by its column gap
    // of two spaces or more; a message's own last word ("... is defined but
    // never used") follows a single space.
    return count >= 4 && (looks_like_eslint_rule_id(last) || (is_ascii_word(last) && follows_column_gap(t, last)));
}

bool is_eslint_file_header(const PreparedLine& line) {
    return has_extension(line.text(), kJavaScriptSources) && !has_whitespace(line.text());
}

bool is_eslint_summary_line(const PreparedLine& line) {
    return line.text().starts_with("✖") || (line.has("problem") && line.has("error"));
}

bool is_biome_diagnostic_line(const PreparedLine& line) {
    auto split = split_path_after_extension(line, kBiomeSources);
    if (!split) return false;
    auto after = consume_line_col_then_space(split->rest);
    if (!after) return false;
    for (std::string_view rest = *after; auto word = take_word(rest);) {
        std::string_view w = *word;
        auto keep = [](char c) { return text::is_ascii_alnum(c) || c == '-' || c == '/'; };
        while (!w.empty() && !keep(w.front())) w.remove_prefix(1);
        while (!w.empty() && !keep(w.back())) w.remove_suffix(1);
        std::size_t slash = w.find('/');
        if (slash == std::string_view::npos || slash + 1 >= w.size()) continue;
        if (text::equals_any(w.substr(0, slash),
                             {"lint", "a11y", "style", "nursery", "complexity", "suspicious", "correctness"}))
            return true;
    }
    return false;
}

bool is_biome_summary_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return (l.starts_with("found ") && (line.has("error") || line.has("warning"))) ||
           (l.starts_with("checked ") && line.has(" file")) || line.has("no fixes applied");
}

bool is_oxlint_diagnostic_line(const PreparedLine& line) {
    std::string_view t = line.text();
    return text::starts_with_any(t, {"× ", "! ", "error ", "warning "}) &&
           text::contains_any(t, {"eslint(", "oxlint("}) && text::contains(t, "):");
}

bool is_oxlint_frame_line(std::string_view line) {
    constexpr std::string_view open = "╭─[";
    std::string_view t = text::trim(line);
    if (t.size() < open.size() + 1 || !t.starts_with(open) || !t.ends_with(']')) return false;
    std::string_view inner = t.substr(open.size(), t.size() - open.size() - 1);
    return split_path_after_extension(inner, kOxlintFrameSources) && has_line_col_suffix(inner);
}

bool is_oxlint_summary_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return l.starts_with("found ") && (line.has("warning") || line.has("error"));
}

std::optional<MypyDiagnostic> parse_mypy_diagnostic_line(std::string_view line) {
    std::string_view t = text::trim(line);
    std::size_t ext_len = 4;
    std::size_t at = t.find(".pyi:");
    if (at == std::string_view::npos) {
        ext_len = 3;
        at = t.find(".py:");
        if (at == std::string_view::npos) return std::nullopt;
    }
    std::string_view after = t.substr(at + ext_len + 1);
    std::size_t sep = after.find(": ");
    if (sep == std::string_view::npos || sep == 0) return std::nullopt;
    std::string_view location = after.substr(0, sep);
    if (!std::all_of(location.begin(), location.end(), [](char c) { return text::is_ascii_digit(c) || c == ':'; }))
        return std::nullopt;
    std::string_view message = after.substr(sep + 2);
    if (message.empty() || !text::starts_with_any_ignore_case(message, {"error: ", "warning: ", "note: "}))
        return std::nullopt;
    return MypyDiagnostic{t.substr(0, at + ext_len), location, message};
}

bool is_ruff_diagnostic_line(const PreparedLine& line) {
    auto split = split_path_after_extension(line, kPythonSources);
    if (!split) return false;
    auto after = consume_line_col(split->rest);
    if (!after) return false;
    auto parts = text::split_once_whitespace(text::trim_start(*after));
    if (!parts || text::trim(parts->second).empty()) return false;
    std::string_view code = parts->first;
    std::size_t letters = 0;
    while (letters < code.size() && code[letters] >= 'A' && code[letters] <= 'Z') ++letters;
    std::size_t digits = code.size() - letters;
    return letters >= 1 && letters <= 4 && digits >= 3 && digits <= 4 && text::digit_run(code, letters) == digits;
}

bool is_ruff_summary_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return (l.starts_with("found ") && line.has("error")) || line.has("fixable with the") || l.starts_with("[*] ") ||
           l.starts_with("all checks passed");
}

bool is_pyright_diagnostic_line(const PreparedLine& line) {
    auto split = split_path_after_extension(line, kPythonSources);
    if (!split) return false;
    auto after = consume_line_col_then_space(split->rest);
    if (!after) return false;
    return text::starts_with_any_ignore_case(text::trim_start(*after), {"- error:", "- warning:", "- information:"});
}

bool is_pyright_summary_line(const PreparedLine& line) {
    return line.has(" errors,") && (line.has(" warning,") || line.has(" warnings,")) && line.has(" information");
}

bool is_pyright_file_header(const PreparedLine& line) {
    return has_extension(line.text(), kPythonSources) && !has_whitespace(line.text());
}

// ------------------------------------------- shell, markdown, YAML, Go --

bool is_shellcheck_header_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return l.starts_with("in ") && line.has(" line ") && l.ends_with(':');
}

bool is_shellcheck_gcc_diagnostic_line(const PreparedLine& line) {
    std::string_view t = line.text();
    if (!text::contains(t, "[SC")) return false;
    std::size_t first = t.find(':');
    if (first == std::string_view::npos) return false;
    std::size_t second = t.find(':', first + 1);
    if (second == std::string_view::npos) return false;
    std::size_t third = t.find(':', second + 1);
    std::string_view line_no = t.substr(first + 1, second - first - 1);
    std::string_view column =
        third == std::string_view::npos ? t.substr(second + 1) : t.substr(second + 1, third - second - 1);
    if (!text::is_ascii_digits(line_no) || !text::is_ascii_digits(column)) return false;
    return line.has_any({": error: ", ": warning: ", ": note: ", ": style: ", ": info: "});
}

bool is_shellcheck_code_at(std::string_view t, std::size_t at) {
    // "KSC5636" in a file name and "SC20861" are no codes: a code stands
    // apart from the letters and digits around it.
    return t.substr(at, 2) == "SC" && (at == 0 || !text::is_ascii_alnum(t[at - 1])) &&
           text::digit_run(t, at + 2) == kShellcheckCodeDigits;
}

bool is_shellcheck_diagnostic_line(const PreparedLine& line) {
    std::string_view t = line.text();
    for (std::size_t at = t.find("SC"); at != std::string_view::npos; at = t.find("SC", at + 1))
        if (is_shellcheck_code_at(t, at)) return true;
    return is_shellcheck_gcc_diagnostic_line(line);
}

bool is_markdownlint_diagnostic_line(const PreparedLine& line) {
    auto split = split_path_after_extension(line, kMarkdownSources);
    if (!split) return false;
    std::string_view rest = split->rest;
    std::size_t i = text::digit_run(rest, 0);
    if (i == 0) return false;
    if (i < rest.size() && rest[i] == ':') {
        std::size_t column = text::digit_run(rest, i + 1);
        if (column > 0) i += 1 + column;
    }
    if (!whitespace_at(rest, i)) return false;
    auto parts = text::split_once_whitespace(text::trim_start(rest.substr(i)));
    if (!parts) return false;
    std::string_view rule = parts->first;
    if (rule.size() < 5 || !rule.starts_with("MD") || text::digit_run(rule, 2) != 3) return false;
    if (rule.size() > 5 && (rule[5] != '/' || rule.size() == 6)) return false;
    return !text::trim(parts->second).empty();
}

bool is_yamllint_file_header(const PreparedLine& line) {
    return has_extension(line.text(), kYamlHeaderSources) && !has_whitespace(line.text());
}

bool is_yamllint_diagnostic_line(const PreparedLine& line) {
    std::string_view t = line.text();
    if (auto split = split_path_after_extension(line, kYamlSources)) {
        if (auto after = consume_line_col(split->rest)) {
            std::string_view rest = text::trim_start(*after);
            if (text::starts_with_any_ignore_case(rest, {"[error]", "[warning]"}) && text::contains(rest, "(") &&
                text::contains(rest, ")"))
                return true;
        }
    }
    return after_line_col_severity(t) && text::contains(t, "(") && text::contains(t, ")");
}

bool is_go_build_package_header(const PreparedLine& line) {
    std::string_view t = line.text();
    if (!t.starts_with("# ")) return false;
    std::string_view rest = text::trim(t.substr(2));
    if (rest == "command-line-arguments") return true;
    return !rest.empty() && !has_whitespace(rest) && (text::contains(rest, "/") || text::contains(rest, "."));
}

std::optional<std::string_view> go_located_message(const PreparedLine& line) {
    auto split = split_path_after_extension(line, kGoSources);
    if (!split) return std::nullopt;
    std::string_view rest = split->rest;
    std::size_t i = text::digit_run(rest, 0);
    if (i == 0 || i >= rest.size() || rest[i] != ':') return std::nullopt;
    ++i;
    std::size_t column = text::digit_run(rest, i);
    if (column > 0 && i + column < rest.size() && rest[i + column] == ':') i += column + 1;
    return text::trim_start(rest.substr(i));
}

bool is_go_build_diagnostic_line(const PreparedLine& line) {
    auto message = go_located_message(line);
    if (!message) return false;
    return text::starts_with_any_ignore_case(*message, {"undefined:", "cannot use ", "syntax error:"}) ||
           text::contains_ignore_case(*message, "imported and not used") ||
           text::contains_ignore_case(*message, "is not a type") ||
           text::contains_ignore_case(*message, "has no field or method");
}

namespace {

constexpr std::string_view kGolangciLinters[] = {
    "asasalint",
    "asciicheck",
    "bidichk",
    "bodyclose",
    "canonicalheader",
    "copyloopvar",
    "cyclop",
    "decorder",
    "depguard",
    "dogsled",
    "dupl",
    "durationcheck",
    "errcheck",
    "errchkjson",
    "errorlint",
    "exhaustive",
    "exhaustruct",
    "forbidigo",
    "forcetypeassert",
    "gci",
    "gocheckcompilerdirectives",
    "gochecknoglobals",
    "gochecknoinits",
    "gochecksumtype",
    "gocognit",
    "goconst",
    "gocritic",
    "gocyclo",
    "godot",
    "godox",
    "gofmt",
    "gofumpt",
    "goheader",
    "goimports",
    "gomoddirectives",
    "gomodguard",
    "goprintffuncname",
    "gosec",
    "gosimple",
    "gosmopolitan",
    "govet",
    "grouper",
    "iface",
    "importas",
    "inamedparam",
    "ineffassign",
    "interfacebloat",
    "intrange",
    "lll",
    "loggercheck",
    "maintidx",
    "makezero",
    "mirror",
    "misspell",
    "mnd",
    "musttag",
    "nakedret",
    "nestif",
    "nilerr",
    "nilnil",
    "nlreturn",
    "noctx",
    "nolintlint",
    "nonamedreturns",
    "paralleltest",
    "perfsprint",
    "prealloc",
    "predeclared",
    "promlinter",
    "protogetter",
    "reassign",
    "recvcheck",
    "revive",
    "rowserrcheck",
    "sloglint",
    "spancheck",
    "sqlclosecheck",
    "staticcheck",
    "stylecheck",
    "tagalign",
    "tagliatelle",
    "testableexamples",
    "testifylint",
    "thelper",
    "tparallel",
    "typecheck",
    "unconvert",
    "unparam",
    "unused",
    "usestdlibvars",
    "usetesting",
    "varnamelen",
    "wastedassign",
    "whitespace",
    "wrapcheck",
    "wsl",
    "zerologlint",
};
static_assert(std::size(kGolangciLinters) == 97);

bool is_known_golangci_linter(std::string_view name) {
    for (auto known : kGolangciLinters)
        if (text::equals_ignore_case(name, known)) return true;
    return false;
}

}  // namespace

std::optional<GolangciDiagnostic> parse_golangci_lint_issue_line(std::string_view line) {
    std::string_view t = text::trim(line);
    std::size_t at = t.find(".go:");
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = t.substr(at + 4);
    std::size_t row = text::digit_run(rest, 0);
    if (row == 0 || row >= rest.size() || rest[row] != ':') return std::nullopt;
    std::size_t column = text::digit_run(rest, row + 1);
    std::size_t end = row + 1 + column;
    if (column == 0 || end >= rest.size() || rest[end] != ':') return std::nullopt;
    if (!t.ends_with(')')) return std::nullopt;
    std::size_t open = t.rfind('(');
    if (open == std::string_view::npos) return std::nullopt;
    if (!is_known_golangci_linter(t.substr(open + 1, t.size() - open - 2))) return std::nullopt;
    return GolangciDiagnostic{t.substr(0, at + 3),
                              text::format("{}:{}", rest.substr(0, row), rest.substr(row + 1, column)),
                              text::trim_start(rest.substr(end + 1))};
}

bool is_golangci_lint_issue_line(const PreparedLine& line) {
    // Cheap shape checks first: most lines are not Go locations.
    return line.text().ends_with(')') && text::contains(line.text(), ".go:") &&
           parse_golangci_lint_issue_line(line.text()).has_value();
}

bool is_golangci_lint_runner_error_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return text::starts_with_any(l, {"erro", "level=error", "level=fatal"}) &&
           line.has_any(
               {"running error", "context loading failed", "can't run linter", "failed to load", "golangci-lint"});
}

bool is_golangci_lint_summary_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return l.ends_with("issues:") || l.ends_with("issue:") || line.has("issues before processing");
}

// ------------------------------------------- native compilers, builders --

bool is_c_family_diagnostic_line(const PreparedLine& line) {
    auto split = split_path_after_extension(line, kCFamilySources);
    if (!split) return false;
    auto after = consume_line_col(split->rest);
    return after && text::starts_with_any_ignore_case(text::trim_start(*after),
                                                      {"fatal error: ", "error: ", "warning: ", "note: "});
}

bool is_linker_diagnostic_line(const PreparedLine& line) {
    if (line.has_any({"undefined reference to", "undefined symbol"})) return true;
    // The first word without its directory: "ld:", "ld.lld:", "ld.gold:".
    // Most lines hold neither spelling, and then need no split.
    if (!line.has("ld:") && !line.has("ld.")) return false;
    std::string_view rest = line.text();
    std::string_view first = take_word(rest).value_or("");
    std::size_t slash = first.rfind('/');
    if (slash != std::string_view::npos) first.remove_prefix(slash + 1);
    return first == "ld:" || (first.starts_with("ld.") && first.ends_with(':'));
}

namespace {

// "X.java:12: error: ..." (javac's layout, which no tool's shape names): a
// path with an extension, a line number and "error:".
bool is_line_located_error(std::string_view t) {
    std::size_t at = t.find(": error: ");
    if (at == std::string_view::npos) return false;
    std::size_t digits = at;
    while (digits > 0 && text::is_ascii_digit(t[digits - 1])) --digits;
    if (digits == at || digits < 2 || t[digits - 1] != ':') return false;
    std::size_t letters = digits - 1;
    while (letters > 0 && text::is_ascii_alpha(t[letters - 1])) --letters;
    return letters < digits - 1 && letters > 1 && t[letters - 1] == '.';
}

}  // namespace

bool states_build_failure(const PreparedLine& line) {
    std::string_view t = line.text();
    if (line.has("collect2: error") || t.starts_with("FAILED: ") || line.has("parsing error")) return true;
    // A build driver's "*** ... Error 2" ("make: ***", "gmake[1]: ***").
    if (std::size_t stars = t.find("***"); stars != std::string_view::npos) {
        for (std::size_t at = t.find(" Error ", stars); at != std::string_view::npos; at = t.find(" Error ", at + 1))
            if (text::digit_run(t, at + 7) > 0) return true;
    }
    return is_linker_diagnostic_line(line) || is_line_located_error(t);
}

bool is_swift_xcode_failure_line(const PreparedLine& line) {
    return line.text() == "** BUILD FAILED **" || line.text().starts_with("The following build commands failed:");
}

bool is_make_ninja_cmake_diagnostic_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    // make's "*** ... Error 2", and its verdict under -k, which holds no
    // "***": "make: Target 'all' not remade because of errors.".
    return (l.starts_with("make") && (line.has("***") || line.has(kMakeNotRemade))) ||
           text::starts_with_any(l, {"ninja: build stopped:", "cmake error at ", "cmake warning at "});
}

bool is_msbuild_diagnostic_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return line.has_any({": error cs", ": warning cs", ": error msb", ": warning msb"}) ||
           text::starts_with_any(l, {"error cs", "warning cs", "error msb", "warning msb", "error nu", "warning nu",
                                     "error netsdk", "warning netsdk"});
}

bool is_msbuild_summary_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return text::starts_with_any(line.text(), {"Build FAILED", "Build succeeded"}) || l.ends_with(" warning(s)") ||
           l.ends_with(" error(s)") || line.has("time elapsed");
}

bool is_maven_gradle_diagnostic_line(const PreparedLine& line) {
    std::string_view t = line.text();
    if (text::starts_with_any(t, {"[ERROR] ", "[WARNING] ", "FAILURE:", "* What went wrong:", "* Try:"})) return true;
    if (t.starts_with("> Task ") && t.ends_with(" FAILED")) return true;
    return line.has_any(
        {"build failed", "build failure", "execution failed for task", "surefire-reports", "test report"});
}

bool is_nx_turbo_diagnostic_line(const PreparedLine& line) {
    std::string_view t = line.text();
    std::string_view l = line.lower();
    if (text::starts_with_any(l, {"failed task", "error run failed:"})) return true;
    if (l.starts_with("tasks:") && line.has("failed")) return true;
    if (text::starts_with_any(t, {"NX   ", "• Running target", "Failed:"})) return true;
    if (t.starts_with("- ") && (text::contains(t, "#") || text::contains(t, ":"))) return true;
    return line.has_any({"failed tasks:", "command exited"});
}

// ------------------------------------------------ run signals and roles --

bool contains_nonzero_count(std::string_view text, std::string_view noun) {
    bool after_positive_count = false;
    for (std::string_view rest = text; auto word = take_word(rest);) {
        std::string_view w = text::trim_non_alnum(*word);
        if (after_positive_count && (text::equals_ignore_case(w, noun) ||
                                     (w.size() == noun.size() + 1 && text::starts_with_ignore_case(w, noun) &&
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
    std::string_view token = text::trim_non_alnum(trimmed.substr(start));
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
    if (line.has("error") &&
        any_severity_word(l, "error", [&](std::size_t at) { return !follows_zero_count(l, at); }) &&
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

bool is_progress_line(const PreparedLine& line) {
    return text::starts_with_any(
        line.lower(), {"compiling ", "checking ", "fresh ", "building ", "running ", "downloading ", "downloaded ",
                       "blocking waiting", "waiting ", "starting compilation", "file change detected", "linking "});
}

bool has_final_summary_phrase(const PreparedLine& line) {
    std::string_view l = line.lower();
    if (line.has_any({"could not compile", "aborting due to", "error: build failed", "finished `"})) return true;
    if (line.has("warning: ") && line.has(" generated ")) return true;
    if (line.has("found ") && (line.has(" error") || line.has(" warning"))) return true;
    if (line.has(" errors,") && line.has(" warnings,") && line.has(" information")) return true;
    if (line.has("warning") && line.has("0 errors")) return true;
    if (l.ends_with("issues:") || l.ends_with("issue:")) return true;
    if (l.starts_with("checked ") && line.has(" file")) return true;
    return line.has("success: no issues found");
}

bool is_final_summary_line(const PreparedLine& line) {
    return has_final_summary_phrase(line) || is_eslint_summary_line(line) || is_ruff_summary_line(line) ||
           is_pyright_summary_line(line) || is_biome_summary_line(line) || is_oxlint_summary_line(line) ||
           is_golangci_lint_summary_line(line) || is_msbuild_summary_line(line) ||
           is_maven_gradle_diagnostic_line(line) || is_make_ninja_cmake_diagnostic_line(line) ||
           is_nx_turbo_diagnostic_line(line) || is_swift_xcode_failure_line(line);
}

bool is_important_diagnostic_line(const PreparedLine& line) {
    std::string_view t = line.text();
    if (text::starts_with_any(t, {"error:", "error[", "warning:", "warning["})) return true;
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
