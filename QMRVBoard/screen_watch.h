// What the service knows of the X screen and its monitors, kept up to date
// from RandR on a connection and thread of their own, so that the reader's
// XTest requests never wait behind it.
#pragma once

#include <X11/Xlib.h>

#include <string>

#include "geometry/monitors.h"

// The first look, through the service's display, before any reload.
void screen_first_look(Display* display);

// Where the board maps for the stored monitor name, from the last look.
MappingArea current_area(const std::string& stored);

// The whole screen, from the last look.
Rect current_screen();

// Starts the watching thread on its own connection to display_name; each
// change of the screen size or of the monitors calls changed() on it.
// Without RandR nothing is watched.
void start_screen_watch(const char* display_name, void (*changed)());

// Stops the watch talking to the X server, for the service's ending: it
// closes its own connection next.
void stop_screen_watch();

// Whether the calling thread is the watching one.
bool in_screen_watch();

// Called on the watching thread when its connection is lost: the thread
// waits for good, leaving the rest of the service as it was.
[[noreturn]] void end_screen_watch();
