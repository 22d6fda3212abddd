// How fairly the configuration file's bounded lock wait shares the file
// between programs that store and read it all the time: N writer processes
// each loop over one IniEdit (own key in [PID]) and M readers over
// read_profile_string, all on the same file, for S seconds. Per process it
// prints how many stores or reads went through, how many stores failed (and
// how many of those were a lock wait that ran out, "Cannot write"), and the
// worst and 99th-percentile time of one store or read.
//
//   lock_fairness <path> [--seconds S] [--writers N] [--readers M]
//
// <path> must exist. To measure the in-place rewrite a desktop user gets, run
// it as an unprivileged user on a file it may write in a directory it may
// not, e.g.:
//
//   d=$(mktemp -d); chmod 755 $d; printf '[PID]\nQuilld=-1\n' > $d/config.ini
//   chmod 666 $d/config.ini; bin=build-fair/bench/lock_fairness
//   setpriv --reuid=65534 --regid=65534 --clear-groups $bin $d/config.ini --seconds 20
//
// The directory stays root's, so the rename into it is refused. The binary
// must be readable by that user (a build tree under a 0755 path is).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "store/fileio.h"
#include "store/inifile.h"

namespace {

using Clock = std::chrono::steady_clock;

// One child's figures, sent in a single write (well under PIPE_BUF).
struct Report {
    char kind;  // 'w' or 'r'
    int index;
    long done;
    long failed;
    long locked_out;
    double worst_ms;
    double p99_ms;
};

double ms_since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

void summarise(std::vector<double>& times, Report& r) {
    if (times.empty()) return;
    r.worst_ms = *std::max_element(times.begin(), times.end());
    const size_t k = times.size() * 99 / 100;
    std::nth_element(times.begin(), times.begin() + k, times.end());
    r.p99_ms = times[k];
}

// "Cannot write" lines the store printed on this process's stderr.
long count_lock_failures(FILE* err) {
    fflush(stderr);
    rewind(err);
    char line[512];
    long n = 0;
    while (fgets(line, sizeof line, err))
        if (strncmp(line, "Cannot write", 12) == 0) ++n;
    return n;
}

[[noreturn]] void run_child(char kind, int index, const char* path, Clock::time_point end,
                            int out) {
    // The store's messages go to a scratch file: counted, not shown.
    FILE* err = tmpfile();
    if (err) dup2(fileno(err), STDERR_FILENO);
    Report r{kind, index, 0, 0, 0, 0.0, 0.0};
    std::vector<double> times;
    times.reserve(1 << 20);
    const std::string key = "Writer" + std::to_string(index);
    char value[64];
    for (long n = 0; Clock::now() < end; ++n) {
        const Clock::time_point t = Clock::now();
        if (kind == 'w') {
            IniEdit edit(path);
            edit.set("PID", key.c_str(), std::to_string(n).c_str());
            if (!edit.commit()) ++r.failed;
        } else {
            read_profile_string("PID", "Quilld", value, sizeof value, "", path);
        }
        times.push_back(ms_since(t));  // includes the close that drops the lock
        ++r.done;
    }
    if (kind == 'w') {
        r.done -= r.failed;
        if (err) r.locked_out = count_lock_failures(err);
    }
    summarise(times, r);
    _exit(write_all(out, &r, sizeof r) == static_cast<ssize_t>(sizeof r) ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s <path> [--seconds S] [--writers N] [--readers M]\n", argv[0]);
        return 2;
    }
    const char* path = argv[1];
    int seconds = 20, writers = 2, readers = 1;
    for (int i = 2; i + 1 < argc; i += 2) {
        const int v = atoi(argv[i + 1]);
        if (!strcmp(argv[i], "--seconds"))
            seconds = v;
        else if (!strcmp(argv[i], "--writers"))
            writers = v;
        else if (!strcmp(argv[i], "--readers"))
            readers = v;
    }
    if (access(path, R_OK | W_OK) != 0) {
        perror(path);
        return 2;
    }
    // Only <path> is measured: the store would otherwise try to create the
    // installed configuration file on every call.
    set_ini_autocreate(false);

    int fds[2];
    if (pipe(fds) != 0) {
        perror("pipe");
        return 1;
    }
    const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
    const int children = writers + readers;
    for (int c = 0; c < children; ++c) {
        const pid_t pid = fork();
        if (pid < 0) {
            perror("fork");
            return 1;
        }
        if (pid == 0) {
            close(fds[0]);
            if (c < writers) run_child('w', c + 1, path, end, fds[1]);
            run_child('r', c - writers + 1, path, end, fds[1]);
        }
    }
    close(fds[1]);

    std::vector<Report> reports;
    Report r;
    while (read_retry(fds[0], &r, sizeof r) == static_cast<ssize_t>(sizeof r)) reports.push_back(r);
    while (wait(nullptr) > 0) {
    }
    std::sort(reports.begin(), reports.end(), [](const Report& a, const Report& b) {
        return a.kind != b.kind ? a.kind == 'w' : a.index < b.index;
    });

    double worst = 0;
    long stores = 0, failed = 0, fewest = -1, most = 0;
    for (const Report& x : reports) {
        if (x.kind == 'w') {
            printf(
                "writer %d: %ld stores, %ld failed (%ld lock waits ran out), worst %.1f ms, "
                "p99 %.2f ms\n",
                x.index, x.done, x.failed, x.locked_out, x.worst_ms, x.p99_ms);
            stores += x.done;
            failed += x.failed;
            fewest = fewest < 0 ? x.done : std::min(fewest, x.done);
            most = std::max(most, x.done);
        } else {
            printf("reader %d: %ld reads, worst %.1f ms, p99 %.2f ms\n", x.index, x.done,
                   x.worst_ms, x.p99_ms);
        }
        worst = std::max(worst, x.worst_ms);
    }
    if (static_cast<int>(reports.size()) != children)
        printf("only %zu of %d processes reported\n", reports.size(), children);
    printf("all: worst wait %.1f ms, %ld stores, %ld failed, fewest/most stores per writer %.2f\n",
           worst, stores, failed, most > 0 ? double(fewest) / most : 0.0);
    return static_cast<int>(reports.size()) == children ? 0 : 1;
}
