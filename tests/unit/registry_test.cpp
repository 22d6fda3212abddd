#include "store/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "store/inifile.h"
#include "store/paths.h"
#include "test_support.h"

namespace {

// A child process that shows `name` in /proc/<pid>/comm and exits with 7
// when it receives SIGUSR1, or 0 when it is terminated.
class NamedProcess {
public:
    explicit NamedProcess(const char* name) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGUSR1);
        sigaddset(&set, SIGTERM);
        sigprocmask(SIG_BLOCK, &set, &old_);
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_NAME, name);
            int sig = 0;
            sigwait(&set, &sig);
            _exit(sig == SIGUSR1 ? 7 : 0);
        }
        sigprocmask(SIG_SETMASK, &old_, nullptr);
        // Wait until the new name shows.
        for (int i = 0; i < 200 && !shows(name); ++i) usleep(5000);
    }
    ~NamedProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    int pid() const { return pid_; }
    // The exit code once it ended, waiting at most about two seconds.
    int exit_code() {
        for (int i = 0; i < 400; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(5000);
        }
        return -2;  // still running
    }

private:
    bool shows(const char* name) const {
        return read_file("/proc/" + std::to_string(pid_) + "/comm") == std::string(name) + "\n";
    }
    int pid_ = -1;
    sigset_t old_;
};

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(in_sandbox()) << "writes the fixed configuration path: run it through ctest";
        check_ini_file();
        write_file(CONFIG_FILE, "");
    }
    void record(const char* key, const std::string& value) {
        write_profile_string(SEC_PID, key, value.c_str(), CONFIG_FILE);
    }
};

TEST_F(Registry, ReadsWritesAndClearsIds) {
    EXPECT_EQ(registry_read(KEY_QUILLD), -1);
    ASSERT_EQ(registry_write_self(KEY_QUILLD), 1);
    EXPECT_EQ(registry_read(KEY_QUILLD), getpid());
    EXPECT_EQ(registry_read(KEY_ZURAZE), -1);
    ASSERT_EQ(registry_clear(KEY_QUILLD), 1);
    EXPECT_EQ(read_file(CONFIG_FILE), "[PID]\nQuilld=-1\n");
    record(KEY_EDGETAB, "garbage");
    EXPECT_EQ(registry_read(KEY_EDGETAB), 0);
}

TEST_F(Registry, SignalsOnlyTheRegisteredProgram) {
    NamedProcess zuraze(KEY_ZURAZE);
    record(KEY_ZURAZE, std::to_string(zuraze.pid()));
    EXPECT_EQ(registry_owns(zuraze.pid(), KEY_ZURAZE), 1);
    EXPECT_EQ(registry_owns(zuraze.pid(), KEY_EDGETAB), 0);
    EXPECT_EQ(registry_signal(KEY_ZURAZE, SIGUSR1), 0);
    EXPECT_EQ(zuraze.exit_code(), 7);
}

TEST_F(Registry, NeverSignalsStrangersOrNonPositiveIds) {
    NamedProcess stranger("bash");
    const std::string entries[] = {
        "0", "-1", "-5", "abc", std::to_string(stranger.pid()), "4194305", "99999999999"};
    for (const std::string& entry : entries) {
        SCOPED_TRACE(entry);
        record(KEY_EDGETAB, entry);
        EXPECT_EQ(registry_signal(KEY_EDGETAB, SIGUSR1), -1);
    }
    EXPECT_EQ(stranger.exit_code(), -2);  // still running: never signalled
}

TEST_F(Registry, ExitedProcessIsStale) {
    int pid;
    {
        NamedProcess edgetab(KEY_EDGETAB);
        pid = edgetab.pid();
    }
    record(KEY_EDGETAB, std::to_string(pid));
    EXPECT_EQ(registry_owns(pid, KEY_EDGETAB), 0);
    EXPECT_EQ(registry_signal(KEY_EDGETAB, SIGUSR1), -1);
}

TEST_F(Registry, ServiceKeyAcceptsTheCompactBuild) {
    NamedProcess compact(QUILLD_COMPACT_NAME);
    EXPECT_EQ(registry_owns(compact.pid(), KEY_QUILLD), 1);
    EXPECT_EQ(registry_owns(compact.pid(), KEY_ZURAZE), 0);
    EXPECT_EQ(registry_signal_pid(compact.pid(), KEY_QUILLD, SIGUSR1), 0);
    EXPECT_EQ(compact.exit_code(), 7);
}

}  // namespace
