#include "tool_screen.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

void tool_screen_size(double* width, double* height, const char* shown_name) {
    const char* name = getenv("DISPLAY");
    if (name == nullptr) exit(1);
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        printf("Cannot connect to X server %s\n", shown_name ? shown_name : name);
        exit(-1);
    }
    const int screen = DefaultScreen(display);
    *width = DisplayWidth(display, screen);
    *height = DisplayHeight(display, screen);
    XCloseDisplay(display);
}

GtkWidget* full_screen_window(GCallback on_key, GtkWidget** window) {
    *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(*window), FALSE);
    gtk_window_fullscreen(GTK_WINDOW(*window));
    gtk_widget_add_events(*window,
                          GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_BUTTON_PRESS_MASK);
    g_signal_connect(*window, "key_press_event", on_key, nullptr);
    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(*window), vbox);
    return vbox;
}
