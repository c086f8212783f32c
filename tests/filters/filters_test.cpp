#include "filters/filters.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "filters/bundle_report/bundle_report.h"
#include "support.h"
#include "text.h"

namespace {

std::string read_data(const std::string& relative) { return test_support::read_test_file("filters/" + relative); }

// Real outputs of several tools (normalised, as the pipeline sees them),
// plus a few degenerate texts.
std::vector<std::string> sample_texts() {
    std::vector<std::string> texts{"", "\n", "a", "one line\n", "\xE2\x80\xA6 \xC3\xA9\n\n\n"};
    for (const char* name :
         {"data/git_status.txt", "data/git_diff.txt", "data/pytest_failure.txt", "bundle_report/data/vite_build.txt",
          "bundle_report/data/vite_build_color.txt", "bundle_report/data/vite_build_chunk_warning.txt"})
        texts.push_back(text::normalize_and_trim_trailing_whitespace(read_data(name)));
    std::string log;
    for (int i = 0; i < 400; ++i)
        log += text::format("2024-03-14 10:00:{} INFO worker-{} processed job {} in {}ms\n", i % 60, i % 7, i, i * 3);
    texts.push_back(log);
    return texts;
}

std::vector<std::string_view> all_names() {
    std::vector<std::string_view> names;
    for (const auto& entry : filters::filter_table()) names.push_back(entry.name);
    return names;
}

TEST(FilterTable, TwentyEntriesInOrder) {
    const std::vector<std::string_view> want{"git",
                                             "diff",
                                             "test-runner",
                                             "ci-job-log",
                                             "traceback",
                                             "json",
                                             "html",
                                             "opaque-payload",
                                             "system-output",
                                             "bundle-report",
                                             "table",
                                             "listing",
                                             "build-compiler",
                                             "rg",
                                             "package-manager",
                                             "repeated-diagnostic",
                                             "mixed-transcript",
                                             "node-stack-trace",
                                             "log-template",
                                             "generic-log"};
    EXPECT_EQ(all_names(), want);
    for (const auto& entry : filters::filter_table()) {
        EXPECT_NE(entry.filter, nullptr) << entry.name;
        EXPECT_EQ(entry.stop_after, entry.name == "bundle-report") << entry.name;
    }
}

TEST(FilterTable, EveryFilterDeclinesOrShrinks) {
    // The pipeline relies on a candidate being either absent or smaller.
    for (const std::string& t : sample_texts()) {
        const text::LineIndex lines(t);
        for (const auto& entry : filters::filter_table())
            if (auto candidate = entry.filter({t, lines})) {
                EXPECT_TRUE(text::is_smaller_output(*candidate, t)) << entry.name << " on:\n" << t.substr(0, 200);
                EXPECT_TRUE(text::is_valid_utf8(*candidate)) << entry.name;
            }
    }
}

TEST(Pipeline, TextsOfLineEndsOnlyPassUnchanged) {
    // The pipeline skips such texts without asking any filter: every filter
    // must decline them for that to print the same.
    for (const std::size_t n : {1u, 2u, 3u, 50u, 5000u}) {
        const std::string t(n, '\n');
        const text::LineIndex lines(t);
        for (const auto& entry : filters::filter_table())
            EXPECT_FALSE(entry.filter({t, lines}).has_value()) << entry.name << " on " << n << " line ends";
        EXPECT_EQ(filters::apply_filter_pipeline_excluding(std::string_view(t), {}), t);
    }
}

TEST(Pipeline, NeverGrowsAndEmptyStaysEmpty) {
    EXPECT_EQ(filters::apply_filter_pipeline_excluding(std::string_view(""), {}), "");
    for (const std::string& t : sample_texts()) {
        const std::string out = filters::apply_filter_pipeline_excluding(std::string_view(t), {});
        EXPECT_FALSE(text::is_smaller_output(t, out)) << t.substr(0, 200);
    }
}

TEST(Pipeline, ExcludingEveryEntryReturnsTheInput) {
    const std::vector<std::string_view> names = all_names();
    for (const std::string& t : sample_texts())
        EXPECT_EQ(filters::apply_filter_pipeline_excluding(std::string_view(t), names), t);
}

TEST(Pipeline, ExclusionNamesMatchExactly) {
    // Names that differ in case or by a space, and unknown names, exclude
    // nothing: the result is that of the empty list.
    const std::vector<std::vector<std::string_view>> no_effect{
        {"GIT", "Diff", "Test-Runner", "LOG-TEMPLATE", "Generic-Log"},
        {"git ", " diff", "bundle-report ", "generic-log\n"},
        {"", "unknown", "mixed_transcript", "bundle"},
    };
    for (const std::string& t : sample_texts()) {
        const std::string plain = filters::apply_filter_pipeline_excluding(std::string_view(t), {});
        for (const auto& excluded : no_effect)
            EXPECT_EQ(filters::apply_filter_pipeline_excluding(std::string_view(t), excluded), plain);
    }
}

TEST(Pipeline, AllButOneExcludedRunsOnlyThatEntry) {
    for (const std::string& t : sample_texts())
        for (const auto& entry : filters::filter_table()) {
            std::vector<std::string_view> others;
            for (const auto& e : filters::filter_table())
                if (e.name != entry.name) others.push_back(e.name);
            const text::LineIndex lines(t);
            auto candidate = entry.filter({t, lines});
            const std::string want = candidate && text::is_smaller_output(*candidate, t) ? *candidate : t;
            EXPECT_EQ(filters::apply_filter_pipeline_excluding(std::string_view(t), others), want) << entry.name;
        }
}

TEST(Pipeline, BundleReportWithDiagnosticsPassesUntouched) {
    // The stop after "bundle-report" keeps every later filter away from a
    // report that carries a warning.
    const std::string report =
        text::normalize_and_trim_trailing_whitespace(read_data("bundle_report/data/vite_build_chunk_warning.txt"));
    ASSERT_TRUE(filters::bundle_report::is_diagnostic_bundle_report_output(report));
    EXPECT_EQ(filters::apply_filter_pipeline_excluding(std::string_view(report), {}), report);
    EXPECT_EQ(filters::apply_filter_pipeline_excluding(std::string_view(report), {"mixed-transcript"}), report);
}

TEST(Pipeline, RepeatedAndConcurrentCallsAgree) {
    // No state survives a call: the same text gives the same result before
    // and after other texts, and from several threads at once.
    const std::vector<std::string> texts = sample_texts();
    std::vector<std::string> first;
    for (const auto& t : texts) first.push_back(filters::apply_filter_pipeline_excluding(std::string_view(t), {}));
    for (std::size_t i = texts.size(); i-- > 0;)
        EXPECT_EQ(filters::apply_filter_pipeline_excluding(std::string_view(texts[i]), {}), first[i]);

    std::vector<std::vector<std::string>> results(4);
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < results.size(); ++k)
        threads.emplace_back([&, k] {
            for (int round = 0; round < 3; ++round)
                for (const auto& t : texts)
                    results[k].push_back(filters::apply_filter_pipeline_excluding(std::string_view(t), {}));
        });
    for (auto& th : threads) th.join();
    for (const auto& r : results)
        for (std::size_t i = 0; i < r.size(); ++i) EXPECT_EQ(r[i], first[i % texts.size()]);
}

TEST(Pipeline, OwnedAndBorrowedFormsAgree) {
    for (const std::string& t : sample_texts()) {
        std::string copy = t;
        EXPECT_EQ(filters::apply_filter_pipeline_excluding(std::move(copy), {"json"}),
                  filters::apply_filter_pipeline_excluding(std::string_view(t), {"json"}));
    }
}

}  // namespace
