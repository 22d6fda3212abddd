// What both tools do around their windows: one instance at a time, their id
// in the registry, the board taken over from the service and handed back,
// and one release however the tool ends.
#pragma once

#include <atomic>

struct ToolSession {
    const char* lock_path;
    bool lock_inherited;    // the lock stays held across an exec of a warning
    const char* own_key;    // the tool's registry key
    const char* other_key;  // the other tool, ended when this one takes the board
    const char* core_line;  // logged when the service cannot be told to reload

    std::atomic<int> run{0};    // the capture loop runs while 1
    std::atomic<int> judge{0};  // 1 until the board has identified itself
    std::atomic<int> port{0};   // > 0 while open; -1 once closed
    int lock_fd = 0;            // -1 once released
    int service_pid = -1;       // registry values read at start-up
    int other_pid = -1;
    std::atomic<bool> released{false};

    // The instance lock; false when another instance holds it or the lock
    // file cannot be opened (the tool ends then, with status 1).
    bool take_lock();
    // Records the own id under own_key.
    void register_self() const;
    // Reads the service's and the other tool's ids.
    void read_peers();
    // The tool holds the port before the service lets go of it: SIGUSR1 to
    // the service, SIGTERM to the other tool (each only when registered).
    // The SIGTERM's result as registry_signal_pid gives it; -1 when none was
    // sent.
    int take_board_from_peers() const;
    // Opens the port once; true when open.
    bool open_port();
    // Starts the detached reader thread on the open port: nobody waits for
    // it, it ends with the port.
    void start_reader(void* (*reader)(void*));
    // Stops the capture, closes the port, clears the registry entry and
    // gives up the lock; only the first call does the last three: later ones
    // could take what another instance owns by then.
    void release();
    // SIGUSR2 to the service from a short-lived child that reads the
    // registry afresh; when no child can be made, logs core_line and returns
    // false (the tool ends then, with status 1).
    bool tell_service_to_reload() const;
};
