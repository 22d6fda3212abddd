// The edge-key tool's state, one object shared by the GUI thread and the
// reader thread, and the operations its units call across each other.
#pragma once

#include <gtk/gtk.h>

#include "capture.h"
#include "geometry/monitors.h"
#include "protocol/types.h"
#include "store/paths.h"
#include "tool/tool_session.h"

struct Edgetab {
    ToolSession session{EDGETAB_LOCK, true, KEY_EDGETAB, KEY_ZURAZE,
                        "Slatrix_QM_RV:Create ReOrient pid error"};
    Pos PosArray[EDGE_KEY_COUNT] = {};
    Rect screen{0, 0, 0, 0};  // the default screen, probed before GTK starts
    KeyCapture capture;
    // The monitor the calibration was made on, when the screen has several
    // and it is connected: the key window opens there.
    Rect monitor{0, 0, 0, 0};
    bool on_monitor = false;
};
extern Edgetab edgetab;

// main: release and hand-back.
void exitProcess();
[[noreturn]] void hand_back();

// funCom: the screen probe, the reader thread and its loop. The probe may
// end the process, before any window; the keys are laid out once GTK knows
// the monitors: on the calibrated one, if connected, else on the screen.
void InitData();
void lay_out_keys();
void* thread_funCom(void*);
int Connect_EQ(int fd, int v_flags);

// windows: both run on the GUI thread (g_unix_signal_add).
gboolean showGUI(gpointer);
gboolean change_keyimage(gpointer);
void keyset_window_create();
void ref_piximage();
void ChangeImage(GtkWidget* Image, int type, int iUse);
gboolean on_windowFull_key_press_event(GtkWidget* widget, GdkEventKey* event, gpointer user_date);

// Texts of the message file, received in buffers of TEXT_SIZE bytes; a text
// cut by the buffer loses an incomplete last character as well.
constexpr int TEXT_SIZE = 100;
void read_text(const char* section, const char* key, char* buf);
