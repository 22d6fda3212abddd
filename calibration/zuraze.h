// The calibration tool's state, one object shared by the GUI thread, the
// capture thread and the signal sources, and the operations its units call
// across each other.
#pragma once

#include <gtk/gtk.h>

#include <vector>

#include "capture.h"
#include "geometry/monitors.h"
#include "protocol/types.h"
#include "store/paths.h"
#include "target_grid.h"
#include "tool/tool_session.h"

struct Zuraze {
    ToolSession session{ZURAZE_LOCK, false, KEY_ZURAZE, KEY_EDGETAB,
                        "Board_QM_RV:Create ReOrient pid error"};
    GridChoice grid{9, 3, 3};  // the user's choice; the capture takes its count at OK
    Pos PosArray[MAX_TARGETS] = {};
    CaptureRule capture{9};
    GdkPixbuf* redPix = nullptr;    // the target to touch
    GdkPixbuf* greenPix = nullptr;  // a captured target
    std::vector<Monitor> monitors;  // of the screen, at start-up
    int monitor = -1;               // the one to calibrate when there are several; -1: the screen

    const Monitor* chosen_monitor() const {
        return monitors.size() > 1 && monitor >= 0 && monitor < int(monitors.size())
                   ? &monitors[monitor]
                   : nullptr;
    }
};
extern Zuraze zuraze;

// main: hand-over, endings, clean-up.
void on_btnOk_clicked(GtkWidget* button, gpointer data);
void on_btnCancel_clicked(GtkWidget* button, gpointer data);
void exitProcess();
void escape_pressed();  // the Escape ending
gboolean on_windowFull_delete_event(GtkWidget* widget, GdkEvent* event, gpointer data);

// windows: the settings window, the calibration window, the error box.
void init_window_create();
void hide_settings_window();
void on_radio_clicked(GtkWidget* button, gpointer kind);
void orient_window_create();
void hide_calibration_window();
// Target done turns green, the one after it red.
void show_target_done(int done);
// Target k turns red again, every other green: k is asked for once more.
void show_target_again(int k);
// The message band shows the text of the message key.
void show_band_text(const char* key);
void msg_window_create();
gboolean on_windowFull_key_press_event(GtkWidget* widget, GdkEventKey* event, gpointer data);

// about_window: the about box and the hidden credits box.
void on_btnAbout_clicked(GtkWidget* button, gpointer data);
void about_window_create();
void update_widget_bg(GtkWidget* widget, const char* img_file);
void BossMsg();

// Texts of the message file, read into a caller's buffer of TEXT_SIZE bytes;
// a text cut by the buffer loses an incomplete last character as well.
constexpr int TEXT_SIZE = 100;
void read_text(const char* key, char* buf, int size = TEXT_SIZE);
