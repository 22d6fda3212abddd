#include "capture.h"

#include "DataPro.h"
#include "board_packet.h"

CaptureEvent CaptureRule::feed(const uint8_t* pkt) {
    if (!packet_check_ok(pkt)) return CaptureEvent::none;
    if (pkt[0] != DATA_HEAD) {
        const int line = line_of_head(pkt[0]);
        if (line >= 0) valu_flags = line;
        return CaptureEvent::identified;
    }
    // Every target measured: what still arrives before the tool ends is ignored.
    if (cur_key >= Orient_Dots) return CaptureEvent::none;

    const uint8_t event = pkt[2];
    if (event == T_DOWN) {  // E_DOWN on the electromagnetic line
        const BoardPoint p = decode_point(pkt, valu_flags);
        return stroke.contact(p.x, p.y) ? CaptureEvent::target_complete : CaptureEvent::none;
    }
    if (event == T_UP) {  // E_UP
        stroke.lift();
        return CaptureEvent::none;
    }
    if (is_calibration_key(event, valu_flags == LINE_TOUCH)) return CaptureEvent::abort;
    return CaptureEvent::none;
}

void CaptureRule::complete_target() {
    const int k = cur_key;
    stroke.complete(&KeyPos[k]);
    cur_key = k + 1;
}
