// One frame of window drawing: WindowManager::Draw over 100 shown top-level windows on the
// reference device with recording off (the calls of one frame are counted from the log
// after the timed loop). Every window has two transparent quads (one drawn in
// the second pass) and every tenth also an opaque one, shared among them through the mesh
// cache. The counters report device draw calls per frame next to the CPU time. The four
// rich-text windows of the saver's overlays are plain windows with quads here.
#include "D3d/Application.h"
#include "D3d/FrameSequence.h"
#include "D3d/Geometry.h"
#include "D3d/GeometryBuffer.h"
#include "Effect/Material.h"
#include "Effect/MeshObject.h"
#include "Effect/RenderContext.h"
#include "Gui/Window.h"
#include "Gui/WindowManager.h"

#include <PlatformTestD3d9.h>
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

GeometryDesc QuadDesc() {
    VertexDeclaration layout;
    layout.SetFVF(324);  // XYZRHW | DIFFUSE | TEX1
    FrameSequence data;
    data.vertices.Reserve(6, layout);
    GeometryDesc desc;
    desc.Setup(data, nullptr, false, false);
    return desc;
}

void BM_WindowManagerDraw(benchmark::State& state) {
    Application app;
    if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false)) {
        state.SkipWithError("no reference device");
        return;
    }
    PlatformTest_D3d9SetRecording(false);
    WindowManager& wm = TheWindowManager();
    wm.Reset();
    RenderContext context;
    Material transparent;
    transparent.context = &context;
    transparent.layers[0].vertexAlpha = 1;
    Material opaque;
    opaque.context = &context;
    const i32 windowCount = static_cast<i32>(state.range(0));
    std::vector<std::unique_ptr<Window>> windows;
    std::vector<std::pair<Window*, MeshObject*>> meshes;
    const GeometryDesc desc = QuadDesc();
    for (i32 i = 0; i < windowCount; ++i) {
        auto window = std::make_unique<Window>();
        window->SetRect(IntRect(i * 3, i * 2, 100, 40));
        window->Show();
        for (i32 q = 0; q < 2; ++q) {
            MeshObject* mesh = wm.AddMesh(window.get(), desc, &transparent);
            if (!mesh) continue;
            mesh->GetGeometry()->GetVertexBuffer(0)->AllocateRange(6 * 28, 0, nullptr);
            mesh->properties.children.SetInt(String("z"), (i * 7 + q) % 5);
            if (q == 1) mesh->properties.children.SetInt(String("NoAlphaCombine"), 1);
            meshes.push_back({window.get(), mesh});
        }
        if (i % 10 == 0) {
            MeshObject* mesh = wm.AddMesh(window.get(), desc, &opaque);
            if (mesh && i == 0) mesh->GetGeometry()->GetVertexBuffer(0)->AllocateRange(6 * 28, 0, nullptr);
            if (mesh) meshes.push_back({window.get(), mesh});
        }
        windows.push_back(std::move(window));
    }
    const size_t drawsBefore = PlatformTest_D3d9DrawCount();
    for (auto _ : state) benchmark::DoNotOptimize(wm.Draw());
    state.counters["device_draws_per_frame"] =
        static_cast<double>(PlatformTest_D3d9DrawCount() - drawsBefore) / static_cast<double>(state.iterations());
    // Every device call of one more frame, state changes included, from the call log.
    PlatformTest_D3d9SetRecording(true);
    PlatformTest_D3d9ClearCallLog();
    wm.Draw();
    state.counters["device_calls_per_frame"] = static_cast<double>(PlatformTest_D3d9CallLog().size());
    for (auto& [window, mesh] : meshes) wm.RemoveMesh(window, mesh);
    windows.clear();
    wm.Reset();
    PlatformTest_D3d9SetRecording(true);
}
BENCHMARK(BM_WindowManagerDraw)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace
