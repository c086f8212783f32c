#include "filters/system_output/detector.h"

#include <array>
#include <cstdint>
#include <string>

#include "text.h"

namespace filters::system_output::detector {

using namespace types;

namespace {

// -------------------------------------------------------------- env --

constexpr std::size_t kEnvMinLines = 12;
// Any one of these keys marks a listing as the environment.
constexpr std::array<std::string_view, 9> kEnvRecognitionKeys = {"PWD",  "HOME",  "PATH",    "USER",       "TERM",
                                                                 "LANG", "SHELL", "LOGNAME", "VIRTUAL_ENV"};

bool is_env_key(std::string_view key) {
    if (key.empty() || !(text::is_ascii_alpha(key[0]) || key[0] == '_')) return false;
    for (char c : key)
        if (!(text::is_ascii_alnum(c) || c == '_')) return false;
    return true;
}

bool has_lower_ascii(std::string_view s) {
    for (char c : s)
        if (c >= 'a' && c <= 'z') return true;
    return false;
}

// ---------------------------------------------------------- df / du --

constexpr std::size_t kDfMinLines = 9;
constexpr std::size_t kDuMinLines = 12;

// The factor of a du unit (upper-cased), or nothing for an unknown unit.
std::optional<double> du_unit_factor(std::string_view unit) {
    const std::string upper = text::to_upper(unit);
    if (upper.empty() || upper == "B") return 1.0;
    constexpr std::array<char, 5> kPrefixes = {'K', 'M', 'G', 'T', 'P'};
    double factor = 1.0;
    for (char p : kPrefixes) {
        factor *= 1024.0;
        if (upper[0] != p) continue;
        const std::string_view rest = std::string_view(upper).substr(1);
        if (rest.empty() || rest == "B" || rest == "I" || rest == "IB") return factor;
        return std::nullopt;
    }
    return std::nullopt;
}

// One du line as a row, or nothing when the line is not one.
struct DuLine {
    DuRow row;
    bool unit_less = false;
};

std::optional<DuLine> parse_du_line(std::string_view line) {
    const auto split = text::split_once_whitespace(line);
    if (!split || split->first.empty()) return std::nullopt;
    const std::string_view size_token = split->first;
    const std::string_view path = text::trim(split->second);
    if (path.empty()) return std::nullopt;
    std::string number;
    std::string unit;
    std::size_t points = 0;
    for (char c : size_token) {
        if (text::is_ascii_digit(c) || c == '.') {
            number.push_back(c);
            if (c == '.') ++points;
        } else {
            unit.push_back(c);
        }
    }
    if (number.empty() || points > 1) return std::nullopt;
    const auto factor = du_unit_factor(unit);
    if (!factor) return std::nullopt;
    const auto value = text::parse_decimal(number);
    if (!value) return std::nullopt;
    DuLine out;
    out.row = DuRow{line, path, *value * *factor, path == "total"};
    out.unit_less = text::is_ascii_digits(size_token);
    return out;
}

// The last "/"-separated component of a path.
std::string_view last_component(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// ---------------------------------------------------------- ps / wc --

constexpr std::size_t kPsMinLines = 11;
constexpr std::size_t kWcMinLines = 9;
constexpr std::size_t kWcMinFiles = 8;

// Splits a ps row into at most `k` fields: k - 1 single words, then the
// rest of the line, inner spaces kept. Fewer than k fields: nothing.
bool split_ps_fields(std::string_view line, std::size_t k, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t i = 0;
    auto skip_space = [&] {
        while (i < line.size()) {
            const std::size_t w = text::whitespace_length_at(line, i);
            if (w == 0) break;
            i += w;
        }
    };
    skip_space();
    while (fields.size() + 1 < k && i < line.size()) {
        const std::size_t start = i;
        while (i < line.size() && text::whitespace_length_at(line, i) == 0)
            i += text::utf8_len(static_cast<unsigned char>(line[i]));
        fields.push_back(line.substr(start, i - start));
        skip_space();
    }
    if (i < line.size()) fields.push_back(line.substr(i));
    return fields.size() == k;
}

std::string join_words(const std::vector<std::string_view>& words, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < words.size(); ++i) {
        if (i > from) out.push_back(' ');
        out.append(words[i]);
    }
    return out;
}

// ---------------------------------------------------- ping / systemctl --

constexpr std::size_t kPingManyLines = 11;  // more lines than this, or
constexpr std::size_t kPingMinReplies = 8;  // at least this many replies
constexpr std::array<std::string_view, 7> kPingEventWords = {
    "timeout", "unreachable", "unknown host", "name or service", "temporary failure", "packet loss", "error"};

constexpr std::size_t kSystemctlMinLines = 10;
constexpr std::array<std::string_view, 9> kSystemctlAlertWords = {"failed",   "failure", "error",   "warning", "warn",
                                                                  "critical", "denied",  "refused", "timeout"};

template <std::size_t N>
bool contains_any_ignore_case(std::string_view s, const std::array<std::string_view, N>& words) {
    for (std::string_view w : words)
        if (text::contains_ignore_case(s, w)) return true;
    return false;
}

// ------------------------------------------------------------- stat --

constexpr std::size_t kStatMinLines = 15;
constexpr std::size_t kStatMinBlocks = 3;

// The text after the first occurrence of the label, trimmed.
std::string_view value_after_label(std::string_view s, std::string_view label) {
    const std::size_t at = s.find(label);
    if (at == std::string_view::npos) return {};
    return text::trim(s.substr(at + label.size()));
}

// The text inside the first parentheses from the label on (from the start
// when the label does not occur), trimmed.
std::string_view paren_after(std::string_view s, std::string_view label) {
    std::size_t from = s.find(label);
    if (from == std::string_view::npos) from = 0;
    const std::size_t open = s.find('(', from);
    if (open == std::string_view::npos) return {};
    const std::size_t close = s.find(')', open + 1);
    if (close == std::string_view::npos) return {};
    return text::trim(s.substr(open + 1, close - open - 1));
}

// "  501/   alice" as "501/alice".
std::string compact_owner(std::string_view s) {
    std::string out;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = s.find('/', start);
        const std::string_view piece =
            s.substr(start, slash == std::string_view::npos ? s.size() - start : slash - start);
        out.append(text::trim(piece));
        if (slash == std::string_view::npos) break;
        out.push_back('/');
        start = slash + 1;
    }
    return out;
}

constexpr std::string_view kStatFileLabel = "File:";

// Fills `block` from its lines after the "File:" line; false when the block
// holds nothing but that line.
bool read_stat_block(const Lines& lines, std::size_t first, std::size_t end, StatBlock& block) {
    if (end - first < 2) return false;
    block.file = std::string(value_after_label(lines[first], kStatFileLabel));
    for (std::size_t i = first + 1; i < end; ++i) {
        const std::string_view t = text::trim(lines[i]);
        if (t.size() < 5) continue;
        if (t.starts_with("Size:")) {
            const std::size_t blocks = t.find("Blocks:", 5);
            block.size = std::string(blocks == std::string_view::npos ? value_after_label(t, "Size:")
                                                                      : text::trim(t.substr(5, blocks - 5)));
        } else if (t.size() >= 9 && t.starts_with("Access: (") && text::contains(t, "Uid:") &&
                   text::contains(t, "Gid:")) {
            block.mode = compact_owner(paren_after(t, "Access:"));
            block.owner = compact_owner(paren_after(t, "Uid:"));
            block.group = compact_owner(paren_after(t, "Gid:"));
        } else if (t.size() >= 7 && t.starts_with("Modify:")) {
            block.modify = std::string(value_after_label(t, "Modify:"));
        }
    }
    return true;
}

bool is_complete(const StatBlock& b) {
    return !b.file.empty() && !b.size.empty() && !b.mode.empty() && !b.owner.empty() && !b.group.empty() &&
           !b.modify.empty();
}

}  // namespace

// ------------------------------------------------------------------ env --

std::optional<EnvOutput> parse_env_output(const Lines& lines) {
    if (lines.size() < kEnvMinLines) return std::nullopt;
    EnvOutput out;
    std::size_t upper_keys = 0;
    bool has_recognition_key = false;
    for (std::string_view line : lines) {
        if (line.empty() || line.starts_with("export ") || line.starts_with("declare ")) return std::nullopt;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        const std::string_view key = line.substr(0, eq);
        if (!is_env_key(key)) return std::nullopt;
        if (out.vars.empty()) out.vars.reserve(lines.size());
        out.vars.push_back(EnvVar{key, line.substr(eq + 1)});
        if (!has_lower_ascii(key)) ++upper_keys;
        if (!has_recognition_key)
            for (std::string_view k : kEnvRecognitionKeys) has_recognition_key = has_recognition_key || key == k;
    }
    if (!has_recognition_key && upper_keys * 2 < out.vars.size()) return std::nullopt;
    return out;
}

// ------------------------------------------------------------------- df --

std::optional<DfOutput> parse_df_output(const Lines& lines) {
    if (lines.size() < kDfMinLines) return std::nullopt;
    const std::string_view header = lines[0];
    // Cheap sign before any tokenising: the header's first word.
    if (!text::trim_start(header).starts_with("Filesystem")) return std::nullopt;
    const std::vector<std::string_view> head = text::split_whitespace(header);
    if (head.empty() || head[0] != "Filesystem") return std::nullopt;
    std::optional<std::size_t> use_column;
    bool mounted = false;
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (!use_column && head[i].ends_with("Use%")) use_column = i;
        mounted = mounted || head[i] == "Mounted";
    }
    if (!use_column || !mounted) return std::nullopt;

    DfOutput out;
    out.header = header;
    out.rows.reserve(lines.size() - 1);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::vector<std::string_view> tokens = text::split_whitespace(line);
        if (tokens.size() <= *use_column + 1) return std::nullopt;  // blank lines included
        const std::string_view use = tokens[*use_column];
        if (!use.ends_with('%')) return std::nullopt;
        const auto percent = text::parse_unsigned(use.substr(0, use.size() - 1));
        if (!percent) return std::nullopt;
        out.rows.push_back(DfRow{line, join_words(tokens, *use_column + 1), *percent});
    }
    return out;
}

// ------------------------------------------------------------------- du --

bool looks_like_path(std::string_view s) {
    return s == "total" || s == "." || s == ".." || s.starts_with('~') || text::contains(s, "/");
}

std::optional<DuOutput> parse_du_output(const Lines& lines) {
    if (lines.size() < kDuMinLines) return std::nullopt;
    DuOutput out;
    std::size_t path_like = 0;
    std::size_t unit_less = 0;
    std::size_t dotted = 0;
    std::size_t totals = 0;
    for (std::string_view line : lines) {
        auto parsed = parse_du_line(line);  // a blank line is never a row
        if (!parsed) return std::nullopt;
        const DuRow& row = parsed->row;
        if (row.is_total || looks_like_path(row.path)) ++path_like;
        if (parsed->unit_less) ++unit_less;
        if (row.is_total) ++totals;
        if (!row.is_total && text::contains(last_component(row.path), ".")) ++dotted;
        if (out.rows.empty()) out.rows.reserve(lines.size());
        out.rows.push_back(row);
    }
    const std::size_t rows = out.rows.size();
    if (path_like * 2 < rows) return std::nullopt;
    // Plain counts before file names are wc's shape, not du's.
    const std::size_t files = rows - totals;
    if (unit_less == rows && files > 0 && dotted * 2 >= files) return std::nullopt;
    return out;
}

// ------------------------------------------------------------------- ps --

std::optional<PsOutput> parse_ps_output(const Lines& lines) {
    if (lines.size() < kPsMinLines) return std::nullopt;
    const std::string_view header = lines[0];
    if (!text::contains(header, "PID")) return std::nullopt;  // cheap sign first
    const std::vector<std::string_view> head = text::split_whitespace(header);
    std::optional<std::size_t> pid_column, command_column, cpu_column, mem_column;
    for (std::size_t i = 0; i < head.size(); ++i) {
        const std::string_view t = head[i];
        if (!pid_column && t == "PID") pid_column = i;
        if (!command_column && (t == "CMD" || t == "ARGS" || t == "COMMAND")) command_column = i;
        if (!cpu_column && t == "%CPU") cpu_column = i;
        if (!mem_column && t == "%MEM") mem_column = i;
    }
    if (!pid_column || !command_column || (!cpu_column && !mem_column)) return std::nullopt;

    const std::size_t k = head.size();
    PsOutput out;
    out.header = header;
    out.rows.reserve(lines.size() - 1);
    std::vector<std::string_view> fields;
    fields.reserve(k);
    auto number_at = [&](std::optional<std::size_t> column) -> std::optional<double> {
        return column ? text::parse_decimal(fields[*column]) : std::nullopt;
    };
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (text::trim(line).empty() || !split_ps_fields(line, k, fields)) return std::nullopt;
        if (!text::is_ascii_digits(fields[*pid_column])) return std::nullopt;
        out.rows.push_back(PsRow{number_at(cpu_column), number_at(mem_column), line, fields[*command_column]});
    }
    return out;
}

// ------------------------------------------------------------------- wc --

std::optional<WcOutput> parse_wc_output(const Lines& lines) {
    if (lines.size() < kWcMinLines) return std::nullopt;
    WcOutput out;
    bool has_total = false;
    for (std::string_view line : lines) {
        const std::vector<std::string_view> tokens = text::split_whitespace(line);  // none for a blank line
        if (tokens.size() < 2) return std::nullopt;
        WcRow row;
        row.line = line;
        std::size_t n = 0;
        for (; n < tokens.size() && text::is_ascii_digits(tokens[n]); ++n) {
            const auto count = text::parse_unsigned(tokens[n]);
            if (!count) return std::nullopt;
            row.counts.push_back(*count);
        }
        if (n == 0 || n == tokens.size()) return std::nullopt;
        if (!out.rows.empty() && row.counts.size() != out.rows.front().counts.size()) return std::nullopt;
        row.name = join_words(tokens, n);
        row.is_total = row.name == "total";
        if (row.is_total) {
            has_total = true;
            out.total_index = out.rows.size();
        }
        if (out.rows.empty()) out.rows.reserve(lines.size());
        out.rows.push_back(std::move(row));
    }
    if (!has_total) return std::nullopt;
    std::size_t files = 0;
    std::size_t path_like = 0;
    for (const WcRow& row : out.rows) {
        if (row.is_total) continue;
        ++files;
        if (looks_like_path(row.name) || text::contains(row.name, ".")) ++path_like;
    }
    if (files < kWcMinFiles) return std::nullopt;
    // A single count before bare words is too loose a shape to claim.
    if (out.rows.front().counts.size() == 1 && path_like * 2 < files) return std::nullopt;
    return out;
}

// ----------------------------------------------------------------- ping --

std::optional<PingOutput> parse_ping_output(const Lines& lines) {
    if (lines.size() == 0 || lines[0].size() < 5 || !lines[0].starts_with("PING ")) return std::nullopt;
    PingOutput out;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (text::contains_ignore_case(line, "bytes from") && text::contains_ignore_case(line, "icmp_seq"))
            out.replies.push_back(i);
        else if (line.starts_with("--- ") || text::contains_ignore_case(line, "packets transmitted") ||
                 text::starts_with_ignore_case(line, "rtt ") || text::starts_with_ignore_case(line, "round-trip "))
            out.summaries.push_back(i);
        else if (contains_any_ignore_case(line, kPingEventWords))
            out.events.push_back(i);
    }
    if (lines.size() <= kPingManyLines && out.replies.size() < kPingMinReplies) return std::nullopt;
    if (out.summaries.empty() && out.events.empty()) return std::nullopt;
    return out;
}

// ------------------------------------------------------------ systemctl --

std::optional<SystemctlStatusOutput> parse_systemctl_status_output(const Lines& lines) {
    if (lines.size() < kSystemctlMinLines) return std::nullopt;
    const std::string_view first = text::trim(lines[0]);
    if (!first.starts_with("● ") && !text::contains(first, ".service")) return std::nullopt;
    // Both labels must occur somewhere before any line is looked at.
    const std::string_view all = lines.text();
    if (!text::contains(all, "Loaded:") || !text::contains(all, "Active:")) return std::nullopt;

    SystemctlStatusOutput out;
    out.key_lines.push_back(0);
    bool loaded = first.starts_with("Loaded:");
    bool active = first.starts_with("Active:");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view t = text::trim(lines[i]);
        const bool is_loaded = t.starts_with("Loaded:");
        const bool is_active = t.starts_with("Active:");
        loaded = loaded || is_loaded;
        active = active || is_active;
        if (is_loaded || is_active || t.starts_with("Main PID:")) out.key_lines.push_back(i);
        if (contains_any_ignore_case(t, kSystemctlAlertWords)) out.alert_lines.push_back(i);
    }
    if (!loaded || !active) return std::nullopt;
    return out;
}

// ----------------------------------------------------------------- stat --

std::optional<std::vector<StatBlock>> parse_stat_blocks(const Lines& lines) {
    if (lines.size() < kStatMinLines) return std::nullopt;
    // The first line of each block; lines before the first one must be blank.
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view t = text::trim(lines[i]);
        if (t.starts_with(kStatFileLabel))
            starts.push_back(i);
        else if (starts.empty() && !t.empty())
            return std::nullopt;
    }
    if (starts.size() < kStatMinBlocks) return std::nullopt;
    std::vector<StatBlock> blocks(starts.size());
    for (std::size_t b = 0; b < starts.size(); ++b) {
        const std::size_t end = b + 1 < starts.size() ? starts[b + 1] : lines.size();
        if (!read_stat_block(lines, starts[b], end, blocks[b]) || !is_complete(blocks[b])) return std::nullopt;
    }
    return blocks;
}

}  // namespace filters::system_output::detector
