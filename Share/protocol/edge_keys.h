// The printed edge keys, one row per key function: its command word, the stem
// of its pictures and the codes of the board's own keys for it. Entries i and
// i + 14 of every edge-key table are the same function on opposite board
// edges. The service sends the words, the edge-key tool shows the pictures.
#pragma once

#include <cstdint>

#include "protocol/board_packet.h"
#include "protocol/types.h"

struct EdgeKey {
    const char* word;  // the command word; none for the two keys that start programs
    const char* stem;  // pictures <stem>1.bmp (idle), 2 (to touch), 3 (learnt)
    // The event codes of the board's own key for the function: the touch
    // line's, then the electromagnetic line's two.
    uint8_t codes[3];
};

constexpr int EDGE_KEY_FUNCTIONS = EDGE_KEY_COUNT / 2;
constexpr int EDGE_KEY_ORIENT = 12;  // starts the calibration
constexpr int EDGE_KEY_START = 13;   // starts the whiteboard application

inline constexpr EdgeKey kEdgeKeys[EDGE_KEY_FUNCTIONS] = {
    {"anew\n", "NewPage", {0xA9, 0xDA, 0xFA}},
    {"save\n", "Save", {0xAA, 0xDB, 0xFB}},
    {"prev\n", "PrePage", {0xAB, 0xDC, 0xFC}},
    {"next\n", "NextPage", {0xAC, 0xDD, 0xFD}},
    {"mous\n", "Mouse", {0xC1, 0xDE, 0xFE}},
    {"bpen\n", "BlackPen", {0xC6, 0xDF, 0xFF}},
    {"rpen\n", "RedPen", {0xC5, 0xD2, 0xF2}},
    {"lpen\n", "BluePen", {0xC4, 0xD3, 0xF3}},
    {"gpen\n", "GreenPen", {0xC3, 0xD4, 0xF4}},
    {"eare\n", "Eraser", {0xC2, 0xD5, 0xF5}},
    {"cust\n", "UserDefine2", {0xAD, 0xD6, 0xF6}},
    {"cusp\n", "UserDefine1", {0xAE, 0xD7, 0xF7}},
    {nullptr, "Orient", {T_CMD_ORIENT, E_CMD_ORIENT3, E_CMD_ORIENT2}},
    {nullptr, "Start", {0xA1, 0xD9, 0xF9}},
};

// The function (0 .. EDGE_KEY_FUNCTIONS - 1) whose board key sends code on
// either line, or -1.
constexpr int edge_key_of_code(uint8_t code) {
    for (int key = 0; key < EDGE_KEY_FUNCTIONS; ++key)
        for (uint8_t c : kEdgeKeys[key].codes)
            if (c == code) return key;
    return -1;
}

// The electromagnetic pen's two buttons: the board's event code, the name the
// doctor shows, and the command word of a press and of a double press. The
// front one clicks left where the pen is, the back one clicks right.
struct PenButton {
    uint8_t code;
    const char* name;
    const char* word;
    const char* twice;
};
inline constexpr PenButton kPenFront = {Elec_Front, "front", "elfc\n", "elfd\n"};
inline constexpr PenButton kPenBack = {Elec_Back, "back", "elbc\n", "elbd\n"};

// The word a second press of the same key within a fifth of a second sends
// instead of its own: the four pens' edge keys and the pen buttons.
struct DoubleForm {
    const char* single;
    const char* twice;
};
inline constexpr DoubleForm kDoubleForms[] = {
    {"bpen\n", "bped\n"},
    {"rpen\n", "rped\n"},
    {"lpen\n", "lped\n"},
    {"gpen\n", "gped\n"},
    {kPenFront.word, kPenFront.twice},
    {kPenBack.word, kPenBack.twice},
};
