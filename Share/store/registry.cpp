#include "store/registry.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "store/fileio.h"
#include "store/inifile.h"
#include "store/paths.h"

namespace {

bool comm_is(int pid, const char* key) {
    const std::string comm = process_name(pid);
    if (comm.empty()) return false;
    if (comm == key) return true;
    return strcmp(key, KEY_QUILLD) == 0 && comm == QUILLD_COMPACT_NAME;
}

int write_id(const char* key, int id) {
    char text[16];
    snprintf(text, sizeof text, "%d", id);
    return write_profile_string(SEC_PID, key, text, CONFIG_FILE);
}

}  // namespace

int registry_read(const char* key) { return read_profile_int(SEC_PID, key, -1, CONFIG_FILE); }

int registry_write_self(const char* key) { return write_id(key, getpid()); }

int registry_clear(const char* key) { return write_id(key, -1); }

int registry_owns(int pid, const char* key) { return pid > 0 && comm_is(pid, key) ? 1 : 0; }

int registry_signal_pid(int pid, const char* key, int sig) {
    if (!registry_owns(pid, key)) return -1;
    return kill(pid, sig);
}

int registry_signal(const char* key, int sig) {
    return registry_signal_pid(registry_read(key), key, sig);
}

int registry_signal_from_child(const char* key, int sig) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        registry_signal(key, sig);
        _exit(0);
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return 0;
}
