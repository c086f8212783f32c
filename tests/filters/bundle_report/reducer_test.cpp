#include "filters/bundle_report/reducer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../support.h"
#include "text.h"

namespace {

using filters::bundle_report::reducer::compress_bundle_report_output;

const std::string kBar = " \xE2\x94\x82 gzip: ";

// A build log around the given asset rows: the tool and stage lines, the
// rows, then the closing line.
std::string build_log(const std::vector<std::string>& rows, const std::string& tail = "\xE2\x9C\x93 built in 1.20s\n") {
    std::string out =
        "vite v5.4.2 building for production...\ntransforming...\n\xE2\x9C\x93 48 modules transformed.\n"
        "rendering chunks...\ncomputing gzip size...\n";
    for (const auto& r : rows) out += r + "\n";
    return out + tail;
}

std::string row(const std::string& path, const std::string& size, const std::string& gzip) {
    return path + "   " + size + kBar + gzip;
}

// `n` rows named dist/assets/c{i}.js with growing sizes in kB.
std::vector<std::string> chunks(std::size_t n) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(row(text::format("dist/assets/c{}.js", i), text::format("{}.50 kB", i + 1),
                          text::format("{}.25 kB", i + 1)));
    return out;
}

// The lines of the summary from "asset rows:" on.
std::vector<std::string> stats(const std::string& out) {
    std::vector<std::string> lines;
    bool on = false;
    for (std::string_view l : text::lines_of(out)) {
        on = on || l.starts_with("asset rows:");
        if (on) lines.emplace_back(l);
    }
    return lines;
}

TEST(BundleReportReducer, RealBuildSummary) {
    const std::string in = test_support::read_test_file("filters/bundle_report/data/vite_build.txt");
    const std::string want =
        "bundle report: vite/rollup success\n"
        "vite v8.4.1 building client environment for production...\n"
        "transforming...\n"
        "\xE2\x9C\x93 33 modules transformed.\n"
        "rendering chunks...\n"
        "computing gzip size...\n"
        "\xE2\x9C\x93 built in 136ms\n"
        "asset rows: 30\n"
        "common directory: dist/\n"
        "extensions: js=15, css=14, html=1\n"
        "top directories: dist/assets/=29, dist/=1\n"
        "size range: 0.03-5.30 kB\n"
        "gzip range: 0.05-1.94 kB\n"
        "largest raw assets:\n"
        "dist/assets/\n"
        " index-BG2_IEdC.js 5.30 kB \xE2\x94\x82 gzip: 1.94 kB\n"
        " page10-Ba_WLSLN.js 0.24 kB \xE2\x94\x82 gzip: 0.19 kB\n"
        " page11-B9L3iMml.js 0.24 kB \xE2\x94\x82 gzip: 0.19 kB\n"
        " page12-Bsml-Vhu.js 0.24 kB \xE2\x94\x82 gzip: 0.19 kB\n"
        " page13-DoXHeXoU.js 0.24 kB \xE2\x94\x82 gzip: 0.19 kB\n"
        "omitted: 25 smaller asset rows summarized\n";
    EXPECT_EQ(compress_bundle_report_output(in), want);
    // The coloured capture of another run gives the same statistics; only
    // its timing line, which comes before them, differs.
    const std::string color = test_support::read_test_file("filters/bundle_report/data/vite_build_color.txt");
    EXPECT_EQ(stats(compress_bundle_report_output(color)), stats(want));
}

TEST(BundleReportReducer, LeavesWhatItMustNotSummarise) {
    const std::string warned = test_support::read_test_file("filters/bundle_report/data/vite_build_chunk_warning.txt");
    const test_support::Case cases[] = {
        {"chunk-size warning", warned, warned},
        {"error line", build_log(chunks(12), "error: Could not resolve \"./x\"\n"), ""},
        {"eleven rows", build_log(chunks(11)), ""},
        {"no gzip stage",
         [] {
             std::string t = build_log(chunks(20));
             t.replace(t.find("computing gzip size"), 19, "computing sizes....");
             return t;
         }(),
         ""},
        {"not a report", "hello\nworld\n", ""},
        {"empty", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(compress_bundle_report_output(c.in), c.in) << c.name;
}

TEST(BundleReportReducer, SummaryLines) {
    std::vector<std::string> nine_ext = chunks(12);
    for (const char* ext : {"css", "svg", "png", "woff2", "map", "json", "txt", "wasm"})
        nine_ext.push_back(row(std::string("dist/assets/f.") + ext, "0.10 kB", "0.05 kB"));
    std::vector<std::string> eight_ext(nine_ext.begin(), nine_ext.end() - 1);
    std::vector<std::string> three_dirs = chunks(12);
    three_dirs.push_back(row("dist/index.html", "0.46 kB", "0.30 kB"));
    three_dirs.push_back(row("dist/img/logo.svg", "0.20 kB", "0.10 kB"));
    std::vector<std::string> four_dirs = three_dirs;
    four_dirs.push_back(row("dist/fonts/a.woff2", "0.30 kB", "0.20 kB"));
    // Sizes equal to the smallest or the largest row, in other units.
    std::vector<std::string> equal_smallest = chunks(12);
    equal_smallest.push_back(row("dist/assets/z.js", "1500 B", "1250 B"));
    std::vector<std::string> equal_largest = chunks(12);
    equal_largest.push_back(row("dist/assets/z.js", "12500 B", "12250 B"));
    // Progress lines after the rows, one for each kind the summary keeps.
    std::vector<std::string> progress = chunks(12);
    for (const char* line :
         {"$ vite build --mode staging", "$ rollup --config rollup.build.mjs", "rollup: building 3 entries",
          "created dist/bundle.js with rollup", "built in 1.20s", "using vite config from vite.config.ts"})
        progress.push_back(line);
    std::vector<std::string> flat;
    for (std::size_t i = 0; i < 12; ++i)
        flat.push_back(row(text::format("c{}.js", i), text::format("{}.00 kB", i + 1), "0.50 kB"));
    std::vector<std::string> flat_and_one = flat;
    flat_and_one.push_back(row("dist/x.js", "0.10 kB", "0.05 kB"));
    std::vector<std::string> mixed_units = chunks(12);
    mixed_units.push_back(row("dist/assets/tiny.js", "800 B", "300 B"));
    mixed_units.push_back(row("dist/assets/huge.js", "1,191.42 kB", "0.10 kB"));
    std::vector<std::string> one_outside = chunks(13);
    one_outside.push_back(row("dist/index.html", "0.46 kB", "0.30 kB"));

    struct Case {
        const char* name;
        std::vector<std::string> rows;
        std::vector<std::string> want;  // lines the summary must hold, in order
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        {"one directory",
         chunks(20),
         {"asset rows: 20", "common directory: dist/assets/", "extensions: js=20", "size range: 1.50-20.50 kB",
          "gzip range: 1.25-20.25 kB", "largest raw assets:", "dist/assets/",
          " c19.js 20.50 kB \xE2\x94\x82 gzip: 20.25 kB", "omitted: 15 smaller asset rows summarized"},
         {"top directories:", "largest gzip assets:"}},
        {"a row beside the assets directory",
         one_outside,
         {"common directory: dist/", "top directories: dist/assets/=13, dist/=1"},
         {}},
        {"nine extensions",
         nine_ext,
         {"extensions: js=12, css=1, json=1, map=1, png=1, svg=1, txt=1, wasm=1, +1 more"},
         {}},
        {"eight extensions",
         eight_ext,
         {"extensions: js=12, css=1, json=1, map=1, png=1, svg=1, txt=1, woff2=1"},
         {"more"}},
        {"three directories", three_dirs, {"top directories: dist/assets/=12, dist/=1, dist/img/=1"}, {}},
        {"four directories", four_dirs, {"top directories: dist/assets/=12, dist/=1, dist/fonts/=1, +1 more"}, {}},
        {"equal smallest sizes: the first row's text",
         equal_smallest,
         {"size range: 1.50-12.50 kB", "gzip range: 1.25-12.25 kB"},
         {}},
        {"equal largest sizes: the last row's text",
         equal_largest,
         {"size range: 1.50 kB-12500 B", "gzip range: 1.25 kB-12250 B"},
         {}},
        {"progress lines",
         progress,
         {"computing gzip size...", "$ vite build --mode staging", "$ rollup --config rollup.build.mjs",
          "rollup: building 3 entries", "created dist/bundle.js with rollup", "built in 1.20s",
          "\xE2\x9C\x93 built in 1.20s", "asset rows: 12"},
         {"using vite config"}},
        {"no directories", flat, {"extensions: js=12"}, {"common directory:", "top directories:"}},
        {"one row in a directory", flat_and_one, {"common directory: dist/", "top directories: ./=12, dist/=1"}, {}},
        {"units differ, thousands separators",
         mixed_units,
         {"size range: 800 B-1,191.42 kB", "gzip range: 0.10-12.25 kB",
          "largest raw assets:", " huge.js 1,191.42 kB \xE2\x94\x82 gzip: 0.10 kB", "largest gzip assets:"},
         {}},
    };
    for (const auto& c : cases) {
        const std::string out = compress_bundle_report_output(build_log(c.rows));
        ASSERT_TRUE(out.starts_with("bundle report: vite/rollup success\n")) << c.name;
        std::size_t from = 0;
        for (const auto& line : c.want) {
            const std::size_t at = out.find("\n" + line + "\n", from);
            EXPECT_NE(at, std::string::npos) << c.name << ": " << line << "\n" << out;
            if (at != std::string::npos) from = at + 1;
        }
        for (const auto& line : c.absent) EXPECT_EQ(out.find(line), std::string::npos) << c.name << ": " << line;
    }
}

TEST(BundleReportReducer, LargestAssetsOrder) {
    // Equal raw sizes fall back to gzip size, then to the path.
    std::vector<std::string> rows = chunks(12);
    rows.push_back(row("dist/assets/b.js", "90.00 kB", "9.00 kB"));
    rows.push_back(row("dist/assets/a.js", "90.00 kB", "9.00 kB"));
    rows.push_back(row("dist/assets/z.js", "90.00 kB", "10.00 kB"));
    const std::string out = compress_bundle_report_output(build_log(rows));
    const std::string want_top =
        "largest raw assets:\ndist/assets/\n"
        " z.js 90.00 kB \xE2\x94\x82 gzip: 10.00 kB\n"
        " a.js 90.00 kB \xE2\x94\x82 gzip: 9.00 kB\n"
        " b.js 90.00 kB \xE2\x94\x82 gzip: 9.00 kB\n"
        " c11.js 12.50 kB \xE2\x94\x82 gzip: 12.25 kB\n"
        " c10.js 11.50 kB \xE2\x94\x82 gzip: 11.25 kB\n"
        "largest gzip assets:\n";
    EXPECT_NE(out.find(want_top), std::string::npos) << out;
}

TEST(BundleReportReducer, ProgressLinesAndFinalNewline) {
    std::string in = build_log(chunks(12));
    in.insert(in.find("rendering"), "rendering chunks...\n");  // a repeated progress line is printed once
    const std::string out = compress_bundle_report_output(in);
    EXPECT_NE(out.find("\nrendering chunks...\ncomputing gzip size...\n"), std::string::npos) << out;
    EXPECT_TRUE(out.ends_with("summarized\n"));

    in.pop_back();
    const std::string bare = compress_bundle_report_output(in);
    EXPECT_TRUE(bare.ends_with("summarized")) << bare;
}

}  // namespace
