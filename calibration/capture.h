// The capture: one board packet in, what the capture thread must do about it
// out, by the tools' shared sample rule (StrokeSampler). No port, no signals
// here.
#pragma once

#include <atomic>
#include <cstdint>

#include "DataPro.h"
#include "target_grid.h"
#include "types.h"

enum class CaptureEvent {
    none,
    identified,       // an identification packet: the board line is known now
    target_complete,  // the samples of target cur_key are all kept
    abort,            // the board's orient key
};

struct CaptureRule {
    explicit CaptureRule(int Orient_Dots) : Orient_Dots(Orient_Dots) { stroke.arm(); }

    // Arms the capture at the start of a loop, without a previous lift.
    void arm() { stroke.arm(); }

    // Handles one 8-byte packet; a packet with a wrong check byte is dropped.
    CaptureEvent feed(const uint8_t* pkt);

    // After target_complete: averages the samples into KeyPos[cur_key] and
    // moves on to the next target, which waits for a lift.
    void complete_target();

    int Orient_Dots;  // set before the capture thread starts
    StrokeSampler stroke;
    Pos KeyPos[MAX_TARGETS] = {};
    // Read by the GUI thread after each completion: KeyPos[cur_key - 1] is in
    // place before cur_key counts it.
    std::atomic<int> cur_key{0};
    int valu_flags = 0;
};
