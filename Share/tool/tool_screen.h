// The screen the calibration and edge-key tools lay their targets out on, and
// the full-screen window they show them in.
#pragma once

#include <gtk/gtk.h>

#include <vector>

#include "geometry/monitors.h"

// Width and height in pixels of the default screen of the display DISPLAY
// names; the connection is closed again. 0 then, else the status the tool
// ends with: 1 when DISPLAY is not set (printing nothing), 255 when the server
// cannot be reached, printing "Cannot connect to X server %s\n" with
// shown_name (the DISPLAY value when shown_name is null).
int tool_screen_size(double* width, double* height, const char* shown_name);

// The monitors of the tools' display (after gtk_init): RandR's, else what GDK
// reports.
std::vector<Monitor> tool_monitors();

// Prints the Xwayland note once when the tools' display is Xwayland; true then.
bool tool_on_xwayland();

// A new undecorated full-screen window that takes clicks and key presses,
// which go to on_key; returns the vertical box its content goes into. With a
// monitor's rectangle it covers that monitor only.
GtkWidget* full_screen_window(GCallback on_key, GtkWidget** window, const Rect* on = nullptr);
