#include "filters/repeated_diagnostic/detector.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "filters/filter.h"
#include "filters/guards.h"
#include "filters/repeated_diagnostic/native.h"
#include "filters/repeated_diagnostic/normalization.h"
#include "filters/repeated_diagnostic/source_guard.h"
#include "filters/repeated_diagnostic/summary.h"

namespace filters::repeated_diagnostic::detector {

using types::DiagnosticSignal;
using types::DiagnosticTemplate;
using types::NativeFrameEvidence;
using types::NativeTraceSignal;

namespace {

constexpr std::uint64_t kMinNonblankLines = 8;
constexpr std::uint64_t kMinRepeats = 6;
constexpr std::uint64_t kMinCoveredLines = 8;
using types::kMinCoveredPercent;
constexpr std::uint64_t kMinJsonPercent = 70;
constexpr std::size_t kMinTemplateBytes = 10;
using types::kMinRunLines;

constexpr std::uint64_t kMinFramesWithMarker = 5;
constexpr std::uint64_t kMinFramesWithoutMarker = 8;
constexpr std::uint64_t kMinEvidence = 5;  // frames with addresses, modules, binaries; the run length

// The headlines of the filters that run before or after this one, and the
// words of tests and diffs; none holds a line end, so a search in each
// trimmed line is a search in the guard text.
constexpr std::array<std::string_view, 15> kOwnerMarkers = {
    headline::kRepeatedDiagnosticsPrefix,
    headline::kNativeTrace,
    headline::kLogTemplatesPrefix,
    headline::kGenericLogPrefix,
    headline::kTestOutput,
    headline::kCiLog,
    headline::kPythonTraceback,
    "traceback (most recent call last)",
    "short test summary info",
    "diff --git ",
    headline::kJsonlRecords,
    headline::kPackageManager,
    headline::kBuildDiagnostics,
    "pytest",
    "test session starts",
};

// Substrings without which a line has no diagnostic signal: each phrase
// and whole word that the templater looks for holds one of them.
constexpr std::array<std::string_view, 18> kSignalStems = {
    "abort",       "cannot",      "can't",     "denied", "error", "exception",    "fail",      "fatal",
    "invalid",     "panic",       "terminate", "unable", "warn",  "no such file", "not found", "segmentation fault",
    "core dumped", "stack trace",
};

constexpr unsigned kOwnedGroup = 0;
constexpr unsigned kBuildGroup = 1;
constexpr unsigned kSignalGroup = 2;

// Every word the guard looks for in a line, and the signal stems, in one
// pass.
constexpr auto kGuardWords = [] {
    std::array<text::SearchWord, kOwnerMarkers.size() + text::kSecretKeyWords.size() +
                                     guards::kBuildOrPackageMarkers.size() + kSignalStems.size()>
        words{};
    std::size_t k = 0;
    for (std::string_view w : kOwnerMarkers) words[k++] = {w, kOwnedGroup, false};
    for (std::string_view w : text::kSecretKeyWords) words[k++] = {w, kOwnedGroup, true};
    for (std::string_view w : guards::kBuildOrPackageMarkers) words[k++] = {w, kBuildGroup, false};
    for (std::string_view w : kSignalStems) words[k++] = {w, kSignalGroup, false};
    return text::WordSet<words.size()>(words);
}();

// A line start that alone shows a diff, a test run or a CI log.
bool is_foreign_line_start(std::string_view t) {
    return text::starts_with_any(t, {"diff --git ", "Index: ", "@@ ", "Test Files", "Tests", "FAIL ",
                                     "test result:", "##[", "::group::", "::endgroup::", "::error", "::warning"});
}

// A line start that makes the line source code, a comment or a list item
// whatever follows (`t` starts with a visible character and holds at least
// kMinTemplateBytes bytes), so that it can have no template.
bool starts_source_line(std::string_view t) {
    switch (t[0]) {
        case '*':
            return true;
        case '/':
            return t[1] == '/' || t[1] == '*';
        case '<':
            return t.starts_with("<!--");
        case '#':
            // A hash comment: "#" and no digit, or a digit that a visible
            // character follows (a terminal code could hide either).
            if (t[1] == '\x1b') return false;
            return !text::is_ascii_digit(t[1]) || text::is_visible_ascii(t[2]);
        case '-':
            return t[1] == ' ' || t[1] == '\t' || (t[1] == '-' && (t[2] == ' ' || t[2] == '\t'));
        case '+':
            return t[1] == ' ' || t[1] == '\t';
        default: {
            if (!text::is_ascii_alpha(t[0])) return false;
            const char first = text::to_lower_ascii(t[0]);
            for (std::string_view keyword : source_guard::kKeywordStarts)
                if (keyword[0] == first && text::starts_with_ignore_case(t, keyword)) return true;
            return false;
        }
    }
}

constexpr auto kSignalStemSet = text::WordSet<kSignalStems.size()>::of(kSignalStems);

// Whether any byte of `s` is a control byte, a blank, a byte of a non-ASCII
// character or a ":", eight bytes at a time.
bool has_blank_colon_or_wide_byte(std::string_view s) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        const std::uint64_t colon = w ^ (kOnes * ':');
        // High bits of bytes below 0x21, of bytes equal to ":" and of wide bytes.
        if (((w - kOnes * 0x21) | (colon - kOnes) | w) & kHigh) {
            for (std::size_t j = i; j < i + 8; ++j) {
                const auto b = static_cast<unsigned char>(s[j]);
                if (b <= ' ' || b >= 0x80 || b == ':') return true;
            }
        }
    }
    for (; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b <= ' ' || b >= 0x80 || b == ':') return true;
    }
    return false;
}

// A line that is one path and nothing else ("./src/a.c", "/var/log"): its
// template would hold no letter.
bool is_lone_path_token(std::string_view r) {
    if (!(r.starts_with('/') || r.starts_with("./") || r.starts_with("../") || r.starts_with("~/"))) return false;
    if (has_blank_colon_or_wide_byte(r)) return false;
    std::size_t core = r.size();
    while (core > 0 && std::string_view("\"'),.:;]}").find(r[core - 1]) != std::string_view::npos) --core;
    return core >= 3;
}

// A line that is one quoted literal ('"name": "value",'), and so source.
// Only for a line without terminal codes (none in the whole text when
// `plain_text`), which could hide its end.
bool is_quoted_literal_line(std::string_view r, bool plain_text) {
    const char quote = r[0];
    if (quote != '"' && quote != '\'' && quote != '`') return false;
    if (!plain_text && r.find('\x1b') != std::string_view::npos) return false;
    std::string_view t = text::trim_end(r);
    while (!t.empty() && (t.back() == ';' || t.back() == ',')) t.remove_suffix(1);
    t = text::trim_end(t);
    return t.size() >= 2 && t.back() == quote;
}

// How far the prospects look into a line.
enum class Depth { kShape, kWords };

// False when the line surely has no template: too short, source code or a
// list item by its start, a lone path, a quoted literal, or, at
// Depth::kWords, without any signal stem. A line with a terminal code may
// have a template; `plain_text` says that the text holds none.
bool may_have_template(std::string_view line, bool plain_text, Depth depth) {
    const std::string_view r = line.substr(text::leading_blanks(line));
    if (r.size() < kMinTemplateBytes) return false;
    if (!text::is_visible_ascii(r[0])) return true;
    if (starts_source_line(r) || is_lone_path_token(r)) return false;
    if (is_quoted_literal_line(r, plain_text)) return false;
    if (depth == Depth::kShape) return true;
    return kSignalStemSet.found_in(r) || (!plain_text && r.find('\x1b') != std::string_view::npos);
}

// Calls `on_byte(pos)` for each byte of `text` equal to `a` or `b`, until it
// returns false.
template <class F>
void for_each_of_two_bytes(std::string_view text, char a, char b, F on_byte) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    for (; i + 16 <= text.size(); i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        auto mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb))));
        for (; mask != 0; mask &= mask - 1)
            if (!on_byte(i + static_cast<std::size_t>(std::countr_zero(mask)))) return;
    }
#endif
    for (; i < text.size(); ++i)
        if ((text[i] == a || text[i] == b) && !on_byte(i)) return;
}

// The search for kMinRunLines lines in a row, of `count`, that pass a test,
// asking one line at a time. Every kMinRunLines-th line is tested first;
// only around one that passes are its neighbours asked. The test may also
// ask of a line that it goes with the run line beside it (linked()): a run
// is then kMinRunLines lines that pass, each going with the next.
class RunSearch {
public:
    explicit RunSearch(std::size_t count) : count_(count) { next_probe(); }

    // The line to test next, or npos once the search is settled.
    std::size_t line() const { return line_; }
    bool found() const { return found_; }
    // The run line next to line() that it must go with, or npos when line()
    // is a probe, which only some neighbour must go with.
    std::size_t linked() const {
        switch (phase_) {
            case Phase::kBack:
                return first_;
            case Phase::kForward:
                return end_ - 1;
            case Phase::kProbe:
                break;
        }
        return std::string_view::npos;
    }

    void answer(bool passes) {
        switch (phase_) {
            case Phase::kProbe:
                if (!passes) {
                    from_ = probe_ + 1;
                    next_probe();
                    return;
                }
                first_ = probe_;
                go_back();
                return;
            case Phase::kBack:
                if (passes) {
                    --first_;
                    go_back();
                    return;
                }
                end_ = probe_ + 1;
                go_forward();
                return;
            case Phase::kForward:
                if (passes) {
                    ++end_;
                    go_forward();
                    return;
                }
                settle();
                return;
        }
    }

private:
    enum class Phase { kProbe, kBack, kForward };

    // `from_` is the first line that a run may still start at.
    void next_probe() {
        if (from_ + kMinRunLines > count_) {
            line_ = std::string_view::npos;
            return;
        }
        probe_ = from_ + kMinRunLines - 1;
        ask(probe_, Phase::kProbe);
    }
    void go_back() {
        if (first_ > from_) return ask(first_ - 1, Phase::kBack);
        end_ = probe_ + 1;
        go_forward();
    }
    void go_forward() {
        if (end_ < count_ && end_ < first_ + kMinRunLines) return ask(end_, Phase::kForward);
        settle();
    }
    void settle() {
        if (end_ - first_ >= kMinRunLines) {
            found_ = true;
            line_ = std::string_view::npos;
            return;
        }
        // The line at `end_` failed, by itself or only beside the run: a
        // run may still start there.
        from_ = end_;
        next_probe();
    }
    void ask(std::size_t line, Phase phase) {
        line_ = line;
        phase_ = phase;
    }

    std::size_t count_;
    std::size_t from_ = 0;
    std::size_t probe_ = 0;
    std::size_t first_ = 0;
    std::size_t end_ = 0;
    std::size_t line_ = 0;
    Phase phase_ = Phase::kProbe;
    bool found_ = false;
};

// Whether some kMinRunLines lines in a row, of `count`, pass `may`.
template <class May>
bool has_run_of(std::size_t count, May may) {
    RunSearch search(count);
    while (search.line() != std::string_view::npos) search.answer(may(search.line()));
    return search.found();
}

// The bookkeeping of the pass over the text's bytes, fed with the positions
// that the byte tests pick out.
class FactScan {
public:
    explicit FactScan(std::string_view text) : text_(text) {}

    bool has_escape() const { return facts_.has_escape; }

    // A "#" or an escape byte at `at`: a frame starts there when only blanks
    // come before it in its line. False once nothing more is to be learnt.
    bool on_mark(std::size_t at) {
        const bool escape = text_[at] == '\x1b';
        facts_.has_escape = facts_.has_escape || escape;
        if (!escape && !(at + 1 < text_.size() && text::is_ascii_digit(text_[at + 1]))) return true;
        // Blanks, and any byte that may belong to a Unicode space.
        std::size_t before = at;
        while (before > 0 && text_[before - 1] != '\n' &&
               (text::is_ascii_whitespace(text_[before - 1]) || static_cast<unsigned char>(text_[before - 1]) >= 0x80))
            --before;
        if (before == 0 || text_[before - 1] == '\n')
            facts_.enough_frame_starts = ++frame_starts_ >= kMinFramesWithMarker;
        return !(facts_.enough_frame_starts && facts_.has_escape);
    }

    // A signal stem at `at`: its line is counted once, and found to follow
    // the last stem line or not.
    void on_stem(std::size_t at) {
        if (at < counted_until_) return;
        ++stem_lines_;
        const char* base = text_.data();
        std::size_t start = counted_until_;
        if (const void* nl = memrchr(base + counted_until_, '\n', at - counted_until_))
            start = static_cast<std::size_t>(static_cast<const char*>(nl) - base) + 1;
        stem_run_ = start == counted_until_ && stem_run_ > 0 && run_may_go_on_ ? stem_run_ + 1 : 1;
        run_found_ = run_found_ || stem_run_ >= kMinRunLines;
        const void* nl = std::memchr(base + at, '\n', text_.size() - at);
        counted_until_ = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - base) + 1 : text_.size();
        run_may_go_on_ = nl != nullptr;
    }
    bool stem_line_counted(std::size_t at) const { return at < counted_until_; }
    std::size_t counted_until() const { return counted_until_; }
    std::uint64_t stem_lines() const { return stem_lines_; }

    void add_visible_starts(std::uint64_t n) { visible_starts_ += n; }

    // The facts once every mark was reported; with `stems_counted`, every
    // stem and every line start too.
    TextFacts finish(bool stems_counted) {
        facts_.diagnostics_possible =
            facts_.has_escape || !stems_counted ||
            (stem_lines_ >= kMinCoveredLines && stem_lines_ * 100 >= visible_starts_ * kMinCoveredPercent);
        return facts_;
    }
    // Whether some kMinRunLines stem lines came in a row.
    bool run_found() const { return run_found_; }

private:
    std::string_view text_;
    TextFacts facts_;
    std::uint64_t frame_starts_ = 0;
    std::size_t counted_until_ = 0;  // the line before this byte has been counted
    std::uint64_t stem_lines_ = 0;
    std::uint64_t stem_run_ = 0;  // stem lines in a row up to the last one
    bool run_may_go_on_ = false;  // the last stem line ends with "\n"
    bool run_found_ = false;
    std::uint64_t visible_starts_ = 0;  // lines that start with a visible ASCII character: surely nonblank
};

#if defined(__x86_64__)

// Three bytes of each signal stem, and the bucket (0 to 7) whose bit stands
// for it in the stem filter: a stem lies wherever its piece lies, and the
// filter lets through every place where a piece may start. The pieces and
// their buckets were picked so that the pieces that share a bucket let few
// other triples through on logs, listings, JSON and HTML: eight buckets fit
// one table per byte, whose lookups cost half of two.
struct StemPiece {
    std::string_view stem;
    std::size_t offset;
    unsigned bucket;
};
constexpr std::array<StemPiece, kSignalStems.size()> kStemPieces = {{
    {"fail", 0, 3},
    {"fatal", 0, 3},
    {"cannot", 2, 4},
    {"can't", 2, 5},
    {"no such file", 3, 1},
    {"error", 1, 5},
    {"terminate", 3, 2},
    {"denied", 1, 6},
    {"invalid", 1, 0},
    {"unable", 1, 4},
    {"exception", 1, 2},
    {"segmentation fault", 1, 6},
    {"abort", 0, 6},
    {"warn", 1, 7},
    {"panic", 1, 6},
    {"core dumped", 5, 7},
    {"stack trace", 6, 0},
    {"not found", 5, 1},
}};

constexpr bool every_stem_has_a_piece() {
    for (std::string_view stem : kSignalStems) {
        bool found = false;
        for (const StemPiece& piece : kStemPieces)
            found = found || (piece.stem == stem && piece.offset + 3 <= stem.size() && piece.bucket < 8);
        if (!found) return false;
    }
    return true;
}
static_assert(every_stem_has_a_piece());

// For byte j of a piece: the buckets whose piece's byte j has a given low
// half, and those whose byte j has a given high half (for a letter, in
// either case). A byte may be byte j of a bucket's piece only where both
// tables name the bucket.
struct PieceTables {
    std::array<std::array<std::uint8_t, 16>, 3> low{};
    std::array<std::array<std::uint8_t, 16>, 3> high{};
};
constexpr PieceTables kPieceTables = [] {
    PieceTables t;
    for (const StemPiece& piece : kStemPieces)
        for (std::size_t j = 0; j < 3; ++j) {
            const auto c = static_cast<unsigned char>(piece.stem[piece.offset + j]);
            const auto bit = static_cast<std::uint8_t>(1u << piece.bucket);
            t.low[j][c & 15u] |= bit;
            t.high[j][c >> 4] |= bit;
            if (c >= 'a' && c <= 'z') t.high[j][(c - 32u) >> 4] |= bit;
        }
    return t;
}();

// Whether a stem of the buckets in `buckets` has its piece at `at` of `s`.
bool stem_piece_at(std::string_view s, std::size_t at, unsigned buckets) {
    for (const StemPiece& piece : kStemPieces)
        if ((buckets >> piece.bucket) & 1u && at >= piece.offset && at - piece.offset + piece.stem.size() <= s.size() &&
            text::equals_ignore_case(s.substr(at - piece.offset, piece.stem.size()), piece.stem))
            return true;
    return false;
}

#define QV_AVX2 inline __attribute__((target("avx2,popcnt"), always_inline))

struct StemFilter {
    __m256i low[3];
    __m256i high[3];
};

QV_AVX2 void load_stem_filter(StemFilter& f) {
    for (std::size_t j = 0; j < 3; ++j) {
        f.low[j] =
            _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kPieceTables.low[j].data())));
        f.high[j] =
            _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kPieceTables.high[j].data())));
    }
}

// For each of the 32 bytes from `p` (34 bytes readable), the buckets whose
// piece may start there.
QV_AVX2 __m256i stem_filter(const char* p, const StemFilter& f) {
    const __m256i nibble = _mm256_set1_epi8(0x0f);
    __m256i found = _mm256_set1_epi8(-1);
    for (std::size_t j = 0; j < 3; ++j) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + j));
        const __m256i low = _mm256_and_si256(v, nibble);
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
        found = _mm256_and_si256(
            found, _mm256_and_si256(_mm256_shuffle_epi8(f.low[j], low), _mm256_shuffle_epi8(f.high[j], high)));
    }
    return found;
}

// The places where `found` names some bucket.
QV_AVX2 std::uint32_t stem_candidates(__m256i found) {
    return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(found, _mm256_setzero_si256())));
}
QV_AVX2 std::uint32_t stem_candidates(const char* p, const StemFilter& f) { return stem_candidates(stem_filter(p, f)); }

// The places among the 32 from `p` (34 bytes readable) where a piece may
// start; the buckets of each go to `buckets`, and the escape bytes among the
// 32 to `escapes`.
QV_AVX2 std::uint32_t stem_candidates_inline(const char* p, const StemFilter& f, std::uint8_t* buckets,
                                             std::uint32_t& escapes) {
    escapes = static_cast<std::uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), _mm256_set1_epi8('\x1b'))));
    const __m256i found = stem_filter(p, f);
    const std::uint32_t mask = stem_candidates(found);
    if (mask != 0) _mm256_storeu_si256(reinterpret_cast<__m256i*>(buckets), found);
    return mask;
}

// The line ends among the 32 bytes of `ends` that a visible ASCII character
// follows (`next` holds the bytes one further).
QV_AVX2 std::uint64_t visible_line_starts(__m256i ends, __m256i next) {
    const __m256i visible = _mm256_and_si256(_mm256_cmpgt_epi8(next, _mm256_set1_epi8(' ')),
                                             _mm256_cmpgt_epi8(_mm256_set1_epi8(0x7f), next));
    return static_cast<std::uint64_t>(
        std::popcount(static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(ends, visible)))));
}

constexpr std::size_t kMarkPassLead = std::size_t{1} << 15;
constexpr std::size_t kMaxProbedShortLineBytes = 40;

// Where the 34 bytes from `i` of `s` can be read: in place, or, for the last
// bytes, in a copy padded with zero bytes, in which no test picks a byte.
class BlockReader {
public:
    explicit BlockReader(std::string_view s) : s_(s) {}
    const char* at(std::size_t i) {
        if (i + 34 <= s_.size()) return s_.data() + i;
        std::memset(tail_, 0, sizeof tail_);
        std::memcpy(tail_, s_.data() + i, s_.size() - i);
        return tail_;
    }

private:
    std::string_view s_;
    char tail_[34] = {};
};

// Whether the `size` bytes from `start` of `text` hold a signal stem or a
// terminal code. The line is read in place where the 34 bytes after each of
// its 32-byte steps lie in the text: the places past its end are dropped,
// and a piece that would run into the line end holds a "\n", which no piece
// does.
QV_AVX2 bool has_stem_or_escape_avx2(std::string_view text, std::size_t start, std::size_t size, const StemFilter& f,
                                     std::uint8_t* buckets, BlockReader& reader) {
    const std::string_view line = text.substr(start, size);
    for (std::size_t i = 0; i < size; i += 32) {
        std::uint32_t escapes = 0;
        std::uint32_t m = stem_candidates_inline(reader.at(start + i), f, buckets, escapes);
        if (size - i < 32) {
            const std::uint32_t inside = (std::uint32_t{1} << (size - i)) - 1;
            m &= inside;
            escapes &= inside;
        }
        if (escapes != 0) return true;
        for (; m != 0; m &= m - 1) {
            const auto k = static_cast<unsigned>(std::countr_zero(m));
            if (stem_piece_at(line, i + k, buckets[k])) return true;
        }
    }
    return false;
}

// Whether FactScan::on_mark may learn anything from the mark at `k`. It
// learns nothing from a "#" that no digit follows, nor from one after a
// visible ASCII character or DEL (which no frame start has before its "#"),
// and passes over them.
bool mark_may_count(std::string_view text, std::size_t k) {
    if (text[k] == '\x1b' || k == 0) return true;
    const auto before = static_cast<unsigned char>(text[k - 1]);
    return k + 1 < text.size() && text::is_ascii_digit(text[k + 1]) && (before <= ' ' || before >= 0x80);
}

// Whether some mark of `mask`, bytes of the 32 from `at`, may count.
bool marks_may_count(std::string_view text, std::size_t at, std::uint32_t mask) {
    for (; mask != 0; mask &= mask - 1)
        if (mark_may_count(text, at + static_cast<std::size_t>(std::countr_zero(mask)))) return true;
    return false;
}

// The marks among the 32 bytes from `p` that mark_may_count keeps: escape
// bytes, and each "#" that a digit follows and no visible character or DEL
// precedes (the 34 bytes from `p - 1` are read).
QV_AVX2 std::uint32_t counting_marks(const char* p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p - 1));
    const __m256i digit_offset = _mm256_sub_epi8(next, _mm256_set1_epi8('0'));
    const __m256i digit = _mm256_cmpeq_epi8(_mm256_min_epu8(digit_offset, _mm256_set1_epi8(9)), digit_offset);
    const __m256i hashes = _mm256_and_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('#')), digit);
    const __m256i counting = _mm256_andnot_si256(_mm256_cmpgt_epi8(before, _mm256_set1_epi8(' ')), hashes);
    return static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_or_si256(counting, _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\x1b')))));
}

// Reports each "#" and escape byte of `text` from `from` to `to` that
// mark_may_count keeps to `scan`; false once the scan needs no more.
__attribute__((target("avx2,popcnt"))) bool scan_marks_avx2(std::string_view text, std::size_t from, std::size_t to,
                                                            FactScan& scan) {
    auto report = [&](std::size_t at, std::uint64_t mask) {
        for (; mask != 0; mask &= mask - 1)
            if (!scan.on_mark(at + static_cast<std::size_t>(std::countr_zero(mask)))) return false;
        return true;
    };
    std::size_t i = from;
    // The text's first byte has none before it.
    if (i == 0 && i < to) {
        if ((text[0] == '#' || text[0] == '\x1b') && !scan.on_mark(0)) return false;
        i = 1;
    }
    // Sixty-four bytes a step: a step without a mark to report costs one
    // branch.
    const std::size_t vector_end = std::min(to, text.size() - std::min<std::size_t>(text.size(), 1));
    for (; i + 64 <= vector_end; i += 64) {
        const char* p = text.data() + i;
        const std::uint64_t mask = counting_marks(p) | std::uint64_t{counting_marks(p + 32)} << 32;
        if (mask != 0 && !report(i, mask)) return false;
    }
    for (; i < to; ++i)
        if (mark_may_count(text, i) && (text[i] == '#' || text[i] == '\x1b') && !scan.on_mark(i)) return false;
    return true;
}

// The "#" and escape bytes among the 32 of `v`.
QV_AVX2 __m256i any_marks(__m256i v) {
    return _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('#')), _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\x1b')));
}

// Reports the marks of `mask`, bytes of the 32 from `at`, to `scan`; false
// once it needs no more. Kept out of the byte pass, whose tables then stay
// in registers.
__attribute__((noinline)) bool report_marks(FactScan& scan, std::size_t at, std::uint32_t mask) {
    for (; mask != 0; mask &= mask - 1)
        if (!scan.on_mark(at + static_cast<std::size_t>(std::countr_zero(mask)))) return false;
    return true;
}

// Whether stem lines can still make kMinCoveredLines lines and
// kMinCoveredPercent % of the lines that start visibly, with `stem_lines`
// counted and `visible_starts` seen so far and at most `lines_left` lines
// still to read: the share only falls as more lines start visibly.
bool stem_share_reachable(std::uint64_t stem_lines, std::uint64_t lines_left, std::uint64_t visible_starts) {
    const std::uint64_t most = stem_lines + lines_left;
    return most >= kMinCoveredLines && most * 100 >= visible_starts * kMinCoveredPercent;
}

constexpr std::size_t kShareCheckStride = std::size_t{1} << 16;

// The pass over every byte: "#" and escape bytes, line starts, and the
// lines that hold a signal stem. Each 32-byte step is read for all three
// tests at once, in place but for the last bytes; a step with nothing to
// report is only counted, and only the others are read again in full. Once
// the stem lines can no longer reach their share, stems are no longer
// looked for: the share then fails whatever the rest holds, and only a
// terminal code, which the marks still find, makes repeated diagnostics
// possible again.
__attribute__((target("avx2,popcnt"))) TextFacts count_text_facts_avx2(std::string_view text, std::uint64_t line_count,
                                                                       FactScan& scan) {
    StemFilter f;
    load_stem_filter(f);
    alignas(32) std::uint8_t buckets[32];
    std::uint64_t visible_starts = !text.empty() && text::is_visible_ascii(text[0]) ? 1 : 0;
    std::uint64_t newlines = 0;  // before the step being read
    bool stems_wanted = true;
    BlockReader reader(text);
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        // The steps that only add to the counts, read without a call, so
        // that the filter's tables stay in registers. A step with a mark
        // that on_mark may learn from, a stem candidate or a share check is
        // left to the full step below.
        const bool stems_looked_for = stems_wanted && !scan.has_escape();
        const std::size_t counted_until = scan.counted_until();
        for (; i != 0 && i + 34 <= size; i += 32) {
            const char* p = text.data() + i;
            const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
            const __m256i ends = _mm256_cmpeq_epi8(v0, _mm256_set1_epi8('\n'));
            bool full_step = stems_wanted && i % kShareCheckStride == 0;
            if (const auto m = static_cast<std::uint32_t>(_mm256_movemask_epi8(any_marks(v0))); m != 0)
                full_step = full_step || marks_may_count(text, i, m);
            if (stems_looked_for && i + 31 >= counted_until) full_step = full_step || stem_candidates(p, f) != 0;
            if (full_step) break;
            visible_starts += visible_line_starts(ends, v1);
            newlines +=
                static_cast<std::uint64_t>(std::popcount(static_cast<std::uint32_t>(_mm256_movemask_epi8(ends))));
        }
        if (i >= size) break;
        const char* p = i + 34 <= size ? text.data() + i : reader.at(i);
        const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
        const __m256i ends = _mm256_cmpeq_epi8(v0, _mm256_set1_epi8('\n'));
        visible_starts += visible_line_starts(ends, v1);
        if (stems_wanted && i % kShareCheckStride == 0 &&
            !stem_share_reachable(scan.stem_lines(), line_count + 1 - std::min(newlines, line_count), visible_starts))
            stems_wanted = false;
        newlines += static_cast<std::uint64_t>(std::popcount(static_cast<std::uint32_t>(_mm256_movemask_epi8(ends))));
        if (const auto m = static_cast<std::uint32_t>(_mm256_movemask_epi8(any_marks(v0))); m != 0)
            if (!report_marks(scan, i, m)) {
                scan.add_visible_starts(visible_starts);
                return scan.finish(true);
            }
        // Nothing is left to learn from a stem inside a counted line.
        if (stems_wanted && !scan.has_escape() && !scan.stem_line_counted(i + 31)) {
            const __m256i found = stem_filter(p, f);
            auto m = stem_candidates(found);
            if (m != 0) _mm256_store_si256(reinterpret_cast<__m256i*>(buckets), found);
            for (; m != 0; m &= m - 1) {
                const auto k = static_cast<unsigned>(std::countr_zero(m));
                if (!scan.stem_line_counted(i + k) && stem_piece_at(text, i + k, buckets[k])) scan.on_stem(i + k);
            }
        }
        i += 32;
    }
    scan.add_visible_starts(visible_starts);
    return scan.finish(true);
}

#endif

bool has_avx2() {
#if defined(__x86_64__)
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
#else
    return false;
#endif
}

// The "#" and escape bytes of a text reported to a FactScan, up to a byte
// that moves on as the stem probes do: the text is then read from memory
// once, by this pass, and the probes find their lines in the cache.
class MarkPass {
public:
    MarkPass(std::string_view text, FactScan& scan, bool avx2) : text_(text), scan_(scan), avx2_(avx2) {}

    // Reads on to `to` at least, a whole stride of kMarkPassLead bytes at a
    // time.
    void advance_to(std::size_t to) {
        if (to <= done_ || done_ == text_.size()) return;
        to = std::min(done_ + kMarkPassLead * ((to - done_) / kMarkPassLead + 1), text_.size());
        if (!stopped_) {
#if defined(__x86_64__)
            if (avx2_)
                stopped_ = !scan_marks_avx2(text_, done_, to, scan_);
            else
#endif
                for_each_of_two_bytes(text_.substr(done_, to - done_), '#', '\x1b', [&](std::size_t at) {
                    return !(stopped_ = !scan_.on_mark(done_ + at));
                });
        }
        done_ = to;
    }

private:
    std::string_view text_;
    FactScan& scan_;
    bool avx2_;
    std::size_t done_ = 0;
    bool stopped_ = false;
};

// The lines of a folded run share one template, and a template is the
// line's whitespace-separated tokens, each rewritten alone (summary's
// diagnostic_template_for_line), joined by single spaces; no rewritten
// token holds a space. So the lines' templates hold their k-th tokens,
// rewritten, as their k-th pieces. A token of ASCII bytes without a digit,
// "/", "\\", "." or kMinHashDigits hex digits in a row is kept as it is (it
// can be no path, address, hash or number): two lines whose k-th tokens are
// both such and differ have different templates, and cannot share a run.
// Only the first kHeadTokens tokens are compared, and only while no
// terminal code (whose removal may join tokens) or non-ASCII byte (which
// may be whitespace) comes first.
constexpr std::size_t kHeadTokens = 2;
using normalization::kMinHashDigits;

enum : std::uint8_t { kHeadBlank = 1, kHeadRewritten = 2, kHeadHex = 4, kHeadUnknown = 8 };
constexpr auto kHeadByteClass = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned c = 0; c < 256; ++c) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') t[c] = kHeadBlank;
        if (c >= 0x80 || c == 0x1b) t[c] = kHeadUnknown;
        if (c == '/' || c == '\\' || c == '.' || (c >= '0' && c <= '9')) t[c] |= kHeadRewritten;
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) t[c] |= kHeadHex;
    }
    return t;
}();

// Longer tokens are not read through: such a line may match any other.
constexpr std::size_t kMaxHeadTokenBytes = 15;

// The next token of `line` from `pos` on when it is surely kept as it is in
// the template, moving `pos` past it; false when there is none, or when it
// may be rewritten or cannot be told (a terminal code, a non-ASCII byte, a
// long token), which ends the comparison. `text_end` ends the readable
// bytes, of which the 16 from the token are tested at once.
bool next_kept_token(std::string_view line, const char* text_end, std::size_t& pos, std::string_view& token) {
    std::size_t i = pos;
    while (i < line.size() && kHeadByteClass[static_cast<unsigned char>(line[i])] == kHeadBlank) ++i;
    const std::size_t start = i;
    if (start >= line.size()) return false;
    std::size_t length = 0;
#if defined(__SSE2__)
    if (text_end - (line.data() + start) >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + start));
        const __m128i control = _mm_sub_epi8(v, _mm_set1_epi8('\t'));
        const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')),
                                           _mm_cmpeq_epi8(_mm_min_epu8(control, _mm_set1_epi8(4)), control));
        auto ends = static_cast<std::uint32_t>(_mm_movemask_epi8(blank));
        if (line.size() - start < 16) ends |= std::uint32_t{1} << (line.size() - start);
        if (ends == 0) return false;
        length = static_cast<std::size_t>(std::countr_zero(ends));
        const std::uint32_t inside = (std::uint32_t{1} << length) - 1;
        // Visible ASCII but "." to "9" (".", "/" and the digits) and "\\".
        const __m128i visible =
            _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(' ')), _mm_cmplt_epi8(v, _mm_set1_epi8(0x7f)));
        const __m128i dot_to_nine = _mm_sub_epi8(v, _mm_set1_epi8('.'));
        const __m128i rewritten =
            _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(dot_to_nine, _mm_set1_epi8(11)), dot_to_nine),
                         _mm_cmpeq_epi8(v, _mm_set1_epi8('\\')));
        const auto kept = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_andnot_si128(rewritten, visible)));
        if ((kept & inside) != inside) return false;
        // Hex letters: no run long enough for a hash (digits are out already).
        const __m128i letter = _mm_sub_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
        const auto hex = static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter)));
        std::uint32_t run = hex & inside;  // bit k: hex letters from k on, 1, 2, 4, 8, then 12 of them
        run &= run >> 1;
        run &= run >> 2;
        run &= run >> 4;
        run &= run >> 4;
        static_assert(kMinHashDigits == 12);
        if (run != 0) return false;
    } else
#endif
    {
        const std::size_t end = std::min(line.size(), start + kMaxHeadTokenBytes + 1);
        std::size_t hex_run = 0;
        for (; i < end; ++i) {
            const unsigned c = kHeadByteClass[static_cast<unsigned char>(line[i])];
            if (c & kHeadBlank) break;
            if (c & (kHeadRewritten | kHeadUnknown)) return false;
            hex_run = c & kHeadHex ? hex_run + 1 : 0;
            if (hex_run >= kMinHashDigits) return false;
        }
        length = i - start;
    }
    if (length == 0 || length > kMaxHeadTokenBytes) return false;
    token = line.substr(start, length);
    pos = start + length;
    return true;
}

// False when lines `a` and `b` of a text ending at `text_end` surely have
// different templates.
bool heads_may_match(std::string_view a, std::string_view b, const char* text_end) {
    std::size_t at_a = 0;
    std::size_t at_b = 0;
    for (std::size_t k = 0; k < kHeadTokens; ++k) {
        std::string_view token_a;
        std::string_view token_b;
        if (!next_kept_token(a, text_end, at_a, token_a) || !next_kept_token(b, text_end, at_b, token_b)) return true;
        if (token_a != token_b) return false;
    }
    return true;
}

// Whether line `i` goes with the run line `linked`, or, for a probe (npos),
// with some neighbour.
bool goes_with_run(const text::LineIndex& lines, std::size_t i, std::size_t linked) {
    const char* end = lines.text().data() + lines.text().size();
    if (linked != std::string_view::npos) return heads_may_match(lines[i], lines[linked], end);
    return (i > 0 && heads_may_match(lines[i - 1], lines[i], end)) ||
           (i + 1 < lines.size() && heads_may_match(lines[i], lines[i + 1], end));
}

#if defined(__x86_64__)
// has_stem_run with the stem filter, its tables loaded once.
__attribute__((target("avx2,popcnt"))) bool has_stem_run_avx2(const text::LineIndex& lines, MarkPass& marks) {
    StemFilter f;
    load_stem_filter(f);
    alignas(32) std::uint8_t buckets[32];
    const std::string_view text = lines.text();
    BlockReader reader(text);
    RunSearch search(lines.size());
    for (std::size_t i; (i = search.line()) != std::string_view::npos;) {
        const std::size_t start = lines.start(i);
        marks.advance_to(start + kMarkPassLead);
        search.answer(has_stem_or_escape_avx2(text, start, lines[i].size(), f, buckets, reader) &&
                      goes_with_run(lines, i, search.linked()));
    }
    return search.found();
}
#undef QV_AVX2
#endif

// Whether some kMinRunLines lines in a row each hold a signal stem or a
// terminal code, each going with the next (heads_may_match), as the lines
// of a folded run must. The mark pass runs ahead of the probes.
bool has_stem_run(const text::LineIndex& lines, bool avx2, MarkPass& marks) {
#if defined(__x86_64__)
    if (avx2) return has_stem_run_avx2(lines, marks);
#endif
    RunSearch search(lines.size());
    for (std::size_t i; (i = search.line()) != std::string_view::npos;) {
        marks.advance_to(lines.start(i) + kMarkPassLead);
        const std::string_view line = lines[i];
        search.answer(goes_with_run(lines, i, search.linked()) &&
                      (line.find('\x1b') != std::string_view::npos || kSignalStemSet.found_in(line)));
    }
    return search.found();
}

// Whether some kMinRunLines lines in a row may each have a template.
bool has_possible_run(const text::LineIndex& lines, bool plain_text, Depth depth) {
    return has_run_of(lines.size(), [&](std::size_t i) { return may_have_template(lines[i], plain_text, depth); });
}

// One pass over the line starts and ends for the guard's cheapest signs: a
// diff, test or CI line start, old and new file headers, and JSON records
// in at least 70 % of all lines. True when one shows.
bool has_foreign_line_shapes(const text::LineIndex& lines) {
    const std::uint64_t line_count = lines.size();
    std::uint64_t json_records = 0;
    bool minus_header = false;
    bool plus_header = false;
    for (std::string_view line : lines) {
        const std::string_view r = line.substr(text::leading_blanks(line));
        if (r.empty() || !text::is_visible_ascii(r[0])) continue;
        switch (r[0]) {
            case '{':
                if (r.back() == '}' && r.find(':') != std::string_view::npos &&
                    ++json_records * 100 >= line_count * kMinJsonPercent)
                    return true;
                break;
            case '-':
                minus_header = minus_header || r.starts_with("--- ");
                break;
            case '+':
                plus_header = plus_header || r.starts_with("+++ ");
                break;
            default:
                if (is_foreign_line_start(r)) return true;
        }
    }
    return minus_header && plus_header;
}

bool is_json_record_line(std::string_view t) {
    return t.starts_with('{') && t.ends_with('}') && text::contains(t, ":");
}

bool is_json_line(std::string_view t) {
    return (t.starts_with('{') || t.starts_with('[')) && (t.ends_with('}') || t.ends_with(']')) &&
           text::contains(t, ":");
}

}  // namespace

GuardScan::GuardScan(std::uint64_t line_count, bool stop_on_build)
    : line_count_(line_count), stop_on_build_(stop_on_build) {}

bool GuardScan::add(std::string_view line, bool* may_signal) {
    const std::string_view t = text::trim(line);
    if (may_signal) *may_signal = false;
    if (t.empty()) return false;
    if (++guard_lines_ == 1) only_line_ = t;
    if (is_foreign_line_start(t) || (t.starts_with("Running ") && text::contains(t, " tests using ")) ||
        (t.find('\t') != std::string_view::npos && text::contains(t, "T") && text::contains(t, "Z ")))
        return owned_ = true;
    minus_header_ = minus_header_ || t.starts_with("--- ");
    plus_header_ = plus_header_ || t.starts_with("+++ ");
    ran_tests_ = ran_tests_ || (t.starts_with("Ran ") && text::contains(t, " tests in "));
    test_verdict_ = test_verdict_ || t == "OK" || t.starts_with("FAILED (");
    if ((minus_header_ && plus_header_) || (ran_tests_ && test_verdict_)) return owned_ = true;
    if (is_json_record_line(t) && ++json_records_ * 100 >= line_count_ * kMinJsonPercent) return owned_ = true;
    if (t.find('|') != std::string_view::npos) ++pipe_lines_;
    rule_line_ = rule_line_ || guards::is_table_rule_line(t);
    if (rule_line_ && guards::is_table_share(pipe_lines_, true, guard_lines_)) return owned_ = true;

    const std::uint32_t groups = kGuardWords.groups_in(t, 1u << kOwnedGroup);
    if (groups & (1u << kOwnedGroup)) return owned_ = true;
    if (groups & (1u << kBuildGroup)) {
        build_or_package_ = true;
        if (stop_on_build_) return owned_ = true;
    }
    if (may_signal) *may_signal = (groups & (1u << kSignalGroup)) != 0 || t.find('\x1b') != std::string_view::npos;
    return false;
}

GuardEvidence GuardScan::finish(const text::LineIndex& lines) const {
    GuardEvidence evidence;
    evidence.build_or_package = build_or_package_;
    if (owned_) {
        evidence.owned = true;
        return evidence;
    }
    const bool json =
        guard_lines_ == 1 ? is_json_line(only_line_) : json_records_ * 100 >= guard_lines_ * kMinJsonPercent;
    evidence.owned = guard_lines_ == 0 || json || guards::is_table_share(pipe_lines_, rule_line_, guard_lines_);
    // Trace markers outweigh build phrases, so they matter only beside one.
    if (build_or_package_)
        for (std::string_view line : lines)
            if (native::is_native_trace_marker(line)) {
                evidence.trace_marker = true;
                break;
            }
    return evidence;
}

namespace {

// The run length of a trace: the longest stretch of frames numbered one
// after another from 0 or 1.
std::uint64_t longest_frame_run(const std::vector<NativeFrameEvidence>& frames) {
    std::uint64_t longest = 0;
    std::uint64_t run = 0;
    std::uint64_t previous = 0;
    for (const NativeFrameEvidence& frame : frames) {
        if (run > 0 && previous != UINT64_MAX && frame.frame_number == previous + 1)
            ++run;
        else
            run = frame.frame_number <= 1 ? 1 : 0;
        previous = frame.frame_number;
        longest = std::max(longest, run);
    }
    return longest;
}

constexpr std::array<std::string_view, 6> kIssuePhrases = {"follow-up issue", "follow-up issues", "issue list",
                                                           "issues:",         "checklist",        "todo"};

// The lines before the first frame read as an issue list or a to-do list
// that quotes a trace, not as a crash report.
bool has_issue_context(const text::LineIndex& lines, std::size_t first_frame) {
    for (std::size_t i = 0; i < first_frame; ++i) {
        const std::string lowered = text::to_lower(text::strip_ansi(lines[i]));
        for (std::string_view phrase : kIssuePhrases)
            if (text::contains(lowered, phrase)) return true;
        std::string_view t = text::trim(lowered);
        while (t.ends_with(':')) t.remove_suffix(1);
        if (text::equals_any(t, {"todo", "issue", "issues", "checklist"}) ||
            text::ends_with_any(t, {" issue", " issues", " checklist", " todo"}))
            return true;
    }
    return false;
}

// `s` without `prefix` and the whitespace after it, or nothing.
std::optional<std::string_view> after_prefix(std::string_view s, std::string_view prefix) {
    if (!s.starts_with(prefix)) return std::nullopt;
    return text::trim_start(s.substr(prefix.size()));
}

// Steps 2 to 6 of the header test on one lowered line; the confirmation is
// left to the caller.
bool has_sanitizer_header_shape(std::string_view lowered) {
    std::string_view s = text::trim_start(lowered);
    if (text::char_count(s) == 1) return false;
    if (s.starts_with("==")) {
        const std::size_t close = s.find("==", 2);
        if (close == std::string_view::npos) return false;
        s = text::trim_start(s.substr(close + 2));
    }
    std::optional<std::string_view> rest = after_prefix(s, "error:");
    if (!rest) rest = after_prefix(s, "summary:");
    if (!rest) return false;
    s = *rest;
    bool named = false;
    for (std::string_view name :
         {"addresssanitizer:", "undefinedbehaviorsanitizer:", "threadsanitizer:", "leaksanitizer:", "memorysanitizer:"})
        if (const auto after = after_prefix(s, name)) {
            s = *after;
            named = true;
            break;
        }
    if (!named) return false;
    std::string_view word = s;
    if (const auto split = text::split_once_whitespace(s)) word = split->first;
    if (text::equals_any(word, {"todo", "issue", "issues", "follow-up", "checklist"})) return false;
    if (!text::contains(word, "-") && !text::equals_any(word, {"leak", "segv", "crash", "runtime", "detected",
                                                               "undefined", "attempting", "deadlysignal"}))
        return false;
    return !text::contains_any(lowered, {" expected", " follow-up", " todo"});
}

// Whether one of lines 0 to `last` is a confirmed sanitizer header. The
// phrases that confirm a header from earlier lines are remembered as the
// lines go by, so no line is read twice.
bool has_sanitizer_header(const text::LineIndex& lines, std::size_t last) {
    bool confirmed_by_earlier = false;
    for (std::size_t i = 0; i <= last; ++i) {
        const std::string lowered = text::to_lower(text::strip_ansi(lines[i]));
        confirmed_by_earlier =
            confirmed_by_earlier ||
            text::contains_any(lowered, {"read of size ", "write of size ", "previously allocated", "summary:"});
        if (!has_sanitizer_header_shape(lowered)) continue;
        if (confirmed_by_earlier ||
            text::contains_any(lowered, {" on address ", " on 0x", " at pc ", "deadlysignal", "leak", "runtime error"}))
            return true;
    }
    return false;
}

// Whether the frames' evidence makes the text a crash report (the frames
// come with at least one marker line).
bool accepts_marked_trace(const std::vector<NativeFrameEvidence>& frames, bool strong_marker) {
    std::uint64_t with_address = 0;
    std::uint64_t without_address = 0;
    std::uint64_t located = 0;
    for (const NativeFrameEvidence& frame : frames) {
        if (frame.has_address) {
            ++with_address;
            if (frame.has_module_path) ++located;
        } else {
            ++without_address;
        }
    }
    const std::uint64_t run = longest_frame_run(frames);
    if (!strong_marker) return run >= kMinEvidence && (located >= kMinEvidence || without_address >= kMinEvidence);
    if (with_address >= kMinEvidence && run < kMinEvidence) {
        std::array<bool, kMinEvidence> seen{};
        for (const NativeFrameEvidence& frame : frames)
            if (frame.frame_number < kMinEvidence) seen[frame.frame_number] = true;
        return std::all_of(seen.begin(), seen.end(), [](bool b) { return b; });
    }
    return run >= kMinEvidence;
}

}  // namespace

bool has_other_filter_ownership(const text::LineIndex& lines, bool native_mode) {
    GuardScan scan(lines.size(), false);
    for (std::string_view line : lines)
        if (scan.add(line, nullptr)) break;
    return scan.finish(lines).owns(native_mode);
}

bool has_strong_native_trace_marker(const text::LineIndex& lines) {
    for (std::string_view line : lines)
        if (native::is_strong_native_trace_marker(line)) return true;
    return false;
}

std::optional<DiagnosticSignal> detect_repeated_diagnostics(const text::LineIndex& lines) {
    if (has_other_filter_ownership(lines, false)) return std::nullopt;
    return detect_repeated_diagnostics_unowned(lines);
}

std::optional<DiagnosticSignal> detect_repeated_diagnostics_unowned(const text::LineIndex& lines,
                                                                    const std::vector<bool>* may_have_template) {
    std::uint64_t nonblank = 0;
    for (std::string_view line : lines)
        if (!text::trim(line).empty()) ++nonblank;
    if (nonblank < kMinNonblankLines) return std::nullopt;

    DiagnosticSignal signal;
    signal.line_templates.assign(lines.size(), DiagnosticSignal::kNoTemplate);
    // Each template text is kept once, and written for a line into one
    // buffer that is reused.
    std::unordered_map<std::string_view, std::uint32_t> ids;
    std::vector<std::uint64_t> counts;
    std::string tmpl, scratch;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (may_have_template && !(*may_have_template)[i]) continue;
        if (!summary::write_diagnostic_template(lines[i], tmpl, scratch)) continue;
        auto it = ids.find(tmpl);
        if (it == ids.end()) {
            it = ids.emplace(signal.templates.emplace_back(tmpl), static_cast<std::uint32_t>(counts.size())).first;
            counts.push_back(0);
        }
        ++counts[it->second];
        signal.line_templates[i] = it->second;
    }

    std::uint64_t covered = 0;
    signal.repeated.assign(counts.size(), false);
    for (std::size_t id = 0; id < counts.size(); ++id)
        if (counts[id] >= kMinRepeats) {
            signal.repeated[id] = true;
            signal.repeated_templates.push_back(signal.templates[id]);
            covered += counts[id];
        }
    if (covered < kMinCoveredLines || covered * 100 < nonblank * kMinCoveredPercent) return std::nullopt;
    std::sort(signal.repeated_templates.begin(), signal.repeated_templates.end());
    return signal;
}

std::optional<NativeTraceSignal> detect_native_trace(const text::LineIndex& lines) {
    if (has_other_filter_ownership(lines, true)) return std::nullopt;
    return detect_native_trace_unowned(lines);
}

std::optional<NativeTraceSignal> detect_native_trace_unowned(const text::LineIndex& lines) {
    NativeTraceSignal signal;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (const auto evidence = native::parse_native_frame_evidence(lines[i])) {
            signal.evidence_lines.push_back(i);
            signal.frames.push_back(*evidence);
        }
    if (signal.frames.empty()) return std::nullopt;
    const std::size_t first_frame = signal.evidence_lines.front();

    const bool issue_context = has_issue_context(lines, first_frame);
    if (issue_context && !has_strong_native_trace_marker(lines)) return std::nullopt;

    std::optional<std::size_t> first_marker;
    for (std::size_t i = 0; i < lines.size() && !first_marker; ++i)
        if (native::is_native_trace_marker(lines[i])) first_marker = i;

    std::string_view headline_source;
    if (!first_marker) {
        std::uint64_t located = 0;
        for (const NativeFrameEvidence& frame : signal.frames)
            if (frame.has_address && frame.has_module_path) ++located;
        if (signal.frames.size() < kMinFramesWithoutMarker || located < kMinEvidence ||
            longest_frame_run(signal.frames) < kMinEvidence)
            return std::nullopt;
        headline_source = lines[first_frame];
        for (std::size_t i = first_frame; i-- > 0;)
            if (!text::trim(lines[i]).empty()) {
                headline_source = lines[i];
                break;
            }
    } else {
        if (signal.frames.size() < kMinFramesWithMarker) return std::nullopt;
        if (issue_context && !has_sanitizer_header(lines, first_frame)) {
            const auto in_binary = std::count_if(signal.frames.begin(), signal.frames.end(),
                                                 [](const NativeFrameEvidence& f) { return f.in_binary; });
            if (static_cast<std::uint64_t>(in_binary) < kMinEvidence) return std::nullopt;
        }
        if (!accepts_marked_trace(signal.frames, has_strong_native_trace_marker(lines))) return std::nullopt;
        headline_source = lines[*first_marker];
    }
    signal.headline = native::native_headline_summary(headline_source);
    if (signal.headline.empty()) return std::nullopt;
    return signal;
}

TextFacts scan_text_facts(const text::LineIndex& lines, bool diagnostics_possible) {
    const std::string_view text = lines.text();
    const bool avx2 = has_avx2();
#if defined(__x86_64__)
    // Short lines cost less read through in one pass than probed.
    if (avx2 && diagnostics_possible && text.size() < lines.size() * kMaxProbedShortLineBytes) {
        FactScan scan(text);
        TextFacts facts = count_text_facts_avx2(text, lines.size(), scan);
        facts.diagnostics_possible = facts.diagnostics_possible && (facts.has_escape || scan.run_found());
        return facts;
    }
#endif
    FactScan scan(text);
    MarkPass marks(text, scan, avx2);
    const bool stem_run = diagnostics_possible && has_stem_run(lines, avx2, marks);
#if defined(__x86_64__)
    if (stem_run && avx2) {
        FactScan counts(text);
        return count_text_facts_avx2(text, lines.size(), counts);
    }
#endif
    marks.advance_to(text.size());
    TextFacts facts = scan.finish(false);
    facts.diagnostics_possible = stem_run;
    return facts;
}

Prospects assess_prospects(const text::LineIndex& lines, bool diagnostics_possible) {
    return assess_prospects(lines, diagnostics_possible, scan_text_facts(lines, diagnostics_possible));
}

Prospects assess_prospects(const text::LineIndex& lines, bool diagnostics_possible, const TextFacts& facts) {
    Prospects prospects;
    prospects.native_trace = facts.enough_frame_starts;
    if (!diagnostics_possible || lines.size() < kMinNonblankLines) return prospects;
    // The shapes of lines first, then, where runs remain possible, the
    // guard's cheap signs, and only then the words of the lines.
    const bool plain_text = !facts.has_escape;
    if (!has_possible_run(lines, plain_text, Depth::kShape)) return prospects;
    if (has_foreign_line_shapes(lines)) return Prospects{};
    prospects.repeated_diagnostics = has_possible_run(lines, plain_text, Depth::kWords);
    return prospects;
}

}  // namespace filters::repeated_diagnostic::detector
