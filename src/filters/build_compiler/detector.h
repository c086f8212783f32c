// Which compiler, type checker, linter or build tool printed a text, and
// whether its run failed or warned.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace filters::build_compiler::detector {

struct BuildCompilerDiagnostics {
    std::string_view tool;  // one of the names of `kToolNames`
    bool has_error = false;
    bool has_warning = false;
};

// The tools in scoring order; the winner is the highest score, ties going to
// the name that is greater byte by byte.
inline constexpr std::string_view kToolNames[] = {
    "cargo/rustc",   "tsc",       "eslint",       "mypy",      "ruff",     "pyright",  "biome",
    "oxlint",        "shellcheck", "markdownlint", "yamllint", "golangci-lint", "gcc/clang", "go-build",
    "msbuild/dotnet", "maven/gradle", "make/ninja/cmake", "nx/turbo", "swift/xcode",
};

struct Candidate {
    std::string_view tool;
    std::uint64_t score;
};

// The candidate with the highest score; among equal scores the tool name
// that is greater byte by byte. None for an empty list.
std::optional<Candidate> pick_winner(const std::vector<Candidate>& candidates);

// `lines` is the text split at "\n" with one final newline set aside.
std::optional<BuildCompilerDiagnostics> detect_build_compiler_diagnostics(const std::vector<std::string_view>& lines);

}  // namespace filters::build_compiler::detector
