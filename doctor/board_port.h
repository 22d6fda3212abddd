// The board's port, opened for the doctor alone while it probes or watches:
// a service started meanwhile waits instead of sharing the port.
#pragma once

#include <string>

class BoardPort {
public:
    // Opens and configures BOARD_DEVICE; on failure fd() is -1 and error()
    // says why ("Permission denied", "a FIFO, not a serial port", ...).
    BoardPort();
    // The exclusive mode outlives the close on a pty, and wherever else the
    // tty stays open: it is cleared first, or every later open by a user
    // other than root fails with EBUSY.
    ~BoardPort();
    BoardPort(const BoardPort&) = delete;
    BoardPort& operator=(const BoardPort&) = delete;

    int fd() const { return fd_; }
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    std::string error_;
};
