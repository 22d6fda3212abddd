// Seconds on the monotonic clock, for the probe's deadline and the live view.
#pragma once

#include <time.h>

inline double monotonic_seconds() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}
