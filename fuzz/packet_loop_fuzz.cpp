// The service's packet handling from the serial byte stream on: a
// configuration text into the tables, then the stream in 8-byte reads through
// the packet loop and the pointer state, with every effect recorded.
//
// Input: see packet_loop_input.h.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "protocol/board_packet.h"
#include "store/config.h"
#include "protocol/edge_keys.h"
#include "pointer.h"
#include "packet_loop.h"
#include "packet_loop_input.h"

namespace {

// The X pointer as the server would see it: where it is and which buttons are
// held.
struct RecordingPointer : PointerSink {
    int w, h;
    bool held[8] = {};
    RecordingPointer(int w, int h) : w(w), h(h) {}
    void move(int x, int y) override {
        require(x >= 0 && x <= w && y >= 0 && y <= h, "pointer moved off the screen");
    }
    void button(int b, bool pressed) override {
        require(b == 1 || b == 3, "a button other than 1 or 3");
        held[b] = pressed;
    }
    void pause_us(int us) override { require(us >= 0 && us <= 1000000, "pause out of range"); }
};

// The edge keys' words and the pen buttons'; double presses are formed after
// the loop, in the service.
bool known_word(const char* w) {
    for (const EdgeKey& k : kEdgeKeys)
        if (k.word && strcmp(k.word, w) == 0) return true;
    return strcmp(w, kPenFront.word) == 0 || strcmp(w, kPenBack.word) == 0;
}

struct RecordingEffects : LoopEffects {
    MouseState state;
    RecordingPointer& pointer;
    const Calibration& cal;
    int zuraze;
    int identifications = 0;
    RecordingEffects(RecordingPointer& p, const Calibration& cal, int zuraze)
        : pointer(p), cal(cal), zuraze(zuraze) {}

    void mouse(mouse_act s) override {
        require(s.x >= 0 && s.x <= cal.Screen_w && s.y >= 0 && s.y <= cal.Screen_h,
                "mapped sample off the screen");
        MouseAction(state, pointer, s);
    }
    void command(const char* word) override { require(known_word(word), "unknown command word"); }
    void start(Launcher) override {}
    int registered_zuraze() override { return zuraze; }
    void stop_zuraze(int pid) override {
        require(pid > 0 && pid == zuraze, "stopped an id that is not the registered tool");
    }
    void identified() override { ++identifications; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const PacketLoopInput input = read_packet_loop_input(in, sizeof(ConfigSnapshot::text) - 1);
    const uint8_t options = input.options;
    const bool compact = input.compact;
    const bool repair = input.repair;
    const int screen[2] = {input.screen_w, input.screen_h};

    // The tables depend on nothing else, and loading them costs far more than
    // a stream: each set is loaded once and kept (a bounded number of them).
    static std::map<std::string, Tables> loaded;
    const std::string& config = input.config;
    const std::string key = char(options & 0x19) + config;
    auto found = loaded.find(key);
    if (found == loaded.end()) {
        if (loaded.size() >= 256) loaded.clear();
        static ConfigSnapshot snap;
        memcpy(snap.text, config.c_str(), config.size() + 1);
        Tables t{};
        t.cal.Screen_w = screen[0];
        t.cal.Screen_h = screen[1];
        load_tables(snap, t, TableOptions{false, compact});
        found = loaded.emplace(key, t).first;
    }
    const Tables& tables = found->second;

    std::atomic<int> valu_flags{input.line};
    std::atomic<int> iRealEdgetab{0};
    PacketLoop loop(valu_flags, iRealEdgetab, compact);
    RecordingPointer pointer(screen[0], screen[1]);
    RecordingEffects fx(pointer, tables.cal, input.zuraze);

    uint8_t pkt[PACKET_SIZE];
    while (in.packet(pkt, repair)) {
        loop.handle(pkt, tables, fx);
        require(valu_flags == LINE_TOUCH || valu_flags == LINE_ELEC, "board line out of range");
    }
    require(fx.identifications <= 1, "identified twice in one run");

    // Whatever came before, a lift must leave no button held.
    uint8_t lift[PACKET_SIZE] = {DATA_HEAD, 0, valu_flags == LINE_TOUCH ? T_UP : E_UP, 0, 0, 0,
                                 0,         0};
    lift[7] = packet_check_byte(lift);
    if (loop.bJudge == 1) loop.bJudge = 0;
    loop.handle(lift, tables, fx);
    require(!pointer.held[1] && !pointer.held[3], "a button still held after a lift");
    return 0;
}
