// The serial module against a pseudo-terminal pair: the slave stands in for
// the board device, the master plays the board.
#include "protocol/serial.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "store/fileio.h"
#include "store/paths.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct PtyPair {
    int master = -1;
    int slave = -1;
    PtyPair() {
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            ADD_FAILURE() << "openpty: " << strerror(errno);
    }
    ~PtyPair() {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
};

struct Pipe {
    int rd = -1;
    int wr = -1;
    Pipe() {
        int fds[2];
        if (pipe(fds) != 0) ADD_FAILURE() << "pipe: " << strerror(errno);
        rd = fds[0];
        wr = fds[1];
    }
    ~Pipe() {
        if (rd >= 0) close(rd);
        if (wr >= 0) close(wr);
    }
};

termios attrs(int fd) {
    termios t{};
    EXPECT_EQ(tcgetattr(fd, &t), 0) << strerror(errno);
    return t;
}

// The state a login terminal leaves behind: canonical input, echo, CR->NL
// translation, output post-processing, software flow control, signals.
void make_cooked(int fd) {
    termios t = attrs(fd);
    t.c_iflag |= ICRNL | IXON | ISTRIP;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cflag |= CSTOPB | CRTSCTS;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0) << strerror(errno);
}

// Everything readable on fd within timeout_ms (stops once fd stays quiet).
Bytes drain(int fd, int timeout_ms) {
    Bytes got;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, timeout_ms) > 0 && (p.revents & POLLIN)) {
        unsigned char buf[512];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

void write_exactly(int fd, const Bytes& data) {
    ASSERT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
}

bool wait_readable(int fd, int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeout_ms) > 0 && (p.revents & POLLIN);
}

class InitEq : public ::testing::Test {
protected:
    PtyPair pty;
    void SetUp() override {
        ASSERT_GE(pty.slave, 0);
        make_cooked(pty.slave);
        ASSERT_EQ(Init_EQ(pty.slave), 0);
    }
};

TEST_F(InitEq, LeavesRawLineSettings) {
    // CS8 and a clear PARENB are forced by the pty driver itself, so they
    // cannot tell anything here; the rest is what Init_EQ must leave.
    termios t = attrs(pty.slave);
    EXPECT_EQ(t.c_iflag, 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ISIG), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 2);
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
}

TEST_F(InitEq, EveryByteValueArrivesUnchangedWithoutEcho) {
    // 0x0D first: the byte CR->NL translation would turn into 0x0A.
    Bytes sent{0x0D};
    for (int v = 0; v < 256; v++) sent.push_back(static_cast<unsigned char>(v));
    write_exactly(pty.master, sent);

    Bytes got;
    unsigned char buf[64];
    ssize_t n;
    while (got.size() < sent.size() && (n = read(pty.slave, buf, sizeof buf)) > 0)
        got.insert(got.end(), buf, buf + n);
    EXPECT_EQ(got, sent);
    EXPECT_TRUE(drain(pty.master, 300).empty()) << "bytes were echoed back to the board";
}

TEST_F(InitEq, ReadWithoutDataTimesOutEmpty) {
    unsigned char buf[8];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read(pty.slave, buf, sizeof buf), 0);
    // A zero VTIME would return at once; only check that it did wait.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

TEST_F(InitEq, ReadReturnsWhatHasArrived) {
    const Bytes five{0xEE, 0x00, 0x51, 0x3F, 0x01};
    write_exactly(pty.master, five);
    ASSERT_TRUE(wait_readable(pty.slave, 2000));
    unsigned char buf[8];
    ASSERT_EQ(read(pty.slave, buf, sizeof buf), 5);
    EXPECT_EQ(Bytes(buf, buf + 5), five);
}

TEST_F(InitEq, ConnectSendsExactlyTheGreeting) {
    EXPECT_EQ(Connect_EQ2(pty.slave), 0);
    EXPECT_EQ(drain(pty.master, 300), (Bytes{0xCE, 0, 0, 0, 0, 0, 0, 0}));
}

// Every packet loop greets a silent board again on the 9th read in a row that
// brings no whole packet; a whole packet starts the count again.
TEST_F(InitEq, ReaderGreetsAgainOnTheNinthEmptyReadOnly) {
    PacketReader reader;
    unsigned char pkt[8];
    for (int i = 0; i < 8; ++i) ASSERT_EQ(reader.next(pty.slave, pkt), 0);
    EXPECT_TRUE(drain(pty.master, 0).empty()) << "greeted before the 9th empty read";
    write_exactly(pty.master, {0xEE, 0, 0x51, 1, 2, 3, 4, 0xBB});
    ASSERT_EQ(reader.next(pty.slave, pkt), 1);
    EXPECT_EQ(Bytes(pkt, pkt + 8), (Bytes{0xEE, 0, 0x51, 1, 2, 3, 4, 0xBB}));
    write_exactly(pty.master, {0xEE, 0, 0x51, 1, 2});  // a partial packet counts as empty
    for (int i = 0; i < 8; ++i) ASSERT_EQ(reader.next(pty.slave, pkt), 0);
    EXPECT_TRUE(drain(pty.master, 0).empty()) << "the whole packet did not restart the count";
    ASSERT_EQ(reader.next(pty.slave, pkt), 0);
    EXPECT_EQ(drain(pty.master, 300), (Bytes{0xCE, 0, 0, 0, 0, 0, 0, 0}));
}

// The loop of every reader: what the line held before is dropped, the board
// is greeted, and each whole packet reaches the handler in order until the
// handler stops the run.
TEST_F(InitEq, ReadPacketsGreetsThenHandsOnWholePacketsUntilStopped) {
    write_exactly(pty.master, {0xEE, 0, 0x61, 0, 0, 0, 0, 0x8F});  // stale, flushed
    ASSERT_TRUE(wait_readable(pty.slave, 300));
    std::thread board([&] {
        EXPECT_EQ(drain(pty.master, 1000), (Bytes{0xCE, 0, 0, 0, 0, 0, 0, 0}));
        write_exactly(pty.master, {0xC8, 0xDD, 1, 2, 3, 4, 5, 6, 0xEE, 0, 0x51, 1, 2, 3, 4, 0xBB});
    });
    std::atomic<int> run{1};
    std::vector<Bytes> got;
    read_packets(pty.slave, run, 0, [&](const unsigned char* pkt) {
        got.emplace_back(pkt, pkt + 8);
        if (got.size() == 2) run = 0;
    });
    board.join();
    EXPECT_EQ(got, (std::vector<Bytes>{{0xC8, 0xDD, 1, 2, 3, 4, 5, 6},
                                       {0xEE, 0, 0x51, 1, 2, 3, 4, 0xBB}}));
}

// A board gone for good: the reader says so, and the loop ends its run.
TEST(PacketReader, ReportsAGreetingThatCannotBeWritten) {
    Pipe p;
    close(p.wr);  // reads see the end at once; writes to the read end fail
    p.wr = -1;
    PacketReader reader;
    unsigned char pkt[8];
    for (int i = 0; i < 8; ++i) ASSERT_EQ(reader.next(p.rd, pkt), 0);
    EXPECT_EQ(reader.next(p.rd, pkt), -1);

    std::atomic<int> run{1};
    int packets = 0;
    read_packets(p.rd, run, 0, [&](const unsigned char*) { ++packets; });
    EXPECT_EQ(run.load(), 0);
    EXPECT_EQ(packets, 0);
}

TEST(ConnectEq2, FailsWhenTheGreetingCannotBeWritten) {
    Pipe p;
    EXPECT_EQ(Connect_EQ2(p.rd), -1);  // read end: not writable
    EXPECT_EQ(Connect_EQ2(-1), -1);
}

// Fills the pipe so that the next write would block (or fail, if O_NONBLOCK).
void fill_pipe(int wr) {
    int flags = fcntl(wr, F_GETFL);
    fcntl(wr, F_SETFL, flags | O_NONBLOCK);
    char chunk[1024] = {};
    while (write(wr, chunk, sizeof chunk) > 0) {
    }
    while (write(wr, chunk, 1) > 0) {
    }
    fcntl(wr, F_SETFL, flags);
}

TEST(WriteAll, ReportsShortAndFailedWrites) {
    signal(SIGPIPE, SIG_IGN);
    const std::vector<char> data(10000, 'x');

    {
        SCOPED_TRACE("room for part of the data: short count");
        Pipe p;
        ASSERT_GT(fcntl(p.wr, F_SETPIPE_SZ, 4096), 0);
        fcntl(p.wr, F_SETFL, O_NONBLOCK);
        ssize_t n = write_all(p.wr, data.data(), data.size());
        EXPECT_GT(n, 0);
        EXPECT_LT(n, static_cast<ssize_t>(data.size()));
        EXPECT_EQ(static_cast<ssize_t>(drain(p.rd, 0).size()), n);
    }
    {
        SCOPED_TRACE("no room at all: -1");
        Pipe p;
        fill_pipe(p.wr);
        fcntl(p.wr, F_SETFL, O_NONBLOCK);
        EXPECT_EQ(write_all(p.wr, data.data(), 8), -1);
    }
    {
        SCOPED_TRACE("nobody reading: -1");
        Pipe p;
        close(p.rd);
        p.rd = -1;
        EXPECT_EQ(write_all(p.wr, data.data(), 8), -1);
    }
}

std::atomic<int> interrupts{0};
void count_interrupt(int) { interrupts++; }

TEST(WriteAll, RetriesWhenASignalInterruptsTheWrite) {
    struct sigaction sa {};
    struct sigaction old {};
    sa.sa_handler = count_interrupt;  // no SA_RESTART: write() fails with EINTR
    sigaction(SIGUSR1, &sa, &old);

    Pipe p;
    fill_pipe(p.wr);
    const char greeting[8] = {};
    pthread_t writer = pthread_self();
    interrupts = 0;
    std::thread board([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pthread_kill(writer, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        // Drain everything, bounded, so a writer that gave up cannot hang us.
        drain(p.rd, 1000);
    });
    EXPECT_EQ(write_all(p.wr, greeting, sizeof greeting), static_cast<ssize_t>(sizeof greeting));
    board.join();
    EXPECT_GE(interrupts.load(), 1);
    sigaction(SIGUSR1, &old, nullptr);
}

class SetSpeed : public InitEq {};

TEST_F(SetSpeed, SetsEveryRateOfTheTable) {
    const struct {
        int rate;
        speed_t code;
    } cases[] = {
        {38400, B38400}, {19200, B19200}, {9600, B9600}, {4800, B4800},
        {2400, B2400},   {1200, B1200},   {300, B300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        set_speed(pty.slave, c.rate);
        termios t = attrs(pty.slave);
        EXPECT_EQ(cfgetispeed(&t), c.code);
        EXPECT_EQ(cfgetospeed(&t), c.code);
    }
}

TEST_F(SetSpeed, IgnoresRatesOutsideTheTableSilently) {
    for (int rate : {0, -1, 110, 600, 57600, 115200, 19201, B9600}) {
        SCOPED_TRACE(rate);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        set_speed(pty.slave, rate);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        termios t = attrs(pty.slave);
        EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B19200));
        EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    }
}

TEST(SetSpeedFailure, ReportsWithItsPrefix) {
    Pipe p;  // not a terminal
    testing::internal::CaptureStderr();
    set_speed(p.wr, 9600);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("tcsetattr fd1: ", 0), 0u);
}

class SetParity : public InitEq {};

TEST_F(SetParity, RejectsUnsupportedValuesAndLeavesTheLine) {
    const struct {
        int databits, stopbits, parity;
        const char* message;
    } cases[] = {
        {6, 1, 'n', "Unsupported data size\n"}, {9, 1, 'n', "Unsupported data size\n"},
        {8, 3, 'n', "Unsupported stop bits\n"}, {8, 0, 'e', "Unsupported stop bits\n"},
        {8, 1, 'x', "Unsupported parity\n"},    {7, 1, 0, "Unsupported parity\n"},
    };
    make_cooked(pty.slave);  // a state that any change would visibly disturb
    const termios before = attrs(pty.slave);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        testing::internal::CaptureStderr();
        EXPECT_EQ(set_Parity(pty.slave, c.databits, c.stopbits, c.parity), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        termios after = attrs(pty.slave);
        EXPECT_EQ(memcmp(&before, &after, sizeof before), 0) << "line settings changed";
    }
}

TEST_F(SetParity, AppliesSupportedSettings) {
    // The pty driver forces CS8 and no PARENB; the flags it keeps are checked.
    const struct {
        int databits, stopbits, parity;
        tcflag_t cset, cclear, iset, iclear;
    } cases[] = {
        {8, 1, 'n', 0, CSTOPB | CRTSCTS, 0, INPCK | IXON | IXOFF | IXANY},
        {8, 2, 'N', CSTOPB, CRTSCTS, 0, INPCK | IXON | IXOFF | IXANY},
        {7, 1, 'o', PARODD, CSTOPB, INPCK, 0},
        {8, 2, 'O', PARODD | CSTOPB, 0, INPCK, 0},
        {7, 2, 'e', CSTOPB, PARODD, INPCK, 0},
        {8, 1, 'E', 0, PARODD | CSTOPB, INPCK, 0},
        {7, 1, 's', 0, CSTOPB, 0, 0},
        {8, 2, 'S', CSTOPB, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.databits) + static_cast<char>(c.parity) +
                     std::to_string(c.stopbits));
        make_cooked(pty.slave);
        termios t = attrs(pty.slave);
        t.c_cflag |= PARODD;  // must be cleared by 'e'
        t.c_iflag |= INPCK | IXOFF | IXANY;
        ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &t), 0);

        EXPECT_EQ(set_Parity(pty.slave, c.databits, c.stopbits, c.parity), 1);
        t = attrs(pty.slave);
        EXPECT_EQ(t.c_cflag & c.cset, c.cset);
        EXPECT_EQ(t.c_cflag & c.cclear, 0u);
        EXPECT_EQ(t.c_iflag & c.iset, c.iset);
        EXPECT_EQ(t.c_iflag & c.iclear, 0u);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ISIG), 0u);
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 2);
    }
}

TEST(SetParityFailure, ReportsAFailedFetchWithItsPrefix) {
    Pipe p;  // not a terminal
    testing::internal::CaptureStderr();
    EXPECT_EQ(set_Parity(p.wr, 8, 1, 'n'), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("SetupSerial 1: ", 0), 0u);
}

TEST(ClosePort, ClosesWhateverItIsGiven) {
    Pipe p;
    EXPECT_EQ(Close_port(p.wr), 0);
    EXPECT_EQ(fcntl(p.wr, F_GETFD), -1);
    EXPECT_EQ(errno, EBADF);
    p.wr = -1;
    EXPECT_EQ(Close_port(-1), 0);
}

TEST(OpenEq, SingleAttemptFailsWhenTheDeviceIsMissing) {
    if (access(BOARD_DEVICE, F_OK) == 0)
        GTEST_SKIP() << BOARD_DEVICE " exists on this machine; this case needs it absent";
    errno = 0;
    EXPECT_EQ(Open_EQ(false), -1);
    EXPECT_EQ(errno, ENOENT);
}

// The port's number after a stop from another thread: a file opened next must
// not get it, or the reader would read that file and write greetings into it.
TEST(ClosePortOnce, AnotherThreadLeavesTheNumberToNothing) {
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    std::atomic<int> port{pipe_fds[0]};
    close_port_once(port, false);
    EXPECT_EQ(port.load(), -1);

    const int next = open("/dev/null", O_RDONLY | O_CLOEXEC);
    EXPECT_NE(next, pipe_fds[0]) << "the number was given to the next file";
    close(next);
    char byte;
    EXPECT_EQ(read(pipe_fds[0], &byte, 1), 0) << "the old number still reads the port";
    // The port itself is closed: its writer sees no reader any more.
    signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(write(pipe_fds[1], "x", 1), -1);

    close_port_once(port, false);  // a second stop changes nothing
    EXPECT_EQ(port.load(), -1);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
}

TEST(ClosePortOnce, TheReaderFreesTheNumber) {
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    std::atomic<int> port{pipe_fds[0]};
    close_port_once(port, true);
    EXPECT_EQ(port.load(), -1);
    EXPECT_EQ(fcntl(pipe_fds[0], F_GETFD), -1);
    close(pipe_fds[1]);
}

}  // namespace
