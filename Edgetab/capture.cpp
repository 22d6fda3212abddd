#include "capture.h"

#include "DataPro.h"
#include "board_packet.h"

PacketKind classify(const uint8_t* pkt) {
    if (pkt[1] == Y_RV_CMD) return PacketKind::no_edge_keys;
    if (!packet_check_ok(pkt)) return PacketKind::bad_check;
    if (pkt[0] == DATA_HEAD) return PacketKind::data;
    return PacketKind::reply;
}

void identify_for_teaching(uint8_t head, uint8_t variant, BoardKind& kind) {
    const int line = line_of_head(head);
    if (line < 0) return;
    kind.valu_flags = line;
    // The electromagnetic line's keys are always printed ones to teach,
    // whatever the reply tells the service about watching them.
    if (const BoardIdent* row = identify(head, variant))
        kind.iRealEdgetab = line == LINE_ELEC ? 0 : row->edgetab;
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
