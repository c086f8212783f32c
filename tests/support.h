// What the unit tests share: one case record for table-driven tests and
// one reader for the data files kept beside them.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

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

}  // namespace test_support
