// The pointer state: mapped pen samples become pointer moves and button
// events, with smoothing and the long-press right click, through a sink. No X
// here: the XTest sink is in func_Mouse.
#pragma once

#include "protocol/types.h"

// Where pointer events go: XTest in the service, a recorder in tests.
struct PointerSink {
    virtual void move(int x, int y) = 0;
    virtual void button(int button, bool pressed) = 0;
    virtual void pause_us(int microseconds) = 0;
    virtual ~PointerSink() = default;
};

// Still samples of a held pen before the long press turns into a right
// click (the full build's; the compact build keeps its own in its profile).
constexpr int LONG_PRESS_SAMPLES = 60;

// Stroke state, kept for the life of the process.
struct MouseState {
    int MiceLD = 0;  // 1 while the left button is held for a stroke
    mouse_act MouseFirst{0, 0, 0};
    mouse_act MousePre{0, 0, 0};
    mouse_act MouseMove{0, 0, 0};
    int MiceDotCount = 0;
    int LimitCountRV = LONG_PRESS_SAMPLES;  // a right click when more still samples than this
    bool board_clicks = true;               // act 2 and 3 handled (the compact build ignores them)
};

// Weights of the smoothing, as single-precision constants (they add up to
// exactly 1).
constexpr float rc1 = 0.7f;
constexpr float rc2 = 0.3f;

// ACT_LIFT, ACT_CONTACT, ACT_RIGHT_CLICK and ACT_LEFT_CLICK (the clicks with board_clicks);
// others do nothing.
void MouseAction(MouseState& state, PointerSink& sink, mouse_act mouse);

// The right-click sequence: release 1, 500 us, press 3, 500 us, release 3.
void right_button_event(PointerSink& sink);
