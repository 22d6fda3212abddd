// What the tool shows: the full-screen key window with the 28 key pictures,
// the reactions to the reader thread's signals, Escape, and the message box.
#include <cstdio>
#include <cstring>

#include "edgetab.h"
#include "key_table.h"
#include "store.h"
#include "store/paths.h"
#include "tool/msg_file.h"
#include "tool/tool_screen.h"

namespace {

GtkWidget* Orient_Fixed = nullptr;
GtkWidget* image[EDGE_KEY_COUNT] = {};      // idle
GtkWidget* Image_Arr[EDGE_KEY_COUNT] = {};  // active
GtkWidget* Image_Frr[EDGE_KEY_COUNT] = {};  // done
int shown_keys = 0;                         // keys whose done picture is up

constexpr unsigned KEY_ESCAPE = 0xFF1B;
constexpr int FRAME_PADDING = 10;

GtkWidget* key_image(int key, int state) {
    char file[128];
    key_image_file(key, state, file, sizeof file);
    return gtk_image_new_from_file(file);
}

// Signals raised close together arrive as one: every key learnt since the
// last call is shown. Before the window exists there is nothing to update.
void show_learnt_keys() {
    if (Orient_Fixed == nullptr) return;
    const int learnt = edgetab.capture.cur_key;
    for (; shown_keys < learnt && shown_keys < EDGE_KEY_COUNT - 1; ++shown_keys) {
        ChangeImage(image[shown_keys], KEY_DONE, shown_keys);
        ChangeImage(image[shown_keys + 1], KEY_ACTIVE, shown_keys + 1);
    }
}

[[noreturn]] void finish_teaching() {
    for (int i = 0; i < EDGE_KEY_COUNT; ++i)
        printf("获取KeyPos的值.......%d:(%d,%d)\n", i, edgetab.capture.KeyPos[i].x,
               edgetab.capture.KeyPos[i].y);
    exitProcess();
    if (!SaveData(edgetab.capture.KeyPos, edgetab.capture.QMKeyPos)) {
        // Nothing was stored: the service keeps its keys and is not told to
        // reload; the user learns why.
        gtk_widget_hide(gtk_widget_get_toplevel(Orient_Fixed));
        char text[TEXT_SIZE] = {0};
        read_text(SEC_EDGETAB_MSG, MSG_F_NOSAVE, text);
        run_message_box(MSG_ERROR, text);
        exit(1);
    }
    g_usleep(200 * 1000);
    hand_back();
}

}  // namespace

void read_text(const char* section, const char* key, char* buf) {
    read_msg_utf8(section, key, buf, TEXT_SIZE);
}

gboolean showGUI(gpointer) {
    if (edgetab.capture.kind.iRealEdgetab == 0) {
        puts("===========================");
        keyset_window_create();
    } else {
        puts("###############################3333");
        exitProcess();
        puts("================要修改");
    }
    return G_SOURCE_CONTINUE;
}

gboolean change_keyimage(gpointer) {
    if (edgetab.capture.cur_key >= EDGE_KEY_COUNT) finish_teaching();
    show_learnt_keys();
    return G_SOURCE_CONTINUE;
}

void keyset_window_create() {
    if (Orient_Fixed != nullptr) return;  // one identification per run
    GtkWidget* window = nullptr;
    GtkWidget* vbox = full_screen_window(G_CALLBACK(on_windowFull_key_press_event), &window,
                                         edgetab.on_monitor ? &edgetab.monitor : nullptr);

    GtkWidget* frame = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_ETCHED_OUT);
    Orient_Fixed = gtk_fixed_new();
    gtk_fixed_set_has_window(GTK_FIXED(Orient_Fixed), TRUE);
    gtk_widget_set_size_request(Orient_Fixed, 30, 30);
    gtk_container_add(GTK_CONTAINER(frame), Orient_Fixed);
    gtk_box_pack_start(GTK_BOX(vbox), frame, TRUE, TRUE, FRAME_PADDING);

    char text[TEXT_SIZE] = {0};
    read_text(SEC_ORIENT_WINDOW, MSG_O_ORIMSG, text);
    GtkWidget* label = gtk_label_new(text);
    gtk_fixed_put(GTK_FIXED(Orient_Fixed), label, 0, 0);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_LEFT);

    ref_piximage();
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) {
        gtk_widget_set_size_request(image[i], KEY_IMAGE_SIZE, KEY_IMAGE_SIZE);
        gtk_fixed_put(GTK_FIXED(Orient_Fixed), image[i], edgetab.PosArray[i].x,
                      edgetab.PosArray[i].y);
        gtk_widget_show(image[i]);
    }

    gtk_widget_show_all(window);
    // Keys learnt before the window existed.
    show_learnt_keys();
}

void ref_piximage() {
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) {
        image[i] = key_image(i, KEY_IDLE);
        // Kept until placed: the window takes them over then.
        Image_Arr[i] = GTK_WIDGET(g_object_ref_sink(key_image(i, KEY_ACTIVE)));
        Image_Frr[i] = GTK_WIDGET(g_object_ref_sink(key_image(i, KEY_DONE)));
    }
}

void ChangeImage(GtkWidget* /*Image*/, int type, int iUse) {
    if (iUse < 0 || iUse >= EDGE_KEY_COUNT || Orient_Fixed == nullptr) return;
    GtkWidget* picture = type == KEY_ACTIVE ? Image_Arr[iUse] : Image_Frr[iUse];
    // Placed on top of the idle picture, which stays underneath.
    if (gtk_widget_get_parent(picture) == nullptr)
        gtk_fixed_put(GTK_FIXED(Orient_Fixed), picture, edgetab.PosArray[iUse].x,
                      edgetab.PosArray[iUse].y);
    gtk_widget_show(picture);
}

gboolean on_windowFull_key_press_event(GtkWidget*, GdkEventKey* event, gpointer) {
    if (event->keyval == KEY_ESCAPE) {
        exitProcess();
        hand_back();
    }
    return FALSE;
}
