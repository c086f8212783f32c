#include "filters/guards.h"

#include "text.h"

namespace filters::guards {

bool is_path_location_line(std::string_view line) {
    const std::size_t first = line.find(':');
    if (first == std::string_view::npos) return false;
    const std::size_t second = line.find(':', first + 1);
    if (second == std::string_view::npos) return false;
    const std::size_t third = line.find(':', second + 1);
    const std::string_view path = line.substr(0, first);
    const std::string_view field2 = line.substr(first + 1, second - first - 1);
    const std::string_view field3 =
        line.substr(second + 1, third == std::string_view::npos ? std::string_view::npos : third - second - 1);
    return (text::is_ascii_digits(field2) || text::is_ascii_digits(field3)) &&
           path.find_first_of("/.") != std::string_view::npos;
}

bool is_path_location_share(std::uint64_t locations, std::uint64_t lines) {
    return locations >= 2 && locations * 100 >= lines * 45;
}

bool looks_like_path_location_output(const std::vector<std::string_view>& lines) {
    std::uint64_t locations = 0;
    for (std::string_view line : lines)
        if (is_path_location_line(line)) ++locations;
    return is_path_location_share(locations, lines.size());
}

bool is_table_rule_line(std::string_view trimmed) {
    if (trimmed.empty()) return false;
    for (char c : trimmed)
        if (c != '+' && c != '|' && c != '-') return false;
    return true;
}

bool is_table_share(std::uint64_t pipe_lines, bool has_rule_line, std::uint64_t lines) {
    return pipe_lines >= 3 && (has_rule_line || pipe_lines * 100 >= lines * 55);
}

bool looks_like_table(const std::vector<std::string_view>& lines) {
    std::uint64_t pipes = 0;
    bool rule = false;
    for (std::string_view line : lines) {
        if (line.find('|') != std::string_view::npos) ++pipes;
        rule = rule || is_table_rule_line(text::trim(line));
    }
    return is_table_share(pipes, rule, lines.size());
}

std::optional<std::pair<std::string_view, std::string_view>> split_key_value(std::string_view core) {
    constexpr std::size_t kMaxKeyBytes = 40;
    const std::size_t eq = core.find('=');
    if (eq == std::string_view::npos || eq == 0 || eq > kMaxKeyBytes || eq + 1 == core.size()) return std::nullopt;
    const std::string_view key = core.substr(0, eq);
    if (!text::is_ascii_alpha(key[0]) && key[0] != '_') return std::nullopt;
    for (char c : key)
        if (!is_key_char(c)) return std::nullopt;
    return std::pair{key, core.substr(eq + 1)};
}

}  // namespace filters::guards
