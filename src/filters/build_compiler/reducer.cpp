#include "filters/build_compiler/reducer.h"

#include "filters/build_compiler/detector.h"
#include "filters/build_compiler/summary.h"
#include "text.h"

namespace filters::build_compiler::reducer {

using namespace summary;
using namespace detector;

namespace {

// Context lines longer than this many bytes are dropped rather than kept.
constexpr std::size_t kMaxContextBytes = 240;

// A summary of fewer lines (the headline alone) is not worth printing.
constexpr std::size_t kMinSummaryLines = 2;

// Context budgets after a kept line (`diagnostic_context_budget`).
constexpr std::uint64_t kTscContext = 2;
constexpr std::uint64_t kLintContext = 4;
constexpr std::uint64_t kShellcheckHeaderContext = 3;
constexpr std::uint64_t kShellcheckNoteContext = 1;
constexpr std::uint64_t kCFamilyContext = 3;

// The summary, and the count of lines dropped since the last kept one: every
// kept line first closes that count with a marker.
struct Output {
    SummaryWriter writer;
    std::uint64_t omitted = 0;

    void flush() {
        if (omitted == 0) return;
        writer.add_omission(omitted, "build progress line");
        omitted = 0;
    }
    void keep(std::string_view line) {
        flush();
        writer.add_unless_blank_or_repeat(line);
    }
};

// How many following lines may be kept as context of a kept line.
std::uint64_t diagnostic_context_budget(std::string_view tool, std::uint32_t roles) {
    if (roles & kTscRole) return kTscContext;
    if (tool == "ruff" || tool == "biome" || tool == "oxlint") {
        if (roles & (kRuffRole | kBiomeRole | kOxlintRole | kOxlintFrameRole)) return kLintContext;
    } else if (tool == "shellcheck") {
        if (roles & kShellcheckHeaderRole) return kShellcheckHeaderContext;
        if (roles & kNoteHelpRole) return kShellcheckNoteContext;
    }
    return (roles & kCFamilyRole) ? kCFamilyContext : 0;
}

bool is_diagnostic_file_header(std::string_view tool, std::uint32_t roles) {
    if (tool == "yamllint") return roles & kYamllintHeaderRole;
    if (tool == "go-build") return roles & kGoHeaderRole;
    if (tool == "eslint") return roles & kEslintHeaderRole;
    if (tool == "pyright") return roles & kPyrightHeaderRole;
    return false;
}

// A line that no tool's shape accepts but that carries a failure's cause: a
// failure statement (a build driver's "Error 2", the linker, collect2,
// ninja, a parse error without a rule), under the Go tools every located
// message, and under oxlint and biome every marked or located heading
// (their parse errors name no rule). Without this a failed build could lose
// its only cause into an omission marker.
bool is_unlisted_diagnostic_line(std::string_view tool, std::uint32_t roles) {
    if (roles & kFailureStatementRole) return true;
    if (tool == "go-build" || tool == "golangci-lint") return roles & kGoLocatedRole;
    if (tool == "oxlint") return roles & kMarkedHeadingRole;
    if (tool == "biome") return roles & (kMarkedHeadingRole | kBiomeLocatedRole);
    return false;
}

// A numbered source line ("  210 |     s->len += ret;") or a bar line under
// it ("      |            ^~"), as compilers print an excerpt: its indent
// lines the caret up with the source, so it must not be trimmed away.
bool is_source_excerpt_line(std::string_view s) {
    const std::string_view t = text::trim_start(s);
    const std::size_t digits = text::digit_run(t);
    return t.starts_with('|') || (digits > 0 && t.substr(digits).starts_with(" |"));
}

// How a kept diagnostic, file header or summary line is printed; `s` has its
// trailing whitespace trimmed.
void normalize_for_signal(std::string_view s, std::string_view tool, bool eslint_issue, std::string& out) {
    out.clear();
    if (is_source_excerpt_line(s)) {
        out.assign(s);
        return;
    }
    if (tool == "golangci-lint") {
        if (auto d = parse_golangci_lint_issue_line(s)) {
            out.append(d->path).append(" ").append(d->location).append(": ").append(d->message);
            return;
        }
    } else if (tool == "shellcheck") {
        out.assign(s);
        return;
    } else if (tool == "eslint" && eslint_issue) {
        out = text::join(text::split_whitespace(s), " ");
        return;
    }
    out.assign(text::trim(s));
}

void reduce_mypy(PreparedLineReader& reader, Output& out) {
    // A copy: the line it came from is gone when the next is read.
    std::string current_path;
    bool have_path = false;
    while (reader.next()) {
        if (out.writer.exceeded()) return;
        const std::uint32_t roles = reader.roles();
        if (roles & kMypyRole) {
            auto d = parse_mypy_diagnostic_line(text::trim_start(reader.text()));
            out.flush();
            if (!have_path || current_path != d->path) {
                current_path = d->path;
                have_path = true;
                out.writer.add_unless_blank_or_repeat(d->path);
            }
            out.writer.add_unless_blank_or_repeat(text::format(" {}: {}", d->location, d->message));
        } else if (roles & kProgressRole) {
            ++out.omitted;
        } else if ((roles & kFinalSummaryRole) || is_unlisted_diagnostic_line("mypy", roles)) {
            out.keep(text::trim_start(reader.text()));
        } else {
            ++out.omitted;
        }
    }
}

void reduce_generic(PreparedLineReader& reader, std::string_view tool, Output& out) {
    std::string normalized;
    std::uint64_t budget = 0;
    while (reader.next()) {
        if (out.writer.exceeded()) return;
        const std::uint32_t roles = reader.roles();
        if (roles & kProgressRole) {
            ++out.omitted;
        } else if ((roles & kImportantRole) || is_diagnostic_file_header(tool, roles)) {
            normalize_for_signal(reader.text(), tool, roles & kEslintIssueRole, normalized);
            out.keep(normalized);
            budget = diagnostic_context_budget(tool, roles);
        } else if (budget > 0 && text::trim_start(reader.text()).size() <= kMaxContextBytes) {
            out.keep(reader.text());
            --budget;
        } else if (is_unlisted_diagnostic_line(tool, roles)) {
            // Only where it would otherwise be dropped: a source excerpt that
            // happens to name the linker stays context, indentation and all,
            // and leaves the budget for the caret line under it.
            normalize_for_signal(reader.text(), tool, false, normalized);
            out.keep(normalized);
        } else {
            ++out.omitted;
        }
    }
}

}  // namespace

Attempt try_compress_build_compiler_diagnostics_output(const FilterInput& input) {
    PreparedLines prepared;
    auto found = detect_build_compiler_diagnostics(input.lines, &prepared);
    if (!found) return std::nullopt;

    const char* status = found->has_error ? "failure" : found->has_warning ? "warning" : "success";
    // Most lines of a long run of diagnostics are kept: the summary may
    // come near the text's size, and is given up once it passes it.
    Output out{SummaryWriter::within(input.text)};
    out.writer.add(text::format("{} {} {}", headline::kBuildDiagnostics, found->tool, status));
    PreparedLineReader reader(input.lines, prepared);
    if (found->tool == "mypy")
        reduce_mypy(reader, out);
    else
        reduce_generic(reader, found->tool, out);
    out.flush();

    if (out.writer.line_count() < kMinSummaryLines) return std::nullopt;
    return out.writer.take_if_smaller(input.text, input.lines.final_newline());
}

std::string compress_build_compiler_diagnostics_output(std::string_view text) {
    return run_alone(&try_compress_build_compiler_diagnostics_output, text);
}

}  // namespace filters::build_compiler::reducer
