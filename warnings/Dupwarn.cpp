// Dupwarn: the board service is already running.
#include "store/paths.h"
#include "tool/msg_file.h"
#include "warning_window.h"

namespace {

void compose_body(char* body, int size) {
    char text[WARNING_TEXT_SIZE] = {0};
    read_msg_utf8(SEC_QUILLD_MSG, MSG_B_AL_STAR, text, sizeof text);
    format_utf8(body, size, "%s\n", text);
}

}  // namespace

int main(int argc, char** argv) { return run_warning_window(argc, argv, compose_body); }
