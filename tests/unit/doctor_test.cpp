// The doctor's pure parts: the packet view, the verdicts on stored data and
// on the facts the checks gather, the readers of sysfs, udev and /proc
// tables, and the line format.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "checks.h"
#include "facts.h"
#include "packet_view.h"
#include "store/inifile.h"
#include "store/paths.h"
#include "test_support.h"
#include "x/xwayland.h"

namespace {

std::vector<uint8_t> packet(std::vector<uint8_t> body) {
    body.push_back(packet_check_byte(body.data()));
    return body;
}

// Board point (x, y) packed the way each line sends it: the touch line puts
// x in bytes 5 and 6, the electromagnetic line in bytes 3 and 4.
std::vector<uint8_t> data(uint8_t event, int x, int y, int line) {
    const int a = line == LINE_TOUCH ? y : x, b = line == LINE_TOUCH ? x : y;
    return packet({DATA_HEAD, 0x00, event, uint8_t(a >> 6 & 0x3F), uint8_t(a & 0x3F),
                   uint8_t(b >> 6 & 0x3F), uint8_t(b & 0x3F)});
}

TEST(PacketView, EveryKindOfPacketIsNamed) {
    const int T = LINE_TOUCH, E = LINE_ELEC;
    const struct {
        std::vector<uint8_t> pkt;
        int line;
        const char* text;
    } cases[] = {
        {packet({0xC8, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), T,
         "board: touch line, with printed edge keys (TouchS_Cmp, reply c8 dd)"},
        {packet({0xC8, 0xCC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), T,
         "board: touch line, without printed edge keys (TouchH_Cmp, reply c8 cc)"},
        {packet({0xE8, 0xCE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), T,
         "board: electromagnetic line, size class 80, with printed edge keys "
         "(ElecH_Cmp_80, reply e8 ce)"},
        {packet({0xEC, 0xEF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), E,
         "board: electromagnetic line, size class 120, without printed edge keys "
         "(Elec_NSCmp_120, reply ec ef)"},
        {packet({0xE5, 0x11, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), T,
         "board: electromagnetic line, unknown model (reply e5 11)"},
        {packet({0x42, 0xCC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), T,
         "board: an identification no board line uses (reply 42 cc)"},
        {data(T_DOWN, 1200, 800, T), T, "contact x 1200 y 800"},
        {data(T_DOWN, 1200, 800, E), E, "contact x 1200 y 800"},
        {data(T_UP, 4095, 0, E), E, "lift x 4095 y 0"},
        {data(0xA9, 0, 0, T), T, "key NewPage (a9): word anew"},
        {data(0xDA, 0, 0, E), E, "key NewPage (da): word anew"},
        {data(0xF7, 0, 0, E), E, "key UserDefine1 (f7): word cusp"},
        {data(T_CMD_ORIENT, 0, 0, T), T, "key Orient (a2): starts the calibration tool"},
        {data(0xF9, 0, 0, E), E, "key Start (f9): starts the whiteboard application"},
        {data(Elec_Front, 300, 200, E), E,
         "pen button front (85) at x 300 y 200: left click, word elfc"},
        {data(Elec_Back, 300, 200, E), E, "pen button back (87): right click, word elbc"},
        {data(0x33, 0, 0, T), T, "event 33: no board key (ee 00 33 00 00 00 00 dd)"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe_packet(c.pkt.data(), c.line), c.text);

    std::vector<uint8_t> broken = data(T_DOWN, 1, 2, T);
    broken[7] ^= 1;
    EXPECT_EQ(describe_packet(broken.data(), T), "bad check byte: ee 00 51 00 02 00 01 bd");
}

// A 3 by 3 grid in board units, numbered down each column.
std::vector<Pos> grid9() {
    std::vector<Pos> points;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) points.push_back({400 + 1650 * c, 400 + 1650 * r});
    return points;
}

TEST(DoctorVerdicts, StoredCalibrations) {
    std::vector<Pos> fine = grid9(), on_top = grid9(), off = grid9(), extreme = grid9();
    on_top[1] = on_top[0];
    off[4] = {off[4].x + 900, off[4].y - 700};
    // A board whose y axis is stuck, and values no board sends.
    const std::vector<Pos> stuck = {{601, 1999}, {1601, 1999}, {2601, 1999}, {3601, 1999}};
    extreme[0] = {INT_MIN, INT_MIN};
    extreme[1] = {INT_MAX, INT_MAX};
    const struct {
        int count;
        const std::vector<Pos>* points;
        Verdict verdict;
        const char* found;
    } cases[] = {
        {0, &fine, Verdict::problem, "none stored: the pen lands at the top left corner."},
        {5, &fine, Verdict::problem,
         "dotNum is 5, not 4, 9 or 20: the pen lands at the top left corner."},
        {9, &fine, Verdict::ok, "9 points that fit together."},
        {9, &on_top, Verdict::problem,
         "targets 1 and 2 of 9 were touched on the same spot: the pen lands in the wrong place."},
        {9, &off, Verdict::problem,
         "target 5 of 9 does not fit the others: the pen lands in the wrong place near it."},
        {4, &stuck, Verdict::problem,
         "the 4 points do not span the board in both directions (as when one of the "
         "board's axes does not move): the pen cannot be mapped."},
        {9, &extreme, Verdict::problem,
         "the 9 points do not span the board in both directions (as when one of the board's "
         "axes does not move): the pen cannot be mapped."},
    };
    for (const auto& c : cases) {
        const Finding f = judge_calibration(c.count, c.points->data());
        EXPECT_EQ(f.verdict, c.verdict) << c.found;
        EXPECT_EQ(f.found, c.found);
        EXPECT_EQ(f.fix.empty(), c.verdict == Verdict::ok) << c.found;
    }
}

TEST(DoctorVerdicts, EdgeKeysAreJudgedForTheBoardsLine) {
    Pos none[EDGE_KEY_COUNT] = {}, taught[EDGE_KEY_COUNT] = {};
    taught[5] = {120, 3900};
    const struct {
        int line, edgetab;
        const Pos *touch, *elec;
        Verdict verdict;
        const char* found;
    } cases[] = {
        {-1, 0, taught, none, Verdict::ok,
         "taught for the touch line, not taught for the electromagnetic line (the board's line "
         "is not known here)."},
        {LINE_TOUCH, 0, taught, none, Verdict::ok, "taught for the board's touch line."},
        {LINE_TOUCH, 0, none, taught, Verdict::warning,
         "not taught for the board's touch line: a touch on a printed edge key acts as a touch "
         "on the screen."},
        {LINE_TOUCH, 1, none, none, Verdict::ok, "the board has no printed edge keys to teach."},
        {LINE_ELEC, 1, taught, none, Verdict::warning,
         "not taught for the board's electromagnetic line: a touch on a printed edge key acts "
         "as a touch on the screen."},
        {LINE_ELEC, 0, none, none, Verdict::ok, "the board has no printed edge keys to teach."},
    };
    for (const auto& c : cases) {
        const Finding f = judge_edge_keys(c.line, c.edgetab, c.touch, c.elec);
        EXPECT_EQ(f.verdict, c.verdict) << c.found;
        EXPECT_EQ(f.found, c.found);
    }
    // A missing key reads (0, 1): still not taught.
    Pos missing[EDGE_KEY_COUNT];
    for (Pos& p : missing) p = {0, 1};
    EXPECT_EQ(judge_edge_keys(LINE_TOUCH, 0, missing, none).verdict, Verdict::warning);
}

// Extension lists as an Xwayland and an Xorg server announce them.
TEST(DoctorVerdicts, AWaylandSessionIsAWarningWithTheWayOut) {
    std::vector<std::string> xorg = {"Generic Event Extension",
                                     "SHAPE",
                                     "MIT-SHM",
                                     "XInputExtension",
                                     "XTEST",
                                     "BIG-REQUESTS",
                                     "SYNC",
                                     "XKEYBOARD",
                                     "XC-MISC",
                                     "XFIXES",
                                     "RENDER",
                                     "RANDR",
                                     "XINERAMA",
                                     "Composite",
                                     "DAMAGE",
                                     "DOUBLE-BUFFER",
                                     "RECORD",
                                     "Present",
                                     "DRI3",
                                     "GLX"};
    std::vector<std::string> xwayland = xorg;
    xwayland.insert(xwayland.begin() + 14, "XWAYLAND");
    EXPECT_EQ(finding_line(judge_session(xorg)), "ok      session: X11.");
    EXPECT_EQ(
        finding_line(judge_session(xwayland)),
        std::string("warning session: Xwayland, in a Wayland session. Fix: ") + XWAYLAND_NOTE);
}

// A projector plugged in after calibrating splits the screen; a mirror does not.
TEST(DoctorVerdicts, ThePointersPathAndTheWayToTheKernelOne) {
    const struct {
        PointerFacts facts;  // uinput, writable, service, device, wayland
        Verdict verdict;
        const char* found;
    } cases[] = {
        {{true, true, true, true, true}, Verdict::ok,
         "the service drives the pointer through its kernel device \"Whiteboard pen pointer\" "
         "(/dev/uinput)."},
        {{true, true, false, false, true}, Verdict::ok,
         "/dev/uinput is writable: the service drives the pointer through its kernel device "
         "\"Whiteboard pen pointer\" (/dev/uinput) once it runs."},
        {{true, true, true, false, true}, Verdict::warning,
         "/dev/uinput is writable, but the service started before it was and drives the pointer "
         "through XTest, which on this Wayland desktop reaches X11 programs only."},
        {{true, false, true, false, true}, Verdict::warning,
         "/dev/uinput is not writable by user \"ann\": the service drives the pointer through "
         "XTest, which on this Wayland desktop reaches X11 programs only."},
        {{false, false, true, false, false}, Verdict::ok,
         "/dev/uinput is missing (the uinput module is not loaded): the service drives the "
         "pointer through XTest, which reaches every X11 program."},
    };
    for (const auto& c : cases) {
        const Finding f = judge_pointer(c.facts, "ann");
        EXPECT_EQ(f.verdict, c.verdict) << c.found;
        EXPECT_EQ(f.found, c.found);
        EXPECT_EQ(f.fix.empty(), c.verdict == Verdict::ok) << c.found;
    }
}

// A row of a check's table: what it changes in the table's facts, the case
// it expects, and how its line starts ("" for no line).
template <class Facts, class Case>
struct Row {
    void (*change)(Facts&);
    Case which;
    const char* line;
};

std::string line_start(const std::optional<Finding>& f, const std::string& expected) {
    return f ? finding_line(*f).substr(0, expected.size()) : "";
}

template <class Facts, class Case, size_t N>
void check_rows(const Facts& base, const Row<Facts, Case> (&rows)[N],
                Case (*classify)(const Facts&), Finding (*render)(Case, const Facts&)) {
    for (const auto& r : rows) {
        Facts f = base;
        r.change(f);
        const Case which = classify(f);
        EXPECT_EQ(which, r.which) << r.line;
        EXPECT_EQ(line_start(render(which, f), r.line), r.line);
    }
}

// Rows change a service that does not run.
TEST(DoctorVerdicts, TheServiceAndItsRegistryEntry) {
    using F = ServiceFacts;
    using C = ServiceCase;
    F base;
    base.name = "Quilld";
    base.user = "ann";
    const Row<F, C> rows[] = {
        {[](F&) {}, C::not_running, "problem service: not running. Fix:"},
        {[](F& f) { f.registered_pid = 0; }, C::not_running, "problem service: not running. Fix:"},
        {[](F& f) {
             f.registered_pid = 31, f.entry = {true, "sleep", "/bin/sleep", "bob"};
         },
         C::stale_entry,
         "problem service: not running: the registry names pid 31, which is "
         "\"sleep\" (/bin/sleep) of user \"bob\", not the service."},
        {[](F& f) { f.registered_pid = 31; }, C::stale_entry,
         "problem service: not running: the registry names pid 31, which has ended."},
        {[](F& f) { f.pid = 42, f.registered = true; }, C::runs,
         "ok      service: Quilld runs (pid 42)."},
        {[](F& f) { f.pid = 42, f.registered = f.others = true, f.owner = "bob"; },
         C::runs_for_other,
         "problem service: Quilld runs (pid 42) for user \"bob\": it drives that user's desktop, "
         "not the one of \"ann\". Fix: once that user has logged out, or the service ended (sudo "
         "kill 42)"},
        {[](F& f) { f.pid = 42, f.registered = f.others = f.root = true, f.owner = "bob"; },
         C::runs, "ok      service: Quilld runs (pid 42) for user \"bob\"."},
        {[](F& f) { f.pid = 42; }, C::unregistered,
         "warning service: Quilld runs (pid 42), but the registry names none: the tools"},
        {[](F& f) { f.pid = 42, f.registered_pid = 31; }, C::unregistered,
         "warning service: Quilld runs (pid 42), but the registry names pid 31, which has ended:"},
    };
    check_rows(base, rows, classify_service, service_finding);
}

// Rows change a left-over lock file of this user that nobody holds.
TEST(DoctorVerdicts, TheLockFileAndWhoHoldsIt) {
    using F = LockFacts;
    using C = LockCase;
    F base;
    base.present = true;
    base.mode = S_IFREG | 0644;
    base.owner = base.user = "ann";
    const Row<F, C> rows[] = {
        {[](F& f) { f.present = false; }, C::free, "ok      lock: /tmp/Quilld.mux is free."},
        {[](F& f) { f.present = false, f.service_pid = 42; }, C::missing,
         "warning lock: /tmp/Quilld.mux is missing while the service runs"},
        {[](F& f) { f.mode = S_IFDIR | 0755; }, C::not_a_file,
         "problem lock: /tmp/Quilld.mux is a directory: the service cannot take its lock"},
        {[](F& f) { f.service_pid = f.holder = 42; }, C::held_by_service,
         "ok      lock: /tmp/Quilld.mux is held by the service (pid 42)."},
        {[](F& f) { f.service_pid = 42, f.holder = 0; }, C::maybe_held,
         "warning lock: /tmp/Quilld.mux may be locked"},
        {[](F& f) { f.service_pid = 42, f.holder = 77, f.holder_name = "locker"; },
         C::held_by_other,
         "problem lock: /tmp/Quilld.mux is held by process 77 (locker), which is not the service: "
         "the service of this session cannot start. Fix: end it (kill 77)"},
        {[](F& f) { f.others_file = true, f.owner = "bob"; }, C::barred,
         "problem lock: /tmp/Quilld.mux was left by user \"bob\", and this user may not open it "
         "in /tmp: the service will not start for \"ann\"."},
        // Root, or /tmp without the protection, may open another user's file.
        {[](F& f) { f.others_file = f.root = true; }, C::left_over, "ok"},
        {[](F& f) { f.others_file = true, f.protected_tmp = false; }, C::left_over, "ok"},
        {[](F& f) { f.service_pid = 42; }, C::unheld,
         "warning lock: /tmp/Quilld.mux is not held while the service runs"},
        {[](F&) {}, C::left_over, "ok      lock: /tmp/Quilld.mux is left from an earlier run"},
    };
    check_rows(base, rows, classify_lock, lock_finding);
}

// Rows change a readable and writable file of one name.
TEST(DoctorVerdicts, TheConfigurationFileItself) {
    using F = ConfigFacts;
    using C = ConfigCase;
    F base;
    base.present = base.readable = base.writable = true;
    base.mode = S_IFREG | 0666;
    base.links = 1;
    base.size = 120;
    base.mode_and_owner = "-rw-r----- root:root";
    base.user = "ann";
    const Row<F, C> rows[] = {
        {[](F& f) { f.present = false; }, C::missing,
         "problem config: " CONFIG_FILE " is missing:"},
        {[](F& f) { f.mode = S_IFIFO | 0666; }, C::not_a_file,
         "problem config: " CONFIG_FILE " is a FIFO. Fix: sudo rm -r"},
        {[](F& f) { f.links = 3; }, C::linked, "problem config: " CONFIG_FILE " has 3 names"},
        {[](F& f) { f.readable = f.writable = false; }, C::unreadable,
         "problem config: " CONFIG_FILE " is not readable by user \"ann\" (-rw-r----- root:root)."},
        {[](F& f) { f.size = INI_BUF_SIZE, f.writable = false; }, C::too_big,
         "problem config: " CONFIG_FILE
         " holds 16384 bytes, more than the 16383 the programs read"},
        {[](F& f) { f.writable = false; }, C::read_only,
         "problem config: " CONFIG_FILE " is not writable by user \"ann\" (-rw-r----- root:root):"},
        {[](F& f) { f.size = INI_BUF_SIZE - 1; }, C::usable,
         "ok      config: " CONFIG_FILE ", 16383 bytes, writable."},
    };
    check_rows(base, rows, classify_config, config_finding);
}

// Rows change a port this user opened and greeted, and nothing came back;
// each also names the line and the row the chain gets.
TEST(DoctorVerdicts, TheBoardsAnswerToTheGreeting) {
    using F = BoardFacts;
    using C = BoardCase;
    F base;
    base.port_open_to_user = base.opened = true;
    const struct {
        Row<F, C> row;
        int line = -1;
        const char* ident = nullptr;
    } cases[] = {
        {{[](F& f) { f.reader = "the service Quilld (pid 12)", f.port_open_to_user = false; },
          C::being_read, "ok      board: the service Quilld (pid 12) reads the board; not probed"}},
        {{[](F& f) { f.port_open_to_user = false; }, C::not_probed, ""}},
        {{[](F& f) { f.opened = false, f.open_error = "Device or resource busy"; }, C::cannot_open,
          "problem board: /dev/ttyUSB0 cannot be opened: Device or resource busy."}},
        // A reply counts, whatever data came with it.
        {{[](F& f) { f.answered = f.sent_data = true, f.reply[0] = 0xE8, f.reply[1] = 0xCE; },
          C::identified,
          "ok      board: electromagnetic line, size class 80, with printed edge keys"},
         LINE_ELEC,
         "ElecH_Cmp_80"},
        {{[](F& f) { f.answered = true, f.reply[0] = 0xE5, f.reply[1] = 0x11; }, C::unknown_model,
          "warning board: electromagnetic line, unknown model (reply e5 11). Fix: the suite does "
          "not know this model; the service reads the board as the electromagnetic line."},
         LINE_ELEC},
        {{[](F& f) { f.answered = true, f.reply[0] = 0x42, f.reply[1] = 0xCC; }, C::unknown_model,
          "warning board: an identification no board line uses (reply 42 cc). Fix: the suite does "
          "not know this model; the service reads the board as the touch line."}},
        {{[](F& f) { f.sent_data = true; }, C::anonymous,
          "warning board: sends packets but did not identify itself"}},
        {{[](F&) {}, C::silent, "problem board: silent: no answer to the greeting within 2 s."}},
    };
    for (const auto& c : cases) {
        F f = base;
        c.row.change(f);
        const BoardVerdict v = classify_board(f);
        EXPECT_EQ(v.which, c.row.which) << c.row.line;
        EXPECT_EQ(v.line, c.line) << c.row.line;
        EXPECT_STREQ(v.board ? v.board->name : nullptr, c.ident) << c.row.line;
        EXPECT_EQ(line_start(board_finding(v, f), c.row.line), c.row.line);
    }
}

// Names any user can choose reach the terminal with no byte it would act on.
TEST(DoctorLines, ForeignTextIsEscapedUnlessPrintableUtf8) {
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {"Quilld", "Quilld"},
        {"\x1b]0;owned\x07Quilld", "\\x1b]0;owned\\x07Quilld"},
        {"HDMI-1\nok      x", "HDMI-1\\x0aok      x"},
        {"del\x7f", "del\\x7f"},
        {"\xc3\x89"
         "cran \xe2\x82\xac \xf0\x9f\x98\x80",
         "\xc3\x89"
         "cran \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"csi\xc2\x9b"
         "2J",
         "csi\\xc2\\x9b2J"},  // C1 control, as UTF-8
        {"raw\x9b"
         "2J",
         "raw\\x9b2J"},                                         // a lone continuation byte
        {"\xc0\xaf\xed\xa0\x80", "\\xc0\\xaf\\xed\\xa0\\x80"},  // overlong, surrogate
        {"cut\xe2\x82", "cut\\xe2\\x82"},
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},  // past U+10FFFF
    };
    for (const auto& c : cases) EXPECT_EQ(terminal_safe(c.text), c.shown) << c.shown;
    EXPECT_EQ(finding_line({Verdict::problem, "service", "pid 7 is \"a\nb\"", "kill 7"}),
              "problem service: pid 7 is \"a\\x0ab\" Fix: kill 7");
}

TEST(DoctorVerdicts, TheCalibratedMonitorAgainstTheConnectedOnes) {
    const Rect screen{0, 0, 3200, 1080}, mirrored{0, 0, 1920, 1080};
    const std::vector<Monitor> one = {{"eDP-1", mirrored}},
                               split = {{"eDP-1", {0, 0, 1920, 1080}},
                                        {"HDMI-1", {1920, 0, 1280, 1024}}},
                               mirror = {{"eDP-1", mirrored}, {"HDMI-1", mirrored}};
    const struct {
        const char* stored;
        const std::vector<Monitor>* monitors;
        Rect screen;
        Verdict verdict;
    } cases[] = {
        {"", &one, mirrored, Verdict::ok},
        {"", &split, screen, Verdict::warning},
        {"", &mirror, mirrored, Verdict::ok},
        {"HDMI-1", &split, screen, Verdict::ok},
        {"HDMI-1", &one, mirrored, Verdict::warning},
    };
    for (const auto& c : cases)
        EXPECT_EQ(judge_monitor(c.stored, *c.monitors, c.screen).verdict, c.verdict)
            << c.stored << " on " << c.monitors->size();
    EXPECT_EQ(judge_monitor("HDMI-1", one, mirrored).found,
              "the calibration was made on monitor \"HDMI-1\", which is not connected: the board "
              "maps onto the whole screen.");
}

// sysfs as it looks for an adapter on a USB hub: the tty's device link, the
// interface with its driver, the USB device with its ids.
TEST(DoctorFacts, TheUsbAdapterIsFoundAboveItsCharacterDevice) {
    TempDir sys;
    const std::string usb = sys.path() + "/devices/pci0000:00/usb1/1-2/1-2.4";
    const std::string iface = usb + "/1-2.4:1.0";
    const std::string tty = iface + "/ttyUSB0/tty/ttyUSB0";
    ASSERT_EQ(std::system(("mkdir -p '" + tty + "' '" + sys.path() + "/dev/char' '" + sys.path() +
                           "/bus/usb-serial/drivers/pl2303'")
                              .c_str()),
              0);
    write_file(usb + "/idVendor", "067b\n");
    write_file(usb + "/idProduct", "2303\n");
    write_file(usb + "/manufacturer", "Prolific Technology Inc.\n");
    write_file(usb + "/product", "USB-Serial Controller\n");
    ASSERT_EQ(symlink("../..", (tty + "/device").c_str()), 0);
    ASSERT_EQ(symlink((sys.path() + "/bus/usb-serial/drivers/pl2303").c_str(),
                      (iface + "/ttyUSB0/driver").c_str()),
              0);
    ASSERT_EQ(symlink("../../devices/pci0000:00/usb1/1-2/1-2.4/1-2.4:1.0/ttyUSB0/tty/ttyUSB0",
                      (sys.path() + "/dev/char/188:0").c_str()),
              0);

    UsbAdapter a;
    ASSERT_TRUE(find_usb_adapter(sys.path(), 188, 0, &a));
    EXPECT_EQ(adapter_label(a),
              "067b:2303 Prolific Technology Inc. USB-Serial Controller "
              "(driver pl2303)");
    // A pseudo-terminal is not in sysfs; a device outside USB has no ids.
    EXPECT_FALSE(find_usb_adapter(sys.path(), 136, 3, &a));
    ASSERT_EQ(symlink("../../devices/pci0000:00", (sys.path() + "/dev/char/4:65").c_str()), 0);
    EXPECT_FALSE(find_usb_adapter(sys.path(), 4, 65, &a));
    EXPECT_EQ(adapter_label({"0403", "6001", "", "", ""}), "0403:6001");
}

TEST(DoctorFacts, UdevPropertiesAndDesktopEntries) {
    const std::string entry =
        "S:serial/by-id/usb-FTDI-if00-port0\nI:1234\n"
        "E:ID_VENDOR_ID=0403\nE:ID_MM_DEVICE_IGNORE=1\nG:uaccess\n";
    EXPECT_EQ(udev_property(entry, "ID_MM_DEVICE_IGNORE"), "1");
    EXPECT_EQ(udev_property(entry, "ID_VENDOR"), "");
    EXPECT_EQ(udev_property("E:XID_MM_DEVICE_IGNORE=1\n", "ID_MM_DEVICE_IGNORE"), "");

    EXPECT_FALSE(desktop_entry_disabled("[Desktop Entry]\nX-GNOME-Autostart-enabled=true\n"));
    EXPECT_TRUE(desktop_entry_disabled("[Desktop Entry]\nHidden=true\n"));
    EXPECT_TRUE(desktop_entry_disabled("[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n"));
}

// /proc/net/udp and udp6 as the kernel writes them (header, then one socket a line).
TEST(DoctorFacts, AListenerOnTheCommandPortIsFoundInTheUdpTables) {
    const std::string head =
        "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode ref pointer drops\n";
    const auto row = [](const char* local) {
        return std::string("  783: ") + local +
               " 00000000:0000 07 00000000:00000000 00:00000000 00000000  1000        0 41 2 "
               "0000000000000000 0\n";
    };
    const struct {
        std::string table;
        bool receives;
    } cases[] = {
        {head, false},
        {head + row("0100007F:2710"), true},   // 127.0.0.1:10000
        {head + row("00000000:2710"), true},   // any address
        {head + row("0100007F:2711"), false},  // another port
        {head + row("0200007F:2710"), false},  // 127.0.0.2
        {head + row("0100007F:0035") + row("0100007F:2710"), true},
        {head + row("00000000000000000000000000000000:2710"), true},
        {head + row("0000000000000000FFFF00000100007F:2710"), true},
        {head + row("00000000000000000000000001000000:2710"), false},  // ::1 alone
    };
    for (const auto& c : cases)
        EXPECT_EQ(udp_table_receives_loopback(c.table, 10000), c.receives) << c.table;
}

}  // namespace
