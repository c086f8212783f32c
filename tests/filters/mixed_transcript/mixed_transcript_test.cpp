#include <gtest/gtest.h>

#include "filters/filters.h"
#include "filters/mixed_transcript/detector.h"
#include "filters/mixed_transcript/reducer.h"
#include "support.h"

namespace {

using filters::mixed_transcript::detector::segment_mixed_transcript_lines;
using filters::mixed_transcript::reducer::compress_mixed_transcript_output;

// The segments as "kind:count" words, "c" for compressible and "k" for kept.
std::string shape(const std::string& input) {
    const text::LineIndex lines(input);
    const auto segments = segment_mixed_transcript_lines(lines);
    if (!segments) return "none";
    std::string out;
    for (const auto& s : *segments) {
        if (!out.empty()) out.push_back(' ');
        out.append(s.compressible ? "c" : "k").append(std::to_string(s.count));
    }
    return out;
}

TEST(MixedTranscriptDetector, Segments) {
    const std::string json_body = "{\n  \"a\": [1, 2],\n  \"b\": \"x}\"\n}\n";
    const std::vector<test_support::Case> cases = {
        {"three lines", "$ curl -s http://127.0.0.1/\nexit 1\nok\n", "none"},
        {"command, output, marker", "$ make\nbuilding\ndone\n=== tests ===\n", "k1 c2 k1"},
        {"markers without a command", "=== one ===\ntext\n=== two ===\nmore\n", "none"},
        {"http head", "HTTP/1.1 200 OK\nContent-Type: text/plain\n\nhello\n", "k3 c1"},
        {"http head without its blank line", "HTTP/1.1 200 OK\nContent-Type: text/plain\nServer: x\nhello\n", "none"},
        {"http head with an empty second line", "HTTP/1.1 200 OK\n\nContent-Type: x\nhello\n", "none"},
        {"json body after a command", "$ curl -s localhost:8080/a\n" + json_body + "exit code: 0\n", "k1 c4 k1"},
        {"json body with trailing text", "$ curl -s localhost:8080/a\n{\"a\": 1} tail\nmore\nexit code: 0\n", "k1 c2 k1"},
        {"curl error", "$ curl -s http://127.0.0.1:9/\ncurl: (7) Failed to connect to 127.0.0.1 port 9\nx\ny\n",
         "k1 k1 c2"},
        {"curl prose", "$ curl --help\ncurl: (6) is returned when the host cannot be resolved\nx\ny\n", "none"},
        {"html page alone", "<!doctype html>\n<html><body>\n<p>x</p>\n</body></html>\n", "none"},
        {"html page after a command", "$ curl -s http://127.0.0.1/\n<!doctype html>\n<html><body>\n</body></html>\n",
         "k1 c3"},
        {"exit statuses", "$ ./run.sh\nProcess exited with code -1.\nexited with code 0\nexit code 1 (timeout)\n",
         "k1 k1 c2"},
        {"npm ls is no command", "npm ls\n=== deps ===\na\nb\n", "none"},
        {"cargo --version is one", "cargo --version\n=== deps ===\na\nb\n", "k1 k1 c2"},
        {"status line behind a vertical tab", "\vHTTP/1.1 200 OK\nContent-Type: text/plain\n\nhello\n", "k3 c1"},
        {"prompt lines are commands", "dev@box:/tmp/app$ ./crash\nSegmentation fault\nexit=139\nroot@host:~# ls\nx\n",
         "k1 c1 k1 k1 c1"},
        {"prompt drawn with colours and a window title",
         "\x1b[?2004h\x1b]0;root@box: ~/app\a\x1b[01;32mroot@box\x1b[00m:\x1b[01;34m~/app\x1b[00m# ./crash\n"
         "\x1b[?2004l\nSegmentation fault\nexit=139\n",
         "k1 c2 k1"},
        {"prompt of a virtual environment", "(venv) dev@box:~/app$ pytest -x\nran\n=== done ===\nx\n", "k1 c1 k1 c1"},
        {"prompt that runs nothing", "dev@box:~/app$\nran\n=== done ===\nx\n", "none"},
        {"addresses that are no prompts",
         "git@github.com:org/repo.git\nmail alice@example.com:inbox$ x\nbob@host:src$ make\n=== done ===\n", "none"},
    };
    for (const auto& c : cases) EXPECT_EQ(shape(c.in), c.want) << c.name;
}

// The first look tells most lines by a few bytes from their start, and the
// last ones whole: a line that decides must count wherever it starts,
// however long its indent and whatever the case of its words, and lines
// that only look like one must not.
TEST(MixedTranscriptDetector, FirstLookAcrossBlocks) {
    const std::string filler = "int x = compute(y);\n";
    const std::vector<test_support::Case> cases = {
        {"command and marker", "$ make\nbuilding\n{MARK}\n", "=== tests ==="},
        {"status line", "{MARK}\nContent-Type: text/plain\n\nhello\n", "HTTP/1.1 200 OK"},
        {"curl error after a command", "$ curl -s http://127.0.0.1:9/\n{MARK}\nx\n",
         "curl: (7) Failed to connect to 127.0.0.1 port 9"},
        {"exit status and json body", "[1, 2]\nx\n{MARK}\n", "Exit code: 3"},
        {"command sign after a body", "{\"a\": 1}\nout\n{MARK}\n", "+ make"},
        {"exit phrase in capitals", "[1, 2]\nx\n{MARK}\n", "COMMAND EXITED WITH STATUS=2"},
        {"curl error in capitals", "[1, 2]\nx\n{MARK}\n", "CURL: (6) Could not resolve host: a"},
        {"tool after a marker", "=== run ===\nx\n{MARK}\n", "python -m pytest"},
        {"prompt after a marker", "=== run ===\nx\n{MARK}\n", "dev@box:/tmp/app$ cargo build"},
        {"coloured prompt after an exit status", "exit 1\nx\n{MARK}\n", "\x1b[01;32mroot@box\x1b[00m:~# ls"},
    };
    for (const auto& c : cases) {
        for (const std::string& indent :
             std::vector<std::string>{"", " ", "\t \t", std::string(70, ' '), "\v", "\u00a0"}) {
            for (std::size_t offset = 0; offset < 140; offset += 13) {
                std::string in = std::string(offset, 'x') + "\n" + filler + c.in;
                in.replace(in.find("{MARK}"), 6, indent + c.want);
                EXPECT_NE(shape(in), "none") << c.name << " at " << offset << " indent " << indent.size();
            }
        }
    }
    // Lines that begin like commands, markers and statuses but are none.
    std::string lookalikes = "$ make\n";
    for (const char* line :
         {"- x", "+\tx", "--- a/x", "HTTPS", "nodes 3", "exiting", "curly", "==x", "<p>", "$x", "node = f(node)",
          "commit 1a2b", "exit code 1 (timeout)", "Process exited", "----- a/x --"})
        lookalikes.append(line).append("\n");
    EXPECT_EQ(shape(lookalikes), "none");
}

// Lines that open bodies inside one another: each body is the container its
// first line opens, and parses or not on its own.
TEST(MixedTranscriptDetector, NestedJsonBodies) {
    const std::string curl = "$ curl -s localhost:8080/a\n";
    auto repeat = [](std::string_view line, int times) {
        std::string s;
        for (int k = 0; k < times; ++k) s.append(line);
        return s;
    };
    const std::vector<test_support::Case> cases = {
        {"valid body inside one that does not parse", curl + "[\n{\"id\": 1}\n]x\n", "k1 c1 c1 c1"},
        {"pretty body with nested opening lines",
         curl + "{\n  \"items\": [\n    {\n      \"id\": 1\n    }\n  ]\n}\nexit 0\n", "k1 c7 k1"},
        {"object as a key", curl + "{\n{\"a\": 1}: 2\n}\nexit 0\n", "k1 c3 k1"},
        {"raw newline in a string", curl + "{\"a\": \"x\ny\"}\n[1]\nexit 0\n", "k1 c2 c1 k1"},
        {"2000 levels parse", curl + repeat("[\n", 2000) + repeat("]\n", 2000) + "exit 0\n", "k1 c4000 k1"},
        {"2001 levels do not", curl + repeat("[\n", 2001) + repeat("]\n", 2001) + "exit 0\n", "k1 c1 c4000 c1 k1"},
        {"many nested bodies that never parse", curl + repeat("[\n", 300) + "x\n" + repeat("]\n", 300) + "exit 0\n",
         "k1 c601 k1"},
    };
    for (const auto& c : cases) EXPECT_EQ(shape(c.in), c.want) << c.name;
}

// Only a transcript that the segments accept and whose command lines run
// two different commands counts: "+ " lines of a test diff name no second
// command unless the text is a transcript, and one echoed command is one.
TEST(MixedTranscriptDetector, SeveralCommands) {
    struct Row {
        std::string name, in;
        bool want;
    };
    const auto capture = [](const char* name) {
        return text::normalize_and_trim_trailing_whitespace(
            test_support::read_test_file(std::string("cases/mixed_transcript/") + name + ".in"));
    };
    std::string filler;
    for (int k = 0; k < 40; ++k) filler += "plain output line " + std::to_string(k) + "\n";
    const std::vector<Row> rows = {
        {"bash -x of pytest, curl and a worker", capture("bash_x_pytest_curl_worker"), true},
        {"terminal session behind prompts", capture("script_session_cargo_segfault"), true},
        {"one pytest run after its $ line", capture("single_pytest_run_stays_with_test_runner"), false},
        {"vitest diff with + lines", capture("vitest_diff_stays_with_test_runner"), false},
        {"one command run twice", "$ make\nbuilding\n$ make\n=== done ===\n", false},
        {"two commands", "$ make\nbuilding\n$ make test\n+ ./check\n=== done ===\n", true},
        {"two commands without a mix", "$ make\nbuilding\n$ ls\nout\n", false},
        {"prompt and tool line", "dev@box:~$ npm install\nadded 3\ncurl -s http://127.0.0.1/\nexit code: 7\n", true},
        // Lines far from the end are told by their first bytes: commands
        // behind a long indent or a no-break space still count there.
        {"commands behind blanks, far from the end",
         std::string(20, ' ') + "$ make\nbuilding\n\u00a0$ ctest\n=== done ===\n" + filler, true},
        {"prompts among mail addresses, far from the end",
         "mail bob@example.com:/x\n\x1b[01;32mdev@box\x1b[00m:~$ make\nbuilt\nalice@box:/tmp$ ctest\nexit 8\n" + filler,
         true},
    };
    for (const Row& r : rows) {
        ASSERT_FALSE(r.in.empty()) << r.name;
        EXPECT_EQ(filters::mixed_transcript::detector::is_multi_command_transcript(text::LineIndex(r.in)), r.want)
            << r.name;
    }
}

// Real transcripts through the whole pipeline: each line a reader needs to
// tell what failed, and which command printed it, survives.
TEST(MixedTranscriptPipeline, CapturesKeepEveryCommandsOutcome) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> rows = {
        {"bash_x_pytest_curl_worker",
         {"+ pytest -q test_calc.py", "pytest exit code: 1", "+ curl -sS -f http://127.0.0.1:8765/api/report",
          "curl: (22) The requested URL returned error: 500", "HTTP/1.0 404 File not found", "+ ./worker/worker",
          "Process exited with code 101", "FAILED test_calc.py::test_total_with_tax - assert 36.0 == 33"}},
        {"script_session_cargo_segfault",
         {"# cargo build", "error[E0308]: mismatched types", "# ./crash", "Segmentation fault", "exit=139",
          "ls: cannot access '/tmp/nope': No such file or directory"}},
        {"bash_x_cmake_command_kept", {"+ cmake --build build -j1", "exit code: 2"}},
        {"single_pytest_run_stays_with_test_runner", {"test output: pytest failure"}},
        {"vitest_diff_stays_with_test_runner", {"test output: vitest failure"}},
    };
    for (const auto& [name, needed] : rows) {
        const std::string in = text::normalize_and_trim_trailing_whitespace(
            test_support::read_test_file("cases/mixed_transcript/" + name + ".in"));
        ASSERT_FALSE(in.empty()) << name;
        const std::string out = filters::apply_filter_pipeline_excluding(std::string_view(in), {});
        for (const std::string& line : needed) EXPECT_NE(out.find(line), std::string::npos) << name << ": " << line;
    }
}

TEST(MixedTranscriptReducer, SavingThresholds) {
    // A JSON body whose minified form saves a known number of bytes: each
    // "  " of indentation in `rows` lines goes.
    auto transcript = [](int rows, int padding) {
        std::string s = "$ curl -s http://127.0.0.1:8080/items\n[\n";
        for (int k = 0; k < rows; ++k) {
            s.append("  ").push_back(static_cast<char>('0' + k % 10));
            s.append(k + 1 < rows ? ",\n" : "\n");
        }
        s.append("]\nexit code: 0\n");
        // Padding no filter shortens: plain prose lines, 40 bytes each.
        for (int k = 0; k < padding / 40; ++k) {
            std::string line = "plain words on output line " + std::to_string(k);
            line.resize(39, '.');
            s.append(line).push_back('\n');
        }
        s.append("\n");
        return s;
    };
    // Each row saves its two blanks and its line end, and "[" its line end.
    const std::string small = transcript(27, 0);  // saves 3 * 27 + 1 = 82 bytes
    EXPECT_NE(compress_mixed_transcript_output(small), small);
    const std::string too_little = transcript(26, 0);  // 79 bytes
    EXPECT_EQ(compress_mixed_transcript_output(too_little), too_little);
    const std::string diluted = transcript(40, 2000);  // 121 bytes, under 8 %
    EXPECT_EQ(compress_mixed_transcript_output(diluted), diluted);
    const std::string large = transcript(200, 20000);  // over 511 bytes
    EXPECT_NE(compress_mixed_transcript_output(large), large);

    std::string no_newline = transcript(27, 40);
    while (no_newline.ends_with('\n')) no_newline.pop_back();
    const std::string out = compress_mixed_transcript_output(no_newline);
    EXPECT_FALSE(out.ends_with('\n'));
    EXPECT_NE(out.find("\nexit code: 0\n"), std::string::npos);
}

}  // namespace
