#include "filters/generic_log/reducer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <utility>

#include "filters/generic_log/detector.h"
#include "filters/generic_log/summary.h"
#include "text.h"

namespace filters::generic_log::reducer {

namespace {

constexpr std::size_t kMarkedPatterns = 3;
constexpr std::size_t kMinSummaryLines = 3;
constexpr std::size_t kProtectedAtEachEnd = 2;

// Indices of the first two and the last two nonblank lines, which are never
// folded (npos where the text has fewer).
std::array<std::size_t, 2 * kProtectedAtEachEnd> protected_line_indices(const text::LineIndex& lines) {
    std::array<std::size_t, 2 * kProtectedAtEachEnd> out;
    out.fill(std::string_view::npos);
    std::size_t found = 0;
    for (std::size_t i = 0; i < lines.size() && found < kProtectedAtEachEnd; ++i)
        if (!text::trim(lines[i]).empty()) out[found++] = i;
    found = kProtectedAtEachEnd;
    for (std::size_t i = lines.size(); i > 0 && found < out.size(); --i)
        if (!text::trim(lines[i - 1]).empty()) out[found++] = i - 1;
    return out;
}

std::string_view decimal(std::array<char, 20>& buffer, std::uint64_t n) {
    const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), n).ptr;
    return std::string_view(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
}

}  // namespace

std::vector<PendingFolds::Entry>& PendingFolds::take() {
    taken_.clear();
    for (std::uint32_t key : keys_) {
        taken_.push_back({key, counts_[key]});
        counts_[key] = 0;
    }
    keys_.clear();
    return taken_;
}

void flush_omitted(const types::GenericLog& log, SummaryWriter& output, PendingFolds& pending) {
    if (pending.empty()) return;
    std::vector<PendingFolds::Entry>& entries = pending.take();
    // Count descending, then level and pattern ascending, bytewise. Keys are
    // distinct, so the order is total and only the first three need placing.
    auto before = [&log](const PendingFolds::Entry& a, const PendingFolds::Entry& b) {
        if (a.count != b.count) return a.count > b.count;
        const types::PatternStats& ka = log.patterns[a.key];
        const types::PatternStats& kb = log.patterns[b.key];
        // A key's level views a constant name of its own: the same storage
        // is the same level, and different names differ.
        if (ka.level.data() != kb.level.data()) return ka.level < kb.level;
        return log.pattern_of(ka) < log.pattern_of(kb);
    };
    const std::size_t marked = std::min(entries.size(), kMarkedPatterns);
    std::partial_sort(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(marked), entries.end(), before);
    std::string& noun = pending.noun;
    std::string& rest = pending.rest;
    std::string& marker = pending.marker;
    for (std::size_t i = 0; i < marked; ++i) {
        const types::PatternStats& key = log.patterns[entries[i].key];
        // "… {} repeated {} line{} omitted: {}", the pattern last.
        noun.assign("repeated ").append(key.level).append(" line");
        marker.clear();
        append_omission_marker(marker, entries[i].count, noun, " omitted: ");
        marker.append(log.pattern_of(key));
        output.add_unless_blank_or_repeat(marker);
    }
    if (entries.size() > kMarkedPatterns) {
        std::uint64_t folded = 0;
        for (std::size_t i = kMarkedPatterns; i < entries.size(); ++i) folded += entries[i].count;
        // "… {} repeated low-severity line{} omitted across {} more patterns"
        std::array<char, 20> digits;
        rest.assign(" omitted across ")
            .append(decimal(digits, entries.size() - kMarkedPatterns))
            .append(" more patterns");
        marker.clear();
        append_omission_marker(marker, folded, "repeated low-severity line", rest);
        output.add_unless_blank_or_repeat(marker);
    }
}

Attempt try_compress_generic_log_output(const FilterInput& input) {
    const text::LineIndex& lines = input.lines;
    const std::optional<types::GenericLog> log = detector::detect_generic_log(lines);
    if (!log) return std::nullopt;

    const auto protected_lines = protected_line_indices(lines);
    auto is_protected = [&](std::size_t i) {
        return std::find(protected_lines.begin(), protected_lines.end(), i) != protected_lines.end();
    };

    // The summary never needs more room than the input: once it is larger,
    // it can no longer be kept.
    SummaryWriter output(input.text.size() + 1);
    output.add(headline::kGenericLog);
    PendingFolds pending(log->patterns.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // Counted lines are exactly those with a low-severity level that are
        // not important; of them, the ones whose key repeats are folded. A
        // counted line is never blank, and a folded one is not read at all.
        if (log->has_repeated_pattern(i) && !is_protected(i)) {
            pending.add(log->line_patterns[i]);
            continue;
        }
        const std::string_view trimmed = text::trim_fast(lines[i]);
        if (trimmed.empty()) continue;
        flush_omitted(*log, output, pending);
        output.add_unless_blank_or_repeat(trimmed);
        if (output.bytes() > input.text.size()) return std::nullopt;
    }
    flush_omitted(*log, output, pending);

    if (output.line_count() < kMinSummaryLines) return std::nullopt;
    return output.take_if_smaller(input.text, lines.final_newline());
}

std::string compress_generic_log_output(std::string_view text) {
    return run_alone(&try_compress_generic_log_output, text);
}

}  // namespace filters::generic_log::reducer
