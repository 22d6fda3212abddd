#include "funCom.h"

#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "protocol/board_packet.h"
#include "protocol/serial.h"
#include "store/fileio.h"
#include "store/paths.h"
#include "store/registry.h"
#include "tool/tool_screen.h"
#include "zuraze.h"

void InitData() {
    double screen_width = 0, screen_height = 0;
    if (const int status = tool_screen_size(&screen_width, &screen_height, nullptr)) exit(status);
    if (const Monitor* on = zuraze.chosen_monitor()) {
        screen_width = on->area.width;
        screen_height = on->area.height;
    }
    layout_targets(screen_width, screen_height, zuraze.grid.W_Dot, zuraze.grid.H_Dot,
                   zuraze.PosArray);
}

void* thread_funCom(void*) {
    const int fd = zuraze.session.port;
    Init_EQ(fd);
    Connect_EQ(fd, -1);
    close_port_once(zuraze.session.port, true);
    return nullptr;
}

int Connect_EQ(int fd, int /*v_flags*/) {
    ToolSession& session = zuraze.session;
    CaptureRule& capture = zuraze.capture;
    capture.arm();
    read_packets(fd, session.run, 0, [&](const uint8_t* pkt) {
        print_packet(pkt);
        switch (capture.feed(pkt)) {
            case CaptureEvent::identified:
                session.judge = 0;
                break;
            case CaptureEvent::target_complete:
                registry_signal(KEY_QUILLD, SIGUSR1);
                capture.complete_target();
                // The GUI thread moves the targets on (change_keyimage).
                kill(getpid(), SIGUSR2);
                break;
            case CaptureEvent::abort:
                session.run = 0;
                kill(getpid(), SIGUSR1);  // exitorient on the GUI thread
                break;
            case CaptureEvent::none:
                break;
        }
    });
    return 1;
}
