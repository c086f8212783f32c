// The markers the diff filter writes in place of what it drops, and reads
// back when an earlier pass (the git filter) has written them already.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace filters::diff::summary {

// The count of a "… N context line(s)" marker, or none when the line is no
// such marker (the count must be a strict unsigned number within 64 bits).
std::optional<std::uint64_t> read_context_marker(std::string_view line);
// The same for "… N binary patch payload line(s)".
std::optional<std::uint64_t> read_payload_marker(std::string_view line);

void append_context_marker(std::string& out, std::uint64_t count);
void append_payload_marker(std::string& out, std::uint64_t count);
// "… {kind} hunk omitted: +{added} -{removed} context={context}".
void append_hunk_marker(std::string& out, std::string_view kind, std::uint64_t added, std::uint64_t removed,
                        std::uint64_t context);

// Whether the file name of `path` is one of the lockfiles whose large hunks
// are machine-written and are not worth reading.
bool is_lockfile_path(std::string_view path);

// a + b, held at the largest value instead of wrapping: counts read back
// from markers may be as large as the text says.
inline std::uint64_t add_saturating(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

}  // namespace filters::diff::summary
