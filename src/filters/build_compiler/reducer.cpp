#include "filters/build_compiler/reducer.h"

#include <vector>

#include "filters/build_compiler/detector.h"
#include "filters/build_compiler/line_scan.h"
#include "filters/build_compiler/summary.h"
#include "filters/filter.h"
#include "text.h"

namespace filters::build_compiler::reducer {

using namespace summary;
using namespace detector;

namespace {

// Context lines longer than this are dropped rather than kept.
constexpr std::size_t kMaxContextBytes = 240;

// The output text, built in place. A line equal to the one before it is not
// written again (the adjacent-duplicate rule), and every kept line first
// closes the running count of dropped lines with a marker.
struct Output {
    std::string text;
    std::size_t lines = 0;
    std::size_t last_start = 0;  // where the last written line starts
    std::uint64_t omitted = 0;

    void write(std::string_view line) {
        if (line.empty()) return;
        if (lines > 0) {
            std::string_view last(text.data() + last_start, text.size() - last_start);
            if (last == line) return;
            text += '\n';
        }
        last_start = text.size();
        text += line;
        ++lines;
    }
    void flush() {
        if (omitted == 0) return;
        write(text::format("… {} build progress line{} omitted", omitted, text::plural(omitted)));
        omitted = 0;
    }
    void keep(std::string_view line) {
        flush();
        write(line);
    }
};

// A line with its colour codes removed and trailing whitespace trimmed (s),
// and that line trimmed at both ends (t).
struct CleanLine {
    std::string storage;  // used only when the line carried escapes
    std::string_view s;
    std::string_view t;
};

void clean_line(std::string_view raw, CleanLine& out) {
    if (raw.find('\x1b') != std::string_view::npos) {
        out.storage = text::strip_ansi(raw);
        out.s = text::trim_end(out.storage);
    } else {
        out.s = text::trim_end(raw);
    }
    out.t = text::trim_start(out.s);
}

// Lines that report a problem although no tool's shape accepts them: a
// build driver's "Error 2", a linker's unresolved symbols, a parse error
// without a rule, under the Go tools every located message, and under oxlint
// and biome every marked or located heading (their parse errors name no
// rule). Without this a failed build could lose its only cause into an
// omission marker.
bool is_unlisted_diagnostic_line(const PreparedLine& p, std::string_view tool) {
    if (line_has_error_signal(p) || is_linker_diagnostic_line(p)) return true;
    if (tool == "go-build" || tool == "golangci-lint") return go_located_message(p).has_value();
    if (tool != "oxlint" && tool != "biome") return false;
    if (starts_with_any(p.text(), {"× ", "x ", "! ", "⚠ "})) return true;
    // A biome heading whose category is not a lint rule ("parse", "format").
    if (tool != "biome") return false;
    auto split = split_path_after_extension(p, kBiomeSources);
    return split && consume_line_col_then_space(split->rest).has_value();
}

std::uint64_t budget_from_roles(std::string_view tool, std::uint32_t roles) {
    if (roles & kTscRole) return 2;
    if (tool == "ruff" || tool == "biome" || tool == "oxlint") {
        if (roles & (kRuffRole | kBiomeRole | kOxlintRole | kOxlintFrameRole)) return 4;
    } else if (tool == "shellcheck") {
        if (roles & kShellcheckHeaderRole) return 3;
        if (roles & kNoteHelpRole) return 1;
    }
    return (roles & kCFamilyRole) ? 3 : 0;
}

bool is_file_header_by_roles(std::string_view tool, std::uint32_t roles) {
    if (tool == "yamllint") return roles & kYamllintHeaderRole;
    if (tool == "go-build") return roles & kGoHeaderRole;
    if (tool == "eslint") return roles & kEslintHeaderRole;
    if (tool == "pyright") return roles & kPyrightHeaderRole;
    return false;
}

void normalize_into(std::string_view line, std::string_view tool, bool eslint_issue, std::string& out) {
    out.clear();
    if (tool == "golangci-lint") {
        if (auto d = parse_golangci_lint_issue_line(line)) {
            out = text::format("{} {}: {}", d->path, d->location, d->message);
            return;
        }
    } else if (tool == "shellcheck") {
        out.assign(text::trim_end(line));
        return;
    } else if (tool == "eslint" && eslint_issue) {
        out = text::join(text::split_whitespace(line), " ");
        return;
    }
    out.assign(text::trim(line));
}

// The roles of the non-blank lines, in the order the loops below meet them.
class RoleCursor {
public:
    explicit RoleCursor(const std::vector<std::uint32_t>& roles) : roles_(roles) {}
    std::uint32_t next() { return next_ < roles_.size() ? roles_[next_++] : 0; }

private:
    const std::vector<std::uint32_t>& roles_;
    std::size_t next_ = 0;
};

void reduce_mypy(const std::vector<std::string_view>& lines, RoleCursor roles, Output& out) {
    CleanLine clean;
    PreparedLine p;
    std::string current_path;
    bool have_path = false;
    for (std::string_view raw : lines) {
        clean_line(raw, clean);
        std::string_view t = clean.t;
        if (t.empty()) continue;
        std::uint32_t r = roles.next();
        if (auto d = parse_mypy_diagnostic_line(t)) {
            out.flush();
            if (!have_path || current_path != d->path) {
                current_path.assign(d->path);
                have_path = true;
                out.write(d->path);
            }
            out.write(text::format(" {}: {}", d->location, d->message));
        } else if (r & kProgressRole) {
            ++out.omitted;
        } else if ((r & kFinalSummaryRole) || (p.assign_untrimmed(t), is_unlisted_diagnostic_line(p, "mypy"))) {
            out.keep(t);
        } else {
            ++out.omitted;
        }
    }
}

void reduce_generic(const std::vector<std::string_view>& lines, std::string_view tool, RoleCursor roles,
                    Output& out) {
    CleanLine clean;
    PreparedLine p;
    std::string normalized;
    std::uint64_t budget = 0;
    for (std::string_view raw : lines) {
        clean_line(raw, clean);
        std::string_view t = clean.t;
        if (t.empty()) continue;
        std::uint32_t r = roles.next();
        if (r & kProgressRole) {
            ++out.omitted;
        } else if ((r & kImportantRole) || is_file_header_by_roles(tool, r)) {
            normalize_into(clean.s, tool, r & kEslintIssueRole, normalized);
            out.keep(normalized);
            budget = budget_from_roles(tool, r);
        } else if (budget > 0 && t.size() <= kMaxContextBytes) {
            out.keep(clean.s);
            --budget;
        } else if (p.assign_untrimmed(t), is_unlisted_diagnostic_line(p, tool)) {
            // Only where it would otherwise be dropped: a source excerpt that
            // happens to say "error" stays context, indentation and all, and
            // leaves the budget for the caret line under it.
            normalize_into(clean.s, tool, r & kEslintIssueRole, normalized);
            out.keep(normalized);
        } else {
            ++out.omitted;
        }
    }
}

}  // namespace

std::string normalize_for_signal(std::string_view line, std::string_view tool) {
    std::string out;
    normalize_into(line, tool, tool == "eslint" && is_eslint_issue_line(PreparedLine(line)), out);
    return out;
}

std::uint64_t diagnostic_context_budget(std::string_view tool, const PreparedLine& p) {
    return budget_from_roles(tool, line_roles(p));
}

std::uint64_t diagnostic_context_budget(std::string_view tool, std::string_view line) {
    return diagnostic_context_budget(tool, PreparedLine(line));
}

bool is_diagnostic_file_header(std::string_view tool, const PreparedLine& p) {
    return is_file_header_by_roles(tool, line_roles(p));
}

bool is_diagnostic_file_header(std::string_view tool, std::string_view line) {
    return is_diagnostic_file_header(tool, PreparedLine(line));
}

std::optional<std::string> try_compress_build_compiler_diagnostics_output(std::string_view text) {
    // Most texts are of other kinds: one light look turns them away before
    // they are split and tallied.
    if (!detector::may_name_a_tool(text)) return std::nullopt;
    text::Lines split = text::split_lines(text);
    // The empty text and "\n" have no lines.
    if (split.lines.size() == 1 && split.lines.front().empty()) split.lines.clear();
    std::vector<std::uint32_t> roles;
    auto found = detector::detect_build_compiler_diagnostics(split.lines, &roles);
    if (!found) return std::nullopt;

    const char* status = found->has_error ? "failure" : found->has_warning ? "warning" : "success";
    Output out;
    out.text.reserve(text.size() / 2);
    out.write(text::format("build diagnostics: {} {}", found->tool, status));
    if (found->tool == "mypy")
        reduce_mypy(split.lines, RoleCursor(roles), out);
    else
        reduce_generic(split.lines, found->tool, RoleCursor(roles), out);
    out.flush();

    if (out.lines < 2) return std::nullopt;
    if (split.final_newline) out.text += '\n';
    if (!text::is_smaller_output(out.text, text)) return std::nullopt;
    return std::move(out.text);
}

std::string compress_build_compiler_diagnostics_output(std::string_view text) {
    return or_input(try_compress_build_compiler_diagnostics_output(text), text);
}

}  // namespace filters::build_compiler::reducer
