#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "checks.h"
#include "facts.h"
#include "geometry/calibration_grid.h"
#include "geometry/misclick.h"
#include "host.h"
#include "store/fileio.h"
#include "store/inifile.h"

namespace {

// "4, 9 or 20".
std::string point_counts_text() {
    std::string text = std::to_string(kPointCounts[0]);
    for (int i = 1; i < POINT_COUNT_CHOICES; ++i)
        text += (i + 1 < POINT_COUNT_CHOICES ? ", " : " or ") + std::to_string(kPointCounts[i]);
    return text;
}

bool table_taught(const Pos table[EDGE_KEY_COUNT]) {
    // Untaught entries read (0, 0) when stored, (0, 1) when missing.
    return std::any_of(table, table + EDGE_KEY_COUNT,
                       [](const Pos& p) { return p.x != 0 || p.y > 1; });
}

ConfigFacts gather_config() {
    ConfigFacts f;
    struct stat st;
    f.present = lstat(CONFIG_FILE, &st) == 0;
    if (!f.present) return f;
    f.mode = st.st_mode;
    f.links = st.st_nlink;
    f.size = st.st_size;
    f.readable = access(CONFIG_FILE, R_OK) == 0;
    f.writable = access(CONFIG_FILE, W_OK) == 0;
    f.mode_and_owner = mode_and_owner(st);
    f.user = user_name();
    return f;
}

}  // namespace

Finding judge_calibration(int count, const Pos points[]) {
    if (!is_point_count(count))
        return {Verdict::problem, "calibration",
                count == 0 ? "none stored: the pen lands at the top left corner."
                           : "dotNum is " + std::to_string(count) + ", not " + point_counts_text() +
                                 ": the pen lands at the top left corner.",
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
    if (off == MISCLICK_FLAT)
        return {Verdict::problem, "calibration",
                "the " + std::to_string(count) +
                    " points do not span the board in both directions (as when one of the "
                    "board's axes does not move): the pen cannot be mapped.",
                "see with whiteboard-doctor --watch that x and y both change as the pen moves "
                "across the board, then " +
                    kRecalibrate};
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
                std::string(touch_taught ? "taught" : "not taught") + " for the " +
                    line_name(LINE_TOUCH) + " line, " + (elec_taught ? "taught" : "not taught") +
                    " for the " + line_name(LINE_ELEC) +
                    " line (the board's line is not known here).",
                ""};
    if (!watches_edge_keys(line, edgetab))
        return {Verdict::ok, "edge keys", "the board has no printed edge keys to teach.", ""};
    if (line == LINE_TOUCH ? touch_taught : elec_taught)
        return {Verdict::ok, "edge keys",
                std::string("taught for the board's ") + line_name(line) + " line.", ""};
    return {Verdict::warning, "edge keys",
            std::string("not taught for the board's ") + line_name(line) +
                " line: a touch on a printed edge key acts as a touch on the screen.",
            "teach them: " EDGETAB_PROGRAM};
}

ConfigCase classify_config(const ConfigFacts& f) {
    // The programs use only a regular file at the name itself, never a link.
    if (!f.present) return ConfigCase::missing;
    if (!S_ISREG(f.mode)) return ConfigCase::not_a_file;
    if (f.links > 1) return ConfigCase::linked;
    if (!f.readable) return ConfigCase::unreadable;
    if (f.size > INI_BUF_SIZE - 1) return ConfigCase::too_big;
    return f.writable ? ConfigCase::usable : ConfigCase::read_only;
}

Finding config_finding(ConfigCase c, const ConfigFacts& f) {
    const std::string size = std::to_string(f.size) + " bytes";
    switch (c) {
        case ConfigCase::missing:
            return {Verdict::problem, "config",
                    CONFIG_FILE " is missing: no calibration is stored.",
                    "sudo install -D -m 0666 /dev/null " CONFIG_FILE ", then " + kRecalibrate};
        case ConfigCase::not_a_file:
            return {Verdict::problem, "config",
                    CONFIG_FILE " is " + std::string(file_kind(f.mode)) + ".",
                    "sudo rm -r " CONFIG_FILE "; sudo install -D -m 0666 /dev/null " CONFIG_FILE
                    ", then " +
                        kRecalibrate};
        case ConfigCase::linked:
            return {Verdict::problem, "config",
                    CONFIG_FILE " has " + std::to_string(f.links) +
                        " names (hard links): the programs do not rewrite it, so no "
                        "calibration or edge key can be stored.",
                    "sudo cp " CONFIG_FILE " ~/config.ini.bak; sudo rm " CONFIG_FILE
                    "; sudo install -m 0666 ~/config.ini.bak " CONFIG_FILE};
        case ConfigCase::unreadable:
            return {Verdict::problem, "config",
                    CONFIG_FILE " is not readable by user " + quoted(f.user) + " (" +
                        f.mode_and_owner + ").",
                    "sudo chmod 0666 " CONFIG_FILE};
        case ConfigCase::too_big:
            return {Verdict::problem, "config",
                    CONFIG_FILE " holds " + size + ", more than the " +
                        std::to_string(INI_BUF_SIZE - 1) +
                        " the programs read: they find no calibration and store none.",
                    "keep a copy (cp " CONFIG_FILE
                    " ~/config.ini.bak) and remove the sections other than [" SEC_COORDINATE
                    "], [" SEC_MONITOR "], [" SEC_HOTKEY "], [" SEC_QMEDGETAB "] and [" SEC_PID
                    "], then " +
                        kRecalibrate};
        case ConfigCase::read_only:
            return {Verdict::problem, "config",
                    CONFIG_FILE " is not writable by user " + quoted(f.user) + " (" +
                        f.mode_and_owner +
                        "): calibrations and edge keys cannot be stored, and the service "
                        "cannot register.",
                    "sudo chmod 0666 " CONFIG_FILE};
        case ConfigCase::usable:
            break;
    }
    return {Verdict::ok, "config", CONFIG_FILE ", " + size + ", writable.", ""};
}

void check_configuration(Report& report, const Chain& chain) {
    const ConfigFacts f = gather_config();
    const ConfigCase c = classify_config(f);
    report.add(config_finding(c, f));
    // Only a file that the programs read holds a calibration worth judging.
    if (c != ConfigCase::usable && c != ConfigCase::read_only) return;

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
    // With many sockets the tables are large: read whole, bounded by time.
    const auto listens = [](const char* table) {
        return udp_table_receives_loopback(read_text(table, SIZE_MAX), WHITEBOARD_PORT);
    };
    if (listens("/proc/net/udp") || listens("/proc/net/udp6"))
        report.ok("listener", "a program listens on " + port + ".");
    else
        report.warning("listener",
                       "nothing listens on " + port +
                           ": the board's keys and pen buttons reach no whiteboard application.",
                       "start the whiteboard application (the board's start key, or " +
                           std::string(WHITEBOARD_LAUNCHER) + ").");
}
