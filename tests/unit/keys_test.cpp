#include "keys.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "protocol/board_packet.h"
#include "protocol/edge_keys.h"

namespace {

std::string hex(int code) {
    char b[8];
    snprintf(b, sizeof b, "0x%02X", code);
    return b;
}

// ------------------------------------------------------------ hardware keys

// The edge-key function (row of kEdgeKeys) an action performs, or -1.
int function_of(const KeyAction& a) {
    if (a.kind == KeyKind::start_orient) return EDGE_KEY_ORIENT;
    if (a.kind == KeyKind::start_app) return EDGE_KEY_START;
    for (int i = 0; a.kind == KeyKind::word && i < EDGE_KEY_FUNCTIONS; ++i)
        if (kEdgeKeys[i].word && strcmp(kEdgeKeys[i].word, a.word) == 0) return i;
    return -1;
}

// Key codes come in three groups by their high nibble, the touch line's
// spread over 0xA_ and 0xC_.
int group(int code) { return code >> 4 == 0xC ? 0xA : code >> 4; }

// Every event value: each key function has one code in each group, and all
// other values (the tool codes 0xA3..0xA8, the release codes 0xB1..0xBE and
// 0xD1, the pen and stroke events) are ignored.
TEST(HardwareKeys, EveryFunctionHasOneCodePerGroup) {
    std::vector<std::set<int>> groups(EDGE_KEY_FUNCTIONS);
    int acting = 0;
    for (int code = 0; code < 256; ++code) {
        const KeyAction a = hardware_key(static_cast<uint8_t>(code));
        if (a.kind == KeyKind::none) continue;
        ++acting;
        const int f = function_of(a);
        ASSERT_GE(f, 0) << hex(code) << " does none of the edge keys' functions";
        EXPECT_TRUE(groups[f].insert(group(code)).second) << hex(code) << ": a second code";
    }
    for (int f = 0; f < EDGE_KEY_FUNCTIONS; ++f)
        EXPECT_EQ(groups[f], (std::set<int>{0xA, 0xD, 0xF})) << kEdgeKeys[f].stem;
    EXPECT_EQ(acting, 3 * EDGE_KEY_FUNCTIONS);
}

// The electromagnetic groups run through the functions in table order over the
// fourteen codes 0x_2..0x_F, wrapping round, the calibration key at its constant.
TEST(HardwareKeys, ElectromagneticCodesRunInTableOrder) {
    for (int orient : {E_CMD_ORIENT3, E_CMD_ORIENT2}) {
        const int first = (orient | 0x0F) - (EDGE_KEY_FUNCTIONS - 1);
        for (int f = 0; f < EDGE_KEY_FUNCTIONS; ++f) {
            const int step = (f - EDGE_KEY_ORIENT + EDGE_KEY_FUNCTIONS) % EDGE_KEY_FUNCTIONS;
            const int code = first + (orient - first + step) % EDGE_KEY_FUNCTIONS;
            EXPECT_EQ(function_of(hardware_key(code)), f) << hex(code);
        }
    }
}

// The touch group follows no such order: a few of its codes pinned here, the
// others by the end-to-end key tests. 0xD2 is also the eraser's release code.
TEST(HardwareKeys, FixedCodes) {
    EXPECT_EQ(hardware_key(0xA1).kind, KeyKind::start_app);
    EXPECT_EQ(hardware_key(T_CMD_ORIENT).kind, KeyKind::start_orient);
    EXPECT_STREQ(hardware_key(0xA9).word, "anew\n");
    EXPECT_STREQ(hardware_key(0xAE).word, "cusp\n");
    EXPECT_STREQ(hardware_key(0xC1).word, "mous\n");
    EXPECT_STREQ(hardware_key(0xC5).word, "rpen\n");
    EXPECT_STREQ(hardware_key(0xD2).word, "rpen\n");
    EXPECT_EQ(hardware_key(0xB2).kind, KeyKind::none);
}

// ---------------------------------------------------------------- edge keys

TEST(EdgeKeys, ActionOfEachKey) {
    for (int key = 0; key < EDGE_KEY_FUNCTIONS; ++key) {
        const KeyAction a = edge_key(key);
        EXPECT_EQ(function_of(a), key) << key;
        EXPECT_EQ(a.kind == KeyKind::word, kEdgeKeys[key].word != nullptr) << key;
    }
    EXPECT_EQ(edge_key(-1).kind, KeyKind::none);
    EXPECT_EQ(edge_key(EDGE_KEY_FUNCTIONS).kind, KeyKind::none);
}

// One row per key function: every key has pictures of its own, and no two
// keys send the same word.
TEST(EdgeKeys, EveryKeyHasItsOwnPicturesAndWord) {
    std::set<std::string> stems, words;
    for (const EdgeKey& k : kEdgeKeys) {
        ASSERT_NE(k.stem, nullptr);
        EXPECT_TRUE(stems.insert(k.stem).second) << k.stem;
        if (k.word) {
            EXPECT_TRUE(words.insert(k.word).second) << k.word;
        }
    }
    EXPECT_EQ(words.size(), 12u) << "all but the two keys that start programs";
}

struct Table {
    Pos entry[EDGE_KEY_COUNT];
};

// Keys taught far apart: key i at (500 + 200 i, 3900) on one edge and at
// (500 + 200 i, 200) on the other.
Table taught() {
    Table t;
    for (int i = 0; i < 14; ++i) {
        t.entry[i] = {500 + 200 * i, 3900};
        t.entry[i + 14] = {500 + 200 * i, 200};
    }
    return t;
}

Table untaught() {
    Table t;
    for (Pos& p : t.entry) p = {0, 1};
    return t;
}

struct Touch {
    const char* what;
    std::vector<std::pair<int, Pos>> taught_at;  // entries moved for the case
    int x, y;
    int key;  // -1: none
};

TEST(EdgeKeys, WhichKeyAContactLiesOn) {
    const Touch cases[] = {
        {"30 off on both axes", {{0, {130, 170}}}, 100, 200, 0},
        {"30 off the other way", {{0, {70, 230}}}, 100, 200, 0},
        {"31 off in x", {{0, {131, 170}}}, 100, 200, -1},
        {"31 off in y", {{0, {100, 231}}}, 100, 200, -1},
        {"31 off the other way", {{0, {69, 200}}}, 100, 200, -1},
        {"within reach of 3 and 5", {{3, {1000, 1000}}, {5, {1040, 1020}}}, 1020, 1010, 3},
        {"second edge of key 3", {{17, {2000, 2000}}}, 2010, 1990, 3},
        {"second edge of key 2 before key 4",
         {{4, {2000, 2000}}, {16, {2020, 2000}}},
         2010,
         2000,
         2},
        {"key 5 on both edges", {{5, {2000, 2000}}, {19, {2000, 2010}}}, 2000, 2005, 5},
        {"last key, second edge", {{27, {3000, 1000}}}, 3000, 1000, 13},
        {"taught table, on key 9", {}, 500 + 200 * 9 + 25, 3900 - 25, 9},
        {"taught table, on key 22 (8)", {}, 500 + 200 * 8, 200, 8},
        {"taught table, between keys", {}, 600, 3900, -1},
    };
    for (const Touch& c : cases) {
        SCOPED_TRACE(c.what);
        Table t = taught();
        for (const auto& moved : c.taught_at) t.entry[moved.first] = moved.second;
        EXPECT_EQ(find_edge_key(t.entry, c.x, c.y), c.key);
    }
}

// Never-taught tables put every key at (0, 1): the first key takes the
// corner and no other key can ever fire.
TEST(EdgeKeys, UntaughtTableOnlyKeyZeroAtTheCorner) {
    const Table t = untaught();
    for (int x = -60; x <= 200; ++x)
        for (int y = -60; y <= 200; ++y) {
            const bool corner = x >= -30 && x <= 30 && y >= -29 && y <= 31;
            ASSERT_EQ(find_edge_key(t.entry, x, y), corner ? 0 : -1) << x << "," << y;
        }
    EXPECT_EQ(find_edge_key(t.entry, 30, 31), 0);
    EXPECT_EQ(find_edge_key(t.entry, 0, 0), 0);
    EXPECT_EQ(find_edge_key(t.entry, 31, 0), -1);
    EXPECT_EQ(find_edge_key(t.entry, 0, 32), -1);
    EXPECT_EQ(find_edge_key(t.entry, 4095, 4095), -1);
}

// ------------------------------------------------------------ double press

struct Decision {
    const char* word;
    const char* front;
    float elapsed_s;
    bool twice;
};

TEST(DoublePress, SameWordWithinAFifthOfASecond) {
    const Decision cases[] = {
        {"rpen\n", "rpen\n", 0.1f, true},   {"rpen\n", "rpen\n", 0.5f, false},
        {"rpen\n", "rpen\n", 0.0f, true},   {"rpen\n", "rpen\n", 0.19f, true},
        {"rpen\n", "rpen\n", 0.2f, false},  {"rpen\n", "rpen\n", -0.1f, true},
        {"rpen\n", "rpen\n", -0.5f, false}, {"rpen\n", "bpen\n", 0.1f, false},
        {"rpen\n", "", 0.1f, false},        {"rpen\n", "rped\n", 0.1f, false},
        {"elbc\n", "elbc\n", 0.1f, true},   {"anew\n", "anew\n", 0.1f, true},
    };
    for (const Decision& c : cases) {
        SCOPED_TRACE(std::string(c.word) + " after " + c.front + " " + std::to_string(c.elapsed_s));
        EXPECT_EQ(is_double_press(c.word, c.front, c.elapsed_s), c.twice);
    }
}

TEST(DoublePress, DoubleForms) {
    const struct {
        const char* word;
        const char* twice;
        bool starts_app;
    } cases[] = {
        {"bpen\n", "bped\n", false}, {"rpen\n", "rped\n", false}, {"lpen\n", "lped\n", false},
        {"gpen\n", "gped\n", false}, {"elfc\n", "elfd\n", false}, {"elbc\n", "elbd\n", true},
        {"anew\n", "anew\n", false}, {"save\n", "save\n", false}, {"prev\n", "prev\n", false},
        {"next\n", "next\n", false}, {"mous\n", "mous\n", false}, {"eare\n", "eare\n", false},
        {"cust\n", "cust\n", false}, {"cusp\n", "cusp\n", false}, {"bped\n", "bped\n", false},
        {"elbd\n", "elbd\n", false},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(double_press_word(c.word), c.twice) << c.word;
        EXPECT_EQ(double_press_starts_app(c.word), c.starts_app) << c.word;
    }
}

// The sending rule over a run of presses: what goes out, and what the next
// press is compared with.
struct Sender {
    std::string front;
    std::vector<std::string> sent;
    int app_starts = 0;

    void press(const char* word, float since_previous) {
        std::string out = word;
        if (is_double_press(word, front.c_str(), since_previous)) {
            if (double_press_starts_app(word)) ++app_starts;
            out = double_press_word(word);
        }
        sent.push_back(out);
        front = out;
    }
};

TEST(DoublePress, RunsOfPresses) {
    const struct {
        const char* what;
        std::vector<std::pair<const char*, float>> presses;
        std::vector<std::string> sent;
        int app_starts;
    } cases[] = {
        {"pen key at 0.1 s: plain, double, plain, double",
         {{"rpen\n", 9.0f}, {"rpen\n", 0.1f}, {"rpen\n", 0.1f}, {"rpen\n", 0.1f}},
         {"rpen\n", "rped\n", "rpen\n", "rped\n"},
         0},
        {"new page never doubles",
         {{"anew\n", 9.0f}, {"anew\n", 0.1f}, {"anew\n", 0.1f}},
         {"anew\n", "anew\n", "anew\n"},
         0},
        {"half a second apart", {{"bpen\n", 9.0f}, {"bpen\n", 0.5f}}, {"bpen\n", "bpen\n"}, 0},
        {"back pen button twice", {{"elbc\n", 9.0f}, {"elbc\n", 0.1f}}, {"elbc\n", "elbd\n"}, 1},
        {"front pen button twice", {{"elfc\n", 9.0f}, {"elfc\n", 0.1f}}, {"elfc\n", "elfd\n"}, 0},
        {"different pens",
         {{"rpen\n", 9.0f}, {"bpen\n", 0.1f}, {"rpen\n", 0.1f}},
         {"rpen\n", "bpen\n", "rpen\n"},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sender s;
        for (const auto& p : c.presses) s.press(p.first, p.second);
        EXPECT_EQ(s.sent, c.sent);
        EXPECT_EQ(s.app_starts, c.app_starts);
    }
}

}  // namespace
