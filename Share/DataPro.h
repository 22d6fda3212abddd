// Reduces a buffer of board samples to one point, shared by the calibration
// and edge-key tools.
#pragma once

#include "types.h"

// Trimmed mean per axis: one largest and one smallest value are dropped (even
// when several samples share them, and x and y independently), the rest
// averaged with integer division truncating toward zero. num must be at least 3.
void DealData(const Pos* Array, int num, Pos* rePos);
