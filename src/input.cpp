#include "input.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace input {

namespace {

constexpr std::size_t kMinCapacity = std::size_t(1) << 16;

}  // namespace

int InputBytes::read_all(int fd, std::size_t expected_size) {
    release();
    // One byte past the expected end lets the read that finds the end of a
    // file of exactly that size land without growing the buffer.
    std::size_t capacity = expected_size < kMinCapacity ? kMinCapacity : expected_size + 1;
    if (capacity <= expected_size) throw std::bad_alloc();
    buffer_ = static_cast<char*>(std::malloc(capacity));
    if (!buffer_) throw std::bad_alloc();
    std::size_t used = 0;
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
            const int error = errno;
            release();
            return error;
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    size_ = used;
    return 0;
}

void InputBytes::let_go_before(std::size_t end) {
    if (!buffer_) return;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto region = reinterpret_cast<std::uintptr_t>(buffer_);
    const std::uintptr_t stop = (region + end) / page * page;
    const std::uintptr_t from = (region + page - 1) / page * page;
    if (stop <= from) return;
    ::madvise(reinterpret_cast<void*>(from), stop - from, MADV_DONTNEED);
}

void InputBytes::release() {
    std::free(buffer_);
    buffer_ = nullptr;
    size_ = 0;
}

std::size_t remaining_regular_file_bytes(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return 0;
    const off_t offset = ::lseek(fd, 0, SEEK_CUR);
    if (offset < 0 || offset >= st.st_size) return 0;
    return static_cast<std::size_t>(st.st_size - offset);
}

int write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

}  // namespace input
