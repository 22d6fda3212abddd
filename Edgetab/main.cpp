// Edgetab, the edge-key setup tool: start-up, taking the board from the
// service, the single-instance lock, the release and the hand-back.
#include <fcntl.h>
#include <glib-unix.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core_log.h"
#include "edgetab.h"
#include "fileio.h"
#include "msg_file.h"
#include "paths.h"
#include "registry.h"
#include "serial.h"

std::atomic<int> bRun{1};
std::atomic<int> bJudge{0};
std::atomic<int> EQ_fd{0};
int c_f = 0;
pthread_t com_thread;
Pos PosArray[EDGE_KEY_COUNT];
KeyCapture g_capture;

namespace {

int Quilld_pid = -1;
int Orient_Pid = -1;

[[noreturn]] void refuse_without_service() {
    char text[TEXT_SIZE] = {0};
    read_text(SEC_EDGETAB_MSG, MSG_S_START, text);
    Create_Msg_Window(MSG_WARNING, text);
    registry_clear(KEY_EDGETAB);
    exit(0);
}

void take_lock() {
    // Inheritable on purpose: after the change into the warning program the
    // lock stays held by that process.
    c_f = take_instance_lock(EDGETAB_LOCK, false);
    if (c_f < 0) exit(1);
}

void show_port_failure() {
    char first[TEXT_SIZE] = {0};
    char second[TEXT_SIZE] = {0};
    read_text(SEC_EDGETAB_MSG, MSG_S_NOT_OPEN, first);
    read_text(SEC_EDGETAB_MSG, MSG_S_FILE, second);
    char text[TEXT_SIZE];
    format_utf8(text, sizeof text, "%s\n%s\n", first, second);
    msg_window_create(MSG_ERROR, text);
}

}  // namespace

void exitProcess() {
    bRun = 0;
    bJudge = 0;
    registry_clear(KEY_EDGETAB);
    release_instance_lock(c_f, EDGETAB_LOCK);
    close_port_once(EQ_fd, false);
}

void hand_back() {
    // A short-lived child reads the registry afresh and tells the service to
    // reload.
    if (registry_signal_from_child(KEY_QUILLD, SIGUSR2) != 0) {
        write_core("Slatrix_QM_RV:Create ReOrient pid error");
        exit(1);
    }
    if (gtk_main_level() > 0) gtk_main_quit();
    exit(0);
}

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    bind_message_domain();
    InitData();
    registry_write_self(KEY_EDGETAB);
    Quilld_pid = registry_read(KEY_QUILLD);
    Orient_Pid = registry_read(KEY_ZURAZE);
    // The reader thread raises these in the own process; their GTK work runs
    // on the GUI thread.
    g_unix_signal_add(SIGUSR2, change_keyimage, nullptr);
    g_unix_signal_add(SIGUSR1, showGUI, nullptr);
    gtk_init(&argc, &argv);

    if (Quilld_pid < 0) refuse_without_service();
    if (Quilld_pid > 0) registry_signal_pid(Quilld_pid, KEY_QUILLD, SIGUSR1);
    if (Orient_Pid > 0) registry_signal_pid(Orient_Pid, KEY_ZURAZE, SIGTERM);
    puts("after kill signal");

    take_lock();
    EQ_fd = Open_EQ(false);
    if (EQ_fd > 0) {
        bRun = 1;
        bJudge = 1;
        // Nobody waits for the capture thread: it ends with the port.
        if (pthread_create(&com_thread, nullptr, thread_funCom, reinterpret_cast<void*>(10)) == 0)
            pthread_detach(com_thread);
    } else {
        bRun = 0;
        bJudge = 0;
        exitProcess();
        show_port_failure();
    }
    gtk_main();
    return 0;
}
