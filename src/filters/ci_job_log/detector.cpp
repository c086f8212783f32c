#include "filters/ci_job_log/detector.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "filters/ci_job_log/summary.h"

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

#if defined(__x86_64__)
// The search of find_command_opening with 32-byte registers, on processors
// that have them. Moves `i` to where it stopped; the opening, or npos.
__attribute__((target("avx2"))) std::size_t find_command_opening_avx2(std::string_view s, std::size_t& i) {
    const __m256i colon = _mm256_set1_epi8(':'), hash = _mm256_set1_epi8('#');
    const __m256i above_space = _mm256_set1_epi8(0x21);  // signed: every byte from 0x80 up is below it too
    constexpr std::size_t kStep = 32;
    for (; s.size() > kStep && i < s.size() - kStep; i += kStep) {
        // Reads run from i - 1 >= 0 to i + kStep + 1 <= s.size().
        const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.data() + i - 1));
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.data() + i));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.data() + i + 1));
        const __m256i pair = _mm256_and_si256(_mm256_cmpeq_epi8(x, y),
                                              _mm256_or_si256(_mm256_cmpeq_epi8(x, colon), _mm256_cmpeq_epi8(x, hash)));
        const __m256i hits = _mm256_and_si256(pair, _mm256_cmpgt_epi8(above_space, before));
        for (auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
            if (may_open_command_at(s, at)) return at;
        }
    }
    return std::string_view::npos;
}
#endif

// Position of the next byte, from `from` on, where a workflow command may
// begin, or npos. Every command starts with "##" or "::" after a line end
// or white space, so the search looks for those three bytes thirty-two
// positions per step where the processor allows (a non-ASCII byte before
// the pair, which may end a white-space character, is let through), and
// most texts are passed over at close to the speed of memory.
std::size_t find_command_opening(std::string_view s, std::size_t from) {
    std::size_t i = from;
    if (i == 0 && !s.empty()) {
        if (may_open_command_at(s, 0)) return 0;
        i = 1;
    }
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) {
        if (const std::size_t at = find_command_opening_avx2(s, i); at != std::string_view::npos) return at;
    }
#endif
#if defined(__SSE2__)
    constexpr std::size_t kStep = 32;
    const __m128i colon = _mm_set1_epi8(':'), hash = _mm_set1_epi8('#');
    const __m128i above_space = _mm_set1_epi8(0x21);  // signed: every byte from 0x80 up is below it too
    const auto openings = [&](std::size_t at) {
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + at - 1));
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + at));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + at + 1));
        const __m128i pair =
            _mm_and_si128(_mm_cmpeq_epi8(x, y), _mm_or_si128(_mm_cmpeq_epi8(x, colon), _mm_cmpeq_epi8(x, hash)));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(pair, _mm_cmpgt_epi8(above_space, before))));
    };
    while (s.size() > kStep && i < s.size() - kStep) {
        // Reads run from i - 1 >= 0 to i + kStep + 1 <= s.size().
        for (std::uint32_t mask = openings(i) | (openings(i + 16) << 16); mask != 0; mask &= mask - 1) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
            if (may_open_command_at(s, at)) return at;
        }
        i += kStep;
    }
#endif
    for (; i < s.size(); ++i)
        if (may_open_command_at(s, i)) return i;
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
