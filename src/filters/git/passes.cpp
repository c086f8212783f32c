#include "filters/git/passes.h"

#include <algorithm>

#include "text.h"

namespace filters::git {

GitLines split_git_lines(std::string_view text) {
    GitLines out;
    if (text.empty()) return out;
    if (text == "\n") {
        out.final_newline = true;
        return out;
    }
    if (text.back() == '\n') {
        out.final_newline = true;
        text.remove_suffix(1);
    }
    out.lines = text::split_on_newline(text);
    return out;
}

void Rendering::add(std::string_view line) {
    start_line();
    text_.append(line);
}

void Rendering::add(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) add(line);
}

void Rendering::add_indented(std::string_view block, std::string_view indent) {
    if (block.empty()) return;
    std::size_t pos = 0;
    while (pos <= block.size() && !over_budget()) {
        const std::size_t end = std::min(block.find('\n', pos), block.size());
        start_line();
        text_.append(indent).append(block.substr(pos, end - pos));
        pos = end + 1;
    }
}

void PassOutput::place_unit(std::size_t begin, std::size_t end, std::string_view candidate) {
    if (!text::is_smaller_output(candidate, text_.substr(begin, end - begin))) return;
    if (!changed_) {
        changed_ = true;
        out_.reserve(text_.size());
    }
    out_.append(text_.substr(written_, begin - written_));
    out_.append(candidate);
    written_ = end;
}

void PassOutput::place_unit(std::size_t begin, std::size_t end, std::string&& candidate) {
    if (changed_ || begin != 0) {
        place_unit(begin, end, std::string_view(candidate));
        return;
    }
    if (!text::is_smaller_output(candidate, text_.substr(begin, end - begin))) return;
    changed_ = true;
    out_ = std::move(candidate);
    written_ = end;
}

void PassOutput::place_unit(std::size_t begin, std::size_t end, const std::vector<std::string>& candidate) {
    place_unit(begin, end, text::join(candidate, "\n"));
}

std::optional<std::string> PassOutput::finish() && {
    if (!changed_) return std::nullopt;
    out_.append(text_.substr(written_));
    return std::move(out_);
}

}  // namespace filters::git
