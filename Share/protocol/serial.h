// Serial link to the board: open the device, put the line into the raw
// 19200 8N1 mode the packet protocol relies on, greet the board, close.
// The module keeps no state; callers own the descriptor.
#pragma once

#include <atomic>

// First byte of the greeting that wakes the board up.
constexpr unsigned char CNT_CMD = 0xCE;

// The greeting: CNT_CMD followed by seven 0x00 bytes.
extern const unsigned char connect_s[8];

// Opens BOARD_DEVICE read-write without becoming its controlling terminal.
// retry=true: retries every 2 seconds, silently, until it succeeds (never -1).
// retry=false: one attempt; the descriptor, or -1 with errno from open().
int Open_EQ(bool retry);

// Raw 19200 8N1, no flow control, reads time out after 0.2 s; always 0.
int Init_EQ(int fd);

// Writes the 8-byte greeting once; 0 when all 8 bytes went out, else -1.
int Connect_EQ2(int fd);

// Closes fd, whatever it is; always 0.
int Close_port(int fd);

// Closes the port held in `port` (above 0 while open) once, whichever thread
// comes first, and leaves -1 there. A thread other than the port's reader
// points the number at /dev/null instead of freeing it: a file opened
// meanwhile must not get the number the reader still reads from and writes
// its greetings to. The reader's own close frees it.
void close_port_once(std::atomic<int>& port, bool from_reader);

// set_speed and set_Parity serve line set-ups other than the board's; the
// programs configure the line with Init_EQ alone.

// Sets input and output speed for a rate in bit/s from the speed table;
// any other rate changes nothing. Prints "tcsetattr fd1: ..." on failure.
void set_speed(int fd, int speed);

// Sets data bits (7, 8), stop bits (1, 2) and parity ('n', 'o', 'e', 's',
// either case); 1 on success, 0 on unsupported values or a failed call.
int set_Parity(int fd, int databits, int stopbits, int parity);

// The read side of every packet loop: reads one whole 8-byte packet, counts
// the reads that brought none, and greets the board again on the 9th such
// read in a row (after pause_s seconds, when given). Partial packets are
// dropped, never reassembled.
struct PacketReader {
    explicit PacketReader(unsigned pause_s = 0) : pause_s(pause_s) {}
    // 1 with a packet in pkt[0..7]; 0 without; -1 when the greeting could not
    // be written (the board is gone).
    int next(int fd, unsigned char* pkt);

    int time_flags = 0;
    unsigned pause_s;
};

// Drops what the line holds and greets the board: the start of every run.
void flush_and_greet(int fd);

// The loop of every reader on an open, configured port: greets, then hands
// each whole packet to on_packet until run is 0. A board that cannot be
// greeted again sets run to 0.
template <class OnPacket>
void read_packets(int fd, std::atomic<int>& run, unsigned pause_s, OnPacket&& on_packet) {
    flush_and_greet(fd);
    PacketReader reader(pause_s);
    unsigned char pkt[sizeof connect_s];
    while (run.load() != 0) {
        const int got = reader.next(fd, pkt);
        if (got < 0) run = 0;
        if (got > 0) on_packet(pkt);
    }
}
