// The two builds of the board service differ only in these choices; each
// program picks one profile at build time (QUILLD_COMPACT), the modules read
// it at run time so the pure cores are built and tested once.
#pragma once

#include "tables.h"

struct ServiceProfile {
    const char* pid_format;       // the start-up line with the own process id
    bool warn_duplicate;          // start the warning program when the lock is held
    const char* usr1_text;        // printed on SIGUSR1
    bool usr1_marks_edgetab;      // SIGUSR1 also sets iRealEdgetab to 1
    const char* int_text;         // printed on SIGINT/SIGTERM before exiting
    bool clear_registry_at_exit;  // "Quilld" reset to -1 by the exit clean-up
    bool create_config;           // the INI store creates a missing configuration file
    bool compact_loop;            // PacketLoop: calibration keys only, no commands
    TableOptions tables;
    int LimitCountRV;             // still samples before the long-press right click
    bool board_clicks;            // MouseAction handles action codes 2 and 3
};

constexpr ServiceProfile FULL_PROFILE{
    "pid=%s\n", true, "111111111111111111111111111111111called", true, "", true, true,
    false,      {true, false}, 60, true,
};

constexpr ServiceProfile COMPACT_PROFILE{
    "%s\n", false, "Quilld:signal_usr1 called", false, "\ncatch_int\n", false, false,
    true,   {false, true}, 90, false,
};
