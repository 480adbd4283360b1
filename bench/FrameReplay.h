// The ceiling of a frame benchmark: a recorded frame's device calls, parsed once from the
// reference device's call log into a list of operations and replayed alone, with none of
// the engine's work around them. Calls that name objects are replayed with the replay's
// own (one texture; draws from vertex and index buffers become draws of as many
// primitives from memory, so declarations, streams and indices are not replayed); calls
// the replay does not know are counted, not issued.
#pragma once

#include "D3d/StateCache.h"

#include <d3d9.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace framereplay {

enum class Op { RenderState, SamplerState, StageState, Clear, BeginScene, EndScene, Present, FVF, DrawUP, Texture,
                Draw, Shaders, Transform };
struct Call {
    Op op;
    unsigned long a = 0, b = 0, c = 0;
    double z = 0.0;
};

inline unsigned long Number(const std::string& text) { return std::strtoul(text.c_str(), nullptr, 0); }

inline std::vector<std::string> Arguments(const std::string& call) {
    std::vector<std::string> out;
    const size_t open = call.find('('), close = call.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close <= open) return out;
    std::string inner = call.substr(open + 1, close - open - 1);
    size_t at = 0;
    while (at <= inner.size()) {
        const size_t comma = inner.find(',', at);
        std::string piece = inner.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        while (!piece.empty() && piece.front() == ' ') piece.erase(piece.begin());
        if (!piece.empty()) out.push_back(piece);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return out;
}

// The replayable calls of a recorded frame; `skipped` counts the rest (BENCH_SHOW_SKIPPED
// in the environment prints them).
inline std::vector<Call> Parse(const std::vector<std::string>& log, int& skipped) {
    std::vector<Call> calls;
    skipped = 0;
    for (const std::string& line : log) {
        const std::string name = line.substr(0, line.find('('));
        const std::vector<std::string> args = Arguments(line);
        auto arg = [&](size_t i) { return i < args.size() ? Number(args[i]) : 0ul; };
        if (name == "SetRenderState" && args.size() >= 2) calls.push_back({Op::RenderState, arg(0), arg(1)});
        else if (name == "SetSamplerState" && args.size() >= 3) calls.push_back({Op::SamplerState, arg(0), arg(1), arg(2)});
        else if (name == "SetTextureStageState" && args.size() >= 3) calls.push_back({Op::StageState, arg(0), arg(1), arg(2)});
        else if (name == "Clear" && args.size() >= 4)
            calls.push_back({Op::Clear, arg(1), arg(2), 0, std::strtod(args[3].c_str(), nullptr)});
        else if (name == "BeginScene") calls.push_back({Op::BeginScene});
        else if (name == "EndScene") calls.push_back({Op::EndScene});
        else if (name == "Present") calls.push_back({Op::Present});
        else if (name == "SetFVF" && !args.empty()) calls.push_back({Op::FVF, arg(0)});
        else if (name == "DrawPrimitiveUP" && args.size() >= 2) calls.push_back({Op::DrawUP, arg(0), arg(1)});
        else if (name == "SetTexture" && !args.empty()) calls.push_back({Op::Texture, arg(0), args.size() > 1 && args[1] != "null"});
        else if (name == "SetVertexShader" || name == "SetPixelShader") calls.push_back({Op::Shaders});
        else if (name == "SetTransform" && !args.empty()) calls.push_back({Op::Transform, arg(0)});
        // Draws from buffers are replayed from memory, which needs neither the declaration
        // nor the streams.
        else if (name == "SetVertexDeclaration" || name == "SetStreamSource" || name == "SetIndices") continue;
        else if ((name == "DrawPrimitive" || name == "DrawIndexedPrimitive") && !args.empty())
            calls.push_back({Op::Draw, arg(0), args.size() > 1 ? arg(args.size() - 1) : 2});
        else {
            ++skipped;
            if (std::getenv("BENCH_SHOW_SKIPPED")) std::fprintf(stderr, "%s\n", line.c_str());
        }
    }
    return calls;
}

// Replays parsed calls on a device with a texture of its own and room for draws of up to
// `maxPrimitives` triangles from memory.
class Replay {
public:
    Replay(IDirect3DDevice9* device, unsigned long maxPrimitives)
        : device_(device), maxPrimitives_(maxPrimitives), vertices_(28 * 3 * maxPrimitives, 0) {
        identity_._11 = identity_._22 = identity_._33 = identity_._44 = 1.0f;
        if (device_) device_->CreateTexture(128, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture_, nullptr);
    }
    ~Replay() {
        if (texture_) texture_->Release();
        // The replay changed the device behind the cache's back.
        StateCache::InvalidateAll();
    }
    Replay(const Replay&) = delete;
    Replay& operator=(const Replay&) = delete;

    void Run(const std::vector<Call>& calls) {
        for (const Call& call : calls) {
            switch (call.op) {
            case Op::RenderState: device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(call.a), call.b); break;
            case Op::SamplerState:
                device_->SetSamplerState(call.a, static_cast<D3DSAMPLERSTATETYPE>(call.b), call.c);
                break;
            case Op::StageState:
                device_->SetTextureStageState(call.a, static_cast<D3DTEXTURESTAGESTATETYPE>(call.b), call.c);
                break;
            case Op::Clear:
                device_->Clear(0, nullptr, call.a, static_cast<D3DCOLOR>(call.b), static_cast<float>(call.z), 0);
                break;
            case Op::BeginScene: device_->BeginScene(); break;
            case Op::EndScene: device_->EndScene(); break;
            case Op::Present: device_->Present(nullptr, nullptr, nullptr, nullptr); break;
            case Op::FVF: device_->SetFVF(call.a); break;
            case Op::Shaders:
                device_->SetVertexShader(nullptr);
                device_->SetPixelShader(nullptr);
                break;
            case Op::Transform: device_->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(call.a), &identity_); break;
            case Op::Texture: device_->SetTexture(call.a, call.b ? texture_ : nullptr); break;
            case Op::DrawUP:
            case Op::Draw: {
                const unsigned long count = call.b < maxPrimitives_ ? call.b : maxPrimitives_;
                device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
                device_->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(call.a ? call.a : 4), static_cast<UINT>(count),
                                         vertices_.data(), 28);
                break;
            }
            }
        }
    }

private:
    IDirect3DDevice9* device_ = nullptr;
    unsigned long maxPrimitives_;
    std::vector<unsigned char> vertices_;
    IDirect3DTexture9* texture_ = nullptr;
    D3DMATRIX identity_{};
};

}  // namespace framereplay
