#include "keys.h"

#include <cmath>
#include <cstring>

#include "protocol/board_packet.h"
#include "protocol/edge_keys.h"

namespace {

constexpr int EDGE_KEY_REACH = 30;

constexpr KeyAction word(const char* w) { return {KeyKind::word, w}; }

}  // namespace

bool on_edge_key(const Pos& key, int x, int y) {
    const int dx = x - key.x, dy = y - key.y;
    return dx >= -EDGE_KEY_REACH && dx <= EDGE_KEY_REACH && dy >= -EDGE_KEY_REACH &&
           dy <= EDGE_KEY_REACH;
}

KeyAction hardware_key(uint8_t code) {
    // One value decides, whichever line sent it.
    const int key = edge_key_of_code(code);
    return key < 0 ? KeyAction{KeyKind::none, nullptr} : edge_key(key);
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

bool double_press_starts_app(const char* word) { return strcmp(word, kPenBack.word) == 0; }
