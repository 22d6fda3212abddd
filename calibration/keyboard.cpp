#include "keyboard.h"

#include <cstdio>

KeyboardAction key_pressed(CreditsKeys& keys, unsigned keyval, bool control_held) {
    switch (keyval) {
        case KEY_ESCAPE:
            keys.clear();
            return KeyboardAction::escape;
        case KEY_P:
            puts("GDK_P");
            keys.B_P = 1;
            break;
        case KEY_Q:
            puts("GDK_Q");
            keys.B_Q = 1;
            break;
        case KEY_SHIFT_L:
        case KEY_SHIFT_R:
            puts("GDK_Shift_L");
            keys.B_Shift = 1;
            break;
        case KEY_CONTROL_L:
            puts("GDK_Control_L");
            keys.B_Contrlo = 1;
            break;
        case KEY_R:
            puts("GDK_R ");
            if (control_held) puts("control");
            break;
        default:
            keys.clear();
            break;
    }
    if (keys.B_P && keys.B_Q && keys.B_Shift && keys.B_Contrlo) {
        keys.clear();
        return KeyboardAction::credits;
    }
    return KeyboardAction::none;
}
