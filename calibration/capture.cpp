#include "capture.h"

#include "geometry/misclick.h"
#include "protocol/DataPro.h"
#include "protocol/board_packet.h"

CaptureEvent CaptureRule::feed(const uint8_t* pkt) {
    if (!packet_check_ok(pkt)) return CaptureEvent::none;
    if (pkt[0] != DATA_HEAD) {
        const int line = line_of_head(pkt[0]);
        if (line >= 0) valu_flags = line;
        return CaptureEvent::identified;
    }
    // Every target measured: what still arrives before the tool ends is
    // ignored, unless one is asked for again; a lift still ends the stroke,
    // so that the next one measures it.
    const bool measuring = cur_key < Orient_Dots || again >= 0;
    const uint8_t event = pkt[2];
    if (event == T_UP) {  // E_UP
        stroke.lift();
        return CaptureEvent::none;
    }
    if (!measuring) return CaptureEvent::none;
    if (event == T_DOWN) {  // E_DOWN on the electromagnetic line
        const BoardPoint p = decode_point(pkt, valu_flags);
        return stroke.contact(p.x, p.y) ? CaptureEvent::target_complete : CaptureEvent::none;
    }
    if (is_calibration_key(event, valu_flags == LINE_TOUCH)) return CaptureEvent::abort;
    return CaptureEvent::none;
}

void CaptureRule::complete_target() {
    const int asked = again;
    if (asked >= 0) {
        stroke.complete(&KeyPos[asked]);
        again = -1;
        return;
    }
    const int k = cur_key;
    Pos measured;
    stroke.complete(&measured);
    KeyPos[k] = measured;
    const GridSize g = grid_size(Orient_Dots);
    const bool insists = refused_target_ == k && check_repeat(g, refused_at_, measured, KeyPos, k);
    if (!insists && !check_target(g, KeyPos, k).fits) {
        refused_target_ = k;
        refused_at_ = measured;
        refused = refused + 1;
        return;
    }
    refused_target_ = -1;
    cur_key = k + 1;
}
