// The images built into the program: the window icon and the two targets.
#pragma once

#include <gtk/gtk.h>

// New references to 30 by 30 RGBA targets: red to touch next, green captured.
GdkPixbuf* builtin_red_target();
GdkPixbuf* builtin_green_target();

// Gives window the 48 by 48 program icon (no icon when it cannot be built).
void set_builtin_icon(GtkWindow* window);
