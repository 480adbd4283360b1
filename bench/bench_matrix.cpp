#include "Core/Matrix.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

Matrix Make(u32 kind) {
    Matrix x = IdentityMatrix;
    if (!(kind & UnitDiagonal)) {
        x.m[0] = 1.5f;
        x.m[5] = 0.5f;
        x.m[10] = 2.0f;
    }
    if (!(kind & OffDiagonalZero)) {
        x.m[1] = 0.25f;
        x.m[2] = -0.5f;
        x.m[4] = 0.75f;
        x.m[6] = 0.125f;
        x.m[8] = -0.25f;
        x.m[9] = 0.5f;
    }
    if (!(kind & TranslationZero)) {
        x.m[12] = 3.0f;
        x.m[13] = -2.0f;
        x.m[14] = 7.0f;
    }
    x.kind = kind;
    return x;
}

// The textbook triple loop, for comparison with the kind-driven product.
void PlainProduct(f32* out, const f32* a, const f32* b) {
    f32 r[16];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            f32 s = 0.0f;
            for (int k = 0; k < 4; ++k) s += a[4 * i + k] * b[4 * k + j];
            r[4 * i + j] = s;
        }
    }
    std::memcpy(out, r, sizeof r);
}

// The operands are marked as escaping on every pass so that no product can be
// hoisted out of the loop.
void RunMultiply(benchmark::State& state, Matrix a, Matrix b) {
    Matrix r = Make(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        r.Multiply(a, b);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
}

// A left operand of the given kind times a general matrix.
void BM_MultiplyLeftKind(benchmark::State& state) {
    RunMultiply(state, Make(static_cast<u32>(state.range(0))), Make(0));
}
BENCHMARK(BM_MultiplyLeftKind)->Arg(Identity)->Arg(PureTranslation)->Arg(PureScale)->Arg(0);

// A general matrix times a right operand of the given kind.
void BM_MultiplyRightKind(benchmark::State& state) {
    RunMultiply(state, Make(0), Make(static_cast<u32>(state.range(0))));
}
BENCHMARK(BM_MultiplyRightKind)->Arg(Identity)->Arg(PureTranslation)->Arg(PureScale)->Arg(0);

void BM_PlainProduct(benchmark::State& state) {
    Matrix a = Make(0);
    Matrix b = Make(0);
    Matrix r = Make(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        PlainProduct(r.m, a.m, b.m);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlainProduct);

void BM_ProductByValue(benchmark::State& state) {
    const Matrix a = Make(0);
    const Matrix b = Make(0);
    for (auto _ : state) {
        Matrix r = Matrix::Product(a, b);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_ProductByValue);

void BM_Classify(benchmark::State& state) {
    Matrix x = Make(0);
    x.m[0] = 1.0f;
    for (auto _ : state) {
        x.kind = 0;
        x.Classify();
        benchmark::DoNotOptimize(x);
    }
}
BENCHMARK(BM_Classify);

}  // namespace
