// Records shared by the passes of the git filter.
#pragma once

#include <string>

namespace filters::git {

// One status entry of the long or short status form.
struct GitStatusEntry {
    std::string code;  // short form: the two status characters trimmed; long form: the kind word or "path"
    std::string path;  // the rest of the line as the pass takes it
};

}  // namespace filters::git
