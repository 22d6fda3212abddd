#include "fileio.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>

#include "test_support.h"

namespace {

// What another local user may have put at a lock file's name before the
// program starts.
struct Planted {
    const char* name;
    std::function<void(const std::string& path, const std::string& dir)> plant;
    int expected_errno;  // 0: the lock file opens
};

void PrintTo(const Planted& c, std::ostream* os) { *os << c.name; }

class LockFileTest : public ::testing::TestWithParam<Planted> {};

TEST_P(LockFileTest, OpensOnlyAPlainFileOfItsOwn) {
    const Planted& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("Prog.mux");
    c.plant(path, dir.path());

    errno = 0;
    const int fd = open_lock_file(path.c_str(), true);
    if (c.expected_errno == 0) {
        ASSERT_GE(fd, 0) << strerror(errno);
        struct stat st;
        ASSERT_EQ(fstat(fd, &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
        close(fd);
    } else {
        EXPECT_EQ(fd, -1);
        EXPECT_EQ(errno, c.expected_errno);
    }
    // A planted link never makes its target appear.
    EXPECT_NE(access(dir.file("target").c_str(), F_OK), 0);
}

INSTANTIATE_TEST_SUITE_P(
    FileIo, LockFileTest,
    ::testing::Values(
        Planted{"Missing", [](const std::string&, const std::string&) {}, 0},
        Planted{"LeftByEarlierRun",
                [](const std::string& p, const std::string&) { write_file(p, ""); }, 0},
        Planted{"SymlinkToNewFile",
                [](const std::string& p, const std::string& d) {
                    ASSERT_EQ(symlink((d + "/target").c_str(), p.c_str()), 0);
                },
                ELOOP},
        // Opening a FIFO for reading would wait for a writer forever.
        Planted{"Fifo", [](const std::string& p, const std::string&) { mkfifo(p.c_str(), 0666); },
                EINVAL},
        Planted{"Directory",
                [](const std::string& p, const std::string&) { mkdir(p.c_str(), 0755); }, EISDIR}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LockFile, InheritableWhenAskedFor) {
    TempDir dir;
    const int fd = open_lock_file(dir.file("Prog.mux").c_str(), false);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    close(fd);
}

}  // namespace
