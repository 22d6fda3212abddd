// Zuraze, the calibration tool: start-up, the single-instance lock, the
// registry entry, the hand-over of the board on OK, and every ending.
#include <glib-unix.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "funCom.h"
#include "geometry/misclick.h"
#include "images.h"
#include "store.h"
#include "store/paths.h"
#include "store/registry.h"
#include "tool/msg_file.h"
#include "tool/tool_screen.h"
#include "zuraze.h"

Zuraze zuraze;

namespace {

int shown_targets = 0;  // targets already turned green
bool aborted = false;   // the board's orient key ended the capture

int SaveData() {
    const Monitor* on = zuraze.chosen_monitor();
    return store_calibration(zuraze.grid.Orient_Dots, zuraze.capture.KeyPos,
                             on ? on->name.c_str() : nullptr);
}

// Nothing was stored, so the service keeps its calibration and is not told
// to reload; the user learns why instead of finding the old mapping.
[[noreturn]] void report_store_failure() {
    hide_calibration_window();
    char text[TEXT_SIZE] = {0};
    read_text(MSG_F_NOSAVE, text);
    Create_Msg_Window(MSG_ERROR, text);
    exitProcess();
    exit(1);
}

[[noreturn]] void finish_calibration() {
    if (!SaveData()) report_store_failure();
    g_usleep(100);
    // The service reloads after a finished or aborted calibration.
    if (!zuraze.session.tell_service_to_reload()) exit(1);
    gtk_main_quit();
    exitProcess();
    exit(0);
}

// The set as a whole does not fit together: nothing is stored, and the
// service keeps its calibration. The message file has no room for this text.
[[noreturn]] void report_inconsistent_set() {
    hide_calibration_window();
    run_message_box(MSG_ERROR,
                    "The touches do not fit together, so nothing was saved. Calibrate again, "
                    "touching the middle of each red point.");
    exitProcess();
    exit(1);
}

// Every target measured: stored when the points fit together; one clearly
// off is asked for once more.
void judge_the_set() {
    static bool asked_again = false;
    CaptureRule& capture = zuraze.capture;
    const int count = zuraze.grid.Orient_Dots;
    const int off = find_misclick(grid_size(count), capture.KeyPos, count);
    if (off == -1) finish_calibration();
    if (off < 0 || asked_again) report_inconsistent_set();
    asked_again = true;
    printf("target %d asked again\n", off);
    show_target_again(off);
    show_band_text(MSG_O_AGAIN);
    capture.ask_again(off);
}

// SIGUSR2 from the capture thread: a target is done, or its point was not
// taken. Signals raised close together arrive as one, so every target
// completed since the last call is shown.
gboolean change_keyimage(gpointer) {
    static int shown_refusals = 0;
    CaptureRule& capture = zuraze.capture;
    const int done = capture.cur_key;
    const int refused = capture.refused;
    if (done >= zuraze.grid.Orient_Dots) {
        if (capture.again < 0) judge_the_set();
        return G_SOURCE_CONTINUE;
    }
    if (shown_targets < done) {
        for (; shown_targets < done; ++shown_targets) show_target_done(shown_targets);
        show_band_text(MSG_O_ORIMSG);
    } else if (refused != shown_refusals) {
        printf("target %d asked again\n", done);
        show_band_text(MSG_O_AGAIN);
    }
    shown_refusals = refused;
    return G_SOURCE_CONTINUE;
}

// SIGUSR1 from the capture thread: the board's orient key.
gboolean exitorient(gpointer) {
    exitProcess();
    if (!zuraze.session.tell_service_to_reload()) exit(1);
    aborted = true;
    return G_SOURCE_CONTINUE;
}

}  // namespace

// After an abort the tool lives on until Escape; by then another instance
// may hold the lock and the registry entry, which stay its own.
void exitProcess() { zuraze.session.release(); }

void on_btnOk_clicked(GtkWidget*, gpointer) {
    ToolSession& session = zuraze.session;
    if (registry_read(KEY_QUILLD) == -1) {
        msg_window_create();
        exitProcess();
        exit(0);
    }
    if (!session.open_port()) {
        session.run = 0;
        session.judge = 0;
        msg_window_create();
        return;
    }
    const int ended = session.take_board_from_peers();
    if (session.other_pid > 0) printf("reS=%d\n", ended);

    hide_settings_window();
    zuraze.capture.Orient_Dots = zuraze.grid.Orient_Dots;
    orient_window_create();

    session.run = 1;
    session.judge = 1;
    g_usleep(100000);
    session.start_reader(thread_funCom);
}

void on_btnCancel_clicked(GtkWidget*, gpointer) {
    exitProcess();
    gtk_main_quit();
}

void escape_pressed() {
    exitProcess();
    printf("Escape press bRun=%d bJudge=%d\n", zuraze.session.run.load(),
           zuraze.session.judge.load());
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
    // The capture thread raises these in the own process; their work runs
    // on the GUI thread.
    g_unix_signal_add(SIGUSR2, change_keyimage, nullptr);
    g_unix_signal_add(SIGUSR1, exitorient, nullptr);

    gtk_init(&argc, &argv);
    zuraze.monitors = tool_monitors();
    zuraze.redPix = builtin_red_target();
    zuraze.greenPix = builtin_green_target();

    if (!zuraze.session.take_lock()) exit(1);
    zuraze.session.read_peers();
    zuraze.session.register_self();

    init_window_create();
    gtk_main();

    if (zuraze.redPix) g_object_unref(zuraze.redPix);
    if (zuraze.greenPix) g_object_unref(zuraze.greenPix);
    return 0;
}
