// Shape tests for the lines of each compiler, type checker, linter and build
// tool the filter knows. Each looks at the trimmed line and, where case does
// not matter, at its lowercased form.
#include <algorithm>

#include "filters/build_compiler/line_scan.h"
#include "filters/build_compiler/summary.h"
#include "text.h"

namespace filters::build_compiler::summary {

namespace {

// The last whitespace-separated word of a trimmed, non-empty text.
std::string_view last_word(std::string_view t) {
    std::string_view last;
    for (WordCursor words(t); auto w = words.next();) last = *w;
    return last;
}

bool is_ascii_word(std::string_view w) {
    return !w.empty() && std::all_of(w.begin(), w.end(), [](char c) { return text::is_ascii_alpha(c); });
}

}  // namespace

// ------------------------------------- TypeScript, JavaScript, Python --

bool is_tsc_diagnostic_line(const PreparedLine& line) {
    if (line.has_any({".ts(", ".tsx(", ".js(", ".jsx("}) && line.has_any({"): error ts", "): warning ts"}))
        return true;
    return line.has_any({".ts:", ".tsx:", ".js:", ".jsx:"}) && line.has_any({" - error ts", " - warning ts"});
}

bool looks_like_eslint_rule_id(std::string_view word) {
    if (word.empty()) return false;
    if (has(word, "/") || has(word, "-") || word.starts_with('@')) return true;
    return equals_any(word, {"quotes", "eqeqeq", "curly", "semi"});
}

bool is_eslint_issue_line(const PreparedLine& line) {
    std::string_view t = line.text();
    if (t.empty()) return false;
    if (has_extension(t, kJavaScriptSources) && (line.has(": error ") || line.has(": warning ")) &&
        looks_like_eslint_rule_id(last_word(t)))
        return true;
    if (!text::is_ascii_digit(t[0])) return false;
    WordCursor words(t);
    auto first = words.next();
    auto second = words.next();
    if (!first || !second || !is_line_col(*first)) return false;
    if (!text::equals_ignore_case(*second, "error") && !text::equals_ignore_case(*second, "warning")) return false;
    std::size_t count = 2;
    std::string_view last;
    while (auto w = words.next()) {
        ++count;
        last = *w;
    }
    // Core rules such as `indent`, `radix` or `camelcase` are one plain word.
    return count >= 4 && (looks_like_eslint_rule_id(last) || is_ascii_word(last));
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
    for (WordCursor words(*after); auto word = words.next();) {
        std::string_view w = *word;
        auto keep = [](char c) { return text::is_ascii_alnum(c) || c == '-' || c == '/'; };
        while (!w.empty() && !keep(w.front())) w.remove_prefix(1);
        while (!w.empty() && !keep(w.back())) w.remove_suffix(1);
        std::size_t slash = w.find('/');
        if (slash == std::string_view::npos || slash + 1 >= w.size()) continue;
        if (equals_any(w.substr(0, slash),
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
    return starts_with_any(t, {"× ", "! ", "error ", "warning "}) && contains_any(t, {"eslint(", "oxlint("}) &&
           has(t, "):");
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
    if (message.empty() || !starts_with_any_ignore_case(message, {"error: ", "warning: ", "note: "}))
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
    return letters >= 1 && letters <= 4 && digits >= 3 && digits <= 4 && digit_run(code, letters) == digits;
}

bool is_ruff_summary_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return (l.starts_with("found ") && line.has("error")) || line.has("fixable with the") ||
           l.starts_with("[*] ") || l.starts_with("all checks passed");
}

bool is_pyright_diagnostic_line(const PreparedLine& line) {
    auto split = split_path_after_extension(line, kPythonSources);
    if (!split) return false;
    auto after = consume_line_col_then_space(split->rest);
    if (!after) return false;
    return starts_with_any_ignore_case(text::trim_start(*after), {"- error:", "- warning:", "- information:"});
}

bool is_pyright_summary_line(const PreparedLine& line) {
    return line.has(" errors,") && (line.has(" warning,") || line.has(" warnings,")) &&
           line.has(" information");
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
    if (!has(t, "[SC")) return false;
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

bool is_shellcheck_diagnostic_line(const PreparedLine& line) {
    std::string_view t = line.text();
    for (std::size_t at = t.find("SC"); at != std::string_view::npos; at = t.find("SC", at + 1))
        if (digit_run(t, at + 2) >= 4) return true;
    return is_shellcheck_gcc_diagnostic_line(line);
}

bool is_markdownlint_diagnostic_line(const PreparedLine& line) {
    auto split = split_path_after_extension(line, kMarkdownSources);
    if (!split) return false;
    std::string_view rest = split->rest;
    std::size_t i = digit_run(rest, 0);
    if (i == 0) return false;
    if (i < rest.size() && rest[i] == ':') {
        std::size_t column = digit_run(rest, i + 1);
        if (column > 0) i += 1 + column;
    }
    if (!whitespace_len_at(rest, i)) return false;
    auto parts = text::split_once_whitespace(text::trim_start(rest.substr(i)));
    if (!parts) return false;
    std::string_view rule = parts->first;
    if (rule.size() < 5 || !rule.starts_with("MD") || digit_run(rule, 2) != 3) return false;
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
            if (starts_with_any_ignore_case(rest, {"[error]", "[warning]"}) && has(rest, "(") &&
                has(rest, ")"))
                return true;
        }
    }
    if (t.empty() || !text::is_ascii_digit(t[0])) return false;
    WordCursor words(t);
    auto first = words.next();
    auto second = words.next();
    return first && second && is_line_col(*first) &&
           (text::equals_ignore_case(*second, "error") || text::equals_ignore_case(*second, "warning")) &&
           has(t, "(") && has(t, ")");
}

bool is_go_build_package_header(const PreparedLine& line) {
    std::string_view t = line.text();
    if (!t.starts_with("# ")) return false;
    std::string_view rest = text::trim(t.substr(2));
    if (rest == "command-line-arguments") return true;
    return !rest.empty() && !has_whitespace(rest) && (has(rest, "/") || has(rest, "."));
}

std::optional<std::string_view> go_located_message(const PreparedLine& line) {
    auto split = split_path_after_extension(line, kGoSources);
    if (!split) return std::nullopt;
    std::string_view rest = split->rest;
    std::size_t i = digit_run(rest, 0);
    if (i == 0 || i >= rest.size() || rest[i] != ':') return std::nullopt;
    ++i;
    std::size_t column = digit_run(rest, i);
    if (column > 0 && i + column < rest.size() && rest[i + column] == ':') i += column + 1;
    return text::trim_start(rest.substr(i));
}

bool is_go_build_diagnostic_line(const PreparedLine& line) {
    auto message = go_located_message(line);
    if (!message) return false;
    return starts_with_any_ignore_case(*message, {"undefined:", "cannot use ", "syntax error:"}) ||
           text::contains_ignore_case(*message, "imported and not used") ||
           text::contains_ignore_case(*message, "is not a type") ||
           text::contains_ignore_case(*message, "has no field or method");
}

namespace {

constexpr std::string_view kGolangciLinters[] = {
    "asasalint",   "asciicheck",     "bidichk",         "bodyclose",
    "canonicalheader", "copyloopvar", "cyclop",         "decorder",
    "depguard",    "dogsled",        "dupl",            "durationcheck",
    "errcheck",    "errchkjson",     "errorlint",       "exhaustive",
    "exhaustruct", "forbidigo",      "forcetypeassert", "gci",
    "gocheckcompilerdirectives", "gochecknoglobals", "gochecknoinits", "gochecksumtype",
    "gocognit",    "goconst",        "gocritic",        "gocyclo",
    "godot",       "godox",          "gofmt",           "gofumpt",
    "goheader",    "goimports",      "gomoddirectives", "gomodguard",
    "goprintffuncname", "gosec",     "gosimple",        "gosmopolitan",
    "govet",       "grouper",        "iface",           "importas",
    "inamedparam", "ineffassign",    "interfacebloat",  "intrange",
    "lll",         "loggercheck",    "maintidx",        "makezero",
    "mirror",      "misspell",       "mnd",             "musttag",
    "nakedret",    "nestif",         "nilerr",          "nilnil",
    "nlreturn",    "noctx",          "nolintlint",      "nonamedreturns",
    "paralleltest", "perfsprint",    "prealloc",        "predeclared",
    "promlinter",  "protogetter",    "reassign",        "recvcheck",
    "revive",      "rowserrcheck",   "sloglint",        "spancheck",
    "sqlclosecheck", "staticcheck",  "stylecheck",      "tagalign",
    "tagliatelle", "testableexamples", "testifylint",   "thelper",
    "tparallel",   "typecheck",      "unconvert",       "unparam",
    "unused",      "usestdlibvars",  "usetesting",      "varnamelen",
    "wastedassign", "whitespace",    "wrapcheck",       "wsl",
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
    std::size_t row = digit_run(rest, 0);
    if (row == 0 || row >= rest.size() || rest[row] != ':') return std::nullopt;
    std::size_t column = digit_run(rest, row + 1);
    std::size_t end = row + 1 + column;
    if (column == 0 || end >= rest.size() || rest[end] != ':') return std::nullopt;
    if (!t.ends_with(')')) return std::nullopt;
    std::size_t open = t.rfind('(');
    if (open == std::string_view::npos) return std::nullopt;
    if (!is_known_golangci_linter(t.substr(open + 1, t.size() - open - 2))) return std::nullopt;
    return GolangciDiagnostic{t.substr(0, at + 3), text::format("{}:{}", rest.substr(0, row), rest.substr(row + 1, column)),
                              text::trim_start(rest.substr(end + 1))};
}

bool is_golangci_lint_issue_line(const PreparedLine& line) {
    // Cheap shape checks first: most lines are not Go locations.
    return line.text().ends_with(')') && has(line.text(), ".go:") &&
           parse_golangci_lint_issue_line(line.text()).has_value();
}

bool is_golangci_lint_runner_error_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return starts_with_any(l, {"erro", "level=error", "level=fatal"}) &&
           line.has_any({"running error", "context loading failed", "can't run linter", "failed to load",
                            "golangci-lint"});
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
    return after && starts_with_any_ignore_case(text::trim_start(*after),
                                                {"fatal error: ", "error: ", "warning: ", "note: "});
}

bool is_linker_diagnostic_line(const PreparedLine& line) {
    // The first word without its directory: "ld:", "ld.lld:", "ld.gold:".
    std::string_view first = WordCursor(line.text()).next().value_or("");
    std::size_t slash = first.rfind('/');
    if (slash != std::string_view::npos) first.remove_prefix(slash + 1);
    if (first == "ld:" || (first.starts_with("ld.") && first.ends_with(':'))) return true;
    return line.has_any({"undefined reference to", "undefined symbol"});
}

bool is_swift_xcode_failure_line(const PreparedLine& line) {
    return line.text() == "** BUILD FAILED **" || line.text().starts_with("The following build commands failed:");
}

bool is_make_ninja_cmake_diagnostic_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return (l.starts_with("make") && line.has("***")) ||
           starts_with_any(l, {"ninja: build stopped:", "cmake error at ", "cmake warning at "});
}

bool is_msbuild_diagnostic_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return line.has_any({": error cs", ": warning cs", ": error msb", ": warning msb"}) ||
           starts_with_any(l, {"error cs", "warning cs", "error msb", "warning msb", "error nu", "warning nu",
                               "error netsdk", "warning netsdk"});
}

bool is_msbuild_summary_line(const PreparedLine& line) {
    std::string_view l = line.lower();
    return starts_with_any(line.text(), {"Build FAILED", "Build succeeded"}) || l.ends_with(" warning(s)") ||
           l.ends_with(" error(s)") || line.has("time elapsed");
}

bool is_maven_gradle_diagnostic_line(const PreparedLine& line) {
    std::string_view t = line.text();
    if (starts_with_any(t, {"[ERROR] ", "[WARNING] ", "FAILURE:", "* What went wrong:", "* Try:"})) return true;
    if (t.starts_with("> Task ") && t.ends_with(" FAILED")) return true;
    return line.has_any({"build failed", "build failure", "execution failed for task", "surefire-reports",
                                       "test report"});
}

bool is_nx_turbo_diagnostic_line(const PreparedLine& line) {
    std::string_view t = line.text();
    std::string_view l = line.lower();
    if (starts_with_any(l, {"failed task", "error run failed:"})) return true;
    if (l.starts_with("tasks:") && line.has("failed")) return true;
    if (starts_with_any(t, {"NX   ", "• Running target", "Failed:"})) return true;
    if (t.starts_with("- ") && (has(t, "#") || has(t, ":"))) return true;
    return line.has_any({"failed tasks:", "command exited"});
}

}  // namespace filters::build_compiler::summary
