#include "x/x_screen.h"

#include <X11/extensions/Xrandr.h>

#include <cstdio>

#include "x/xwayland.h"

Rect screen_rect(Display* display) {
    const int screen = DefaultScreen(display);
    return {0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
}

std::vector<Monitor> list_monitors(Display* display) {
    std::vector<Monitor> out;
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &event_base, &error_base) ||
        !XRRQueryVersion(display, &major, &minor) || major * 100 + minor < 105)
        return out;
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    for (int i = 0; info != nullptr && i < count; ++i) {
        char* name = XGetAtomName(display, info[i].name);
        out.push_back({name ? name : "", {info[i].x, info[i].y, info[i].width, info[i].height}});
        if (name) XFree(name);
    }
    if (info) XRRFreeMonitors(info);
    return out;
}

bool operator==(const ScreenLook& a, const ScreenLook& b) {
    if (!(a.screen == b.screen) || a.monitors.size() != b.monitors.size()) return false;
    for (size_t i = 0; i < a.monitors.size(); ++i)
        if (a.monitors[i].name != b.monitors[i].name || !(a.monitors[i].area == b.monitors[i].area))
            return false;
    return true;
}

ScreenLook look_at_screen(Display* display) { return {screen_rect(display), list_monitors(display)}; }

std::vector<std::string> list_extensions(Display* display) {
    std::vector<std::string> out;
    int count = 0;
    char** names = XListExtensions(display, &count);
    for (int i = 0; names != nullptr && i < count; ++i) out.emplace_back(names[i]);
    if (names) XFreeExtensionList(names);
    return out;
}

bool note_xwayland(Display* display) {
    if (!lists_xwayland(list_extensions(display))) return false;
    puts(XWAYLAND_NOTE);
    return true;
}
