// Golden replay: a recorded session through the service's own reader loop,
// packet loop and pointer state, with XTest, the UDP socket and the program
// starts each replaced by a line of a listing that a person can read.
//
//   golden_replay SESSION LISTING
//
// SESSION is in the packet-loop fuzz target's input format
// (fuzz/packet_loop_input.h): build, line, screen, registered calibration
// tool and configuration first, then the board's bytes. The loop's own trace
// lines stay on standard output; tests/golden/golden.py compares LISTING
// with the session's .expected file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "packet_loop.h"
#include "packet_loop_input.h"
#include "pointer.h"
#include "profile.h"
#include "protocol/board_packet.h"
#include "protocol/serial.h"

namespace {

// Words end in a newline on the wire; the listing shows it as \n.
std::string escaped(const char* word) {
    std::string out;
    for (const char* c = word; *c; ++c) {
        if (*c == '\n')
            out += "\\n";
        else if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(*c));
            out += hex;
        } else {
            out += *c;
        }
    }
    return out;
}

// Each line starts with the number (from 1) of the packet that caused it.
class Listing : public PointerSink, public LoopEffects {
public:
    Listing(FILE* out, MouseState& mouse, int zuraze) : out_(out), mouse_(mouse), zuraze_(zuraze) {}

    int packet = 0;

    void move(int x, int y) override { say("move %d %d", x, y); }
    void button(int b, bool pressed) override { say("%s %d", pressed ? "press" : "release", b); }
    void pause_us(int us) override { say("pause %dus", us); }

    void mouse(mouse_act screen) override { MouseAction(mouse_, *this, screen); }
    // What StartEdgetab is handed: it turns a repeat within 0.2 s into the
    // double form by the clock, which a replay has none of.
    void command(const char* word) override { say("word %s", escaped(word).c_str()); }
    void start(Launcher which) override {
        say("start %s", which == Launcher::whiteboard ? "whiteboard launcher"
                        : which == Launcher::orient   ? "calibration launcher"
                                                      : "calibration tool");
    }
    int registered_zuraze() override { return zuraze_; }
    void stop_zuraze(int pid) override { say("stop calibration tool %d", pid); }
    void identified() override { identified_ = true; }

    // The loop sets the line and iRealEdgetab before it reports them.
    void after_packet(const std::atomic<int>& line, const std::atomic<int>& edgetab) {
        if (!identified_) return;
        identified_ = false;
        say("identified: %s line, iRealEdgetab %d", line_name(line.load()), edgetab.load());
    }

private:
    template <class... Args>
    void say(const char* format, Args... args) {
        fprintf(out_, "%d ", packet);
        fprintf(out_, format, args...);
        fputc('\n', out_);
    }

    FILE* out_;
    MouseState& mouse_;
    const int zuraze_;
    bool identified_ = false;
};

// The entries apart from the most common position (the unset ones, mostly).
void list_keys(FILE* out, const char* line, const Pos* table) {
    auto count = [&](const Pos& p) {
        return std::count_if(table, table + EDGE_KEY_COUNT,
                             [&](const Pos& q) { return q.x == p.x && q.y == p.y; });
    };
    const Pos common =
        *std::max_element(table, table + EDGE_KEY_COUNT,
                          [&](const Pos& a, const Pos& b) { return count(a) < count(b); });
    fprintf(out, "# %s edge keys (entry:x,y):", line);
    int others = 0;
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) {
        if (table[i].x == common.x && table[i].y == common.y && count(common) > 1)
            ++others;
        else
            fprintf(out, " %d:%d,%d", i, table[i].x, table[i].y);
    }
    if (others)
        fprintf(out, "%s %d others at %d,%d", others < EDGE_KEY_COUNT ? "," : "", others, common.x,
                common.y);
    fputc('\n', out);
}

void header(FILE* out, const PacketLoopInput& in, const Tables& t) {
    fprintf(
        out,
        "# replay: %s build, screen %dx%d, %s line until identified, Zuraze registered as %d%s\n",
        in.compact ? "compact" : "full", in.screen_w, in.screen_h, line_name(in.line), in.zuraze,
        in.repair ? ", check bytes repaired" : "");
    fprintf(out, "# calibration, board units:");
    for (int i = 0; i < t.cal.Dot_Num && i < MAX_DOTS; ++i)
        fprintf(out, " %d,%d", static_cast<int>(t.cal.coor_store[i].x),
                static_cast<int>(t.cal.coor_store[i].y));
    fprintf(out, "%s\n", t.cal.Dot_Num ? "" : " none");
    list_keys(out, "touch", t.KeyPos);
    list_keys(out, "electromagnetic", t.QMKeyPos);
    fputs(
        "# each line: packet number (from 1), then what it made the service do; a word is\n"
        "# what StartEdgetab is handed (its double form for a repeat within 0.2 s is\n"
        "# decided there by the clock, which a replay has none of)\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: golden_replay SESSION LISTING\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>()};
    if (!file || bytes.empty()) {
        fprintf(stderr, "golden_replay: cannot read %s\n", argv[1]);
        return 2;
    }
    FuzzInput in(bytes.data(), bytes.size());
    static ConfigSnapshot snap;
    const PacketLoopInput input = read_packet_loop_input(in, sizeof snap.text - 1);
    memcpy(snap.text, input.config.c_str(), input.config.size() + 1);

    const ServiceProfile& profile = input.compact ? COMPACT_PROFILE : FULL_PROFILE;
    Tables tables{};
    tables.cal.Screen_w = input.screen_w;
    tables.cal.Screen_h = input.screen_h;
    load_tables(snap, tables, profile.tables);

    FILE* out = fopen(argv[2], "w");
    if (!out) {
        perror(argv[2]);
        return 2;
    }
    header(out, input, tables);

    MouseState mouse;
    mouse.LimitCountRV = profile.LimitCountRV;
    mouse.board_clicks = profile.board_clicks;
    Listing listing(out, mouse, input.zuraze);
    std::atomic<int> valu_flags{input.line};
    std::atomic<int> iRealEdgetab{0};
    PacketLoop loop(valu_flags, iRealEdgetab, profile.compact_loop);

    // The service's reader on the session's bytes: a file read gives whole
    // packets, and at its end the greeting cannot be written to a read-only
    // descriptor, which ends the run as an unplugged board does.
    const int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0 || lseek(fd, static_cast<off_t>(in.rest() - bytes.data()), SEEK_SET) < 0) {
        perror(argv[1]);
        return 2;
    }
    std::atomic<int> run{1};
    read_packets(fd, run, 0, [&](const uint8_t* pkt) {
        uint8_t p[PACKET_SIZE];
        memcpy(p, pkt, PACKET_SIZE);
        if (input.repair) p[7] = packet_check_byte(p);
        ++listing.packet;
        loop.handle(p, tables, listing);
        listing.after_packet(valu_flags, iRealEdgetab);
    });
    close(fd);
    fprintf(out, "# end after %d packets, button 1 %s\n", listing.packet,
            mouse.MiceLD ? "still held" : "up");
    return fclose(out) == 0 ? 0 : 1;
}
