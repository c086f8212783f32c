// Recognises a level-based application log and decides which of its line
// patterns repeat often enough to be folded.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "filters/generic_log/types.h"

namespace filters::generic_log::detector {

// The log's parsed lines and repeated patterns, or nothing when the text is
// not such a log or belongs to another filter. `lines` is the text split at
// "\n"; the result holds one entry per line. A text of 2^32 - 1 lines or
// more is refused.
std::optional<types::GenericLog> detect_generic_log(const std::vector<std::string_view>& lines);

// A test on the whole text, before it is split, that every log the detector
// accepts passes: enough nonblank lines, and enough of them with a level.
// It stops as soon as too many lines without a level are seen, so most
// other output is refused after a part of it is read.
bool may_be_generic_log(std::string_view text);

// True when at least two lines, and at least 45 % of them, begin with a path
// and a line number ("src/lib.rs:10:5: ...").
bool looks_like_path_location_output(const std::vector<std::string_view>& lines);

// True when some line carries a compiler or package-manager word and no line
// carries a log level. `lines` are the trimmed nonblank lines; the words are
// matched without regard to ASCII case.
bool looks_like_build_or_package_output(const std::vector<std::string_view>& lines);

}  // namespace filters::generic_log::detector
