#include "board_packet.h"

#include <cstdio>

namespace {

constexpr int pair_value(uint8_t high, uint8_t low) { return ((high & 0x3F) << 6) | (low & 0x3F); }

}  // namespace

// Rows in the order a reply is compared: touch first, then the electromagnetic
// sizes 50 to 120; within a head H, S, then HG/NH, then SG/NS.
const std::array<BoardIdent, 24> kBoardIdents = {{
    {CNT_REN, 0xCC, LINE_TOUCH, 1, "TouchH_Cmp"},
    {CNT_REN, 0xDD, LINE_TOUCH, 0, "TouchS_Cmp"},
    {CNT_REN, 0xCA, LINE_TOUCH, 1, "TouchHG_Cmp"},
    {CNT_REN, 0xDA, LINE_TOUCH, 0, "TouchSG_Cmp"},
    {E_DATA_5, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_50"},
    {E_DATA_5, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_50"},
    {E_DATA_5, 0xED, LINE_ELEC, 1, "Elec_NHCmp_50"},
    {E_DATA_5, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_50"},
    {E_DATA_6, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_60"},
    {E_DATA_6, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_60"},
    {E_DATA_6, 0xED, LINE_ELEC, 1, "Elec_NHCmp_60"},
    {E_DATA_6, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_60"},
    {E_DATA_8, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_80"},
    {E_DATA_8, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_80"},
    {E_DATA_8, 0xED, LINE_ELEC, 1, "Elec_NHCmp_80"},
    {E_DATA_8, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_80"},
    {E_DATA_CA, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_100"},
    {E_DATA_CA, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_100"},
    {E_DATA_CA, 0xED, LINE_ELEC, 1, "Elec_NHCmp_100"},
    {E_DATA_CA, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_100"},
    {E_DATA_EC, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_120"},
    {E_DATA_EC, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_120"},
    {E_DATA_EC, 0xED, LINE_ELEC, 1, "Elec_NHCmp_120"},
    {E_DATA_EC, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_120"},
}};

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
