// gtest before Xlib, whose macros (None, Bool) clash with its names.
// clang-format off
#include <gtest/gtest.h>
#include "packet_loop.h"
// clang-format on

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "protocol/board_packet.h"
#include "protocol/edge_keys.h"

namespace {

using Packet = std::array<uint8_t, PACKET_SIZE>;
using Events = std::vector<std::string>;

Packet with_check(Packet p) {
    uint8_t x = 0;
    for (int i = 0; i < 7; ++i) x ^= p[i];
    p[7] = x;
    return p;
}

Packet reply(uint8_t head, uint8_t variant) {
    return with_check({head, variant, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0});
}

// A data packet whose coordinates A (bytes 3, 4) and B (bytes 5, 6) are given.
Packet data(uint8_t event, int a, int b) {
    return with_check({0xEE, 0x00, event, uint8_t(a >> 6), uint8_t(a & 0x3F), uint8_t(b >> 6),
                       uint8_t(b & 0x3F), 0});
}

// Packets whose decoded point is (x, y) on their line: the touch line reports
// x in B, the electromagnetic line in A.
Packet touch(uint8_t event, int x, int y) { return data(event, y, x); }
Packet elec(uint8_t event, int x, int y) { return data(event, x, y); }

Packet bad_check(Packet p) {
    p[7] ^= 0x01;
    return p;
}

// What the loop asks of the service, one line each.
class Effects : public LoopEffects {
public:
    void mouse(mouse_act s) override {
        events.push_back("mouse " + std::to_string(s.x) + "," + std::to_string(s.y) + " act" +
                         std::to_string(s.act));
    }
    void command(const char* word) override { events.push_back(std::string("command ") + word); }
    void start(Launcher which) override {
        events.push_back(which == Launcher::whiteboard ? "start whiteboard"
                         : which == Launcher::orient   ? "start orient"
                                                       : "start tool");
    }
    int registered_zuraze() override { return zuraze; }
    void stop_zuraze(int pid) override { events.push_back("stop " + std::to_string(pid)); }
    void identified() override { events.push_back("identified"); }

    Events take() {
        Events out;
        out.swap(events);
        return out;
    }
    Events events;
    int zuraze = -1;
};

// Touch keys along the bottom and top edges, electromagnetic keys along the
// right and left edges; none near the strokes of the tests.
Pos touch_key(int i) { return i < 14 ? Pos{600 + 150 * i, 3950} : Pos{600 + 150 * (i - 14), 100}; }
Pos elec_key(int i) { return i < 14 ? Pos{3950, 600 + 150 * i} : Pos{100, 600 + 150 * (i - 14)}; }

// The 4-point calibration of a 1000 by 800 screen with board corners
// (400, 300) to (3600, 3300).
Tables make_tables() {
    Tables t{};
    t.cal.Dot_Num = 4;
    t.cal.Screen_w = 1000;
    t.cal.Screen_h = 800;
    lay_out_grid(4, 1000, 800, t.cal.position);
    t.cal.coor_store[0] = {400, 300};
    t.cal.coor_store[1] = {400, 3300};
    t.cal.coor_store[2] = {3600, 300};
    t.cal.coor_store[3] = {3600, 3300};
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) {
        t.KeyPos[i] = touch_key(i);
        t.QMKeyPos[i] = elec_key(i);
    }
    return t;
}

class Loop : public ::testing::Test {
protected:
    // A fresh reader run: the loop's own state anew, edge keys cleared as the
    // run starts; the board line stays what the previous run left.
    void new_run() {
        iRealEdgetab = 0;
        loop = std::make_unique<PacketLoop>(valu_flags, iRealEdgetab, compact);
    }
    bool compact = false;
    void SetUp() override { new_run(); }

    void feed(const Packet& p) { loop->handle(p.data(), tables, fx); }
    void feed(const std::vector<Packet>& ps) {
        for (const Packet& p : ps) feed(p);
    }
    // The line and edge-key watching as an identification reply leaves them.
    void on_line(int line, int edgetab) {
        valu_flags = line;
        iRealEdgetab = edgetab;
        loop->bJudge = 0;
    }
    Packet contact(int line, int x, int y) {
        return line == 0 ? touch(0x51, x, y) : elec(0x51, x, y);
    }
    Packet lift(int line, int x, int y) { return line == 0 ? touch(0x61, x, y) : elec(0x61, x, y); }
    Packet key_packet(int line, uint8_t code) {
        return line == 0 ? touch(code, 0, 0) : elec(code, 0, 0);
    }

    std::string at(int x, int y, int act) {
        const mouse_act s = DtoSP(tables.cal, {x, y, 0});
        return "mouse " + std::to_string(s.x) + "," + std::to_string(s.y) + " act" +
               std::to_string(act);
    }

    std::atomic<int> valu_flags{0};
    std::atomic<int> iRealEdgetab{0};
    std::unique_ptr<PacketLoop> loop;
    Tables tables = make_tables();
    Effects fx;
};

// ----------------------------------------------------------- identification

struct Ident {
    Packet reply;
    int line_before;
    int edgetab_before;
    int line_after;
    int edgetab_after;
};

TEST_F(Loop, IdentificationSetsTheFlagsOfTheReply) {
    std::vector<Ident> cases = {
        // Known head, unlisted variant: the line only.
        {reply(0xC8, 0x00), 1, 1, 0, 1},
        {reply(0xE8, 0xCC), 0, 0, 1, 0},
        {reply(0xEC, 0x12), 0, 1, 1, 1},
        // Unknown head: neither flag.
        {reply(0x12, 0xCC), 1, 0, 1, 0},
        {reply(0xE7, 0xCE), 0, 1, 0, 1},
        {reply(0xCE, 0xFF), 1, 1, 1, 1},
    };
    // Every row of the table, coming from the other line and edge-key setting.
    for (const BoardIdent& row : kBoardIdents)
        cases.push_back(
            {reply(row.head, row.variant), 1 - row.line, 1 - row.edgetab, row.line, row.edgetab});
    for (const Ident& c : cases) {
        SCOPED_TRACE(std::to_string(c.reply[0]) + " " + std::to_string(c.reply[1]));
        new_run();
        valu_flags = c.line_before;
        iRealEdgetab = c.edgetab_before;
        feed(c.reply);
        EXPECT_EQ(valu_flags.load(), c.line_after);
        EXPECT_EQ(iRealEdgetab.load(), c.edgetab_after);
        EXPECT_EQ(fx.take(), (Events{"identified"}));
    }
}

TEST_F(Loop, OneEvaluationPerRun) {
    feed(reply(0xC8, 0xDD));
    feed(reply(0xE8, 0xCE));  // e.g. the answer to a re-greeting
    EXPECT_EQ(fx.take(), (Events{"identified"}));
    EXPECT_EQ(valu_flags.load(), 0);
    EXPECT_EQ(iRealEdgetab.load(), 0);

    // An unknown reply uses the evaluation up as well.
    new_run();
    feed(reply(0x12, 0x34));
    feed(reply(0xE8, 0xCE));
    EXPECT_EQ(fx.take(), (Events{"identified"}));
    EXPECT_EQ(valu_flags.load(), 0);

    // The next run evaluates again.
    new_run();
    feed(reply(0xE8, 0xCE));
    EXPECT_EQ(fx.take(), (Events{"identified"}));
    EXPECT_EQ(valu_flags.load(), 1);
    EXPECT_EQ(iRealEdgetab.load(), 1);
}

TEST_F(Loop, ReplyWithBadCheckByteIsNotEvaluated) {
    feed(bad_check(reply(0xE8, 0xCE)));
    EXPECT_EQ(fx.take(), Events{});
    EXPECT_EQ(valu_flags.load(), 0);
    feed(reply(0xE8, 0xDD));
    EXPECT_EQ(fx.take(), (Events{"identified"}));
    EXPECT_EQ(valu_flags.load(), 1);
}

// Before the reply, data is decoded for the line the flags hold.
TEST_F(Loop, DataBeforeIdentificationUsesTheCurrentLine) {
    const Packet p = data(0x51, 1800, 2000);  // A 1800, B 2000
    valu_flags = 0;
    feed(p);
    EXPECT_EQ(fx.take(), (Events{at(2000, 1800, 1)}));

    new_run();
    valu_flags = 1;
    feed(p);
    EXPECT_EQ(fx.take(), (Events{at(1800, 2000, 1)}));
    EXPECT_EQ(loop->bJudge, 1);
}

// ----------------------------------------------------------- strokes

class LoopOnLine : public Loop, public ::testing::WithParamInterface<int> {};

TEST_P(LoopOnLine, StrokeContactsAndOneLift) {
    const int line = GetParam();
    on_line(line, line == 0 ? 1 : 0);  // edge keys not watched
    feed({contact(line, 2000, 1800), contact(line, 2100, 1700), contact(line, 2100, 1700),
          lift(line, 2200, 1600), lift(line, 2300, 1500)});
    EXPECT_EQ(fx.take(),
              (Events{at(2000, 1800, 1), at(2100, 1700, 1), at(2100, 1700, 1), at(2200, 1600, 0)}));
    EXPECT_EQ(at(2000, 1800, 1), "mouse 500,400 act1");
}

TEST_P(LoopOnLine, LiftWithoutContactDoesNothing) {
    const int line = GetParam();
    on_line(line, 0);
    feed(lift(line, 2200, 1600));
    EXPECT_EQ(fx.take(), Events{});
}

TEST_P(LoopOnLine, BadCheckByteDoesNothing) {
    const int line = GetParam();
    on_line(line, line == 0 ? 0 : 1);  // edge keys watched
    feed({bad_check(contact(line, 2000, 1800)), bad_check(key_packet(line, 0xA9)),
          bad_check(key_packet(line, 0xA1))});
    Packet on_key = contact(line, line == 0 ? touch_key(0).x : elec_key(0).x,
                            line == 0 ? touch_key(0).y : elec_key(0).y);
    feed(bad_check(on_key));
    EXPECT_EQ(fx.take(), Events{});
    // Nothing was opened: a lift still passes nothing on.
    feed(lift(line, 2000, 1800));
    EXPECT_EQ(fx.take(), Events{});
}

TEST_P(LoopOnLine, HardwareKeys) {
    const int line = GetParam();
    on_line(line, line == 0 ? 0 : 1);
    fx.zuraze = 4242;  // a hardware key never looks at the registry
    feed({key_packet(line, 0xA9), key_packet(line, 0xA9), key_packet(line, 0xD2),
          key_packet(line, 0xA1), key_packet(line, 0xF9), key_packet(line, 0xA2),
          key_packet(line, 0xD8), key_packet(line, 0xB2), key_packet(line, 0xA3),
          key_packet(line, 0xD1), key_packet(line, 0x00)});
    EXPECT_EQ(fx.take(),
              (Events{"command anew\n", "command anew\n", "command rpen\n", "start whiteboard",
                      "start whiteboard", "start orient", "start orient"}));
}

// Keys are not tied to the edge-key arming, nor do they touch a stroke.
TEST_P(LoopOnLine, HardwareKeysDuringAStroke) {
    const int line = GetParam();
    on_line(line, line == 0 ? 0 : 1);
    const Pos k = line == 0 ? touch_key(1) : elec_key(1);
    feed({contact(line, k.x, k.y), key_packet(line, 0xC5), contact(line, 2000, 1800),
          key_packet(line, 0xAA), lift(line, 2000, 1800)});
    EXPECT_EQ(fx.take(), (Events{"command save\n", "command rpen\n", at(2000, 1800, 1),
                                 "command save\n", at(2000, 1800, 0)}));
}

// The watched table for each line: the touch line's keys when iRealEdgetab
// is 0, the electromagnetic line's when it is 1.
TEST_P(LoopOnLine, EdgeKeyFiresOncePerStroke) {
    const int line = GetParam();
    on_line(line, line == 0 ? 0 : 1);
    const Pos k = line == 0 ? touch_key(5) : elec_key(5);
    for (int i = 0; i < 20; ++i) feed(contact(line, k.x + i % 3, k.y - i % 3));
    EXPECT_EQ(fx.take(), (Events{"command bpen\n"}));
    // The stroke still ends with a lift at the mapped lift position.
    feed(lift(line, k.x, k.y));
    EXPECT_EQ(fx.take(), (Events{at(k.x, k.y, 0)}));
    // Re-armed by the lift.
    feed({contact(line, k.x, k.y), contact(line, k.x, k.y)});
    EXPECT_EQ(fx.take(), (Events{"command bpen\n"}));
}

TEST_P(LoopOnLine, EveryKeyOnEitherEdge) {
    const int line = GetParam();
    on_line(line, line == 0 ? 0 : 1);
    for (int entry = 0; entry < EDGE_KEY_COUNT; ++entry) {
        const char* word = kEdgeKeys[entry % EDGE_KEY_FUNCTIONS].word;
        if (!word) continue;
        SCOPED_TRACE("entry " + std::to_string(entry));
        const Pos k = line == 0 ? touch_key(entry) : elec_key(entry);
        feed({contact(line, k.x - 30, k.y + 30), lift(line, k.x, k.y)});
        EXPECT_EQ(fx.take(), (Events{std::string("command ") + word, at(k.x, k.y, 0)}));
    }
}

TEST_P(LoopOnLine, StrokeSlidingOffAKeyBecomesPointerContact) {
    const int line = GetParam();
    on_line(line, line == 0 ? 0 : 1);
    const Pos k = line == 0 ? touch_key(3) : elec_key(3);
    feed({contact(line, k.x, k.y), contact(line, k.x, k.y - 31), contact(line, k.x, k.y - 200),
          contact(line, k.x, k.y), lift(line, k.x, k.y - 200)});
    // Back on the key, unarmed: neither a command nor a pointer action.
    EXPECT_EQ(fx.take(), (Events{"command next\n", at(k.x, k.y - 31, 1), at(k.x, k.y - 200, 1),
                                 at(k.x, k.y - 200, 0)}));
}

TEST_P(LoopOnLine, StartKeyStartsTheWhiteboard) {
    const int line = GetParam();
    on_line(line, line == 0 ? 0 : 1);
    const Pos k = line == 0 ? touch_key(27) : elec_key(13);
    feed({contact(line, k.x, k.y), contact(line, k.x, k.y)});
    EXPECT_EQ(fx.take(), (Events{"start whiteboard"}));
}

// Edge keys are watched on the touch line when iRealEdgetab is 0, on the
// electromagnetic line when it is 1, each line with its own table.
TEST_P(LoopOnLine, UnwatchedOrForeignTableGoesToThePointer) {
    const int line = GetParam();
    const Pos own = line == 0 ? touch_key(6) : elec_key(6);
    const Pos foreign = line == 0 ? elec_key(6) : touch_key(6);

    on_line(line, line == 0 ? 1 : 0);  // not watched
    feed({contact(line, own.x, own.y), lift(line, own.x, own.y)});
    EXPECT_EQ(fx.take(), (Events{at(own.x, own.y, 1), at(own.x, own.y, 0)}));

    on_line(line, line == 0 ? 0 : 1);  // watched, but the other line's table
    feed({contact(line, foreign.x, foreign.y), lift(line, foreign.x, foreign.y)});
    EXPECT_EQ(fx.take(), (Events{at(foreign.x, foreign.y, 1), at(foreign.x, foreign.y, 0)}));
}

INSTANTIATE_TEST_SUITE_P(Lines, LoopOnLine, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "Touch" : "Elec"; });

// The trace lines on standard output.
TEST_F(Loop, TraceLines) {
    on_line(0, 0);
    const Pos k0 = touch_key(0);
    ::testing::internal::CaptureStdout();
    feed({touch(0x51, k0.x, k0.y), touch(0x51, k0.x, k0.y), touch(0x61, 0, 0),
          touch(0x51, touch_key(14).x, touch_key(14).y),
          touch(0x51, touch_key(1).x, touch_key(1).y)});
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "----------------\n----------------\n----------------\n");

    new_run();
    on_line(1, 1);
    const Pos q0 = elec_key(0);
    ::testing::internal::CaptureStdout();
    feed({elec(0x51, q0.x, q0.y), elec(0x51, 66, 196), elec(0x61, 66, 196), elec(0x85, 0, 0),
          elec(0x85, 0, 0)});
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "------x:" + std::to_string(q0.x) + ",y" + std::to_string(q0.y) +
                  ",iRealEdgetab:1\n"
                  "------x:66,y196,iRealEdgetab:1\n"
                  "^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^6\n");
}

// -------------------------------------------------------- calibration key

TEST_F(Loop, TouchCalibrationKeyLooksAtTheRegistry) {
    const struct {
        int registered;
        int entry;  // either edge
        Events expected;
    } cases[] = {
        {-1, 12, {"start orient"}},
        {-1, 26, {"start orient"}},
        {4242, 12, {"stop 4242"}},
        {1, 26, {"stop 1"}},
        {0, 12, {}},
        {-2, 26, {}},
        {-4242, 12, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.registered);
        new_run();
        on_line(0, 0);
        fx.zuraze = c.registered;
        const Pos k = touch_key(c.entry);
        feed({contact(0, k.x, k.y), contact(0, k.x, k.y)});
        EXPECT_EQ(fx.take(), c.expected);
    }
}

TEST_F(Loop, ElecCalibrationKeyStartsRegardless) {
    for (int registered : {-1, 0, 4242}) {
        SCOPED_TRACE(registered);
        new_run();
        on_line(1, 1);
        fx.zuraze = registered;
        feed({elec(0x51, elec_key(12).x, elec_key(12).y), elec(0x61, 0, 0),
              elec(0x51, elec_key(26).x, elec_key(26).y)});
        EXPECT_EQ(fx.take(), (Events{"start orient", at(0, 0, 0), "start orient"}));
    }
}

// ------------------------------------------------------------- pen buttons

TEST_F(Loop, BackButtonAfterLiftRightClicksEachTimeAndSendsOnce) {
    on_line(1, 0);
    feed({elec(0x51, 2000, 1800), elec(0x61, 2400, 1400)});
    fx.take();
    // The packets' own coordinates are not used: the last mapped position is.
    feed({elec(0x87, 100, 100), elec(0x87, 3000, 3000), elec(0x87, 0, 0)});
    const std::string click = at(2400, 1400, 2);
    EXPECT_EQ(fx.take(), (Events{click, "command elbc\n", click, click}));
}

TEST_F(Loop, ButtonsBeforeTheFirstLift) {
    on_line(1, 0);
    feed(elec(0x85, 2000, 1800));
    EXPECT_EQ(fx.take(), Events{});

    new_run();
    on_line(1, 0);
    feed(elec(0x87, 2000, 1800));  // right-clicks, sends nothing
    const Events e = fx.take();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].substr(e[0].size() - 4), "act2");
}

// The counter, not the lift itself, decides: one button packet before any
// lift makes the next one count as the first.
TEST_F(Loop, ButtonPacketsAreCountedFromZeroBeforeTheFirstLift) {
    on_line(1, 0);
    feed({elec(0x85, 2000, 1800), elec(0x85, 2000, 1800), elec(0x85, 2000, 1800)});
    EXPECT_EQ(fx.take(), (Events{at(2000, 1800, 3), "command elfc\n"}));
}

TEST_F(Loop, FrontButtonClicksOncePerLift) {
    on_line(1, 0);
    feed(elec(0x61, 2000, 1800));  // a lift with no stroke still counts
    EXPECT_EQ(fx.take(), Events{});
    feed({elec(0x85, 2100, 1700), elec(0x85, 2100, 1700)});
    EXPECT_EQ(fx.take(), (Events{at(2100, 1700, 3), "command elfc\n"}));
    feed({elec(0x61, 2000, 1800), elec(0x85, 900, 800)});
    EXPECT_EQ(fx.take(), (Events{at(900, 800, 3), "command elfc\n"}));
    // After a back button, the front button waits for the next lift.
    feed({elec(0x61, 2000, 1800), elec(0x87, 0, 0), elec(0x85, 900, 800)});
    EXPECT_EQ(fx.take(), (Events{at(900, 800, 2), "command elbc\n"}));
}

TEST_F(Loop, PenButtonsRearmEdgeKeys) {
    on_line(1, 1);
    const Pos k = elec_key(7);
    feed({elec(0x61, 0, 0), elec(0x51, k.x, k.y), elec(0x87, 0, 0), elec(0x51, k.x, k.y),
          elec(0x85, 0, 0), elec(0x51, k.x, k.y), elec(0x51, k.x, k.y)});
    const Events e = fx.take();
    int words = 0;
    for (const std::string& s : e) words += s == "command lpen\n";
    EXPECT_EQ(words, 2) << "the back button re-arms; the front button (not first) does not";

    new_run();
    on_line(1, 1);
    feed({elec(0x61, 0, 0), elec(0x51, k.x, k.y), elec(0x85, 0, 0), elec(0x51, k.x, k.y)});
    words = 0;
    for (const std::string& s : fx.take()) words += s == "command lpen\n";
    EXPECT_EQ(words, 2) << "the first front button after a lift re-arms";
}

TEST_F(Loop, PenButtonsIgnoredOnTheTouchLine) {
    on_line(0, 1);
    feed({touch(0x51, 2000, 1800), touch(0x61, 2000, 1800), touch(0x85, 2000, 1800),
          touch(0x87, 2000, 1800)});
    EXPECT_EQ(fx.take(), (Events{at(2000, 1800, 1), at(2000, 1800, 0)}));
}

}  // namespace

// ----------------------------------------------------------- compact build

class CompactLoop : public Loop, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        compact = true;
        new_run();
        on_line(GetParam(), 0);
    }
    Pos key12() const { return tables.KeyPos[12]; }
    Pos key26() const { return tables.KeyPos[26]; }
};

TEST_P(CompactLoop, OnlyKeys12And26StartTheToolOncePerLift) {
    const int line = GetParam();
    const Pos k = key12();
    feed({contact(line, k.x + 30, k.y - 30), contact(line, k.x, k.y)});
    EXPECT_EQ(fx.take(), (Events{"start tool"}));
    feed(lift(line, k.x, k.y));
    feed(contact(line, key26().x - 30, key26().y + 30));
    EXPECT_EQ(fx.take(), (Events{at(k.x, k.y, 0), "start tool"}));
    // Every other edge key, and a point 31 units off key 12, is pointer contact.
    feed(lift(line, 0, 0));
    fx.take();
    for (int i : {0, 5, 13, 14, 27}) feed(contact(line, tables.KeyPos[i].x, tables.KeyPos[i].y));
    feed(contact(line, k.x + 31, k.y));
    EXPECT_EQ(fx.take().size(), 6u);
}

TEST_P(CompactLoop, KeysAreNotWatchedWhenTheBoardSaysSo) {
    const int line = GetParam();
    iRealEdgetab = 1;
    feed(contact(line, key12().x, key12().y));
    EXPECT_EQ(fx.take(), (Events{at(key12().x, key12().y, 1)}));
}

TEST_P(CompactLoop, EveryLiftActs) {
    const int line = GetParam();
    feed({contact(line, 2000, 1800), lift(line, 400, 300), lift(line, 3600, 3300)});
    EXPECT_EQ(fx.take(), (Events{at(2000, 1800, 1), at(400, 300, 0), at(3600, 3300, 0)}));
}

TEST_P(CompactLoop, CalibrationKeysOfTheLineStartTheToolEveryTime) {
    const int line = GetParam();
    const std::vector<uint8_t> starting =
        line == 0 ? std::vector<uint8_t>{0xA2, 0xA2, 0xA2} : std::vector<uint8_t>{0x28, 0xD8, 0xF8};
    for (uint8_t code : starting) feed(key_packet(line, code));
    EXPECT_EQ(fx.take(), Events(3, "start tool"));
    // Everything else, pen buttons and the whiteboard keys included, does nothing.
    for (uint8_t code : {0xA1, 0xA9, 0xD9, 0xDF, 0x85, 0x87, line == 0 ? 0x28 : 0xA2})
        feed(key_packet(line, code));
    EXPECT_EQ(fx.take(), Events{});
}

INSTANTIATE_TEST_SUITE_P(Lines, CompactLoop, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "touch" : "elec"; });

TEST_F(Loop, CompactPrintsTheIdentifiedFlagsAndOtherTouchEvents) {
    compact = true;
    new_run();
    ::testing::internal::CaptureStdout();
    feed(reply(0xC8, 0xDD));
    feed(touch(0xA9, 0, 0));
    feed(touch(0x85, 0, 0));
    on_line(1, 0);
    feed(elec(0xA9, 0, 0));
    feed(elec(0x51, 2000, 1800));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "valu_flags=0 iRealEdgetab=0\nroverbuff[2]=a9\nroverbuff[2]=85\n");
}
