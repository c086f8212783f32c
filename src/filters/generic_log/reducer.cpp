#include "filters/generic_log/reducer.h"

#include <algorithm>
#include <array>
#include <tuple>
#include <utility>
#include <vector>

#include "filters/filters.h"
#include "filters/generic_log/detector.h"
#include "text.h"

namespace filters::generic_log::reducer {

namespace {

constexpr std::string_view kHeadline = "generic log: application summary";
constexpr std::size_t kMarkedPatterns = 3;
constexpr std::size_t kMinSummaryLines = 3;

struct PendingEntry {
    const types::PatternKey* key;
    std::uint64_t count;
};

// Indices of the first two and the last two nonblank lines, which are never
// folded (npos where the text has fewer).
std::array<std::size_t, 4> protected_line_indices(const std::vector<std::string_view>& lines) {
    std::array<std::size_t, 4> out = {std::string_view::npos, std::string_view::npos, std::string_view::npos,
                                      std::string_view::npos};
    std::size_t found = 0;
    for (std::size_t i = 0; i < lines.size() && found < 2; ++i)
        if (!text::trim(lines[i]).empty()) out[found++] = i;
    found = 2;
    for (std::size_t i = lines.size(); i > 0 && found < 4; --i)
        if (!text::trim(lines[i - 1]).empty()) out[found++] = i - 1;
    return out;
}

}  // namespace

void SummaryLines::push(std::string_view line) {
    if (count_ > 0 && std::string_view(text_).substr(last_start_) == line) return;
    if (count_ > 0) text_.push_back('\n');
    last_start_ = text_.size();
    text_.append(line);
    ++count_;
}

std::string SummaryLines::take(bool final_newline) {
    if (final_newline) text_.push_back('\n');
    count_ = 0;
    last_start_ = 0;
    return std::move(text_);
}

void flush_omitted(SummaryLines& output, PendingMap& pending) {
    if (pending.empty()) return;
    std::vector<PendingEntry> entries;
    entries.reserve(pending.size());
    for (const auto& [counted, count] : pending) entries.push_back({&counted->first, count});
    // A fresh map rather than clear(): clearing keeps the bucket array of the
    // largest stretch ever seen and would cost that much at every kept line.
    pending = PendingMap{};
    std::sort(entries.begin(), entries.end(), [](const PendingEntry& a, const PendingEntry& b) {
        if (a.count != b.count) return a.count > b.count;
        return std::tie(a.key->level, a.key->pattern) < std::tie(b.key->level, b.key->pattern);
    });
    const std::size_t marked = std::min(entries.size(), kMarkedPatterns);
    for (std::size_t i = 0; i < marked; ++i) {
        const PendingEntry& e = entries[i];
        output.push(text::format("… {} repeated {} line{} omitted: {}", e.count, e.key->level, text::plural(e.count),
                                 e.key->pattern));
    }
    if (entries.size() > kMarkedPatterns) {
        std::uint64_t rest = 0;
        for (std::size_t i = kMarkedPatterns; i < entries.size(); ++i) rest += entries[i].count;
        output.push(text::format("… {} repeated low-severity line{} omitted across {} more patterns", rest,
                                 text::plural(rest), entries.size() - kMarkedPatterns));
    }
}

std::optional<std::string> try_compress_generic_log_output(std::string_view text) {
    const text::Lines split = text::split_lines(text);
    const std::vector<std::string_view>& lines = split.lines;
    std::optional<types::GenericLog> log = detector::detect_generic_log(lines);
    if (!log) return std::nullopt;

    const std::array<std::size_t, 4> protected_lines = protected_line_indices(lines);
    auto is_protected = [&](std::size_t i) {
        return std::find(protected_lines.begin(), protected_lines.end(), i) != protected_lines.end();
    };

    SummaryLines output;
    output.push(kHeadline);
    PendingMap pending;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view trimmed = text::trim(lines[i]);
        if (trimmed.empty()) continue;
        // Counted lines are exactly those with a low-severity level that are
        // not important; of them, the ones whose key repeats are folded.
        if (log->has_repeated_pattern(i) && !is_protected(i)) {
            ++pending[log->line_patterns[i]];
            continue;
        }
        flush_omitted(output, pending);
        output.push(trimmed);
    }
    flush_omitted(output, pending);

    if (output.size() < kMinSummaryLines) return std::nullopt;
    std::string summary = output.take(split.final_newline);
    if (!text::is_smaller_output(summary, text)) return std::nullopt;
    return summary;
}

std::string compress_generic_log_output(std::string_view text) { return or_input(try_compress_generic_log_output(text), text); }

}  // namespace filters::generic_log::reducer
