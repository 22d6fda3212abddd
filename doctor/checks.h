// The links of the chain from the USB adapter to the whiteboard application,
// checked in that order. Each check adds its lines to the report; what a
// later link needs from an earlier one travels in Chain.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "protocol/board_packet.h"
#include "store/config.h"
#include "geometry/monitors.h"
#include "report.h"

struct Chain {
    ConfigSnapshot config;           // read once, before the checks
    bool port_open_to_user = false;  // present, and this user may read and write it
    int board_line = -1;             // from the board's identification reply
    const BoardIdent* board = nullptr;
    bool wayland = false;  // the X display is Xwayland
};

// The running program registered under key (KEY_QUILLD, ...): its process
// id by the registry, else by its live lock, whose holder then did not
// register (registered false); -1 when none runs. A process is that program
// only when it is named so and runs the installed program, or, where that
// cannot be read (another user's process), holds the program's lock.
int running_reader(const char* key, bool* registered);

// Who reads the board now, as running_reader finds them: "the service Quilld (pid 12)",
// "the calibration tool Zuraze (pid 40)", ...; empty when nobody does.
std::string board_reader();

void check_port(Report& report, Chain& chain);   // device, adapter, access, ModemManager
void check_board(Report& report, Chain& chain);  // greets the board, unless someone reads it
void check_service(Report& report);              // registration, lock file, autostart
void check_display(Report& report, Chain& chain);  // X, Xwayland, screen, calibrated monitor
void check_pointer(Report& report, const Chain& chain);  // the kernel's path for the pointer
void check_configuration(Report& report, const Chain& chain);  // file, calibration, edge keys
void check_whiteboard_app(Report& report);                     // launcher, command port

// What decides the pointer's path: /dev/uinput there and writable by this
// user, the service running, and its device listed by the kernel.
struct PointerFacts {
    bool uinput = false;
    bool writable = false;
    bool service = false;
    bool device = false;
    bool wayland = false;
};
Finding judge_pointer(const PointerFacts& facts, const std::string& user);

// The verdict on the session, from the X extensions the server announces.
Finding judge_session(const std::vector<std::string>& extensions);

// The verdict on the monitor a calibration was made on ("" for the whole
// screen), with the monitors connected now.
Finding judge_monitor(const std::string& stored, const std::vector<Monitor>& monitors,
                      const Rect& screen);

// The verdict on a stored calibration (dotNum, and its points in board units).
Finding judge_calibration(int count, const Pos points[]);

// The verdict on the edge keys stored for the board: line -1 when the
// board's line is unknown; edgetab its identification flag then.
Finding judge_edge_keys(int line, int edgetab, const Pos touch[EDGE_KEY_COUNT],
                        const Pos elec[EDGE_KEY_COUNT]);

// The longer checks in three parts: a gatherer reads the facts, which carry
// every name the wording quotes; a pure classifier names the case; a renderer
// words its line.

// The process a registry entry names.
struct ProcessSeen {
    bool alive = false;            // it runs, and its owner can be read
    std::string name, exe, owner;  // exe empty where it cannot be read
};

// The registry's entry and the running service.
struct ServiceFacts {
    int registered_pid = -1;
    ProcessSeen entry;        // when registered_pid is above 0
    int pid = -1;             // the service, as running_reader finds it; -1 for none
    bool registered = false;  // ... and the registry names it
    std::string name;
    bool others = false;  // it runs for another user, owner
    std::string owner;
    bool root = false;  // the doctor runs as root
    std::string user;
};
enum class ServiceCase { runs, runs_for_other, unregistered, stale_entry, not_running };
ServiceCase classify_service(const ServiceFacts& f);
Finding service_finding(ServiceCase c, const ServiceFacts& f);

// The service's lock file, links not followed, and who holds it.
struct LockFacts {
    int service_pid = -1;  // as ServiceFacts::pid
    bool present = false;
    mode_t mode = 0;
    long holder = -1;  // lock_holder_pid: a pid, 0 when unsure, -1 for none
    std::string holder_name;
    bool others_file = false;  // it belongs to another user, owner
    std::string owner;
    bool protected_tmp = true;  // /proc/sys/fs/protected_regular is on
    bool root = false;
    std::string user;
};
enum class LockCase {
    free,
    missing,  // while the service runs
    not_a_file,
    held_by_service,
    maybe_held,  // a lock is listed on an inode of its number
    held_by_other,
    barred,  // another user's, and /tmp's protection keeps this user out
    unheld,  // while the service runs
    left_over,
};
LockCase classify_lock(const LockFacts& f);
Finding lock_finding(LockCase c, const LockFacts& f);

// The configuration file, links not followed.
struct ConfigFacts {
    bool present = false;
    mode_t mode = 0;
    nlink_t links = 0;
    off_t size = 0;
    bool readable = false, writable = false;  // by this user
    std::string mode_and_owner;               // "-rw-r----- root:root"
    std::string user;
};
enum class ConfigCase { missing, not_a_file, linked, unreadable, too_big, read_only, usable };
ConfigCase classify_config(const ConfigFacts& f);
Finding config_finding(ConfigCase c, const ConfigFacts& f);

// Who reads the board, else what it answered to the doctor's greeting.
struct BoardFacts {
    std::string reader;  // board_reader(); the board is probed only when empty
    bool port_open_to_user = false;
    bool opened = false;  // else open_error says why
    std::string open_error;
    bool answered = false;  // an identification reply came, in reply
    bool sent_data = false;
    uint8_t reply[PACKET_SIZE] = {};
};
enum class BoardCase {
    being_read,
    not_probed,  // the port's lines said why
    cannot_open,
    identified,
    unknown_model,
    anonymous,  // data, but no reply
    silent,
};
struct BoardVerdict {
    BoardCase which;
    int line = -1;  // the reply's line, and its row when the suite knows it
    const BoardIdent* board = nullptr;
};
BoardVerdict classify_board(const BoardFacts& f);
// None for not_probed.
std::optional<Finding> board_finding(const BoardVerdict& v, const BoardFacts& f);
