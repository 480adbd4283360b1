// The platform's D3DX effects: creating an effect from source text (preprocessor and
// parser over the whole text, shader bodies included) against creating it from the
// compiled form, which skips the text work; this is what the compiled-effect cache buys.
// Then the cost of one SetMatrix and one SetVector, by handle and by name.
#include "../tests/EffectSources.h"

#include <d3d9.h>
#include <d3dx9.h>
#include <windows.h>

#include "BenchDevice.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// The shared corpus with shader bodies of a realistic length (a few hundred lines).
std::string Source() {
    std::string source = effectsources::kCorpus;
    source += "float4 LongPS(float2 uv : TEXCOORD0) : COLOR0\n{\n    float4 c = 0;\n";
    for (int i = 0; i < 300; ++i)
        source += "    c += tex2D(DiffuseSampler, uv * " + std::to_string(i) + ".5) * Ticks; // step\n";
    source += "    return c;\n}\n";
    source += "technique Long { pass { VertexShader = compile vs_2_0 MainVS(1); PixelShader = compile ps_2_0 LongPS(); } }\n";
    return source;
}

std::vector<uint8_t> Compiled(const std::string& source) {
    ID3DXEffectCompiler* compiler = nullptr;
    if (FAILED(D3DXCreateEffectCompiler(source.c_str(), static_cast<UINT>(source.size()), nullptr, nullptr, 0,
                                        &compiler, nullptr)))
        return {};
    ID3DXBuffer* buffer = nullptr;
    std::vector<uint8_t> bytes;
    if (SUCCEEDED(compiler->CompileEffect(0, &buffer, nullptr))) {
        const uint8_t* at = static_cast<const uint8_t*>(buffer->GetBufferPointer());
        bytes.assign(at, at + buffer->GetBufferSize());
        buffer->Release();
    }
    compiler->Release();
    return bytes;
}

void Create(benchmark::State& state, const void* data, size_t size, IDirect3DDevice9* device) {
    for (auto _ : state) {
        ID3DXEffect* effect = nullptr;
        if (FAILED(D3DXCreateEffect(device, data, static_cast<UINT>(size), nullptr, nullptr, 0, nullptr, &effect,
                                    nullptr))) {
            state.SkipWithError("the effect was refused");
            return;
        }
        effect->Release();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}

void CreateFromSource(benchmark::State& state) {
    const std::string source = Source();
    benchdevice::WindowedDevice made("EffectBench");
    if (!made.device) return state.SkipWithError("no device");
    Create(state, source.data(), source.size(), made.device);
}

void CreateFromCompiled(benchmark::State& state) {
    const std::vector<uint8_t> bytes = Compiled(Source());
    benchdevice::WindowedDevice made("EffectBench");
    if (!made.device || bytes.empty()) return state.SkipWithError("no device or no compiled form");
    Create(state, bytes.data(), bytes.size(), made.device);
}

ID3DXEffect* Effect(IDirect3DDevice9* device) {
    const std::string source = Source();
    ID3DXEffect* effect = nullptr;
    D3DXCreateEffect(device, source.data(), static_cast<UINT>(source.size()), nullptr, nullptr, 0, nullptr, &effect,
                     nullptr);
    return effect;
}

void SetMatrix(benchmark::State& state, bool byName) {
    benchdevice::WindowedDevice made("EffectBench");
    ID3DXEffect* effect = made.device ? Effect(made.device) : nullptr;
    if (!effect) return state.SkipWithError("no effect");
    D3DXMATRIX m;
    for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = static_cast<float>(i);
    const D3DXHANDLE handle = byName ? "WorldViewProj" : effect->GetParameterByName(nullptr, "WorldViewProj");
    for (auto _ : state) {
        m.m[3][3] += 1.0f;
        benchmark::DoNotOptimize(effect->SetMatrix(handle, &m));
    }
    effect->Release();
}

void SetVector(benchmark::State& state, bool byName) {
    benchdevice::WindowedDevice made("EffectBench");
    ID3DXEffect* effect = made.device ? Effect(made.device) : nullptr;
    if (!effect) return state.SkipWithError("no effect");
    D3DXVECTOR4 v(1, 2, 3, 4);
    const D3DXHANDLE handle = byName ? "EyePoint" : effect->GetParameterByName(nullptr, "EyePoint");
    for (auto _ : state) {
        v.w += 1.0f;
        benchmark::DoNotOptimize(effect->SetVector(handle, &v));
    }
    effect->Release();
}

}  // namespace

BENCHMARK(CreateFromSource)->Unit(benchmark::kMicrosecond);
BENCHMARK(CreateFromCompiled)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(SetMatrix, handle, false);
BENCHMARK_CAPTURE(SetMatrix, name, true);
BENCHMARK_CAPTURE(SetVector, handle, false);
BENCHMARK_CAPTURE(SetVector, name, true);
