#include "store/fileio.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
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
    // The instance lock tells its caller, which ends the program, the same.
    int lock = take_instance_lock(path.c_str(), true);
    if (c.expected_errno == 0) {
        EXPECT_GE(lock, 0);
        EXPECT_EQ(take_instance_lock(path.c_str(), true), LOCK_HELD);
        release_instance_lock(lock, path.c_str());
    } else {
        EXPECT_EQ(lock, LOCK_FILE_UNUSABLE);
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

// A file of an overlay's lower layer, with xino, keeps an inode number above
// 2^32 even once written (a live system's root, say): stat without 64-bit file
// offsets fails on it (EOVERFLOW) in a 32-bit program, and the store with it.
TEST(LockedFile, StoresAndNamesItsHolderWhereInodeNumbersNeed64Bits) {
    if (!in_sandbox()) GTEST_SKIP() << "mounts an overlay: run it through ctest";
    TempDir dir;
    const std::string lower = dir.file("lower"), upper = dir.file("upper"),
                      merged = dir.file("merged");
    for (const std::string& d : {lower, upper, merged}) ASSERT_EQ(mkdir(d.c_str(), 0755), 0);
    // Layers on two file systems, so that the overlay numbers the inodes itself.
    ASSERT_EQ(mount("lower", lower.c_str(), "tmpfs", 0, nullptr), 0) << strerror(errno);
    ASSERT_EQ(mount("upper", upper.c_str(), "tmpfs", 0, nullptr), 0) << strerror(errno);
    ASSERT_EQ(mkdir((upper + "/data").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((upper + "/work").c_str(), 0755), 0);
    write_file(lower + "/config.ini", "[coordinate]\ndotNum=4\n");
    const std::string options =
        "lowerdir=" + lower + ",upperdir=" + upper + "/data,workdir=" + upper + "/work,xino=on";
    ASSERT_EQ(mount("overlay", merged.c_str(), "overlay", 0, options.c_str()), 0)
        << strerror(errno);
    const std::string path = merged + "/config.ini";
    struct statx sx;
    ASSERT_EQ(statx(AT_FDCWD, path.c_str(), 0, STATX_INO, &sx), 0);
    ASSERT_GT(sx.stx_ino, 0xFFFFFFFFull) << "the overlay gave no 64-bit inode number";

    {
        LockedFile file(path.c_str(), O_RDWR, LOCK_EX);
        ASSERT_TRUE(file.ok());
        ASSERT_TRUE(file.locked());
        const std::string text = "[coordinate]\ndotNum=9\n";
        EXPECT_TRUE(file.replace(path.c_str(), text.data(), text.size()));
        EXPECT_EQ(read_file(path), text);
        EXPECT_EQ(lock_holder_pid(file.fd()), getpid());
    }
    const int lock = open_lock_file(path.c_str(), true);
    EXPECT_GE(lock, 0) << strerror(errno);
    if (lock >= 0) close(lock);
    for (const std::string& d : {merged, upper, lower}) umount2(d.c_str(), MNT_DETACH);
}

}  // namespace
