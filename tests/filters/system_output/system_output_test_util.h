// Helpers for the system-output tests: texts built from lists of lines.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "text.h"

namespace system_output_test {

using Texts = std::vector<std::string>;

// The lines joined with "\n", with a final newline as the tools print it.
inline std::string joined(const Texts& lines) { return text::join_lines(lines, true); }

inline Texts concat(std::initializer_list<Texts> parts) {
    Texts out;
    for (const Texts& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Texts repeat(const std::string& line, int n) { return Texts(static_cast<std::size_t>(n), line); }

}  // namespace system_output_test
