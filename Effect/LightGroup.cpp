// The combination step resets a wheel to its lower bound when it is carried over, so a
// group of three directional and three point lights with at most three in all yields all
// ten combinations: (0,0) (1,0) (2,0) (3,0) (0,1) (1,1) (2,1) (0,2) (1,2) (0,3).
#include "Effect/LightGroup.h"

#include <algorithm>

void LightGroup::AddKind(const LightKind& kind) {
    kinds.Add(kind);
    counts.Add(0);
    high.Add(0);
    low.Add(0);
}

i32 LightGroup::Sum() const {
    i32 sum = 0;
    for (i32 c : counts) sum += c;
    return sum;
}

void LightGroup::Reset() {
    i32 lowSum = 0;
    for (i32 i = 0; i < kinds.count; ++i) {
        low[i] = counts[i] = kinds[i].minCount;
        lowSum += low[i];
    }
    // A kind may take what the total leaves beside the other kinds' minimums.
    for (i32 i = 0; i < kinds.count; ++i) high[i] = std::min(kinds[i].maxCount, maxTotal - (lowSum - low[i]));
    if (Sum() < minTotal) Next();
}

bool LightGroup::Next() {
    do {
        if (!StepLightCombination(counts.data, low.data, high.data, kinds.count, maxTotal)) return false;
    } while (Sum() < minTotal);
    return true;
}

bool StepLightCombination(i32* c, const i32* l, const i32* h, i32 n, i32 t) {
    if (n <= 0) return false;
    i32 s = 0;
    for (i32 k = 0; k < n; ++k) s += c[k];
    i32 i = 0;
    if (s >= t) {
        // The total is full: the lowest wheel above its bound goes back to it and carries.
        while (i < n && c[i] == l[i]) ++i;
        if (i >= n - 1) return false;
        c[i] = l[i];
        ++i;
    }
    if (i >= n) return false;
    while (c[i] >= h[i]) {
        c[i] = l[i];
        if (++i >= n) return false;
    }
    ++c[i];
    return true;
}

const char* ChoosePixelShaderModel(i32 interpolators, i32 psVersion) {
    if (interpolators <= 4 && psVersion <= 11) return "ps_1_1";
    if (interpolators <= 6 && psVersion <= 14) return "ps_1_4";
    if (interpolators <= 8 && psVersion <= 20) return "ps_2_0";
    return nullptr;
}
