// Line classifiers of the build-diagnostics filter: small location and path
// utilities, one set of shape tests per compiler, linter and build tool, and
// the run-level signals and line roles built from them.
//
// Most tests look at a line trimmed at both ends and at its ASCII-lowercased
// form. `PreparedLine` computes both once, so the detector can ask dozens of
// questions about one line without copying it again.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "text.h"

namespace filters::build_compiler::summary {

// A line trimmed of Unicode whitespace at both ends, and that text with its
// ASCII letters lowercased. `text()` views the caller's storage. A small
// hashed set of the adjacent byte pairs of the lowercased text lets most
// substring tests fail without a search: a needle with a pair the line lacks
// cannot occur in it.
class PreparedLine {
public:
    PreparedLine() = default;
    explicit PreparedLine(std::string_view raw) { assign(raw); }
    void assign(std::string_view raw);
    // The whole line, leading and trailing whitespace included.
    void assign_untrimmed(std::string_view raw);
    std::string_view text() const { return text_; }
    std::string_view lower() const { return lower_; }

    // Each extension (a dot and one to six ASCII letters) that stands right
    // before a ":", with that ":"'s first position; the caller reads at most
    // `kMaxExtensionColons` of them and falls back to a search past that.
    struct ExtensionColon {
        std::string_view extension;  // with its dot
        std::size_t colon;
    };
    static constexpr std::size_t kMaxExtensionColons = 6;
    std::span<const ExtensionColon> extension_colons() const { return {extension_colons_.data(), extension_count_}; }
    bool extension_colons_complete() const { return extension_colons_complete_; }

    // `needle` (lowercase) occurs in `lower()`.
    bool has(std::string_view needle) const {
        if (needle.size() == 1) return lower_.find(needle[0]) != std::string::npos;
        for (std::size_t i = 1; i < needle.size(); ++i) {
            std::size_t bit = pair_bit(needle[i - 1], needle[i]);
            if (!((pairs_[bit >> 6] >> (bit & 63)) & 1U)) return false;
        }
        return lower_.find(needle) != std::string::npos;
    }
    bool has_any(std::initializer_list<std::string_view> needles) const {
        for (auto n : needles)
            if (has(n)) return true;
        return false;
    }

private:
    static std::size_t pair_bit(char a, char b) {
        return ((static_cast<unsigned char>(a) * 31U) ^ static_cast<unsigned char>(b)) & 1023U;
    }

    std::string_view text_;
    std::string lower_;
    std::array<std::uint64_t, 16> pairs_{};
    std::array<ExtensionColon, kMaxExtensionColons> extension_colons_{};
    std::size_t extension_count_ = 0;
    bool extension_colons_complete_ = true;
};

using Extensions = std::span<const std::string_view>;

// A byte that continues a word: a letter, a digit or "_".
inline bool is_word_byte(char c) { return text::is_ascii_alnum(c) || c == '_'; }

inline constexpr std::array<std::string_view, 4> kJavaScriptSources = {".js", ".jsx", ".ts", ".tsx"};
inline constexpr std::array<std::string_view, 6> kOxlintFrameSources = {".js", ".jsx", ".ts", ".tsx", ".mjs", ".cjs"};
inline constexpr std::array<std::string_view, 14> kBiomeSources = {".js",  ".jsx",  ".ts",     ".tsx",  ".mjs",
                                                                   ".cjs", ".json", ".jsonc",  ".css",  ".md",
                                                                   ".mdx", ".vue",  ".svelte", ".astro"};
inline constexpr std::array<std::string_view, 2> kPythonSources = {".pyi", ".py"};
inline constexpr std::array<std::string_view, 2> kMarkdownSources = {".mdx", ".md"};
inline constexpr std::array<std::string_view, 2> kYamlSources = {".yaml", ".yml"};
inline constexpr std::array<std::string_view, 2> kYamlHeaderSources = {".yml", ".yaml"};
inline constexpr std::array<std::string_view, 1> kGoSources = {".go"};
// Tried in this order: it decides when two different extensions each appear
// before a ":" in one line.
inline constexpr std::array<std::string_view, 10> kCFamilySources = {".swift", ".cpp", ".cxx", ".hpp", ".cc",
                                                                     ".hh",    ".mm",  ".c",   ".h",   ".m"};

// ------------------------------------------------------------ utilities --

// Digits ":" digits and nothing else ("12:5").
bool is_line_col(std::string_view text);
// After a leading digits ":" digits ":", the text that follows.
std::optional<std::string_view> consume_line_col(std::string_view text);
// After a leading digits ":" digits directly followed by whitespace, the text
// from that whitespace on.
std::optional<std::string_view> consume_line_col_then_space(std::string_view text);
// The last two ":"-separated pieces are both non-empty digit runs.
bool has_line_col_suffix(std::string_view text);
// The ASCII-lowercased text ends with one of the (lowercase) extensions.
bool has_extension(std::string_view text, Extensions extensions);

struct PathSplit {
    std::string_view path;  // up to and including the extension
    std::string_view rest;  // after the ":" that follows it
};
// The first extension of the list that occurs followed by ":" decides; the
// path ends at that pattern's first occurrence.
std::optional<PathSplit> split_path_after_extension(std::string_view text, Extensions extensions);
// The same on a prepared line's text, from the extensions found before its
// colons when it was prepared.
std::optional<PathSplit> split_path_after_extension(const PreparedLine& line, Extensions extensions);

// After a first word "line:column" and a second word "error" or "warning"
// (the eslint and yamllint layout '3:1  error  ...'), the rest of the line.
std::optional<std::string_view> after_line_col_severity(std::string_view text);

bool is_note_help_line(std::string_view line);
// "|" or digits then "|": a source excerpt under a diagnostic.
bool is_rust_source_bar_line(std::string_view line);
bool is_c_family_source_context_line(std::string_view line);
bool is_lint_source_context_line(std::string_view line);

// ------------------------------------- TypeScript, JavaScript, Python --

struct MypyDiagnostic {
    std::string_view path;      // up to and including ".py" or ".pyi"
    std::string_view location;  // digits and ":" ("12" or "12:5")
    std::string_view message;   // severity word included
};

bool is_tsc_diagnostic_line(const PreparedLine& line);
bool looks_like_eslint_rule_id(std::string_view word);
bool is_eslint_issue_line(const PreparedLine& line);
bool is_eslint_file_header(const PreparedLine& line);
bool is_eslint_summary_line(const PreparedLine& line);
bool is_biome_diagnostic_line(const PreparedLine& line);
bool is_biome_summary_line(const PreparedLine& line);
bool is_oxlint_diagnostic_line(const PreparedLine& line);
bool is_oxlint_frame_line(std::string_view line);
bool is_oxlint_summary_line(const PreparedLine& line);
// Views into `line`.
std::optional<MypyDiagnostic> parse_mypy_diagnostic_line(std::string_view line);
inline bool is_mypy_diagnostic_line(std::string_view line) { return parse_mypy_diagnostic_line(line).has_value(); }
bool is_ruff_diagnostic_line(const PreparedLine& line);
bool is_ruff_summary_line(const PreparedLine& line);
bool is_pyright_diagnostic_line(const PreparedLine& line);
bool is_pyright_summary_line(const PreparedLine& line);
// A Python path alone on its line: the file header of pyright's report.
bool is_pyright_file_header(const PreparedLine& line);

// ------------------------------------------- shell, markdown, YAML, Go --

struct GolangciDiagnostic {
    std::string_view path;  // up to and including ".go"
    std::string location;   // "line:column"
    std::string_view message;
};

inline constexpr std::size_t kShellcheckCodeDigits = 4;
// A shellcheck code ("SC2086") starts at `at`: "SC" and exactly four digits,
// with no letter or digit right before it.
bool is_shellcheck_code_at(std::string_view text, std::size_t at);
bool is_shellcheck_header_line(const PreparedLine& line);
bool is_shellcheck_gcc_diagnostic_line(const PreparedLine& line);
bool is_shellcheck_diagnostic_line(const PreparedLine& line);
bool is_markdownlint_diagnostic_line(const PreparedLine& line);
bool is_yamllint_file_header(const PreparedLine& line);
bool is_yamllint_diagnostic_line(const PreparedLine& line);
bool is_go_build_package_header(const PreparedLine& line);
// A Go location ("x.go:12:" with an optional column) and the message after it.
std::optional<std::string_view> go_located_message(const PreparedLine& line);
bool is_go_build_diagnostic_line(const PreparedLine& line);
// Views into `line` (the location is built).
std::optional<GolangciDiagnostic> parse_golangci_lint_issue_line(std::string_view line);
bool is_golangci_lint_issue_line(const PreparedLine& line);
bool is_golangci_lint_runner_error_line(const PreparedLine& line);
bool is_golangci_lint_summary_line(const PreparedLine& line);

// ------------------------------------------- native compilers, builders --

bool is_c_family_diagnostic_line(const PreparedLine& line);
// The linker naming itself ("/usr/bin/ld:", "ld.lld:") or an unresolved
// symbol.
bool is_linker_diagnostic_line(const PreparedLine& line);
// A line that states a build's failure although no tool's shape accepts it:
// collect2's and ninja's failure lines, a build driver's "*** ... Error N",
// eslint's parse error without a rule, the linker's lines, and a compiler's
// error located by file and line alone ("App.java:12: error: ...").
bool states_build_failure(const PreparedLine& line);
bool is_swift_xcode_failure_line(const PreparedLine& line);
// What make's verdict says when it kept going past errors (-k): "make:
// Target 'all' not remade because of errors.", in lower case as printed.
inline constexpr std::string_view kMakeNotRemade = "not remade because of errors";
bool is_make_ninja_cmake_diagnostic_line(const PreparedLine& line);
bool is_msbuild_diagnostic_line(const PreparedLine& line);
bool is_msbuild_summary_line(const PreparedLine& line);
bool is_maven_gradle_diagnostic_line(const PreparedLine& line);
bool is_nx_turbo_diagnostic_line(const PreparedLine& line);

// ------------------------------------------------ run signals and roles --

// Some word is a positive count whose next word is `noun` or its plural
// (words stripped of surrounding non-alphanumerics). `noun` is lowercase
// and compared with ASCII case folded.
bool contains_nonzero_count(std::string_view text, std::string_view noun);
// `word` occurs with no letter, digit or "_" directly on either side
// (ASCII case folded).
bool has_severity_word(std::string_view text, std::string_view word);

// One line's part of `has_error_signal` / `has_warning_signal`.
bool line_has_error_signal(const PreparedLine& line);
bool line_has_warning_signal(const PreparedLine& line);

bool is_progress_line(const PreparedLine& line);
// The summary wordings of `is_final_summary_line` that belong to no single
// tool's summary test.
bool has_final_summary_phrase(const PreparedLine& line);
bool is_final_summary_line(const PreparedLine& line);
bool is_important_diagnostic_line(const PreparedLine& line);

}  // namespace filters::build_compiler::summary
