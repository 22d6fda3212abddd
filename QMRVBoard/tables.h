// The tables the reader maps and tests every sample with: calibration, target
// grid and both edge-key tables. A reload builds new tables aside and
// publishes them whole, so each sample sees either the old or the new ones.
#pragma once

#include <atomic>
#include <mutex>

#include "mapping.h"
#include "protocol/types.h"
#include "store/config.h"

struct Tables {
    Calibration cal;
    Pos KeyPos[EDGE_KEY_COUNT];
    Pos QMKeyPos[EDGE_KEY_COUNT];
};

// How the configuration is read into the tables.
struct TableOptions {
    bool print_points;  // each point read as "orient......%d:(%d %d)\n"
    bool key_sections;  // KeyPos from "HOTKEY0".."HOTKEY27" instead of "HOTKEY"
};
constexpr TableOptions DEFAULT_TABLE_OPTIONS{true, false};

// Loads a configuration snapshot over the current tables: with "dotNum" 0 only
// Dot_Num changes; otherwise the points (at most MAX_DOTS; a larger count maps
// like 0), both key tables and the grid are replaced. Returns the point count
// read.
int load_tables(const ConfigSnapshot& snap, Tables& t,
                const TableOptions& options = DEFAULT_TABLE_OPTIONS);

// The published tables: written by the reload, read by the reader thread.
class TableStore {
public:
    void publish(const Tables& t);
    Tables current() const;
    // Copies the published tables into t when they changed since t was taken.
    void refresh(Tables& t, unsigned& generation) const;

private:
    mutable std::mutex mutex_;
    Tables tables_{};
    std::atomic<unsigned> generation_{0};
};
