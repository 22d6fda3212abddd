// Hardware key codes, printed edge keys and command words: what a key press
// makes the service do.
#pragma once

#include <cstdint>

#include "protocol/types.h"

enum class KeyKind {
    none,          // ignored
    word,          // a command word to the whiteboard application
    start_app,     // start the whiteboard application
    start_orient,  // start (or, from the touch line's edge key, stop) the calibration tool
};

struct KeyAction {
    KeyKind kind;
    const char* word;  // for KeyKind::word
};

// The action of a hardware key code (event byte of a data packet).
KeyAction hardware_key(uint8_t code);

// Edge keys 0..13 (entry i and i + 14 are the same key).
KeyAction edge_key(int key);

// Whether a contact lies within 30 board units of an edge-key entry on both axes.
bool on_edge_key(const Pos& key, int x, int y);

// The edge key (0..13) a contact lies on, trying 0 to 13 and for each its
// entries i and i + 14, within 30 board units on both axes; -1 for none.
int find_edge_key(const Pos table[EDGE_KEY_COUNT], int x, int y);

// Whether a word sent after front_str, elapsed_s seconds later, is a double
// press; the word to send then ("bpen\n" becomes "bped\n", ...), else word.
bool is_double_press(const char* word, const char* front_str, float elapsed_s);
const char* double_press_word(const char* word);

// The back pen button's double press also starts the whiteboard application.
bool double_press_starts_app(const char* word);
