// The mapping of board coordinates onto screen pixels through the calibration
// quadrilaterals, and the target grid it maps to. No X here: the screen
// size comes from the probe in func_Display.
#pragma once

#include "types.h"

// What the mapping needs: the stored board coordinates of the calibration
// points, the screen positions of their targets, and the screen size.
struct Calibration {
    int Dot_Num;  // 4, 9 or 20; anything else maps every sample to (0, 0)
    point coor_store[MAX_DOTS];
    point position[MAX_DOTS];
    int Screen_w;
    int Screen_h;
};

// Lays out the target grid for a point count (2x2, 3x3, 5x4; 3x3 for any
// other count), numbered down each column first, 10 % inside the edges.
void lay_out_grid(int count, int width, int height, point position[MAX_DOTS]);

// Maps a sample in board units to screen pixels, clamped to 0..Screen_w and
// 0..Screen_h; act of the result is 0. Without a usable calibration (fewer
// than four points, or corners that coincide) the sample maps to (0, 0):
// the arithmetic gives no number, which clamps there.
mouse_act DtoSP(const Calibration& cal, mouse_act pt);
