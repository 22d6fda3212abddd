#include "target_grid.h"

#include "geometry/calibration_grid.h"

bool grid_choice(int kind, GridChoice* choice) {
    if (kind < 1 || kind > POINT_COUNT_CHOICES) return false;
    const int count = kPointCounts[kind - 1];
    const GridSize g = grid_size(count);
    *choice = {count, g.columns, g.rows};
    return true;
}

void layout_targets(double W, double H, int W_Dot, int H_Dot, Pos PosArray[MAX_TARGETS]) {
    const int half = TARGET_SIZE / 2;
    const GridSize g{W_Dot, H_Dot};
    int k = 0;
    for (int i = 0; i < W_Dot; ++i) {
        for (int j = 0; j < H_Dot && k < MAX_TARGETS; ++j, ++k) {
            // The service's target point, less half a target (and the band
            // above the target area), truncated toward zero as a whole.
            const point p = grid_point(g, i, j, W, H);
            PosArray[k].x = static_cast<int>(p.x - half);
            PosArray[k].y = static_cast<int>(p.y - MESSAGE_BAND - half);
        }
    }
}
