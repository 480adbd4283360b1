// The render queue against the reference device: occlusion queries issued around the
// items that ask for them, in the opaque and the transparent run,, read from the call
// log.
// The drawables mark their draws with an ambient state of their own number, so the log
// shows what was drawn between a query's begin and end.
#include "PlatformD3d9Support.h"

#include "Core/DrawItem.h"
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "Effect/Material.h"
#include "Effect/RenderQueue.h"
#include "Scene/OcclusionQuery.h"

#include <memory>
#include <string.h>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

class MarkingDrawable : public DrawItem {
public:
    explicit MarkingDrawable(DWORD mark_) : mark(mark_) {}
    bool Draw(Material*) override { return SUCCEEDED(TheDevice()->SetRenderState(D3DRS_AMBIENT, mark)); }
    DWORD mark;
};

std::string Mark(DWORD mark) { return "SetRenderState(139, " + std::to_string(mark) + ")"; }

// The query issues (by their flags: 0x2 begin, 0x1 end) and the draw marks, in order.
Calls QueryCalls() {
    Calls out;
    for (const std::string& call : PlatformTest_D3d9CallLog()) {
        if (call.rfind("Issue(", 0) == 0)
            out.push_back(call.substr(call.rfind(' ') + 1));
        else if (call.rfind("SetRenderState(139,", 0) == 0)
            out.push_back(call);
    }
    return out;
}

class RenderQueueDevice : public platformd3d9::ReferenceD3d9 {
protected:
    void SetUp() override {
        ReferenceD3d9::SetUp();
        Open();
        PublishDevice(device);
        StateCache::InvalidateAll();
        PlatformTest_D3d9ClearCallLog();
    }
    void TearDown() override {
        queue.Clear();
        queries.clear();
        StateCache::InvalidateAll();
        PublishDevice(nullptr);
        ReferenceD3d9::TearDown();
    }
    RenderItem* Item(DWORD mark, Material* material, f32 x, bool occlusion) {
        auto* item = new RenderItem;
        drawables.push_back(std::make_unique<MarkingDrawable>(mark));
        item->drawable = drawables.back().get();
        item->material = material;
        item->context.box = Box{x, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f};
        if (occlusion) {
            queries.push_back(std::make_unique<OcclusionQuery>());
            item->occlusion = 1;
            item->query = queries.back().get();
        }
        return item;
    }

    std::vector<std::unique_ptr<MarkingDrawable>> drawables;
    std::vector<std::unique_ptr<OcclusionQuery>> queries;
    RenderQueue queue;
};

}  // namespace

TEST_F(RenderQueueDevice, OcclusionItemsAreDrawnInsideTheirQueries) {
    Material wall;
    Material glass;
    glass.layers[0].blendEnabled = 1;
    queue.Submit(Item(1, &wall, 1.0f, false));
    queue.Submit(Item(2, &wall, 5.0f, true));
    queue.Submit(Item(3, &glass, 3.0f, true));
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(QueryCalls(), (Calls{Mark(1), "0x2)", Mark(2), "0x1)", "0x2)", Mark(3), "0x1)"}));
    EXPECT_EQ(queries[0]->state, u32(OcclusionQuery::kEnded));
    EXPECT_EQ(queries[1]->state, u32(OcclusionQuery::kEnded));
}

TEST_F(RenderQueueDevice, AQueryThatCannotBeginIsNotEndedAndTheItemIsStillDrawn) {
    Material wall;
    queue.Submit(Item(4, &wall, 1.0f, true));
    PlatformTest_D3d9FailCall("CreateQuery", 1, E_OUTOFMEMORY);
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(QueryCalls(), (Calls{Mark(4)}));
    EXPECT_EQ(queries[0]->state, u32(OcclusionQuery::kIdle));
}

