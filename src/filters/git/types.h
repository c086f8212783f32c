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

// Bytes of lines [begin, end) joined with "\n" (0 for no lines).
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

// A pass's output: the pass's lines, with some units (section, run, block)
// replaced by their rendering where that is smaller than the unit's own
// lines. Nothing is built until the first unit is replaced, so a pass that
// changes nothing costs no copy of the text.
class PassOutput {
public:
    explicit PassOutput(const GitLines& lines) : lines_(lines) {}

    // Offers `candidate` for the lines [begin, end); units come in order.
    void place_unit(std::size_t begin, std::size_t end, std::vector<std::string>&& candidate);

    // The lines joined with the final newline restored, or nothing when no
    // unit was replaced (the pass would give its input back).
    std::optional<std::string> finish() &&;

private:
    void copy_through(std::size_t end);

    const GitLines& lines_;
    std::size_t written_ = 0;  // lines before this one are in text_
    std::string text_;
    bool changed_ = false;
};

}  // namespace filters::git
