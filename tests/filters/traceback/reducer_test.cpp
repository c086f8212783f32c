#include "filters/traceback/reducer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../../support.h"
#include "text.h"

namespace {

using filters::traceback::reducer::compress_traceback_output;
using filters::traceback::reducer::try_compress_traceback_output;
using test_support::Case;

const std::string kHead = "Traceback (most recent call last):\n";
const std::string kLib = "/usr/lib/python3.11/site-packages/lib/core.py";

std::string frame(const std::string& path, int line, const std::string& context = "    call()\n") {
    return "  File \"" + path + "\", line " + std::to_string(line) + ", in f\n" + context;
}

std::string frame_line(const std::string& path, int line) {
    return "File \"" + path + "\", line " + std::to_string(line) + ", in f\n";
}

// `n` library frames numbered from `from`.
std::string library_frames(int from, int n) {
    std::string out;
    for (int i = from; i < from + n; ++i) out += frame(kLib, i);
    return out;
}

// Ten groups with `path` fifth, and what prints when its frame is the
// project's (kept where it stands) or the library's (folded with its
// neighbours).
std::string middle_frame_stack(const std::string& path) {
    return kHead + library_frames(1, 4) + frame(path, 40) + library_frames(5, 5) + "OSError: x\n";
}
std::string middle_frame_kept(const std::string& path) {
    return "python traceback: OSError\n" + kHead + frame_line(kLib, 1) + frame_line(kLib, 2) +
           "… 2 stack frames omitted\n" + frame_line(path, 40) + "… 2 stack frames omitted\n" + frame_line(kLib, 7) +
           frame_line(kLib, 8) + frame_line(kLib, 9) + "call()\nOSError: x\n";
}
const std::string kMiddleFrameFolded = "python traceback: OSError\n" + kHead + frame_line(kLib, 1) +
                                       frame_line(kLib, 2) + "… 5 stack frames omitted\n" + frame_line(kLib, 7) +
                                       frame_line(kLib, 8) + frame_line(kLib, 9) + "call()\nOSError: x\n";

TEST(TracebackReducer, FrameSelection) {
    // Each library path below matches one library rule and no other.
    const std::string library_paths[] = {
        "C:\\Python311\\Lib\\site-packages\\requests\\api.py",
        "/opt/app/dist-packages/yaml/__init__.py",
        "/opt/conda/lib/python2.7/json/decoder.py",
        "/usr/lib64/python2.7/json/decoder.py",
        "/opt/python3.12/json/decoder.py",
        "C:\\Python311\\Lib\\importlib\\__init__.py",
        "/usr/lib/cgi-bin/report.py",
        "/usr/local/lib/ansible/modules/copy.py",
        "/opt/hostedtoolcache/tools/run.py",
    };
    std::vector<Case> cases = {
        {"nine library groups keep the first two and last three",
         kHead + library_frames(1, 2) + frame(kLib, 3) + frame(kLib, 3) + library_frames(4, 6) + "OSError: x\n",
         "python traceback: OSError\n" + kHead + frame_line(kLib, 1) + frame_line(kLib, 2) +
             "… 5 stack frames omitted\n" + frame_line(kLib, 7) + frame_line(kLib, 8) + frame_line(kLib, 9) +
             "call()\nOSError: x\n"},
        {"a project frame in a long stack is kept where it stands",
         kHead + library_frames(1, 4) + frame("/home/dev/app/jobs.py", 40) + library_frames(5, 5) + "OSError: x\n",
         "python traceback: OSError\n" + kHead + frame_line(kLib, 1) + frame_line(kLib, 2) +
             "… 2 stack frames omitted\n" + frame_line("/home/dev/app/jobs.py", 40) + "… 2 stack frames omitted\n" +
             frame_line(kLib, 7) + frame_line(kLib, 8) + frame_line(kLib, 9) + "call()\nOSError: x\n"},
        {"eight groups are printed whole, carets shown where they point",
         kHead + library_frames(1, 3) + frame(kLib, 4, "    a = b()\n        ^^^\n") + library_frames(5, 4) +
             "OSError: x\n",
         "python traceback: OSError\n" + kHead + frame_line(kLib, 1) + frame_line(kLib, 2) + frame_line(kLib, 3) +
             frame_line(kLib, 4) + "a = b()\n    ^^^\n" + frame_line(kLib, 5) + frame_line(kLib, 6) +
             frame_line(kLib, 7) + frame_line(kLib, 8) + "call()\nOSError: x\n"},
        {"frozen modules are the interpreter's; any other absolute path is the project's",
         kHead + library_frames(1, 2) + frame("<frozen importlib._bootstrap>", 3) + frame("/app/jobs/nightly.py", 4) +
             frame("<frozen runpy>", 5) + frame("/tmp/proj/reports/build.py", 6) + library_frames(7, 3) +
             "OSError: x\n",
         "python traceback: OSError\n" + kHead + frame_line(kLib, 1) + frame_line(kLib, 2) +
             "… 1 stack frame omitted\n" + frame_line("/app/jobs/nightly.py", 4) + "… 1 stack frame omitted\n" +
             frame_line("/tmp/proj/reports/build.py", 6) + frame_line(kLib, 7) + frame_line(kLib, 8) +
             frame_line(kLib, 9) + "call()\nOSError: x\n"},
        {"identical frames fold, a repeat note starts its own group",
         kHead + frame("a.py", 2) + frame("a.py", 6) + frame("a.py", 6) + frame("a.py", 6) + frame("a.py", 6) +
             frame("a.py", 6) + frame("a.py", 6, "    call()\n  [Previous line repeated 990 more times]\n") +
             "RecursionError: maximum recursion depth exceeded\n",
         "python traceback: RecursionError\n" + kHead + frame_line("a.py", 2) + frame_line("a.py", 6) +
             "… 4 repeated stack frames omitted\n" + frame_line("a.py", 6) +
             "call()\n[Previous line repeated 990 more times]\n"
             "RecursionError: maximum recursion depth exceeded\n"},
        {"two identical frames fold into one and a single repeat",
         kHead + frame("a.py", 2) + frame(kLib, 6, "    return walk(node.children, depth + 1)\n") +
             frame(kLib, 6, "    return walk(node.children, depth + 1)\n") + "RecursionError: x\n",
         "python traceback: RecursionError\n" + kHead + frame_line("a.py", 2) + frame_line(kLib, 6) +
             "… 1 repeated stack frame omitted\nreturn walk(node.children, depth + 1)\nRecursionError: x\n"},
        {"code typed at the prompt is the user's", middle_frame_stack("<stdin>"), middle_frame_kept("<stdin>")},
        // Blank lines inside the block make the input the larger.
        {"a summary of four lines is enough", kHead + std::string(40, '\n') + frame("a.py", 1, "") + "ValueError: x\n",
         "python traceback: ValueError\n" + kHead + frame_line("a.py", 1) + "ValueError: x\n"},
    };
    for (const std::string& path : library_paths)
        cases.push_back({"library code: " + path, middle_frame_stack(path), kMiddleFrameFolded});
    for (const Case& c : cases) EXPECT_EQ(compress_traceback_output(c.in), c.want) << c.name;
}

TEST(TracebackReducer, NoiseAndChains) {
    const std::string block = kHead + library_frames(1, 9) + "KeyError: 'id'\n";
    const std::string printed = kHead + frame_line(kLib, 1) + frame_line(kLib, 2) + "… 4 stack frames omitted\n" +
                                frame_line(kLib, 7) + frame_line(kLib, 8) + frame_line(kLib, 9) + "call()\n";
    const std::string cause = "The above exception was the direct cause of the following exception:\n";
    std::vector<Case> cases = {
        {"three lines of output are copied trimmed", "  starting\nstep 1\nstep 2\n" + block,
         "python traceback: KeyError\nstarting\nstep 1\nstep 2\n" + printed + "KeyError: 'id'\n"},
        {"four or more keep their first and last", "starting\n\nstep 1\nstep 2\nstep 3\n" + block + "a\nb\nc\nd\ne\n",
         "python traceback: KeyError\nstarting\n… 2 pre-traceback lines omitted\nstep 3\n" + printed +
             "KeyError: 'id'\na\n… 3 post-traceback lines omitted\ne\n"},
        {"the headline names the last exception; the chain sentence stays",
         "cleanup\n" + cause + block + cause + kHead + frame("app/run.py", 3) + "app.Failed: run\n" + cause,
         // The sentences before the first and after the last traceback chain
         // nothing: they are printed as the text around the tracebacks.
         "python traceback: app.Failed\ncleanup\n" + cause + printed + "KeyError: 'id'\n" +
             "The above exception was the direct cause of the following exception:\n" + kHead +
             frame_line("app/run.py", 3) + "call()\napp.Failed: run\n" +
             "The above exception was the direct cause of the following exception:\n"},
        {"no final newline in, none out", block.substr(0, block.size() - 1),
         "python traceback: KeyError\n" + printed + "KeyError: 'id'"},
    };
    // A chain sentence is not part of the output before it: four lines there
    // fold to their first and last, and the sentence follows.
    for (const std::string chain : {"During handling of the above exception, another exception occurred:",
                                    "The above exception was the direct cause of the following exception:",
                                    "The above exception was the context of the following exception:"})
        cases.push_back({chain, block + "a\nb\nc\nd\n" + chain + "\n" + block,
                         "python traceback: KeyError\n" + printed +
                             "KeyError: 'id'\na\n… 2 pre-traceback lines omitted\nd\n" + chain + "\n" + printed +
                             "KeyError: 'id'\n"});
    for (const Case& c : cases) EXPECT_EQ(compress_traceback_output(c.in), c.want) << c.name;
}

// Real runs of a project under /tmp started with "python3 -m": every frame
// in the project's files survives a long stack, the interpreter's frozen
// modules fold with the library's frames unless they stand first.
TEST(TracebackReducer, KeepsProjectFramesOfRealRuns) {
    struct Row {
        const char* file;
        const char* line;
        bool kept;
    };
    const Row rows[] = {
        {"runpy_project_frames", "File \"/tmp/proj/reports/cli.py\", line 7, in export", true},
        {"runpy_project_frames", "File \"/tmp/proj/reports/export.py\", line 13, in write_json", true},
        {"runpy_project_frames", "File \"<frozen runpy>\", line 198, in _run_module_as_main", true},
        {"runpy_job_frozen_frames", "File \"/tmp/proj/reports/jobs/nightly.py\", line 6, in main", true},
        {"runpy_job_frozen_frames", "File \"<frozen runpy>\", line 229, in run_module", false},
        {"runpy_job_frozen_frames",
         "File \"/root/.pyenv/versions/3.11.7/lib/python3.11/json/encoder.py\", line 326, in _iterencode_list", false},
    };
    for (const Row& r : rows) {
        const std::string in = test_support::read_test_file(std::string("cases/traceback/") + r.file + ".in");
        ASSERT_FALSE(in.empty()) << r.file;
        const std::string out = compress_traceback_output(in);
        ASSERT_NE(out, in) << r.file;
        const auto printed = text::split_lines(out).lines;
        EXPECT_EQ(std::find(printed.begin(), printed.end(), r.line) != printed.end(), r.kept)
            << r.file << ": " << r.line;
    }
}

TEST(TracebackReducer, ReturnsInputWhenDeclinedOrNotSmaller) {
    for (std::string in : {std::string(""), std::string("\n"), kHead + frame("a.py", 1) + "ValueError: x\n",
                           kHead + frame("a.py", 1, "") + "E: x\n"}) {
        const text::LineIndex index(in);
        EXPECT_FALSE(try_compress_traceback_output({in, index})) << in;
        EXPECT_EQ(compress_traceback_output(in), in);
    }
}

}  // namespace
