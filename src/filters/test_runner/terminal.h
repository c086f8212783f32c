// The terminal clean-up that a test run's text goes through before it is
// read: colour, cursor-movement, erase and hide-cursor sequences,
// character-set selections and control characters other than TAB and LF
// are dropped; a sequence it does not know stays whole, its ESC included.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace filters::test_runner::terminal {

// Whether the clean-up would change `s` at all: it holds a byte below 0x20
// other than TAB and LF, or DEL.
bool needs_cleaning(std::string_view s);

// Appends `s` as the clean-up leaves it to `out`. The clean-up never reads
// across a line feed, so the lines of a text may be cleaned apart, in
// pieces of whole lines, and give the text cleaned whole.
void append_cleaned(std::string_view s, std::string& out);

// The room past the end of the cleaned bytes that `clean_into` may write.
inline constexpr std::size_t kCleanSlack = 16;

// Writes `s` as the clean-up leaves it to `out`, which has room for
// `s.size() + kCleanSlack` bytes; the number of bytes it leaves (at most
// `s.size()`).
std::size_t clean_into(std::string_view s, char* out);

// `s` as the clean-up leaves it.
std::string clean(std::string_view s);

}  // namespace filters::test_runner::terminal
