// Recognises the install, update and audit logs of eleven package managers
// and tells which one wrote the log and whether it failed or warned.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text.h"

namespace filters::package_manager::detector {

struct PackageManagerLog {
    std::string manager;  // "uv/pip", "poetry", "npm", ... as the manager table spells it
    bool failure = false;
    bool warning = false;
};

// The log of one package manager, or none. `lines` are the text's lines
// after one final newline is set aside.
std::optional<PackageManagerLog> detect_package_manager_log(const std::vector<std::string_view>& lines);

// A cheap first look: false when no line of the text can score for any
// manager, or when the text is a diff, so the text is no package-manager
// log; true means only that it is worth detecting.
bool may_be_package_manager_log(const text::LineIndex& lines);

// A tighter first look, on the same scan: also false when a single line
// of the text can score and it alone cannot make the text a log (it scores
// once and is no error or warning line), as the detector would decline it.
bool worth_detecting(const text::LineIndex& lines);

// Whether the lowercased line holds "{word} " and " package" ("added 3 packages").
bool count_packages_phrase(std::string_view lower, std::string_view word);

}  // namespace filters::package_manager::detector
