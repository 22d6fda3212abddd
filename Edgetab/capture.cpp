#include "capture.h"

#include "DataPro.h"
#include "board_packet.h"

namespace {

constexpr uint8_t TouchH_Cmp = 0xCC;   // edge keys handled by the board itself
constexpr uint8_t TouchS_Cmp = 0xDD;   // printed edge keys
constexpr uint8_t TouchHG_Cmp = 0xCA;  // never reaches the table: no edge keys at all
constexpr uint8_t TouchSG_Cmp = 0xDA;

struct TouchVariant {
    uint8_t variant;
    int iRealEdgetab;
};
constexpr TouchVariant kTouchVariants[] = {
    {TouchH_Cmp, 1}, {TouchS_Cmp, 0}, {TouchHG_Cmp, 1}, {TouchSG_Cmp, 0}};

// Heads of the electromagnetic size classes 50, 60, 80, 100 and 120, and the
// variants H, S, NH and NS each of them answers with.
constexpr uint8_t kElecHeads[] = {E_DATA_5, E_DATA_6, E_DATA_8, E_DATA_CA, E_DATA_EC};
constexpr uint8_t kElecVariants[] = {0xCE, 0xDD, 0xED, 0xEF};

}  // namespace

PacketKind classify(const uint8_t* pkt) {
    if (pkt[1] == Y_RV_CMD) return PacketKind::no_edge_keys;
    if (!packet_check_ok(pkt)) return PacketKind::bad_check;
    if (pkt[0] == DATA_HEAD) return PacketKind::data;
    return PacketKind::reply;
}

void identify_for_teaching(uint8_t head, uint8_t variant, BoardKind& kind) {
    if (head == CNT_REN) {
        kind.valu_flags = LINE_TOUCH;
        for (const TouchVariant& v : kTouchVariants) {
            if (v.variant == variant) {
                kind.iRealEdgetab = v.iRealEdgetab;
                return;
            }
        }
        return;
    }
    for (uint8_t h : kElecHeads) {
        if (h != head) continue;
        kind.valu_flags = LINE_ELEC;
        for (uint8_t v : kElecVariants)
            if (v == variant) kind.iRealEdgetab = 0;
        return;
    }
}

bool KeyCapture::data_packet(const uint8_t* pkt) {
    const uint8_t event = pkt[2];
    if (event == T_DOWN) {
        const BoardPoint p = decode_point(pkt, kind.valu_flags);
        return contact(p.x, p.y);
    }
    if (event == T_UP) {
        cur_use = 0;
        cur_get = 0;
        bNext = 1;
    }
    return false;
}

bool KeyCapture::contact(int x, int y) {
    if (cur_get < SKIPPED_PER_TOUCH || bNext != 1 || cur_key >= EDGE_KEY_COUNT) {
        ++cur_get;
        return false;
    }
    PosGet[cur_use] = {x, y};
    bool learnt = false;
    if (cur_get == SKIPPED_PER_TOUCH + SAMPLES_PER_KEY - 1) {
        const int k = cur_key;
        DealData(PosGet, SAMPLES_PER_KEY, &table()[k]);
        bNext = 0;
        cur_use = 0;
        cur_get = 0;
        cur_key = k + 1;
        learnt = true;
    }
    // Every kept sample counts, the learning one too.
    ++cur_get;
    ++cur_use;
    return learnt;
}
