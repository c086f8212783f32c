// The first look at a text, before its lines are found: whether some
// runner's rule, or the Go test-event reader, may hold in it at all.
#pragma once

#include <string_view>

namespace filters::test_runner::first_look {

// False only when no runner's rule, nor the Go event reader, can hold in
// `text` as the terminal clean-up leaves it: the text lacks every line or
// phrase that one of them needs. The text is read as it is, a piece of
// whole lines at a time, and only a piece that holds a byte to clean is
// cleaned, for the look alone.
bool may_hold_test_run(std::string_view text);

}  // namespace filters::test_runner::first_look
