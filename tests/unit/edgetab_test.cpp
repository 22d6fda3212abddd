// The edge-key tool's pure cores: the key layout and pictures, the tool's
// identification table, the sample rule, and the order in which the learnt
// keys are stored (the store writes the fixed configuration file, so these
// run inside the sandbox).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "protocol/board_packet.h"
#include "Edgetab/capture.h"
#include "store/config.h"
#include "store/inifile.h"
#include "key_table.h"
#include "store/paths.h"
#include "Edgetab/store.h"
#include "test_support.h"

namespace {

// ---------------------------------------------------------------- layout

struct LayoutCase {
    double width, height;
    std::vector<std::pair<int, Pos>> expected;  // key index, top-left corner
};

TEST(EdgetabLayout, ScreenExamples) {
    const LayoutCase cases[] = {
        {1024, 768,
         {{0, {307, 58}}, {1, {307, 106}}, {13, {307, 673}}, {14, {680, 58}}, {27, {680, 673}}}},
        {1280, 1024, {{0, {384, 84}}, {13, {384, 903}}, {14, {860, 84}}}},
    };
    for (const LayoutCase& c : cases) {
        Pos layout[EDGE_KEY_COUNT];
        layout_keys(c.width, c.height, layout);
        for (const auto& [key, pos] : c.expected) {
            EXPECT_EQ(layout[key].x, pos.x) << c.width << "x" << c.height << " key " << key;
            EXPECT_EQ(layout[key].y, pos.y) << c.width << "x" << c.height << " key " << key;
        }
    }
}

TEST(EdgetabLayout, OppositeKeysShareTheirRowAndRowsDescend) {
    Pos layout[EDGE_KEY_COUNT];
    layout_keys(1920, 1080, layout);
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(layout[i].y, layout[i + 14].y) << i;
        EXPECT_EQ(layout[i].x, layout[0].x) << i;
        EXPECT_EQ(layout[i + 14].x, layout[14].x) << i;
        if (i > 0) {
            EXPECT_GT(layout[i].y, layout[i - 1].y) << i;
        }
    }
}

TEST(EdgetabImages, FileOfEachKeyAndState) {
    const struct {
        int key, state;
        const char* file;
    } cases[] = {
        {0, KEY_IDLE, "NewPage2.bmp"},  // the first key starts out active
        {0, KEY_DONE, "NewPage3.bmp"},     {14, KEY_IDLE, "NewPage1.bmp"},
        {3, KEY_ACTIVE, "NextPage2.bmp"},  {17, KEY_DONE, "NextPage3.bmp"},
        {10, KEY_IDLE, "UserDefine21.bmp"}, {25, KEY_ACTIVE, "UserDefine12.bmp"},
        {12, KEY_IDLE, "Orient1.bmp"},     {27, KEY_DONE, "Start3.bmp"},
        {5, KEY_ACTIVE, "BlackPen2.bmp"},  {23, KEY_IDLE, "Eraser1.bmp"},
    };
    for (const auto& c : cases) {
        char file[128];
        key_image_file(c.key, c.state, file, sizeof file);
        EXPECT_EQ(std::string(file), std::string(EDGETAB_RES_DIR) + c.file) << c.key;
    }
    char small[10];
    key_image_file(7, KEY_IDLE, small, sizeof small);
    EXPECT_EQ(std::string(small), std::string(EDGETAB_RES_DIR).substr(0, 9));
}

// ---------------------------------------------------------------- packets

std::vector<uint8_t> packet(std::vector<uint8_t> first7) {
    first7.push_back(0);
    first7[7] = packet_check_byte(first7.data());
    return first7;
}

TEST(EdgetabCapture, PacketKinds) {
    auto bad = packet({0xEE, 0x51, 1, 2, 3, 4, 5});
    bad[7] ^= 0xFF;
    auto bad_ca = packet({0xC8, 0xCA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    bad_ca[7] ^= 0x01;
    const struct {
        std::vector<uint8_t> pkt;
        PacketKind kind;
    } cases[] = {
        {packet({0xEE, 0x51, 0x51, 1, 2, 3, 4}), PacketKind::data},
        {bad, PacketKind::bad_check},
        {{0xC8, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEA}, PacketKind::reply},
        {bad_ca, PacketKind::no_edge_keys},
        {packet({0xEE, 0xCA, 0x51, 1, 2, 3, 4}), PacketKind::no_edge_keys},
    };
    for (const auto& c : cases) EXPECT_EQ(classify(c.pkt.data()), c.kind) << int(c.pkt[1]);
}

TEST(EdgetabCapture, IdentificationTable) {
    const struct {
        uint8_t head, variant;
        BoardKind expected;  // from a start of {0, 5}
    } cases[] = {
        {0xC8, 0xCC, {0, 1}}, {0xC8, 0xDD, {0, 0}}, {0xC8, 0xDA, {0, 0}}, {0xC8, 0x11, {0, 5}},
        {0xE8, 0xCE, {1, 0}}, {0xE5, 0xDD, {1, 0}}, {0xE6, 0xED, {1, 0}}, {0xEA, 0xEF, {1, 0}},
        {0xEC, 0xCE, {1, 0}}, {0xE8, 0x11, {1, 5}}, {0x12, 0xCE, {0, 5}},
    };
    for (const auto& c : cases) {
        BoardKind kind{0, 5};
        identify_for_teaching(c.head, c.variant, kind);
        EXPECT_EQ(kind.valu_flags, c.expected.valu_flags) << int(c.head) << " " << int(c.variant);
        EXPECT_EQ(kind.iRealEdgetab, c.expected.iRealEdgetab)
            << int(c.head) << " " << int(c.variant);
    }
    BoardKind elec{1, 5};
    identify_for_teaching(0x12, 0xCE, elec);
    EXPECT_EQ(elec.valu_flags, 1) << "an unlisted head keeps the line";
}

// ---------------------------------------------------------------- sample rule

std::vector<uint8_t> contact(int line, int x, int y) {
    // Coordinate A (bytes 3, 4) is y on the touch line and x on the other.
    const int a = line == LINE_TOUCH ? y : x;
    const int b = line == LINE_TOUCH ? x : y;
    return packet({0xEE, 0x00, T_DOWN, uint8_t(a >> 6), uint8_t(a & 0x3F), uint8_t(b >> 6),
                   uint8_t(b & 0x3F)});
}
const std::vector<uint8_t> kLift = packet({0xEE, 0x00, T_UP, 0, 0, 0, 0});

// Feeds count contacts at (x + i, y); the indexes of the contacts that learnt.
std::vector<int> touch(KeyCapture& c, int count, int x = 100, int y = 200, bool lift = true) {
    std::vector<int> learnt;
    for (int i = 0; i < count; ++i) {
        const auto p = contact(c.kind.valu_flags, x + i, y);
        if (c.data_packet(p.data())) learnt.push_back(i + 1);
    }
    if (lift) c.data_packet(kLift.data());
    return learnt;
}

TEST(EdgetabCapture, TouchesAndWhatTheyTeach) {
    const struct {
        const char* name;
        std::vector<int> touches;  // contacts per touch, each followed by a lift
        int keys;
    } cases[] = {
        {"15 contacts teach nothing", {15}, 0},
        {"16 contacts teach one key", {16}, 1},
        {"a held touch teaches one key", {40}, 1},
        {"a short touch does not count toward the next", {15, 1}, 0},
        {"one key per touch", {16, 16, 20}, 3},
    };
    for (const auto& c : cases) {
        KeyCapture cap;
        cap.arm();
        for (int n : c.touches) touch(cap, n);
        EXPECT_EQ(cap.cur_key.load(), c.keys) << c.name;
    }
}

TEST(EdgetabCapture, LearntAtTheSixteenthContactWithoutNeedingALift) {
    KeyCapture cap;
    cap.arm();
    EXPECT_EQ(touch(cap, 40, 100, 200, false), std::vector<int>{16});
    EXPECT_TRUE(touch(cap, 40).empty()) << "the next key needs a lift first";
    EXPECT_EQ(touch(cap, 16), std::vector<int>{16});
}

TEST(EdgetabCapture, StoresTheTrimmedMeanInTheTableOfTheLine) {
    for (int line : {LINE_TOUCH, LINE_ELEC}) {
        KeyCapture cap;
        cap.kind.valu_flags = line;
        cap.arm();
        touch(cap, 16, 500, 700);   // key 0: samples x 506..515
        std::vector<int> xs = {100, 101, 102, 103, 104, 105, 106, 107, 108, 200};
        for (int i = 0; i < 6; ++i) cap.data_packet(contact(line, 9, 9).data());
        for (int x : xs) cap.data_packet(contact(line, x, 4095).data());
        cap.data_packet(kLift.data());
        const Pos* used = line == LINE_TOUCH ? cap.KeyPos : cap.QMKeyPos;
        const Pos* other = line == LINE_TOUCH ? cap.QMKeyPos : cap.KeyPos;
        EXPECT_EQ(used[0].x, 510) << line;  // 507..514 averaged
        EXPECT_EQ(used[0].y, 700) << line;
        EXPECT_EQ(used[1].x, 104) << line;  // 836 / 8
        EXPECT_EQ(used[1].y, 4095) << line;
        EXPECT_EQ(other[0].x, 0);
        EXPECT_EQ(other[1].y, 0);
    }
}

TEST(EdgetabCapture, DecodesBytesByLine) {
    const auto raw = packet({0xEE, 0x00, T_DOWN, 0x41, 0x02, 0x3F, 0x7F});
    for (const auto& [line, x, y] : {std::tuple{LINE_TOUCH, 4095, 66}, {LINE_ELEC, 66, 4095}}) {
        KeyCapture cap;
        cap.kind.valu_flags = line;
        cap.arm();
        for (int i = 0; i < 16; ++i) cap.data_packet(raw.data());
        EXPECT_EQ(cap.table()[0].x, x) << line;
        EXPECT_EQ(cap.table()[0].y, y) << line;
    }
}

TEST(EdgetabCapture, NothingIsLearntAfterTheLastKey) {
    KeyCapture cap;
    cap.arm();
    for (int k = 0; k < EDGE_KEY_COUNT; ++k) touch(cap, 16, 10 * k, 20 * k);
    ASSERT_EQ(cap.cur_key.load(), EDGE_KEY_COUNT);
    EXPECT_TRUE(touch(cap, 30).empty());
    EXPECT_EQ(cap.cur_key.load(), EDGE_KEY_COUNT);
    EXPECT_EQ(cap.KeyPos[27].y, 20 * 27);
}

// ---------------------------------------------------------------- store

// The non-empty lines (the store separates sections by an empty line).
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string read_all(const char* path) {
    std::string text;
    if (FILE* f = fopen(path, "rb")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        fclose(f);
    }
    return text;
}

TEST(EdgetabStore, BothSectionsInWriteOrderIntoAFreshFile) {
    check_ini_file();
    write_file(CONFIG_FILE, "[PID]\nQuilld=-1\n");
    Pos keys[EDGE_KEY_COUNT], qm[EDGE_KEY_COUNT] = {};
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) keys[i] = {1000 + i, 2000 + i};
    ASSERT_EQ(SaveData(keys, qm), 1);

    // Each new key becomes the first line of its section: the file lists
    // them in reverse order of writing.
    std::vector<std::string> expected = {"[PID]", "Quilld=-1", "[HOTKEY]"};
    for (int i = EDGE_KEY_COUNT - 1; i >= 0; --i) {
        expected.push_back("keyY" + std::to_string(i) + "=" + std::to_string(2000 + i));
        expected.push_back("keyX" + std::to_string(i) + "=" + std::to_string(1000 + i));
    }
    expected.push_back("[QMEdgetab]");
    for (int i = EDGE_KEY_COUNT - 1; i >= 0; --i) {
        expected.push_back("QMkeyY" + std::to_string(i) + "=0");
        expected.push_back("QMkeyX" + std::to_string(i) + "=0");
    }
    EXPECT_EQ(lines_of(read_all(CONFIG_FILE)), expected);

    for (int i : {1, 2, 10, 12, 20, 27}) {
        char key[16];
        indexed_key(key, sizeof key, KEY_KEYX, i);
        EXPECT_EQ(read_profile_int(SEC_HOTKEY, key, -5, CONFIG_FILE), 1000 + i) << key;
    }
}

TEST(EdgetabStore, OverwritesEarlierPositionsOfBothLinesInPlace) {
    check_ini_file();
    write_file(CONFIG_FILE,
               "[HOTKEY]\nkeyX3=7\nkeyY3=8\n[QMEdgetab]\nQMkeyX3=9\nQMkeyY3=10\n[PID]\nEdgetab=-1\n");
    Pos keys[EDGE_KEY_COUNT] = {}, qm[EDGE_KEY_COUNT];
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) qm[i] = {3000 + i, 100 + i};
    ASSERT_EQ(SaveData(keys, qm), 1);
    EXPECT_EQ(read_profile_int(SEC_HOTKEY, "keyX3", -5, CONFIG_FILE), 0);
    EXPECT_EQ(read_profile_int(SEC_HOTKEY, "keyY3", -5, CONFIG_FILE), 0);
    EXPECT_EQ(read_profile_int(SEC_QMEDGETAB, "QMkeyX3", -5, CONFIG_FILE), 3003);
    EXPECT_EQ(read_profile_int(SEC_QMEDGETAB, "QMkeyY3", -5, CONFIG_FILE), 103);
    EXPECT_EQ(read_profile_int(SEC_PID, "Edgetab", -5, CONFIG_FILE), -1);
    const std::string text = read_all(CONFIG_FILE);
    EXPECT_EQ(text.find("keyX3=7"), std::string::npos);
    EXPECT_LT(text.find("[HOTKEY]"), text.find("[QMEdgetab]"));
}

}  // namespace
