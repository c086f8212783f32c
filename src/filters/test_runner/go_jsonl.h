// Reader of the JSON test-event stream of `go test -json`: one object per
// line, reduced to the failed and skipped tests, the package results and the
// output lines that explain them.
#pragma once

#include <optional>

#include "filters/filter.h"
#include "text.h"

namespace filters::test_runner::go_jsonl {

// The report, headline first, blank lines and adjacent repeats dropped; or
// nothing when the lines are not a Go test-event stream. The lines are read
// up to the first one that is no event, so another kind of text costs one
// line.
std::optional<SummaryWriter> reduce_go_jsonl_lines(const text::LineIndex& lines);

// Whether a trimmed line can be an event at all: an object that names its
// action. Other JSON Lines records, and any other text, never reach the
// parser; the first line that is not blank decides whether a text can be a
// stream.
bool may_be_event(std::string_view trimmed);

}  // namespace filters::test_runner::go_jsonl
