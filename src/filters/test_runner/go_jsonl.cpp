#include "filters/test_runner/go_jsonl.h"

#include <array>
#include <charconv>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "json.h"
#include "scan/scan.h"

namespace filters::test_runner::go_jsonl {

namespace {

// A stream holds at least this many events.
constexpr std::size_t kMinEvents = 3;
// An ordinary output line of a failed test is kept up to this many bytes.
constexpr std::size_t kMaxPlainOutputBytes = 240;

// The actions of the event stream. An event names one of them; the view an
// event keeps points here, not into the parse of its line.
constexpr std::array<std::string_view, 9> kActions{"run",  "pause", "cont",   "pass", "bench",
                                                   "fail", "output", "skip", "start"};

std::optional<std::string_view> known_action(std::string_view action) {
    for (std::string_view known : kActions)
        if (action == known) return known;
    return std::nullopt;
}

bool is_result_action(std::string_view action) { return action == "pass" || action == "fail" || action == "skip"; }

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

// The members of one event that the reader uses, as views into the reader's
// parse of its line: valid only while that line is visited. A member of
// another JSON type than expected counts as absent; of a repeated member the
// last one counts.
struct EventView {
    std::optional<std::string_view> action, package, test, output;
    std::optional<double> elapsed;

    void take(std::string_view name, const json::Node& value) {
        auto as_string = [&]() -> std::optional<std::string_view> {
            if (value.kind() != json::Kind::String) return std::nullopt;
            return value.string();
        };
        if (name == "Action")
            action = as_string();
        else if (name == "Package")
            package = as_string();
        else if (name == "Test")
            test = as_string();
        else if (name == "Output")
            output = as_string();
        else if (name == "Elapsed")
            elapsed = value.kind() == json::Kind::Number ? std::optional<double>(value.number()) : std::nullopt;
    }
};

// What the whole stream must show to be read as go test output: a result
// event, a run or result marker in the output, and a Go-looking test name or
// package path.
struct StreamShape {
    std::size_t events = 0;
    bool result = false, marker = false, named = false, failed = false;

    void note(std::string_view action, const EventView& e) {
        ++events;
        result = result || is_result_action(action);
        failed = failed || action == "fail";
        if (!marker && action == "output" && e.output)
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

// The events that may add a line to the report whatever tests fail or are
// skipped. Only these are kept, so that a long passing stream does not hold
// its run markers and pass events in memory. Their texts sit one after
// another in one buffer, so that keeping an event allocates nothing of its
// own; an output is kept trimmed.
class KeptEvents {
public:
    struct Event {
        std::string_view action;  // one of kActions
        std::optional<std::string_view> package, test, output;
        std::optional<double> elapsed;
    };

    // Keeps the event when it may add a line.
    void offer(std::string_view action, const EventView& e) {
        std::optional<std::string_view> output;
        if (is_result_action(action)) {
            if (e.test ? action == "pass" : !e.package) return;
        } else {
            if (action != "output" || !e.output) return;
            const std::string_view o = text::trim(*e.output);
            if (o.empty() || (!is_package_result_output(o) && !is_go_jsonl_relevant_output(o, true) &&
                              !is_go_jsonl_relevant_output(o, false)))
                return;
            output = o;
        }
        stored_.push_back(Stored{action, store(e.package), store(e.test), store(output), e.elapsed});
    }

    // Calls `visit` with each kept event in stream order; its views stay
    // valid while this object lives and keeps no more events.
    template <class Visit>
    void each(Visit visit) const {
        for (const Stored& s : stored_) visit(Event{s.action, view(s.package), view(s.test), view(s.output), s.elapsed});
    }

private:
    struct Span {
        std::size_t at = 0, size = 0;
    };
    struct Stored {
        std::string_view action;
        std::optional<Span> package, test, output;
        std::optional<double> elapsed;
    };

    std::optional<Span> store(std::optional<std::string_view> s) {
        if (!s) return std::nullopt;
        const Span span{texts_.size(), s->size()};
        texts_.append(*s);
        return span;
    }
    std::optional<std::string_view> view(const std::optional<Span>& span) const {
        if (!span) return std::nullopt;
        return std::string_view(texts_).substr(span->at, span->size);
    }

    std::string texts_;
    std::vector<Stored> stored_;
};

using KeptEvent = KeptEvents::Event;

// (package or "", test name).
using GoTestKey = std::pair<std::string_view, std::string_view>;

struct GoTestKeyHash {
    std::size_t operator()(const GoTestKey& key) const noexcept {
        const std::size_t a = std::hash<std::string_view>{}(key.first);
        const std::size_t b = std::hash<std::string_view>{}(key.second);
        return a ^ (b + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
    }
};

using GoTestKeySet = std::unordered_set<GoTestKey, GoTestKeyHash>;

// The keys of the events with this action ("fail" or "skip") that name a test.
GoTestKeySet go_jsonl_tests_by_action(const KeptEvents& events, std::string_view action) {
    GoTestKeySet keys;
    events.each([&](const KeptEvent& e) {
        if (e.action == action && e.test) keys.emplace(e.package.value_or(std::string_view()), *e.test);
    });
    return keys;
}

std::string elapsed_suffix(const KeptEvent& e) {
    return e.elapsed ? text::format(" ({}s)", format_elapsed_seconds(*e.elapsed)) : std::string();
}

std::string_view result_word(std::string_view action) {
    if (action == "pass") return "ok";
    if (action == "fail") return "FAIL";
    return "SKIP";
}

}  // namespace

bool may_be_event(std::string_view trimmed) {
    if (!trimmed.starts_with('{') || !trimmed.ends_with('}')) return false;
    // The key is looked for by its quote and capital, rare together in
    // most JSON: a long record of other keys is passed over many bytes at
    // a time.
    constexpr std::string_view kKey = "\"Action\"";
    constexpr scan::Pair kKeyStart = scan::Pair::exact('"', 'A');
    for (scan::Hits hits = scan::pair_hits(trimmed, kKeyStart, 0); hits;
         hits = scan::pair_hits(trimmed, kKeyStart, hits.next()))
        for (const std::size_t at : hits)
            if (trimmed.substr(at).starts_with(kKey)) return true;
    return false;
}

std::optional<SummaryWriter> reduce_go_jsonl_lines(const text::LineIndex& lines) {
    StreamShape shape;
    KeptEvents kept;
    // One reader for the whole stream: each line is parsed in place of the
    // last, and only what the report may need is copied out.
    json::Reader reader;
    for (std::string_view line : lines) {
        const std::string_view trimmed = text::trim(line);
        if (trimmed.empty()) continue;
        if (!may_be_event(trimmed)) return std::nullopt;
        bool is_event = false;
        const bool is_object = reader.visit_object(trimmed, [&](const json::Node& object) {
            EventView e;
            object.any_member([&](std::string_view name, const json::Node& value) {
                e.take(name, value);
                return false;
            });
            const std::optional<std::string_view> action = e.action ? known_action(*e.action) : std::nullopt;
            if (!action || (!e.package && !e.test)) return;
            is_event = true;
            shape.note(*action, e);
            kept.offer(*action, e);
        });
        if (!is_object || !is_event) return std::nullopt;
    }
    if (!shape.looks_like_go_test()) return std::nullopt;

    SummaryWriter out;
    out.add(text::format("{} go {}", headline::kTestOutput, shape.failed ? "failure" : "success"));

    const GoTestKeySet failed_tests = go_jsonl_tests_by_action(kept, "fail");
    const GoTestKeySet skipped_tests = go_jsonl_tests_by_action(kept, "skip");
    kept.each([&](const KeptEvent& e) {
        if (is_result_action(e.action)) {
            if (e.test) {
                if (e.action != "pass")
                    out.add_unless_blank_or_repeat(text::format("{} {}{}{}", result_word(e.action),
                                                                e.package ? std::string(*e.package) + " " : std::string(),
                                                                *e.test, elapsed_suffix(e)));
            } else if (e.package) {
                out.add_unless_blank_or_repeat(
                    text::format("{} {}{}", result_word(e.action), *e.package, elapsed_suffix(e)));
            }
        } else if (e.action == "output" && e.output) {
            const std::string_view o = *e.output;
            bool keep = is_package_result_output(o);
            if (!keep && (!failed_tests.empty() || !skipped_tests.empty())) {
                const GoTestKey key{e.package.value_or(std::string_view()), e.test.value_or(std::string_view())};
                keep = (failed_tests.contains(key) && is_go_jsonl_relevant_output(o, true)) ||
                       (skipped_tests.contains(key) && is_go_jsonl_relevant_output(o, false));
            }
            if (keep) out.add_unless_blank_or_repeat(o);
        }
    });
    return out;
}

}  // namespace filters::test_runner::go_jsonl
