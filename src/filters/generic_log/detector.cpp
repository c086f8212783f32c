#include "filters/generic_log/detector.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "filters/generic_log/summary.h"
#include "text.h"

namespace filters::generic_log::detector {

using types::GenericLog;
using types::PatternStats;

namespace {

constexpr std::size_t kMinNonblankLines = 12;
constexpr std::uint64_t kMinParsedLines = 8;
constexpr std::uint64_t kMinParsedPercent = 65;
constexpr std::uint64_t kMinFoldableLines = 5;

// Headlines of earlier filters and words of test and diff output. None
// holds a line end, and a trimmed line ends in no blank, so looking in each
// line is looking in all of them joined.
constexpr std::array<std::string_view, 8> kForeignMarkers = {
    "test output:",        "ci log:",
    "python traceback:",   "traceback (most recent call last)",
    "test session starts", "short test summary info",
    "diff --git ",         "pytest",
};

constexpr unsigned kRefusingGroup = 0;
constexpr unsigned kImportantGroup = 1;

// The words looked for in every nonblank line, in one pass: another
// filter's markers and secret-bearing keys refuse the log (a log that shows
// a credential is left whole, since folding would print the secret inside a
// pattern line as if it were routine); the important words keep a line.
constexpr auto kLineWords = [] {
    std::array<text::SearchWord,
               kForeignMarkers.size() + text::kSecretKeyWords.size() + summary::kImportantWords.size()>
        words{};
    std::size_t k = 0;
    for (std::string_view w : kForeignMarkers) words[k++] = {w, kRefusingGroup, false};
    for (std::string_view w : text::kSecretKeyWords) words[k++] = {w, kRefusingGroup, true};
    for (std::string_view w : summary::kImportantWords) words[k++] = {w, kImportantGroup, false};
    return text::WordSet<words.size()>(words);
}();

constexpr auto kBuildOrPackageMarkers = text::WordSet<12>::of({
    "compiling ",
    "checking ",
    "finished ",
    "could not compile",
    "error[",
    "warning[",
    "downloading ",
    "downloaded ",
    "installing collected packages",
    "successfully installed",
    "added ",
    "packages audited",
});

bool is_json_record_line(std::string_view line) {
    return line.starts_with('{') && line.ends_with('}') && text::contains(line, ":");
}

bool is_table_rule(std::string_view line) {
    for (char c : line)
        if (c != '+' && c != '|' && c != '-') return false;
    return true;
}

bool has_dot_or_slash(std::string_view s) {
    for (char c : s)
        if (c == '/' || c == '.') return true;
    return false;
}

// "path:12:..." or "path:fn:12...": a path-like first field and a line
// number in the second or third field.
bool is_path_location(std::string_view line) {
    std::size_t first = line.find(':');
    if (first == std::string_view::npos) return false;
    std::size_t second = line.find(':', first + 1);
    if (second == std::string_view::npos) return false;
    std::size_t third = line.find(':', second + 1);
    std::string_view path = line.substr(0, first);
    std::string_view field2 = line.substr(first + 1, second - first - 1);
    std::string_view field3 =
        line.substr(second + 1, third == std::string_view::npos ? std::string_view::npos : third - second - 1);
    return (text::is_ascii_digits(field2) || text::is_ascii_digits(field3)) && has_dot_or_slash(path);
}

bool is_path_location_share(std::uint64_t locations, std::uint64_t lines) {
    return locations >= 2 && locations * 100 >= lines * 45;
}

// What the shapes of test runners, CI logs and tables need to know, gathered
// line by line (trimmed nonblank lines, case kept).
struct ShapeEvidence {
    std::uint64_t json_lines = 0;
    std::uint64_t pipe_lines = 0;
    std::uint64_t path_locations = 0;
    bool table_rule = false;
    bool ran_tests = false;
    bool test_verdict = false;

    // False when the line alone shows a test-runner or CI log.
    bool add(std::string_view line) {
        if (line.starts_with("Test Files") || line.starts_with("Tests") || line.starts_with("FAIL ") ||
            line.starts_with("test result:"))
            return false;
        if (line.starts_with("Running ") && text::contains(line, " tests using ")) return false;
        if (line.starts_with("Ran ") && text::contains(line, " tests in ")) ran_tests = true;
        if (line == "OK" || line.starts_with("FAILED (")) test_verdict = true;
        if (line.starts_with("##[") || line.starts_with("::group::") || line.starts_with("::endgroup::") ||
            line.starts_with("::error") || line.starts_with("::warning"))
            return false;
        // A tab-separated step log with ISO timestamps.
        if (text::contains(line, "\t") && text::contains(line, "T") && text::contains(line, "Z ")) return false;
        if (is_json_record_line(line)) ++json_lines;
        if (text::contains(line, "|")) ++pipe_lines;
        if (is_table_rule(line)) table_rule = true;
        if (is_path_location(line)) ++path_locations;
        return true;
    }

    // True when the lines seen, `nonblank` of them, are a test run, JSON
    // Lines, a table or a list of path locations.
    bool is_foreign(std::uint64_t nonblank) const {
        if (ran_tests && test_verdict) return true;
        if (json_lines * 100 >= nonblank * 70) return true;
        if (pipe_lines >= 3 && (table_rule || pipe_lines * 100 >= nonblank * 55)) return true;
        return is_path_location_share(path_locations, nonblank);
    }
};

std::uint64_t pattern_hash(std::string_view level, std::string_view pattern) {
    const std::uint64_t h = std::hash<std::string_view>{}(pattern);
    return h ^ (std::hash<std::string_view>{}(level) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}

// The pattern keys of the counted lines: an open-addressing table of indices
// into `patterns`, matched by hash first and then by level and pattern text.
// A key's pattern text is copied only once the key repeats; before that it is
// rebuilt from the key's first line, which happens at most twice per key.
class PatternCounter {
public:
    PatternCounter(const std::vector<std::string_view>& lines, GenericLog& log) : lines_(lines), log_(log) {}

    // Counts `line` under (level, pattern); `pattern` is the line's pattern.
    std::uint32_t add(std::uint32_t line, std::string_view level, std::string_view pattern) {
        if ((log_.patterns.size() + 1) * 2 > slots_.size()) grow();
        const std::uint64_t hash = pattern_hash(level, pattern);
        std::size_t slot = hash & (slots_.size() - 1);
        while (slots_[slot] != kEmpty) {
            const std::uint32_t key = slots_[slot];
            if (same_key(log_.patterns[key], hash, level, pattern)) return count(key, pattern);
            slot = (slot + 1) & (slots_.size() - 1);
        }
        const auto key = static_cast<std::uint32_t>(log_.patterns.size());
        PatternStats stats;
        stats.hash = hash;
        stats.first_line = line;
        stats.level = level;
        log_.patterns.push_back(stats);
        slots_[slot] = key;
        return count(key, pattern);
    }

    // Lines counted under the keys that repeat.
    std::uint64_t repeated_lines() const { return repeated_lines_; }

private:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;

    std::uint32_t count(std::uint32_t key, std::string_view pattern) {
        PatternStats& stats = log_.patterns[key];
        ++stats.count;
        if (stats.count == types::kMinRepeatsPerPattern) {
            stats.pattern_offset = log_.repeated_pattern_text.size();
            stats.pattern_size = static_cast<std::uint32_t>(pattern.size());
            log_.repeated_pattern_text.append(pattern);
            repeated_lines_ += types::kMinRepeatsPerPattern;
        } else if (stats.count > types::kMinRepeatsPerPattern) {
            ++repeated_lines_;
        }
        return key;
    }

    bool same_key(const PatternStats& stats, std::uint64_t hash, std::string_view level, std::string_view pattern) {
        if (stats.hash != hash || stats.level != level) return false;
        if (stats.count >= types::kMinRepeatsPerPattern) return log_.pattern_of(stats) == pattern;
        const std::optional<types::ParsedLogLine> first = summary::parse_log_line(lines_[stats.first_line]);
        summary::write_message_pattern(first->message, rebuilt_);
        return rebuilt_ == pattern;
    }

    void grow() {
        std::vector<std::uint32_t> slots(slots_.empty() ? 1024 : slots_.size() * 2, kEmpty);
        for (std::uint32_t key = 0; key < log_.patterns.size(); ++key) {
            std::size_t slot = log_.patterns[key].hash & (slots.size() - 1);
            while (slots[slot] != kEmpty) slot = (slot + 1) & (slots.size() - 1);
            slots[slot] = key;
        }
        slots_ = std::move(slots);
    }

    const std::vector<std::string_view>& lines_;
    GenericLog& log_;
    std::vector<std::uint32_t> slots_;
    std::string rebuilt_;
    std::uint64_t repeated_lines_ = 0;
};

}  // namespace

bool looks_like_path_location_output(const std::vector<std::string_view>& lines) {
    std::uint64_t locations = 0;
    for (std::string_view line : lines)
        if (is_path_location(line)) ++locations;
    return is_path_location_share(locations, lines.size());
}

bool looks_like_build_or_package_output(const std::vector<std::string_view>& lines) {
    bool marker = false;
    for (std::string_view line : lines) {
        if (summary::parse_log_line(line)) return false;
        marker = marker || kBuildOrPackageMarkers.found_in(line);
    }
    return marker;
}

bool may_be_generic_log(std::string_view text) {
    // Every nonblank line lies between two line ends, so the lines counted
    // here bound the nonblank ones from above. Once more than 35 % of that
    // bound have no level, fewer than 65 % of the nonblank lines can have one.
    std::uint64_t line_bound = 1;
    for (const char* p = text.data();
         (p = static_cast<const char*>(std::memchr(p, '\n', text.data() + text.size() - p))); ++p)
        ++line_bound;
    if (line_bound < kMinNonblankLines) return false;
    std::uint64_t nonblank = 0;
    std::uint64_t parsed = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const void* nl = std::memchr(text.data() + start, '\n', text.size() - start);
        const std::size_t end = nl ? static_cast<const char*>(nl) - text.data() : text.size();
        const std::string_view t = text::trim(text.substr(start, end - start));
        start = end + 1;
        if (t.empty()) continue;
        ++nonblank;
        if (summary::parse_log_line(t))
            ++parsed;
        else if ((nonblank - parsed) * 100 > line_bound * (100 - kMinParsedPercent))
            return false;
    }
    return nonblank >= kMinNonblankLines && parsed >= kMinParsedLines && parsed * 100 >= nonblank * kMinParsedPercent;
}

std::optional<GenericLog> detect_generic_log(const std::vector<std::string_view>& lines) {
    if (lines.size() >= types::kNotCounted) return std::nullopt;

    GenericLog log;
    log.line_patterns.assign(lines.size(), types::kNotCounted);
    PatternCounter counter(lines, log);
    ShapeEvidence shapes;
    std::string pattern;
    std::uint64_t nonblank = 0;
    std::uint64_t parsed = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view t = text::trim(lines[i]);
        if (t.empty()) continue;
        ++nonblank;
        const std::uint32_t groups = kLineWords.groups_in(t, 1u << kRefusingGroup);
        if (groups & (1u << kRefusingGroup)) return std::nullopt;
        if (!shapes.add(t)) return std::nullopt;

        const std::optional<types::ParsedLogLine> entry = summary::parse_log_line(t);
        if (!entry) continue;
        ++parsed;
        // `is_important_line`, with its words already looked for: none of
        // them begins or ends with whitespace, so the trimmed line answers
        // for the whole one.
        if (!summary::is_low_severity(entry->level) || (groups & (1u << kImportantGroup)) != 0 ||
            summary::has_known_file_token(lines[i]))
            continue;
        summary::write_message_pattern(entry->message, pattern);
        log.line_patterns[i] = counter.add(static_cast<std::uint32_t>(i), entry->level, pattern);
    }
    if (nonblank == 0 || shapes.is_foreign(nonblank)) return std::nullopt;
    // Build and package output is refused only when no line has a level.
    if (parsed == 0) {
        for (std::string_view line : lines)
            if (kBuildOrPackageMarkers.found_in(text::trim(line))) return std::nullopt;
    }
    if (nonblank < kMinNonblankLines) return std::nullopt;
    if (parsed < kMinParsedLines || parsed * 100 < nonblank * kMinParsedPercent) return std::nullopt;
    if (counter.repeated_lines() < kMinFoldableLines) return std::nullopt;
    return log;
}

}  // namespace filters::generic_log::detector
