// quorvane-shell compress [--max-blank-lines N]: reads one command's output
// on standard input and writes a shorter text that keeps what matters.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "compression.h"
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

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Reads all of standard input into one buffer, sized up front when the
// input is a regular file. Returns the error text on failure.
std::variant<std::string, std::string> read_stdin() {
    std::string buf;
    struct stat st {};
    std::size_t size = std::size_t(1) << 20;
    // One byte more than the file holds, so that the read which meets the
    // end of the file needs no larger buffer.
    if (::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        size = static_cast<std::size_t>(st.st_size) + 1;
    buf.resize(size);
    std::size_t used = 0;
    while (true) {
        if (used == buf.size()) buf.resize(buf.size() * 2);
        ssize_t n = ::read(STDIN_FILENO, buf.data() + used, buf.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::variant<std::string, std::string>(std::in_place_index<1>, std::strerror(errno));
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    buf.resize(used);
    if (!text::is_valid_utf8(buf))
        return std::variant<std::string, std::string>(std::in_place_index<1>,
                                                      "stream did not contain valid UTF-8");
    return std::variant<std::string, std::string>(std::in_place_index<0>, std::move(buf));
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away (head, a closed pager) ends us with status 1, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args) {
        if (!text::is_valid_utf8(arg)) {
            write_all(STDERR_FILENO, "argument is not valid UTF-8\n" + usage() + "\n");
            return 2;
        }
    }
    auto parsed = parse_command_line(args);
    if (auto* message = std::get_if<std::string>(&parsed)) {
        write_all(STDERR_FILENO, *message + "\n");
        return 2;
    }
    auto input = read_stdin();
    if (input.index() == 1) {
        write_all(STDERR_FILENO, "failed to read stdin: " + std::get<1>(input) + "\n");
        return 1;
    }
    // The request takes the buffer over and works in it.
    std::string output =
        compression::compress_owned_text(std::move(std::get<0>(input)), std::get<std::uint64_t>(parsed));
    if (!write_all(STDOUT_FILENO, output)) return 1;
    return 0;
}
