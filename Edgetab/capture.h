// The edge-key capture without port, signals or GUI: how one packet is
// classified, the tool's reading of an identification reply, and one touch
// turned into one learnt key by the tools' shared sample rule (StrokeSampler).
#pragma once

#include <atomic>
#include <cstdint>

#include "protocol/DataPro.h"
#include "protocol/types.h"

enum class PacketKind {
    no_edge_keys,  // byte 1 is 0xCA: the board has no edge keys at all
    bad_check,     // dropped
    data,          // head 0xEE
    reply,         // anything else: an identification reply
};

// Tested in this order: the 0xCA byte wins even over a wrong check byte.
PacketKind classify(const uint8_t* pkt);

// The tool's reading of an identification reply. Unlike the service it
// teaches every electromagnetic variant. Fields not named by the reply keep
// their values.
struct BoardKind {
    int valu_flags;    // LINE_TOUCH or LINE_ELEC
    int iRealEdgetab;  // 0: the edge keys are to be taught
};
void identify_for_teaching(uint8_t head, uint8_t variant, BoardKind& kind);

struct KeyCapture {
    BoardKind kind{0, 0};
    // Read by the GUI thread: the learnt entry is in place before cur_key
    // counts it.
    std::atomic<int> cur_key{0};
    StrokeSampler stroke;
    Pos KeyPos[EDGE_KEY_COUNT] = {};    // touch line
    Pos QMKeyPos[EDGE_KEY_COUNT] = {};  // electromagnetic line

    // At the start of the loop, without a previous lift.
    void arm() { stroke.arm(); }

    // A data packet (head 0xEE) for the current line; true when it learnt a
    // key (the one now at cur_key - 1).
    bool data_packet(const uint8_t* pkt);

    // The table of the line in use.
    Pos* table() { return kind.valu_flags == 0 ? KeyPos : QMKeyPos; }

private:
    bool contact(int x, int y);
};
