// The program-wide root of the window system. It stacks the top-level windows in the band
// of layers 1 to 10000, emits the frame signal windows connect their redraws to, owns and
// draws every quad mesh windows make, keeps the focus window, and turns each input event
// into window events that it routes by hit test and focus.
//
// Drawing: the shared opaque meshes first, then the transparent ones of each top-level
// window in two passes. Pass 1 goes from the farthest window to the nearest and draws each
// window's meshes in ascending "z", leaving out those marked "NoAlphaCombine"; pass 2 goes
// back from the nearest to the farthest and draws only those, in descending "z". A sort
// that keeps equal "z" in their order, and whose order persists to the next frame, keeps
// quads of one height from flickering.
//
// Input: the manager is the input device's first listener. Every window event it makes is
// queued as {event, window} while it is routed down the tree at once (a parent before its
// children), and the queue is drained at the end of the input event, so handlers run in a
// known order after routing has settled.
#pragma once

#include "Core/Types.h"
#include "D3d/EventReceiver.h"
#include "Gui/LayerList.h"
#include "Gui/MeshCache.h"
#include "Gui/Signal.h"
#include "Gui/WindowEvent.h"

#include <deque>
#include <unordered_map>
#include <vector>

class Material;
class MeshObject;
class Window;
struct GeometryDesc;

class WindowManager : public LayerList, public EventReceiver {
public:
    static constexpr i32 kTopLayer = 10000;
    static constexpr i32 kBottomLayer = 1;

    WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;
    ~WindowManager() override;

    // The depth-buffer value of a layer under the manager's near and far planes: 0 for
    // layer 1, 1 for layer 10000, growing with the layer and crowding towards 1.
    f32 LayerDepth(i32 layer) const;

    // The mesh that draws one quad of the window with the material: a mesh of the window's
    // top-level window when the material is transparent, else a shared opaque mesh. The
    // material's context gets the manager's projection. Null when the geometry cannot be
    // made, or without a window or material.
    MeshObject* AddMesh(Window* window, const GeometryDesc& desc, Material* material);
    // The description windows give AddMesh: a triangle list in one dynamic, write-only
    // vertex buffer of the default pool, `bytes` long, of the fixed-function layout fvf.
    // False when fvf names no layout.
    static bool DynamicTriangles(GeometryDesc& desc, u32 fvf, u32 stride, u32 bytes);
    // Gives back a mesh from AddMesh. Also finds the mesh when the window was moved under
    // another top-level window since it was made. Nothing for null.
    void RemoveMesh(Window* window, MeshObject* mesh);

    // Emits the frame signal and draws every window mesh; true when every draw succeeded.
    bool Draw();

    // Moves the focus: code 2 to the old focus window, code 1 to the new one, delivered at
    // the next drain. Nothing when the window already has it.
    void SetFocus(Window* window);
    Window* GetFocus() const { return focus_; }
    // Clears the focus without events when the window holds it (a window that lost the
    // focus on its own has told itself already).
    void DropFocus(Window* window) {
        if (focus_ == window) focus_ = nullptr;
    }

    // Queues the event for the window and routes it into the window's subtree.
    void PostEvent(Window* window, const WindowEvent& event);
    // Delivers the queued events in order, also those queued while delivering.
    void DispatchQueued();
    u32 QueuedCount() const { return static_cast<u32>(queue_.size()); }

    // One input event from the input device.
    void RecieveEvent(EVENT event) override;

    // Windows connect their frame handlers here.
    Signal& FrameSignal() { return frameSignal_; }

    // The window is going away: its queued events are dropped, the focus leaves it, and its
    // transparent-mesh entry (when it is a top-level window) is forgotten.
    void Forget(Window* window);

    // The material of a transparent mesh of the window's top-level window, or null.
    Material* TransparentMaterial(Window* root, const MeshObject* mesh) const;
    // The transparent meshes of a top-level window in their current order.
    std::vector<MeshObject*> TransparentMeshes(Window* root) const;
    MeshCache& Cache() { return cache_; }
    f32 Near() const { return near_; }
    f32 Far() const { return far_; }

    // Back to the state after construction: no focus, nothing queued, no meshes (all
    // deleted), no frame connections. Windows still linked stay linked.
    void Reset();

    // Orders two meshes by their integer "z": -1, 0 or 1.
    static int CompareZ(const MeshObject* a, const MeshObject* b);

private:
    struct TransparentMesh {
        MeshObject* mesh;
        Material* material;
    };
    using TransparentList = std::vector<TransparentMesh>;
    struct QueuedEvent {
        WindowEvent event;
        Window* window;
    };

    static void SortByZ(TransparentList& list);
    bool DrawPass1(TransparentList& list);
    bool DrawPass2(TransparentList& list);
    // Erases the mesh from a list; true when it was there.
    static bool EraseFrom(TransparentList& list, const MeshObject* mesh);
    void RouteIntoChildren(Window* window, const WindowEvent& event);

    Signal frameSignal_;
    MeshCache cache_;
    // Keyed by top-level window; only looked up, never walked for drawing, so the key's
    // address order is never seen.
    std::unordered_map<const Window*, TransparentList> transparent_;
    Window* focus_ = nullptr;
    f32 near_ = 1.0f;
    f32 far_ = 1000.0f;
    std::deque<QueuedEvent> queue_;
};

// The program-wide manager.
WindowManager& TheWindowManager();
