// Pointer injection through XTest: the sink the service's pointer state
// drives.
#pragma once

#include <X11/Xlib.h>

#include "pointer.h"

// XTest on a display: each request is flushed at once.
void mouse_move(Display* display, int x_res, int y_res);
void button_event(Display* display, int button, int Button_flags);

class XTestSink : public PointerSink {
public:
    explicit XTestSink(Display* display) : display_(display) {}
    void move(int x, int y) override { mouse_move(display_, x, y); }
    void button(int button, bool pressed) override { button_event(display_, button, pressed); }
    void pause_us(int microseconds) override;

private:
    Display* display_;
};
