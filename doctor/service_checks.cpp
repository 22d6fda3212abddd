#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "checks.h"
#include "facts.h"
#include "host.h"
#include "store/fileio.h"
#include "store/registry.h"

namespace {

// What the registry's id names when it is not the service: "which has
// ended", or "which is "sleep" (/usr/bin/sleep) of user "bob", not the service".
std::string registered_instead(int pid) {
    const std::string name = process_name(pid);
    uid_t owner = 0;
    if (name.empty() || !process_owner(pid, &owner)) return "which has ended";
    const std::string exe = process_executable(pid);
    return "which is " + quoted(name) + (exe.empty() ? "" : " (" + exe + ")") + " of user " +
           quoted(owner_name(owner)) + ", not the service";
}

void check_lock(Report& report, int service_pid) {
    struct stat st;
    if (lstat(QUILLD_LOCK, &st) != 0) {
        if (service_pid > 0)
            report.warning("lock",
                           QUILLD_LOCK
                           " is missing while the service runs: a second "
                           "service could start beside it.",
                           "restart the service: systemctl --user restart " USER_UNIT ".");
        else
            report.ok("lock", QUILLD_LOCK " is free.");
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        report.problem("lock",
                       QUILLD_LOCK " is " + std::string(file_kind(st.st_mode)) +
                           ": the service cannot take its lock and will not start.",
                       "sudo rm -r " QUILLD_LOCK);
        return;
    }
    const int fd = open(QUILLD_LOCK, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const long holder = fd >= 0 ? lock_holder_pid(fd) : -1;
    if (fd >= 0) close(fd);
    if (holder > 0 && holder == service_pid) {
        report.ok("lock",
                  QUILLD_LOCK " is held by the service (pid " + std::to_string(holder) + ").");
        return;
    }
    if (holder == 0) {
        report.warning("lock",
                       QUILLD_LOCK
                       " may be locked: a lock is listed on an inode of its number, "
                       "by a process the doctor cannot name for sure.",
                       "if the service does not start, see who holds it: sudo fuser -v " QUILLD_LOCK
                       ".");
        return;
    }
    if (holder > 0) {
        const std::string who =
            "process " + std::to_string(holder) + " (" + process_name(int(holder)) + ")";
        report.problem("lock",
                       QUILLD_LOCK " is held by " + who +
                           ", which is not the service: the service of this session "
                           "cannot start.",
                       "end it (kill " + std::to_string(holder) + "), then " + kStartService);
        return;
    }
    // Nobody holds it: the service takes it over, unless the file belongs to
    // another user and /tmp's protection keeps this user from opening it.
    const bool protected_tmp = read_text("/proc/sys/fs/protected_regular", 16) != "0\n";
    if (st.st_uid != geteuid() && protected_tmp && geteuid() != 0) {
        report.problem("lock",
                       QUILLD_LOCK " was left by user " + quoted(owner_name(st.st_uid)) +
                           ", and this user may not open it in /tmp: the service will not "
                           "start for " +
                           quoted(user_name()) + ".",
                       "sudo rm " QUILLD_LOCK);
        return;
    }
    if (service_pid > 0)
        report.warning("lock",
                       QUILLD_LOCK
                       " is not held while the service runs: a second "
                       "service could start beside it.",
                       "restart the service: systemctl --user restart " USER_UNIT ".");
    else
        report.ok("lock", QUILLD_LOCK
                  " is left from an earlier run, and nobody holds it; the "
                  "service takes it over.");
}

void check_autostart(Report& report) {
    const std::string home = home_dir();
    const bool entry =
        exists(AUTOSTART_ENTRY) && !desktop_entry_disabled(read_text(AUTOSTART_ENTRY)) &&
        !desktop_entry_disabled(read_text(home + "/.config/autostart/" AUTOSTART_ENTRY_NAME));
    const bool unit =
        exists(USER_UNIT_FILE) && (exists("/etc/systemd/user/" USER_UNIT_WANTED_BY) ||
                                   exists(home + "/.config/systemd/user/" USER_UNIT_WANTED_BY));
    if (entry && unit) {
        report.warning("autostart",
                       "both the autostart entry " AUTOSTART_ENTRY " and the user unit " USER_UNIT
                       " start the service: the second start warns that it already runs.",
                       "keep one: systemctl --user disable " USER_UNIT);
    } else if (entry) {
        report.ok("autostart",
                  "the autostart entry " AUTOSTART_ENTRY " starts the service with the session.");
    } else if (unit) {
        report.ok("autostart", "the user unit " USER_UNIT " starts the service with the session.");
    } else {
        report.warning("autostart", "nothing starts the service with the session.",
                       exists(USER_UNIT_FILE)
                           ? "systemctl --user enable --now " USER_UNIT
                           : "reinstall the whiteboard-drivers package (it brings the autostart "
                             "entry " AUTOSTART_ENTRY ").");
    }
}

}  // namespace

void check_service(Report& report) {
    const int pid = registry_read(KEY_QUILLD);
    bool registered = false;
    const int service_pid = running_reader(KEY_QUILLD, &registered);
    const std::string entry =
        "the registry names pid " + std::to_string(pid) + ", " + registered_instead(pid);
    if (service_pid > 0) {
        std::string runs =
            process_name(service_pid) + " runs (pid " + std::to_string(service_pid) + ")";
        uid_t owner = 0;
        const bool others = process_owner(service_pid, &owner) && owner != geteuid();
        if (others) runs += " for user " + quoted(owner_name(owner));
        // root looks on behalf of the desktop user; anyone else needs a service of their own.
        if (others && geteuid() != 0)
            report.problem("service",
                           runs + ": it drives that user's desktop, not the one of " +
                               quoted(user_name()) + ".",
                           "once that user has logged out, or the service ended (sudo kill " +
                               std::to_string(service_pid) + "), " + kStartService);
        else if (!registered)
            report.warning("service",
                           runs + ", but " + (pid > 0 ? entry : "the registry names none") +
                               ": the tools cannot give the board back to it.",
                           "restart the service: systemctl --user restart " USER_UNIT
                           " (the config line says when the file cannot be written).");
        else
            report.ok("service", runs + ".");
    } else if (pid > 0) {
        report.problem("service", "not running: " + entry + ".", kStartService);
    } else {
        report.problem("service", "not running.", kStartService);
    }
    check_lock(report, service_pid);
    check_autostart(report);
}
