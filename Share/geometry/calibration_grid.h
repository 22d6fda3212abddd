// The calibration target grid, shared by the service, which maps through it,
// and the calibration tool, which draws its targets on it: 4, 9 or 20 targets
// on 2 by 2, 3 by 3 or 5 by 4, numbered down each column first, the outer
// ones 10 % inside the screen's edges.
#pragma once

#include "protocol/types.h"

// The point counts a calibration may have, one grid each.
inline constexpr int kPointCounts[] = {4, 9, 20};
constexpr int POINT_COUNT_CHOICES = sizeof kPointCounts / sizeof kPointCounts[0];
constexpr bool is_point_count(int count) {
    for (int c : kPointCounts)
        if (c == count) return true;
    return false;
}

struct GridSize {
    int columns;
    int rows;
};

// The grid of a point count: 2 by 2 for 4, 5 by 4 for 20, 3 by 3 for any other.
GridSize grid_size(int count);

// The outer targets' distance from the screen's edges, as a share of its size.
constexpr double GRID_MARGIN = 0.1;

// Screen point of the target in column c and row r of grid g on a W by H screen.
point grid_point(GridSize g, int c, int r, double W, double H);
