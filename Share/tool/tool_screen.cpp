#include "tool/tool_screen.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "x/x_screen.h"

int tool_screen_size(double* width, double* height, const char* shown_name) {
    const char* name = getenv("DISPLAY");
    if (name == nullptr) return 1;
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        printf("Cannot connect to X server %s\n", shown_name ? shown_name : name);
        return 255;
    }
    const Rect screen = screen_rect(display);
    *width = screen.width;
    *height = screen.height;
    XCloseDisplay(display);
    return 0;
}

std::vector<Monitor> tool_monitors() {
    std::vector<Monitor> monitors = list_monitors(gdk_x11_get_default_xdisplay());
    if (!monitors.empty()) return monitors;
    GdkScreen* screen = gdk_screen_get_default();
    for (int i = 0; i < gdk_screen_get_n_monitors(screen); ++i) {
        GdkRectangle r;
        gdk_screen_get_monitor_geometry(screen, i, &r);
        gchar* name = gdk_screen_get_monitor_plug_name(screen, i);
        monitors.push_back(
            {name ? name : "monitor " + std::to_string(i + 1), {r.x, r.y, r.width, r.height}});
        g_free(name);
    }
    return monitors;
}

bool tool_on_xwayland() { return note_xwayland(gdk_x11_get_default_xdisplay()); }

GtkWidget* full_screen_window(GCallback on_key, GtkWidget** window, const Rect* on) {
    *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(*window), FALSE);
    if (on != nullptr) {
        // Placed on the monitor first: the window manager makes a window
        // full screen on the monitor it is on.
        gtk_window_move(GTK_WINDOW(*window), on->x, on->y);
        gtk_window_set_default_size(GTK_WINDOW(*window), on->width, on->height);
    }
    gtk_window_fullscreen(GTK_WINDOW(*window));
    gtk_widget_add_events(*window,
                          GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_BUTTON_PRESS_MASK);
    g_signal_connect(*window, "key_press_event", on_key, nullptr);
    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(*window), vbox);
    return vbox;
}
