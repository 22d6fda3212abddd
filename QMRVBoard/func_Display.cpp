#include "func_Display.h"

void valu_mdisplay(Display* mdisplay, int* display_width, int* display_height, int or_flags,
                   point myposition[MAX_DOTS]) {
    const int screen = DefaultScreen(mdisplay);
    *display_width = DisplayWidth(mdisplay, screen);
    *display_height = DisplayHeight(mdisplay, screen);
    lay_out_grid(or_flags, *display_width, *display_height, myposition);
}
