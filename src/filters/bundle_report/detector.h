// Recognises the asset-size report of a vite or rollup production build.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace filters::bundle_report::detector {

struct AssetRow {
    std::string path;       // as written, trimmed
    std::string extension;  // lowercased, 1 to 16 characters
    std::string size;       // "{number} {unit}" as written
    std::string gzip;       // same form
    double size_bytes = 0;
    double gzip_bytes = 0;
};

struct BundleReport {
    std::vector<AssetRow> rows;  // at least 12
    bool has_diagnostics = false;
};

// Whether some line, once normalised, may hold the gzip stage phrase that
// every report has. A line without colour codes or carriage returns reads
// the same normalised, so one search over the whole text answers for all of
// those; only lines holding ESC or "\r" are normalised one by one. Runs on
// every pipeline pass, so it stays a plain scan for texts that are no report.
bool may_hold_gzip_stage(std::string_view text);

// The line without "\r", without ESC "[" ... sequences, trailing whitespace trimmed.
std::string normalize_line(std::string_view line);

// The last whitespace-separated token of the trimmed text and its offset.
std::optional<std::pair<std::size_t, std::string_view>> last_token(std::string_view s);

// `value` times the factor of a b/kb/mb/kib/mib unit (any case).
std::optional<double> metric_bytes(std::string_view unit, double value);

// The line as normalize_line gives it: a view of the line itself when it
// holds no ESC and no "\r", else of `buffer`, which receives the copy.
std::string_view normalized_view(std::string_view line, std::string& buffer);

std::optional<AssetRow> parse_asset_row(std::string_view line);
// The same for a line already normalised and trimmed.
std::optional<AssetRow> parse_normalized_row(std::string_view t);

std::optional<BundleReport> detect_bundle_report(const std::vector<std::string_view>& lines);

}  // namespace filters::bundle_report::detector
