// Which tool printed a text: a first look that turns most other texts away
// cheaply, then one pass that classifies every line, scores the nineteen
// tools and keeps each line's roles for the filter.
#include "filters/build_compiler/detector.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>

#include "filters/build_compiler/summary.h"
#include "filters/filter.h"
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
    "cargo/rustc",    "tsc",          "eslint",           "mypy",     "ruff",          "pyright",   "biome",
    "oxlint",         "shellcheck",   "markdownlint",     "yamllint", "golangci-lint", "gcc/clang", "go-build",
    "msbuild/dotnet", "maven/gradle", "make/ninja/cmake", "nx/turbo", "swift/xcode",
};

// A text of fewer non-blank lines is never a diagnostic run.
constexpr std::size_t kMinLines = 2;
// Diagnostics that name their tool without any summary or header line:
// mypy's, and those of the other tools that need a second one.
constexpr std::uint64_t kMypyDiagnosticsAlone = 3;
constexpr std::uint64_t kLintDiagnosticsAlone = 2;

struct Candidate {
    std::string_view tool;
    std::uint64_t score;
};

// What the tools' scores and flags count: lines that a classifier accepts,
// and lines that hold a phrase some score or flag asks about.
enum Count : unsigned {
    kCargoHeaders,
    kCargoArrows,
    kRustBars,
    kProgress,
    kTsc,
    kEslintIssues,
    kEslintHeaders,
    kEslintSummaries,
    kMypyDiagnostics,
    kMypySignals,
    kRuff,
    kRuffSummaries,
    kPyright,
    kPyrightSummaries,
    kBiome,
    kBiomeSummaries,
    kOxlint,
    kOxlintFrames,
    kOxlintSummaries,
    kShellcheckHeaders,
    kShellcheck,
    kShellcheckGcc,
    kMarkdownlint,
    kYamllint,
    kYamllintHeaders,
    kGolangciIssues,
    kGolangciRunnerErrors,
    kGolangciSummaries,
    kCFamily,
    kCFamilyContext,
    kGoHeaders,
    kGoDiagnostics,
    kMsbuild,
    kMsbuildSummaries,
    kMavenGradle,
    kMakeNinjaCmake,
    kNxTurbo,
    kSwiftDiagnostics,
    kSwiftFailures,
    kAnyFinalSummary,
    kErrorSignal,
    kWarningSignal,
    kRustAborted,
    kNamesMarkdownlint,
    kNamesYamllint,
    kNamesGolangci,
    kSaysGolangci,
    kCFamilyMarker,
    kMsbuildMarker,
    kMavenGradleMarker,
    kNxTurboMarker,
    kXcodeMarker,
    kClaimedByTests,
    kCountKinds
};
static_assert(kCountKinds <= 64);

// Everything the tally learns from one line: one bit for each count that
// the line adds to, and the line's roles for the filter.
struct LineFacts {
    std::uint64_t counts = 0;
    std::uint32_t roles = 0;
};

// The counts over the lines seen so far.
struct Tally {
    std::array<std::uint64_t, kCountKinds> n{};

    std::uint64_t operator[](Count c) const { return n[c]; }
    void add(LineFacts facts) {
        for (std::uint64_t bits = facts.counts; bits != 0; bits &= bits - 1) ++n[std::countr_zero(bits)];
    }
};

LineFacts classify(const PreparedLine& p, bool skip_error, bool skip_warning) {
    LineFacts facts;
    auto set = [&facts](Count c, bool yes) {
        if (yes) facts.counts |= std::uint64_t{1} << c;
        return yes;
    };
    std::string_view t = p.text();

    set(kClaimedByTests, p.has_any({"test session starts", "short test summary info",
                                    "test result:", "traceback (most recent call last)"}));
    set(kRustAborted, p.has_any({"could not compile", "aborting due to"}));
    set(kNamesMarkdownlint, p.has("markdownlint"));
    set(kNamesYamllint, p.has("yamllint"));
    set(kNamesGolangci, set(kSaysGolangci, p.has("golangci-lint")) || p.has("level=info"));
    set(kCFamilyMarker, p.has_any({"build failed", "compilation terminated"}));
    set(kMsbuildMarker, p.has_any({"build failed", "msbuild", "dotnet build"}));
    set(kMavenGradleMarker, p.has_any({"maven-surefire-plugin", "[error] build failure", "build failure", "gradle",
                                       "> task ", "execution failed for task"}));
    // "nx" as a word of its own: "Lynx" names no build tool.
    set(kNxTurboMarker, p.has("turbo") || (p.has("nx") && has_severity_word(p.lower(), "nx")));
    set(kXcodeMarker, p.has_any({"xcodebuild", "swiftcompile", "** build failed **"}));

    // Once the run has shown a signal, later lines need not be asked again.
    if (!skip_error) set(kErrorSignal, line_has_error_signal(p));
    if (!skip_warning) set(kWarningSignal, line_has_warning_signal(p));

    // Every answer below is counted for the score and, where the filter's
    // choices rest on it, kept as one bit of the line's roles.
    std::uint32_t& roles = facts.roles;
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

    set(kCargoHeaders, mark(text::starts_with_any(t, {"error:", "error[", "warning:", "warning["})));
    // Every located diagnostic shape, note and file:line frame holds a ":";
    // on a line without one those tests cannot succeed and are skipped.
    const bool located = t.find(':') != std::string_view::npos;

    set(kCargoArrows, mark(located && t.starts_with("--> ") && has_line_col_suffix(t)));
    bool bar = mark(is_rust_source_bar_line(t));
    set(kRustBars, bar);
    set(kProgress, note(is_progress_line(p), kProgressRole));

    set(kTsc, mark(note(located && is_tsc_diagnostic_line(p), kTscRole)));
    set(kEslintIssues, mark(note(located && is_eslint_issue_line(p), kEslintIssueRole)));
    set(kEslintHeaders, note(is_eslint_file_header(p), kEslintHeaderRole));
    bool mypy = mark(note(located && parse_mypy_diagnostic_line(t).has_value(), kMypyRole));
    set(kMypyDiagnostics, mypy);
    set(kRuff, mark(note(located && is_ruff_diagnostic_line(p), kRuffRole)));
    set(kPyright, mark(located && is_pyright_diagnostic_line(p)));
    set(kBiome, mark(note(located && is_biome_diagnostic_line(p), kBiomeRole)));
    set(kOxlint, mark(note(located && is_oxlint_diagnostic_line(p), kOxlintRole)));
    set(kOxlintFrames, mark(note(located && is_oxlint_frame_line(t), kOxlintFrameRole)));

    set(kShellcheckHeaders, mark(note(located && is_shellcheck_header_line(p), kShellcheckHeaderRole)));
    set(kShellcheck, mark(is_shellcheck_diagnostic_line(p)));
    set(kShellcheckGcc, located && is_shellcheck_gcc_diagnostic_line(p));
    set(kMarkdownlint, mark(located && is_markdownlint_diagnostic_line(p)));
    set(kYamllint, mark(located && is_yamllint_diagnostic_line(p)));
    set(kYamllintHeaders, note(is_yamllint_file_header(p), kYamllintHeaderRole));
    set(kGolangciIssues, mark(located && is_golangci_lint_issue_line(p)));
    set(kGolangciRunnerErrors, mark(is_golangci_lint_runner_error_line(p)));

    bool c_family_line = mark(note(located && is_c_family_diagnostic_line(p), kCFamilyRole));
    set(kCFamily, c_family_line);
    set(kCFamilyContext, bar);  // the same rule as a Rust source bar
    set(kGoHeaders, mark(note(is_go_build_package_header(p), kGoHeaderRole)));
    set(kGoDiagnostics, mark(located && is_go_build_diagnostic_line(p)));
    set(kMsbuild, mark(is_msbuild_diagnostic_line(p)));
    set(kSwiftDiagnostics, c_family_line && text::contains(t, ".swift:"));

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
    set(kEslintSummaries, eslint_summary);
    set(kRuffSummaries, ruff_summary);
    set(kPyrightSummaries, pyright_summary);
    set(kBiomeSummaries, biome_summary);
    set(kOxlintSummaries, oxlint_summary);
    set(kGolangciSummaries, golangci_summary);
    set(kMsbuildSummaries, mark(msbuild_summary));
    set(kMavenGradle, mark(maven_gradle_line));
    set(kMakeNinjaCmake, mark(make_line));
    set(kNxTurbo, mark(nx_turbo_line));
    set(kSwiftFailures, mark(swift_failure));
    // As `is_final_summary_line`.
    bool final_summary = mark(note(has_final_summary_phrase(p) || eslint_summary || ruff_summary || pyright_summary ||
                                       biome_summary || oxlint_summary || golangci_summary || msbuild_summary ||
                                       maven_gradle_line || make_line || nx_turbo_line || swift_failure,
                                   kFinalSummaryRole));
    set(kAnyFinalSummary, final_summary);
    if ((p.has("found ") && p.has(" error") && p.has(" file")) || p.has("success: no issues found") ||
        (text::contains(t, "[") && text::contains(t, "]") && mypy) || final_summary)
        set(kMypySignals, true);

    mark(note(located && is_note_help_line(t), kNoteHelpRole));
    if (!important) mark(is_lint_source_context_line(t));
    note(is_pyright_file_header(p), kPyrightHeaderRole);
    if (important) {
        roles |= kImportantRole;
        return facts;
    }

    // What the filter may still keep of a line that no shape accepts.
    note(states_build_failure(p), kFailureStatementRole);
    if (located) {
        note(go_located_message(p).has_value(), kGoLocatedRole);
        auto split = split_path_after_extension(p, kBiomeSources);
        note(split && consume_line_col_then_space(split->rest).has_value(), kBiomeLocatedRole);
    }
    note(text::starts_with_any(t, {"× ", "x ", "! ", "⚠ "}), kMarkedHeadingRole);
    return facts;
}

// The facts of lines seen before, found by their text. Build logs repeat
// lines (a header's warnings reach every file that includes it), so a line
// met again is not classified again. A direct-mapped table: a lookup is one
// probe, a newer line takes an older one's slot, and the memory is fixed.
class SeenLines {
public:
    // A table no larger than the text needs, up to kMaxSlots.
    explicit SeenLines(std::size_t lines)
        : slots_(std::bit_ceil(std::clamp<std::size_t>(lines, kMinSlots, kMaxSlots))), mask_(slots_.size() - 1) {}

    const LineFacts* find(std::string_view t, std::size_t hash) const {
        const Slot& slot = slots_[hash & mask_];
        return slot.hash == hash && slot.text.data() != nullptr && slot.text == t ? &slot.facts : nullptr;
    }
    // `t` is kept as a view where `in_text` (it lies in the text), else
    // copied for its slot (a line whose colour codes were removed). The
    // copies stand apart, so that the slots stay small.
    void remember(std::string_view t, bool in_text, std::size_t hash, LineFacts facts) {
        const std::size_t at = hash & mask_;
        Slot& slot = slots_[at];
        if (in_text) {
            slot.text = t;
        } else {
            if (copies_.empty()) copies_.resize(slots_.size());
            copies_[at].assign(t);
            slot.text = copies_[at];
        }
        slot.hash = hash;
        slot.facts = facts;
    }

private:
    static constexpr std::size_t kMinSlots = 16;
    static constexpr std::size_t kMaxSlots = std::size_t{1} << 14;
    struct Slot {
        std::string_view text;
        std::size_t hash = 0;
        LineFacts facts;
    };
    std::vector<Slot> slots_;
    std::vector<std::string> copies_;  // by slot, for lines that are not in the text
    std::size_t mask_;
};

std::vector<Candidate> score_tools(const Tally& n) {
    std::vector<Candidate> out;
    auto offer = [&](std::size_t index, bool qualifies, std::uint64_t score) {
        if (qualifies && score > 0) out.push_back({kToolNames[index], score});
    };
    offer(0, n[kCargoHeaders] >= 1 && (n[kCargoArrows] >= 1 || n[kRustBars] >= 1 || n[kRustAborted]),
          3 * n[kCargoHeaders] + 2 * n[kCargoArrows] + n[kRustBars] + n[kProgress]);
    offer(1, n[kTsc] >= 1, 4 * n[kTsc]);
    offer(2, n[kEslintIssues] >= 1 && (n[kEslintHeaders] >= 1 || n[kEslintSummaries] >= 1),
          3 * n[kEslintIssues] + n[kEslintHeaders] + 2 * n[kEslintSummaries]);
    offer(3, n[kMypyDiagnostics] >= 1 && (n[kMypySignals] >= 1 || n[kMypyDiagnostics] >= kMypyDiagnosticsAlone),
          3 * n[kMypyDiagnostics] + 2 * n[kMypySignals]);
    offer(4, n[kRuff] >= 1 && (n[kRuffSummaries] >= 1 || n[kRuff] >= kLintDiagnosticsAlone),
          4 * n[kRuff] + 2 * n[kRuffSummaries]);
    offer(5, n[kPyright] >= 1 && (n[kPyrightSummaries] >= 1 || n[kPyright] >= kLintDiagnosticsAlone),
          4 * n[kPyright] + 2 * n[kPyrightSummaries]);
    offer(6, n[kBiome] >= 1 && (n[kBiomeSummaries] >= 1 || n[kBiome] >= kLintDiagnosticsAlone),
          3 * n[kBiome] + 2 * n[kBiomeSummaries]);
    offer(7, n[kOxlint] >= 1 && (n[kOxlintFrames] + n[kOxlintSummaries] >= 1 || n[kOxlint] >= kLintDiagnosticsAlone),
          4 * n[kOxlint] + 2 * (n[kOxlintFrames] + n[kOxlintSummaries]));
    offer(8,
          n[kShellcheck] >= 1 &&
              (n[kShellcheckGcc] >= 1 || n[kShellcheckHeaders] >= 1 || n[kShellcheck] >= kLintDiagnosticsAlone),
          4 * n[kShellcheck] + 2 * n[kShellcheckHeaders]);
    offer(9,
          n[kMarkdownlint] >= kLintDiagnosticsAlone ||
              (n[kMarkdownlint] == 1 && (n[kNamesMarkdownlint] || n[kAnyFinalSummary])),
          4 * n[kMarkdownlint]);
    offer(10,
          n[kYamllint] >= 1 && (n[kYamllintHeaders] >= 1 || n[kYamllint] >= kLintDiagnosticsAlone || n[kNamesYamllint]),
          4 * n[kYamllint] + n[kYamllintHeaders]);
    offer(11,
          n[kGolangciIssues] >= kLintDiagnosticsAlone ||
              (n[kGolangciIssues] == 1 &&
               (n[kGolangciSummaries] >= 1 || n[kGolangciRunnerErrors] >= 1 || n[kSaysGolangci])) ||
              (n[kGolangciIssues] == 0 && n[kGolangciRunnerErrors] >= 1 && (n[kNamesGolangci] || n[kProgress] >= 1)),
          4 * n[kGolangciIssues] + 3 * n[kGolangciRunnerErrors] + n[kGolangciSummaries]);
    offer(12,
          n[kCFamily] >= kLintDiagnosticsAlone || (n[kCFamily] == 1 && (n[kCFamilyContext] >= 1 || n[kCFamilyMarker])),
          4 * n[kCFamily] + n[kCFamilyContext] + (n[kCFamilyMarker] ? 2 : 0));
    offer(13, n[kGoHeaders] >= 1 && n[kGoDiagnostics] >= 1, 2 * n[kGoHeaders] + 4 * n[kGoDiagnostics]);
    offer(14, n[kMsbuild] >= 1 && (n[kMsbuildSummaries] >= 1 || n[kMsbuildMarker]),
          4 * n[kMsbuild] + 2 * n[kMsbuildSummaries] + (n[kMsbuildMarker] ? 1 : 0));
    offer(15, n[kMavenGradle] >= 1 && n[kMavenGradleMarker], 3 * n[kMavenGradle] + 2);
    offer(16, n[kMakeNinjaCmake] >= 1, 4 * n[kMakeNinjaCmake]);
    offer(17, n[kNxTurbo] >= 1 && n[kNxTurboMarker], 3 * n[kNxTurbo] + 2);
    offer(18, n[kSwiftFailures] >= 1 || (n[kSwiftDiagnostics] >= 1 && n[kXcodeMarker]),
          4 * n[kSwiftDiagnostics] + 3 * n[kSwiftFailures] + (n[kXcodeMarker] ? 1 : 0));
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
bool is_diff_header(std::string_view t) { return text::starts_with_any(t, {"diff --git ", "diff --cc ", "@@ -"}); }

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
        case 'e':
        case 'E':
        case 'w':
        case 'W':
        case 'l':
        case 'L':
        case 'c':
        case 'C':
            h.may_qualify = text::starts_with_any_ignore_case(
                t, {"erro", "warning", "level=error", "level=fatal", "cmake error at ", "cmake warning at "});
            break;
        case 'n':
        case 'N':
            h.may_qualify = text::starts_with_ignore_case(t, "ninja: build stopped:");
            h.may_be_nx = t.starts_with("NX   ");
            break;
        case 'm':
        case 'M':
            h.may_qualify = text::starts_with_ignore_case(t, "make") &&
                            (text::contains(t, "***") || text::contains_ignore_case(t, summary::kMakeNotRemade));
            break;
        case '*':
            h.may_qualify = t == "** BUILD FAILED **";
            h.may_be_maven = text::starts_with_any(t, {"* What went wrong:", "* Try:"});
            break;
        case 't':
        case 'T':
            h.may_qualify = t.starts_with("The following build commands failed:");
            h.may_be_nx = text::starts_with_ignore_case(t, "tasks:");
            break;
        case 'f':
        case 'F':
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
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9':
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

// Whether a line that starts with the letters `a` and `b` may start one of
// the words of `hint_by_start` or a diff header.
bool may_start_a_shape(char a, char b) {
    const char second = text::to_lower_ascii(b);
    switch (text::to_lower_ascii(a)) {
        case 'e':
            return second == 'r';  // error
        case 'w':
        case 'm':
        case 't':
        case 'f':
            return second == 'a' || (a == 'T' && b == 'h');  // warning, make, tasks, fail; The
        case 'l':
            return second == 'e';  // level=
        case 'c':
            return second == 'm';  // cmake
        case 'n':
            return second == 'i' || (a == 'N' && b == 'X');  // ninja, NX
        case 'd':
            return a == 'd' && b == 'i';  // diff
        default:
            return true;
    }
}

// Every source extension that a located classifier looks for.
constexpr std::string_view kLocatedExtensions[] = {
    "py",    "pyi",  "js",  "jsx", "ts",    "tsx", "mjs", "cjs", "json", "jsonc", "css", "md", "mdx", "vue", "svelte",
    "astro", "yaml", "yml", "go",  "swift", "cpp", "cxx", "hpp", "cc",   "hh",    "mm",  "c",  "h",   "m",
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
            // A shellcheck code, or the "[SC" that marks its gcc-style lines.
            return summary::is_shellcheck_code_at(t, i) || (i > 0 && t[i - 1] == '[' && t.substr(i, 2) == "SC")
                       ? Sign::kQualify
                       : Sign::kNone;
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
constexpr auto kMavenMarkers =
    text::WordSet<5>::of({"maven-surefire-plugin", "build failure", "gradle", "> task ", "execution failed for task"});

bool has_nx_marker(std::string_view text) {
    return text::contains_ignore_case(text, "turbo") || summary::has_severity_word(text, "nx");
}

// False when no line of the text can give any tool a candidacy, or when a
// line is a diff header: `detect_build_compiler_diagnostics` is then sure to
// decline it.
bool may_name_a_tool_by_lines(const text::LineIndex& lines) {
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
        // A letter starts a shape only with the second letter of its word.
        if (at + 1 < text.size() && text::is_ascii_alpha(text[at]) && !may_start_a_shape(text[at], text[at + 1])) {
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
        std::string_view t = text::trim(lines[i]);
        if (t.empty()) continue;
        ++non_blank;
        if (is_diff_header(t)) return false;
        StartHints h = hint_by_start(t);
        // The tally declines a text of one line and any diff that comes later.
        qualifies = qualifies || h.may_qualify;
        if (qualifies && non_blank >= kMinLines) return true;
        maven_line = maven_line || h.may_be_maven;
        nx_line = nx_line || h.may_be_nx;
    }
    if (non_blank < kMinLines) return false;
    if (qualifies) return true;

    switch (first_sign(text)) {
        case Sign::kQualify:
            return true;
        case Sign::kEscape: {
            // Colour codes split the shapes: look at each line again, without
            // them where it has some.
            for (std::string_view line : lines) {
                if (line.find('\x1b') == std::string_view::npos) {
                    if (first_sign(line) == Sign::kQualify) return true;
                    continue;
                }
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

#if defined(__x86_64__) && defined(__GNUC__)
// ------------------------------------------------ the wide first look --
//
// The same first look over sixty-four bytes at a time, without the line
// index: the first non-blank byte of every line is found with masks, and
// only the lines whose first byte may start a shape, and the bytes that may
// give a sign, are read one by one. When that look lets a text through, a
// second sweep asks whether any line can be one that a tool's candidacy
// needs (every such line holds one of a few anchors, listed at
// `anchor_sweep`); the tally is sure to decline a text that has none.

enum class Look { kDecline, kPass, kByLines };

// The line starts that the first look and the sweep read, by their first
// two bytes, one bit per group: a letter with the second letter of a word
// `hint_by_start` or `is_diff_header` knows (as `may_start_a_shape`), a mark
// with what follows it in those words ("- ", "* ", "**", "[E", "@@", "# "
// ...), or a control byte, which the trim may remove (DEL starts nothing).
// Digits are left to the caller. A lookup may let more through, never less.
struct PairSet {
    std::array<char, 32> low[2]{};
    std::array<char, 32> high[2]{};
};

constexpr PairSet kLineStarts = [] {
    struct Group {
        std::string_view first, second;
        bool fold;
    };
    // The last group also holds the first two bytes of "×", "•" and of
    // every multi-byte whitespace character (U+0085, U+00A0, U+1680,
    // U+2000 to U+205F, U+3000), which the trim removes.
    constexpr Group groups[7] = {
        {"e", "r", true},
        {"wmtf", "a", true},
        {"T-!>#", "h ", false},
        {"l", "e", true},
        {"c", "m", true},
        {"n", "i", true},
        {"Nd*@[\xC2\xC3\xE1\xE2\xE3", "Xi* @EW\x85\xA0\x97\x9A\x80\x81", false},
    };
    PairSet s;
    auto add = [&s](int k, unsigned c, int bit) {
        for (int lane = 0; lane < 32; lane += 16) {
            s.low[k][lane + (c & 15)] |= static_cast<char>(1 << bit);
            s.high[k][lane + (c >> 4)] |= static_cast<char>(1 << bit);
        }
    };
    for (int bit = 0; bit < 7; ++bit)
        for (int k = 0; k < 2; ++k)
            for (char ch : k == 0 ? groups[bit].first : groups[bit].second) {
                const auto c = static_cast<unsigned char>(ch);
                add(k, c, bit);
                if (groups[bit].fold) add(k, c ^ 0x20U, bit);
            }
    for (unsigned c = 0; c < 0x20; ++c) add(0, c, 7);
    for (unsigned c = 0; c < 256; ++c) add(1, c, 7);
    return s;
}();

// The three-byte anchors of the second sweep, one bit each, letters in
// either case: "err", "war", "not", "inf" (severity words), "fai" (failure
// phrases), "sur" ("surefire-reports"), "exi" ("command exited") and "t r"
// ("test report").
struct TripleSet {
    std::array<char, 32> low[3]{};
    std::array<char, 32> high[3]{};
};

constexpr TripleSet kTriples = [] {
    constexpr std::string_view anchors[8] = {"err", "war", "not", "inf", "fai", "sur", "exi", "t r"};
    TripleSet s;
    auto add = [&s](int k, unsigned char c, int bit) {
        for (int lane = 0; lane < 32; lane += 16) {
            s.low[k][lane + (c & 15)] |= static_cast<char>(1 << bit);
            s.high[k][lane + (c >> 4)] |= static_cast<char>(1 << bit);
        }
    };
    for (int bit = 0; bit < 8; ++bit)
        for (int k = 0; k < 3; ++k) {
            const auto c = static_cast<unsigned char>(anchors[bit][k]);
            add(k, c, bit);
            if (c >= 'a' && c <= 'z') add(k, static_cast<unsigned char>(c - 0x20), bit);
        }
    return s;
}();

#define QUORVANE_WIDE __attribute__((target("avx2"), always_inline)) inline
QUORVANE_WIDE __m256i load_at(const char* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
QUORVANE_WIDE __m256i table(const std::array<char, 32>& t) { return load_at(t.data()); }
QUORVANE_WIDE __m256i lookup(__m256i v, const std::array<char, 32>& low, const std::array<char, 32>& high) {
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    return _mm256_and_si256(_mm256_shuffle_epi8(table(low), _mm256_and_si256(v, nibble)),
                            _mm256_shuffle_epi8(table(high), _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble)));
}
QUORVANE_WIDE std::uint32_t mask_of(__m256i v) { return static_cast<std::uint32_t>(_mm256_movemask_epi8(v)); }
QUORVANE_WIDE std::uint32_t nonzero(__m256i v) { return ~mask_of(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())); }
QUORVANE_WIDE __m256i letter(__m256i v) {
    const __m256i d = _mm256_sub_epi8(_mm256_or_si256(v, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
    return _mm256_cmpeq_epi8(_mm256_min_epu8(d, _mm256_set1_epi8(25)), d);
}
#undef QUORVANE_WIDE

// Sixty-four bytes of the text from `base` on, with the byte before and the
// three after readable: past either end they read as a newline.
class Window {
public:
    explicit Window(std::string_view text) : text_(text) {}
    // A pointer to byte `base - 1` of the text, or of a padded copy.
    const char* at(std::size_t base) {
        const std::size_t n = text_.size();
        if (base >= 1 && base + kBlock + kAhead <= n) return text_.data() + base - 1;
        pad_.fill('\n');
        for (std::size_t k = 0; k < pad_.size(); ++k) {
            const std::size_t i = base + k;
            if (i >= 1 && i - 1 < n) pad_[k] = text_[i - 1];
        }
        return pad_.data();
    }
    // The bits of the block that stand for bytes of the text.
    std::uint64_t inside(std::size_t base) const {
        const std::size_t left = text_.size() - base;
        return left >= kBlock ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
    }
    static constexpr std::size_t kBlock = 64, kAhead = 3;

private:
    std::string_view text_;
    std::array<char, kBlock + kAhead + 1 + 32> pad_{};
};

// `run + starts` plus the carry out of the block before, with `carry` set to
// this block's carry out. A start bit on a run of set bits ends up on the
// first clear bit after the run, in this block or the next.
std::uint64_t carried_sum(std::uint64_t run, std::uint64_t starts, std::uint64_t& carry) {
    std::uint64_t sum = 0;
    const bool over1 = __builtin_add_overflow(run, starts, &sum);
    const bool over2 = __builtin_add_overflow(sum, carry, &sum);
    carry = (over1 || over2) ? 1 : 0;
    return sum;
}

// Where the first non-blank byte of each line stands, block by block: a
// line start is the byte after a newline (or the first byte), and the add
// carries it over the spaces and tabs that indent the line.
class LineStarts {
public:
    std::uint64_t next(std::uint64_t newlines, std::uint64_t blanks) {
        const std::uint64_t starts = (newlines << 1) | newline_carry_;
        newline_carry_ = newlines >> 63;
        return carried_sum(blanks, starts, blank_carry_) & ~blanks;
    }

private:
    std::uint64_t newline_carry_ = 1;
    std::uint64_t blank_carry_ = 0;
};

struct BlockBits {
    std::uint64_t newlines, blanks, starts, escapes;
};

__attribute__((target("avx2"), always_inline)) inline BlockBits block_bits(const char* p) {
    BlockBits b{};
    for (int half = 0; half < 2; ++half) {
        const __m256i v = load_at(p + 1 + 32 * half), after = load_at(p + 2 + 32 * half);
        const auto shift = static_cast<unsigned>(32 * half);
        b.newlines |= std::uint64_t{mask_of(equals(v, '\n'))} << shift;
        b.blanks |= std::uint64_t{mask_of(_mm256_or_si256(equals(v, ' '), equals(v, '\t')))} << shift;
        const __m256i pairs = _mm256_and_si256(lookup(v, kLineStarts.low[0], kLineStarts.high[0]),
                                               lookup(after, kLineStarts.low[1], kLineStarts.high[1]));
        b.starts |= std::uint64_t{nonzero(pairs)} << shift;
        b.escapes |= std::uint64_t{mask_of(equals(v, '\x1b'))} << shift;
    }
    return b;
}

// The trimmed line whose first non-blank byte is at `at`.
std::string_view line_from(std::string_view text, std::size_t at) {
    const std::size_t end = text.find('\n', at);
    return text::trim(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
}

// Whether the first look skips the line whose first non-blank byte is at
// `at` without reading it (as `may_name_a_tool` does).
bool skipped_start(std::string_view text, std::size_t at) {
    const char c = text[at];
    if (at + 1 < text.size() && text::is_ascii_alpha(c) && !may_start_a_shape(c, text[at + 1])) return true;
    if (text::is_ascii_digit(c)) {
        const std::size_t end = at + text::digit_run(text, at);
        if (end + 1 >= text.size() || text[end] != ':' || !text::is_ascii_digit(text[end + 1])) return true;
    }
    return false;
}

// `may_name_a_tool` without the line index. A text with colour codes is
// left to it (kByLines): they split the shapes it looks for.
__attribute__((target("avx2"))) Look first_look_wide(std::string_view text) {
    Window window(text);
    LineStarts line_starts;
    std::size_t line_start = 0;  // of the line that holds the block's first byte
    std::uint64_t number_carry = 0, digit_carry = 0;
    bool maven_line = false, nx_line = false;
    for (std::size_t base = 0; base < text.size(); base += Window::kBlock) {
        const char* p = window.at(base);
        const BlockBits b = block_bits(p);
        const std::uint64_t inside = window.inside(base);
        if (b.escapes & inside) return Look::kByLines;
        const std::uint64_t firsts = line_starts.next(b.newlines, b.blanks);
        std::uint64_t numerals = 0, colons = 0, esses = 0;
        for (int half = 0; half < 2; ++half) {
            const __m256i v = load_at(p + 1 + 32 * half);
            const auto shift = static_cast<unsigned>(32 * half);
            numerals |= std::uint64_t{mask_of(digits(v))} << shift;
            colons |= std::uint64_t{mask_of(equals(v, ':'))} << shift;
            esses |= std::uint64_t{mask_of(equals(v, 'S'))} << shift;
        }
        const auto next = static_cast<unsigned char>(p[Window::kBlock + 1]);  // the byte after the block
        const std::uint64_t digit_before = (numerals << 1) | digit_carry;
        digit_carry = numerals >> 63;
        const std::uint64_t digit_after =
            (numerals >> 1) | (std::uint64_t{text::is_ascii_digit(static_cast<char>(next))} << 63);
        const std::uint64_t blank_after = (b.blanks >> 1) | (std::uint64_t{next == ' ' || next == '\t'} << 63);
        const std::uint64_t colon_numbers = colons & digit_after;
        // Every sign stands on an "S" or on a ":" that a non-digit precedes
        // or a blank follows; most blocks of most texts (clock times
        // included) have none.
        std::uint64_t signs = 0;
        if (((colons & (~digit_before | blank_after)) | esses) & inside) {
            for (int half = 0; half < 2; ++half) {
                const char* q = p + 32 * half;
                const __m256i v = load_at(q + 1), after = load_at(q + 2);
                const __m256i word = _mm256_or_si256(load_at(q + 3), _mm256_set1_epi8(0x20));
                const __m256i colon_number = _mm256_and_si256(equals(v, ':'), digits(after));
                const __m256i severity =
                    _mm256_and_si256(equals(after, ' '), _mm256_or_si256(equals(word, 'e'), equals(word, 'w')));
                const __m256i hits =
                    _mm256_or_si256(_mm256_or_si256(_mm256_andnot_si256(digits(load_at(q)), colon_number),
                                                    _mm256_and_si256(equals(v, ':'), severity)),
                                    _mm256_and_si256(equals(v, 'S'), equals(after, 'C')));
                signs |= std::uint64_t{mask_of(hits)} << (32 * half);
            }
        }
        signs &= inside;
        for (std::uint64_t m = signs; m != 0; m &= m - 1)
            if (sign_at(text, base + static_cast<std::size_t>(std::countr_zero(m))) == Sign::kQualify)
                return Look::kPass;
        // A line that starts with digits is read only when "<digits>:" and
        // a digit open it: the ":" after the first run of digits is found.
        const std::uint64_t numbered =
            carried_sum(numerals, firsts & numerals, number_carry) & ~numerals & colon_numbers & inside;
        for (std::uint64_t m = (firsts & b.starts & ~b.newlines & inside) | numbered; m != 0; m &= m - 1) {
            const int bit = std::countr_zero(m);
            const std::uint64_t here = std::uint64_t{1} << bit;
            std::size_t at = base + static_cast<std::size_t>(bit);
            if (numbered & here) {
                const std::uint64_t earlier_newlines = b.newlines & (here - 1);
                at = earlier_newlines ? base + static_cast<std::size_t>(64 - std::countl_zero(earlier_newlines))
                                      : line_start;
            } else if (skipped_start(text, at)) {
                continue;
            }
            const std::string_view t = line_from(text, at);
            if (t.empty()) continue;
            if (is_diff_header(t)) return Look::kDecline;
            const StartHints h = hint_by_start(t);
            if (h.may_qualify) return Look::kPass;
            maven_line = maven_line || h.may_be_maven;
            nx_line = nx_line || h.may_be_nx;
        }
        if (const std::uint64_t newlines = b.newlines & inside)
            line_start = base + static_cast<std::size_t>(64 - std::countl_zero(newlines));
    }
    return (maven_line && kMavenMarkers.found_in(text)) || (nx_line && has_nx_marker(text)) ? Look::kPass
                                                                                            : Look::kDecline;
}

// The counts that some tool's candidacy needs at least one line of: every
// candidacy rests on one of these (go-build's on a package header and a
// diagnostic, so a header suffices here).
constexpr std::uint64_t kCandidacyLines = [] {
    std::uint64_t m = 0;
    for (Count c : {kCargoHeaders,
                    kTsc,
                    kEslintIssues,
                    kMypyDiagnostics,
                    kRuff,
                    kPyright,
                    kBiome,
                    kOxlint,
                    kShellcheck,
                    kMarkdownlint,
                    kYamllint,
                    kGolangciIssues,
                    kGolangciRunnerErrors,
                    kCFamily,
                    kGoHeaders,
                    kMsbuild,
                    kMavenGradle,
                    kMakeNinjaCmake,
                    kNxTurbo,
                    kSwiftFailures,
                    kSwiftDiagnostics})
        m |= std::uint64_t{1} << c;
    return m;
}();

using summary::is_word_byte;

// What a three-byte anchor at `at` stands for, read in full. A severity word
// ("error", "warning", "note", "information") has no letter, digit or "_"
// before it and a blank, ":", "[", "]", a byte of a multi-byte character or
// the end after it, the way every shape and header that needs one writes
// it. A failure phrase may stand anywhere in its line.
bool word_anchor_at(std::string_view text, std::size_t at) {
    auto phrase = [&](std::size_t back, std::string_view p) {
        return at >= back && text::starts_with_ignore_case(text.substr(at - back), p);
    };
    auto severity = [&](std::string_view word) {
        if ((at > 0 && is_word_byte(text[at - 1])) || !phrase(0, word)) return false;
        const std::size_t end = at + word.size();
        if (end == text.size()) return true;
        const auto c = static_cast<unsigned char>(text[end]);
        return c <= ' ' || c >= 0x80 || c == ':' || c == '[' || c == ']';
    };
    switch (text::to_lower_ascii(text[at])) {
        case 'e':
            return severity("error") || phrase(8, "command exited");
        case 'w':
            return severity("warning");
        case 'n':
            return severity("note");
        case 'i':
            return severity("information");
        case 'f':
            return phrase(0, "failed tasks:") || phrase(6, "build fail") || phrase(10, "execution failed for task");
        case 's':
            return phrase(0, "surefire-reports");
        case 't':
            return phrase(3, "test report");
        default:
            return false;
    }
}

bool is_blank_or_wide(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b <= ' ' || b >= 0x80;
}

// A markdownlint rule at `at` ("MD013", "MD013/line-length"), a word of its
// own after the location.
bool markdownlint_rule_at(std::string_view text, std::size_t at) {
    if (at == 0 || !is_blank_or_wide(text[at - 1]) || text::digit_run(text, at + 2) != 3) return false;
    const std::size_t end = at + 5;
    return end == text.size() || is_blank_or_wide(text[end]) || text[end] == '/';
}

// What may follow "<letter>:<line>:" when `colon` is its second ":", in the
// line that starts at `start`: the column, then what ruff (":" and a code in
// capitals) or biome (a blank and a rule group such as "lint/") write there,
// or a whole golangci-lint issue. Pyright, yamllint, tsc and the C family
// write a severity word as well, which is an anchor of its own.
bool location_anchor_at(std::string_view text, std::size_t start, std::size_t colon) {
    std::size_t eol = text.find('\n', colon);
    if (eol == std::string_view::npos) eol = text.size();
    const std::string_view line = text.substr(start, eol - start);
    const std::size_t end = colon - start + 1 + text::digit_run(line, colon - start + 1);
    if (end >= line.size()) return false;
    if (line[end] == ':') {
        std::size_t i = end + 1;
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i < line.size() && ((line[i] >= 'A' && line[i] <= 'Z') || is_blank_or_wide(line[i]))) return true;
        // A linter's name, in letters and digits, closes a golangci-lint issue.
        const std::string_view t = text::trim_end(line);
        const std::size_t open = t.rfind('(');
        if (!t.ends_with(')') || open == std::string_view::npos) return false;
        const std::string_view name = t.substr(open + 1, t.size() - open - 2);
        return !name.empty() && std::all_of(name.begin(), name.end(), text::is_ascii_alnum) &&
               parse_golangci_lint_issue_line(line).has_value();
    }
    if (!is_blank_or_wide(line[end])) return false;
    for (std::size_t slash = line.find('/', end); slash != std::string_view::npos; slash = line.find('/', slash + 1)) {
        const std::string_view before = line.substr(end, slash - end);
        for (std::string_view group : {"lint", "a11y", "style", "nursery", "complexity", "suspicious", "correctness"})
            if (before.ends_with(group)) return true;
    }
    return false;
}

// The anchors of one block of the sweep, one bit per byte.
struct Anchors {
    std::size_t base, line_start;  // the block's first byte, the start of its first line
    std::uint64_t newlines, firsts, triples, codes, located;
};

// Reads the anchors that the sweep's masks found, and classifies each
// anchored line once, as the tally would. Kept out of line: the sweep's loop
// stays small, and most blocks have no anchor.
class AnchoredLines {
public:
    explicit AnchoredLines(std::string_view text) : text_(text), classified_(text.size()) {}

    // kPass when some anchored line of the block counts for a candidacy,
    // kDecline at a diff header (the tally declines a diff), else kByLines.
    __attribute__((noinline)) Look any(const Anchors& a) {
        const std::string_view text = text_;
        for (std::uint64_t m = a.firsts | a.triples | a.codes | a.located; m != 0; m &= m - 1) {
            const int bit = std::countr_zero(m);
            const std::size_t at = a.base + static_cast<std::size_t>(bit);
            const std::uint64_t here = std::uint64_t{1} << bit;
            bool anchored = false;
            if ((a.firsts & here) && !skipped_start(text, at)) {
                const std::string_view t = line_from(text, at);
                if (is_diff_header(t)) return Look::kDecline;
                const StartHints h = hint_by_start(t);
                anchored = t.starts_with("# ") || h.may_qualify || h.may_be_maven || h.may_be_nx;
            }
            if (!anchored && (a.triples & here)) anchored = word_anchor_at(text, at);
            if (!anchored && (a.codes & here))
                anchored = text[at] == 'M' ? markdownlint_rule_at(text, at)
                                           : is_shellcheck_code_at(text, at) || (at > 0 && text[at - 1] == '[');
            const std::uint64_t earlier_newlines = a.newlines & (here - 1);
            const std::size_t start = earlier_newlines
                                          ? a.base + static_cast<std::size_t>(64 - std::countl_zero(earlier_newlines))
                                          : a.line_start;
            if (!anchored && (a.located & here)) anchored = location_anchor_at(text, start, at);
            if (anchored && counts_for_a_candidacy(start, at)) return Look::kPass;
        }
        return Look::kByLines;
    }

private:
    bool counts_for_a_candidacy(std::size_t start, std::size_t at) {
        if (start == classified_) return false;
        classified_ = start;
        const std::size_t end = text_.find('\n', at);
        prepared_.assign(text_.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        found_ |= classify(prepared_, false, false).counts;
        return (found_ & kCandidacyLines) != 0;
    }

    std::string_view text_;
    PreparedLine prepared_;
    std::size_t classified_;  // the start of the line classified last
    std::uint64_t found_ = 0;
};

// Whether some line of a text without colour codes can give a tool its
// candidacy. Each line a candidacy needs holds an anchor: a line start that
// `hint_by_start` reads, or "# " (a Go package header); a severity word
// or a failure phrase (`word_anchor_at`); a location
// (`location_anchor_at`); a shellcheck code or its "[SC"; a markdownlint
// rule. Each anchored line is classified as the tally would, and the sweep
// stops at the first that counts for a candidacy. kByLines when the text
// holds colour codes.
//
// A decline has to read the text to its end: one line anywhere can give a
// tool its candidacy on its own ("make: *** [all] Error 1" after a
// million search hits, JSON events or encoded payloads is a make run), so no
// count of the lines read so far bounds what the rest may hold. Only a diff
// header or a test runner's phrase settles a text early, and the tally
// stops at those by itself.
__attribute__((target("avx2"))) Look anchor_sweep(std::string_view text) {
    Window window(text);
    LineStarts line_starts;
    AnchoredLines anchored(text);
    std::size_t line_start = 0;  // of the line that holds the block's first byte
    // "<letter>:" before a digit, carried into the next block; and the add
    // that carries it over the line number.
    std::uint64_t path_carry = 0, number_carry = 0;
    std::uint64_t colon_blocks = 0;  // one bit for each of the last 64 blocks that held a ":"
    for (std::size_t base = 0; base < text.size(); base += Window::kBlock) {
        const char* p = window.at(base);
        const std::uint64_t inside = window.inside(base);
        std::uint64_t newlines = 0, blanks = 0, starts = 0, triples = 0, codes = 0, colons = 0;
        __m256i escapes = _mm256_setzero_si256();
        for (int half = 0; half < 2; ++half) {
            const char* q = p + 32 * half;
            const __m256i v = load_at(q + 1), after = load_at(q + 2), then = load_at(q + 3);
            const __m256i pairs = _mm256_and_si256(lookup(v, kLineStarts.low[0], kLineStarts.high[0]),
                                                   lookup(after, kLineStarts.low[1], kLineStarts.high[1]));
            const __m256i anchors = _mm256_and_si256(_mm256_and_si256(lookup(v, kTriples.low[0], kTriples.high[0]),
                                                                      lookup(after, kTriples.low[1], kTriples.high[1])),
                                                     lookup(then, kTriples.low[2], kTriples.high[2]));
            // A shellcheck code's "SC", or a markdownlint rule's "MD".
            const __m256i code = _mm256_or_si256(_mm256_and_si256(equals(v, 'S'), equals(after, 'C')),
                                                 _mm256_and_si256(equals(v, 'M'), equals(after, 'D')));
            escapes = _mm256_or_si256(escapes, equals(v, '\x1b'));
            const auto shift = static_cast<unsigned>(32 * half);
            newlines |= std::uint64_t{mask_of(equals(v, '\n'))} << shift;
            blanks |= std::uint64_t{mask_of(_mm256_or_si256(equals(v, ' '), equals(v, '\t')))} << shift;
            starts |= std::uint64_t{nonzero(pairs)} << shift;
            triples |= std::uint64_t{nonzero(anchors)} << shift;
            colons |= std::uint64_t{mask_of(equals(v, ':'))} << shift;
            codes |= std::uint64_t{mask_of(code)} << shift;
        }
        // Past the text's end the window reads newlines: an ESC lies inside.
        if (!_mm256_testz_si256(escapes, escapes)) return Look::kByLines;
        const std::uint64_t firsts = line_starts.next(newlines, blanks) & starts & ~newlines & inside;
        // A location needs the ":" after its letter, in this block or carried
        // in from the one before: without either, it has no bit here and
        // both carries stay clear, so the masks are not worked out. Where
        // most blocks hold a ":", they are worked out for every block, which
        // spares mispredicted branches; only the cost depends on the choice.
        colon_blocks = (colon_blocks << 1) | std::uint64_t{colons != 0};
        std::uint64_t located = 0;
        if (std::popcount(colon_blocks) >= 16 || (colons | path_carry | number_carry) != 0) {
            std::uint64_t numerals = 0, numbered = 0, paths = 0;
            for (int half = 0; half < 2; ++half) {
                const char* q = p + 32 * half;
                const __m256i before = load_at(q), v = load_at(q + 1), after = load_at(q + 2);
                const __m256i colon_number = _mm256_and_si256(equals(v, ':'), digits(after));
                const auto shift = static_cast<unsigned>(32 * half);
                numerals |= std::uint64_t{mask_of(digits(v))} << shift;
                numbered |= std::uint64_t{mask_of(colon_number)} << shift;
                paths |= std::uint64_t{mask_of(_mm256_and_si256(colon_number, letter(before)))} << shift;
            }
            // The ":" after the line number of each "<letter>:<digits>",
            // when a digit follows it too.
            const std::uint64_t numbers = (paths << 1) | path_carry;
            path_carry = paths >> 63;
            located = carried_sum(numerals, numbers, number_carry) & ~numerals & colons & numbered & inside;
        }
        triples &= inside;
        codes &= inside;
        if ((firsts | triples | codes | located) != 0) {
            const Look look = anchored.any({base, line_start, newlines, firsts, triples, codes, located});
            if (look != Look::kByLines) return look;
        }
        if (const std::uint64_t ends = newlines & inside)
            line_start = base + static_cast<std::size_t>(64 - std::countl_zero(ends));
    }
    return Look::kDecline;
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// ------------------------------------------------ the rare-triple gate --
//
// Before either look: one pass that reads each byte with the two after it
// and asks for a few rare triples. Every line that lets the first look
// through holds one of them:
//   "rro" / "rni" (any case): "error" and "warning" in every form the first
//     look reads ("erro..." or "warning" opening a line, "level=error",
//     "cmake error at", "[ERROR] ", ": error", "1:2  error" ...);
//   "=fa" ("level=fatal"), "ja:" ("ninja:"), "***" (make), "mad" (make's
//     "not remade because of errors", any case), "* B", "* W",
//     "* T" ("** BUILD FAILED **", "* What went wrong:", "* Try:"), "> T"
//     ("> Task "), "ed:" ("... commands failed:"), "URE" ("FAILURE:"),
//     "! " and "× " opening a line;
//   a located sign: a source extension's last letter, ":" and a digit;
//   a shellcheck code "SC<digit>" or the "[SC" of its gcc-style lines;
//   and an ESC, after which the first look reads every line again.
// An nx/turbo line counts only beside its marker, "turbo" or "nx" as a word:
// "urb" and "nx" followed by a byte that ends a word stand for those.
// The triples sit in two tables of eight groups each; a lookup by nibbles
// lets more triples through than a group names (never fewer), and the line
// that holds one is then read the way the first look reads it.
struct TripleGate {
    std::array<char, 32> low[3]{};
    std::array<char, 32> high[3]{};
};

// The groups of the first table that stand for the nx/turbo markers, and
// those of each table that stand for "error", "level=fatal" and "warning".
constexpr unsigned kGateMarkers = (1U << 2) | (1U << 4);
constexpr char kGateWords[2] = {(1 << 0) | (1 << 1), 1 << 5};

struct GateGroup {
    std::string_view first, second, third;
};

constexpr TripleGate gate_table(const std::array<GateGroup, 8>& groups) {
    TripleGate s;
    auto add = [&s](int k, unsigned char c, int bit) {
        for (int lane = 0; lane < 32; lane += 16) {
            s.low[k][lane + (c & 15)] |= static_cast<char>(1 << bit);
            s.high[k][lane + (c >> 4)] |= static_cast<char>(1 << bit);
        }
    };
    for (int bit = 0; bit < 8; ++bit) {
        for (char c : groups[bit].first) add(0, static_cast<unsigned char>(c), bit);
        for (char c : groups[bit].second) add(1, static_cast<unsigned char>(c), bit);
        for (char c : groups[bit].third) add(2, static_cast<unsigned char>(c), bit);
    }
    return s;
}

// Every byte; those that end a word (as `is_word_byte` reads them); and
// the last letters of the located extensions, in both cases.
constexpr std::array<char, 256> kEveryByte = [] {
    std::array<char, 256> all{};
    for (int c = 0; c < 256; ++c) all[c] = static_cast<char>(c);
    return all;
}();
constexpr auto kWordEnds = [] {
    std::array<char, 256> ends{};
    std::size_t n = 0;
    for (int c = 0; c < 256; ++c)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'))
            ends[n++] = static_cast<char>(c);
    return std::pair{ends, n};
}();
constexpr auto kExtensionEnds = [] {
    std::array<char, 2 * std::size(kLocatedExtensions)> ends{};
    std::size_t n = 0;
    for (std::string_view e : kLocatedExtensions) {
        ends[n++] = e.back();
        ends[n++] = static_cast<char>(e.back() - 0x20);
    }
    return ends;
}();
constexpr std::string_view kDigits = "0123456789";

constexpr TripleGate kGate[2] = {
    gate_table({{
        {"rR", "rR", "oO"},
        {"=", "fF", "aA"},
        {"nN", "xX", std::string_view(kWordEnds.first.data(), kWordEnds.second)},
        {"jJ", "aA", ":"},
        {"uU", "rR", "bB"},
        {"*", "* ", "*BWT"},
        {">", " ", "T"},
        {"e", "d", ":"},
    }}),
    gate_table({{
        {"U", "R", "E"},
        {"!", " ", std::string_view(kEveryByte.data(), kEveryByte.size())},
        {"\xC3", "\x97", std::string_view(kEveryByte.data(), kEveryByte.size())},
        {std::string_view(kExtensionEnds.data(), kExtensionEnds.size()), ":", kDigits},
        {"S[", "CS", "0123456789C"},
        {"rR", "nN", "iI"},
        {"mM", "aA", "dD"},
        {"", "", ""},
    }}),
};

// Whether the first look may let a text through for the triple at `at`:
// by a sign the triple stands in (the ":" of ": error" is three bytes
// before "rro", that of ": warning" four before "rni", that of a location
// one after the extension's last letter, the "S" of "[SC" one after the
// "["), or by the shape that opens the line that holds it (or a diff header,
// which the first look stops at). `line` caches the last line read.
struct GateLine {
    std::size_t start = 1, end = 0;  // empty: no line read yet
};

// Whether what stands before the word that opens at `word` ("error",
// "warning", or "level" of "level=fatal") may be all that a shape puts
// there, back to the start of the line: blanks (or whatever else the trim
// removes), then "[", "level=", "cmake" or a "line:column", then blanks
// again. Prose fails at its first other mark.
bool may_open_shape(std::string_view text, std::size_t word) {
    std::size_t k = word;
    auto skip_blanks = [&] {
        while (k > 0 && text[k - 1] != '\n' &&
               (static_cast<unsigned char>(text[k - 1]) <= ' ' || static_cast<unsigned char>(text[k - 1]) >= 0x80))
            --k;
    };
    auto before_is = [&](std::string_view word_before) {
        return k >= word_before.size() &&
               text::equals_ignore_case(text.substr(k - word_before.size(), word_before.size()), word_before);
    };
    skip_blanks();
    if (k > 0 && text[k - 1] == '[') {
        --k;
    } else if (before_is("level=")) {
        k -= 6;
    } else if (before_is("cmake")) {
        k -= 5;
    } else {
        while (k > 0 && (text::is_ascii_digit(text[k - 1]) || text[k - 1] == ':')) --k;
    }
    skip_blanks();
    return k == 0 || text[k - 1] == '\n';
}

// `word_offset` is 1 when the triple is only "rro" (one byte into "error"),
// 2 when it is only "rni" (two bytes into "warning"), 5 when it is only
// "=fa" (five bytes into "level=fatal"), else 0.
bool hit_may_pass(std::string_view text, std::size_t at, std::size_t word_offset, GateLine& line) {
    for (std::size_t k = at >= 4 ? at - 4 : 0; k <= at + 1 && k < text.size(); ++k) {
        const char c = text[k];
        if ((c == ':' || c == 'S' || c == '\x1b') && sign_at(text, k) != Sign::kNone) return true;
    }
    if (line.start <= at && at < line.end) return false;  // its line has been read
    if (word_offset != 0 && at >= word_offset && !may_open_shape(text, at - word_offset)) return false;
    // The library's searches: a text's lines may be long.
    const auto* before = static_cast<const char*>(memrchr(text.data(), '\n', at));
    line.start = before == nullptr ? 0 : static_cast<std::size_t>(before - text.data()) + 1;
    const auto* after = static_cast<const char*>(std::memchr(text.data() + at, '\n', text.size() - at));
    line.end = after == nullptr ? text.size() : static_cast<std::size_t>(after - text.data());
    const std::string_view t = text::trim(text.substr(line.start, line.end - line.start));
    if (t.empty()) return false;
    if (is_diff_header(t)) return true;
    const StartHints h = hint_by_start(t);
    return h.may_qualify || h.may_be_maven || h.may_be_nx;
}

// The groups of both tables that the triple at each of 32 bytes from `p` on
// falls in (`p[0..33]` readable).
struct GateGroups {
    __m256i first, second;
};

__attribute__((target("avx2"), always_inline)) inline GateGroups gate_groups(const char* p) {
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    __m256i low[3], high[3];
    for (int k = 0; k < 3; ++k) {
        const __m256i v = load_at(p + k);
        low[k] = _mm256_and_si256(v, nibble);
        high[k] = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
    }
    GateGroups g;
    __m256i* out[2] = {&g.first, &g.second};
    for (int t = 0; t < 2; ++t) {
        __m256i m = _mm256_set1_epi8(-1);
        for (int k = 0; k < 3; ++k)
            m = _mm256_and_si256(m, _mm256_and_si256(_mm256_shuffle_epi8(table(kGate[t].low[k]), low[k]),
                                                     _mm256_shuffle_epi8(table(kGate[t].high[k]), high[k])));
        *out[t] = m;
    }
    return g;
}

// False when no triple of the text is one the first look may let it
// through for: the first look is then sure to decline the text.
__attribute__((target("avx2"))) bool may_pass_first_look(std::string_view text) {
    constexpr std::size_t kBlock = 32, kAhead = 2;
    std::array<char, kBlock + kAhead> pad{};
    const __m256i esc = _mm256_set1_epi8('\x1b');
    GateLine line;
    for (std::size_t i = 0; i < text.size(); i += kBlock) {
        // Most blocks hold no triple at all: they are passed over in a loop
        // without calls, which keeps the tables in registers.
        for (; i + kBlock + kAhead <= text.size(); i += kBlock) {
            const char* p = text.data() + i;
            const GateGroups g = gate_groups(p);
            const __m256i any = _mm256_or_si256(_mm256_or_si256(g.first, g.second), _mm256_cmpeq_epi8(load_at(p), esc));
            if (!_mm256_testz_si256(any, any)) break;
        }
        if (i >= text.size()) break;
        const char* p = text.data() + i;
        if (i + kBlock + kAhead > text.size()) {
            // Past the end the text reads as newlines.
            pad.fill('\n');
            std::copy(p, text.data() + text.size(), pad.begin());
            p = pad.data();
        }
        const GateGroups g = gate_groups(p);
        const __m256i escapes = _mm256_cmpeq_epi8(load_at(p), esc);
        const __m256i any = _mm256_or_si256(_mm256_or_si256(g.first, g.second), escapes);
        if (_mm256_testz_si256(any, any)) continue;
        std::uint32_t hits = nonzero(any);
        if (const std::size_t left = text.size() - i; left < kBlock) hits &= (std::uint32_t{1} << left) - 1;
        // The markers speak for a line elsewhere: the first look decides.
        if (nonzero(_mm256_and_si256(g.first, _mm256_set1_epi8(static_cast<char>(kGateMarkers)))) & hits) return true;
        // The hits of "rro", "=fa" or "rni" alone.
        const std::uint32_t alone = hits & ~mask_of(escapes) &
                                    ~nonzero(_mm256_andnot_si256(_mm256_set1_epi8(kGateWords[0]), g.first)) &
                                    ~nonzero(_mm256_andnot_si256(_mm256_set1_epi8(kGateWords[1]), g.second));
        const std::uint32_t errors = alone & nonzero(_mm256_and_si256(g.first, _mm256_set1_epi8(1 << 0)));
        const std::uint32_t fatals = alone & nonzero(_mm256_and_si256(g.first, _mm256_set1_epi8(1 << 1)));
        const std::uint32_t warnings = alone & nonzero(_mm256_and_si256(g.second, _mm256_set1_epi8(kGateWords[1])));
        for (; hits != 0; hits &= hits - 1) {
            const int bit = std::countr_zero(hits);
            const std::size_t word_offset = (errors >> bit) & 1     ? 1
                                            : (warnings >> bit) & 1 ? 2
                                            : (fatals >> bit) & 1   ? 5
                                                                    : 0;
            if (hit_may_pass(text, i + static_cast<std::size_t>(bit), word_offset, line)) return true;
        }
    }
    return false;
}
#endif

// The tally declines a text as soon as a line holds a test runner's phrase,
// and test runs say so in their first lines: a look at the head of the text
// saves the sweep over the rest. Colour codes could split a phrase, so the
// head must have none.
bool claimed_by_tests_early(std::string_view text) {
    constexpr std::size_t kHead = std::size_t{1} << 16;
    const std::string_view head = text.substr(0, kHead);
    if (head.find('\x1b') != std::string_view::npos) return false;
    for (std::string_view phrase :
         {"test session starts", "short test summary info", "test result:", "traceback (most recent call last)"})
        if (text::find_ignore_case(head, phrase) != std::string_view::npos) return true;
    return false;
}

// `may_name_a_tool`, with a look for signs in the head of the text first:
// when the text's first sign stands there and qualifies, that settles it
// (the tally declines a diff later on by itself) without the walk. A head
// that may hold a diff header is left to the walk, which stops there.
bool may_name_a_tool(const text::LineIndex& lines) {
    constexpr std::size_t kHead = std::size_t{1} << 16;
    const std::string_view text = lines.text(), head = text.substr(0, kHead);
    if (!text::contains_any(head, {"diff --git ", "diff --cc ", "@@ -"}) && first_sign(head) == Sign::kQualify)
        return true;
    return may_name_a_tool_by_lines(lines);
}

// Whether the wide first look suits a text better than the walk of its line
// index: where its first lines are short or indented (the walk trims every
// indented line). Only the cost depends on the choice.
bool suits_wide_look(const text::LineIndex& lines) {
    constexpr std::size_t kSample = 256, kShortLine = 32;
    const std::size_t n = std::min(lines.size(), kSample);
    std::size_t indented = 0, bytes = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view line = lines[i];
        bytes += line.size() + 1;
        indented += !line.empty() && (line[0] == ' ' || line[0] == '\t');
    }
    return n > 0 && (4 * indented >= n || bytes < kShortLine * n);
}

// Whether the tally may accept the text: false only where it is sure to
// decline.
bool may_be_accepted(const text::LineIndex& lines) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx2")) {
        const std::string_view text = lines.text();
        if (claimed_by_tests_early(text)) return false;
        // A diff near the start is declined by the first look at its header.
        const std::string_view head = text.substr(0, std::size_t{1} << 16);
        if (!text::contains_any(head, {"diff --git ", "diff --cc ", "@@ -"}) && !may_pass_first_look(text))
            return false;
        const Look look = suits_wide_look(lines) ? first_look_wide(text) : Look::kByLines;
        if (look == Look::kDecline) return false;
        // The sweep and the walk of the lines are both needed, in either
        // order. A text that the rare-triple gate lets through nearly always
        // passes the walk as well (the gate's signs and line shapes are the
        // walk's own; a diff header, a maven/gradle or nx/turbo line without
        // its marker, colour codes or a text of one line can fail it), and
        // the sweep then reads it all the same: run first, the sweep spares
        // the walk on the texts it turns away.
        if (anchor_sweep(text) == Look::kDecline) return false;
        return look == Look::kPass || may_name_a_tool(lines);
    }
#endif
    return may_name_a_tool(lines);
}

// A line as the detector reads it: colour codes removed (into `storage`,
// where the line has some; `coloured` tells whether the text has any) and
// trailing whitespace trimmed. `copied` tells whether it views `storage`.
std::string_view prepare_line(std::string_view raw, bool coloured, std::string& storage, bool& copied) {
    copied = coloured && raw.find('\x1b') != std::string_view::npos;
    if (copied) storage = text::strip_ansi(raw);
    const std::string_view s = copied ? std::string_view(storage) : raw;
    // Most lines end in a visible character, and lose nothing.
    return !s.empty() && text::is_visible_ascii(s.back()) ? s : text::trim_end(s);
}

// Most texts have no colour code at all: one search spares one per line.
bool has_colour_code(const text::LineIndex& lines) { return lines.text().find('\x1b') != std::string_view::npos; }

}  // namespace

PreparedLineReader::PreparedLineReader(const text::LineIndex& lines, const PreparedLines& prepared)
    : lines_(lines), prepared_(prepared), coloured_(has_colour_code(lines)) {}

bool PreparedLineReader::next() {
    has_text_ = false;
    line_ = started_ ? line_ + 1 : 0;
    started_ = true;
    while (line_ < prepared_.roles.size() && (prepared_.roles[line_] & kBlankLine)) ++line_;
    return line_ < prepared_.roles.size();
}

std::string_view PreparedLineReader::text() {
    if (!has_text_) {
        bool copied = false;
        text_ = prepare_line(lines_[line_], coloured_, storage_, copied);
        has_text_ = true;
    }
    return text_;
}

std::optional<BuildCompilerDiagnostics> detect_build_compiler_diagnostics(const text::LineIndex& lines,
                                                                          PreparedLines* prepared) {
    if (!may_be_accepted(lines)) return std::nullopt;

    // The non-blank lines, colour codes removed, each tallied as it is met.
    PreparedLines local;
    PreparedLines& out = prepared ? *prepared : local;
    out.roles.clear();
    out.roles.reserve(lines.size());
    Tally tally;
    PreparedLine p;
    SeenLines seen(lines.size());
    const bool coloured = has_colour_code(lines);
    std::string storage;
    std::size_t nonblank = 0;
    for (std::string_view raw : lines) {
        bool copied = false;
        const std::string_view s = prepare_line(raw, coloured, storage, copied);
        const std::string_view t = text::trim_start_fast(s);
        if (t.empty()) {
            out.roles.push_back(kBlankLine);
            continue;
        }
        if (nonblank++ == 0 && text::starts_with_ignore_case(t, headline::kTestOutput)) return std::nullopt;
        if (is_diff_header(t)) return std::nullopt;
        LineFacts facts;
        const std::size_t hash = std::hash<std::string_view>{}(t);
        if (const LineFacts* known = seen.find(t, hash)) {
            facts = *known;
        } else {
            p.assign_untrimmed(t);
            facts = classify(p, tally[kErrorSignal] > 0, tally[kWarningSignal] > 0);
            seen.remember(t, !copied, hash, facts);
        }
        tally.add(facts);
        out.roles.push_back(facts.roles);
        if (tally[kClaimedByTests]) return std::nullopt;
    }
    if (nonblank < kMinLines) return std::nullopt;

    auto winner = pick_winner(score_tools(tally));
    if (!winner) return std::nullopt;

    BuildCompilerDiagnostics found;
    found.tool = winner->tool;
    std::string_view tool = winner->tool;
    found.has_error = tally[kErrorSignal];
    if (!found.has_error) {
        if (tool == "ruff")
            found.has_error = tally[kRuff] > 0;
        else if (tool == "go-build")
            found.has_error = tally[kGoDiagnostics] > 0;
        else if (tool == "biome" || tool == "oxlint")
            found.has_error = !tally[kWarningSignal];
        else if (tool == "markdownlint" || tool == "golangci-lint")
            found.has_error = true;
    }
    found.has_warning = tally[kWarningSignal] || tool == "yamllint" || tool == "shellcheck";
    return found;
}

}  // namespace filters::build_compiler::detector
