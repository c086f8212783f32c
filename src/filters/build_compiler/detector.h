// Which compiler, type checker, linter or build tool printed a text, and
// whether its run failed or warned.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "filters/build_compiler/summary.h"

namespace filters::build_compiler::detector {

struct BuildCompilerDiagnostics {
    std::string_view tool;  // one of the names of `kToolNames`
    bool has_error = false;
    bool has_warning = false;
};

// The tools in scoring order; the winner is the highest score, ties going to
// the name that is greater byte by byte.
inline constexpr std::string_view kToolNames[] = {
    "cargo/rustc",   "tsc",       "eslint",       "mypy",      "ruff",     "pyright",  "biome",
    "oxlint",        "shellcheck", "markdownlint", "yamllint", "golangci-lint", "gcc/clang", "go-build",
    "msbuild/dotnet", "maven/gradle", "make/ninja/cmake", "nx/turbo", "swift/xcode",
};

struct Candidate {
    std::string_view tool;
    std::uint64_t score;
};

// The candidate with the highest score; among equal scores the tool name
// that is greater byte by byte. None for an empty list.
std::optional<Candidate> pick_winner(const std::vector<Candidate>& candidates);

// What one light look at a line allows, before any classifier runs. Every
// tool's candidacy needs at least one line of a kind its condition names (a
// cargo header, a located diagnostic, a make or linker-driver line ...);
// maven/gradle and nx/turbo lines count only beside their marker phrases. A
// flag is false only when no such line or phrase can be there, so a text
// whose lines raise none of the needed flags names no tool and is declined
// without the full tally.
struct LineHints {
    bool may_qualify = false;   // a line some candidacy other than the two below needs
    bool may_be_maven = false;  // a maven/gradle line
    bool may_be_nx = false;     // an nx/turbo line
    bool maven_marker = false;  // a maven/gradle marker phrase
    bool nx_marker = false;     // an nx/turbo marker phrase
    bool escape = false;        // an ESC byte: look again once colour codes are removed
};

// `line` is trimmed; its colour codes should be removed (else `escape` is
// set and the other flags may be missing).
LineHints hint_line(std::string_view line);

// False when no line of the text can give any tool a candidacy, so that
// `detect_build_compiler_diagnostics` is sure to decline it.
bool may_name_a_tool(std::string_view text);

// The answers of the classifiers that the filter's choices rest on, one bit
// each, gathered by the tally so that no classifier runs twice on a line.
enum LineRole : std::uint32_t {
    kProgressRole = 1U << 0,      // is_progress_line
    kImportantRole = 1U << 1,     // is_important_diagnostic_line
    kFinalSummaryRole = 1U << 2,  // is_final_summary_line
    kTscRole = 1U << 3,
    kEslintIssueRole = 1U << 4,
    kRuffRole = 1U << 5,
    kBiomeRole = 1U << 6,
    kOxlintRole = 1U << 7,
    kOxlintFrameRole = 1U << 8,
    kShellcheckHeaderRole = 1U << 9,
    kNoteHelpRole = 1U << 10,
    kCFamilyRole = 1U << 11,
    // file headers
    kEslintHeaderRole = 1U << 12,
    kYamllintHeaderRole = 1U << 13,
    kGoHeaderRole = 1U << 14,
    kPyrightHeaderRole = 1U << 15,
};

// The roles of one trimmed line on its own.
std::uint32_t line_roles(const summary::PreparedLine& line);

// `lines` is the text split at "\n" with one final newline set aside. When
// the text is recognised and `roles` is given, it receives the roles of
// each line that is not blank once its colour codes are removed, in order.
std::optional<BuildCompilerDiagnostics> detect_build_compiler_diagnostics(const std::vector<std::string_view>& lines,
                                                                          std::vector<std::uint32_t>* roles = nullptr);

}  // namespace filters::build_compiler::detector
