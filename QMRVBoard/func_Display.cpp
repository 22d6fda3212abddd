#include "func_Display.h"

#include "x/x_screen.h"

void valu_mdisplay(Display* mdisplay, int* display_width, int* display_height, int or_flags,
                   point myposition[MAX_DOTS]) {
    const Rect screen = screen_rect(mdisplay);
    *display_width = screen.width;
    *display_height = screen.height;
    lay_out_grid(or_flags, *display_width, *display_height, myposition);
}
