// Storing a calibration into the fixed configuration file, the service's
// reload signal, and the tools' core log. These write fixed system paths, so
// they only run inside the sandbox.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "calibration/store.h"
#include "store/config.h"
#include "store/core_log.h"
#include "store/fileio.h"
#include "store/inifile.h"
#include "store/paths.h"
#include "test_support.h"

namespace {

// A process named like the service that reports whether it got SIGUSR2.
class FakeService {
public:
    FakeService() {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            prctl(PR_SET_NAME, KEY_QUILLD);
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGUSR1);
            sigaddset(&set, SIGUSR2);
            sigprocmask(SIG_BLOCK, &set, nullptr);
            (void)!write(ready[1], "r", 1);
            int got_usr2 = 0;
            for (;;) {
                int sig = 0;
                sigwait(&set, &sig);
                if (sig == SIGUSR2) got_usr2 = 1;
                if (sig != SIGUSR1) continue;
                // SIGUSR1 is the test's end mark, sent after any SIGUSR2 of
                // the store; a pending SIGUSR2 still counts.
                sigset_t pending;
                sigpending(&pending);
                if (sigismember(&pending, SIGUSR2)) got_usr2 = 1;
                _exit(got_usr2);
            }
        }
        close(ready[1]);
        char c;
        (void)!read(ready[0], &c, 1);
        close(ready[0]);
    }
    ~FakeService() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    int pid() const { return pid_; }

    // Ends the process; true when it had received SIGUSR2.
    bool got_reload() {
        kill(pid_, SIGUSR1);
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) && WEXITSTATUS(status) == 1;
    }

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
};

std::string pid_section(int pid) { return "[PID]\nQuilld=" + std::to_string(pid) + "\n"; }

// The 20-point block as the store writes it.
std::string twenty_block(const Pos* dots) {
    std::string s = "dotNum=20\n";
    for (int i = 19; i >= 0; --i)
        s += "dotX" + std::to_string(i) + "=" + std::to_string(dots[i].x) + "\ndotY" +
             std::to_string(i) + "=" + std::to_string(dots[i].y) + "\n";
    return s;
}

std::vector<Pos> points(int n, int seed) {
    std::vector<Pos> out;
    for (int i = 0; i < n; ++i)
        out.push_back({(seed + 137 * i) % 4096, (seed * 3 + 251 * i) % 4096});
    return out;
}

class CalibStore : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(in_sandbox()) << "writes the fixed configuration path: run it through ctest";
        check_ini_file();
        ASSERT_GT(service_.pid(), 0);
    }
    void set(const std::string& text) { write_file(CONFIG_FILE, text); }
    std::string file() { return read_file(CONFIG_FILE); }

    // Runs the store with its standard output captured.
    int store(int dots, const std::vector<Pos>& pos) {
        testing::internal::CaptureStdout();
        const int result = store_calibration(dots, pos.data());
        out_ = testing::internal::GetCapturedStdout();
        return result;
    }

    FakeService service_;
    std::string out_;
};

TEST_F(CalibStore, FourPointsIntoAFreshSectionListTheLastPointFirst) {
    set(pid_section(service_.pid()));
    const std::vector<Pos> pos = {{0, 4095}, {12, 3001}, {4095, 0}, {2048, 77}};
    EXPECT_EQ(store(4, pos), 1);
    EXPECT_EQ(file(), pid_section(service_.pid()) +
                          "\n[coordinate]\n"
                          "dotY3=77\ndotX3=2048\ndotY2=0\ndotX2=4095\n"
                          "dotY1=3001\ndotX1=12\ndotY0=4095\ndotX0=0\ndotNum=4\n");
    EXPECT_EQ(out_,
              "存储的数据......x:[0]:0.....y[0]:4095\n"
              "存储的数据......x:[1]:12.....y[1]:3001\n"
              "存储的数据......x:[2]:4095.....y[2]:0\n"
              "存储的数据......x:[3]:2048.....y[3]:77\n"
              ".......................\n");
    EXPECT_TRUE(service_.got_reload());
}

TEST_F(CalibStore, NinePointsAfterTwentyReplaceTheirKeysInPlace) {
    const std::vector<Pos> old = points(20, 11);
    const std::string tail = "[HOTKEY]\nkeyX0=5\nkeyY0=6\n[QMEdgetab]\nQMkeyX3=9\n";
    set(pid_section(service_.pid()) + "[coordinate]\n" + twenty_block(old.data()) + tail);
    const std::vector<Pos> pos = points(9, 2000);
    EXPECT_EQ(store(9, pos), 1);

    std::vector<Pos> expected = old;
    for (int i = 0; i < 9; ++i) expected[i] = pos[i];
    std::string body = twenty_block(expected.data());
    body.replace(0, strlen("dotNum=20"), "dotNum=9");
    EXPECT_EQ(file(), pid_section(service_.pid()) + "[coordinate]\n" + body + tail);
    EXPECT_TRUE(service_.got_reload());
}

TEST_F(CalibStore, TwentyPointsReplaceTheWholeSectionBody) {
    const std::string tail = "[HOTKEY]\nkeyX0=5\nkeyY0=6\n[QMEdgetab]\nQMkeyX3=9\n";
    set(pid_section(service_.pid()) +
        "[coordinate]\ndotY8=1\ndotX8=2\ndotNum=9\n; a comment\nstray=1\n" + tail);
    const std::vector<Pos> pos = points(20, 77);
    EXPECT_EQ(store(20, pos), 1);
    EXPECT_EQ(file(),
              pid_section(service_.pid()) + "[coordinate]\n" + twenty_block(pos.data()) + tail);
    EXPECT_EQ(out_, "");
    EXPECT_TRUE(service_.got_reload());
}

// Without "coordinate" followed by "HOTKEY" the block has no place; the same
// keys go in one by one, in the block's order, and nothing else changes.
TEST_F(CalibStore, TwentyPointsFallBackToSingleKeysWhereTheBlockHasNoPlace) {
    const struct {
        const char* name;
        std::string before;  // after the PID section
    } cases[] = {
        {"no sections", ""},
        {"no coordinate section", "[HOTKEY]\nkeyX0=5\n"},
        {"coordinate without HOTKEY", "[coordinate]\ndotNum=4\ndotX0=1\ndotY0=2\n"},
        {"HOTKEY before coordinate", "[HOTKEY]\nkeyX0=5\n[coordinate]\ndotNum=9\ndotX8=3\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeService service;
        set(pid_section(service.pid()) + c.before);
        const std::vector<Pos> pos = points(20, 5);
        EXPECT_EQ(store(20, pos), 1);

        ConfigSnapshot snap;
        load_config(snap);
        EXPECT_EQ(config_dot_num(snap), 20);
        point stored[MAX_DOTS];
        config_read_dots(snap, 20, stored);
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(stored[i].x, pos[i].x) << i;
            EXPECT_EQ(stored[i].y, pos[i].y) << i;
        }
        const std::string text = file();
        EXPECT_EQ(text.rfind(pid_section(service.pid()), 0), 0u) << text;
        if (c.before.find("keyX0=5") != std::string::npos) {
            EXPECT_NE(text.find("[HOTKEY]\nkeyX0=5\n"), std::string::npos) << text;
        }
        EXPECT_TRUE(service.got_reload());
    }
}

TEST_F(CalibStore, TwentyPointFallbackIntoAFreshFileWritesTheBlockOrder) {
    set(pid_section(service_.pid()));
    const std::vector<Pos> pos = points(20, 300);
    EXPECT_EQ(store(20, pos), 1);
    // Each key written becomes the first of the section, so the file shows
    // the writing order (dotNum, 19 down to 0, x before y) reversed.
    std::string body;
    for (int i = 0; i < 20; ++i)
        body += "dotY" + std::to_string(i) + "=" + std::to_string(pos[i].y) + "\ndotX" +
                std::to_string(i) + "=" + std::to_string(pos[i].x) + "\n";
    EXPECT_EQ(file(), pid_section(service_.pid()) + "\n[coordinate]\n" + body + "dotNum=20\n");
}

// Pads a file to `free_bytes` below the store's limit of INI_BUF_SIZE - 1.
std::string padded(const std::string& text, int free_bytes) {
    const std::string head = text + "[pad]\nfill=";
    const int fill = INI_BUF_SIZE - 1 - free_bytes - static_cast<int>(head.size()) - 1;
    return head + std::string(fill, 'a') + "\n";
}

// A store that cannot be completed stores nothing, says so once and does not
// make the service reload.
TEST_F(CalibStore, AFailedStoreKeepsTheOldPointsAndDoesNotReload) {
    const std::string old = pid_section(service_.pid()) + "[coordinate]\ndotNum=0\n";
    const struct {
        const char* name;
        std::string before;
    } cases[] = {
        {"dotNum cannot be written", padded(pid_section(service_.pid()), 5)},
        // dotNum and two pairs of 10 bytes each still fit, the third does not.
        {"the third point cannot be written", padded(old, 45)},
    };
    const std::vector<Pos> pos = {{100, 200}, {101, 201}, {102, 202}, {103, 203}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        set(c.before);
        EXPECT_EQ(store(4, pos), 0);
        EXPECT_EQ(out_, "write name dotNum pair to ini file fail\n");
        EXPECT_EQ(file(), c.before);
    }
    EXPECT_FALSE(service_.got_reload());
}

TEST_F(CalibStore, AnUnregisteredServiceIsNotSignalledButThePointsAreStored) {
    for (const std::string registry : {"[PID]\nQuilld=-1\n", "[PID]\nQuilld=0\n", ""}) {
        SCOPED_TRACE(registry);
        set(registry);
        EXPECT_EQ(store(4, points(4, 9)), 1);
        ConfigSnapshot snap;
        load_config(snap);
        EXPECT_EQ(config_dot_num(snap), 4);
    }
    EXPECT_FALSE(service_.got_reload());
}

// ------------------------------------------------------------ core log

class CalibCoreLog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(in_sandbox()) << "writes the fixed core log path: run it through ctest";
        (void)!std::system("rm -rf " CORE_LOG_DIR);
    }
};

TEST_F(CalibCoreLog, EntriesAreAppendedWithTheirTimeInADirectoryMadeForThem) {
    write_core("Board_QM_RV:Create ReOrient pid error");
    write_core("second reason");
    // ctime's form: "Wed Jun 30 21:49:08 1993\n".
    const std::string stamp =
        "[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n";
    const std::regex whole(stamp + "Board_QM_RV:Create ReOrient pid error\n" + stamp +
                           "second reason\n");
    const std::string text = read_file(CORE_LOG_FILE);
    EXPECT_TRUE(std::regex_match(text, whole)) << text;
}

TEST_F(CalibCoreLog, ALinkAtTheFileNameIsNotFollowed) {
    ASSERT_EQ(make_dirs(CORE_LOG_DIR), 1);
    TempDir dir;
    const std::string target = dir.file("elsewhere");
    write_file(target, "untouched\n");
    ASSERT_EQ(symlink(target.c_str(), CORE_LOG_FILE), 0);
    testing::internal::CaptureStderr();
    write_core("reason");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable create core file!\n");
    EXPECT_EQ(read_file(target), "untouched\n");
}

TEST_F(CalibCoreLog, ALongReasonIsCutAndItsEntryStillEndsItsLine) {
    write_core(std::string(2000, 'r').c_str());
    write_core("next");
    const std::string text = read_file(CORE_LOG_FILE);
    const size_t first_end = text.find('\n', 25);
    ASSERT_NE(first_end, std::string::npos);
    EXPECT_LT(first_end, 2000u);
    EXPECT_EQ(text.substr(text.size() - 5), "next\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
}

}  // namespace
