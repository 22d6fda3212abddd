// The about box with its background picture, and the hidden credits box.
#include <cstring>

#include "images.h"
#include "store/paths.h"
#include "tool/msg_file.h"
#include "zuraze.h"

namespace {

constexpr int ABOUT_TEXT_SIZE = 500;  // at most 499 bytes of text

// The about box's keys, in the order of their lines.
const char* const ABOUT_KEYS[] = {MSG_A_CPM, MSG_A_ADD, MSG_A_TEL, MSG_A_FAX, MSG_A_WEB};

void on_closebutton1_clicked(GtkWidget*, gpointer dialog) {
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

// The maker's lines; markup in the message file takes effect here only.
void set_about_text(GtkWidget* label) {
    char text[TEXT_SIZE] = {0};
    char about[ABOUT_TEXT_SIZE] = {0};
    for (const char* key : ABOUT_KEYS) {
        read_text(key, text);
        if (key != ABOUT_KEYS[0]) g_strlcat(about, "\n", sizeof about);
        g_strlcat(about, text, sizeof about);
    }
    keep_whole_utf8(about);
    // Text that is not valid markup is shown as it is.
    if (pango_parse_markup(about, -1, 0, nullptr, nullptr, nullptr, nullptr))
        gtk_label_set_markup(GTK_LABEL(label), about);
    else
        gtk_label_set_text(GTK_LABEL(label), about);
}

}  // namespace

void update_widget_bg(GtkWidget* widget, const char* img_file) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(img_file, nullptr);
    if (pixbuf == nullptr) return;
    GdkPixmap* pixmap = nullptr;
    gdk_pixbuf_render_pixmap_and_mask(pixbuf, &pixmap, nullptr, 0);
    GtkStyle* style = gtk_style_copy(gtk_widget_get_style(widget));
    if (style->bg_pixmap[GTK_STATE_NORMAL]) g_object_unref(style->bg_pixmap[GTK_STATE_NORMAL]);
    style->bg_pixmap[GTK_STATE_NORMAL] = GDK_PIXMAP(g_object_ref(pixmap));
    gtk_widget_set_style(widget, style);
    g_object_unref(pixbuf);
    g_object_unref(pixmap);
    g_object_unref(style);
}

void on_btnAbout_clicked(GtkWidget*, gpointer) { about_window_create(); }

void about_window_create() {
    GtkWidget* dialog = gtk_dialog_new();
    gtk_window_set_title(GTK_WINDOW(dialog), "About us");
    gtk_widget_set_size_request(dialog, 510, 200);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    set_builtin_icon(GTK_WINDOW(dialog));
    gtk_widget_grab_focus(dialog);
    gtk_widget_show(dialog);

    GtkWidget* fixed = gtk_fixed_new();
    gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), fixed, TRUE, TRUE, 0);
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_widget_set_size_request(label, 510, 130);
    PangoFontDescription* font = pango_font_description_from_string("Sans 10");
    gtk_widget_modify_font(label, font);
    pango_font_description_free(font);
    gtk_misc_set_alignment(GTK_MISC(label), 0.5, 0.5);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_LEFT);
    set_about_text(label);
    gtk_fixed_put(GTK_FIXED(fixed), label, 2, 40);

    GtkWidget* actions = GTK_DIALOG(dialog)->action_area;
    gtk_widget_set_size_request(actions, -1, 30);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(actions), GTK_BUTTONBOX_END);
    GtkWidget* ok = gtk_button_new_from_stock(GTK_STOCK_OK);
    gtk_widget_set_size_request(ok, -1, 30);
    GTK_WIDGET_SET_FLAGS(ok, GTK_CAN_DEFAULT);
    gtk_dialog_add_action_widget(GTK_DIALOG(dialog), ok, GTK_RESPONSE_CLOSE);
    g_signal_connect(ok, "clicked", G_CALLBACK(on_closebutton1_clicked), dialog);

    update_widget_bg(dialog, IMAGE_LOGO);
    gtk_widget_show_all(dialog);
}

void BossMsg() {
    GtkWidget* box = gtk_message_dialog_new(
        nullptr, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s",
        "Board calibration, made by the whiteboard driver team\n"
        "Written at the board workshop\n"
        "Authors: the calibration, service and edge-key developers");
    set_builtin_icon(GTK_WINDOW(box));
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}
