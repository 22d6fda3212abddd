// Process-wide state of the calibration tool, shared by the GUI thread, the
// capture thread and the signal sources, and the operations its units call
// across each other.
#pragma once

#include <gtk/gtk.h>
#include <pthread.h>

#include <atomic>

#include "capture.h"
#include "target_grid.h"
#include "types.h"

extern int Orient_Dots;         // 4, 9 or 20
extern int W_Dot;               // columns of the target grid
extern int H_Dot;               // rows
extern std::atomic<int> EQ_fd;  // > 0 while the port is open; -1 once closed
extern int c_f;                 // the lock file; -1 once released
extern int Quilld_pid;          // registry values read at start-up
extern int Edgetab_Pid;
extern std::atomic<int> bRun;    // the capture loop runs while 1
extern std::atomic<int> bJudge;  // 1 until the board has identified itself
extern int bCancel;
extern pthread_t com_thread;
extern GdkPixbuf* redPix;    // the target to touch
extern GdkPixbuf* greenPix;  // a captured target
extern Pos PosArray[MAX_TARGETS];
extern CaptureRule g_capture;  // counters, samples and KeyPos of the capture

// main: hand-over, endings, clean-up.
void on_btnOk_clicked(GtkWidget* button, gpointer data);
void on_btnCancel_clicked(GtkWidget* button, gpointer data);
void exitProcess();
void escape_pressed();  // the Escape ending
gboolean on_windowFull_delete_event(GtkWidget* widget, GdkEvent* event, gpointer data);

// windows: the settings window, the calibration window, the error box.
extern GtkWidget* window;    // the settings window
extern GtkWidget* g_window;  // the calibration window
void init_window_create();
void on_radio_clicked(GtkWidget* button, gpointer kind);
void orient_window_create();
void msg_window_create();
gboolean on_windowFull_key_press_event(GtkWidget* widget, GdkEventKey* event, gpointer data);
void ChangeImage(GtkWidget* Image, int type, int iUse);
extern GtkWidget* image[MAX_TARGETS];

// about_window: the about box and the hidden credits box.
void on_btnAbout_clicked(GtkWidget* button, gpointer data);
void about_window_create();
void update_widget_bg(GtkWidget* widget, const char* img_file);
void BossMsg();

// Texts of the message file, read into a caller's buffer of TEXT_SIZE bytes;
// a text cut by the buffer loses an incomplete last character as well.
constexpr int TEXT_SIZE = 100;
void read_text(const char* key, char* buf, int size = TEXT_SIZE);
