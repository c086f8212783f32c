#include "filters/test_runner/terminal.h"

#include <cstdint>
#include <cstring>

#include "scan/scan.h"

namespace filters::test_runner::terminal {

namespace {

constexpr char kEsc = '\x1B';

// The bytes the clean-up stops at: those below 0x20 but TAB and LF, and
// DEL. Bytes from 0x80 up are always kept, so the rest is copied in runs.
constexpr scan::ByteClasses kAttention{(scan::ByteSet::range(0x00, 0x1F) & ~scan::ByteSet::of("\t\n")) |
                                       scan::ByteSet::of("\x7F")};

bool is_printable_ascii(char c) { return c >= 0x20 && c <= 0x7E; }

// The final bytes of the sequences that are dropped whatever their
// parameters ("A" to "G", "J", "K" and "m"), one bit each from 0x40 on.
constexpr std::uint64_t kDroppedFinals = [] {
    std::uint64_t bits = 0;
    for (char c : std::string_view("ABCDEFGJKm")) bits |= std::uint64_t{1} << (c - 0x40);
    return bits;
}();

// Length of the CSI sequence at `i` (ESC "[" ... final) that the clean-up
// drops, or 0 when there is none to drop.
std::size_t droppable_csi_length(std::string_view s, std::size_t i) {
    // Parameter and intermediate bytes are 0x20 to 0x3F.
    std::size_t j = i + 2;
    while (j < s.size() && static_cast<unsigned char>(s[j] - 0x20) < 0x20) ++j;
    if (j >= s.size()) return 0;
    const auto final = static_cast<unsigned char>(s[j]);
    if (final < 0x40 || final > 0x7E) return 0;
    const bool drop = ((kDroppedFinals >> (final - 0x40)) & 1) != 0 ||
                      ((final == 'h' || final == 'l') && s.substr(i + 2, j - i - 2).starts_with("?25"));
    return drop ? j + 1 - i : 0;
}

// The number of bytes dropped from the byte at `i`, one the clean-up stops
// at: a whole known sequence, the control character alone, or nothing for
// an ESC that opens no known sequence and stays.
std::size_t dropped_at(std::string_view s, std::size_t i) {
    if (s[i] != kEsc) return 1;
    if (i + 1 < s.size()) {
        const char next = s[i + 1];
        if (next == '[') return droppable_csi_length(s, i);
        if ((next == '(' || next == ')' || next == '*' || next == '+') && i + 2 < s.size() &&
            is_printable_ascii(s[i + 2]))
            return 3;
    }
    return 0;
}

}  // namespace

// A run of kept bytes of up to sixteen, most runs between two sequences, is
// copied as sixteen bytes where the text has them: one move and no call.
std::size_t clean_into(std::string_view s, char* out) {
    static_assert(kCleanSlack >= 16);
    constexpr std::size_t kShortRun = 16;
    char* w = out;
    const auto copy = [&](std::size_t from, std::size_t to) {
        if (to - from <= kShortRun && s.size() - from >= kShortRun)
            std::memcpy(w, s.data() + from, kShortRun);
        else
            std::memcpy(w, s.data() + from, to - from);
        w += to - from;
    };
    // `kept` is where the bytes not yet copied begin. A dropped sequence
    // holds no byte that the search stops at but its ESC, so the search
    // goes on block by block.
    std::size_t kept = 0;
    for (scan::Hits hits = scan::class_hits(s, kAttention, 0); hits; hits = scan::class_hits(s, kAttention, hits.next()))
        for (const std::size_t at : hits) {
            if (at < kept) continue;
            copy(kept, at);
            const std::size_t dropped = dropped_at(s, at);
            if (dropped == 0) *w++ = kEsc;
            kept = at + (dropped == 0 ? 1 : dropped);
        }
    if (kept < s.size()) copy(kept, s.size());
    return static_cast<std::size_t>(w - out);
}

bool needs_cleaning(std::string_view s) { return scan::find_first_in(s, kAttention) != scan::npos; }

void append_cleaned(std::string_view s, std::string& out) {
    const std::size_t old = out.size();
    out.resize(old + s.size() + kCleanSlack);
    out.resize(old + clean_into(s, out.data() + old));
}

std::string clean(std::string_view s) {
    std::string out;
    append_cleaned(s, out);
    return out;
}

}  // namespace filters::test_runner::terminal
