// Storing the learnt edge keys: both tables, whichever line was taught, so
// the other line's stored positions are reset to 0.
#pragma once

#include "protocol/types.h"

// keyX0, keyY0 .. keyY27 into "HOTKEY", then QMkeyX0 .. QMkeyY27 into
// "QMEdgetab", all in one rewrite of the file, then a trace line per key
// pair. When the store fails nothing is stored and "0:2write name pair to ini
// file fail" is printed. 1 when all 112 keys were stored, else 0.
int SaveData(const Pos KeyPos[EDGE_KEY_COUNT], const Pos QMKeyPos[EDGE_KEY_COUNT]);
