// Reduces a buffer of board samples to one point, shared by the calibration
// and edge-key tools.
#pragma once

#include "protocol/types.h"

// Trimmed mean per axis: one largest and one smallest value are dropped (even
// when several samples share them, and x and y independently), the rest
// averaged with integer division truncating toward zero. num must be at least 3.
void DealData(const Pos* Array, int num, Pos* rePos);

// The tools' sample rule for one target or key: of each pen stroke, contacts
// 1 to 6 are skipped and 7 to 16 kept; the 16th completes it. A lift before
// that keeps nothing, and after a completion nothing is kept until the pen
// has been lifted, so every target or key needs a stroke of its own.
struct StrokeSampler {
    static constexpr int SKIPPED = 6;
    static constexpr int KEPT = 10;

    // A contact; true when it is the last sample kept, and then complete()
    // must follow before the next contact.
    bool contact(int x, int y);
    // The trimmed mean of the kept samples into out; the completing contact
    // counts as one of its stroke.
    void complete(Pos* out);
    void lift();
    // At the start of a capture, without a previous lift.
    void arm() { bNext = 1; }

    int cur_get = 0;  // contacts of the current stroke
    int cur_use = 0;  // samples kept of the current stroke
    int bNext = 0;    // 1 while the current stroke may still deliver samples
    Pos PosGet[KEPT] = {};
};
