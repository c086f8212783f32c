#include "filters/bundle_report/detector.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

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
    if (text::contains(lower, "vite") && (text::contains(lower, "vite build") || lower.starts_with("$ vite ") ||
                                          text::contains(lower, " building ") || lower.starts_with("vite v")))
        return true;
    return text::contains(lower, "rollup") &&
           (text::contains(lower, "rollup -c") || text::contains(lower, "rollup build") ||
            text::contains(lower, " building ") || text::contains(lower, "bundle") || lower.starts_with("rollup v"));
}

bool has_diagnostic_word(std::string_view lower) {
    static constexpr std::string_view words[] = {"error", "errors",  "failed",   "failure",
                                                 "fatal", "warning", "warnings", "warn"};
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
    return (text::contains(lower, "chunk") && text::contains(lower, "larger than")) || text::contains(lower, "(!)") ||
           has_diagnostic_word(lower);
}

#if defined(__SSE2__) && defined(__GNUC__)
// The sixty-four bits of two compare results.
inline __attribute__((target("avx2"), always_inline)) std::uint64_t bits(__m256i a, __m256i b) {
    return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(a))} |
           std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(b))} << 32;
}

// The same look as the SSE2 loop in `may_hold_gzip_stage`, sixty-four bytes
// a step: `check_mask` is called with each step's candidate bits (a "z"
// after a "g", any ESC or "\r") and says whether the phrase was found; `i`
// is left where the bytewise tail takes over.
template <class CheckMask>
__attribute__((target("avx2"))) bool gzip_candidates_avx2(std::string_view text, std::size_t& i,
                                                          const std::size_t& skip_to, CheckMask& check_mask) {
    const __m256i fold = _mm256_set1_epi8(0x20), g = _mm256_set1_epi8('g'), z = _mm256_set1_epi8('z');
    const __m256i esc = _mm256_set1_epi8('\x1b'), cr = _mm256_set1_epi8('\r');
    while (i + 64 <= text.size()) {
        const __m256i raw0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text.data() + i));
        const __m256i raw1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text.data() + i + 32));
        const __m256i folded0 = _mm256_or_si256(raw0, fold), folded1 = _mm256_or_si256(raw1, fold);
        const __m256i z0 = _mm256_cmpeq_epi8(folded0, z), z1 = _mm256_cmpeq_epi8(folded1, z);
        const __m256i c0 = _mm256_or_si256(_mm256_cmpeq_epi8(raw0, esc), _mm256_cmpeq_epi8(raw0, cr));
        const __m256i c1 = _mm256_or_si256(_mm256_cmpeq_epi8(raw1, esc), _mm256_cmpeq_epi8(raw1, cr));
        const __m256i any = _mm256_or_si256(_mm256_or_si256(z0, z1), _mm256_or_si256(c0, c1));
        // Most steps hold no "z" and no control byte at all.
        if (!_mm256_testz_si256(any, any)) {
            const std::uint64_t g_mask = bits(_mm256_cmpeq_epi8(folded0, g), _mm256_cmpeq_epi8(folded1, g));
            const std::uint64_t g_before = g_mask << 1 | (i > 0 && (text[i - 1] | 0x20) == 'g' ? 1u : 0u);
            const std::uint64_t mask = (bits(z0, z1) & g_before) | bits(c0, c1);
            if (mask != 0 && check_mask(i, mask)) return true;
        }
        i = std::max(i + 64, skip_to);
    }
    return false;
}
#endif

}  // namespace

bool may_hold_gzip_stage(std::string_view text) {
    // One pass finds the three things that matter: the "gz" of the phrase
    // (ASCII case folded by setting bit 5), and ESC and "\r", which may hide
    // the phrase until the line is normalised. Sixty-four positions per step
    // where the processor has AVX2, thirty-two otherwise; a hit is the "z" of
    // a "gz", found from one load per sixteen (or thirty-two) bytes.
    constexpr std::size_t kZAt = 11;  // "computing g" stands before "z"
    auto phrase_at = [&](std::size_t z) {
        return z >= kZAt && (text[z - 1] | 0x20) == 'g' && z - kZAt + kGzipStage.size() <= text.size() &&
               text::equals_ignore_case(text.substr(z - kZAt, kGzipStage.size()), kGzipStage);
    };
    // Whether the line that holds byte `at`, normalised, holds the phrase;
    // `next` receives the end of that line, where the search goes on.
    auto normalised_line_holds = [&](std::size_t at, std::size_t& next) {
        const std::size_t before = text.rfind('\n', at);
        const std::size_t start = before == std::string_view::npos ? 0 : before + 1;
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        next = end;
        return text::contains_ignore_case(normalize_line(text.substr(start, end - start)), kGzipStage);
    };
    auto check = [&](std::size_t at, std::size_t& next) {
        const char c = text[at];
        if (c == '\x1b' || c == '\r') return normalised_line_holds(at, next);
        next = at + 1;
        return (c | 0x20) == 'z' && phrase_at(at);
    };
    std::size_t i = 0;
    std::size_t skip_to = 0;  // the end of the last line normalised whole
    // Calls `check` at each bit of `mask` (byte `at` + bit), in order; true
    // when the phrase is found.
    auto check_mask = [&](std::size_t at, std::uint64_t mask) {
        for (; mask != 0; mask &= mask - 1) {
            const std::size_t hit = at + static_cast<std::size_t>(std::countr_zero(mask));
            if (hit < skip_to) continue;
            std::size_t next = 0;
            if (check(hit, next)) return true;
            if (next > skip_to) skip_to = next;
        }
        return false;
    };
#if defined(__SSE2__)
#if defined(__GNUC__)
    if (__builtin_cpu_supports("avx2")) {
        if (gzip_candidates_avx2(text, i, skip_to, check_mask)) return true;
    } else
#endif
    {
        const __m128i fold = _mm_set1_epi8(0x20), g = _mm_set1_epi8('g'), z = _mm_set1_epi8('z');
        const __m128i esc = _mm_set1_epi8('\x1b'), cr = _mm_set1_epi8('\r');
        struct Masks {
            unsigned g, z, control;
        };
        auto masks = [&](std::size_t at) {
            const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
            const __m128i folded = _mm_or_si128(raw, fold);
            return Masks{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(folded, g))),
                         static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(folded, z))),
                         static_cast<unsigned>(
                             _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(raw, esc), _mm_cmpeq_epi8(raw, cr))))};
        };
        while (i + 32 <= text.size()) {
            const Masks low = masks(i), high = masks(i + 16);
            const unsigned g_before = (low.g | high.g << 16) << 1 | (i > 0 && (text[i - 1] | 0x20) == 'g' ? 1u : 0u);
            const unsigned mask = ((low.z | high.z << 16) & g_before) | low.control | high.control << 16;
            if (mask != 0 && check_mask(i, mask)) return true;
            i = std::max(i + 32, skip_to);
        }
    }
#endif
    for (i = std::max(i, skip_to); i < text.size();) {
        std::size_t next = 0;
        if (check(i, next)) return true;
        i = std::max(i + 1, next);
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

std::string_view normalized_view(std::string_view line, std::string& buffer) {
    if (line.find_first_of("\x1b\r") == std::string_view::npos) return text::trim_end(line);
    buffer = normalize_line(line);
    return buffer;
}

std::optional<AssetRow> parse_asset_row(std::string_view line) {
    std::string buffer;
    return parse_normalized_row(text::trim(normalized_view(line, buffer)));
}

std::optional<AssetRow> parse_normalized_row(std::string_view t) {
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
    std::string buffer, lower;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view t = text::trim(normalized_view(lines[i], buffer));
        if (auto row = parse_normalized_row(t)) {
            report.rows.push_back(std::move(*row));
            is_row[i] = true;
        }
        lower.assign(t);
        for (char& c : lower) c = text::to_lower_ascii(c);
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
