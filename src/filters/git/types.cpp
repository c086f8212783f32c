#include "filters/git/types.h"

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

std::size_t joined_size(const std::vector<std::string_view>& lines, std::size_t begin, std::size_t end) {
    if (begin >= end) return 0;
    std::size_t bytes = end - begin - 1;
    for (std::size_t i = begin; i < end; ++i) bytes += lines[i].size();
    return bytes;
}

void Rendering::add(std::string line) {
    bytes += line.size() + (lines.empty() ? 0 : 1);
    lines.push_back(std::move(line));
}

void Rendering::add(std::vector<std::string>&& more) {
    for (std::string& line : more) add(std::move(line));
}

void PassOutput::place_unit(std::size_t begin, std::size_t end, std::vector<std::string>&& candidate) {
    const std::vector<std::string_view>& lines = lines_.lines;
    std::vector<std::string> current(lines.begin() + static_cast<std::ptrdiff_t>(begin),
                                     lines.begin() + static_cast<std::ptrdiff_t>(end));
    std::vector<std::string> chosen = text::choose_smaller_lines(current, std::move(candidate));
    if (chosen == current) return;
    if (!changed_) {
        changed_ = true;
        text_.reserve(joined_size(lines, 0, lines.size()) + 1);
    }
    copy_through(begin);
    for (const std::string& line : chosen) {
        text_.append(line);
        text_.push_back('\n');
    }
    written_ = end;
}

std::optional<std::string> PassOutput::finish() && {
    if (!changed_) return std::nullopt;
    copy_through(lines_.lines.size());
    if (!text_.empty()) text_.pop_back();
    if (lines_.final_newline) text_.push_back('\n');
    return std::move(text_);
}

void PassOutput::copy_through(std::size_t end) {
    for (; written_ < end; ++written_) {
        text_.append(lines_.lines[written_]);
        text_.push_back('\n');
    }
}

}  // namespace filters::git
