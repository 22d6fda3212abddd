#include "protocol/DataPro.h"

namespace {

template <typename Axis>
int trimmed_mean(const Pos* Array, int num, Axis axis) {
    int sum = 0;
    int largest = axis(Array[0]);
    int smallest = largest;
    for (int i = 0; i < num; ++i) {
        const int v = axis(Array[i]);
        sum += v;
        if (v > largest) largest = v;
        if (v < smallest) smallest = v;
    }
    return (sum - largest - smallest) / (num - 2);
}

}  // namespace

void DealData(const Pos* Array, int num, Pos* rePos) {
    rePos->x = trimmed_mean(Array, num, [](const Pos& p) { return p.x; });
    rePos->y = trimmed_mean(Array, num, [](const Pos& p) { return p.y; });
}

bool StrokeSampler::contact(int x, int y) {
    if (cur_get < SKIPPED || bNext != 1) {
        ++cur_get;
        return false;
    }
    PosGet[cur_use] = {x, y};
    if (cur_use == KEPT - 1) return true;
    ++cur_get;
    ++cur_use;
    return false;
}

void StrokeSampler::complete(Pos* out) {
    DealData(PosGet, KEPT, out);
    bNext = 0;
    cur_get = 1;
    cur_use = 1;
}

void StrokeSampler::lift() {
    cur_use = 0;
    cur_get = 0;
    bNext = 1;
}
