// Records shared by the passes of the git filter, and the line split and
// output assembly that every pass uses.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace filters::git {

// One status entry of the long or short status form.
struct GitStatusEntry {
    std::string code;  // short form: the two status characters trimmed; long form: the kind word or "path"
    std::string path;  // the rest of the line as the pass takes it
};

// The text as a pass sees it: every piece between "\n"s, with one final
// newline set aside. The empty text and "\n" both have no lines.
struct GitLines {
    std::vector<std::string_view> lines;
    bool final_newline = false;
};

GitLines split_git_lines(std::string_view text);

// Bytes of lines [begin, end) joined with "\n"; begin < end.
std::size_t joined_size(const std::vector<std::string_view>& lines, std::size_t begin, std::size_t end);

// A unit's candidate rendering under construction. Its budget is the size
// of the lines it would replace: a rendering past it can never be chosen,
// so the builder stops early instead of growing it.
struct Rendering {
    explicit Rendering(std::size_t budget_bytes) : budget(budget_bytes) {}

    void add(std::string line);
    void add(std::vector<std::string>&& more);
    bool over_budget() const { return bytes > budget; }
    // Bytes left before the budget is reached.
    std::size_t room() const { return bytes >= budget ? 0 : budget - bytes; }

    std::vector<std::string> lines;
    std::size_t budget;
    std::size_t bytes = 0;  // of the lines joined with "\n"
};

// Collects a pass's output lines. Untouched lines are copied through; a
// unit (section, run, block) is replaced by its rendering only when that is
// smaller than the unit's own lines.
class PassOutput {
public:
    explicit PassOutput(std::size_t reserve) { text_.reserve(reserve); }

    void copy_line(std::string_view line);
    void copy_lines(const std::vector<std::string_view>& lines, std::size_t begin, std::size_t end);
    // Places the smaller of the unit's lines [begin, end) and `candidate`.
    void place_unit(const std::vector<std::string_view>& lines, std::size_t begin, std::size_t end,
                    std::vector<std::string>&& candidate);

    // The joined text with the final newline restored, or nothing when no
    // unit was replaced (the pass would give its input back).
    std::optional<std::string> finish(bool final_newline) &&;

private:
    std::string text_;
    std::size_t line_count_ = 0;
    bool changed_ = false;
};

}  // namespace filters::git
