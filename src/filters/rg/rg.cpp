#include "filters/rg/rg.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>

#include "filters/rg/scan.h"
#include "filters/tree.h"
#include "text.h"

namespace filters::rg {
namespace {

constexpr std::size_t kMaxPathBytes = 240;
constexpr std::size_t kMinBlockEntries = 2;
constexpr std::size_t kMaxDiagnosticEntries = 1;

constexpr char kEsc = '\x1b';

bool is_line_number_start(char c) { return c >= '1' && c <= '9'; }

// Whether `s` holds, at `at`, a line number closed by `delimiter`.
bool number_then(std::string_view s, std::size_t at, char delimiter) {
    if (at >= s.size() || !is_line_number_start(s[at])) return false;
    const std::size_t end = at + text::digit_run(s, at);
    return end < s.size() && s[end] == delimiter;
}

// Byte classes of the cheap entry test below.
// Plain bytes and path marks come first: the scan runs over both at once.
enum ByteClass : std::uint8_t { kPlain, kPathMark, kBlank, kDelimiter, kForbidden, kUndecided };

constexpr std::array<std::uint8_t, 256> kByteClass = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned char c : std::string_view(" \t\n\v\f\r")) t[c] = kBlank;
    for (unsigned char c : std::string_view("/\\.")) t[c] = kPathMark;
    for (unsigned char c : std::string_view(":-")) t[c] = kDelimiter;
    for (unsigned char c : std::string_view("\"',[]{}")) t[c] = kForbidden;
    t[static_cast<unsigned char>(kEsc)] = kUndecided;
    for (unsigned c = 0x80; c < 0x100; ++c) t[c] = kUndecided;
    return t;
}();

// The byte classes above as bits, for a test that gathers them over a
// whole text: looks_like_rg_path.
enum PathTrait : std::uint8_t { kRulesOut = 1, kMarks = 2, kWide = 4, kColon = 8 };

constexpr std::array<std::uint8_t, 256> kPathTraits = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned c = 0; c < 256; ++c) {
        const std::uint8_t k = kByteClass[c];
        if (k == kBlank || k == kForbidden) t[c] = kRulesOut;
        if (k == kPathMark) t[c] = kMarks;
        if (k == kUndecided) t[c] = kWide;
    }
    t[':'] |= kColon;
    return t;
}();

// text::trim, without its walk when both ends are plain ASCII bytes, as
// nearly every path is.
std::string_view trimmed(std::string_view s) {
    const auto plain = [](char c) {
        return static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) < 0x80;
    };
    if (!s.empty() && plain(s.front()) && plain(s.back())) return s;
    return text::trim(s);
}

// The first byte from `i` on in `s` that may be no plain byte and no path
// mark of the table above, sixteen at a time; `pathy` gathers the path marks
// passed over. Every byte that is ASCII white space, a control byte, not
// ASCII, ":", "-" or one of "\"',[]{}" stops the skip, and so do a few
// plain bytes that share a test with them: the caller reads the byte where
// it stopped by the table.
std::size_t skip_plain(std::string_view s, std::size_t i, std::uint8_t& pathy) {
    const auto eq = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    for (; i + 16 <= s.size(); i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        // Signed: the bytes not ASCII are below "!" too. With bit 5 set,
        // "[" and "]" read as "{" and "}".
        const __m128i folded = _mm_or_si128(v, _mm_set1_epi8(0x20));
        const __m128i stop = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(_mm_cmpgt_epi8(_mm_set1_epi8('!'), v), eq(v, ':')),
                         _mm_or_si128(eq(v, '-'), eq(v, ','))),
            _mm_or_si128(_mm_or_si128(eq(v, '"'), eq(v, '\'')), _mm_or_si128(eq(folded, '{'), eq(folded, '}'))));
        // "." and "/" differ in the lowest bit only.
        const __m128i mark = _mm_or_si128(eq(_mm_or_si128(v, _mm_set1_epi8(1)), '/'), eq(v, '\\'));
        const auto stops = static_cast<unsigned>(_mm_movemask_epi8(stop));
        const auto marks = static_cast<unsigned>(_mm_movemask_epi8(mark));
        if (stops != 0) {
            const unsigned at = static_cast<unsigned>(std::countr_zero(stops));
            if ((marks & ((1u << at) - 1)) != 0) pathy |= kPathMark;
            return i + at;
        }
        if (marks != 0) pathy |= kPathMark;
    }
    return i;
}

// A cheap test that holds for every line that parse_path_location_line
// reads as an entry, and for few others. The path and its number stand in
// the line's first whitespace-free stretch, so only that stretch is read,
// one table lookup per byte past the plain runs. Colour sequences and
// non-ASCII bytes are left to the full parse. `ruled_out` is set when the
// line, colour aside, can be no path and no "--" either: it is blank, it
// begins with "+" or "|" once trimmed, or, after the line's first non-blank
// byte, blanks are followed by a byte that is no delimiter and no colour,
// so the line trimmed holds a blank within.
bool may_be_path_location(std::string_view s, bool* ruled_out = nullptr) {
    std::size_t i = 0;
    while (i < s.size() && kByteClass[static_cast<unsigned char>(s[i])] == kBlank) ++i;
    if (i == s.size() || s[i] == '+' || s[i] == '|') {
        if (ruled_out != nullptr) *ruled_out = true;
        return false;
    }
    if (s[i] == '-') return false;
    const std::size_t first = i;
    std::uint8_t pathy = s[i] == '~' ? 1 : 0;
    for (; i < s.size(); ++i) {
        std::uint8_t k = kByteClass[static_cast<unsigned char>(s[i])];
        if (k <= kPathMark) {
            if ((i = skip_plain(s, i, pathy)) == s.size()) return false;
            k = kByteClass[static_cast<unsigned char>(s[i])];
        }
        while (k <= kPathMark) {
            pathy |= k;
            if (++i == s.size()) return false;
            k = kByteClass[static_cast<unsigned char>(s[i])];
        }
        switch (k) {
            case kDelimiter:
                if (i - first > kMaxPathBytes) return false;
                if (pathy && number_then(s, i + 1, s[i])) return true;
                break;
            case kForbidden:
                return false;  // in every path that ends at a later delimiter
            case kUndecided:
                return true;
            default:  // kBlank
                // Blanks may only trail the path, right before its delimiter.
                // (A colour sequence there is left to the full parse.)
                while (i + 1 < s.size() && kByteClass[static_cast<unsigned char>(s[i + 1])] == kBlank) ++i;
                if (i + 1 >= s.size()) return false;
                if (kByteClass[static_cast<unsigned char>(s[i + 1])] == kUndecided) return true;
                if (kByteClass[static_cast<unsigned char>(s[i + 1])] != kDelimiter) {
                    if (ruled_out != nullptr) *ruled_out = true;
                    return false;
                }
                break;
        }
    }
    return false;
}

// One result line read as views: into the line itself, or into its copy
// with colour removed, which a Cleaned keeps.
struct EntryView {
    std::string_view path, line, text, column;
    bool has_column = false;
    bool is_context = false;
};

// The colour-free copies of the coloured lines a block reads, at stable
// addresses; a line without colour is its own view, and nothing is copied.
class Cleaned {
public:
    std::string_view of(std::string_view line) {
        if (line.find(kEsc) == std::string_view::npos) return line;
        return *copies_.emplace_back(std::make_unique<std::string>(text::strip_ansi(line)));
    }

private:
    std::vector<std::unique_ptr<std::string>> copies_;
};

// The line with colour removed and trimmed is exactly "--".
bool is_separator(std::string_view line) {
    if (line.find(kEsc) == std::string_view::npos) return text::trim(line) == "--";
    return text::trim(text::strip_ansi(line)) == "--";
}

// The heading path a line gives, when its cleaned and trimmed text passes
// looks_like_rg_path.
std::optional<std::string_view> heading_path(std::string_view line, Cleaned& cleaned) {
    const std::string_view s = cleaned.of(line);
    if (!looks_like_rg_path(s)) return std::nullopt;
    return text::trim(s);
}

// Only a line that starts with a line number and its delimiter (or with a
// colour sequence, or a number a colour sequence cuts) can be an entry
// under a heading.
bool may_be_heading_entry(std::string_view line) {
    if (!line.empty() && line[0] == kEsc) return true;
    const std::size_t n = text::digit_run(line);
    return n > 0 && line[0] != '0' && n < line.size() && (line[n] == ':' || line[n] == '-' || line[n] == kEsc);
}

// The first pair of neighbouring `delimiter`s in `s` with a line number
// between them and a path before them: positions of the two delimiters.
std::optional<std::pair<std::size_t, std::size_t>> find_number_pair(std::string_view s, char delimiter) {
    std::size_t a = s.find(delimiter);
    while (a != std::string_view::npos) {
        const std::size_t b = s.find(delimiter, a + 1);
        if (b == std::string_view::npos) return std::nullopt;
        if (text::is_positive_digits(s.substr(a + 1, b - a - 1)) && looks_like_rg_path(s.substr(0, a)))
            return std::pair{a, b};
        a = b;
    }
    return std::nullopt;
}

// parse_path_location_line on a line with colour removed.
std::optional<EntryView> read_path_location(std::string_view v) {
    if (auto pair = find_number_pair(v, ':')) {
        const auto [a, b] = *pair;
        EntryView e{trimmed(v.substr(0, a)), v.substr(a + 1, b - a - 1), {}, {}, false, false};
        const std::size_t c = v.find(':', b + 1);
        if (c != std::string_view::npos && text::is_positive_digits(v.substr(b + 1, c - b - 1))) {
            e.column = v.substr(b + 1, c - b - 1);
            e.has_column = true;
            e.text = v.substr(c + 1);
        } else {
            e.text = v.substr(b + 1);
        }
        return e;
    }
    if (auto pair = find_number_pair(v, '-')) {
        const auto [a, b] = *pair;
        return EntryView{trimmed(v.substr(0, a)), v.substr(a + 1, b - a - 1), v.substr(b + 1), {}, false, true};
    }
    return std::nullopt;
}

// parse_heading_entry_line on a line with colour removed.
std::optional<EntryView> read_heading_entry(std::string_view v, std::string_view path) {
    if (const std::size_t colon = v.find(':');
        colon != std::string_view::npos && text::is_positive_digits(v.substr(0, colon))) {
        EntryView e{path, v.substr(0, colon), {}, {}, false, false};
        const std::string_view rest = v.substr(colon + 1);
        const std::size_t c = rest.find(':');
        if (c != std::string_view::npos && text::is_positive_digits(rest.substr(0, c))) {
            e.column = rest.substr(0, c);
            e.has_column = true;
            e.text = rest.substr(c + 1);
        } else {
            e.text = rest;
        }
        return e;
    }
    if (const std::size_t dash = v.find('-');
        dash != std::string_view::npos && text::is_positive_digits(v.substr(0, dash)))
        return EntryView{path, v.substr(0, dash), v.substr(dash + 1), {}, false, true};
    return std::nullopt;
}

RgEntry to_entry(const EntryView& e) {
    return RgEntry{std::string(e.path), std::string(e.line), std::string(e.text),
                   e.has_column ? std::optional<std::string>(std::string(e.column)) : std::nullopt, e.is_context};
}

EntryView to_view(const RgEntry& e) {
    return EntryView{
        e.path,      e.line, e.text, e.column ? std::string_view(*e.column) : std::string_view(), e.column.has_value(),
        e.is_context};
}

std::optional<EntryView> heading_entry(std::string_view line, std::string_view path, Cleaned& cleaned) {
    if (!may_be_heading_entry(line)) return std::nullopt;
    return read_heading_entry(cleaned.of(line), path);
}

// Asked only of lines that may belong to a block, which mostly are entries:
// the cheap test would tell nothing more.
std::optional<EntryView> path_location_entry(std::string_view line, Cleaned& cleaned) {
    return read_path_location(cleaned.of(line));
}

// Whether `t` holds "error ts" or "warning ts" in any ASCII case (codes such
// as error TS2304). Both hold " ts", so only the spaces followed by "ts" are
// looked at closer: one pass, where two searches read every hit's text. The
// pass reads bytes itself: texts hold many spaces a short way apart.
bool holds_ts_code(std::string_view t) {
    for (std::size_t p = 0; p + 2 < t.size(); ++p) {
        if (t[p] != ' ' || text::to_lower_ascii(t[p + 1]) != 't' || text::to_lower_ascii(t[p + 2]) != 's') continue;
        const std::string_view before = t.substr(0, p);
        if (text::ends_with_ignore_case(before, "error") || text::ends_with_ignore_case(before, "warning")) return true;
    }
    return false;
}

// Whether the entry's text reads as a compiler diagnostic that merely has
// the shape of a search hit.
bool is_diagnostic_like(const EntryView& e) {
    const std::string_view t = text::trim_start(e.text);
    // The four words begin with four letters: a text that begins otherwise
    // is not read against them.
    const char first = t.empty() ? '\0' : text::to_lower_ascii(t[0]);
    const bool word_first = first == 'e' || first == 'w' || first == 'n' || first == 'h';
    return (word_first && text::starts_with_any_ignore_case(t, {"error:", "warning:", "note:", "help:"})) ||
           holds_ts_code(t);
}

// The detail line of an entry read from a line: the line from its number
// to its end ("N:C:text", "N:text" or "N-text"), which the entry's views
// span without a gap.
std::string_view detail_in_line(const EntryView& e) {
    return {e.line.data(), static_cast<std::size_t>(e.text.data() + e.text.size() - e.line.data())};
}

// The same line written out, for an entry whose parts are separate texts.
std::string detail_of(const EntryView& e) {
    std::string d;
    d.reserve(e.line.size() + e.column.size() + e.text.size() + 2);
    d.append(e.line);
    if (e.is_context) return d.append("-").append(e.text);
    if (e.has_column) d.append(":").append(e.column);
    return d.append(":").append(e.text);
}

constexpr std::string_view kSeparator = "--";

// The block of results that starts at line `start`: per item its path and
// the detail line the tree draws under it, both views into the text or into
// the colour-free copies of its lines, and the counts the decision to draw
// a tree reads. A "--" separator has an empty path, which no entry has.
// One Block serves block after block, so its vectors keep their room.
struct Block {
    std::size_t start = 0;
    std::size_t end = 0;
    std::vector<std::string_view> paths;
    std::vector<std::string_view> details;
    std::size_t headings = 0;
    std::size_t entries = 0;
    std::size_t matching = 0;
    std::size_t diagnostics = 0;

    void restart(std::size_t line) {
        start = end = line;
        paths.clear();
        details.clear();
        headings = entries = matching = diagnostics = 0;
    }
    void add_entry(const EntryView& e, std::string_view detail) {
        paths.push_back(e.path);
        details.push_back(detail);
        ++entries;
        if (!e.is_context) ++matching;
        if (is_diagnostic_like(e)) ++diagnostics;
    }
    void add_entry(const EntryView& e) { add_entry(e, detail_in_line(e)); }
    void add_separator() {
        paths.emplace_back();
        details.push_back(kSeparator);
    }
};

// Whether the block's entries allow a tree: two at least, one of them a
// matching line, and at most one that reads as a compiler diagnostic.
bool may_become_tree(const Block& b) {
    // Context lines alone are no search result: ripgrep prints them only
    // around a match, while names such as iso-8859-4.ps read as "path-N-text".
    return b.entries >= kMinBlockEntries && b.matching > 0 && b.diagnostics <= kMaxDiagnosticEntries;
}

// Draws at the end of `out` (after a "\n" when `newline_first`) the tree
// that replaces a block whose lines joined are `original`. False, with
// `out` as it was, when fewer than two items are entries, when no entry is
// a matching line, when more than one entry reads as a compiler diagnostic,
// or when the tree is not smaller.
bool append_block_tree(std::string& out, const Block& b, std::string_view original, bool newline_first) {
    if (!may_become_tree(b)) return false;

    // One row per path in first-seen order, holding the details of its
    // entries; a separator goes with the row made last. Search results list
    // a file's lines together, so each row's details mostly stand together
    // in the block already and are lent as they are; otherwise they are
    // gathered, row by row, into one array.
    struct Row {
        std::string_view path;
        std::size_t first = 0;  // its first detail: in the block, then in `gathered`
        std::size_t count = 0;
    };
    std::vector<Row> rows;
    std::unordered_map<std::string_view, std::size_t> row_of;
    constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);
    std::string_view last_path;
    std::size_t last_row = kNoRow;
    std::size_t newest = kNoRow;  // the row made last so far
    auto row_at_item = [&](std::size_t k) {
        const std::string_view path = b.paths[k];
        if (path.empty()) return newest;
        if (last_row != kNoRow && path == last_path) return last_row;
        const auto [it, fresh] = row_of.try_emplace(path, rows.size());
        if (fresh) rows.push_back(Row{path, k, 0});
        last_path = path;
        last_row = it->second;
        if (newest == kNoRow || last_row > newest) newest = last_row;
        return last_row;
    };
    bool together = true;
    for (std::size_t k = 0; k < b.paths.size(); ++k) {
        const std::size_t row = row_at_item(k);
        if (row == kNoRow || row + 1 != rows.size()) together = false;
        if (row != kNoRow) ++rows[row].count;
    }
    std::vector<std::string_view> gathered;
    if (!together) {
        std::vector<std::size_t> next(rows.size());
        std::size_t total = 0;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            rows[r].first = next[r] = total;
            total += rows[r].count;
        }
        gathered.resize(total);
        // The same walk again: every path has its row now, and the rows
        // made so far are told by the largest row met.
        last_row = newest = kNoRow;
        for (std::size_t k = 0; k < b.paths.size(); ++k)
            if (const std::size_t row = row_at_item(k); row != kNoRow) gathered[next[row]++] = b.details[k];
    }
    const std::string_view* details = together ? b.details.data() : gathered.data();

    const std::size_t mark = out.size();
    const std::size_t newline = newline_first ? 1 : 0;
    const bool drawn = tree::append_row_views_within(
        out, rows.size(),
        [&](std::size_t r) {
            return tree::TreeRowView{rows[r].path, "", {}, std::span(details + rows[r].first, rows[r].count)};
        },
        original.size() + newline, 0, newline_first);
    if (drawn && text::is_smaller_output(std::string_view(out).substr(mark + newline), original)) return true;
    out.resize(mark);
    return false;
}

void read_path_location_block(const text::LineIndex& lines, std::size_t i, const EntryView& first, Cleaned& cleaned,
                              Block& b) {
    b.restart(i);
    b.add_entry(first);
    std::size_t j = i + 1;
    for (; j < lines.size(); ++j) {
        const std::string_view line = lines[j];
        if (auto e = path_location_entry(line, cleaned)) {
            b.add_entry(*e);
        } else if (j + 1 < lines.size() && is_separator(line) && path_location_entry(lines[j + 1], cleaned)) {
            b.add_separator();
        } else {
            break;
        }
    }
    b.end = j;
}

// The heading at line k with its first entry under it, when there is one.
std::optional<std::string_view> heading_at(const text::LineIndex& lines, std::size_t k, Cleaned& cleaned) {
    if (k + 1 >= lines.size() || !may_be_heading_entry(lines[k + 1])) return std::nullopt;
    std::optional<std::string_view> path = heading_path(lines[k], cleaned);
    if (path && !read_heading_entry(cleaned.of(lines[k + 1]), *path)) return std::nullopt;
    return path;
}

void read_heading_block(const text::LineIndex& lines, std::size_t i, Cleaned& cleaned, Block& b) {
    b.restart(i);
    std::size_t k = i;
    const std::size_t n = lines.size();
    while (k < n) {
        std::optional<std::string_view> path = heading_at(lines, k, cleaned);
        if (!path) break;
        ++b.headings;
        ++k;
        bool next_heading = false;
        while (k < n && !next_heading) {
            const std::string_view line = lines[k];
            if (auto e = heading_entry(line, *path, cleaned)) {
                b.add_entry(*e);
            } else if (k + 1 < n && is_separator(line) &&
                       (heading_entry(lines[k + 1], *path, cleaned) ||
                        (next_heading = heading_at(lines, k + 1, cleaned).has_value()))) {
                b.add_separator();
            } else {
                break;
            }
            ++k;
        }
    }
    b.end = k;
}

// Whether the line can be part of a block at all: as an entry of either
// layout, a separator or a heading. Cheap, and true for a few more.
// `coloured` tells whether the line holds an ESC.
bool may_belong_to_block(std::string_view line, bool coloured) {
    if (coloured) return true;
    bool ruled_out = false;
    if (may_be_heading_entry(line) || may_be_path_location(line, &ruled_out)) return true;
    // Neither a path nor "--" holds a blank within or begins with "+" or "|".
    if (ruled_out) return false;
    const std::string_view t = text::trim(line);
    return t == "--" || looks_like_rg_path(t);
}

}  // namespace

bool looks_like_rg_path(std::string_view raw) {
    const std::string_view t = trimmed(raw);
    // The cheap tests first: most texts asked are not paths.
    if (t.empty() || t.size() > kMaxPathBytes || t[0] == '+' || t[0] == '-' || t[0] == '|') return false;
    // One pass over the byte classes of the entry test: blanks and
    // forbidden characters rule the text out; a path needs a path mark.
    // The marks of all bytes are gathered without a branch per byte: paths
    // are short, and a text ruled out is rarely long either.
    std::uint8_t seen = 0;
    for (char c : t) seen |= kPathTraits[static_cast<unsigned char>(c)];
    if (seen & kRulesOut) return false;
    const bool marked = t[0] == '~' || (seen & kMarks);
    const bool undecided = seen & kWide;  // white space beyond ASCII is looked for only where such bytes stand
    const bool colon = seen & kColon;     // and "://" only where a colon stands
    // A text with a path mark is never made of digits alone.
    if (!marked || (colon && text::contains(t, "://"))) return false;
    if (undecided)
        for (std::size_t i = 0; i < t.size(); i += text::utf8_len(static_cast<unsigned char>(t[i])))
            if (text::whitespace_length_at(t, i) != 0) return false;
    return true;
}

std::optional<RgEntry> parse_path_location_line(std::string_view line) {
    Cleaned cleaned;
    const std::optional<EntryView> e = read_path_location(cleaned.of(line));
    return e ? std::optional<RgEntry>(to_entry(*e)) : std::nullopt;
}

std::optional<RgEntry> parse_heading_entry_line(std::string_view line, std::string_view path) {
    Cleaned cleaned;
    const std::optional<EntryView> e = read_heading_entry(cleaned.of(line), path);
    return e ? std::optional<RgEntry>(to_entry(*e)) : std::nullopt;
}

std::vector<std::string> compress_rg_block(const std::vector<std::string_view>& lines,
                                           const std::vector<RgItem>& items) {
    Block block;
    std::vector<std::string> details;  // the entries' parts are separate texts here
    details.reserve(items.size());
    for (const RgItem& item : items) {
        if (!item) {
            block.add_separator();
            continue;
        }
        const EntryView e = to_view(*item);
        block.add_entry(e, details.emplace_back(detail_of(e)));
    }
    std::string original;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (k > 0) original.push_back('\n');
        original.append(lines[k]);
    }
    std::string tree;
    if (!append_block_tree(tree, block, original, false)) return std::vector<std::string>(lines.begin(), lines.end());
    std::vector<std::string> out;
    for (std::string_view l : text::split_on_newline(tree)) out.emplace_back(l);
    return out;
}

Attempt try_compress_rg_output(const FilterInput& input) {
    // A block changes only when it holds a matching entry and another line
    // of the block next to it: the scan finds the few places where such an
    // entry can stand, and only the lines around them, as far as they could
    // belong to a block, are walked, each place as the scan comes to it.
    const text::LineIndex& lines = input.lines;
    const std::size_t n = lines.size();

    std::string out;
    std::size_t copied_to = 0;  // the lines before this one are in `out`
    bool changed = false;
    auto copy_through = [&](std::size_t end) {  // the input's lines up to `end`
        if (copied_to >= end) return;
        if (copied_to > 0) out.push_back('\n');
        const std::size_t from = lines.start(copied_to);
        out.append(input.text.substr(from, lines.start(end - 1) + lines[end - 1].size() - from));
        copied_to = end;
    };
    // The tree of a block is drawn straight into the output. Until one has
    // replaced a block, nothing is copied: the first tree that wins is drawn
    // alone and the lines before it are put in front of it then.
    auto try_tree = [&](const Block& block) {
        const std::size_t from = lines.start(block.start);
        const std::string_view original =
            input.text.substr(from, lines.start(block.end - 1) + lines[block.end - 1].size() - from);
        if (changed) {
            copy_through(block.start);
            if (append_block_tree(out, block, original, copied_to > 0)) copied_to = block.end;
            return;
        }
        if (!may_become_tree(block)) return;
        // The output never outgrows the input: trees replace only when
        // smaller. Pages of the room never written cost nothing.
        out.reserve(input.text.size());
        if (!append_block_tree(out, block, original, false)) return;
        changed = true;
        if (block.start > 0) {
            const std::string_view before =
                input.text.substr(0, lines.start(block.start - 1) + lines[block.start - 1].size());
            out.insert(0, before.size() + 1, '\n');
            std::copy(before.begin(), before.end(), out.begin());
        }
        copied_to = block.end;
    };

    // The scan reports every ESC, but a line's colour is read from the line
    // itself: no list of them is kept.
    auto belongs = [](std::string_view line) { return may_belong_to_block(line, line.find(kEsc) != line.npos); };

    Block block;
    std::size_t settled = 0;  // lines before this one are walked or left
    std::size_t line = 0;
    // The line a place was last left at: its other places get the same
    // answer, as nothing the answer reads has moved since.
    std::size_t left = n;
    auto visit = [&](std::size_t offset) {
        line = text::line_at_from(lines, offset, line);
        if (line < settled || line == left) return;
        left = line;
        // A block holds two entries at least: a line with no neighbour that
        // can belong to one is left alone.
        const bool before = line > settled && belongs(lines[line - 1]);
        const bool after = line + 1 < n && belongs(lines[line + 1]);
        if ((!before && !after) || !belongs(lines[line])) return;
        std::size_t lo = before ? line - 1 : line, hi = after ? line + 2 : line + 1;
        while (lo > settled && belongs(lines[lo - 1])) --lo;
        while (hi < n && belongs(lines[hi])) ++hi;
        settled = hi;
        if (hi - lo < kMinBlockEntries) return;
        // No block reaches past a line that cannot belong to one, so the walk
        // of this stretch is the walk of the whole text here.
        for (std::size_t i = lo; i < hi;) {
            Cleaned cleaned;  // what the block's entries view
            // A block ends by `hi`: room for that many items is made once.
            block.paths.reserve(hi - i);
            block.details.reserve(hi - i);
            if (auto e = path_location_entry(lines[i], cleaned)) {
                read_path_location_block(lines, i, *e, cleaned, block);
            } else if (heading_at(lines, i, cleaned)) {
                read_heading_block(lines, i, cleaned, block);
                if (block.headings < 1 || block.entries < kMinBlockEntries) {
                    ++i;
                    continue;
                }
            } else {
                ++i;
                continue;
            }
            try_tree(block);
            i = block.end;
        }
    };
    scan::for_each_match_candidate(
        input.text, belongs, [](void* context, std::size_t offset) { (*static_cast<decltype(visit)*>(context))(offset); },
        &visit);
    if (!changed) return std::nullopt;
    copy_through(n);
    if (lines.final_newline()) out.push_back('\n');
    return out;
}

std::string compress_rg_output(std::string_view text) { return run_alone(&try_compress_rg_output, text); }

}  // namespace filters::rg
