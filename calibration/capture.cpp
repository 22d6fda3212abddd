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
        return sample(p.x, p.y);
    }
    if (event == T_UP) {  // E_UP
        lifted();
        return CaptureEvent::none;
    }
    if (is_calibration_key(event, valu_flags == LINE_TOUCH)) return CaptureEvent::abort;
    return CaptureEvent::none;
}

CaptureEvent CaptureRule::sample(int x, int y) {
    if (cur_get < SKIPPED_PER_STROKE || bNext != 1) {
        ++cur_get;
        return CaptureEvent::none;
    }
    PosGet[cur_use] = {x, y};
    // The tenth sample (the stroke's 16th packet, cur_get 15) completes it.
    if (cur_use == SAMPLES_PER_TARGET - 1) return CaptureEvent::target_complete;
    ++cur_get;
    ++cur_use;
    return CaptureEvent::none;
}

void CaptureRule::complete_target() {
    const int k = cur_key;
    DealData(PosGet, SAMPLES_PER_TARGET, &KeyPos[k]);
    bNext = 0;
    cur_use = 0;
    cur_get = 0;
    cur_key = k + 1;
    // The completing packet is counted like any other of its stroke.
    ++cur_get;
    ++cur_use;
}

void CaptureRule::lifted() {
    cur_use = 0;
    cur_get = 0;
    bNext = 1;
}
