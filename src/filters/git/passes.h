// What every pass of the git filter shares: the line split and the line
// walk over a text, and the assembly of a pass's output from the units it
// replaces.
#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace filters::git {

// The text as a pass sees it: every piece between "\n"s, with one final
// newline set aside. The empty text and "\n" both have no lines.
struct GitLines {
    std::vector<std::string_view> lines;
    bool final_newline = false;
};

GitLines split_git_lines(std::string_view text);

// The passes mostly walk the lines in place instead: the body is the text
// without its one final newline, and its lines are the pieces between
// "\n"s, each found from the offset where it starts. The body of "\n" is
// one empty line where split_git_lines gives none; an empty line starts no
// unit of any pass, so the passes agree.
inline std::string_view git_body(std::string_view text) {
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    return text;
}

// Offset of the "\n" that ends the line starting at `pos`, or body.size().
inline std::size_t line_end(std::string_view body, std::size_t pos) {
    const void* hit = std::memchr(body.data() + pos, '\n', body.size() - pos);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - body.data()) : body.size();
}

// Offset where the line holding byte `pos` starts, looking back no further
// than `floor` (a line start at or before it).
inline std::size_t line_start(std::string_view body, std::size_t pos, std::size_t floor) {
    while (pos > floor && body[pos - 1] != '\n') --pos;
    return pos;
}

// The next line at or after offset `floor` (a line start) that holds
// `marker`, as [begin, end); false when no line does. Stat and name-status
// lines always hold a "|" or a tab, so their passes jump from one to the
// next and look at the lines in between not at all.
inline bool find_line_holding(std::string_view body, char marker, std::size_t floor, std::size_t& begin,
                              std::size_t& end) {
    const std::size_t hit = body.find(marker, floor);
    if (hit == std::string_view::npos) return false;
    begin = line_start(body, hit, floor);
    end = line_end(body, hit);
    return true;
}

// Extends a unit that ends at offset `end` over the directly following
// lines for which `take(line)` holds; the unit's new end.
template <class Take>
std::size_t extend_over_lines(std::string_view body, std::size_t end, Take&& take) {
    while (end < body.size()) {
        const std::size_t next_end = line_end(body, end + 1);
        if (!take(body.substr(end + 1, next_end - end - 1))) break;
        end = next_end;
    }
    return end;
}

// A unit's candidate rendering under construction: its lines joined with
// "\n" in one buffer. Its budget is the size of the lines it would replace:
// a rendering past it can never be chosen, so the builder stops early
// instead of growing it.
class Rendering {
public:
    // The buffer is reserved for the whole budget at once: pages it never
    // writes cost nothing, and a rendering of a million lines is not copied
    // from one doubling to the next.
    explicit Rendering(std::size_t budget_bytes) : budget_(budget_bytes) { text_.reserve(budget_bytes + 1); }

    void add(std::string_view line);
    void add(const std::vector<std::string>& lines);
    // Adds each line of `block` (lines joined with "\n") behind `indent`.
    void add_indented(std::string_view block, std::string_view indent);

    // Lets `write(text, room, newline_first)` append lines to the text
    // itself, each after a "\n" (the first one too when `newline_first`),
    // within `room` bytes; gives what `write` gives.
    template <class Write>
    bool add_lines(Write&& write) {
        const std::size_t before = text_.size();
        const bool written = write(text_, room(), lines_ > 0);
        if (text_.size() > before) ++lines_;
        return written;
    }

    bool over_budget() const { return text_.size() > budget_; }
    // Bytes left before the budget is reached.
    std::size_t room() const { return text_.size() >= budget_ ? 0 : budget_ - text_.size(); }
    const std::string& text() const { return text_; }
    std::string take() && { return std::move(text_); }

private:
    void start_line() {
        if (lines_++ > 0) text_.push_back('\n');
    }

    std::string text_;
    std::size_t budget_;
    std::size_t lines_ = 0;
};

// A pass's output: the text, with some units (section, run, block) replaced
// by their rendering where that is smaller than the unit's own lines. A unit
// is a byte range [begin, end) of the body that starts at a line start and
// ends at a line end. Nothing is built until the first unit is replaced, so
// a pass that changes nothing costs no copy of the text.
class PassOutput {
public:
    explicit PassOutput(std::string_view text) : text_(text) {}

    // Offers a candidate, its lines joined with "\n", for the unit [begin,
    // end); it is placed when smaller by the size rule. Units come in order.
    void place_unit(std::size_t begin, std::size_t end, std::string_view candidate);
    void place_unit(std::size_t begin, std::size_t end, const std::vector<std::string>& candidate);
    // The same, taking the candidate over: a unit that starts the text
    // becomes the start of the output without a copy.
    void place_unit(std::size_t begin, std::size_t end, std::string&& candidate);

    // The text with the placed units, or nothing when no unit was replaced
    // (the pass would give its input back).
    std::optional<std::string> finish() &&;

private:
    std::string_view text_;
    std::size_t written_ = 0;  // text before this offset is in out_
    std::string out_;
    bool changed_ = false;
};

}  // namespace filters::git
