// The packet-loop target's input, read the same way by the golden replay
// (tests/golden), so a corpus session means the same thing to both.
//
// Input: option byte, a byte whose bit 0 says whether a configuration text
// (up to a NUL) follows, then the stream.
// Options: bit 0 compact build, bit 1 repair check bytes (so the fuzzer
// reaches the handlers easily), bit 2 line to assume, bits 3-4 screen size,
// bits 5-7 the registered calibration tool id.
#pragma once

#include <climits>
#include <cstdint>
#include <string>

#include "fuzz_input.h"

// A 4-point calibration with keys on all four edges, for inputs without a
// configuration of their own: most inputs, so most time goes to the stream.
inline constexpr char kPacketLoopConfig[] =
    "[coordinate]\ndotNum=4\ndotX0=400\ndotY0=300\ndotX1=400\ndotY1=3300\n"
    "dotX2=3600\ndotY2=300\ndotX3=3600\ndotY3=3300\n"
    "[HOTKEY]\nkeyX0=600\nkeyY0=3950\nkeyX3=1050\nkeyY3=3950\nkeyX12=2400\nkeyY12=3950\n"
    "keyX13=2550\nkeyY13=3950\n"
    "[QMEdgetab]\nQMkeyX0=3950\nQMkeyY0=600\nQMkeyX5=3950\nQMkeyY5=1350\n"
    "QMkeyX12=3950\nQMkeyY12=2400\nQMkeyX13=3950\nQMkeyY13=2550\n";

inline constexpr int kPacketLoopScreens[4][2] = {{1, 1}, {1024, 768}, {1920, 1080}, {32767, 32767}};
inline constexpr int kPacketLoopZuraze[8] = {-1, 0, 1, 4242, -2, INT_MAX, INT_MIN, -1};

struct PacketLoopInput {
    uint8_t options;
    bool compact;
    bool repair;
    int line;
    int screen_w, screen_h;
    int zuraze;
    bool own_config;
    std::string config;
};

// The options and the configuration; `in` is left at the stream.
inline PacketLoopInput read_packet_loop_input(FuzzInput& in, size_t max_config) {
    PacketLoopInput p{};
    p.options = in.byte();
    p.compact = p.options & 1;
    p.repair = p.options & 2;
    p.line = (p.options >> 2) & 1;
    p.screen_w = kPacketLoopScreens[(p.options >> 3) & 3][0];
    p.screen_h = kPacketLoopScreens[(p.options >> 3) & 3][1];
    p.zuraze = kPacketLoopZuraze[p.options >> 5];
    p.own_config = in.byte() & 1;
    p.config = p.own_config ? in.text(max_config) : std::string(kPacketLoopConfig);
    return p;
}
