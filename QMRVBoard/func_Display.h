// The screen probe: the service's screen size, read from its X display, and
// the target grid laid out on it.
#pragma once

#include <X11/Xlib.h>

#include "mapping.h"

// Reads the default screen's size of mdisplay and lays out the grid.
void valu_mdisplay(Display* mdisplay, int* display_width, int* display_height, int or_flags,
                   point myposition[MAX_DOTS]);
