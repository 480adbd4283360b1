// Parts of a texture (named sub-textures, rectangles, running animations) and the clock
// that drives an animation. An animation instance is a texture of its own with the
// animated texture as parent and no Direct3D texture: each user that asks for an
// animation by name gets an instance, so each runs on its own clock.
#include "D3d/TextureAnimation.h"

#include "Core/Timer.h"
#include "D3d/Texture.h"

void TextureAnimDef::ComputeLength() {
    totalMs = 0;
    frames.CursorWalk([&](const String&, Texture*& frame) {
        if (frame) totalMs += frame->GetDelay();
    });
}

bool TextureAnimation::Advance(u64 nowMs) {
    if (!def || def->totalMs <= 0 || !cursor || def->frames.count == 0) return false;
    const i64 now = static_cast<i64>(nowMs);
    startMs += ((now - startMs) / def->totalMs) * def->totalMs;
    if (now < startMs + frameMs) return false;
    // Every frame's delay is at most kMaxFrameDelay and the cycle is longer than zero,
    // so at most one cycle of steps is left after the division.
    const u32 limit = def->frames.count + 1;
    u32 steps = 0;
    do {
        cursor = cursor->next;
        startMs += frameMs;
        frameMs = cursor->value ? cursor->value->GetDelay() : 0;
    } while (now >= startMs + frameMs && ++steps < limit);
    frame = cursor->value;
    if (frame) {
        const TexCoordRect r = frame->GetTexCoordRect();
        texRect[0] = r.uMin;
        texRect[1] = r.vMin;
        texRect[2] = r.uMax;
        texRect[3] = r.vMax;
    }
    return true;
}

namespace {

void FillRect(TextureAnimation& out, Texture* t) {
    const TexCoordRect r = t->GetTexCoordRect();
    out.texRect[0] = r.uMin;
    out.texRect[1] = r.vMin;
    out.texRect[2] = r.uMax;
    out.texRect[3] = r.vMax;
}

}  // namespace

bool Texture::FindPart(const String& partName, TextureAnimation& out) {
    Texture* t = Resolved();
    if (partName.length == 0) {
        out.frame = this;
        FillRect(out, this);
        return true;
    }
    if (auto* entry = t->animations.Find(partName)) {
        TextureAnimDef* def = entry->value;
        // An animation without frames has nothing to show.
        if (!def || def->frames.count == 0) return false;
        out.def = def;
        out.cursor = def->frames.first;
        out.startMs = static_cast<i64>(Timer::Now());
        out.frame = out.cursor->value;
        out.frameMs = out.frame->GetDelay();
        FillRect(out, out.frame);
        return true;
    }
    if (auto* entry = t->subs.Find(partName)) {
        out.frame = entry->value;
        FillRect(out, entry->value);
        return true;
    }
    return false;
}

bool Texture::StartAnimation(Texture* source, const String& animationName) {
    if (!source) return false;
    animated = 1;
    parent = source;
    animation = TextureAnimation{};
    return source->FindPart(animationName, animation);
}

Texture* Texture::LookupPart(const TextureDesc& desc) {
    Texture* t = Resolved();
    if ((desc.flags & TEXDESC_PART_NAME) && !(desc.flags & TEXDESC_PART_RECT) && t->animations.Contains(desc.partName)) {
        Texture* instance = new Texture;
        if (!instance->StartAnimation(t, desc.partName)) {
            instance->parent = nullptr;
            delete instance;
            return nullptr;
        }
        return instance;
    }
    if (desc.flags & TEXDESC_PART_NAME) {
        if (auto* entry = t->subs.Find(desc.partName)) return entry->value;
    }
    if (desc.flags & TEXDESC_PART_RECT) {
        Texture* found = nullptr;
        for (auto* n = t->subs.first; t->subs.count && !found; n = n->next) {
            if (IntRect::Equals(n->value->rect, desc.partRect)) found = n->value;
            if (n->next == t->subs.first) break;
        }
        return found;
    }
    return nullptr;
}

Texture* Texture::CreatePart(const TextureDesc& desc) {
    Texture* part = new Texture;
    if (desc.flags & TEXDESC_PART_NAME) part->name = desc.partName;
    if (desc.flags & TEXDESC_PART_RECT) {
        part->rect = desc.partRect;
        part->inParentPixels = 1;
    }
    AttachSub(part);
    return part;
}

void Texture::AttachSub(Texture* sub) {
    Texture* t = Resolved();
    if (!sub || sub == t) return;
    // A sub-texture of the same name that is there already would be lost from the map
    // and never deleted: it goes now.
    if (auto* entry = t->subs.Find(sub->name)) {
        if (entry->value == sub) return;
        Texture* old = entry->value;
        t->subs.Remove(sub->name);
        old->parent = nullptr;
        delete old;
    }
    sub->parent = t;
    sub->levelDesc = t->levelDesc;
    // A sub-texture that shares the whole texture is as large as it.
    if (!sub->inParentPixels) sub->rect = t->rect;
    t->subs.Insert(sub->name, sub);
}

void Texture::DetachSub(Texture* sub) {
    Texture* t = Resolved();
    if (!sub) return;
    auto* entry = t->subs.Find(sub->name);
    if (entry && entry->value == sub) {
        t->subs.Remove(sub->name);
        sub->parent = nullptr;
    }
}

void Texture::DeleteSubs() {
    while (subs.count) {
        Texture* sub = subs.first->value;
        subs.Remove(subs.first->key);
        sub->parent = nullptr;  // it is out of the map already
        delete sub;
    }
}

Texture* Texture::FindSub(const String& subName) {
    Texture* t = Resolved();
    auto* entry = t->subs.Find(subName);
    return entry ? entry->value->Resolved() : nullptr;
}

void Texture::ComputeAnimationLengths() {
    Resolved()->animations.CursorWalk([](const String&, TextureAnimDef*& def) {
        if (def) def->ComputeLength();
    });
}
