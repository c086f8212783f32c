#include "filters/filter.h"

#include <charconv>

namespace filters {

void append_omission_marker(std::string& out, std::uint64_t count, std::string_view noun, std::string_view rest) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, count);
    out.append(kEllipsis).push_back(' ');
    out.append(digits, written.ptr);
    if (!noun.empty()) out.append(" ").append(noun).append(text::plural(count));
    out.append(rest);
}

std::string omission_marker(std::uint64_t count, std::string_view noun, std::string_view rest) {
    std::string out;
    append_omission_marker(out, count, noun, rest);
    return out;
}

SummaryWriter SummaryWriter::within(std::string_view input) {
    SummaryWriter writer;
    writer.limit_ = input.size();
    // One byte more for the final line end of a summary as long as the input.
    writer.out_.reserve(input.size() + 1);
    return writer;
}

bool SummaryWriter::fits(std::size_t bytes) {
    if (exceeded_) return false;
    if (limit_ == std::string::npos) return true;
    const std::size_t room = limit_ - out_.size();
    if (bytes + (lines_ > 0 ? 1 : 0) <= room) return true;
    exceeded_ = true;
    return false;
}

void SummaryWriter::add(std::string_view line) {
    if (!fits(line.size())) return;
    if (lines_ > 0) out_.push_back('\n');
    last_start_ = out_.size();
    out_.append(line);
    ++lines_;
}

void SummaryWriter::add_unless_blank_or_repeat(std::string_view line) {
    if (line.empty() || (lines_ > 0 && line == last_line())) return;
    add(line);
}

void SummaryWriter::add_omission(std::uint64_t count, std::string_view noun, std::string_view rest) {
    if (limit_ != std::string::npos) {
        // A bounded writer measures the marker before it is written.
        add(omission_marker(count, noun, rest));
        return;
    }
    if (lines_ > 0) out_.push_back('\n');
    last_start_ = out_.size();
    append_omission_marker(out_, count, noun, rest);
    ++lines_;
}

std::string_view SummaryWriter::last_line() const {
    return lines_ == 0 ? std::string_view() : std::string_view(out_).substr(last_start_);
}

std::string SummaryWriter::take(bool final_newline) {
    if (final_newline) out_.push_back('\n');
    lines_ = 0;
    last_start_ = 0;
    return std::move(out_);
}

Attempt SummaryWriter::take_if_smaller(std::string_view input, bool final_newline) {
    if (exceeded_) return std::nullopt;
    std::string summary = take(final_newline);
    if (!text::is_smaller_output(summary, input)) return std::nullopt;
    return summary;
}

}  // namespace filters
