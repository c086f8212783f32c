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
    const std::string repeat_frame = "    at retry (/home/dev/shop/src/jobs/retry.js:3:9)\n";
    const std::vector<Case> cases = {
        // A message line that is not printed lets the stack shrink.
        {"five frames print whole", trace("ODIII", "TypeError: cart is undefined\n  while loading the session"),
         "node stack trace: TypeError\nTypeError: cart is undefined\n" + bare(frame('O', 1)) + "\n" +
             bare(frame('D', 2)) + "\n" + bare(frame('I', 3)) + "\n" + bare(frame('I', 4)) + "\n" +
             bare(frame('I', 5)) + "\n"},
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
        // Adjacent repeats print once: a summary of three lines is not
        // enough, one of four is.
        {"four repeats of one frame", "TypeError: x\n" + repeat_frame + repeat_frame + repeat_frame + repeat_frame,
         "TypeError: x\n" + repeat_frame + repeat_frame + repeat_frame + repeat_frame},
        {"three repeats of one frame and another",
         "TypeError: x\n" + repeat_frame + repeat_frame + repeat_frame + frame('P', 4),
         "node stack trace: TypeError\nTypeError: x\n" + bare(repeat_frame) + "\n" + bare(frame('P', 4)) + "\n"},
        {"ten Other frames keep 1, 2 and 10", trace("OOOOOOOOOO"),
         "node stack trace: TypeError\nTypeError: cart is undefined\n" + bare(frame('O', 1)) + "\n" +
             bare(frame('O', 2)) + "\n… 7 JavaScript stack frames omitted\n" + bare(frame('O', 10)) + "\n"},
        {"six dependency frames keep only their first", trace("ODDDDDDO"),
         "node stack trace: TypeError\nTypeError: cart is undefined\n" + bare(frame('O', 1)) + "\n" +
             bare(frame('D', 2)) + "\n… 5 node_modules stack frames omitted\n" + bare(frame('O', 8)) + "\n"},
        {"seven dependency frames keep their first and last", trace("ODDDDDDDO"),
         "node stack trace: TypeError\nTypeError: cart is undefined\n" + bare(frame('O', 1)) + "\n" +
             bare(frame('D', 2)) + "\n… 5 node_modules stack frames omitted\n" + bare(frame('D', 8)) + "\n" +
             bare(frame('O', 9)) + "\n"},
        {"six internal frames keep only their first", trace("OIIIIIIO"),
         "node stack trace: TypeError\nTypeError: cart is undefined\n" + bare(frame('O', 1)) + "\n" +
             bare(frame('I', 2)) + "\n… 5 internal stack frames omitted\n" + bare(frame('O', 8)) + "\n"},
        {"seven internal frames keep their first and last", trace("OIIIIIIIO"),
         "node stack trace: TypeError\nTypeError: cart is undefined\n" + bare(frame('O', 1)) + "\n" +
             bare(frame('I', 2)) + "\n… 5 internal stack frames omitted\n" + bare(frame('I', 8)) + "\n" +
             bare(frame('O', 9)) + "\n"},
        {"internal and dependency frames dropped together", trace("ODIDIDO"),
         "node stack trace: TypeError\nTypeError: cart is undefined\n" + bare(frame('O', 1)) + "\n" +
             bare(frame('D', 2)) + "\n" + bare(frame('I', 3)) + "\n… 3 internal/node_modules stack frames omitted\n" +
             bare(frame('O', 7)) + "\n"},
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
        {"npm prefix taken off the headline", "npm ERR! TypeError: boom\n" + frames, "node stack trace: TypeError"},
        {"a name ending in Exception", "DOMException [DataCloneError]: ()=>{} could not be cloned.\n" + frames,
         "node stack trace: DOMException"},
        {"a rejection line of 25 bytes", "UnhandledPromiseRejection\n" + frames,
         "node stack trace: UnhandledPromiseRejection"},
        {"a code of four bytes", "Error: E404 Not Found - GET https://registry.npmjs.org/left-pad-nope\n" + frames,
         "node stack trace: Error E404"},
        {"three bytes are no code", "Error: EIO: i/o error, read\n" + frames, "node stack trace: Error"},
        {"ERROR is no code", "Error: ERROR reported by the payment gateway\n" + frames, "node stack trace: Error"},
        {"MODULE_NOT_FOUND is a code", "Error: Cannot find module './db'\n" + frames + "  code: 'MODULE_NOT_FOUND'\n",
         "node stack trace: Error MODULE_NOT_FOUND"},
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

// Which lines besides the frames are printed: the error's properties, the
// source excerpt and caret, the lines that say what failed (stack sections,
// commands and exit statuses, codes, version) and the project's paths.
TEST(NodeStackTraceReducer, LinesAroundTheFrames) {
    const std::string stack = frame('P', 1) + frame('I', 2) + frame('I', 3) + frame('I', 4) + frame('I', 5);
    const std::string props = "HttpError: upstream unavailable\n" + stack + opening(frame('I', 6)) +
                              "  status: 503,\n  response: {\n    headers: 'retry-after: 30'\n  },\n"
                              "  url: 'https://api.example.net/items?page=11'\n}\n";
    const std::string cause = "TypeError: fetch failed\n" + stack + opening(frame('I', 6)) +
                              "  [cause]: Error: connect ECONNREFUSED 127.0.0.1:4599\n" + stack +
                              opening(frame('I', 6)) + "    errno: -111,\n    syscall: 'connect',\n  }\n}\n";
    const std::string error = "TypeError: x\n" + stack + frame('I', 6);
    // `line` printed after the frames, before the error, or under its
    // require stack.
    auto after = [&](const std::string& line) { return error + line + "\n"; };
    auto before = [&](const std::string& lines) { return lines + "\n" + error; };
    auto required = [&](const std::string& entry) {
        return "Error: Cannot find module 'zod'\nRequire stack:\n" + entry + "\n" + stack + frame('I', 6);
    };
    struct Row {
        std::string name;
        std::string in;
        std::string line;
        bool kept;
    };
    std::vector<Row> rows = {
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
        {"source four lines before the error", before("throw err;\ntick 1\ntick 2\ntick 3"), "throw err;", true},
        {"source five lines before the error", before("throw err;\ntick 1\ntick 2\ntick 3\ntick 4"), "throw err;",
         false},
        {"a prelude line of 220 bytes", before("sync failed: " + std::string(207, 'x')),
         "sync failed: " + std::string(207, 'x'), true},
        {"a prelude line of 221 bytes", before("sync failed: " + std::string(208, 'x')),
         "sync failed: " + std::string(208, 'x'), false},
        {"npm's prefix off a code line", after("npm ERR! code E404"), "code E404", true},
        {"npm 10's prefix off a code line", after("npm error code E404"), "code E404", true},
        {"a code line", after("code: ENOENT"), "code: ENOENT", true},
    };
    // Stack sections, the version, commands and exit statuses.
    for (const std::string line : {"Require stack:", "Import stack:", "Emitted 'error' event on Server instance at:",
                                   "Caused by: Error: socket hang up", "From previous event:", "Node.js v20.20.2",
                                   "[cause]: Error: connect ECONNREFUSED", "[errors]: [ [Error: primary down] ]"})
        rows.push_back({"after the frames: " + line, after(line), line, true});
    for (const std::string line :
         {"$ npm start", "+ npm start", "> shop@1.0.0 start", "node --test", "npm run build",
          "npx prisma migrate deploy", "bun run build", "pnpm run build", "yarn run build", "vite build", "vitest run",
          "playwright test", "Command failed: npm run build", "exit code 1", "exit status 1",
          "Process exited with code 1", "Finished with exit code 1", "error Command failed with exit code 1."})
        rows.push_back({"after the frames: " + line, after(line), line, true});
    for (const std::string line :
         {"node:internal/modules/cjs/loader:1080", "throw err;", "throw;", "return JSON.parse(raw).settings.port;",
          "import { total } from './cart.js';", "require('./db');", "triggerUncaughtException(err, true);",
          "process.emit('error', err);", "see the error log", "request failed after 3 retries",
          "cannot reach the cart service", "can't reach the cart service", "module not found in the bundle",
          "starting dev server on port 5173", "unhandled rejection in the cart worker", "uncaught in promise"})
        rows.push_back({"before the error: " + line, before(line), line, true});
    for (const std::string path :
         {"webpack://shop/lib/cart.js", "vite://shop/lib/cart.js", "./lib/cart.js", "../lib/cart.js",
          "~/shop/lib/cart.js", "/workspace/shop/lib/cart.js", "/workspaces/shop/lib/cart.js",
          "/home/dev/shop/lib/cart.js", "/Users/dev/shop/lib/cart.js", "/srv/shop/src/cart.js",
          "/srv/shop/tests/cart.js", "/srv/shop/test/cart.js", "/srv/shop/app/cart.js", "C:\\shop\\lib\\cart.js",
          "src/cart.js", "test/cart.js", "tests/cart.js", "app/cart.js"})
        rows.push_back({"a project path: " + path, required("- " + path), "- " + path, true});
    for (const std::string ext :
         {".js", ".jsx", ".ts", ".tsx", ".mjs", ".cjs", ".mts", ".cts", ".vue", ".svelte", ".astro"})
        rows.push_back({"a script named alone: " + ext, required("- cart" + ext), "- cart" + ext, true});
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

// Texts that are declined (`want` empty: the text comes back unchanged) and,
// beside each limit and word, texts that are taken (`want` is the headline).
TEST(NodeStackTraceDetector, DeclinesWhatIsNotATrace) {
    const std::string frames =
        std::string(frame('P', 1)) + frame('D', 2) + frame('I', 3) + frame('I', 4) + frame('I', 5) + frame('I', 6);
    const std::string taken = "node stack trace: TypeError";
    // A line of the error's message that is not printed, so that a short
    // stack still shrinks.
    const std::string message = "TypeError: x\n  while loading the session object from the cache\n";
    // Six frames of a served script whose name ends in `ext`.
    auto browser = [](const std::string& ext) {
        std::string out;
        for (int k = 1; k <= 6; ++k)
            out += "    at fn" + std::to_string(k) + " (https://cdn.example.net/assets/app.min" + ext +
                   ":1:" + std::to_string(k) + ")\n";
        return out;
    };
    std::vector<Case> cases = {
        {"own headline", "node stack trace: TypeError\nTypeError: x\n" + frames, ""},
        {"jest run", "FAIL src/cart.test.js\nTypeError: x\n" + frames + "Tests:       1 failed, 1 total\n", ""},
        {"mocha tally", "TypeError: x\n" + frames + "  1 passing (12ms)\n  1 failing\n", ""},
        {"node test runner", "TypeError: x\n" + frames + "ℹ fail 1\n", ""},
        {"three frames", trace("PDI"), ""},
        {"four frames", message + frame('P', 1) + frame('D', 2) + frame('I', 3) + frame('I', 4), taken},
        {"no headline", "something went wrong\n" + frames, ""},
        {"fenced", "```\nTypeError: x\n" + frames + "```\n", ""},
        {"introduced as an example", "Here is some example output:\nTypeError: x\n" + frames, ""},
        {"prose around",
         "When the cart is empty the handler throws.\nTypeError: x\n" + frames +
             "This happens because the session expired early.\n",
         ""},
        {"browser frames under a code", trace("OOOOOO", "Error: ENOENT: gone"), ""},
        {"five browser frames", message + browser(".js").substr(0, browser(".js").rfind("    at")), ""},
        {"browser frames of an HTML page", message + browser(".html"), ""},
        {"browser frames under node's version", message + browser(".js") + "Node.js v20.20.2\n", ""},
        {"browser frames under node's short version", message + browser(".js") + "node v18.19.0\n", ""},
        {"a sentence of 24 bytes and a heading", "TypeError: x\n" + frames + "Checkout broke on retry.\n# Notes\n",
         taken},
        {"a sentence of 25 bytes and a heading", "TypeError: x\n" + frames + "Checkout breaks on retry.\n# Notes\n",
         ""},
    };
    for (const std::string ext : {".js", ".jsx", ".ts", ".tsx", ".mjs", ".cjs"})
        cases.push_back({"browser frames of a script: " + ext, message + browser(ext), taken});
    // A bullet that holds a path belongs to the trace, not to a document.
    for (const std::string bullet : {"- lib/cart.js", "* lib\\cart.js"})
        cases.push_back({"sentence and a path bullet: " + bullet,
                         "The checkout request failed after retrying.\nTypeError: x\n" + frames + bullet + "\n",
                         taken});
    // Other filters' headlines and inputs.
    for (const std::string line :
         {"test output: jest failure", "ci log: github-actions failure", "python traceback: KeyError",
          "Traceback (most recent call last):", "build diagnostics: tsc failure", "package manager: npm failure",
          "repeated diagnostics: line summary", "native trace: SIGSEGV", "generic log: application summary",
          "log templates: repeated line summary", "json array: 3 items", "json object: 2 keys", "jsonl records=40",
          "diff --git a/cart.js b/cart.js", "=== short test summary info ==="})
        cases.push_back({"owned elsewhere: " + line, line + "\nTypeError: x\n" + frames, ""});
    // Test runners: each of their signs, beside one of the other kind.
    for (const std::string count :
         {"1 passed", "1 failed", "1 flaky", "1 skipped", "1 timed out", "1 did not run", "1 interrupted"})
        cases.push_back({"playwright count: " + count,
                         "Running 3 tests using 2 workers\nTypeError: x\n" + frames + "  " + count + "\n", ""});
    for (const std::string pair :
         {"PASS src/a.test.js\nTest Suites: 1 failed", "FAIL src/a.test.js\nTests: 1 failed",
          "PASS src/a.test.js\nSnapshots: 0 total", "FAIL src/a.test.js\nTime: 1.2 s",
          "RUN  v1.6.0 /home/dev/shop\nTest Files  1 failed (1)", "$ vitest\nTests  1 failed (1)",
          "RUN  v1.6.0 /home/dev/shop\nDuration  1.20s", "$ vitest\nStart at  10:00:00",
          "$ npx playwright test\nRunning 2 tests using 1 worker",
          "$ npx playwright test\nError Context: test-results/cart/error-context.md",
          "$ npx playwright test\nattachment #1: trace (application/zip)"})
        cases.push_back({"test runner: " + pair, pair + "\nTypeError: x\n" + frames, ""});
    // Documents: a sentence that introduces the trace, or one sentence with
    // one markdown line.
    for (const std::string intro : {"For example:", "A sample run:", "Output:", "What it should look like:",
                                    "The following error is thrown:", "Following trace:"})
        cases.push_back({"introduced: " + intro, intro + "\nTypeError: x\n" + frames, ""});
    for (const std::string markdown : {"# Notes", "## Notes", "### Notes", "- see below", "* see below", "> quoted"})
        cases.push_back({"sentence and markdown: " + markdown,
                         "The checkout request failed after retrying.\nTypeError: x\n" + frames + markdown + "\n", ""});
    for (const std::string sentence :
         {"Checkout breaks after a retry.", "Checkout breaks after a retry:", "Checkout breaks after a retry;",
          "When the cart is empty it throws", "If the cart is empty it throws", "To reproduce open the checkout",
          "This breaks the checkout page now", "The checkout page breaks on submit"})
        cases.push_back({"sentence: " + sentence, "TypeError: x\n" + frames + sentence + "\n# Notes\n", ""});
    for (const Case& c : cases) {
        const std::string out = compress_node_stack_trace_output(c.in);
        if (c.want.empty())
            EXPECT_EQ(out, c.in) << c.name;
        else
            EXPECT_EQ(out.substr(0, out.find('\n')), c.want) << c.name;
    }

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
// a frame, however the colour codes fall and whichever tool's prefix stands
// before it.
TEST(NodeStackTraceDetector, FramesBehindColourCodesAndToolPrefixes) {
    struct Row {
        std::string prefix;  // put before the frame, which loses `cut` bytes
        std::size_t cut;
    };
    const std::vector<Row> rows = {{"npm\x1b[0m ERR! ", 4}, {"n\x1b[1mpm ERR! ", 4}, {"\x1b[31mnpm ERR!\x1b[0m ", 4},
                                   {"a\x1b[2m", 5},         {"  \xC2\xA0", 4},       {"npm error ", 4},
                                   {"npm WARN ", 4},        {"npm notice ", 4},      {"npm verb ", 4},
                                   {"npm sill ", 4},        {"yarn error ", 4}};
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
        // Prompt arrows of test reporters.
        {"  \xE2\x80\xBA at run (/app/src/index.ts:4:2)", true, "at run (/app/src/index.ts:4:2)", FrameKind::Project},
        {"  \xE2\x9D\xAF at run (/app/src/index.ts:4:2)", true, "at run (/app/src/index.ts:4:2)", FrameKind::Project},
        {"  \xE2\x86\x92 at run (/app/src/index.ts:4:2)", true, "at run (/app/src/index.ts:4:2)", FrameKind::Project},
        // Node's own code, each place it lives, and each store of installed
        // packages.
        {"    at Object.openSync (node:fs:596:3)", true, "at Object.openSync (node:fs:596:3)", FrameKind::Internal},
        {"    at Module._compile (internal/modules/cjs/loader.js:1138:30)", true,
         "at Module._compile (internal/modules/cjs/loader.js:1138:30)", FrameKind::Internal},
        {"    at m (/snapshot/internal/modules/cjs/loader.js:1:1)", true,
         "at m (/snapshot/internal/modules/cjs/loader.js:1:1)", FrameKind::Internal},
        {"    at p (/snapshot/internal/process/task_queues.js:1:1)", true,
         "at p (/snapshot/internal/process/task_queues.js:1:1)", FrameKind::Internal},
        {"    at e (/snapshot/internal/errors.js:1:1)", true, "at e (/snapshot/internal/errors.js:1:1)",
         FrameKind::Internal},
        {"    at t (/snapshot/internal/timers.js:1:1)", true, "at t (/snapshot/internal/timers.js:1:1)",
         FrameKind::Internal},
        {"    at r (/srv/store/.pnpm/express@4.19.2/lib/router.js:1:1)", true,
         "at r (/srv/store/.pnpm/express@4.19.2/lib/router.js:1:1)", FrameKind::Dependency},
        {"    at r (/srv/shop/.yarn/cache/express.zip/lib/router.js:1:1)", true,
         "at r (/srv/shop/.yarn/cache/express.zip/lib/router.js:1:1)", FrameKind::Dependency},
        {"    at r (/root/.bun/install/cache/express@4.19.2/lib/router.js:1:1)", true,
         "at r (/root/.bun/install/cache/express@4.19.2/lib/router.js:1:1)", FrameKind::Dependency},
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
