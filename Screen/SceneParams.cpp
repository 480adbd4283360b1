#include "Screen/SceneParams.h"

#include "Core/Parameter.h"
#include "Core/SettingBinders.h"
#include "Core/TextDataTree.h"
#include "Core/TextNode.h"

#include <new>

u8 DebugMode = 0;

void ResetDebugMode() { DebugMode = 0; }

namespace {

// The elements "0", "1" and "2", each a byte of red, green and blue; a missing element
// keeps its channel.
void ReadByteColor(const TextNode* node, FColor& color) {
    if (!node) return;
    f32* channels[3] = {&color.r, &color.g, &color.b};
    for (i32 i = 0; i < 3; ++i)
        if (const TextNode* child = node->GetChild(i))
            *channels[i] = static_cast<f32>(child->GetReal()) * SceneParams::kByteUnit;
}

void ReadFloat(const TextNode* node, f32& out) {
    if (node) out = static_cast<f32>(node->GetReal());
}

}  // namespace

void ReadSceneKeys(const TextDataTree& document, SceneParams& params) {
    ReadByteColor(document.GetChild("Ambient"), params.Ambient);
    ReadByteColor(document.GetChild("BgColor"), params.BgColor);
    ReadByteColor(document.GetChild("FogColor"), params.FogColor);
    ReadFloat(document.GetChild("NearPlane"), params.NearPlane);
    ReadFloat(document.GetChild("FarPlane"), params.FarPlane);
    if (const TextNode* node = document.GetChild("FogEnable")) params.FogEnable = node->GetInt() != 0 ? 1 : 0;
    ReadFloat(document.GetChild("FogStart"), params.FogStart);
    ReadFloat(document.GetChild("FogEnd"), params.FogEnd);
    if (const TextNode* node = document.GetChild("Fov"))
        params.Fov = static_cast<f32>(node->GetReal()) * SceneParams::kDegreeUnit * SceneParams::kPi;
    ReadFloat(document.GetChild("CamSpeed"), params.CamSpeed);
    if (const TextNode* node = document.GetChild("Animations")) {
        const i32 n = static_cast<i32>(node->ChildCount());
        if (n == 0 && !node->value.IsEmpty()) params.Animations.PushBack(String::FromWString(node->value));
        for (i32 i = 0; i < n; ++i)
            if (const TextNode* item = node->GetChild(i)) params.Animations.PushBack(String::FromWString(item->value));
    }
    if (const TextNode* node = document.GetChild("DEBUG"); node && node->GetInt() != 0) DebugMode = 1;
    g_paramRegistry.Own(String("AnimLength"), new (std::nothrow) FloatRefParameter(&params.AnimLength));
}
