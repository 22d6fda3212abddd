// Process-wide state of the board service, shared by its threads.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <mutex>

#include "func_Mouse.h"
#include "profile.h"
#include "tables.h"

extern const ServiceProfile& g_profile;  // this program's build

extern std::atomic<int> bRun;          // 0 asks the current reader run to end
extern std::atomic<int> valu_flags;    // board line of the last identification
extern std::atomic<int> iRealEdgetab;  // edge keys per the identification
extern std::atomic<int> EQ_fd;         // the open port, above 0 while open

extern TableStore g_tables;  // published by Read_Data, read by the reader

// The X connection and the stroke state; every X request and the clean-up
// hold x_mutex, so the display is never closed under a request. Recursive,
// because losing the X server exits from inside a request and the exit
// clean-up then takes it again on the same thread.
extern std::recursive_mutex x_mutex;
extern Display* Mdisplay;
extern MouseState g_mouse;

// Runs MouseAction on the service's display, if it is still open.
void service_mouse(mouse_act screen);
