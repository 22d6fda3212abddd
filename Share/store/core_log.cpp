#include "store/core_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "store/fileio.h"
#include "store/paths.h"

void write_core(const char* reason) {
    make_dirs(CORE_LOG_DIR);
    const int fd =
        open(CORE_LOG_FILE, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        static const char failed[] = "Unable create core file!\n";
        (void)!write_all(STDERR_FILENO, failed, sizeof failed - 1);
        return;
    }
    const time_t now = time(nullptr);
    char stamp[32] = "";
    ctime_r(&now, stamp);  // 24 characters and a line end
    // One write, so entries of two tools never interleave.
    char entry[512];
    int len = snprintf(entry, sizeof entry, "%s%s\n", stamp, reason);
    if (len < 0) len = 0;
    if (len >= static_cast<int>(sizeof entry)) {
        // A reason too long for the entry is cut; the entry still ends its line.
        len = sizeof entry - 1;
        entry[len - 1] = '\n';
    }
    (void)!write_all(fd, entry, len);
    close(fd);
}
