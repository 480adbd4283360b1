// The render queue against the reference device: occlusion queries issued around the
// items that ask for them, in the opaque and the transparent run, and the debug box drawn
// into depth only for an item without a drawable, read from the call log.
// The drawables mark their draws with an ambient state of their own number, so the log
// shows what was drawn between a query's begin and end.
#include "PlatformD3d9Support.h"

#include "Effect/DrawItem.h"
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/OcclusionQuery.h"
#include "D3d/StateCache.h"
#include "Effect/DebugBox.h"
#include "Effect/Material.h"
#include "Effect/RenderQueue.h"
#include "Effect/SceneCamera.h"

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

class RenderQueueDevice : public ::testing::Test {
protected:
    void SetUp() override {
        platformd3d9::ResetPlatform();
        if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false))
            GTEST_SKIP() << "no windowed reference device";
        device = TheDevice();
        StateCache::InvalidateAll();
        TheDebugBox().Reset();
        PlatformTest_D3d9ClearCallLog();
    }
    void TearDown() override {
        queue.Clear();
        queries.clear();
        TheDebugBox().Reset();
        StateCache::InvalidateAll();
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

    Application app;  // first in, last out: the device objects below leave it first
    IDirect3DDevice9* device = nullptr;
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

namespace {

// The calls from the query's begin to its end, the begin and end by their flags only.
Calls BoxCalls() {
    Calls out;
    bool inside = false;
    for (const std::string& call : PlatformTest_D3d9CallLog()) {
        const bool issue = call.rfind("Issue(", 0) == 0;
        if (issue) {
            out.push_back(call.substr(call.rfind(' ') + 1));
            inside = !inside;
            continue;
        }
        if (inside && (call.rfind("SetRenderState(168,", 0) == 0 || call.rfind("DrawPrimitive(", 0) == 0))
            out.push_back(call);
    }
    return out;
}

}  // namespace

TEST_F(RenderQueueDevice, AnItemWithoutDrawableDrawsTheBoxIntoDepthOnlyInsideItsQuery) {
    ASSERT_TRUE(StateCache::SetRenderState(D3DRS_COLORWRITEENABLE, 0x7));
    PlatformTest_D3d9ClearCallLog();
    RenderItem* probe = Item(0, nullptr, 0.0f, true);
    probe->drawable = nullptr;
    probe->context.box = Box{1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f};
    queue.Submit(probe);
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(BoxCalls(), (Calls{"0x2)", "SetRenderState(168, 0)", "DrawPrimitive(4, 0, 12)",
                                 "SetRenderState(168, 7)", "0x1)"}));
    DWORD colorWrites = 0;
    ASSERT_TRUE(PlatformTest_D3d9RenderState(device, D3DRS_COLORWRITEENABLE, &colorWrites));
    EXPECT_EQ(colorWrites, 0x7u);
    // The unit box scaled by the item's box and moved onto its centre.
    D3DMATRIX world{};
    ASSERT_TRUE(PlatformTest_D3d9Transform(device, D3DTS_WORLD, &world));
    EXPECT_EQ(world._11, 4.0f);
    EXPECT_EQ(world._22, 5.0f);
    EXPECT_EQ(world._33, 6.0f);
    EXPECT_EQ(world._41, 1.0f);
    EXPECT_EQ(world._42, 2.0f);
    EXPECT_EQ(world._43, 3.0f);
    EXPECT_EQ(TheDebugBox().GetMaterial().context, nullptr);
}

TEST_F(RenderQueueDevice, TheBoxIsSeenThroughTheQueuesCamera) {
    SceneCamera camera;
    camera.SetEye(0.0f, 0.0f, -10.0f);
    camera.SetPerspective(2.0f, 500.0f, 1.0f, 1.5f);
    RenderQueue viewed(&camera);
    RenderItem* probe = Item(0, nullptr, 0.0f, true);
    probe->drawable = nullptr;
    viewed.Submit(probe);
    EXPECT_TRUE(viewed.Draw());
    const Matrix expectedView = camera.GetView();
    const Matrix expectedProjection = camera.GetProjection();
    D3DMATRIX view{};
    D3DMATRIX projection{};
    ASSERT_TRUE(PlatformTest_D3d9Transform(device, D3DTS_VIEW, &view));
    ASSERT_TRUE(PlatformTest_D3d9Transform(device, D3DTS_PROJECTION, &projection));
    EXPECT_EQ(memcmp(&view, expectedView.m, sizeof view), 0);
    EXPECT_EQ(memcmp(&projection, expectedProjection.m, sizeof projection), 0);
    EXPECT_EQ(view._43, 10.0f);  // the eye ten units behind the origin
    viewed.Clear();
}

TEST_F(RenderQueueDevice, TheBoxGeometryIsMadeOnceAndHoldsThirtySixWhiteVertices) {
    ASSERT_TRUE(TheDebugBox().EnsureGeometry());
    GeometryRef geometry = TheDebugBox().Mesh().GetGeometry();
    ASSERT_TRUE(geometry);
    EXPECT_TRUE(TheDebugBox().EnsureGeometry());
    EXPECT_EQ(TheDebugBox().Mesh().GetGeometry().Get(), geometry.Get());
    EXPECT_EQ(geometry->layout.GetFVF(0), u32(D3DFVF_XYZ | D3DFVF_DIFFUSE));
    IDirect3DVertexBuffer9* buffer = geometry->GetVertexBuffer(0)->GetVertexBuffer();
    ASSERT_NE(buffer, nullptr);
    D3DVERTEXBUFFER_DESC desc{};
    ASSERT_EQ(buffer->GetDesc(&desc), D3D_OK);
    ASSERT_EQ(desc.Size, 36u * sizeof(DebugBox::Vertex));
    void* bytes = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &bytes, D3DLOCK_READONLY), D3D_OK);
    DebugBox::Vertex expected[DebugBox::kVertexCount];
    DebugBox::FillVertices(expected);
    EXPECT_EQ(memcmp(bytes, expected, sizeof expected), 0);
    buffer->Unlock();
}

TEST_F(RenderQueueDevice, ALostBufferIsWrittenAgainByTheBox) {
    ASSERT_TRUE(TheDebugBox().EnsureGeometry());
    SharedBuffer* shared = TheDebugBox().Mesh().GetGeometry()->GetVertexBuffer(0);
    ASSERT_TRUE(shared->Invalidate());
    ASSERT_TRUE(shared->Restore());
    void* bytes = nullptr;
    IDirect3DVertexBuffer9* buffer = shared->GetVertexBuffer();
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(buffer->Lock(0, 0, &bytes, D3DLOCK_READONLY), D3D_OK);
    DebugBox::Vertex expected[DebugBox::kVertexCount];
    DebugBox::FillVertices(expected);
    EXPECT_EQ(memcmp(bytes, expected, sizeof expected), 0);
    buffer->Unlock();
}
