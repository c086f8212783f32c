// Recognises file listings: plain path lists, general listings with echoed
// commands, counts and errors around the paths, tree drawings and ls
// output in per-directory sections.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "filters/tree.h"
#include "text.h"

namespace filters::listing::detector {

// One listing row: the path, the suffix printed after its leaf ("/" for a
// directory, " [N lines]" for a count row) and no details. It is a row of
// the tree renderer as it stands.
using ListingEntry = tree::TreeRow;

struct ParsedListing {
    std::vector<ListingEntry> entries;        // never empty
    std::vector<std::string> summary_lines;   // "N directories, M files" of tree output
    std::vector<std::string> leading_lines;   // kept lines before the first entry
    std::vector<std::string> trailing_lines;  // kept lines after it
};

// The listing the lines form, or none.
std::optional<ParsedListing> parse_listing_lines(const text::LineIndex& lines);

// The listing the lines form when they are not a plain path list, or none.
std::optional<ParsedListing> parse_annotated_listing(const text::LineIndex& lines);

// A path and its suffix: a trailing run of "/" and "\" becomes the suffix
// "/" ("" otherwise); a single character stays whole. The views point into
// `path` or at a constant.
std::pair<std::string_view, std::string_view> directory_suffix_split(std::string_view path);
// The same as strings.
std::pair<std::string, std::string> split_directory_suffix(std::string_view path);

// The entries without later repeats of the same path and suffix.
std::vector<ListingEntry> dedupe_entries(std::vector<ListingEntry> entries);

// Line tests.
bool is_file_count(std::string_view t);
bool is_directory_count(std::string_view t);
bool is_tree_summary_line(std::string_view t);
bool count_unit_line(std::string_view t);
bool looks_like_path(std::string_view t);
bool has_file_extension(std::string_view t);
bool looks_like_windows_drive_path(std::string_view t);
bool is_rg_style_line(std::string_view t);
bool is_permission_row(std::string_view t);
bool is_safe_path_line(std::string_view t);
bool is_command_like_arg(std::string_view token);

// The plain form: at least four lines, every one a path (is_safe_path_line).
// Line i is then entry i, split by `directory_suffix_split`, so a caller may
// read the entries from the lines instead of keeping a list of them; and
// `visit(i, line)` sees each line as soon as it is known to be a path, so
// that a caller can do its own work on it in the same pass.
inline constexpr std::size_t kMinPathListLines = 4;
template <class Visit>
bool read_path_list(const text::LineIndex& lines, Visit&& visit) {
    if (lines.size() < kMinPathListLines) return false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (!is_safe_path_line(line)) return false;
        visit(i, line);
    }
    return true;
}
bool is_path_list(const text::LineIndex& lines);

}  // namespace filters::listing::detector
