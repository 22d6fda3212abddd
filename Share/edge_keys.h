// The printed edge keys, one row per key function: its command word and the
// stem of its pictures. Entries i and i + 14 of every edge-key table are the
// same function on opposite board edges. The service sends the words, the
// edge-key tool shows the pictures.
#pragma once

#include "types.h"

struct EdgeKey {
    const char* word;  // the command word; none for the two keys that start programs
    const char* stem;  // pictures <stem>1.bmp (idle), 2 (to touch), 3 (learnt)
};

constexpr int EDGE_KEY_FUNCTIONS = EDGE_KEY_COUNT / 2;
constexpr int EDGE_KEY_ORIENT = 12;  // starts the calibration
constexpr int EDGE_KEY_START = 13;   // starts the whiteboard application

inline constexpr EdgeKey kEdgeKeys[EDGE_KEY_FUNCTIONS] = {
    {"anew\n", "NewPage"},  {"save\n", "Save"},        {"prev\n", "PrePage"},
    {"next\n", "NextPage"}, {"mous\n", "Mouse"},       {"bpen\n", "BlackPen"},
    {"rpen\n", "RedPen"},   {"lpen\n", "BluePen"},     {"gpen\n", "GreenPen"},
    {"eare\n", "Eraser"},   {"cust\n", "UserDefine2"}, {"cusp\n", "UserDefine1"},
    {nullptr, "Orient"},    {nullptr, "Start"},
};
