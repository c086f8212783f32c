// One quick pass over a whole text, 64 bytes at a time, that counts what
// the detector needs of its lines before it reads any line closely: how
// many lines are surely or possibly nonblank, how many hold "|", and how
// many could have a template at all. Every count is exact or errs on the
// side that keeps the detector's decisions unchanged.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace filters::log_template::census {

struct LineCensus {
    std::uint64_t surely_nonblank = 0;    // lines with an ASCII byte other than a blank
    std::uint64_t maybe_nonblank = 0;     // lines with a byte other than an ASCII blank
    std::uint64_t pipe_lines = 0;         // lines with "|"
    std::uint64_t maybe_templated = 0;    // lines that may have a template (see take_census)
};

// What may start a log prefix: the bytes a pure ASCII line's first token
// may begin with (bit b of word b / 64 for byte b), and the test itself,
// asked only of lines that begin with such a byte.
struct SignStart {
    std::array<std::uint64_t, 4> first_bytes{};
    bool (*test)(std::string_view line_from_first_token) = nullptr;
};

// A line may have a template when it holds "=" or a non-ASCII byte (a
// key=value token, or blanks and tokens the ASCII view cannot tell), when
// it has at least 4 tokens (an event line), or when `sign` says it may
// start with a log prefix.
LineCensus take_census(std::string_view text, const SignStart& sign);

}  // namespace filters::log_template::census
