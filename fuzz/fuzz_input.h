// What every fuzz target starts from: its input split into the pieces it
// needs, never read past its end, and the check that stops it where an
// invariant breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "protocol/board_packet.h"

// A crash the fuzzer records, with the invariant named on standard error.
inline void require(bool ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        __builtin_trap();
    }
}

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // Bytes up to the next NUL (dropped) or the end, at most max of them.
    std::string text(size_t max) {
        std::string out;
        while (pos_ < size_ && out.size() < max) {
            const char c = char(data_[pos_++]);
            if (c == '\0') break;
            out += c;
        }
        return out;
    }

    const uint8_t* rest() const { return data_ + pos_; }
    size_t remaining() const { return size_ - pos_; }

    // The next whole packet, its check byte mended when repair is set, so
    // that the fuzzer reaches the code behind the check; false at the end.
    bool packet(uint8_t (&pkt)[PACKET_SIZE], bool repair) {
        if (remaining() < PACKET_SIZE) return false;
        memcpy(pkt, rest(), PACKET_SIZE);
        pos_ += PACKET_SIZE;
        if (repair) pkt[7] = packet_check_byte(pkt);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
