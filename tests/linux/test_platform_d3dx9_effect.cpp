// The platform's D3DX effects: the preprocessor and the declaration parser (through the
// effect compiler), handles and typed values, pools, validity by caps, the
// Begin/BeginPass/End machine with what it records, and the compiled form.
#include "../EffectSources.h"
#include "PlatformD3d9Support.h"

#include <PlatformTestD3dx9Effect.h>
#include <d3dx9.h>

#include <string.h>

#include <string>
#include <vector>

using namespace platformd3d9;

namespace {

// A technique of one pass that sets nothing, for sources that are about their parameters.
constexpr char kEmptyTechnique[] = " technique T { pass P { } }";

std::string Text(ID3DXBuffer* buffer) {
    if (!buffer) return "";
    return std::string(static_cast<const char*>(buffer->GetBufferPointer()));
}

// Compiles source text; on failure `error` holds the error buffer's text.
ID3DXEffectCompiler* Compile(const std::string& source, const D3DXMACRO* defines = nullptr,
                             std::string* error = nullptr, HRESULT* result = nullptr) {
    ID3DXEffectCompiler* compiler = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCreateEffectCompiler(source.c_str(), static_cast<UINT>(source.size()), defines, nullptr, 0,
                                                &compiler, &errors);
    if (result) *result = hr;
    if (error) *error = Text(errors);
    if (errors) errors->Release();
    return compiler;
}

UINT ParameterCount(ID3DXBaseEffect* effect) {
    D3DXEFFECT_DESC desc;
    EXPECT_EQ(effect->GetDesc(&desc), D3D_OK);
    return desc.Parameters;
}

std::vector<uint8_t> CompiledBytes(const std::string& source, const D3DXMACRO* defines = nullptr) {
    ID3DXEffectCompiler* compiler = Compile(source, defines);
    EXPECT_NE(compiler, nullptr);
    if (!compiler) return {};
    ID3DXBuffer* compiled = nullptr;
    EXPECT_EQ(compiler->CompileEffect(0, &compiled, nullptr), D3D_OK);
    std::vector<uint8_t> bytes(static_cast<uint8_t*>(compiled->GetBufferPointer()),
                               static_cast<uint8_t*>(compiled->GetBufferPointer()) + compiled->GetBufferSize());
    compiled->Release();
    compiler->Release();
    return bytes;
}

// ---- preprocessor and parser ------------------------------------------------------------

TEST(EffectSource, CorpusParsesWithEveryConstruct) {
    std::string error;
    ID3DXEffectCompiler* c = Compile(effectsources::kCorpus, nullptr, &error);
    ASSERT_NE(c, nullptr) << error;
    D3DXEFFECT_DESC desc;
    ASSERT_EQ(c->GetDesc(&desc), D3D_OK);
    EXPECT_STREQ(desc.Creator, "D3DX Effect Compiler");
    EXPECT_EQ(desc.Techniques, 3u);
    EXPECT_EQ(desc.Functions, 0u);
    // The static constant is the shaders' own; everything else at top level is a parameter.
    EXPECT_EQ(desc.Parameters, 17u);
    EXPECT_EQ(c->GetParameterByName(nullptr, "Hidden"), nullptr);

    struct Row {
        const char* name;
        D3DXPARAMETER_CLASS cls;
        D3DXPARAMETER_TYPE type;
        UINT rows, columns, elements;
        DWORD flags;
        const char* semantic;
    };
    const Row rows[] = {
        {"WorldViewProj", D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 4, 4, 0, D3DX_PARAMETER_SHARED, "WORLDVIEWPROJECTION"},
        {"EyePoint", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4, 0, D3DX_PARAMETER_SHARED, nullptr},
        {"Ticks", D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1, 0, D3DX_PARAMETER_SHARED, nullptr},
        {"FogEnable", D3DXPC_SCALAR, D3DXPT_BOOL, 1, 1, 0, D3DX_PARAMETER_SHARED, nullptr},
        {"Count", D3DXPC_SCALAR, D3DXPT_INT, 1, 1, 0, 0, nullptr},
        {"Tint", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 3, 0, 0, nullptr},
        {"Offsets", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 2, 2, 0, nullptr},
        {"Bones", D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 4, 4, 3, 0, nullptr},
        {"One", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 1, 0, 0, nullptr},
        {"OneByOne", D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 1, 1, 0, 0, nullptr},
        {"Half", D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1, 0, 0, nullptr},
        {"Label", D3DXPC_OBJECT, D3DXPT_STRING, 1, 1, 0, 0, nullptr},
        {"DiffuseMap", D3DXPC_OBJECT, D3DXPT_TEXTURE, 1, 1, 0, 0, nullptr},
        {"NormalMap", D3DXPC_OBJECT, D3DXPT_TEXTURE2D, 1, 1, 0, 0, nullptr},
        {"EnvironmentMap", D3DXPC_OBJECT, D3DXPT_TEXTURECUBE, 1, 1, 0, 0, nullptr},
        {"DiffuseSampler", D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 1, 1, 0, 0, nullptr},
        {"EnvSampler", D3DXPC_OBJECT, D3DXPT_SAMPLERCUBE, 1, 1, 0, 0, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        D3DXPARAMETER_DESC p;
        ASSERT_EQ(c->GetParameterDesc(row.name, &p), D3D_OK);
        EXPECT_STREQ(p.Name, row.name);
        EXPECT_EQ(p.Class, row.cls);
        EXPECT_EQ(p.Type, row.type);
        EXPECT_EQ(p.Rows, row.rows);
        EXPECT_EQ(p.Columns, row.columns);
        EXPECT_EQ(p.Elements, row.elements);
        EXPECT_EQ(p.Flags, row.flags);
        if (row.semantic)
            EXPECT_STREQ(p.Semantic, row.semantic);
        else
            EXPECT_EQ(p.Semantic, nullptr);
    }
    // Initial values, through the definitions and the constant expression.
    INT count = 0;
    EXPECT_EQ(c->GetInt("Count", &count), D3D_OK);
    EXPECT_EQ(count, 3);
    D3DXVECTOR4 v;
    ASSERT_EQ(c->GetVector("Tint", &v), D3D_OK);
    EXPECT_FLOAT_EQ(v.x, 0.25f);
    EXPECT_FLOAT_EQ(v.z, 0.25f);
    EXPECT_FLOAT_EQ(v.w, 0.0f);
    float offsets[4];
    ASSERT_EQ(c->GetFloatArray("Offsets", offsets, 4), D3D_OK);
    EXPECT_EQ(offsets[3], 4.0f);
    LPCSTR label = nullptr;
    ASSERT_EQ(c->GetString("Label", &label), D3D_OK);
    EXPECT_STREQ(label, "a // not a comment");
    BOOL fog = FALSE;
    EXPECT_EQ(c->GetBool("FogEnable", &fog), D3D_OK);
    EXPECT_EQ(fog, TRUE);
    // Annotations, with definitions expanded in their initialisers.
    INT dir = 0;
    EXPECT_EQ(c->GetInt(c->GetAnnotationByName("Lit", "DIR"), &dir), D3D_OK);
    EXPECT_EQ(dir, 3);
    LPCSTR uiName = nullptr;
    EXPECT_EQ(c->GetString("Ticks@UIName", &uiName), D3D_OK);
    EXPECT_STREQ(uiName, "Time");
    FLOAT uiMax = 0;
    EXPECT_EQ(c->GetFloat(c->GetAnnotation("Ticks", 1), &uiMax), D3D_OK);
    EXPECT_EQ(uiMax, 1000.0f);
    // Techniques and passes.
    D3DXTECHNIQUE_DESC t;
    ASSERT_EQ(c->GetTechniqueDesc("Lit", &t), D3D_OK);
    EXPECT_EQ(t.Passes, 2u);
    EXPECT_EQ(t.Annotations, 3u);
    D3DXHANDLE p0 = c->GetPassByName("Lit", "P0");
    ASSERT_NE(p0, nullptr);
    D3DXPASS_DESC pass;
    ASSERT_EQ(c->GetPassDesc(p0, &pass), D3D_OK);
    EXPECT_EQ(pass.Annotations, 1u);
    ASSERT_NE(pass.pVertexShaderFunction, nullptr);
    EXPECT_EQ(pass.pVertexShaderFunction[0], 0xFFFE0200u);
    ASSERT_NE(pass.pPixelShaderFunction, nullptr);
    EXPECT_EQ(pass.pPixelShaderFunction[0], 0xFFFF0200u);  // PS_MODEL's default
    ASSERT_EQ(c->GetPassDesc(c->GetPass("Lit", 1), &pass), D3D_OK);
    EXPECT_EQ(pass.Name, nullptr);
    EXPECT_EQ(pass.pVertexShaderFunction[0], 0xFFFE0101u);
    EXPECT_EQ(pass.pPixelShaderFunction, nullptr);
    EXPECT_EQ(c->Release(), 0u);
}

TEST(EffectSource, DefinitionsFromTheCallerReachCompileTargets) {
    const D3DXMACRO defines[] = {{"PS_MODEL", "ps_1_4"}, {nullptr, nullptr}};
    ID3DXEffectCompiler* c = Compile(effectsources::kCorpus, defines);
    ASSERT_NE(c, nullptr);
    D3DXPASS_DESC pass;
    ASSERT_EQ(c->GetPassDesc(c->GetPass("Lit", 0), &pass), D3D_OK);
    EXPECT_EQ(pass.pPixelShaderFunction[0], 0xFFFF0104u);
    c->Release();
}

TEST(EffectSource, ConditionalsTable) {
    struct Row {
        const char* source;
        const char* define;  // defined as empty, or null
        UINT parameters;
    };
    const Row rows[] = {
        {"#ifdef A\nfloat a;\n#endif\nfloat b;", nullptr, 1},
        {"#ifdef A\nfloat a;\n#endif\nfloat b;", "A", 2},
        {"#ifndef A\nfloat a;\n#else\nfloat a; float c;\n#endif", "A", 2},
        {"#if defined(A) && !defined B\nfloat a;\n#elif 1\nfloat b; float c; float d;\n#endif", "A", 1},
        {"#if defined(A) && !defined B\nfloat a;\n#elif 1\nfloat b; float c; float d;\n#endif", nullptr, 3},
        {"#define N 4\n#if N * 2 == 8 && (N % 3) == 1 && (1 << 3) == 8 && -N < 0 && N > 3 ? 1 : 0\nfloat a;\n#endif", nullptr, 1},
        {"#if UNKNOWN\nfloat a;\n#endif", nullptr, 0},
        {"#if 0\n#if 1\nfloat a;\n#else\nfloat b;\n#endif\n#else\nfloat c; float d;\n#endif", nullptr, 2},
        {"#define X\n#undef X\n#ifdef X\nfloat a;\n#endif", nullptr, 0},
        {"#define T float\n#define NAME value\nT NAME;", nullptr, 1},
        {"#define SELF SELF\nfloat SELF;", nullptr, 1},  // a name is not expanded in itself
        {"#if 0x10 == 16 && 010 == 8 && 3u == 3\nfloat a;\n#endif", nullptr, 1},
        {"#pragma warning(disable: 1)\nfloat a;", nullptr, 1},
        {"float a; \\\nfloat b;", nullptr, 2},
        {"\xEF\xBB\xBF" "float a;\r\nfloat b;\r\n", nullptr, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.source);
        const D3DXMACRO defines[] = {{row.define, ""}, {nullptr, nullptr}};
        std::string error;
        ID3DXEffectCompiler* c = Compile(row.source, row.define ? defines : nullptr, &error);
        ASSERT_NE(c, nullptr) << error;
        EXPECT_EQ(ParameterCount(c), row.parameters);
        c->Release();
    }
    // An empty definition defines the name, as empty: it vanishes where it is used.
    const D3DXMACRO empty[] = {{"EMPTY", nullptr}, {nullptr, nullptr}};
    ID3DXEffectCompiler* c = Compile("#ifdef EMPTY\nEMPTY float a EMPTY;\n#endif", empty);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(ParameterCount(c), 1u);
    c->Release();
}

TEST(EffectSource, ErrorsNameTheLineAndTheProblem) {
    struct Row {
        const char* source;
        const char* expected;  // a part of the error text
    };
    const Row rows[] = {
        {"float a;\n#include \"other.fx\"\n", "memory(2): error: #include"},
        {"float a;\nfloat b\nfloat c;", "memory(3): error: unexpected 'float', expected ';'"},
        {"#if 1\nfloat a;\n", "#if without #endif"},
        {"#endif\n", "memory(1): error: #endif without #if"},
        {"#else\n", "#else without #if"},
        {"#if 1\n#else\n#else\n#endif", "memory(3): error: #else after #else"},
        {"#if 1 / 0\n#endif", "division by zero"},
        {"#if (1\n#endif", "expected ')'"},
        {"#define F(x) x\n", "function-like definitions are not supported"},
        {"#error stop here\n", "#error stop here"},
        {"#bogus\n", "unknown directive #bogus"},
        {"widget w;", "unknown type 'widget'"},
        {"float a;\nfloat a;", "memory(2): error: redefinition of 'a'"},
        {"float2 a = {1, 2, 3};", "has 3 values, expected 2"},
        {"float4 VS() : POSITION { return 0; }\ntechnique T { pass { VertexShader = compile vs_1_0 VS(); } }",
         "memory(2): error: invalid target 'vs_1_0'"},
        {"technique T { pass { VertexShader = compile ps_2_0 VS(); } }", "invalid target 'ps_2_0'"},
        {"technique T { pass { PixelShader = compile ps_2_0 Missing(); } }", "undefined function 'Missing'"},
        {"float4 PS() : COLOR { return 0;\n\n", "memory(1): error: '{' opened on line 1 is never closed"},
        {"string s = \"open;", "unterminated string"},
        {"/* never closed", "unterminated comment"},
        {"technique T { foo }", "expected 'pass'"},
        {"float a[0];", "bad array size"},
        {"float a[100000];", "bad array size"},
        {"texture t[2];", "arrays of objects are not supported"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.source);
        std::string error;
        HRESULT hr = S_OK;
        ID3DXEffectCompiler* c = Compile(row.source, nullptr, &error, &hr);
        EXPECT_EQ(c, nullptr);
        EXPECT_EQ(hr, E_FAIL);
        EXPECT_NE(error.find(row.expected), std::string::npos) << error;
        if (c) c->Release();
    }
}

TEST(EffectSource, TruncatedCorpusNeverCrashes) {
    const std::string corpus = effectsources::kCorpus;
    int failures = 0;
    for (size_t length = 0; length <= corpus.size(); length += 7) {
        std::string error;
        HRESULT hr = S_OK;
        ID3DXEffectCompiler* c = Compile(corpus.substr(0, length), nullptr, &error, &hr);
        if (c) {
            c->Release();
        } else {
            ++failures;
            EXPECT_NE(error.find("error"), std::string::npos);
        }
    }
    EXPECT_GT(failures, 0);
    // Garbage bytes, including control characters and bytes above 0x7F.
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) & 0xFF);
    std::string error;
    ID3DXEffectCompiler* c = Compile(garbage, nullptr, &error);
    EXPECT_EQ(c, nullptr);
    EXPECT_FALSE(error.empty());
    // Deep nesting is refused, not recursed into without end.
    c = Compile("float a = " + std::string(5000, '(') + "1" + std::string(5000, ')') + ";", nullptr, &error);
    EXPECT_EQ(c, nullptr);
    std::string deep;
    for (int i = 0; i < 1000; ++i) deep += "#if 1\n";
    c = Compile(deep, nullptr, &error);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(error.find("nested too deeply"), std::string::npos) << error;
}

TEST(EffectSource, CompilerArgumentsAsTheRuntimeChecksThem) {
    ID3DXEffectCompiler* c = nullptr;
    ID3DXBuffer* errors = reinterpret_cast<ID3DXBuffer*>(1);
    EXPECT_EQ(D3DXCreateEffectCompiler(nullptr, 0, nullptr, nullptr, 0, &c, &errors), D3DERR_INVALIDCALL);
    EXPECT_EQ(errors, nullptr);
    EXPECT_EQ(D3DXCreateEffectCompiler("x", 1, nullptr, nullptr, 0, nullptr, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(D3DXCreateEffectCompiler("", 0, nullptr, nullptr, 0, &c, nullptr), D3D_OK);
    void* base = reinterpret_cast<void*>(1);
    EXPECT_EQ(c->QueryInterface(IID_ID3DXBaseEffect, &base), E_NOINTERFACE);
    EXPECT_EQ(base, nullptr);
    EXPECT_EQ(PlatformTest_D3dx9LiveEffectCompilers(), 1);
    EXPECT_EQ(c->Release(), 0u);
    EXPECT_EQ(PlatformTest_D3dx9LiveEffectCompilers(), 0);
}

// ---- compiled form --------------------------------------------------------------------

TEST(EffectCompiled, SameSourceGivesTheSameBytesAndDefinitionsChangeThem) {
    const std::vector<uint8_t> a = CompiledBytes(effectsources::kCorpus);
    const std::vector<uint8_t> b = CompiledBytes(effectsources::kCorpus);
    ASSERT_GT(a.size(), 16u);
    EXPECT_EQ(a, b);
    EXPECT_EQ(memcmp(a.data(), "CVFX", 4), 0);
    const D3DXMACRO defines[] = {{"PS_MODEL", "ps_3_0"}, {nullptr, nullptr}};
    EXPECT_NE(CompiledBytes(effectsources::kCorpus, defines), a);
}

class EffectDevice : public ReferenceD3d9 {
protected:
    void SetUp() override {
        ReferenceD3d9::SetUp();
        PlatformTest_D3dx9ClearEffectPasses();
    }
    void TearDown() override {
        EXPECT_EQ(PlatformTest_D3dx9LiveEffects(), 0);
        EXPECT_EQ(PlatformTest_D3dx9LiveEffectPools(), 0);
        ReferenceD3d9::TearDown();
    }
    // Caps with the given shader versions.
    void OpenWith(DWORD vertexVersion, DWORD pixelVersion) {
        PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
        adapter.devices[D3DDEVTYPE_HAL].VertexShaderVersion = vertexVersion;
        adapter.devices[D3DDEVTYPE_HAL].PixelShaderVersion = pixelVersion;
        Open(adapter);
    }
    ID3DXEffect* Create(const void* data, size_t size, ID3DXEffectPool* pool = nullptr, std::string* error = nullptr,
                        HRESULT* result = nullptr, const D3DXMACRO* defines = nullptr) {
        ID3DXEffect* effect = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCreateEffect(device, data, static_cast<UINT>(size), defines, nullptr, 0, pool, &effect,
                                            &errors);
        if (result) *result = hr;
        if (error) *error = Text(errors);
        if (errors) errors->Release();
        return effect;
    }
    ID3DXEffect* Create(const std::string& source, ID3DXEffectPool* pool = nullptr) {
        std::string error;
        ID3DXEffect* effect = Create(source.data(), source.size(), pool, &error);
        EXPECT_NE(effect, nullptr) << error;
        return effect;
    }
    static std::vector<std::string> Lines(const char* prefix) {
        std::vector<std::string> lines;
        for (const std::string& line : PlatformTest_D3d9CallLog())
            if (line.compare(0, strlen(prefix), prefix) == 0) lines.push_back(line);
        return lines;
    }
};

TEST_F(EffectDevice, CompiledFormRoundTripsToTheSameEffect) {
    Open();
    const std::vector<uint8_t> bytes = CompiledBytes(effectsources::kCorpus);
    std::string error;
    ID3DXEffect* fromBytes = Create(bytes.data(), bytes.size(), nullptr, &error);
    ASSERT_NE(fromBytes, nullptr) << error;
    ID3DXEffect* fromText = Create(effectsources::kCorpus);
    ASSERT_NE(fromText, nullptr);
    for (ID3DXEffect* e : {fromBytes, fromText}) {
        D3DXEFFECT_DESC desc;
        ASSERT_EQ(e->GetDesc(&desc), D3D_OK);
        EXPECT_EQ(desc.Parameters, 17u);
        EXPECT_EQ(desc.Techniques, 3u);
        INT dir = 0;
        EXPECT_EQ(e->GetInt(e->GetAnnotationByName("Lit", "DIR"), &dir), D3D_OK);
        EXPECT_EQ(dir, 3);
        LPCSTR label = nullptr;
        EXPECT_EQ(e->GetString("Label", &label), D3D_OK);
        EXPECT_STREQ(label, "a // not a comment");
        FLOAT ticks = 0;
        EXPECT_EQ(e->GetFloat("Ticks", &ticks), D3D_OK);
        EXPECT_EQ(ticks, 0.5f);
    }
    fromBytes->Release();
    fromText->Release();
}

TEST_F(EffectDevice, DamagedForeignAndTruncatedCompiledFormsAreRefused) {
    Open();
    const std::vector<uint8_t> bytes = CompiledBytes(effectsources::kCorpus);
    HRESULT hr = S_OK;
    std::string error;
    // A byte changed anywhere.
    for (size_t at : {size_t(4), size_t(12), bytes.size() / 2, bytes.size() - 1}) {
        std::vector<uint8_t> damaged = bytes;
        damaged[at] ^= 0x40;
        EXPECT_EQ(Create(damaged.data(), damaged.size(), nullptr, &error, &hr), nullptr) << at;
        EXPECT_EQ(hr, D3DXERR_INVALIDDATA);
        EXPECT_NE(error.find("compiled effect"), std::string::npos) << error;
    }
    // Every truncation.
    for (size_t size = 1; size < bytes.size(); size += 13) {
        EXPECT_EQ(Create(bytes.data(), size, nullptr, &error, &hr), nullptr) << size;
        EXPECT_NE(hr, D3D_OK);
    }
    // A real compiled effect under the same name: its version word, then anything.
    const uint8_t foreign[] = {0x01, 0x09, 0xFF, 0xFE, 0x10, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Create(foreign, sizeof foreign, nullptr, &error, &hr), nullptr);
    EXPECT_EQ(hr, D3DXERR_INVALIDDATA);
    EXPECT_NE(error.find("not a compiled effect of this platform"), std::string::npos) << error;
}

// ---- creation, handles and values -------------------------------------------------------

TEST_F(EffectDevice, CreationArgumentsAndReferences) {
    Open();
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = reinterpret_cast<ID3DXBuffer*>(1);
    EXPECT_EQ(D3DXCreateEffect(nullptr, nullptr, 0, nullptr, nullptr, 0, nullptr, &effect, &errors),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(errors, nullptr);
    EXPECT_EQ(D3DXCreateEffectPool(nullptr), D3DERR_INVALIDCALL);
    ID3DXEffectPool* pool = nullptr;
    ASSERT_EQ(D3DXCreateEffectPool(&pool), D3D_OK);
    const ULONG deviceRefs = PlatformTest_D3d9RefCount(device);
    errors = reinterpret_cast<ID3DXBuffer*>(1);
    const std::string source = effectsources::kShared;
    ASSERT_EQ(D3DXCreateEffect(device, source.data(), static_cast<UINT>(source.size()), nullptr, nullptr, 0, pool,
                               &effect, &errors),
              D3D_OK);
    EXPECT_EQ(errors, nullptr);
    EXPECT_GT(PlatformTest_D3d9RefCount(device), deviceRefs);  // the effect and its shaders
    EXPECT_EQ(PlatformTest_D3d9RefCount(pool), 2u);
    ID3DXEffectPool* got = nullptr;
    EXPECT_EQ(effect->GetPool(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(effect->GetPool(&got), D3D_OK);
    EXPECT_EQ(got, pool);
    got->Release();
    EXPECT_EQ(effect->GetDevice(nullptr), D3DERR_INVALIDCALL);
    void* base = nullptr;
    EXPECT_EQ(effect->QueryInterface(IID_ID3DXBaseEffect, &base), E_NOINTERFACE);
    EXPECT_EQ(effect->Release(), 0u);
    EXPECT_EQ(PlatformTest_D3d9RefCount(device), deviceRefs);
    EXPECT_EQ(pool->Release(), 0u);
}

TEST_F(EffectDevice, HandlesAreStableAndNamesWorkEverywhere) {
    Open();
    ID3DXEffect* e = Create(effectsources::kCorpus);
    ASSERT_NE(e, nullptr);
    D3DXHANDLE ticks = e->GetParameterByName(nullptr, "Ticks");
    ASSERT_NE(ticks, nullptr);
    EXPECT_EQ(e->GetParameterByName(nullptr, "Ticks"), ticks);
    EXPECT_EQ(e->GetParameter(nullptr, 2), ticks);
    EXPECT_EQ(e->GetParameterBySemantic(nullptr, "worldviewprojection"), e->GetParameter(nullptr, 0));
    // Elements and annotations by path.
    D3DXHANDLE element = e->GetParameterElement("Offsets", 1);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(e->GetParameterByName(nullptr, "Offsets[1]"), element);
    EXPECT_EQ(e->GetParameterByName("Offsets[1]", nullptr), element);
    EXPECT_EQ(e->GetParameterByName(nullptr, "Offsets[2]"), nullptr);
    EXPECT_EQ(e->GetParameterByName(nullptr, "Offsets[]"), nullptr);
    EXPECT_EQ(e->GetParameterByName("Offsets", "[0]"), nullptr);
    EXPECT_EQ(e->GetParameterByName(nullptr, "Tint[0]"), nullptr);
    EXPECT_EQ(e->GetParameterElement("Tint", 0), nullptr);
    EXPECT_EQ(e->GetParameterByName(nullptr, "Ticks@UIName"), e->GetAnnotationByName("Ticks", "UIName"));
    EXPECT_EQ(e->GetAnnotation("Ticks", 0), e->GetAnnotationByName(ticks, "UIName"));
    EXPECT_EQ(e->GetAnnotation("Ticks", 2), nullptr);
    EXPECT_EQ(e->GetAnnotationByName("Ticks", "@UIName"), nullptr);
    EXPECT_EQ(e->GetAnnotationByName("Ticks@", "UIName"), nullptr);
    EXPECT_EQ(e->GetAnnotation("Count", 0), nullptr);
    EXPECT_EQ(e->GetParameterByName(nullptr, "Ticks.member"), nullptr);
    // Technique and pass annotations.
    INT order = 0;
    EXPECT_EQ(e->GetInt(e->GetAnnotationByName(e->GetPassByName("Lit", "P0"), "Order"), &order), D3D_OK);
    EXPECT_EQ(order, 1);
    // An element takes a value of its own.
    D3DXVECTOR4 v(9, 8, 7, 6);
    EXPECT_EQ(e->SetVector(element, &v), D3D_OK);
    float all[4];
    ASSERT_EQ(e->GetFloatArray("Offsets", all, 4), D3D_OK);
    EXPECT_EQ(all[0], 1.0f);
    EXPECT_EQ(all[2], 9.0f);
    EXPECT_EQ(all[3], 8.0f);
    // A null or unknown handle fails without a crash.
    EXPECT_EQ(e->SetFloat(nullptr, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetFloat("Nothing", 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetTechnique("Nothing"), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->GetParameterDesc(e->GetTechniqueByName("Lit"), nullptr), D3DERR_INVALIDCALL);
    e->Release();
}

TEST_F(EffectDevice, SettersCheckAndConvertAsTheRuntime) {
    Open();
    ID3DXEffect* e = Create(R"FX(
        bool B; int I; float F; float1 F1; float1x1 F11; float2 F2; float3 F3; float4 F4;
        float4x4 M; float3x1 M31; float2x1 M21; float A[3]; float4 VA[2]; float4x4 MA[2]; texture T; string S = "s";
        int4 I4;
    )FX");
    ASSERT_NE(e, nullptr);
    // Scalar setters on any non-array 1x1 numeric, converting.
    EXPECT_EQ(e->SetBool("I", 5), D3D_OK);
    INT i = 0;
    EXPECT_EQ(e->GetInt("I", &i), D3D_OK);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(e->SetBool("F", 5), D3D_OK);
    FLOAT f = 0;
    EXPECT_EQ(e->GetFloat("F", &f), D3D_OK);
    EXPECT_EQ(f, 1.0f);
    EXPECT_EQ(e->SetFloat("I", 1.33f), D3D_OK);
    EXPECT_EQ(e->GetInt("I", &i), D3D_OK);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(e->SetFloat("I", 1e20f), D3D_OK);  // out of int range: 0, never undefined
    EXPECT_EQ(e->GetInt("I", &i), D3D_OK);
    EXPECT_EQ(i, 0);
    BOOL b = FALSE;
    EXPECT_EQ(e->SetInt("B", 7), D3D_OK);
    EXPECT_EQ(e->GetBool("B", &b), D3D_OK);
    EXPECT_EQ(b, TRUE);
    for (const char* name : {"F1", "F11"}) {
        EXPECT_EQ(e->SetFloat(name, 2.5f), D3D_OK) << name;
        EXPECT_EQ(e->SetBool(name, TRUE), D3D_OK) << name;
    }
    for (const char* name : {"F2", "F4", "M", "A", "T", "S"}) {
        EXPECT_EQ(e->SetFloat(name, 1), D3DERR_INVALIDCALL) << name;
        EXPECT_EQ(e->SetBool(name, 1), D3DERR_INVALIDCALL) << name;
        EXPECT_EQ(e->GetFloat(name, &f), D3DERR_INVALIDCALL) << name;
    }
    // SetInt on float3/float4 and Nx1 (N != 2) matrices: a packed colour.
    EXPECT_EQ(e->SetInt("F4", static_cast<INT>(0x80FF4000)), D3D_OK);
    D3DXVECTOR4 v;
    ASSERT_EQ(e->GetVector("F4", &v), D3D_OK);
    EXPECT_FLOAT_EQ(v.x, 1.0f);
    EXPECT_FLOAT_EQ(v.y, 64 / 255.0f);
    EXPECT_FLOAT_EQ(v.z, 0.0f);
    EXPECT_FLOAT_EQ(v.w, 128 / 255.0f);
    EXPECT_EQ(e->GetInt("F4", &i), D3D_OK);
    EXPECT_EQ(static_cast<uint32_t>(i), 0x80FF4000u);
    EXPECT_EQ(e->SetInt("F3", 0x00FF00), D3D_OK);
    EXPECT_EQ(e->SetInt("M31", 0x00FF00), D3D_OK);
    EXPECT_EQ(e->SetInt("F2", 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetInt("M21", 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetInt("M", 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetInt("I4", 1), D3DERR_INVALIDCALL);
    // SetVector: scalars and vectors, the first components; matrices and arrays refused.
    D3DXVECTOR4 in(0.5f, 2.0f, 3.0f, 4.0f);
    EXPECT_EQ(e->SetVector("F2", &in), D3D_OK);
    ASSERT_EQ(e->GetVector("F2", &v), D3D_OK);
    EXPECT_EQ(v.x, 0.5f);
    EXPECT_EQ(v.y, 2.0f);
    EXPECT_EQ(v.z, 0.0f);
    EXPECT_EQ(e->SetVector("F", &in), D3D_OK);
    EXPECT_EQ(e->GetFloat("F", &f), D3D_OK);
    EXPECT_EQ(f, 0.5f);
    EXPECT_EQ(e->SetVector("I", &in), D3D_OK);  // an int scalar takes the clamped vector's colour
    EXPECT_EQ(e->GetInt("I", &i), D3D_OK);
    EXPECT_EQ(static_cast<uint32_t>(i), 0xFF80FFFFu);
    EXPECT_EQ(e->SetVector("I4", &in), D3D_OK);
    INT ints[4];
    ASSERT_EQ(e->GetIntArray("I4", ints, 4), D3D_OK);
    EXPECT_EQ(ints[1], 2);
    EXPECT_EQ(e->SetVector("M", &in), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetVector("VA", &in), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetVector("T", &in), D3DERR_INVALIDCALL);
    // Arrays.
    const D3DXVECTOR4 two[2] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    EXPECT_EQ(e->SetVectorArray("VA", two, 2), D3D_OK);
    EXPECT_EQ(e->SetVectorArray("VA", two, 0), D3D_OK);
    EXPECT_EQ(e->SetVectorArray("VA", two, 3), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetVectorArray("F4", two, 1), D3DERR_INVALIDCALL);
    D3DXMATRIX m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] = static_cast<float>(r * 4 + c);
    EXPECT_EQ(e->SetMatrix("M", &m), D3D_OK);
    EXPECT_EQ(e->SetMatrix("F4", &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetMatrix("MA", &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetMatrixArray("M", &m, 0), D3D_OK);
    EXPECT_EQ(e->SetMatrixArray("M", &m, 1), D3DERR_INVALIDCALL);
    const D3DXMATRIX ms[2] = {m, m};
    EXPECT_EQ(e->SetMatrixArray("MA", ms, 2), D3D_OK);
    EXPECT_EQ(e->SetMatrixArray("MA", ms, 3), D3DERR_INVALIDCALL);
    D3DXMATRIX t;
    EXPECT_EQ(e->SetMatrixTranspose("M", &m), D3D_OK);
    ASSERT_EQ(e->GetMatrix("M", &t), D3D_OK);
    EXPECT_EQ(t.m[0][1], 4.0f);
    EXPECT_EQ(t.m[1][0], 1.0f);
    EXPECT_EQ(e->SetFloatArray("A", two[0].x == 1 ? &two[1].x : nullptr, 3), D3D_OK);
    EXPECT_EQ(e->SetFloatArray("M", &two[0].x, 4), D3D_OK);
    EXPECT_EQ(e->SetFloatArray("T", &two[0].x, 1), D3DERR_INVALIDCALL);
    // SetValue and GetValue: the size must cover the parameter.
    const float four[4] = {1, 2, 3, 4};
    EXPECT_EQ(e->SetValue("F4", four, sizeof four - 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetValue("F4", four, sizeof four + 8), D3D_OK);
    float back[5] = {0, 0, 0, 0, 99};
    EXPECT_EQ(e->GetValue("F4", back, sizeof four - 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->GetValue("F4", back, sizeof back), D3D_OK);
    EXPECT_EQ(back[3], 4.0f);
    EXPECT_EQ(back[4], 99.0f);  // exactly the parameter's bytes
    // Strings.
    EXPECT_EQ(e->SetString("S", "new"), D3D_OK);
    LPCSTR s = nullptr;
    EXPECT_EQ(e->GetString("S", &s), D3D_OK);
    EXPECT_STREQ(s, "new");
    EXPECT_EQ(e->SetString("F", "x"), D3DERR_INVALIDCALL);
    e->Release();
}

TEST_F(EffectDevice, TexturesAreHeldAndDefaultPoolOnesDroppedOnLoss) {
    Open();
    ID3DXEffect* e = Create(effectsources::kCorpus);
    ASSERT_NE(e, nullptr);
    IDirect3DTexture9* managed = nullptr;
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
              D3D_OK);
    EXPECT_EQ(e->SetTexture("DiffuseMap", managed), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9RefCount(managed), 2u);
    EXPECT_EQ(e->SetValue("NormalMap", &target, sizeof target), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9RefCount(target), 2u);
    EXPECT_EQ(e->SetTexture("Ticks", managed), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetTexture("DiffuseSampler", managed), D3DERR_INVALIDCALL);
    IDirect3DBaseTexture9* got = nullptr;
    EXPECT_EQ(e->GetValue("DiffuseMap", &got, sizeof got), D3D_OK);
    EXPECT_EQ(got, managed);
    EXPECT_EQ(PlatformTest_D3d9RefCount(managed), 3u);
    got->Release();
    EXPECT_EQ(e->OnLostDevice(), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9RefCount(target), 1u);
    EXPECT_EQ(PlatformTest_D3d9RefCount(managed), 2u);
    EXPECT_EQ(e->GetTexture("NormalMap", &got), D3D_OK);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(e->OnResetDevice(), D3D_OK);
    EXPECT_EQ(e->SetTexture("DiffuseMap", nullptr), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9RefCount(managed), 1u);
    EXPECT_EQ(e->SetTexture("DiffuseMap", managed), D3D_OK);
    e->Release();
    EXPECT_EQ(PlatformTest_D3d9RefCount(managed), 1u);
    managed->Release();
    target->Release();
}

// ---- pools -----------------------------------------------------------------------------

TEST_F(EffectDevice, PoolsShareSharedParametersWhileOneEffectHoldsThem) {
    Open();
    ID3DXEffectPool* pool = nullptr;
    ASSERT_EQ(D3DXCreateEffectPool(&pool), D3D_OK);
    ID3DXEffect* a = Create(effectsources::kShared, pool);
    ID3DXEffect* b = Create(effectsources::kShared, pool);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->SetFloat("Scale", 5), D3D_OK);
    EXPECT_EQ(a->SetFloat("Own", 9), D3D_OK);
    FLOAT f = 0;
    EXPECT_EQ(b->GetFloat("Scale", &f), D3D_OK);
    EXPECT_EQ(f, 5.0f);
    EXPECT_EQ(b->GetFloat("Own", &f), D3D_OK);
    EXPECT_EQ(f, 1.0f);
    // A later effect joining while the value is held reads the current value.
    ID3DXEffect* c = Create(effectsources::kShared, pool);
    EXPECT_EQ(c->GetFloat("Scale", &f), D3D_OK);
    EXPECT_EQ(f, 5.0f);
    a->Release();
    b->Release();
    c->Release();
    // Nobody holds it now: a new effect starts from its own initialiser.
    ID3DXEffect* d = Create(effectsources::kShared, pool);
    EXPECT_EQ(d->GetFloat("Scale", &f), D3D_OK);
    EXPECT_EQ(f, 2.0f);
    // A shared array of another length is simply not shared: both effects create, and each
    // keeps its own value, while a third of the first one's length shares the first's.
    ID3DXEffect* one = Create(std::string("shared float arr2[1] = {3};") + kEmptyTechnique, pool);
    ID3DXEffect* two = Create(std::string("shared float arr2[2] = {4, 5};") + kEmptyTechnique, pool);
    ID3DXEffect* third = Create(std::string("shared float arr2[1];") + kEmptyTechnique, pool);
    ASSERT_TRUE(one && two && third);
    const FLOAT seven = 7;
    EXPECT_EQ(one->SetFloatArray("arr2", &seven, 1), D3D_OK);
    FLOAT pair[2] = {0, 0};
    EXPECT_EQ(two->GetFloatArray("arr2", pair, 2), D3D_OK);
    EXPECT_EQ(pair[0], 4.0f);
    EXPECT_EQ(pair[1], 5.0f);
    EXPECT_EQ(third->GetFloat("arr2[0]", &f), D3D_OK);
    EXPECT_EQ(f, 7.0f);
    EXPECT_EQ(two->SetFloatArray("arr2", &seven, 1), D3D_OK);
    EXPECT_EQ(one->Release(), 0u);
    EXPECT_EQ(two->Release(), 0u);
    EXPECT_EQ(third->Release(), 0u);
    // A shared name of another type in the same pool is refused.
    std::string error;
    HRESULT hr = S_OK;
    const std::string clash = "shared float4 Scale;";
    EXPECT_EQ(Create(clash.data(), clash.size(), pool, &error, &hr), nullptr);
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_NE(error.find("Scale"), std::string::npos);
    // Without a pool, shared parameters are the effect's own.
    ID3DXEffect* alone = Create(effectsources::kShared);
    EXPECT_EQ(alone->GetFloat("Scale", &f), D3D_OK);
    EXPECT_EQ(f, 2.0f);
    alone->Release();
    d->Release();
    EXPECT_EQ(pool->Release(), 0u);
}

TEST_F(EffectDevice, MatrixGettersTakeWhatTheRuntimeTakes) {
    Open();
    ID3DXEffect* e = Create(std::string("float F = 3; float3 V = {1, 2, 3}; float4 A[2]; texture T; float2x2 M = {1, 2, 3, 4};") +
                            kEmptyTechnique);
    ASSERT_NE(e, nullptr);
    // Asked for no matrices, the pointer-array getter answers without a handle.
    EXPECT_EQ(e->GetMatrixPointerArray(nullptr, nullptr, 0), D3D_OK);
    // The transposed getter hands a scalar or a vector out as the first row, as it stands;
    // GetMatrix refuses them.
    D3DXMATRIX m;
    auto expectRow = [&](std::initializer_list<float> first) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(m.m[r][c], r == 0 && c < int(first.size()) ? first.begin()[c] : 0.0f) << r << "," << c;
    };
    memset(&m, 0x55, sizeof m);
    ASSERT_EQ(e->GetMatrixTranspose("V", &m), D3D_OK);
    expectRow({1, 2, 3});
    memset(&m, 0x55, sizeof m);
    ASSERT_EQ(e->GetMatrixTranspose("F", &m), D3D_OK);
    expectRow({3});
    ASSERT_EQ(e->GetMatrixTranspose("A[1]", &m), D3D_OK);
    expectRow({0, 0, 0, 0});
    EXPECT_EQ(e->GetMatrix("V", &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->GetMatrixTranspose("A", &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->GetMatrixTranspose("T", &m), D3DERR_INVALIDCALL);
    // A matrix is still transposed.
    ASSERT_EQ(e->GetMatrixTranspose("M", &m), D3D_OK);
    EXPECT_EQ(m.m[0][1], 3.0f);
    EXPECT_EQ(m.m[1][0], 2.0f);
    EXPECT_EQ(e->Release(), 0u);
}

TEST_F(EffectDevice, ConstantsReadByStatesCannotBeSkipped) {
    Open();
    const std::string source =
        "int zen = 1; texture tex; float other; float4 V() : POSITION { return other; }\n"
        "sampler s = sampler_state { Texture = <tex>; };\n"
        "technique T { pass P { ZEnable = <zen>; VertexShader = compile vs_2_0 V(); } }";
    auto create = [&](const char* skip, ID3DXEffect** effect) {
        return D3DXCreateEffectEx(device, source.data(), static_cast<UINT>(source.size()), nullptr, nullptr, skip, 0,
                                  nullptr, effect, nullptr);
    };
    const int live = PlatformTest_D3dx9LiveEffects();
    ID3DXEffect* effect = nullptr;
    EXPECT_EQ(create("zen", &effect), D3DERR_INVALIDCALL);
    EXPECT_EQ(create("tex", &effect), D3DERR_INVALIDCALL);
    EXPECT_EQ(create("other;zen", &effect), D3DERR_INVALIDCALL);
    EXPECT_EQ(effect, nullptr);
    EXPECT_EQ(PlatformTest_D3dx9LiveEffects(), live);
    // A constant only the shaders read leaves the effect.
    ASSERT_EQ(create("other", &effect), D3D_OK);
    EXPECT_EQ(effect->GetParameterByName(nullptr, "other"), nullptr);
    EXPECT_NE(effect->GetParameterByName(nullptr, "zen"), nullptr);
    EXPECT_EQ(effect->Release(), 0u);
    // Without a place for the effect it is built and let go at once; no source is E_FAIL.
    EXPECT_EQ(create(nullptr, nullptr), D3D_OK);
    EXPECT_EQ(PlatformTest_D3dx9LiveEffects(), live);
    EXPECT_EQ(D3DXCreateEffectEx(device, source.data(), 0, nullptr, nullptr, nullptr, 0, nullptr, &effect, nullptr),
              E_FAIL);
}

// ---- techniques by caps ------------------------------------------------------------------

TEST_F(EffectDevice, ValidTechniquesFollowTheShaderCaps) {
    struct Row {
        DWORD vs, ps;
        std::vector<std::string> valid;
    };
    const Row rows[] = {
        {D3DVS_VERSION(1, 1), D3DPS_VERSION(1, 4), {"Old"}},
        {D3DVS_VERSION(2, 0), D3DPS_VERSION(1, 3), {}},
        {D3DVS_VERSION(2, 0), D3DPS_VERSION(2, 0), {"Lit", "Old"}},
        {D3DVS_VERSION(3, 0), D3DPS_VERSION(3, 0), {"Lit", "Modern", "Old"}},
        {D3DVS_VERSION(3, 0), D3DPS_VERSION(2, 0), {"Lit", "Old"}},
        {0, 0, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.vs);
        SCOPED_TRACE(row.ps);
        OpenWith(row.vs, row.ps);
        ID3DXEffect* e = Create(effectsources::kCorpus);
        ASSERT_NE(e, nullptr);
        std::vector<std::string> valid;
        D3DXHANDLE t = nullptr;
        HRESULT hr;
        while ((hr = e->FindNextValidTechnique(t, &t)) == D3D_OK) {
            D3DXTECHNIQUE_DESC desc;
            ASSERT_EQ(e->GetTechniqueDesc(t, &desc), D3D_OK);
            valid.push_back(desc.Name);
        }
        EXPECT_EQ(hr, S_FALSE);
        EXPECT_EQ(t, nullptr);
        EXPECT_EQ(valid, row.valid);
        EXPECT_EQ(e->ValidateTechnique("Modern"), row.ps >= D3DPS_VERSION(3, 0) ? D3D_OK : E_FAIL);
        EXPECT_EQ(e->ValidateTechnique("Missing"), D3DERR_INVALIDCALL);
        EXPECT_EQ(e->FindNextValidTechnique("Missing", &t), D3DERR_INVALIDCALL);
        EXPECT_EQ(e->FindNextValidTechnique(nullptr, nullptr), D3DERR_INVALIDCALL);
        // The current technique is the first one, valid or not.
        D3DXTECHNIQUE_DESC current;
        ASSERT_EQ(e->GetTechniqueDesc(nullptr, &current), D3DERR_INVALIDCALL);
        ASSERT_EQ(e->GetTechniqueDesc(e->GetCurrentTechnique(), &current), D3D_OK);
        EXPECT_STREQ(current.Name, "Lit");
        e->Release();
        device->Release();
        device = nullptr;
        d3d->Release();
        d3d = nullptr;
    }
}

// ---- the Begin/Pass/End machine and its records ------------------------------------------

TEST_F(EffectDevice, BeginPassEndFollowTheRuntimeAndWarnOfMisuse) {
    Open();
    ID3DXEffect* e = Create(effectsources::kCorpus);
    ASSERT_NE(e, nullptr);
    const std::string n = "#" + std::to_string(PlatformTest_D3dx9EffectNumber(e));
    PlatformTest_D3d9ClearCallLog();
    EXPECT_EQ(e->BeginPass(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->End(), D3D_OK);
    UINT passes = 0;
    EXPECT_EQ(e->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
    EXPECT_EQ(passes, 2u);
    EXPECT_EQ(e->Begin(nullptr, D3DXFX_DONOTSAVESTATE), D3D_OK);
    EXPECT_EQ(e->BeginPass(2), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->BeginPass(0), D3D_OK);
    EXPECT_EQ(e->EndPass(), D3D_OK);
    EXPECT_EQ(e->EndPass(), D3D_OK);
    EXPECT_EQ(e->End(), D3D_OK);
    EXPECT_EQ(Lines("EffectWarning"),
              (std::vector<std::string>{"EffectWarning(" + n + ", \"End without Begin\")",
                                        "EffectWarning(" + n + ", \"Begin while the effect is already begun\")",
                                        "EffectWarning(" + n + ", \"EndPass without BeginPass\")"}));
    // BeginPass bound the pass's shaders.
    const std::vector<std::string> vs = Lines("SetVertexShader");
    ASSERT_EQ(vs.size(), 1u);
    EXPECT_NE(vs[0], "SetVertexShader(null)");
    IDirect3DVertexShader9* bound = nullptr;
    ASSERT_EQ(device->GetVertexShader(&bound), D3D_OK);
    ASSERT_NE(bound, nullptr);
    bound->Release();
    e->Release();
}

TEST_F(EffectDevice, BeginSavesTheShadersAndEndRestoresThem) {
    Open();
    ID3DXEffect* e = Create(effectsources::kCorpus);
    ASSERT_NE(e, nullptr);
    PlatformTest_D3d9ClearCallLog();
    ASSERT_EQ(e->Begin(nullptr, 0), D3D_OK);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    ASSERT_EQ(e->EndPass(), D3D_OK);
    ASSERT_EQ(e->End(), D3D_OK);
    EXPECT_EQ(Lines("SetVertexShader").back(), "SetVertexShader(null)");
    EXPECT_EQ(Lines("SetPixelShader").back(), "SetPixelShader(null)");
    e->Release();
}

TEST_F(EffectDevice, PassesRecordSnapshotsAndCommitSendsOnlyChanges) {
    Open();
    ID3DXEffectPool* pool = nullptr;
    ASSERT_EQ(D3DXCreateEffectPool(&pool), D3D_OK);
    ID3DXEffect* a = Create(effectsources::kShared, pool);
    ID3DXEffect* b = Create(effectsources::kShared, pool);
    ASSERT_TRUE(a && b);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    const std::string tex = "#" + std::to_string(PlatformTest_D3d9ObjectNumber(texture));
    ASSERT_EQ(a->SetTexture("Tex", texture), D3D_OK);
    PlatformTest_D3d9ClearCallLog();
    PlatformTest_D3dx9ClearEffectPasses();

    ASSERT_EQ(a->Begin(nullptr, D3DXFX_DONOTSAVESTATE), D3D_OK);
    ASSERT_EQ(a->BeginPass(0), D3D_OK);
    const std::string na = "#" + std::to_string(PlatformTest_D3dx9EffectNumber(a));
    std::vector<std::string> lines = Lines("BeginPass");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "BeginPass(" + na +
                            ", \"T\", 0) {World=[0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]; Scale=2; Own=1; Tex=" +
                            tex + "}");
    // Nothing changed: a commit sends nothing.
    ASSERT_EQ(a->CommitChanges(), D3D_OK);
    EXPECT_TRUE(Lines("CommitChanges").empty());
    // SetFloat with the value held is no change; with another value it is.
    ASSERT_EQ(a->SetFloat("Own", 1), D3D_OK);
    ASSERT_EQ(a->CommitChanges(), D3D_OK);
    EXPECT_TRUE(Lines("CommitChanges").empty());
    ASSERT_EQ(a->SetFloat("Own", 3), D3D_OK);
    // A shared change through the other effect counts for this one; its own change does not.
    ASSERT_EQ(b->SetFloat("Scale", 4), D3D_OK);
    ASSERT_EQ(b->SetFloat("Own", 8), D3D_OK);
    ASSERT_EQ(a->CommitChanges(), D3D_OK);
    lines = Lines("CommitChanges");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "CommitChanges(" + na + ", \"T\", 0) {Scale=4; Own=3}");
    ASSERT_EQ(a->CommitChanges(), D3D_OK);
    EXPECT_EQ(Lines("CommitChanges").size(), 1u);
    // SetFloatArray with equal values marks a change.
    const float same = 4;
    ASSERT_EQ(a->SetFloatArray("Scale", &same, 1), D3D_OK);
    ASSERT_EQ(a->CommitChanges(), D3D_OK);
    EXPECT_EQ(Lines("CommitChanges").size(), 2u);
    ASSERT_EQ(a->EndPass(), D3D_OK);
    ASSERT_EQ(a->End(), D3D_OK);

    const std::vector<PlatformTestEffectPass> records = PlatformTest_D3dx9EffectPasses();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_FALSE(records[0].commit);
    EXPECT_EQ(records[0].technique, "T");
    EXPECT_EQ(records[0].pass, 0u);
    ASSERT_NE(records[0].Find("Tex"), nullptr);
    EXPECT_EQ(*records[0].Find("Tex"), tex);
    EXPECT_TRUE(records[1].commit);
    EXPECT_EQ(records[1].Find("Tex"), nullptr);
    EXPECT_EQ(*records[1].Find("Scale"), "4");
    EXPECT_EQ(*records[2].Find("Scale"), "4");
    a->Release();
    b->Release();
    texture->Release();
    pool->Release();
}

TEST_F(EffectDevice, AnUnsupportedPassBindsNoShader) {
    OpenWith(D3DVS_VERSION(2, 0), D3DPS_VERSION(1, 1));
    ID3DXEffect* e = Create(effectsources::kCorpus);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->SetTechnique("Modern"), D3D_OK);
    PlatformTest_D3d9ClearCallLog();
    ASSERT_EQ(e->Begin(nullptr, D3DXFX_DONOTSAVESTATE), D3D_OK);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    EXPECT_EQ(Lines("SetVertexShader"), std::vector<std::string>{"SetVertexShader(null)"});
    EXPECT_EQ(Lines("SetPixelShader"), std::vector<std::string>{"SetPixelShader(null)"});
    EXPECT_EQ(e->EndPass(), D3D_OK);
    EXPECT_EQ(e->End(), D3D_OK);
    e->Release();
}

TEST_F(EffectDevice, CloneCopiesValuesUnlessNotCloneable) {
    Open();
    ID3DXEffect* e = Create(effectsources::kShared);
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->SetFloat("Own", 6), D3D_OK);
    ID3DXEffect* clone = nullptr;
    EXPECT_EQ(e->CloneEffect(device, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(e->CloneEffect(device, &clone), D3D_OK);
    FLOAT f = 0;
    EXPECT_EQ(clone->GetFloat("Own", &f), D3D_OK);
    EXPECT_EQ(f, 6.0f);
    clone->Release();
    ASSERT_EQ(e->Begin(nullptr, 0), D3D_OK);
    EXPECT_EQ(e->CloneEffect(device, &clone), D3DERR_INVALIDCALL);
    e->End();
    e->Release();

    ID3DXEffect* fixed = nullptr;
    const std::string source = effectsources::kShared;
    ASSERT_EQ(D3DXCreateEffect(device, source.data(), static_cast<UINT>(source.size()), nullptr, nullptr,
                               D3DXFX_NOT_CLONEABLE, nullptr, &fixed, nullptr),
              D3D_OK);
    clone = reinterpret_cast<ID3DXEffect*>(1);
    EXPECT_EQ(fixed->CloneEffect(device, &clone), E_FAIL);
    EXPECT_EQ(clone, reinterpret_cast<ID3DXEffect*>(1));
    fixed->Release();
}

}  // namespace
