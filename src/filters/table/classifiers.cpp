#include "filters/table/classifiers.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "text.h"

namespace filters::table::classifiers {

namespace {

constexpr std::array<char32_t, 15> kDividerChars = {
    U'-', U'=', U'_', U'*', U'#', U'~', 0xB7, 0x2022, 0x2500, 0x2501, 0x2550, 0x2504, 0x2505, 0x2508, 0x2509,
};

constexpr std::array<char32_t, 27> kBoxCorners = {
    0x250C, 0x252C, 0x2510, 0x251C, 0x253C, 0x2524, 0x2514, 0x2534, 0x2518, 0x250F, 0x2533, 0x2513, 0x2523, 0x254B,
    0x252B, 0x2517, 0x253B, 0x251B, 0x2554, 0x2566, 0x2557, 0x2560, 0x256C, 0x2563, 0x255A, 0x2569, 0x255D,
};

constexpr std::array<char32_t, 3> kBoxHorizontals = {0x2500, 0x2501, 0x2550};

constexpr std::array<std::string_view, 3> kVerticalBars = {"\u2502", "\u2503", "\u2551"};
// The first byte of every vertical bar.
constexpr char kBarLead = '\xE2';
static_assert(std::all_of(kVerticalBars.begin(), kVerticalBars.end(),
                          [](std::string_view b) { return b.front() == kBarLead; }));

template <std::size_t N>
bool contains_char(const std::array<char32_t, N>& set, char32_t c) {
    return std::find(set.begin(), set.end(), c) != set.end();
}

bool is_divider_char(char32_t c) { return contains_char(kDividerChars, c); }
bool is_box_corner_char(char32_t c) { return contains_char(kBoxCorners, c); }
bool is_box_char(char32_t c) { return is_box_corner_char(c) || contains_char(kBoxHorizontals, c); }
bool is_vertical_bar(char32_t c) { return c == 0x2502 || c == 0x2503 || c == 0x2551; }

// Calls f(c) for every character of s until f returns false; false then.
template <class F>
bool all_chars(std::string_view s, F f) {
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t len;
        char32_t c = text::decode_at(s, i, len);
        if (!f(c)) return false;
        i += len;
    }
    return true;
}

bool all_dashes(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c == '-'; });
}

bool starts_with_vertical_bar(std::string_view s) {
    return std::any_of(kVerticalBars.begin(), kVerticalBars.end(),
                       [&](std::string_view b) { return s.starts_with(b); });
}

bool ends_with_vertical_bar(std::string_view s) {
    return std::any_of(kVerticalBars.begin(), kVerticalBars.end(), [&](std::string_view b) { return s.ends_with(b); });
}

std::size_t count_vertical_bars(std::string_view s) {
    std::size_t n = 0;
    all_chars(s, [&](char32_t c) {
        n += is_vertical_bar(c);
        return true;
    });
    return n;
}

// Every vertical bar starts with the byte 0xE2; one scan finds "|" and them.
bool contains_any_bar(std::string_view s) {
    if (s.find('|') != std::string_view::npos) return true;
    for (std::size_t at = s.find(kBarLead); at != std::string_view::npos; at = s.find(kBarLead, at + 1))
        if (starts_with_vertical_bar(s.substr(at))) return true;
    return false;
}

// Longest header cell, report title, prose line and footer line, in bytes.
constexpr std::size_t kMaxHeaderCellBytes = 80;
constexpr std::size_t kMaxTitleBytes = 120;
constexpr std::size_t kMaxProseBytes = 80;
constexpr std::size_t kMaxFooterBytes = 100;
// A preamble holds at most this many lines; a prose line at least this
// many letters.
constexpr std::size_t kMaxPreambleLines = 8;
constexpr std::size_t kMinProseLetters = 3;
// A unit after a number has at most this many letters ("12ms", "3.5GB"); an
// index cell's letters before its digits at most this many ("ID12").
constexpr std::size_t kMaxUnitLetters = 4;
constexpr std::size_t kMaxIndexLetters = 3;
// Paths refuse an aligned report from this many path-heavy rows on.
constexpr std::size_t kMinPathHeavyRows = 3;

constexpr std::array<std::string_view, 10> kTitleWords = {
    "table", "report", "result", "metric", "summary", "results", "metrics", "profile", "analysis", "benchmark",
};

constexpr std::array<std::string_view, 4> kFooterWords = {"total", "shown", "omitted", "displayed"};
constexpr bool footer_words_begin_apart() {
    for (std::size_t a = 0; a < kFooterWords.size(); ++a)
        for (std::size_t b = a + 1; b < kFooterWords.size(); ++b)
            if (kFooterWords[a][0] == kFooterWords[b][0]) return false;
    return true;
}
static_assert(footer_words_begin_apart());

}  // namespace

std::size_t count_byte(std::string_view line, char c) {
    return static_cast<std::size_t>(std::count(line.begin(), line.end(), c));
}

// ----------------------------------------------------------------- cells --

namespace {

// Calls visit(cell) for each cell of the trimmed line cut wherever
// `separator_at(t, i)` gives a separator's byte length; cells are trimmed
// and empty ones dropped. Every separator begins with the byte `lead`, so
// the test is asked at those bytes only.
template <class SeparatorAt, class Visit>
void for_each_cell(std::string_view line, char lead, SeparatorAt separator_at, Visit visit) {
    const std::string_view t = text::trim(line);
    std::size_t start = 0;
    auto emit = [&](std::size_t end) {
        const std::string_view cell = text::trim(t.substr(start, end - start));
        if (!cell.empty()) visit(cell);
    };
    std::size_t i = 0;
    while (i < t.size()) {
        const void* at = std::memchr(t.data() + i, lead, t.size() - i);
        if (at == nullptr) break;
        i = static_cast<std::size_t>(static_cast<const char*>(at) - t.data());
        if (const std::size_t len = separator_at(t, i)) {
            emit(i);
            i += len;
            start = i;
        } else {
            ++i;
        }
    }
    emit(t.size());
}

template <class SeparatorAt>
std::vector<std::string_view> split_cells(std::string_view line, char lead, SeparatorAt separator_at) {
    std::vector<std::string_view> cells;
    for_each_cell(line, lead, separator_at, [&](std::string_view cell) { cells.push_back(cell); });
    return cells;
}

// A run of two or more spaces (U+0020) separates columns. A closure, not
// a function, so that the cell loops take it inline: it is asked at every
// byte of every row.
constexpr auto column_gap_at = [](std::string_view t, std::size_t i) -> std::size_t {
    if (t[i] != ' ' || i + 1 >= t.size() || t[i + 1] != ' ') return 0;
    std::size_t end = i;
    while (end < t.size() && t[end] == ' ') ++end;
    return end - i;
};

}  // namespace

std::vector<std::string_view> split_columns(std::string_view line) { return split_cells(line, ' ', column_gap_at); }

namespace {

bool is_header_char(char c) {
    return text::is_ascii_alnum(c) || std::string_view(" #%()+-./:[]_").find(c) != std::string_view::npos;
}

}  // namespace

bool is_header_cell(std::string_view cell) {
    if (cell.empty() || cell.size() > kMaxHeaderCellBytes) return false;
    return std::all_of(cell.begin(), cell.end(), is_header_char);
}

bool may_be_header_line(std::string_view line) {
    // Every other byte of the line is in a cell, or in whitespace that
    // trimming takes from a cell's ends (any byte at or above 0x80 may be).
    return std::all_of(line.begin(), line.end(), [](char c) {
        return is_header_char(c) || text::is_ascii_whitespace(c) || static_cast<unsigned char>(c) >= 0x80;
    });
}

namespace {

// The trimmed cell without its thousands separators; `buffer` holds the
// text when there were any.
std::string_view without_commas(std::string_view cell, std::string& buffer) {
    const std::string_view t = text::trim(cell);
    if (t.find(',') == std::string_view::npos) return t;
    buffer.clear();
    for (char c : t)
        if (c != ',') buffer.push_back(c);
    return buffer;
}

// Digits, "/", digits: "3/4", "1/1".
bool is_ratio(std::string_view v) {
    const std::size_t slash = v.find('/');
    return slash != std::string_view::npos && text::is_ascii_digits(v.substr(0, slash)) &&
           text::is_ascii_digits(v.substr(slash + 1));
}

// A count, ratio, percentage or value with a short unit: "12", "3/4",
// "1,024", "97.5%", "12ms", "3.5GB", "nan".
bool is_numeric_cell(std::string_view cell) {
    std::string buffer;
    const std::string_view v = without_commas(cell, buffer);
    if (v.empty()) return false;
    if (v.find('/') != std::string_view::npos) return is_ratio(v);
    std::string_view unpercented = v.ends_with('%') ? v.substr(0, v.size() - 1) : v;
    if (text::parse_decimal(unpercented, true)) return true;
    std::size_t letters = 0;
    while (letters < v.size() && text::is_ascii_alpha(v[v.size() - 1 - letters])) ++letters;
    if (letters == 0 || letters > kMaxUnitLetters || letters == v.size()) return false;
    return text::parse_decimal(v.substr(0, v.size() - letters), true).has_value();
}

// A row number: "12", "3)", "4.", "A1", "ID12".
bool is_index_cell(std::string_view cell) {
    const std::string_view t = text::trim(cell);
    if (text::is_ascii_digits(t)) return true;
    if (!t.empty() && (t.back() == ')' || t.back() == '.') && text::is_ascii_digits(t.substr(0, t.size() - 1)))
        return true;
    std::size_t letters = 0;
    while (letters < t.size() && text::is_ascii_alpha(t[letters])) ++letters;
    return letters >= 1 && letters <= kMaxIndexLetters && text::is_ascii_digits(t.substr(letters));
}

// Holds "/" or a backslash, or starts with "~": a path, and a ratio such as a
// pod's "1/1" ready count too.
bool is_path_cell(std::string_view cell) {
    const std::string_view t = text::trim(cell);
    return t.find_first_of("/\\") != std::string_view::npos || t.starts_with('~');
}

}  // namespace

// ------------------------------------------------------------ line tests --

bool is_decorative_divider(std::string_view line) {
    const std::string_view t = text::trim(line);
    std::size_t chars = 0;
    std::size_t drawing = 0;
    const bool no_letters = all_chars(t, [&](char32_t c) {
        ++chars;
        drawing += is_divider_char(c) || is_box_char(c);
        return !text::is_alphanumeric(c);
    });
    return no_letters && chars >= 3 && drawing * 2 >= chars;
}

bool looks_like_report_title(std::string_view line) {
    const std::string_view t = text::trim(line);
    if (t.empty() || t.size() > kMaxTitleBytes) return false;
    std::size_t i = 0;
    std::size_t word_start = std::string_view::npos;
    auto word_matches = [&](std::size_t end) {
        std::string_view w = t.substr(word_start, end - word_start);
        return std::any_of(kTitleWords.begin(), kTitleWords.end(),
                           [&](std::string_view k) { return text::equals_ignore_case(w, k); });
    };
    while (i < t.size()) {
        std::size_t len;
        char32_t c = text::decode_at(t, i, len);
        if (text::is_alphanumeric(c) || c == U'_') {
            if (word_start == std::string_view::npos) word_start = i;
        } else if (word_start != std::string_view::npos) {
            if (word_matches(i)) return true;
            word_start = std::string_view::npos;
        }
        i += len;
    }
    return word_start != std::string_view::npos && word_matches(t.size());
}

bool is_psql_row_count_footer(std::string_view line) {
    const std::string_view t = text::trim(line);
    if (t.size() < 2 || t.front() != '(' || t.back() != ')') return false;
    const std::string_view inner = t.substr(1, t.size() - 2);
    const std::size_t space = inner.find(' ');
    if (space == std::string_view::npos) return false;
    const std::string_view word = inner.substr(space + 1);
    const std::string_view count = inner.substr(0, space);
    return text::digit_run(count) == count.size() && (word == "rows" || word == "row");
}

bool looks_like_table_footer_line(std::string_view line) {
    const std::string_view t = text::trim(line);
    if (is_psql_row_count_footer(t)) return true;
    if (t.starts_with('[') && t.ends_with(']') && text::contains(t, " rows x ") && text::contains(t, " columns"))
        return true;
    if (t.empty() || t.size() > kMaxFooterBytes) return false;
    // The first word is a footer word: the word's letters, then whitespace
    // or the end (told without reading a long first word to its end). The
    // footer words begin with different letters: only the one that begins
    // like the line is compared.
    const bool footer_word = std::any_of(kFooterWords.begin(), kFooterWords.end(), [&](std::string_view k) {
        return k[0] == text::to_lower_ascii(t[0]) && text::starts_with_ignore_case(t, k) &&
               (t.size() == k.size() || text::whitespace_length_at(t, k.size()) != 0);
    });
    return footer_word && std::any_of(t.begin(), t.end(), text::is_ascii_digit);
}

bool looks_like_path_location_line(std::string_view line) {
    // Walk the colons once, remembering whether the text before the current
    // colon already looks like a file name.
    const bool tilde_start = line.starts_with('~');
    bool pathish_prefix = false;
    std::size_t scanned = 0;
    std::size_t prev = line.find(':');
    while (prev != std::string_view::npos) {
        const std::size_t next = line.find(':', prev + 1);
        if (next == std::string_view::npos) return false;
        if (!pathish_prefix) {
            const std::string_view before = line.substr(scanned, prev - scanned);
            pathish_prefix =
                std::any_of(before.begin(), before.end(), [](char c) { return c == '/' || c == '\\' || c == '.'; });
            scanned = prev;
        }
        const std::string_view between = line.substr(prev + 1, next - prev - 1);
        const bool prefix_ok = pathish_prefix || (tilde_start && prev > 0);
        if (prefix_ok && text::is_ascii_digits(between) && between.front() != '0') return true;
        prev = next;
    }
    return false;
}

bool looks_like_log_line(std::string_view line) {
    return text::starts_with_any(text::trim_start(line), {"INFO ", "DEBUG ", "TRACE ", "WARN ", "ERROR "});
}

namespace {

// With leading whitespace trimmed, starts with "$ ", "> " or "# ".
bool starts_like_prompt_or_quote(std::string_view line) {
    // A line that begins with another ASCII byte than whitespace is its
    // own trimmed start, and begins otherwise.
    if (!line.empty() && static_cast<unsigned char>(line[0]) < 0x80 && !text::is_ascii_whitespace(line[0]) &&
        line[0] != '$' && line[0] != '>' && line[0] != '#')
        return false;
    return text::starts_with_any(text::trim_start(line), {"$ ", "> ", "# "});
}

bool is_short_prose_line(std::string_view line) {
    const std::string_view t = text::trim(line);
    if (t.empty() || t.size() > kMaxProseBytes) return false;
    if (looks_like_path_location_line(t) || starts_like_prompt_or_quote(t)) return false;
    if (t.front() == '<' || t.front() == '[' || t.front() == '{') return false;
    std::size_t letters = 0;
    return !all_chars(t, [&](char32_t c) {
        letters += text::is_alphabetic(c);
        return letters < kMinProseLetters;
    });
}

}  // namespace

bool preamble_is_safe(model::Lines preamble) {
    if (preamble.size() > kMaxPreambleLines) return false;
    for (std::string_view line : preamble)
        if (!text::trim(line).empty() && !is_decorative_divider(line) && !looks_like_report_title(line) &&
            !is_short_prose_line(line))
            return false;
    return true;
}

// --------------------------------------------------- structured shapes --

namespace {

// `s` split at every `sep`: the number of pieces when `ok` holds for each,
// else 0.
template <class Ok>
std::size_t count_pieces_if_all(std::string_view s, char sep, Ok ok) {
    std::size_t pieces = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = s.find(sep, start);
        if (!ok(s.substr(start, at == std::string_view::npos ? s.npos : at - start))) return 0;
        ++pieces;
        if (at == std::string_view::npos) return pieces;
        start = at + 1;
    }
}

}  // namespace

bool is_psql_separator(std::string_view line) {
    return count_pieces_if_all(text::trim(line), '+', [](std::string_view piece) {
               piece = text::trim(piece);
               return piece.size() >= 2 && all_dashes(piece);
           }) >= 2;
}

bool is_mysql_border(std::string_view line) {
    return !line.empty() && line.front() == '+' && line.back() == '+' && count_byte(line, '+') >= 3 &&
           line.find_first_not_of("+-") == std::string_view::npos;
}

bool is_mysql_row(std::string_view line) {
    return !line.empty() && line.front() == '|' && line.back() == '|' && count_byte(line, '|') >= 3;
}

bool is_mysql_footer_line(std::string_view line) {
    const std::string_view t = text::trim(line);
    return text::contains(t, " row in set") || text::contains(t, " rows in set");
}

bool is_unicode_border(std::string_view line) {
    const std::string_view t = text::trim(line);
    std::size_t chars = 0;
    bool corner = false;
    const bool all_box = all_chars(t, [&](char32_t c) {
        ++chars;
        corner = corner || is_box_corner_char(c);
        return is_box_char(c);
    });
    return all_box && chars >= 3 && corner;
}

bool is_unicode_row(std::string_view line) {
    const std::string_view t = text::trim(line);
    return starts_with_vertical_bar(t) && ends_with_vertical_bar(t) && count_vertical_bars(t) >= 3;
}

std::vector<std::string_view> split_unicode_row(std::string_view line) {
    // Byte-wise is safe: a bar's lead byte never occurs inside another character.
    return split_cells(line, kBarLead, [](std::string_view t, std::size_t i) -> std::size_t {
        for (std::string_view bar : kVerticalBars)
            if (t.substr(i).starts_with(bar)) return bar.size();
        return 0;
    });
}

bool is_markdown_row(std::string_view line) {
    const std::string_view t = text::trim(line);
    return !t.empty() && t.front() == '|' && t.back() == '|' && count_byte(t, '|') >= 3;
}

bool is_markdown_separator(std::string_view line) {
    if (!is_markdown_row(line)) return false;
    const std::string_view t = text::trim_chars(text::trim(line), "|");
    return count_pieces_if_all(t, '|', [](std::string_view raw) {
               std::string piece;
               for (char c : text::trim(raw))
                   if (c != ' ') piece.push_back(c);
               const std::string_view p = text::trim_chars(piece, ":");
               return p.size() >= 3 && all_dashes(p);
           }) >= 2;
}

bool is_sqlite_separator(std::string_view line) {
    const auto cells = split_columns(line);
    return cells.size() >= 2 &&
           std::all_of(cells.begin(), cells.end(), [](std::string_view c) { return c.size() >= 2 && all_dashes(c); });
}

// ------------------------------------------------------- aligned reports --

bool is_column_separator(std::string_view line, std::size_t header_cells) {
    const auto cells = split_columns(line);
    if (cells.size() != header_cells && cells.size() != header_cells + 1) return false;
    return std::all_of(cells.begin(), cells.end(), [](std::string_view cell) {
        std::size_t chars = 0;
        const bool dividers = all_chars(text::trim(cell), [&](char32_t c) {
            ++chars;
            return is_divider_char(c);
        });
        return dividers && chars >= 2;
    });
}

namespace {

// Every test of a report row but the one on its cells.
bool may_be_whitespace_table_row(std::string_view line) {
    const std::string_view t = text::trim(line);
    if (t.empty() || contains_any_bar(line)) return false;
    if (looks_like_path_location_line(line) || starts_like_prompt_or_quote(line)) return false;
    // Both trim the line first: trimmed once here.
    return !is_decorative_divider(t) && !looks_like_table_footer_line(t);
}

}  // namespace

std::size_t whitespace_row_cells(std::string_view line) {
    if (!may_be_whitespace_table_row(line)) return 0;
    std::size_t cells = 0;
    for_each_cell(line, ' ', column_gap_at, [&](std::string_view) { ++cells; });
    return cells < 2 ? 0 : cells;
}

bool is_whitespace_table_row(std::string_view line) { return whitespace_row_cells(line) != 0; }

std::optional<RowFacts> whitespace_row_facts(std::string_view line) {
    if (!may_be_whitespace_table_row(line)) return std::nullopt;
    RowFacts f;
    for_each_cell(line, ' ', column_gap_at, [&](std::string_view cell) {
        if (f.cells == 0) f.index_first = is_index_cell(cell);
        ++f.cells;
        f.numeric_cells += is_numeric_cell(cell);
        f.path_heavy = f.path_heavy || is_path_cell(cell);
    });
    if (f.cells < 2) return std::nullopt;
    return f;
}

bool has_index_column(std::span<const RowFacts> rows, std::size_t modal_cells) {
    std::size_t considered = 0;
    std::size_t indexed = 0;
    for (const RowFacts& r : rows) {
        if (r.cells != modal_cells) continue;
        ++considered;
        indexed += r.index_first;
    }
    return considered > 0 && indexed * 5 >= considered * 4;
}

bool has_numeric_report_density(std::span<const RowFacts> rows) {
    std::size_t cells = 0;
    std::size_t numeric = 0;
    std::size_t numeric_rows = 0;
    for (const RowFacts& r : rows) {
        cells += r.cells;
        numeric += r.numeric_cells;
        numeric_rows += r.numeric_cells > 0;
    }
    return cells > 0 && numeric_rows * 5 >= rows.size() * 4 && numeric * 4 >= cells;
}

bool has_path_heavy_rows(std::span<const RowFacts> rows) {
    const auto heavy = static_cast<std::size_t>(
        std::count_if(rows.begin(), rows.end(), [](const RowFacts& r) { return r.path_heavy; }));
    return heavy >= kMinPathHeavyRows && heavy * 2 >= rows.size();
}

}  // namespace filters::table::classifiers
