#include "store.h"

#include <signal.h>

#include <cstdio>

#include "config.h"
#include "inifile.h"
#include "paths.h"
#include "registry.h"

namespace {

int store_points_one_by_one(int Orient_Dots, const Pos KeyPos[]) {
    char text[16];
    snprintf(text, sizeof text, "%d", Orient_Dots);
    if (!write_profile_string(SEC_COORDINATE, KEY_DOTNUM, text, CONFIG_FILE)) {
        puts("write name dotNum pair to ini file fail");
        return 0;
    }
    for (int k = 0; k < Orient_Dots; ++k) {
        printf("存储的数据......x:[%d]:%d.....y[%d]:%d\n", k, KeyPos[k].x, k, KeyPos[k].y);
        if (!config_write_pair(SEC_COORDINATE, KEY_DOTX, KEY_DOTY, k, KeyPos[k])) {
            printf("%d:2write name pair to ini file fail\n", k);
            return 0;
        }
    }
    return 1;
}

}  // namespace

int store_calibration(int Orient_Dots, const Pos KeyPos[]) {
    if (Orient_Dots == MAX_DOTS) {
        if (!config_store_twenty(KeyPos)) return 0;
        registry_signal(KEY_QUILLD, SIGUSR2);
        return 1;
    }
    if (!store_points_one_by_one(Orient_Dots, KeyPos)) return 0;
    registry_signal(KEY_QUILLD, SIGUSR2);
    puts(".......................");
    return 1;
}
