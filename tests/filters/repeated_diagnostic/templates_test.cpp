#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/repeated_diagnostic/normalization.h"
#include "filters/repeated_diagnostic/summary.h"
#include "text.h"

namespace {

using filters::repeated_diagnostic::normalization::looks_like_path;
using filters::repeated_diagnostic::summary::diagnostic_template_for_line;

TEST(RepeatedDiagnosticTemplates, PlaceholdersAndPaths) {
    struct Case {
        std::string line;
        std::string want;  // "" for no template
        std::vector<std::string> paths;
    };
    const std::string key40(40, 'k');
    std::vector<Case> cases = {
        {"cannot open /var/log/app/42.log: permission denied",
         "cannot open <path>: permission denied",
         {"/var/log/app/42.log"}},
        {"error: cannot read ./a", "error: cannot read <path>", {"./a"}},
        {"failed loading config=C:\\tmp\\x.ini today", "failed loading config=<path> today", {"C:/tmp/x.ini"}},
        {"fatal: bad object (0x4b2c8a), giving up", "fatal: bad object (<addr>), giving up", {}},
        {"==12345==ERROR: LeakSanitizer: detected memory leaks",
         "==<pid>==ERROR: LeakSanitizer: detected memory leaks",
         {}},
        {"retry 3 of 5 failed", "retry <num> of <num> failed", {}},
        {"warning: drift -1.5 seconds", "warning: drift <num> seconds", {}},
        {"error x2 E11000 duplicate key", "error x2 E1<num> duplicate key", {}},
        {"fatal: bad object 0123456789abcdef0123456789abcdef01234567", "fatal: bad object <hash>", {}},
        {"fatal: bad object 0123456789a", "fatal: bad object <num>a", {}},
        {"error: id abcdef0123456789xyz rejected", "error: id abcdef0<num>xyz rejected", {}},
        {"\x1b[31merror\x1b[0m: unable   to connect", "error: unable to connect", {}},
        {"upload \"/srv/a.txt\" failed", "upload \"<path>\" failed", {"/srv/a.txt"}},
        // No whole word: "error" inside names.
        {"error_count=0 ErrorHandler error-prone", "", {}},
        {"Error: x", "", {}},                        // too little fixed text
        {"cannot open file: password=abc", "", {}},  // a secret-bearing key
        {"- failed to open the file", "", {}},       // a list item
        {"everything is fine here today", "", {}},   // no signal
        {"see https://example.com/error page failed", "see https://example.com/error page failed", {}},
        // A key of up to 40 bytes keeps its name before a path value.
        {"failed loading " + key40 + "=/tmp/a.txt", "failed loading " + key40 + "=<path>", {"/tmp/a.txt"}},
        {"failed loading k" + key40 + "=/tmp/a.txt", "failed loading <path>", {"k" + key40 + "=/tmp/a.txt"}},
        // Twelve hex digits make a hash, alone or after other characters.
        {"fatal: bad object 0123456789ab", "fatal: bad object <hash>", {}},
        {"fatal: bad object id=0123456789ab", "fatal: bad object id=<hash>", {}},
        {"fatal: bad object id=0123456789a", "fatal: bad object id=<num>a", {}},
    };
    // Each phrase and whole word of the diagnostic signal alone gives a line
    // its template (here the line itself).
    for (const char* line :
         {"open of the archive: permission denied_now", "reading archive: no such file_here",
          "the archive was not found_here", "the archive xcannot be read", "the archive xcan't be read",
          "the archive is xunable to load", "the archive xfailed to load", "the archive hit a xfatal errorx",
          "the archive run: segmentation fault", "the archive run: core dumped", "the archive run: stack trace follows",
          "the archive run: abort", "the archive run: aborted", "the archive run: aborting", "the archive cannot",
          "the archive run: denied", "the archive run: error", "the archive run: exception", "the archive run: failed",
          "the archive run: failure", "the archive run: fatal", "the archive run: invalid", "the archive run: panic",
          "the archive run: terminate", "the archive run: terminated", "the archive is unable",
          "the archive run: warn", "the archive run: warning"})
        cases.push_back({line, line, {}});
    // Each character that may open or close a token stays around its path.
    for (char c : std::string("\"'([{"))
        cases.push_back({text::format("cannot open {}/tmp/a.txt now", c), text::format("cannot open {}<path> now", c),
                         {"/tmp/a.txt"}});
    for (char c : std::string("\"'),.:;]}"))
        cases.push_back({text::format("cannot open /tmp/a.txt{} now", c), text::format("cannot open <path>{} now", c),
                         {"/tmp/a.txt"}});
    for (const Case& c : cases) {
        const auto got = diagnostic_template_for_line(c.line);
        if (c.want.empty()) {
            EXPECT_FALSE(got) << c.line;
            continue;
        }
        ASSERT_TRUE(got) << c.line;
        EXPECT_EQ(got->template_text, c.want) << c.line;
        EXPECT_EQ(got->paths, c.paths) << c.line;
    }
}

TEST(RepeatedDiagnosticTemplates, LineLengthLimit) {
    const std::string base = "error: cannot open the file ";
    EXPECT_TRUE(diagnostic_template_for_line(base + std::string(1200 - base.size(), 'x')));
    EXPECT_FALSE(diagnostic_template_for_line(base + std::string(1201 - base.size(), 'x')));
}

TEST(RepeatedDiagnosticTemplates, PathShapes) {
    struct Case {
        const char* text;
        bool path;
    };
    const Case cases[] = {
        {"and/or", true},   {"/a", false},   {"~/", false},  {"notes.md", true}, {"http://x/y.md", false},
        {"'/tmp/x'", true}, {"D:\\x", true}, {"a//", false}, {"", false},
        // Backslash, quoting and extension edges.
        {"\\\\srv\\share", true}, {"..\\up", true}, {"'\"./a\"'", true}, {"~\\x", true},
        {".\\", false}, {"x.PY", true}, {"a.b", false}, {"ftp://h/a.c", false},
        {"C:x", false}, {"\"\"", false}, {"//a", true}, {"a\\\\b", true},
        // Three bytes at least after the quotes, from the root, here or home.
        {"/ab", true}, {"'/a'", false}, {"./a", true}, {"./", false}, {"~/a", true}};
    for (const Case& c : cases) EXPECT_EQ(looks_like_path(c.text), c.path) << c.text;
    // Each extension alone makes a name a path.
    for (const char* ext : {".c",   ".cc",   ".cfg", ".conf", ".cpp", ".csv",  ".go",  ".gz",  ".h",    ".hpp",
                            ".html", ".ini", ".java", ".js",   ".json", ".jsx", ".log", ".md",  ".php", ".png",
                            ".py",  ".rb",   ".rs",  ".so",   ".sql", ".svg",  ".toml", ".ts",  ".tsx", ".txt",
                            ".xml", ".yaml", ".yml", ".zip"})
        EXPECT_TRUE(looks_like_path(std::string("notes") + ext)) << ext;
}

}  // namespace

namespace {

using filters::repeated_diagnostic::normalization::has_enough_static_text;

TEST(RepeatedDiagnosticTemplates, StaticTextEdges) {
    struct TextCase {
        const char* text;
        bool enough;
    };
    const TextCase texts[] = {
        {"<num> error opening", true},
        {"<num> <path> ab cd", false},
        {"err<nu<path>m>or code", false},  // "<num>" only forms once "<path>" is gone
        {"a<b c>d failed here", true},     // a "<" that opens no placeholder stays
        {"<pid> caf\xC3\xA9 errors", true},
        {"<num>\xE2\x80\x83<num> ab cd ef gh", false},
        {"<addr> ab cd ef", false},
        {"<hash> ab cd ef", false},
        {"<pid> ab cd ef", false},
        // Ten bytes and six letters at least.
        {"errors:123", true},
        {"errors:12", false},
        {"error:1234", false},
    };
    for (const TextCase& c : texts) EXPECT_EQ(has_enough_static_text(c.text), c.enough) << c.text;
}

}  // namespace

namespace {

// Rewrites that follow one another on one token, and tokens that need none.
TEST(RepeatedDiagnosticTemplates, ChainedTokenRewrites) {
    struct Case {
        std::string line;
        std::string want;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {"error at ==12==0x1fabc and ==x== done", "error at ==<pid>==<addr> and ==x== done", {}},
        {"fatal: id deadbeefcafe01 ab12cd rejected", "fatal: id <hash> ab1<num>cd rejected", {}},
        {"error: token DEADBEEFCAFEBABE0 is stale", "error: token <hash> is stale", {}},
        {"warning: 0x 0x1 0X12g value drift", "warning: <num>x <addr> <addr>g value drift", {}},
        {"error: key=C:\\tmp\\a.log and ok=./b failed", "error: key=<path> and ok=<path> failed", {"C:/tmp/a.log", "./b"}},
        {"cannot open \"(a/b)\": denied now", "cannot open \"(<path>)\": denied now", {"a/b"}},
        // Unlike a native trace line, a template hides a null value too, so
        // that lines differing only there fold together.
        {"error: free of 0x0 at 0x00000000 rejected", "error: free of <addr> at <addr> rejected", {}},
    };
    for (const Case& c : cases) {
        const auto got = diagnostic_template_for_line(c.line);
        ASSERT_TRUE(got) << c.line;
        EXPECT_EQ(got->template_text, c.want) << c.line;
        EXPECT_EQ(got->paths, c.paths) << c.line;
    }
}

}  // namespace
