#include "filters/bundle_report/detector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "filters/bundle_report/bundle_report.h"
#include "support.h"
#include "text.h"

namespace {

namespace detector = filters::bundle_report::detector;
using filters::bundle_report::is_diagnostic_bundle_report_output;

std::string read_capture(const std::string& name) {
    return test_support::read_test_file("filters/bundle_report/data/" + name);
}

std::vector<std::string_view> lines(const std::string& text) { return text::lines_of(text); }

// A report in the shape of a real build log: the tool and stage lines, then
// `rows` asset rows, then the `extra_rows` lines, then the `tail` lines.
std::string report(std::size_t rows, const std::vector<std::string>& extra_rows = {},
                   const std::vector<std::string>& tail = {"", "\xE2\x9C\x93 built in 812ms"},
                   const std::string& tool = "vite v5.4.2 building for production...",
                   const std::string& gzip_stage = "computing gzip size...") {
    std::string out =
        tool + "\ntransforming...\n\xE2\x9C\x93 48 modules transformed.\nrendering chunks...\n" + gzip_stage + "\n";
    for (std::size_t i = 0; i < rows; ++i)
        out +=
            text::format("dist/assets/page{}-Bx7Qz1Lm.js   {}.24 kB \xE2\x94\x82 gzip:  0.{} kB\n", i, i + 1, 10 + i);
    for (const auto& r : extra_rows) out += r + "\n";
    for (const auto& t : tail) out += t + "\n";
    return out;
}

TEST(ParseAssetRow, Rows) {
    struct Case {
        const char* line;
        const char* path;
        const char* extension;
        const char* size;
        double size_bytes;
        const char* gzip;
        double gzip_bytes;
    };
    const Case cases[] = {
        {"dist/assets/index-4f2a.js   142.35 kB \xE2\x94\x82 gzip: 45.12 kB", "dist/assets/index-4f2a.js", "js",
         "142.35 kB", 142350, "45.12 kB", 45120},
        {"dist/a.js 1 kB gzip: 0.5 kB", "dist/a.js", "js", "1 kB", 1000, "0.5 kB", 500},
        // Sizes of 1000 kB and more carry a thousands separator.
        {"dist/assets/index-CUOMn72T.js    1,129.77 kB \xE2\x94\x82 gzip: 1,681.60 kB", "dist/assets/index-CUOMn72T.js",
         "js", "1,129.77 kB", 1129770, "1,681.60 kB", 1681600},
        {"dist/big.wasm 12,345,678 B \xE2\x94\x82 gzip: 1,000 B", "dist/big.wasm", "wasm", "12,345,678 B", 12345678,
         "1,000 B", 1000},
        {"  dist/app.min.js  2 KiB | gzip: 1 MiB  ", "dist/app.min.js", "js", "2 KiB", 2048, "1 MiB", 1048576},
        {"dist/Index.HTML 12 B \xE2\x94\x82 GZIP: 9 b \xE2\x94\x82 map: 3.10 kB", "dist/Index.HTML", "html", "12 B", 12,
         "9 b", 9},
        {"dist/x.css 1.5 MB ||\xE2\x94\x82 gzip: 2e2 kb", "dist/x.css", "css", "1.5 MB", 1.5e6, "2e2 kb", 2e5},
        {"C:\\build\\out\\font.woff2  0.5 kB \xE2\x94\x82 gzip: 0.25 kB", "C:\\build\\out\\font.woff2", "woff2",
         "0.5 kB", 500, "0.25 kB", 250},
        {"dist/my file.data-x_1 3 kB \xE2\x94\x82 gzip: 1 kB", "dist/my file.data-x_1", "data-x_1", "3 kB", 3000,
         "1 kB", 1000},
        {"dist/a.abcdefghijklmnop 1 kB \xE2\x94\x82 gzip: 1 kB", "dist/a.abcdefghijklmnop", "abcdefghijklmnop", "1 kB",
         1000, "1 kB", 1000},
        {"\x1b[2mdist/\x1b[0m\x1b[35mpage1.css   \x1b[0m\x1b[1;2m0.03 kB\x1b[0m\x1b[2m \xE2\x94\x82 gzip: 0.05 "
         "kB\x1b[0m\r",
         "dist/page1.css", "css", "0.03 kB", 30, "0.05 kB", 50},
    };
    for (const auto& c : cases) {
        auto row = detector::parse_asset_row(c.line);
        ASSERT_TRUE(row) << c.line;
        EXPECT_EQ(row->path, c.path);
        EXPECT_EQ(row->extension, c.extension);
        EXPECT_EQ(row->size, c.size);
        EXPECT_DOUBLE_EQ(row->size_bytes, c.size_bytes) << c.line;
        EXPECT_EQ(row->gzip, c.gzip);
        EXPECT_DOUBLE_EQ(row->gzip_bytes, c.gzip_bytes) << c.line;
    }
}

TEST(ParseAssetRow, NotRows) {
    for (const char* line : {
             "dist/a.js 1 GB \xE2\x94\x82 gzip: 0.5 kB",               // unit not accepted
             "dist/a.js 1 kB \xE2\x94\x82 gzip: 0.5 GiB",              // gzip unit not accepted
             "dist/a.js 1 bytes \xE2\x94\x82 gzip: 1 kB",              //
             "dist/a.js 1 kB \xE2\x94\x82 gzip: 0.5",                  // no gzip unit
             "dist/a.js 1 kB \xE2\x94\x82 gzip:",                      //
             "dist/LICENSE 1 kB \xE2\x94\x82 gzip: 0.5 kB",            // no dot in the file name
             "dist.d/LICENSE 1 kB \xE2\x94\x82 gzip: 0.5 kB",          // dot only in a directory
             "dist/a.abcdefghijklmnopq 1 kB \xE2\x94\x82 gzip: 1 kB",  // 17-character extension
             "dist/a.js~ 1 kB \xE2\x94\x82 gzip: 1 kB",                // "~" in the extension
             "dist/a. 1 kB \xE2\x94\x82 gzip: 1 kB",                   // empty extension
             "dist/a.js one kB \xE2\x94\x82 gzip: 1 kB",               // size not a number
             "dist/a.js 1 kB \xE2\x94\x82 gzip: ~1 kB",                //
             "1 kB \xE2\x94\x82 gzip: 1 kB",                           // no path
             "kB \xE2\x94\x82 gzip: 1 kB",                             //
             "dist/a.js 1 kB",                                         // no gzip column
             "dist/a.js 1,,000 kB \xE2\x94\x82 gzip: 1 kB",            // commas only between digits
             "dist/a.js ,100 kB \xE2\x94\x82 gzip: 1 kB",              //
             "dist/a.js 100, kB \xE2\x94\x82 gzip: 1 kB",              //
             "dist/a.js 1.5,0 kB \xE2\x94\x82 gzip: 1 kB",             //
             "computing gzip size...",                                 //
             "",
         })
        EXPECT_FALSE(detector::parse_asset_row(line)) << line;
}

TEST(DetectorHelpers, NormalizeLine) {
    EXPECT_EQ(detector::normalize_line("\x1b[32mok\x1b[0m  \r"), "ok");
    EXPECT_EQ(detector::normalize_line("a\rb\r"), "ab");
    EXPECT_EQ(detector::normalize_line("keep \x1b(B and end\x1b"), "keep \x1b(B and end\x1b");
    EXPECT_EQ(detector::normalize_line("cut \x1b[12;3"), "cut");
    EXPECT_EQ(detector::normalize_line("  lead\xC2\xA0"), "  lead");
}

TEST(DetectorHelpers, LastTokenAndUnits) {
    auto t = detector::last_token("  a b  ");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->first, 4u);
    EXPECT_EQ(t->second, "b");
    t = detector::last_token("single");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->first, 0u);
    t = detector::last_token("x\xC2\xA0y");  // no-break space separates
    ASSERT_TRUE(t);
    EXPECT_EQ(t->second, "y");
    EXPECT_EQ(t->first, 3u);
    EXPECT_FALSE(detector::last_token(" \t "));

    EXPECT_EQ(detector::metric_bytes("B", 3), 3);
    EXPECT_EQ(detector::metric_bytes("KB", 2), 2000);
    EXPECT_EQ(detector::metric_bytes("mB", 2), 2e6);
    EXPECT_EQ(detector::metric_bytes("KiB", 2), 2048);
    EXPECT_EQ(detector::metric_bytes("mib", 1), 1048576);
    for (const char* bad : {"GB", "GiB", "bytes", "k", "", "kB "}) EXPECT_FALSE(detector::metric_bytes(bad, 1)) << bad;
}

TEST(DetectBundleReport, RealBuildLogs) {
    const std::string plain = read_capture("vite_build.txt");
    auto r = detector::detect_bundle_report(lines(plain));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->rows.size(), 30u);
    EXPECT_FALSE(r->has_diagnostics);
    EXPECT_EQ(r->rows.front().path, "dist/index.html");
    EXPECT_EQ(r->rows.back().path, "dist/assets/index-BG2_IEdC.js");
    EXPECT_EQ(r->rows.back().size, "5.30 kB");
    EXPECT_EQ(r->rows.back().gzip, "1.94 kB");

    // Colour codes and "\r\n" line ends parse exactly like the plain log.
    std::string crlf;
    for (char c : plain) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& variant : {read_capture("vite_build_color.txt"), crlf}) {
        auto v = detector::detect_bundle_report(lines(variant));
        ASSERT_TRUE(v);
        ASSERT_EQ(v->rows.size(), r->rows.size());
        for (std::size_t i = 0; i < v->rows.size(); ++i) {
            EXPECT_EQ(v->rows[i].path, r->rows[i].path);
            EXPECT_EQ(v->rows[i].size, r->rows[i].size);
            EXPECT_EQ(v->rows[i].gzip, r->rows[i].gzip);
        }
        EXPECT_FALSE(v->has_diagnostics);
        EXPECT_FALSE(is_diagnostic_bundle_report_output(variant));
    }
    EXPECT_FALSE(is_diagnostic_bundle_report_output(plain));

    // The chunk-size warning of a real build marks diagnostics.
    const std::string warned = read_capture("vite_build_chunk_warning.txt");
    auto w = detector::detect_bundle_report(lines(warned));
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->has_diagnostics);
    EXPECT_TRUE(is_diagnostic_bundle_report_output(warned));
    EXPECT_TRUE(is_diagnostic_bundle_report_output(text::normalize_and_trim_trailing_whitespace(warned)));
}

TEST(DetectBundleReport, RowCount) {
    EXPECT_FALSE(detector::detect_bundle_report(lines(report(11))));
    auto r = detector::detect_bundle_report(lines(report(12)));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->rows.size(), 12u);
    EXPECT_FALSE(r->has_diagnostics);
    EXPECT_FALSE(detector::detect_bundle_report({}));

    // Lines that are no rows neither count nor, without a diagnostic word, mark diagnostics.
    const std::vector<std::string> not_rows{
        "dist/huge.bin 1.2 GB \xE2\x94\x82 gzip: 0.9 GB", "dist/LICENSE 1.07 kB \xE2\x94\x82 gzip: 0.63 kB",
        "dist/a.abcdefghijklmnopq 1 kB \xE2\x94\x82 gzip: 1 kB", "dist/a.js~ 1 kB \xE2\x94\x82 gzip: 1 kB",
        "dist/a.js 1 kB \xE2\x94\x82 gzip: 0.5"};
    EXPECT_FALSE(detector::detect_bundle_report(lines(report(11, not_rows))));
    r = detector::detect_bundle_report(lines(report(11, {"dist/app.min.js 1 kB gzip: 0.5 kB"})));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->rows.back().extension, "js");
    r = detector::detect_bundle_report(lines(report(12, not_rows)));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->rows.size(), 12u);
    EXPECT_FALSE(r->has_diagnostics);
}

TEST(DetectBundleReport, MarkerLines) {
    struct Case {
        const char* name;
        std::string text;
        bool recognised;
    };
    std::string without_transform = report(12);
    without_transform.replace(without_transform.find("transforming..."), 15, "starting.......");
    without_transform.replace(without_transform.find("modules transformed"), 19, "modules handled....");
    without_transform.replace(without_transform.find("rendering chunks"), 16, "writing chunks..");
    // The report with one of the three transform and render stages put back.
    auto with_stage = [&](const std::string& neutral, const std::string& stage) {
        std::string t = without_transform;
        return t.replace(t.find(neutral), neutral.size(), stage);
    };
    const Case cases[] = {
        {"vite version line", report(12), true},
        {"vite 8 line", report(12, {}, {}, "vite v8.4.1 building client environment for production..."), true},
        {"vite build command", report(12, {}, {}, "> web@0.0.0 build /srv && vite build"), true},
        {"dollar prompt", report(12, {}, {}, "$ vite --mode staging"), true},
        {"rollup version", report(12, {}, {}, "rollup v4.9.6"), true},
        {"rollup bundles", report(12, {}, {}, "src/main.js \xE2\x86\x92 dist/ (rollup bundle)"), true},
        {"rollup -c", report(12, {}, {}, "$ Rollup -C"), true},
        {"vite building", report(12, {}, {}, "[vite] building for production..."), true},
        {"vite version alone", report(12, {}, {}, "vite v5.4.2"), true},
        {"rollup build", report(12, {}, {}, "npx rollup build --silent"), true},
        {"rollup building", report(12, {}, {}, "rollup: building 3 entries"), true},
        {"vite line read by the rollup rule", report(12, {}, {}, "vite hands the bundle to rollup"), true},
        {"vite named without a phrase", report(12, {}, {}, "using vite config from vite.config.ts"), false},
        {"no tool line", report(12, {}, {}, "building for production..."), false},
        {"no gzip stage", report(100, {}, {}, "vite v5.4.2 building for production...", "computing sizes..."), false},
        {"gzip stage upper case and coloured",
         report(12, {}, {}, "vite v5.4.2 building for production...", "\x1b[2mComputing GZIP size...\x1b[22m"), true},
        {"no transform or render stage", without_transform, false},
        {"transforming alone", with_stage("starting.......", "transforming..."), true},
        {"modules transformed alone", with_stage("modules handled....", "modules transformed"), true},
        {"rendering chunks alone", with_stage("writing chunks..", "rendering chunks"), true},
        {"markers after the rows",
         [] {
             std::string t = report(12);
             std::string head = t.substr(0, t.find("dist/"));
             return t.substr(t.find("dist/")) + head;
         }(),
         true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(detector::detect_bundle_report(lines(c.text)).has_value(), c.recognised) << c.name;
}

TEST(DetectBundleReport, Diagnostics) {
    struct Case {
        const char* name;
        std::vector<std::string> extra_lines;  // after the rows
        bool diagnostics;
    };
    const Case cases[] = {
        {"clean", {"\xE2\x9C\x93 built in 1.2s"}, false},
        {"chunk warning",
         {"(!) Some chunks are larger than 500 kB after minification. Consider:",
          "- Using dynamic import() to code-split the application"},
         true},
        {"chunk and larger than without (!)", {"Chunk vendor is larger than the limit"}, true},
        {"bare (!)", {"(!) Plugin typescript: TS2307"}, true},
        {"error with colon", {"error: Could not resolve entry module \"index.html\"."}, true},
        {"coloured error", {"\x1b[31merror\x1b[39m during build:"}, true},
        {"warn in brackets", {"[warn] unused export"}, true},
        {"failed", {"Build FAILED."}, true},
        {"fatal", {"fatal: out of memory"}, true},
        {"errors", {"Found 2 errors."}, true},
        {"failure", {"Plugin failure in vite:css"}, true},
        {"warning", {"warning: unused import"}, true},
        {"warnings", {"2 warnings"}, true},
        {"words only match whole", {"errorless warned prewarning warnx failures error2"}, false},
        {"row named error-page is no diagnostic",
         {"dist/assets/error-page-D2f1.js  0.40 kB \xE2\x94\x82 gzip: 0.28 kB"},
         false},
        {"non-row line with error in a path",
         {"dist/assets/error-page-D2f1.js  0.40 kB \xE2\x94\x82 gzip: 0.28"},  // no gzip unit: not a row
         true},
    };
    for (const auto& c : cases) {
        const std::string t = report(12, c.extra_lines);
        auto r = detector::detect_bundle_report(lines(t));
        ASSERT_TRUE(r) << c.name;
        EXPECT_EQ(r->has_diagnostics, c.diagnostics) << c.name;
        EXPECT_EQ(is_diagnostic_bundle_report_output(t), c.diagnostics) << c.name;
    }
}

TEST(IsDiagnosticBundleReportOutput, DeclinesWhatIsNoReport) {
    std::string warning_but_11_rows = report(11, {"(!) Some chunks are larger than 500 kB after minification."});
    std::string log;
    for (int i = 0; i < 2000; ++i) log += "\x1b[33mwarning\x1b[0m: step " + std::to_string(i) + " failed\r\n";
    for (const std::string& t : {std::string(), std::string("\n"), warning_but_11_rows, log,
                                 std::string("error: computing gzip size failed\n")})
        EXPECT_FALSE(is_diagnostic_bundle_report_output(t));

    // The stage phrase split by a colour code still counts once normalised.
    std::string split = report(12, {"error: x"});
    split.replace(split.find("computing gzip size"), 19, "computing \x1b[1mgzip\x1b[0m size");
    EXPECT_TRUE(is_diagnostic_bundle_report_output(split));
    std::string split_cr = report(12, {"error: x"});
    split_cr.replace(split_cr.find("computing gzip size"), 19, "computing gz\rip size");
    EXPECT_TRUE(is_diagnostic_bundle_report_output(split_cr));
}

}  // namespace

namespace {

// The first look for the gzip stage phrase, at every offset against the
// sixteen-byte steps of its scan and at the very end of the text.
TEST(DetectorHelpers, MayHoldGzipStage) {
    const struct {
        const char* line;
        bool holds;
    } cases[] = {
        {"computing gzip size...", true},
        {"COMPUTING GZIP SIZE", true},
        {"\x1b[2mcomputing gzip size...\x1b[22m", true},
        {"computing \x1b[1mgzip\x1b[22m size", true},  // found once the line is normalised
        {"computing gzip\r size", true},
        {"computing gzi size", false},
        {"computing\ngzip size", false},
        {"gz gz gZ Gz", false},
        {"\x1b[2mcomputing sizes\x1b[22m\r", false},
    };
    for (const auto& c : cases)
        for (std::size_t pad = 0; pad < 40; ++pad)
            for (const char* tail : {"", "\n", "\nmore text after the stage line\n"}) {
                const std::string t = std::string(pad, 'x') + "\n" + c.line + tail;
                EXPECT_EQ(detector::may_hold_gzip_stage(t), c.holds) << c.line << " pad " << pad;
                EXPECT_EQ(detector::may_hold_gzip_stage(std::string(pad, 'y') + c.line + tail), c.holds);
            }
    EXPECT_FALSE(detector::may_hold_gzip_stage(""));
}

// The same look across the sixty-four-byte steps of the wide scan, with a
// control byte, a "z" after a "g", or nothing in the steps before.
TEST(DetectorHelpers, MayHoldGzipStageAcrossWideSteps) {
    for (const char* before : {"", "\x1b[1mgz\x1b[0m\n", "\r\n", "gzgz zz\n"})
        for (std::size_t pad = 0; pad < 140; ++pad) {
            const std::string head = std::string(before) + std::string(pad, 'x');
            EXPECT_TRUE(detector::may_hold_gzip_stage(head + " computing gzip size...\n" + std::string(90, 'y')))
                << pad;
            EXPECT_TRUE(detector::may_hold_gzip_stage(head + "\ncomputing \x1b[1mgzip size"));
            EXPECT_FALSE(detector::may_hold_gzip_stage(head + " computing gzi size\n" + std::string(90, 'y')));
        }
}

}  // namespace
