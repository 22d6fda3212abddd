// What the X server says about its screen: its size, its monitors (RandR),
// and whether it is Xwayland.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

#include "geometry/monitors.h"

// The default screen's rectangle (origin 0, 0).
Rect screen_rect(Display* display);

// One look at the screen: what the service, the tools and the doctor all map
// onto, so that they agree on it.
struct ScreenLook {
    Rect screen{0, 0, 0, 0};
    std::vector<Monitor> monitors;
};
bool operator==(const ScreenLook& a, const ScreenLook& b);
ScreenLook look_at_screen(Display* display);

// The active RandR monitors of the default screen; empty when the server has
// no RandR 1.5.
std::vector<Monitor> list_monitors(Display* display);

// The X extensions the server announces.
std::vector<std::string> list_extensions(Display* display);

// Prints XWAYLAND_NOTE once on standard output when the server is Xwayland;
// true then.
bool note_xwayland(Display* display);
