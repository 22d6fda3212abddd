// Bareedge: this board has no edge keys to set up.
#include "store/paths.h"
#include "tool/msg_file.h"
#include "warning_window.h"

namespace {

void compose_body(char* body, int size) {
    char no_keys[WARNING_TEXT_SIZE] = {0};
    char nothing_to_set[WARNING_TEXT_SIZE] = {0};
    read_msg_utf8(SEC_EDGETAB_MSG, MSG_S_HASN_HOT, no_keys, sizeof no_keys);
    read_msg_utf8(SEC_EDGETAB_MSG, MSG_S_SETING, nothing_to_set, sizeof nothing_to_set);
    // Two texts at full length do not fit the body.
    format_utf8(body, size, "%s,\n%s\n", no_keys, nothing_to_set);
}

}  // namespace

int main(int argc, char** argv) { return run_warning_window(argc, argv, compose_body); }
