// The process-id registry: section "PID" of the configuration file, one key
// per program. An id is only ever signalled when it is above 0 and still
// belongs to the program registered under it, so a stale or forged entry
// never reaches an unrelated process.
#pragma once

// The id recorded under key, or -1 when missing (a non-number reads 0).
int registry_read(const char* key);

// Records the own process id under key; 1 on success, 0 on a failed write.
int registry_write_self(const char* key);

// Records "-1" under key; 1 on success, 0 on a failed write.
int registry_clear(const char* key);

// 1 when pid is above 0 and /proc/<pid>/comm names the program registered
// under key (for "Quilld" also its compact build), else 0.
int registry_owns(int pid, const char* key);

// Sends sig to pid when registry_owns(pid, key): the kill result (0, or -1
// when it failed); -1 without sending anything otherwise.
int registry_signal_pid(int pid, const char* key, int sig);

// Reads the id under key afresh and signals it as registry_signal_pid does.
int registry_signal(const char* key, int sig);

// The same from a short-lived child process, which reads the id afresh; the
// caller waits for it. 0, or -1 when no child could be created.
int registry_signal_from_child(const char* key, int sig);
