// The capture's sample rule: one board packet in, what the capture thread must
// do about it out. No port, no signals here.
//
// In each pen stroke the first 6 coordinate packets are skipped and the 7th
// to the 16th kept; the 16th completes the target. A lift before that keeps
// nothing. After a completion nothing is kept until the pen has been lifted,
// so every target needs a stroke of its own.
#pragma once

#include <atomic>
#include <cstdint>

#include "target_grid.h"
#include "types.h"

constexpr int SAMPLES_PER_TARGET = 10;
constexpr int SKIPPED_PER_STROKE = 6;

enum class CaptureEvent {
    none,
    identified,       // an identification packet: the board line is known now
    target_complete,  // ten samples of target cur_key are in PosGet
    abort,            // the board's orient key
};

struct CaptureRule {
    explicit CaptureRule(int Orient_Dots) : Orient_Dots(Orient_Dots) {}

    // Arms the capture at the start of a loop, without a previous lift.
    void arm() { bNext = 1; }

    // Handles one 8-byte packet; a packet with a wrong check byte is dropped.
    CaptureEvent feed(const uint8_t* pkt);

    // After target_complete: averages the samples into KeyPos[cur_key] and
    // moves on to the next target, which waits for a lift.
    void complete_target();

    int Orient_Dots;  // set before the capture thread starts
    Pos PosGet[SAMPLES_PER_TARGET] = {};
    Pos KeyPos[MAX_TARGETS] = {};
    // Read by the GUI thread after each completion: KeyPos[cur_key - 1] is in
    // place before cur_key counts it.
    std::atomic<int> cur_key{0};
    int cur_get = 0;  // coordinate packets in the current stroke
    int cur_use = 0;  // samples kept for the current target
    int bNext = 1;    // 1 while a sample may be kept
    int valu_flags = 0;

private:
    CaptureEvent sample(int x, int y);
    void lifted();
};
