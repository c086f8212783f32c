#include "filters/git/git.h"

#include "filters/filters.h"
#include "filters/git/diff_sections.h"
#include "filters/git/long_status.h"
#include "filters/git/name_status.h"
#include "filters/git/short_status.h"
#include "filters/git/stat.h"
#include "text.h"

namespace filters::git {
namespace {

using Pass = std::optional<std::string> (*)(std::string_view);

// Each pass works on what the one before left, in this order.
constexpr Pass kPasses[] = {
    &compress_git_diff_sections, &compress_git_stat_runs,    &compress_git_name_status_runs,
    &compress_git_long_status,   &compress_git_short_status,
};

}  // namespace

std::optional<std::string> try_compress_git_output(std::string_view text) {
    std::optional<std::string> current;
    for (Pass pass : kPasses) {
        std::string_view view = current ? std::string_view(*current) : text;
        std::optional<std::string> result = pass(view);
        if (result && text::is_smaller_output(*result, view)) current = std::move(result);
    }
    return current;
}

std::string compress_git_output(std::string_view text) { return or_input(try_compress_git_output(text), text); }

}  // namespace filters::git
