#include "filters/ci_job_log/detector.h"

#include "filters/ci_job_log/summary.h"
#include "scan/scan.h"

namespace filters::ci_job_log::detector {

namespace {

constexpr std::size_t kMinParsedLines = 3;
constexpr std::size_t kMinTabbedLines = 2;
constexpr std::size_t kMinTimestampedLines = 2;

bool is_group_line(std::string_view m) { return summary::extract_group_step(m) || summary::is_group_end(m); }

bool is_annotation(std::string_view m) {
    return text::starts_with_any(m, {"::error", "##[error]"}) || summary::is_warning_line(m);
}

bool is_workflow_command(std::string_view m) {
    return text::starts_with_any(m,
                                 {"##[", "::group::", "::endgroup::", "::error", "::warning", "::notice", "::debug"});
}

// Whether a workflow command may begin at byte `i`: one starts there, and
// it opens the line's message, so the byte before it ends a line, white
// space, or may be the end of a non-ASCII white-space character.
bool may_open_command_at(std::string_view s, std::size_t i) {
    if (i > 0) {
        const char before = s[i - 1];
        if (!text::is_ascii_whitespace(before) && static_cast<unsigned char>(before) < 0x80) return false;
    }
    return is_workflow_command(s.substr(i));
}

// The three bytes where a workflow command may open, "::" (group 0) or
// "##" (group 1) after a byte that may end a line or white space: a blank,
// a control byte, or a byte from 0x80 up (which may be the last of a wider
// white-space character). The place of the byte before lets a few more
// through (0x21 to 0x2F share a half-byte with the blanks), which the
// test at each hit turns away.
constexpr scan::PlaceTable kCommandOpenings = [] {
    scan::PlaceTable table(3);
    table.allow(0, scan::ByteSet::range(0x00, 0x20) | scan::ByteSet::range(0x80, 0xFF), 0b11);
    for (std::size_t place = 1; place < 3; ++place) {
        table.allow(place, ':', 0b01);
        table.allow(place, '#', 0b10);
    }
    return table;
}();

// Position of the next byte, from `from` on, where a workflow command may
// begin, or npos. Every command starts with "##" or "::" after a line end
// or white space, so the search looks for those three bytes many positions
// at a time, and most texts are passed over at close to the speed of
// memory. A hit is the byte before the pair.
std::size_t find_command_opening(std::string_view s, std::size_t from) {
    if (from == 0 && may_open_command_at(s, 0)) return 0;
    const std::size_t first = from == 0 ? 0 : from - 1;
    for (scan::Hits hits = scan::place_hits(s, kCommandOpenings, first); hits;
         hits = scan::place_hits(s, kCommandOpenings, hits.next()))
        for (const std::size_t at : hits)
            if (may_open_command_at(s, at + 1)) return at + 1;
    return std::string_view::npos;
}

// Whether some line is a workflow command line, which every job log has.
// Only the lines where a command may begin are parsed.
bool has_workflow_command(const text::LineIndex& lines) {
    const std::string_view body = lines.text();
    for (std::size_t pos = find_command_opening(body, 0); pos != std::string_view::npos;) {
        const std::size_t i = lines.line_at(pos);
        if (is_workflow_command(summary::parse_ci_line(lines[i]).message)) return true;
        if (i + 1 >= lines.size()) break;
        pos = find_command_opening(body, lines.start(i + 1));
    }
    return false;
}

}  // namespace

std::optional<CiJobLogSignals> detect_ci_job_log(const text::LineIndex& lines) {
    if (!has_workflow_command(lines)) return std::nullopt;

    std::size_t parsed = 0, timestamped = 0, tabbed = 0, commands = 0, groups = 0, annotations = 0;
    CiJobLogSignals signals;
    for (std::string_view raw : lines) {
        if (text::trim(raw).empty()) continue;
        const summary::CiLine line = summary::parse_ci_line(raw);
        const std::string_view m = line.message;
        ++parsed;
        if (line.has_timestamp) ++timestamped;
        if (line.has_timestamp && line.job && line.step) ++tabbed;
        if (is_workflow_command(m)) ++commands;
        if (is_group_line(m)) ++groups;
        if (is_annotation(m)) ++annotations;
        if (summary::is_failure_line(m)) signals.has_failure = true;
        if (summary::is_warning_line(m)) signals.has_warning = true;
    }
    if (parsed < kMinParsedLines) return std::nullopt;
    const bool accepted =
        tabbed >= kMinTabbedLines
            ? commands >= 1
            : (commands == 1 && timestamped >= kMinTimestampedLines) ||
                  (commands >= 2 && (groups >= 1 || timestamped >= kMinTimestampedLines || annotations >= 1));
    if (!accepted) return std::nullopt;
    return signals;
}

}  // namespace filters::ci_job_log::detector
