#include "images.h"

#include "zuraze_images.h"

namespace {

GdkPixbuf* from_rgba(const guint8* data, int width, int height) {
    // The data is static, so the pixbuf may point into it.
    return gdk_pixbuf_new_from_data(data, GDK_COLORSPACE_RGB, TRUE, 8, width, height, 4 * width,
                                    nullptr, nullptr);
}

}  // namespace

GdkPixbuf* builtin_red_target() {
    return from_rgba(tool_images::redPix, tool_images::targetPixWidth,
                     tool_images::targetPixHeight);
}

GdkPixbuf* builtin_green_target() {
    return from_rgba(tool_images::greenPix, tool_images::targetPixWidth,
                     tool_images::targetPixHeight);
}

void set_builtin_icon(GtkWindow* window) {
    GdkPixbuf* icon =
        from_rgba(tool_images::iconPix, tool_images::iconPixWidth, tool_images::iconPixHeight);
    if (icon == nullptr) return;
    gtk_window_set_icon(window, icon);
    g_object_unref(icon);
}
