// Loads a picture the way the tools do and writes its pixels for inspection:
//
//   pixbuf_probe FILE OUT          an image file, through gdk-pixbuf's loaders
//   pixbuf_probe --builtin NAME OUT  iconPix, redPix or greenPix of zuraze_images.h
//
// Prints "WIDTH HEIGHT HAS_ALPHA" and writes OUT as tightly packed 8-bit RGBA
// rows, top-down (opaque pictures get alpha 255).
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdio>
#include <cstring>

#include "zuraze_images.h"

namespace {

GdkPixbuf* builtin(const char* name) {
    using namespace tool_images;
    struct Entry {
        const char* name;
        const guint8* data;
        int width, height;
    };
    const Entry entries[] = {
        {"iconPix", iconPix, iconPixWidth, iconPixHeight},
        {"redPix", redPix, targetPixWidth, targetPixHeight},
        {"greenPix", greenPix, targetPixWidth, targetPixHeight},
    };
    for (const Entry& e : entries)
        if (std::strcmp(e.name, name) == 0)
            return gdk_pixbuf_new_from_data(e.data, GDK_COLORSPACE_RGB, TRUE, 8, e.width,
                                            e.height, 4 * e.width, nullptr, nullptr);
    return nullptr;
}

bool writeRgba(GdkPixbuf* pixbuf, const char* path) {
    GdkPixbuf* rgba = gdk_pixbuf_add_alpha(pixbuf, FALSE, 0, 0, 0);
    const int width = gdk_pixbuf_get_width(rgba);
    const int height = gdk_pixbuf_get_height(rgba);
    const int stride = gdk_pixbuf_get_rowstride(rgba);
    const guchar* pixels = gdk_pixbuf_get_pixels(rgba);
    FILE* out = std::fopen(path, "wb");
    bool ok = out != nullptr;
    for (int y = 0; ok && y < height; ++y)
        ok = std::fwrite(pixels + y * stride, 4, width, out) == static_cast<size_t>(width);
    if (out && std::fclose(out) != 0) ok = false;
    g_object_unref(rgba);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const bool isBuiltin = argc == 4 && std::strcmp(argv[1], "--builtin") == 0;
    if (argc != 3 && !isBuiltin) {
        std::fprintf(stderr, "usage: %s FILE OUT | --builtin NAME OUT\n", argv[0]);
        return 2;
    }
    GError* error = nullptr;
    GdkPixbuf* pixbuf = isBuiltin ? builtin(argv[2]) : gdk_pixbuf_new_from_file(argv[1], &error);
    if (!pixbuf) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[argc - 2],
                     error ? error->message : "no such built-in image");
        return 1;
    }
    std::printf("%d %d %d\n", gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf),
                gdk_pixbuf_get_has_alpha(pixbuf) ? 1 : 0);
    const bool written = writeRgba(pixbuf, argv[argc - 1]);
    g_object_unref(pixbuf);
    if (!written) {
        std::fprintf(stderr, "cannot write %s\n", argv[argc - 1]);
        return 1;
    }
    return 0;
}
