#include "filters/package_manager/summary.h"

#include <array>
#include <string>

#include "filters/package_manager/detector.h"
#include "text.h"

namespace filters::package_manager::summary {
namespace {

using text::contains;
using text::contains_any;
using text::starts_with_any;

// Entries 0 to 50 are progress prefixes, 51 to 85 summary phrases.
constexpr std::size_t kProgressPrefixes = 51;
constexpr std::array<std::string_view, 86> kPhrases = {
    // progress prefixes
    "collecting ",
    "downloading ",
    "downloaded ",
    "using cached ",
    "fetching ",
    "resolving ",
    "resolve ",
    "resolved, downloaded",
    "preparing ",
    "prepared metadata",
    "building wheel",
    "created wheel",
    "stored in directory",
    "requirement already satisfied",
    "installing build dependencies",
    "getting requirements to build wheel",
    "checking if build backend",
    "using cpython",
    "using python",
    "creating virtualenv",
    "creating virtual environment",
    "npm http fetch",
    "npm timing",
    "npm sill",
    "npm verb",
    "loading composer repositories",
    "updating dependencies",
    "generating optimized autoload files",
    "fetching gem metadata",
    "progress: resolved",
    "already up to date",
    "info no lockfile found",
    "info there appears to be trouble",
    "info visit http",
    "==> fetching",
    "==> downloading",
    "==> pouring",
    "==> installing",
    "==> autoremoving",
    "[info] initializing environment for",
    "[info] installing environment for",
    "[info] updating environment for",
    "[info] once installed",
    "[info] this may take",
    "[info] stashing unstaged files",
    "[info] restored changes",
    "updating crates.io index",
    "downloading crates",
    "compiling ",
    "checking ",
    "fresh ",
    // summary phrases
    "successfully installed",
    "installing collected packages",
    "saved lockfile",
    "installed package",
    "package operations",
    "lock file operations",
    "writing lock file",
    "installing dependencies from lock file",
    "bundle complete",
    "bundle updated",
    "gems now installed",
    "bundled gems are installed into",
    "generating autoload files",
    "security vulnerability advisory",
    "security vulnerability advisories",
    "lockfile",
    "lock file",
    "frozen",
    "frozen-lockfile",
    "locked",
    "outdated lockfile",
    "lockfile is up to date",
    "immutable install",
    "lockfile would have been modified",
    "no solution found",
    "version solving failed",
    "peer dependenc",
    "unmet peer",
    "incorrect peer dependency",
    "creating virtual environment at",
    "pre-commit installed at",
    "check the log at",
    "found 0 vulnerabilities",
    "vulnerability",
    "vulnerabilities",
};

// The summary phrases of the table, found in one pass over a line.
constexpr auto kSummaryPhraseSet = [] {
    std::array<std::string_view, kPhrases.size() - kProgressPrefixes> words{};
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = kPhrases[kProgressPrefixes + i];
    return text::WordSet<words.size()>::of(words);
}();

// The first bytes of the progress prefixes: a line that starts with any
// other byte needs no look at the prefixes.
constexpr auto kProgressFirstBytes = [] {
    std::array<bool, 256> first{};
    for (std::size_t i = 0; i < kProgressPrefixes; ++i) first[static_cast<unsigned char>(kPhrases[i][0])] = true;
    return first;
}();

constexpr auto kErrorWordSet =
    text::WordSet<9>::of({"error", "err!", "err_", "warn", "warning", "failed", "failure", "fatal", "could not"});

// Every hint rule needs one of these in the line; most lines hold none.
constexpr auto kHintSignSet = text::WordSet<21>::of({
    "hint:",
    "note:",
    "help:",
    "npm audit fix",
    "composer audit",
    "to address all issues",
    "because ",
    "requires ",
    "fixed in:",
    "advisory:",
    "severity:",
    "name:",
    "version:",
    "| ",
    "cve-",
    "ghsa-",
    "brew ",
    "launchctl ",
    "systemctl ",
    "yarn explain peer-requirements",
    "peer requirement",
});

// Characters that wrap a path in prose: quotes, brackets, punctuation.
constexpr std::string_view kPathWordTrim = "\"'(),:;[]`";

std::string lowered(std::string_view s) { return text::to_lower(s); }

bool is_drawn_bar(std::string_view t) { return t.find_first_not_of(" #-.=>") == std::string_view::npos; }

bool yarn_nonzero_summary(std::string_view lower) {
    const std::string_view l = text::trim_start(lower);
    if (!l.starts_with("\xE2\x9E\xA4 yn") || l.starts_with("\xE2\x9E\xA4 yn0000:")) return false;
    return contains_any(l, {"yn0001", "yn0002", "yn0028", "yn0060", "yn0086"});
}

bool security_audit_table_line(std::string_view t, std::string_view l) {
    if (t.starts_with("|") && contains_any(l, {"| package", "| severity", "| cve", "| title", "| affected version"}))
        return true;
    return contains_any(l, {"cve-", "ghsa-", "| high", "| critical", "| moderate", "| medium", "| low"});
}

// A command that a homebrew caveat tells the reader to run. "brew upgrade"
// is the other command its caveats print in this form.
bool homebrew_caveat_command(std::string_view lower) {
    return starts_with_any(lower, {"brew services ", "brew link ", "brew unlink ", "brew install ", "brew reinstall ",
                                   "brew upgrade ", "brew start ", "brew stop ", "brew tap ", "sudo launchctl ",
                                   "launchctl ", "sudo systemctl ", "systemctl "});
}

bool word_opens_version(std::string_view w) { return w[0] == '(' || text::is_ascii_digit(w[0]); }

bool is_path_word(std::string_view w) {
    while (!w.empty() && kPathWordTrim.find(w.front()) != std::string_view::npos) w.remove_prefix(1);
    while (!w.empty() && kPathWordTrim.find(w.back()) != std::string_view::npos) w.remove_suffix(1);
    return !w.empty() && !contains(w, "://") && (contains(w, "/") || contains(w, "\\"));
}

// A dependency tree row that gives a package's name and version as two
// words after its drawing ("├─┬ react-dom 18.2.0") names a package as a
// row with "@" does: the warning rows under it are about that package.
bool is_name_version_row(std::string_view t) {
    const std::vector<std::string_view> words = text::split_whitespace(t);
    return words.size() >= 3 && text::is_ascii_digit(words[2][0]);
}

// The forms of one line that the classes below read: `t` trimmed, `l` its
// ASCII-lowercased copy, made once per line.
struct LineForms {
    std::string_view t;
    std::string l;
};

bool is_package_change_line(const LineForms& f) {
    const std::string_view t = f.t;
    if (t.empty()) return false;
    if (starts_with_any(t, {"+ ", "- ", "~ "})) {
        const std::vector<std::string_view> words = text::split_whitespace(t.substr(2));
        if (words.empty()) return false;
        if (contains(t.substr(2), "==")) return true;
        if (contains(words[0], "@") || words[0].find_first_of("0123456789") != std::string_view::npos) return true;
        for (std::size_t i = 1; i < words.size(); ++i)
            if (words[i][0] == '(' || words[i][0] == 'v' || text::is_ascii_digit(words[i][0])) return true;
        return false;
    }
    if (starts_with_any(t, {"\xE2\x94\x9C\xE2\x94\x80", "\xE2\x94\x94\xE2\x94\x80"}))
        return contains(t, "@") || is_name_version_row(t);
    const std::string_view l = f.l;
    if ((l.starts_with("using ") && !starts_with_any(l, {"using cpython", "using python"})) ||
        starts_with_any(l, {"fetching ", "installing "})) {
        for (std::string_view w : text::split_whitespace(l))
            if (word_opens_version(w)) return true;
        return false;
    }
    if (starts_with_any(l, {"adding ", "removing ", "updating ", "downgrading "}))
        return contains_any(l, {" v", " -> ", "@"});
    if (l.starts_with("installed ")) return contains_any(l, {"@", " v"});
    return false;
}

bool is_progress_line(const LineForms& f) {
    const std::string_view t = f.t;
    if (t.empty()) return false;
    if (is_drawn_bar(t)) return true;
    const std::string_view l = f.l;
    if (kProgressFirstBytes[static_cast<unsigned char>(l[0])])
        for (std::size_t i = 0; i < kProgressPrefixes; ++i)
            if (l.starts_with(kPhrases[i])) return true;
    if (l.starts_with("installing ") && contains(l, " v")) return true;
    if (starts_with_any(l, {"[1/", "[2/", "[3/", "[4/", "[5/"}) &&
        contains_any(l, {"resolving", "fetching", "linking", "building"}))
        return true;
    return l.starts_with("\xE2\x9E\xA4 yn0000:") &&
           contains_any(l, {"resolution step", "fetch step", "link step", "done", "completed", "yarn "});
}

bool is_error_warning_line(const LineForms& f) {
    if (f.t.starts_with("\xC3\x97")) return true;
    const std::string_view l = f.l;
    if (kErrorWordSet.found_in(l)) return true;
    return starts_with_any(l, {"\xE2\x9E\xA4 yn0001:", "\xE2\x9E\xA4 yn0028:"});
}

// `l` is the line as the reducer passes it (trimmed), lowercased.
bool is_final_summary_line(std::string_view l) {
    if (kSummaryPhraseSet.found_in(l)) return true;
    if (contains(l, " package")) {
        auto cpp = [&](std::string_view w) { return detector::count_packages_phrase(l, w); };
        if (cpp("installed") || contains_any(l, {" packages installed", " package installed"})) return true;
        for (std::string_view w :
             {"uninstalled", "prepared", "resolved", "audited", "added", "removed", "changed", "updated"})
            if (cpp(w)) return true;
    }
    const std::string_view trimmed = text::trim(l);
    if (text::equals_any(trimmed, {"dependencies:", "devdependencies:", "peerdependencies:", "optionaldependencies:"}))
        return true;
    if (starts_with_any(text::trim_start(l),
                        {"done in ", "success saved ", "info direct dependencies", "info all dependencies",
                         "==> caveats", "==> summary", "\xF0\x9F\x8D\xBA", "packages: +", "packages: -"}))
        return true;
    return yarn_nonzero_summary(l);
}

bool is_hint_line(const LineForms& f) {
    const std::string_view t = f.t;
    const std::string_view l = f.l;
    if (!kHintSignSet.found_in(l)) return false;
    if (starts_with_any(l, {"hint:", "note:", "help:"})) return true;
    if (contains_any(l, {"npm audit fix", "composer audit", "to address all issues"})) return true;
    if (l.starts_with("because ") && contains(l, " depends on ")) return true;
    if (contains(l, "requires ") && contains(l, " but")) return true;
    if (contains_any(l, {"fixed in:", "advisory:", "severity:", "name:", "version:"})) return true;
    if (security_audit_table_line(t, l)) return true;
    if (homebrew_caveat_command(l)) return true;
    return contains_any(l, {"yarn explain peer-requirements", "peer requirement"});
}

bool is_important_line(const LineForms& f) {
    const bool kept_kind = is_error_warning_line(f) || is_final_summary_line(f.l) || is_hint_line(f);
    if (is_progress_line(f)) return kept_kind;
    if (kept_kind || contains(f.t, "://")) return true;
    return text::any_word(f.t, &is_path_word);
}

LineForms forms_of(std::string_view line) {
    const std::string_view t = text::trim(line);
    return LineForms{t, lowered(t)};
}

}  // namespace

bool is_error_warning_line(std::string_view line) { return is_error_warning_line(forms_of(line)); }

LineClass classify_line(std::string_view line) {
    const LineForms f = forms_of(line);
    if (f.t.empty()) return LineClass::blank;
    if (is_package_change_line(f)) return LineClass::package_change;
    if (is_important_line(f)) return LineClass::important;
    if (is_progress_line(f)) return LineClass::progress;
    return LineClass::other;
}

}  // namespace filters::package_manager::summary
