// gtest before Xlib, whose macros (None, Bool) clash with its names.
// clang-format off
#include <gtest/gtest.h>
#include "tables.h"
// clang-format on

#include <cstdio>
#include <string>

namespace {

ConfigSnapshot snapshot(const std::string& text) {
    ConfigSnapshot s;
    snprintf(s.text, sizeof s.text, "%s", text.c_str());
    return s;
}

// Tables as a previous load left them, every field recognisable.
Tables previous() {
    Tables t{};
    t.cal.Dot_Num = 9;
    t.cal.Screen_w = 1000;
    t.cal.Screen_h = 800;
    for (int i = 0; i < MAX_DOTS; ++i) {
        t.cal.coor_store[i] = {1000.0 + i, 2000.0 + i};
        t.cal.position[i] = {-5.0 - i, -6.0 - i};
    }
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) {
        t.KeyPos[i] = {7000 + i, 8000 + i};
        t.QMKeyPos[i] = {9000 + i, 9500 + i};
    }
    return t;
}

// Points i = 0 .. n-1 at (100 i + 7, 50 i + 3), skipping the keys named.
std::string coordinate(int dot_num, int points, const std::string& skip = "") {
    std::string s = "[coordinate]\ndotNum=" + std::to_string(dot_num) + "\n";
    for (int i = 0; i < points; ++i) {
        const std::string x = "dotX" + std::to_string(i), y = "dotY" + std::to_string(i);
        if (x != skip) s += x + "=" + std::to_string(100 * i + 7) + "\n";
        if (y != skip) s += y + "=" + std::to_string(50 * i + 3) + "\n";
    }
    return s;
}

std::string orient_lines(int n, int missing_y = -1) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "orient......" + std::to_string(i) + ":(" + std::to_string(100 * i + 7) + " " +
             std::to_string(i == missing_y ? 1 : 50 * i + 3) + ")\n";
    return s;
}

struct Loaded {
    int count;
    std::string out;
};

Loaded load(const std::string& text, Tables& t) {
    const ConfigSnapshot s = snapshot(text);
    ::testing::internal::CaptureStdout();
    const int count = load_tables(s, t);
    return {count, ::testing::internal::GetCapturedStdout()};
}

void expect_same_points(const point* a, const point* b, int n, const char* what) {
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(a[i].x, b[i].x) << what << " " << i;
        EXPECT_EQ(a[i].y, b[i].y) << what << " " << i;
    }
}

void expect_same_keys(const Pos* a, const Pos* b, const char* what) {
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) {
        EXPECT_EQ(a[i].x, b[i].x) << what << " " << i;
        EXPECT_EQ(a[i].y, b[i].y) << what << " " << i;
    }
}

TEST(LoadTables, NoCalibrationChangesOnlyTheCount) {
    const char* texts[] = {
        "",
        "[coordinate]\ndotNum=0\ndotX0=5\ndotY0=6\n[HOTKEY]\nkeyX0=5\n[QMEdgetab]\nQMkeyX0=5\n",
        "[coordinate]\ndotX0=5\n[HOTKEY]\nkeyX1=9\nkeyY1=9\n",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const Tables before = previous();
        Tables t = previous();
        const Loaded l = load(text, t);
        EXPECT_EQ(l.count, 0);
        EXPECT_EQ(l.out, "");
        EXPECT_EQ(t.cal.Dot_Num, 0);
        EXPECT_EQ(t.cal.Screen_w, before.cal.Screen_w);
        EXPECT_EQ(t.cal.Screen_h, before.cal.Screen_h);
        expect_same_points(t.cal.coor_store, before.cal.coor_store, MAX_DOTS, "coor_store");
        expect_same_points(t.cal.position, before.cal.position, MAX_DOTS, "position");
        expect_same_keys(t.KeyPos, before.KeyPos, "KeyPos");
        expect_same_keys(t.QMKeyPos, before.QMKeyPos, "QMKeyPos");
    }
}

TEST(LoadTables, NinePointsWithAMissingY) {
    Tables t = previous();
    const Loaded l = load(coordinate(9, 9, "dotY4"), t);
    EXPECT_EQ(l.count, 9);
    EXPECT_EQ(t.cal.Dot_Num, 9);
    EXPECT_EQ(l.out, orient_lines(9, 4));
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(t.cal.coor_store[i].x, 100 * i + 7) << i;
        EXPECT_EQ(t.cal.coor_store[i].y, i == 4 ? 1 : 50 * i + 3) << i;
    }
    // Entries past the count are cleared, in both tables.
    for (int i = 9; i < MAX_DOTS; ++i) {
        EXPECT_EQ(t.cal.coor_store[i].x, 0) << i;
        EXPECT_EQ(t.cal.coor_store[i].y, 0) << i;
        EXPECT_EQ(t.cal.position[i].x, 0) << i;
        EXPECT_EQ(t.cal.position[i].y, 0) << i;
    }
    // The 3 by 3 grid of the screen size kept from start-up.
    EXPECT_EQ(t.cal.Screen_w, 1000);
    EXPECT_EQ(t.cal.Screen_h, 800);
    const double columns[] = {100, 500, 900}, rows[] = {80, 400, 720};
    for (int k = 0; k < 9; ++k) {
        EXPECT_NEAR(t.cal.position[k].x, columns[k / 3], 1e-9) << k;
        EXPECT_NEAR(t.cal.position[k].y, rows[k % 3], 1e-9) << k;
    }
}

TEST(LoadTables, GridLaidOutForTheCount) {
    const struct {
        int count;
        int w, h;  // grid
    } cases[] = {{4, 2, 2}, {9, 3, 3}, {20, 5, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        Tables t = previous();
        load(coordinate(c.count, c.count), t);
        for (int k = 0; k < c.count; ++k) {
            const int col = k / c.h, row = k % c.h;
            EXPECT_NEAR(t.cal.position[k].x, 100 + col * 800.0 / (c.w - 1), 1e-9) << k;
            EXPECT_NEAR(t.cal.position[k].y, 80 + row * 640.0 / (c.h - 1), 1e-9) << k;
        }
        for (int k = c.count; k < MAX_DOTS; ++k) EXPECT_EQ(t.cal.position[k].x, 0) << k;
    }
}

TEST(LoadTables, KeyTablesReplacedWithTheirDefaults) {
    Tables t = previous();
    load(coordinate(4, 4) +
             "[HOTKEY]\nkeyX5=77\nkeyY15=5\nQMkeyX3=11\n"
             "[QMEdgetab]\nQMkeyY27=4095\nQMkeyX2=-3\nkeyX6=12\n",
         t);
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) {
        SCOPED_TRACE(i);
        const Pos touch = i == 5 ? Pos{77, 1} : i == 15 ? Pos{0, 5} : Pos{0, 1};
        const Pos elec = i == 27 ? Pos{0, 4095} : i == 2 ? Pos{-3, 1} : Pos{0, 1};
        EXPECT_EQ(t.KeyPos[i].x, touch.x);
        EXPECT_EQ(t.KeyPos[i].y, touch.y);
        EXPECT_EQ(t.QMKeyPos[i].x, elec.x);
        EXPECT_EQ(t.QMKeyPos[i].y, elec.y);
    }
}

TEST(LoadTables, OrientLineForEachPoint) {
    Tables t = previous();
    const Loaded l = load(
        "[coordinate]\ndotNum=4\ndotX0=400\ndotY0=300\ndotX1=-3\ndotY1=3300\n"
        "dotX2=3600\ndotX3=4095\ndotY3=0\n",
        t);
    EXPECT_EQ(l.out,
              "orient......0:(400 300)\norient......1:(-3 3300)\n"
              "orient......2:(3600 1)\norient......3:(4095 0)\n");
}

// A count above 20 reads the 20 points the tables hold and maps like 0.
TEST(LoadTables, MoreThanTwentyReadsTwenty) {
    Tables t = previous();
    const Loaded l = load(coordinate(25, 25), t);
    EXPECT_EQ(l.out, orient_lines(20));
    for (int i = 0; i < MAX_DOTS; ++i) EXPECT_EQ(t.cal.coor_store[i].x, 100 * i + 7) << i;
    for (const mouse_act s : {mouse_act{7, 3, 1}, mouse_act{2000, 1800, 1}}) {
        const mouse_act r = DtoSP(t.cal, s);
        EXPECT_EQ(r.x, 0);
        EXPECT_EQ(r.y, 0);
    }
    // The targets are those of the default 3 by 3 grid.
    EXPECT_NEAR(t.cal.position[4].x, 500, 1e-9);
    EXPECT_NEAR(t.cal.position[4].y, 400, 1e-9);
    EXPECT_EQ(t.cal.position[9].x, 0);
}

TEST(LoadTables, SmallerCalibrationAfterALargerOne) {
    Tables t = previous();
    load(coordinate(20, 20), t);
    const Loaded l = load(coordinate(4, 20), t);  // the old keys stay in the file
    EXPECT_EQ(l.out, orient_lines(4));
    EXPECT_EQ(t.cal.Dot_Num, 4);
    for (int i = 4; i < MAX_DOTS; ++i) {
        EXPECT_EQ(t.cal.coor_store[i].x, 0) << i;
        EXPECT_EQ(t.cal.position[i].x, 0) << i;
    }
    EXPECT_NEAR(t.cal.position[3].x, 900, 1e-9);
    EXPECT_NEAR(t.cal.position[3].y, 720, 1e-9);
}

TEST(TableStoreTest, ReaderSeesEachPublishedTableWhole) {
    TableStore store;
    Tables mine{};
    unsigned generation = ~0u;
    store.refresh(mine, generation);
    EXPECT_EQ(mine.cal.Dot_Num, 0);

    Tables next = previous();
    store.publish(next);
    mine.cal.Dot_Num = -99;  // a reader's copy is its own until the next publish
    store.refresh(mine, generation);
    EXPECT_EQ(mine.cal.Dot_Num, 9);
    EXPECT_EQ(mine.KeyPos[27].x, 7027);

    mine.cal.Dot_Num = -99;
    store.refresh(mine, generation);
    EXPECT_EQ(mine.cal.Dot_Num, -99) << "nothing new published: the copy is left alone";

    next.cal.Dot_Num = 20;
    store.publish(next);
    store.refresh(mine, generation);
    EXPECT_EQ(mine.cal.Dot_Num, 20);
    EXPECT_EQ(store.current().cal.Dot_Num, 20);
}

}  // namespace

TEST(LoadTables, CompactOptionsReadKeySectionsSilently) {
    const std::string text = coordinate(4, 4) +
                             "[HOTKEY]\nkeyX12=1\nkeyY12=2\n"
                             "[HOTKEY12]\nkeyX=1200\nkeyY=3900\n"
                             "[HOTKEY26]\nkeyX=2600\n"
                             "[HOTKEY27]\nkeyX27=5\nkeyY=27\n";
    Tables t = previous();
    const ConfigSnapshot s = snapshot(text);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(load_tables(s, t, TableOptions{false, true}), 4);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    struct Expected {
        int key;
        Pos pos;
    };
    for (const Expected& e : {Expected{12, {1200, 3900}}, Expected{26, {2600, 1}},
                              Expected{27, {0, 27}}, Expected{0, {0, 1}}}) {
        EXPECT_EQ(t.KeyPos[e.key].x, e.pos.x) << e.key;
        EXPECT_EQ(t.KeyPos[e.key].y, e.pos.y) << e.key;
    }
}
