#include "board_port.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "protocol/serial.h"
#include "store/fileio.h"

BoardPort::BoardPort() {
    const int fd = Open_EQ(false);
    if (fd < 0) {
        error_ = strerror(errno);
        return;
    }
    // Anything but a terminal (a FIFO, a plain device) would block a read
    // for ever or never time out.
    struct stat st;
    if (!isatty(fd)) {
        error_ = fstat(fd, &st) == 0 && !S_ISCHR(st.st_mode)
                     ? std::string(file_kind(st.st_mode)) + ", not a serial port"
                     : "not a serial port";
        Close_port(fd);
        return;
    }
    ioctl(fd, TIOCEXCL);
    Init_EQ(fd);
    fd_ = fd;
}

BoardPort::~BoardPort() {
    if (fd_ < 0) return;
    ioctl(fd_, TIOCNXCL);
    Close_port(fd_);
}
