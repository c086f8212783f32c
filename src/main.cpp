// quorvane-shell compress [--max-blank-lines N]: reads one command's output
// on standard input and writes a shorter text that keeps what matters.
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "compression.h"
#include "input.h"
#include "text.h"

namespace {

std::string usage() { return "usage: quorvane-shell compress [--max-blank-lines N]"; }

// The blank-line limit, or the message that ends the process with status 2.
std::variant<std::uint64_t, std::string> parse_command_line(const std::vector<std::string>& args) {
    if (args.empty() || args[0] != "compress") return usage();
    std::uint64_t limit = 1;
    std::size_t i = 1;
    while (i < args.size()) {
        const std::string& arg = args[i];
        if (arg == "--max-blank-lines") {
            if (i + 1 >= args.size()) return usage();
            auto value = text::parse_unsigned(args[i + 1]);
            if (!value) return std::string("--max-blank-lines must be a non-negative integer");
            limit = *value;
            i += 2;
        } else if (arg == "-h" || arg == "--help") {
            return usage();
        } else {
            return text::format("unknown argument {}\n{}", text::debug_quote(arg), usage());
        }
    }
    return limit;
}

// Reads all of standard input into `in`; the error text on failure. Input
// larger than the memory we may use is a read failure like any other.
std::optional<std::string> read_stdin(input::InputBytes& in) {
    int error = 0;
    try {
        error = in.read_all(STDIN_FILENO, input::remaining_regular_file_bytes(STDIN_FILENO));
    } catch (const std::bad_alloc&) {
        error = ENOMEM;
    }
    if (error) return std::string(std::strerror(error));
    if (!text::is_valid_utf8(in.view())) return std::string("stream did not contain valid UTF-8");
    return std::nullopt;
}

// The input normalised into a new text. It is normalised a piece at a
// time, each piece cut right after a line end, and the raw bytes of a piece
// are let go as soon as it is done: the two copies of the input are never
// both whole in memory.
std::string normalize_letting_go(input::InputBytes& in) {
    constexpr std::size_t kPieceBytes = std::size_t(16) << 20;
    const std::string_view raw = in.view();
    std::string normalized;
    normalized.reserve(raw.size());
    std::size_t begin = 0;
    while (begin < raw.size()) {
        std::size_t end = raw.size();
        if (raw.size() - begin > kPieceBytes) {
            const std::size_t nl = raw.find('\n', begin + kPieceBytes);
            if (nl != std::string_view::npos) end = nl + 1;
        }
        text::append_normalized_and_trimmed(raw.substr(begin, end - begin), normalized);
        in.let_go_before(end);
        begin = end;
    }
    return normalized;
}

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args) {
        if (!text::is_valid_utf8(arg)) {
            input::write_all(STDERR_FILENO, "argument is not valid UTF-8\n" + usage() + "\n");
            return 2;
        }
    }
    auto parsed = parse_command_line(args);
    if (auto* message = std::get_if<std::string>(&parsed)) {
        input::write_all(STDERR_FILENO, *message + "\n");
        return 2;
    }
    std::string normalized;
    {
        input::InputBytes in;
        if (std::optional<std::string> error = read_stdin(in)) {
            input::write_all(STDERR_FILENO, "failed to read stdin: " + *error + "\n");
            return 1;
        }
        normalized = normalize_letting_go(in);
    }
    std::string output = compression::compress_normalized_text(std::move(normalized), std::get<std::uint64_t>(parsed));
    if (const int error = input::write_all(STDOUT_FILENO, output)) {
        // A reader that went away (`| head`) wanted no more: a quiet failure.
        if (error != EPIPE) {
            input::write_all(STDERR_FILENO,
                             std::string("quorvane-shell: cannot write standard output: ") + std::strerror(error) + "\n");
        }
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Large blocks are mapped on their own and given back when freed. Left
    // to itself, the allocator raises that threshold to the size of the
    // largest block freed so far (up to 32 MB): once the input buffer is let
    // go, every filter's large temporary (a line table, a tree) would come
    // from the heap and stay resident after it is freed, adding to the peak
    // of the filters after it.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    // A reader that goes away (head, a closed pager) ends us with status 1, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    // Out of memory after the input was read: one line, written without
    // allocating.
    input::write_all(STDERR_FILENO, "quorvane-shell: out of memory\n");
    return 1;
}
