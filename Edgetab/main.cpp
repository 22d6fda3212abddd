// Edgetab, the edge-key setup tool: start-up, taking the board from the
// service, the single-instance lock, the release and the hand-back.
#include <glib-unix.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "edgetab.h"
#include "store/paths.h"
#include "store/registry.h"
#include "tool/msg_file.h"
#include "tool/tool_screen.h"

Edgetab edgetab;

namespace {

[[noreturn]] void refuse_without_service() {
    char text[TEXT_SIZE] = {0};
    read_text(SEC_EDGETAB_MSG, MSG_S_START, text);
    Create_Msg_Window(MSG_WARNING, text);
    registry_clear(KEY_EDGETAB);
    exit(0);
}

void show_port_failure() {
    char first[TEXT_SIZE] = {0};
    char second[TEXT_SIZE] = {0};
    read_text(SEC_EDGETAB_MSG, MSG_S_NOT_OPEN, first);
    read_text(SEC_EDGETAB_MSG, MSG_S_FILE, second);
    char text[TEXT_SIZE];
    format_utf8(text, sizeof text, "%s\n%s\n", first, second);
    run_message_box(MSG_ERROR, text);
}

}  // namespace

void exitProcess() { edgetab.session.release(); }

void hand_back() {
    if (!edgetab.session.tell_service_to_reload()) exit(1);
    if (gtk_main_level() > 0) gtk_main_quit();
    exit(0);
}

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    bind_message_domain();
    InitData();
    ToolSession& session = edgetab.session;
    session.register_self();
    session.read_peers();
    // The reader thread raises these in the own process; their GTK work runs
    // on the GUI thread.
    g_unix_signal_add(SIGUSR2, change_keyimage, nullptr);
    g_unix_signal_add(SIGUSR1, showGUI, nullptr);
    gtk_init(&argc, &argv);
    tool_on_xwayland();
    lay_out_keys();

    if (session.service_pid < 0) refuse_without_service();
    session.take_board_from_peers();
    puts("after kill signal");

    if (!session.take_lock()) exit(1);
    if (session.open_port()) {
        session.run = 1;
        session.judge = 1;
        session.start_reader(thread_funCom);
    } else {
        exitProcess();
        show_port_failure();
    }
    gtk_main();
    return 0;
}
