// What the system-output summaries share: hiding secrets, and printing the
// kept rows of a report with omission markers where rows were left out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "filters/filter.h"

namespace filters::system_output::summary {

// A variable, option or parameter name that names a secret ("GITHUB_TOKEN",
// "ssh-key", "db_password", "KEY").
bool is_sensitive_key(std::string_view key);

// A value of 64 bytes or more that holds "://" or looks like an encoded
// token (at least 95 % token characters and no whitespace).
bool is_opaque_value(std::string_view value);

// The line with secret values shown as "[redacted]", its words then joined
// with single spaces; the line exactly as given when nothing was hidden.
std::string redact_sensitive_text(std::string_view line);

// The line that the environment summary prints for one variable: PATH
// shortened, secrets and opaque values redacted.
std::string format_env_var(std::string_view key, std::string_view value);

// The first two and last two positions of `n` rows, each once, ascending.
std::vector<std::size_t> edge_indices(std::size_t n);

// How a kept row is printed.
enum class RowTransform { identity, redact };

// Appends the selected rows (in row order, each once) and, for every run of
// rows left out, a marker "… N {command} {noun}s omitted".
void render_selected_rows(SummaryWriter& out, const std::vector<std::string_view>& rows,
                          const std::vector<std::size_t>& selection, std::string_view command, std::string_view noun,
                          RowTransform transform);

}  // namespace filters::system_output::summary
