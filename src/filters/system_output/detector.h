// Recognisers of the eight utility reports: each reads the whole list of
// lines and gives back the parsed report, or nothing when a single line
// does not fit the shape.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "filters/system_output/types.h"

namespace filters::system_output::detector {

using types::Lines;

// One KEY=VALUE line after another, as env prints them.
std::optional<types::EnvOutput> parse_env_output(const Lines& lines);
// A df table: a "Filesystem ... Use% Mounted" header and one row per mount.
std::optional<types::DfOutput> parse_df_output(const Lines& lines);
// A du listing: a size with an optional unit, then a path, on every line.
std::optional<types::DuOutput> parse_du_output(const Lines& lines);
// A ps table with a PID column, a command column and %CPU or %MEM.
std::optional<types::PsOutput> parse_ps_output(const Lines& lines);
// A wc listing of several files and a total line.
std::optional<types::WcOutput> parse_wc_output(const Lines& lines);
// A ping transcript: the "PING " line, replies, statistics or trouble.
std::optional<types::PingOutput> parse_ping_output(const Lines& lines);
// The status page of a service unit: unit line, Loaded:, Active:, journal.
std::optional<types::SystemctlStatusOutput> parse_systemctl_status_output(const Lines& lines);
// The "File:" blocks of stat, at least three of them.
std::optional<std::vector<types::StatBlock>> parse_stat_blocks(const Lines& lines);

// "total", ".", "..", a text starting with "~" or one holding "/".
bool looks_like_path(std::string_view text);

}  // namespace filters::system_output::detector
