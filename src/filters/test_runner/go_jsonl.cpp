#include "filters/test_runner/go_jsonl.h"

#include <charconv>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "json.h"

namespace filters::test_runner::go_jsonl {

namespace {

// A stream holds at least this many events.
constexpr std::size_t kMinEvents = 3;
// An ordinary output line of a failed test is kept up to this many bytes.
constexpr std::size_t kMaxPlainOutputBytes = 240;

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
    std::size_t operator()(const GoTestKey& key) const noexcept {
        const std::size_t a = std::hash<std::string>{}(key.first);
        const std::size_t b = std::hash<std::string>{}(key.second);
        return a ^ (b + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
    }
};

using GoTestKeySet = std::unordered_set<GoTestKey, GoTestKeyHash>;

// The keys of the events with this action ("fail" or "skip") that name a test.
GoTestKeySet go_jsonl_tests_by_action(const std::vector<GoTestEvent>& events, std::string_view action) {
    GoTestKeySet keys;
    for (const GoTestEvent& e : events)
        if (e.action == action && e.test) keys.emplace(e.package.value_or(std::string()), *e.test);
    return keys;
}

// Whether a trimmed output line of a failed (or else skipped) test is kept.
bool is_go_jsonl_relevant_output(std::string_view o, bool failed) {
    if (text::starts_with_any(o, {"=== RUN", "=== PAUSE", "=== CONT", "--- PASS:"})) return false;
    if (text::starts_with_any(o, {"--- FAIL:", "--- SKIP:", "FAIL", "panic:", "fatal error:", "Error Trace:", "Error:",
                                  "Messages:", "Expected:", "Actual:", "Received:", "Not equal:"}) ||
        text::contains(o, ".go:"))
        return true;
    if (failed) return o.size() <= kMaxPlainOutputBytes;
    return text::contains_ignore_case(o, "skip");
}

// An elapsed time as the shortest decimal that reads back the same, with no
// exponent and no fraction for whole numbers: 0, 0.25, 3.
std::string format_elapsed_seconds(double seconds) {
    char buffer[512];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    if (ec != std::errc()) return std::string();
    return std::string(buffer, end);
}

// Whether a trimmed line can be an event at all: an object that names its
// action. Other JSON Lines records, and any other text, never reach the
// parser.
bool may_be_event(std::string_view trimmed) {
    return trimmed.starts_with('{') && trimmed.ends_with('}') && text::contains(trimmed, "\"Action\"");
}

std::optional<std::string> string_member(const json::Value& object, std::string_view key) {
    const json::Value* v = json::find_member(object, key);
    if (v == nullptr || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

// One line as an event, or nothing when it is not one.
std::optional<GoTestEvent> read_event(std::string_view trimmed) {
    if (!may_be_event(trimmed)) return std::nullopt;
    std::optional<json::Value> value = json::parse(trimmed);
    if (!value || !value->is_object()) return std::nullopt;
    std::optional<std::string> action = string_member(*value, "Action");
    if (!action ||
        !text::equals_any(*action, {"run", "pause", "cont", "pass", "bench", "fail", "output", "skip", "start"}))
        return std::nullopt;
    GoTestEvent event;
    event.action = std::move(*action);
    event.package = string_member(*value, "Package");
    event.test = string_member(*value, "Test");
    if (!event.package && !event.test) return std::nullopt;
    event.output = string_member(*value, "Output");
    if (const json::Value* elapsed = json::find_member(*value, "Elapsed"); elapsed && elapsed->is_number())
        event.elapsed = elapsed->get<double>();
    return event;
}

bool is_result_action(std::string_view action) { return action == "pass" || action == "fail" || action == "skip"; }

// What the whole stream must show to be read as go test output: a result
// event, a run or result marker in the output, and a Go-looking test name or
// package path.
struct StreamShape {
    std::size_t events = 0;
    bool result = false, marker = false, named = false, failed = false;

    void note(const GoTestEvent& e) {
        ++events;
        result = result || is_result_action(e.action);
        failed = failed || e.action == "fail";
        if (!marker && e.action == "output" && e.output)
            marker = text::starts_with_any(text::trim(*e.output), {"=== RUN", "--- PASS:", "--- FAIL:", "--- SKIP:"});
        if (!named)
            named = (e.test && text::starts_with_any(*e.test, {"Test", "Benchmark", "Example"})) ||
                    (e.package && text::contains_any(*e.package, {"/", "."}));
    }

    bool looks_like_go_test() const { return events >= kMinEvents && result && marker && named; }
};

// The result lines that go test prints for a package.
bool is_package_result_output(std::string_view o) {
    return o == "FAIL" || text::starts_with_any(o, {"FAIL\t", "ok  \t", "?   \t"});
}

// Whether an event may add a line to the report whatever tests fail or are
// skipped. Only these are kept, so that a long passing stream does not hold
// its run markers and pass events in memory.
bool can_add_line(GoTestEvent& e) {
    if (is_result_action(e.action)) return e.test ? e.action != "pass" : e.package.has_value();
    if (e.action != "output" || !e.output) return false;
    std::string_view o = text::trim(*e.output);
    if (o.empty() || (!is_package_result_output(o) && !is_go_jsonl_relevant_output(o, true) &&
                      !is_go_jsonl_relevant_output(o, false)))
        return false;
    *e.output = std::string(o);
    return true;
}

std::string elapsed_suffix(const GoTestEvent& e) {
    return e.elapsed ? text::format(" ({}s)", format_elapsed_seconds(*e.elapsed)) : std::string();
}

std::string_view result_word(std::string_view action) {
    if (action == "pass") return "ok";
    if (action == "fail") return "FAIL";
    return "SKIP";
}

}  // namespace

std::optional<SummaryWriter> reduce_go_jsonl_lines(const text::LineIndex& lines) {
    StreamShape shape;
    std::vector<GoTestEvent> events;
    for (std::string_view line : lines) {
        const std::string_view trimmed = text::trim(line);
        if (trimmed.empty()) continue;
        std::optional<GoTestEvent> event = read_event(trimmed);
        if (!event) return std::nullopt;
        shape.note(*event);
        if (can_add_line(*event)) events.push_back(std::move(*event));
    }
    if (!shape.looks_like_go_test()) return std::nullopt;

    SummaryWriter out;
    out.add(text::format("{} go {}", headline::kTestOutput, shape.failed ? "failure" : "success"));

    const GoTestKeySet failed_tests = go_jsonl_tests_by_action(events, "fail");
    const GoTestKeySet skipped_tests = go_jsonl_tests_by_action(events, "skip");
    GoTestKey key;
    for (const GoTestEvent& e : events) {
        if (is_result_action(e.action)) {
            if (e.test) {
                if (e.action != "pass")
                    out.add_unless_blank_or_repeat(text::format("{} {}{}{}", result_word(e.action),
                                                                e.package ? *e.package + " " : std::string(), *e.test,
                                                                elapsed_suffix(e)));
            } else if (e.package) {
                out.add_unless_blank_or_repeat(
                    text::format("{} {}{}", result_word(e.action), *e.package, elapsed_suffix(e)));
            }
        } else if (e.action == "output" && e.output) {
            std::string_view o = text::trim(*e.output);
            if (o.empty()) continue;
            bool keep = is_package_result_output(o);
            if (!keep && (!failed_tests.empty() || !skipped_tests.empty())) {
                key.first = e.package.value_or(std::string());
                key.second = e.test.value_or(std::string());
                keep = (failed_tests.contains(key) && is_go_jsonl_relevant_output(o, true)) ||
                       (skipped_tests.contains(key) && is_go_jsonl_relevant_output(o, false));
            }
            if (keep) out.add_unless_blank_or_repeat(o);
        }
    }
    return out;
}

}  // namespace filters::test_runner::go_jsonl
