// One quick pass over a whole text, 64 bytes at a time, that counts what
// the detector needs of its lines before it reads any line closely: how
// many lines are surely or possibly nonblank, how many hold "|", and how
// many could have a template at all. Every count is exact or errs on the
// side that keeps the detector's decisions unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace filters::log_template::census {

struct LineCensus {
    std::uint64_t surely_nonblank = 0;    // lines with an ASCII byte other than a blank
    std::uint64_t maybe_nonblank = 0;     // lines with a byte other than an ASCII blank
    std::uint64_t pipe_lines = 0;         // lines with "|"
    std::uint64_t maybe_templated = 0;    // lines that may have a template (see take_census)
};

// With `share.max_lines` (at least the text's newlines; 0 when not known)
// the pass stops once the lines left, all counted as templated and so as
// nonblank, would not lift `maybe_templated` to `share.min_lines` or to
// `share.min_percent` of `surely_nonblank`, and gives both counts with those
// lines added: a pair that fails the same test, as the text's own counts
// would.
struct ShareTest {
    std::uint64_t max_lines = 0;
    std::uint64_t min_percent = 0;
    std::uint64_t min_lines = 0;
};

inline constexpr std::uint32_t kWrapping = ~std::uint32_t{0};

// The detector's tests that the census asks of single lines.
struct LineTests {
    // The bytes a log prefix's first token may begin with (bit b of word
    // b / 64 for byte b).
    std::array<std::uint64_t, 4> sign_first_bytes{};
    // Whether a line, from its first token on, may start with a log prefix,
    // reading the token as if it ended at its first non-ASCII byte; asked
    // only of lines whose first byte is such a byte.
    bool (*ascii_log_sign)(std::string_view line) = nullptr;
    // A first token that begins with a letter passes `ascii_log_sign` only
    // when it begins with this many letters.
    std::size_t min_level_letters = 0;
    // Whether a token (the text from its first byte on; it ends at an
    // ASCII blank or at a non-ASCII byte, which may be a blank) is an event
    // word. Without it every line counts as holding one.
    bool (*is_event_token)(std::string_view from_token) = nullptr;
    // By a word's first byte: the second bytes (bit c - 'a' for letter c,
    // ASCII case folded) with which it may begin an event word; or
    // kWrapping for punctuation that may wrap one, after which the word
    // begins. Only tokens whose word begins so are asked `is_event_token`.
    std::array<std::uint32_t, 256> event_openings{};
    // The event words, in lower case; a word under three letters is never
    // told from a token by `is_event_token`, so it is left out.
    std::span<const std::string_view> event_words;
    std::size_t min_event_tokens = 0;
    std::size_t max_event_bytes = 0;  // tokens and the blanks between them
};

// A line may have a template when it holds no key=value token whose value
// is surely unsafe (see `EqualsReader`), and when it may start with a log
// prefix, when it holds a "=" after a key character whose value may be
// safe, or when it may be an event line: enough tokens (any number when the
// line has a non-ASCII byte, which may be a blank), short enough, and a
// token that starts after a blank or a non-ASCII byte and is an event word.
// Stops as `ShareTest` says; the other counts are then those of the lines
// read.
LineCensus take_census(std::string_view text, const LineTests& tests, const ShareTest& share = {});

// Coarser bounds from a pass that reads no line on its own: at most
// `maybe_templated` lines may have a template (a line counts for each "="
// or non-ASCII byte, for each third token start after a blank other than a
// newline, and when it begins with a blank or a sign byte), and at least
// `surely_nonblank` lines are nonblank (those that end with an ASCII byte
// other than a blank before a newline). None when the machine lacks the
// vector instructions it needs.
struct QuickBounds {
    std::uint64_t maybe_templated = 0;
    std::uint64_t surely_nonblank = 0;
    std::uint64_t asked = 0;  // the block pass: the tokens and "=" it read alone
};
// Stops as `ShareTest` says.
std::optional<QuickBounds> take_quick_bounds(std::string_view text, const LineTests& tests,
                                             const ShareTest& share = {});

// What a "=" tells of its line, read by the templates' own rules.
enum class EqualsSign {
    none,          // nothing
    safe_value,    // it follows a key character, and its value may be safe
    unsafe_value,  // it splits a key=value token whose value is unsafe: the line has no template
};

// The "=" of a text (a line, or a whole text of lines), read in order: the
// scans of values that run on are shared, so that a long token of many "="
// is read once.
class EqualsReader {
public:
    explicit EqualsReader(std::string_view text) : text_(text) {}
    // Of the "=" at `eq`, later than any asked before.
    EqualsSign at(std::size_t eq);

private:
    std::string_view text_;
    std::size_t scan_end_ = 0;  // where the last value's scan stopped
    bool scan_unsafe_ = false;  // at a byte that no safe value holds
};

// Bounds of the same kind from a pass that reads whole blocks and asks a
// line alone only where a block shows it may qualify: at most
// `maybe_templated` lines hold no key=value token whose value is surely
// unsafe and either hold a "=" after a key character whose value may be
// safe, start (after ASCII blanks) with a non-ASCII byte or with a token that
// `ascii_log_sign` lets pass, or hold a word that `is_event_token` takes,
// beginning after an ASCII blank, a non-ASCII byte or wrapping punctuation;
// at least `surely_nonblank` lines hold an ASCII byte other than a blank.
// None when the machine lacks the vector instructions it needs. Stops as
// `ShareTest` says.
std::optional<QuickBounds> take_line_mask_bounds(std::string_view text, const LineTests& tests,
                                                 const ShareTest& share = {});

}  // namespace filters::log_template::census
