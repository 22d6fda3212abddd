// The reader run's side of the packet loop: the port, command words to the
// whiteboard application, and program starts.
#pragma once

#include "packet_loop.h"

// The reader run's loop on an open, configured port: returns 1 once bRun is
// found 0 (SIGUSR1, or a re-greeting that could not be written).
int Connect_EQ(int fd, int v_flags);

// Sends a command word to the whiteboard application, in its double-press
// form when the same word went out less than 0.2 s before.
void StartEdgetab(const char* p);

// Starts a launcher in a child process and returns at once; exits the service
// with status 1 when no child can be created.
void start_launcher(Launcher which);
