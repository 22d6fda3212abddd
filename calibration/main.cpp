// Zuraze, the calibration tool: start-up, the single-instance lock, the
// registry entry, the hand-over of the board on OK, and every ending.
#include <fcntl.h>
#include <glib-unix.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core_log.h"
#include "fileio.h"
#include "funCom.h"
#include "images.h"
#include "msg_file.h"
#include "paths.h"
#include "registry.h"
#include "serial.h"
#include "store.h"
#include "zuraze.h"

int Orient_Dots = 9;
int W_Dot = 3;
int H_Dot = 3;
std::atomic<int> EQ_fd{0};
int c_f = 0;
int Quilld_pid = -1;
int Edgetab_Pid = -1;
std::atomic<int> bRun{0};
std::atomic<int> bJudge{0};
int bCancel = 0;
pthread_t com_thread;
GdkPixbuf* redPix = nullptr;
GdkPixbuf* greenPix = nullptr;
Pos PosArray[MAX_TARGETS];
CaptureRule g_capture{9};

namespace {

GtkBuilder* builder = nullptr;
int shown_targets = 0;  // targets already turned green
bool aborted = false;   // the board's orient key ended the capture

void take_lock() {
    c_f = take_instance_lock(ZURAZE_LOCK, true);
    if (c_f < 0) exit(1);
}

// The service reloads after a finished or aborted calibration; the signal
// comes from a short-lived child that reads the registry afresh.
void signal_service_from_child() {
    if (registry_signal_from_child(KEY_QUILLD, SIGUSR2) != 0) {
        write_core("Board_QM_RV:Create ReOrient pid error");
        exit(1);
    }
}

int SaveData() { return store_calibration(Orient_Dots, g_capture.KeyPos); }

// Nothing was stored, so the service keeps its calibration and is not told
// to reload; the user learns why instead of finding the old mapping.
[[noreturn]] void report_store_failure() {
    gtk_widget_hide(g_window);
    char text[TEXT_SIZE] = {0};
    read_text(MSG_F_NOSAVE, text);
    Create_Msg_Window(MSG_ERROR, text);
    exitProcess();
    exit(1);
}

[[noreturn]] void finish_calibration() {
    if (!SaveData()) report_store_failure();
    g_usleep(100);
    signal_service_from_child();
    gtk_main_quit();
    exitProcess();
    exit(0);
}

// SIGUSR2 from the capture thread: a target is done. Signals raised close
// together arrive as one, so every target completed since the last call is
// shown.
gboolean change_keyimage(gpointer) {
    const int done = g_capture.cur_key;
    if (done >= Orient_Dots) finish_calibration();
    for (; shown_targets < done; ++shown_targets) {
        ChangeImage(image[shown_targets + 1], 2, shown_targets + 1);
        ChangeImage(image[shown_targets], 1, shown_targets);
    }
    return G_SOURCE_CONTINUE;
}

// SIGUSR1 from the capture thread: the board's orient key.
gboolean exitorient(gpointer) {
    exitProcess();
    signal_service_from_child();
    aborted = true;
    return G_SOURCE_CONTINUE;
}

}  // namespace

void exitProcess() {
    bRun = 0;
    bJudge = 0;
    // After an abort the tool lives on until Escape; by then another
    // instance may hold the lock and the registry entry, which stay its own.
    static bool released = false;
    if (released) return;
    released = true;
    close_port_once(EQ_fd, false);
    release_instance_lock(c_f, ZURAZE_LOCK);
    registry_clear(KEY_ZURAZE);
}

void on_btnOk_clicked(GtkWidget*, gpointer) {
    if (registry_read(KEY_QUILLD) == -1) {
        msg_window_create();
        exitProcess();
        exit(0);
    }
    EQ_fd = Open_EQ(false);
    if (EQ_fd <= 0) {
        bRun = 0;
        bJudge = 0;
        msg_window_create();
        return;
    }
    // The tool holds the port before the service lets go of it.
    if (Quilld_pid > 0) registry_signal_pid(Quilld_pid, KEY_QUILLD, SIGUSR1);
    if (Edgetab_Pid > 0) printf("reS=%d\n", registry_signal_pid(Edgetab_Pid, KEY_EDGETAB, SIGTERM));

    gtk_widget_hide(window);
    g_capture.Orient_Dots = Orient_Dots;
    orient_window_create();

    bRun = 1;
    bJudge = 1;
    g_usleep(100000);
    if (pthread_create(&com_thread, nullptr, thread_funCom, reinterpret_cast<void*>(10)) == 0)
        pthread_detach(com_thread);
}

void on_btnCancel_clicked(GtkWidget*, gpointer) {
    bCancel = 1;
    exitProcess();
    gtk_main_quit();
}

void escape_pressed() {
    exitProcess();
    bCancel = 1;
    printf("Escape press bRun=%d bJudge=%d\n", bRun.load(), bJudge.load());
    g_usleep(100000);
    gtk_main_quit();
}

gboolean on_windowFull_delete_event(GtkWidget*, GdkEvent*, gpointer) {
    // Only Escape leaves a running calibration; after an abort a close
    // request of the window manager does as well.
    if (aborted) gtk_main_quit();
    return TRUE;
}

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    bind_message_domain();
    Orient_Dots = 9;
    W_Dot = 3;
    H_Dot = 3;
    // The capture thread raises these in the own process; their work runs
    // on the GUI thread.
    g_unix_signal_add(SIGUSR2, change_keyimage, nullptr);
    g_unix_signal_add(SIGUSR1, exitorient, nullptr);

    gtk_init(&argc, &argv);
    builder = gtk_builder_new();
    gtk_builder_add_from_file(builder, GLADE_FILE, nullptr);  // no window is taken from it
    redPix = builtin_red_target();
    greenPix = builtin_green_target();

    take_lock();
    Quilld_pid = registry_read(KEY_QUILLD);
    Edgetab_Pid = registry_read(KEY_EDGETAB);
    registry_write_self(KEY_ZURAZE);

    init_window_create();
    gtk_main();

    if (redPix) g_object_unref(redPix);
    if (greenPix) g_object_unref(greenPix);
    g_object_unref(builder);
    return 0;
}
