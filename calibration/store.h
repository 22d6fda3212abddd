// Storing a measured calibration in section "coordinate" of the shared
// configuration file, and telling the service to reload it.
#pragma once

#include "protocol/types.h"

// Stores every point in one rewrite of the file (4 or 9 points key by key,
// 20 as the section's block), then, for 4 or 9 points, prints a trace line
// per point; after the store, SIGUSR2 to the registered service. When the
// store fails nothing is stored, "write name dotNum pair to ini file fail"
// is printed and the service is not told. monitor: the name of the monitor
// calibrated, when the screen has several. 1 when stored, else 0.
int store_calibration(int Orient_Dots, const Pos KeyPos[], const char* monitor = nullptr);
