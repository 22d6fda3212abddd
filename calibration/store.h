// Storing a measured calibration in section "coordinate" of the shared
// configuration file, and telling the service to reload it.
#pragma once

#include "types.h"

// 4 or 9 points: "dotNum", then the dotX and dotY key of each point from 0 up,
// one key at a time, with a trace line per point; the first failed write stops
// the store with its message. 20 points: the whole section body as one block
// (falling back to single keys in the block's order where the block cannot be
// placed). After a store without failure, SIGUSR2 to the registered service.
// 1 when every key was stored, else 0.
int store_calibration(int Orient_Dots, const Pos KeyPos[]);
