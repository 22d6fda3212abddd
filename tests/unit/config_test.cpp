#include "store/config.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "store/inifile.h"
#include "store/paths.h"
#include "test_support.h"

namespace {

// Every case works on the fixed configuration file, which only the sandbox
// may write.
class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(in_sandbox()) << "writes the fixed configuration path: run it through ctest";
        check_ini_file();
    }
    void set(const std::string& text) { write_file(CONFIG_FILE, text); }
    ConfigSnapshot snap() {
        ConfigSnapshot s;
        load_config(s);
        return s;
    }
};

TEST_F(ConfigFile, EmptyFileGivesDefaults) {
    set("");
    ConfigSnapshot s = snap();
    EXPECT_EQ(config_dot_num(s), 0);
    Pos keys[EDGE_KEY_COUNT];
    config_read_hotkeys(s, keys);
    for (const Pos& p : keys) EXPECT_TRUE(p.x == 0 && p.y == 1);
    config_read_qm_keys(s, keys);
    for (const Pos& p : keys) EXPECT_TRUE(p.x == 0 && p.y == 1);
}

TEST_F(ConfigFile, MissingKeysTakeTheirDefaults) {
    set("[coordinate]\ndotNum=9\ndotX4=300\ndotX10=7\ndotY1=20\n"
        "[HOTKEY]\nkeyX5=77\nkeyY15=5\n[QMEdgetab]\nQMkeyY27=4095\nQMkeyX2=-3\n");
    ConfigSnapshot s = snap();
    EXPECT_EQ(config_dot_num(s), 9);
    point dots[MAX_DOTS] = {};
    config_read_dots(s, 9, dots);
    EXPECT_EQ(dots[4].x, 300);
    EXPECT_EQ(dots[4].y, 1);
    EXPECT_EQ(dots[1].x, 0);
    EXPECT_EQ(dots[1].y, 20);
    EXPECT_EQ(dots[10].x, 0);  // beyond the count: not read
    Pos keys[EDGE_KEY_COUNT];
    config_read_hotkeys(s, keys);
    EXPECT_TRUE(keys[5].x == 77 && keys[5].y == 1);
    EXPECT_TRUE(keys[15].x == 0 && keys[15].y == 5);
    EXPECT_TRUE(keys[1].x == 0 && keys[1].y == 1);  // keyX15 must not answer keyX1
    config_read_qm_keys(s, keys);
    EXPECT_TRUE(keys[27].x == 0 && keys[27].y == 4095);
    EXPECT_TRUE(keys[2].x == -3 && keys[2].y == 1);
}

TEST_F(ConfigFile, DotCountAboveTwentyReadsTwentyOnly) {
    std::string text = "[coordinate]\ndotNum=25\n";
    for (int i = 0; i < 25; ++i)
        text += "dotX" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    set(text);
    struct {
        point dots[MAX_DOTS];
        point guard;
    } mem = {};
    mem.guard = {-9, -9};
    config_read_dots(snap(), 25, mem.dots);
    EXPECT_EQ(mem.dots[19].x, 19);
    EXPECT_EQ(mem.guard.x, -9);
}

Pos twenty_point(int i) { return Pos{100 + i, 4095 - i}; }

std::string twenty_body() {
    std::string body = "dotNum=20\n";
    for (int i = 19; i >= 0; --i)
        body += "dotX" + std::to_string(i) + "=" + std::to_string(100 + i) + "\ndotY" +
                std::to_string(i) + "=" + std::to_string(4095 - i) + "\n";
    return body;
}

TEST(TwentyBlock, ListsIndexNineteenFirst) {
    Pos dots[MAX_DOTS];
    for (int i = 0; i < MAX_DOTS; ++i) dots[i] = twenty_point(i);
    char block[1024];
    int len = format_twenty_block(block, sizeof block, dots);
    EXPECT_EQ(std::string(block, len), twenty_body());
    EXPECT_EQ(format_twenty_block(block, 100, dots), -1);
}

// The keys a store writes, one write_profile_string each, in its order.
struct KeyWrite {
    std::string section, key, value;
};

std::vector<KeyWrite> calibration_writes(int count, const Pos* dots, bool block_order) {
    std::vector<KeyWrite> w = {{SEC_COORDINATE, KEY_DOTNUM, std::to_string(count)}};
    for (int n = 0; n < count; ++n) {
        const int i = block_order ? count - 1 - n : n;
        w.push_back({SEC_COORDINATE, "dotX" + std::to_string(i), std::to_string(dots[i].x)});
        w.push_back({SEC_COORDINATE, "dotY" + std::to_string(i), std::to_string(dots[i].y)});
    }
    return w;
}

std::vector<KeyWrite> edge_key_writes(const Pos* keys, const Pos* qm) {
    std::vector<KeyWrite> w;
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) {
        w.push_back({SEC_HOTKEY, "keyX" + std::to_string(i), std::to_string(keys[i].x)});
        w.push_back({SEC_HOTKEY, "keyY" + std::to_string(i), std::to_string(keys[i].y)});
    }
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) {
        w.push_back({SEC_QMEDGETAB, "QMkeyX" + std::to_string(i), std::to_string(qm[i].x)});
        w.push_back({SEC_QMEDGETAB, "QMkeyY" + std::to_string(i), std::to_string(qm[i].y)});
    }
    return w;
}

// What the key-by-key writes leave of `before`.
std::string written_one_by_one(const std::string& before, const std::vector<KeyWrite>& writes) {
    TempDir dir;
    const std::string file = dir.file("config.ini");
    write_file(file, before);
    for (const KeyWrite& w : writes)
        EXPECT_EQ(
            write_profile_string(w.section.c_str(), w.key.c_str(), w.value.c_str(), file.c_str()),
            1);
    return read_file(file);
}

// Each store is one rewrite, yet leaves the file byte for byte as the same
// keys written one at a time do: the 20-point block where it has its place,
// otherwise the keys.
TEST_F(ConfigFile, AStoreLeavesWhatTheKeyByKeyWritesLeave) {
    Pos dots[MAX_DOTS], keys[EDGE_KEY_COUNT], qm[EDGE_KEY_COUNT];
    for (int i = 0; i < MAX_DOTS; ++i) dots[i] = twenty_point(i);
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) keys[i] = {4000 - i, i}, qm[i] = {0, 0};
    const std::string tail = "[HOTKEY]\nkeyX0=5\n[QMEdgetab]\nQMkeyX0=6\n[PID]\nQuilld=-1\n";
    // Both edge-key tables taught, and a calibration's monitor after them: the
    // block's tail is past its limit, so 20 points go in key by key.
    const std::string taught = "[coordinate]\ndotNum=9\ndotX12=3\n" +
                               written_one_by_one("", edge_key_writes(keys, qm)) +
                               "[Monitor]\nname=DP-2\n";
    const std::string before[] = {
        "",
        "[PID]\nQuilld=4\n",
        "[coordinate]\ndotNum=9\ndotX0=1\ndotY0=2\ndotX12=3\n" + tail,
        "[coordinate]\ndotNum=4\ndotX0=1\n",
        "[HOTKEY]\nkeyX0=5\n[coordinate]\ndotNum=4\n",
        "[coordinate]\ndotNum=4\n" + tail + std::string("\0junk[coordinate]\n", 18),
        "[Whiteboard]\nname=x\xff\xff[HOTKEY]\nkeyX3=1\n",
        "[coordinate]\ndotNum=9\ndotX12=3\n" + tail + "[Monitor]\nname=DP-2\n",
        taught,
    };

    for (const std::string& text : before) {
        SCOPED_TRACE(text);
        const bool names_monitor = text.find("name=DP-2") != std::string::npos;
        for (int count : {4, 9, 20}) {
            // nullptr: a screen of one monitor, which adds nothing and
            // empties a name stored before.
            for (const char* monitor : {static_cast<const char*>(nullptr), "HDMI-1"}) {
                SCOPED_TRACE(std::to_string(count) + (monitor ? " on HDMI-1" : ""));
                set(text);
                ASSERT_EQ(config_store_calibration(count, dots, monitor), 1);
                std::vector<KeyWrite> writes;
                std::string start = text;
                if (count == MAX_DOTS && text.find("dotX12") != std::string::npos && text != taught)
                    start = "[coordinate]\n" + twenty_body() + text.substr(text.find("[HOTKEY]"));
                else
                    writes = calibration_writes(count, dots, count == 20);
                if (monitor || names_monitor)
                    writes.push_back({SEC_MONITOR, KEY_MONITOR_NAME, monitor ? monitor : ""});
                EXPECT_EQ(read_file(CONFIG_FILE), written_one_by_one(start, writes));
            }
        }
        set(text);
        ASSERT_EQ(config_store_edge_keys(keys, qm), 1);
        EXPECT_EQ(read_file(CONFIG_FILE), written_one_by_one(text, edge_key_writes(keys, qm)));
    }
}

// A file padded to `free_bytes` below the store's limit of INI_BUF_SIZE - 1.
std::string padded(const std::string& text, int free_bytes) {
    const std::string head = text + "[pad]\nfill=";
    const int fill = INI_BUF_SIZE - 1 - free_bytes - static_cast<int>(head.size()) - 1;
    return head + std::string(fill, 'a') + "\n";
}

// Runs fn in a child process as user nobody; true when it returned true.
template <typename Fn>
bool as_nobody(Fn fn) {
    const pid_t child = fork();
    if (child == 0) _exit(setuid(65534) == 0 && fn() ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A store that cannot be completed stores nothing: the file stays byte for
// byte as it was, with no half of the new set in it.
// Any X client can name a monitor: a name that would not read back the same
// (a second [PID] from a line break, a name cut by the reader, the file's
// end at 0xFF) is never written.
TEST_F(ConfigFile, AMonitorNameIsStoredOnlyWhenItReadsBackTheSame) {
    Pos dots[MAX_DOTS];
    for (int i = 0; i < MAX_DOTS; ++i) dots[i] = twenty_point(i);
    const std::string old = "[PID]\nQuilld=-1\n";
    const struct {
        std::string name;
        bool stored;
    } cases[] = {
        {"HDMI-1", true},
        {"\xc3\x89"
         "cran [gauche] = A",
         true},
        {std::string(MONITOR_NAME_MAX, 'm'), true},
        {std::string(MONITOR_NAME_MAX + 1, 'm'), false},
        {"A\n[PID]\nQuilld=1\n[coordinate]\ndotNum=0", false},
        {"A\rB", false},
        {"A\x1b[2J", false},
        {"A\xff", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int count : {4, 20}) {
            set(old);
            EXPECT_EQ(config_store_calibration(count, dots, c.name.c_str()), c.stored ? 1 : 0);
            if (c.stored)
                EXPECT_EQ(config_monitor(snap()), c.name);
            else
                EXPECT_EQ(read_file(CONFIG_FILE), old);
        }
    }
}

TEST_F(ConfigFile, AStoreThatCannotCompleteLeavesTheFileAsItWas) {
    Pos dots[MAX_DOTS], keys[EDGE_KEY_COUNT] = {}, qm[EDGE_KEY_COUNT] = {};
    for (int i = 0; i < MAX_DOTS; ++i) dots[i] = twenty_point(i);
    const std::string old = "[PID]\nQuilld=-1\n[coordinate]\ndotNum=4\ndotX0=1\ndotY0=2\n";
    const struct {
        const char* name;
        std::string text;
        mode_t mode;
        bool nobody;  // written by user nobody (root writes any file)
    } cases[] = {
        // dotNum and two points fit; the rest of the set does not.
        {"over the size limit halfway", padded(old, 45), 0777, false},
        {"read-only for the writer", old, 0644, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int count : {4, 9, 20, 0}) {
            set(c.text);
            chmod(CONFIG_FILE, c.mode);
            auto store = [&] {
                return count ? config_store_calibration(count, dots) == 0
                             : config_store_edge_keys(keys, qm) == 0;
            };
            EXPECT_TRUE(c.nobody ? as_nobody(store) : store()) << count;
            EXPECT_EQ(read_file(CONFIG_FILE), c.text) << count;
        }
    }
}

// A writer killed at any moment leaves the complete old set or the complete
// new one, and whatever its killed predecessors left behind is cleared by
// the next writer that completes.
TEST_F(ConfigFile, AStoreKilledAtAnyMomentLeavesOneWholeSetAndNoLeftovers) {
    const std::string old = "[PID]\nQuilld=-1\n";
    set(old);
    ASSERT_EQ(chmod(CONFIG_FILE, 0777), 0);
    Pos first[9], second[9], keys[EDGE_KEY_COUNT], qm[EDGE_KEY_COUNT] = {};
    for (int i = 0; i < 9; ++i) first[i] = {i + 1, i + 2}, second[i] = {3000 + i, 2000 + i};
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) keys[i] = {i + 100, i + 200};
    const std::string after_first = written_one_by_one(old, calibration_writes(9, first, false));
    const std::string after_second =
        written_one_by_one(after_first, calibration_writes(9, second, false));
    const std::string after_keys = written_one_by_one(after_first, edge_key_writes(keys, qm));

    std::mt19937 rng(13);
    int cut = 0, longest_wait_us = 3000;
    // On a busy machine every writer may die before its first store is done:
    // widen the kill window until one has not, so the verdict is not the speed.
    for (int run = 0; run < 240 || (cut == 0 && run < 480); ++run) {
        if (run % 40 == 39 && cut == 0) longest_wait_us = std::min(2 * longest_wait_us, 200000);
        set(after_first);
        const bool nobody = run % 2 == 1;  // in place: the directory is root's
        const bool edge_keys = run % 3 == 0;
        const pid_t child = fork();
        if (child == 0) {
            if (nobody && setuid(65534) != 0) _exit(2);
            for (;;) {
                if (edge_keys)
                    config_store_edge_keys(keys, qm);
                else
                    config_store_calibration(9, second), config_store_calibration(9, first);
            }
        }
        usleep(std::uniform_int_distribution<int>(0, longest_wait_us)(rng));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string left = read_file(CONFIG_FILE);
        // In place, a shorter text may stand on empty lines until the cut.
        const std::string text = left.substr(0, left.find_last_not_of('\n') + 1) + "\n";
        if (edge_keys)
            ASSERT_TRUE(text == after_first || text == after_keys) << run << ":\n" << left;
        else
            ASSERT_TRUE(text == after_first || text == after_second) << run << ":\n" << left;
        cut += text != after_first;
    }
    EXPECT_GT(cut, 0) << "no kill fell after a completed store";

    // Every leftover of the killed writers goes with the next rewrite.
    ASSERT_EQ(write_profile_string(SEC_PID, KEY_QUILLD, "7", CONFIG_FILE), 1);
    std::vector<std::string> left;
    if (DIR* d = opendir(QMRV_DIR)) {
        while (dirent* e = readdir(d))
            if (strncmp(e->d_name, "config.ini", 10) == 0) left.push_back(e->d_name);
        closedir(d);
    }
    EXPECT_EQ(left, std::vector<std::string>{"config.ini"});
}

}  // namespace
