#include "store/fileio.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

ssize_t read_retry(int fd, void* buf, size_t len) {
    ssize_t n;
    do {
        n = read(fd, buf, len);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t write_all(int fd, const void* buf, size_t len) {
    const char* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < len) {
        ssize_t n = write(fd, p + done, len - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done > 0 ? static_cast<ssize_t>(done) : -1;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

int make_dirs(const char* path) {
    std::string dir(path);
    for (size_t i = 1; i <= dir.size(); ++i) {
        if (i < dir.size() && dir[i] != '/') continue;
        std::string part = dir.substr(0, i);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return 0;
    }
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

int open_lock_file(const char* path, bool close_on_exec) {
    const int flags =
        O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | (close_on_exec ? O_CLOEXEC : 0);
    const int fd = open(path, flags, 0644);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

namespace {

bool same_file(int fd, const char* path) {
    struct stat held, named;
    return fstat(fd, &held) == 0 && stat(path, &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

long long now_ms() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

// When this process last waited in vain for a shared file's lock.
std::atomic<long long> lock_timed_out_at{-LOCK_TIMEOUT_MEMORY_MS};

#ifndef sigev_notify_thread_id
#define sigev_notify_thread_id _sigev_un._tid  // glibc before 2.35 names only the member
#endif

// Interrupts this thread's blocking flock at a deadline: a timer that
// signals this thread alone, then again every few milliseconds, so that a
// signal landing just before the flock blocks is followed by another.
constexpr int LOCK_TIMER_INTERVAL_MS = 10;
const int LOCK_TIMER_SIGNAL = SIGRTMIN + 4;

void on_lock_timer(int) {}

class DeadlineTimer {
public:
    explicit DeadlineTimer(long long ms) {
        static std::once_flag handler;
        std::call_once(handler, [] {
            struct sigaction sa = {};
            sa.sa_handler = on_lock_timer;  // no SA_RESTART: the flock returns EINTR
            sigemptyset(&sa.sa_mask);
            sigaction(LOCK_TIMER_SIGNAL, &sa, nullptr);
        });
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, LOCK_TIMER_SIGNAL);
        pthread_sigmask(SIG_UNBLOCK, &set, &old_mask_);
        struct sigevent ev = {};
        ev.sigev_notify = SIGEV_THREAD_ID;
        ev.sigev_signo = LOCK_TIMER_SIGNAL;
        ev.sigev_notify_thread_id = gettid();
        armed_ = timer_create(CLOCK_MONOTONIC, &ev, &timer_) == 0;
        struct itimerspec when = {};
        when.it_value = {time_t(ms / 1000), long(ms % 1000) * 1000000L};
        when.it_interval = {0, LOCK_TIMER_INTERVAL_MS * 1000000L};
        if (armed_ && timer_settime(timer_, 0, &when, nullptr) != 0) {
            timer_delete(timer_);
            armed_ = false;
        }
    }
    ~DeadlineTimer() {
        if (armed_) timer_delete(timer_);
        pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
    }
    DeadlineTimer(const DeadlineTimer&) = delete;
    DeadlineTimer& operator=(const DeadlineTimer&) = delete;
    bool armed() const { return armed_; }

private:
    timer_t timer_{};
    bool armed_ = false;
    sigset_t old_mask_;
};

// flock with a bounded wait: true when taken. The wait blocks in the kernel,
// which wakes a waiter the moment the lock is released; polling instead
// lost the lock, time after time, to a program that asked again sooner,
// and starved the other writer.
bool flock_bounded(int fd, int lock_op) {
    if (flock(fd, lock_op | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    const long long start = now_ms();
    const bool recent = start - lock_timed_out_at.load() < LOCK_TIMEOUT_MEMORY_MS;
    const long long deadline = start + (recent ? LOCK_WAIT_AFTER_TIMEOUT_MS : LOCK_WAIT_MS);
    const DeadlineTimer timer(deadline - start);
    if (timer.armed()) {
        for (;;) {
            if (flock(fd, lock_op) == 0) return true;
            if (errno != EINTR) return false;
            if (now_ms() >= deadline) break;
        }
    }
    lock_timed_out_at = now_ms();
    return false;
}

// A writer killed while it filled its new file leaves it behind; the name
// tells the store's own leftovers from anything else in the directory.
constexpr char PARTIAL_SUFFIX[] = ".partial-";

std::string partial_template(const char* path) {
    return std::string(path) + PARTIAL_SUFFIX + "XXXXXX";
}

// Removes what killed writers left. Only called under the file's exclusive
// lock, which every writer holds while it fills its new file: whatever
// matches now belongs to nobody.
void remove_stale_partials(const char* path) {
    const std::string full(path);
    const size_t slash = full.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : full.substr(0, slash + 1);
    const std::string prefix =
        (slash == std::string::npos ? full : full.substr(slash + 1)) + PARTIAL_SUFFIX;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return;
    while (const dirent* e = readdir(d)) {
        const size_t len = strlen(e->d_name);
        if (len == prefix.size() + 6 && strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0)
            unlinkat(dirfd(d), e->d_name, 0);
    }
    closedir(d);
}

}  // namespace

int take_instance_lock(const char* path, bool close_on_exec) {
    for (;;) {
        const int fd = open_lock_file(path, close_on_exec);
        if (fd < 0) {
            printf("Can not open %s:%s", path, strerror(errno));
            return LOCK_FILE_UNUSABLE;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            printf("LOG_ERR Can not lock %s:%s", path, strerror(errno));
            return LOCK_HELD;
        }
        if (same_file(fd, path)) return fd;
        // Its holder removed it between our open and our lock.
        close(fd);
    }
}

void release_instance_lock(int& fd, const char* path) {
    if (fd <= 0) return;
    unlink(path);
    close(fd);
    fd = -1;
}

namespace {

// The flocks a /proc/locks text lists on inode ino: the holder on device
// (major, minor) itself, else -1; and the holders on other devices, which
// may be the same file seen through an overlay, or any other file.
struct FlockHolders {
    long exact = -1;
    std::vector<long> same_inode;
};

FlockHolders flock_holders(const std::string& locks, unsigned major_id, unsigned minor_id,
                           unsigned long long ino) {
    // "1: FLOCK  ADVISORY  WRITE 4242 08:01:1234 0 EOF"; waiters have "->"
    // and are no holders; POSIX and OFD locks are not the suite's.
    FlockHolders found;
    size_t at = 0;
    while (at < locks.size()) {
        size_t end = locks.find('\n', at);
        if (end == std::string::npos) end = locks.size();
        const std::string line = locks.substr(at, end - at);
        at = end + 1;
        char kind[16], mode[16], access[16];
        long pid;
        unsigned maj, min;
        unsigned long long inode;  // 64 bits under a 64-bit kernel, whatever the program's
        if (sscanf(line.c_str(), "%*d: %15s %15s %15s %ld %x:%x:%llu", kind, mode, access, &pid,
                   &maj, &min, &inode) != 7 ||
            strcmp(kind, "FLOCK") != 0 || inode != ino || pid <= 0)
            continue;
        if (maj == major_id && min == minor_id)
            found.exact = found.exact < 0 ? pid : found.exact;
        else
            found.same_inode.push_back(pid);
    }
    return found;
}

// Whether process pid has the file (dev, ino) open: 1, 0, or -1 when its
// descriptors cannot be looked at (another user's process).
int has_open(long pid, const struct stat& file) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return errno == ENOENT ? 0 : -1;
    int found = 0;
    while (const dirent* e = readdir(d)) {
        struct stat st;
        if (e->d_name[0] != '.' && fstatat(dirfd(d), e->d_name, &st, 0) == 0 &&
            st.st_dev == file.st_dev && st.st_ino == file.st_ino) {
            found = 1;
            break;
        }
    }
    closedir(d);
    return found;
}

}  // namespace

long lock_holder_pid(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return -1;
    const int locks = open("/proc/locks", O_RDONLY | O_CLOEXEC);
    if (locks < 0) return -1;
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read_retry(locks, buf, sizeof buf)) > 0;) text.append(buf, n);
    close(locks);
    const FlockHolders holders = flock_holders(text, major(st.st_dev), minor(st.st_dev), st.st_ino);
    if (holders.exact > 0) return holders.exact;
    // An overlay lists the file under the device of the layer that holds it:
    // a holder elsewhere is this file's only when it has this file open.
    bool unsure = false;
    for (long pid : holders.same_inode) {
        const int open_here = has_open(pid, st);
        if (open_here == 1) return pid;
        unsure = unsure || open_here < 0;
    }
    return unsure ? 0 : -1;
}

std::string lock_holder(int fd) {
    const long holder = lock_holder_pid(fd);
    if (holder <= 0) return "another process";
    const std::string comm = process_name(int(holder));
    return "process " + std::to_string(holder) + (comm.empty() ? "" : " (" + comm + ")");
}

std::string process_name(int pid) {
    if (pid <= 0) return "";
    char path[32];
    snprintf(path, sizeof path, "/proc/%d/comm", pid);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "";
    char comm[32] = {0};
    ssize_t n = read_retry(fd, comm, sizeof comm - 1);
    close(fd);
    if (n <= 0) return "";
    comm[strcspn(comm, "\n")] = '\0';
    return comm;
}

const char* file_kind(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "a regular file";
}

int create_shared_file(const char* path) {
    const int fd =
        open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, SHARED_FILE_MODE);
    if (fd < 0) return 0;
    // Whatever the umask says: programs of different users rewrite it.
    fchmod(fd, SHARED_FILE_MODE);
    close(fd);
    return 1;
}

namespace {

// Why a shared file at path is not used, or "" when it may be: only a
// regular file of its own is, so that whoever may write its directory can
// neither hold an open for ever (a FIFO) nor make a rewrite publish or
// overwrite someone else's file (a link, or a second name of one).
std::string refusal(int fd, int open_errno, const char* path, bool writing) {
    struct stat st;
    if (fd < 0) {
        // O_NOFOLLOW gives ELOOP for a link at path, O_RDWR EISDIR for a directory.
        if ((open_errno != ELOOP && open_errno != EISDIR) || lstat(path, &st) != 0) return "";
    } else if (fstat(fd, &st) != 0) {
        return "";
    }
    if (!S_ISREG(st.st_mode))
        return std::string("it is ") + file_kind(st.st_mode) + ", not a regular file";
    if (writing && st.st_nlink > 1)
        return "it has " + std::to_string(st.st_nlink) + " names (hard links)";
    return "";
}

}  // namespace

LockedFile::LockedFile(const char* path, int open_flags, int lock_op) {
    const bool writing = (open_flags & O_ACCMODE) != O_RDONLY;
    for (;;) {
        // Non-blocking only for the open itself (a FIFO): a regular file's
        // reads and writes do not heed it.
        int fd = open(path, open_flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                      SHARED_FILE_MODE);
        const std::string why = refusal(fd, errno, path, writing);
        if (!why.empty()) {
            fprintf(stderr, "Cannot %s %s: %s\n", writing ? "write" : "read", path, why.c_str());
            if (fd >= 0) close(fd);
            return;
        }
        if (fd < 0) return;
        if (!flock_bounded(fd, lock_op)) {
            fd_ = fd;  // open, without the lock
            return;
        }
        if (same_file(fd, path)) {
            fd_ = fd;
            locked_ = true;
            return;
        }
        // Replaced (or removed) while we waited for the lock: open anew.
        close(fd);
    }
}

LockedFile::~LockedFile() {
    if (fd_ >= 0) close(fd_);  // closing drops the lock
}

bool LockedFile::replace(const char* path, const char* text, size_t len) {
    if (fd_ < 0 || !locked_) return false;
    return replace_by_rename(path, text, len) || replace_in_place(text, len);
}

bool LockedFile::replace_by_rename(const char* path, const char* text, size_t len) {
    struct stat st;
    if (fstat(fd_, &st) != 0) return false;
    std::string tmp = partial_template(path);
    int fd = mkostemp(&tmp[0], O_CLOEXEC);
    if (fd < 0) return false;  // e.g. a directory only root may write
    bool ok = write_all(fd, text, len) == static_cast<ssize_t>(len) &&
              fchmod(fd, st.st_mode & 07777) == 0 && fsync(fd) == 0;
    if (ok && geteuid() == 0) (void)!fchown(fd, st.st_uid, st.st_gid);
    ok = close(fd) == 0 && ok;
    if (ok && rename(tmp.c_str(), path) == 0) {
        remove_stale_partials(path);
        return true;
    }
    unlink(tmp.c_str());
    return false;
}

bool LockedFile::replace_in_place(const char* text, size_t len) {
    struct stat st;
    if (fstat(fd_, &st) != 0) return false;
    // Reserve the space first, so a full disk fails before anything changes;
    // the size stays, so a writer killed before its write leaves no NULs.
    if (static_cast<off_t>(len) > st.st_size && fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, len) != 0 &&
        errno != EOPNOTSUPP && errno != EINVAL)
        return false;
    // A shorter text is written padded with empty lines up to the old size
    // in the same write, then cut: a writer killed before the cut leaves the
    // new text and blank lines, never the end of the old text behind it.
    std::string padded(text, len);
    if (static_cast<off_t>(len) < st.st_size) padded.append(st.st_size - len, '\n');
    if (lseek(fd_, 0, SEEK_SET) != 0) return false;
    if (write_all(fd_, padded.data(), padded.size()) != static_cast<ssize_t>(padded.size()))
        return false;
    return ftruncate(fd_, len) == 0;
}
