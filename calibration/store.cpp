#include "store.h"

#include <signal.h>

#include <cstdio>

#include "store/config.h"
#include "store/paths.h"
#include "store/registry.h"

int store_calibration(int Orient_Dots, const Pos KeyPos[], const char* monitor) {
    if (!config_store_calibration(Orient_Dots, KeyPos, monitor)) {
        // Nothing of it was stored: the first write is the one that failed.
        puts("write name dotNum pair to ini file fail");
        return 0;
    }
    if (Orient_Dots != MAX_DOTS)
        for (int k = 0; k < Orient_Dots; ++k)
            printf("存储的数据......x:[%d]:%d.....y[%d]:%d\n", k, KeyPos[k].x, k, KeyPos[k].y);
    registry_signal(KEY_QUILLD, SIGUSR2);
    if (Orient_Dots != MAX_DOTS) puts(".......................");
    return 1;
}
