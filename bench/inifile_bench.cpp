// What a configuration reload and a single key write cost on a full-sized
// file (20 calibration points, both edge-key tables, the registry). Runs on
// a copy in a temp directory; the lookups are the same code the programs use.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "store/config.h"
#include "store/inifile.h"

namespace {

std::string full_config() {
    std::string text = "[coordinate]\ndotNum=20\n";
    for (int i = 19; i >= 0; --i)
        text += "dotX" + std::to_string(i) + "=" + std::to_string(200 * i) + "\ndotY" +
                std::to_string(i) + "=" + std::to_string(4000 - 150 * i) + "\n";
    for (const char* sec : {"HOTKEY", "QMEdgetab"}) {
        text += std::string("[") + sec + "]\n";
        const std::string prefix = sec[0] == 'H' ? "key" : "QMkey";
        for (int i = 27; i >= 0; --i)
            text += prefix + "Y" + std::to_string(i) + "=" + std::to_string(30 * i) + "\n" +
                    prefix + "X" + std::to_string(i) + "=" + std::to_string(4000 - 30 * i) + "\n";
    }
    return text + "[PID]\nQuilld=1234\nZuraze=-1\nEdgetab=-1\n";
}

struct TempConfig {
    TempConfig() {
        char tmpl[] = "/tmp/ini-bench-XXXXXX";
        dir = mkdtemp(tmpl);
        path = dir + "/config.ini";
        FILE* f = fopen(path.c_str(), "w");
        fputs(full_config().c_str(), f);
        fclose(f);
    }
    ~TempConfig() {
        unlink(path.c_str());
        rmdir(dir.c_str());
    }
    std::string dir, path;
};

// The service's reload: one locked read, then every key from the snapshot.
void BM_ReloadFromSnapshot(benchmark::State& state) {
    TempConfig cfg;
    static ConfigSnapshot snap;
    point dots[MAX_DOTS];
    Pos keys[EDGE_KEY_COUNT], qm[EDGE_KEY_COUNT];
    for (auto _ : state) {
        int size = 0;
        load_ini_file(cfg.path.c_str(), snap.text, &size);
        config_read_dots(snap, config_dot_num(snap), dots);
        config_read_hotkeys(snap, keys);
        config_read_qm_keys(snap, qm);
        benchmark::DoNotOptimize(qm[27].y);
    }
}
BENCHMARK(BM_ReloadFromSnapshot);

// The same 153 keys read one file load each, as the plain interface does.
void BM_ReloadKeyByKey(benchmark::State& state) {
    TempConfig cfg;
    char key[16];
    for (auto _ : state) {
        int sum = read_profile_int("coordinate", "dotNum", 0, cfg.path.c_str());
        for (int i = 0; i < 20; ++i) {
            snprintf(key, sizeof key, "dotX%d", i);
            sum += read_profile_int("coordinate", key, 0, cfg.path.c_str());
            snprintf(key, sizeof key, "dotY%d", i);
            sum += read_profile_int("coordinate", key, 1, cfg.path.c_str());
        }
        for (int i = 0; i < 28; ++i)
            for (const char* k : {"keyX%d", "keyY%d"}) {
                snprintf(key, sizeof key, k, i);
                sum += read_profile_int("HOTKEY", key, 0, cfg.path.c_str());
            }
        for (int i = 0; i < 28; ++i)
            for (const char* k : {"QMkeyX%d", "QMkeyY%d"}) {
                snprintf(key, sizeof key, k, i);
                sum += read_profile_int("QMEdgetab", key, 0, cfg.path.c_str());
            }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_ReloadKeyByKey);

// One registry write: locked read, rebuild, atomic replace.
void BM_WriteOneKey(benchmark::State& state) {
    TempConfig cfg;
    int n = 0;
    for (auto _ : state) {
        write_profile_string("PID", "Quilld", std::to_string(++n % 30000).c_str(),
                             cfg.path.c_str());
    }
}
BENCHMARK(BM_WriteOneKey);

}  // namespace
