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
};

// One non-blank line as the detector prepared it: colour codes removed and
// trailing whitespace trimmed (`s`, leading whitespace kept), and its roles.
struct DiagnosticLine {
    std::string_view s;
    std::uint32_t roles = 0;
};

// The roles of a recognised text's non-blank lines, in order, for the
// filter. The lines themselves are not kept (a view of every line would
// cost sixteen bytes a line, and a line with colour codes a copy):
// PreparedLineReader prepares them again as the filter reads them.
struct PreparedLines {
    std::vector<std::uint32_t> roles;
};

// Reads the non-blank lines of a text as the detector prepared them, each
// with the roles it found.
class PreparedLineReader {
public:
    // `prepared` was filled from `lines`.
    PreparedLineReader(const text::LineIndex& lines, const PreparedLines& prepared);
    // The next line; its view lasts until the next call. False after the
    // last.
    bool next(DiagnosticLine& line);

private:
    const text::LineIndex& lines_;
    const PreparedLines& prepared_;
    bool coloured_;
    std::size_t next_line_ = 0;
    std::size_t next_role_ = 0;
    std::string storage_;
};

// `lines` indexes the text. When the text is recognised and `prepared` is
// given, it receives the prepared lines and their roles.
std::optional<BuildCompilerDiagnostics> detect_build_compiler_diagnostics(const text::LineIndex& lines,
                                                                          PreparedLines* prepared = nullptr);

}  // namespace filters::build_compiler::detector
