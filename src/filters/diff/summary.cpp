#include "filters/diff/summary.h"

#include <charconv>

#include "filters/filter.h"
#include "text.h"

namespace filters::diff::summary {
namespace {

constexpr std::string_view kMarkerStart = "\xE2\x80\xA6 ";  // "… "
constexpr std::string_view kContextNoun = "context line";
constexpr std::string_view kPayloadNoun = "binary patch payload line";

// The count of "… COUNT TAIL" where TAIL is `noun` or `noun` + "s"; the
// tail need not agree with the count.
std::optional<std::uint64_t> read_marker(std::string_view line, std::string_view noun) {
    if (!line.starts_with(kMarkerStart)) return std::nullopt;
    const std::string_view rest = line.substr(kMarkerStart.size());
    const std::size_t blank = rest.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    std::string_view tail = rest.substr(blank + 1);
    if (tail.ends_with('s')) tail.remove_suffix(1);
    if (tail != noun) return std::nullopt;
    return text::parse_unsigned(rest.substr(0, blank));
}

void append_number(std::string& out, std::uint64_t n) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

}  // namespace

std::optional<std::uint64_t> read_context_marker(std::string_view line) { return read_marker(line, kContextNoun); }
std::optional<std::uint64_t> read_payload_marker(std::string_view line) { return read_marker(line, kPayloadNoun); }

void append_context_marker(std::string& out, std::uint64_t count) {
    append_omission_marker(out, count, kContextNoun, "");
}

void append_payload_marker(std::string& out, std::uint64_t count) {
    append_omission_marker(out, count, kPayloadNoun, "");
}

void append_hunk_marker(std::string& out, std::string_view kind, std::uint64_t added, std::uint64_t removed,
                        std::uint64_t context) {
    out.append(kMarkerStart).append(kind).append(" hunk omitted: +");
    append_number(out, added);
    out.append(" -");
    append_number(out, removed);
    out.append(" context=");
    append_number(out, context);
}

bool is_lockfile_path(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return text::equals_any(
        name, {"go.sum", "uv.lock", "yarn.lock", "Cargo.lock", "poetry.lock", "Gemfile.lock", "Pipfile.lock",
               "composer.lock", "pnpm-lock.yaml", "package-lock.json", "npm-shrinkwrap.json"});
}

}  // namespace filters::diff::summary
