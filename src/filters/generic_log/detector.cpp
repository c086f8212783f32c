#include "filters/generic_log/detector.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "filters/filter.h"
#include "filters/generic_log/summary.h"
#include "filters/guards.h"
#include "text.h"

namespace filters::generic_log::detector {

using types::GenericLog;
using types::PatternStats;

namespace {

constexpr std::size_t kMinNonblankLines = 12;
constexpr std::uint64_t kMinParsedLines = 8;
constexpr std::uint64_t kMinParsedPercent = 65;
constexpr std::uint64_t kMinFoldableLines = 5;
constexpr std::uint64_t kMinJsonRecordPercent = 70;

// The first pass reads the lines in blocks of this many, and looks for the
// refusing words in a block as soon as its lines are parsed.
constexpr std::size_t kBlockLines = 2048;

// Headlines of earlier filters and words of test and diff output. None
// holds a line end, and a trimmed line ends in no blank, so looking in each
// line is looking in all of them joined.
constexpr std::array<std::string_view, 8> kForeignMarkers = {
    headline::kTestOutput,
    headline::kCiLog,
    headline::kPythonTraceback,
    "traceback (most recent call last)",
    "test session starts",
    "short test summary info",
    "diff --git ",
    "pytest",
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

// Where a word of kLineWords may start, looked for across a block of lines
// in one wide scan: only a line that holds such a place is searched for the
// words. Each word's first eight bytes (fewer for a shorter word) are its
// fingerprint, a "_" of a secret key allowing "-" and "." too; the scan
// folds ASCII case as the words do. A word that holds another word of the
// list needs no fingerprint of its own: a line that holds it holds the
// other. The groups keep apart words whose bytes would mix into common
// ones ("status=" or "tokens" of a routine line), and a short word from
// long ones, whose places past its end allow any byte.
constexpr std::array<std::string_view, 8> kPrintGroups = {
    "test output:|test session starts|http://|https://",
    "traceback|token=|api_key|apikey",
    "exception|exit code|exited with",
    "failed|failure|fatal error",
    "short test summary info|stack trace|segmentation fault|secret",
    "password|passwd|private_key|panic|pytest",
    "access_key|authorization",
    "ci log:|credential|caused by|diff --git ",
};
// The group of `word`, or kPrintGroups.size() for a word left out.
constexpr unsigned print_group(std::string_view word) {
    for (unsigned g = 0; g < kPrintGroups.size(); ++g) {
        std::string_view list = kPrintGroups[g];
        while (!list.empty()) {
            const std::size_t bar = list.find('|');
            if (list.substr(0, bar) == word) return g;
            list = bar == std::string_view::npos ? std::string_view() : list.substr(bar + 1);
        }
    }
    return kPrintGroups.size();
}
// The words left out of the fingerprints: each holds another word.
constexpr std::array<std::string_view, 3> kWordsHoldingOthers = {"traceback (most recent call last)",
                                                                 "python traceback:", "status: failed"};
constexpr bool every_word_has_a_print() {
    auto check = [](std::string_view w) {
        if (print_group(w) < kPrintGroups.size()) return true;
        for (std::string_view held : kWordsHoldingOthers)
            if (held == w) return true;
        return false;
    };
    for (std::string_view w : kForeignMarkers)
        if (!check(w)) return false;
    for (std::string_view w : text::kSecretKeyWords)
        if (!check(w)) return false;
    for (std::string_view w : summary::kImportantWords)
        if (!check(w)) return false;
    return print_group("traceback") < kPrintGroups.size() && print_group("failed") < kPrintGroups.size() &&
           kWordsHoldingOthers[0].find("traceback") != std::string_view::npos &&
           kWordsHoldingOthers[1].find("traceback") != std::string_view::npos &&
           kWordsHoldingOthers[2].find("failed") != std::string_view::npos;
}
static_assert(every_word_has_a_print());
constexpr text::FingerprintSet kLineWordPrints = [] {
    using Print = text::FingerprintSet::Print;
    std::array<Print, kForeignMarkers.size() + text::kSecretKeyWords.size() + summary::kImportantWords.size() -
                          kWordsHoldingOthers.size()>
        prints{};
    std::size_t n = 0;
    auto add = [&](std::string_view word, bool separators_as_underscore) {
        if (print_group(word) == kPrintGroups.size()) return;
        Print& print = prints[n++];
        print.group = print_group(word);
        for (std::size_t k = 0; k < word.size() && k < print.bytes.size(); ++k)
            print.bytes[k] = separators_as_underscore && word[k] == '_' ? std::string_view("_-.") : word.substr(k, 1);
    };
    for (std::string_view w : kForeignMarkers) add(w, false);
    for (std::string_view w : text::kSecretKeyWords) add(w, true);
    for (std::string_view w : summary::kImportantWords) add(w, false);
    // A print left empty would allow every byte.
    if (n != prints.size()) throw "every print is filled";
    return text::FingerprintSet(prints);
}();

// Every word begins with two letters other than "z": none can begin inside a
// timestamp, whose letters are a "T" before a digit and a "Z".
constexpr bool begins_with_two_letters_not_z(std::string_view w) {
    auto letter = [](char c) { return c >= 'a' && c <= 'z'; };
    return w.size() >= 2 && letter(w[0]) && w[0] != 'z' && letter(w[1]);
}
constexpr bool all_begin_with_two_letters_not_z(auto const& words) {
    for (std::string_view w : words)
        if (!begins_with_two_letters_not_z(w)) return false;
    return true;
}
static_assert(all_begin_with_two_letters_not_z(kForeignMarkers) &&
              all_begin_with_two_letters_not_z(text::kSecretKeyWords) &&
              all_begin_with_two_letters_not_z(summary::kImportantWords));

// The length of the leading timestamp of a trimmed line ("2024-05-01
// 12:00:00.123Z", or "[2024-05-01 12:00:00" up to its 19 bytes), where no
// word of kLineWords can begin: the word search starts after it, which
// spares it a third of a typical log line.
std::size_t timestamp_prefix_length(std::string_view t) {
    constexpr std::size_t kCore = 19;
    if (t.size() > kCore && t[0] == '[' && summary::is_timestamp_core(t.substr(1))) return kCore + 1;
    if (t.size() <= kCore || !summary::is_timestamp_core(t)) return 0;
    std::size_t i = kCore;
    while (i < t.size() && (text::is_ascii_digit(t[i]) || t[i] == '+' || t[i] == ',' || t[i] == '-' || t[i] == '.' ||
                            t[i] == ':' || t[i] == 'Z'))
        ++i;
    return i;
}

// A log refuses on the first twelve build and package phrases of the shared
// guard list; the last five ("resolved ", "prepared ", "installed ", "npm
// warn", "npm err") are not among them.
constexpr std::size_t kBuildOrPackageMarkerCount = 12;
static_assert(kBuildOrPackageMarkerCount <= guards::kBuildOrPackageMarkers.size());
constexpr auto kBuildOrPackageMarkers = [] {
    std::array<std::string_view, kBuildOrPackageMarkerCount> words{};
    std::copy_n(guards::kBuildOrPackageMarkers.begin(), words.size(), words.begin());
    return text::WordSet<kBuildOrPackageMarkerCount>::of(words);
}();

// The canonical levels, low severity first, by the index a line keeps.
constexpr std::array<std::string_view, 11> kLevels = {
    "INFO", "DEBUG", "TRACE", "WARN", "ERROR", "FATAL", "PANIC", "ALERT", "EMERG", "NOTICE", "CRITICAL",
};
constexpr std::uint8_t kLowSeverityLevels = 3;

bool is_json_record_line(std::string_view line) {
    return line.starts_with('{') && line.ends_with('}') && text::contains(line, ":");
}

// A path location ("src/lib.rs:10:5: ...") has a "/" or "." before the
// line's first ":", so a line that meets a ":" first, or holds neither, is
// none. On a timestamped line the test ends at the ":" after the hour.
// Eight bytes at a time: on a timestamped line the ":" is met in the second.
bool may_be_path_location(std::string_view line) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
    auto has_zero_byte = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    std::size_t i = 0;
    for (; i + 8 <= line.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, line.data() + i, 8);
        const std::uint64_t hits = has_zero_byte(word ^ (kOnes * ':')) | has_zero_byte(word ^ (kOnes * '/')) |
                                   has_zero_byte(word ^ (kOnes * '.'));
        // The lowest flagged byte is a true match: a borrow only flags the
        // bytes above one.
        if (hits != 0) return line[i + static_cast<std::size_t>(std::countr_zero(hits)) / 8] != ':';
    }
    for (; i < line.size(); ++i) {
        if (line[i] == ':') return false;
        if (line[i] == '/' || line[i] == '.') return true;
    }
    return false;
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

    // False when the line alone shows a test-runner or CI log. `line` is
    // trimmed and not empty.
    bool add(std::string_view line) {
        // Every head looked for begins with one of these bytes; a log line
        // mostly begins with a digit or a bracket and skips them all.
        switch (line.front()) {
            case 'T':
            case 'F':
            case 't':
            case 'R':
            case 'O':
            case '#':
            case ':':
                if (!add_head(line)) return false;
                break;
            default:
                break;
        }
        // A tab-separated step log with ISO timestamps.
        if (text::contains(line, "\t") && text::contains(line, "T") && text::contains(line, "Z ")) return false;
        if (is_json_record_line(line)) ++json_lines;
        if (text::contains(line, "|")) ++pipe_lines;
        if (guards::is_table_rule_line(line)) table_rule = true;
        if (may_be_path_location(line) && guards::is_path_location_line(line)) ++path_locations;
        return true;
    }

    // The heads of test-runner and CI lines: false when the line shows one.
    bool add_head(std::string_view line) {
        if (line.starts_with("Test Files") || line.starts_with("Tests") || line.starts_with("FAIL ") ||
            line.starts_with("test result:"))
            return false;
        if (line.starts_with("Running ") && text::contains(line, " tests using ")) return false;
        if (line.starts_with("Ran ") && text::contains(line, " tests in ")) ran_tests = true;
        if (line == "OK" || line.starts_with("FAILED (")) test_verdict = true;
        return !(line.starts_with("##[") || line.starts_with("::group::") || line.starts_with("::endgroup::") ||
                 line.starts_with("::error") || line.starts_with("::warning"));
    }

    // True when the lines seen, `nonblank` of them, are a test run, JSON
    // Lines, a table or a list of path locations.
    bool is_foreign(std::uint64_t nonblank) const {
        if (ran_tests && test_verdict) return true;
        if (json_lines * 100 >= nonblank * kMinJsonRecordPercent) return true;
        if (guards::is_table_share(pipe_lines, table_rule, nonblank)) return true;
        return guards::is_path_location_share(path_locations, nonblank);
    }
};

// The hash only places keys in the table (the summary orders its markers
// by count, level and pattern), so a plain multiply-and-fold serves: two
// chains over sixteen bytes at a time, the last eight bytes read whole
// even where they overlap the ones before; the level is hashed by its
// index in kLevels.
std::uint64_t pattern_hash(std::uint8_t level, std::string_view pattern) {
    constexpr std::uint64_t kMulA = 0x9e3779b97f4a7c15ULL;
    constexpr std::uint64_t kMulB = 0xc2b2ae3d27d4eb4fULL;
    auto load8 = [&pattern](std::size_t at) {
        std::uint64_t word;
        std::memcpy(&word, pattern.data() + at, 8);
        return word;
    };
    const std::size_t n = pattern.size();
    std::uint64_t a = (n + 1) * kMulA ^ level;
    std::uint64_t b = kMulB;
    if (n >= 8) {
        std::size_t i = 0;
        for (; i + 16 <= n; i += 16) {
            a = (a ^ load8(i)) * kMulA;
            b = (b ^ load8(i + 8)) * kMulB;
            a ^= a >> 29;
            b ^= b >> 31;
        }
        if (i + 8 <= n) {
            a = (a ^ load8(i)) * kMulA;
            a ^= a >> 29;
        }
        b = (b ^ load8(n - 8)) * kMulB;
    } else {
        std::uint64_t tail = 0;
        for (std::size_t i = 0; i < n; ++i) tail |= std::uint64_t{static_cast<unsigned char>(pattern[i])} << (8 * i);
        a = (a ^ tail) * kMulA;
    }
    const std::uint64_t h = (a ^ (b >> 17) ^ (b << 23)) * kMulA;
    return h ^ (h >> 32);
}

// The pattern keys of the counted lines: an open-addressing table of indices
// into `patterns`, matched by hash first and then by level and pattern text.
// A key's pattern text is copied only once the key repeats; before that it is
// rebuilt from the key's first line, which happens at most twice per key.
//
// A log of unique messages makes the table larger than the caches, so each
// line's slot is fetched ahead, and a pattern just written is read back
// only a line later, once its bytes have left the store queue (a read that
// spans several recent writes waits for them): `stage` takes a line's
// pattern; at the next `stage` the pattern is hashed and the fetch of its
// slot started; at the one after (or at `finish`) the line is counted. A
// slot holds the key and the high half of its hash, so a probe meets a
// key's record only when the hashes agree.
class PatternCounter {
public:
    PatternCounter(const text::LineIndex& lines, GenericLog& log) : lines_(lines), log_(log) { grow(); }

    // The buffer the next staged line's pattern is to be written into: the
    // patterns of the two lines staged before stay where they are until
    // counted.
    std::string& next_buffer() { return buffers_[next_]; }

    // Stages line `line` with its level (an index into kLevels) and pattern,
    // hashes the line staged before it and counts the one before that.
    void stage(std::uint32_t line, std::uint8_t level, std::string_view pattern) {
        count_hashed();
        hash_written();
        written_ = Staged{line, level, pattern, 0};
        next_ = next_ + 1 == buffers_.size() ? 0 : next_ + 1;
    }

    // Counts the lines staged and not counted yet.
    void finish() {
        count_hashed();
        hash_written();
        count_hashed();
    }

    // Lines counted under the keys that repeat.
    std::uint64_t repeated_lines() const { return repeated_lines_; }

private:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;

    struct Staged {
        std::uint32_t line = types::kNotCounted;
        std::uint8_t level = 0;
        std::string_view pattern;
        std::uint64_t hash = 0;
    };

    static std::uint64_t slot_entry(std::uint32_t key, std::uint64_t hash) { return (hash >> 32 << 32) | key; }

    // Hashes the line written last, if any, and starts the fetch of its
    // slot; it is counted next.
    void hash_written() {
        if (written_.line == types::kNotCounted) return;
        hashed_ = written_;
        hashed_.hash = pattern_hash(hashed_.level, hashed_.pattern);
        __builtin_prefetch(&slots_[hashed_.hash & (slots_.size() - 1)]);
        written_.line = types::kNotCounted;
    }

    void count_hashed() {
        if (hashed_.line == types::kNotCounted) return;
        log_.line_patterns[hashed_.line] = add(hashed_);
        hashed_.line = types::kNotCounted;
    }

    // Counts a staged line under (level, pattern): its key.
    std::uint32_t add(const Staged& line) {
        if ((log_.patterns.size() + 1) * 2 > slots_.size()) grow();
        const std::uint64_t tag = line.hash >> 32 << 32;
        std::size_t slot = line.hash & (slots_.size() - 1);
        while (static_cast<std::uint32_t>(slots_[slot]) != kEmpty) {
            const auto key = static_cast<std::uint32_t>(slots_[slot]);
            if ((slots_[slot] & ~std::uint64_t{UINT32_MAX}) == tag &&
                same_key(log_.patterns[key], line.hash, kLevels[line.level], line.pattern))
                return count(key, line.pattern);
            slot = (slot + 1) & (slots_.size() - 1);
        }
        const auto key = static_cast<std::uint32_t>(log_.patterns.size());
        PatternStats stats;
        stats.hash = line.hash;
        stats.first_line = line.line;
        stats.level = kLevels[line.level];
        log_.patterns.push_back(stats);
        slots_[slot] = slot_entry(key, line.hash);
        return count(key, line.pattern);
    }

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
        // Both levels are views of kLevels: the same level is the same storage.
        if (stats.hash != hash || stats.level.data() != level.data()) return false;
        if (stats.count >= types::kMinRepeatsPerPattern) return log_.pattern_of(stats) == pattern;
        const std::optional<types::ParsedLogLine> first = summary::parse_log_line(lines_[stats.first_line]);
        return summary::write_message_pattern_into(first->message, rebuilt_) == pattern;
    }

    void grow() {
        std::vector<std::uint64_t> slots(slots_.empty() ? 1024 : slots_.size() * 2, kEmpty);
        for (std::uint32_t key = 0; key < log_.patterns.size(); ++key) {
            const std::uint64_t hash = log_.patterns[key].hash;
            std::size_t slot = hash & (slots.size() - 1);
            while (static_cast<std::uint32_t>(slots[slot]) != kEmpty) slot = (slot + 1) & (slots.size() - 1);
            slots[slot] = slot_entry(key, hash);
        }
        slots_ = std::move(slots);
    }

    const text::LineIndex& lines_;
    GenericLog& log_;
    std::vector<std::uint64_t> slots_;
    std::string rebuilt_;
    std::array<std::string, 3> buffers_;
    std::size_t next_ = 0;
    Staged written_;  // staged last, not hashed yet
    Staged hashed_;   // staged before it, hashed, not counted yet
    std::uint64_t repeated_lines_ = 0;
};

// What the first pass learnt of one line, in one byte: blank, without a
// level, or the index of its level in kLevels; and whether it holds one of
// the important words.
class LineState {
public:
    static constexpr std::uint8_t kBlank = 0x0F;
    static constexpr std::uint8_t kUnparsed = 0x0E;
    static constexpr std::uint8_t kImportantWord = 0x10;

    explicit LineState(std::uint8_t bits) : bits_(bits) {}

    bool blank() const { return level_bits() == kBlank; }
    bool parsed() const { return level_bits() < kLevels.size(); }
    bool low_severity() const { return level_bits() < kLowSeverityLevels; }
    bool important_word() const { return (bits_ & kImportantWord) != 0; }
    std::string_view level() const { return kLevels[level_bits()]; }
    std::uint8_t level_bits() const { return bits_ & 0x0F; }

private:
    std::uint8_t bits_;
};

// The first two letters of the level words and of "level", ASCII case
// folded: bit (b - 'a') of entry a - 'a' for the pair ab.
constexpr std::array<std::uint32_t, 26> kLevelOpenings = [] {
    std::array<std::uint32_t, 26> pairs{};
    // Letters only: setting bit 5 folds the case.
    auto add = [&](std::string_view word) {
        pairs[(word[0] | 0x20) - 'a'] |= std::uint32_t{1} << ((word[1] | 0x20) - 'a');
    };
    for (std::string_view level : kLevels) add(level);
    add("level");
    return pairs;
}();

// A test that every trimmed line with a level passes: it begins with a
// "[" (a bracket form or timestamp), a digit (a timestamp) or a run of three
// to eight letters (a bare level word, or the "level" of "level=") whose
// first two letters begin one of those words.
bool may_carry_level(std::string_view t) {
    constexpr std::size_t kMinWord = 3;
    constexpr std::size_t kMaxWord = 8;
    if (t[0] == '[' || text::is_ascii_digit(t[0])) return true;
    // The pair first, which turns most words away, then the run's length.
    if (t.size() < kMinWord || !text::is_ascii_alpha(t[0]) || !text::is_ascii_alpha(t[1])) return false;
    const unsigned first = static_cast<unsigned>((t[0] | 0x20) - 'a');
    const unsigned second = static_cast<unsigned>((t[1] | 0x20) - 'a');
    if (((kLevelOpenings[first] >> second) & 1) == 0) return false;
    std::size_t run = 2;
    while (run < t.size() && run <= kMaxWord && text::is_ascii_alpha(t[run])) ++run;
    return run >= kMinWord && run <= kMaxWord;
}

// ASCII punctuation other than "[": a line that begins with it, after
// blanks and tabs, is not blank and carries no level.
constexpr std::array<bool, 256> kPunctuationFirst = [] {
    std::array<bool, 256> table{};
    for (unsigned c = '!'; c < 0x7F; ++c)
        table[c] = c != '[' && !(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z');
    return table;
}();

std::uint8_t level_index(std::string_view level) {
    std::uint8_t k = 0;
    while (k < kLevels.size() && kLevels[k] != level) ++k;
    return k;
}

// The first pass: every line parsed once (the parse kept for the second
// pass), the share of lines with a level checked as it goes, and the words
// looked for block by block. A text that is no log runs out of lines with a
// level early, so the words are looked for only in blocks read while the
// text can still be a log; the other blocks wait until the end. A log that
// holds a refusing word is so turned away in the block that holds it.
class FirstPass {
public:
    explicit FirstPass(const text::LineIndex& lines) : lines_(lines) {
        // Reserved at once but written a block at a time: a text that is
        // turned away early never touches the pages of the lines it did not
        // read; message offsets are kept for lines with a level only.
        states_.reserve(lines.size());
        message_offsets_.reserve(lines.size());
    }

    // False when the text is refused.
    bool run() {
        std::vector<std::size_t> deferred;
        for (std::size_t begin = 0; begin < lines_.size(); begin += kBlockLines) {
            const std::size_t end = std::min(begin + kBlockLines, lines_.size());
            if (!parse_block(begin, end)) return false;
            // The first block is looked in at once, whatever its share: it
            // costs little, and a diff or test run that holds a refusing
            // word early is turned away before its other lines are read.
            if (begin == 0 || parsed_share_holds()) {
                if (has_refusing_word(begin, end)) return false;
            } else {
                deferred.push_back(begin);
            }
        }
        if (nonblank_ < kMinNonblankLines || parsed_ < kMinParsedLines || !parsed_share_holds()) return false;
        for (std::size_t begin : deferred)
            if (has_refusing_word(begin, std::min(begin + kBlockLines, lines_.size()))) return false;
        return true;
    }

    std::uint64_t nonblank() const { return nonblank_; }
    std::uint64_t parsed() const { return parsed_; }
    // Lines past the last block with a nonblank line have no state kept.
    LineState state(std::size_t i) const { return LineState(i < states_.size() ? states_[i] : LineState::kBlank); }

    // The message of line `i`, the parsed line `parsed_before` lines with a
    // level come before, whose trimmed text is `t`.
    std::string_view message(std::size_t parsed_before, std::size_t i, std::string_view t) const {
        const std::uint32_t offset = message_offsets_[parsed_before];
        if (offset == kOffsetTooLarge) return summary::parse_log_line(t)->message;
        const char* begin = lines_[i].data() + offset;
        return std::string_view(begin, static_cast<std::size_t>(t.data() + t.size() - begin));
    }

private:
    static constexpr std::uint32_t kOffsetTooLarge = UINT32_MAX;

    bool parsed_share_holds() const { return parsed_ * 100 >= nonblank_ * kMinParsedPercent; }

    // The line after the run of empty lines that starts at line `i`, within
    // [i, end): the run is passed over in one scan of its newlines.
    std::size_t past_empty_lines(std::size_t i, std::size_t end) const {
        const std::string_view text = lines_.text();
        const std::size_t stop = end < lines_.size() ? lines_.start(end) : text.size();
        std::size_t pos = lines_.start(i);
        constexpr std::uint64_t kNewlines = 0x0A0A0A0A0A0A0A0Aull;
        for (std::uint64_t word = 0; pos + 8 <= stop; pos += 8) {
            std::memcpy(&word, text.data() + pos, 8);
            if (word != kNewlines) break;
        }
        while (pos < stop && text[pos] == '\n') ++pos;
        return pos >= stop ? end : std::max(i + 1, line_holding(pos, i, end));
    }

    // Counts line `i` as nonblank without a level: false once too many
    // lines have none. Every nonblank line is one of the lines, so once more
    // than 35 % of them have no level, fewer than 65 % of the nonblank ones
    // can have one. (A count above the floor of 35 % of the lines is a count
    // above 35 % of them.)
    bool count_unparsed(std::size_t i) {
        ++nonblank_;
        states_[i] = LineState::kUnparsed;
        return nonblank_ - parsed_ <= max_unparsed_;
    }

    bool parse_block(std::size_t begin, std::size_t end) {
        // The arrays grow by blocks that hold a nonblank line, so a long run
        // of blank lines never touches them.
        bool sized = states_.size() >= end;
        auto size_states = [&] {
            if (!sized) states_.resize(end, LineState::kBlank);
            sized = true;
        };
        for (std::size_t i = begin; i < end; ++i) {
            const std::string_view line = lines_[i];
            if (line.empty()) {
                // A lone empty line is passed over as it is; a run of them
                // in one scan.
                if (i + 1 < end && lines_[i + 1].empty()) i = past_empty_lines(i, end) - 1;
                continue;
            }
            const std::size_t indent = text::leading_blanks(line);
            if (indent == line.size()) continue;
            const auto first = static_cast<unsigned char>(line[indent]);
            // A line whose first byte after blanks and tabs is ASCII
            // punctuation ("+", "-", "@", "{", "\"", "/" ...) is not blank and
            // carries no level: no trim, no parse.
            if (kPunctuationFirst[first]) {
                size_states();
                if (!count_unparsed(i)) return false;
                continue;
            }
            // Past blanks and tabs, a visible ASCII byte begins the trimmed
            // line; only its end may still hold blanks.
            const bool visible = first > ' ' && first < 0x7F;
            const std::string_view t = text::trim_fast(visible ? line.substr(indent) : line);
            if (t.empty()) continue;
            size_states();
            // A line that repeats the one parsed before it (a loop printing
            // the same line) parses the same: its level, and its message at
            // the same place.
            if (t != previous_) {
                previous_ = t;
                const std::optional<types::ParsedLogLine> parsed =
                    may_carry_level(t) ? summary::parse_log_line(t) : std::nullopt;
                previous_state_ = parsed ? level_index(parsed->level) : LineState::kUnparsed;
                if (parsed) previous_message_ = static_cast<std::size_t>(parsed->message.data() - t.data());
            }
            if (previous_state_ == LineState::kUnparsed) {
                if (!count_unparsed(i)) return false;
                continue;
            }
            ++nonblank_;
            ++parsed_;
            states_[i] = previous_state_;
            const auto offset = static_cast<std::size_t>(t.data() - line.data()) + previous_message_;
            message_offsets_.push_back(offset < kOffsetTooLarge ? static_cast<std::uint32_t>(offset) : kOffsetTooLarge);
        }
        return true;
    }

    // Looks for the words in the nonblank lines of a block: true when one
    // refuses the log; marks the lines that hold an important word.
    bool has_refusing_word(std::size_t begin, std::size_t end) {
        // Lines past the kept states are blank.
        end = std::min(end, states_.size());
        if (begin >= end) return false;
        // A line that holds a word holds the place where the word starts,
        // which the fingerprints find; lines without one are passed over.
        const std::string_view text = lines_.text();
        const std::size_t from = lines_.start(begin);
        const std::string_view block = text.substr(from, end_of_line(end - 1) - from);
        std::size_t i = begin;
        // The line last looked into and its word groups: a line that repeats
        // it (a loop printing the same line) holds the same words.
        std::string_view previous;
        std::uint32_t previous_groups = 0;
        for (std::size_t at = 0;
             const std::optional<text::FingerprintSet::Hit> hit = kLineWordPrints.next(block, at);) {
            i = text::line_at_from(lines_, from + hit->at, i);
            at = end_of_line(i) - from + 1;
            if (state(i).blank()) continue;
            const std::string_view t = text::trim_fast(lines_[i]);
            if (t != previous) {
                previous = t;
                previous_groups = kLineWords.groups_in(t.substr(timestamp_prefix_length(t)), 1u << kRefusingGroup);
            }
            if (previous_groups & (1u << kRefusingGroup)) return true;
            if (previous_groups & (1u << kImportantGroup)) states_[i] |= LineState::kImportantWord;
        }
        return false;
    }

    // The offset just past line `i` (where its line feed is, if any).
    std::size_t end_of_line(std::size_t i) const {
        return i + 1 < lines_.size() ? lines_.start(i + 1) - 1 : lines_.text().size();
    }

    // The line in [first, end) that holds byte `offset` of the text.
    std::size_t line_holding(std::size_t offset, std::size_t first, std::size_t end) const {
        // The answer is the last line of [first, end) that starts at or before `offset`.
        std::size_t low = first, high = end;
        while (high - low > 1) {
            const std::size_t mid = low + (high - low) / 2;
            if (lines_.start(mid) <= offset)
                low = mid;
            else
                high = mid;
        }
        return low;
    }

    const text::LineIndex& lines_;
    const std::uint64_t max_unparsed_ = lines_.size() * (100 - kMinParsedPercent) / 100;
    std::vector<std::uint8_t> states_;
    std::vector<std::uint32_t> message_offsets_;  // by parsed line, in line order
    // The line parsed last (trimmed), its state and where its message starts in it.
    std::string_view previous_;
    std::uint8_t previous_state_ = LineState::kUnparsed;
    std::size_t previous_message_ = 0;
    std::uint64_t nonblank_ = 0;
    std::uint64_t parsed_ = 0;
};

}  // namespace

bool looks_like_path_location_output(const std::vector<std::string_view>& lines) {
    return guards::looks_like_path_location_output(lines);
}

bool looks_like_build_or_package_output(const std::vector<std::string_view>& lines) {
    bool marker = false;
    for (std::string_view line : lines) {
        if (summary::parse_log_line(line)) return false;
        marker = marker || kBuildOrPackageMarkers.found_in(line);
    }
    return marker;
}

std::optional<GenericLog> detect_generic_log(const text::LineIndex& lines) {
    const std::size_t n = lines.size();
    // Blank lines count toward n, so n bounds the nonblank lines from above.
    if (n >= types::kNotCounted || n < kMinNonblankLines) return std::nullopt;
    FirstPass first(lines);
    if (!first.run()) return std::nullopt;

    GenericLog log;
    log.line_patterns.assign(n, types::kNotCounted);
    // Only lines with a level are counted, so there are no more keys than
    // them: reserved once, the records are never moved, and the pages of
    // the part never used are never touched.
    log.patterns.reserve(first.parsed());
    PatternCounter counter(lines, log);
    ShapeEvidence shapes;
    std::size_t parsed_before = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const LineState state = first.state(i);
        if (state.blank()) continue;
        const std::size_t parsed_ordinal = parsed_before;
        if (state.parsed()) ++parsed_before;
        const std::string_view line = lines[i];
        const std::string_view t = text::trim_fast(line);
        if (!shapes.add(t)) return std::nullopt;
        // `is_important_line`: a level above INFO, an important word (the
        // first pass looked for them) or a file token.
        if (!state.parsed() || !state.low_severity() || state.important_word() || summary::has_known_file_token(line))
            continue;
        const std::string_view message = first.message(parsed_ordinal, i, t);
        counter.stage(static_cast<std::uint32_t>(i), state.level_bits(),
                      summary::write_message_pattern_into(message, counter.next_buffer()));
    }
    counter.finish();
    if (shapes.is_foreign(first.nonblank())) return std::nullopt;
    if (counter.repeated_lines() < kMinFoldableLines) return std::nullopt;
    log.forget_unrepeated_keys();
    return log;
}

}  // namespace filters::generic_log::detector
