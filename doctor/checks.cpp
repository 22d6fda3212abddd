#include "checks.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "calibration_grid.h"
#include "clock.h"
#include "facts.h"
#include "fileio.h"
#include "inifile.h"
#include "misclick.h"
#include "packet_view.h"
#include "paths.h"
#include "registry.h"
#include "serial.h"
#include "x_screen.h"

namespace {

// How long a silent board gets to answer; it is greeted twice meanwhile.
constexpr double PROBE_SECONDS = 2.0;

const std::string kDevice = BOARD_DEVICE;
const std::string kRecalibrate =
    "calibrate again: " ZURAZE_PROGRAM " (or press the board's calibration key).";
const std::string kStartService = "start the service: systemctl --user start " USER_UNIT
                                  " (or log out and in again); it "
                                  "records its own process id.";

std::string user_name() {
    const passwd* pw = getpwuid(geteuid());
    return pw ? pw->pw_name : std::to_string(geteuid());
}

std::string group_name(gid_t gid) {
    const group* gr = getgrgid(gid);
    return gr ? gr->gr_name : std::to_string(gid);
}

std::string owner_name(uid_t uid) {
    const passwd* pw = getpwuid(uid);
    return pw ? pw->pw_name : std::to_string(uid);
}

std::string home_dir() {
    const passwd* pw = getpwuid(geteuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// "crw-rw---- root:dialout"
std::string mode_and_owner(const struct stat& st) {
    char mode[11] = "----------";
    mode[0] = S_ISCHR(st.st_mode) ? 'c' : S_ISDIR(st.st_mode) ? 'd' : '-';
    const char* rwx = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        if (st.st_mode & (0400 >> i)) mode[i + 1] = rwx[i];
    return std::string(mode) + " " + owner_name(st.st_uid) + ":" + group_name(st.st_gid);
}

bool process_in_group(gid_t gid) {
    if (getegid() == gid) return true;
    gid_t groups[256];
    const int n = getgroups(256, groups);
    return std::find(groups, groups + std::max(n, 0), gid) != groups + std::max(n, 0);
}

bool user_listed_in_group(gid_t gid) {
    const passwd* pw = getpwuid(geteuid());
    if (pw == nullptr) return false;
    gid_t groups[256];
    int n = 256;
    if (getgrouplist(pw->pw_name, pw->pw_gid, groups, &n) < 0) return false;
    return std::find(groups, groups + n, gid) != groups + n;
}

const char* kind_of(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "a regular file";
}

// ---------------------------------------------------------------- port

// The other adapters the system sees, when the board's name is missing.
std::string other_adapters() {
    std::string found;
    for (int i = 1; i < 10; ++i) {
        const std::string name = "/dev/ttyUSB" + std::to_string(i);
        if (exists(name)) found += (found.empty() ? "" : ", ") + name;
    }
    return found;
}

void check_access(Report& report, Chain& chain, const struct stat& st) {
    const std::string user = user_name();
    if (access(BOARD_DEVICE, R_OK | W_OK) == 0) {
        chain.port_open_to_user = true;
        report.ok("access", "user " + quoted(user) + " may read and write " + kDevice + ".");
        return;
    }
    const std::string group = group_name(st.st_gid);
    std::string fix;
    if (user_listed_in_group(st.st_gid) && !process_in_group(st.st_gid))
        fix = "log out and in again: this session started before " + quoted(user) +
              " joined the group " + quoted(group) + ".";
    else
        fix =
            "unplug the adapter and plug it in again (the drivers package's udev rule gives "
            "the desktop user the port), or join the port's group: sudo usermod -aG " +
            group + " " + user + ", then log out and in.";
    if (!exists(UDEV_RULE_FILE))
        fix += " The udev rule " UDEV_RULE_FILE
               " is missing: reinstall the whiteboard-drivers "
               "package.";
    report.problem("access",
                   "user " + quoted(user) + " may not read and write " + kDevice + " (" +
                       mode_and_owner(st) + ").",
                   fix);
}

void check_modem_manager(Report& report, const struct stat& st) {
    const std::vector<int> running = processes_named("ModemManager");
    if (running.empty()) {
        report.ok("modemmanager", "ModemManager is not running.");
        return;
    }
    const std::string entry = "/run/udev/data/c" + std::to_string(major(st.st_rdev)) + ":" +
                              std::to_string(minor(st.st_rdev));
    if (udev_property(read_text(entry), MODEM_MANAGER_IGNORE) == "1") {
        report.ok("modemmanager", "ModemManager runs and leaves " + kDevice +
                                      " alone (" MODEM_MANAGER_IGNORE "=1).");
        return;
    }
    report.warning("modemmanager",
                   "ModemManager runs (pid " + std::to_string(running[0]) + ") and may probe " +
                       kDevice +
                       ": udev did not mark it " MODEM_MANAGER_IGNORE
                       "=1, and its probes garble the board's packets.",
                   exists(UDEV_RULE_FILE)
                       ? "unplug the adapter and plug it in again, so that the rule " UDEV_RULE_FILE
                         " applies; or stop it: sudo systemctl stop ModemManager."
                       : "reinstall the whiteboard-drivers package (its udev rule " UDEV_RULE_FILE
                         " is missing); or stop it: sudo systemctl stop ModemManager.");
}

// ---------------------------------------------------------------- board

struct ProbeResult {
    bool answered = false;  // an identification reply
    bool sent_data = false;
    uint8_t reply[PACKET_SIZE] = {};
};

ProbeResult probe(int fd) {
    ProbeResult result;
    flush_and_greet(fd);
    PacketReader reader;
    bool greeted_again = false;
    const double start = monotonic_seconds();
    uint8_t pkt[PACKET_SIZE];
    while (!result.answered && monotonic_seconds() - start < PROBE_SECONDS) {
        if (!greeted_again && monotonic_seconds() - start >= PROBE_SECONDS / 2) {
            greeted_again = true;
            Connect_EQ2(fd);
        }
        const int got = reader.next(fd, pkt);
        if (got < 0) break;
        if (got == 0 || !packet_check_ok(pkt)) continue;
        if (pkt[0] == DATA_HEAD) {
            result.sent_data = true;
        } else {
            result.answered = true;
            memcpy(result.reply, pkt, PACKET_SIZE);
        }
    }
    return result;
}

// ---------------------------------------------------------------- service

struct Registered {
    const char* key;
    const char* what;
};
const Registered kReaders[] = {{KEY_QUILLD, "the service"},
                               {KEY_ZURAZE, "the calibration tool"},
                               {KEY_EDGETAB, "the edge-key tool"}};

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
                       QUILLD_LOCK " is " + std::string(kind_of(st.st_mode)) +
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
    if (holder > 0) {
        const std::string who =
            "process " + std::to_string(holder) + " (" + process_name(int(holder)) + ")";
        report.problem("lock",
                       QUILLD_LOCK " is held by " + who +
                           ", which the registry does not name: the service of this session "
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

// ---------------------------------------------------------------- display

std::string monitor_list(const std::vector<Monitor>& monitors) {
    std::string text;
    for (const Monitor& m : monitors)
        text += (text.empty() ? "" : ", ") + monitor_label(m) + "+" + std::to_string(m.area.x) +
                "+" + std::to_string(m.area.y);
    return text;
}

// Whether the monitors show different parts of the screen (not all mirrors of it).
bool screen_split(const std::vector<Monitor>& monitors, const Rect& screen) {
    return monitors.size() > 1 &&
           std::any_of(monitors.begin(), monitors.end(),
                       [&](const Monitor& m) { return !(m.area == screen); });
}

void check_calibrated_monitor(Report& report, const Chain& chain) {
    const std::string stored = config_monitor(chain.config);
    if (stored.empty()) {
        if (screen_split(chain.monitors, chain.screen))
            report.warning("monitor",
                           "the calibration covers the whole screen, which now spans " +
                               std::to_string(chain.monitors.size()) +
                               " monitors: the pen lands away from the projected picture.",
                           kRecalibrate + " It asks for the monitor the board shows.");
        else
            report.ok("monitor", "the calibration covers the whole screen.");
        return;
    }
    if (const Monitor* m = find_monitor(chain.monitors, stored))
        report.ok("monitor", "the calibration was made on monitor " + quoted(stored) +
                                 ", which is connected (" + monitor_label(*m) + ").");
    else
        report.warning("monitor",
                       "the calibration was made on monitor " + quoted(stored) +
                           ", which is not connected: the board maps onto the whole screen.",
                       "connect " + quoted(stored) + ", or " + kRecalibrate);
}

// ---------------------------------------------------------------- configuration

bool table_taught(const Pos table[EDGE_KEY_COUNT]) {
    // Untaught entries read (0, 0) when stored, (0, 1) when missing.
    return std::any_of(table, table + EDGE_KEY_COUNT,
                       [](const Pos& p) { return p.x != 0 || p.y > 1; });
}

}  // namespace

std::string board_reader() {
    for (const Registered& r : kReaders) {
        const int pid = registry_read(r.key);
        if (registry_owns(pid, r.key))
            return std::string(r.what) + " " + process_name(pid) + " (pid " + std::to_string(pid) +
                   ")";
    }
    return "";
}

void check_port(Report& report, Chain& chain) {
    struct stat st;
    if (stat(BOARD_DEVICE, &st) != 0) {
        const std::string others = other_adapters();
        report.problem(
            "device",
            kDevice + " is missing: no USB serial adapter is plugged in" +
                (others.empty() ? "." : " as the first one (the system has " + others + ")."),
            others.empty() ? "plug the board's USB cable in; then ls /dev/ttyUSB* lists the "
                             "adapters the system sees."
                           : "unplug the other adapters and plug the board's in first: the "
                             "suite reads " +
                                 kDevice + " alone.");
        return;
    }
    if (!S_ISCHR(st.st_mode)) {
        report.problem("device", kDevice + " is " + kind_of(st.st_mode) + ", not a serial port.",
                       "sudo rm " + kDevice + ", then unplug the adapter and plug it in again.");
        return;
    }
    report.ok("device", kDevice + " is there.");
    UsbAdapter adapter;
    if (find_usb_adapter("/sys", major(st.st_rdev), minor(st.st_rdev), &adapter))
        report.ok("adapter", adapter_label(adapter) + ".");
    else
        report.warning("adapter",
                       kDevice + " (" + std::to_string(major(st.st_rdev)) + ":" +
                           std::to_string(minor(st.st_rdev)) +
                           ") hangs off no USB device the system lists: not the board's USB "
                           "serial adapter.",
                       "plug the board's USB cable straight into the computer; a board "
                       "simulator needs no fix.");
    check_access(report, chain, st);
    check_modem_manager(report, st);
}

void check_board(Report& report, Chain& chain) {
    chain.board_reader = board_reader();
    if (!chain.board_reader.empty()) {
        report.ok("board", chain.board_reader + " reads the board; not probed while it does.");
        return;
    }
    if (!chain.port_open_to_user) return;  // the port's lines said why
    const int fd = Open_EQ(false);
    if (fd < 0) {
        report.problem("board", kDevice + " cannot be opened: " + strerror(errno) + ".",
                       "see which program holds it: fuser -v " + kDevice + ".");
        return;
    }
    // Nobody else opens the port while it is probed.
    ioctl(fd, TIOCEXCL);
    Init_EQ(fd);
    const ProbeResult result = probe(fd);
    Close_port(fd);
    if (result.answered) {
        chain.board_line = line_of_head(result.reply[0]);
        chain.board = identify(result.reply[0], result.reply[1]);
        const std::string said = describe_packet(result.reply, LINE_TOUCH);
        if (chain.board)
            report.ok("board", board_description(*chain.board) + ".");
        else
            report.warning("board",
                           "answers with an identification the suite does not know: " + said + ".",
                           "the service reads such a board as the touch line; tell the board's "
                           "supplier the reply.");
        return;
    }
    if (result.sent_data) {
        report.warning("board", "sends packets but did not identify itself when greeted.",
                       "switch the board off and on again, then run whiteboard-doctor again.");
        return;
    }
    report.problem("board",
                   "silent: no answer to the greeting within " +
                       std::to_string(int(PROBE_SECONDS)) +
                       " s. Likely causes: the board is "
                       "switched off; the cable between the board and the adapter is loose; the "
                       "adapter is not the board's.",
                   "switch the board on, check both ends of its cable, then run "
                   "whiteboard-doctor again.");
}

void check_service(Report& report, Chain&) {
    const int pid = registry_read(KEY_QUILLD);
    int service_pid = -1;
    struct stat proc;
    if (registry_owns(pid, KEY_QUILLD)) {
        service_pid = pid;
        std::string runs = process_name(pid) + " runs (pid " + std::to_string(pid) + ")";
        const std::string dir = "/proc/" + std::to_string(pid);
        const bool others = stat(dir.c_str(), &proc) == 0 && proc.st_uid != geteuid();
        if (others) runs += " for user " + quoted(owner_name(proc.st_uid));
        // root looks on behalf of the desktop user; anyone else needs a service of their own.
        if (others && geteuid() != 0)
            report.problem("service",
                           runs + ": it drives that user's desktop, not the one of " +
                               quoted(user_name()) + ".",
                           "once that user has logged out, or the service ended (sudo kill " +
                               std::to_string(pid) + "), " + kStartService);
        else
            report.ok("service", runs + ".");
    } else if (pid > 0) {
        const std::string name = process_name(pid);
        report.problem("service",
                       "not running: the registry names pid " + std::to_string(pid) +
                           (name.empty() ? ", which has ended."
                                         : ", which is " + quoted(name) + ", not the service."),
                       kStartService);
    } else {
        report.problem("service", "not running.", kStartService);
    }
    check_lock(report, service_pid);
    check_autostart(report);
}

void check_display(Report& report, Chain& chain) {
    const char* name = getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        report.problem("display", "no X display: DISPLAY is not set.",
                       "run whiteboard-doctor in a terminal of the desktop session.");
        return;
    }
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        report.problem("display",
                       "the X display " + quoted(name) +
                           " cannot be opened: no X server there, or this user may not use it.",
                       "run whiteboard-doctor in a terminal of the desktop session, as the user "
                       "logged in to it.");
        return;
    }
    report.ok("display", "the X display " + quoted(name) + " answers.");
    report.add(judge_session(list_extensions(display)));
    chain.screen = screen_rect(display);
    chain.monitors = list_monitors(display);
    chain.screen_known = true;
    XCloseDisplay(display);
    std::string found =
        std::to_string(chain.screen.width) + "x" + std::to_string(chain.screen.height);
    found += chain.monitors.empty() ? ", no monitor list."
                                    : ", monitors: " + monitor_list(chain.monitors) + ".";
    report.ok("screen", found);
    check_calibrated_monitor(report, chain);
}

Finding judge_session(const std::vector<std::string>& extensions) {
    if (lists_xwayland(extensions))
        return {Verdict::warning, "session", "Xwayland, in a Wayland session.", XWAYLAND_NOTE};
    return {Verdict::ok, "session", "X11.", ""};
}

Finding judge_calibration(int count, const Pos points[]) {
    if (count != 4 && count != 9 && count != 20)
        return {Verdict::problem, "calibration",
                count == 0 ? "none stored: the pen lands at the top left corner."
                           : "dotNum is " + std::to_string(count) +
                                 ", not 4, 9 or 20: the pen lands at the top left corner.",
                kRecalibrate};
    const std::string of = " of " + std::to_string(count);
    const GridSize g = grid_size(count);
    for (int k = 1; k < count; ++k) {
        const int j = point_on_top(g, points, k);
        if (j >= 0)
            return {Verdict::problem, "calibration",
                    "targets " + std::to_string(j + 1) + " and " + std::to_string(k + 1) + of +
                        " were touched on the same spot: the pen lands in the wrong place.",
                    kRecalibrate};
    }
    const int off = find_misclick(g, points, count);
    if (off == -1)
        return {Verdict::ok, "calibration", std::to_string(count) + " points that fit together.",
                ""};
    return {Verdict::problem, "calibration",
            off >= 0 ? "target " + std::to_string(off + 1) + of +
                           " does not fit the others: the pen lands in the wrong place near it."
                     : "the " + std::to_string(count) +
                           " points do not fit together: the pen lands in the wrong place.",
            kRecalibrate};
}

Finding judge_edge_keys(int line, int edgetab, const Pos touch[EDGE_KEY_COUNT],
                        const Pos elec[EDGE_KEY_COUNT]) {
    const bool touch_taught = table_taught(touch), elec_taught = table_taught(elec);
    if (line < 0)
        return {Verdict::ok, "edge keys",
                std::string(touch_taught ? "taught" : "not taught") + " for the touch line, " +
                    (elec_taught ? "taught" : "not taught") +
                    " for the electromagnetic line (the board's line is not known here).",
                ""};
    const char* line_name = line == LINE_TOUCH ? "touch" : "electromagnetic";
    if (!watches_edge_keys(line, edgetab))
        return {Verdict::ok, "edge keys", "the board has no printed edge keys to teach.", ""};
    if (line == LINE_TOUCH ? touch_taught : elec_taught)
        return {Verdict::ok, "edge keys",
                std::string("taught for the board's ") + line_name + " line.", ""};
    return {Verdict::warning, "edge keys",
            std::string("not taught for the board's ") + line_name +
                " line: a touch on a printed edge key acts as a touch on the screen.",
            "teach them: " EDGETAB_PROGRAM};
}

void check_configuration(Report& report, Chain& chain) {
    struct stat st;
    if (stat(CONFIG_FILE, &st) != 0) {
        report.problem("config", CONFIG_FILE " is missing: no calibration is stored.",
                       "sudo install -m 0666 /dev/null " CONFIG_FILE ", then " + kRecalibrate);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        report.problem("config", CONFIG_FILE " is " + std::string(kind_of(st.st_mode)) + ".",
                       "sudo rm -r " CONFIG_FILE "; sudo install -m 0666 /dev/null " CONFIG_FILE
                       ", then " +
                           kRecalibrate);
        return;
    }
    const std::string size = std::to_string(st.st_size) + " bytes";
    if (access(CONFIG_FILE, R_OK) != 0) {
        report.problem("config",
                       CONFIG_FILE " is not readable by user " + quoted(user_name()) + " (" +
                           mode_and_owner(st) + ").",
                       "sudo chmod 0666 " CONFIG_FILE);
        return;
    }
    if (st.st_size > INI_BUF_SIZE - 1) {
        report.problem("config",
                       CONFIG_FILE " holds " + size + ", more than the " +
                           std::to_string(INI_BUF_SIZE - 1) +
                           " the programs read: they find no calibration and store none.",
                       "keep a copy (cp " CONFIG_FILE
                       " ~/config.ini.bak) and remove the "
                       "sections other than [" SEC_COORDINATE "], [" SEC_MONITOR "], [" SEC_HOTKEY
                       "], [" SEC_QMEDGETAB "] and [" SEC_PID "], then " +
                           kRecalibrate);
        return;
    }
    if (access(CONFIG_FILE, W_OK) != 0)
        report.problem("config",
                       CONFIG_FILE " is not writable by user " + quoted(user_name()) + " (" +
                           mode_and_owner(st) +
                           "): calibrations and edge keys cannot be stored, and the service "
                           "cannot register.",
                       "sudo chmod 0666 " CONFIG_FILE);
    else
        report.ok("config", CONFIG_FILE ", " + size + ", writable.");

    const int count = config_dot_num(chain.config);
    point stored[MAX_DOTS] = {};
    config_read_dots(chain.config, count, stored);
    Pos points[MAX_DOTS];
    for (int i = 0; i < MAX_DOTS; ++i) points[i] = {int(stored[i].x), int(stored[i].y)};
    report.add(judge_calibration(count, points));

    Pos touch[EDGE_KEY_COUNT], elec[EDGE_KEY_COUNT];
    config_read_hotkeys(chain.config, touch);
    config_read_qm_keys(chain.config, elec);
    report.add(
        judge_edge_keys(chain.board_line, chain.board ? chain.board->edgetab : 0, touch, elec));
}

void check_whiteboard_app(Report& report) {
    struct stat st;
    if (stat(WHITEBOARD_LAUNCHER, &st) != 0)
        report.warning("launcher",
                       WHITEBOARD_LAUNCHER " is missing: the board's start key starts nothing.",
                       "install the whiteboard application.");
    else if (!S_ISREG(st.st_mode) || access(WHITEBOARD_LAUNCHER, X_OK) != 0)
        report.warning("launcher",
                       WHITEBOARD_LAUNCHER " is not a program this user may run (" +
                           mode_and_owner(st) + "): the board's start key starts nothing.",
                       "sudo chmod 0755 " WHITEBOARD_LAUNCHER);
    else
        report.ok("launcher", WHITEBOARD_LAUNCHER " is there.");

    const std::string port = "UDP " WHITEBOARD_HOST ":" + std::to_string(WHITEBOARD_PORT);
    if (udp_table_receives_loopback(read_text("/proc/net/udp", 1 << 20), WHITEBOARD_PORT) ||
        udp_table_receives_loopback(read_text("/proc/net/udp6", 1 << 20), WHITEBOARD_PORT))
        report.ok("listener", "a program listens on " + port + ".");
    else
        report.warning("listener",
                       "nothing listens on " + port +
                           ": the board's keys and pen buttons reach no whiteboard application.",
                       "start the whiteboard application (the board's start key, or " +
                           std::string(WHITEBOARD_LAUNCHER) + ").");
}
