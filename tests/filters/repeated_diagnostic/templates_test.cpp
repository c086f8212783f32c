#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/repeated_diagnostic/normalization.h"
#include "filters/repeated_diagnostic/summary.h"

namespace {

using filters::repeated_diagnostic::normalization::looks_like_path;
using filters::repeated_diagnostic::summary::diagnostic_template_for_line;

TEST(RepeatedDiagnosticTemplates, PlaceholdersAndPaths) {
    struct Case {
        std::string line;
        std::string want;  // "" for no template
        std::vector<std::string> paths;
    };
    const Case cases[] = {
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
    };
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
        {"C:x", false}, {"\"\"", false}, {"//a", true}, {"a\\\\b", true}};
    for (const Case& c : cases) EXPECT_EQ(looks_like_path(c.text), c.path) << c.text;
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
