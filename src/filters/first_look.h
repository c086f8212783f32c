// The first look at a text: for every sign that some family declares,
// whether and where it first occurs, found for all of them in one pass.
// The pipeline takes one look at each text it hands to the filters, and
// passes over a family whose signs are absent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "scan/scan.h"

namespace filters {

// A literal looked for in a text: its bytes as written, or with ASCII
// letters matched in either case.
struct Sign {
    std::string_view literal;
    bool ignore_case = false;

    constexpr bool operator==(const Sign&) const = default;
};

// Signs of which at least one must occur in a text for a family to accept
// it: a group states a necessary condition, never a guess, since a family
// whose group has no hit is not asked at all.
struct SignGroup {
    std::span<const Sign> any_of;
};

// Whether the pipeline passes over the families whose signs are absent.
// Off, every family is asked: the same outputs, which is how a sign that
// is not truly necessary is caught (the fuzz target and the sign check
// run every input both ways).
enum class Skipping : bool { off, on };

// The signs looked for together, each given one of the scan's eight groups
// once, so that signs whose bytes would mix share no group where they need
// not: the fewer bytes a group allows at each place, the fewer false hits
// the scan stops at.
class SignSet {
public:
    explicit SignSet(std::vector<Sign> signs);

    std::span<const Sign> signs() const { return signs_; }
    // The scan group of sign `i`.
    unsigned group(std::size_t i) const { return group_[i]; }
    // The signs of group `g`, by index.
    std::span<const std::uint16_t> members(unsigned g) const { return members_[g]; }
    // The index of `sign`, or npos when it is not in the set.
    std::size_t index_of(const Sign& sign) const;

private:
    std::vector<Sign> signs_;
    std::vector<std::uint8_t> group_;
    std::vector<std::uint16_t> members_[scan::PlaceTable::kGroups];
};

class FirstLook {
public:
    static constexpr std::size_t npos = std::string_view::npos;

    // A look for nothing: no sign was looked for.
    FirstLook() = default;
    // Looks for every sign of `set` in `text`, in one pass over it.
    FirstLook(std::string_view text, const SignSet& set);

    // The look that looked for nothing, for a family run without one.
    static const FirstLook& none();

    // Where `sign` first occurs in the text: npos when it does not occur;
    // nothing when it was not looked for.
    std::optional<std::size_t> first(const Sign& sign) const;
    // Whether some sign of `group` occurs, or may: a sign that was not
    // looked for counts as present, so a look that says nothing skips
    // nothing.
    bool holds(const SignGroup& group) const;
    // Whether every group holds.
    bool holds_all(std::span<const SignGroup> groups) const;

private:
    const SignSet* set_ = nullptr;
    std::vector<std::size_t> first_;  // by sign index: the first position, or npos
};

}  // namespace filters
