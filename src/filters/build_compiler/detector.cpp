#include "filters/build_compiler/detector.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "filters/build_compiler/summary.h"
#include "text.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace filters::build_compiler::detector {

using namespace summary;

namespace {

// The tools in scoring order; the winner is the highest score, ties going to
// the name that is greater byte by byte.
constexpr std::string_view kToolNames[] = {
    "cargo/rustc",    "tsc",          "eslint",           "mypy",     "ruff",         "pyright",  "biome",
    "oxlint",         "shellcheck",   "markdownlint",     "yamllint", "golangci-lint", "gcc/clang", "go-build",
    "msbuild/dotnet", "maven/gradle", "make/ninja/cmake", "nx/turbo", "swift/xcode",
};

struct Candidate {
    std::string_view tool;
    std::uint64_t score;
};

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
    // "nx" as a word of its own: "Lynx" names no build tool.
    if (p.has("turbo") || (p.has("nx") && has_severity_word(p.lower(), "nx"))) nx_turbo_marker = true;
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

    cargo_headers += mark(text::starts_with_any(t, {"error:", "error[", "warning:", "warning["}));
    // Every located diagnostic shape, note and file:line frame holds a ":";
    // on a line without one those tests cannot succeed and are skipped.
    const bool located = t.find(':') != std::string_view::npos;

    cargo_arrows += mark(located && t.starts_with("--> ") && has_line_col_suffix(t));
    bool bar = mark(is_rust_source_bar_line(t));
    rust_bars += bar;
    progress += note(is_progress_line(p), kProgressRole);

    tsc += mark(note(located && is_tsc_diagnostic_line(p), kTscRole));
    eslint_issues += mark(note(located && is_eslint_issue_line(p), kEslintIssueRole));
    eslint_headers += note(is_eslint_file_header(p), kEslintHeaderRole);
    bool mypy = mark(note(located && parse_mypy_diagnostic_line(t).has_value(), kMypyRole));
    mypy_diagnostics += mypy;
    ruff += mark(note(located && is_ruff_diagnostic_line(p), kRuffRole));
    pyright += mark(located && is_pyright_diagnostic_line(p));
    biome += mark(note(located && is_biome_diagnostic_line(p), kBiomeRole));
    oxlint += mark(note(located && is_oxlint_diagnostic_line(p), kOxlintRole));
    oxlint_frames += mark(note(located && is_oxlint_frame_line(t), kOxlintFrameRole));

    shellcheck_headers += mark(note(located && is_shellcheck_header_line(p), kShellcheckHeaderRole));
    shellcheck += mark(is_shellcheck_diagnostic_line(p));
    shellcheck_gcc += located && is_shellcheck_gcc_diagnostic_line(p);
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
    swift_diagnostics += c_family_line && text::contains(t, ".swift:");

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
        (text::contains(t, "[") && text::contains(t, "]") && mypy) || final_summary)
        ++mypy_signals;

    mark(note(located && is_note_help_line(t), kNoteHelpRole));
    if (!important) mark(is_lint_source_context_line(t));
    note(is_pyright_file_header(p), kPyrightHeaderRole);
    if (important) return roles | kImportantRole;

    // What the filter may still keep of a line that no shape accepts.
    note(states_build_failure(p), kFailureStatementRole);
    if (located) {
        note(go_located_message(p).has_value(), kGoLocatedRole);
        auto split = split_path_after_extension(p, kBiomeSources);
        note(split && consume_line_col_then_space(split->rest).has_value(), kBiomeLocatedRole);
    }
    note(text::starts_with_any(t, {"× ", "x ", "! ", "⚠ "}), kMarkedHeadingRole);
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

// The candidate with the highest score; among equal scores the tool name
// that is greater byte by byte.
std::optional<Candidate> pick_winner(const std::vector<Candidate>& candidates) {
    std::optional<Candidate> best;
    for (const auto& c : candidates)
        if (!best || c.score > best->score || (c.score == best->score && c.tool > best->tool)) best = c;
    return best;
}

// A text that holds a diff is a diff, even where its removed and added lines
// read like diagnostics: it is left to the filters that know diffs.
bool is_diff_header(std::string_view t) {
    return text::starts_with_any(t, {"diff --git ", "diff --cc ", "@@ -"});
}

// ------------------------------------------------ the light first look --
//
// Most texts are of other kinds, and twenty filters read every text, so a
// text is turned away before it is split and tallied when no line can give
// any tool its candidacy. Every candidacy needs a line of one of these
// kinds: a line that starts with a tool's word (a cargo or driver header, an
// eslint location, a make or linker-driver line ...), a source extension or
// the word "error" or "warning" around a ":", or a shellcheck code. A
// maven/gradle or nx/turbo line counts only beside its tool's marker phrase.

// What the start of one line (trimmed, colour codes removed) allows.
struct StartHints {
    bool may_qualify = false;   // a line some candidacy other than the two below needs
    bool may_be_maven = false;  // a maven/gradle line
    bool may_be_nx = false;     // an nx/turbo line
};

StartHints hint_by_start(std::string_view t) {
    StartHints h;
    switch (t[0]) {
    case 'e': case 'E': case 'w': case 'W': case 'l': case 'L': case 'c': case 'C':
        h.may_qualify = text::starts_with_any_ignore_case(
            t, {"erro", "warning", "level=error", "level=fatal", "cmake error at ", "cmake warning at "});
        break;
    case 'n': case 'N':
        h.may_qualify = text::starts_with_ignore_case(t, "ninja: build stopped:");
        h.may_be_nx = t.starts_with("NX   ");
        break;
    case 'm': case 'M':
        h.may_qualify = text::starts_with_ignore_case(t, "make") && text::contains(t, "***");
        break;
    case '*':
        h.may_qualify = t == "** BUILD FAILED **";
        h.may_be_maven = text::starts_with_any(t, {"* What went wrong:", "* Try:"});
        break;
    case 't': case 'T':
        h.may_qualify = t.starts_with("The following build commands failed:");
        h.may_be_nx = text::starts_with_ignore_case(t, "tasks:");
        break;
    case 'f': case 'F':
        // "FAILURE:" is maven's; "Failed:" and "failed task" nx's.
        h.may_be_maven = t.starts_with("FAILURE:");
        h.may_be_nx = text::starts_with_ignore_case(t, "fail");
        break;
    case '[':
        h.may_be_maven = text::starts_with_any(t, {"[ERROR] ", "[WARNING] "});
        break;
    case '>':
        h.may_be_maven = t.starts_with("> Task ");
        break;
    case '-':
        h.may_be_nx = t.starts_with("- ") && (text::contains(t, "#") || text::contains(t, ":"));
        break;
    case '!':
        h.may_qualify = t.starts_with("! ");
        break;
    case '\xC3':  // "×"
        h.may_qualify = t.starts_with("× ");
        break;
    case '\xE2':  // "•"
        h.may_be_nx = t.starts_with("• Running target");
        break;
    case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9':
        h.may_qualify = summary::after_line_col_severity(t).has_value();
        break;
    default:
        break;
    }
    return h;
}

// The visible ASCII bytes that start no line `hint_by_start` or
// `is_diff_header` looks at.
constexpr std::array<bool, 256> kPlainStart = [] {
    std::array<bool, 256> plain{};
    for (int c = '!'; c <= '~'; ++c) plain[c] = true;
    for (char c : std::string_view("eEwWlLcCnNmM*tTfF[>-!0123456789d@")) plain[static_cast<unsigned char>(c)] = false;
    return plain;
}();

// Every source extension that a located classifier looks for.
constexpr std::string_view kLocatedExtensions[] = {
    "py",  "pyi", "js",  "jsx",  "ts",  "tsx",   "mjs", "cjs", "json", "jsonc", "css", "md",  "mdx", "vue", "svelte",
    "astro", "yaml", "yml", "go", "swift", "cpp", "cxx", "hpp", "cc",  "hh",    "mm",  "c",   "h",   "m",
};
constexpr std::size_t kLongestExtension = 6;

// The letters right before `colon` follow a dot and name one of those
// extensions (ASCII case folded: the tsc test reads the lowercased line).
bool located_extension_before(std::string_view t, std::size_t colon) {
    std::size_t start = colon;
    while (start > 0 && colon - start <= kLongestExtension && text::is_ascii_alpha(t[start - 1])) --start;
    std::size_t n = colon - start;
    if (n == 0 || n > kLongestExtension || start == 0 || t[start - 1] != '.') return false;
    std::string_view ext = t.substr(start, n);
    for (auto known : kLocatedExtensions)
        if (text::equals_ignore_case(ext, known)) return true;
    return false;
}

enum class Sign { kNone, kQualify, kEscape };

// The sign that the byte at `i` (a ":", an ESC or an "S") gives.
inline Sign sign_at(std::string_view t, std::size_t i) {
    switch (t[i]) {
    case ':':
        // ": error" / ": warning" (tsc, msbuild, eslint) or a source
        // extension right before it and a line number after it (every
        // located diagnostic).
        if (i + 2 < t.size() && t[i + 1] == ' ' && ((t[i + 2] | 0x20) == 'e' || (t[i + 2] | 0x20) == 'w') &&
            text::starts_with_any_ignore_case(t.substr(i + 2), {"error", "warning"}))
            return Sign::kQualify;
        return i > 0 && i + 1 < t.size() && text::is_ascii_alpha(t[i - 1]) && text::is_ascii_digit(t[i + 1]) &&
                       located_extension_before(t, i)
                   ? Sign::kQualify
                   : Sign::kNone;
    case '\x1b':
        return Sign::kEscape;
    case 'S':
        return summary::is_shellcheck_code_at(t, i) ? Sign::kQualify : Sign::kNone;
    default:
        return Sign::kNone;
    }
}

// The signs of the bytes from `i` on; `i` ends where the search stopped.
Sign scan_signs(std::string_view t, std::size_t& i) {
    for (; i < t.size(); ++i)
        if (Sign s = sign_at(t, i); s != Sign::kNone) return s;
    return Sign::kNone;
}

#if defined(__x86_64__) && defined(__GNUC__)
// The bytes that can give a sign, found thirty-two at a time: the colons
// that a digit follows (as in "a.c:12") unless one precedes them too (a
// clock time), the colons before " e" or " w", the ESCs, and the "S"s
// before a "C". Every source extension that `sign_at` accepts stands before
// a line number, so no sign is left out. `i` ends where the search stopped.
#define QUORVANE_WIDE __attribute__((target("avx2"), always_inline)) inline
QUORVANE_WIDE __m256i load(std::string_view t, std::size_t at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t.data() + at));
}
QUORVANE_WIDE __m256i equals(__m256i v, char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); }
QUORVANE_WIDE __m256i digits(__m256i v) {
    const __m256i d = _mm256_sub_epi8(v, _mm256_set1_epi8('0'));
    return _mm256_cmpeq_epi8(_mm256_min_epu8(d, _mm256_set1_epi8(9)), d);
}
#undef QUORVANE_WIDE

__attribute__((target("avx2"))) Sign first_sign_wide(std::string_view t, std::size_t& i) {
    constexpr std::size_t kBlock = 32, kAhead = 2;
    if (t.size() < kBlock + kAhead + 1) return Sign::kNone;
    if (Sign s = sign_at(t, 0); s != Sign::kNone) return s;
    for (i = 1; i + kBlock + kAhead <= t.size(); i += kBlock) {
        const __m256i v = load(t, i), after = load(t, i + 1);
        const __m256i word = _mm256_or_si256(load(t, i + 2), _mm256_set1_epi8(0x20));
        const __m256i number = _mm256_andnot_si256(digits(load(t, i - 1)), digits(after));
        const __m256i severity =
            _mm256_and_si256(equals(after, ' '), _mm256_or_si256(equals(word, 'e'), equals(word, 'w')));
        const __m256i hits = _mm256_or_si256(
            _mm256_or_si256(_mm256_and_si256(equals(v, ':'), _mm256_or_si256(number, severity)), equals(v, '\x1b')),
            _mm256_and_si256(equals(v, 'S'), equals(after, 'C')));
        for (auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(hits)); mask != 0; mask &= mask - 1)
            if (Sign s = sign_at(t, i + static_cast<std::size_t>(__builtin_ctz(mask))); s != Sign::kNone) return s;
    }
    return Sign::kNone;
}
#endif

// The first sign in `t` other than none.
Sign first_sign(std::string_view t) {
    std::size_t i = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx2"))
        if (Sign s = first_sign_wide(t, i); s != Sign::kNone) return s;
#endif
    return scan_signs(t, i);
}

// The marker phrases without which a maven/gradle line names no tool.
constexpr auto kMavenMarkers = text::WordSet<5>::of({
    "maven-surefire-plugin", "build failure", "gradle", "> task ", "execution failed for task"});

bool has_nx_marker(std::string_view text) {
    return text::contains_ignore_case(text, "turbo") || summary::has_severity_word(text, "nx");
}

// False when no line of the text can give any tool a candidacy, or when a
// line is a diff header: `detect_build_compiler_diagnostics` is then sure to
// decline it.
bool may_name_a_tool(const text::LineIndex& lines) {
    std::size_t non_blank = 0;
    bool qualifies = false, maven_line = false, nx_line = false;
    const std::string_view text = lines.text();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // Most lines start with a byte that begins no shape and no diff
        // header; they are counted without being looked at further.
        const std::size_t at = lines.start(i);
        if (at < text.size() && kPlainStart[static_cast<unsigned char>(text[at])]) {
            ++non_blank;
            continue;
        }
        // Digits start a shape only as "line:column" (a clock or a date does not).
        if (at < text.size() && text::is_ascii_digit(text[at])) {
            const std::size_t end = at + text::digit_run(text, at);
            if (end + 1 >= text.size() || text[end] != ':' || !text::is_ascii_digit(text[end + 1])) {
                ++non_blank;
                continue;
            }
        }
        std::string_view t = text::trim_start(lines[i]);
        if (t.empty()) continue;
        ++non_blank;
        if (is_diff_header(t)) return false;
        StartHints h = hint_by_start(t);
        // The tally declines a text of one line and any diff that comes later.
        qualifies = qualifies || h.may_qualify;
        if (qualifies && non_blank >= 2) return true;
        maven_line = maven_line || h.may_be_maven;
        nx_line = nx_line || h.may_be_nx;
    }
    if (non_blank < 2) return false;
    if (qualifies) return true;

    switch (first_sign(text)) {
    case Sign::kQualify:
        return true;
    case Sign::kEscape: {
        // Colour codes split the shapes: look at each line again without them.
        for (std::string_view line : lines) {
            if (line.find('\x1b') == std::string_view::npos) continue;
            std::string stripped = text::strip_ansi(line);
            std::string_view t = text::trim(stripped);
            if (t.empty()) continue;
            StartHints h = hint_by_start(t);
            if (h.may_qualify || first_sign(t) == Sign::kQualify) return true;
            maven_line = maven_line || h.may_be_maven;
            nx_line = nx_line || h.may_be_nx;
        }
        break;
    }
    case Sign::kNone:
        break;
    }
    return (maven_line && kMavenMarkers.found_in(text)) || (nx_line && has_nx_marker(text));
}

}  // namespace

std::optional<BuildCompilerDiagnostics> detect_build_compiler_diagnostics(const text::LineIndex& lines,
                                                                          PreparedLines* prepared) {
    if (!may_name_a_tool(lines)) return std::nullopt;

    // The non-blank lines, colour codes removed (only lines that carry an
    // escape need a copy), each tallied as it is met.
    PreparedLines local;
    PreparedLines& out = prepared ? *prepared : local;
    out.stripped.clear();
    out.lines.clear();
    Tally tally;
    PreparedLine p;
    for (std::string_view raw : lines) {
        std::string_view s = raw;
        if (s.find('\x1b') != std::string_view::npos) {
            out.stripped.push_back(text::strip_ansi(s));
            s = out.stripped.back();
        }
        s = text::trim_end(s);
        p.assign(s);
        if (p.text().empty()) continue;
        if (out.lines.empty() && text::starts_with_ignore_case(p.text(), "test output:")) return std::nullopt;
        if (is_diff_header(p.text())) return std::nullopt;
        out.lines.push_back({s, tally.add(p)});
        if (tally.claimed_by_tests) return std::nullopt;
    }
    if (out.lines.size() < 2) return std::nullopt;

    auto winner = pick_winner(score_tools(tally));
    if (!winner) return std::nullopt;

    BuildCompilerDiagnostics found;
    found.tool = winner->tool;
    std::string_view tool = winner->tool;
    found.has_error = tally.error_signal;
    if (!found.has_error) {
        if (tool == "ruff") found.has_error = tally.ruff > 0;
        else if (tool == "go-build") found.has_error = tally.go_diagnostics > 0;
        else if (tool == "biome" || tool == "oxlint") found.has_error = !tally.warning_signal;
        else if (tool == "markdownlint" || tool == "golangci-lint") found.has_error = true;
    }
    found.has_warning = tally.warning_signal || tool == "yamllint" || tool == "shellcheck";
    return found;
}

}  // namespace filters::build_compiler::detector
