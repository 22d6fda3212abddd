#include "keys.h"

#include <cmath>
#include <cstring>

#include "board_packet.h"
#include "edge_keys.h"

namespace {

constexpr int EDGE_KEY_REACH = 30;

struct CodeRow {
    uint8_t code;
    KeyAction action;
};

constexpr KeyAction word(const char* w) { return {KeyKind::word, w}; }

// One value decides, whichever line sent it; several names share a value.
const CodeRow kKeyCodes[] = {
    {0xA1, {KeyKind::start_app, nullptr}},
    {0xD9, {KeyKind::start_app, nullptr}},
    {0xF9, {KeyKind::start_app, nullptr}},
    {T_CMD_ORIENT, {KeyKind::start_orient, nullptr}},
    {E_CMD_ORIENT3, {KeyKind::start_orient, nullptr}},
    {E_CMD_ORIENT2, {KeyKind::start_orient, nullptr}},
    {0xA9, word("anew\n")},
    {0xDA, word("anew\n")},
    {0xFA, word("anew\n")},
    {0xAA, word("save\n")},
    {0xDB, word("save\n")},
    {0xFB, word("save\n")},
    {0xAB, word("prev\n")},
    {0xDC, word("prev\n")},
    {0xFC, word("prev\n")},
    {0xAC, word("next\n")},
    {0xDD, word("next\n")},
    {0xFD, word("next\n")},
    {0xAD, word("cust\n")},
    {0xD6, word("cust\n")},
    {0xF6, word("cust\n")},
    {0xAE, word("cusp\n")},
    {0xD7, word("cusp\n")},
    {0xF7, word("cusp\n")},
    {0xC1, word("mous\n")},
    {0xDE, word("mous\n")},
    {0xFE, word("mous\n")},
    {0xC2, word("eare\n")},
    {0xD5, word("eare\n")},
    {0xF5, word("eare\n")},
    {0xC3, word("gpen\n")},
    {0xD4, word("gpen\n")},
    {0xF4, word("gpen\n")},
    {0xC4, word("lpen\n")},
    {0xD3, word("lpen\n")},
    {0xF3, word("lpen\n")},
    {0xC5, word("rpen\n")},
    {0xD2, word("rpen\n")},
    {0xF2, word("rpen\n")},
    {0xC6, word("bpen\n")},
    {0xDF, word("bpen\n")},
    {0xFF, word("bpen\n")},
};

struct DoubleForm {
    const char* single;
    const char* twice;
};
const DoubleForm kDoubleForms[] = {{"bpen\n", "bped\n"}, {"rpen\n", "rped\n"},
                                   {"lpen\n", "lped\n"}, {"gpen\n", "gped\n"},
                                   {"elfc\n", "elfd\n"}, {"elbc\n", "elbd\n"}};

}  // namespace

bool on_edge_key(const Pos& key, int x, int y) {
    const int dx = x - key.x, dy = y - key.y;
    return dx >= -EDGE_KEY_REACH && dx <= EDGE_KEY_REACH && dy >= -EDGE_KEY_REACH &&
           dy <= EDGE_KEY_REACH;
}

KeyAction hardware_key(uint8_t code) {
    for (const CodeRow& row : kKeyCodes)
        if (row.code == code) return row.action;
    return {KeyKind::none, nullptr};
}

KeyAction edge_key(int key) {
    if (key >= 0 && key < EDGE_KEY_FUNCTIONS && kEdgeKeys[key].word)
        return word(kEdgeKeys[key].word);
    if (key == EDGE_KEY_ORIENT) return {KeyKind::start_orient, nullptr};
    if (key == EDGE_KEY_START) return {KeyKind::start_app, nullptr};
    return {KeyKind::none, nullptr};
}

int find_edge_key(const Pos table[EDGE_KEY_COUNT], int x, int y) {
    constexpr int half = EDGE_KEY_COUNT / 2;
    for (int i = 0; i < half; ++i)
        if (on_edge_key(table[i], x, y) || on_edge_key(table[i + half], x, y)) return i;
    return -1;
}

bool is_double_press(const char* word, const char* front_str, float elapsed_s) {
    return strcmp(word, front_str) == 0 && std::fabs(elapsed_s) < 0.2;
}

const char* double_press_word(const char* word) {
    for (const DoubleForm& form : kDoubleForms)
        if (strcmp(word, form.single) == 0) return form.twice;
    return word;
}

bool double_press_starts_app(const char* word) { return strcmp(word, "elbc\n") == 0; }
