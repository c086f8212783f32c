#include "filters/table/detector.h"

#include <algorithm>
#include <array>

#include "filters/table/classifiers.h"
#include "filters/table/shapes.h"
#include "filters/table/whitespace.h"
#include "text.h"

namespace filters::table::detector {

using namespace classifiers;

namespace {

using ShapeParser = std::optional<StructuredTable> (*)(Lines);

constexpr std::array<ShapeParser, 5> kShapes = {
    &shapes::parse_mysql_box_table,     &shapes::parse_unicode_box_table,   &shapes::parse_psql_table,
    &shapes::parse_markdown_pipe_table, &shapes::parse_sqlite_column_table,
};

constexpr std::array<bool (*)(Lines), 5> kShapeHeads = {
    &shapes::opens_mysql_box_table,     &shapes::opens_unicode_box_table,   &shapes::opens_psql_table,
    &shapes::opens_markdown_pipe_table, &shapes::opens_sqlite_column_table,
};

// The line counts the detector looks at: skips below 10, and a shape's
// header takes three lines at most.
constexpr std::size_t kSkipLimit = 10;
constexpr std::size_t kShapeHeadLines = 3;

// Code and diagnostics block a table from these many lines on, when they
// are at least half the nonblank lines; path locations from two.
constexpr std::size_t kMinNumberedCodeLines = 8;
constexpr std::size_t kMinDiagnosticLines = 3;
constexpr std::size_t kMinPathLocationLines = 2;

bool is_code_start(std::string_view code) {
    return text::starts_with_any(code, {"from ", "import ", "if ", "def ", "class ", "return", "elif ", "else:", "for ",
                                        "while ", "try:", "except ", "with ", "#", "@"});
}

bool is_diagnostic_start(std::string_view t) {
    return text::starts_with_any(
        t, {"error:", "error[", "warning:", "warning[", "note:", "help:", "-->", "at ", "Caused by:"});
}

// A line of a numbered source listing: digits, a tab, then code.
bool is_numbered_code_line(std::string_view trimmed_start) {
    const std::size_t digits = text::digit_run(trimmed_start);
    if (digits == 0 || digits >= trimmed_start.size() || trimmed_start[digits] != '\t') return false;
    const std::string_view code = text::trim_start(trimmed_start.substr(digits + 1));
    if (is_code_start(code)) return true;
    return !code.empty() && (text::is_ascii_alpha(code.front()) || code.front() == '_') && text::contains(code, " = ");
}

// Calls visit(table) for each structured candidate in the order tried until
// visit returns true.
template <class Visit>
void for_each_structured_candidate(Lines lines, Visit visit) {
    auto try_at = [&](std::size_t skip) {
        for (ShapeParser parse : kShapes) {
            if (auto table = parse(lines.subspan(skip))) {
                std::vector<std::string_view> header;
                header.reserve(skip + table->header.size());
                for (std::size_t i = 0; i < skip; ++i) header.push_back(lines[i]);
                header.insert(header.end(), table->header.begin(), table->header.end());
                table->header = std::move(header);
                if (visit(std::move(*table))) return true;
            }
        }
        return false;
    };
    if (try_at(0) || lines.size() < 2) return;
    const std::size_t last_skip = std::min(lines.size(), kSkipLimit);
    for (std::size_t skip = 1; skip < last_skip; ++skip) {
        // A preamble that is unsafe stays unsafe when it grows.
        if (!preamble_is_safe(lines.first(skip))) return;
        if (try_at(skip)) return;
    }
}

}  // namespace

bool has_hard_blocking_context(Lines lines) {
    std::size_t nonblank = 0;
    std::size_t path_locations = 0;
    std::size_t numbered_code = 0;
    std::size_t diagnostics = 0;
    for (std::string_view line : lines) {
        const std::string_view t = text::trim_start(line);
        if (t.starts_with("```") || t.starts_with("~~~")) return true;
        if (t.starts_with("Traceback ") || t.starts_with("File \"")) return true;
        if (t.empty()) continue;
        ++nonblank;
        path_locations += looks_like_path_location_line(line);
        numbered_code += is_numbered_code_line(t);
        diagnostics += looks_like_log_line(line) || is_diagnostic_start(t);
    }
    if (nonblank == 0) return true;
    if (path_locations >= kMinPathLocationLines && path_locations * 2 >= nonblank) return true;
    if (numbered_code >= kMinNumberedCodeLines && numbered_code * 2 >= nonblank) return true;
    return diagnostics >= kMinDiagnosticLines && diagnostics * 2 >= nonblank;
}

std::vector<StructuredTable> parse_structured_table_blocks(Lines lines) {
    std::vector<StructuredTable> found;
    for_each_structured_candidate(lines, [&](StructuredTable&& t) {
        found.push_back(std::move(t));
        return false;
    });
    return found;
}

bool may_hold_table(Lines first_lines) {
    const Lines head = first_lines.first(std::min(first_lines.size(), kSkipLimit - 1 + kShapeHeadLines));
    const std::size_t last_skip = std::min(head.size(), kSkipLimit);
    for (std::size_t skip = 0; skip < last_skip; ++skip) {
        // A preamble that is unsafe stays unsafe when it grows.
        if (skip > 0 && !preamble_is_safe(head.first(skip))) break;
        for (auto opens : kShapeHeads)
            if (opens(head.subspan(skip))) return true;
    }
    return whitespace::may_hold_report(first_lines);
}

std::optional<StructuredTable> parse_structured_table(Lines lines) {
    // The context is checked once a table is found: that is rare, and the
    // check reads every line.
    std::optional<StructuredTable> found;
    for_each_structured_candidate(lines, [&](StructuredTable&& t) {
        if (!model::has_enough_rows(t)) return false;
        found = std::move(t);
        return true;
    });
    if (!found) {
        found = whitespace::parse_whitespace_report(lines);
        if (found && !model::has_enough_rows(*found)) found.reset();
    }
    if (found && has_hard_blocking_context(lines)) found.reset();
    return found;
}

}  // namespace filters::table::detector
