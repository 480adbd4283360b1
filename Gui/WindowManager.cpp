#include "Gui/WindowManager.h"

#include "Core/D3dxLibrary.h"
#include "Core/Log.h"
#include "D3d/Geometry.h"
#include "Effect/Material.h"
#include "Effect/MeshObject.h"
#include "Effect/RenderContext.h"
#include "Gui/Window.h"

#include <d3dx9.h>

namespace {

// The vertical field of view and aspect of the projection window quads are set up with;
// windows that lay their quads out in pixels put their own in its place.
constexpr f32 kFieldOfView = 1.5707964f;
constexpr f32 kAspect = 1.0f;

bool IsMouseButton(u32 type) { return type <= kEventRightDoubleClick; }

bool NoAlphaCombine(const MeshObject* mesh) {
    i32 value = 0;
    return mesh->properties.children.GetInt(String("NoAlphaCombine"), &value) && value != 0;
}

WindowEvent WithCode(const WindowEvent& event, u32 code, u32 extraFlags = 0) {
    WindowEvent copy = event;
    copy.code = code;
    copy.flags |= extraFlags;
    return copy;
}

}  // namespace

WindowManager::WindowManager() : LayerList(kTopLayer, kBottomLayer) {}

// The manager owns the meshes it made; those still filed are deleted with it.
WindowManager::~WindowManager() { Reset(); }

WindowManager& TheWindowManager() {
    static WindowManager manager;
    return manager;
}

f32 WindowManager::LayerDepth(i32 layer) const {
    const f32 distance = near_ + (far_ - near_) * static_cast<f32>(layer - kBottomLayer) /
                                     static_cast<f32>(kTopLayer - kBottomLayer);
    return far_ / (far_ - near_) * (distance - near_) / distance;
}

bool WindowManager::DynamicTriangles(GeometryDesc& desc, u32 fvf, u32 stride, u32 bytes) {
    desc.primitiveType = D3DPT_TRIANGLELIST;
    if (!desc.layout.SetFVF(fvf)) return false;
    GeometryStream& stream = desc.streams[0];
    stream.kind = GeometryStream::kVertexKind;
    stream.layout.Assign(desc.layout);
    stream.stride = stride;
    stream.length = bytes;
    stream.usage = D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY;
    stream.pool = D3DPOOL_DEFAULT;
    stream.fieldFlags = GeometryStream::kLengthSet | GeometryStream::kUsageSet | GeometryStream::kPoolSet;
    return true;
}

MeshObject* WindowManager::AddMesh(Window* window, const GeometryDesc& desc, Material* material) {
    if (!window || !material) return nullptr;
    MeshObject* mesh = nullptr;
    if (material->IsTransparent(0)) {
        TransparentList& list = transparent_[window->GetRoot()];
        mesh = new MeshObject;
        if (!mesh->CreateGeometry(desc)) {
            delete mesh;
            return nullptr;
        }
        list.push_back({mesh, material});
    } else {
        mesh = cache_.Acquire(desc, material, true, window);
        if (!mesh) return nullptr;
    }
    if (material->context) {
        Matrix& projection = material->context->projection;
        D3dx().MatrixPerspectiveFovLH(reinterpret_cast<D3DXMATRIX*>(projection.m), kFieldOfView, kAspect, near_, far_);
        projection.kind = 0;
        projection.valid = 1;
    }
    return mesh;
}

bool WindowManager::EraseFrom(TransparentList& list, const MeshObject* mesh) {
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->mesh == mesh) {
            list.erase(it);
            return true;
        }
    return false;
}

void WindowManager::RemoveMesh(Window* window, MeshObject* mesh) {
    if (!mesh) return;
    if (cache_.Contains(mesh)) {
        cache_.Remove(mesh, window);
        return;
    }
    // A window moved under another top-level window since it made the mesh filed it under
    // its old root: look there too, or the mesh would stay drawn after the window is gone.
    bool erased = false;
    if (window) {
        auto entry = transparent_.find(window->GetRoot());
        if (entry != transparent_.end()) erased = EraseFrom(entry->second, mesh);
    }
    for (auto it = transparent_.begin(); !erased && it != transparent_.end(); ++it)
        erased = EraseFrom(it->second, mesh);
    if (erased) delete mesh;
}

int WindowManager::CompareZ(const MeshObject* a, const MeshObject* b) {
    i32 za = 0, zb = 0;
    a->properties.children.GetInt(String("z"), &za);
    b->properties.children.GetInt(String("z"), &zb);
    return za < zb ? -1 : (za > zb ? 1 : 0);
}

// Neighbours change places only when the first is strictly higher, so equal "z" keep the
// order they had, and the order reached stays for the next frame.
void WindowManager::SortByZ(TransparentList& list) {
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (size_t i = 1; i < list.size(); ++i)
            if (CompareZ(list[i - 1].mesh, list[i].mesh) > 0) {
                std::swap(list[i - 1], list[i]);
                swapped = true;
            }
    }
}

bool WindowManager::DrawPass1(TransparentList& list) {
    bool ok = true;
    SortByZ(list);
    for (TransparentMesh& item : list)
        if (!NoAlphaCombine(item.mesh)) ok &= item.mesh->Draw(item.material);
    return ok;
}

bool WindowManager::DrawPass2(TransparentList& list) {
    bool ok = true;
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (NoAlphaCombine(it->mesh)) ok &= it->mesh->Draw(it->material);
    return ok;
}

bool WindowManager::Draw() {
    bool ok = true;
    frameSignal_.Emit();
    ok &= cache_.Draw(nullptr);
    for (Window* window = Last(); window; window = Prev(window)) {
        auto entry = transparent_.find(window);
        if (entry != transparent_.end()) ok &= DrawPass1(entry->second);
    }
    for (Window* window = First(); window; window = Next(window)) {
        auto entry = transparent_.find(window);
        if (entry != transparent_.end()) ok &= DrawPass2(entry->second);
    }
    return ok;
}

void WindowManager::SetFocus(Window* window) {
    if (window == focus_) return;
    if (focus_) PostEvent(focus_, WindowEvent(kWindowEventFocusLost));
    if (window) PostEvent(window, WindowEvent(kWindowEventFocusGained));
    focus_ = window;
}

void WindowManager::PostEvent(Window* window, const WindowEvent& event) {
    if (!window) return;
    queue_.push_back({event, window});
    RouteIntoChildren(window, event);
    Window* focused = window->GetFocusedChild();
    if (focused && WindowEvent::IsKey(event)) PostEvent(focused, event);
}

void WindowManager::RouteIntoChildren(Window* window, const WindowEvent& event) {
    const u32 code = event.code;
    const bool positional = code == kWindowEventEntered || code == kWindowEventMovedWithin ||
                            code == kWindowEventLeft || code == kWindowEventLeftDown || code == kWindowEventLeftUp ||
                            code == kWindowEventLeftDoubleClick;
    if (!positional) return;
    const IntPair current = event.Current();
    const IntPair previous = event.Previous();
    Window* focused = window->GetFocusedChild();
    // A snapshot: routing only queues, but a child list must not be walked while it could
    // change under the walk.
    const std::vector<Window*> children = window->GetChildren();
    for (Window* child : children) {
        if (!child->IsActive()) continue;
        const bool isFocused = child == focused;
        switch (code) {
        case kWindowEventMovedWithin: {
            const bool was = child->HitTest(previous.x, previous.y);
            const bool now = child->HitTest(current.x, current.y);
            if (was && now) PostEvent(child, WithCode(event, kWindowEventMovedWithin));
            else if (was) PostEvent(child, WithCode(event, kWindowEventLeft));
            else if (now) PostEvent(child, WithCode(event, kWindowEventEntered));
            else if (isFocused) PostEvent(child, WithCode(event, kWindowEventMovedWithin, kWindowEventOutside));
            break;
        }
        case kWindowEventEntered:
            if (child->HitTest(current.x, current.y)) PostEvent(child, event);
            else if (isFocused) PostEvent(child, WithCode(event, kWindowEventMovedWithin));
            break;
        case kWindowEventLeft:
            if (child->HitTest(previous.x, previous.y)) PostEvent(child, event);
            else if (isFocused) PostEvent(child, WithCode(event, kWindowEventMovedWithin));
            break;
        default:  // the left button's codes
            if (child->HitTest(current.x, current.y)) PostEvent(child, event);
            break;
        }
    }
}

void WindowManager::DispatchQueued() {
    while (!queue_.empty()) {
        QueuedEvent record = std::move(queue_.front());
        queue_.pop_front();
        record.window->RecieveEvent(record.event);
    }
}

void WindowManager::RecieveEvent(EVENT input) {
    const bool button = IsMouseButton(input.type);
    const bool move = input.type == kEventPointerMove;
    const WindowEvent event = MakeWindowEvent(input);
    bool served = false;
    if (button || move) {
        const IntPair current = event.Current();
        const IntPair previous = event.Previous();
        bool entered = false, left = false;
        for (Window* window = First(); window; window = Next(window)) {
            if (!window->IsActive()) continue;
            bool got = false;
            if (button) {
                if (window->HitTest(current.x, current.y)) {
                    PostEvent(window, event);
                    served |= window == focus_;
                    break;
                }
                continue;
            }
            const bool was = !left && window->HitTest(previous.x, previous.y);
            const bool now = !entered && window->HitTest(current.x, current.y);
            if (was && now) {
                PostEvent(window, WithCode(event, kWindowEventMovedWithin));
                entered = left = got = true;
            } else if (was) {
                PostEvent(window, WithCode(event, kWindowEventLeft));
                left = got = true;
            } else if (now) {
                PostEvent(window, WithCode(event, kWindowEventEntered));
                entered = got = true;
            }
            served |= got && window == focus_;
            if (entered && left) break;
        }
    }
    if (focus_ && !served) {
        if (move) PostEvent(focus_, WithCode(event, kWindowEventMovedWithin, kWindowEventOutside));
        else if (button) PostEvent(focus_, WithCode(event, event.code, kWindowEventOutside));
        else PostEvent(focus_, event);
    }
    DispatchQueued();
}

void WindowManager::Forget(Window* window) {
    if (!window) return;
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (it->window == window) it = queue_.erase(it);
        else ++it;
    }
    if (focus_ == window) focus_ = nullptr;
    auto entry = transparent_.find(window);
    if (entry != transparent_.end() && entry->second.empty()) transparent_.erase(entry);
}

Material* WindowManager::TransparentMaterial(Window* root, const MeshObject* mesh) const {
    auto entry = transparent_.find(root);
    if (entry == transparent_.end()) return nullptr;
    for (const TransparentMesh& item : entry->second)
        if (item.mesh == mesh) return item.material;
    return nullptr;
}

std::vector<MeshObject*> WindowManager::TransparentMeshes(Window* root) const {
    std::vector<MeshObject*> meshes;
    auto entry = transparent_.find(root);
    if (entry != transparent_.end())
        for (const TransparentMesh& item : entry->second) meshes.push_back(item.mesh);
    return meshes;
}

void WindowManager::Reset() {
    queue_.clear();
    focus_ = nullptr;
    for (auto& [root, list] : transparent_)
        for (TransparentMesh& item : list) delete item.mesh;
    transparent_.clear();
    cache_.Clear();
    frameSignal_.DisconnectAll();
}
