#include "config.h"

#include <gtest/gtest.h>

#include <string>

#include "inifile.h"
#include "paths.h"
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

TEST_F(ConfigFile, TwentyPointsReplaceTheSectionBody) {
    const std::string tail = "[HOTKEY]\nkeyX0=5\n[QMEdgetab]\nQMkeyX0=6\n[PID]\nQuilld=-1\n";
    set("[coordinate]\ndotNum=9\ndotX0=1\ndotY0=2\ndotX12=3\n" + tail);
    Pos dots[MAX_DOTS];
    for (int i = 0; i < MAX_DOTS; ++i) dots[i] = twenty_point(i);
    EXPECT_EQ(config_store_twenty(dots), 1);
    EXPECT_EQ(read_file(CONFIG_FILE), "[coordinate]\n" + twenty_body() + tail);
}

// Without "coordinate" followed by "HOTKEY" the block cannot replace anything;
// the keys are then written one by one, and none is lost.
TEST_F(ConfigFile, TwentyPointsFallBackToSingleKeys) {
    const char* files[] = {"", "[PID]\nQuilld=4\n", "[coordinate]\ndotNum=4\ndotX0=1\n",
                           "[HOTKEY]\nkeyX0=5\n[coordinate]\ndotNum=4\n"};
    Pos dots[MAX_DOTS];
    for (int i = 0; i < MAX_DOTS; ++i) dots[i] = twenty_point(i);
    for (const char* before : files) {
        SCOPED_TRACE(before);
        set(before);
        EXPECT_EQ(config_store_twenty(dots), 1);
        ConfigSnapshot s = snap();
        EXPECT_EQ(config_dot_num(s), 20);
        point read[MAX_DOTS];
        config_read_dots(s, 20, read);
        for (int i = 0; i < MAX_DOTS; ++i) {
            EXPECT_EQ(read[i].x, 100 + i);
            EXPECT_EQ(read[i].y, 4095 - i);
        }
    }
    EXPECT_EQ(text_read_int(snap().text, SEC_HOTKEY, "keyX0", -1), 5);
}

TEST_F(ConfigFile, PairsAreWrittenXThenY) {
    set("");
    ASSERT_EQ(config_write_pair(SEC_QMEDGETAB, KEY_QMKEYX, KEY_QMKEYY, 27, Pos{0, 4095}), 1);
    ASSERT_EQ(config_write_pair(SEC_QMEDGETAB, KEY_QMKEYX, KEY_QMKEYY, 2, Pos{-1, 3}), 1);
    // Each new key becomes the first line of its section.
    EXPECT_EQ(read_file(CONFIG_FILE),
              "[QMEdgetab]\nQMkeyY2=3\nQMkeyX2=-1\nQMkeyY27=4095\nQMkeyX27=0\n");
}

}  // namespace
