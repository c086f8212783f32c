// Reading the whole of standard input, and writing the result back out.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace input {

// The bytes of one input, read into a buffer that is neither zero-filled
// nor copied again as it grows, so reading costs about one copy. The pages
// already consumed can be given back while the caller works through them.
class InputBytes {
public:
    InputBytes() = default;
    InputBytes(const InputBytes&) = delete;
    InputBytes& operator=(const InputBytes&) = delete;
    ~InputBytes() { release(); }

    std::string_view view() const { return {buffer_, size_}; }

    // Reads `fd` to its end; 0, or the error number of the failed read. The
    // buffer starts at `expected_size` + 1 bytes (so that a file of the
    // expected size is read without growing) and doubles when it is full:
    // a file that shrinks while it is read ends the input early, one that
    // grows is read to its new end. Throws std::bad_alloc when the input
    // outgrows the memory we may use.
    int read_all(int fd, std::size_t expected_size);

    // Gives back to the system the pages that lie wholly before offset
    // `end` of the input; they are not read again.
    void let_go_before(std::size_t end);

    void release();

private:
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
};

// The number of bytes left to read in `fd` when it is a regular file (its
// size less the current offset), else 0: a hint, not a promise.
std::size_t remaining_regular_file_bytes(int fd);

// Writes all of `data` to `fd`, retrying short writes; the error number of
// the failed write, else 0.
int write_all(int fd, std::string_view data);

}  // namespace input
