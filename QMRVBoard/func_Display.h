// Screen size, the calibration target grid, and the mapping of board
// coordinates onto screen pixels.
#pragma once

#include <X11/Xlib.h>

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

// Reads the default screen's size of mdisplay and lays out the grid.
void valu_mdisplay(Display* mdisplay, int* display_width, int* display_height, int or_flags,
                   point myposition[MAX_DOTS]);

// Maps a sample in board units to screen pixels, clamped to 0..Screen_w and
// 0..Screen_h; act of the result is 0.
mouse_act DtoSP(const Calibration& cal, mouse_act pt);
