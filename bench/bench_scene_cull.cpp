// The culling pass over 10,000 scene nodes on the reference device: 100 groups of 99 mesh
// nodes spread around the camera, so that whole groups are rejected, some lie wholly
// inside the frustum and the rest are tested node by node. With a queue the pass files
// the visible meshes and the queue draws them; without one the pass draws each at once.
// Every node is moved each frame, so the world refresh runs under every group.
//
// Reported per run: nodes per second (the pass and the draws), and device calls per node
// (the call log of one recorded frame).
#include "D3d/Application.h"
#include "D3d/StateCache.h"
#include "Effect/DebugBox.h"
#include "Effect/Material.h"
#include "Effect/MeshObject.h"
#include "Effect/RenderQueue.h"
#include "Scene/Hierarchy.h"
#include "Scene/RenderView.h"

#include <PlatformTestD3d9.h>
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

namespace {

constexpr int kGroups = 100;
constexpr int kPerGroup = 99;
constexpr int kNodes = 1 + kGroups * (1 + kPerGroup);

struct Scene {
    Application app;
    bool ready = false;
    std::unique_ptr<Hierarchy> root;
    RenderView view;

    Scene() {
        if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false)) return;
        StateCache::InvalidateAll();
        TheDebugBox().Reset();
        if (!TheDebugBox().EnsureGeometry()) return;
        root = std::make_unique<Hierarchy>();
        root->name = String("Root");
        std::mt19937 rng(19);
        std::uniform_real_distribution<f32> around(-200.0f, 200.0f);
        std::uniform_real_distribution<f32> spread(-5.0f, 5.0f);
        for (int g = 0; g < kGroups; ++g) {
            Hierarchy* group = new Hierarchy;
            group->name = String(("G" + std::to_string(g)).c_str());
            group->GetTransform(true).SetPosition(around(rng), spread(rng), around(rng));
            for (int i = 0; i < kPerGroup; ++i) {
                Hierarchy* node = new Hierarchy;
                node->name = String(("N" + std::to_string(i)).c_str());
                node->GetTransform(true).SetPosition(spread(rng), spread(rng), spread(rng));
                node->SetObject(TheDebugBox().Mesh().Clone());
                node->cullOptions = kCullExplicitBounds;
                node->explicitBounds = Box{0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f};
                group->AddChild(node);
            }
            root->AddChild(group);
        }
        view.camera.SetPerspective(1.0f, 1000.0f, 1.0f, 1.0f);
        view.camera.SetView(Vec3(0, 0, 0), Vec3(0, 0, 1), Vec3(0, 1, 0));
        ready = true;
    }
    ~Scene() {
        root.reset();
        TheDebugBox().Reset();
        StateCache::InvalidateAll();
    }

    void Frame(RenderQueue* queue) {
        view.queue = queue;
        root->GetTransform(true);  // moved: the refresh runs under every node
        CullSceneNodes(root.get(), view);
        if (queue) {
            queue->Draw();
            queue->Clear();
        }
    }
};

void CullSceneNodesFrame(benchmark::State& state) {
    const bool queued = state.range(0) != 0;
    Scene scene;
    if (!scene.ready) {
        state.SkipWithError("no reference device");
        return;
    }
    RenderQueue queue(&scene.view.camera);
    RenderQueue* used = queued ? &queue : nullptr;

    PlatformTest_D3d9SetRecording(true);
    PlatformTest_D3d9ClearCallLog();
    scene.Frame(used);
    const double calls = double(PlatformTest_D3d9CallLog().size());
    PlatformTest_D3d9SetRecording(false);

    for (auto _ : state) scene.Frame(used);
    state.SetItemsProcessed(state.iterations() * kNodes);
    state.counters["device_calls_per_node"] = calls / kNodes;
    PlatformTest_D3d9SetRecording(true);
}

}  // namespace

BENCHMARK(CullSceneNodesFrame)->Arg(0)->Arg(1)->ArgName("queued")->Unit(benchmark::kMillisecond);
