// Monitors of the X screen and the rectangle the board maps onto: the whole
// screen, or the monitor that the stored calibration names. No X here; the
// probe in x_screen fills the list.
#pragma once

#include <string>
#include <vector>

struct Rect {
    int x;
    int y;
    int width;
    int height;
};

inline bool operator==(const Rect& a, const Rect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

struct Monitor {
    std::string name;
    Rect area;
};

// The monitor called name, or nullptr (also for an empty name).
const Monitor* find_monitor(const std::vector<Monitor>& monitors, const std::string& name);

// The monitor that holds the point, else the one nearest to it; nullptr for
// an empty list.
const Monitor* monitor_at(const std::vector<Monitor>& monitors, int x, int y);

// "LVDS-1 1280x800", as the tools list a monitor.
std::string monitor_label(const Monitor& m);

// Where the board maps: the named monitor while it is connected, else the
// whole screen.
struct MappingArea {
    Rect area;
    bool on_monitor;  // false: the whole screen
};
MappingArea mapping_area(const std::vector<Monitor>& monitors, const std::string& stored,
                         const Rect& screen);

// What the service says when the rectangle for a stored monitor name is new:
// "The board maps onto monitor "<name>" (<w>x<h>+<x>+<y>)." or "Monitor
// "<name>" is not connected: the board maps onto the whole screen (<w>x<h>)."
// Empty without a name.
std::string area_line(const std::string& stored, const MappingArea& m);
