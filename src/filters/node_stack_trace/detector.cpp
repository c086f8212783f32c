#include "filters/node_stack_trace/detector.h"

#include <array>
#include <bit>
#include <cstdint>

#include "filters/filter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace filters::node_stack_trace::detector {

namespace {

using summary::FrameKind;

constexpr std::size_t kMinFrames = 4;
// Below this many bytes a line on average, the text is searched for frame
// starts as a whole instead of line by line.
constexpr std::size_t kShortLineBytes = 64;
constexpr std::size_t kMinOtherFrames = 6;
constexpr std::size_t kMinProseBytes = 25;

// Words looked for in every normalised line, ASCII case ignored: other
// filters' headlines and two input markers of other families (which decline
// the text), and the names of two test runners.
constexpr unsigned kOwnedGroup = 0, kVitestGroup = 1, kPlaywrightGroup = 2;
constexpr text::WordSet<18> kGuardWords(std::array<text::SearchWord, 18>{{
    {headline::kNodeStackTrace, kOwnedGroup},
    {headline::kTestOutput, kOwnedGroup},
    {headline::kCiLog, kOwnedGroup},
    {headline::kPythonTraceback, kOwnedGroup},
    {"traceback (most recent call last):", kOwnedGroup},
    {headline::kBuildDiagnostics, kOwnedGroup},
    {headline::kPackageManager, kOwnedGroup},
    {headline::kRepeatedDiagnosticsPrefix, kOwnedGroup},
    {headline::kNativeTrace, kOwnedGroup},
    {headline::kGenericLogPrefix, kOwnedGroup},
    {headline::kLogTemplatesPrefix, kOwnedGroup},
    {"json array:", kOwnedGroup},
    {"json object:", kOwnedGroup},
    {headline::kJsonlRecords, kOwnedGroup},
    {"diff --git ", kOwnedGroup},
    {"short test summary info", kOwnedGroup},
    {"vitest", kVitestGroup},
    {"playwright", kPlaywrightGroup},
}});

// How a line's first byte after its blanks bears on whether it can be a
// frame: most lines of other output are ruled out by that byte alone.
enum ByteClass : std::uint8_t { kNever, kLetterA, kToolPrefix, kNeedsNormalising };

constexpr std::array<std::uint8_t, 256> kFirstByteClass = [] {
    std::array<std::uint8_t, 256> table{};
    table['a'] = kLetterA;
    table['n'] = table['N'] = table['y'] = table['Y'] = kToolPrefix;
    table[0x1b] = table['\v'] = table['\f'] = table['\r'] = kNeedsNormalising;
    for (std::size_t b = 0x80; b < 0x100; ++b) table[b] = kNeedsNormalising;
    return table;
}();

// Whether a raw line can be a frame at all: after leading blanks it starts
// with "at ", or with something the normalisation may remove (a colour code,
// a non-ASCII blank or arrow, an npm or yarn prefix).
bool may_be_frame_line(std::string_view line) {
    const char* p = line.data();
    const char* const end = p + line.size();
    if (p == end) return false;
    p += text::leading_blanks(line);
    if (p == end) return false;
    const std::string_view rest(p, static_cast<std::size_t>(end - p));
    switch (kFirstByteClass[static_cast<unsigned char>(*p)]) {
        case kLetterA:
            return rest.size() >= 3 && (rest[1] == '\x1b' || (rest[1] == 't' && (rest[2] == ' ' || rest[2] == '\x1b')));
        case kToolPrefix:
            // A colour code inside the prefix ("npm\x1b[0m ERR!") is removed
            // before the prefix is read.
            return text::starts_with_ignore_case(rest, "npm ") || text::starts_with_ignore_case(rest, "yarn ") ||
                   rest.find('\x1b') != std::string_view::npos;
        case kNeedsNormalising:
            return true;
        default:
            return false;
    }
}

bool is_count_line(std::string_view lower) {
    const std::size_t space = lower.find(' ');
    if (space == std::string_view::npos || space == 0 || text::digit_run(lower) != space) return false;
    return text::starts_with_any(lower.substr(space + 1),
                                 {"passed", "failed", "flaky", "skipped", "timed out", "did not run", "interrupted"});
}

// "N failing", "N passing (12ms)" (mocha) and "ℹ fail N", "# fail N"
// (node's own test runner, reporter and TAP forms).
bool is_node_or_mocha_tally(std::string_view n) {
    for (std::string_view prefix : {std::string_view("\xE2\x84\xB9 fail "), std::string_view("# fail ")})
        if (n.starts_with(prefix) && text::is_ascii_digits(n.substr(prefix.size()))) return true;
    const std::size_t digits = text::digit_run(n);
    if (digits == 0) return false;
    const std::string_view rest = n.substr(digits);
    return rest == " failing" || (rest.starts_with(" passing (") && rest.ends_with(')'));
}

struct RunnerSigns {
    bool playwright_running = false, playwright_count = false;
    bool jest_file = false, jest_summary = false;
    bool vitest_line = false, vitest_word = false, vitest_run = false;
    bool playwright_line = false, playwright_word = false;

    bool any() const {
        return (playwright_running && playwright_count) || (jest_file && jest_summary) ||
               (vitest_line && (vitest_word || vitest_run)) || (playwright_line && playwright_word);
    }
};

// Line `i` normalised (summary::normalize_selected_line): a view of the
// line, or of `storage` when colour codes were removed. The passes below
// normalise each line as they reach it rather than keep a view of every
// line, which would cost sixteen bytes a line.
std::string_view normalized_line(const text::LineIndex& lines, std::size_t i, std::string& storage) {
    return summary::normalize_selected_line(lines[i], storage);
}

// Steps that look at the normalised lines alone: ownership, test runners and
// fences. True when the text must be declined.
bool is_owned_elsewhere(const text::LineIndex& lines) {
    RunnerSigns signs;
    std::string storage;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view n = normalized_line(lines, i, storage);
        if (n.empty()) continue;
        const std::uint32_t found = kGuardWords.groups_in(n, 1u << kOwnedGroup);
        if (found & (1u << kOwnedGroup)) return true;
        if (found & (1u << kVitestGroup)) signs.vitest_word = true;
        if (found & (1u << kPlaywrightGroup)) signs.playwright_word = true;
        if (n.starts_with("```") || n == "~~~") return true;
        if (is_node_or_mocha_tally(n)) return true;
        if (text::starts_with_ignore_case(n, "running ") && text::contains_ignore_case(n, " tests") &&
            text::contains_ignore_case(n, " using ") && text::ends_with_ignore_case(n, "workers"))
            signs.playwright_running = true;
        if (text::is_ascii_digit(n[0]) && is_count_line(text::to_lower(n))) signs.playwright_count = true;
        if (text::starts_with_any(n, {"PASS ", "FAIL "})) signs.jest_file = true;
        if (text::starts_with_any(n, {"Test Suites:", "Tests:", "Snapshots:", "Time:"})) signs.jest_summary = true;
        if (text::starts_with_any(n, {"Test Files", "Tests", "Duration", "Start at"})) signs.vitest_line = true;
        if (n.starts_with("RUN ")) signs.vitest_run = true;
        if (text::starts_with_any(n, {"Running ", "Error Context:", "attachment #"})) signs.playwright_line = true;
    }
    return signs.any();
}

bool is_script_file_location(std::string_view location) {
    const std::string_view t = summary::strip_line_column_suffix(location);
    for (std::string_view extension : {".js", ".jsx", ".ts", ".tsx", ".mjs", ".cjs"})
        if (text::ends_with_ignore_case(t, extension)) return true;
    return false;
}

bool is_trace_line(std::string_view n, std::string_view n2, std::string& storage) {
    return (may_be_frame_line(n) && summary::is_frame_line(n, storage)) || summary::is_error_headline(n2) ||
           summary::is_node_version_line(n2) || summary::is_stack_section_line(n2) ||
           summary::is_repo_looking_path(n) ||
           (text::starts_with_any(n, {"- ", "* "}) &&
            (n.find('/') != std::string_view::npos || n.find('\\') != std::string_view::npos));
}

// A document that quotes a trace: a sentence that introduces an example
// before it, or prose around it.
bool reads_as_document(const text::LineIndex& lines) {
    bool seen_trace = false;
    std::size_t markdown = 0, prose = 0;
    std::string line_storage, storage, frame_storage;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view n = normalized_line(lines, i, line_storage);
        if (n.empty()) continue;
        const std::string_view n2 = summary::normalize_selected_line(n, storage);
        if (is_trace_line(n, n2, frame_storage)) {
            seen_trace = true;
            continue;
        }
        if (!seen_trace) {
            std::string_view intro = n;
            while (!intro.empty() && std::string_view(">-*# ").find(intro.front()) != std::string_view::npos)
                intro.remove_prefix(1);
            const std::string lower = text::to_lower(text::trim(intro));
            if (lower.ends_with(':') && (text::contains_any(lower, {"example", "sample", "output", "look like"}) ||
                                         text::starts_with_any(lower, {"the following", "following "})))
                return true;
        }
        if (text::starts_with_any(n, {"# ", "## ", "### ", "- ", "* ", "> "})) ++markdown;
        if (n.find(' ') != std::string_view::npos && n.size() >= kMinProseBytes &&
            (text::ends_with_any(n, {".", ":", ";"}) ||
             text::starts_with_any_ignore_case(n, {"when ", "if ", "to ", "this ", "the "})))
            ++prose;
    }
    return prose >= 2 || (prose == 1 && markdown >= 1);
}

// Lines before a headline that may hold node's excerpt of the failing
// source: its location, the source line and the caret under it.
constexpr std::size_t kExcerptWindow = 5;

// The non-blank lines before headline `h` that make up node's excerpt
// ("/app/x.js:3", the source line, "^"), counted from the caret line up;
// none when no caret line stands in the window.
std::size_t excerpt_lines_before(const text::LineIndex& lines, std::size_t h) {
    const std::size_t from = h >= kExcerptWindow - 1 ? h - (kExcerptWindow - 1) : 0;
    std::size_t caret = h;
    std::string storage;
    for (std::size_t i = h; i-- > from;)
        if (summary::is_caret_line(normalized_line(lines, i, storage))) {
            caret = i;
            break;
        }
    if (caret == h || caret == 0 || normalized_line(lines, caret - 1, storage).empty()) return 0;
    if (caret >= 2 && summary::has_stack_location_signal(normalized_line(lines, caret - 2, storage))) return 3;
    return 2;
}

// Whether the lines that belong to the errors (the excerpt, the headline and
// its message, the frames and the lines among them, the stack sections, the
// error's properties, the version line) are at least as many as the other
// non-blank lines. A program's own output around a crash (a server's
// request log) is what the reader ran it for: when it is the larger part,
// the text is left to the filters that read logs rather than cut down to
// the crash with nothing to say the rest was there.
bool is_mainly_error_output(const text::LineIndex& lines, const NodeStackTraceParse& parse) {
    std::size_t inside = 0, outside = 0;
    // Lines after a headline or a frame, counted as the error's when a frame
    // follows them before another headline does.
    std::size_t pending = 0;
    bool seen_frame = false, seen_headline = false;
    summary::ErrorObjectBraces braces;
    std::string storage, frame_storage;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view n = normalized_line(lines, i, storage);
        const bool frame = i >= parse.frames.first_line && is_frame_at(lines, i, frame_storage);
        const bool headline = summary::is_error_headline(n);
        seen_frame = seen_frame || frame;
        const summary::BraceRole role = braces.step(n, frame);
        if (n.empty()) continue;
        if (frame) {
            inside += 1 + pending;
            pending = 0;
        } else if (headline) {
            // The excerpt was counted as pending or, before any error, as
            // other output.
            const std::size_t excerpt = excerpt_lines_before(lines, i);
            const std::size_t from_pending = std::min(excerpt, pending);
            const std::size_t from_outside = std::min(excerpt - from_pending, outside);
            inside += 1 + from_pending + from_outside;
            outside += pending - from_pending - from_outside;
            pending = 0;
        } else if (role != summary::BraceRole::Outside || summary::is_stack_section_line(n) ||
                   summary::is_node_version_line(n)) {
            ++inside;
        } else if (seen_frame || seen_headline) {
            ++pending;
        } else {
            ++outside;
        }
        seen_headline = seen_headline || headline;
    }
    outside += pending;
    return outside <= inside;
}

}  // namespace

// Calls `visit` with the index of each line, in order, that holds "at " or
// an "a" or "at" right before a colour code: every frame line does, since
// its text starts with "at " once colour codes are removed. The text is
// read sixteen bytes at a time; most inputs hold few such places.
template <class Visit>
void each_frame_candidate_line(const text::LineIndex& lines, Visit&& visit) {
    const std::string_view t = lines.text();
    const char* const d = t.data();
    const std::size_t n = t.size();
    std::size_t next_line_start = 0;  // candidates before it are in a visited line
    std::size_t next_line = 0;        // the line that starts there
    // Kept out of the block loops below, whose constants then stay in
    // registers whatever the visitor does.
    auto candidate = [&](std::size_t at) __attribute__((noinline)) {
        if (at < next_line_start) return;
        // Frames come line after line: the next line is found a few steps on.
        const std::size_t line = text::line_at_from(lines, at, next_line);
        visit(line);
        next_line = line + 1;
        next_line_start = next_line < lines.size() ? lines.start(next_line) : n;
    };
    auto is_candidate = [&](std::size_t i) {
        return d[i] == 'a' && i + 1 < n &&
               (d[i + 1] == '\x1b' || (d[i + 1] == 't' && i + 2 < n && (d[i + 2] == ' ' || d[i + 2] == '\x1b')));
    };
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i letter_a = _mm_set1_epi8('a'), letter_t = _mm_set1_epi8('t');
    const __m128i blank = _mm_set1_epi8(' '), escape = _mm_set1_epi8('\x1b');
    auto hits_at = [&](std::size_t at) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + at));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + at + 1));
        const __m128i third = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + at + 2));
        const __m128i t_then_end =
            _mm_and_si128(_mm_cmpeq_epi8(second, letter_t),
                          _mm_or_si128(_mm_cmpeq_epi8(third, blank), _mm_cmpeq_epi8(third, escape)));
        return _mm_and_si128(_mm_cmpeq_epi8(first, letter_a), _mm_or_si128(t_then_end, _mm_cmpeq_epi8(second, escape)));
    };
    // Four blocks a step: most steps find nothing and cost one test.
    for (; i + 66 <= n; i += 64) {
        const __m128i h0 = hits_at(i), h1 = hits_at(i + 16), h2 = hits_at(i + 32), h3 = hits_at(i + 48);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(h0, h1), _mm_or_si128(h2, h3))) == 0) continue;
        const __m128i blocks[4] = {h0, h1, h2, h3};
        for (std::size_t b = 0; b < 4; ++b)
            for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(blocks[b])); mask != 0; mask &= mask - 1)
                candidate(i + 16 * b + static_cast<std::size_t>(std::countr_zero(mask)));
    }
    for (; i + 18 <= n; i += 16)
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits_at(i))); mask != 0; mask &= mask - 1)
            candidate(i + static_cast<std::size_t>(std::countr_zero(mask)));
#endif
    for (; i < n; ++i)
        if (is_candidate(i)) candidate(i);
}

void FrameCounts::add(std::size_t line, summary::FrameKind kind) {
    const auto k = static_cast<std::size_t>(kind);
    if (total == 0) first_line = line;
    if (of_kind[k]++ == 0) first_of_kind[k] = total;
    last_of_kind[k] = total;
    ++total;
}

std::optional<summary::FrameView> frame_at(const text::LineIndex& lines, std::size_t i, std::string& storage) {
    if (!may_be_frame_line(lines[i])) return std::nullopt;
    return summary::parse_frame_view(lines[i], storage);
}

bool is_frame_at(const text::LineIndex& lines, std::size_t i, std::string& storage) {
    return may_be_frame_line(lines[i]) && summary::is_frame_line(lines[i], storage);
}

std::optional<NodeStackTraceParse> parse_node_stack_trace(const text::LineIndex& lines) {
    NodeStackTraceParse parse;
    std::string frame_storage;
    // Whether a frame that points elsewhere than a script's code still
    // names a script file, asked only until one does.
    bool script_location = false;
    auto try_line = [&](std::size_t i) {
        const std::optional<summary::FrameView> frame = frame_at(lines, i, frame_storage);
        if (!frame) return;
        parse.frames.add(i, frame->kind);
        if (frame->kind == FrameKind::Other && !script_location)
            script_location = is_script_file_location(frame->location);
    };
    // Short lines are cheaper to read whole, sixteen bytes at a time; long
    // ones by their first bytes alone.
    if (lines.text().size() < kShortLineBytes * lines.size()) {
        each_frame_candidate_line(lines, try_line);
    } else {
        for (std::size_t i = 0; i < lines.size(); ++i) try_line(i);
    }
    if (parse.frames.total < kMinFrames) return std::nullopt;

    // Frames that all point elsewhere than a script (a Java or Python trace
    // has "at" lines too) are declined before any other line is read.
    const bool all_other = parse.frames.of_kind[static_cast<std::size_t>(FrameKind::Other)] == parse.frames.total;
    if (all_other && (parse.frames.total < kMinOtherFrames || !script_location)) return std::nullopt;

    if (is_owned_elsewhere(lines)) return std::nullopt;

    bool has_headline = false, has_version_line = false;
    std::string storage;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view n = normalized_line(lines, i, storage);
        if (summary::is_error_headline(n)) {
            if (!has_headline) parse.first_headline = i;
            parse.last_headline = i;
            has_headline = true;
        }
        if (summary::is_node_version_line(n)) has_version_line = true;
        if (!parse.error_code) parse.error_code = summary::extract_error_code(n);
    }
    if (!has_headline) return std::nullopt;
    if (all_other && (parse.error_code || has_version_line)) return std::nullopt;

    if (reads_as_document(lines)) return std::nullopt;
    if (!is_mainly_error_output(lines, parse)) return std::nullopt;
    return parse;
}

}  // namespace filters::node_stack_trace::detector
