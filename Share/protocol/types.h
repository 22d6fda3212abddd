// Records shared by the programs of the suite.
#pragma once

// One pen sample: board units into the mapping, screen pixels out of it.
struct mouse_act {
    int x;
    int y;
    int act;  // one of the ACT_ codes
};
constexpr int ACT_LIFT = 0;
constexpr int ACT_CONTACT = 1;
constexpr int ACT_RIGHT_CLICK = 2;
constexpr int ACT_LEFT_CLICK = 3;

// A calibration point or target position.
struct point {
    double x;
    double y;
};

// Edge-key positions, sample buffers and target corners.
typedef struct Position {
    int x;
    int y;
} Pos;

constexpr int MAX_DOTS = 20;        // calibration points the service holds
constexpr int EDGE_KEY_COUNT = 28;  // keys 0..13 on one edge, 14..27 on the other
