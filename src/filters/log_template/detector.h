// Decides whether a text is a log worth folding by templates: declines
// other filters' texts and summaries, then templates every line that may
// be folded and accepts when repeated templates cover enough of the text.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "filters/log_template/types.h"
#include "text.h"

namespace filters::log_template::detector {

std::optional<types::LogTemplateSignal> detect_log_templates(const text::LineIndex& lines);

// Line classifiers: lines that are never templated and always printed.
bool is_important_line(std::string_view trimmed);
bool line_has_important_key_value(const std::vector<std::string_view>& tokens);
bool is_important_kv(std::string_view key, std::string_view value);
bool has_forbidden_fragment(std::string_view trimmed);
bool line_has_secret_like_key(std::string_view line);

// Text guards over the nonblank lines.
bool looks_like_ci_log(const std::vector<std::string_view>& nonblank);
// Over the guard text (the nonblank lines joined, lower-cased).
bool looks_like_build_or_package_output(std::string_view guard_text);

}  // namespace filters::log_template::detector
