#include "key_table.h"

#include <cstdio>

#include "geometry/pixel.h"
#include "protocol/edge_keys.h"
#include "store/paths.h"

namespace {

constexpr double LEFT_COLUMN = 0.3;
constexpr double RIGHT_COLUMN_END = 0.7;
constexpr double FIRST_ROW = 0.1;
constexpr double ROWS_SPAN = 0.8;

}  // namespace

void layout_keys(double width, double height, Pos PosArray[EDGE_KEY_COUNT]) {
    constexpr int half = EDGE_KEY_COUNT / 2;
    const double ScrLeftX = width * LEFT_COLUMN;
    const double ScrLeftY = height * FIRST_ROW;
    const double Grid_Height = height * ROWS_SPAN / (half - 1);
    const double centre_offset = KEY_IMAGE_SIZE / 2;
    for (int i = 0; i < half; ++i) {
        const int y = to_pixel(i * Grid_Height + ScrLeftY - centre_offset);
        PosArray[i] = {to_pixel(ScrLeftX), y};
        PosArray[i + half] = {to_pixel(width * RIGHT_COLUMN_END - KEY_IMAGE_SIZE), y};
    }
}

void key_image_file(int key, int state, char* out, int size) {
    if (key == 0 && state == KEY_IDLE) state = KEY_ACTIVE;
    snprintf(out, size, "%s%s%d.bmp", EDGETAB_RES_DIR, kEdgeKeys[key % EDGE_KEY_FUNCTIONS].stem,
             state);
}
