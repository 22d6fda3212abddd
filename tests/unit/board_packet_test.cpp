#include "protocol/board_packet.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <utility>

namespace {

using Packet = std::array<uint8_t, PACKET_SIZE>;

std::string hex(const Packet& p) {
    std::string s;
    char b[4];
    for (uint8_t v : p) {
        snprintf(b, sizeof b, "%02X ", v);
        s += b;
    }
    return s;
}

// Packets written out as the board sends them, check byte included.
struct Decoding {
    const char* name;
    Packet bytes;
    int a;  // coordinate A (bytes 3, 4)
    int b;  // coordinate B (bytes 5, 6)
};

void PrintTo(const Decoding& c, std::ostream* os) { *os << c.name; }

class DecodingTest : public ::testing::TestWithParam<Decoding> {};

TEST_P(DecodingTest, CoordinatesAndPointPerLine) {
    const Decoding& c = GetParam();
    ASSERT_EQ(packet_check_ok(c.bytes.data()), 1) << hex(c.bytes);
    EXPECT_EQ(coordinate_a(c.bytes.data()), c.a);
    EXPECT_EQ(coordinate_b(c.bytes.data()), c.b);

    const BoardPoint touch = decode_point(c.bytes.data(), LINE_TOUCH);
    EXPECT_EQ(touch.x, c.b);
    EXPECT_EQ(touch.y, c.a);
    const BoardPoint elec = decode_point(c.bytes.data(), LINE_ELEC);
    EXPECT_EQ(elec.x, c.a);
    EXPECT_EQ(elec.y, c.b);
}

INSTANTIATE_TEST_SUITE_P(
    Board, DecodingTest,
    ::testing::Values(
        Decoding{"WorkedPacket", {0xEE, 0x00, 0x51, 0x01, 0x02, 0x03, 0x04, 0xBB}, 66, 196},
        Decoding{
            "TopBitsOfByte3Ignored", {0xEE, 0x00, 0x51, 0xC1, 0x02, 0x03, 0x04, 0x7B}, 66, 196},
        Decoding{"TopBitsOfEveryCoordinateByteIgnored",
                 {0xEE, 0x00, 0x51, 0x41, 0x82, 0xC3, 0x44, 0xFB},
                 66,
                 196},
        Decoding{
            "LiftPacketDecodesAlike", {0xEE, 0x00, 0x61, 0x01, 0x02, 0x03, 0x04, 0x8B}, 66, 196},
        Decoding{"Zero", {0xEE, 0x00, 0x51, 0x00, 0x00, 0x00, 0x00, 0xBF}, 0, 0},
        Decoding{"Largest", {0xEE, 0x00, 0x51, 0x3F, 0x3F, 0xFF, 0xFF, 0xBF}, 4095, 4095},
        Decoding{"HighHalfOnly", {0xEE, 0x00, 0x51, 0x20, 0x00, 0x00, 0x20, 0xBF}, 2048, 32},
        Decoding{"VariantByteNotInterpreted",
                 {0xEE, 0x5A, 0x51, 0x01, 0x02, 0x03, 0x04, 0xE1},
                 66,
                 196}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckByte, AnySingleBitChangeIsCaught) {
    const Packet good = {0xEE, 0x00, 0x51, 0x01, 0x02, 0x03, 0x04, 0xBB};
    ASSERT_EQ(packet_check_ok(good.data()), 1);
    EXPECT_EQ(packet_check_byte(good.data()), 0xBB);
    for (int byte = 0; byte < PACKET_SIZE; ++byte)
        for (int bit = 0; bit < 8; ++bit) {
            Packet bad = good;
            bad[byte] ^= static_cast<uint8_t>(1 << bit);
            EXPECT_EQ(packet_check_ok(bad.data()), 0) << "byte " << byte << " bit " << bit;
        }
}

// Replies as the board sends them and the row each names: every head and every
// model at least once, which with the rules below pins down the whole table.
TEST(Identification, RepliesOfTheBoard) {
    const struct {
        Packet bytes;
        const char* name;
    } replies[] = {
        {{0xC8, 0xCC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFB}, "TouchH_Cmp"},
        {{0xC8, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEA}, "TouchS_Cmp"},
        {{0xC8, 0xCA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD}, "TouchHG_Cmp"},
        {{0xC8, 0xDA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xED}, "TouchSG_Cmp"},
        {{0xE5, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xC7}, "ElecS_Cmp_50"},
        {{0xE6, 0xED, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF4}, "Elec_NHCmp_60"},
        {{0xE8, 0xCE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xD9}, "ElecH_Cmp_80"},
        {{0xEA, 0xEF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFA}, "Elec_NSCmp_100"},
        {{0xEC, 0xCE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xDD}, "ElecH_Cmp_120"},
    };
    for (const auto& r : replies) {
        EXPECT_EQ(packet_check_ok(r.bytes.data()), 1) << hex(r.bytes);
        const BoardIdent* row = identify(r.bytes[0], r.bytes[1]);
        ASSERT_NE(row, nullptr) << hex(r.bytes);
        EXPECT_STREQ(row->name, r.name);
    }
}

// The electromagnetic heads and the size each name ends in.
const std::pair<uint8_t, std::string> kElecSizes[] = {
    {E_DATA_5, "_50"},   {E_DATA_6, "_60"},   {E_DATA_8, "_80"},
    {E_DATA_CA, "_100"}, {E_DATA_EC, "_120"},
};

// A row's name tells its line ("Touch", "Elec") and whether its edge keys are
// watched: the model letter H (alone, HG, NH) watches them, S does not.
TEST(Identification, RowsAgreeWithTheirNames) {
    std::set<std::string> names;
    for (const BoardIdent& row : kBoardIdents) {
        ASSERT_NE(row.name, nullptr);
        const std::string name = row.name;
        SCOPED_TRACE(name);
        EXPECT_TRUE(names.insert(name).second);
        EXPECT_EQ(row.edgetab, name.at(name.find_first_of("HS")) == 'H' ? 1 : 0);
        if (name.rfind("Touch", 0) == 0) {
            EXPECT_EQ(row.line, LINE_TOUCH);
            EXPECT_EQ(row.head, CNT_REN);
            continue;
        }
        ASSERT_EQ(name.rfind("Elec", 0), 0u);
        EXPECT_EQ(row.line, LINE_ELEC);
        int sizes = 0;
        for (const auto& s : kElecSizes)
            sizes += row.head == s.first && name.substr(name.rfind('_')) == s.second;
        EXPECT_EQ(sizes, 1);
    }
    // Every model comes with and without edge keys.
    for (std::string name : names) {
        char& model = name[name.find_first_of("HS")];
        model = model == 'H' ? 'S' : 'H';
        EXPECT_EQ(names.count(name), 1u) << name;
    }
}

// The sizes of the electromagnetic line differ in byte 0 only.
TEST(Identification, EverySizeKnowsTheSameVariants) {
    for (const BoardIdent& row : kBoardIdents) {
        if (row.line != LINE_ELEC) continue;
        for (const auto& s : kElecSizes) {
            const BoardIdent* same = identify(s.first, row.variant);
            ASSERT_NE(same, nullptr) << row.name << " " << s.second;
            EXPECT_EQ(same->edgetab, row.edgetab) << row.name << " " << s.second;
        }
    }
}

// Every pair of bytes 0 and 1: the table's row for it (its last, so a pair
// listed twice fails) or none; the line of byte 0 whenever a row starts with it.
TEST(Identification, EveryPairFindsItsRowOrNone) {
    for (int head = 0; head < 256; ++head) {
        int line = -1;
        for (int variant = 0; variant < 256; ++variant) {
            const BoardIdent* listed = nullptr;
            for (const BoardIdent& row : kBoardIdents)
                if (row.head == head && row.variant == variant) listed = &row;
            if (listed) line = listed->line;
            ASSERT_EQ(identify(head, variant), listed) << std::hex << head << " " << variant;
        }
        EXPECT_EQ(line_of_head(head), line) << std::hex << head;
    }
    // Neither a data packet nor the greeting reads as a reply.
    EXPECT_EQ(line_of_head(DATA_HEAD), -1);
    EXPECT_EQ(line_of_head(0xCE), -1);
}

// The calibration key must never be mistaken for a stroke or a pen button,
// and each line answers to its own codes only.
TEST(CalibrationKey, ItsCodesAreNoOtherEventAndBelongToOneLine) {
    int touch_codes = 0, elec_codes = 0;
    for (int code = 0; code < 256; ++code) {
        const bool touch = is_calibration_key(code, true), elec = is_calibration_key(code, false);
        EXPECT_FALSE(touch && elec) << std::hex << code;
        touch_codes += touch;
        elec_codes += elec;
    }
    EXPECT_EQ(touch_codes, 1);
    EXPECT_EQ(elec_codes, 3);
    for (uint8_t event : {T_DOWN, T_UP, Elec_Front, Elec_Back}) {
        EXPECT_FALSE(is_calibration_key(event, true)) << std::hex << +event;
        EXPECT_FALSE(is_calibration_key(event, false)) << std::hex << +event;
    }
}

}  // namespace
