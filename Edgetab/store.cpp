#include "store.h"

#include <cstdio>

#include "config.h"
#include "paths.h"

namespace {

int store_table(const char* section, const char* x_prefix, const char* y_prefix,
                const Pos table[EDGE_KEY_COUNT]) {
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) {
        printf("......%s%d:%d,%s%d:%d\n", x_prefix, i, table[i].x, y_prefix, i, table[i].y);
        if (!config_write_pair(section, x_prefix, y_prefix, i, table[i])) {
            printf("%d:2write name pair to ini file fail\n", i);
            return 0;
        }
    }
    return 1;
}

}  // namespace

int SaveData(const Pos KeyPos[EDGE_KEY_COUNT], const Pos QMKeyPos[EDGE_KEY_COUNT]) {
    return store_table(SEC_HOTKEY, KEY_KEYX, KEY_KEYY, KeyPos) &&
           store_table(SEC_QMEDGETAB, KEY_QMKEYX, KEY_QMKEYY, QMKeyPos);
}
