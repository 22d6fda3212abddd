// The window both warning programs show: a title from the message file, the
// warning icon beside a body text, and OK.
#pragma once

constexpr int WARNING_TEXT_SIZE = 100;  // each text looked up
constexpr int WARNING_BODY_SIZE = 200;  // the composed body

// Writes the body text into body (size bytes, cut to fit on a whole UTF-8
// character).
using ComposeBody = void (*)(char* body, int size);

// Runs the whole program: shows the window and returns 0 once it is closed,
// by OK or by the window manager.
int run_warning_window(int argc, char** argv, ComposeBody compose_body);
