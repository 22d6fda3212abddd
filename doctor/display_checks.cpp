#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>

#include "checks.h"
#include "host.h"
#include "x/x_screen.h"
#include "x/xwayland.h"

namespace {

std::string monitor_list(const std::vector<Monitor>& monitors) {
    std::string text;
    for (const Monitor& m : monitors)
        text += (text.empty() ? "" : ", ") + monitor_label(m) + "+" + std::to_string(m.area.x) +
                "+" + std::to_string(m.area.y);
    return text;
}

// Whether the monitors show different parts of the screen (not all mirrors of it).
bool screen_split(const std::vector<Monitor>& monitors, const Rect& screen) {
    return monitors.size() > 1 &&
           std::any_of(monitors.begin(), monitors.end(),
                       [&](const Monitor& m) { return !(m.area == screen); });
}

// How long the X server gets to answer: it may take the connection and
// then say nothing.
constexpr double X_ANSWER_SECONDS = 5.0;

struct XFacts {
    bool opened = false;
    std::vector<std::string> extensions;
    ScreenLook look;
};

XFacts ask_x_server(const char* name) {
    XFacts facts;
    Display* display = XOpenDisplay(name);
    if (display == nullptr) return facts;
    facts.opened = true;
    facts.extensions = list_extensions(display);
    facts.look = look_at_screen(display);
    XCloseDisplay(display);
    return facts;
}

}  // namespace

void check_display(Report& report, Chain& chain) {
    const char* name = getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        report.problem("display", "no X display: DISPLAY is not set.",
                       "run whiteboard-doctor in a terminal of the desktop session.");
        return;
    }
    const std::shared_ptr<std::promise<XFacts>> asked = std::make_shared<std::promise<XFacts>>();
    std::future<XFacts> answer = asked->get_future();
    std::thread([asked, display_name = std::string(name)] {
        asked->set_value(ask_x_server(display_name.c_str()));
    }).detach();
    if (answer.wait_for(std::chrono::duration<double>(X_ANSWER_SECONDS)) !=
        std::future_status::ready) {
        // The thread stays blocked in Xlib; the doctor's exit ends it.
        report.problem("display",
                       "the X display " + quoted(name) +
                           " took the connection but did not answer "
                           "within " +
                           std::to_string(int(X_ANSWER_SECONDS)) + " s.",
                       "restart the X server (log out and in again), then run whiteboard-doctor "
                       "again.");
        return;
    }
    const XFacts x = answer.get();
    if (!x.opened) {
        report.problem("display",
                       "the X display " + quoted(name) +
                           " cannot be opened: no X server there, or this user may not use it.",
                       "run whiteboard-doctor in a terminal of the desktop session, as the user "
                       "logged in to it.");
        return;
    }
    report.ok("display", "the X display " + quoted(name) + " answers.");
    chain.wayland = lists_xwayland(x.extensions);
    report.add(judge_session(x.extensions));
    const Rect& screen = x.look.screen;
    const std::vector<Monitor>& monitors = x.look.monitors;
    std::string found = std::to_string(screen.width) + "x" + std::to_string(screen.height);
    found +=
        monitors.empty() ? ", no monitor list." : ", monitors: " + monitor_list(monitors) + ".";
    report.ok("screen", found);
    report.add(judge_monitor(config_monitor(chain.config), monitors, screen));
}

Finding judge_session(const std::vector<std::string>& extensions) {
    if (lists_xwayland(extensions))
        return {Verdict::warning, "session", "Xwayland, in a Wayland session.", XWAYLAND_NOTE};
    return {Verdict::ok, "session", "X11.", ""};
}

Finding judge_monitor(const std::string& stored, const std::vector<Monitor>& monitors,
                      const Rect& screen) {
    if (stored.empty()) {
        if (screen_split(monitors, screen))
            return {Verdict::warning, "monitor",
                    "the calibration covers the whole screen, which now spans " +
                        std::to_string(monitors.size()) +
                        " monitors: the pen lands away from the projected picture.",
                    kRecalibrate + " It asks for the monitor the board shows."};
        return {Verdict::ok, "monitor", "the calibration covers the whole screen.", ""};
    }
    if (const Monitor* m = find_monitor(monitors, stored))
        return {Verdict::ok, "monitor",
                "the calibration was made on monitor " + quoted(stored) + ", which is connected (" +
                    monitor_label(*m) + ").",
                ""};
    return {Verdict::warning, "monitor",
            "the calibration was made on monitor " + quoted(stored) +
                ", which is not connected: the board maps onto the whole screen.",
            "connect " + quoted(stored) + ", or " + kRecalibrate};
}
