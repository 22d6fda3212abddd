// The board service's build profile and state, shared by its threads.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <mutex>

#include "func_Mouse.h"
#include "profile.h"
#include "tables.h"

extern const ServiceProfile& g_profile;  // this program's build

// The service's state, one object shared by the main, reader and signal
// threads.
struct Quilld {
    std::atomic<int> bRun{1};          // 0 asks the current reader run to end
    std::atomic<int> valu_flags{0};    // board line of the last identification
    std::atomic<int> iRealEdgetab{1};  // edge keys per the identification
    std::atomic<int> EQ_fd{0};         // the open port, above 0 while open
    TableStore tables;                 // published by Read_Data, read by the reader

    // The X connection and the stroke state; every X request and the
    // clean-up hold x_mutex, so the display is never closed under a request.
    // Recursive, because losing the X server exits from inside a request and
    // the exit clean-up then takes it again on the same thread.
    std::recursive_mutex x_mutex;
    Display* Mdisplay = nullptr;
    int kernel_pointer = -1;  // the uinput device, when the pointer goes through the kernel
    MouseState mouse;
};
extern Quilld quilld;

// Runs MouseAction on the pointer's sink: the kernel device when the service
// made one, else XTest while the display is open.
void service_mouse(mouse_act screen);
