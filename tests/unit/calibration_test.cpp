// The calibration tool's pure cores: the target layout, the trimmed mean, the
// sample rule of the capture and the keyboard of the calibration window.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "calibration/capture.h"
#include "keyboard.h"
#include "protocol/DataPro.h"
#include "protocol/board_packet.h"
#include "target_grid.h"

namespace {

// ------------------------------------------------------------ target layout

TEST(CalibTargetGrid, FourPointsOn1280x1024) {
    GridChoice c;
    ASSERT_TRUE(grid_choice(1, &c));
    Pos pos[MAX_TARGETS] = {};
    layout_targets(1280, 1024, c.W_Dot, c.H_Dot, pos);
    const Pos expected[] = {{113, 57}, {113, 876}, {1137, 57}, {1137, 876}};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(pos[k].x, expected[k].x);
        EXPECT_EQ(pos[k].y, expected[k].y);
    }
}

// Each image's centre (corner + 15, and + 30 for the message band) lies on the
// grid point 10 % .. 90 % across and down, counted down each column first.
TEST(CalibTargetGrid, CentresLieOnTheGridColumnByColumn) {
    const struct {
        double W, H;
        int kind, columns, rows;
    } cases[] = {
        {1024, 768, 1, 2, 2},  {1024, 768, 2, 3, 3}, {1024, 768, 3, 5, 4},
        {1920, 1080, 2, 3, 3}, {1366, 768, 3, 5, 4}, {800, 600, 1, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " kind " << c.kind);
        GridChoice choice;
        ASSERT_TRUE(grid_choice(c.kind, &choice));
        ASSERT_EQ(choice.W_Dot, c.columns);
        ASSERT_EQ(choice.H_Dot, c.rows);
        ASSERT_EQ(choice.Orient_Dots, c.columns * c.rows);
        Pos pos[MAX_TARGETS] = {};
        layout_targets(c.W, c.H, choice.W_Dot, choice.H_Dot, pos);
        for (int k = 0; k < choice.Orient_Dots; ++k) {
            const int column = k / c.rows, row = k % c.rows;
            const double cx = 0.1 * c.W + column * 0.8 * c.W / (c.columns - 1);
            const double cy = 0.1 * c.H + row * 0.8 * c.H / (c.rows - 1);
            EXPECT_NEAR(pos[k].x + 15, cx, 1.0) << "target " << k;
            EXPECT_NEAR(pos[k].y + 15 + 30, cy, 1.0) << "target " << k;
        }
    }
}

TEST(CalibTargetGrid, TwentyPointTargetFourIsTopOfSecondColumn) {
    GridChoice c;
    ASSERT_TRUE(grid_choice(3, &c));
    Pos pos[MAX_TARGETS] = {};
    layout_targets(1024, 768, c.W_Dot, c.H_Dot, pos);
    EXPECT_EQ(pos[4].y, pos[0].y);  // top row
    EXPECT_GT(pos[4].x, pos[3].x);  // right of the whole first column
    EXPECT_EQ(pos[3].x, pos[0].x);
    EXPECT_EQ(pos[5].x, pos[4].x);  // the column goes on downwards
    EXPECT_GT(pos[5].y, pos[4].y);
}

TEST(CalibTargetGrid, OtherRadioKindsChooseNothing) {
    for (int kind : {0, 4, -1, 20}) {
        GridChoice c{7, 7, 7};
        EXPECT_FALSE(grid_choice(kind, &c)) << kind;
        EXPECT_EQ(c.Orient_Dots, 7) << kind;
    }
}

// ------------------------------------------------------------ DealData

std::vector<Pos> samples(const std::vector<int>& xs, const std::vector<int>& ys) {
    std::vector<Pos> out;
    for (size_t i = 0; i < xs.size(); ++i) out.push_back({xs[i], ys[i]});
    return out;
}

TEST(DealData, DropsOneLargestAndOneSmallestPerAxis) {
    const struct {
        const char* name;
        std::vector<int> xs, ys;
        int x, y;
    } cases[] = {
        {"ten equal values",
         {7, 7, 7, 7, 7, 7, 7, 7, 7, 7},
         {4095, 4095, 4095, 4095, 4095, 4095, 4095, 4095, 4095, 4095},
         7,
         4095},
        {"one high outlier among zeros",
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 80},
         {80, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         0,
         0},
        {"worked example",
         {100, 102, 101, 99, 130, 100, 101, 98, 100, 102},
         {5, 5, 5, 5, 5, 5, 5, 5, 5, 5},
         100,
         5},
        {"outliers both ways have no influence",
         {500, 500, 4000, 500, 500, 3, 500, 500, 500, 500},
         {9, 9, 9, 9, 9, 9, 9, 9, 9, 9},
         500,
         9},
        // Only one copy of a shared extreme is dropped.
        {"shared largest",
         {10, 10, 20, 20, 20, 10, 10, 10, 10, 10},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         12,
         0},
        // x and y drop their extremes from different samples.
        {"axes independent", {1, 9, 5, 5, 5}, {0, 0, 1, 9, 2}, 5, 1},
        {"truncates toward zero", {0, 1, 1, 2, 2, 9}, {0, 0, 0, 0, 0, 0}, 1, 0},
        {"three samples", {3, 1, 2}, {30, 20, 10}, 2, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Pos> in = samples(c.xs, c.ys);
        Pos out{-1, -1};
        DealData(in.data(), static_cast<int>(in.size()), &out);
        EXPECT_EQ(out.x, c.x);
        EXPECT_EQ(out.y, c.y);
    }
}

// ------------------------------------------------------------ sample rule

using Packet = std::array<uint8_t, PACKET_SIZE>;

Packet with_check(Packet p) {
    p[7] = packet_check_byte(p.data());
    return p;
}

Packet ident(uint8_t head, uint8_t variant = 0xDD) {
    return with_check({head, variant, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0});
}

// A data packet with coordinate A in bytes 3, 4 and B in bytes 5, 6.
Packet data(uint8_t event, int a, int b) {
    return with_check({DATA_HEAD, 0x00, event, uint8_t(a >> 6), uint8_t(a & 0x3F), uint8_t(b >> 6),
                       uint8_t(b & 0x3F), 0});
}

// A touch-line contact at board point (x, y): x travels in B, y in A.
Packet contact(int x, int y) { return data(T_DOWN, y, x); }
Packet lift() { return data(T_UP, 0, 0); }

Packet bad(Packet p) {
    p[7] ^= 0x40;
    return p;
}

struct Feed {
    explicit Feed(int dots) : rule(dots) {}

    // Feeds a packet as the capture thread does: a completed target is
    // averaged at once. Returns the event.
    CaptureEvent operator()(const Packet& p) {
        const CaptureEvent e = rule.feed(p.data());
        if (e == CaptureEvent::target_complete) rule.complete_target();
        return e;
    }

    // A stroke of n contacts whose point i is (x0 + i, y0 + 2 i); the index
    // of each packet that completed a target.
    std::vector<int> stroke(int n, int x0 = 1000, int y0 = 2000) {
        std::vector<int> completed;
        for (int i = 0; i < n; ++i)
            if ((*this)(contact(x0 + i, y0 + 2 * i)) == CaptureEvent::target_complete)
                completed.push_back(i);
        return completed;
    }

    CaptureRule rule;
};

// The mean of stroke points 6..15 without their extremes: (x0 + 10.5, y0 + 21).
Pos kept_mean(int x0, int y0) { return {x0 + 10, y0 + 21}; }

TEST(CalibCapture, TheSixteenthContactOfAStrokeCompletesTheTarget) {
    Feed feed(4);
    EXPECT_EQ(feed.stroke(16), std::vector<int>{15});
    EXPECT_EQ(feed.rule.cur_key, 1);
    EXPECT_EQ(feed.rule.KeyPos[0].x, kept_mean(1000, 2000).x);
    EXPECT_EQ(feed.rule.KeyPos[0].y, kept_mean(1000, 2000).y);
}

TEST(CalibCapture, FifteenContactsAndALiftKeepNothing) {
    Feed feed(4);
    EXPECT_TRUE(feed.stroke(15).empty());
    EXPECT_EQ(feed(lift()), CaptureEvent::none);
    EXPECT_EQ(feed.rule.cur_key, 0);
    // The next stroke counts from its own first packet.
    EXPECT_EQ(feed.stroke(16, 3000, 100), std::vector<int>{15});
    EXPECT_EQ(feed.rule.KeyPos[0].x, kept_mean(3000, 100).x);
    EXPECT_EQ(feed.rule.KeyPos[0].y, kept_mean(3000, 100).y);
}

TEST(CalibCapture, OneLongStrokeCompletesOneTargetOnly) {
    Feed feed(4);
    EXPECT_EQ(feed.stroke(200), std::vector<int>{15});
    EXPECT_EQ(feed.rule.cur_key, 1);
    feed(lift());
    EXPECT_EQ(feed.stroke(16, 500, 600), std::vector<int>{15});
    EXPECT_EQ(feed.rule.cur_key, 2);
    EXPECT_EQ(feed.rule.KeyPos[0].x, kept_mean(1000, 2000).x);
    EXPECT_EQ(feed.rule.KeyPos[1].x, kept_mean(500, 600).x);
    EXPECT_EQ(feed.rule.KeyPos[1].y, kept_mean(500, 600).y);
}

TEST(CalibCapture, ALiftAmongTheKeptSamplesRestartsTheTarget) {
    Feed feed(4);
    EXPECT_TRUE(feed.stroke(12, 3900, 3900).empty());  // six samples kept
    feed(lift());
    // Had the earlier samples survived, the fifth contact here would complete.
    EXPECT_EQ(feed.stroke(16, 200, 300), std::vector<int>{15});
    EXPECT_EQ(feed.rule.KeyPos[0].x, kept_mean(200, 300).x);
    EXPECT_EQ(feed.rule.KeyPos[0].y, kept_mean(200, 300).y);
}

TEST(CalibCapture, APacketWithAWrongCheckByteCountsForNothing) {
    Feed feed(4);
    EXPECT_TRUE(feed.stroke(10).empty());
    EXPECT_EQ(feed(bad(contact(5, 5))), CaptureEvent::none);
    EXPECT_EQ(feed(bad(lift())), CaptureEvent::none);  // not a lift either
    EXPECT_EQ(feed(bad(data(0xA2, 0, 0))), CaptureEvent::none);
    EXPECT_EQ(feed(bad(ident(0xE5))), CaptureEvent::none);
    EXPECT_EQ(feed.stroke(6, 1010, 2020), std::vector<int>{5});
    EXPECT_EQ(feed.rule.KeyPos[0].x, kept_mean(1000, 2000).x);
    EXPECT_EQ(feed.rule.valu_flags, LINE_TOUCH);
}

TEST(CalibCapture, IdentificationDecidesWhichBytesAreXAndY) {
    const struct {
        const char* name;
        std::vector<Packet> before;
        int line;
    } cases[] = {
        {"no identification yet: touch line", {}, LINE_TOUCH},
        {"touch line", {ident(CNT_REN)}, LINE_TOUCH},
        {"electromagnetic 0xE5", {ident(E_DATA_5)}, LINE_ELEC},
        {"electromagnetic 0xEC", {ident(E_DATA_EC)}, LINE_ELEC},
        {"electromagnetic, then touch again", {ident(E_DATA_8), ident(CNT_REN)}, LINE_TOUCH},
        {"an unknown head keeps the line", {ident(E_DATA_6), ident(0x12)}, LINE_ELEC},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Feed feed(4);
        for (const Packet& p : c.before) EXPECT_EQ(feed(p), CaptureEvent::identified);
        EXPECT_EQ(feed.rule.valu_flags, c.line);
        // Coordinate A is 700 and B is 3100 throughout the stroke.
        for (int i = 0; i < 16; ++i) feed(data(T_DOWN, 700, 3100));
        ASSERT_EQ(feed.rule.cur_key, 1);
        const Pos expected = c.line == LINE_TOUCH ? Pos{3100, 700} : Pos{700, 3100};
        EXPECT_EQ(feed.rule.KeyPos[0].x, expected.x);
        EXPECT_EQ(feed.rule.KeyPos[0].y, expected.y);
    }
}

TEST(CalibCapture, OrientKeyAbortsOnlyWithItsOwnLinesCode) {
    const struct {
        uint8_t head;
        uint8_t code;
        bool aborts;
    } cases[] = {
        {CNT_REN, 0xA2, true},  {CNT_REN, 0x28, false},  {CNT_REN, 0xD8, false},
        {CNT_REN, 0xF8, false}, {E_DATA_5, 0xA2, false}, {E_DATA_5, 0x28, true},
        {E_DATA_8, 0xD8, true}, {E_DATA_CA, 0xF8, true}, {E_DATA_5, 0x85, false},
        {CNT_REN, 0x87, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << "head " << int(c.head) << " code " << int(c.code));
        Feed feed(4);
        feed(ident(c.head));
        EXPECT_EQ(feed(data(c.code, 100, 100)),
                  c.aborts ? CaptureEvent::abort : CaptureEvent::none);
    }
}

TEST(CalibCapture, NothingIsStoredOnceEveryTargetIsMeasured) {
    Feed feed(4);
    const Pos corners[] = {{500, 400}, {500, 3400}, {3600, 400}, {3600, 3400}};
    for (const Pos& c : corners) {
        EXPECT_EQ(feed.stroke(16, c.x, c.y), std::vector<int>{15});
        feed(lift());
    }
    ASSERT_EQ(feed.rule.cur_key, 4);
    const Pos untouched = feed.rule.KeyPos[4];
    EXPECT_TRUE(feed.stroke(40, 3000, 3000).empty());
    feed(lift());
    EXPECT_TRUE(feed.stroke(40, 3000, 3000).empty());
    EXPECT_EQ(feed(data(0xA2, 0, 0)), CaptureEvent::none);
    EXPECT_EQ(feed.rule.cur_key, 4);
    EXPECT_EQ(feed.rule.KeyPos[4].x, untouched.x);
    EXPECT_EQ(feed.rule.KeyPos[4].y, untouched.y);
    EXPECT_EQ(feed.rule.KeyPos[3].x, kept_mean(3600, 3400).x);
}

// A 2 by 2 board where target 3 is touched on target 2's spot first: that
// point is not taken and target 3 stays current; a second touch on the right
// spot is taken. A point touched twice on the same wrong spot is taken (the
// whole set is judged later), and a target asked for again is measured anew.
TEST(CalibCapture, APointThatDoesNotFitIsMeasuredAgain) {
    const Pos corners[] = {{500, 400}, {500, 3400}, {3600, 400}, {3600, 3400}};
    Feed feed(4);
    for (int t = 0; t < 3; ++t) {
        feed.stroke(16, corners[t].x, corners[t].y);
        feed(lift());
    }
    EXPECT_EQ(feed.stroke(16, 3300, 1700), std::vector<int>{15});
    feed(lift());
    EXPECT_EQ(feed.rule.cur_key, 3);
    EXPECT_EQ(feed.rule.refused, 1);
    feed.stroke(16, corners[3].x, corners[3].y);
    feed(lift());
    EXPECT_EQ(feed.rule.cur_key, 4);
    EXPECT_EQ(feed.rule.KeyPos[3].x, kept_mean(corners[3].x, corners[3].y).x);

    Feed insisting(4);
    for (int t = 0; t < 3; ++t) {
        insisting.stroke(16, corners[t].x, corners[t].y);
        insisting(lift());
    }
    for (int again = 0; again < 2; ++again) {
        insisting.stroke(16, 3300, 1700);
        insisting(lift());
    }
    EXPECT_EQ(insisting.rule.refused, 1);
    EXPECT_EQ(insisting.rule.cur_key, 4);

    insisting.rule.ask_again(3);
    insisting.stroke(16, corners[3].x, corners[3].y);
    EXPECT_EQ(insisting.rule.again, -1);
    EXPECT_EQ(insisting.rule.KeyPos[3].y, kept_mean(corners[3].x, corners[3].y).y);
    insisting(lift());
    EXPECT_TRUE(insisting.stroke(40, 3000, 3000).empty()) << "nothing more is measured";
}

TEST(CalibCapture, TwentyTargetsFillKeyPosInOrder) {
    Feed feed(20);
    for (int t = 0; t < 20; ++t) {
        feed.stroke(16, 100 * t, 3000 - 100 * t);
        feed(lift());
    }
    EXPECT_EQ(feed.rule.cur_key, 20);
    for (int t = 0; t < 20; ++t) {
        EXPECT_EQ(feed.rule.KeyPos[t].x, kept_mean(100 * t, 3000 - 100 * t).x) << t;
        EXPECT_EQ(feed.rule.KeyPos[t].y, kept_mean(100 * t, 3000 - 100 * t).y) << t;
    }
}

// ------------------------------------------------------------ keyboard

TEST(CalibKeyboard, CreditsNeedPQShiftAndControlWithNothingElseBetween) {
    const struct {
        const char* name;
        std::vector<unsigned> keys;
        KeyboardAction last;
    } cases[] = {
        {"in order", {KEY_P, KEY_Q, KEY_SHIFT_L, KEY_CONTROL_L}, KeyboardAction::credits},
        {"any order", {KEY_CONTROL_L, KEY_Q, KEY_SHIFT_L, KEY_P}, KeyboardAction::credits},
        {"R and repeats in between",
         {KEY_P, KEY_R, KEY_P, KEY_Q, KEY_R, KEY_SHIFT_L, KEY_CONTROL_L},
         KeyboardAction::credits},
        {"three of four", {KEY_P, KEY_Q, KEY_SHIFT_L, KEY_SHIFT_L}, KeyboardAction::none},
        {"another key clears",
         {KEY_P, KEY_Q, 'a', KEY_SHIFT_L, KEY_CONTROL_L},
         KeyboardAction::none},
        {"lower case p is another key",
         {'p', KEY_Q, KEY_SHIFT_L, KEY_CONTROL_L},
         KeyboardAction::none},
        {"either shift key counts",
         {KEY_P, KEY_Q, KEY_SHIFT_R, KEY_CONTROL_L},
         KeyboardAction::credits},
        {"escape", {KEY_P, KEY_ESCAPE}, KeyboardAction::escape},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStdout();
        CreditsKeys flags;
        KeyboardAction action = KeyboardAction::none;
        for (size_t i = 0; i < c.keys.size(); ++i) {
            action = key_pressed(flags, c.keys[i], false);
            if (i + 1 < c.keys.size()) {
                EXPECT_EQ(action, KeyboardAction::none) << "key " << i;
            }
        }
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(action, c.last);
    }
}

TEST(CalibKeyboard, TheBoxOpensOnceAndTheFlagsStartAgain) {
    testing::internal::CaptureStdout();
    CreditsKeys flags;
    for (unsigned k : {KEY_P, KEY_Q, KEY_SHIFT_L}) key_pressed(flags, k, false);
    EXPECT_EQ(key_pressed(flags, KEY_CONTROL_L, false), KeyboardAction::credits);
    EXPECT_EQ(key_pressed(flags, KEY_CONTROL_L, false), KeyboardAction::none);
    EXPECT_EQ(key_pressed(flags, KEY_P, false), KeyboardAction::none);
    testing::internal::GetCapturedStdout();
}

TEST(CalibKeyboard, RPrintsItsTraceAndControlWhenHeld) {
    CreditsKeys flags;
    testing::internal::CaptureStdout();
    key_pressed(flags, KEY_R, false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "GDK_R \n");
    testing::internal::CaptureStdout();
    key_pressed(flags, KEY_R, true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "GDK_R \ncontrol\n");
}

}  // namespace
