#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "board_port.h"
#include "checks.h"
#include "clock.h"
#include "facts.h"
#include "host.h"
#include "packet_view.h"
#include "protocol/serial.h"
#include "store/fileio.h"
#include "store/registry.h"

namespace {

// How long a silent board gets to answer; it is greeted twice meanwhile.
constexpr double PROBE_SECONDS = 2.0;

const std::string kDevice = BOARD_DEVICE;

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
            "the desktop user the port)" +
            // A port of group root has no group worth joining.
            (st.st_gid == 0 ? std::string(".")
                            : ", or join the port's group: sudo usermod -aG " + group + " " + user +
                                  ", then log out and in.");
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

// Greets the board and listens for its answer, into f.
void probe(int fd, BoardFacts& f) {
    flush_and_greet(fd);
    PacketReader reader;
    bool greeted_again = false;
    const double start = monotonic_seconds();
    uint8_t pkt[PACKET_SIZE];
    while (!f.answered && monotonic_seconds() - start < PROBE_SECONDS) {
        if (!greeted_again && monotonic_seconds() - start >= PROBE_SECONDS / 2) {
            greeted_again = true;
            Connect_EQ2(fd);
        }
        const int got = reader.next(fd, pkt);
        if (got < 0) break;
        if (got == 0 || !packet_check_ok(pkt)) continue;
        if (pkt[0] == DATA_HEAD) {
            f.sent_data = true;
        } else {
            f.answered = true;
            memcpy(f.reply, pkt, PACKET_SIZE);
        }
    }
}

BoardFacts gather_board(const Chain& chain) {
    BoardFacts f;
    f.reader = board_reader();
    f.port_open_to_user = chain.port_open_to_user;
    // Never greet a board that someone reads, nor a port this user may not open.
    if (!f.reader.empty() || !f.port_open_to_user) return f;
    const BoardPort port;
    f.opened = port.fd() >= 0;
    f.open_error = port.error();
    if (f.opened) probe(port.fd(), f);
    return f;
}

// The suite's readers of the board: their registry key, lock file, role and
// installed programs.
struct Reader {
    const char* key;
    const char* lock;
    const char* what;
    const char* programs[2];
};

const Reader kReaders[] = {
    {KEY_QUILLD, QUILLD_LOCK, "the service", {QUILLD_PROGRAM, QUILLD_COMPACT_PROGRAM}},
    {KEY_ZURAZE, ZURAZE_LOCK, "the calibration tool", {ZURAZE_PROGRAM, nullptr}},
    {KEY_EDGETAB, EDGETAB_LOCK, "the edge-key tool", {EDGETAB_PROGRAM, nullptr}}};

// The holder of a reader's lock file, when it can be named for sure.
int lock_holder_of(const Reader& r) {
    const int fd = open(r.lock, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    const long holder = lock_holder_pid(fd);
    close(fd);
    return holder > 0 ? int(holder) : -1;
}

// Any user can register an id and name a process like the reader: it is the
// reader only when it runs the installed program, or, where its program
// cannot be read (another user's process), when it holds the reader's lock.
bool genuine(int pid, const Reader& r) {
    if (!registry_owns(pid, r.key)) return false;
    const std::string exe = process_executable(pid);
    if (exe.empty()) return lock_holder_of(r) == pid;
    return std::any_of(std::begin(r.programs), std::end(r.programs),
                       [&](const char* p) { return p != nullptr && exe == p; });
}

const Reader* reader_of(const char* key) {
    for (const Reader& r : kReaders)
        if (strcmp(r.key, key) == 0) return &r;
    return nullptr;
}

}  // namespace

int running_reader(const char* key, bool* registered) {
    *registered = false;
    const Reader* r = reader_of(key);
    if (r == nullptr) return -1;
    const int pid = registry_read(r->key);
    *registered = genuine(pid, *r);
    if (*registered) return pid;
    // One that could not register still has the port.
    const int holder = lock_holder_of(*r);
    return holder > 0 && genuine(holder, *r) ? holder : -1;
}

std::string board_reader() {
    for (const Reader& r : kReaders) {
        bool registered;
        const int pid = running_reader(r.key, &registered);
        if (pid > 0)
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
        report.problem("device", kDevice + " is " + file_kind(st.st_mode) + ", not a serial port.",
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

BoardVerdict classify_board(const BoardFacts& f) {
    if (!f.reader.empty()) return {BoardCase::being_read};
    if (!f.port_open_to_user) return {BoardCase::not_probed};
    if (!f.opened) return {BoardCase::cannot_open};
    if (f.answered) {
        const BoardIdent* board = identify(f.reply[0], f.reply[1]);
        return {board ? BoardCase::identified : BoardCase::unknown_model, line_of_head(f.reply[0]),
                board};
    }
    return {f.sent_data ? BoardCase::anonymous : BoardCase::silent};
}

std::optional<Finding> board_finding(const BoardVerdict& v, const BoardFacts& f) {
    switch (v.which) {
        case BoardCase::being_read:
            return Finding{Verdict::ok, "board",
                           f.reader + " reads the board; not probed while it does.", ""};
        case BoardCase::not_probed:
            return std::nullopt;
        case BoardCase::cannot_open:
            return Finding{Verdict::problem, "board",
                           kDevice + " cannot be opened: " + f.open_error + ".",
                           "see which program holds it: fuser -v " + kDevice + "."};
        case BoardCase::identified:
            return Finding{Verdict::ok, "board", board_description(*v.board) + ".", ""};
        case BoardCase::unknown_model:
            return Finding{
                Verdict::warning, "board", reply_description(f.reply) + ".",
                "the suite does not know this model; the service reads the board as the " +
                    std::string(line_name(v.line == LINE_ELEC ? LINE_ELEC : LINE_TOUCH)) +
                    " line. Tell the board's supplier the reply."};
        case BoardCase::anonymous:
            return Finding{Verdict::warning, "board",
                           "sends packets but did not identify itself when greeted.",
                           "switch the board off and on again, then run whiteboard-doctor again."};
        case BoardCase::silent:
            break;
    }
    return Finding{Verdict::problem, "board",
                   "silent: no answer to the greeting within " +
                       std::to_string(int(PROBE_SECONDS)) +
                       " s. Likely causes: the board is switched off; the cable between the "
                       "board and the adapter is loose; the adapter is not the board's; a "
                       "program outside the suite reads the port.",
                   "switch the board on, check both ends of its cable, see that no other "
                   "program has the port (fuser -v " +
                       kDevice + "), then run whiteboard-doctor again."};
}

void check_board(Report& report, Chain& chain) {
    const BoardFacts facts = gather_board(chain);
    const BoardVerdict v = classify_board(facts);
    // The chain starts at -1 and none: only a reply changes them.
    chain.board_line = v.line;
    chain.board = v.board;
    if (const std::optional<Finding> f = board_finding(v, facts)) report.add(*f);
}
