// Line classifiers of the family and the formatting of its summaries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/filter.h"
#include "filters/repeated_diagnostic/types.h"
#include "text.h"

namespace filters::repeated_diagnostic::summary {

// The line's template, or nothing when the line is no diagnostic, is source
// code, names a secret-bearing key, or keeps too little fixed text.
std::optional<types::DiagnosticTemplate> diagnostic_template_for_line(std::string_view line);
// The same template text alone, written to `out`, without the paths; false
// when the line has none. `scratch` is room for the line without its colour
// codes. For a pass over every line, which then allocates nothing per line.
bool write_diagnostic_template(std::string_view line, std::string& out, std::string& scratch);

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
    FoldedLines() = default;
    // Lines folded for a text that can only win against `input`: no longer
    // than it (see SummaryWriter::within); a line that would make it longer
    // is not written, and exceeded() tells that the text is lost.
    static FoldedLines within(std::string_view input);

    void add(std::string_view line);
    std::size_t line_count() const { return out_.line_count(); }
    bool exceeded() const { return out_.exceeded(); }
    // The lines joined, with "\n" after the last when `final_newline`.
    std::string take(bool final_newline) { return out_.take(final_newline && out_.line_count() > 0); }

private:
    explicit FoldedLines(SummaryWriter out) : out_(std::move(out)) {}

    SummaryWriter out_;
    bool pending_blank_ = false;
    bool previous_blank_ = false;
};

// Writes the summary of the run of lines `first` to `end` (excluded), which
// share `template_text`: the counted template, the first and last example
// and the paths the templates replaced.
void write_run_summary(FoldedLines& out, const text::LineIndex& lines, std::size_t first, std::size_t end,
                       std::string_view template_text);

// The summary of a native trace: the headline, the important context, the
// first, last and project frames, and counts of what was left out.
FoldedLines summarize_native_trace(const types::NativeTraceSignal& signal, const text::LineIndex& lines);

}  // namespace filters::repeated_diagnostic::summary
