// The board's 8-byte packets: constants, check byte, coordinate decoding and
// the identification replies, shared by every reader of the board.
#pragma once

#include <cstdint>

constexpr int PACKET_SIZE = 8;

// Byte 0 of a data packet.
constexpr uint8_t DATA_HEAD = 0xEE;

// Byte 0 of the identification replies: the touch line and the five sizes of
// the electromagnetic line.
constexpr uint8_t CNT_REN = 0xC8;
constexpr uint8_t E_DATA_5 = 0xE5;
constexpr uint8_t E_DATA_6 = 0xE6;
constexpr uint8_t E_DATA_8 = 0xE8;
constexpr uint8_t E_DATA_CA = 0xEA;
constexpr uint8_t E_DATA_EC = 0xEC;

// The electromagnetic line's size class a byte 0 announces; 0 for any other.
constexpr int size_class(uint8_t head) {
    switch (head) {
        case E_DATA_5:
            return 50;
        case E_DATA_6:
            return 60;
        case E_DATA_8:
            return 80;
        case E_DATA_CA:
            return 100;
        case E_DATA_EC:
            return 120;
        default:
            return 0;
    }
}

// Touch-line variant of a board without printed edge keys.
constexpr uint8_t Y_RV_CMD = 0xCA;

// Event byte (byte 2) of a data packet.
constexpr uint8_t T_DOWN = 0x51;
constexpr uint8_t E_DOWN = 0x51;
constexpr uint8_t T_UP = 0x61;
constexpr uint8_t E_UP = 0x61;
constexpr uint8_t Elec_Front = 0x85;
constexpr uint8_t Elec_Back = 0x87;

// Event byte of the board's calibration (orient) key: one code on the touch
// line, three on the electromagnetic line.
constexpr uint8_t T_CMD_ORIENT = 0xA2;
constexpr uint8_t E_CMD_ORIENT = 0x28;
constexpr uint8_t E_CMD_ORIENT2 = 0xF8;
constexpr uint8_t E_CMD_ORIENT3 = 0xD8;

// Board lines, as valu_flags holds them.
constexpr int LINE_TOUCH = 0;  // RV
constexpr int LINE_ELEC = 1;   // QM

// What a line is called where a person reads it: "touch", "electromagnetic".
constexpr const char* line_name(int line) {
    return line == LINE_TOUCH ? "touch" : "electromagnetic";
}

// Prints the trace line of a packet: "%2x %2x %2x %2x %2x %2x %2x %2x\n".
void print_packet(const uint8_t* pkt);

// 1 when byte 7 is the XOR of bytes 0 to 6, else 0.
int packet_check_ok(const uint8_t* pkt);

// The XOR of bytes 0 to 6.
uint8_t packet_check_byte(const uint8_t* pkt);

// The two 12-bit coordinates: A from bytes 3 and 4, B from bytes 5 and 6,
// each from the low six bits of its two bytes, so 0 .. BOARD_UNITS - 1.
constexpr int BOARD_UNITS = 1 << 12;
int coordinate_a(const uint8_t* pkt);  // y_f
int coordinate_b(const uint8_t* pkt);  // x_f

// A decoded contact in board units for a line: the touch line reports x in
// coordinate B, the electromagnetic line in coordinate A.
struct BoardPoint {
    int x;
    int y;
};
BoardPoint decode_point(const uint8_t* pkt, int valu_flags);

// One identification reply: bytes 0 and 1, the board line it announces and
// whether its edge keys are to be watched (iRealEdgetab).
struct BoardIdent {
    uint8_t head;
    uint8_t variant;
    int line;
    int edgetab;
    const char* name;
};
// Rows in the order a reply is compared: touch first, then the electromagnetic
// sizes 50 to 120; within a head H, S, then HG/NH, then SG/NS.
inline constexpr BoardIdent kBoardIdents[] = {
    {CNT_REN, 0xCC, LINE_TOUCH, 1, "TouchH_Cmp"},
    {CNT_REN, 0xDD, LINE_TOUCH, 0, "TouchS_Cmp"},
    {CNT_REN, 0xCA, LINE_TOUCH, 1, "TouchHG_Cmp"},
    {CNT_REN, 0xDA, LINE_TOUCH, 0, "TouchSG_Cmp"},
    {E_DATA_5, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_50"},
    {E_DATA_5, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_50"},
    {E_DATA_5, 0xED, LINE_ELEC, 1, "Elec_NHCmp_50"},
    {E_DATA_5, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_50"},
    {E_DATA_6, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_60"},
    {E_DATA_6, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_60"},
    {E_DATA_6, 0xED, LINE_ELEC, 1, "Elec_NHCmp_60"},
    {E_DATA_6, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_60"},
    {E_DATA_8, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_80"},
    {E_DATA_8, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_80"},
    {E_DATA_8, 0xED, LINE_ELEC, 1, "Elec_NHCmp_80"},
    {E_DATA_8, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_80"},
    {E_DATA_CA, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_100"},
    {E_DATA_CA, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_100"},
    {E_DATA_CA, 0xED, LINE_ELEC, 1, "Elec_NHCmp_100"},
    {E_DATA_CA, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_100"},
    {E_DATA_EC, 0xCE, LINE_ELEC, 1, "ElecH_Cmp_120"},
    {E_DATA_EC, 0xDD, LINE_ELEC, 0, "ElecS_Cmp_120"},
    {E_DATA_EC, 0xED, LINE_ELEC, 1, "Elec_NHCmp_120"},
    {E_DATA_EC, 0xEF, LINE_ELEC, 0, "Elec_NSCmp_120"},
};

// Whether the service looks for touches on the printed edge keys of a board
// with this line and identification flag: on the touch line when the flag is
// 0, on the electromagnetic line when it is not.
constexpr bool watches_edge_keys(int line, int edgetab) {
    return line == LINE_TOUCH ? edgetab == 0 : edgetab != 0;
}

// The reply's row, or nullptr when bytes 0 and 1 name none.
const BoardIdent* identify(uint8_t head, uint8_t variant);

// The line announced by a byte 0 of the table (LINE_TOUCH, LINE_ELEC), or -1.
int line_of_head(uint8_t head);

// Whether an event byte is the calibration key of the touch line or of the
// electromagnetic line.
bool is_calibration_key(uint8_t code, bool touch_line);
