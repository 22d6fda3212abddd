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
#include "tool_screen.h"
#include "zuraze.h"

void InitData() {
    double screen_width = 0, screen_height = 0;
    tool_screen_size(&screen_width, &screen_height, nullptr);
    layout_targets(screen_width, screen_height, W_Dot, H_Dot, PosArray);
}

void* thread_funCom(void*) {
    const int fd = EQ_fd;
    Init_EQ(fd);
    Connect_EQ(fd, -1);
    close_port_once(EQ_fd, true);
    return nullptr;
}

int Connect_EQ(int fd, int /*v_flags*/) {
    g_capture.arm();
    tcflush(fd, TCIOFLUSH);
    Connect_EQ2(fd);

    PacketReader reader;
    uint8_t pkt[PACKET_SIZE];
    while (bRun != 0) {
        const int got = reader.next(fd, pkt);
        if (got < 0) bRun = 0;
        if (got <= 0) continue;
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
