#include "tool_screen.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

void tool_screen_size(double* width, double* height, const char* shown_name) {
    const char* name = getenv("DISPLAY");
    if (name == nullptr) exit(1);
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        printf("Cannot connect to X server %s\n", shown_name ? shown_name : name);
        exit(-1);
    }
    const int screen = DefaultScreen(display);
    *width = DisplayWidth(display, screen);
    *height = DisplayHeight(display, screen);
    XCloseDisplay(display);
}
