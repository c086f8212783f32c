#include "filters/repeated_diagnostic/summary.h"

#include <array>
#include <deque>
#include <functional>
#include <unordered_set>

#include "filters/filter.h"
#include "filters/repeated_diagnostic/native.h"
#include "filters/repeated_diagnostic/normalization.h"
#include "filters/repeated_diagnostic/source_guard.h"
#include "filters/tree.h"
#include "text.h"

namespace filters::repeated_diagnostic::summary {

using types::DiagnosticTemplate;

namespace {

constexpr std::size_t kMaxLineBytes = 1200;
constexpr std::size_t kMaxShownPaths = 6;  // all of them below 7, else 3 first and 3 last
constexpr std::size_t kShownEachEnd = 3;
constexpr std::size_t kFirstFramesKept = 3;
constexpr std::size_t kLastFramesKept = 2;
constexpr std::uint64_t kContextLinesKept = 4;  // ordinary context lines before the rest are counted

constexpr std::array<std::string_view, 11> kSignalPhrases = {
    "permission denied", "no such file", "not found",          "cannot ",     "can't ",      "unable to",
    "failed to",         "fatal error",  "segmentation fault", "core dumped", "stack trace",
};

constexpr std::array<std::string_view, 17> kSignalWords = {
    "abort", "aborted", "aborting", "cannot",    "denied",     "error",  "exception", "failed",  "failure",
    "fatal", "invalid", "panic",    "terminate", "terminated", "unable", "warn",      "warning",
};

// The lines of a sanitizer report that open a stack section. The access
// ("READ of size 4 at ... thread T0") and where the bad address lies ("0x...
// is located 16 bytes inside of 24-byte region [...]", "Location is global
// 'g' ...") are found by their words alone; the other headings also end with
// ":" ("freed by thread T0 here:", "Direct leak of 24 byte(s) in 1 object(s)
// allocated from:", "Thread T1 (tid=7, running) created by main thread at:").
constexpr std::array<std::string_view, 3> kSectionLineWords = {"read of size ", "write of size ", " is located "};
constexpr std::array<std::string_view, 3> kSectionHeadingWords = {"freed by thread ", "allocated by thread ",
                                                                  " created by "};
constexpr std::array<std::string_view, 4> kSectionHeadingStarts = {
    "direct leak of ",
    "indirect leak of ",
    "as if synchronized via ",
    "mutex ",
};
constexpr auto kSectionLineWordSet = text::WordSet<kSectionLineWords.size()>::of(kSectionLineWords);
constexpr auto kSectionHeadingWordSet = text::WordSet<kSectionHeadingWords.size()>::of(kSectionHeadingWords);

constexpr auto kSignalPhraseSet = text::WordSet<kSignalPhrases.size()>::of(kSignalPhrases);

bool is_word_char(char c) { return text::is_ascii_alnum(c) || c == '-' || c == '_'; }

// A signal phrase anywhere, or a signal word standing alone: a whole run of
// letters, digits, "-" and "_" that equals it, case ignored.
bool has_diagnostic_signal(std::string_view line) {
    if (kSignalPhraseSet.found_in(line)) return true;
    std::size_t i = 0;
    while (i < line.size()) {
        if (!is_word_char(line[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < line.size() && is_word_char(line[end])) ++end;
        const std::string_view run = line.substr(i, end - i);
        for (std::string_view word : kSignalWords)
            if (text::equals_ignore_case(run, word)) return true;
        i = end;
    }
    return false;
}

std::string plain_trimmed(std::string_view line) { return std::string(text::trim(text::strip_ansi(line))); }

bool is_blank_after_ansi(std::string_view line) {
    if (line.find('\x1b') == std::string_view::npos) return text::trim(line).empty();
    return plain_trimmed(line).empty();
}

}  // namespace

namespace {

// The line as its template reads it: colour codes removed (into `scratch`,
// unless nothing is left of the line without them) and trimmed.
std::string_view template_source(std::string_view line, std::string& scratch) {
    scratch.clear();
    if (line.find('\x1b') != std::string_view::npos) scratch = text::strip_ansi(line);
    return text::trim(scratch.empty() ? line : std::string_view(scratch));
}

// Writes the line's template to `out`, and the paths it replaced to `paths`
// when given; false when the line has none.
bool build_template(std::string_view line, std::string& out, std::vector<std::string>* paths, std::string& scratch) {
    const std::string_view t = template_source(line, scratch);
    if (t.empty() || t.size() > kMaxLineBytes) return false;
    if (source_guard::looks_like_source_or_code_statement(t) || text::has_secret_like_key(t)) return false;
    if (!has_diagnostic_signal(t)) return false;

    out.clear();
    out.reserve(t.size());
    std::size_t pos = 0;
    for (std::string_view token = text::next_word(t, pos); !token.empty(); token = text::next_word(t, pos)) {
        if (!out.empty()) out.push_back(' ');
        normalization::append_normalized_token(token, out, paths);
    }
    return normalization::has_enough_static_text(out);
}

}  // namespace

std::optional<DiagnosticTemplate> diagnostic_template_for_line(std::string_view line) {
    DiagnosticTemplate result;
    std::string scratch;
    if (!build_template(line, result.template_text, &result.paths, scratch)) return std::nullopt;
    return result;
}

bool write_diagnostic_template(std::string_view line, std::string& out, std::string& scratch) {
    return build_template(line, out, nullptr, scratch);
}

bool is_important_native_context(std::string_view line) {
    const std::string plain = plain_trimmed(line);
    if (plain.empty()) return false;
    if (native::is_native_trace_marker(plain) || plain.starts_with("SUMMARY:") || plain.starts_with("==")) return true;
    const std::string lowered = text::to_lower(plain);
    return lowered == "abort" || text::contains_any(lowered, {"aborting", "signal", "exit code", "command failed",
                                                              "read of size", "write of size"});
}

bool opens_native_stack_section(std::string_view line) {
    const std::string stripped = line.find('\x1b') == std::string_view::npos ? std::string() : text::strip_ansi(line);
    const std::string_view t = text::trim(stripped.empty() ? line : std::string_view(stripped));
    if (kSectionLineWordSet.found_in(t) || text::starts_with_ignore_case(t, "location is ")) return true;
    if (!t.ends_with(':')) return false;
    for (std::string_view start : kSectionHeadingStarts)
        if (text::starts_with_ignore_case(t, start)) return true;
    return kSectionHeadingWordSet.found_in(t);
}

FoldedLines FoldedLines::within(std::string_view input) { return FoldedLines(SummaryWriter::within(input)); }

void FoldedLines::add(std::string_view line) {
    const bool blank = text::trim(line).empty();
    if (blank) {
        if (!previous_blank_) pending_blank_ = true;
        previous_blank_ = true;
        return;
    }
    previous_blank_ = false;
    if (pending_blank_) {
        out_.add("");
        pending_blank_ = false;
    }
    out_.add(line);
}

std::vector<std::string> drop_excess_blank_lines(std::vector<std::string> lines) {
    FoldedLines folded;
    for (const std::string& line : lines) folded.add(line);
    if (folded.line_count() == 0) return {};
    std::vector<std::string> out;
    for (std::string_view line : text::split_on_newline(folded.take(false))) out.emplace_back(line);
    return out;
}

void write_run_summary(FoldedLines& out, const text::LineIndex& lines, std::size_t first, std::size_t end,
                       std::string_view template_text) {
    out.add(text::format("… {} repeated diagnostics: {}", end - first, template_text));
    out.add("  first: " + plain_trimmed(lines[first]));
    out.add("  last: " + plain_trimmed(lines[end - 1]));

    // The paths the lines' templates replaced, each once, in order of first
    // appearance: views of the text where a path stands in it as recorded,
    // copies of the few that were rewritten (colour codes, backslashes).
    const std::string_view whole = lines.text();
    auto in_text = [&](std::string_view piece) {
        return std::less_equal<const char*>()(whole.data(), piece.data()) &&
               std::less_equal<const char*>()(piece.data() + piece.size(), whole.data() + whole.size());
    };
    std::vector<std::string_view> paths;
    std::unordered_set<std::string_view> seen;
    std::deque<std::string> copies;
    std::string scratch, storage;
    for (std::size_t i = first; i < end; ++i) {
        const std::string_view t = template_source(lines[i], scratch);
        std::size_t pos = 0;
        for (std::string_view token = text::next_word(t, pos); !token.empty(); token = text::next_word(t, pos)) {
            std::optional<std::string_view> path = normalization::token_path(token, storage);
            if (!path || seen.contains(*path)) continue;
            if (!in_text(*path)) path = copies.emplace_back(*path);
            seen.insert(*path);
            paths.push_back(*path);
        }
    }
    if (paths.empty()) return;

    out.add("  affected paths:");
    std::vector<tree::TreeRow> rows;
    auto add_row = [&](std::string_view path) { rows.push_back(tree::TreeRow{std::string(path), {}, {}}); };
    const bool all = paths.size() <= kMaxShownPaths;
    if (all) {
        for (std::string_view path : paths) add_row(path);
    } else {
        for (std::size_t i = 0; i < kShownEachEnd; ++i) add_row(paths[i]);
        for (std::size_t i = paths.size() - kShownEachEnd; i < paths.size(); ++i) add_row(paths[i]);
    }
    const std::string rendered = tree::format_tree(rows);
    for (std::string_view line : text::split_on_newline(rendered)) out.add(text::format("   {}", line));
    if (!all) out.add(text::format("   … {} more paths omitted", paths.size() - kMaxShownPaths));
}

FoldedLines summarize_native_trace(const types::NativeTraceSignal& signal, const text::LineIndex& lines) {
    const std::vector<std::size_t>& frames = signal.evidence_lines;
    std::vector<bool> kept(frames.size(), false);
    for (std::size_t k = 0; k < frames.size(); ++k)
        kept[k] = k < kFirstFramesKept || k + kLastFramesKept >= frames.size() || signal.frames[k].in_project;

    FoldedLines out;
    // The last two lines written, which a context line must not repeat.
    std::string last[2];
    auto emit = [&](std::string line) {
        out.add(line);
        last[0] = std::move(last[1]);
        last[1] = std::move(line);
    };
    std::uint64_t omitted_frames = 0;
    std::uint64_t omitted_lines = 0;
    std::uint64_t taken = 0;
    auto flush_frames = [&] {
        if (omitted_frames == 0) return;
        emit(text::format("… {} native stack frame{} omitted", omitted_frames, text::plural(omitted_frames)));
        omitted_frames = 0;
    };
    auto flush_lines = [&] {
        if (omitted_lines == 0) return;
        emit(text::format("… {} native trace line{} omitted", omitted_lines, text::plural(omitted_lines)));
        omitted_lines = 0;
    };

    emit(text::format("{} {}", headline::kNativeTrace, signal.headline));
    std::size_t next_frame = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool is_frame = next_frame < frames.size() && frames[next_frame] == i;
        const std::size_t frame = next_frame;
        if (is_frame) ++next_frame;
        if (is_blank_after_ansi(lines[i])) continue;
        if (is_frame) {
            if (!kept[frame]) {
                ++omitted_frames;
                continue;
            }
            flush_lines();
            flush_frames();
            emit(native::normalize_native_line(lines[i]));
            continue;
        }
        // A section heading is never left out, not even as a repeat: the
        // frames kept below it would read as the previous section's.
        const bool heading = opens_native_stack_section(lines[i]);
        if (!heading && taken >= kContextLinesKept && !is_important_native_context(lines[i])) {
            ++omitted_lines;
            continue;
        }
        flush_frames();
        flush_lines();
        std::string normalized = native::normalize_native_line(lines[i]);
        ++taken;
        if (!heading) {
            if (normalized == last[0] || normalized == last[1] || normalized == signal.headline) continue;
            if (text::starts_with_ignore_case(normalized, "runtime error:") && normalized.starts_with(signal.headline))
                continue;
        }
        emit(std::move(normalized));
    }
    flush_frames();
    flush_lines();
    return out;
}

}  // namespace filters::repeated_diagnostic::summary
