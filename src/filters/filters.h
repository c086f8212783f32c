// The filter table and the pipeline that runs it.
#pragma once

#include <array>
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
};

inline constexpr std::size_t kFilterCount = 20;

// The twenty entries, in the order in which they run.
const std::array<FilterEntry, kFilterCount>& filter_table();

// Runs every entry not named in `excluded` over the text, keeping a
// candidate only when it is smaller (and, for an entry that leaves
// transcripts, only when the text is no transcript of several commands);
// ends early after "bundle-report" when the text is a bundle report with
// diagnostics. Re-entrant, holds no state.
std::string apply_filter_pipeline_excluding(std::string&& text, const std::vector<std::string_view>& excluded);

}  // namespace filters
