// The screen probe and the reader thread: greeting, identification and the
// capture of one key after the other.
#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "edgetab.h"
#include "key_table.h"
#include "protocol/board_packet.h"
#include "protocol/serial.h"
#include "store/config.h"
#include "store/fileio.h"
#include "store/paths.h"
#include "store/registry.h"
#include "tool/tool_screen.h"

namespace {

constexpr const char* FALLBACK_DISPLAY = "localhost:0";

[[noreturn]] void become_bareedge() {
    // The lock descriptor is inherited: the lock stays held by the warning.
    execl(BAREEDGE_PROGRAM, BAREEDGE_NAME, static_cast<char*>(nullptr));
    exitProcess();
    exit(1);
}

void identification(const uint8_t* pkt) {
    edgetab.session.judge = 0;
    printf("Kill signal start**-----------------valu_flags=%d\n", edgetab.capture.kind.valu_flags);
    identify_for_teaching(pkt[0], pkt[1], edgetab.capture.kind);
    printf("valu_flags=%d iRealEdgetab=%d\n", edgetab.capture.kind.valu_flags,
           edgetab.capture.kind.iRealEdgetab);
    kill(getpid(), SIGUSR1);  // showGUI
}

void data_packet(const uint8_t* pkt) {
    const bool elec = edgetab.capture.kind.valu_flags == LINE_ELEC;
    if (!elec) puts("------------------------------");
    if (!edgetab.capture.data_packet(pkt)) return;
    // The service reads the port too; on this line it is held off again.
    if (elec) registry_signal(KEY_QUILLD, SIGUSR1);
    kill(getpid(), SIGUSR2);  // change_keyimage
}

// The reader's end of the port: closed once, whichever of the release and
// the reader thread comes first.
void close_reader_port() {
    puts("Close_port");
    close_port_once(edgetab.session.port, true);
}

}  // namespace

void InitData() {
    double width = 0, height = 0;
    if (const int status = tool_screen_size(&width, &height, FALLBACK_DISPLAY)) exit(status);
    edgetab.screen = {0, 0, static_cast<int>(width), static_cast<int>(height)};
}

void lay_out_keys() {
    static ConfigSnapshot snap;
    load_config(snap);
    const std::vector<Monitor> monitors = tool_monitors();
    const Monitor* m = monitors.size() > 1 ? find_monitor(monitors, config_monitor(snap)) : nullptr;
    if (m != nullptr) {
        edgetab.monitor = m->area;
        edgetab.on_monitor = true;
    }
    const Rect& on = edgetab.on_monitor ? edgetab.monitor : edgetab.screen;
    layout_keys(on.width, on.height, edgetab.PosArray);
}

void* thread_funCom(void*) {
    puts("thread_funCom start");
    const int fd = edgetab.session.port;
    Init_EQ(fd);
    // The loop's result is not a board line; the table of the line in use
    // stays as identified.
    Connect_EQ(fd, -1);
    close_reader_port();
    return nullptr;
}

int Connect_EQ(int fd, int /*v_flags*/) {
    edgetab.capture.arm();
    // This tool waits a second before greeting again.
    read_packets(fd, edgetab.session.run, 1, [](const uint8_t* pkt) {
        print_packet(pkt);
        switch (classify(pkt)) {
            case PacketKind::no_edge_keys:
                become_bareedge();
            case PacketKind::bad_check:
                break;
            case PacketKind::data:
                data_packet(pkt);
                break;
            case PacketKind::reply:
                if (edgetab.session.judge == 1) identification(pkt);
                break;
        }
    });
    return 1;
}
