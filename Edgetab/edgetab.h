// Process-wide state of the edge-key tool, shared by the GUI thread and the
// reader thread, and the operations its units call across each other.
#pragma once

#include <gtk/gtk.h>
#include <pthread.h>

#include <atomic>

#include "capture.h"
#include "types.h"

extern std::atomic<int> bRun;    // the capture loop runs while 1
extern std::atomic<int> bJudge;  // 1 while the identification is awaited
extern std::atomic<int> EQ_fd;   // > 0 while the port is open; -1 once closed
extern int c_f;                  // the lock file; -1 once released
extern pthread_t com_thread;
extern Pos PosArray[EDGE_KEY_COUNT];
extern KeyCapture g_capture;

// main: release and hand-back.
void exitProcess();
[[noreturn]] void hand_back();

// funCom: the screen probe, the reader thread and its loop.
void InitData();
void* thread_funCom(void* exitCode);
int Connect_EQ(int fd, int v_flags);

// windows: both run on the GUI thread (g_unix_signal_add).
gboolean showGUI(gpointer);
gboolean change_keyimage(gpointer);
void keyset_window_create();
void ref_piximage();
void ChangeImage(GtkWidget* Image, int type, int iUse);
gboolean on_windowFull_key_press_event(GtkWidget* widget, GdkEventKey* event, gpointer user_date);
int msg_window_create(int type, const char* text);

// Texts of the message file, received in buffers of TEXT_SIZE bytes; a text
// cut by the buffer loses an incomplete last character as well.
constexpr int TEXT_SIZE = 100;
void read_text(const char* section, const char* key, char* buf);
