// The capture rules of both tools on one serial byte stream: the calibration
// tool's targets and the edge-key tool's keys, fed packet by packet as their
// capture threads do; the doctor's live view names each packet, and judges
// the targets once all are measured.
//
// Input: option byte (bit 0 repairs check bytes so the fuzzer reaches the
// rules easily, bits 1-2 the calibration's point count), then the stream.
#include <cstdio>
#include <cstring>

#include "Edgetab/capture.h"
#include "calibration/capture.h"
#include "doctor/checks.h"
#include "doctor/packet_view.h"
#include "fuzz_input.h"
#include "protocol/board_packet.h"

namespace {

// Board coordinates are 12 bits; an average of them can be nothing else.
bool on_board(const Pos& p) {
    return p.x >= 0 && p.x < BOARD_UNITS && p.y >= 0 && p.y < BOARD_UNITS;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t options = in.byte();
    const bool repair = options & 1;
    const int dots = kPointCounts[((options >> 1) & 3) % POINT_COUNT_CHOICES];

    CaptureRule targets(dots);
    targets.arm();
    KeyCapture keys;
    keys.arm();
    bool key_reply_seen = false;

    uint8_t pkt[PACKET_SIZE];
    while (in.packet(pkt, repair)) {
        const int before = targets.cur_key;
        switch (targets.feed(pkt)) {
            case CaptureEvent::target_complete: {
                require(targets.cur_key < dots, "a target past the last one completed");
                const int refused = targets.refused;
                targets.complete_target();
                // A point that does not fit the earlier ones is refused, not counted.
                require(targets.cur_key == before + (targets.refused == refused ? 1 : 0),
                        "a completion did not count one target or one refusal");
                require(on_board(targets.KeyPos[before]), "a target's average is off the board");
                break;
            }
            case CaptureEvent::abort:
            case CaptureEvent::identified:
            case CaptureEvent::none:
                require(targets.cur_key == before, "a target counted without completion");
                break;
        }

        require(!describe_packet(pkt, keys.kind.valu_flags).empty(), "a packet without a name");
        if (targets.cur_key == dots)
            require(!judge_calibration(dots, targets.KeyPos).found.empty(), "a silent verdict");

        switch (classify(pkt)) {
            case PacketKind::no_edge_keys:  // the tool hands over to its warning here
                return 0;
            case PacketKind::bad_check:
                break;
            case PacketKind::reply:
                if (!key_reply_seen) identify_for_teaching(pkt[0], pkt[1], keys.kind);
                key_reply_seen = true;
                break;
            case PacketKind::data: {
                const int k = keys.cur_key;
                const bool learnt = keys.data_packet(pkt);
                require(keys.cur_key == k + (learnt ? 1 : 0), "key count and learning disagree");
                if (learnt) require(on_board(keys.table()[k]), "a learnt key is off the board");
                break;
            }
        }
        require(keys.kind.valu_flags == LINE_TOUCH || keys.kind.valu_flags == LINE_ELEC,
                "board line out of range");
        require(keys.cur_key <= EDGE_KEY_COUNT, "more keys learnt than there are");
    }
    return 0;
}
