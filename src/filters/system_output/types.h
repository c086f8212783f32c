// The records that the system-output detectors parse a text into. Every
// view points into the text being filtered, which outlives them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text.h"

namespace filters::system_output::types {

// The lines of a text with one final "\n" set aside.
using Lines = text::LineIndex;

// One KEY=VALUE line of an environment listing.
struct EnvVar {
    std::string_view key;
    std::string_view value;
};

struct EnvOutput {
    std::vector<EnvVar> vars;
};

struct DfRow {
    std::string_view line;
    std::string mount;  // the tokens after the use column, joined with single spaces
    std::uint64_t use_percent = 0;
};

struct DfOutput {
    std::string_view header;
    std::vector<DfRow> rows;
};

struct DuRow {
    std::string_view line;
    std::string_view path;
    double size = 0;  // in bytes
    bool is_total = false;
};

struct DuOutput {
    std::vector<DuRow> rows;
};

struct PsRow {
    std::optional<double> cpu;
    std::optional<double> mem;
    std::string_view line;
    std::string_view command;
};

struct PsOutput {
    std::string_view header;
    std::vector<PsRow> rows;
};

struct WcRow {
    std::string_view line;
    std::vector<std::uint64_t> counts;
    std::string name;  // the tokens after the counts, joined with single spaces
    bool is_total = false;
};

struct WcOutput {
    std::vector<WcRow> rows;
    std::size_t total_index = 0;  // the last total row
};

// Positions are line numbers, ascending.
struct PingOutput {
    std::vector<std::size_t> replies;
    std::vector<std::size_t> summaries;
    std::vector<std::size_t> events;
};

// Positions are line numbers, ascending and without repeats.
struct SystemctlStatusOutput {
    std::vector<std::size_t> key_lines;
    std::vector<std::size_t> alert_lines;
};

// What one stat block says about its file.
struct StatBlock {
    std::string file;
    std::string size;
    std::string mode;
    std::string owner;
    std::string group;
    std::string modify;
};

}  // namespace filters::system_output::types
