// The service's packet handling from the serial byte stream on: a
// configuration text into the tables, then the stream in 8-byte reads through
// the packet loop and the pointer state, with every effect recorded.
//
// Input: option byte, a byte whose bit 0 says whether a configuration text
// (up to a NUL) follows, then the stream.
// Options: bit 0 compact build, bit 1 repair check bytes (so the fuzzer
// reaches the handlers easily), bit 2 line to assume, bits 3-4 screen size,
// bits 5-7 the registered calibration tool id.
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "protocol/board_packet.h"
#include "store/config.h"
#include "protocol/edge_keys.h"
#include "pointer.h"
#include "fuzz_input.h"
#include "packet_loop.h"

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

// A 4-point calibration with keys on all four edges, for inputs without a
// configuration of their own: most inputs, so most time goes to the stream.
const char kConfig[] =
    "[coordinate]\ndotNum=4\ndotX0=400\ndotY0=300\ndotX1=400\ndotY1=3300\n"
    "dotX2=3600\ndotY2=300\ndotX3=3600\ndotY3=3300\n"
    "[HOTKEY]\nkeyX0=600\nkeyY0=3950\nkeyX3=1050\nkeyY3=3950\nkeyX12=2400\nkeyY12=3950\n"
    "keyX13=2550\nkeyY13=3950\n"
    "[QMEdgetab]\nQMkeyX0=3950\nQMkeyY0=600\nQMkeyX5=3950\nQMkeyY5=1350\n"
    "QMkeyX12=3950\nQMkeyY12=2400\nQMkeyX13=3950\nQMkeyY13=2550\n";

const int kScreens[4][2] = {{1, 1}, {1024, 768}, {1920, 1080}, {32767, 32767}};
const int kZuraze[8] = {-1, 0, 1, 4242, -2, INT_MAX, INT_MIN, -1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t options = in.byte();
    const bool compact = options & 1;
    const bool repair = options & 2;
    const int* screen = kScreens[(options >> 3) & 3];

    // The tables depend on nothing else, and loading them costs far more than
    // a stream: each set is loaded once and kept (a bounded number of them).
    static std::map<std::string, Tables> loaded;
    const bool own_config = in.byte() & 1;
    const std::string config =
        own_config ? in.text(sizeof(ConfigSnapshot::text) - 1) : std::string(kConfig);
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

    std::atomic<int> valu_flags{(options >> 2) & 1};
    std::atomic<int> iRealEdgetab{0};
    PacketLoop loop(valu_flags, iRealEdgetab, compact);
    RecordingPointer pointer(screen[0], screen[1]);
    RecordingEffects fx(pointer, tables.cal, kZuraze[options >> 5]);

    uint8_t pkt[PACKET_SIZE];
    while (in.remaining() >= PACKET_SIZE) {
        memcpy(pkt, in.rest(), PACKET_SIZE);
        for (int i = 0; i < PACKET_SIZE; ++i) in.byte();
        if (repair) pkt[7] = packet_check_byte(pkt);
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
