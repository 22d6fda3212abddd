#include "protocol/serial.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "store/fileio.h"
#include "store/paths.h"

const unsigned char connect_s[8] = {CNT_CMD, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

namespace {

// The seven supported rates, listed twice, as the line has always been set up.
const int speed_arr[14] = {B38400, B19200, B9600, B4800, B2400, B1200, B300,
                           B38400, B19200, B9600, B4800, B2400, B1200, B300};
const int name_arr[14] = {38400, 19200, 9600, 4800, 2400, 1200, 300,
                          38400, 19200, 9600, 4800, 2400, 1200, 300};

}  // namespace

int Open_EQ(bool retry) {
    for (;;) {
        // Close-on-exec: the programs the service starts must not hold the port.
        int fd = open(BOARD_DEVICE, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0 || !retry) return fd;
        // An unplugged board just keeps the service waiting here.
        sleep(2);
    }
}

int Init_EQ(int fd) {
    struct termios options;
    tcgetattr(fd, &options);
    // Start from nothing, so no input translation or echo of an earlier
    // user of the port survives: packet bytes take every value 0x00-0xFF.
    memset(&options, 0, sizeof options);

    cfsetispeed(&options, B19200);
    cfsetospeed(&options, B19200);

    options.c_oflag &= ~OPOST;

    options.c_cflag &= ~CRTSCTS;
    options.c_cflag |= CLOCAL | CREAD;
    options.c_cflag &= ~PARENB;
    options.c_cflag &= ~CSTOPB;
    options.c_cflag &= ~CSIZE;
    options.c_cflag |= CS8;

    options.c_lflag &= ~(ICANON | ECHO | ECHOE | ISIG);

    options.c_cc[VMIN] = 0;
    options.c_cc[VTIME] = 2;

    tcsetattr(fd, TCSANOW, &options);
    return 0;
}

int Connect_EQ2(int fd) {
    return write_all(fd, connect_s, sizeof connect_s) == static_cast<ssize_t>(sizeof connect_s)
               ? 0
               : -1;
}

void flush_and_greet(int fd) {
    tcflush(fd, TCIOFLUSH);
    Connect_EQ2(fd);
}

int Close_port(int fd) {
    close(fd);
    return 0;
}

void close_port_once(std::atomic<int>& port, bool from_reader) {
    const int fd = port.exchange(-1);
    if (fd <= 0) return;
    if (!from_reader) {
        const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
        if (null_fd >= 0) {
            // dup2 drops the port and takes the number in one step.
            dup2(null_fd, fd);
            close(null_fd);
            return;
        }
    }
    Close_port(fd);
}

void set_speed(int fd, int speed) {
    struct termios opt;
    tcgetattr(fd, &opt);
    for (int i = 0; i < 14; i++) {
        if (speed != name_arr[i]) continue;
        tcflush(fd, TCIOFLUSH);
        cfsetispeed(&opt, speed_arr[i]);
        cfsetospeed(&opt, speed_arr[i]);
        if (tcsetattr(fd, TCSANOW, &opt) != 0) {
            perror("tcsetattr fd1");
            return;
        }
        tcflush(fd, TCIOFLUSH);
    }
}

int set_Parity(int fd, int databits, int stopbits, int parity) {
    struct termios options;
    if (tcgetattr(fd, &options) != 0) {
        perror("SetupSerial 1");
        return 0;
    }

    options.c_cflag &= ~CSIZE;
    switch (databits) {
        case 7:
            options.c_cflag |= CS7;
            break;
        case 8:
            options.c_cflag |= CS8;
            break;
        default:
            fprintf(stderr, "Unsupported data size\n");
            return 0;
    }

    switch (parity) {
        case 'n':
        case 'N':
            options.c_cflag &= ~PARENB;
            options.c_iflag &= ~INPCK;
            options.c_cflag &= ~CRTSCTS;
            options.c_iflag &= ~(IXON | IXOFF | IXANY);
            break;
        case 'o':
        case 'O':
            options.c_cflag |= PARENB | PARODD;
            options.c_iflag |= INPCK;
            break;
        case 'e':
        case 'E':
            options.c_cflag |= PARENB;
            options.c_cflag &= ~PARODD;
            options.c_iflag |= INPCK;
            break;
        case 's':
        case 'S':
            options.c_cflag &= ~PARENB;
            options.c_cflag &= ~CSTOPB;
            break;
        default:
            fprintf(stderr, "Unsupported parity\n");
            return 0;
    }

    switch (stopbits) {
        case 1:
            options.c_cflag &= ~CSTOPB;
            break;
        case 2:
            options.c_cflag |= CSTOPB;
            break;
        default:
            fprintf(stderr, "Unsupported stop bits\n");
            return 0;
    }

    options.c_cflag |= CLOCAL | CREAD;
    options.c_lflag &= ~(ICANON | ECHO | ECHOE | ISIG);

    tcflush(fd, TCIFLUSH);
    options.c_cc[VTIME] = 2;
    options.c_cc[VMIN] = 0;

    if (tcsetattr(fd, TCSANOW, &options) != 0) {
        perror("SetupSerial 3");
        return 0;
    }
    return 1;
}

int PacketReader::next(int fd, unsigned char* pkt) {
    if (read_retry(fd, pkt, sizeof connect_s) == static_cast<ssize_t>(sizeof connect_s)) {
        time_flags = 0;
        return 1;
    }
    if (++time_flags < 9) return 0;
    if (pause_s > 0) sleep(pause_s);
    time_flags = 0;
    return Connect_EQ2(fd) == 0 ? 0 : -1;
}
