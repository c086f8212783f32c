// The statistical summary of a successful bundler report: the progress
// lines, asset counts by extension and directory, size ranges and the
// largest assets as a path tree.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/bundle_report/detector.h"

namespace filters::bundle_report::summary {

// The summary lines of a recognised report, headline first.
std::vector<std::string> summarize_bundle_report(const std::vector<std::string_view>& lines,
                                                 const detector::BundleReport& report);

// "key=count" items, most frequent first, then by key; at most `limit`
// items and "+N more" for the rest, joined with ", ".
std::string format_counts(const std::map<std::string, std::uint64_t>& counts, std::size_t limit);

// The path up to and including its last "/"; none without "/".
std::optional<std::string_view> directory(std::string_view path);

// The longest run of leading directory components that every row with a
// directory shares, followed by "/"; none when there is no such run.
std::optional<std::string> common_directory(const std::vector<const detector::AssetRow*>& rows);

}  // namespace filters::bundle_report::summary
