#include "func_Mouse.h"

#include <X11/extensions/XTest.h>
#include <unistd.h>

void mouse_move(Display* display, int x_res, int y_res) {
    XTestFakeMotionEvent(display, DefaultScreen(display), x_res, y_res, 0);
    XFlush(display);
}

void button_event(Display* display, int button, int Button_flags) {
    XTestFakeButtonEvent(display, button, Button_flags ? True : False, 0);
    XFlush(display);
}

void XTestSink::pause_us(int microseconds) { usleep(microseconds); }
