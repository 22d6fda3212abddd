#include "calibration_grid.h"

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
    return point{0.1 * W + c * (0.8 * W / (g.columns - 1)), 0.1 * H + r * (0.8 * H / (g.rows - 1))};
}
