// Which compiler, type checker, linter or build tool printed a text, and
// whether its run failed or warned.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text.h"

namespace filters::build_compiler::detector {

struct BuildCompilerDiagnostics {
    std::string_view tool;  // one of the nineteen tool names, in static storage
    bool has_error = false;
    bool has_warning = false;
};

// The answers of the classifiers that the filter's choices rest on, one bit
// each, gathered while the tools are scored so that no classifier runs
// twice on a line.
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
    kMypyRole = 1U << 12,  // parse_mypy_diagnostic_line accepts it
    // file headers
    kEslintHeaderRole = 1U << 13,
    kYamllintHeaderRole = 1U << 14,
    kGoHeaderRole = 1U << 15,
    kPyrightHeaderRole = 1U << 16,
    // Lines that no tool's shape accepts but that carry a failure's cause
    // (asked only of lines that are not important).
    kFailureStatementRole = 1U << 17,  // summary::states_build_failure
    kGoLocatedRole = 1U << 18,         // a Go location and a message
    kMarkedHeadingRole = 1U << 19,     // "× ", "x ", "! " or "⚠ " first
    kBiomeLocatedRole = 1U << 20,      // a biome source, line and column
    kBlankLine = 1U << 31,             // a line the filter passes over
};

// The roles of every line of a recognised text, in order, for the filter
// (kBlankLine for a line that is blank once colour codes are removed). The
// lines themselves are not kept (a view of every line would cost sixteen
// bytes a line, and a line with colour codes a copy): PreparedLineReader
// prepares again the few that the filter prints.
struct PreparedLines {
    std::vector<std::uint32_t> roles;
};

// Walks the non-blank lines of a text with the roles the detector found.
class PreparedLineReader {
public:
    // `prepared` was filled from `lines`.
    PreparedLineReader(const text::LineIndex& lines, const PreparedLines& prepared);
    // Moves to the next non-blank line; false after the last.
    bool next();
    std::uint32_t roles() const { return prepared_.roles[line_]; }
    // The line as the detector prepared it: colour codes removed and
    // trailing whitespace trimmed, leading whitespace kept. Prepared when it
    // is first asked for, as most lines of a long build are only counted;
    // the view lasts until next().
    std::string_view text();

private:
    const text::LineIndex& lines_;
    const PreparedLines& prepared_;
    bool coloured_;
    std::size_t line_ = 0;
    bool started_ = false;
    bool has_text_ = false;
    std::string_view text_;
    std::string storage_;
};

// `lines` indexes the text. When the text is recognised and `prepared` is
// given, it receives the prepared lines and their roles.
std::optional<BuildCompilerDiagnostics> detect_build_compiler_diagnostics(const text::LineIndex& lines,
                                                                          PreparedLines* prepared = nullptr);

}  // namespace filters::build_compiler::detector
