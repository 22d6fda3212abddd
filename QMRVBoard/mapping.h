// The mapping of board coordinates onto screen pixels through the calibration
// quadrilaterals, and the target grid it maps to. No X here: the screen
// size comes from the probe in func_Display.
#pragma once

#include "protocol/types.h"

// What the mapping needs: the stored board coordinates of the calibration
// points, the positions of their targets, and the rectangle they lie in (the
// whole screen, or one monitor of it). Targets and the mapping's arithmetic
// are relative to the rectangle's origin.
struct Calibration {
    int Dot_Num;  // 4, 9 or 20; anything else maps every sample to the origin
    point coor_store[MAX_DOTS];
    point position[MAX_DOTS];
    int Screen_w;
    int Screen_h;
    int Screen_x = 0;
    int Screen_y = 0;
};

// Lays out the target grid for a point count (2x2, 3x3, 5x4; 3x3 for any
// other count), numbered down each column first, 10 % inside the edges.
void lay_out_grid(int count, int width, int height, point position[MAX_DOTS]);

// Maps a sample in board units to screen pixels, clamped to 0..Screen_w and
// 0..Screen_h of the rectangle and then moved by its origin, so the pen never
// leaves it; act of the result is 0. Without a usable calibration (fewer than
// four points, or corners that coincide) the sample maps to the origin: the
// arithmetic gives no number, which clamps there.
mouse_act DtoSP(const Calibration& cal, mouse_act pt);
