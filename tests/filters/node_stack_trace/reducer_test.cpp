#include "filters/node_stack_trace/reducer.h"

#include <gtest/gtest.h>

#include "filters/node_stack_trace/summary.h"
#include "support.h"

namespace {

using filters::node_stack_trace::reducer::compress_node_stack_trace_output;
using test_support::Case;

// A frame line of each kind, numbered so that adjacent frames differ.
std::string frame(char kind, int k) {
    const std::string n = std::to_string(k);
    switch (kind) {
        case 'P':
            return "    at handler" + n + " (/home/dev/shop/src/routes/cart.js:" + n + ":7)\n";
        case 'D':
            return "    at wrap" + n + " (/home/dev/shop/node_modules/express/lib/router/layer.js:" + n + ":5)\n";
        case 'I':
            return "    at tick" + n + " (node:internal/process/task_queues:" + n + ":5)\n";
        default:
            return "    at fn" + n + " (https://cdn.example.net/assets/app.min.js:1:" + n + ")\n";
    }
}

std::string trace(std::string_view kinds, std::string_view headline = "TypeError: cart is undefined") {
    std::string out = std::string(headline) + "\n";
    int k = 1;
    for (char c : kinds) out += frame(c, k++);
    return out;
}

std::string bare(std::string s) {  // a frame as printed back
    return s.substr(4, s.size() - 5);
}

TEST(NodeStackTraceReducer, FrameSelection) {
    const std::vector<Case> cases = {
        {"five frames print whole, so nothing shrinks", trace("OOOOO"), trace("OOOOO")},
        {"six Other frames keep 1, 2 and 6", trace("OOOOOO"),
         "node stack trace: TypeError\nTypeError: cart is undefined\n" + bare(frame('O', 1)) + "\n" +
             bare(frame('O', 2)) + "\n… 3 JavaScript stack frames omitted\n" + bare(frame('O', 6)) + "\n"},
        {"eleven Other frames keep 1, 2, 10 and 11", trace("OOOOOOOOOOO"),
         "node stack trace: TypeError\nTypeError: cart is undefined\n" + bare(frame('O', 1)) + "\n" +
             bare(frame('O', 2)) + "\n… 7 JavaScript stack frames omitted\n" + bare(frame('O', 10)) + "\n" +
             bare(frame('O', 11)) + "\n"},
        {"first internal frame kept, the rest counted as internal", trace("OOIIIO"),
         "node stack trace: TypeError\nTypeError: cart is undefined\n" + bare(frame('O', 1)) + "\n" +
             bare(frame('O', 2)) + "\n" + bare(frame('I', 3)) + "\n… 2 internal stack frames omitted\n" +
             bare(frame('O', 6)) + "\n"},
        {"project frames, first and last of many dependencies", trace("PPDDDDDDDDDOOO"),
         "node stack trace: TypeError\nTypeError: cart is undefined\n" + bare(frame('P', 1)) + "\n" +
             bare(frame('P', 2)) + "\n" + bare(frame('D', 3)) + "\n… 7 node_modules stack frames omitted\n" +
             bare(frame('D', 11)) + "\n… 1 JavaScript stack frame omitted\n" + bare(frame('O', 13)) + "\n" +
             bare(frame('O', 14)) + "\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(compress_node_stack_trace_output(c.in), c.want) << c.name;
}

TEST(NodeStackTraceReducer, HeadlineTypeAndCode) {
    const std::string frames = std::string(frame('P', 1)) + frame('I', 2) + frame('I', 3) + frame('I', 4) +
                               frame('I', 5) + frame('I', 6) + frame('I', 7);
    const std::vector<Case> cases = {
        {"bracketed code", "Error [ERR_MODULE_NOT_FOUND]: Cannot find package 'zod'\n" + frames,
         "node stack trace: Error ERR_MODULE_NOT_FOUND"},
        {"type holding its code", "EPIPEError: write EPIPE\n" + frames, "node stack trace: EPIPEError"},
        {"code beside the type", "SystemError: write ECONNRESET\n" + frames,
         "node stack trace: SystemError ECONNRESET"},
        {"Uncaught prefix names the type", "Uncaught TypeError: x is not a function\n" + frames,
         "node stack trace: Uncaught"},
        {"last headline wins", "Error: first\nRangeError: second\n" + frames, "node stack trace: RangeError"},
        {"npm prefix taken off a whole word only", "npm ERR! TypeError: boom\n" + frames,
         "node stack trace: TypeError"},
    };
    for (const Case& c : cases) {
        const std::string out = compress_node_stack_trace_output(c.in);
        EXPECT_EQ(out.substr(0, out.find('\n')), c.want) << c.name;
    }
    EXPECT_EQ(filters::node_stack_trace::summary::normalize_selected_line("npm warning x"), "npm warning x");
    EXPECT_EQ(filters::node_stack_trace::summary::normalize_selected_line("\x1b[31mnpm WARN\x1b[0m deprecated x"),
              "deprecated x");
}

// Whether `line` is a whole line of `text`.
bool has_line(const std::string& text, std::string_view line) {
    for (std::string_view l : text::split_lines(text).lines)
        if (l == line) return true;
    return false;
}

// `frame` with the " {" with which node opens the error's properties.
std::string opening(const std::string& frame_line) { return frame_line.substr(0, frame_line.size() - 1) + " {\n"; }

TEST(NodeStackTraceReducer, ErrorPropertiesAndCarets) {
    const std::string stack = frame('P', 1) + frame('I', 2) + frame('I', 3) + frame('I', 4) + frame('I', 5);
    const std::string props = "HttpError: upstream unavailable\n" + stack + opening(frame('I', 6)) +
                              "  status: 503,\n  response: {\n    headers: 'retry-after: 30'\n  },\n"
                              "  url: 'https://api.example.net/items?page=11'\n}\n";
    const std::string cause = "TypeError: fetch failed\n" + stack + opening(frame('I', 6)) +
                              "  [cause]: Error: connect ECONNREFUSED 127.0.0.1:4599\n" + stack +
                              opening(frame('I', 6)) + "    errno: -111,\n    syscall: 'connect',\n  }\n}\n";
    struct Row {
        const char* name;
        std::string in;
        std::string line;
        bool kept;
    };
    const Row rows[] = {
        {"a property of the error", props, "status: 503,", true},
        {"the last property of the error", props, "url: 'https://api.example.net/items?page=11'", true},
        {"a property holding an object", props, "response: {", true},
        {"a line inside a property's object", props, "headers: 'retry-after: 30'", false},
        {"a property of the cause", cause, "syscall: 'connect',", true},
        {"a closing brace", cause, "}", false},
        {"an object the program printed before the error", "{\n  retries: 3\n}\nTypeError: x\n" + stack + frame('I', 6),
         "retries: 3", false},
        {"a line after the blank that ends the error",
         "TypeError: x\n" + stack + opening(frame('I', 6)) + "  code: 'ERR_X',\n\n  retries: 3\n", "retries: 3", false},
        {"a caret under a dropped source line",
         "/tmp/shop/x.js:2\nconst port = cfg.settings.port;\n                     ^\n\nTypeError: x\n" + stack +
             frame('I', 6),
         "^", false},
        {"a caret under a kept throw", "/tmp/shop/x.js:2\n  throw err;\n  ^\n\nTypeError: x\n" + stack + frame('I', 6),
         "^", true},
    };
    for (const Row& r : rows) {
        const std::string out = compress_node_stack_trace_output(r.in);
        ASSERT_NE(out, r.in) << r.name;
        EXPECT_EQ(has_line(out, r.line), r.kept) << r.name << "\n" << out;
    }
}

// A program's own output around a crash, when it is the larger part, is
// left whole; the lines of the error (its excerpt, message, frames and
// properties) count as the error's.
TEST(NodeStackTraceDetector, OutputAroundTheCrash) {
    std::string log;
    for (int k = 1; k <= 8; ++k) log += "GET /items?page=" + std::to_string(k) + " 200 1ms\n";
    const std::string seven_log = log.substr(log.find('\n') + 1);
    const std::string frames = frame('P', 1) + frame('I', 2) + frame('I', 3) + frame('I', 4) + frame('I', 5);
    const std::string excerpt = "/tmp/shop/api.js:11\n  throw err;\n  ^\n\n";
    struct Row {
        const char* name;
        std::string in;
        bool compressed;
    };
    const Row rows[] = {
        {"more request lines than error lines", log + "TypeError: x\n" + frames + frame('I', 6), false},
        {"as many request lines as error lines", seven_log + "TypeError: x\n" + frames + frame('I', 6), true},
        {"the excerpt is the error's",
         log + excerpt + "TypeError: x\n" + frame('P', 1) + frame('I', 2) + frame('I', 3) + frame('I', 4) +
             frame('I', 5) + "\nNode.js v20.20.2\n",
         true},
        {"a long message before the frames is the error's",
         "AssertionError [ERR_ASSERTION]: Expected values to be strictly deep-equal:\n" + log + frames + frame('I', 6),
         true},
        {"the request lines after an error line are not its message",
         "Error: retrying\n" + log + "GET /items?page=9 200 1ms\nTypeError: x\n" + frames + frame('I', 6), false},
    };
    for (const Row& r : rows) EXPECT_EQ(compress_node_stack_trace_output(r.in) != r.in, r.compressed) << r.name;
}

// Real crashes of a project under /tmp: the lines that say what failed and
// where survive; a server's request log around its crash is not cut away.
TEST(NodeStackTraceReducer, KeepsWhatIdentifiesTheFailureInRealRuns) {
    struct Row {
        const char* file;
        const char* line;
    };
    const Row rows[] = {
        {"http_error_properties", "status: 503,"},
        {"http_error_properties", "url: 'http://127.0.0.1:4817/items?page=11'"},
        {"http_error_properties", "at async loadAll (/tmp/shop/lib/pager.js:9:61)"},
        {"listen_eaddrinuse", "errno: -98,"},
        {"listen_eaddrinuse", "syscall: 'listen',"},
        {"listen_eaddrinuse", "at startServer (/tmp/shop/serve.js:5:10)"},
        {"cause_properties", "path: '/tmp/shop/config/staging/settings.json'"},
        {"cause_properties", "at async readSettings (/tmp/shop/lib/settings_async.js:7:23)"},
        {"esm_custom_property", "table: 'invoices',"},
        {"esm_custom_property", "at buildReport (file:///tmp/shop/report.mjs:4:10)"},
        {"server_log_then_crash", "GET /items?page=3 200 0ms"},
    };
    for (const Row& r : rows) {
        const std::string in = test_support::read_test_file(std::string("cases/node_stack_trace/") + r.file + ".in");
        ASSERT_FALSE(in.empty()) << r.file;
        EXPECT_TRUE(has_line(compress_node_stack_trace_output(in), r.line)) << r.file << ": " << r.line;
    }
    const std::string log = test_support::read_test_file("cases/node_stack_trace/server_log_then_crash.in");
    EXPECT_EQ(compress_node_stack_trace_output(log), log);
}

TEST(NodeStackTraceDetector, Declines) {
    const std::string frames =
        std::string(frame('P', 1)) + frame('D', 2) + frame('I', 3) + frame('I', 4) + frame('I', 5) + frame('I', 6);
    const std::vector<Case> cases = {
        {"own headline", "node stack trace: TypeError\nTypeError: x\n" + frames, ""},
        {"jest run", "FAIL src/cart.test.js\nTypeError: x\n" + frames + "Tests:       1 failed, 1 total\n", ""},
        {"mocha tally", "TypeError: x\n" + frames + "  1 passing (12ms)\n  1 failing\n", ""},
        {"node test runner", "TypeError: x\n" + frames + "ℹ fail 1\n", ""},
        {"three frames", trace("PDI"), ""},
        {"no headline", "something went wrong\n" + frames, ""},
        {"fenced", "```\nTypeError: x\n" + frames + "```\n", ""},
        {"introduced as an example", "Here is some example output:\nTypeError: x\n" + frames, ""},
        {"prose around",
         "When the cart is empty the handler throws.\nTypeError: x\n" + frames +
             "This happens because the session expired early.\n",
         ""},
        {"browser frames under a code", trace("OOOOOO", "Error: ENOENT: gone"), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(compress_node_stack_trace_output(c.in), c.in) << c.name;

    // One sentence without markdown is no document; browser frames alone
    // are a trace when at least six point at a script.
    EXPECT_NE(compress_node_stack_trace_output("The checkout request failed after retrying.\nTypeError: x\n" + frames),
              "The checkout request failed after retrying.\nTypeError: x\n" + frames);
    EXPECT_NE(compress_node_stack_trace_output(trace("OOOOOO")), trace("OOOOOO"));

    // Frames that point at no script's code make a trace only when one of
    // them, wherever it stands, names a script file.
    std::string java = "TypeError: x\n";
    for (int k = 1; k <= 6; ++k) java += text::format("    at com.example.Cart.step{}(Cart.java:{})\n", k, k);
    EXPECT_EQ(compress_node_stack_trace_output(java), java);
    EXPECT_NE(compress_node_stack_trace_output(java + frame('O', 7)), java + frame('O', 7));
}

// The cheap frame-line gate must let through every line that normalises to
// a frame, however the colour codes fall.
TEST(NodeStackTraceDetector, FramesBehindColourCodes) {
    struct Row {
        std::string prefix;  // put before the frame, which loses `cut` bytes
        std::size_t cut;
    };
    const std::vector<Row> rows = {{"npm\x1b[0m ERR! ", 4},
                                   {"n\x1b[1mpm ERR! ", 4},
                                   {"\x1b[31mnpm ERR!\x1b[0m ", 4},
                                   {"a\x1b[2m", 5},
                                   {"  \xC2\xA0", 4}};
    for (const Row& r : rows) {
        std::string in = "TypeError: x\n";
        for (int k = 1; k <= 6; ++k) in += r.prefix + frame('I', k).substr(r.cut);
        const std::string out = compress_node_stack_trace_output(in);
        EXPECT_EQ(out.substr(0, out.find('\n')), "node stack trace: TypeError") << text::debug_quote(r.prefix);
        // The frame is printed as it reads without the codes and prefixes.
        std::string printed = "\n";
        printed.append(bare(frame('I', 1))).push_back('\n');
        EXPECT_NE(out.find(printed), std::string::npos) << text::debug_quote(r.prefix);
    }
}

TEST(NodeStackTraceSummary, FrameLines) {
    using filters::node_stack_trace::summary::FrameKind;
    using filters::node_stack_trace::summary::parse_frame_line;
    struct Row {
        std::string line;
        bool frame;
        std::string text;
        FrameKind kind;
    };
    const std::vector<Row> rows = {
        {"\x1b[90m    at run (/app/src/index.ts:4:2)\x1b[39m", true, "at run (/app/src/index.ts:4:2)",
         FrameKind::Project},
        {"    at new Promise (<anonymous>)", false, "", FrameKind::Other},
        {"    at async Promise.all (index 0)", false, "", FrameKind::Other},
        // A file on this machine outside node and its packages is the
        // project's, wherever it lives; a served script is not.
        {"    at /srv/bundle.js:10:5 {", true, "at /srv/bundle.js:10:5", FrameKind::Project},
        {"    at buildReport (file:///tmp/shop/report.mjs:4:10)", true,
         "at buildReport (file:///tmp/shop/report.mjs:4:10)", FrameKind::Project},
        {"    at https://cdn.example.net/assets/app.min.js:1:9 {", true,
         "at https://cdn.example.net/assets/app.min.js:1:9", FrameKind::Other},
        {"    at run (/usr/lib/node_modules/npm/lib/cli.js:9:1)", true,
         "at run (/usr/lib/node_modules/npm/lib/cli.js:9:1)", FrameKind::Dependency},
        {"    at node:internal/main/run_main_module:28:49", true, "at node:internal/main/run_main_module:28:49",
         FrameKind::Internal},
        {"    at f (C:\\work\\app\\main.js:3:1),", true, "at f (C:\\work\\app\\main.js:3:1)", FrameKind::Project},
        {"at", false, "", FrameKind::Other},
    };
    for (const Row& r : rows) {
        const auto got = parse_frame_line(r.line);
        ASSERT_EQ(got.has_value(), r.frame) << r.line;
        if (!got) continue;
        EXPECT_EQ(got->text, r.text) << r.line;
        EXPECT_EQ(got->kind, r.kind) << r.line;
    }
    EXPECT_EQ(filters::node_stack_trace::summary::strip_line_column_suffix("src/a.js:10:5?x=1"), "src/a.js");
    EXPECT_EQ(filters::node_stack_trace::summary::strip_line_column_suffix("src/a.js:10"), "src/a.js");
    EXPECT_EQ(filters::node_stack_trace::summary::strip_line_column_suffix("12:34"), "12");
}

TEST(NodeStackTraceDetector, FramesFoundAtEveryOffset) {
    // Short lines send the detector through its block search for frame
    // starts: a frame must be found wherever a block boundary falls.
    const std::string trace = "TypeError: cart is undefined\n" + frame('P', 1) + frame('D', 2) + frame('I', 3) +
                              frame('I', 4) + frame('I', 5) + frame('I', 6) + frame('I', 7);
    for (std::size_t pad = 0; pad < 80; ++pad) {
        const std::string in = std::string(pad, 'x') + "\n" + trace;
        const std::string out = compress_node_stack_trace_output(in);
        EXPECT_TRUE(out.starts_with("node stack trace: TypeError")) << pad;
    }
}

}  // namespace
