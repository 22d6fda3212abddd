#include "target_grid.h"

bool grid_choice(int kind, GridChoice* choice) {
    switch (kind) {
        case 1:
            *choice = {4, 2, 2};
            return true;
        case 2:
            *choice = {9, 3, 3};
            return true;
        case 3:
            *choice = {20, 5, 4};
            return true;
        default:
            return false;
    }
}

void layout_targets(double W, double H, int W_Dot, int H_Dot, Pos PosArray[MAX_TARGETS]) {
    const int half = TARGET_SIZE / 2;
    int k = 0;
    for (int i = 0; i < W_Dot; ++i) {
        for (int j = 0; j < H_Dot && k < MAX_TARGETS; ++j, ++k) {
            // Truncation toward zero of the whole expression, as the service does.
            PosArray[k].x = static_cast<int>(i * (0.8 * W / (W_Dot - 1)) + 0.1 * W - half);
            PosArray[k].y =
                static_cast<int>(j * (0.8 * H / (H_Dot - 1)) + 0.1 * H - MESSAGE_BAND - half);
        }
    }
}
