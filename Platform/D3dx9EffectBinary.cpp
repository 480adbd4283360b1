// The compiled effect form of our own. The real library's compiled effects hold shader
// code; ours hold what the platform reads from source, so loading one skips the
// preprocessor and the parser. Layout, little-endian:
//
//     "CVFX"  u32 version  u32 payload size  payload  u32 checksum
//
// The payload lists the parameters, techniques and functions; a string is a u32 length
// and its bytes. The checksum (FNV-1a) covers everything before it, so a damaged file is
// refused instead of read as a different effect. Every count is checked against the bytes
// left before anything is allocated for it.
#include "D3dx9EffectModel.h"

#include <string.h>

namespace d3dx9 {

namespace {

constexpr uint8_t kMagic[4] = {'C', 'V', 'F', 'X'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderSize = 12;   // magic, version, payload size
constexpr size_t kTrailerSize = 4;   // checksum
// The real library's compiled effects start with this word (an fx_2_0 version token).
constexpr uint32_t kForeignMagic = 0xFEFF0901;
constexpr uint32_t kMaxElements = 4096;

uint32_t Checksum(const uint8_t* data, size_t size) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 16777619u;
    }
    return hash;
}

class Writer {
public:
    std::vector<uint8_t> bytes;

    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Text(const std::string& s) {
        U32(static_cast<uint32_t>(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
    }
    void States(const std::vector<std::pair<std::string, std::string>>& states) {
        U32(static_cast<uint32_t>(states.size()));
        for (const auto& state : states) {
            Text(state.first);
            Text(state.second);
        }
    }
    void Param(const EffectParamDecl& p) {
        Text(p.name);
        Text(p.semantic);
        U32(static_cast<uint32_t>(p.cls));
        U32(static_cast<uint32_t>(p.type));
        U32(p.rows);
        U32(p.columns);
        U32(p.elements);
        U32(p.flags);
        U32(static_cast<uint32_t>(p.words.size()));
        for (uint32_t w : p.words) U32(w);
        Text(p.text);
        Params(p.annotations);
        States(p.states);
    }
    void Params(const std::vector<EffectParamDecl>& params) {
        U32(static_cast<uint32_t>(params.size()));
        for (const EffectParamDecl& p : params) Param(p);
    }
    void Shader(const EffectShaderDecl& shader) {
        Text(shader.profile);
        Text(shader.entry);
    }
};

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data(data), size(size) {}

    bool U32(uint32_t& v) {
        if (size - at < 4) return false;
        v = static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << 8 |
            static_cast<uint32_t>(data[at + 2]) << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
        at += 4;
        return true;
    }
    // A count of items of at least `itemBytes` bytes each, refused when the bytes left
    // cannot hold them.
    bool Count(uint32_t& n, size_t itemBytes) { return U32(n) && n <= (size - at) / itemBytes; }
    bool Text(std::string& s) {
        uint32_t n;
        if (!Count(n, 1)) return false;
        s.assign(reinterpret_cast<const char*>(data + at), n);
        at += n;
        return true;
    }
    bool States(std::vector<std::pair<std::string, std::string>>& states) {
        uint32_t n;
        if (!Count(n, 8)) return false;
        states.resize(n);
        for (auto& state : states)
            if (!Text(state.first) || !Text(state.second)) return false;
        return true;
    }
    bool Param(EffectParamDecl& p, bool annotation) {
        uint32_t cls, type, words;
        if (!Text(p.name) || !Text(p.semantic) || !U32(cls) || !U32(type) || !U32(p.rows) || !U32(p.columns) ||
            !U32(p.elements) || !U32(p.flags) || !Count(words, 4))
            return false;
        if (cls > D3DXPC_OBJECT || type > D3DXPT_VERTEXSHADER || p.rows < 1 || p.rows > 4 || p.columns < 1 ||
            p.columns > 4 || p.elements > kMaxElements || (p.flags & ~7u))
            return false;
        p.cls = static_cast<D3DXPARAMETER_CLASS>(cls);
        p.type = static_cast<D3DXPARAMETER_TYPE>(type);
        const bool numeric = p.type == D3DXPT_BOOL || p.type == D3DXPT_INT || p.type == D3DXPT_FLOAT;
        if (numeric == p.IsObject()) return false;
        // The shape must be one the parser could have given: a scalar is 1x1, a vector one row.
        if ((p.cls == D3DXPC_SCALAR || p.IsObject()) && (p.rows != 1 || p.columns != 1)) return false;
        if (p.cls == D3DXPC_VECTOR && p.rows != 1) return false;
        if (p.IsObject() && p.elements) return false;
        if (words != (p.IsObject() ? 0 : p.WordCount())) return false;
        p.words.resize(words);
        for (uint32_t& w : p.words)
            if (!U32(w)) return false;
        if (!Text(p.text)) return false;
        uint32_t n;
        if (!Count(n, 48)) return false;
        if (annotation && n) return false;  // annotations carry none of their own
        p.annotations.resize(n);
        for (EffectParamDecl& a : p.annotations)
            if (!Param(a, true)) return false;
        return States(p.states);
    }
    bool Params(std::vector<EffectParamDecl>& params) {
        uint32_t n;
        if (!Count(n, 48)) return false;
        params.resize(n);
        for (EffectParamDecl& p : params)
            if (!Param(p, false)) return false;
        return true;
    }
    bool Shader(EffectShaderDecl& shader, const char* prefix) {
        if (!Text(shader.profile) || !Text(shader.entry)) return false;
        if (shader.profile.empty()) return shader.entry.empty();
        return ShaderProfileVersion(shader.profile) != 0 && shader.profile.compare(0, 2, prefix) == 0;
    }
    bool Done() const { return at == size; }

private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

}  // namespace

std::vector<uint8_t> WriteCompiledEffect(const EffectDecl& effect) {
    Writer payload;
    payload.Params(effect.parameters);
    payload.U32(static_cast<uint32_t>(effect.techniques.size()));
    for (const EffectTechniqueDecl& t : effect.techniques) {
        payload.Text(t.name);
        payload.Params(t.annotations);
        payload.U32(static_cast<uint32_t>(t.passes.size()));
        for (const EffectPassDecl& pass : t.passes) {
            payload.Text(pass.name);
            payload.Params(pass.annotations);
            payload.Shader(pass.vertexShader);
            payload.Shader(pass.pixelShader);
            payload.States(pass.states);
        }
    }
    payload.U32(static_cast<uint32_t>(effect.functions.size()));
    for (const std::string& f : effect.functions) payload.Text(f);

    Writer out;
    out.bytes.assign(kMagic, kMagic + 4);
    out.U32(kVersion);
    out.U32(static_cast<uint32_t>(payload.bytes.size()));
    out.bytes.insert(out.bytes.end(), payload.bytes.begin(), payload.bytes.end());
    out.U32(Checksum(out.bytes.data(), out.bytes.size()));
    return out.bytes;
}

bool LooksCompiledEffect(const void* data, size_t size) {
    if (!data || size < 4) return false;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    uint32_t word;
    memcpy(&word, bytes, 4);
    return memcmp(bytes, kMagic, 4) == 0 || word == kForeignMagic;
}

bool ReadCompiledEffect(const void* data, size_t size, EffectDecl& effect, std::string& error) {
    effect = EffectDecl();
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (!bytes || size < 4 || memcmp(bytes, kMagic, 4) != 0) {
        error = "compiled effect: not a compiled effect of this platform";
        return false;
    }
    Reader header(bytes, size);
    uint32_t magic, version, payloadSize;
    if (size < kHeaderSize + kTrailerSize || !header.U32(magic) || !header.U32(version) || !header.U32(payloadSize)) {
        error = "compiled effect: truncated";
        return false;
    }
    if (version != kVersion) {
        error = "compiled effect: unknown version " + std::to_string(version);
        return false;
    }
    if (payloadSize != size - kHeaderSize - kTrailerSize) {
        error = "compiled effect: truncated or padded";
        return false;
    }
    Reader trailer(bytes + size - kTrailerSize, kTrailerSize);
    uint32_t checksum;
    trailer.U32(checksum);
    if (checksum != Checksum(bytes, size - kTrailerSize)) {
        error = "compiled effect: damaged (checksum)";
        return false;
    }
    Reader in(bytes + kHeaderSize, payloadSize);
    bool ok = in.Params(effect.parameters);
    uint32_t n = 0;
    ok = ok && in.Count(n, 12);
    if (ok) effect.techniques.resize(n);
    for (size_t t = 0; ok && t < effect.techniques.size(); ++t) {
        EffectTechniqueDecl& technique = effect.techniques[t];
        uint32_t passes = 0;
        ok = in.Text(technique.name) && in.Params(technique.annotations) && in.Count(passes, 28);
        if (ok) technique.passes.resize(passes);
        for (size_t p = 0; ok && p < technique.passes.size(); ++p) {
            EffectPassDecl& pass = technique.passes[p];
            ok = in.Text(pass.name) && in.Params(pass.annotations) && in.Shader(pass.vertexShader, "vs") &&
                 in.Shader(pass.pixelShader, "ps") && in.States(pass.states);
        }
    }
    ok = ok && in.Count(n, 4);
    if (ok) effect.functions.resize(n);
    for (std::string& f : effect.functions) ok = ok && in.Text(f);
    if (!ok || !in.Done()) {
        effect = EffectDecl();
        error = "compiled effect: malformed contents";
        return false;
    }
    return true;
}

}  // namespace d3dx9
