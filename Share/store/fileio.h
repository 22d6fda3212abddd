// Small file helpers: EINTR-safe reads and writes, directory creation, and a
// locked file that can be replaced atomically.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

// read(2) retried on EINTR: bytes read, 0 at the end, -1 on error.
ssize_t read_retry(int fd, void* buf, size_t len);

// Writes all len bytes, retrying on EINTR and after short writes: len, fewer
// when a write stopped early, or -1 when the first write failed.
ssize_t write_all(int fd, const void* buf, size_t len);

// mkdir -p with mode 0755; 1 when the directory exists afterwards, else 0.
int make_dirs(const char* path);

// The mode of a file that programs run by different users all rewrite.
constexpr mode_t SHARED_FILE_MODE = 0666;

// Creates path empty with SHARED_FILE_MODE when nothing is at its name (a
// link, even a dangling one, counts as something); 1 when it did.
int create_shared_file(const char* path);

// "a directory", "a FIFO", "a symbolic link", ... for a stat mode.
const char* file_kind(mode_t mode);

// Opens (creating it) a program's single-instance lock file in the shared
// /tmp, where anyone may have put something at its name first: a link is not
// followed (ELOOP), a directory is refused (EISDIR), and so is a FIFO or
// device (EINVAL) rather than blocked on or locked. The descriptor, or -1 with errno set.
int open_lock_file(const char* path, bool close_on_exec);

// A program's single-instance lock: the lock file opened and locked
// (exclusive, non-blocking), its descriptor returned. When it cannot be
// opened: prints "Can not open %s:%s" and returns LOCK_FILE_UNUSABLE. When
// another instance holds it: prints "LOG_ERR Can not lock %s:%s" and returns
// LOCK_HELD. A
// lock taken on a file that its last holder removed meanwhile is not kept:
// the file at the path is opened and locked anew.
constexpr int LOCK_HELD = -1;
constexpr int LOCK_FILE_UNUSABLE = -2;
int take_instance_lock(const char* path, bool close_on_exec);

// Gives up the lock taken by take_instance_lock and removes the lock file:
// removed while still locked, so no instance can lock a file that is about
// to disappear. Sets fd to -1; nothing happens when it is not above 0.
void release_instance_lock(int& fd, const char* path);

// Longest wait for another process's lock on a shared file: any user who can
// read the file can hold that lock for as long as they like. After a wait
// that ran out, the process waits at most LOCK_WAIT_AFTER_TIMEOUT_MS for the
// next LOCK_TIMEOUT_MEMORY_MS, so a held lock costs each program one long
// wait, not one per access.
constexpr int LOCK_WAIT_MS = 2000;
constexpr int LOCK_WAIT_AFTER_TIMEOUT_MS = 100;
constexpr int LOCK_TIMEOUT_MEMORY_MS = 30000;

// "process <pid> (<name>)" for the process that holds the suite's kind of
// lock (flock) on the file open at fd, when it can be named for sure, else
// "another process".
std::string lock_holder(int fd);
// That process's id; 0 when a flock is listed on an inode of the same number
// but its holder cannot be shown to have this file open; -1 when none is.
long lock_holder_pid(int fd);

// The name /proc/<pid>/comm shows (at most 15 characters); empty when pid is
// not above 0 or names no process.
std::string process_name(int pid);

// A file opened and flock'ed (LOCK_SH or LOCK_EX), waiting at most as long as
// LOCK_WAIT_MS says. If the file was replaced between the open and the lock,
// it is opened again, so the lock always belongs to the file that the path
// names. When the wait runs out, the file stays open without the lock. Only
// a regular file is opened, and for writing only one with a single name: a
// link, FIFO, directory or device at path is not opened, and "Cannot read
// <path>: it is a FIFO, not a regular file" (or write, and what it is)
// goes to standard error.
class LockedFile {
public:
    LockedFile(const char* path, int open_flags, int lock_op);
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    bool ok() const { return fd_ >= 0; }  // open
    bool locked() const { return locked_; }
    int fd() const { return fd_; }

    // Replaces the whole content with text: through a new file renamed over
    // the old one when the directory allows it, else in place. true on
    // success; on failure the old content stays. Needs the lock.
    bool replace(const char* path, const char* text, size_t len);

private:
    bool replace_by_rename(const char* path, const char* text, size_t len);
    bool replace_in_place(const char* text, size_t len);
    int fd_ = -1;
    bool locked_ = false;
};
