#include "filters/generic_log/reducer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

#include "filters/filter.h"
#include "filters/generic_log/detector.h"
#include "text.h"

namespace filters::generic_log::reducer {

namespace {

constexpr std::string_view kHeadline = "generic log: application summary";
constexpr std::size_t kMarkedPatterns = 3;
constexpr std::size_t kMinSummaryLines = 3;

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

void append_number(std::string& out, std::uint64_t n) {
    std::array<char, 20> digits;
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), n).ptr;
    out.append(digits.data(), end);
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

void SummaryLines::push(std::string_view line) {
    if (count_ > 0 && last_line(text_.size()) == line) return;
    if (count_ > 0) text_.push_back('\n');
    last_start_ = text_.size();
    text_.append(line);
    ++count_;
}

std::string& SummaryLines::begin_line() {
    open_at_ = text_.size();
    if (count_ > 0) text_.push_back('\n');
    return text_;
}

void SummaryLines::end_line() {
    const std::size_t start = open_at_ + (count_ > 0 ? 1 : 0);
    if (count_ > 0 && std::string_view(text_).substr(start) == last_line(open_at_)) {
        text_.resize(open_at_);
        return;
    }
    last_start_ = start;
    ++count_;
}

std::string SummaryLines::take(bool final_newline) {
    if (final_newline) text_.push_back('\n');
    count_ = 0;
    last_start_ = 0;
    return std::move(text_);
}

void flush_omitted(const types::GenericLog& log, SummaryLines& output, PendingFolds& pending) {
    if (pending.empty()) return;
    std::vector<PendingFolds::Entry>& entries = pending.take();
    // Count descending, then level and pattern ascending, bytewise. Keys are
    // distinct, so the order is total and only the first three need placing.
    auto before = [&log](const PendingFolds::Entry& a, const PendingFolds::Entry& b) {
        if (a.count != b.count) return a.count > b.count;
        const types::PatternStats& ka = log.patterns[a.key];
        const types::PatternStats& kb = log.patterns[b.key];
        if (ka.level != kb.level) return ka.level < kb.level;
        return log.pattern_of(ka) < log.pattern_of(kb);
    };
    const std::size_t marked = std::min(entries.size(), kMarkedPatterns);
    std::partial_sort(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(marked), entries.end(), before);
    for (std::size_t i = 0; i < marked; ++i) {
        const types::PatternStats& key = log.patterns[entries[i].key];
        // "… {} repeated {} line{} omitted: {}"
        std::string& line = output.begin_line();
        line.append("… ");
        append_number(line, entries[i].count);
        line.append(" repeated ").append(key.level).append(" line").append(text::plural(entries[i].count));
        line.append(" omitted: ").append(log.pattern_of(key));
        output.end_line();
    }
    if (entries.size() > kMarkedPatterns) {
        std::uint64_t rest = 0;
        for (std::size_t i = kMarkedPatterns; i < entries.size(); ++i) rest += entries[i].count;
        // "… {} repeated low-severity line{} omitted across {} more patterns"
        std::string& line = output.begin_line();
        line.append("… ");
        append_number(line, rest);
        line.append(" repeated low-severity line").append(text::plural(rest)).append(" omitted across ");
        append_number(line, entries.size() - kMarkedPatterns);
        line.append(" more patterns");
        output.end_line();
    }
}

std::optional<std::string> try_compress_generic_log_output(std::string_view text) {
    if (!detector::may_be_generic_log(text)) return std::nullopt;
    const text::Lines split = text::split_lines(text);
    const std::vector<std::string_view>& lines = split.lines;
    const std::optional<types::GenericLog> log = detector::detect_generic_log(lines);
    if (!log) return std::nullopt;

    const std::array<std::size_t, 4> protected_lines = protected_line_indices(lines);
    auto is_protected = [&](std::size_t i) {
        return std::find(protected_lines.begin(), protected_lines.end(), i) != protected_lines.end();
    };

    // The summary never needs more room than the input: once it is larger,
    // it can no longer be kept.
    SummaryLines output(text.size() + 1);
    output.push(kHeadline);
    PendingFolds pending(log->patterns.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view trimmed = text::trim(lines[i]);
        if (trimmed.empty()) continue;
        // Counted lines are exactly those with a low-severity level that are
        // not important; of them, the ones whose key repeats are folded.
        if (log->has_repeated_pattern(i) && !is_protected(i)) {
            pending.add(log->line_patterns[i]);
            continue;
        }
        flush_omitted(*log, output, pending);
        output.push(trimmed);
        if (output.bytes() > text.size()) return std::nullopt;
    }
    flush_omitted(*log, output, pending);

    if (output.size() < kMinSummaryLines) return std::nullopt;
    std::string summary = output.take(split.final_newline);
    if (!text::is_smaller_output(summary, text)) return std::nullopt;
    return summary;
}

std::string compress_generic_log_output(std::string_view text) {
    return or_input(try_compress_generic_log_output(text), text);
}

}  // namespace filters::generic_log::reducer
