#include "fileio.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

int take_instance_lock(const char* path, bool close_on_exec) {
    const int fd = open_lock_file(path, close_on_exec);
    if (fd < 0) {
        printf("Can not open %s:%s", path, strerror(errno));
        exit(1);
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        printf("LOG_ERR Can not lock %s:%s", path, strerror(errno));
        return -1;
    }
    return fd;
}

LockedFile::LockedFile(const char* path, int open_flags, int lock_op) {
    for (;;) {
        int fd = open(path, open_flags | O_CLOEXEC, 0666);
        if (fd < 0) return;
        int r;
        do {
            r = flock(fd, lock_op);
        } while (r != 0 && errno == EINTR);
        struct stat held, named;
        if (r == 0 && fstat(fd, &held) == 0 && stat(path, &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            fd_ = fd;
            return;
        }
        close(fd);
        if (r != 0) return;
        // Replaced (or removed) while we waited for the lock: open anew.
    }
}

LockedFile::~LockedFile() {
    if (fd_ >= 0) close(fd_);  // closing drops the lock
}

bool LockedFile::replace(const char* path, const char* text, size_t len) {
    if (fd_ < 0) return false;
    return replace_by_rename(path, text, len) || replace_in_place(text, len);
}

bool LockedFile::replace_by_rename(const char* path, const char* text, size_t len) {
    struct stat st;
    if (fstat(fd_, &st) != 0) return false;
    std::string tmp = std::string(path) + ".XXXXXX";
    int fd = mkostemp(&tmp[0], O_CLOEXEC);
    if (fd < 0) return false;  // e.g. a directory only root may write
    bool ok = write_all(fd, text, len) == static_cast<ssize_t>(len) &&
              fchmod(fd, st.st_mode & 07777) == 0 && fsync(fd) == 0;
    if (ok && geteuid() == 0) (void)!fchown(fd, st.st_uid, st.st_gid);
    ok = close(fd) == 0 && ok;
    if (ok && rename(tmp.c_str(), path) == 0) return true;
    unlink(tmp.c_str());
    return false;
}

bool LockedFile::replace_in_place(const char* text, size_t len) {
    struct stat st;
    if (fstat(fd_, &st) != 0) return false;
    // Reserve the space first, so a full disk fails before anything changes.
    if (static_cast<off_t>(len) > st.st_size) {
        int r = posix_fallocate(fd_, 0, len);
        if (r != 0 && r != EOPNOTSUPP && r != EINVAL) return false;
    }
    if (lseek(fd_, 0, SEEK_SET) != 0) return false;
    if (write_all(fd_, text, len) != static_cast<ssize_t>(len)) return false;
    return ftruncate(fd_, len) == 0;
}
