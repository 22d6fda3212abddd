// The calibration target grid, shared by the service, which maps through it,
// and the calibration tool, which draws its targets on it: 4, 9 or 20 targets
// on 2 by 2, 3 by 3 or 5 by 4, numbered down each column first, the outer
// ones 10 % inside the screen's edges.
#pragma once

#include "types.h"

struct GridSize {
    int columns;
    int rows;
};

// The grid of a point count: 2 by 2 for 4, 5 by 4 for 20, 3 by 3 for any other.
GridSize grid_size(int count);

// Screen point of the target in column c and row r of grid g on a W by H screen.
point grid_point(GridSize g, int c, int r, double W, double H);
