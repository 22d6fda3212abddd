#include "store.h"

#include <cstdio>

#include "store/config.h"
#include "store/paths.h"

namespace {

void trace_table(const char* x_prefix, const char* y_prefix, const Pos table[EDGE_KEY_COUNT]) {
    for (int i = 0; i < EDGE_KEY_COUNT; ++i)
        printf("......%s%d:%d,%s%d:%d\n", x_prefix, i, table[i].x, y_prefix, i, table[i].y);
}

}  // namespace

int SaveData(const Pos KeyPos[EDGE_KEY_COUNT], const Pos QMKeyPos[EDGE_KEY_COUNT]) {
    if (!config_store_edge_keys(KeyPos, QMKeyPos)) {
        // Nothing was stored: the first key is the one that failed.
        printf("%d:2write name pair to ini file fail\n", 0);
        return 0;
    }
    trace_table(KEY_KEYX, KEY_KEYY, KeyPos);
    trace_table(KEY_QMKEYX, KEY_QMKEYY, QMKeyPos);
    return 1;
}
