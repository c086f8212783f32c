#include "filters/test_runner/go_jsonl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json.h"
#include "text.h"

namespace {

using namespace filters::test_runner::go_jsonl;

std::optional<std::vector<std::string>> reduce(const std::string& text) {
    return reduce_go_jsonl_lines(text::split_lines(text).lines);
}

std::string event(std::string_view action, std::string_view test, std::string_view extra = "") {
    std::string s = text::format(R"({"Action":"{}","Package":"example.com/calc")", action);
    if (!test.empty()) s += text::format(R"(,"Test":"{}")", test);
    return s + std::string(extra) + "}\n";
}

std::string output(std::string_view test, std::string_view out) {
    return event("output", test, text::format(R"(,"Output":{})", json::quote_string(out)));
}

// A passing run of one test.
const std::string kRun = event("run", "TestA") + output("TestA", "=== RUN   TestA\n") + event("pass", "TestA");

TEST(GoJsonl, ElapsedIsShortestDecimal) {
    const std::pair<double, std::string> cases[] = {
        {0, "0"},
        {0.25, "0.25"},
        {3, "3"},
        {2.0, "2"},
        {0.1, "0.1"},
        {1e-7, "0.0000001"},
        {1e21, "1000000000000000000000"},
    };
    for (const auto& [value, want] : cases) EXPECT_EQ(format_elapsed_seconds(value), want);
}

TEST(GoJsonl, DeclinesWhatIsNoEventStream) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain line among events", kRun + "hello\n"},
        {"two events", event("run", "TestA") + event("fail", "TestA")},
        {"no run or result marker", event("run", "TestA") + output("TestA", "log\n") + event("pass", "TestA")},
        {"unknown action", kRun + event("explode", "TestA")},
        {"not an object", kRun + "[1]\n"},
        {"no package or test", kRun + "{\"Action\":\"pass\"}\n"},
        {"million brackets", kRun + std::string(1000000, '[') + "\n"},
        {"no go-looking name", R"({"Action":"run","Package":"calc","Test":"a"})"
                               "\n"
                               R"({"Action":"output","Package":"calc","Test":"a","Output":"=== RUN a\n"})"
                               "\n"
                               R"({"Action":"pass","Package":"calc","Test":"a"})"
                               "\n"},
    };
    for (const auto& [name, text] : cases) EXPECT_FALSE(reduce(text)) << name;
}

TEST(GoJsonl, SuccessfulPackage) {
    std::string text = "\n" + kRun + "\n" + output("", "PASS\n") + output("", "ok  \texample.com/calc\t0.002s\n") +
                       event("pass", "", R"(,"Elapsed":0.002)");
    auto lines = reduce(text);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (std::vector<std::string>{"test output: go success", "ok  \texample.com/calc\t0.002s",
                                                "ok example.com/calc (0.002s)"}));
}

TEST(GoJsonl, FailedAndSkippedTests) {
    std::string long_line(241, 'x');
    std::string text = event("run", "TestB") + output("TestB", "=== RUN   TestB\n") +
                       output("TestB", "    calc_test.go:9: got 8\n") + output("TestB", "    calc_test.go:9: got 8\n") +
                       output("TestB", std::string(240, 'y') + "\n") + output("TestB", long_line + "\n") +
                       output("TestB", "--- PASS: TestB/sub (0.00s)\n") + output("TestB", "--- FAIL: TestB (0.00s)\n") +
                       event("fail", "TestB", R"(,"Elapsed":2)") + output("TestS", "note\n") +
                       output("TestS", "skipping for now\n") + event("skip", "TestS") + output("", "FAIL\n") +
                       event("fail", "", R"(,"Elapsed":0.5)");
    auto lines = reduce(text);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (std::vector<std::string>{
                          "test output: go failure", "calc_test.go:9: got 8", std::string(240, 'y'),
                          "--- FAIL: TestB (0.00s)", "FAIL example.com/calc TestB (2s)", "skipping for now",
                          "SKIP example.com/calc TestS", "FAIL", "FAIL example.com/calc (0.5s)"}));
}

TEST(GoJsonl, WrongTypedMemberCountsAsAbsent) {
    std::string text = kRun + R"({"Action":"fail","Package":"example.com/calc","Test":5,"Elapsed":"1"})"
                              "\n";
    auto lines = reduce(text);
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->back(), "FAIL example.com/calc");
}

TEST(GoJsonl, RelevantOutput) {
    EXPECT_FALSE(is_go_jsonl_relevant_output("=== PAUSE TestA", true));
    EXPECT_TRUE(is_go_jsonl_relevant_output("panic: boom", false));
    EXPECT_TRUE(is_go_jsonl_relevant_output("x.go:3: y", false));
    EXPECT_FALSE(is_go_jsonl_relevant_output("network down", false));
    EXPECT_TRUE(is_go_jsonl_relevant_output("SKIP: network down", false));
}

}  // namespace
