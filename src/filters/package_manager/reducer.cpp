#include "filters/package_manager/reducer.h"

#include <vector>

#include "filters/filter.h"
#include "filters/package_manager/detector.h"
#include "filters/package_manager/summary.h"
#include "text.h"

namespace filters::package_manager::reducer {
namespace {

// Runs of package changes longer than this are cut in the middle.
constexpr std::size_t kMaxWholeRun = 6;
constexpr std::size_t kRunHead = 3;
constexpr std::size_t kRunTail = 2;
constexpr std::size_t kMinSummaryLines = 2;

// The summary under construction: the kept lines, the package changes not
// yet written, and the count of dropped lines not yet reported.
class Summary {
public:
    explicit Summary(std::string_view headline) { out_.add(headline); }

    void change(std::string_view t) { run_.push_back(t); }

    void drop() { ++dropped_; }

    void keep(std::string_view t) {
        flush_package_run();
        write_progress();
        out_.add_unless_blank_or_repeat(t);
    }

    // Writes the pending package changes, a long run as its first and last
    // lines around a count of the rest.
    void flush_package_run() {
        if (run_.empty()) return;
        write_progress();
        if (run_.size() <= kMaxWholeRun) {
            for (std::string_view line : run_) out_.add_unless_blank_or_repeat(line);
        } else {
            for (std::size_t i = 0; i < kRunHead; ++i) out_.add_unless_blank_or_repeat(run_[i]);
            out_.add_unless_blank_or_repeat(omission_marker(run_.size() - kRunHead - kRunTail, "package change line"));
            for (std::size_t i = run_.size() - kRunTail; i < run_.size(); ++i) out_.add_unless_blank_or_repeat(run_[i]);
        }
        run_.clear();
    }

    Attempt finish(std::string_view input, bool final_newline) {
        flush_package_run();
        write_progress();
        if (out_.line_count() < kMinSummaryLines) return std::nullopt;
        return out_.take_if_smaller(input, final_newline);
    }

private:
    void write_progress() {
        if (dropped_ == 0) return;
        out_.add_unless_blank_or_repeat(omission_marker(dropped_, "package-manager progress line"));
        dropped_ = 0;
    }

    SummaryWriter out_;
    std::vector<std::string_view> run_;
    std::uint64_t dropped_ = 0;
};

}  // namespace

Attempt try_compress_package_manager_output(const FilterInput& input) {
    if (!detector::worth_detecting(input.lines)) return std::nullopt;
    const text::Lines split = input.lines.to_lines();
    const auto log = detector::detect_package_manager_log(split.lines);
    if (!log) return std::nullopt;
    const std::string_view status = log->failure ? "failure" : log->warning ? "warning" : "success";
    Summary summary(text::format("{} {} {}", headline::kPackageManager, log->manager, status));
    for (std::string_view line : split.lines) {
        const std::string_view t = text::trim(line);
        switch (summary::classify_line(t)) {
            case summary::LineClass::blank:
                break;
            case summary::LineClass::package_change:
                summary.change(t);
                break;
            case summary::LineClass::important:
                summary.keep(t);
                break;
            case summary::LineClass::progress:
                summary.flush_package_run();
                summary.drop();
                break;
            case summary::LineClass::other:
                // A failed log keeps every line that may explain the failure.
                if (log->failure) {
                    summary.keep(t);
                } else {
                    summary.flush_package_run();
                    summary.drop();
                }
                break;
        }
    }
    return summary.finish(input.text, split.final_newline);
}

std::string compress_package_manager_output(std::string_view text) {
    return run_alone(&try_compress_package_manager_output, text);
}

}  // namespace filters::package_manager::reducer
