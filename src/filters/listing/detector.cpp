#include "filters/listing/detector.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_set>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace filters::listing::detector {
namespace {

constexpr std::size_t kMinGeneralEntries = 4;
constexpr std::size_t kMinKeptAllowance = 8;
constexpr std::size_t kMinTreeConnectors = 3;
constexpr std::size_t kMaxFindErrorBytes = 240;
constexpr std::size_t kMaxKeptLineBytes = 200;
constexpr std::size_t kMaxPathBytes = 300;
constexpr std::string_view kQuotes = "'\"";

// Non-empty, and a run of ASCII digits followed by exactly `suffix`.
bool digits_then(std::string_view t, std::string_view suffix) {
    const std::size_t n = text::digit_run(t);
    return n > 0 && t.substr(n) == suffix;
}

// "a-z0-9" plus the given punctuation, and nothing else.
bool only_name_chars(std::string_view t, std::string_view punctuation) {
    for (char c : t)
        if (!text::is_ascii_alnum(c) && punctuation.find(c) == std::string_view::npos) return false;
    return true;
}

bool is_word_char(char c) { return c == '_' || text::is_ascii_alnum(c); }

// `word` stands in `s` with no word character right before or after it.
bool contains_whole_word(std::string_view s, std::string_view word) {
    for (std::size_t at = s.find(word); at != std::string_view::npos; at = s.find(word, at + 1)) {
        const bool left = at == 0 || !is_word_char(s[at - 1]);
        const std::size_t end = at + word.size();
        const bool right = end == s.size() || !is_word_char(s[end]);
        if (left && right) return true;
    }
    return false;
}

// ------------------------------------------------------------ mode 2 --

bool is_prompt_echo(std::string_view t) {
    if (t.empty() || (t[0] != '+' && t[0] != '$')) return false;
    const std::string_view rest = text::trim_start(t.substr(1));
    for (std::string_view cmd : {"find", "fd", "ls", "tree", "wc"}) {
        if (rest == cmd) return true;
        if (rest.size() > cmd.size() && rest.starts_with(cmd) && rest[cmd.size()] == ' ') return true;
    }
    return false;
}

bool is_pipe_echo(std::string_view t) {
    for (std::size_t bar = t.find('|'); bar != std::string_view::npos; bar = t.find('|', bar + 1)) {
        const std::string_view after = text::trim_start(t.substr(bar + 1));
        if (!after.starts_with("wc")) continue;
        const std::string_view option = text::trim_start(after.substr(2));
        if (!option.starts_with("-l") || (option.size() > 2 && is_word_char(option[2]))) continue;
        const std::string_view before = text::trim(t.substr(0, bar));
        if (before.empty() || before[0] == '|') continue;
        const std::vector<std::string_view> tokens = text::split_whitespace(before);
        if (text::equals_any(text::trim_chars(tokens[0], kQuotes),
                             {"du", "fd", "ls", "rg", "awk", "cat", "git", "npm", "sed", "find", "grep", "tree", "yarn",
                              "python", "python3"}))
            return true;
        for (std::string_view token : tokens)
            if (is_command_like_arg(token)) return true;
    }
    return false;
}

bool is_bare_echo(std::string_view t) {
    for (std::string_view cmd : {"find", "fd", "ls", "tree", "wc"}) {
        if (!t.starts_with(cmd) || t.size() == cmd.size() || text::whitespace_length_at(t, cmd.size()) == 0) continue;
        const std::string_view rest = text::trim_start(t.substr(cmd.size()));
        if (text::contains(rest, ":")) return false;
        for (std::string_view token : text::split_whitespace(rest))
            if (cmd == "wc" ? token.starts_with('-') : is_command_like_arg(token)) return true;
        return false;
    }
    return false;
}

bool is_command_echo(std::string_view t) { return is_prompt_echo(t) || is_pipe_echo(t) || is_bare_echo(t); }

// "KEY: N" or "KEY=N" with one of the count keys.
bool is_keyed_count(std::string_view lower_t, char separator) {
    const std::size_t at = lower_t.find(separator);
    if (at == std::string_view::npos) return false;
    return text::equals_any(text::trim(lower_t.substr(0, at)),
                            {"entries", "entry", "files", "file", "paths", "path", "total"}) &&
           text::is_ascii_digits(text::trim(lower_t.substr(at + 1)));
}

bool is_count_line(std::string_view t, std::string_view lower_t) {
    if (lower_t.ends_with(" total") && text::is_ascii_digits(text::trim(lower_t.substr(0, lower_t.size() - 6))))
        return true;
    if (lower_t.starts_with("total ") && text::is_ascii_digits(text::trim(lower_t.substr(6)))) return true;
    if (lower_t.starts_with("found ") && count_unit_line(lower_t.substr(6))) return true;
    if (count_unit_line(lower_t)) return true;
    if (is_keyed_count(lower_t, ':') || is_keyed_count(lower_t, '=')) return true;
    return is_tree_summary_line(t);
}

bool is_exit_line(std::string_view lower_t) {
    std::string_view value;
    std::size_t at = lower_t.find(':');
    if (at == std::string_view::npos) at = lower_t.find('=');
    if (at != std::string_view::npos) {
        if (!text::equals_any(text::trim(lower_t.substr(0, at)),
                              {"exit", "exit code", "exit status", "command exited"}))
            return false;
        value = lower_t.substr(at + 1);
    } else {
        bool found = false;
        for (std::string_view prefix : {"command exited", "exit status", "exit code", "exit"}) {
            if (lower_t.starts_with(prefix)) {
                value = lower_t.substr(prefix.size());
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    value = text::trim(value);
    if (value.starts_with('-')) value.remove_prefix(1);
    return text::is_ascii_digits(value);
}

constexpr std::string_view kListingWords[] = {
    "artifact",   "artifacts",   "cache",   "count",        "dist", "file",  "files",  "find",   "generated",
    "line count", "line counts", "listing", "node_modules", "path", "paths", "target", "vendor", "wc",
};

enum class ContextVerdict { Kept, Fail };

ContextVerdict classify_context(std::string_view t) {
    std::string_view d = t;
    auto is_rule_char = [](char c) { return c == ' ' || c == '#' || c == '*' || c == '-' || c == '='; };
    while (!d.empty() && is_rule_char(d.front())) d.remove_prefix(1);
    while (!d.empty() && is_rule_char(d.back())) d.remove_suffix(1);
    if (d.empty()) return ContextVerdict::Fail;
    if ((t.starts_with('-') && !t.starts_with("---")) || (t.starts_with('+') && !t.starts_with("+++")))
        return ContextVerdict::Fail;
    const std::string lower_d = text::to_lower(d);
    for (std::string_view word : kListingWords)
        if (contains_whole_word(lower_d, word)) return ContextVerdict::Kept;
    return ContextVerdict::Fail;
}

bool is_find_error(std::string_view t, std::string_view lower_t) {
    if (t.size() > kMaxFindErrorBytes) return false;
    if (t.find_first_of("/\\") == std::string_view::npos && !text::contains(lower_t, "find:")) return false;
    return text::contains_any(lower_t, {"denied", "error", "failed", "failure", "not found", "permission", "warning"});
}

std::string count_suffix(std::uint64_t count) { return text::format(" [{} line{}]", count, text::plural(count)); }

// A wc -l row: a count and a path, either way round.
std::optional<std::pair<ListingEntry, std::uint64_t>> read_count_row(std::string_view t) {
    const std::vector<std::string_view> tokens = text::split_whitespace(t);
    if (tokens.size() != 2) return std::nullopt;
    const bool first_is_count = text::is_ascii_digits(tokens[0]);
    if (!first_is_count && !text::is_ascii_digits(tokens[1])) return std::nullopt;
    const std::string_view count_token = first_is_count ? tokens[0] : tokens[1];
    const std::string_view path = first_is_count ? tokens[1] : tokens[0];
    if (!is_safe_path_line(path) || !split_directory_suffix(path).second.empty()) return std::nullopt;
    const std::optional<std::uint64_t> count = text::parse_unsigned(count_token);
    if (!count) return std::nullopt;
    return std::pair{ListingEntry{std::string(path), count_suffix(*count), {}}, *count};
}

std::optional<ParsedListing> parse_general_listing(const text::LineIndex& lines) {
    ParsedListing out;
    std::vector<std::uint64_t> row_counts;
    bool entry_seen = false, run_closed = false, echo_seen = false, count_seen = false;
    auto keep = [&](std::string_view t, bool closes) {
        (entry_seen ? out.trailing_lines : out.leading_lines).emplace_back(t);
        if (entry_seen && closes) run_closed = true;
    };
    // After the run of entries is closed no entry may come, so the count
    // of kept lines can only grow: too many of them end the mode early.
    auto too_many_kept = [&] {
        const std::size_t kept = out.leading_lines.size() + out.trailing_lines.size();
        return run_closed && kept > std::max(kMinKeptAllowance, out.entries.size() / 2);
    };
    for (std::string_view line : lines) {
        const std::string_view t = text::trim(line);
        if (t.empty()) {
            if (entry_seen) run_closed = true;
            continue;
        }
        std::optional<ListingEntry> entry;
        if (auto row = read_count_row(t)) {
            row_counts.push_back(row->second);
            entry = std::move(row->first);
        } else if (is_safe_path_line(t)) {
            auto [path, suffix] = split_directory_suffix(t);
            entry = ListingEntry{std::move(path), std::move(suffix), {}};
        }
        if (entry) {
            if (run_closed) return std::nullopt;
            out.entries.push_back(std::move(*entry));
            entry_seen = true;
            continue;
        }
        if (is_rg_style_line(t)) return std::nullopt;
        const std::string lower_t = text::to_lower(t);
        if (is_find_error(t, lower_t)) {
            keep(t, false);
            continue;
        }
        if (t.size() > kMaxKeptLineBytes) return std::nullopt;
        if (is_command_echo(t)) {
            echo_seen = true;
        } else if (is_count_line(t, lower_t)) {
            count_seen = true;
        } else if (is_exit_line(lower_t)) {
            echo_seen = true;
        } else if (classify_context(t) == ContextVerdict::Fail) {
            return std::nullopt;
        }
        keep(t, true);
        if (too_many_kept()) return std::nullopt;
    }
    const std::size_t kept = out.leading_lines.size() + out.trailing_lines.size();
    if (out.entries.size() < kMinGeneralEntries || kept > std::max(kMinKeptAllowance, out.entries.size() / 2))
        return std::nullopt;
    if (!echo_seen && !count_seen) {
        // A numbered list, as cat -n prints it, is no listing.
        bool numbered = row_counts.size() == out.entries.size();
        for (std::size_t k = 0; numbered && k < row_counts.size(); ++k) numbered = row_counts[k] == k + 1;
        if (row_counts.empty() || numbered) return std::nullopt;
    }
    out.entries = dedupe_entries(std::move(out.entries));
    return out;
}

// ------------------------------------------------------------ mode 1 --

ParsedListing entries_of_path_list(const text::LineIndex& lines) {
    ParsedListing out;
    out.entries.reserve(lines.size());
    for (std::string_view line : lines) {
        auto [path, suffix] = split_directory_suffix(line);
        out.entries.push_back(ListingEntry{std::move(path), std::move(suffix), {}});
    }
    return out;
}

// ------------------------------------------------------------ mode 3 --

// The depth and name of a tree drawing's connector line, or none.
std::optional<std::pair<std::size_t, std::string_view>> read_connector(std::string_view line) {
    constexpr std::string_view kConnectors[] = {"\xE2\x94\x9C\xE2\x94\x80\xE2\x94\x80 ",
                                                "\xE2\x94\x94\xE2\x94\x80\xE2\x94\x80 ", "|-- ", "`-- "};
    for (std::string_view connector : kConnectors) {
        const std::size_t at = line.find(connector);
        if (at == std::string_view::npos) continue;
        std::string_view prefix = line.substr(0, at);
        std::size_t depth = 0;
        while (!prefix.empty()) {
            std::size_t lead = 0;
            if (prefix[0] == ' ' || prefix[0] == '|')
                lead = 1;
            else if (prefix.starts_with("\xE2\x94\x82"))
                lead = 3;
            if (lead == 0 || prefix.substr(lead, 3) != "   ") return std::nullopt;
            prefix.remove_prefix(lead + 3);
            ++depth;
        }
        const std::string_view name = text::trim(line.substr(at + connector.size()));
        if (name.empty()) return std::nullopt;
        return std::pair{depth, name};
    }
    return std::nullopt;
}

std::optional<ParsedListing> parse_tree_output(const text::LineIndex& lines) {
    ParsedListing out;
    std::optional<std::string> root;
    std::vector<std::string_view> parents;
    std::size_t connectors = 0;
    bool named_root = false;
    for (std::string_view line : lines) {
        const std::string_view t = text::trim(line);
        if (t.empty()) continue;
        if (is_tree_summary_line(t)) {
            out.summary_lines.emplace_back(t);
            continue;
        }
        if (auto connector = read_connector(line)) {
            const auto [depth, name] = *connector;
            if (depth > parents.size() || name == "." || name == ".." || name.starts_with('[') ||
                text::contains(name, " -> ") || text::contains(name, "\t") || text::contains(name, ":") ||
                is_permission_row(name))
                return std::nullopt;
            auto [leaf, suffix] = split_directory_suffix(name);
            parents.resize(depth);
            std::string path = root ? *root + "/" : std::string();
            for (std::string_view parent : parents) path.append(parent).push_back('/');
            path += leaf;
            out.entries.push_back(ListingEntry{std::move(path), std::move(suffix), {}});
            // The leaf is the name without its trailing slashes: a prefix of
            // the name, which views the line.
            parents.push_back(name.substr(0, leaf.size()));
            ++connectors;
            continue;
        }
        if (connectors > 0 || named_root) return std::nullopt;
        if (!only_name_chars(t, "+-./@_~")) return std::nullopt;
        if (t != "." && t != "./") {
            root = std::string(t);
            named_root = true;
        }
    }
    if (connectors < kMinTreeConnectors) return std::nullopt;
    out.entries = dedupe_entries(std::move(out.entries));
    return out;
}

// ------------------------------------------------------------ mode 4 --

std::optional<ParsedListing> parse_directory_sections(const text::LineIndex& lines) {
    ParsedListing out;
    std::vector<std::string_view> headers, names;
    std::optional<std::string_view> current;
    for (std::string_view line : lines) {
        if (text::trim(line).empty()) continue;
        if (text::trim(line).size() != line.size()) return std::nullopt;
        if (line.back() == ':') {
            const std::string_view dir = line.substr(0, line.size() - 1);
            if (dir.empty() || dir == ".." || dir == "../" || !only_name_chars(dir, "+-./@_~")) return std::nullopt;
            headers.push_back(dir);
            current = dir;
            if (dir != "." && dir != "./") out.entries.push_back(ListingEntry{std::string(dir), "/", {}});
            continue;
        }
        if (!current || line == "." || line == "..") return std::nullopt;
        const std::string_view bare = line.ends_with('/') ? line.substr(0, line.size() - 1) : line;
        if (!only_name_chars(bare, "+-.@_")) return std::nullopt;
        names.push_back(line);
        auto [path, suffix] = split_directory_suffix(line);
        if (*current != "." && *current != "./") {
            std::string_view dir = *current;
            while (!dir.empty() && dir.back() == '/') dir.remove_suffix(1);
            path = std::string(dir) + "/" + path;
        }
        out.entries.push_back(ListingEntry{std::move(path), std::move(suffix), {}});
    }
    if (headers.size() < 2 || names.size() < 2) return std::nullopt;
    bool pathy = false;
    for (std::string_view h : headers) pathy = pathy || looks_like_path(h);
    for (std::string_view n : names) pathy = pathy || looks_like_path(n);
    if (!pathy) return std::nullopt;
    out.entries = dedupe_entries(std::move(out.entries));
    return out;
}

// Whether the lines hold at least `needed` non-blank lines.
bool has_non_blank_lines(const text::LineIndex& lines, std::size_t needed) {
    std::size_t seen = 0;
    for (std::string_view line : lines)
        if (!text::trim(line).empty() && ++seen >= needed) return true;
    return false;
}

}  // namespace

std::pair<std::string_view, std::string_view> directory_suffix_split(std::string_view path) {
    if (path.empty() || (path.back() != '/' && path.back() != '\\')) return {path, ""};
    if (text::char_count(text::take_chars(path, 2)) == 1) return {path, ""};
    while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
    return {path, "/"};
}

std::pair<std::string, std::string> split_directory_suffix(std::string_view path) {
    const auto [stem, suffix] = directory_suffix_split(path);
    return {std::string(stem), std::string(suffix)};
}

bool is_path_list(const text::LineIndex& lines) {
    return read_path_list(lines, [](std::size_t, std::string_view) {});
}

std::vector<ListingEntry> dedupe_entries(std::vector<ListingEntry> entries) {
    struct PairHash {
        std::size_t operator()(const std::pair<std::string_view, std::string_view>& p) const {
            return std::hash<std::string_view>{}(p.first) * 31 + std::hash<std::string_view>{}(p.second);
        }
    };
    std::unordered_set<std::pair<std::string_view, std::string_view>, PairHash> seen;
    seen.reserve(entries.size());
    std::vector<bool> keep(entries.size());
    std::size_t kept = 0;
    for (std::size_t k = 0; k < entries.size(); ++k)
        if (seen.emplace(entries[k].path, entries[k].suffix).second) {
            keep[k] = true;
            ++kept;
        }
    if (kept == entries.size()) return entries;
    std::vector<ListingEntry> out;
    out.reserve(kept);
    for (std::size_t k = 0; k < entries.size(); ++k)
        if (keep[k]) out.push_back(std::move(entries[k]));
    return out;
}

std::optional<ParsedListing> parse_listing_lines(const text::LineIndex& lines) {
    if (is_path_list(lines)) return entries_of_path_list(lines);
    return parse_annotated_listing(lines);
}

std::optional<ParsedListing> parse_annotated_listing(const text::LineIndex& lines) {
    if (has_non_blank_lines(lines, 4)) {
        if (auto listing = parse_general_listing(lines)) return listing;
    }
    if (has_non_blank_lines(lines, 3)) {
        if (auto listing = parse_tree_output(lines)) return listing;
    }
    if (has_non_blank_lines(lines, 4)) {
        if (auto listing = parse_directory_sections(lines)) return listing;
    }
    return std::nullopt;
}

// ----------------------------------------------------------- line tests --

bool is_file_count(std::string_view t) { return digits_then(t, " file") || digits_then(t, " files"); }

bool is_directory_count(std::string_view t) { return digits_then(t, " directory") || digits_then(t, " directories"); }

bool is_tree_summary_line(std::string_view t) {
    const std::size_t comma = t.find(", ");
    if (comma == std::string_view::npos) return is_directory_count(t) || is_file_count(t);
    return is_directory_count(t.substr(0, comma)) && is_file_count(t.substr(comma + 2));
}

bool count_unit_line(std::string_view t) {
    const std::vector<std::string_view> tokens = text::split_whitespace(t);
    return tokens.size() == 2 && text::is_ascii_digits(tokens[0]) &&
           text::equals_any(tokens[1], {"file", "files", "path", "paths", "entry", "entries"});
}

bool has_file_extension(std::string_view t) {
    while (!t.empty() && (t.back() == '/' || t.back() == '\\')) t.remove_suffix(1);
    const std::size_t sep = t.find_last_of("/\\");
    const std::string_view name = sep == std::string_view::npos ? t : t.substr(sep + 1);
    const std::size_t dot = name.rfind('.');
    return dot != std::string_view::npos && dot != 0 && dot + 1 < name.size() && text::is_ascii_alnum(name[dot + 1]);
}

bool looks_like_path(std::string_view t) {
    return t == "." || t.find_first_of("/\\") != std::string_view::npos || has_file_extension(t);
}

bool looks_like_windows_drive_path(std::string_view t) {
    return t.size() >= 3 && text::is_ascii_alpha(t[0]) && t[1] == ':' && (t[2] == '/' || t[2] == '\\');
}

bool is_rg_style_line(std::string_view t) {
    std::size_t a = t.find(':');
    while (a != std::string_view::npos) {
        const std::size_t b = t.find(':', a + 1);
        if (b == std::string_view::npos) return false;
        if (text::is_positive_digits(t.substr(a + 1, b - a - 1)) && looks_like_path(t.substr(0, a))) return true;
        a = b;
    }
    return false;
}

bool is_permission_row(std::string_view t) {
    if (t.size() < 11) return false;
    if (std::string_view("-bcdlps").find(t[0]) == std::string_view::npos) return false;
    for (std::size_t k = 1; k < 10; ++k)
        if (std::string_view("-STrstwx").find(t[k]) == std::string_view::npos) return false;
    return text::whitespace_length_at(t, 10) != 0;
}

// The classes of byte that is_safe_path_line looks for.
constexpr std::uint8_t kBlankOrBar = 1, kColon = 2, kSeparator = 4;
constexpr auto kPathLineBytes = [] {
    std::array<std::uint8_t, 256> table{};
    table['\t'] = table['|'] = table[' '] = kBlankOrBar;
    table[':'] = kColon;
    table['/'] = table['\\'] = kSeparator;
    return table;
}();

// The classes of kPathLineBytes that occur in `t`: sixteen bytes at a time
// where the machine has SSE2, as every line of a listing is read so.
std::uint8_t path_line_bytes_seen(std::string_view t) {
    std::uint8_t seen = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i tab = _mm_set1_epi8('\t'), bar = _mm_set1_epi8('|'), space = _mm_set1_epi8(' ');
    const __m128i colon = _mm_set1_epi8(':'), slash = _mm_set1_epi8('/'), backslash = _mm_set1_epi8('\\');
    for (; t.size() - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.data() + i));
        const __m128i blank_or_bar =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, bar)), _mm_cmpeq_epi8(v, space));
        const __m128i separator = _mm_or_si128(_mm_cmpeq_epi8(v, slash), _mm_cmpeq_epi8(v, backslash));
        if (_mm_movemask_epi8(blank_or_bar)) seen |= kBlankOrBar;
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, colon))) seen |= kColon;
        if (_mm_movemask_epi8(separator)) seen |= kSeparator;
    }
#endif
    for (; i < t.size(); ++i) seen |= kPathLineBytes[static_cast<unsigned char>(t[i])];
    return seen;
}

bool is_safe_path_line(std::string_view t) {
    if (t.empty()) return false;
    // Only a line that starts or ends with white space or a byte past
    // ASCII can lose anything to trimming.
    auto plain = [](char c) { return static_cast<unsigned char>(c) < 0x80 && !text::is_ascii_whitespace(c); };
    if ((!plain(t.front()) || !plain(t.back())) && text::trim(t).size() != t.size()) return false;
    if (t == "." || t == "./") return true;
    if (t == ".." || t == "../") return false;
    if (t.size() > kMaxPathBytes) return false;
    // One pass for the characters no path line holds, for the colon that
    // every further colon test needs and for the separator that makes a
    // path (looks_like_path).
    const std::uint8_t seen = path_line_bytes_seen(t);
    if (seen & kBlankOrBar) return false;
    if ((seen & kColon) && (text::contains(t, "://") || is_rg_style_line(t) || !looks_like_windows_drive_path(t)))
        return false;
    if (is_permission_row(t)) return false;
    if (text::starts_with_any(t, {"Traceback", "\xE2\x94\x9C", "\xE2\x94\x94", "`--"})) return false;
    return (seen & kSeparator) || has_file_extension(t);
}

bool is_command_like_arg(std::string_view token) {
    const std::string_view t = text::trim_chars(token, kQuotes);
    if (t.empty()) return false;
    if (t == "." || t == ".." || t[0] == '-') return true;
    return t.find_first_of("/\\*?[]{}") != std::string_view::npos;
}

}  // namespace filters::listing::detector
