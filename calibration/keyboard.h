// The calibration window's keyboard: Escape cancels; P, Q, Shift_L and
// Control_L pressed in any order, with nothing else between them (R and
// repeats of the four apart), open the hidden credits box.
#pragma once

// Key values as the X keyboard reports them.
constexpr unsigned KEY_ESCAPE = 0xFF1B;
constexpr unsigned KEY_P = 0x50;
constexpr unsigned KEY_Q = 0x51;
constexpr unsigned KEY_R = 0x52;
constexpr unsigned KEY_SHIFT_L = 0xFFE1;
constexpr unsigned KEY_SHIFT_R = 0xFFE2;  // long taken for Shift_L here: either shift counts
constexpr unsigned KEY_CONTROL_L = 0xFFE3;

enum class KeyboardAction { none, escape, credits };

struct CreditsKeys {
    int B_P = 0;
    int B_Q = 0;
    int B_Shift = 0;
    int B_Contrlo = 0;

    void clear() { B_P = B_Q = B_Shift = B_Contrlo = 0; }
};

// Updates the flags for one key press and says what the window must do. The
// flags are cleared again when the credits box is due. control_held: the
// Control modifier was down (only R reports it).
KeyboardAction key_pressed(CreditsKeys& keys, unsigned keyval, bool control_held);
