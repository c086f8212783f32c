#include "input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace {

// A temporary file holding `bytes`, removed with the object.
class TempFile {
public:
    explicit TempFile(const std::string& bytes) {
        char name[] = "/tmp/quorvane-input-XXXXXX";
        fd_ = ::mkstemp(name);
        path_ = name;
        write(bytes);
        ::lseek(fd_, 0, SEEK_SET);
    }
    ~TempFile() {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    int fd() const { return fd_; }
    void write(const std::string& bytes) const {
        const off_t at = ::lseek(fd_, 0, SEEK_CUR);
        ASSERT_EQ(::pwrite(fd_, bytes.data(), bytes.size(), ::lseek(fd_, 0, SEEK_END)), static_cast<ssize_t>(bytes.size()));
        ::lseek(fd_, at, SEEK_SET);
    }
    void truncate(off_t size) const { ASSERT_EQ(::ftruncate(fd_, size), 0); }

private:
    int fd_ = -1;
    std::string path_;
};

std::string pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 23);
    return s;
}

// The size is taken first, as the command does, and the file changes
// before it is read: the read follows the file, never the stale size.
TEST(InputBytes, ReadsAFileThatChangesAfterItsSizeWasTaken) {
    struct Row {
        const char* name;
        std::size_t before;
        long change;  // bytes added (> 0) or cut (< 0) after the size was taken
    };
    const Row rows[] = {
        {"unchanged", 300000, 0},
        {"shrinks", 300000, -250000},
        {"shrinks to nothing", 300000, -300000},
        {"grows a little", 300000, 1},
        {"grows past twice its size", 300000, 1000000},
        {"small file grows", 10, 200000},
        {"empty", 0, 0},
    };
    for (const Row& row : rows) {
        const std::string original = pattern(row.before);
        TempFile file(original);
        const std::size_t expected = input::remaining_regular_file_bytes(file.fd());
        EXPECT_EQ(expected, row.before) << row.name;
        std::string want = original;
        if (row.change > 0) {
            const std::string more = pattern(static_cast<std::size_t>(row.change));
            file.write(more);
            want += more;
        } else if (row.change < 0) {
            want.resize(row.before - static_cast<std::size_t>(-row.change));
            file.truncate(static_cast<off_t>(want.size()));
        }
        input::InputBytes in;
        ASSERT_EQ(in.read_all(file.fd(), expected), 0) << row.name;
        EXPECT_EQ(in.view(), want) << row.name;
    }
}

TEST(InputBytes, ReadsFromAnOffsetAndFromAPipe) {
    TempFile file("header\nbody\n");
    ::lseek(file.fd(), 7, SEEK_SET);
    EXPECT_EQ(input::remaining_regular_file_bytes(file.fd()), 5u);
    input::InputBytes in;
    ASSERT_EQ(in.read_all(file.fd(), 5), 0);
    EXPECT_EQ(in.view(), "body\n");

    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_EQ(input::remaining_regular_file_bytes(ends[0]), 0u);
    ASSERT_EQ(::write(ends[1], "piped\n", 6), 6);
    ::close(ends[1]);
    ASSERT_EQ(in.read_all(ends[0], 0), 0);
    EXPECT_EQ(in.view(), "piped\n");
    ::close(ends[0]);
}

TEST(WriteAll, ReportsTheReasonOfAFailedWrite) {
    const int full = ::open("/dev/full", O_WRONLY);
    if (full < 0) GTEST_SKIP() << "no /dev/full";
    EXPECT_EQ(input::write_all(full, "x"), ENOSPC);
    EXPECT_EQ(input::write_all(full, ""), 0);
    ::close(full);
}

}  // namespace
