// The filter table and the pipeline that runs it.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "filters/filter.h"

namespace filters {

struct FilterEntry {
    std::string_view name;
    AttemptFn filter;
    bool stop_after;
    // The filter summarises one tool's run: a transcript of several
    // commands is not its to take, and its candidate is set aside there.
    bool leaves_transcripts = false;
    // What the family's detector cannot accept a text without: each group
    // must have a sign in the current text, or the family is not asked.
    std::span<const SignGroup> signs = {};
    // The same for the stop test after the entry.
    std::span<const SignGroup> stop_signs = {};
};

inline constexpr std::size_t kFilterCount = 20;

// The twenty entries, in the order in which they run.
const std::array<FilterEntry, kFilterCount>& filter_table();

// Every sign of the table, each once: what the first look looks for.
const SignSet& table_signs();

// Runs every entry not named in `excluded` over the text, keeping a
// candidate only when it is smaller (and, for an entry that leaves
// transcripts, only when the text is no transcript of several commands);
// ends early after "bundle-report" when the text is a bundle report with
// diagnostics. An entry whose signs are absent from the current text is
// passed over as if it had declined, unless `skipping` is off; the output
// is the same either way. Re-entrant, holds no state.
std::string apply_filter_pipeline_excluding(std::string&& text, const std::vector<std::string_view>& excluded,
                                            Skipping skipping = Skipping::on);

}  // namespace filters
