#include "funCom.h"

#include <X11/Xlib.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "board_packet.h"
#include "fileio.h"
#include "paths.h"
#include "registry.h"
#include "serial.h"
#include "zuraze.h"

namespace {

constexpr int MISSES_BEFORE_REGREETING = 9;

bool greet(int fd) {
    return write_all(fd, connect_s, sizeof connect_s) == static_cast<ssize_t>(sizeof connect_s);
}

void print_packet(const uint8_t* p) {
    printf("%2x %2x %2x %2x %2x %2x %2x %2x\n", p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
}

}  // namespace

void InitData() {
    const char* name = getenv("DISPLAY");
    if (name == nullptr) exit(1);
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        printf("Cannot connect to X server %s\n", name);
        exit(-1);
    }
    const int screen = DefaultScreen(display);
    const double screen_width = DisplayWidth(display, screen);
    const double screen_height = DisplayHeight(display, screen);
    XCloseDisplay(display);
    layout_targets(screen_width, screen_height, W_Dot, H_Dot, PosArray);
}

void close_port_once() {
    int fd = EQ_fd.load();
    if (fd > 0 && EQ_fd.compare_exchange_strong(fd, -1)) Close_port(fd);
}

void* thread_funCom(void*) {
    const int fd = EQ_fd;
    Init_EQ(fd);
    Connect_EQ(fd, -1);
    close_port_once();
    return nullptr;
}

int Connect_EQ(int fd, int /*v_flags*/) {
    g_capture.arm();
    tcflush(fd, TCIOFLUSH);
    greet(fd);

    int misses = 0;
    uint8_t pkt[PACKET_SIZE];
    while (bRun != 0) {
        if (read_retry(fd, pkt, sizeof pkt) != PACKET_SIZE) {
            // A silent board is greeted again after about 1.8 s; a partial
            // packet is dropped, not reassembled.
            if (++misses >= MISSES_BEFORE_REGREETING) {
                misses = 0;
                if (!greet(fd)) bRun = 0;
            }
            continue;
        }
        misses = 0;
        print_packet(pkt);
        switch (g_capture.feed(pkt)) {
            case CaptureEvent::identified:
                bJudge = 0;
                break;
            case CaptureEvent::target_complete:
                registry_signal(KEY_QUILLD, SIGUSR1);
                g_capture.complete_target();
                // The GUI thread moves the targets on (change_keyimage).
                kill(getpid(), SIGUSR2);
                break;
            case CaptureEvent::abort:
                bRun = 0;
                kill(getpid(), SIGUSR1);  // exitorient on the GUI thread
                break;
            case CaptureEvent::none:
                break;
        }
    }
    return 1;
}
