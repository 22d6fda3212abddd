#include "tool/msg_file.h"

#include <gtk/gtk.h>
#include <libintl.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "store/inifile.h"
#include "store/paths.h"

void keep_whole_utf8(char* text) {
    const gchar* valid_end = nullptr;
    if (!g_utf8_validate(text, -1, &valid_end)) *const_cast<gchar*>(valid_end) = '\0';
}

int format_utf8(char* out, int size, const char* format, ...) {
    if (size <= 0) return 0;
    va_list args;
    va_start(args, format);
    vsnprintf(out, static_cast<size_t>(size), format, args);
    va_end(args);
    keep_whole_utf8(out);
    return static_cast<int>(strlen(out));
}

int read_msg_utf8(const char* section, const char* key, char* value, int size) {
    const int result = ReadMsg(section, key, value, size, MSG_FILE);
    keep_whole_utf8(value);
    return result;
}

void bind_message_domain() {
    bindtextdomain(MESSAGE_DOMAIN, LOCALE_DIR);
    bind_textdomain_codeset(MESSAGE_DOMAIN, MESSAGE_CODESET);
    textdomain(MESSAGE_DOMAIN);
}

namespace {

GtkMessageType box_type(int type) {
    switch (type) {
        case MSG_ERROR:
            return GTK_MESSAGE_ERROR;
        case MSG_QUESTION:
            return GTK_MESSAGE_QUESTION;
        case MSG_WARNING:
            return GTK_MESSAGE_WARNING;
        default:
            return GTK_MESSAGE_INFO;
    }
}

}  // namespace

void run_message_box(int type, const char* text, void (*dress)(GtkWindow*)) {
    const auto flags =
        static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT);
    // "%s": the text is shown as it is, even when it holds a '%'.
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, flags, box_type(type), GTK_BUTTONS_OK, "%s", text);
    if (dress != nullptr) dress(GTK_WINDOW(dialog));
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

int Create_Msg_Window(int type, const char* text) {
    run_message_box(type, text);
    puts("----------------------");
    return 0;
}
