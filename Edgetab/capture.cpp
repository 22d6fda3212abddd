#include "capture.h"

#include "protocol/DataPro.h"
#include "protocol/board_packet.h"

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
    if (event == T_UP) stroke.lift();
    return false;
}

bool KeyCapture::contact(int x, int y) {
    // Every key learnt: what still arrives before the tool ends is ignored.
    if (cur_key >= EDGE_KEY_COUNT || !stroke.contact(x, y)) return false;
    const int k = cur_key;
    stroke.complete(&table()[k]);
    cur_key = k + 1;
    return true;
}
