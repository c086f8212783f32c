#include "filters/test_runner/go_jsonl.h"

#include <charconv>
#include <functional>

#include "filters/test_runner/shapes.h"
#include "json.h"
#include "text.h"

namespace filters::test_runner::go_jsonl {

using namespace shapes;

namespace {

std::optional<std::string> string_member(const json::Value& object, std::string_view key) {
    const json::Value* v = json::find_member(object, key);
    if (v == nullptr || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

// One line as an event, or nothing when it is not one.
std::optional<GoTestEvent> read_event(std::string_view trimmed) {
    // Only an object can be an event; checking first keeps other text from
    // reaching the parser at all.
    if (!trimmed.starts_with("{")) return std::nullopt;
    std::optional<json::Value> value = json::parse(trimmed);
    if (!value || !value->is_object()) return std::nullopt;
    std::optional<std::string> action = string_member(*value, "Action");
    if (!action || !equals_any(*action, {"run", "pause", "cont", "pass", "bench", "fail", "output", "skip", "start"}))
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
            marker = starts_with_any(text::trim(*e.output), {"=== RUN", "--- PASS:", "--- FAIL:", "--- SKIP:"});
        if (!named)
            named = (e.test && starts_with_any(*e.test, {"Test", "Benchmark", "Example"})) ||
                    (e.package && contains_any(*e.package, {"/", "."}));
    }

    bool looks_like_go_test() const { return events >= 3 && result && marker && named; }
};

// The result lines that go test prints for a package.
bool is_package_result_output(std::string_view o) {
    return o == "FAIL" || starts_with_any(o, {"FAIL\t", "ok  \t", "?   \t"});
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

std::size_t GoTestKeyHash::operator()(const GoTestKey& key) const noexcept {
    std::size_t a = std::hash<std::string>{}(key.first);
    std::size_t b = std::hash<std::string>{}(key.second);
    return a ^ (b + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
}

std::string format_elapsed_seconds(double seconds) {
    char buffer[512];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    if (ec != std::errc()) return std::string();
    return std::string(buffer, end);
}

GoTestKeySet go_jsonl_tests_by_action(const std::vector<GoTestEvent>& events, std::string_view action) {
    GoTestKeySet keys;
    for (const GoTestEvent& e : events)
        if (e.action == action && e.test) keys.emplace(e.package.value_or(std::string()), *e.test);
    return keys;
}

bool is_go_jsonl_relevant_output(std::string_view o, bool failed) {
    if (starts_with_any(o, {"=== RUN", "=== PAUSE", "=== CONT", "--- PASS:"})) return false;
    if (starts_with_any(o, {"--- FAIL:", "--- SKIP:", "FAIL", "panic:", "fatal error:", "Error Trace:", "Error:",
                            "Messages:", "Expected:", "Actual:", "Received:", "Not equal:"}) ||
        text::contains(o, ".go:"))
        return true;
    if (failed) return o.size() <= 240;
    return text::contains_ignore_case(o, "skip");
}

std::optional<std::vector<std::string>> reduce_go_jsonl_lines(const std::vector<std::string_view>& lines) {
    // Every line followed by its "\n", so that the text holds these lines
    // and no other.
    return reduce_go_jsonl_text(text::join_lines(lines, true));
}

std::optional<std::vector<std::string>> reduce_go_jsonl_text(std::string_view text) {
    StreamShape shape;
    std::vector<GoTestEvent> events;
    bool declined = any_line(text, [&](std::string_view line) {
        std::string_view trimmed = text::trim(line);
        if (trimmed.empty()) return false;
        std::optional<GoTestEvent> event = read_event(trimmed);
        if (!event) return true;
        shape.note(*event);
        if (can_add_line(*event)) events.push_back(std::move(*event));
        return false;
    });
    if (declined || !shape.looks_like_go_test()) return std::nullopt;

    std::vector<std::string> out;
    out.push_back(text::format("test output: go {}", shape.failed ? "failure" : "success"));

    const GoTestKeySet failed_tests = go_jsonl_tests_by_action(events, "fail");
    const GoTestKeySet skipped_tests = go_jsonl_tests_by_action(events, "skip");
    GoTestKey key;
    for (const GoTestEvent& e : events) {
        if (is_result_action(e.action)) {
            if (e.test) {
                if (e.action != "pass")
                    out.push_back(text::format("{} {}{}{}", result_word(e.action),
                                               e.package ? *e.package + " " : std::string(), *e.test,
                                               elapsed_suffix(e)));
            } else if (e.package) {
                out.push_back(text::format("{} {}{}", result_word(e.action), *e.package, elapsed_suffix(e)));
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
            if (keep) out.emplace_back(o);
        }
    }
    return text::drop_blank_and_adjacent_duplicates(out);
}

}  // namespace filters::test_runner::go_jsonl
