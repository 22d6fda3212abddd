#include "geometry/calibration_grid.h"

GridSize grid_size(int count) {
    switch (count) {
        case 4:
            return {2, 2};
        case 20:
            return {5, 4};
        default:
            return {3, 3};
    }
}

point grid_point(GridSize g, int c, int r, double W, double H) {
    constexpr double span = 1 - 2 * GRID_MARGIN;
    return point{GRID_MARGIN * W + c * (span * W / (g.columns - 1)),
                 GRID_MARGIN * H + r * (span * H / (g.rows - 1))};
}
