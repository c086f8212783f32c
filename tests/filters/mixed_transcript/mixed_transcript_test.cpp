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
    std::vector<test_support::Case> cases = {
        {"three lines", "$ curl -s http://127.0.0.1/\nexit 1\nok\n", "none"},
        {"four lines", "$ curl -s http://127.0.0.1/\nexit 1\nok\nmore\n", "k1 k1 c2"},
        {"command, output, marker", "$ make\nbuilding\ndone\n=== tests ===\n", "k1 c2 k1"},
        {"markers without a command", "=== one ===\ntext\n=== two ===\nmore\n", "none"},
        {"http head", "HTTP/1.1 200 OK\nContent-Type: text/plain\n\nhello\n", "k3 c1"},
        {"http head without its blank line", "HTTP/1.1 200 OK\nContent-Type: text/plain\nServer: x\nhello\n", "none"},
        {"http head with an empty second line", "HTTP/1.1 200 OK\n\nContent-Type: x\nhello\n", "none"},
        {"json body after a command", "$ curl -s localhost:8080/a\n" + json_body + "exit code: 0\n", "k1 c4 k1"},
        {"json body with trailing text", "$ curl -s localhost:8080/a\n{\"a\": 1} tail\nmore\nexit code: 0\n",
         "k1 c2 k1"},
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
        // HTTP heads: the status line as written, every header with a ":",
        // and an empty line, which may be the last line.
        {"bare HTTP/ status line", "HTTP/\nServer: x\n\nhello\n", "k3 c1"},
        {"status line in lower case",
         "$ curl -si http://127.0.0.1/\nhttp/1.1 200 OK\nServer: x\n\nhello\n=== end ===\n", "k1 c4 k1"},
        {"header without a colon", "HTTP/1.1 200 OK\nContent-Type: x\nbroken header\n\nhello\n", "none"},
        {"line of blanks ends no head", "HTTP/1.1 200 OK\nContent-Type: x\n \nhello\n", "none"},
        {"head ending on the last line", "hello\nHTTP/1.1 204 No Content\nServer: x\n\n", "c1 k3"},
        // HTML bodies: either opening, in any case, up to "</html>", and
        // never the whole input.
        {"html opening in capitals", "$ curl -s http://127.0.0.1/\n<HTML><BODY>\n<P>x</P>\n</BODY></HTML>\n", "k1 c3"},
        {"html page that never closes", "$ curl -s http://127.0.0.1/\n<!doctype html>\n<body>\n<p>x</p>\n", "none"},
        {"html page that is the whole input", "<html>\n$ curl -s http://127.0.0.1/\n=== a ===\n</html>\n",
         "c1 k1 k1 c1"},
        {"html page from the first line, then more", "<html>\n</html>\nexit 1\nx\n", "c2 k1 c1"},
        {"json body closing more than it opened", "$ curl -s localhost:8080/a\n{\"a\": 1}}\nx\nexit 0\n", "k1 c2 k1"},
        // The mixes that qualify, and those that do not.
        {"exit status and json body, no command", "exit 1\n[1, 2]\nx\ny\n", "k1 c1 c2"},
        {"marker and json body, no command", "=== a ===\n[1, 2]\nx\ny\n", "none"},
        {"exit status alone", "exit 1\nx\ny\nz\n", "none"},
        {"exit status and a bracket that opens no body", "exit 1\n[not json\nx\ny\n", "none"},
        {"marker and a page that holds the only command", "=== a ===\n<html>\n$ make\n</html>\nx\n", "none"},
        {"nothing to compress but blanks", "$ make\n=== a ===\n\n  \n", "none"},
    };

    // A line after a command line, with output after it: a marker, curl
    // error or exit status stays on its own and makes the mix; any other
    // line leaves none. After it an exit status makes the mix anyway, and
    // any other line joins the output.
    const auto after_command = [](const std::string& line) { return "$ ./run.sh\n" + line + "\nout\nmore\n"; };
    const auto before_exit = [](const std::string& line) { return "$ ./run.sh\n" + line + "\nout\nexit 1\n"; };
    const std::string kept = "k1 k1 c2";
    const std::vector<std::string> kept_lines = {
        // Markers: each character, 7 to 140 bytes, a run of three (and of
        // three at the end for "-"), a label with a letter or digit.
        "=== Results ===", "--- body ---", "*** stdout ***", "### Response", "=== abc", "=== abc ==", "   === abc",
        "=== \u00e9 ===", "=== \u0663 ===", "=== " + std::string(132, 'a') + " ===",
        // Curl errors: 1 to 3 digits, each start and each prefix word.
        "curl: (100) Failed to connect to 127.0.0.1 port 9", "curl:(7) Failed to connect",
        "curl: (7 ) Failed to connect", "curl: (6) Could not resolve host: api.internal",
        "curl: (5) Could not resolve proxy: proxy.local", "curl: (7) Couldn't connect to server",
        "curl: (3) Could not parse host name", "curl: (5) Could not parse proxy name",
        "curl: (26) Could not read from file", "curl: (23) Could not write to output",
        "curl: (23) Could not create file out.json", "curl: (23) Could not save file out.json",
        "curl: (37) Couldn't open file /tmp/nope", "curl: (56) Failure when receiving data from the peer",
        "curl: (23) Failed writing body", "curl: (56) Failed receiving HTTP2 data", "curl: (26) Failed reading file",
        "curl: (55) Failed sending data to the peer", "curl: (77) unable to set certificate verify locations",
        "curl: (1) Unsupported protocol: gopher", "curl: (7) Unsupported proxy syntax in 'x'",
        "curl: (1) Unsupported scheme", "curl: (7) Connection refused", "curl: (56) Connection reset by peer",
        "curl: (28) Connection timed out after 5001 milliseconds", "curl: (28) Connection timeout after 5000 ms",
        "curl: (52) Connection closed abruptly", "curl: (7) Connection failed",
        "curl: (28) Operation timed out after 10000 milliseconds with 0 bytes received",
        "curl: (1) Protocol \"htp\" not supported", "curl: (56) Proxy CONNECT aborted",
        "curl: (60) SSL certificate problem: self-signed certificate", "curl: (35) TLS connect error: error:0A000126",
        "curl: (35) OpenSSL SSL_connect: Connection reset by peer", "curl: (56) Recv failure: Connection reset by peer",
        "curl: (55) Send failure: Broken pipe", "curl: (28) Resolving timed out after 5000 milliseconds",
        "curl: (22) The requested URL returned error: 500", "curl: (52) Empty reply from server",
        "curl: (3) URL rejected: Malformed input to a URL function", "curl: (3) URL malformed",
        "curl: (3) URL using bad/illegal format or missing URL", "curl: (2) no URL specified",
        "curl: (7) Failed to connect to meanshost",
        // Exit statuses: each phrase, and what may follow it.
        "Finished with exit code 3", "Command exited with status 2", "command exited with code 2", "Command exited 2",
        "command exit with status 2", "command exit with code 2", "command exit 2", "Process exited with status 1",
        "Process exited with code 101", "process exited 1", "script returned exit code 1", "script returned 1",
        "exit status 1", "Exit code: 137", "exit 1", "exit=139", "exit:2", "exit = 2", "exit -1", "exit 2.", "exit 2)"};
    const std::vector<std::string> plain_lines = {
        // No markers: 6 or 141 bytes, a run of two, "-" with two at the
        // end, a label without a letter or digit, another character.
        "=== ab", "   === ab", "=== " + std::string(133, 'a') + " ===", "== abcd ==", "## Heading", "--- abc --",
        "=== ... ===", "-------", "~~~ abc ~~~",
        // No curl errors: four digits or none, no message, a prefix word
        // run on, prose.
        "curl: (1234) Failed to connect", "curl: () Failed to connect", "curl: (7)", "curl: (35) SSLv3 alert handshake",
        "curl: (7) Failed to connect, which means the server is down",
        "curl: (6) Could not resolve host: this is returned when DNS fails",
        "curl: (6) Could not resolve host: this is returned if DNS fails",
        "curl: (6) Could not resolve host: this is emitted when DNS fails",
        "curl: (6) Could not resolve host: this is emitted if DNS fails",
        // No exit statuses: two signs, nothing after the sign, another
        // character after the phrase or the digits.
        "exit ==2", "exit --1", "exit -", "exit =", "exit-2", "exit 2;", "exit 2x"};
    for (const std::string& line : kept_lines) cases.push_back({"stays: " + line, after_command(line), kept});
    for (const std::string& line : plain_lines) {
        cases.push_back({"plain: " + line, after_command(line), "none"});
        cases.push_back({"plain before an exit status: " + line, before_exit(line), "k1 c2 k1"});
    }

    // A line before a marker line: a command line makes the mix.
    const auto before_marker = [](const std::string& line) { return line + "\n=== deps ===\na\nb\n"; };
    const std::vector<std::string> command_lines = {
        // Either sign; curl and wget with an option or each target form.
        "$ make", "+ make", "curl -s x", "curl http://127.0.0.1:8080/", "curl HTTPS://example.com/",
        "curl localhost/health", "curl localhost:8080/health", "curl 127.0.0.1:9/", "wget -q x",
        "wget http://example.com/",
        // node and python with an option or each script ending, any case.
        "node -e 1", "node app.js", "node server.mjs", "node tool.cjs", "node build.ts", "node page.tsx",
        "node view.jsx", "node APP.JS", "python -m pytest", "python run.py", "python deploy.sh", "python setup.bash",
        "python main.rs",
        // uv, npm and cargo with an option or each subcommand.
        "npm -v", "uv add httpx", "npm dev", "cargo fmt", "uv pip install x", "uv run app", "uv sync", "npm test",
        "cargo test", "cargo build", "cargo check", "npm start", "cargo clippy", "uv remove httpx", "npm update",
        "npm install", "cargo publish"};
    // No command lines: a tool alone or in capitals, a lone "-", a target
    // or script of another kind, another tool, another subcommand.
    const std::vector<std::string> no_command_lines = {
        "curl",     "Curl -s x",        "curl - x",       "curl example.com/x", "curl localhostx/", "wget example.com",
        "node app", "python script.rb", "python3 run.py", "node app.js.bak",    "npm Install",      "cargo tree",
        "uv"};
    for (const std::string& line : command_lines) cases.push_back({"command: " + line, before_marker(line), kept});
    for (const std::string& line : no_command_lines)
        cases.push_back({"no command: " + line, before_marker(line), "none"});

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
    // Lines that begin like commands, markers and statuses but are none:
    // after a command line, none of them may be a marker, body or error;
    // after a marker line, none of them may be a command; after both, they
    // stay one run of output.
    std::string lookalikes;
    for (const char* line :
         {"- x", "+\tx", "--- a/x", "HTTPS", "nodes 3", "exiting", "curly", "==x", "<p>", "$x", "node = f(node)",
          "commit 1a2b", "exit code 1 (timeout)", "Process exited", "----- a/x --"})
        lookalikes.append(line).append("\n");
    EXPECT_EQ(shape("$ make\n" + lookalikes), "none");
    EXPECT_EQ(shape("=== run ===\n" + lookalikes), "none");
    EXPECT_EQ(shape("$ make\n=== run ===\n" + lookalikes), "k1 k1 c15");
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
        {"one command behind $, + and a prompt", "$ make\nbuilding\n+ make\ndev@box:~$ make\n=== done ===\n", false},
        {"one tool by name and behind $", "curl -s http://127.0.0.1/\n$ curl -sS http://127.0.0.1/x\nexit 7\nout\n",
         false},
        {"two tools by name", "npm install\nadded 3\ncargo build\n=== done ===\n", true},
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

// What the whole result must save: at least 80 bytes, and more than 511
// bytes or at least 8 percent of the input; each limit on both sides.
TEST(MixedTranscriptReducer, SavingThresholds) {
    // A transcript of exactly `bytes` bytes (or just its head when that is
    // longer) whose JSON body minifies by exactly `saved` bytes: "[" and
    // every row lose their line end, and an indented row its two blanks.
    auto transcript = [](std::size_t saved, std::size_t bytes) {
        std::string s = "$ curl -s http://127.0.0.1:8080/items\n[\n";
        const std::size_t indented = (saved - 1) / 3, rows = indented + (saved - 1) % 3;
        for (std::size_t k = 0; k < rows; ++k) {
            s.append(k < indented ? "  " : "").push_back(static_cast<char>('0' + k % 10));
            s.append(k + 1 < rows ? ",\n" : "\n");
        }
        s.append("]\nexit code: 0\n");
        // Padding no filter shortens: plain prose lines, 40 bytes each, and
        // one shorter line for the rest.
        for (int k = 0; s.size() + 40 <= bytes; ++k) {
            std::string line = "plain words on output line " + std::to_string(k);
            line.resize(39, '.');
            s.append(line).push_back('\n');
        }
        if (s.size() < bytes) s.append(std::string(bytes - s.size() - 1, '.')).push_back('\n');
        return s;
    };
    struct Row {
        std::string name;
        std::size_t saved, bytes;
        bool compressed;
    };
    const std::vector<Row> rows = {
        {"80 bytes saved", 80, 0, true},
        {"79 bytes saved", 79, 0, false},
        {"82 bytes saved", 82, 0, true},
        {"8 percent of 1,000 bytes", 80, 1000, true},
        {"80 bytes, under 8 percent of 1,001 bytes", 80, 1001, false},
        {"8 percent of 1,250 bytes", 100, 1250, true},
        {"100 bytes, under 8 percent of 1,251 bytes", 100, 1251, false},
        {"121 bytes, under 8 percent of 2,000 bytes", 121, 2000, false},
        {"512 bytes, under 8 percent", 512, 6500, true},
        {"511 bytes, under 8 percent", 511, 6500, false},
        {"601 bytes, well under 8 percent", 601, 20000, true},
    };
    for (const Row& r : rows) {
        const std::string in = transcript(r.saved, r.bytes);
        ASSERT_TRUE(r.bytes == 0 || in.size() == r.bytes) << r.name;
        const std::string out = compress_mixed_transcript_output(in);
        if (!r.compressed) {
            EXPECT_EQ(out, in) << r.name;
            continue;
        }
        // The body on one line, the lines around it as they were, the one
        // final newline kept.
        EXPECT_EQ(in.size() - out.size(), r.saved) << r.name;
        EXPECT_NE(out.find("\n[0,1,2,3,4,5,6,7,8,9,0,"), std::string::npos) << r.name;
        EXPECT_TRUE(out.starts_with("$ curl -s http://127.0.0.1:8080/items\n")) << r.name;
        EXPECT_NE(out.find("]\nexit code: 0\n"), std::string::npos) << r.name;
        EXPECT_TRUE(out.ends_with("\n") && !out.ends_with("\n\n")) << r.name;
    }

    std::string no_newline = transcript(82, 240);
    while (no_newline.ends_with('\n')) no_newline.pop_back();
    const std::string out = compress_mixed_transcript_output(no_newline);
    EXPECT_FALSE(out.ends_with('\n'));
    EXPECT_NE(out.find("\nexit code: 0\n"), std::string::npos);
}

}  // namespace
