// Lights of a model document. Each entry becomes a point, directional or spot light placed
// by its object offset times its node transform; a light shines along its local negative
// y axis. The block is read in order and stops at the first light that cannot be made
// (a transform that is no frame, a kind the engine has no class for): the lights before
// it stay, the model load goes on.
#include "Core/UdfNode.h"
#include "Effect/Light.h"
#include "Scene/AdvScene.h"
#include "Scene/DecomposeMatrix.h"

#include <new>

namespace {

// (0, -1, 0) through the rotation part of m, with the divide by w, normalised.
Vec3 ShineDirection(const Matrix& m) {
    Vec3 v(-m.m[4], -m.m[5], -m.m[6]);
    const f32 w = -m.m[7] + m.m[15];
    if (w != 0.0f) v = v * (1.0f / w);
    Vec3 out;
    Vec3Normalize(out, v);
    return out;
}

}  // namespace

bool AdvScene::LoadLights(UdfNode* block) {
    if (!block) return false;
    UdfChildMap& entries = block->Children();
    UdfChildMap::Node* item = entries.first;
    for (u32 i = 0; i < entries.count; ++i, item = item->next) {
        UdfNode* entry = item->value;
        if (!entry) continue;
        // A missing transform counts as the identity.
        Matrix nodeMatrix = IdentityMatrix;
        Matrix objectMatrix = IdentityMatrix;
        ReadTransform(entry, "NodeTM", nodeMatrix);
        ReadTransform(entry, "ObjectTM", objectMatrix);
        const Matrix m = Matrix::Product(objectMatrix, nodeMatrix);
        Vec3 position, direction, up, scale;
        if (!DecomposeMatrix(m, position, direction, up, scale)) return false;
        const Vec3 shine = ShineDirection(m);

        const String& kind = entry->GetTypeName();
        Light* light = nullptr;
        bool attenuated = false;
        if (kind == "PointLight") {
            light = new (std::nothrow) PointLight;
            if (light) light->SetPosition(position.x, position.y, position.z);
            attenuated = true;
        } else if (kind == "DirLight") {
            light = new (std::nothrow) DirLight;
            if (light) light->SetDirection(shine.x, shine.y, shine.z);
        } else if (kind == "SpotLight") {
            light = new (std::nothrow) SpotLight;
            if (light) {
                light->SetPosition(position.x, position.y, position.z);
                light->SetDirection(shine.x, shine.y, shine.z);
                // Missing cone angles keep the spot light's own.
                f32 angle = 0.0f;
                if (ReadFloat(entry, "HotSpot", angle)) light->SetTheta(angle);
                if (ReadFloat(entry, "FallOff", angle)) light->SetPhi(angle);
            }
            attenuated = true;
        } else {
            return false;
        }
        if (!light) return false;

        f32 attStart = 0.0f;
        if (attenuated && ReadFloat(entry, "AttStart", attStart) && attStart != 0.0f)
            light->SetAttenuation(0.0f, 1.0f / attStart, 0.0f);
        FColor color;
        if (ReadColor(entry, "Diffuse", color)) light->SetDiffuse(color);
        color = FColor();
        if (ReadColor(entry, "Specular", color)) light->SetSpecular(color);
        f32 range = 0.0f;
        ReadFloat(entry, "AttEnd", range);
        light->SetRange(range);
        light->SetName(entry->GetName());
        if (!AddLight(entry, light)) return false;
    }
    return true;
}
