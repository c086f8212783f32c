// quorvane-shell compress [--max-blank-lines N]: reads one command's output
// on standard input and writes a shorter text that keeps what matters.
#include <sys/mman.h>
#include <sys/stat.h>
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

// The bytes of standard input, held where reading them cost least: a
// regular file is mapped, anything else (a pipe, a terminal) is read into a
// buffer that grows by doubling. Neither is zero-filled first, and a large
// buffer grows in place (the allocator remaps its pages), so reading costs
// about one copy of the input. The request copies the text once more while
// normalising it, after which this buffer is released.
class InputBytes {
public:
    InputBytes() = default;
    InputBytes(const InputBytes&) = delete;
    InputBytes& operator=(const InputBytes&) = delete;
    ~InputBytes() { release(); }

    std::string_view view() const { return {data_, size_}; }

    // Gives back to the system the pages that lie wholly before offset
    // `end` of the input; they are not read again.
    void let_go_before(std::size_t end) {
        const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        const auto region = reinterpret_cast<std::uintptr_t>(mapping_ ? mapping_ : buffer_);
        const std::uintptr_t stop = (reinterpret_cast<std::uintptr_t>(data_) + end) / page * page;
        const std::uintptr_t from = (region + page - 1) / page * page;
        if (region == 0 || stop <= from) return;
        ::madvise(reinterpret_cast<void*>(from), stop - from, MADV_DONTNEED);
    }

    void release() {
        if (mapping_) ::munmap(mapping_, mapping_size_);
        std::free(buffer_);
        mapping_ = nullptr;
        buffer_ = nullptr;
        data_ = nullptr;
        size_ = 0;
    }

    // Maps the rest of a regular file from the current offset on; false
    // when that cannot be done, so that the caller reads instead.
    bool map_regular_file(int fd) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return false;
        const off_t offset = ::lseek(fd, 0, SEEK_CUR);
        if (offset < 0 || offset >= st.st_size) return false;
        const auto page = static_cast<off_t>(::sysconf(_SC_PAGESIZE));
        const off_t map_from = offset - offset % page;
        const auto length = static_cast<std::size_t>(st.st_size - map_from);
        void* p = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, map_from);
        if (p == MAP_FAILED) return false;
        // A file that grew since fstat has more to give: read it whole instead.
        char probe;
        if (::pread(fd, &probe, 1, st.st_size) != 0) {
            ::munmap(p, length);
            return false;
        }
        mapping_ = p;
        mapping_size_ = length;
        data_ = static_cast<const char*>(p) + (offset - map_from);
        size_ = static_cast<std::size_t>(st.st_size - offset);
        return true;
    }

    // Reads `fd` to its end; the error number on failure, else 0.
    int read_all(int fd) {
        std::size_t capacity = std::size_t(1) << 20;
        std::size_t used = 0;
        char* buffer = static_cast<char*>(std::malloc(capacity));
        if (!buffer) throw std::bad_alloc();
        buffer_ = buffer;
        while (true) {
            if (used == capacity) {
                if (capacity > SIZE_MAX / 2) throw std::bad_alloc();
                char* grown = static_cast<char*>(std::realloc(buffer_, capacity * 2));
                if (!grown) throw std::bad_alloc();
                buffer_ = grown;
                capacity *= 2;
            }
            const ssize_t n = ::read(fd, buffer_ + used, capacity - used);
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            if (n == 0) break;
            used += static_cast<std::size_t>(n);
        }
        data_ = buffer_;
        size_ = used;
        return 0;
    }

private:
    void* mapping_ = nullptr;
    std::size_t mapping_size_ = 0;
    char* buffer_ = nullptr;
    const char* data_ = nullptr;
    std::size_t size_ = 0;
};

// Reads all of standard input into `in`; the error text on failure. Input
// larger than the memory we may use is a read failure like any other.
std::optional<std::string> read_stdin(InputBytes& in) {
    if (!in.map_regular_file(STDIN_FILENO)) {
        int error = 0;
        try {
            error = in.read_all(STDIN_FILENO);
        } catch (const std::bad_alloc&) {
            error = ENOMEM;
        }
        if (error) return std::string(std::strerror(error));
    }
    if (!text::is_valid_utf8(in.view())) return std::string("stream did not contain valid UTF-8");
    return std::nullopt;
}

// The input normalised into a new text. It is normalised a piece at a
// time, each piece cut right after a line end, and the raw bytes of a piece
// are let go as soon as it is done: the two copies of the input are never
// both whole in memory.
std::string normalize_letting_go(InputBytes& in) {
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
            write_all(STDERR_FILENO, "argument is not valid UTF-8\n" + usage() + "\n");
            return 2;
        }
    }
    auto parsed = parse_command_line(args);
    if (auto* message = std::get_if<std::string>(&parsed)) {
        write_all(STDERR_FILENO, *message + "\n");
        return 2;
    }
    std::string normalized;
    {
        InputBytes in;
        if (std::optional<std::string> error = read_stdin(in)) {
            write_all(STDERR_FILENO, "failed to read stdin: " + *error + "\n");
            return 1;
        }
        normalized = normalize_letting_go(in);
    }
    std::string output = compression::compress_normalized_text(std::move(normalized), std::get<std::uint64_t>(parsed));
    if (!write_all(STDOUT_FILENO, output)) return 1;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away (head, a closed pager) ends us with status 1, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    // Out of memory after the input was read: one line, written without
    // allocating.
    write_all(STDERR_FILENO, "quorvane-shell: out of memory\n");
    return 1;
}
