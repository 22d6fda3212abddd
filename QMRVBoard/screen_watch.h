// What the service knows of the X screen and its monitors, kept up to date
// from RandR and the root window's events on a connection and thread of their
// own, so that the reader's XTest requests never wait behind it.
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
// change of the screen size or of the monitors calls changed() on it. The
// thread sleeps until the X server tells of a change or look_at_screen_again
// gives it a reason. Without RandR nothing is watched. The watch's own lost
// connection ends the watch only: the service learns of the loss on its own
// connection, whose I/O error handler must be set before the watch starts.
void start_screen_watch(const char* display_name, void (*changed)());

// Asks the watch for a look at the screen soon; never waits for it. For
// moments when a change may have come without an event: a reader run
// starting, a stroke starting.
void look_at_screen_again();

// Stops the watch for the service's ending: once it returns, the watch makes
// no more X requests (waiting up to 0.2 s for one in progress).
void stop_screen_watch();
