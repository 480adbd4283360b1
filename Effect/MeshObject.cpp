// The draw of a mesh. The fog switch for pre-transformed vertices is taken once per draw,
// after the geometry is known to exist, and given back on every way out; the material's
// own fog changes are given back after each pass by RestoreFog.
#include "Effect/MeshObject.h"

#include <new>

#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/FrameSequence.h"
#include "D3d/StateCache.h"
#include "Effect/BoxVisibility.h"
#include "Effect/Effect.h"
#include "Effect/EffectManager.h"
#include "Effect/LightSet.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"

namespace {

// The share of the screen the box covers through the context's matrices; 0 without an
// application to say how large the screen is.
f32 ProjectedSize(const Box& box, const RenderContext& context) {
    const Application* app = TheApplication();
    if (!app) return 0.0f;
    const IntRect screen = app->GetScreenRect();
    return ProjectedBoxSize(box, context.GetWorldViewProjection(), static_cast<f32>(screen.right),
                            static_cast<f32>(screen.bottom));
}

bool NoShaders() {
    IDirect3DDevice9* device = TheDevice();
    if (!device) return false;
    const bool vertex = SUCCEEDED(device->SetVertexShader(nullptr));
    const bool pixel = SUCCEEDED(device->SetPixelShader(nullptr));
    return vertex && pixel;
}

// One layer through its effect, opened and closed as the item's place in its batch asks.
bool DrawWithEffect(Effect& effect, Material& material, i32 layer, u32 batchFlags, Geometry& geometry) {
    const bool middle = !(batchFlags & kBatchFirst) && (batchFlags & (kBatchLast | kBatchInside));
    if (middle) {
        // The effect is open from the batch's first item: parameters and the draw only.
        bool ok = effect.SetParameters(&material, layer);
        ok &= geometry.Draw();
        if (batchFlags & kBatchLast) ok &= effect.End();
        return ok;
    }
    i32 passes = 0;
    if (!effect.SelectTechnique(&material, layer, passes)) return false;
    bool ok = true;
    for (i32 p = 0; p < passes; ++p) {
        ok &= effect.SetParameters(&material, layer);
        // Drawing outside a begun pass would draw with whatever the last pass left.
        if (!effect.BeginPass(p)) {
            ok = false;
            continue;
        }
        ok &= geometry.Draw();
    }
    // A one-pass effect that begins a batch stays open for the items after it.
    if (!(batchFlags & kBatchFirst) || passes != 1) ok &= effect.End();
    return ok;
}

}  // namespace

MeshObject::~MeshObject() { ClearDrawCache(); }

DrawItem* MeshObject::Clone() {
    MeshObject* copy = new MeshObject;
    copy->partTable = partTable;
    copy->geometry = geometry;
    copy->description = description;
    copy->properties.Assign(properties);
    return copy;
}

bool MeshObject::CreateGeometry(const GeometryDesc& desc) {
    if (&desc != &description) description = desc;
    geometry = GeometryRef(new Geometry);
    return geometry && geometry->Create(description);
}

bool MeshObject::QueryType(u32 typeId, void** out) {
    if (typeId == DrawNodeTypeId()) {
        *out = static_cast<DrawItem*>(this);
        return true;
    }
    return DrawItem::QueryType(typeId, out);
}

bool MeshObject::UpdateBounds() {
    valid = 0;
    if (!geometry || !partTable) return false;
    if (!partTable->IsValid() && !partTable->UpdateBounds()) return false;
    box = partTable->box;
    valid = 1;
    return true;
}

u32 MeshObject::DrawCacheCount() const {
    u32 n = 0;
    const PartCache::Node* node = drawCache.cursor;
    for (u32 i = 0; i < drawCache.count; ++i, node = node->next) n += node->value->count;
    return n;
}

void MeshObject::ClearDrawCache() {
    drawCache.CursorWalk([](const FrameSequence*, DrawCache*& cache) {
        delete cache;
        cache = nullptr;
    });
    drawCache.Clear();
}

GeometryRef MeshObject::PartGeometry(FrameSequence* part, const Effect* effect) {
    const VertexDeclaration* key = effect ? &effect->GetBody() : nullptr;
    DrawCache* cache = drawCache.Get(part);
    if (!cache) {
        cache = new DrawCache;
        if (!drawCache.Insert(part, cache)) {
            delete cache;
            return GeometryRef();
        }
    }
    if (DrawCache::Node* node = cache->Find(key)) return node->value;
    const VertexDeclaration layout = effect ? effect->GetBody() : part->GetFixedLayout();
    Geometry::SetLayout(description, *part, layout);
    GeometryRef made = TheGeometryCache().Lookup(description, part);
    if (!made) return made;
    geometry = made;
    cache->Insert(key, made);
    return made;
}

f32 MeshObject::SelectionKey(const Material& material, const RenderContext& context) const {
    const bool parts = partTable && partTable->IsActive(TheEffectManager().settings.sequence);
    if (!material.keyed.IsActive() && !parts) return 0.0f;
    return ProjectedSize(partTable ? partTable->box : box, context);
}

FrameSequence* MeshObject::PartFor(f32 key) const {
    if (!partTable) return nullptr;
    FrameSequence* part = partTable->Current(key, TheEffectManager().settings.sequence);
    return part ? part : partTable;
}

bool MeshObject::CreateDynamicGeometry(u32 vertexCount, u32 usage, u32 fvf, u32 primitiveType) {
    geometry = GeometryRef();
    Geometry* made = new (std::nothrow) Geometry;
    if (!made) return false;
    GeometryRef ref(made);
    if (!made->Create(vertexCount, usage, fvf)) return false;
    made->primitiveType = primitiveType;
    // Create hands out the whole buffer as one range; it goes back at once.
    SharedBuffer* buffer = made->GetVertexBuffer(0);
    if (!buffer) return false;
    buffer->FreeRange(buffer->GetRanges());
    geometry = ref;
    description.layout.Assign(made->layout);
    description.primitiveType = primitiveType;
    return true;
}

bool MeshObject::Draw(Material* material) {
    if (!material || !material->context) return false;
    RenderContext* context = material->context;

    const f32 key = SelectionKey(*material, *context);
    Material* drawn = material->keyed.Evaluate(material, key);
    drawn->context = context;
    if (GetFlag()) return true;

    i32 passes = context->overrideEffect ? 1 : drawn->layerCount;
    if (passes > 3) passes = 3;
    FrameSequence* part = PartFor(key);

    bool ok = true;
    bool fogChecked = false;
    bool fogSwitchedOff = false;
    bool lightsSet = false;
    for (i32 i = 0; i < passes; ++i) {
        MaterialLayer& layer = drawn->layers[i];
        Effect* effect = context->overrideEffect ? context->overrideEffect : layer.effect;
        GeometryRef ref = part ? PartGeometry(part, effect) : geometry;
        if (!ref) {
            ok = false;
            break;
        }
        if (!fogChecked) {
            fogChecked = true;
            DWORD fog = 0;
            if (ref->layout.FindUsage(D3DDECLUSAGE_POSITIONT, 0) >= 0 &&
                StateCache::GetRenderState(D3DRS_FOGENABLE, &fog) && fog) {
                ok &= StateCache::SetRenderState(D3DRS_FOGENABLE, 0);
                fogSwitchedOff = true;
            }
        }
        ok &= drawn->ApplyRenderStates(i);
        if (part) ok &= TheGeometryCache().Insert(ref);
        if (!effect) {
            ok &= NoShaders();
            if (layer.lit && !lightsSet) {
                TheLightSet().Apply(context->lighting);
                lightsSet = true;
            }
            ok &= drawn->ApplyLighting(i);
            ok &= drawn->ApplyMaterial(i);
            ok &= ref->Draw();
        } else {
            ok &= DrawWithEffect(*effect, *drawn, i, context->batchFlags, *ref.Get());
        }
        drawn->RestoreFog();
    }
    if (fogSwitchedOff) ok &= StateCache::SetRenderState(D3DRS_FOGENABLE, 1);
    return ok;
}
