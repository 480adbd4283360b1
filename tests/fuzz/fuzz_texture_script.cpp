// Fuzz target for the texture-script reader: the input is parsed as a data-description
// text and read as a texture script without a device, so the keys, the rectangles, the
// atlas placement (with its moves and failures) and the animations are all reached; the
// texture is then asked for each of its parts and advanced through its animations.
#include "Core/String.h"
#include "Core/TextCodec.h"
#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "Core/WString.h"
#include "D3d/Texture.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    WString text;
    text.Decode(data, static_cast<u32>(size), kTextCodePage);
    TextDataTree document;
    TextData::LoadText(text, document, nullptr, TextData::kStatementForm);
    Texture texture;
    texture.detached = 1;
    if (!texture.LoadScript(document, patht(), nullptr)) return 0;
    auto& subs = texture.GetSubTextures();
    auto* sub = subs.first;
    for (u32 i = 0; i < subs.count; ++i, sub = sub->next) {
        TextureAnimation part;
        texture.FindPart(sub->key, part);
        const IntRect r = sub->value->GetRect();
        if (sub->value->IsInParentPixels() && (r.right < r.left || r.bottom < r.top)) __builtin_trap();
    }
    auto& animations = texture.GetAnimations();
    auto* animation = animations.first;
    for (u32 i = 0; i < animations.count; ++i, animation = animation->next) {
        TextureAnimation run;
        if (!texture.FindPart(animation->key, run)) continue;
        if (!run.frame) __builtin_trap();  // no animation shows a missing frame
        run.startMs = 0;
        for (u64 now = 0; now < 4; ++now) run.Advance(now * 0x40000000ull);
    }
    return 0;
}
