// The cheap first look of the "rg" filter: where in a text a matching
// search result can stand at all.
#pragma once

#include <cstddef>
#include <string_view>

namespace filters::rg::scan {

// Byte offsets, ascending, of the places that may belong to a matching
// result line: every ESC (colour); a colon that closes a line number at the
// start of a line ("N:", the heading layout); and a colon that closes
// "PATH:N:" (N from 1 to 9, then digits) where the pair stands in the first
// word of its line with a path mark ("/", "\", "." or "~") before it. Every
// matching result line holds one; most lines of other output hold none.
// Reads the text 64 bytes at a time and looks closer only at the colons
// right after a digit.
//
// Why these are needed: a line without ESC is a matching path-location
// entry only when the text before the pair's first colon, trimmed, is a
// path, so that text is blanks, then one run without white space that holds
// a path mark and none of the bytes " ' , [ { (and more) that no path holds,
// then blanks. Counting as word starts the ASCII graphic bytes other than
// ":" that begin the line or follow a space, only the run's first byte can
// be one: blanks hold no ASCII graphic byte, no byte of the run follows a
// space, nor do the pair's digits, which follow its colon. So the pair ends
// before the line's second word start, before any byte no path holds, and
// after a path mark.
//
// `may_belong`, when given, tells whether a line (without its newline) may
// be part of a block of results; a colon is then reported only when the line
// before or after its own may, and once per line. ESCs are all reported.
//
// Each place goes to `visit(context, offset)` as soon as the scan finds it,
// so that a text with a place on every line (colour on every line) is not
// held a second time as a list of them.
using LinePredicate = bool (*)(std::string_view line);
using CandidateVisitor = void (*)(void* context, std::size_t offset);
void for_each_match_candidate(std::string_view text, LinePredicate may_belong, CandidateVisitor visit, void* context);

}  // namespace filters::rg::scan
