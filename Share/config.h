// The calibration and edge-key sections of the shared configuration file,
// with their defaults (x 0, y 1 for a missing key) and their write orders.
#pragma once

#include "types.h"

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

// Writes the x key then the y key of entry index of a table; 1 on success,
// 0 at the first failed write.
int config_write_pair(const char* section, const char* x_prefix, const char* y_prefix, int index,
                      Pos value);

// The 20-point block: "dotNum=20", then dotX/dotY from index 19 down to 0.
// Returns the block's length, or -1 when it does not fit size.
int format_twenty_block(char* out, int size, const Pos dots[MAX_DOTS]);

// Stores a 20-point calibration as one block replacing the body of
// "coordinate"; when the file has no "coordinate" header followed by a
// "HOTKEY" header (or the block rewrite cannot fit), writes the same keys one
// by one in the block's order instead. 1 when every key is stored, else 0.
int config_store_twenty(const Pos dots[MAX_DOTS]);
