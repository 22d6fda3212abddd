#include "pointer.h"

namespace {

constexpr int STILL_BOX = 4;  // pixels around the first sample that count as still

bool within(int d, int limit) { return d >= -limit && d <= limit; }

// Weighted in double precision from the exact single-precision weights.
int smooth(int sample, int previous) {
    return static_cast<int>(sample * static_cast<double>(rc1) +
                            previous * static_cast<double>(rc2));
}

}  // namespace

void right_button_event(PointerSink& sink) {
    sink.button(1, false);
    sink.pause_us(500);
    sink.button(3, true);
    sink.pause_us(500);
    sink.button(3, false);
}

void MouseAction(MouseState& s, PointerSink& sink, mouse_act mouse) {
    switch (mouse.act) {
        case ACT_LIFT:
            s.MiceDotCount = 0;
            sink.move(mouse.x, mouse.y);
            if (s.MiceLD == 1) {
                s.MiceLD = 0;
                sink.button(1, false);
            }
            break;
        case ACT_CONTACT:
            if (s.MiceLD == 0) {
                s.MiceLD = 1;
                s.MouseFirst = s.MousePre = mouse_act{mouse.x, mouse.y, ACT_CONTACT};
                sink.move(mouse.x, mouse.y);
                sink.button(1, true);
                break;
            }
            if (within(mouse.x - s.MouseFirst.x, STILL_BOX) &&
                within(mouse.y - s.MouseFirst.y, STILL_BOX))
                ++s.MiceDotCount;
            if (s.MiceDotCount > s.LimitCountRV) {
                s.MiceDotCount = 0;
                right_button_event(sink);
            }
            s.MouseMove.x = smooth(mouse.x, s.MousePre.x);
            s.MouseMove.y = smooth(mouse.y, s.MousePre.y);
            sink.move(s.MouseMove.x, s.MouseMove.y);
            s.MousePre = s.MouseMove;
            break;
        case ACT_RIGHT_CLICK:
            if (s.board_clicks) right_button_event(sink);
            break;
        case ACT_LEFT_CLICK:
            if (!s.board_clicks) break;
            sink.button(1, true);
            sink.button(1, false);
            break;
        default:
            break;
    }
}
