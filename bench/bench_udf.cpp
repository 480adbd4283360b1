// Loading 50 MB binary data-description documents, against memcpy of the same bytes.
// Two shapes: a model (few nodes, large vertex and index arrays) and camera paths
// (many 32-byte keys, where the cost per node dominates).
#include "Core/ArchiveStream.h"
#include "Core/Memory.h"
#include "Core/UdfBinaryTree.h"
#include "Core/UdfWriter.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr u32 kTarget = 50u << 20;

UdfNode* Value(const std::string& name, const char* type, const void* bytes, u32 n) {
    return new UdfNode(String(name.c_str()), String(type), const_cast<void*>(bytes), n, true);
}

UdfNode* Object(const std::string& name, const char* type) {
    UdfNode* node = new UdfNode(String(name.c_str()), String(type), nullptr, 0, false);
    node->SetKind(kUdfObject);
    return node;
}

void Own(UdfNode* parent, UdfNode* child) {
    parent->AddChild(child, false);
    child->SetParent(parent);
}

std::vector<u8> Written(UdfNode& root) {
    ArchiveStream out;
    out.Open(String(), kStreamWrite);
    UdfBinaryWriter writer;
    if (!writer.WriteRoot(&out, &root, nullptr)) return {};
    std::vector<u8> bytes(static_cast<std::size_t>(out.Size()));
    out.Seek(0, kSeekSet);
    out.Read(bytes.data(), static_cast<u32>(bytes.size()));
    return bytes;
}

const std::vector<u8>& ModelDocument() {
    static const std::vector<u8> bytes = [] {
        UdfNode root;
        std::vector<u8> vertices(96 * 1024, 0x3f);
        std::vector<u8> indices(24 * 1024, 0x01);
        UdfNode* material = Object("shared", "Material");
        Own(&root, material);
        const float colour[4] = {0.5f, 0.5f, 0.5f, 1.0f};
        Own(material, Value("diffuse", "color", colour, 16));
        u32 total = 0;
        for (u32 i = 0; total < kTarget; ++i) {
            UdfNode* mesh = Object("mesh" + std::to_string(i), "Mesh");
            Own(&root, mesh);
            Own(mesh, Value("name", "string", "a mesh", 6));
            Own(mesh, Value("vertices", "real", vertices.data(), static_cast<u32>(vertices.size())));
            Own(mesh, Value("indices", "int", indices.data(), static_cast<u32>(indices.size())));
            UdfNode* own = Object("material", "Material");
            Own(mesh, own);
            Own(own, Value("diffuse", "color", colour, 16));
            Own(own, Value("power", "real", colour, 4));
            mesh->AddChild(material, true);
            total += static_cast<u32>(vertices.size() + indices.size()) + 200;
        }
        return Written(root);
    }();
    return bytes;
}

const std::vector<u8>& PathDocument() {
    static const std::vector<u8> bytes = [] {
        UdfNode root;
        float key[8] = {0, 1, 2, 3, 4, 5, 6, 7};
        u32 total = 0;
        for (u32 p = 0; total < kTarget; ++p) {
            UdfNode* path = Object("path" + std::to_string(p), "CameraPath");
            Own(&root, path);
            for (u32 k = 0; k < 1000; ++k) {
                key[0] = static_cast<float>(k);
                Own(path, Value(std::to_string(k), "key", key, 32));
            }
            total += 1000 * (32 + 24);
        }
        return Written(root);
    }();
    return bytes;
}

const std::vector<u8>& Document(int which) { return which == 0 ? ModelDocument() : PathDocument(); }

void SetLabel(benchmark::State& state, const std::vector<u8>& doc) {
    state.SetBytesProcessed(static_cast<i64>(state.iterations()) * static_cast<i64>(doc.size()));
    state.SetLabel(std::string(state.range(0) == 0 ? "model" : "camera paths") + ", " +
                   std::to_string(doc.size() >> 20) + " MB");
}

void BM_UdfMemcpyCeiling(benchmark::State& state) {
    const std::vector<u8>& doc = Document(static_cast<int>(state.range(0)));
    std::unique_ptr<u8[]> copy(new u8[doc.size()]);
    for (auto _ : state) {
        std::memcpy(copy.get(), doc.data(), doc.size());
        benchmark::DoNotOptimize(copy.get());
        benchmark::ClobberMemory();
    }
    SetLabel(state, doc);
}

// Opens the document and loads it with the mode; the tree is freed outside the timing.
void Load(benchmark::State& state, u32 mode) {
    const std::vector<u8>& doc = Document(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ArchiveStream stream;
        stream.Open(String(), kStreamRead);
        stream.BorrowBytes(doc.data(), static_cast<u32>(doc.size()));
        auto reader = std::make_unique<UdfBinaryTree>();
        UdfNode* root = reader->Open(&stream);
        if (!root || !root->Load(mode, 0)) state.SkipWithError("load failed");
        state.PauseTiming();
        reader.reset();
        state.ResumeTiming();
    }
    SetLabel(state, doc);
}

// Mode 0: every node, every value by its own read.
void BM_UdfLoadEager(benchmark::State& state) { Load(state, 0); }
// One read of the whole document; every block and value points into it.
void BM_UdfLoadBlock(benchmark::State& state) {
    Load(state, kUdfLoadBlock | kUdfLoadKeepBytes | kUdfLoadPointIntoParent);
}

// Lazy use: open, read the root's table only, then load one child's subtree.
void BM_UdfLoadLazyOneChild(benchmark::State& state) {
    const std::vector<u8>& doc = Document(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ArchiveStream stream;
        stream.Open(String(), kStreamRead);
        stream.BorrowBytes(doc.data(), static_cast<u32>(doc.size()));
        UdfBinaryTree reader;
        UdfNode* root = reader.Open(&stream);
        if (!root || !root->Load(kUdfLoadNodeOnly, 0)) state.SkipWithError("load failed");
        UdfNode* child = root->Children().first->prev->value;
        if (!child->Load(0, 0)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(child);
    }
    state.SetLabel(state.range(0) == 0 ? "model" : "camera paths");
}

BENCHMARK(BM_UdfMemcpyCeiling)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UdfLoadEager)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UdfLoadBlock)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UdfLoadLazyOneChild)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
