#include "filters/repeated_diagnostic/native.h"

#include <array>
#include <vector>

#include "filters/repeated_diagnostic/normalization.h"
#include "text.h"

namespace filters::repeated_diagnostic::native {

using types::NativeFrameEvidence;

namespace {

constexpr std::size_t kMinAddressBytes = 7;
constexpr std::size_t kMinPcHexDigits = 5;
constexpr std::size_t kHeadlineChars = 140;

constexpr std::string_view kSetA = "()[],";
constexpr std::string_view kSetB = "()[],;";

constexpr std::array<std::string_view, 14> kFileExtensions = {
    ".c", ".cc", ".cpp", ".h", ".hpp", ".rs", ".go", ".swift", ".m", ".mm", ".so", ".dylib", ".dll", ".exe",
};

constexpr std::array<std::string_view, 5> kSanitizerNames = {
    "AddressSanitizer:", "UndefinedBehaviorSanitizer:", "ThreadSanitizer:", "LeakSanitizer:", "MemorySanitizer:",
};

constexpr std::array<std::string_view, 7> kStrongMarkerWords = {
    "addresssanitizer", "undefinedbehaviorsanitizer", "threadsanitizer", "leaksanitizer", "memorysanitizer",
    "runtime error:",   "segmentation fault",
};

constexpr auto kStrongMarkers = text::WordSet<kStrongMarkerWords.size()>::of(kStrongMarkerWords);

constexpr auto kTraceMarkers = [] {
    std::array<std::string_view, kStrongMarkerWords.size() + 2> words{};
    std::size_t k = 0;
    for (std::string_view w : kStrongMarkerWords) words[k++] = w;
    words[k++] = "stack trace";
    words[k++] = "backtrace";
    return text::WordSet<words.size()>::of(words);
}();

using normalization::all_hex;

bool starts_with_hex_prefix(std::string_view s) { return s.starts_with("0x") || s.starts_with("0X"); }

// The text of a line without terminal codes, borrowed when it has none.
struct Plain {
    explicit Plain(std::string_view line) {
        if (line.find('\x1b') == std::string_view::npos) {
            view = line;
        } else {
            owned = text::strip_ansi(line);
            view = owned;
        }
    }
    std::string owned;
    std::string_view view;
};

bool names_binary(std::string_view lowered) {
    return text::contains(lowered, ".so") || lowered.ends_with(".dylib") || lowered.ends_with(".dll") ||
           lowered.ends_with(".exe");
}

bool has_address(const std::vector<std::string_view>& tokens) {
    const std::string_view first = text::trim_chars(tokens[0], kSetA);
    if (first.size() >= kMinAddressBytes && starts_with_hex_prefix(first) && all_hex(first.substr(2))) return true;
    if (tokens.size() < 2 || !text::equals_ignore_case(tokens[0], "pc")) return false;
    std::string_view pc = text::trim_chars(tokens[1], kSetA);
    if (starts_with_hex_prefix(pc)) pc.remove_prefix(2);
    return pc.size() >= kMinPcHexDigits && all_hex(pc);
}

bool is_function_frame(std::string_view rest, const std::vector<std::string_view>& tokens) {
    bool any_location = false;
    bool located_by_path = false;
    for (std::string_view token : tokens) {
        if (!token_has_native_file_location(token)) continue;
        any_location = true;
        const std::string_view t = text::trim_chars(token, kSetA);
        if (t.starts_with('/') || t.starts_with('\\') || t.starts_with("./") || t.starts_with("../"))
            located_by_path = true;
    }
    if (!any_location) return false;
    const bool signature = text::contains_any(rest, {"(", ")", "::", "operator", "~"}) || located_by_path;
    bool at_location = false;
    for (std::size_t i = 0; i + 1 < tokens.size() && !at_location; ++i)
        at_location = (tokens[i] == "at" || tokens[i] == "from") && token_has_native_file_location(tokens[i + 1]);
    if (tokens[0] == "in" || tokens[0] == "at") {
        if (tokens.size() < 2 || !looks_like_native_function_name(tokens[1])) return false;
        return signature || at_location;
    }
    if (!looks_like_native_function_name(tokens[0])) return false;
    if (!(tokens.size() >= 2 && token_has_native_file_location(tokens[1])) && !at_location) return false;
    return signature || at_location;
}

}  // namespace

bool token_has_native_file_location(std::string_view token) {
    const std::string_view t = text::trim_chars(token, kSetA);
    const std::size_t last = t.rfind(':');
    if (last == std::string_view::npos || !text::is_ascii_digits(t.substr(last + 1))) return false;
    std::size_t file_end = last;
    if (last > 0) {
        const std::size_t previous = t.rfind(':', last - 1);
        if (previous != std::string_view::npos && text::is_ascii_digits(t.substr(previous + 1, last - previous - 1)))
            file_end = previous;
    }
    const std::string_view file = t.substr(0, file_end);
    if (file.empty()) return false;
    for (std::string_view ext : kFileExtensions)
        if (text::ends_with_ignore_case(file, ext)) return true;
    return false;
}

bool native_frame_has_file_location(std::string_view s) {
    for (std::string_view token : text::split_whitespace(s))
        if (token_has_native_file_location(token)) return true;
    return false;
}

bool native_frame_has_binary_location(std::string_view s) {
    for (std::string_view token : text::split_whitespace(s)) {
        const std::string lowered = text::to_lower(strip_native_binary_offset(text::trim_chars(token, kSetA)));
        if (text::contains(lowered, "/") || text::contains(lowered, "\\") || names_binary(lowered)) return true;
    }
    return false;
}

bool looks_like_native_function_name(std::string_view token) {
    const std::string_view t = text::trim_chars(token, kSetA);
    if (t.empty()) return false;
    const char first = t[0];
    if (!(text::is_ascii_alpha(first) || first == '$' || first == ':' || first == '_' || first == '~')) return false;
    for (char c : t.substr(1))
        if (!(text::is_ascii_alnum(c) || c == '$' || c == '-' || c == ':' || c == '<' || c == '>' || c == '_' ||
              c == '~'))
            return false;
    return true;
}

std::string_view strip_native_binary_offset(std::string_view token) {
    const std::size_t at = token.rfind("+0x");
    if (at == std::string_view::npos) return token;
    const std::string_view digits = token.substr(at + 3);
    return !digits.empty() && all_hex(digits) ? token.substr(0, at) : token;
}

std::optional<NativeFrameEvidence> parse_native_frame_evidence(std::string_view line) {
    // A frame starts with "#", which removing terminal codes cannot bring.
    if (line.find('#') == std::string_view::npos) return std::nullopt;
    const Plain plain(line);
    const std::string_view t = text::trim(plain.view);
    if (!t.starts_with('#')) return std::nullopt;
    const std::size_t digits = text::digit_run(t, 1);
    if (digits == 0 || text::whitespace_length_at(t, 1 + digits) == 0) return std::nullopt;
    const std::optional<std::uint64_t> number = text::parse_unsigned(t.substr(1, digits));
    if (!number) return std::nullopt;
    const std::string_view rest = text::trim_start(t.substr(1 + digits));
    if (rest.empty()) return std::nullopt;
    const std::vector<std::string_view> tokens = text::split_whitespace(rest);

    NativeFrameEvidence evidence;
    evidence.frame_number = *number;
    evidence.has_address = has_address(tokens);
    if (!is_function_frame(rest, tokens) &&
        !(evidence.has_address && (native_frame_has_file_location(rest) || native_frame_has_binary_location(rest))))
        return std::nullopt;

    for (std::string_view token : tokens) {
        const std::string_view module = strip_native_binary_offset(text::trim_chars(token, kSetB));
        if (module.empty()) continue;
        if (module.starts_with('/') || text::contains(module, "\\") || text::contains(module, ".so") ||
            module.ends_with(".dylib") || module.ends_with(".dll") || module.ends_with(".exe")) {
            evidence.has_module_path = true;
            break;
        }
    }
    evidence.in_binary = text::contains_ignore_case(rest, ".so") || text::contains_ignore_case(rest, ".dylib") ||
                         text::contains_ignore_case(rest, ".dll") || text::contains_ignore_case(rest, ".exe");
    std::string project = text::to_lower(t);
    for (char& c : project)
        if (c == '\\') c = '/';
    evidence.in_project =
        text::contains_any(project, {"/workspace/", "/workspaces/", "/src/", " src/", " ./src/", " /app/"}) &&
        !text::contains(project, "node_modules");
    return evidence;
}

std::string normalize_native_line(std::string_view line) {
    const Plain plain(line);
    std::string s =
        normalization::normalize_nonzero_hex_addresses(normalization::normalize_pid_prefixes(text::trim(plain.view)));
    if (s.starts_with('#')) {
        const std::size_t digits = text::digit_run(s, 1);
        if (digits > 0 && (1 + digits == s.size() || text::whitespace_length_at(s, 1 + digits) != 0))
            s.replace(1, digits, "<num>");
    }
    return s;
}

std::string native_headline_summary(std::string_view line) {
    const std::string normalized = normalize_native_line(line);
    for (std::string_view name : kSanitizerNames) {
        const std::size_t at = normalized.find(name);
        if (at == std::string::npos) continue;
        std::string_view headline = std::string_view(normalized).substr(at);
        for (std::string_view cut : {" on address ", " on <addr>", " at ", " in "})
            if (const std::size_t c = headline.find(cut); c != std::string_view::npos) headline = headline.substr(0, c);
        return std::string(headline);
    }
    return std::string(text::take_chars(normalized, kHeadlineChars));
}

bool is_native_trace_marker(std::string_view line) { return kTraceMarkers.found_in(Plain(line).view); }

bool is_strong_native_trace_marker(std::string_view line) { return kStrongMarkers.found_in(Plain(line).view); }

}  // namespace filters::repeated_diagnostic::native
