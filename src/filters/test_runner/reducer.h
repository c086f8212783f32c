#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace filters::test_runner::reducer {

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
std::optional<std::string> try_compress_test_runner_output(std::string_view text);

// The filter: the shortened text, or a copy of the input.
std::string compress_test_runner_output(std::string_view text);

// The text without colour, cursor-movement, erase and hide-cursor sequences,
// character-set selections and control characters other than TAB and LF.
// Sequences it does not know stay whole, their ESC included.
std::string clean_terminal_text(std::string_view text);

}  // namespace filters::test_runner::reducer
