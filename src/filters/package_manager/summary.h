// The line classes of a package-manager log: package changes, progress
// chatter, and the important lines (errors and warnings, final summaries,
// hints, URLs and paths) that the summary keeps.
#pragma once

#include <string_view>

namespace filters::package_manager::summary {

// "+ requests==2.31.0", "├─ chalk@4.1.2", "Using rake 13.0.6", ...
bool is_package_change_line(std::string_view line);
// Download, resolve and build chatter, and drawn progress bars.
bool is_progress_line(std::string_view line);
// A line that the summary keeps.
bool is_important_line(std::string_view line);

bool is_error_warning_line(std::string_view line);
bool is_final_summary_line(std::string_view line);
bool is_hint_line(std::string_view line);

}  // namespace filters::package_manager::summary
