// Storing the learnt edge keys: both tables, whichever line was taught, so
// the other line's stored positions are reset to 0.
#pragma once

#include "types.h"

// keyX0, keyY0 .. keyY27 into "HOTKEY", then QMkeyX0 .. QMkeyY27 into
// "QMEdgetab", one key per write with a trace line per key pair. The first
// failed write prints its message and ends the store. 1 when all 112 keys
// were written, else 0.
int SaveData(const Pos KeyPos[EDGE_KEY_COUNT], const Pos QMKeyPos[EDGE_KEY_COUNT]);
