#include "screen_watch.h"

#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "x/x_screen.h"

namespace {

constexpr int LOOK_INTERVAL_MS = 500;

// The last look. Never destroyed: the watching thread may still be in a look
// while the process ends.
struct Look {
    std::mutex mutex;
    Rect screen{0, 0, 0, 0};
    std::vector<Monitor> monitors;
};
Look& last_look() {
    static Look* look = new Look;
    return *look;
}

thread_local bool watching = false;  // on the watching thread

void (*on_change)() = nullptr;

// True when the look differs from the last one.
bool take_look(Display* display) {
    const Rect now = screen_rect(display);
    std::vector<Monitor> now_monitors = list_monitors(display);
    Look& look = last_look();
    std::lock_guard<std::mutex> lock(look.mutex);
    bool same = now == look.screen && now_monitors.size() == look.monitors.size();
    for (size_t i = 0; same && i < look.monitors.size(); ++i)
        same = now_monitors[i].name == look.monitors[i].name &&
               now_monitors[i].area == look.monitors[i].area;
    look.screen = now;
    look.monitors.swap(now_monitors);
    return !same;
}

// Held while the watch talks to the X server, so that the service's ending
// never closes its own connection under a request of the watch.
std::timed_mutex x_use;
std::atomic<bool> stopped{false};

void* watch(void* connection_opened) {
    watching = true;
    Display* display = static_cast<Display*>(connection_opened);
    std::unique_lock<std::timed_mutex> lock(x_use);
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    for (;;) {
        const bool changed = take_look(display);
        const bool pending = XPending(display) > 0;
        lock.unlock();
        if (changed) on_change();
        // A monitor set or deleted sends no event: a look every half second
        // (one round trip) finds it. Events come in bursts; one look for all.
        if (!pending) poll(&connection, 1, LOOK_INTERVAL_MS);
        lock.lock();
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            XRRUpdateConfiguration(&event);
        }
    }
}

}  // namespace

void screen_first_look(Display* display) { take_look(display); }

void stop_screen_watch() {
    // Once: the watch stays stopped for the little life the service has
    // left. A watch stuck on a dead server holds the lock for good; the
    // ending goes on without it then.
    if (stopped.exchange(true)) return;
    (void)x_use.try_lock_for(std::chrono::milliseconds(200));
}

void end_screen_watch() {
    // Inside Xlib, on a dead connection that nothing else uses; the
    // steering signals are blocked here, so nothing wakes the thread.
    for (;;) pause();
}

MappingArea current_area(const std::string& stored) {
    Look& look = last_look();
    std::lock_guard<std::mutex> lock(look.mutex);
    return mapping_area(look.monitors, stored, look.screen);
}

Rect current_screen() {
    Look& look = last_look();
    std::lock_guard<std::mutex> lock(look.mutex);
    return look.screen;
}

bool in_screen_watch() { return watching; }

void start_screen_watch(const char* display_name, void (*changed)()) {
    on_change = changed;
    // Opened here, before the service takes signals: an ending never meets
    // a connection half opened.
    Display* display = XOpenDisplay(display_name);
    int event_base = 0, error_base = 0;
    if (display == nullptr || !XRRQueryExtension(display, &event_base, &error_base)) {
        if (display) XCloseDisplay(display);
        return;
    }
    XRRSelectInput(display, DefaultRootWindow(display),
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask |
                       RRProviderChangeNotifyMask | RRResourceChangeNotifyMask);
    pthread_t thread;
    if (pthread_create(&thread, nullptr, watch, display) == 0) pthread_detach(thread);
}
