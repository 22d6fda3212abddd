// The packet loop's core: one packet in, the service's reactions out
// through LoopEffects. No port, display or socket here.
#pragma once

#include <atomic>
#include <cstdint>

#include "keys.h"
#include "protocol/types.h"
#include "tables.h"

// orient: the calibration launcher script; calibration_tool: the tool itself.
enum class Launcher { whiteboard, orient, calibration_tool };

// What a packet can make the service do outside the loop itself.
struct LoopEffects {
    virtual void mouse(mouse_act screen) = 0;    // MouseAction
    virtual void command(const char* word) = 0;  // StartEdgetab
    virtual void start(Launcher which) = 0;      // a launcher in a child process
    virtual int registered_zuraze() = 0;         // "Zuraze" of the registry, default -1
    virtual void stop_zuraze(int pid) = 0;       // SIGINT to a running calibration tool
    virtual void identified() = 0;               // SIGUSR2 to the own process, then 0.3 s
    virtual ~LoopEffects() = default;
};

// The state of one reader run's loop, and the handling of one valid-length
// packet (the check byte is tested here).
// The compact loop knows only the calibration keys: edge keys 12 and 26 and
// the hardware calibration keys; it sends no commands and no clicks.
struct PacketLoop {
    PacketLoop(std::atomic<int>& valu_flags, std::atomic<int>& iRealEdgetab, bool compact = false)
        : valu_flags(valu_flags), iRealEdgetab(iRealEdgetab), compact(compact) {}

    void handle(const uint8_t* roverbuff, const Tables& tables, LoopEffects& fx);

    std::atomic<int>& valu_flags;
    std::atomic<int>& iRealEdgetab;
    const bool compact;
    int bJudge = 1;         // the identification reply is still to be evaluated
    int bUp = 1;            // edge keys armed
    int bRe = 1;            // the current stroke's lift was passed on already
    int elec_fro_flag = 0;  // pen-button packets since the last lift, plus one
    mouse_act pt{0, 0, 0};
    mouse_act ptRe{0, 0, 0};

private:
    void identify_board(const uint8_t* pkt, LoopEffects& fx);
    void touch_packet(const uint8_t* pkt, const Tables& tables, LoopEffects& fx);
    void elec_packet(const uint8_t* pkt, const Tables& tables, LoopEffects& fx);
    void take_sample(const uint8_t* pkt, int line, int act);
    void lift(const uint8_t* pkt, int line, const Tables& tables, LoopEffects& fx);
    void pointer(int act, const Tables& tables, LoopEffects& fx);
    bool edge_key_fired(const Pos* table, bool touch_line, LoopEffects& fx);
    void act_on(KeyAction action, bool orient_toggles, LoopEffects& fx);
    void compact_packet(const uint8_t* pkt, int line, const Tables& tables, LoopEffects& fx);
    bool calibration_key_hit(const Pos* table) const;
};
