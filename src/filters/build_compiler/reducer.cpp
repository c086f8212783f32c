#include "filters/build_compiler/reducer.h"

#include <vector>

#include "filters/build_compiler/detector.h"
#include "filters/build_compiler/line_scan.h"
#include "filters/build_compiler/summary.h"
#include "filters/filters.h"
#include "text.h"

namespace filters::build_compiler::reducer {

using namespace summary;

namespace {

// Context lines longer than this are dropped rather than kept.
constexpr std::size_t kMaxContextBytes = 240;

// The output lines and the count of lines dropped since the last kept one;
// every kept line first closes the running count with a marker.
struct Output {
    std::vector<std::string> lines;
    std::uint64_t omitted = 0;

    void flush() {
        if (omitted == 0) return;
        lines.push_back(text::format("… {} build progress line{} omitted", omitted, text::plural(omitted)));
        omitted = 0;
    }
    void keep(std::string line) {
        flush();
        lines.push_back(std::move(line));
    }
};

// A line with its colour codes removed and trailing whitespace trimmed (s),
// and that line trimmed at both ends (t).
struct CleanLine {
    std::string storage;  // used only when the line carried escapes
    std::string_view s;
};

void clean_line(std::string_view raw, CleanLine& out) {
    if (raw.find('\x1b') != std::string_view::npos) {
        out.storage = text::strip_ansi(raw);
        out.s = text::trim_end(out.storage);
    } else {
        out.s = text::trim_end(raw);
    }
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
    auto split = split_path_after_extension(p.text(), kBiomeSources);
    return split && consume_line_col_then_space(split->rest).has_value();
}

void reduce_mypy(const std::vector<std::string_view>& lines, Output& out) {
    CleanLine clean;
    PreparedLine p;
    std::string current_path;
    bool have_path = false;
    for (std::string_view raw : lines) {
        clean_line(raw, clean);
        p.assign(clean.s);
        std::string_view t = p.text();
        if (t.empty()) continue;
        if (auto d = parse_mypy_diagnostic_line(t)) {
            out.flush();
            if (!have_path || current_path != d->path) {
                current_path.assign(d->path);
                have_path = true;
                out.lines.emplace_back(d->path);
            }
            out.lines.push_back(text::format(" {}: {}", d->location, d->message));
        } else if (is_progress_line(p)) {
            ++out.omitted;
        } else if (is_final_summary_line(p) || is_unlisted_diagnostic_line(p, "mypy")) {
            out.keep(std::string(t));
        } else {
            ++out.omitted;
        }
    }
}

void reduce_generic(const std::vector<std::string_view>& lines, std::string_view tool, Output& out) {
    CleanLine clean;
    PreparedLine p;
    std::uint64_t budget = 0;
    for (std::string_view raw : lines) {
        clean_line(raw, clean);
        p.assign(clean.s);
        std::string_view t = p.text();
        if (t.empty()) continue;
        if (is_progress_line(p)) {
            ++out.omitted;
        } else if (is_important_diagnostic_line(p) || is_diagnostic_file_header(tool, p)) {
            out.keep(normalize_for_signal(clean.s, tool));
            budget = diagnostic_context_budget(tool, p);
        } else if (budget > 0 && t.size() <= kMaxContextBytes) {
            out.keep(std::string(clean.s));
            --budget;
        } else if (is_unlisted_diagnostic_line(p, tool)) {
            // Only where it would otherwise be dropped: a source excerpt that
            // happens to say "error" stays context, indentation and all, and
            // leaves the budget for the caret line under it.
            out.keep(normalize_for_signal(clean.s, tool));
        } else {
            ++out.omitted;
        }
    }
}

}  // namespace

std::string normalize_for_signal(std::string_view line, std::string_view tool) {
    if (tool == "golangci-lint") {
        if (auto d = parse_golangci_lint_issue_line(line)) return text::format("{} {}: {}", d->path, d->location, d->message);
    } else if (tool == "shellcheck") {
        return std::string(text::trim_end(line));
    } else if (tool == "eslint") {
        if (is_eslint_issue_line(PreparedLine(line))) return text::join(text::split_whitespace(line), " ");
    }
    return std::string(text::trim(line));
}

std::uint64_t diagnostic_context_budget(std::string_view tool, const PreparedLine& p) {
    if (is_tsc_diagnostic_line(p)) return 2;
    if (tool == "ruff" || tool == "biome" || tool == "oxlint") {
        if (is_ruff_diagnostic_line(p) || is_biome_diagnostic_line(p) || is_oxlint_diagnostic_line(p) ||
            is_oxlint_frame_line(p.text()))
            return 4;
    } else if (tool == "shellcheck") {
        if (is_shellcheck_header_line(p)) return 3;
        if (is_note_help_line(p.text())) return 1;
    }
    return is_c_family_diagnostic_line(p) ? 3 : 0;
}

std::uint64_t diagnostic_context_budget(std::string_view tool, std::string_view line) {
    return diagnostic_context_budget(tool, PreparedLine(line));
}

bool is_diagnostic_file_header(std::string_view tool, const PreparedLine& p) {
    if (tool == "yamllint") return is_yamllint_file_header(p);
    if (tool == "go-build") return is_go_build_package_header(p);
    if (tool == "eslint") return is_eslint_file_header(p);
    if (tool == "pyright") return has_extension(p.text(), kPythonSources) && !has_whitespace(p.text());
    return false;
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
    auto found = detector::detect_build_compiler_diagnostics(split.lines);
    if (!found) return std::nullopt;

    const char* status = found->has_error ? "failure" : found->has_warning ? "warning" : "success";
    Output out;
    out.lines.push_back(text::format("build diagnostics: {} {}", found->tool, status));
    if (found->tool == "mypy")
        reduce_mypy(split.lines, out);
    else
        reduce_generic(split.lines, found->tool, out);
    out.flush();

    std::vector<std::string> kept = text::drop_blank_and_adjacent_duplicates(out.lines);
    if (kept.size() < 2) return std::nullopt;
    std::string result = text::join_lines(kept, split.final_newline);
    if (!text::is_smaller_output(result, text)) return std::nullopt;
    return result;
}

std::string compress_build_compiler_diagnostics_output(std::string_view text) {
    return or_input(try_compress_build_compiler_diagnostics_output(text), text);
}

}  // namespace filters::build_compiler::reducer
