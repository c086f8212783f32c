#include "filters/bundle_report/bundle_report.h"

#include <cstring>

#include "filters/bundle_report/detector.h"
#include "text.h"

namespace filters::bundle_report {
namespace {

// Every report has a line holding this phrase.
constexpr std::string_view kGzipStage = "computing gzip size";

// Whether some line, once normalised, may hold the gzip stage phrase. A line
// without colour codes or carriage returns reads the same normalised, so one
// search over the whole text answers for all of those; only lines holding
// ESC or "\r" are normalised one by one. Runs on every pipeline pass, so it
// must stay a plain scan for the texts that are no report.
bool may_hold_gzip_stage(std::string_view text) {
    if (text::contains_ignore_case(text, kGzipStage)) return true;
    for (char mark : {'\x1b', '\r'}) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            const void* hit = std::memchr(text.data() + pos, mark, text.size() - pos);
            if (!hit) break;
            const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
            const std::size_t before = text.rfind('\n', at);
            const std::size_t start = before == std::string_view::npos ? 0 : before + 1;
            std::size_t end = text.find('\n', at);
            if (end == std::string_view::npos) end = text.size();
            if (text::contains_ignore_case(detector::normalize_line(text.substr(start, end - start)), kGzipStage))
                return true;
            pos = end;
        }
    }
    return false;
}

}  // namespace

bool is_diagnostic_bundle_report_output(std::string_view text) {
    if (!may_hold_gzip_stage(text)) return false;
    auto report = detector::detect_bundle_report(text::lines_of(text));
    return report && report->has_diagnostics;
}

}  // namespace filters::bundle_report
