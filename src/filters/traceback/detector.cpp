#include "filters/traceback/detector.h"

#include "filters/filter.h"
#include "filters/traceback/summary.h"
#include "scan/scan.h"

namespace filters::traceback::detector {

namespace {

using summary::kHeader;

constexpr std::string_view kChainMarkers[] = {
    "During handling of the above exception, another exception occurred:",
    "The above exception was the direct cause of the following exception:",
    "The above exception was the context of the following exception:",
};
// The part of the header that the search looks for: its first two bytes,
// "(m", are rare in most text.
constexpr std::string_view kHeaderTail = "(most recent call last):";
constexpr std::size_t kTailOffset = kHeader.size() - kHeaderTail.size();

// A GitHub timestamp and its message, as a tabbed or timestamped job log
// line ends: "YYYY-MM-DDT... ...Z message".
constexpr std::size_t kMinStampedMessage = 21;

bool is_chain_marker(std::string_view t) {
    for (std::string_view m : kChainMarkers)
        if (t == m) return true;
    return false;
}

bool is_header_line(std::string_view line) { return text::trim(line) == kHeader; }

// Whether the "(most recent call last):" at byte `at` ends a header line.
// The line index finds the line, so a long line with many such texts is
// not walked again for each of them.
bool completes_header_at(const text::LineIndex& lines, std::size_t at) {
    const std::string_view body = lines.text();
    if (at < kTailOffset || body.compare(at - kTailOffset, kHeader.size(), kHeader) != 0) return false;
    return is_header_line(lines[lines.line_at(at)]);
}

// Whether some line is a traceback header. The search skips from one
// "(m" to the next, a pair rare in most text, so a text without a header is
// passed over at close to the speed of memory.
bool has_header(const text::LineIndex& lines) {
    constexpr scan::Pair kTailStart = scan::Pair::exact('(', 'm');
    const std::string_view body = lines.text();
    for (scan::Hits hits = scan::pair_hits(body, kTailStart, 0); hits; hits = scan::pair_hits(body, kTailStart, hits.next()))
        for (const std::size_t at : hits)
            if (completes_header_at(lines, at)) return true;
    return false;
}

bool is_unittest_summary(std::string_view t) {
    if (!t.starts_with("Ran ") || !t.ends_with('s')) return false;
    const std::string_view after = t.substr(4);
    return text::contains_any(after, {" test in ", " tests in "});
}

// A job log line: its last tab-separated column starts with a GitHub
// timestamp followed by a message.
bool is_stamped_job_log_line(std::string_view line) {
    const std::size_t tab = line.rfind('\t');
    const std::string_view last = text::trim_start(tab == std::string_view::npos ? line : line.substr(tab + 1));
    return last.size() >= kMinStampedMessage && last[4] == '-' && last[7] == '-' && last[10] == 'T' &&
           text::contains(last, "Z ");
}

// Text that the test-runner or CI-log filters own, raw or summarised: they
// run earlier and print tracebacks their own way.
bool is_owned_by_other_filter(const text::LineIndex& lines) {
    bool ran = false, outcome = false, failure_or_rule = false;
    for (std::string_view line : lines) {
        const std::string_view t = text::trim(line);
        if (t.starts_with(headline::kTestOutput) || t.starts_with(headline::kCiLog)) return true;
        if (text::contains_ignore_case(t, "test session starts") ||
            text::contains_ignore_case(t, "short test summary info"))
            return true;
        if (text::contains(t, "##[") ||
            text::starts_with_any(t, {"::error", "::warning", "::group::", "::endgroup::"}) ||
            is_stamped_job_log_line(line))
            return true;
        ran = ran || is_unittest_summary(t);
        outcome = outcome || t == "OK" || text::starts_with_any(t, {"OK (", "FAILED ("});
        failure_or_rule = failure_or_rule || (t.size() >= 5 && (text::starts_with_any(t, {"FAIL:", "ERROR:"}) ||
                                                                t.find_first_not_of('-') == std::string_view::npos));
    }
    return ran && outcome && failure_or_rule;
}

// The block whose header is line `h`, or nothing when it is malformed: it
// must run through one or more frames, each with its context lines, to an
// exception line.
std::optional<TracebackEvent> parse_block(const text::LineIndex& lines, std::size_t h) {
    TracebackEvent event;
    event.start = h;
    for (std::size_t j = h + 1; j < lines.size();) {
        const std::string_view line = lines[j];
        const std::string_view t = text::trim(line);
        if (t.empty()) {
            ++j;
            continue;
        }
        if (t == kHeader || is_chain_marker(t)) return std::nullopt;
        if (const auto frame = summary::parse_frame_line(line)) {
            event.frames.push_back(TracebackFrame{frame->line, frame->file, {}});
            ++j;
            continue;
        }
        if (!event.frames.empty() && summary::is_unindented_exception_summary(line)) {
            event.exception = summary::normalize_selected_line(line);
            event.end = j + 1;
            return event;
        }
        // Context lines belong under a frame; anything else breaks the block.
        if (event.frames.empty() || !summary::is_context_line(line)) return std::nullopt;
        event.frames.back().context.push_back(line.starts_with("    ") ? line.substr(4) : t);
        ++j;
    }
    return std::nullopt;  // the text ends inside the block
}

// A text in which the lines outside the tracebacks outnumber the lines in
// them is mainly something else (a service log with a few tracebacks among
// its own errors, a shell transcript): folding its other lines into
// omission markers would lose what it is about, so it is left to the
// filters that read such text.
bool is_mainly_tracebacks(const text::LineIndex& lines, const std::vector<TracebackEvent>& events) {
    std::size_t inside = 0, all = 0;
    for (std::string_view line : lines)
        if (!text::trim(line).empty()) ++all;
    for (const TracebackEvent& e : events)
        for (std::size_t i = e.start; i < e.end; ++i)
            if (!text::trim(lines[i]).empty()) ++inside;
    return all - inside <= inside;
}

}  // namespace

std::optional<TracebackParse> parse_python_traceback(const text::LineIndex& lines) {
    if (!has_header(lines) || is_owned_by_other_filter(lines)) return std::nullopt;

    std::vector<TracebackEvent> found;
    bool has_traceback = false;
    for (std::size_t i = 0; i < lines.size();) {
        const std::string_view t = text::trim(lines[i]);
        if (t == kHeader) {
            auto block = parse_block(lines, i);
            if (!block) return std::nullopt;
            i = block->end;
            found.push_back(std::move(*block));
            has_traceback = true;
        } else if (is_chain_marker(t)) {
            // Only a sentence between two tracebacks chains anything.
            if (has_traceback) found.push_back(TracebackEvent{TracebackEvent::Kind::marker, {}, {}, t, i, i + 1});
            ++i;
        } else {
            ++i;
        }
    }
    if (!has_traceback) return std::nullopt;
    // Drop the sentences after the last traceback.
    while (!found.empty() && found.back().kind == TracebackEvent::Kind::marker) found.pop_back();
    if (!is_mainly_tracebacks(lines, found)) return std::nullopt;
    return TracebackParse{std::move(found)};
}

}  // namespace filters::traceback::detector
