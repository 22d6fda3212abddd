#include "tables.h"

#include <cstdio>
#include <cstring>

int load_tables(const ConfigSnapshot& snap, Tables& t, const TableOptions& options) {
    const int count = config_dot_num(snap);
    t.cal.Dot_Num = count;
    if (count == 0) return 0;
    memset(t.cal.coor_store, 0, sizeof t.cal.coor_store);
    memset(t.cal.position, 0, sizeof t.cal.position);
    config_read_dots(snap, count, t.cal.coor_store);
    for (int i = 0; options.print_points && i < count && i < MAX_DOTS; ++i)
        printf("orient......%d:(%d %d)\n", i, static_cast<int>(t.cal.coor_store[i].x),
               static_cast<int>(t.cal.coor_store[i].y));
    if (options.key_sections)
        config_read_hotkey_sections(snap, t.KeyPos);
    else
        config_read_hotkeys(snap, t.KeyPos);
    config_read_qm_keys(snap, t.QMKeyPos);
    lay_out_grid(count, t.cal.Screen_w, t.cal.Screen_h, t.cal.position);
    return count;
}

void TableStore::publish(const Tables& t) {
    std::lock_guard<std::mutex> lock(mutex_);
    tables_ = t;
    generation_.fetch_add(1, std::memory_order_release);
}

Tables TableStore::current() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tables_;
}

void TableStore::refresh(Tables& t, unsigned& generation) const {
    const unsigned now = generation_.load(std::memory_order_acquire);
    if (now == generation) return;
    std::lock_guard<std::mutex> lock(mutex_);
    t = tables_;
    generation = generation_.load(std::memory_order_relaxed);
}
