// The capture: one board packet in, what the capture thread must do about it
// out, by the tools' shared sample rule (StrokeSampler). No port, no signals
// here.
#pragma once

#include <atomic>
#include <cstdint>

#include "geometry/calibration_grid.h"
#include "protocol/DataPro.h"
#include "protocol/types.h"
#include "target_grid.h"

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

    // After target_complete: averages the samples into the target's KeyPos
    // and, when the point fits those measured before it, moves on to the next
    // target; otherwise the same target waits for a lift and a new stroke
    // (refused counts it). A point that lands again where the refused one
    // did is taken: the user means it, and the whole set is judged at the end.
    // A target asked for again (again) is taken as measured.
    void complete_target();

    // Asks for target k once more after all are measured.
    void ask_again(int k) { again = k; }

    int Orient_Dots;  // set before the capture thread starts
    StrokeSampler stroke;
    Pos KeyPos[MAX_TARGETS] = {};
    // Read by the GUI thread after each completion: KeyPos[cur_key - 1] is in
    // place before cur_key counts it.
    std::atomic<int> cur_key{0};
    std::atomic<int> refused{0};  // points not taken so far
    std::atomic<int> again{-1};   // the target asked for again, if any
    int valu_flags = 0;

private:
    Pos refused_at_{0, 0};
    int refused_target_ = -1;
};
