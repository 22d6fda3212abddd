// Tiny reader: greets the board once and prints the packets that come back
// for a few seconds. Exit 0 when a valid identification reply arrived, 1 when
// none did, 2 when the device cannot be opened.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "protocol/board_packet.h"
#include "protocol/serial.h"
#include "store/paths.h"

namespace {

constexpr auto kListenFor = std::chrono::seconds(3);

}  // namespace

int main() {
    setvbuf(stdout, nullptr, _IOLBF, 0);

    int fd = Open_EQ(false);
    if (fd < 0) {
        fprintf(stderr, "cannot open %s: %s\n", BOARD_DEVICE, strerror(errno));
        return 2;
    }
    Init_EQ(fd);
    if (Connect_EQ2(fd) != 0) {
        printf("greeting not sent: %s\n", strerror(errno));
        Close_port(fd);
        return 1;
    }
    puts("greeting sent");

    bool identified = false;
    const auto deadline = std::chrono::steady_clock::now() + kListenFor;
    while (!identified && std::chrono::steady_clock::now() < deadline) {
        unsigned char pkt[8];
        ssize_t n = read(fd, pkt, sizeof pkt);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            printf("read failed: %s\n", strerror(errno));
            break;
        }
        if (n == 0) continue;  // 0.2 s without a byte

        for (ssize_t i = 0; i < n; i++) printf("%02X ", pkt[i]);
        if (n < 8) {
            printf("short read (%zd bytes)\n", n);
            continue;
        }
        bool ok = packet_check_ok(pkt) != 0;
        printf("check %s", ok ? "ok" : "bad");
        if (pkt[0] != DATA_HEAD) {
            printf(", identification reply %02X %02X", pkt[0], pkt[1]);
            identified = ok;
        }
        putchar('\n');
    }

    Close_port(fd);
    if (!identified) puts("no identification reply");
    return identified ? 0 : 1;
}
