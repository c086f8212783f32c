// The family kit: what every filter family needs from the pipeline layer,
// and the only header of that layer that a family includes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/first_look.h"
#include "filters/owned_phrases.h"
#include "text.h"

namespace filters {

// What a filter gives back inside the pipeline: its candidate text, or
// nothing when it declines. Declining without a copy keeps a pass over a
// huge input cheap for the many filters that do not recognise it.
using Attempt = std::optional<std::string>;

// What a filter is given: the current text, its lines and its first look,
// found once by the pipeline for every filter that reads the same text,
// and whether the pipeline passes over families by their signs (which a
// family that runs the pipeline again hands on).
struct FilterInput {
    std::string_view text;
    const text::LineIndex& lines;
    const FirstLook& look = FirstLook::none();
    Skipping skipping = Skipping::on;
};

using AttemptFn = Attempt (*)(const FilterInput&);

// A filter's public form: the attempt's text, or a copy of the input.
inline std::string or_input(Attempt attempt, std::string_view input) {
    return attempt ? std::move(*attempt) : std::string(input);
}

// The first look the pipeline takes at a text: every sign of the filter
// table. Defined with the table.
FirstLook first_look(std::string_view text);

// Runs one family's attempt on a text outside the pipeline: indexes the
// lines, takes the first look, and returns the result, or a copy of the
// text when it declines.
inline std::string run_alone(AttemptFn attempt, std::string_view text) {
    const text::LineIndex lines(text);
    const FirstLook look = first_look(text);
    return or_input(attempt(FilterInput{text, lines, look}), text);
}

// The whole pipeline, for the one family that runs it again on parts of its
// text: every filter not named in `excluded`, in table order, each result
// kept only when smaller. Re-entrant; defined with the filter table. The
// family passes its input's `skipping` on, so that a run with skipping off
// is off all the way down.
std::string apply_filter_pipeline_excluding(std::string_view text, const std::vector<std::string_view>& excluded);
std::string apply_filter_pipeline_excluding(std::string_view text, const std::vector<std::string_view>& excluded,
                                            Skipping skipping);

// The headlines that families read back from one another: each begins the
// summary of the family named beside it, and ownership guards look for
// them. Written once here so that the writer and the readers agree.
namespace headline {
inline constexpr std::string_view kTestOutput = "test output:";                          // test-runner
inline constexpr std::string_view kCiLog = "ci log:";                                    // ci-job-log
inline constexpr std::string_view kPythonTraceback = "python traceback:";                // traceback
inline constexpr std::string_view kBuildDiagnostics = "build diagnostics:";              // build-compiler
inline constexpr std::string_view kPackageManager = "package manager:";                  // package-manager
inline constexpr std::string_view kRepeatedDiagnosticsPrefix = "repeated diagnostics:";  // repeated-diagnostic
inline constexpr std::string_view kRepeatedDiagnostics = "repeated diagnostics: line summary";
inline constexpr std::string_view kNativeTrace = "native trace:";          // repeated-diagnostic
inline constexpr std::string_view kNodeStackTrace = "node stack trace:";   // node-stack-trace
inline constexpr std::string_view kLogTemplatesPrefix = "log templates:";  // log-template
inline constexpr std::string_view kLogTemplates = "log templates: repeated line summary";
inline constexpr std::string_view kGenericLogPrefix = "generic log:";  // generic-log
inline constexpr std::string_view kGenericLog = "generic log: application summary";
inline constexpr std::string_view kJsonArray = "json array";         // json
inline constexpr std::string_view kJsonlRecords = "jsonl records=";  // json
}  // namespace headline

// The one spelling of the ellipsis that starts an omission marker (U+2026).
inline constexpr std::string_view kEllipsis = "…";

// Appends "… {count} {noun}{s}{rest}": the counted noun takes "s" unless the
// count is 1, and `rest` follows as written (" omitted" by default; "" for
// markers such as "… 3 context lines"). With no noun: "… {count}{rest}".
void append_omission_marker(std::string& out, std::uint64_t count, std::string_view noun,
                            std::string_view rest = " omitted");
std::string omission_marker(std::uint64_t count, std::string_view noun, std::string_view rest = " omitted");

// Builds a summary one line at a time in one buffer: lines joined with
// "\n", blank lines and adjacent repeats dropped where the caller asks, and
// a result only when it is smaller than the text it would replace.
class SummaryWriter {
public:
    SummaryWriter() = default;
    explicit SummaryWriter(std::size_t reserve) { out_.reserve(reserve); }
    // A writer for a summary that can only win against `input`: the size
    // rule never lets a text longer than the input win, so it takes room for
    // the input's bytes once (pages are touched only as they are written,
    // and it never grows by copying itself), and a line that would take it
    // past that size is not written: the summary is then lost
    // (exceeded(), and take_if_smaller gives nothing).
    static SummaryWriter within(std::string_view input);

    // Adds the line as it is.
    void add(std::string_view line);
    // Adds the line unless it is empty or equals the last line added.
    void add_unless_blank_or_repeat(std::string_view line);
    // Adds an omission marker line (see append_omission_marker).
    void add_omission(std::uint64_t count, std::string_view noun, std::string_view rest = " omitted");

    // A bounded writer refused a line: its summary cannot win.
    bool exceeded() const { return exceeded_; }
    std::size_t line_count() const { return lines_; }
    std::size_t bytes() const { return out_.size(); }
    std::string_view last_line() const;

    // The summary, with "\n" after its last line when `final_newline`.
    std::string take(bool final_newline);
    // The same, but only when it is smaller than `input` by the size rule
    // (never once a bounded writer exceeded its bound).
    Attempt take_if_smaller(std::string_view input, bool final_newline);

private:
    // Whether `bytes` more, after a line end, stay within the bound; false
    // marks the summary as exceeded.
    bool fits(std::size_t bytes);

    std::string out_;
    std::size_t lines_ = 0;
    std::size_t last_start_ = 0;
    std::size_t limit_ = std::string::npos;
    bool exceeded_ = false;
};

}  // namespace filters
