// Splits the transcript of a short shell session into segments that stay
// as they are (HTTP heads, marker lines, curl errors, exit statuses,
// command lines) and segments that may be compressed (ordinary runs, HTML
// and JSON bodies).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "text.h"

namespace filters::mixed_transcript::detector {

// A run of input lines [first, first + count).
struct TranscriptSegment {
    std::size_t first = 0;
    std::size_t count = 0;
    bool compressible = false;
};

using WordTriple = std::array<std::string_view, 3>;

// The segments of a transcript, in order, covering every line; nothing when
// the text is no mixed transcript.
std::optional<std::vector<TranscriptSegment>> segment_mixed_transcript_lines(const text::LineIndex& lines);

// Whether the text is a shell transcript of several commands: the segments
// above accept it, and its command lines (shell prompt lines among them)
// run at least two different commands. A filter that summarises one tool's
// run leaves such a text to this family, which keeps every command's lines.
bool is_multi_command_transcript(const text::LineIndex& lines);

bool contains_word_phrase(std::string_view text, const WordTriple& words);
bool starts_with_error_prefix(std::string_view text, std::string_view word);
bool starts_with_curl_could_error(std::string_view message);

}  // namespace filters::mixed_transcript::detector
