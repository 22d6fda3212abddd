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
std::string registered_instead(const ProcessSeen& p) {
    if (!p.alive) return "which has ended";
    return "which is " + quoted(p.name) + (p.exe.empty() ? "" : " (" + p.exe + ")") + " of user " +
           quoted(p.owner) + ", not the service";
}

ProcessSeen seen(int pid) {
    ProcessSeen p;
    p.name = process_name(pid);
    uid_t owner = 0;
    p.alive = !p.name.empty() && process_owner(pid, &owner);
    if (!p.alive) return p;
    p.exe = process_executable(pid);
    p.owner = owner_name(owner);
    return p;
}

ServiceFacts gather_service() {
    ServiceFacts f;
    f.registered_pid = registry_read(KEY_QUILLD);
    if (f.registered_pid > 0) f.entry = seen(f.registered_pid);
    f.pid = running_reader(KEY_QUILLD, &f.registered);
    f.name = process_name(f.pid);
    uid_t owner = 0;
    f.others = f.pid > 0 && process_owner(f.pid, &owner) && owner != geteuid();
    if (f.others) f.owner = owner_name(owner);
    f.root = geteuid() == 0;
    f.user = user_name();
    return f;
}

LockFacts gather_lock(int service_pid) {
    LockFacts f;
    f.service_pid = service_pid;
    f.root = geteuid() == 0;
    f.user = user_name();
    struct stat st;
    f.present = lstat(QUILLD_LOCK, &st) == 0;
    if (!f.present) return f;
    f.mode = st.st_mode;
    if (!S_ISREG(st.st_mode)) return f;  // nothing else is opened
    const int fd = open(QUILLD_LOCK, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    f.holder = fd >= 0 ? lock_holder_pid(fd) : -1;
    if (fd >= 0) close(fd);
    if (f.holder > 0) f.holder_name = process_name(int(f.holder));
    f.others_file = st.st_uid != geteuid();
    f.owner = owner_name(st.st_uid);
    f.protected_tmp = read_text("/proc/sys/fs/protected_regular", 16) != "0\n";
    return f;
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

ServiceCase classify_service(const ServiceFacts& f) {
    // root looks on behalf of the desktop user; anyone else needs a service of their own.
    if (f.pid > 0)
        return f.others && !f.root ? ServiceCase::runs_for_other
               : !f.registered     ? ServiceCase::unregistered
                                   : ServiceCase::runs;
    return f.registered_pid > 0 ? ServiceCase::stale_entry : ServiceCase::not_running;
}

Finding service_finding(ServiceCase c, const ServiceFacts& f) {
    const std::string entry = "the registry names pid " + std::to_string(f.registered_pid) + ", " +
                              registered_instead(f.entry);
    std::string runs = f.name + " runs (pid " + std::to_string(f.pid) + ")";
    if (f.others) runs += " for user " + quoted(f.owner);
    switch (c) {
        case ServiceCase::runs:
            return {Verdict::ok, "service", runs + ".", ""};
        case ServiceCase::runs_for_other:
            return {
                Verdict::problem, "service",
                runs + ": it drives that user's desktop, not the one of " + quoted(f.user) + ".",
                "once that user has logged out, or the service ended (sudo kill " +
                    std::to_string(f.pid) + "), " + kStartService};
        case ServiceCase::unregistered:
            return {Verdict::warning, "service",
                    runs + ", but " + (f.registered_pid > 0 ? entry : "the registry names none") +
                        ": the tools cannot give the board back to it.",
                    kRestartService + " (the config line says when the file cannot be written)."};
        case ServiceCase::stale_entry:
            return {Verdict::problem, "service", "not running: " + entry + ".", kStartService};
        case ServiceCase::not_running:
            break;
    }
    return {Verdict::problem, "service", "not running.", kStartService};
}

LockCase classify_lock(const LockFacts& f) {
    const bool service = f.service_pid > 0;
    if (!f.present) return service ? LockCase::missing : LockCase::free;
    if (!S_ISREG(f.mode)) return LockCase::not_a_file;
    if (f.holder > 0)
        return f.holder == f.service_pid ? LockCase::held_by_service : LockCase::held_by_other;
    if (f.holder == 0) return LockCase::maybe_held;
    // Nobody holds it: the service takes it over, unless the file belongs to
    // another user and /tmp's protection keeps this user from opening it.
    if (f.others_file && f.protected_tmp && !f.root) return LockCase::barred;
    return service ? LockCase::unheld : LockCase::left_over;
}

Finding lock_finding(LockCase c, const LockFacts& f) {
    const std::string holder = std::to_string(f.holder);
    switch (c) {
        case LockCase::free:
            return {Verdict::ok, "lock", QUILLD_LOCK " is free.", ""};
        case LockCase::missing:
        case LockCase::unheld:
            return {Verdict::warning, "lock",
                    QUILLD_LOCK +
                        std::string(c == LockCase::missing ? " is missing" : " is not held") +
                        " while the service runs: a second service could start beside it.",
                    kRestartService + "."};
        case LockCase::not_a_file:
            return {Verdict::problem, "lock",
                    QUILLD_LOCK " is " + std::string(file_kind(f.mode)) +
                        ": the service cannot take its lock and will not start.",
                    "sudo rm -r " QUILLD_LOCK};
        case LockCase::held_by_service:
            return {Verdict::ok, "lock",
                    QUILLD_LOCK " is held by the service (pid " + holder + ").", ""};
        case LockCase::maybe_held:
            return {Verdict::warning, "lock",
                    QUILLD_LOCK
                    " may be locked: a lock is listed on an inode of its number, by a "
                    "process the doctor cannot name for sure.",
                    "if the service does not start, see who holds it: sudo fuser -v " QUILLD_LOCK
                    "."};
        case LockCase::held_by_other:
            return {Verdict::problem, "lock",
                    QUILLD_LOCK " is held by process " + holder + " (" + f.holder_name +
                        "), which is not the service: the service of this session cannot start.",
                    "end it (kill " + holder + "), then " + kStartService};
        case LockCase::barred:
            return {Verdict::problem, "lock",
                    QUILLD_LOCK " was left by user " + quoted(f.owner) +
                        ", and this user may not open it in /tmp: the service will not start for " +
                        quoted(f.user) + ".",
                    "sudo rm " QUILLD_LOCK};
        case LockCase::left_over:
            break;
    }
    return {Verdict::ok, "lock",
            QUILLD_LOCK
            " is left from an earlier run, and nobody holds it; the service takes it "
            "over.",
            ""};
}

void check_service(Report& report) {
    const ServiceFacts service = gather_service();
    report.add(service_finding(classify_service(service), service));
    const LockFacts lock = gather_lock(service.pid);
    report.add(lock_finding(classify_lock(lock), lock));
    check_autostart(report);
}
