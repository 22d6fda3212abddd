#include "packet_loop.h"

#include <cstdio>

#include "protocol/board_packet.h"
#include "protocol/edge_keys.h"

void PacketLoop::handle(const uint8_t* pkt, const Tables& tables, LoopEffects& fx) {
    if (!packet_check_ok(pkt)) return;
    if (pkt[0] != DATA_HEAD) {
        if (bJudge == 1) identify_board(pkt, fx);
        return;
    }
    if (compact)
        compact_packet(pkt, valu_flags.load(), tables, fx);
    else if (valu_flags.load() == LINE_TOUCH)
        touch_packet(pkt, tables, fx);
    else
        elec_packet(pkt, tables, fx);
}

void PacketLoop::identify_board(const uint8_t* pkt, LoopEffects& fx) {
    bJudge = 0;
    const int line = line_of_head(pkt[0]);
    const BoardIdent* ident = identify(pkt[0], pkt[1]);
    if (line >= 0) valu_flags = line;
    if (ident) iRealEdgetab = ident->edgetab;
    if (compact) printf("valu_flags=%d iRealEdgetab=%d\n", valu_flags.load(), iRealEdgetab.load());
    fx.identified();
}

void PacketLoop::pointer(int act, const Tables& tables, LoopEffects& fx) {
    ptRe = DtoSP(tables.cal, pt);
    ptRe.act = act;
    fx.mouse(ptRe);
}

bool PacketLoop::edge_key_fired(const Pos* table, bool touch_line, LoopEffects& fx) {
    const int key = find_edge_key(table, pt.x, pt.y);
    if (key < 0) return false;
    if (touch_line && key == 0) puts("----------------");
    if (bUp == 1) {
        bUp = 0;
        act_on(edge_key(key), touch_line, fx);
    }
    return true;
}

void PacketLoop::act_on(KeyAction action, bool orient_toggles, LoopEffects& fx) {
    switch (action.kind) {
        case KeyKind::word:
            fx.command(action.word);
            break;
        case KeyKind::start_app:
            fx.start(Launcher::whiteboard);
            break;
        case KeyKind::start_orient:
            if (!orient_toggles) {
                fx.start(Launcher::orient);
            } else {
                // The touch line's edge key toggles: a running calibration
                // tool is stopped, none running is started.
                const int pid = fx.registered_zuraze();
                if (pid == -1)
                    fx.start(Launcher::orient);
                else if (pid > 0)
                    fx.stop_zuraze(pid);
            }
            break;
        case KeyKind::none:
            break;
    }
}

void PacketLoop::take_sample(const uint8_t* pkt, int line, int act) {
    const BoardPoint p = decode_point(pkt, line);
    pt = {p.x, p.y, act};
}

void PacketLoop::lift(const uint8_t* pkt, int line, const Tables& tables, LoopEffects& fx) {
    bUp = 1;
    take_sample(pkt, line, ACT_LIFT);
    if (bRe == 0) {
        pointer(ACT_LIFT, tables, fx);
        bRe = 1;
    }
}

void PacketLoop::touch_packet(const uint8_t* pkt, const Tables& tables, LoopEffects& fx) {
    const uint8_t event = pkt[2];
    if (event == T_DOWN) {
        take_sample(pkt, LINE_TOUCH, ACT_CONTACT);
        bRe = 0;
        if (watches_edge_keys(LINE_TOUCH, iRealEdgetab.load()) &&
            edge_key_fired(tables.KeyPos, true, fx))
            return;
        pointer(ACT_CONTACT, tables, fx);
    } else if (event == T_UP) {
        lift(pkt, LINE_TOUCH, tables, fx);
    } else {
        const KeyAction key = hardware_key(event);
        // A hardware key's calibration start never looks at the registry.
        if (key.kind != KeyKind::none) act_on(key, false, fx);
    }
}

void PacketLoop::elec_packet(const uint8_t* pkt, const Tables& tables, LoopEffects& fx) {
    const uint8_t event = pkt[2];
    if (event == E_DOWN) {
        take_sample(pkt, LINE_ELEC, ACT_CONTACT);
        printf("------x:%d,y%d,iRealEdgetab:%d\n", pt.x, pt.y, iRealEdgetab.load());
        bRe = 0;
        if (watches_edge_keys(LINE_ELEC, iRealEdgetab.load()) &&
            edge_key_fired(tables.QMKeyPos, false, fx))
            return;
        pointer(ACT_CONTACT, tables, fx);
    } else if (event == E_UP) {
        elec_fro_flag = 1;
        lift(pkt, LINE_ELEC, tables, fx);
    } else if (event == kPenFront.code) {
        if (elec_fro_flag == 1) {
            puts("^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^6");
            take_sample(pkt, LINE_ELEC, ACT_LEFT_CLICK);
            pointer(ACT_LEFT_CLICK, tables, fx);
            bUp = 1;
            fx.command(kPenFront.word);
        }
        ++elec_fro_flag;
    } else if (event == kPenBack.code) {
        ptRe.act = ACT_RIGHT_CLICK;
        fx.mouse(ptRe);
        bUp = 1;
        if (elec_fro_flag == 1) fx.command(kPenBack.word);
        ++elec_fro_flag;
    } else {
        const KeyAction key = hardware_key(event);
        if (key.kind != KeyKind::none) act_on(key, false, fx);
    }
}

bool PacketLoop::calibration_key_hit(const Pos* table) const {
    for (int key : {EDGE_KEY_ORIENT, EDGE_KEY_ORIENT + EDGE_KEY_COUNT / 2})
        if (on_edge_key(table[key], pt.x, pt.y)) return true;
    return false;
}

void PacketLoop::compact_packet(const uint8_t* pkt, int line, const Tables& tables,
                                LoopEffects& fx) {
    const uint8_t event = pkt[2];
    const bool touch = line == LINE_TOUCH;
    if (event == (touch ? T_DOWN : E_DOWN)) {
        take_sample(pkt, line, ACT_CONTACT);
        if (iRealEdgetab.load() == 0 && calibration_key_hit(tables.KeyPos)) {
            if (bUp == 1) {
                bUp = 0;
                fx.start(Launcher::calibration_tool);
            }
            return;
        }
        pointer(ACT_CONTACT, tables, fx);
    } else if (event == (touch ? T_UP : E_UP)) {
        // Every lift acts: MouseAction only releases a button it holds.
        bUp = 1;
        take_sample(pkt, line, ACT_LIFT);
        pointer(ACT_LIFT, tables, fx);
    } else if (is_calibration_key(event, touch)) {
        fx.start(Launcher::calibration_tool);
    } else if (touch) {
        printf("roverbuff[2]=%2x\n", event);
    }
}
