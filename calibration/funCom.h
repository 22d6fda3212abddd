// The capture: the target grid for the screen, and the thread that reads the
// board while the targets are shown.
#pragma once

// Lays out PosArray for the W_Dot by H_Dot grid on the default screen of
// DISPLAY. Ends the process with 1 when DISPLAY is not set, with 255 when
// the X server cannot be reached.
void InitData();

// The capture thread: configures the port, runs Connect_EQ, closes the port.
void* thread_funCom(void*);

// The capture loop over fd (v_flags is not used); returns 1 once the session stops running.
int Connect_EQ(int fd, int v_flags);
