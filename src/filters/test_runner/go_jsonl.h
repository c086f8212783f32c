// Reader of the JSON test-event stream of `go test -json`: one object per
// line, reduced to the failed and skipped tests, the package results and the
// output lines that explain them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace filters::test_runner::go_jsonl {

// The members of one event that the reader uses; a member of another JSON
// type than expected counts as absent.
struct GoTestEvent {
    std::string action;
    std::optional<std::string> package;
    std::optional<std::string> test;
    std::optional<std::string> output;
    std::optional<double> elapsed;
};

// (package or "", test name).
using GoTestKey = std::pair<std::string, std::string>;

struct GoTestKeyHash {
    std::size_t operator()(const GoTestKey& key) const noexcept;
};

using GoTestKeySet = std::unordered_set<GoTestKey, GoTestKeyHash>;

// The output lines, headline first, or nothing when the lines are not a Go
// test-event stream.
std::optional<std::vector<std::string>> reduce_go_jsonl_lines(const std::vector<std::string_view>& lines);

// The same for the lines of a text: the text without one final "\n", split
// at every "\n". The text is read line by line up to the first line that is
// no event, so another kind of text costs one line.
std::optional<std::vector<std::string>> reduce_go_jsonl_text(std::string_view text);

// The keys of the events with this action ("fail" or "skip") that name a test.
GoTestKeySet go_jsonl_tests_by_action(const std::vector<GoTestEvent>& events, std::string_view action);

// Whether a trimmed output line of a failed (or else skipped) test is kept.
bool is_go_jsonl_relevant_output(std::string_view output, bool failed);

// An elapsed time as the shortest decimal that reads back the same, with no
// exponent and no fraction for whole numbers: 0, 0.25, 3.
std::string format_elapsed_seconds(double seconds);

}  // namespace filters::test_runner::go_jsonl
