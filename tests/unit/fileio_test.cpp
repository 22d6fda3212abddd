#include "fileio.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

// What another local user may have put at a lock file's or the shared
// configuration file's name before the program starts.
struct Planted {
    const char* name;
    std::function<void(const std::string& path, const std::string& dir)> plant;
    int expected_errno;  // 0: the lock file opens
    bool reads, writes;  // whether a shared file there is read and rewritten
};

void PrintTo(const Planted& c, std::ostream* os) { *os << c.name; }

class LockFileTest : public ::testing::TestWithParam<Planted> {};

TEST_P(LockFileTest, OpensOnlyAPlainFileOfItsOwn) {
    const Planted& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("Prog.mux");
    write_file(dir.file("other"), "");
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

TEST_P(LockFileTest, ASharedFileIsUsedOnlyAsARegularFileWithOneName) {
    const Planted& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("config.ini"), other = dir.file("other");
    write_file(other, "[PID]\nsecret=1\n");
    c.plant(path, dir.path());
    {
        const LockedFile reading(path.c_str(), O_RDONLY, LOCK_SH);
        EXPECT_EQ(reading.ok(), c.reads);
    }
    LockedFile writing(path.c_str(), O_RDWR, LOCK_EX);
    EXPECT_EQ(writing.ok(), c.writes);
    if (writing.ok()) {
        EXPECT_TRUE(writing.replace(path.c_str(), "[PID]\n", 6));
    }
    // Nothing else is written, created or published through the path.
    EXPECT_EQ(read_file(other), "[PID]\nsecret=1\n");
    EXPECT_NE(access(dir.file("target").c_str(), F_OK), 0);
}

INSTANTIATE_TEST_SUITE_P(
    FileIo, LockFileTest,
    ::testing::Values(
        Planted{"Missing", [](const std::string&, const std::string&) {}, 0, false, false},
        Planted{"LeftByEarlierRun",
                [](const std::string& p, const std::string&) { write_file(p, ""); }, 0, true, true},
        Planted{"SymlinkToNewFile",
                [](const std::string& p, const std::string& d) {
                    ASSERT_EQ(symlink((d + "/target").c_str(), p.c_str()), 0);
                },
                ELOOP, false, false},
        Planted{"SymlinkToAnotherFile",
                [](const std::string& p, const std::string& d) {
                    ASSERT_EQ(symlink((d + "/other").c_str(), p.c_str()), 0);
                },
                ELOOP, false, false},
        Planted{"HardLinkToAnotherFile",
                [](const std::string& p, const std::string& d) {
                    ASSERT_EQ(link((d + "/other").c_str(), p.c_str()), 0);
                },
                0, true, false},
        // Opening a FIFO for reading would wait for a writer forever.
        Planted{"Fifo", [](const std::string& p, const std::string&) { mkfifo(p.c_str(), 0666); },
                EINVAL, false, false},
        Planted{"Directory",
                [](const std::string& p, const std::string&) { mkdir(p.c_str(), 0755); }, EISDIR,
                false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LockFile, InheritableWhenAskedFor) {
    TempDir dir;
    const int fd = open_lock_file(dir.file("Prog.mux").c_str(), false);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    close(fd);
}

// Only the suite's kind of lock, on the file's own device, names a holder
// for sure; the same inode number on another device may be the same file on
// an overlay, or any other file.
TEST(LockHolder, OnlyAFlockOnTheFilesOwnDeviceAndInodeNamesItsHolder) {
    const struct {
        const char* locks;
        long exact;
        std::vector<long> same_inode;
    } cases[] = {
        {"1: FLOCK  ADVISORY  WRITE 4242 08:01:1234 0 EOF\n", 4242, {}},
        {"1: POSIX  ADVISORY  WRITE 4242 08:01:1234 0 EOF\n", -1, {}},
        {"1: OFDLCK ADVISORY  WRITE -1 08:01:1234 0 EOF\n", -1, {}},
        {"1: FLOCK  ADVISORY  WRITE 4242 08:01:1234 0 EOF\n"
         "1: -> FLOCK  ADVISORY  WRITE 77 08:01:1234 0 EOF\n",
         4242,
         {}},
        {"1: FLOCK  ADVISORY  WRITE 4242 08:01:12345 0 EOF\n", -1, {}},
        {"2: FLOCK  ADVISORY  READ  31 00:2a:1234 0 EOF\n"
         "3: FLOCK  ADVISORY  WRITE 4242 08:01:1234 0 EOF",
         4242,
         {31}},
        {"", -1, {}},
        {"garbage\n4: FLOCK\n", -1, {}},
    };
    for (const auto& c : cases) {
        const FlockHolders h = flock_holders(c.locks, 8, 1, 1234);
        EXPECT_EQ(h.exact, c.exact) << c.locks;
        EXPECT_EQ(h.same_inode, c.same_inode) << c.locks;
    }
}

}  // namespace
