// The line classes of a package-manager log: package changes, progress
// chatter, and the important lines (errors and warnings, final summaries,
// hints, URLs and paths) that the summary keeps.
#pragma once

#include <string_view>

namespace filters::package_manager::summary {

// What the reducer does with a line: a package change joins the run of
// changes, an important line (errors and warnings, final summaries, hints,
// URLs and paths) is kept, progress is counted away, and other lines are
// kept only in a failed log.
enum class LineClass { blank, package_change, important, progress, other };
LineClass classify_line(std::string_view line);

// A line that reports an error or a warning.
bool is_error_warning_line(std::string_view line);

}  // namespace filters::package_manager::summary
