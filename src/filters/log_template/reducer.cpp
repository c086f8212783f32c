#include "filters/log_template/reducer.h"

#include "filters/log_template/detector.h"

namespace filters::log_template::reducer {

namespace {

constexpr std::size_t kListAllValuesBelow = 7;  // runs shorter than this list every value group
constexpr std::size_t kValueGroupsAtEachEnd = 3;

// "(v1, v2)": one line's values.
void append_value_group(std::string& out, const std::vector<std::string_view>& values) {
    out.push_back('(');
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (k > 0) out.append(", ");
        out.append(values[k]);
    }
    out.push_back(')');
}

// The two lines that stand for a run of `count` lines from `first`.
void write_run(SummaryWriter& out, const types::LogTemplateSignal& signal, std::size_t first, std::size_t count) {
    const std::uint32_t id = signal.line_templates[first];
    std::string line;
    append_omission_marker(line, count, "templated line", ": ");
    // The marker's own wording: "… 7 templated lines: {template}".
    line.append(signal.templates[id]);
    out.add(line);

    line.assign("  values: ");
    for (std::size_t k = 0; k < count; ++k) {
        if (count >= kListAllValuesBelow && k == kValueGroupsAtEachEnd) {
            line.append("; ").append(omission_marker(count - 2 * kValueGroupsAtEachEnd, ""));
            k = count - kValueGroupsAtEachEnd;
        }
        if (k > 0) line.append("; ");
        append_value_group(line, signal.values_of(first + k));
    }
    out.add(line);
}

}  // namespace

Attempt try_compress_log_template_output(const FilterInput& input) {
    const std::optional<types::LogTemplateSignal> signal = detector::detect_log_templates(input.lines);
    if (!signal) return std::nullopt;
    const text::LineIndex& lines = input.lines;
    const auto& ids = signal->line_templates;

    SummaryWriter out(input.text.size());
    out.add(headline::kLogTemplates);
    bool folded = false;
    for (std::size_t i = 0; i < lines.size();) {
        const std::uint32_t id = ids[i];
        if (id == types::LogTemplateSignal::kNoTemplate || !signal->repeated[id]) {
            out.add(lines[i++]);
            continue;
        }
        std::size_t end = i + 1;
        while (end < lines.size() && ids[end] == id) ++end;
        if (end - i == 1) {
            out.add(lines[i++]);
            continue;
        }
        write_run(out, *signal, i, end - i);
        folded = true;
        i = end;
    }
    if (!folded) return std::nullopt;
    return out.take_if_smaller(input.text, lines.final_newline());
}

std::string compress_log_template_output(std::string_view text) {
    return run_alone(&try_compress_log_template_output, text);
}

}  // namespace filters::log_template::reducer
