// The records of the log-template family.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace filters::log_template::types {

// One line's template: its tokens with variable values replaced by
// placeholders, and the replaced values in token order. The values view
// the line they came from.
struct LineTemplate {
    std::string template_text;
    std::vector<std::string_view> values;
};

// What the detector hands the reducer: each line's template, interned so
// that equal templates share one id, and which templates repeat.
struct LogTemplateSignal {
    static constexpr std::uint32_t kNoTemplate = std::numeric_limits<std::uint32_t>::max();

    std::vector<std::string> templates;         // by id
    std::vector<bool> repeated;                 // by id: shared by at least 8 lines
    std::vector<std::uint32_t> line_templates;  // by line: an id or kNoTemplate
    std::vector<std::string_view> values;       // every line's values, in line order
    std::vector<std::uint32_t> value_starts;    // by line, one past the end: where its values begin

    std::vector<std::string_view> values_of(std::size_t line) const {
        return {values.begin() + value_starts[line], values.begin() + value_starts[line + 1]};
    }
};

}  // namespace filters::log_template::types
