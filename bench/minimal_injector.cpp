// The least a program must do to put the board's pen on the X pointer: the
// service's line set-up and packet reader, and one XTest motion per contact
// packet, mapped linearly onto the screen. bench/line_rate.py --program runs
// it in the service's place, so that the service's own costs, idle and
// busy, are read beside a floor.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <atomic>

#include "protocol/board_packet.h"
#include "protocol/serial.h"
#include "x/x_screen.h"

int main() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 1;
    const Rect screen = screen_rect(display);
    const int fd = Open_EQ(true);
    Init_EQ(fd);
    std::atomic<int> run{1};
    read_packets(fd, run, 0, [&](const uint8_t* pkt) {
        if (pkt[0] != DATA_HEAD || pkt[2] != T_DOWN || !packet_check_ok(pkt)) return;
        const BoardPoint p = decode_point(pkt, LINE_TOUCH);
        XTestFakeMotionEvent(display, -1, p.x * screen.width / BOARD_UNITS,
                             p.y * screen.height / BOARD_UNITS, 0);
        XFlush(display);
    });
    return 0;
}
