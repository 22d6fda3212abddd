#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pointer.h"

namespace {

// Records what would reach the X server, one line per request or pause.
class Recorder : public PointerSink {
public:
    void move(int x, int y) override {
        events.push_back("move " + std::to_string(x) + "," + std::to_string(y));
    }
    void button(int button, bool pressed) override {
        events.push_back((pressed ? "press " : "release ") + std::to_string(button));
    }
    void pause_us(int microseconds) override {
        events.push_back("pause " + std::to_string(microseconds));
    }
    // Events since the last call.
    std::vector<std::string> take() {
        std::vector<std::string> out;
        out.swap(events);
        return out;
    }
    std::vector<std::string> events;
};

using Events = std::vector<std::string>;

const Events kRightClick = {"release 1", "pause 500", "press 3", "pause 500", "release 3"};

Events buttons_only(const Events& events) {
    Events out;
    for (const std::string& e : events)
        if (e.rfind("move", 0) != 0) out.push_back(e);
    return out;
}

class Mouse : public ::testing::Test {
protected:
    void act(int x, int y, int a) { MouseAction(state, sink, mouse_act{x, y, a}); }
    // n contact samples that stay within the still box of a stroke begun at
    // (500, 400), alternating across it.
    void still(int n) {
        static const int offsets[][2] = {{4, -4}, {-4, 4}, {0, 0}, {3, 2}, {-2, -3}};
        for (int i = 0; i < n; ++i) act(500 + offsets[i % 5][0], 400 + offsets[i % 5][1], 1);
    }
    MouseState state;
    Recorder sink;
};

TEST_F(Mouse, LiftWithoutStrokeOnlyMoves) {
    act(300, 200, 0);
    EXPECT_EQ(sink.take(), (Events{"move 300,200"}));
    EXPECT_EQ(state.MiceLD, 0);
}

TEST_F(Mouse, StrokePressesMovesAndReleasesOnce) {
    act(100, 100, 1);
    EXPECT_EQ(sink.take(), (Events{"move 100,100", "press 1"}));
    EXPECT_EQ(state.MiceLD, 1);
    act(200, 100, 1);
    EXPECT_EQ(sink.take(), (Events{"move 169,100"}));
    // The lift goes to the sample itself, unsmoothed.
    act(200, 100, 0);
    EXPECT_EQ(sink.take(), (Events{"move 200,100", "release 1"}));
    EXPECT_EQ(state.MiceLD, 0);
    act(200, 100, 0);
    EXPECT_EQ(sink.take(), (Events{"move 200,100"}));
    // The next stroke starts afresh where it touches.
    act(700, 500, 1);
    EXPECT_EQ(sink.take(), (Events{"move 700,500", "press 1"}));
}

// The weights are single-precision 0.7 and 0.3: 200 * 0.7f + 100 * 0.3f is
// just below 170.
TEST_F(Mouse, SmoothingWithSinglePrecisionWeights) {
    act(100, 100, 1);
    sink.take();
    act(200, 100, 1);
    act(200, 100, 1);
    EXPECT_EQ(sink.take(), (Events{"move 169,100", "move 190,100"}));
    EXPECT_EQ(state.MousePre.x, 190);
    EXPECT_EQ(state.MousePre.y, 100);
    act(100, 300, 1);
    EXPECT_EQ(sink.take(), (Events{"move 127,239"}));
}

TEST_F(Mouse, SampleAtThePreviousPositionStaysThere) {
    for (int v : {1, 3, 7, 169, 333, 1023, 1919, 4095, 65535}) {
        MouseState s;
        Recorder r;
        MouseAction(s, r, {v, v + 1, 1});
        MouseAction(s, r, {v, v + 1, 1});
        EXPECT_EQ(r.events.back(), "move " + std::to_string(v) + "," + std::to_string(v + 1));
    }
}

TEST_F(Mouse, LongPressRightClicksOnThe61stStillSample) {
    act(500, 400, 1);
    sink.take();
    still(60);
    EXPECT_EQ(buttons_only(sink.take()), Events{});
    still(1);
    // The click comes before the sample's move.
    Events click = sink.take();
    ASSERT_EQ(click.size(), kRightClick.size() + 1);
    EXPECT_EQ(click.back().rfind("move ", 0), 0u) << click.back();
    click.pop_back();
    EXPECT_EQ(click, kRightClick);
    EXPECT_EQ(state.MiceLD, 1) << "the stroke goes on";

    // Pen still held: another 61 still samples, another right click.
    still(60);
    EXPECT_EQ(buttons_only(sink.take()), Events{});
    still(1);
    EXPECT_EQ(buttons_only(sink.take()), kRightClick);

    // The lift releases button 1 once more.
    act(500, 400, 0);
    EXPECT_EQ(sink.take(), (Events{"move 500,400", "release 1"}));
}

TEST_F(Mouse, OnlySamplesInsideTheBoxCount) {
    act(500, 400, 1);
    still(30);
    // Outside the 4-pixel box on one axis or both: not counted.
    const int away[][2] = {{505, 400}, {495, 400}, {500, 405}, {500, 395}, {504, 405}, {520, 440}};
    for (int i = 0; i < 50; ++i) act(away[i % 6][0], away[i % 6][1], 1);
    still(30);
    EXPECT_EQ(buttons_only(sink.take()), (Events{"press 1"}));
    still(1);  // the 61st inside the box, not consecutive
    EXPECT_EQ(buttons_only(sink.take()), kRightClick);
}

TEST_F(Mouse, LiftRestartsTheStillCount) {
    act(500, 400, 1);
    still(50);
    act(500, 400, 0);
    act(500, 400, 1);
    still(50);
    EXPECT_EQ(buttons_only(sink.take()), (Events{"press 1", "release 1", "press 1"}));
    still(10);
    EXPECT_EQ(buttons_only(sink.take()), Events{});
    still(1);
    EXPECT_EQ(buttons_only(sink.take()), kRightClick);
}

TEST_F(Mouse, ThresholdIsConfigurable) {
    state.LimitCountRV = 90;
    act(500, 400, 1);
    still(90);
    EXPECT_EQ(buttons_only(sink.take()), (Events{"press 1"}));
    still(1);
    EXPECT_EQ(buttons_only(sink.take()), kRightClick);
}

TEST_F(Mouse, WithoutBoardClicksCodes2And3DoNothing) {
    state.board_clicks = false;
    act(100, 100, 1);
    sink.take();
    act(900, 700, 2);
    act(900, 700, 3);
    EXPECT_EQ(sink.take(), Events{});
    EXPECT_EQ(state.MiceLD, 1);
}

TEST_F(Mouse, LeftClickDuringStrokeKeepsTheStroke) {
    act(100, 100, 1);
    sink.take();
    act(900, 700, 3);
    EXPECT_EQ(sink.take(), (Events{"press 1", "release 1"}));
    EXPECT_EQ(state.MiceLD, 1);
    act(200, 100, 1);  // still smoothed from the stroke's last position
    act(200, 100, 0);
    EXPECT_EQ(sink.take(), (Events{"move 169,100", "move 200,100", "release 1"}));
}

TEST_F(Mouse, ClicksWithoutStroke) {
    act(900, 700, 2);
    EXPECT_EQ(sink.take(), kRightClick);
    act(900, 700, 3);
    EXPECT_EQ(sink.take(), (Events{"press 1", "release 1"}));
    EXPECT_EQ(state.MiceLD, 0);
}

TEST_F(Mouse, RightClickDuringStrokeKeepsTheStroke) {
    act(100, 100, 1);
    sink.take();
    act(0, 0, 2);
    EXPECT_EQ(sink.take(), kRightClick);
    EXPECT_EQ(state.MiceLD, 1);
    act(100, 100, 0);
    EXPECT_EQ(sink.take(), (Events{"move 100,100", "release 1"}));
}

TEST_F(Mouse, UnknownActionDoesNothing) {
    act(500, 400, 1);
    still(20);
    sink.take();
    const MouseState before = state;
    for (int a : {4, 5, -1, 99}) act(300, 300, a);
    EXPECT_EQ(sink.take(), Events{});
    EXPECT_EQ(state.MiceLD, before.MiceLD);
    EXPECT_EQ(state.MiceDotCount, before.MiceDotCount);
    EXPECT_EQ(state.MousePre.x, before.MousePre.x);
    EXPECT_EQ(state.MousePre.y, before.MousePre.y);
}

}  // namespace
