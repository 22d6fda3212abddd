// Where the calibration targets lie in the target area of the full-screen
// window: the same grid, in the same order, as the service's calibration.
#pragma once

#include "protocol/types.h"

constexpr int TARGET_SIZE = 30;   // the square target images
constexpr int MESSAGE_BAND = 30;  // the band above the target area
constexpr int MAX_TARGETS = 28;   // entries of PosArray, KeyPos and image

// Target layout of a choice: 4 on 2 by 2, 9 on 3 by 3, 20 on 5 by 4.
struct GridChoice {
    int Orient_Dots;
    int W_Dot;  // columns
    int H_Dot;  // rows
};
// The choice of radio button kind 1, 2 or 3; false for any other kind.
bool grid_choice(int kind, GridChoice* choice);

// Top-left corners of the W_Dot by H_Dot target images for a W by H screen,
// column by column, top to bottom within a column, so that each image's centre
// lies on the screen point 10 % .. 90 % of the way across and down.
// Fills W_Dot * H_Dot entries (at most MAX_TARGETS).
void layout_targets(double W, double H, int W_Dot, int H_Dot, Pos PosArray[MAX_TARGETS]);
