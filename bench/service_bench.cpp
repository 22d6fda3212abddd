// Per-packet costs of the service's pure cores: the mapping of one sample and
// the decoding and dispatch of one contact packet (pointer effects counted,
// not injected).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "mapping.h"
#include "packet_loop.h"
#include "protocol/board_packet.h"

namespace {

Calibration twenty_point_calibration() {
    Calibration cal{};
    cal.Dot_Num = 20;
    cal.Screen_w = 1920;
    cal.Screen_h = 1080;
    lay_out_grid(20, cal.Screen_w, cal.Screen_h, cal.position);
    // Board units: a slightly rotated, scaled copy of the screen.
    for (int i = 0; i < MAX_DOTS; ++i) {
        const point& p = cal.position[i];
        cal.coor_store[i] = {200 + 1.9 * p.x + 0.02 * p.y, 150 + 3.4 * p.y - 0.03 * p.x};
    }
    return cal;
}

void BM_DtoSP(benchmark::State& state) {
    Calibration cal = twenty_point_calibration();
    cal.Dot_Num = static_cast<int>(state.range(0));
    int x = 0;
    for (auto _ : state) {
        x = (x + 97) % 4096;
        mouse_act out = DtoSP(cal, mouse_act{x, 4095 - x, 1});
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_DtoSP)->Arg(4)->Arg(9)->Arg(20);

struct CountingEffects : LoopEffects {
    long moves = 0;
    void mouse(mouse_act m) override { moves += m.x; }
    void command(const char*) override {}
    void start(Launcher) override {}
    int registered_zuraze() override { return -1; }
    void stop_zuraze(int) override {}
    void identified() override {}
};

void make_contact(uint8_t* pkt, int x, int y) {
    pkt[0] = DATA_HEAD;
    pkt[1] = 0;
    pkt[2] = T_DOWN;
    pkt[3] = (y >> 6) & 0x3F;
    pkt[4] = y & 0x3F;
    pkt[5] = (x >> 6) & 0x3F;
    pkt[6] = x & 0x3F;
    pkt[7] = packet_check_byte(pkt);
}

// One contact packet through the loop: check byte, decoding, the edge-key test
// of a touch board that watches its keys, and the mapping.
void BM_ContactPacket(benchmark::State& state) {
    std::atomic<int> line{LINE_TOUCH}, edgetab{0};
    PacketLoop loop(line, edgetab);
    Tables tables{};
    tables.cal = twenty_point_calibration();
    for (int i = 0; i < EDGE_KEY_COUNT; ++i) tables.KeyPos[i] = Pos{4000, 100 * i};
    CountingEffects fx;
    uint8_t pkts[64][PACKET_SIZE];
    for (int i = 0; i < 64; ++i) make_contact(pkts[i], 300 + 50 * i, 3000 - 40 * i);
    int i = 0;
    for (auto _ : state) loop.handle(pkts[i++ & 63], tables, fx);
    benchmark::DoNotOptimize(fx.moves);
}
BENCHMARK(BM_ContactPacket);

}  // namespace
