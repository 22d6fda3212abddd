#include "geometry/monitors.h"

#include <climits>
#include <cstdio>

namespace {

bool holds(const Rect& r, int x, int y) {
    return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
}

// Squared distance from the point to the rectangle (0 inside).
long long distance2(const Rect& r, int x, int y) {
    const long long dx = x < r.x ? r.x - x : (x >= r.x + r.width ? x - (r.x + r.width - 1) : 0);
    const long long dy = y < r.y ? r.y - y : (y >= r.y + r.height ? y - (r.y + r.height - 1) : 0);
    return dx * dx + dy * dy;
}

}  // namespace

const Monitor* find_monitor(const std::vector<Monitor>& monitors, const std::string& name) {
    if (name.empty()) return nullptr;
    for (const Monitor& m : monitors)
        if (m.name == name) return &m;
    return nullptr;
}

const Monitor* monitor_at(const std::vector<Monitor>& monitors, int x, int y) {
    const Monitor* best = nullptr;
    long long best_d = LLONG_MAX;
    for (const Monitor& m : monitors) {
        if (holds(m.area, x, y)) return &m;
        const long long d = distance2(m.area, x, y);
        if (d < best_d) best = &m, best_d = d;
    }
    return best;
}

std::string monitor_label(const Monitor& m) {
    return m.name + " " + std::to_string(m.area.width) + "x" + std::to_string(m.area.height);
}

MappingArea mapping_area(const std::vector<Monitor>& monitors, const std::string& stored,
                         const Rect& screen) {
    const Monitor* m = find_monitor(monitors, stored);
    if (m == nullptr || m->area.width <= 0 || m->area.height <= 0) return {screen, false};
    return {m->area, true};
}

std::string area_line(const std::string& stored, const MappingArea& m) {
    if (stored.empty()) return "";
    const Rect& a = m.area;
    char line[320];
    if (m.on_monitor)
        snprintf(line, sizeof line, "The board maps onto monitor \"%s\" (%dx%d+%d+%d).",
                 stored.c_str(), a.width, a.height, a.x, a.y);
    else
        snprintf(line, sizeof line,
                 "Monitor \"%s\" is not connected: the board maps onto the whole screen (%dx%d).",
                 stored.c_str(), a.width, a.height);
    return line;
}
