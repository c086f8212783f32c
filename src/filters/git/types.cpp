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

void PassOutput::copy_line(std::string_view line) {
    text_.append(line);
    text_.push_back('\n');
    ++line_count_;
}

void PassOutput::copy_lines(const std::vector<std::string_view>& lines, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) copy_line(lines[i]);
}

void PassOutput::place_unit(const std::vector<std::string_view>& lines, std::size_t begin, std::size_t end,
                            std::vector<std::string>&& candidate) {
    std::vector<std::string> current(lines.begin() + static_cast<std::ptrdiff_t>(begin),
                                     lines.begin() + static_cast<std::ptrdiff_t>(end));
    std::vector<std::string> chosen = text::choose_smaller_lines(current, std::move(candidate));
    if (chosen != current) changed_ = true;
    for (const std::string& line : chosen) copy_line(line);
}

std::optional<std::string> PassOutput::finish(bool final_newline) && {
    if (!changed_) return std::nullopt;
    if (line_count_ > 0) text_.pop_back();
    if (final_newline) text_.push_back('\n');
    return std::move(text_);
}

}  // namespace filters::git
