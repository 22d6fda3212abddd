#include "protocol/board_packet.h"

#include <cstdio>

namespace {

constexpr int pair_value(uint8_t high, uint8_t low) { return ((high & 0x3F) << 6) | (low & 0x3F); }

}  // namespace

uint8_t packet_check_byte(const uint8_t* pkt) {
    uint8_t x = 0;
    for (int i = 0; i < PACKET_SIZE - 1; ++i) x ^= pkt[i];
    return x;
}

int packet_check_ok(const uint8_t* pkt) { return pkt[7] == packet_check_byte(pkt) ? 1 : 0; }

int coordinate_a(const uint8_t* pkt) { return pair_value(pkt[3], pkt[4]); }
int coordinate_b(const uint8_t* pkt) { return pair_value(pkt[5], pkt[6]); }

BoardPoint decode_point(const uint8_t* pkt, int valu_flags) {
    const int y_f = coordinate_a(pkt);
    const int x_f = coordinate_b(pkt);
    return valu_flags == LINE_TOUCH ? BoardPoint{x_f, y_f} : BoardPoint{y_f, x_f};
}

const BoardIdent* identify(uint8_t head, uint8_t variant) {
    for (const BoardIdent& row : kBoardIdents)
        if (row.head == head && row.variant == variant) return &row;
    return nullptr;
}

int line_of_head(uint8_t head) {
    for (const BoardIdent& row : kBoardIdents)
        if (row.head == head) return row.line;
    return -1;
}

bool is_calibration_key(uint8_t code, bool touch_line) {
    if (touch_line) return code == T_CMD_ORIENT;
    return code == E_CMD_ORIENT || code == E_CMD_ORIENT2 || code == E_CMD_ORIENT3;
}

void print_packet(const uint8_t* p) {
    printf("%2x %2x %2x %2x %2x %2x %2x %2x\n", p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
}
