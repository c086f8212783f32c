#include "filters/log_template/detector.h"

#include <array>
#include <string>
#include <unordered_map>

#include "filters/filter.h"
#include "filters/guards.h"
#include "filters/log_template/census.h"
#include "filters/log_template/template.h"

namespace filters::log_template::detector {

namespace {

using templates::normalize_level;

constexpr std::size_t kMinNonblankLines = 16;
constexpr std::uint32_t kMinRepeats = 8;
constexpr std::uint64_t kMinCoveredLines = 12;
constexpr std::uint64_t kMinCoveredPercent = 35;
constexpr std::uint64_t kJsonLinePercent = 70;
// Lines that the guards read before any line is templated.
constexpr std::size_t kGuardFirstLines = 4096;
constexpr std::size_t kGuardFirstBytes = 256 * 1024;
// And the lines they read before the quick passes of the census.
constexpr std::size_t kGuardEarlyLines = 256;
constexpr std::size_t kSampleBytes = 64 * 1024;
// The block pass of the census goes before the line-by-line one where fewer
// of the sample's lines than this share may be templated.
constexpr std::uint64_t kMaskFirstPercent = 5;
// And only where lines average at most this many bytes: the census reads
// few long lines as fast, and the block pass can stop early only where
// there are many lines.
constexpr std::size_t kMaskFirstLineBytes = 256;
// And only where it read at most this many tokens and "=" alone a line in
// the sample: where it reads many (markup, prose), the census is faster.
constexpr std::uint64_t kMaskFirstAskedPerLine = 1;

// Words whose presence anywhere in the text, ASCII case ignored, gives it
// to another filter: summaries of earlier filters, Python tracebacks, test
// runs, diffs, and the phrases of builds and package managers.
constexpr std::array<std::string_view, 13> kOwnedWords = {
    headline::kLogTemplates,     headline::kGenericLogPrefix,         headline::kTestOutput,     headline::kCiLog,
    headline::kPythonTraceback,  "traceback (most recent call last)", "short test summary info", "diff --git ",
    headline::kBuildDiagnostics, headline::kPackageManager,           headline::kJsonlRecords,   "pytest",
    "test session starts"};

constexpr auto kGuardWords = [] {
    std::array<text::SearchWord, kOwnedWords.size() + guards::kBuildOrPackageMarkers.size()> words{};
    std::size_t k = 0;
    for (std::string_view w : kOwnedWords) words[k++] = {w, 0};
    for (std::string_view w : guards::kBuildOrPackageMarkers) words[k++] = {w, 1};
    return words;
}();
constexpr text::WordSet<kGuardWords.size()> kGuardWordSet(kGuardWords);

constexpr text::WordSet<guards::kBuildOrPackageMarkers.size()> kBuildOrPackageWordSet =
    text::WordSet<guards::kBuildOrPackageMarkers.size()>::of(guards::kBuildOrPackageMarkers);

constexpr text::WordSet<10> kSecretWordSet =
    text::WordSet<10>::of({"password", "passwd", "secret", "token", "api_key", "apikey", "authorization", "credential",
                           "private_key", "access_key"},
                          true);

constexpr text::WordSet<10> kImportantWordSet = text::WordSet<10>::of(
    {" warn", " error", " fatal", " panic", "exception", "traceback", "stack trace", "failed", "failure", "exit code"});

// URLs, a quoted file name, and the phrases of stack traces.
constexpr text::WordSet<5> kForbiddenWordSet = text::WordSet<5>::of({"://", "www.", "file \"", " at ", "caused by:"});

constexpr std::array<std::string_view, 22> kFileExtensions = {
    ".py",  ".rs",   ".ts",  ".tsx", ".js", ".jsx", ".json", ".yaml", ".yml", ".toml", ".log",
    ".txt", ".html", ".xml", ".csv", ".md", ".c",   ".cpp",  ".go",   ".rb",  ".zip",  ".png"};

constexpr std::array<std::string_view, 6> kLockFiles = {"cargo.lock",     "package-lock.json", "yarn.lock",
                                                        "pnpm-lock.yaml", "poetry.lock",       "go.sum"};

// The line trimmed; most lines of a normalised text need no trimming.
std::string_view trimmed_line(std::string_view line) {
    if (line.empty()) return line;
    if (static_cast<unsigned char>(line.front()) < 0x80 && !text::is_ascii_whitespace(line.front()) &&
        static_cast<unsigned char>(line.back()) < 0x80 && !text::is_ascii_whitespace(line.back()))
        return line;
    return text::trim(line);
}

bool is_quiet_level(std::string_view level) { return level == "INFO" || level == "DEBUG" || level == "TRACE"; }

bool is_loud_level_word(std::string_view word) {
    const auto level = normalize_level(word);
    return level && !is_quiet_level(*level);
}

std::string lower_underscored(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = (c == '-' || c == '.') ? '_' : text::to_lower_ascii(c);
    return out;
}

bool has_file_fragment(std::string_view token) {
    const std::string_view t = text::trim_chars(token, "\"'(),;[]");
    // Every extension and lock-file name holds a ".", every path a "/" or "\\".
    if (t.find_first_of("./\\") == std::string_view::npos) return false;
    // A file name ends the token or stands before a ":" ("config.yaml:12").
    for (std::size_t end = t.size(); end != std::string_view::npos;) {
        const std::string_view head = t.substr(0, end);
        for (std::string_view ext : kFileExtensions)
            if (text::ends_with_ignore_case(head, ext)) return true;
        end = end == 0 ? std::string_view::npos : t.rfind(':', end - 1);
    }
    for (std::string_view lock : kLockFiles) {
        if (!text::ends_with_ignore_case(t, lock)) continue;
        if (t.size() == lock.size() ||
            std::string_view("=/\\").find(t[t.size() - lock.size() - 1]) != std::string_view::npos)
            return true;
    }
    if (t.find_first_of("/\\") == std::string_view::npos) return false;
    if (text::starts_with_any(t, {"/", "./", "../", "~/"}) || t.find(":\\") != std::string_view::npos) return true;
    std::size_t segments = 0;
    std::size_t start = 0;
    while (start <= t.size()) {
        const std::size_t sep = t.find_first_of("/\\", start);
        const std::size_t end = sep == std::string_view::npos ? t.size() : sep;
        if (end > start) ++segments;
        if (sep == std::string_view::npos) break;
        start = sep + 1;
    }
    return segments >= 3;
}

constexpr text::WordSet<templates::kEventWords.size()> kEventWordSet =
    text::WordSet<templates::kEventWords.size()>::of(templates::kEventWords);

// A non-ASCII byte may belong to a blank that ends the token; when it does
// not, the token is longer and no event word, and saying yes is harmless.
bool is_event_token(std::string_view from_token) {
    std::size_t end = 0;
    while (end < from_token.size() && static_cast<unsigned char>(from_token[end]) < 0x80 &&
           !text::is_ascii_whitespace(from_token[end]))
        ++end;
    return templates::is_event_word(from_token.substr(0, end));
}

constexpr std::size_t kMinLevelLetters = 4;

// Whether a line's first token may start a log prefix: a timestamp (at
// least 19 bytes, a digit first) or a level word, either maybe in "[]".
bool first_token_has_log_sign(std::string_view token) {
    const std::string_view first = text::trim_chars(token, "[]");
    if (first.size() >= 19 && text::is_ascii_digit(first[0])) return true;
    return normalize_level(text::trim_chars(first, "-:=[]")).has_value();
}

// Whether a line that starts with its first token may start with a log
// prefix as a template reads one (a timestamp, or a level word, either maybe
// in "[]"), reading no further than it must: yes wrongly for a timestamp's
// first 19 bytes that the rest of the token, or trailing "]" that make them
// fewer, spoil. Stricter than `first_token_has_log_sign`, which takes any
// 19 bytes after a digit. A non-ASCII byte ends the token read
// here: where it is a blank the token ends there, and elsewhere the whole
// token holds it and neither passes, so ending it there only says yes more.
bool ascii_line_has_log_sign(std::string_view line) {
    auto token_byte = [&](std::size_t i) {
        return i < line.size() && static_cast<unsigned char>(line[i]) < 0x80 && !text::is_ascii_whitespace(line[i]);
    };
    std::size_t i = 0;
    while (token_byte(i) && (line[i] == '[' || line[i] == ']')) ++i;
    // A timestamp's first 19 bytes have their digits and marks in place
    // (`templates::looks_like_timestamp`); a blank never stands in a token.
    if (token_byte(i) && text::is_ascii_digit(line[i])) {
        constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd";
        std::size_t n = 0;
        while (n < kShape.size() && token_byte(i + n) &&
               (kShape[n] == 'd' ? text::is_ascii_digit(line[i + n]) : line[i + n] == kShape[n]))
            ++n;
        if (n == kShape.size()) return true;
    }
    constexpr std::string_view kLevelPunctuation = "-:=[]";
    while (token_byte(i) && kLevelPunctuation.find(line[i]) != std::string_view::npos) ++i;
    std::size_t end = i;
    while (end - i <= 8 && token_byte(end) && text::is_ascii_alpha(line[end])) ++end;
    // The level word ends the token, or only level punctuation follows it.
    for (std::size_t k = end; token_byte(k); ++k)
        if (kLevelPunctuation.find(line[k]) == std::string_view::npos) return false;
    // No level word is shorter (the census counts on it).
    if (end - i < kMinLevelLetters) return false;
    return normalize_level(line.substr(i, end - i)).has_value();
}

// A log prefix's first token begins with "[" or "]", a timestamp's digit,
// the punctuation a level may follow, or the first letter of a level word.
constexpr census::LineTests kCensusTests = [] {
    census::LineTests tests;
    for (char c : std::string_view("[]-:=0123456789IWTDEFPANCiwtdefpanc"))
        tests.sign_first_bytes[static_cast<unsigned char>(c) >> 6] |= std::uint64_t{1}
                                                                       << (static_cast<unsigned char>(c) & 63);
    tests.ascii_log_sign = &ascii_line_has_log_sign;
    // A level word that no punctuation precedes starts the token; every
    // level word has four letters at least.
    tests.min_level_letters = kMinLevelLetters;
    tests.is_event_token = &is_event_token;
    for (std::string_view word : templates::kEventWords) {
        const auto first = static_cast<unsigned char>(word[0]);
        tests.event_openings[first] |= std::uint32_t{1} << (word[1] - 'a');
        tests.event_openings[first - 'a' + 'A'] |= std::uint32_t{1} << (word[1] - 'a');
    }
    for (char c : std::string_view("(),.:;[]{}")) tests.event_openings[static_cast<unsigned char>(c)] = census::kWrapping;
    tests.event_words = templates::kEventWords;
    tests.min_event_tokens = templates::kMinEventTokens;
    tests.max_event_bytes = templates::kMaxEventLineBytes;
    return tests;
}();

// Whether a trimmed line can have a template at all: it needs a key=value
// token, a log prefix (a timestamp or a level word first) or an event word.
// A cheap look that may say yes wrongly, never no wrongly.
bool may_have_template(std::string_view t) {
    // One pass over the bytes: a "=", where the first token ends, how many
    // blanks separate tokens, and whether other (Unicode) blanks may.
    std::size_t first_end = std::string_view::npos, blanks = 0;
    bool non_ascii = false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (c == '=') return true;
        if (text::is_ascii_whitespace(c)) {  // "\v" and "\f" separate tokens too
            if (first_end == std::string_view::npos) first_end = i;
            ++blanks;
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            non_ascii = true;
        }
    }
    if (non_ascii) return true;
    if (first_token_has_log_sign(t.substr(0, first_end))) return true;
    return blanks >= templates::kMinEventTokens - 1 && kEventWordSet.found_in(t);
}

// The first look at a text, line by line, without parsing: what declines it
// on the start of one line, and whether enough lines could be templated.
struct FirstLook {
    std::uint64_t nonblank = 0, may_template = 0, json_objects = 0;

    // Adds one trimmed nonblank line; true when it alone declines the text.
    bool add(std::string_view line) {
        ++nonblank;
        if (text::starts_with_any(line, {"diff --git ", "Index: ", "@@ ", "Test Files", "Tests", "FAIL ",
                                         "test result:", "##[", "::group::", "::endgroup::", "::error", "::warning"}))
            return true;
        if (line.front() == '{' && line.back() == '}' && line.find(':') != std::string_view::npos) ++json_objects;
        if (may_have_template(line)) ++may_template;
        return false;
    }

    bool declines() const {
        return nonblank < kMinNonblankLines || may_template < kMinCoveredLines ||
               may_template * 100 < nonblank * kMinCoveredPercent || json_objects * 100 >= nonblank * kJsonLinePercent;
    }
};

// What the guards need of the nonblank lines, gathered in one pass.
struct Evidence {
    std::uint64_t nonblank = 0;
    std::uint64_t pipe_lines = 0, path_locations = 0;
    bool table_rule = false, minus_header = false, plus_header = false, ran_tests = false, test_verdict = false;

    // Adds one trimmed nonblank line; true when it alone declines the text.
    bool add(std::string_view line) {
        ++nonblank;
        if (kGuardWordSet.groups_in(line, 0b11) != 0) return true;
        if (line.starts_with("… ") && line.find(" omitted") != std::string_view::npos) return true;
        if (line.starts_with("Running ") && line.find(" tests using ") != std::string_view::npos) return true;
        if (line.find('\t') != std::string_view::npos && line.find('T') != std::string_view::npos &&
            line.find("Z ") != std::string_view::npos)
            return true;
        if (kSecretWordSet.found_in(line) && line_has_secret_like_key(line)) return true;
        minus_header = minus_header || line.starts_with("--- ");
        plus_header = plus_header || line.starts_with("+++ ");
        ran_tests = ran_tests || (line.starts_with("Ran ") && line.find(" tests in ") != std::string_view::npos);
        test_verdict = test_verdict || line.starts_with("FAILED (") || line == "OK";
        if (line.find('|') != std::string_view::npos) ++pipe_lines;
        // A border of "+" and "-" alone ("+----+----+", "-----") counts too.
        table_rule = table_rule || guards::is_table_rule_line(line);
        if (guards::is_path_location_line(line)) ++path_locations;
        return false;
    }

    // What declines the text whatever the lines still to come hold: these
    // tests only turn true as lines are added.
    bool declines_for_good() const {
        return (minus_header && plus_header) || (ran_tests && test_verdict) || (table_rule && pipe_lines >= 3);
    }

    bool declines() const {
        if (declines_for_good()) return true;
        if (guards::is_table_share(pipe_lines, table_rule, nonblank)) return true;
        return guards::is_path_location_share(path_locations, nonblank);
    }
};

// The nonblank lines joined read as one JSON document.
bool reads_as_json_document(const text::LineIndex& lines) {
    std::string_view first, last;
    for (std::size_t i = 0; i < lines.size() && first.empty(); ++i) first = trimmed_line(lines[i]);
    for (std::size_t i = lines.size(); i > 0 && last.empty(); --i) last = trimmed_line(lines[i - 1]);
    if (!(first.starts_with('{') || first.starts_with('[')) || !(last.ends_with('}') || last.ends_with(']')))
        return false;
    return lines.text().find(':') != std::string_view::npos;
}

}  // namespace

bool is_important_kv(std::string_view key, std::string_view value) {
    const std::string k = lower_underscored(key);
    if (k != "level" && k != "result" && k != "outcome" && k != "severity") return false;
    const std::string_view v = text::trim_chars(value, ",:;[]");
    if (const auto level = normalize_level(v)) return !is_quiet_level(*level);
    const std::string lower = text::to_lower(v);
    return text::equals_any(lower, {"warn", "fail", "error", "fatal", "panic", "alert", "emerg", "failed", "warning",
                                    "failure", "critical"});
}

bool line_has_important_key_value(const std::vector<std::string_view>& tokens) {
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const std::string_view core = templates::split_wrapping_punctuation(tokens[k]).core;
        if (const auto kv = templates::parse_key_value_core(core)) {
            if (is_important_kv(kv->first, kv->second)) return true;
            continue;
        }
        const std::size_t colon = core.find(':');
        if (colon == std::string_view::npos) continue;
        if (colon + 1 == core.size()) {
            if (k + 1 < tokens.size() && is_important_kv(core.substr(0, colon), tokens[k + 1])) return true;
        } else if (is_important_kv(core.substr(0, colon), core.substr(colon + 1))) {
            return true;
        }
    }
    return false;
}

bool is_important_line(std::string_view trimmed) {
    if (kImportantWordSet.found_in(trimmed) ||
        text::starts_with_any_ignore_case(trimmed, {"warn", "error", "fatal", "panic"}))
        return true;
    const std::vector<std::string_view> tokens = text::split_whitespace(trimmed);
    if (tokens.empty()) return false;
    if (line_has_important_key_value(tokens)) return true;
    const std::string_view first = text::trim_chars(tokens[0], "[]");
    if (tokens.size() >= 2 && templates::looks_like_timestamp(first))
        return is_loud_level_word(text::trim_chars(tokens[1], "-:=[]"));
    return is_loud_level_word(text::trim_chars(first, "-:="));
}

bool line_has_secret_like_key(std::string_view line) {
    const std::vector<std::string_view> tokens = text::split_whitespace(line);
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        if (const auto kv = templates::parse_key_value_token(tokens[k]); kv && templates::is_secret_key(kv->first))
            return true;
        const std::string_view core = templates::split_wrapping_punctuation(tokens[k]).core;
        const std::size_t colon = core.find(':');
        if (colon != std::string_view::npos && templates::is_secret_key(core.substr(0, colon)) &&
            (colon + 1 < core.size() || k + 1 < tokens.size()))
            return true;
    }
    return false;
}

bool has_forbidden_fragment(std::string_view trimmed) {
    if (kForbiddenWordSet.found_in(trimmed)) return true;
    if (kSecretWordSet.found_in(trimmed) && line_has_secret_like_key(trimmed)) return true;
    for (std::string_view token : text::split_whitespace(trimmed))
        if (has_file_fragment(token)) return true;
    return false;
}

bool looks_like_ci_log(const std::vector<std::string_view>& nonblank) {
    for (std::string_view line : nonblank) {
        if (text::starts_with_any(line, {"##[", "::group::", "::endgroup::", "::error", "::warning"})) return true;
        if (line.find('\t') != std::string_view::npos && line.find('T') != std::string_view::npos &&
            line.find("Z ") != std::string_view::npos)
            return true;
    }
    return false;
}

bool looks_like_build_or_package_output(std::string_view guard_text) {
    return kBuildOrPackageWordSet.found_in(guard_text);
}

std::optional<types::LogTemplateSignal> detect_log_templates(const text::LineIndex& lines) {
    if (lines.size() < kMinNonblankLines) return std::nullopt;
    // The JSON test reads the first and last nonblank lines; after a long
    // run of blank lines it waits for the quick pass below.
    const bool blank_start = trimmed_line(lines[0]).empty();
    if (!blank_start && reads_as_json_document(lines)) return std::nullopt;

    // The guards run on the first lines before anything is templated, since
    // another filter's text usually shows itself early; on the rest only
    // once the templates would cover enough of the text. Every test declines
    // alone, so the order changes only the work done.
    FirstLook look;
    Evidence evidence;
    auto guards_decline = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            const std::string_view trimmed = trimmed_line(lines[i]);
            if (!trimmed.empty() && (look.add(trimmed) || evidence.add(trimmed))) return true;
        }
        return false;
    };
    const std::size_t first_lines = std::min(lines.size(), kGuardFirstLines);
    // Lines as long as a page first: a text of a few huge lines waits for
    // the quick pass below.
    std::size_t short_first = 0;
    auto line_end = [&](std::size_t i) { return i + 1 < lines.size() ? lines.start(i + 1) : lines.text().size(); };
    while (short_first < first_lines && line_end(short_first) <= kGuardFirstBytes) ++short_first;
    // The first few lines only: reading them all costs more than the quick
    // passes below, which decline most texts.
    const std::size_t early = std::min(short_first, kGuardEarlyLines);
    if (guards_decline(0, early) || evidence.declines_for_good()) return std::nullopt;

    // Bounds from one quick pass decline most other texts before any line
    // is read closely. Every templated line is one the census counts as
    // maybe templated, and every nonblank line one it counts as surely or
    // maybe nonblank; so too few such lines fail the coverage test below,
    // and enough lines with "|" fail the table test of the guards.
    // A pass over the whole text may stop once the rest could not reach the
    // share. Every newline starts a line of the index, so it has as many
    // lines at least.
    auto share_of = [&](std::string_view part) {
        return census::ShareTest{part.size() == lines.text().size() ? lines.size() : 0, kMinCoveredPercent,
                                 kMinCoveredLines};
    };
    auto census_declines = [&](std::string_view part, const census::LineTests& tests) {
        const census::LineCensus bounds = census::take_census(part, tests, share_of(part));
        return bounds.maybe_templated < kMinCoveredLines ||
               bounds.maybe_templated * 100 < bounds.surely_nonblank * kMinCoveredPercent ||
               guards::is_table_share(bounds.pipe_lines, false, bounds.maybe_nonblank);
    };
    // Coarser bounds from a pass that reads no line on its own decline
    // listings and the like at once.
    auto bounds_decline = [](const std::optional<census::QuickBounds>& bounds) {
        return bounds && (bounds->maybe_templated < kMinCoveredLines ||
                          bounds->maybe_templated * 100 < bounds->surely_nonblank * kMinCoveredPercent);
    };
    auto quick_bounds_decline = [&](std::string_view part, const census::LineTests& tests) {
        return bounds_decline(census::take_quick_bounds(part, tests, share_of(part)));
    };
    // Finer, and still reading lines alone only where a block shows a sign.
    auto line_mask_decline = [&](std::string_view part, const census::LineTests& tests) {
        return bounds_decline(census::take_line_mask_bounds(part, tests, share_of(part)));
    };
    // The coarser passes only save time, since a finer one declines what
    // they decline: each is taken when it declines the text's first bytes,
    // where it would most likely not fail on the whole text and cost time.
    const std::string_view text = lines.text();
    const std::string_view sample = text.substr(0, kSampleBytes);
    auto sampled = [&](auto declines, const census::LineTests& tests) {
        return declines(sample, tests) && (text.size() == sample.size() || declines(text, tests));
    };
    // The finest pass, on the whole text once at most: it reads a line's
    // tokens only once its counts let it be an event line.
    std::optional<bool> census_of_text;
    auto census_text_declines = [&] {
        if (!census_of_text) census_of_text = census_declines(text, kCensusTests);
        return *census_of_text;
    };
    const bool census_sample_declines = census_declines(sample, kCensusTests);
    if (text.size() == sample.size()) census_of_text = census_sample_declines;
    // The block pass stops once the lines left could not reach the share,
    // early where few lines qualify; elsewhere the census without event
    // words reads the text faster, so it goes first there.
    const auto mask_sample = census::take_line_mask_bounds(sample, kCensusTests);
    const bool mask_sample_declines = bounds_decline(mask_sample);
    const bool mask_first = mask_sample_declines &&
                            mask_sample->maybe_templated * 100 < mask_sample->surely_nonblank * kMaskFirstPercent &&
                            text.size() / lines.size() <= kMaskFirstLineBytes &&
                            mask_sample->asked <= mask_sample->surely_nonblank * kMaskFirstAskedPerLine;
    auto mask_declines = [&] {
        return mask_sample_declines && (text.size() == sample.size() || line_mask_decline(text, kCensusTests));
    };
    if (sampled(quick_bounds_decline, kCensusTests) || (mask_first && mask_declines()) ||
        (census_sample_declines && census_text_declines()) || (!mask_first && mask_declines()) ||
        (blank_start && reads_as_json_document(lines)) || census_text_declines())
        return std::nullopt;
    if (guards_decline(early, first_lines) || evidence.declines_for_good()) return std::nullopt;

    // The per-line arrays are sized at the first templated line: a text
    // with none (a long run of blank lines) declines without them.
    types::LogTemplateSignal signal;
    bool sized = false;
    std::unordered_map<std::string, std::uint32_t> ids;
    std::vector<std::uint32_t> counts;
    std::uint64_t templated = 0, nonblank = 0;
    // What the last nonblank line gave: a line that repeats it (a loop
    // printing the same line) gives the same, and is only compared.
    std::string_view previous;
    std::uint32_t previous_id = types::LogTemplateSignal::kNoTemplate;
    std::size_t previous_values = 0;  // its values are the last ones in signal.values
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // Every covered line has a template: stop once too few lines are
        // left for the templated ones to reach the share of the nonblank
        // lines seen so far.
        if ((templated + (lines.size() - i)) * 100 < nonblank * kMinCoveredPercent) return std::nullopt;
        const std::string_view trimmed = trimmed_line(lines[i]);
        if (!trimmed.empty()) {
            ++nonblank;
            if (trimmed == previous) {
                if (previous_id != types::LogTemplateSignal::kNoTemplate) {
                    ++counts[previous_id];
                    ++templated;
                    signal.line_templates[i] = previous_id;
                    // The same values, at the same places in this line.
                    const std::size_t first = signal.values.size() - previous_values;
                    for (std::size_t k = first; k < first + previous_values; ++k)
                        signal.values.push_back(std::string_view(
                            trimmed.data() + (signal.values[k].data() - previous.data()), signal.values[k].size()));
                }
                previous = trimmed;
            } else {
                previous = trimmed;
                previous_id = types::LogTemplateSignal::kNoTemplate;
                // The template first: most lines have none, and it is the
                // cheapest of the three tests to fail.
                std::optional<types::LineTemplate> t;
                if (may_have_template(trimmed)) t = templates::template_for_line(trimmed);
                if (t && !is_important_line(trimmed) && !has_forbidden_fragment(trimmed)) {
                    if (!sized) {
                        sized = true;
                        signal.line_templates.assign(lines.size(), types::LogTemplateSignal::kNoTemplate);
                        signal.value_starts.reserve(lines.size() + 1);
                        signal.value_starts.assign(i + 1, 0);
                    }
                    const auto [it, added] = ids.try_emplace(std::move(t->template_text), ids.size());
                    if (added) {
                        signal.templates.push_back(it->first);
                        counts.push_back(0);
                    }
                    ++counts[it->second];
                    ++templated;
                    signal.line_templates[i] = it->second;
                    signal.values.insert(signal.values.end(), t->values.begin(), t->values.end());
                    previous_id = it->second;
                    previous_values = t->values.size();
                }
            }
        }
        if (sized) signal.value_starts.push_back(static_cast<std::uint32_t>(signal.values.size()));
    }

    std::uint64_t covered = 0;
    signal.repeated.assign(counts.size(), false);
    for (std::size_t id = 0; id < counts.size(); ++id)
        if (counts[id] >= kMinRepeats) {
            signal.repeated[id] = true;
            covered += counts[id];
        }
    if (covered < kMinCoveredLines || covered * 100 < nonblank * kMinCoveredPercent) return std::nullopt;
    if (guards_decline(first_lines, lines.size()) || look.declines() || evidence.declines()) return std::nullopt;
    return signal;
}

}  // namespace filters::log_template::detector
