#include "filters/package_manager/detector.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "filters/package_manager/summary.h"
#include "text.h"

namespace filters::package_manager::detector {
namespace {

using text::contains;
using text::contains_any;
using text::starts_with_any;

// The manager table, in its fixed order. A tie in score goes to the name
// that is greatest in byte order, whatever the row.
enum Manager : std::size_t {
    uv_pip,
    poetry,
    npm,
    pnpm,
    yarn,
    bun,
    composer,
    bundler,
    homebrew,
    cargo,
    pre_commit,
    kCount
};
constexpr std::array<std::string_view, kCount> kNames = {"uv/pip",   "poetry",  "npm",      "pnpm",  "yarn",      "bun",
                                                         "composer", "bundler", "homebrew", "cargo", "pre-commit"};

constexpr std::size_t kMinLines = 2;
constexpr std::size_t kMinScoredLines = 4;

constexpr std::string_view kGemRegistry = "rubygems.org";
constexpr std::string_view kCrateIndexUpdate = "updating crates.io index";

// A text shorter than this many evidence lines is never a log, so the
// cheap look stops counting there.
constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);

// The bytes that may stand inside a package name: a failure word that
// touches one of them on an alphanumeric edge is part of a name
// ("error-ex", "libgpg-error0", "makeerror"), not a word of the log.
bool is_name_char(char c) {
    return text::is_ascii_alnum(c) || c == '-' || c == '_' || c == '.' || c == '@' || c == '/';
}

// Whether a word of `lower` ends at `end`: no name character follows, or
// only the full stop (or the dots) that close a sentence do.
bool word_ends_at(std::string_view lower, std::size_t end) {
    while (end < lower.size() && lower[end] == '.') ++end;
    return end == lower.size() || !is_name_char(lower[end]);
}

// Whether `word` stands in `lower` as a word of the log, not inside a
// package name: where it opens with a letter or digit no name character
// stands before it, and where it closes with one the word ends there or
// after a plural "s" ("2 errors", "failures").
bool has_log_word(std::string_view lower, std::string_view word) {
    const bool open_start = text::is_ascii_alnum(word.front());
    const bool open_end = text::is_ascii_alnum(word.back());
    for (std::size_t at = lower.find(word); at != std::string_view::npos; at = lower.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if (open_start && at > 0 && is_name_char(lower[at - 1])) continue;
        const bool plural = end < lower.size() && lower[end] == 's' && word_ends_at(lower, end + 1);
        if (open_end && !plural && !word_ends_at(lower, end)) continue;
        return true;
    }
    return false;
}

bool has_failure_word(std::string_view lower) {
    for (std::string_view w : {"error", "err!", "err_", "failed", "failure", "fatal", "no solution", "conflict",
                               "could not", "version solving failed", "solverproblemerror", "yn0001", "yn0028"})
        if (has_log_word(lower, w)) return true;
    return false;
}

// The reports of a clean audit name vulnerabilities without warning of any.
constexpr std::array<std::string_view, 2> kCleanAuditPhrases = {"found 0 vulnerabilities",
                                                                "no known vulnerabilities found"};

bool has_warning_word(std::string_view lower) {
    auto warns = [](std::string_view s) {
        return contains_any(s, {"warn", "vulnerab", "security advisory", "advisory", "advisories", "peer dependency",
                                "unmet peer", "yn0002", "yn0060", "yn0086"});
    };
    if (!warns(lower)) return false;
    bool clean_audit = false;
    for (std::string_view p : kCleanAuditPhrases) clean_audit = clean_audit || contains(lower, p);
    if (!clean_audit) return true;
    // Look again with the clean-audit phrases blanked out.
    std::string rest(lower);
    for (std::string_view p : kCleanAuditPhrases)
        for (std::size_t at = rest.find(p); at != std::string::npos; at = rest.find(p, at))
            rest.replace(at, p.size(), p.size(), ' ');
    return warns(rest);
}

// "--> src/main.rs:4:5": a compiler's location arrow.
bool is_arrow_line(std::string_view t) {
    if (!t.starts_with("--> ")) return false;
    const std::size_t last = t.rfind(':');
    if (last == std::string_view::npos || last == 0) return false;
    const std::size_t prev = t.rfind(':', last - 1);
    if (prev == std::string_view::npos) return false;
    return text::is_ascii_digits(t.substr(last + 1)) && text::is_ascii_digits(t.substr(prev + 1, last - prev - 1));
}

// "|" or "12 |": the source gutter of a compiler diagnostic.
bool is_bar_line(std::string_view t) {
    if (t.starts_with("|")) return true;
    const std::size_t digits = text::digit_run(t);
    return digits > 0 && text::trim_start(t.substr(digits)).starts_with("|");
}

bool ends_as_test_result(std::string_view t) {
    return text::ends_with_any(t, {"Passed", "Failed", "Skipped"}) && contains(t, "...");
}

// Some whitespace-separated word of `s` passes `f`.
template <class F>
bool some_word(std::string_view s, F&& f) {
    for (std::string_view w : text::split_whitespace(s))
        if (f(w)) return true;
    return false;
}

// `phrase`, which ends in the word "package", standing with that word (or
// "packages") whole: a package named "packagekit" in a system log
// ("status installed packagekit:amd64") counts nothing.
bool has_package_word(std::string_view lower, std::string_view phrase = " package") {
    for (std::size_t at = lower.find(phrase); at != std::string_view::npos; at = lower.find(phrase, at + 1)) {
        std::size_t end = at + phrase.size();
        if (end < lower.size() && lower[end] == 's') ++end;
        if (end == lower.size() || !is_name_char(lower[end])) return true;
    }
    return false;
}

// " v" and a digit: the version of a crate ("Adding serde v1.0.197"), not a
// word that begins with "v" ("by vim-runtime").
bool has_crate_version(std::string_view lower) {
    for (std::size_t at = lower.find(" v"); at != std::string_view::npos; at = lower.find(" v", at + 1))
        if (at + 2 < lower.size() && text::is_ascii_digit(lower[at + 2])) return true;
    return false;
}

bool word_opens_version(std::string_view w) { return w[0] == '(' || text::is_ascii_digit(w[0]); }

// The part of `t` after a "+ ", "- " or "~ " marker (as `markers` allow).
std::optional<std::string_view> after_marker(std::string_view t, std::initializer_list<std::string_view> markers) {
    if (!starts_with_any(t, markers)) return std::nullopt;
    return t.substr(2);
}

// Whether the line starts with "- ", an action word and a blank
// ("- Installing requests (2.31.0)"). "removing" and "downgrading" are
// the other actions that the dependency-list tools print in this form.
bool package_dash_action(std::string_view line) {
    if (!line.starts_with("- ")) return false;
    const std::string lower = text::to_lower(line.substr(2, 16));
    return starts_with_any(
        lower, {"installing ", "updating ", "upgrading ", "locking ", "downloading ", "removing ", "downgrading "});
}

// The phrases that scoring terms look for anywhere in a line, one group per
// term, so that one pass over a line answers every such term at once.
enum TermGroup : unsigned {
    g_pip_names,
    g_pip_lock,
    g_pip_sync,
    g_poetry_files,
    g_poetry_solver,
    g_npm_audit,
    g_pnpm_files,
    g_yarn_files,
    g_bun_version,
    g_bun_saved,
    g_composer_files,
    g_bundler_files,
    g_bundler_gems,
    g_brew_paths,
    g_cargo_index,
    g_pre_commit_files,
    g_package_word,
};
constexpr std::array<text::SearchWord, 51> kTermWords = {{
    {"collecting ", g_pip_names},
    {"using cached ", g_pip_names},
    {"successfully installed", g_pip_names},
    {"uv.lock", g_pip_lock},
    {"lockfile", g_pip_lock},
    {"lock file", g_pip_lock},
    {"--frozen", g_pip_lock},
    {"--locked", g_pip_lock},
    {"no solution found", g_pip_lock},
    {"uv sync", g_pip_sync},
    {"virtual environment at", g_pip_sync},
    {"poetry.lock", g_poetry_files},
    {"poetry install", g_poetry_files},
    {"poetry update", g_poetry_files},
    {"version solving failed", g_poetry_solver},
    {"solverproblemerror", g_poetry_solver},
    {"vulnerabilities", g_npm_audit},
    {"npm audit fix", g_npm_audit},
    {"pnpm-lock.yaml", g_pnpm_files},
    {"err_pnpm_", g_pnpm_files},
    {"warn_pnpm_", g_pnpm_files},
    {"frozen-lockfile", g_pnpm_files},
    {"pnpm audit", g_pnpm_files},
    {"yarn.lock", g_yarn_files},
    {"peer dependency", g_yarn_files},
    {"unmet peer", g_yarn_files},
    {"immutable install", g_yarn_files},
    {"lockfile would have been modified", g_yarn_files},
    {"bun install v", g_bun_version},
    {"saved lockfile", g_bun_saved},
    {"packages installed", g_bun_saved},
    {"composer.json", g_composer_files},
    {"composer.lock", g_composer_files},
    {"composer audit", g_composer_files},
    {"security vulnerability advisories", g_composer_files},
    {"bundle complete", g_bundler_files},
    {"bundle updated", g_bundler_files},
    {"gemfile.lock", g_bundler_files},
    {"bundler could not", g_bundler_files},
    {kGemRegistry, g_bundler_files},
    {"gems now installed", g_bundler_gems},
    {"/opt/homebrew/cellar", g_brew_paths},
    {"/usr/local/cellar", g_brew_paths},
    {"homebrew/homebrew", g_brew_paths},
    {"brew install", g_brew_paths},
    {"bottle.tar.gz", g_brew_paths},
    {kCrateIndexUpdate, g_cargo_index},
    {"downloading crates", g_cargo_index},
    {".cache/pre-commit", g_pre_commit_files},
    {"pre-commit.log", g_pre_commit_files},
    {" package", g_package_word},
}};
constexpr text::WordSet<kTermWords.size()> kTermWordSet(kTermWords);

// The failure and warning words, found in one pass over a line before the
// exact tests run.
constexpr std::array<text::SearchWord, 23> kVerdictWords = {{
    {"error", 0},
    {"err!", 0},
    {"err_", 0},
    {"failed", 0},
    {"failure", 0},
    {"fatal", 0},
    {"no solution", 0},
    {"conflict", 0},
    {"could not", 0},
    {"version solving failed", 0},
    {"solverproblemerror", 0},
    {"yn0001", 0},
    {"yn0028", 0},
    {"warn", 1},
    {"vulnerab", 1},
    {"security advisory", 1},
    {"advisory", 1},
    {"advisories", 1},
    {"peer dependency", 1},
    {"unmet peer", 1},
    {"yn0002", 1},
    {"yn0060", 1},
    {"yn0086", 1},
}};
constexpr text::WordSet<kVerdictWords.size()> kVerdictWordSet(kVerdictWords);

// The managers whose terms hold on one line, one bit each, at most one
// point per term.
struct LineScore {
    std::array<std::uint8_t, kCount> points{};
    void add(Manager m, bool term) { points[m] = static_cast<std::uint8_t>(points[m] + (term ? 1 : 0)); }
};

LineScore score_line(std::string_view t, std::string_view l) {
    const std::uint32_t found = kTermWordSet.groups_in(l, 0);
    auto has = [&](TermGroup g) { return ((found >> g) & 1u) != 0; };
    // "{word} " and " package": no package word, no such phrase.
    auto cpp = [&](std::string_view w) { return has(g_package_word) && count_packages_phrase(l, w); };
    LineScore s;

    s.add(uv_pip, has(g_pip_names));
    s.add(uv_pip, cpp("resolved") || cpp("prepared") || cpp("installed") || cpp("uninstalled"));
    s.add(uv_pip, has(g_pip_lock));
    s.add(uv_pip, has(g_pip_sync) || cpp("audited"));
    if (auto rest = after_marker(t, {"+ ", "- ", "~ "})) s.add(uv_pip, contains(*rest, "=="));

    s.add(poetry, has(g_poetry_files));
    s.add(poetry, l.starts_with("installing dependencies from lock file"));
    s.add(poetry, l.starts_with("package operations:") && contains(l, " install"));
    s.add(poetry, package_dash_action(t) && !contains(t, "/") && (contains(t, "(") || contains(t, " -> ")));
    s.add(poetry, has(g_poetry_solver));

    s.add(npm,
          starts_with_any(l, {"npm warn", "npm err!", "npm notice", "npm http", "npm timing", "npm verb", "npm sill"}));
    s.add(npm, cpp("added") || cpp("removed") || cpp("changed") || cpp("updated"));
    s.add(npm, cpp("audited") || has(g_npm_audit));

    s.add(pnpm, starts_with_any(l, {"progress: resolved", "packages: +", "packages: -", "lockfile is up to date"}));
    s.add(pnpm, has(g_pnpm_files));
    s.add(pnpm,
          text::equals_any(l, {"dependencies:", "devdependencies:", "peerdependencies:", "optionaldependencies:"}));
    if (auto rest = after_marker(t, {"+ ", "- "})) {
        const std::string lower = text::to_lower(*rest);
        s.add(pnpm, contains(lower, "@") || contains(lower, "==") ||
                        some_word(lower, [](std::string_view w) { return w[0] == 'v' || text::is_ascii_digit(w[0]); }));
    }

    s.add(yarn, l.starts_with("yarn install v"));
    s.add(yarn, (starts_with_any(l, {"[1/", "[2/", "[3/", "[4/", "[5/"}) &&
                 contains_any(l, {"resolving", "fetching", "linking", "building"})) ||
                    starts_with_any(l, {"success saved lockfile", "success saved ", "done in ",
                                        "info direct dependencies", "info all dependencies"}));
    s.add(yarn, t.starts_with("\xE2\x9E\xA4 YN"));
    s.add(yarn, has(g_yarn_files));

    s.add(bun, has(g_bun_version));
    s.add(bun, has(g_bun_saved));
    if (auto rest = after_marker(t, {"+ "})) s.add(bun, contains(*rest, "@"));

    s.add(composer, has(g_composer_files));
    s.add(composer, starts_with_any(l, {"loading composer repositories", "installing dependencies from lock file",
                                        "generating autoload files"}));
    s.add(composer, starts_with_any(l, {"package operations:", "lock file operations:"}));
    s.add(composer, package_dash_action(t) && contains(t, "/"));

    s.add(bundler, has(g_bundler_files));
    s.add(bundler, l.starts_with("fetching gem metadata"));
    s.add(bundler, ((l.starts_with("using ") && !starts_with_any(l, {"using cpython", "using python"})) ||
                    starts_with_any(l, {"fetching ", "installing "})) &&
                       some_word(l, word_opens_version));
    s.add(bundler, has(g_bundler_gems));

    if (l.starts_with("==> "))
        s.add(homebrew, starts_with_any(l.substr(4), {"pouring", "fetching", "downloading", "installing", "caveats",
                                                      "summary", "homebrew", "autoremoving"}));
    s.add(homebrew, has(g_brew_paths));
    s.add(homebrew, t.starts_with("\xF0\x9F\x8D\xBA"));

    s.add(cargo, has(g_cargo_index));
    s.add(cargo, cpp("locking") || (has(g_package_word) && has_package_word(l, "installed package")) ||
                     (l.starts_with("installing ") && has_crate_version(l)));
    s.add(cargo, starts_with_any(l, {"adding ", "removing ", "updating ", "downgrading "}) && has_crate_version(l));

    s.add(pre_commit, l.starts_with("pre-commit installed at"));
    s.add(pre_commit, starts_with_any(l, {"[info] initializing environment for", "[info] installing environment for",
                                          "[info] updating environment for"}));
    s.add(pre_commit, has(g_pre_commit_files));
    s.add(pre_commit, l.starts_with("[error]") &&
                          contains_any(l, {"pre-commit", "unexpected error", "calledprocesserror", "log at"}));
    return s;
}

bool is_pnpm_anchor(std::string_view l) {
    return starts_with_any(l, {"progress: resolved", "packages: +", "packages: -", "lockfile is up to date"}) ||
           contains_any(l,
                        {"pnpm-lock.yaml", "err_pnpm_", "warn_pnpm_", "frozen-lockfile", "pnpm audit", "pnpm install"});
}

bool is_bundler_anchor(std::string_view l) {
    return contains_any(l, {"gemfile.lock", "bundler", kGemRegistry, "bundle complete", "bundle updated",
                            "gems now installed", "gem now installed"});
}

bool is_homebrew_anchor(std::string_view t, std::string_view l) {
    return t.starts_with("\xF0\x9F\x8D\xBA") ||
           contains_any(l, {"homebrew", "brew ", "cellar", "bottle", "formula", "cask", "tap", "/opt/homebrew",
                            "/usr/local/homebrew", "/usr/local/cellar"});
}

// Whether a text in which no line but `t` (trimmed) can score may still be
// a log: the detector's total is then at most the points of `t`, and a
// total of one counts only when its scored line is an error or warning line.
bool lone_line_may_carry_log(std::string_view t) {
    if (t.empty()) return false;
    const std::string lower = text::to_lower(t);
    const LineScore s = score_line(t, lower);
    unsigned points = 0;
    for (std::uint8_t p : s.points) points += p;
    return points >= 2 || summary::is_error_warning_line(t);
}

// Every phrase that a scoring term looks for inside a line (or a phrase
// inside it) that lets a line be scored. For the first look over the whole
// text each phrase is also a fingerprint: eight of its bytes from
// `print_at`, in fingerprint group `group`, both chosen so that text of
// other kinds rarely meets a group by chance ("downloading" alone is common,
// "ading cr" is not).
struct InnerSign {
    std::string_view text;
    std::uint8_t print_at;
    std::uint8_t group;
};
constexpr std::array<InnerSign, 47> kInnerSignTable = {{
    {"collecting ", 2, 1},
    {"using cached ", 0, 3},
    {"successfully installed", 8, 3},
    {" package", 0, 1},
    {"uv.lock", 0, 0},
    {"lockfile", 0, 2},
    {"lock file", 0, 2},
    {"--frozen", 0, 3},
    {"--locked", 0, 3},
    {"no solution found", 6, 3},
    {"uv sync", 0, 0},
    {"virtual environment at", 14, 6},
    {"poetry.lock", 0, 2},
    {"poetry install", 0, 2},
    {"poetry update", 0, 2},
    {"version solving failed", 8, 4},
    {"solverproblemerror", 10, 6},
    {"vulnerabilit", 1, 7},
    {"npm audit fix", 5, 3},
    {"pnpm-lock.yaml", 0, 6},
    {"err_pnpm_", 1, 4},
    {"warn_pnpm_", 2, 4},
    {"pnpm audit", 0, 6},
    {"yarn.lock", 0, 5},
    {"peer dependency", 0, 6},
    {"unmet peer", 0, 7},
    {"immutable install", 0, 5},
    {"bun install v", 4, 5},
    {"packages installed", 9, 5},
    {"composer.json", 2, 4},
    {"composer.lock", 2, 4},
    {"composer audit", 2, 4},
    {"bundle complete", 0, 0},
    {"bundle updated", 0, 0},
    {"gemfile.lock", 0, 6},
    {"bundler could not", 0, 0},
    {"rubygems.org", 1, 7},
    {"gems now installed", 9, 5},
    {"/opt/homebrew/cellar", 12, 1},
    {"/usr/local/cellar", 9, 1},
    {"homebrew/homebrew", 6, 0},
    {"brew install", 2, 0},
    {"bottle.tar.gz", 2, 3},
    {"crates.io index", 6, 7},
    {"downloading crates", 10, 2},
    {".cache/pre-commit", 9, 0},
    {"pre-commit.log", 0, 2},
}};
constexpr auto kInnerSigns = [] {
    std::array<std::string_view, kInnerSignTable.size()> signs{};
    for (std::size_t k = 0; k < signs.size(); ++k) signs[k] = kInnerSignTable[k].text;
    return signs;
}();
constexpr auto kInnerSignSet = text::WordSet<kInnerSigns.size()>::of(kInnerSigns);

// " package" is by far the commonest inner sign in text of other kinds
// (paths under "packages/"), and it seldom scores there.
constexpr std::size_t kPackageSign = [] {
    std::size_t k = 0;
    while (kInnerSigns[k] != " package") ++k;
    return k;
}();

// The fingerprints of the inner signs, with or without " package".
template <std::size_t N>
constexpr text::FingerprintSet inner_sign_prints(bool with_package) {
    std::array<text::FingerprintSet::Print, N> prints{};
    std::size_t n = 0;
    for (std::size_t k = 0; k < kInnerSigns.size(); ++k) {
        if (k == kPackageSign && !with_package) continue;
        const std::string_view print = kInnerSigns[k].substr(kInnerSignTable[k].print_at);
        prints[n].group = kInnerSignTable[k].group;
        for (std::size_t place = 0; place < prints[n].bytes.size() && place < print.size(); ++place)
            prints[n].bytes[place] = print.substr(place, 1);
        ++n;
    }
    return text::FingerprintSet(prints);
}
constexpr text::FingerprintSet kInnerSignPrints = inner_sign_prints<kInnerSigns.size()>(true);
constexpr text::FingerprintSet kOtherSignPrints = inner_sign_prints<kInnerSigns.size() - 1>(false);

// The phrases of each group, so that a hit is checked against its groups only.
struct SignsByGroup {
    std::array<std::array<std::uint8_t, kInnerSigns.size()>, 8> signs{};
    std::array<std::size_t, 8> count{};
};
constexpr SignsByGroup kInnerSignsByGroup = [] {
    SignsByGroup by;
    for (std::size_t k = 0; k < kInnerSigns.size(); ++k) {
        const unsigned g = kInnerSignTable[k].group;
        by.signs[g][by.count[g]++] = static_cast<std::uint8_t>(k);
    }
    return by;
}();

// Whether " package" that ends before byte `end` of `text` stands as the
// whole word that the counting terms need, "package" or "packages"
// ("packages/" in a path never scores; every other term that reads a line
// holding it needs another sign or a line start of its own).
bool package_word_ends_at(std::string_view text, std::size_t end) {
    if (end < text.size() && text::to_lower_ascii(text[end]) == 's') ++end;
    return end == text.size() || !is_name_char(text[end]);
}

// Whether inner sign `k` stands in `text` from byte `at` in a form that can
// score (" package" only as that whole word).
bool scoring_inner_sign_at(std::size_t k, std::string_view text, std::size_t at) {
    const std::string_view sign = kInnerSigns[k];
    if (text.size() - at < sign.size() || text::to_lower_ascii(text[at]) != sign[0] ||
        !text::equals_ignore_case(text.substr(at, sign.size()), sign))
        return false;
    return k != kPackageSign || package_word_ends_at(text, at + sign.size());
}

// " package"'s eight bytes with the 0x20 bit of each set, which no other
// fingerprint's bytes so folded begin with, so that such a hit is checked
// as that sign alone.
constexpr std::uint64_t fold_eight(std::string_view bytes) {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < 8; ++i)
        word |= std::uint64_t{(i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u) | 0x20u} << (8 * i);
    return word;
}
constexpr std::uint64_t kPackageFolded = fold_eight(" package");
static_assert(kInnerSignTable[kPackageSign].print_at == 0 && [] {
    for (std::size_t k = 0; k < kInnerSigns.size(); ++k) {
        if (k == kPackageSign) continue;
        const std::string_view print = kInnerSigns[k].substr(kInnerSignTable[k].print_at);
        if (fold_eight(print.substr(0, 8)) == fold_eight(std::string_view(" package").substr(0, print.size())))
            return false;
    }
    return true;
}());

// The eight bytes of `text` at `at` (which has eight bytes to its end),
// with the 0x20 bit of each set.
std::uint64_t folded_eight_at(std::string_view text, std::size_t at) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    return word | 0x2020202020202020ull;
}

// Whether " package" stands at byte `at` of `text` as a sign that can score.
bool package_word_at(std::string_view text, std::size_t at) {
    return text.size() - at >= 8 && text[at] == ' ' && folded_eight_at(text, at) == kPackageFolded &&
           package_word_ends_at(text, at + 8);
}

// Where the first inner sign that can score stands in `text` at or after
// byte `from` and before `limit` (as the byte where its fingerprint
// starts); none when there is none, or when `package_misses` has counted
// up to `kMaxPackageMisses` hits of " package" that cannot score (`resume`
// then receives the byte after the last, where the search may go on by
// `next_other_sign` and `next_package_word`: every restart of the wide
// scan after such a hit costs, and paths under "packages/" bring
// thousands).
constexpr std::size_t kMaxPackageMisses = 64;
struct SignSearch {
    std::optional<std::size_t> at;
    bool gave_up = false;
    std::size_t resume = 0;
};

template <bool kWithPackage>
SignSearch next_sign(std::string_view text, std::size_t limit, std::size_t from, std::size_t& package_misses) {
    constexpr const text::FingerprintSet& prints = kWithPackage ? kInnerSignPrints : kOtherSignPrints;
    // Fingerprints that start before `limit` are looked for in the text cut
    // there, which lets through any byte past the cut; each hit is then
    // checked in the whole text.
    if (from >= limit) return {};
    const std::string_view head = text.substr(0, limit);
    for (auto hit = prints.next(head, from); hit; hit = prints.next(head, hit->at + 1)) {
        if (kWithPackage && text.size() - hit->at >= 8 && folded_eight_at(text, hit->at) == kPackageFolded) {
            if (scoring_inner_sign_at(kPackageSign, text, hit->at)) return {hit->at};
            if (++package_misses == kMaxPackageMisses) return {std::nullopt, true, hit->at + 1};
            continue;
        }
        for (unsigned g = 0; g < 8; ++g) {
            if (((hit->groups >> g) & 1u) == 0) continue;
            for (std::size_t n = 0; n < kInnerSignsByGroup.count[g]; ++n) {
                const std::size_t k = kInnerSignsByGroup.signs[g][n];
                if (!kWithPackage && k == kPackageSign) continue;
                const std::size_t back = kInnerSignTable[k].print_at;
                if (hit->at >= back && scoring_inner_sign_at(k, text, hit->at - back)) return {hit->at};
            }
        }
    }
    return {};
}

// As `next_sign`, for the signs but " package".
std::optional<std::size_t> next_other_sign(std::string_view text, std::size_t limit, std::size_t from) {
    std::size_t unused = 0;
    return next_sign<false>(text, limit, from, unused).at;
}

// Where the first " package" that can score stands in `text` at or after
// byte `from` and before `limit`, or none: a space with a "k" in any case four bytes on marks
// where one may stand, sixty-four places a step.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) std::size_t package_candidates_avx2(std::string_view text, std::size_t limit,
                                                                    std::size_t from,
                                                                    std::optional<std::size_t>& found) {
    const __m256i fold = _mm256_set1_epi8(0x20), space = _mm256_set1_epi8(' '), k = _mm256_set1_epi8('k');
    const char* data = text.data();
    std::size_t at = from;
    const __m256i s = _mm256_set1_epi8('s'), slash = _mm256_set1_epi8('/');
    for (; limit - at >= 64 && text.size() - at >= 64 + 10; at += 64) {
        auto load = [&](std::size_t i) __attribute__((target("avx2"))) {
            return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
        };
        const __m256i low = _mm256_and_si256(_mm256_cmpeq_epi8(load(at), space),
                                             _mm256_cmpeq_epi8(_mm256_or_si256(load(at + 4), fold), k));
        const __m256i high = _mm256_and_si256(_mm256_cmpeq_epi8(load(at + 32), space),
                                              _mm256_cmpeq_epi8(_mm256_or_si256(load(at + 36), fold), k));
        if (_mm256_testz_si256(_mm256_or_si256(low, high), _mm256_or_si256(low, high))) continue;
        // " packages/" (a path) is no whole word: a name byte follows.
        auto path = [&](std::size_t i) __attribute__((target("avx2"))) {
            return _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(load(i + 8), fold), s),
                                    _mm256_cmpeq_epi8(load(i + 9), slash));
        };
        const std::uint64_t marks =
            std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_andnot_si256(path(at), low)))} |
            std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_andnot_si256(path(at + 32), high)))}
                << 32;
        for (std::uint64_t m = marks; m != 0; m &= m - 1) {
            const std::size_t candidate = at + static_cast<std::size_t>(std::countr_zero(m));
            if (package_word_at(text, candidate)) {
                found = candidate;
                return candidate;
            }
        }
    }
    return at;
}
#endif

std::optional<std::size_t> next_package_word(std::string_view text, std::size_t limit, std::size_t from) {
    std::size_t at = from;
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx2") && from < limit) {
        std::optional<std::size_t> found;
        at = package_candidates_avx2(text, limit, from, found);
        if (found) return found;
    }
#endif
    for (; at < limit; ++at)
        if (package_word_at(text, at)) return at;
    return std::nullopt;
}

// What a line's first bytes tell the first look.
enum class LineStart { nothing, scores, diff };

// Whether a trimmed line starts the way a scoring term's line starts, or
// the way a diff's line does. Decided on the first byte for most lines.
LineStart classify_start(std::string_view t) {
    const char c = text::to_lower_ascii(t[0]);
    auto starts = [&](std::initializer_list<std::string_view> prefixes) {
        for (std::string_view p : prefixes)
            if (text::starts_with_ignore_case(t, p)) return true;
        return false;
    };
    switch (c) {
        case '+':
        case '-':
        case '~':
            return t.size() >= 2 && t[1] == ' ' ? LineStart::scores : LineStart::nothing;
        case '@':
            return t.starts_with("@@ ") ? LineStart::diff : LineStart::nothing;
        case 'd':
            if (t.starts_with("diff --git ")) return LineStart::diff;
            return starts({"dependencies:", "devdependencies:", "done in ", "downgrading "}) ? LineStart::scores
                                                                                             : LineStart::nothing;
        case 'i':
            if (t.starts_with("Index: ")) return LineStart::diff;
            return starts({"installing ", "info direct dependencies", "info all dependencies"}) ? LineStart::scores
                                                                                                : LineStart::nothing;
        case 'n':
            return starts({"npm "}) ? LineStart::scores : LineStart::nothing;
        case 'p':
            return starts({"progress: resolved",
                           "packages: ", "peerdependencies:", "package operations:", "pre-commit installed at"})
                       ? LineStart::scores
                       : LineStart::nothing;
        case 'o':
            return starts({"optionaldependencies:"}) ? LineStart::scores : LineStart::nothing;
        case 'y':
            return starts({"yarn install v"}) ? LineStart::scores : LineStart::nothing;
        case '[':
            return starts({"[1/", "[2/", "[3/", "[4/", "[5/", "[info] ", "[error]"}) ? LineStart::scores
                                                                                     : LineStart::nothing;
        case 's':
            return starts({"success saved "}) ? LineStart::scores : LineStart::nothing;
        case 'l':
            return starts({"loading composer repositories"}) ? LineStart::scores : LineStart::nothing;
        case 'g':
            return starts({"generating autoload files"}) ? LineStart::scores : LineStart::nothing;
        case 'f':
            return starts({"fetching "}) ? LineStart::scores : LineStart::nothing;
        case 'u':
            return starts({"using ", "updating "}) ? LineStart::scores : LineStart::nothing;
        case 'a':
            return starts({"adding "}) ? LineStart::scores : LineStart::nothing;
        case 'r':
            return starts({"removing "}) ? LineStart::scores : LineStart::nothing;
        case '=':
            return t.starts_with("==> ") ? LineStart::scores : LineStart::nothing;
        case '\xE2':
            return t.starts_with("\xE2\x9E\xA4 ") ? LineStart::scores : LineStart::nothing;
        case '\xF0':
            return t.starts_with("\xF0\x9F\x8D\xBA") ? LineStart::scores : LineStart::nothing;
        default:
            return LineStart::nothing;
    }
}

// Every line start that `classify_start` knows, and the diff headers that
// the first look pairs ("--- ", "+++ "), in any letter case: a trimmed line
// that begins otherwise is passed over at once.
constexpr std::array<std::string_view, 41> kKnownStarts = {
    "+ ",
    "- ",
    "~ ",
    "@@ ",
    "diff --git ",
    "dependencies:",
    "devdependencies:",
    "done in ",
    "downgrading ",
    "Index: ",
    "installing ",
    "info direct dependencies",
    "info all dependencies",
    "npm ",
    "progress: resolved",
    "packages: ",
    "peerdependencies:",
    "package operations:",
    "pre-commit installed at",
    "optionaldependencies:",
    "yarn install v",
    "[1/",
    "[2/",
    "[3/",
    "[4/",
    "[5/",
    "[info] ",
    "[error]",
    "success saved ",
    "loading composer repositories",
    "generating autoload files",
    "fetching ",
    "using ",
    "updating ",
    "adding ",
    "removing ",
    "==> ",
    "\xE2\x9E\xA4 ",
    "\xF0\x9F\x8D\xBA",
    "--- ",
    "+++ ",
};

// The whitespace that `text::trim_start_fast` leaves to the full trim.
constexpr std::string_view kOtherBlanks = "\v\f\r";
constexpr bool is_other_blank(unsigned char c) { return c == '\v' || c == '\f' || c == '\r'; }

// The first two bytes of a known start in any letter case, and any pair
// that begins with a byte above 0x7F (a line that may begin with Unicode
// whitespace still to be trimmed), with another blank, or with a tab (the
// first look reads a line's first two bytes after its spaces, where a tab
// may still stand).
class LineStarts {
public:
    constexpr LineStarts() {
        for (std::string_view p : kKnownStarts)
            for (char a : {p[0], upper(p[0])})
                for (char b : {p[1], upper(p[1])}) set(a, b);
        for (unsigned b = 0; b < 0x100; ++b) {
            for (unsigned a = 0x80; a < 0x100; ++a) set(static_cast<char>(a), static_cast<char>(b));
            for (char a : kOtherBlanks) set(a, static_cast<char>(b));
            set('\t', static_cast<char>(b));
        }
    }

    // `line` from its first byte that is no space or tab; at least two bytes.
    bool may_start(std::string_view line) const { return may_start_at(line.data()); }

    // The two bytes at `at` (readable), the first no space.
    bool may_start_at(const char* at) const {
        const unsigned pair = static_cast<unsigned char>(at[0]) | static_cast<unsigned char>(at[1]) << 8;
        return (bits_[pair >> 6] >> (pair & 63)) & 1u;
    }

private:
    static constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
    constexpr void set(char a, char b) {
        const unsigned pair = static_cast<unsigned char>(a) | static_cast<unsigned char>(b) << 8;
        bits_[pair >> 6] |= std::uint64_t{1} << (pair & 63);
    }

    std::array<std::uint64_t, 1024> bits_{};
};

constexpr LineStarts kLineStarts;

// The first eight bytes of each known start with the 0x20 bit of every
// byte set, filed by the first byte: a line whose first eight bytes, so
// folded, match none of its first byte's starts begins with none of them
// in any letter case ("Downloading 12%" shares two bytes with "done in ",
// four with "downgrading ", but not eight).
class StartPrints {
public:
    static constexpr std::uint64_t kFold = 0x2020202020202020ull;

    constexpr StartPrints() {
        for (std::string_view p : kKnownStarts) {
            Print print;
            for (std::size_t i = 0; i < p.size() && i < 16; ++i) {
                const std::uint64_t byte = static_cast<unsigned char>(p[i]) | 0x20u;
                (i < 8 ? print.value : print.value2) |= byte << (8 * (i % 8));
                (i < 8 ? print.mask : print.mask2) |= std::uint64_t{0xFF} << (8 * (i % 8));
            }
            Bucket& bucket = buckets_[print.value & 0xFF];
            bucket.prints[bucket.count++] = print;
        }
        // A line whose first byte that is no space is one of these begins
        // with no known start: its folded first byte starts none, and it is
        // no blank still to be trimmed (a newline ends the line: it is blank).
        for (unsigned c = 0; c < 0x80; ++c)
            rejects_[c] = c != ' ' && c != '\t' && !is_other_blank(static_cast<unsigned char>(c)) &&
                          buckets_[c | 0x20u].count == 0;
    }

    // Whether a line whose first byte that is no space is `c` begins with
    // no known start, by that byte alone.
    constexpr bool rejects_first_byte(unsigned char c) const { return rejects_[c]; }

    // Whether the line that begins with the eight bytes `word` begins with
    // no known start, by those bytes alone (never so for a first byte that
    // is a blank or above 0x7F: trimming may find a start after it).
    constexpr bool none_on_first_word(std::uint64_t word) const {
        const auto first = static_cast<unsigned char>(word & 0xFF);
        if (first == ' ' || first == '\t' || first >= 0x80 || is_other_blank(first)) return false;
        const std::uint64_t folded = word | kFold;
        const Bucket& bucket = buckets_[folded & 0xFF];
        for (std::size_t k = 0; k < bucket.count; ++k)
            if ((folded & bucket.prints[k].mask) == bucket.prints[k].value) return false;
        return true;
    }

    // Whether a known start may stand at `first`, the line's first byte
    // that is no space, with at least eight bytes of the text from there to
    // `end` (bytes past the line are any); always for a blank still to be
    // trimmed or a byte above 0x7F. A start longer than eight bytes is
    // checked on its second eight where the text holds them ("packages/" in
    // a path list is no "packages: ").
    bool may_match(const char* first, const char* end) const {
        const auto c = static_cast<unsigned char>(*first);
        if (c == '\t' || c >= 0x80 || is_other_blank(c)) return true;
        const std::uint64_t folded = load(first);
        const Bucket& bucket = buckets_[folded & 0xFF];
        for (std::size_t k = 0; k < bucket.count; ++k) {
            const Print& print = bucket.prints[k];
            if ((folded & print.mask) != print.value) continue;
            if (print.mask2 == 0 || end - first < 16 || (load(first + 8) & print.mask2) == print.value2) return true;
        }
        return false;
    }

private:
    static std::uint64_t load(const char* at) {
        std::uint64_t word;
        std::memcpy(&word, at, 8);
        return word | kFold;
    }

    struct Print {
        std::uint64_t value = 0, mask = 0, value2 = 0, mask2 = 0;
    };
    struct Bucket {
        std::array<Print, 7> prints{};
        std::size_t count = 0;
    };
    std::array<Bucket, 256> buckets_{};
    std::array<bool, 256> rejects_{};
};

constexpr StartPrints kStartPrints;

}  // namespace

namespace {

// The lines of a text that may score (the detector scores no other line):
// the first of them, and whether there are more; none for a diff.
struct ScoringLines {
    std::size_t first = kNoLine;
    bool more = false;
};

ScoringLines lines_that_may_score(const text::LineIndex& lines) {
    const std::string_view text = lines.text();
    std::size_t scoring_line = kNoLine;
    bool more_scoring_lines = false;
    auto add_line = [&](std::size_t line) {
        if (scoring_line == kNoLine)
            scoring_line = line;
        else if (line != scoring_line)
            more_scoring_lines = true;
    };
    bool minus_header = false, plus_header = false;
    // The first eight bytes of the last line passed over on them alone;
    // eight NUL bytes would be.
    static_assert(kStartPrints.none_on_first_word(0));
    std::uint64_t passed_over = 0;
    const char* text_begin = text.data();
    const char* text_end = text_begin + text.size();
    // The lines that hold an inner sign are found by the wide scan for all
    // signs together, or after many a " package" that cannot score by the
    // scan for the other signs and the one for " package" apart; each
    // passes over a line once a sign is found on it, and goes on from
    // `sign_from`, `other_from` or `package_from`.
    enum class Signs { together, apart };
    Signs signs = Signs::together;
    std::size_t sign_from = 0, other_from = 0, package_from = 0;
    std::size_t package_misses = 0;
    // Finds the lines that `next` (a search for signs before a limit) finds
    // before `limit`, from `from` on; a line found moves `from` to the next.
    auto search_lines = [&](auto&& next, std::size_t limit, std::size_t& from) {
        while (!more_scoring_lines) {
            const std::optional<std::size_t> at = next(limit, from);
            if (!at) {
                from = std::max(from, limit);
                return;
            }
            const std::size_t line = lines.line_at(*at);
            add_line(line);
            from = line + 1 < lines.size() ? lines.start(line + 1) : text.size();
        }
    };
    // The text is read a chunk at a time, first by the sign scan (which
    // reads every byte and is bound by its own work while the chunk comes
    // from memory), then by the other searches, which find its bytes in
    // cache.
    constexpr std::size_t kChunk = std::size_t{1} << 18;
    std::size_t i = 0;
    for (std::size_t chunk = 0;; chunk += kChunk) {
        const std::size_t chunk_end = text.size() - chunk <= kChunk ? text.size() : chunk + kChunk;
        if (signs == Signs::together) {
            search_lines(
                [&](std::size_t limit, std::size_t from) -> std::optional<std::size_t> {
                    const SignSearch search = next_sign<true>(text, limit, from, package_misses);
                    if (search.gave_up) {
                        signs = Signs::apart;
                        other_from = package_from = search.resume;
                    }
                    return search.at;
                },
                chunk_end, sign_from);
        }
        if (signs == Signs::apart) {
            search_lines([&](std::size_t limit, std::size_t from) { return next_other_sign(text, limit, from); },
                         chunk_end, other_from);
            search_lines([&](std::size_t limit, std::size_t from) { return next_package_word(text, limit, from); },
                         chunk_end, package_from);
        }
        const bool last = chunk_end == text.size();
        // The start of each line in the chunk.
        for (; i < lines.size() && (last || lines.start(i) < chunk_end); ++i) {
            // Most lines begin with no blank and are passed over on their first
            // eight bytes, before the line's end is even looked up; a line
            // shorter than a known start may match by the bytes after it and
            // is then read in full below.
            const char* first = text_begin + lines.start(i);
            if (text_end - first >= 8) {
                constexpr std::uint64_t kSpaces = 0x2020202020202020ull;
                std::uint64_t word;
                std::memcpy(&word, first, 8);
                // A run of lines that begin alike ("Downloading 12%") is passed
                // over on one comparison each.
                if (word == passed_over) continue;
                // Indentation of spaces is passed over eight bytes at a time; it
                // ends within the line or at its newline (a blank line), which
                // no start begins with.
                while (word == kSpaces && text_end - first >= 16) {
                    first += 8;
                    std::memcpy(&word, first, 8);
                }
                if (word != kSpaces) {
                    const unsigned at = static_cast<unsigned>(std::countr_zero(word ^ kSpaces)) / 8;
                    // The first two bytes that are no space tell for most
                    // lines, in one table (indented JSON, listings, random
                    // letters): the look below reads the same two after the
                    // line's blanks, unless the first is a tab, which the
                    // table lets through. Where the eight bytes hold only
                    // one of them, the first byte tells alone.
                    if (at < 7 ? !kLineStarts.may_start_at(first + at)
                               : kStartPrints.rejects_first_byte(static_cast<unsigned char>(word >> (8 * at))))
                        continue;
                    if (kStartPrints.none_on_first_word(word)) {
                        passed_over = word;
                        continue;
                    }
                    first += at;
                    if (text_end - first >= 8 && !kStartPrints.may_match(first, text_end)) continue;
                }
            }
            const std::string_view line = lines[i];
            const std::size_t blanks = text::leading_blanks(line);
            // No prefix that `classify_start` knows is shorter than two bytes.
            if (line.size() - blanks < 2 || !kLineStarts.may_start(line.substr(blanks))) continue;
            const char* start = line.data() + blanks;
            if (text_end - start >= 8 && !kStartPrints.may_match(start, text_end)) continue;
            const std::string_view t = text::trim_start_fast(line);
            if (t.empty()) continue;
            switch (classify_start(t)) {
                case LineStart::diff:
                    return {};
                case LineStart::scores:
                    add_line(i);
                    break;
                case LineStart::nothing:
                    break;
            }
            minus_header = minus_header || t.starts_with("--- ");
            plus_header = plus_header || t.starts_with("+++ ");
            if (minus_header && plus_header) return {};
        }
        if (last) break;
    }
    return {scoring_line, more_scoring_lines};
}

}  // namespace

bool may_be_package_manager_log(const text::LineIndex& lines) { return lines_that_may_score(lines).first != kNoLine; }

bool worth_detecting(const text::LineIndex& lines) {
    const ScoringLines scoring = lines_that_may_score(lines);
    if (scoring.first == kNoLine) return false;
    return scoring.more || lone_line_may_carry_log(text::trim(lines[scoring.first]));
}

bool count_packages_phrase(std::string_view lower, std::string_view word) {
    if (!has_package_word(lower)) return false;
    for (std::size_t at = lower.find(word); at != std::string_view::npos; at = lower.find(word, at + 1))
        if (at + word.size() < lower.size() && lower[at + word.size()] == ' ') return true;
    return false;
}

std::optional<PackageManagerLog> detect_package_manager_log(const std::vector<std::string_view>& lines) {
    std::array<std::uint64_t, kCount> scores{};
    std::array<std::size_t, kCount> first_scored{};
    first_scored.fill(kNoLine);
    bool arrow = false, bar = false, error_colon = false, minus_header = false, plus_header = false;
    std::vector<std::string_view> evidence;
    std::string lower;

    for (std::string_view raw : lines) {
        const std::string_view t = text::trim(raw);
        if (t.empty()) continue;
        // A diff (of a package list or of code) is no log of a run.
        if (starts_with_any(t, {"diff --git ", "Index: ", "@@ "})) return std::nullopt;
        minus_header = minus_header || t.starts_with("--- ");
        plus_header = plus_header || t.starts_with("+++ ");
        if (minus_header && plus_header) return std::nullopt;

        if (text::contains_ignore_case(t, "could not compile")) return std::nullopt;
        if (starts_with_any(t, {"error[E", "warning[E"})) return std::nullopt;
        if (ends_as_test_result(t)) return std::nullopt;
        arrow = arrow || is_arrow_line(t);
        bar = bar || is_bar_line(t);
        error_colon = error_colon || text::contains_ignore_case(t, "error:");

        // Most lines of any text hold no evidence: only a line whose start
        // or content can meet some term is scored.
        if (classify_start(t) == LineStart::scores || kInnerSignSet.found_in(t)) {
            lower.assign(t);
            for (char& c : lower) c = text::to_lower_ascii(c);
            const LineScore s = score_line(t, lower);
            for (std::size_t m = 0; m < kCount; ++m) {
                if (s.points[m] == 0) continue;
                scores[m] += s.points[m];
                if (first_scored[m] == kNoLine) first_scored[m] = evidence.size();
            }
        }
        evidence.push_back(t);
    }
    if (evidence.size() < kMinLines) return std::nullopt;
    if (arrow && (bar || error_colon)) return std::nullopt;

    // Whether some evidence line passes `test` (given the line and its
    // lowercased copy). Asked only when the answer matters.
    auto some_line = [&](auto&& test) {
        for (std::string_view t : evidence) {
            lower.assign(t);
            for (char& c : lower) c = text::to_lower_ascii(c);
            if (test(t, std::string_view(lower))) return true;
        }
        return false;
    };
    if (scores[pnpm] > 0 && !some_line([](std::string_view, std::string_view l) { return is_pnpm_anchor(l); }))
        scores[pnpm] = 0;
    if (scores[bundler] > 0 && !some_line([](std::string_view, std::string_view l) { return is_bundler_anchor(l); }))
        scores[bundler] = 0;
    if (scores[homebrew] > 0 && !some_line(is_homebrew_anchor)) scores[homebrew] = 0;

    std::uint64_t total = 0;
    std::size_t winner = 0;
    for (std::size_t m = 0; m < kCount; ++m) {
        total += scores[m];
        if (scores[m] > scores[winner] || (scores[m] == scores[winner] && kNames[m] > kNames[winner])) winner = m;
    }
    if (total == 0 || evidence.size() < kMinScoredLines) return std::nullopt;
    // One scored line carries a log only when it is itself the error or
    // warning that the log is about; a lone weak line in some other text
    // ("invoke-rc.d: could not ...") does not make that text a failed install.
    if (total == 1 && !summary::is_error_warning_line(evidence[first_scored[winner]])) return std::nullopt;
    const bool failure =
        evidence.front().starts_with("\xC3\x97") || some_line([](std::string_view, std::string_view l) {
            return (kVerdictWordSet.groups_in(l, 1u) & 1u) && has_failure_word(l);
        });
    if (total == 1 && !failure) return std::nullopt;
    const bool warning = some_line([](std::string_view, std::string_view l) {
        return (kVerdictWordSet.groups_in(l, 2u) & 2u) && has_warning_word(l);
    });
    return PackageManagerLog{std::string(kNames[winner]), failure, warning};
}

}  // namespace filters::package_manager::detector
