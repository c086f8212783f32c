// What the unit tests share: one case record for table-driven tests and
// one reader for the data files kept beside them.
#pragma once

#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "text.h"

namespace test_support {

// One row of a table-driven test: an input, the expected output, and a
// name that says which behaviour the row pins.
struct Case {
    std::string name;
    std::string in;
    std::string want;
};

// The bytes of a file under tests/, by its path relative to that folder
// ("filters/git/data/x.txt"); empty when the file cannot be read.
inline std::string read_test_file(std::string_view relative) {
    std::ifstream in(std::string(QUORVANE_TEST_DATA) + "/" + std::string(relative), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Texts built from lists of lines, for tests whose inputs are row tables.
using Texts = std::vector<std::string>;

// The lines joined with "\n", with a final newline as the tools print it.
inline std::string joined(const Texts& lines) { return text::join_lines(lines, true); }

inline Texts concat(std::initializer_list<Texts> parts) {
    Texts out;
    for (const Texts& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Texts repeat(const std::string& line, int n) { return Texts(static_cast<std::size_t>(n), line); }

}  // namespace test_support
