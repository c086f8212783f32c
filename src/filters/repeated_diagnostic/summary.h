// Line classifiers of the family and the formatting of its summaries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/repeated_diagnostic/types.h"
#include "text.h"

namespace filters::repeated_diagnostic::summary {

// The line's template, or nothing when the line is no diagnostic, is source
// code, names a secret-bearing key, or keeps too little fixed text.
std::optional<types::DiagnosticTemplate> diagnostic_template_for_line(std::string_view line);

// A context line of a native trace that the summary keeps however many
// context lines came before it.
bool is_important_native_context(std::string_view line);

// A line of a sanitizer report that says what the stack below it is (the
// access, where it was freed or allocated, a leak, a thread's creation) or
// where the bad address lies. The summary keeps every such line, so that
// each kept frame stands under its own heading.
bool opens_native_stack_section(std::string_view line);

// Every run of blank lines becomes one empty line; trailing blank lines go.
std::vector<std::string> drop_excess_blank_lines(std::vector<std::string> lines);

// The same rule applied while the output is written, into one buffer.
class FoldedLines {
public:
    void add(std::string_view line);
    std::size_t line_count() const { return lines_; }
    std::string take(bool final_newline);

private:
    std::string out_;
    std::size_t lines_ = 0;
    bool pending_blank_ = false;
    bool previous_blank_ = false;
};

// Writes the summary of a run of equal templates (`lines` and their
// templates): the counted template, the first and last example and the
// affected paths.
void write_run_summary(FoldedLines& out, const std::vector<std::string_view>& lines,
                       const std::vector<const types::DiagnosticTemplate*>& templates);

// The summary of a native trace: the headline, the important context, the
// first, last and project frames, and counts of what was left out.
FoldedLines summarize_native_trace(const types::NativeTraceSignal& signal, const text::LineIndex& lines);

}  // namespace filters::repeated_diagnostic::summary
