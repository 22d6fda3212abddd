#include "screen_watch.h"

#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "x/x_screen.h"

// For LockDisplay alone; last, for its min and max macros.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace {

// The last look. Never destroyed: the watching thread may still be in a look
// while the process ends.
struct Look {
    std::mutex mutex;
    ScreenLook seen;
};
Look& last_look() {
    static Look* look = new Look;
    return *look;
}

// Keeps now as the last look; true when it differs from the one before.
bool remember(ScreenLook now) {
    Look& look = last_look();
    std::lock_guard<std::mutex> lock(look.mutex);
    const bool same = now == look.seen;
    look.seen = std::move(now);
    return !same;
}

// The watch runs until the service's ending stops it or its connection is
// lost; either way its thread leaves the loop and ends.
enum class WatchState { watching, stopped, lost };

struct Watch {
    Display* display = nullptr;     // its own connection; kept for good once opened
    std::atomic<int> wake{-1};      // eventfd: a reason to look again, or the stop
    std::atomic<WatchState> state{WatchState::watching};
    // Held while the thread is inside Xlib. The ending takes it before going
    // on, so that it never tears down the process under a request of the
    // watch; after the stop the thread never enters Xlib again.
    std::mutex x_use;
    void (*changed)() = nullptr;
    int (*service_io_error)(Display*) = nullptr;
};
Watch watch;

// Xlib's I/O error handler is one for all connections: the watch's own loss
// stays here, the service's goes on to the service's handler.
int io_error(Display* display) {
    if (display == watch.display) return 0;
    return watch.service_io_error(display);
}

// With this handler Xlib returns from the failed call instead of exiting,
// and the connection's later calls fail at once: the thread can leave.
void connection_lost(Display* display, void*) {
    WatchState watching = WatchState::watching;
    watch.state.compare_exchange_strong(watching, WatchState::lost);
    // libX11 (1.8.4 as 1.8.12) releases the connection's lock before the
    // handlers, then returns to a caller that releases it again: taken back
    // here, so that the caller's release is the one that balances.
    LockDisplay(display);
}

void wake_watch() {
    const int fd = watch.wake;
    if (fd < 0) return;
    const uint64_t one = 1;
    // A full counter still wakes the watch; nothing to wait for.
    (void)!write(fd, &one, sizeof one);
}

// One turn of the watch, inside Xlib: the events read, and a look at the
// screen. False once the watch has ended; a lost connection is closed then.
bool look_once(Display* display, bool* changed, bool* queued) {
    std::lock_guard<std::mutex> lock(watch.x_use);
    if (watch.state == WatchState::watching) {
        // Events come in bursts; one look for all of them.
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            XRRUpdateConfiguration(&event);
        }
        ScreenLook now = look_at_screen(display);
        // A look through a connection lost half-way is no look at all.
        if (watch.state == WatchState::watching) {
            *changed = remember(std::move(now));
            *queued = XQLength(display) > 0;  // read in with the look's replies
            return true;
        }
    }
    if (watch.state == WatchState::lost) XCloseDisplay(display);
    return false;
}

void* run_watch(void*) {
    Display* display = watch.display;
    pollfd wait_for[2] = {{ConnectionNumber(display), POLLIN, 0}, {watch.wake, POLLIN, 0}};
    for (;;) {
        bool changed = false, queued = false;
        if (!look_once(display, &changed, &queued)) return nullptr;
        if (changed) watch.changed();
        if (queued) continue;
        // Asleep until the X server says something, someone gives a reason
        // to look again, or the stop. A failed wait is a reason too.
        if (poll(wait_for, 2, -1) > 0 && (wait_for[1].revents & POLLIN)) {
            uint64_t reasons = 0;
            (void)!read(watch.wake, &reasons, sizeof reasons);
        }
    }
}

}  // namespace

void screen_first_look(Display* display) { remember(look_at_screen(display)); }

void look_at_screen_again() { wake_watch(); }

void stop_screen_watch() {
    // A watch stuck on a server that stopped answering keeps the lock; the
    // ending goes on without it then, the watch marked stopped all the same.
    // Tried rather than timed: the thread sanitizer sees no timed lock.
    bool taken = watch.x_use.try_lock();
    for (int tries = 0; !taken && tries < 200; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        taken = watch.x_use.try_lock();
    }
    watch.state = WatchState::stopped;
    if (taken) watch.x_use.unlock();
    wake_watch();
}

MappingArea current_area(const std::string& stored) {
    Look& look = last_look();
    std::lock_guard<std::mutex> lock(look.mutex);
    return mapping_area(look.seen.monitors, stored, look.seen.screen);
}

Rect current_screen() {
    Look& look = last_look();
    std::lock_guard<std::mutex> lock(look.mutex);
    return look.seen.screen;
}

void start_screen_watch(const char* display_name, void (*changed)()) {
    // Opened here, before the service takes signals: an ending never meets
    // a connection half opened.
    Display* display = XOpenDisplay(display_name);
    int event_base = 0, error_base = 0;
    if (display == nullptr || !XRRQueryExtension(display, &event_base, &error_base)) {
        if (display) XCloseDisplay(display);
        return;
    }
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        XCloseDisplay(display);
        return;
    }
    watch.display = display;
    watch.changed = changed;
    watch.service_io_error = XSetIOErrorHandler(io_error);
    XSetIOErrorExitHandler(display, connection_lost, nullptr);
    // RandR tells of new sizes, outputs and modes; a monitor set or deleted
    // (xrandr --setmonitor) comes only as the root window's ConfigureNotify.
    XRRSelectInput(display, DefaultRootWindow(display),
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask |
                       RRProviderChangeNotifyMask | RRResourceChangeNotifyMask);
    XSelectInput(display, DefaultRootWindow(display), StructureNotifyMask);
    watch.wake = wake;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, run_watch, nullptr) == 0) pthread_detach(thread);
}
