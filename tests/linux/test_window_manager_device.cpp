// The window manager's drawing on the reference device: which quad meshes reach the
// device, in which order (read from the call log, each mesh known by its vertex buffer),
// the shared opaque meshes, and meshes given back after their window changed roots.
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/FrameSequence.h"
#include "D3d/Geometry.h"
#include "D3d/GeometryBuffer.h"
#include "D3d/GeometryCache.h"
#include "D3d/StateCache.h"
#include "Effect/LightSet.h"
#include "Effect/Material.h"
#include "Effect/MeshObject.h"
#include "Effect/RenderContext.h"
#include "Gui/Window.h"
#include "Gui/WindowManager.h"
#include "tests/linux/PlatformD3d9Support.h"
#include "tests/linux/WindowDeviceSupport.h"

#include <PlatformTestD3d9.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

constexpr u32 kQuadFVF = 324;  // XYZRHW | DIFFUSE | TEX1
constexpr u32 kQuadStride = 28;

class WindowManagerDevice : public WindowDeviceTest {
protected:
    RenderContext context;

    static GeometryDesc QuadDesc() {
        VertexDeclaration layout;
        EXPECT_TRUE(layout.SetFVF(kQuadFVF));
        FrameSequence data;
        EXPECT_TRUE(data.vertices.Reserve(6, layout));
        GeometryDesc desc;
        desc.Setup(data, nullptr, false, false);
        return desc;
    }
    // A two-triangle quad of the window with the material, its "z" and, when given, its
    // "NoAlphaCombine".
    MeshObject* Quad(Window& window, Material& material, i32 z, i32 noAlpha = -1) {
        MeshObject* mesh = wm.AddMesh(&window, QuadDesc(), &material);
        EXPECT_NE(mesh, nullptr);
        if (!mesh) return nullptr;
        EXPECT_NE(mesh->GetGeometry()->GetVertexBuffer(0)->AllocateRange(6 * kQuadStride, 0, nullptr), nullptr);
        mesh->properties.children.SetInt(String("z"), z);
        if (noAlpha >= 0) mesh->properties.children.SetInt(String("NoAlphaCombine"), noAlpha);
        return mesh;
    }
    Material Transparent() {
        Material material;
        material.context = &context;
        material.layers[0].vertexAlpha = 1;
        return material;
    }
    Material Opaque() {
        Material material;
        material.context = &context;
        return material;
    }
    static unsigned BufferOf(MeshObject* mesh) {
        return PlatformTest_D3d9ObjectNumber(mesh->GetGeometry()->GetVertexBuffer(0)->GetVertexBuffer());
    }
    // The vertex buffer each draw of one Draw call read, in order.
    std::vector<unsigned> DrawOrder(bool* result = nullptr) {
        StateCache::InvalidateAll();
        PlatformTest_D3d9ClearCallLog();
        const bool ok = wm.Draw();
        if (result) *result = ok;
        std::vector<unsigned> order;
        unsigned bound = 0;
        for (const std::string& call : PlatformTest_D3d9CallLog()) {
            if (call.rfind("SetStreamSource(0, #", 0) == 0) bound = static_cast<unsigned>(std::stoul(call.substr(20)));
            if (call.rfind("DrawPrimitive(", 0) == 0 || call.rfind("DrawIndexedPrimitive(", 0) == 0)
                order.push_back(bound);
        }
        return order;
    }
    static std::vector<unsigned> Buffers(std::initializer_list<MeshObject*> meshes) {
        std::vector<unsigned> out;
        for (MeshObject* mesh : meshes) out.push_back(BufferOf(mesh));
        return out;
    }
};

}  // namespace

TEST_F(WindowManagerDevice, EqualZKeepsOrderAndTheSecondPassReverses) {
    Window root;
    root.SetRect({0, 0, 100, 100});
    root.Show();
    Material material = Transparent();
    MeshObject* m1 = Quad(root, material, 1);
    MeshObject* m2 = Quad(root, material, 0);
    MeshObject* m3 = Quad(root, material, 0, 0);  // NoAlphaCombine 0: the first pass
    MeshObject* m4 = Quad(root, material, 0, 1);
    MeshObject* m5 = Quad(root, material, 0, 1);
    MeshObject* m6 = Quad(root, material, 2);
    ASSERT_TRUE(m1 && m2 && m3 && m4 && m5 && m6);
    const std::vector<unsigned> expected = Buffers({m2, m3, m1, m6, m5, m4});
    bool ok = false;
    EXPECT_EQ(DrawOrder(&ok), expected);
    EXPECT_TRUE(ok);
    // The order reached persists; a second frame draws the same.
    EXPECT_EQ(DrawOrder(), expected);
    EXPECT_EQ(wm.TransparentMeshes(&root), (std::vector<MeshObject*>{m2, m3, m4, m5, m1, m6}));
    for (MeshObject* m : {m1, m2, m3, m4, m5, m6}) wm.RemoveMesh(&root, m);
}

TEST_F(WindowManagerDevice, PassesWalkTheTopLevelWindowsInOppositeOrdersSkippingThoseWithoutMeshes) {
    Window a, b, c;
    for (Window* w : {&a, &b, &c}) {
        w->SetRect({0, 0, 10, 10});
        w->Show();
    }
    ASSERT_EQ(wm.Count(), 3u);
    Material material = Transparent();
    // Every window but the middle one gets a first-pass and a second-pass quad.
    std::vector<Window*> nearToFar;
    for (Window* w = wm.First(); w; w = wm.Next(w)) nearToFar.push_back(w);
    Window* nearest = nearToFar[0];
    Window* middle = nearToFar[1];
    Window* farthest = nearToFar[2];
    MeshObject* nearFirst = Quad(*nearest, material, 0);
    MeshObject* nearSecond = Quad(*nearest, material, 0, 1);
    MeshObject* farFirst = Quad(*farthest, material, 0);
    MeshObject* farSecond = Quad(*farthest, material, 0, 1);
    EXPECT_TRUE(wm.TransparentMeshes(middle).empty());
    EXPECT_EQ(DrawOrder(), Buffers({farFirst, nearFirst, nearSecond, farSecond}));
}

TEST_F(WindowManagerDevice, OpaqueQuadsWithEqualMaterialsAndLayoutsShareOneMeshDrawnFirst) {
    Window a, b;
    a.Show();
    b.Show();
    Material ma = Opaque(), mb = Opaque(), transparent = Transparent();
    MeshObject* sharedA = Quad(a, ma, 0);
    MeshObject* sharedB = wm.AddMesh(&b, QuadDesc(), &mb);
    EXPECT_EQ(sharedA, sharedB);
    EXPECT_EQ(wm.Cache().Count(), 1u);
    MeshObject* glass = Quad(a, transparent, 0);
    Material red = Opaque();
    red.layers[0].lit = 1;
    ASSERT_FALSE(red.Equals(ma));
    MeshObject* other = Quad(b, red, 0);
    EXPECT_NE(other, sharedA);
    EXPECT_EQ(wm.Cache().Count(), 2u);
    EXPECT_EQ(DrawOrder(), Buffers({sharedA, other, glass}));
    // Giving one back keeps the mesh for the other window.
    const int buffers = PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer);
    wm.RemoveMesh(&a, sharedA);
    EXPECT_TRUE(wm.Cache().Contains(sharedA));
    EXPECT_EQ(DrawOrder(), Buffers({sharedA, other, glass}));
    wm.RemoveMesh(&b, sharedB);
    EXPECT_FALSE(wm.Cache().Contains(sharedA));
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer), buffers - 1);
    wm.RemoveMesh(&b, other);
    wm.RemoveMesh(&a, glass);
    EXPECT_TRUE(DrawOrder().empty());
    EXPECT_EQ(wm.Cache().Count(), 0u);
    EXPECT_TRUE(wm.TransparentMeshes(&a).empty());
}

TEST_F(WindowManagerDevice, ASharedMeshOutlivesTheMaterialOfTheWindowThatMadeIt) {
    Window a, b;
    auto first = std::make_unique<Material>(Opaque());
    Material second = Opaque();
    MeshObject* mesh = Quad(a, *first, 0);
    ASSERT_EQ(wm.AddMesh(&b, QuadDesc(), &second), mesh);
    // The first window goes away with its material; the mesh stays for the second and
    // must not draw with the dead material (AddressSanitizer would see it).
    wm.RemoveMesh(&a, mesh);
    first.reset();
    bool ok = false;
    EXPECT_EQ(DrawOrder(&ok), Buffers({mesh}));
    EXPECT_TRUE(ok);
    wm.RemoveMesh(&b, mesh);
    EXPECT_EQ(wm.Cache().Count(), 0u);
}

TEST_F(WindowManagerDevice, AMeshIsFoundAfterItsWindowMovedToAnotherRoot) {
    Window oldRoot, newRoot, child;
    oldRoot.Show();
    newRoot.Show();
    oldRoot.AddChild(&child, true);
    Material material = Transparent();
    MeshObject* mesh = Quad(child, material, 0);
    ASSERT_EQ(wm.TransparentMeshes(&oldRoot), (std::vector<MeshObject*>{mesh}));
    newRoot.AddChild(&child, true);
    ASSERT_EQ(child.GetRoot(), &newRoot);
    const int buffers = PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer);
    wm.RemoveMesh(&child, mesh);
    EXPECT_TRUE(wm.TransparentMeshes(&oldRoot).empty());
    EXPECT_TRUE(DrawOrder().empty());
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer), buffers - 1);
    wm.RemoveMesh(&child, nullptr);  // nothing
}

TEST_F(WindowManagerDevice, QuadsArePretransformedVerticesWithThePerspectiveOfTheManager) {
    Window root;
    root.Show();
    Material material = Transparent();
    MeshObject* mesh = Quad(root, material, 0);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetGeometryDesc().layout.GetFVF(0), kQuadFVF);
    const Matrix& projection = context.projection;
    EXPECT_EQ(projection.valid, 1u);
    EXPECT_EQ(projection.kind, 0u);
    EXPECT_FLOAT_EQ(projection.m[0], 1.0f / std::tan(1.5707964f / 2.0f));
    EXPECT_FLOAT_EQ(projection.m[10], 1000.0f / 999.0f);
    EXPECT_FLOAT_EQ(projection.m[11], 1.0f);
    EXPECT_FLOAT_EQ(projection.m[14], -1000.0f / 999.0f);
    StateCache::InvalidateAll();
    PlatformTest_D3d9ClearCallLog();
    EXPECT_TRUE(wm.Draw());
    const Calls log = PlatformTest_D3d9CallLog();
    const std::string source = "SetStreamSource(0, #" + std::to_string(BufferOf(mesh)) + ", 0, 28)";
    size_t sourceAt = log.size(), drawAt = log.size();
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i] == source) sourceAt = i;
        if (log[i] == "DrawPrimitive(4, 0, 2)") drawAt = i;
    }
    ASSERT_LT(sourceAt, log.size());
    ASSERT_LT(drawAt, log.size());
    EXPECT_LT(sourceAt, drawAt);
    wm.RemoveMesh(&root, mesh);
}

TEST_F(WindowManagerDevice, AMeshWhoseGeometryFailsIsNotFiled) {
    Window root;
    root.Show();
    Material transparent = Transparent(), opaque = Opaque();
    PlatformTest_D3d9FailCall("CreateVertexBuffer", 1, E_OUTOFMEMORY);
    EXPECT_EQ(wm.AddMesh(&root, QuadDesc(), &transparent), nullptr);
    EXPECT_TRUE(wm.TransparentMeshes(&root).empty());
    PlatformTest_D3d9FailCall("CreateVertexBuffer", 1, E_OUTOFMEMORY);
    EXPECT_EQ(wm.AddMesh(&root, QuadDesc(), &opaque), nullptr);
    EXPECT_EQ(wm.Cache().Count(), 0u);
    EXPECT_EQ(wm.AddMesh(nullptr, QuadDesc(), &opaque), nullptr);
    EXPECT_EQ(wm.AddMesh(&root, QuadDesc(), nullptr), nullptr);
}

TEST_F(WindowManagerDevice, AFailedDrawMakesDrawFalseAndTheRestIsStillDrawn) {
    Window root;
    root.Show();
    Material material = Transparent();
    MeshObject* a = Quad(root, material, 0);
    MeshObject* b = Quad(root, material, 1);
    PlatformTest_D3d9FailCall("DrawPrimitive", 1, D3DERR_INVALIDCALL);
    bool ok = true;
    const std::vector<unsigned> order = DrawOrder(&ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(order, Buffers({a, b}));
    EXPECT_TRUE(wm.Draw());
    wm.RemoveMesh(&root, a);
    wm.RemoveMesh(&root, b);
}
