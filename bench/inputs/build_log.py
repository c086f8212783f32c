#!/usr/bin/env python3
"""Writes a ~50 MB C++ build log: a CMake/Make build over many files whose
headers repeat the same warnings thousands of times, with progress lines,
source excerpts, notes, a few errors and the driver's failure lines.

Usage: python3 bench/inputs/build_log.py OUT_PATH
"""
import random
import sys

TARGET_BYTES = 50 * 1024 * 1024

WARNINGS = [
    ("unused variable \u2018{v}\u2019 [-Wunused-variable]", "    int {v} = compute_{f}();", "        ^~~~"),
    ("comparison of integer expressions of different signedness: \u2018int\u2019 and \u2018size_t\u2019 "
     "{{aka \u2018long unsigned int\u2019}} [-Wsign-compare]", "    for (int i = 0; i < {v}.size(); ++i) {{",
     "                      ~~^~~~~~~~~~~"),
    ("unused parameter \u2018{v}\u2019 [-Wunused-parameter]", "void Handler::on_{f}(const Event& {v}) {{",
     "                              ~~~~~~~~~~~~~^~~"),
    ("\u2018{v}\u2019 may be used uninitialized [-Wmaybe-uninitialized]", "    return {v} + offset;",
     "           ^~~"),
    ("implicit conversion from \u2018double\u2019 to \u2018float\u2019 changes value [-Wfloat-conversion]",
     "    float {v} = ratio * 0.5;", "                ~~~~~~^~~~~"),
]
VARS = ["count", "total", "idx", "buffer", "result", "tmp", "status", "item", "ctx", "n"]
FUNCS = ["load", "save", "parse", "render", "update", "flush", "connect", "resize"]


def main() -> None:
    out_path = sys.argv[1]
    rng = random.Random(20240508)
    modules = [f"module_{m:02d}" for m in range(40)]
    files = [(mod, f"file_{k:03d}") for mod in modules for k in range(60)]
    written = 0
    step = 0
    total_steps = len(files)
    with open(out_path, "w", encoding="utf-8") as out:
        def emit(line: str) -> None:
            nonlocal written
            out.write(line)
            out.write("\n")
            written += len(line.encode("utf-8")) + 1

        emit("-- The CXX compiler identification is GNU 12.2.0")
        emit("-- Configuring done")
        emit("-- Generating done")
        emit("-- Build files have been written to: /home/ci/project/build")
        while written < TARGET_BYTES:
            mod, name = files[step % total_steps]
            step += 1
            pct = min(99, step * 100 // (total_steps * 4))
            emit(f"[{pct:3d}%] Building CXX object src/{mod}/CMakeFiles/{mod}.dir/{name}.cpp.o")
            if rng.random() < 0.35:
                continue
            # The same header warnings reach every file that includes it.
            header = f"/home/ci/project/include/{mod}/common.hpp"
            emit(f"In file included from /home/ci/project/src/{mod}/{name}.cpp:{rng.randint(1, 12)}:")
            emit(f"{header}: In member function \u2018void {mod.title()}::Cache::reset()\u2019:")
            for _ in range(rng.randint(1, 4)):
                kind = rng.randrange(len(WARNINGS))
                msg, src, caret = WARNINGS[kind]
                v, f = rng.choice(VARS), rng.choice(FUNCS)
                line_no = 40 + kind * 7
                emit(f"{header}:{line_no}:{9 + kind}: warning: " + msg.format(v=v, f=f))
                emit(f" {line_no:4d} | " + src.format(v=v, f=f))
                emit("      | " + caret)
            if rng.random() < 0.5:
                path = f"/home/ci/project/src/{mod}/{name}.cpp"
                line_no = rng.randint(10, 900)
                v, f = rng.choice(VARS), rng.choice(FUNCS)
                emit(f"{path}: In function \u2018int {f}_{v}(int)\u2019:")
                emit(f"{path}:{line_no}:5: warning: " + WARNINGS[0][0].format(v=v, f=f))
                emit(f" {line_no:4d} | " + WARNINGS[0][1].format(v=v, f=f))
                emit("      | " + WARNINGS[0][2])
                if rng.random() < 0.2:
                    emit(f"{path}:{line_no - 3}:1: note: declared here")
            if rng.random() < 0.02:
                emit(f"[{pct:3d}%] Linking CXX static library lib{mod}.a")
                emit(f"[{pct:3d}%] Built target {mod}")
        emit("/home/ci/project/src/module_07/file_013.cpp:212:18: error: \u2018class Cache\u2019 has no member named \u2018flushAll\u2019")
        emit("  212 |     cache_->flushAll();")
        emit("      |             ^~~~~~~~")
        emit("gmake[2]: *** [src/module_07/CMakeFiles/module_07.dir/build.make:244: src/module_07/CMakeFiles/module_07.dir/file_013.cpp.o] Error 1")
        emit("gmake[1]: *** [CMakeFiles/Makefile2:1187: src/module_07/CMakeFiles/module_07.dir/all] Error 2")
        emit("gmake: *** [Makefile:146: all] Error 2")


if __name__ == "__main__":
    main()
