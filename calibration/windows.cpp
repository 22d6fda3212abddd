// The settings window, the full-screen calibration window with its targets,
// and the error box.
#include <cstdio>
#include <cstring>

#include "funCom.h"
#include "images.h"
#include "keyboard.h"
#include "store/paths.h"
#include "tool/msg_file.h"
#include "tool/tool_screen.h"
#include "x/xwayland.h"
#include "zuraze.h"

namespace {

GtkWidget* window = nullptr;    // the settings window
GtkWidget* fixed1 = nullptr;    // its preview, later the message band
GtkWidget* imageDot = nullptr;  // the preview picture
GtkWidget* g_window = nullptr;  // the calibration window
GtkWidget* band = nullptr;      // its message band's text
GtkWidget* image[MAX_TARGETS] = {};

constexpr int PREVIEW_OFFSET = 10;
constexpr int MESSAGE_INDENT = 10;
constexpr int NOTE_WIDTH = 340;
CreditsKeys credits_keys;

const char* preview_file(int kind) {
    switch (kind) {
        case 1:
            return IMAGE_S4;
        case 2:
            return IMAGE_S9;
        default:
            return IMAGE_S20;
    }
}

void show_preview(int kind) {
    // The new preview replaces the old one, so a smaller picture never
    // leaves the edges of a larger one behind.
    if (imageDot) gtk_widget_destroy(imageDot);
    imageDot = gtk_image_new_from_file(preview_file(kind));
    gtk_widget_show(imageDot);
    gtk_fixed_put(GTK_FIXED(fixed1), imageDot, PREVIEW_OFFSET, PREVIEW_OFFSET);
}

// The settings window is 360 by 230 at least, larger when its texts or the
// preview need it, so nothing is ever cut off.
void at_least_settings_size(GtkWidget*, GtkRequisition* requisition, gpointer) {
    constexpr int border = 2 * 10;
    requisition->width = MAX(requisition->width, 360 - border);
    requisition->height = MAX(requisition->height, 230 - border);
}

GtkWidget* add_radio(GtkWidget* box, GtkWidget* group_member, const char* text, int kind) {
    GSList* group =
        group_member ? gtk_radio_button_get_group(GTK_RADIO_BUTTON(group_member)) : nullptr;
    GtkWidget* radio = gtk_radio_button_new_with_label(group, text);
    g_signal_connect(radio, "released", G_CALLBACK(on_radio_clicked), GINT_TO_POINTER(kind));
    gtk_box_pack_start(GTK_BOX(box), radio, FALSE, FALSE, 5);
    return radio;
}

GtkWidget* add_stock_button(GtkWidget* box, const char* stock, GCallback clicked) {
    GtkWidget* button = gtk_button_new_from_stock(stock);
    g_signal_connect(button, "clicked", clicked, nullptr);
    gtk_container_add(GTK_CONTAINER(box), button);
    return button;
}

void ChangeImage(GtkWidget* Image, int type, int /*iUse*/) {
    gtk_image_set_from_pixbuf(GTK_IMAGE(Image), type == 2 ? zuraze.redPix : zuraze.greenPix);
}

// Notes and the monitor heading are not in the message file: it has no room
// left for them.
void add_note(GtkWidget* box, const char* text) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_widget_set_size_request(label, NOTE_WIDTH, -1);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 5);
}

void on_monitor_changed(GtkComboBox* combo, gpointer) {
    zuraze.monitor = gtk_combo_box_get_active(combo);
    if (const Monitor* m = zuraze.chosen_monitor())
        printf("monitor: %s\n", monitor_label(*m).c_str());
}

// One entry per monitor, by name and size.
GtkWidget* add_monitor_choice(GtkWidget* box) {
    GtkWidget* frame = gtk_frame_new(nullptr);
    GtkWidget* heading = gtk_label_new_with_mnemonic("_Monitor to calibrate");
    gtk_frame_set_label_widget(GTK_FRAME(frame), heading);
    gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_ETCHED_OUT);
    gtk_box_pack_start(GTK_BOX(box), frame, FALSE, FALSE, 5);
    GtkWidget* combo = gtk_combo_box_new_text();
    gtk_label_set_mnemonic_widget(GTK_LABEL(heading), combo);
    for (const Monitor& m : zuraze.monitors)
        gtk_combo_box_append_text(GTK_COMBO_BOX(combo), monitor_label(m).c_str());
    g_signal_connect(combo, "changed", G_CALLBACK(on_monitor_changed), nullptr);
    GtkWidget* pad = gtk_alignment_new(0, 0, 1, 1);
    gtk_alignment_set_padding(GTK_ALIGNMENT(pad), 5, 5, 10, 10);
    gtk_container_add(GTK_CONTAINER(pad), combo);
    gtk_container_add(GTK_CONTAINER(frame), pad);
    return combo;
}

// The default is the monitor that shows the settings window.
void choose_monitor_showing(GtkWidget* combo) {
    int x = 0, y = 0, w = 0, h = 0;
    gtk_window_get_position(GTK_WINDOW(window), &x, &y);
    gtk_window_get_size(GTK_WINDOW(window), &w, &h);
    const Monitor* m = monitor_at(zuraze.monitors, x + w / 2, y + h / 2);
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), int(m - zuraze.monitors.data()));
}

}  // namespace

void read_text(const char* key, char* buf, int size) {
    read_msg_utf8(SEC_ORIENT_WINDOW, key, buf, size);
}

void init_window_create() {
    // One buffer for all lookups: a missing text shows the previous one.
    char text[TEXT_SIZE] = {0};

    read_text(MSG_O_TITLE, text);
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), text);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(window), 10);
    set_builtin_icon(GTK_WINDOW(window));
    g_signal_connect(window, "destroy", G_CALLBACK(on_btnCancel_clicked), nullptr);

    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    g_signal_connect_after(vbox, "size-request", G_CALLBACK(at_least_settings_size), nullptr);
    gtk_container_add(GTK_CONTAINER(window), vbox);
    if (tool_on_xwayland()) add_note(vbox, XWAYLAND_NOTE);

    read_text(MSG_O_CHIS, text);
    GtkWidget* frame = gtk_frame_new(text);
    gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_ETCHED_OUT);
    gtk_box_pack_start(GTK_BOX(vbox), frame, FALSE, FALSE, 5);

    GtkWidget* choice = gtk_hbox_new(FALSE, 10);
    gtk_container_set_border_width(GTK_CONTAINER(choice), 10);
    gtk_container_add(GTK_CONTAINER(frame), choice);

    GtkWidget* radios = gtk_vbox_new(FALSE, 5);
    gtk_container_set_border_width(GTK_CONTAINER(radios), 5);
    gtk_box_pack_start(GTK_BOX(choice), radios, FALSE, FALSE, 0);
    read_text(MSG_O_FOUR, text);
    GtkWidget* four = add_radio(radios, nullptr, text, 1);
    read_text(MSG_O_NIGHT, text);
    GtkWidget* nine = add_radio(radios, four, text, 2);
    read_text(MSG_O_TWOTY, text);
    add_radio(radios, four, text, 3);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(nine), TRUE);

    fixed1 = gtk_fixed_new();
    gtk_box_pack_start(GTK_BOX(choice), fixed1, FALSE, FALSE, 0);
    show_preview(2);

    GtkWidget* monitors = zuraze.monitors.size() > 1 ? add_monitor_choice(vbox) : nullptr;

    // About at the left edge, Cancel at the right, OK between them, whatever
    // the width of their labels.
    GtkWidget* buttons = gtk_hbutton_box_new();
    gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_EDGE);
    gtk_box_set_spacing(GTK_BOX(buttons), 10);
    gtk_container_set_border_width(GTK_CONTAINER(buttons), 3);
    gtk_box_pack_start(GTK_BOX(vbox), buttons, TRUE, TRUE, 0);
    add_stock_button(buttons, GTK_STOCK_ABOUT, G_CALLBACK(on_btnAbout_clicked));
    add_stock_button(buttons, GTK_STOCK_OK, G_CALLBACK(on_btnOk_clicked));
    add_stock_button(buttons, GTK_STOCK_CANCEL, G_CALLBACK(on_btnCancel_clicked));

    gtk_widget_show_all(window);
    if (monitors != nullptr) choose_monitor_showing(monitors);
}

void on_radio_clicked(GtkWidget*, gpointer kind) {
    GridChoice choice;
    if (!grid_choice(GPOINTER_TO_INT(kind), &choice)) return;
    zuraze.grid = choice;
    show_preview(GPOINTER_TO_INT(kind));
}

void orient_window_create() {
    InitData();

    const Monitor* on = zuraze.chosen_monitor();
    GtkWidget* vbox = full_screen_window(G_CALLBACK(on_windowFull_key_press_event), &g_window,
                                         on ? &on->area : nullptr);
    char text[TEXT_SIZE] = {0};
    read_text(MSG_O_ORIMSG, text);

    // The message band: 20 pixels and 5 of padding above and below, which
    // the target layout allows for.
    fixed1 = gtk_fixed_new();
    gtk_widget_set_size_request(fixed1, 10, 20);
    band = gtk_label_new(text);
    gtk_label_set_justify(GTK_LABEL(band), GTK_JUSTIFY_LEFT);
    // A little off the screen's edge, where it reads better.
    gtk_fixed_put(GTK_FIXED(fixed1), band, MESSAGE_INDENT, 0);
    gtk_box_pack_start(GTK_BOX(vbox), fixed1, FALSE, FALSE, 5);

    GtkWidget* area = gtk_fixed_new();
    gtk_fixed_set_has_window(GTK_FIXED(area), TRUE);
    gtk_widget_set_size_request(area, TARGET_SIZE, TARGET_SIZE);
    gtk_box_pack_start(GTK_BOX(vbox), area, TRUE, TRUE, 0);

    for (int k = 0; k < zuraze.grid.Orient_Dots; ++k) {
        image[k] = gtk_image_new_from_file(k == 0 ? IMAGE_RED : IMAGE_GREY);
        gtk_widget_set_size_request(image[k], TARGET_SIZE, TARGET_SIZE);
        const Pos& at = zuraze.PosArray[k];
        gtk_fixed_put(GTK_FIXED(area), image[k], at.x, at.y);
        gtk_widget_show(image[k]);
    }

    g_signal_connect(g_window, "delete_event", G_CALLBACK(on_windowFull_delete_event), nullptr);
    gtk_widget_show_all(g_window);
}

void msg_window_create() {
    char text[TEXT_SIZE] = {0};
    char message[2 * TEXT_SIZE];
    read_text(MSG_A_MESG1, text);
    snprintf(message, sizeof message, "%s\n", text);
    read_text(MSG_A_MESG2, text);
    snprintf(message + strlen(message), sizeof message - strlen(message), "%s", text);

    run_message_box(MSG_ERROR, message, set_builtin_icon);
}

void show_target_done(int done) {
    ChangeImage(image[done + 1], 2, done + 1);
    ChangeImage(image[done], 1, done);
}

void show_target_again(int k) {
    for (int i = 0; i < zuraze.grid.Orient_Dots; ++i) ChangeImage(image[i], i == k ? 2 : 1, i);
}

void show_band_text(const char* key) {
    char text[TEXT_SIZE] = {0};
    read_text(key, text);
    if (band != nullptr) gtk_label_set_text(GTK_LABEL(band), text);
}

void hide_settings_window() { gtk_widget_hide(window); }
void hide_calibration_window() { gtk_widget_hide(g_window); }

gboolean on_windowFull_key_press_event(GtkWidget*, GdkEventKey* event, gpointer) {
    const bool control = (event->state & GDK_CONTROL_MASK) != 0;
    switch (key_pressed(credits_keys, event->keyval, control)) {
        case KeyboardAction::escape:
            escape_pressed();
            break;
        case KeyboardAction::credits:
            BossMsg();
            break;
        case KeyboardAction::none:
            break;
    }
    return FALSE;
}
