// The two builds of the board service differ only in these choices; each
// program picks one profile at build time (QUILLD_COMPACT), the modules read
// it at run time so the pure cores are built and tested once.
#pragma once

#include "pointer.h"
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
    int LimitCountRV;   // still samples before the long-press right click
    bool board_clicks;  // MouseAction handles action codes 2 and 3
};

constexpr ServiceProfile full_profile() {
    ServiceProfile p{};
    p.pid_format = "pid=%s\n";
    p.warn_duplicate = true;
    p.usr1_text = "111111111111111111111111111111111called";
    p.usr1_marks_edgetab = true;
    p.int_text = "";
    p.clear_registry_at_exit = true;
    p.create_config = true;
    p.compact_loop = false;
    p.tables.print_points = true;
    p.tables.key_sections = false;
    p.LimitCountRV = LONG_PRESS_SAMPLES;
    p.board_clicks = true;
    return p;
}

constexpr ServiceProfile compact_profile() {
    ServiceProfile p{};
    p.pid_format = "%s\n";
    p.warn_duplicate = false;
    p.usr1_text = "Quilld:signal_usr1 called";
    p.usr1_marks_edgetab = false;
    p.int_text = "\ncatch_int\n";
    p.clear_registry_at_exit = false;
    p.create_config = false;
    p.compact_loop = true;
    p.tables.print_points = false;
    p.tables.key_sections = true;
    p.LimitCountRV = 90;
    p.board_clicks = false;
    return p;
}

constexpr ServiceProfile FULL_PROFILE = full_profile();
constexpr ServiceProfile COMPACT_PROFILE = compact_profile();
