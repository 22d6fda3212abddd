#include "store/config.h"

#include <algorithm>
#include <cstdio>

#include "store/inifile.h"
#include "store/paths.h"

namespace {

Pos read_pos(const ConfigSnapshot& snap, const char* section, const char* x_key,
             const char* y_key) {
    return Pos{text_read_int(snap.text, section, x_key, 0),
               text_read_int(snap.text, section, y_key, 1)};
}

void read_table(const ConfigSnapshot& snap, const char* section, const char* x_prefix,
                const char* y_prefix, Pos table[EDGE_KEY_COUNT]) {
    char x_key[16], y_key[16];
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) {
        indexed_key(x_key, sizeof x_key, x_prefix, i);
        indexed_key(y_key, sizeof y_key, y_prefix, i);
        table[i] = read_pos(snap, section, x_key, y_key);
    }
}

// Sets the x key then the y key of entry index of a table.
bool set_pair(IniEdit& edit, const char* section, const char* x_prefix, const char* y_prefix,
              int index, Pos value) {
    char key[16], text[16];
    indexed_key(key, sizeof key, x_prefix, index);
    snprintf(text, sizeof text, "%d", value.x);
    if (!edit.set(section, key, text)) return false;
    indexed_key(key, sizeof key, y_prefix, index);
    snprintf(text, sizeof text, "%d", value.y);
    return edit.set(section, key, text);
}

bool set_table(IniEdit& edit, const char* section, const char* x_prefix, const char* y_prefix,
               const Pos table[EDGE_KEY_COUNT]) {
    for (int i = 0; i < EDGE_KEY_COUNT; ++i)
        if (!set_pair(edit, section, x_prefix, y_prefix, i, table[i])) return false;
    return true;
}

}  // namespace

void indexed_key(char* out, int size, const char* prefix, int index) {
    snprintf(out, size, "%s%d", prefix, index);
}

void load_config(ConfigSnapshot& snap) {
    int size = 0;
    if (!load_ini_file(CONFIG_FILE, snap.text, &size)) snap.text[0] = '\0';
}

int config_dot_num(const ConfigSnapshot& snap) {
    return text_read_int(snap.text, SEC_COORDINATE, KEY_DOTNUM, 0);
}

void config_read_dots(const ConfigSnapshot& snap, int count, point coor_store[MAX_DOTS]) {
    char key[16];
    for (int i = 0; i < count && i < MAX_DOTS; ++i) {
        indexed_key(key, sizeof key, KEY_DOTX, i);
        coor_store[i].x = text_read_int(snap.text, SEC_COORDINATE, key, 0);
        indexed_key(key, sizeof key, KEY_DOTY, i);
        coor_store[i].y = text_read_int(snap.text, SEC_COORDINATE, key, 1);
    }
}

void config_read_hotkeys(const ConfigSnapshot& snap, Pos KeyPos[EDGE_KEY_COUNT]) {
    read_table(snap, SEC_HOTKEY, KEY_KEYX, KEY_KEYY, KeyPos);
}

void config_read_hotkey_sections(const ConfigSnapshot& snap, Pos KeyPos[EDGE_KEY_COUNT]) {
    char section[16];
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) {
        indexed_key(section, sizeof section, SEC_HOTKEY, i);
        KeyPos[i] = read_pos(snap, section, KEY_KEYX, KEY_KEYY);
    }
}

void config_read_qm_keys(const ConfigSnapshot& snap, Pos QMKeyPos[EDGE_KEY_COUNT]) {
    read_table(snap, SEC_QMEDGETAB, KEY_QMKEYX, KEY_QMKEYY, QMKeyPos);
}

std::string config_monitor(const ConfigSnapshot& snap) {
    char name[MONITOR_NAME_MAX + 1] = {0};
    text_read_string(snap.text, SEC_MONITOR, KEY_MONITOR_NAME, name, sizeof name, nullptr);
    return name;
}

bool monitor_name_storable(const std::string& name) {
    return name.size() <= size_t(MONITOR_NAME_MAX) &&
           std::none_of(name.begin(), name.end(), [](char c) {
               const auto b = static_cast<unsigned char>(c);
               return b < 0x20 || b == 0x7F || b == 0xFF;
           });
}

int format_twenty_block(char* out, int size, const Pos dots[MAX_DOTS]) {
    int len = snprintf(out, size, "%s=%d\n", KEY_DOTNUM, MAX_DOTS);
    for (int i = MAX_DOTS - 1; i >= 0 && len >= 0 && len < size; --i) {
        int n = snprintf(out + len, size - len, "%s%d=%d\n%s%d=%d\n", KEY_DOTX, i, dots[i].x,
                         KEY_DOTY, i, dots[i].y);
        len = n < 0 ? -1 : len + n;
    }
    return len >= 0 && len < size ? len : -1;
}

int config_store_calibration(int count, const Pos dots[], const char* monitor) {
    if (monitor != nullptr && !monitor_name_storable(monitor)) return 0;
    IniEdit edit(CONFIG_FILE);
    char text[16];
    snprintf(text, sizeof text, "%d", count);
    if (count == MAX_DOTS) {
        char block[1024];
        if (format_twenty_block(block, sizeof block, dots) < 0 ||
            !edit.replace_body(SEC_COORDINATE, SEC_HOTKEY, block, TWOTY_TOOL_LIMITS)) {
            // No place for the block: the same keys in the block's order.
            edit.set(SEC_COORDINATE, KEY_DOTNUM, text);
            for (int i = MAX_DOTS - 1; i >= 0; --i)
                set_pair(edit, SEC_COORDINATE, KEY_DOTX, KEY_DOTY, i, dots[i]);
        }
    } else {
        edit.set(SEC_COORDINATE, KEY_DOTNUM, text);
        for (int i = 0; i < count && i < MAX_DOTS; ++i)
            set_pair(edit, SEC_COORDINATE, KEY_DOTX, KEY_DOTY, i, dots[i]);
    }
    // After the points, so that the section never comes between the block
    // and what it is measured against.
    char stored[MONITOR_NAME_MAX + 1];
    if (monitor != nullptr)
        edit.set(SEC_MONITOR, KEY_MONITOR_NAME, monitor);
    else if (edit.get(SEC_MONITOR, KEY_MONITOR_NAME, stored, sizeof stored) && stored[0] != '\0')
        edit.set(SEC_MONITOR, KEY_MONITOR_NAME, "");
    return edit.commit();
}

int config_store_edge_keys(const Pos KeyPos[EDGE_KEY_COUNT], const Pos QMKeyPos[EDGE_KEY_COUNT]) {
    IniEdit edit(CONFIG_FILE);
    set_table(edit, SEC_HOTKEY, KEY_KEYX, KEY_KEYY, KeyPos) &&
        set_table(edit, SEC_QMEDGETAB, KEY_QMKEYX, KEY_QMKEYY, QMKeyPos);
    return edit.commit();
}
