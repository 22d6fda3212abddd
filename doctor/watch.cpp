#include "watch.h"

#include <signal.h>

#include <atomic>
#include <cstdio>

#include "board_port.h"
#include "checks.h"
#include "clock.h"
#include "packet_view.h"
#include "protocol/serial.h"
#include "report.h"
#include "store/paths.h"

namespace {

std::atomic<int> watching{0};
volatile sig_atomic_t interrupted = 0;

void stop_watching(int) {
    interrupted = 1;
    watching = 0;
}

}  // namespace

int watch_board() {
    const std::string reader = board_reader();
    if (!reader.empty()) {
        fprintf(stderr,
                "whiteboard-doctor: %s reads the board; end it first (the service: "
                "systemctl --user stop " USER_UNIT "), then watch again.\n",
                terminal_safe(reader).c_str());
        return 1;
    }
    const BoardPort port;
    if (port.fd() < 0) {
        fprintf(stderr, "whiteboard-doctor: cannot open " BOARD_DEVICE ": %s\n",
                port.error().c_str());
        return 1;
    }

    struct sigaction sa = {};
    sa.sa_handler = stop_watching;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    setvbuf(stdout, nullptr, _IOLBF, 0);
    printf("Watching " BOARD_DEVICE "; Ctrl+C ends.\n");
    watching = 1;
    int line = LINE_TOUCH;
    const double start = monotonic_seconds();
    read_packets(port.fd(), watching, 0, [&](const uint8_t* pkt) {
        if (packet_check_ok(pkt) && pkt[0] != DATA_HEAD && line_of_head(pkt[0]) >= 0)
            line = line_of_head(pkt[0]);
        printf("%8.3f  %s\n", monotonic_seconds() - start, describe_packet(pkt, line).c_str());
    });
    if (interrupted) return 0;
    // read_packets also ends when the board cannot be greeted any more.
    printf("%8.3f  the board went away\n", monotonic_seconds() - start);
    return 1;
}
