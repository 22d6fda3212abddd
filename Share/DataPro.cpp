#include "DataPro.h"

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
