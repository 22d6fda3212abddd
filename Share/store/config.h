// The calibration and edge-key sections of the shared configuration file,
// with their defaults (x 0, y 1 for a missing key) and their write orders.
#pragma once

#include <string>

#include "protocol/types.h"

// Formats prefix followed by index in decimal ("dotX7", "QMkeyY27").
void indexed_key(char* out, int size, const char* prefix, int index);

// One consistent snapshot of the configuration file (empty when unreadable).
struct ConfigSnapshot {
    char text[1024 * 16];
};
void load_config(ConfigSnapshot& snap);

// "dotNum" of "coordinate", default 0.
int config_dot_num(const ConfigSnapshot& snap);
// Points 0 .. min(count, MAX_DOTS) - 1 of "coordinate" into coor_store.
void config_read_dots(const ConfigSnapshot& snap, int count, point coor_store[MAX_DOTS]);
// The 28 keys of "HOTKEY" (keyX/keyY) and of "QMEdgetab" (QMkeyX/QMkeyY).
void config_read_hotkeys(const ConfigSnapshot& snap, Pos KeyPos[EDGE_KEY_COUNT]);
// The 28 keys as sections "HOTKEY0".."HOTKEY27", each with keyX/keyY.
void config_read_hotkey_sections(const ConfigSnapshot& snap, Pos KeyPos[EDGE_KEY_COUNT]);
void config_read_qm_keys(const ConfigSnapshot& snap, Pos QMKeyPos[EDGE_KEY_COUNT]);

// "name" of "Monitor": the monitor the calibration was made on; empty when
// the calibration covers the whole screen. At most MONITOR_NAME_MAX bytes.
std::string config_monitor(const ConfigSnapshot& snap);

// The longest monitor name that is stored and read back.
constexpr int MONITOR_NAME_MAX = 127;
// Whether a monitor name reads back exactly as stored: not too long, and no
// byte that would end its line (CR, LF), the file's text (NUL, 0xFF), or is
// another control byte. Any X client can name a monitor.
bool monitor_name_storable(const std::string& name);

// The 20-point block: "dotNum=20", then dotX/dotY from index 19 down to 0.
// Returns the block's length, or -1 when it does not fit size.
int format_twenty_block(char* out, int size, const Pos dots[MAX_DOTS]);

// Each store below is one locked rewrite of the file holding every key it
// writes, byte for byte as the same keys written one at a time would leave
// it; the file afterwards holds the whole new set or, when the store fails
// (file locked past the wait, unwritable, over its size limit, disk full),
// the old one. 1 when stored, 0 when nothing was.

// A calibration of count points into "coordinate": "dotNum", then the dotX
// and dotY key of each point from 0 up. 20 points replace the whole section
// body with the 20-point block, or, where the file has no "coordinate" header
// followed by a "HOTKEY" header (or the block would not fit), go in key by
// key in the block's order. monitor: the monitor's name when the screen has
// several, into "Monitor" after the points; nullptr when it has one, and then
// nothing new is written (a name stored before is emptied). A name that is
// not monitor_name_storable stores nothing (0).
int config_store_calibration(int count, const Pos dots[], const char* monitor = nullptr);

// keyX0, keyY0 .. keyY27 of "HOTKEY", then QMkeyX0 .. QMkeyY27 of "QMEdgetab".
int config_store_edge_keys(const Pos KeyPos[EDGE_KEY_COUNT], const Pos QMKeyPos[EDGE_KEY_COUNT]);
