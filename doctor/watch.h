// The live view: the board's packets, decoded, one line each, until Ctrl+C.
#pragma once

// Watches the board while nobody else reads it: 0 after Ctrl+C (or
// SIGTERM), 1 when the port cannot be had or the board went away.
int watch_board();
