#include "board_packet.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

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

TEST(CheckByte, IdentificationRepliesOfTheBoard) {
    const Packet replies[] = {
        {0xC8, 0xCC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFB},
        {0xC8, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEA},
        {0xE8, 0xCE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xD9},
    };
    for (const Packet& p : replies) EXPECT_EQ(packet_check_ok(p.data()), 1) << hex(p);
}

// Every reply the board can give, as the board line and edge-key watching it
// announces.
struct Reply {
    uint8_t head;
    uint8_t variant;
    int line;
    int edgetab;
    const char* name;
};

const Reply kReplies[] = {
    {0xC8, 0xCC, LINE_TOUCH, 1, "TouchH_Cmp"},    {0xC8, 0xDD, LINE_TOUCH, 0, "TouchS_Cmp"},
    {0xC8, 0xCA, LINE_TOUCH, 1, "TouchHG_Cmp"},   {0xC8, 0xDA, LINE_TOUCH, 0, "TouchSG_Cmp"},
    {0xE5, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_50"},   {0xE5, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_50"},
    {0xE5, 0xED, LINE_ELEC, 1, "Elec_NHCmp_50"},  {0xE5, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_50"},
    {0xE6, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_60"},   {0xE6, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_60"},
    {0xE6, 0xED, LINE_ELEC, 1, "Elec_NHCmp_60"},  {0xE6, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_60"},
    {0xE8, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_80"},   {0xE8, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_80"},
    {0xE8, 0xED, LINE_ELEC, 1, "Elec_NHCmp_80"},  {0xE8, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_80"},
    {0xEA, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_100"},  {0xEA, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_100"},
    {0xEA, 0xED, LINE_ELEC, 1, "Elec_NHCmp_100"}, {0xEA, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_100"},
    {0xEC, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_120"},  {0xEC, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_120"},
    {0xEC, 0xED, LINE_ELEC, 1, "Elec_NHCmp_120"}, {0xEC, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_120"},
};

const Reply* known_reply(uint8_t head, uint8_t variant) {
    for (const Reply& r : kReplies)
        if (r.head == head && r.variant == variant) return &r;
    return nullptr;
}

int known_line(uint8_t head) {
    for (const Reply& r : kReplies)
        if (r.head == head) return r.line;
    return -1;
}

TEST(Identification, EveryListedReplyNamesItsLineAndEdgeKeys) {
    for (const Reply& r : kReplies) {
        SCOPED_TRACE(r.name);
        const BoardIdent* row = identify(r.head, r.variant);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->line, r.line);
        EXPECT_EQ(row->edgetab, r.edgetab);
        EXPECT_STREQ(row->name, r.name);
        EXPECT_EQ(line_of_head(r.head), r.line);
    }
}

// Every pair of bytes 0 and 1 outside the table: no row; the line is still
// known when byte 0 is one of the table's heads.
TEST(Identification, UnlistedRepliesNameNoRow) {
    int unlisted_with_known_head = 0;
    for (int head = 0; head < 256; ++head)
        for (int variant = 0; variant < 256; ++variant) {
            if (known_reply(head, variant)) continue;
            ASSERT_EQ(identify(head, variant), nullptr) << std::hex << head << " " << variant;
            if (known_line(head) >= 0) ++unlisted_with_known_head;
        }
    EXPECT_EQ(unlisted_with_known_head, 6 * 256 - 24);
}

TEST(Identification, LineOfHead) {
    const struct {
        uint8_t head;
        int line;
    } cases[] = {
        {0xC8, LINE_TOUCH}, {0xE5, LINE_ELEC}, {0xE6, LINE_ELEC}, {0xE8, LINE_ELEC},
        {0xEA, LINE_ELEC},  {0xEC, LINE_ELEC}, {0xEE, -1},        {0xCE, -1},
        {0xE7, -1},         {0xC9, -1},        {0x00, -1},        {0xFF, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(line_of_head(c.head), c.line) << std::hex << +c.head;
}

TEST(Identification, VariantsBelongToTheirHead) {
    // Valid for the electromagnetic heads, not for the touch head, and back.
    EXPECT_EQ(identify(0xC8, 0xCE), nullptr);
    EXPECT_EQ(identify(0xC8, 0xED), nullptr);
    EXPECT_EQ(identify(0xE8, 0xCC), nullptr);
    EXPECT_EQ(identify(0xE8, 0xCA), nullptr);
    // Same variant byte, different heads: the head decides the line.
    ASSERT_NE(identify(0xC8, 0xDD), nullptr);
    ASSERT_NE(identify(0xE5, 0xDD), nullptr);
    EXPECT_EQ(identify(0xC8, 0xDD)->line, LINE_TOUCH);
    EXPECT_EQ(identify(0xE5, 0xDD)->line, LINE_ELEC);
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
