#include "filters/build_compiler/detector.h"

#include <algorithm>
#include <array>
#include <deque>
#include <string>

#include "filters/build_compiler/line_scan.h"
#include "filters/build_compiler/summary.h"
#include "text.h"

namespace filters::build_compiler::detector {

using namespace summary;

namespace {

// Line counts of every tool's classifiers, and the phrases of the whole text
// that some scores or flags ask about, gathered in one pass.
struct Tally {
    std::uint64_t cargo_headers = 0, cargo_arrows = 0, rust_bars = 0, progress = 0;
    std::uint64_t tsc = 0;
    std::uint64_t eslint_issues = 0, eslint_headers = 0, eslint_summaries = 0;
    std::uint64_t mypy_diagnostics = 0, mypy_signals = 0;
    std::uint64_t ruff = 0, ruff_summaries = 0;
    std::uint64_t pyright = 0, pyright_summaries = 0;
    std::uint64_t biome = 0, biome_summaries = 0;
    std::uint64_t oxlint = 0, oxlint_frames = 0, oxlint_summaries = 0;
    std::uint64_t shellcheck_headers = 0, shellcheck = 0, shellcheck_gcc = 0;
    std::uint64_t markdownlint = 0;
    std::uint64_t yamllint = 0, yamllint_headers = 0;
    std::uint64_t golangci_issues = 0, golangci_runner_errors = 0, golangci_summaries = 0;
    std::uint64_t c_family = 0, c_family_context = 0;
    std::uint64_t go_headers = 0, go_diagnostics = 0;
    std::uint64_t msbuild = 0, msbuild_summaries = 0;
    std::uint64_t maven_gradle = 0;
    std::uint64_t make_ninja_cmake = 0;
    std::uint64_t nx_turbo = 0;
    std::uint64_t swift_diagnostics = 0, swift_failures = 0;
    bool any_final_summary = false;
    bool error_signal = false, warning_signal = false;

    bool rust_aborted = false;        // "could not compile" / "aborting due to"
    bool names_markdownlint = false, names_yamllint = false;
    bool names_golangci = false;      // "golangci-lint" or "level=info"
    bool says_golangci = false;       // "golangci-lint" alone
    bool c_family_marker = false;     // "build failed" / "compilation terminated"
    bool msbuild_marker = false, maven_gradle_marker = false, nx_turbo_marker = false, xcode_marker = false;
    bool claimed_by_tests = false;

    // The line's roles for the filter.
    std::uint32_t add(const PreparedLine& p);
};

std::uint32_t Tally::add(const PreparedLine& p) {
    std::string_view t = p.text();

    if (p.has_any({"test session starts", "short test summary info", "test result:",
                         "traceback (most recent call last)"}))
        claimed_by_tests = true;
    if (p.has_any({"could not compile", "aborting due to"})) rust_aborted = true;
    if (p.has("markdownlint")) names_markdownlint = true;
    if (p.has("yamllint")) names_yamllint = true;
    if (p.has("golangci-lint")) says_golangci = names_golangci = true;
    if (p.has("level=info")) names_golangci = true;
    if (p.has_any({"build failed", "compilation terminated"})) c_family_marker = true;
    if (p.has_any({"build failed", "msbuild", "dotnet build"})) msbuild_marker = true;
    if (p.has_any({"maven-surefire-plugin", "[error] build failure", "build failure", "gradle", "> task ",
                         "execution failed for task"}))
        maven_gradle_marker = true;
    if (p.has_any({"nx ", "turbo"})) nx_turbo_marker = true;
    if (p.has_any({"xcodebuild", "swiftcompile", "** build failed **"})) xcode_marker = true;

    if (!error_signal) error_signal = line_has_error_signal(p);
    if (!warning_signal) warning_signal = line_has_warning_signal(p);

    // Every answer below is counted for the score and, where the filter's
    // choices rest on it, kept as one bit of the line's roles.
    std::uint32_t roles = 0;
    auto note = [&roles](bool yes, std::uint32_t role) {
        if (yes) roles |= role;
        return yes;
    };
    // Lines that `is_important_diagnostic_line` accepts.
    std::uint32_t important = 0;
    auto mark = [&important](bool yes) {
        important |= yes;
        return yes;
    };

    cargo_headers += mark(starts_with_any(t, {"error:", "error[", "warning:", "warning["}));
    cargo_arrows += mark(t.starts_with("--> ") && has_line_col_suffix(t));
    bool bar = mark(is_rust_source_bar_line(t));
    rust_bars += bar;
    progress += note(is_progress_line(p), kProgressRole);

    // Every located diagnostic shape holds a ":"; on a line without one
    // those tests cannot succeed, so they are skipped there.
    const bool located = t.find(':') != std::string_view::npos;

    tsc += mark(note(located && is_tsc_diagnostic_line(p), kTscRole));
    eslint_issues += mark(note(located && is_eslint_issue_line(p), kEslintIssueRole));
    eslint_headers += note(is_eslint_file_header(p), kEslintHeaderRole);
    bool mypy = mark(located && parse_mypy_diagnostic_line(t).has_value());
    mypy_diagnostics += mypy;
    ruff += mark(note(located && is_ruff_diagnostic_line(p), kRuffRole));
    pyright += mark(located && is_pyright_diagnostic_line(p));
    biome += mark(note(located && is_biome_diagnostic_line(p), kBiomeRole));
    oxlint += mark(note(located && is_oxlint_diagnostic_line(p), kOxlintRole));
    oxlint_frames += mark(note(is_oxlint_frame_line(t), kOxlintFrameRole));

    shellcheck_headers += mark(note(is_shellcheck_header_line(p), kShellcheckHeaderRole));
    shellcheck += mark(is_shellcheck_diagnostic_line(p));
    shellcheck_gcc += is_shellcheck_gcc_diagnostic_line(p);
    markdownlint += mark(located && is_markdownlint_diagnostic_line(p));
    yamllint += mark(located && is_yamllint_diagnostic_line(p));
    yamllint_headers += note(is_yamllint_file_header(p), kYamllintHeaderRole);
    golangci_issues += mark(located && is_golangci_lint_issue_line(p));
    golangci_runner_errors += mark(is_golangci_lint_runner_error_line(p));

    bool c_family_line = mark(note(located && is_c_family_diagnostic_line(p), kCFamilyRole));
    c_family += c_family_line;
    c_family_context += bar;  // the same rule as a Rust source bar
    go_headers += mark(note(is_go_build_package_header(p), kGoHeaderRole));
    go_diagnostics += mark(located && is_go_build_diagnostic_line(p));
    msbuild += mark(is_msbuild_diagnostic_line(p));
    swift_diagnostics += c_family_line && has(t, ".swift:");

    // The per-tool summary tests, each run once: they count for their
    // tools and make up the final-summary test.
    bool eslint_summary = is_eslint_summary_line(p);
    bool ruff_summary = is_ruff_summary_line(p);
    bool pyright_summary = is_pyright_summary_line(p);
    bool biome_summary = is_biome_summary_line(p);
    bool oxlint_summary = is_oxlint_summary_line(p);
    bool golangci_summary = is_golangci_lint_summary_line(p);
    bool msbuild_summary = is_msbuild_summary_line(p);
    bool maven_gradle_line = is_maven_gradle_diagnostic_line(p);
    bool make_line = is_make_ninja_cmake_diagnostic_line(p);
    bool nx_turbo_line = is_nx_turbo_diagnostic_line(p);
    bool swift_failure = is_swift_xcode_failure_line(p);
    eslint_summaries += eslint_summary;
    ruff_summaries += ruff_summary;
    pyright_summaries += pyright_summary;
    biome_summaries += biome_summary;
    oxlint_summaries += oxlint_summary;
    golangci_summaries += golangci_summary;
    msbuild_summaries += mark(msbuild_summary);
    maven_gradle += mark(maven_gradle_line);
    make_ninja_cmake += mark(make_line);
    nx_turbo += mark(nx_turbo_line);
    swift_failures += mark(swift_failure);
    // As `is_final_summary_line`.
    bool final_summary = mark(note(has_final_summary_phrase(p) || eslint_summary || ruff_summary ||
                                       pyright_summary || biome_summary || oxlint_summary || golangci_summary ||
                                       msbuild_summary || maven_gradle_line || make_line || nx_turbo_line ||
                                       swift_failure,
                                   kFinalSummaryRole));
    any_final_summary = any_final_summary || final_summary;
    if ((p.has("found ") && p.has(" error") && p.has(" file")) ||
        p.has("success: no issues found") ||
        (has(t, "[") && has(t, "]") && mypy) || final_summary)
        ++mypy_signals;

    mark(note(is_note_help_line(t), kNoteHelpRole));
    if (!important) mark(is_lint_source_context_line(t));
    if (important) roles |= kImportantRole;
    note(is_pyright_file_header(p), kPyrightHeaderRole);
    return roles;
}

std::vector<Candidate> score_tools(const Tally& n) {
    std::vector<Candidate> out;
    auto offer = [&](std::size_t index, bool qualifies, std::uint64_t score) {
        if (qualifies && score > 0) out.push_back({kToolNames[index], score});
    };
    offer(0, n.cargo_headers >= 1 && (n.cargo_arrows >= 1 || n.rust_bars >= 1 || n.rust_aborted),
          3 * n.cargo_headers + 2 * n.cargo_arrows + n.rust_bars + n.progress);
    offer(1, n.tsc >= 1, 4 * n.tsc);
    offer(2, n.eslint_issues >= 1 && (n.eslint_headers >= 1 || n.eslint_summaries >= 1),
          3 * n.eslint_issues + n.eslint_headers + 2 * n.eslint_summaries);
    offer(3, n.mypy_diagnostics >= 1 && (n.mypy_signals >= 1 || n.mypy_diagnostics >= 3),
          3 * n.mypy_diagnostics + 2 * n.mypy_signals);
    offer(4, n.ruff >= 1 && (n.ruff_summaries >= 1 || n.ruff >= 2), 4 * n.ruff + 2 * n.ruff_summaries);
    offer(5, n.pyright >= 1 && (n.pyright_summaries >= 1 || n.pyright >= 2), 4 * n.pyright + 2 * n.pyright_summaries);
    offer(6, n.biome >= 1 && (n.biome_summaries >= 1 || n.biome >= 2), 3 * n.biome + 2 * n.biome_summaries);
    offer(7, n.oxlint >= 1 && (n.oxlint_frames + n.oxlint_summaries >= 1 || n.oxlint >= 2),
          4 * n.oxlint + 2 * (n.oxlint_frames + n.oxlint_summaries));
    offer(8, n.shellcheck >= 1 && (n.shellcheck_gcc >= 1 || n.shellcheck_headers >= 1 || n.shellcheck >= 2),
          4 * n.shellcheck + 2 * n.shellcheck_headers);
    offer(9, n.markdownlint >= 2 || (n.markdownlint == 1 && (n.names_markdownlint || n.any_final_summary)),
          4 * n.markdownlint);
    offer(10, n.yamllint >= 1 && (n.yamllint_headers >= 1 || n.yamllint >= 2 || n.names_yamllint),
          4 * n.yamllint + n.yamllint_headers);
    offer(11,
          n.golangci_issues >= 2 ||
              (n.golangci_issues == 1 &&
               (n.golangci_summaries >= 1 || n.golangci_runner_errors >= 1 || n.says_golangci)) ||
              (n.golangci_issues == 0 && n.golangci_runner_errors >= 1 && (n.names_golangci || n.progress >= 1)),
          4 * n.golangci_issues + 3 * n.golangci_runner_errors + n.golangci_summaries);
    offer(12, n.c_family >= 2 || (n.c_family == 1 && (n.c_family_context >= 1 || n.c_family_marker)),
          4 * n.c_family + n.c_family_context + (n.c_family_marker ? 2 : 0));
    offer(13, n.go_headers >= 1 && n.go_diagnostics >= 1, 2 * n.go_headers + 4 * n.go_diagnostics);
    offer(14, n.msbuild >= 1 && (n.msbuild_summaries >= 1 || n.msbuild_marker),
          4 * n.msbuild + 2 * n.msbuild_summaries + (n.msbuild_marker ? 1 : 0));
    offer(15, n.maven_gradle >= 1 && n.maven_gradle_marker, 3 * n.maven_gradle + 2);
    offer(16, n.make_ninja_cmake >= 1, 4 * n.make_ninja_cmake);
    offer(17, n.nx_turbo >= 1 && n.nx_turbo_marker, 3 * n.nx_turbo + 2);
    offer(18, n.swift_failures >= 1 || (n.swift_diagnostics >= 1 && n.xcode_marker),
          4 * n.swift_diagnostics + 3 * n.swift_failures + (n.xcode_marker ? 1 : 0));
    return out;
}

// ------------------------------------------------ the light first look --

// The phrases of the maven/gradle and nx/turbo lines and markers that can
// stand anywhere in a line. Each is found from one of its byte pairs that is
// rare in text (`anchor` is the index of the pair's second byte), so the
// scan of a line tests one bit per byte and compares phrases only where
// that pair occurs.
struct Phrase {
    std::string_view text;  // lowercase, compared with ASCII case folded
    std::size_t anchor;
    bool LineHints::*flag;
};

constexpr Phrase kPhrases[] = {
    {"nx ", 1, &LineHints::nx_marker},
    {"turbo", 3, &LineHints::nx_marker},
    {"command exited", 10, &LineHints::may_be_nx},
    {"failed tasks:", 1, &LineHints::may_be_nx},
    {"execution failed for task", 11, &LineHints::may_be_maven},
    {"execution failed for task", 11, &LineHints::maven_marker},
    {"build fail", 7, &LineHints::may_be_maven},
    {"build failure", 7, &LineHints::maven_marker},
    {"surefire-reports", 9, &LineHints::may_be_maven},
    {"test report", 7, &LineHints::may_be_maven},
    {"maven-surefire-plugin", 2, &LineHints::maven_marker},
    {"gradle", 4, &LineHints::maven_marker},
    {"> task ", 1, &LineHints::maven_marker},
};

using PairSet = std::array<std::uint64_t, 1024>;  // one bit per byte pair

constexpr void add_pair(PairSet& set, unsigned a, unsigned b) {
    unsigned bit = (a << 8) | b;
    set[bit >> 6] |= std::uint64_t{1} << (bit & 63);
}

// Both cases of an ASCII letter, else the byte itself.
constexpr std::array<unsigned, 2> both_cases(char c) {
    auto u = static_cast<unsigned char>(c);
    if (c >= 'a' && c <= 'z') return {u, u - 32U};
    return {u, u};
}

// The byte pairs at which the scan stops: any byte then ":" (a location or
// ": error"), any byte then ESC (colour codes), "SC" (shellcheck codes) and
// the anchors of `kPhrases`. The byte before the first one counts as 0.
constexpr PairSet kStopPairs = [] {
    PairSet set{};
    for (unsigned a = 0; a < 256; ++a) {
        add_pair(set, a, ':');
        add_pair(set, a, 0x1b);
    }
    add_pair(set, 'S', 'C');
    for (const auto& p : kPhrases)
        for (unsigned a : both_cases(p.text[p.anchor - 1]))
            for (unsigned b : both_cases(p.text[p.anchor])) add_pair(set, a, b);
    return set;
}();

inline bool is_stop_pair(unsigned a, unsigned b) {
    unsigned bit = (a << 8) | b;
    return (kStopPairs[bit >> 6] >> (bit & 63)) & 1U;
}

// `needle` (lowercase) starts `back` bytes before `at`, ASCII case folded.
inline bool phrase_at(std::string_view t, std::size_t at, std::size_t back, std::string_view needle) {
    if (at < back) return false;
    std::size_t start = at - back;
    return t.size() - start >= needle.size() && text::equals_ignore_case(t.substr(start, needle.size()), needle);
}

// Every source extension any located classifier looks for, each of them a
// dot and letters only.
constexpr std::string_view kLocatedExtensions[] = {
    "py",  "pyi", "js",  "jsx",  "ts",  "tsx",   "mjs", "cjs", "json", "jsonc", "css", "md",  "mdx", "vue", "svelte",
    "astro", "yaml", "yml", "go", "swift", "cpp", "cxx", "hpp", "cc",  "hh",    "mm",  "c",   "h",   "m",
};

// The letters right before `colon` follow a dot and name one of those
// extensions (ASCII case folded: the tsc test reads the lowercased line).
bool located_extension_before(std::string_view t, std::size_t colon) {
    std::size_t start = colon;
    while (start > 0 && colon - start < 7 && text::is_ascii_alpha(t[start - 1])) --start;
    std::size_t n = colon - start;
    if (n == 0 || n > 6 || start == 0 || t[start - 1] != '.') return false;
    std::string_view ext = t.substr(start, n);
    for (auto known : kLocatedExtensions)
        if (text::equals_ignore_case(ext, known)) return true;
    return false;
}

// A first word "line:column" and a second word "error" or "warning": an
// eslint issue or a yamllint diagnostic.
bool is_located_severity_line(std::string_view t) {
    WordCursor words(t);
    auto first = words.next();
    if (!first || !is_line_col(*first)) return false;
    auto second = words.next();
    return second && (text::equals_ignore_case(*second, "error") || text::equals_ignore_case(*second, "warning"));
}

// The hints a line gives by how it starts.
void hint_by_start(std::string_view t, LineHints& h) {
    switch (t[0]) {
    case 'e': case 'E': case 'w': case 'W': case 'l': case 'L': case 'n': case 'N': case 'c': case 'C':
        if (starts_with_any_ignore_case(t, {"erro", "warning", "level=error", "level=fatal", "ninja: build stopped:",
                                            "cmake error at ", "cmake warning at "}))
            h.may_qualify = true;
        break;
    case 'm': case 'M':
        if (text::starts_with_ignore_case(t, "make") && has(t, "***")) h.may_qualify = true;
        break;
    case '*':
        if (t == "** BUILD FAILED **") h.may_qualify = true;
        if (starts_with_any(t, {"* What went wrong:", "* Try:"})) h.may_be_maven = true;
        break;
    case 'T':
        if (t.starts_with("The following build commands failed:")) h.may_qualify = true;
        break;
    case '[':
        if (starts_with_any(t, {"[ERROR] ", "[WARNING] "})) h.may_be_maven = true;
        break;
    case '>':
        if (t.starts_with("> Task ")) h.may_be_maven = true;
        break;
    case '-':
        if (t.starts_with("- ") && (has(t, "#") || has(t, ":"))) h.may_be_nx = true;
        break;
    default:
        if (t.starts_with("× ") || t.starts_with("! ") ||
            (text::is_ascii_digit(t[0]) && is_located_severity_line(t)))
            h.may_qualify = true;
        else if (t.starts_with("• Running target"))
            h.may_be_nx = true;
        break;
    }
    // "FAILURE:" is maven's; "Failed:", "failed task" and "tasks:" nx's.
    if (t.starts_with("FAILURE:")) h.may_be_maven = true;
    if (starts_with_any_ignore_case(t, {"fail", "tasks:"}) || t.starts_with("NX   ")) h.may_be_nx = true;
}

}  // namespace

LineHints hint_line(std::string_view t) {
    LineHints h;
    if (t.empty()) return h;
    hint_by_start(t, h);
    if (h.may_qualify) return h;

    // Located diagnostics, shellcheck codes and phrases anywhere.
    const std::size_t n = t.size();
    const char* data = t.data();
    unsigned previous = 0;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned current = static_cast<unsigned char>(data[i]);
        unsigned before = previous;
        previous = current;
        if (!is_stop_pair(before, current)) continue;
        if (current == ':') {
            // ": error" / ": warning" (tsc, msbuild, eslint) or a source
            // path before the colon (every located diagnostic).
            if ((i + 2 < n && data[i + 1] == ' ' &&
                 (text::starts_with_ignore_case(t.substr(i + 2), "error") ||
                  text::starts_with_ignore_case(t.substr(i + 2), "warning"))) ||
                (text::is_ascii_alpha(static_cast<char>(before)) && located_extension_before(t, i))) {
                h.may_qualify = true;
                return h;
            }
        } else if (current == 0x1b) {
            h.escape = true;
        } else if (current == 'C' && before == 'S' &&
                   ((i + 1 < n && text::is_ascii_digit(data[i + 1])) || (i > 1 && data[i - 2] == '['))) {
            // A shellcheck code ("SC2086") or its bracketed form ("[SC").
            h.may_qualify = true;
            return h;
        } else {
            for (const auto& p : kPhrases)
                if (phrase_at(t, i, p.anchor, p.text)) h.*p.flag = true;
        }
    }
    return h;
}

bool may_name_a_tool(std::string_view text) {
    // Fewer than two non-blank lines are never recognised; a one-line
    // document of many megabytes need not be scanned to learn that.
    std::size_t non_blank = 0;
    for (std::size_t pos = 0; pos < text.size() && non_blank < 2;) {
        std::size_t end = std::min(text.find('\n', pos), text.size());
        non_blank += !text::trim(text.substr(pos, end - pos)).empty();
        pos = end + 1;
    }
    if (non_blank < 2) return false;

    bool maven_line = false, maven_marker = false, nx_line = false, nx_marker = false;
    std::string stripped;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(pos, end - pos);
        pos = end + 1;
        LineHints h = hint_line(text::trim(raw));
        if (h.escape) {
            stripped = text::strip_ansi(raw);
            h = hint_line(text::trim(stripped));
        }
        if (h.may_qualify) return true;
        maven_line |= h.may_be_maven;
        maven_marker |= h.maven_marker;
        nx_line |= h.may_be_nx;
        nx_marker |= h.nx_marker;
        if ((maven_line && maven_marker) || (nx_line && nx_marker)) return true;
    }
    return false;
}

std::uint32_t line_roles(const PreparedLine& line) {
    Tally tally;
    return tally.add(line);
}

std::optional<Candidate> pick_winner(const std::vector<Candidate>& candidates) {
    std::optional<Candidate> best;
    for (const auto& c : candidates)
        if (!best || c.score > best->score || (c.score == best->score && c.tool > best->tool)) best = c;
    return best;
}

std::optional<BuildCompilerDiagnostics> detect_build_compiler_diagnostics(const std::vector<std::string_view>& lines,
                                                                          std::vector<std::uint32_t>* roles) {
    // The non-blank lines, colour codes removed and trimmed; only lines that
    // carry an escape need a copy.
    std::deque<std::string> stripped;
    std::vector<std::string_view> prepared;
    for (std::string_view raw : lines) {
        std::string_view s = raw;
        if (s.find('\x1b') != std::string_view::npos) {
            stripped.push_back(text::strip_ansi(s));
            s = stripped.back();
        }
        s = text::trim(s);
        if (!s.empty()) prepared.push_back(s);
    }
    if (prepared.size() < 2) return std::nullopt;
    if (text::starts_with_ignore_case(prepared.front(), "test output:")) return std::nullopt;

    Tally tally;
    PreparedLine p;
    if (roles) {
        roles->clear();
        roles->reserve(prepared.size());
    }
    for (std::string_view line : prepared) {
        p.assign(line);
        std::uint32_t line_roles = tally.add(p);
        if (tally.claimed_by_tests) return std::nullopt;
        if (roles) roles->push_back(line_roles);
    }

    auto winner = pick_winner(score_tools(tally));
    if (!winner) return std::nullopt;

    BuildCompilerDiagnostics out;
    out.tool = winner->tool;
    std::string_view tool = winner->tool;
    out.has_error = tally.error_signal;
    if (!out.has_error) {
        if (tool == "ruff") out.has_error = tally.ruff > 0;
        else if (tool == "go-build") out.has_error = tally.go_diagnostics > 0;
        else if (tool == "biome" || tool == "oxlint") out.has_error = !tally.warning_signal;
        else if (tool == "markdownlint" || tool == "golangci-lint") out.has_error = true;
    }
    out.has_warning = tally.warning_signal || tool == "yamllint" || tool == "shellcheck";
    return out;
}

}  // namespace filters::build_compiler::detector
