#include "tool/tool_session.h"

#include <pthread.h>
#include <signal.h>

#include "protocol/serial.h"
#include "store/core_log.h"
#include "store/fileio.h"
#include "store/paths.h"
#include "store/registry.h"

bool ToolSession::take_lock() {
    lock_fd = take_instance_lock(lock_path, !lock_inherited);
    return lock_fd >= 0;
}

void ToolSession::register_self() const { registry_write_self(own_key); }

void ToolSession::read_peers() {
    service_pid = registry_read(KEY_QUILLD);
    other_pid = registry_read(other_key);
}

int ToolSession::take_board_from_peers() const {
    if (service_pid > 0) registry_signal_pid(service_pid, KEY_QUILLD, SIGUSR1);
    return other_pid > 0 ? registry_signal_pid(other_pid, other_key, SIGTERM) : -1;
}

bool ToolSession::open_port() {
    port = Open_EQ(false);
    return port > 0;
}

void ToolSession::start_reader(void* (*reader)(void*)) {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, reader, nullptr) == 0) pthread_detach(thread);
}

void ToolSession::release() {
    run = 0;
    judge = 0;
    if (released.exchange(true)) return;
    close_port_once(port, false);
    registry_clear(own_key);
    release_instance_lock(lock_fd, lock_path);
}

bool ToolSession::tell_service_to_reload() const {
    if (registry_signal_from_child(KEY_QUILLD, SIGUSR2) == 0) return true;
    write_core(core_line);
    return false;
}
