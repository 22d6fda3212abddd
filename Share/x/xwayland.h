// How a program tells that its X server is Xwayland, and what it says then.
// No X here: the extension list comes from x_screen.
#pragma once

#include <string>
#include <vector>

// The X extension by which Xwayland announces itself.
constexpr const char* XWAYLAND_EXTENSION = "XWAYLAND";
bool lists_xwayland(const std::vector<std::string>& extensions);

// Said once by every program that finds itself on Xwayland.
constexpr const char* XWAYLAND_NOTE =
    "This desktop is a Wayland session: the board moves the pointer only over X11 "
    "programs. Log in to an \"X11\" (Xorg) session for the board to drive the whole "
    "desktop.";
