#include "filters/bundle_report/detector.h"

#include <cstring>

#include "text.h"

namespace filters::bundle_report::detector {
namespace {

// Every report has a line holding this phrase.
constexpr std::string_view kGzipStage = "computing gzip size";

bool is_extension_char(char c) { return text::is_ascii_alnum(c) || c == '-' || c == '_'; }

// A size number as written, read with the commas between digit groups
// left out: vite prints sizes of 1000 kB and more as "1,191.42". A comma
// that does not stand between two digits of the whole part makes the text
// no number.
std::optional<double> parse_size_number(std::string_view number) {
    if (number.find(',') == std::string_view::npos) return text::parse_decimal(number, true);
    std::string digits;
    digits.reserve(number.size());
    bool whole_part = true;
    for (std::size_t i = 0; i < number.size(); ++i) {
        const char c = number[i];
        if (c != ',') {
            whole_part = whole_part && c != '.' && c != 'e' && c != 'E';
            digits.push_back(c);
            continue;
        }
        if (!whole_part || i == 0 || i + 1 == number.size() || !text::is_ascii_digit(number[i - 1]) ||
            !text::is_ascii_digit(number[i + 1]))
            return std::nullopt;
    }
    return text::parse_decimal(digits, true);
}

bool is_tool_line(std::string_view lower) {
    if (text::contains(lower, "vite") &&
        (text::contains(lower, "vite build") || lower.starts_with("$ vite ") || text::contains(lower, " building ") ||
         lower.starts_with("vite v")))
        return true;
    return text::contains(lower, "rollup") &&
           (text::contains(lower, "rollup -c") || text::contains(lower, "rollup build") ||
            text::contains(lower, " building ") || text::contains(lower, "bundle") || lower.starts_with("rollup v"));
}

bool has_diagnostic_word(std::string_view lower) {
    static constexpr std::string_view words[] = {"error",   "errors", "failed",   "failure",
                                                 "fatal",   "warning", "warnings", "warn"};
    std::size_t i = 0;
    while (i < lower.size()) {
        if (!text::is_ascii_alnum(lower[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < lower.size() && text::is_ascii_alnum(lower[j])) ++j;
        std::string_view word = lower.substr(i, j - i);
        for (auto w : words)
            if (word == w) return true;
        i = j;
    }
    return false;
}

bool is_diagnostic_line(std::string_view lower) {
    return (text::contains(lower, "chunk") && text::contains(lower, "larger than")) ||
           text::contains(lower, "(!)") || has_diagnostic_word(lower);
}

}  // namespace

bool may_hold_gzip_stage(std::string_view text) {
    if (text::contains_ignore_case(text, kGzipStage)) return true;
    for (char mark : {'\x1b', '\r'}) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            const void* hit = std::memchr(text.data() + pos, mark, text.size() - pos);
            if (!hit) break;
            const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
            const std::size_t before = text.rfind('\n', at);
            const std::size_t start = before == std::string_view::npos ? 0 : before + 1;
            std::size_t end = text.find('\n', at);
            if (end == std::string_view::npos) end = text.size();
            if (text::contains_ignore_case(normalize_line(text.substr(start, end - start)), kGzipStage)) return true;
            pos = end;
        }
    }
    return false;
}

std::string normalize_line(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (char c : line)
        if (c != '\r') out.push_back(c);
    out = text::strip_ansi(out);
    out.resize(text::trim_end(out).size());
    return out;
}

std::optional<std::pair<std::size_t, std::string_view>> last_token(std::string_view s) {
    s = text::trim_end(s);
    if (s.empty()) return std::nullopt;
    // Walk back to the character after the last whitespace character.
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t len;
        char32_t c = text::decode_at(s, i, len);
        i += len;
        if (text::is_whitespace(c)) start = i;
    }
    return std::pair{start, s.substr(start)};
}

std::optional<double> metric_bytes(std::string_view unit, double value) {
    std::string u = text::to_lower(unit);
    if (u == "b") return value;
    if (u == "kb") return value * 1000;
    if (u == "mb") return value * 1000000;
    if (u == "kib") return value * 1024;
    if (u == "mib") return value * 1048576;
    return std::nullopt;
}

std::optional<AssetRow> parse_asset_row(std::string_view line) {
    std::string normal = normalize_line(line);
    std::string_view t = text::trim(normal);
    std::size_t at = text::find_ignore_case(t, "gzip:");
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view left = t.substr(0, at);
    std::string_view right = text::trim_start(t.substr(at + 5));

    // Strip trailing whitespace and column bars ("|" or "│").
    while (true) {
        std::string_view before = left;
        left = text::trim_end(left);
        if (!left.empty() && left.back() == '|') left.remove_suffix(1);
        if (left.ends_with("\u2502")) left.remove_suffix(3);
        if (left.size() == before.size()) break;
    }

    auto unit_tok = last_token(left);
    if (!unit_tok) return std::nullopt;
    auto number_tok = last_token(left.substr(0, unit_tok->first));
    if (!number_tok) return std::nullopt;
    std::string_view path = text::trim_end(left.substr(0, number_tok->first));
    if (path.empty()) return std::nullopt;

    auto number = parse_size_number(number_tok->second);
    if (!number) return std::nullopt;
    auto size_bytes = metric_bytes(unit_tok->second, *number);
    if (!size_bytes) return std::nullopt;

    auto gz_tokens = text::split_whitespace(right);
    if (gz_tokens.size() < 2) return std::nullopt;
    auto gz_number = parse_size_number(gz_tokens[0]);
    if (!gz_number) return std::nullopt;
    auto gzip_bytes = metric_bytes(gz_tokens[1], *gz_number);
    if (!gzip_bytes) return std::nullopt;

    std::string_view name = path;
    if (auto slash = name.rfind('/'); slash != std::string_view::npos) name = name.substr(slash + 1);
    if (auto back = name.rfind('\\'); back != std::string_view::npos) name = name.substr(back + 1);
    auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return std::nullopt;
    std::string_view ext = name.substr(dot + 1);
    if (ext.empty() || ext.size() > 16) return std::nullopt;
    for (char c : ext)
        if (!is_extension_char(c)) return std::nullopt;

    AssetRow row;
    row.path = std::string(path);
    row.extension = text::to_lower(ext);
    row.size = text::format("{} {}", number_tok->second, unit_tok->second);
    row.gzip = text::format("{} {}", gz_tokens[0], gz_tokens[1]);
    row.size_bytes = *size_bytes;
    row.gzip_bytes = *gzip_bytes;
    return row;
}

std::optional<BundleReport> detect_bundle_report(const std::vector<std::string_view>& lines) {
    if (lines.empty()) return std::nullopt;
    BundleReport report;
    std::vector<bool> is_row(lines.size(), false);
    bool tool = false, gzip_stage = false, transform_stage = false, diagnostics = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto row = parse_asset_row(lines[i])) {
            report.rows.push_back(std::move(*row));
            is_row[i] = true;
        }
        std::string normal = normalize_line(lines[i]);
        const std::string lower = text::to_lower(text::trim(normal));
        tool = tool || is_tool_line(lower);
        gzip_stage = gzip_stage || text::contains(lower, kGzipStage);
        transform_stage = transform_stage || text::contains(lower, "transforming") ||
                          text::contains(lower, "modules transformed") || text::contains(lower, "rendering chunks");
        if (!is_row[i]) diagnostics = diagnostics || is_diagnostic_line(lower);
    }
    if (report.rows.size() < 12 || !tool || !gzip_stage || !transform_stage) return std::nullopt;
    report.has_diagnostics = diagnostics;
    return report;
}

}  // namespace filters::bundle_report::detector
