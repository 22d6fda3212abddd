// The check of measured calibration points against each other: a touch on the
// wrong spot is found while the user is still at the board, and a set that
// would map the pen somewhere else is never stored. Pure: no GTK, no I/O.
//
// Targets lie on a grid (calibration_grid.h), numbered down each column. The
// board is allowed any rotation, scale, mirroring or swap of its axes, plus
// a projector's keystone and lens distortion. A point is predicted from its
// nearest measured neighbours by the first of three fits that can be made: a
// projective map (a keystone), an affine map (rotation, scale, shear), or,
// while the points lie on one column or row, a line along it. It is judged by
// its distance from that prediction in units of the target spacing there.
#pragma once

#include "geometry/calibration_grid.h"
#include "protocol/types.h"

// A point further than this many target spacings from where its neighbours
// put it is not taken.
constexpr double MISCLICK_TOLERANCE = 0.27;

// What the points measured so far say of the newest one.
struct TargetCheck {
    bool fits;
    double off;  // distance from the prediction, in target spacings (0: none made)
};

// Target k's measured point against those of targets 0 .. k - 1. Before a
// prediction can be made, only a point on top of an earlier one fails.
TargetCheck check_target(GridSize g, const Pos board[], int k);

// The earlier target (0 .. k - 1) whose point lies so close to target k's
// that no board could put two targets there, else -1.
int point_on_top(GridSize g, const Pos board[], int k);

// Whether a new measurement of target k lands where a refused one did
// (within the tolerance of the spacing its earlier points show): the user
// touched that spot on purpose.
bool check_repeat(GridSize g, Pos refused, Pos again, const Pos board[], int k);

// The complete set of n points: -1 when every point fits the others; the
// index of the one target that is clearly off; MISCLICK_UNSOLVED when the
// set is inconsistent and no single target explains it; MISCLICK_FLAT when
// the points do not span the board in both directions (they lie on one line,
// or one board axis did not move), which no single target explains either.
constexpr int MISCLICK_UNSOLVED = -2;
constexpr int MISCLICK_FLAT = -3;
int find_misclick(GridSize g, const Pos board[], int n);
