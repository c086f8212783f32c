// The records of the repeated-diagnostic family: line templates and the
// detectors' findings for repeated diagnostics and native traces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace filters::repeated_diagnostic::types {

// Repeated diagnostics are folded only when the lines of the repeated
// templates make at least this share of the nonblank lines.
inline constexpr std::uint64_t kMinCoveredPercent = 35;
// A run of equal templates is folded from this many lines on.
inline constexpr std::size_t kMinRunLines = 4;

// One diagnostic line with its variable parts replaced by placeholders
// ("<path>", "<addr>", "<hash>", "<num>", "==<pid>=="). Lines belong
// together exactly when their template texts are equal; the paths that were
// replaced are listed later as affected paths.
struct DiagnosticTemplate {
    std::string template_text;
    std::vector<std::string> paths;
};

// What the repeated-diagnostics detector found: each line's template, as
// the number of its text among the texts met (each text is kept once, so a
// long run of one diagnostic costs four bytes a line), whether each text
// was met at least kMinRepeats times, and those texts sorted by bytes.
struct DiagnosticSignal {
    static constexpr std::uint32_t kNoTemplate = UINT32_MAX;
    std::vector<std::uint32_t> line_templates;  // by line: an id, or kNoTemplate
    std::deque<std::string> templates;          // by id
    std::vector<bool> repeated;                 // by id
    std::vector<std::string> repeated_templates;

    // Whether line `i` has a template that recurs often enough to fold.
    bool has_repeated_template(std::size_t i) const {
        return line_templates[i] != kNoTemplate && repeated[line_templates[i]];
    }
};

// What one numbered stack-frame line shows.
struct NativeFrameEvidence {
    std::uint64_t frame_number = 0;
    bool has_address = false;      // a hexadecimal address, or "pc" and one
    bool has_module_path = false;  // a path or a module file
    bool in_binary = false;        // a shared library or executable
    bool in_project = false;       // the project's own source
};

// What the native-trace detector found: every frame line (in line order,
// with its evidence) and the headline.
struct NativeTraceSignal {
    std::vector<std::size_t> evidence_lines;
    std::vector<NativeFrameEvidence> frames;  // one per evidence line
    std::string headline;
};

}  // namespace filters::repeated_diagnostic::types
