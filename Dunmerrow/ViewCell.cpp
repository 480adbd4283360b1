// The view cell owns a copy of a unit quad (the plane z = 1, x and y in [-0.5, 0.5]) and a
// view whose orthographic camera stands at the origin looking down +z with +y up, so that
// the quad fills the screen exactly. Its material reads the world render target: through
// the distortion effect, which offsets the lookup by a displacement texture scrolling with
// the eye and the time; or, without that effect, through the fixed-function stage, whose
// texture coordinates come from the camera-space position: rotating it half a turn about
// x and moving it by (0.5, 0.5) turns (x, y, 1) into (x + 0.5, 0.5 - y), the render
// target's own texel order.
#include "Dunmerrow/ViewCell.h"

#include <cmath>

#include "Core/Log.h"
#include "Effect/DistortEffect.h"
#include "Effect/Effect.h"
#include "Effect/Material.h"
#include "Scene/Hierarchy.h"

namespace {

constexpr f32 kPi = 3.14159265359f;
constexpr f32 kNear = 0.1f;
constexpr f32 kWidth = 1.0f;
constexpr f32 kHeight = 1.0f;
constexpr f32 kDepth = 2.0f;
constexpr f32 kDisplacementAmount = 0.2f;
// The texture-coordinate source word of the fallback stage: coordinates from the
// camera-space position (D3DTSS_TCI_CAMERASPACEPOSITION), set 0.
constexpr u32 kCameraSpacePosition = 0x20000;
// The eye point handed to the effect: scaled down, and lifted by a share that shrinks as
// the sun rises so the shimmer drifts with the day.
constexpr f32 kEyeScale = 0.4f;
constexpr f32 kLift = 300.0f;
// The displacement's scroll speeds (Distort.fx) are whole multiples of a thousandth of
// the texture a second, and the texture wraps: the shimmer repeats every 1000 s exactly.
// The cell's time starts again there while it is still whole milliseconds, so the float
// handed on keeps millisecond steps however long the saver runs.
constexpr u64 kScrollPeriodMs = 1000000;

// Rotation about x by angle, then translation: rows of a row-vector transform.
Matrix FallbackTransform() {
    const f32 c = std::cos(kPi);
    const f32 s = std::sin(kPi);
    Matrix rotation = IdentityMatrix;
    rotation.m[5] = c;
    rotation.m[6] = s;
    rotation.m[9] = -s;
    rotation.m[10] = c;
    rotation.kind = 0;
    rotation.valid = 1;
    Matrix translation = IdentityMatrix;
    translation.m[12] = 0.5f;
    translation.m[13] = 0.5f;
    translation.m[14] = 0.0f;
    translation.kind = PureTranslation;
    translation.valid = 1;
    return Matrix::Product(rotation, translation);
}

}  // namespace

ViewCell::~ViewCell() { Release(); }

void ViewCell::Release() {
    delete clone;
    clone = nullptr;
    distort = nullptr;
}

bool ViewCell::Create(Hierarchy* node, Texture* world, Texture* displacement, Effect* effect) {
    if (!node) return false;
    Hierarchy* copy = node->Clone(nullptr, 0);
    if (!copy) return false;
    Release();
    clone = copy;

    view.camera.SetOrthographic(kNear, kWidth, kHeight, kDepth);
    view.camera.SetView(Vec3(0.0f, 0.0f, 0.0f), Vec3(0.0f, 0.0f, 1.0f), Vec3(0.0f, 1.0f, 0.0f));

    // Our reading of the material's settings: one pass (the layer count set to 1) and
    // lighting cleared, since the quad shows an image that is already lit and the cell's
    // view has no lights (a lit fallback would draw it black).
    Material& material = clone->GetMaterial();
    material.layerCount = 1;
    MaterialLayer& layer = material.layers[0];
    layer.effect = effect;
    layer.samplers[kBaseMap].texture = world;
    layer.samplers[kBumpMap].texture = displacement;
    layer.samplers[kBumpMap].scale = kDisplacementAmount;
    layer.lit = 0;

    // An effect that is not the distortion effect could not take the eye point: it is
    // treated as missing.
    distort = effect ? QueryAs<DistortEffect>(effect, DistortEffectTypeId()) : nullptr;
    if (!distort) {
        LogWarnings().Write(LOG_SITE("bool __thiscall ViewCell::Create(Hierarchy *,Texture *,Texture *,Effect *)"))
            .Print("Distort effect not loaded");
        layer.effect = nullptr;
        TextureStage& stage = layer.stages[0];
        stage.sampler = layer.samplers[kBaseMap];
        stage.colorOp = kTextureOpAutomatic;
        stage.transform = FallbackTransform();
        stage.transformEnabled = 1;
        stage.texCoordIndex = kCameraSpacePosition;
    }
    timer.Restart();
    seconds = 0.0f;
    return true;
}

void ViewCell::Render(const Vec3& eye, f32 distAmount, f32 h) {
    if (distort) {
        const f32 lift = (1.0f - distAmount * h) * kLift;
        const f32 point[3] = {eye.x * kEyeScale, eye.y * kEyeScale + lift, eye.z * kEyeScale};
        distort->SetVector(point);
    }
    seconds = static_cast<f32>(timer.Elapsed() % kScrollPeriodMs) * 0.001f;
    view.time = seconds;
    if (clone) CullSceneNodes(clone, view);
}
