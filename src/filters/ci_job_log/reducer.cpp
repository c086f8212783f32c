#include "filters/ci_job_log/reducer.h"

#include "filters/ci_job_log/detector.h"
#include "filters/ci_job_log/summary.h"
#include "filters/filter.h"

namespace filters::ci_job_log::reducer {

namespace {

constexpr std::size_t kMinSummaryLines = 2;
constexpr std::string_view kNoisyLine = "noisy line";

std::string_view status_word(const detector::CiJobLogSignals& signals) {
    if (signals.has_failure) return "failure";
    if (signals.has_warning) return "warning";
    return "success";
}

// The summary as it is written: one "step: ..." line each time the log
// enters another step, the lines that matter, and one marker for each run
// of lines dropped in between.
class StepSummary {
public:
    explicit StepSummary(std::string_view status) {
        out_.add(text::format("{} github-actions {}", headline::kCiLog, status));
    }

    void start_step(std::string_view label) {
        label = text::trim(label);
        if (label.empty() || (current_step_ && *current_step_ == label)) return;
        flush_noise();
        out_.add_unless_blank_or_repeat(text::format("step: {}", label));
        current_step_ = std::string(label);
    }

    void keep(std::string_view line) {
        flush_noise();
        out_.add_unless_blank_or_repeat(line);
    }

    void drop() { ++noisy_; }

    Attempt finish(std::string_view input, bool final_newline) {
        flush_noise();
        if (out_.line_count() < kMinSummaryLines) return std::nullopt;
        return out_.take_if_smaller(input, final_newline);
    }

private:
    void flush_noise() {
        if (noisy_ == 0) return;
        out_.add_unless_blank_or_repeat(omission_marker(noisy_, kNoisyLine));
        noisy_ = 0;
    }

    SummaryWriter out_;
    std::optional<std::string> current_step_;
    std::uint64_t noisy_ = 0;
};

}  // namespace

Attempt try_compress_ci_job_log_output(const FilterInput& input) {
    const auto signals = detector::detect_ci_job_log(input.lines);
    if (!signals) return std::nullopt;

    StepSummary summary(status_word(*signals));
    bool in_group = false;
    for (std::string_view raw : input.lines) {
        const summary::CiLine line = summary::parse_ci_line(raw);
        const std::string_view m = text::trim(line.message);
        if (m.empty()) continue;
        if (const auto title = summary::extract_group_step(m)) {
            summary.start_step(*title);
            in_group = true;
            continue;
        }
        if (!in_group) {
            if (const auto label = summary::step_label_for_line(line)) {
                summary.start_step(*label);
                if (*label == m) continue;  // the line only announces its step
            }
        }
        if (summary::is_group_end(m)) {
            in_group = false;
            continue;
        }
        if (summary::is_important_line(m))
            summary.keep(m);
        else
            summary.drop();
    }
    return summary.finish(input.text, input.lines.final_newline());
}

std::string compress_ci_job_log_output(std::string_view text) {
    return run_alone(&try_compress_ci_job_log_output, text);
}

}  // namespace filters::ci_job_log::reducer
