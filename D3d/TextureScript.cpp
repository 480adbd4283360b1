// Texture scripts: a ".ts" text that describes a texture (an image and how to load it, or
// an empty texture), the sub-textures laid out in it (an atlas) and frame animations over
// them. Sub-textures without a given rectangle are placed automatically: each candidate
// position beside the parent's corners and beside the sub-textures already there is
// rated by the area of movable sub-textures it would cover and by how many corners it
// shares; covered ones are placed again, a few levels deep. A placement that fails puts
// back every rectangle it moved, so the atlas is left as it was.
//
// The reader writes no log records: it answers true or false. Without a device it still
// reads the whole script and lays the atlas out from the sizes the script gives; the
// Direct3D textures are then made by the first Restore.
#include <d3d9.h>

#include "Core/MemFile.h"
#include "Core/Stream.h"
#include "Core/TextCodec.h"
#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "Core/TextNode.h"
#include "D3d/DeviceEnumeration.h"
#include "D3d/Texture.h"

namespace {

// Placement tries this many levels of moving sub-textures out of the way.
constexpr i32 kPlacementDepth = 3;

String TextOf(const TextNode* node) { return node ? String::FromWString(node->value) : String(); }

u32 FilterByName(const TextNode* node, u32 fallback) {
    if (!node) return fallback;
    const String text = TextOf(node);
    if (text == "D3DX_FILTER_NONE") return D3DX_FILTER_NONE;
    if (text == "D3DX_FILTER_LINEAR") return D3DX_FILTER_LINEAR;
    if (text == "D3DX_FILTER_TRIANGLE") return D3DX_FILTER_TRIANGLE;
    if (text == "D3DX_FILTER_BOX") return D3DX_FILTER_BOX;
    return fallback;
}

// One colour channel of a "ColorKey" block: by index or by letter.
i32 KeyChannel(const TextNode* key, const char* index, const char* letter) {
    const TextNode* node = key->GetChild(index);
    if (!node) node = key->GetChild(letter);
    return TextNode::IntOf(node);
}

// The walk over a map's entries in their thread order (the order they were entered); fn
// must not change the map.
template <class Map, class Fn>
void ForEachEntry(const Map& map, Fn&& fn) {
    if (map.count == 0) return;
    const typename Map::Node* entry = map.first;
    for (u32 i = 0; i < map.count; ++i, entry = entry->next) fn(entry->key, entry->value);
}

bool Overlaps1(i64 a0, i64 a1, i64 b0, i64 b1) { return a0 < b1 && b0 < a1; }

// The width and height a sub-texture asks for: its rectangle once it has one, else the
// size of the image or empty texture it was made from.
void OwnSize(Texture* sub, const D3DSURFACE_DESC& desc, i64& w, i64& h) {
    const IntRect r = sub->GetRect();
    w = static_cast<i64>(r.right) - r.left;
    h = static_cast<i64>(r.bottom) - r.top;
    if (w <= 0 || h <= 0) {
        w = static_cast<i32>(desc.Width);
        h = static_cast<i32>(desc.Height);
    }
}

struct SavedPlace {
    Texture* sub;
    IntRect rect;
    u32 placement;
};

}  // namespace

bool Texture::LoadScriptFile(patht script, const TextureDesc& desc) {
    Clear(true);
    MemFile files;
    files.AddSearchPath(script.WithFolder());
    patht path = script;
    if (!files.Resolve(path)) return false;
    Stream* stream = path.Open(kStreamRead);
    if (!stream) return false;
    TextDataTree document;
    const bool parsed = TextData::Load(*stream, document, &files, kTextCodePage);
    delete stream;
    if (!parsed) return false;
    if (desc.flags & TEXDESC_NOT_DEVICE_OBJECT) detached = 1;
    return LoadScript(document, path, nullptr);
}

bool Texture::LoadScript(const TextDataTree& node, patht script, Texture* parentTexture) {
    if (!detached) Register();
    kind = TEX_EMPTY;

    const TextNode* fileNode = node.GetChild("FileName");
    const TextNode* initFlags = node.GetChild("InitFlags");
    u32 dataKind = fileNode ? TEX_FROM_MEMFILE : TEX_EMPTY;
    bool keepNameOnly = false;
    if (initFlags) {
        const String text = TextOf(initFlags);
        if (text == "SAVE_DATA") dataKind = TEX_FROM_MEMFILE;
        // The image is read again from its file whenever the texture is re-created,
        // instead of keeping its bytes.
        if (text == "SAVE_NAME") keepNameOnly = true;
    }
    const TextNode* widthNode = node.GetChild("Width");
    const TextNode* heightNode = node.GetChild("Height");
    const bool sized = widthNode && heightNode;
    const u32 width = sized ? static_cast<u32>(widthNode->GetInt()) : D3DX_DEFAULT;
    const u32 height = sized ? static_cast<u32>(heightNode->GetInt()) : D3DX_DEFAULT;

    const TextNode* x1 = node.GetChild("x1");
    const TextNode* y1 = node.GetChild("y1");
    const TextNode* x2 = node.GetChild("x2");
    const TextNode* y2 = node.GetChild("y2");
    const TextNode* wNode = node.GetChild("w");
    const TextNode* hNode = node.GetChild("h");
    const TextNode* rectNode = node.GetChild("Rect");
    bool rectGiven = false;
    IntRect given(0, 0, 0, 0);
    if (rectNode) {
        rectGiven = true;
        given.Set(TextNode::IntOf(rectNode->GetChild("0")), TextNode::IntOf(rectNode->GetChild("1")),
                  TextNode::IntOf(rectNode->GetChild("2")), TextNode::IntOf(rectNode->GetChild("3")));
    } else if (x1 && y1 && (x2 || wNode) && (y2 || hNode)) {
        rectGiven = true;
        const i64 left = x1->GetInt();
        const i64 top = y1->GetInt();
        const i64 right = x2 ? x2->GetInt() : left + wNode->GetInt();
        const i64 bottom = y2 ? y2->GetInt() : top + hNode->GetInt();
        // Edges beyond the 32-bit range can name no texel.
        if (right > 0x7FFFFFFF || bottom > 0x7FFFFFFF || right < -0x7FFFFFFF - 1 || bottom < -0x7FFFFFFF - 1)
            return false;
        given.Set(static_cast<i32>(left), static_cast<i32>(top), static_cast<i32>(right), static_cast<i32>(bottom));
    }
    // A rectangle turned inside out names no texels; its size would be negative.
    if (rectGiven && (given.right < given.left || given.bottom < given.top)) return false;
    const TextNode* parentSpace = node.GetChild("ParentSpace");
    inParentPixels = parentSpace ? parentSpace->GetInt() != 0 : rectGiven;
    noPixels = TextNode::IntOf(node.GetChild("Empty")) != 0;

    if (const TextNode* delayNode = node.GetChild("Delay")) {
        // Clamped so that a cycle's length is a sum of non-negative 31-bit numbers.
        const double value = delayNode->GetReal();
        delay = value < 0 ? 0u : value > static_cast<double>(kMaxFrameDelay) ? static_cast<u32>(kMaxFrameDelay)
                                                                               : static_cast<u32>(value);
    } else {
        delay = parentTexture ? parentTexture->delay : 100;
    }
    const u32 usage = TextOf(node.GetChild("Usage")) == "D3DUSAGE_DYNAMIC" ? D3DUSAGE_DYNAMIC : 0;
    D3DPOOL pool = D3DPOOL_MANAGED;
    if (const TextNode* poolNode = node.GetChild("Pool")) {
        const String text = TextOf(poolNode);
        if (text == "D3DPOOL_DEFAULT") pool = D3DPOOL_DEFAULT;
        if (text == "D3DPOOL_MANAGED") pool = D3DPOOL_MANAGED;
        if (text == "D3DPOOL_SYSTEMMEM") pool = D3DPOOL_SYSTEMMEM;
    }
    const TextNode* levelsNode = node.GetChild("Levels");
    const u32 levelCount = levelsNode ? static_cast<u32>(levelsNode->GetInt()) : 1;
    const D3DFORMAT format = node.GetChild("Format") ? FormatFromName(TextOf(node.GetChild("Format"))) : D3DFMT_UNKNOWN;
    u32 key = 0;
    if (const TextNode* keyNode = node.GetChild("ColorKey")) {
        key = 0xFF000000u + (static_cast<u32>(KeyChannel(keyNode, "0", "r")) & 0xFF) * 65536u +
              (static_cast<u32>(KeyChannel(keyNode, "1", "g")) & 0xFF) * 256u +
              (static_cast<u32>(KeyChannel(keyNode, "2", "b")) & 0xFF);
    }
    const u32 fil = FilterByName(node.GetChild("Filter"), D3DX_FILTER_LINEAR);
    const u32 mip = FilterByName(node.GetChild("MipFilter"), D3DX_FILTER_BOX);

    if (fileNode) {
        MemFile files;
        files.AddSearchPath(script.WithFolder());
        patht image = script;
        image.flags &= kPathDisk | kPathArchive;
        if (!image.flags) image.flags = kPathDisk;
        image.name = TextOf(fileNode);
        if (!files.Resolve(image)) return false;
        Blob bytes;
        bool borrowed = false;
        if (!image.ReadAll(bytes, borrowed)) return false;
        if (!CreateFromMemory(bytes.data(), bytes.size(), dataKind, 0, 0, levelCount, usage, format, pool, fil, mip,
                              key, false, false))
            return false;
        sourcePath = image;
        if (keepNameOnly) sourceData.Free();
    } else if (!noPixels) {
        if (!CreateEmpty(TEX_EMPTY, width, height, levelCount, usage, format, pool, false, false)) return false;
    } else {
        StoreParams(sized ? width : 0, sized ? height : 0, levelCount, usage, format, pool);
    }
    if (rectGiven) {
        rect = given;
        placement = 2;
    }

    if (const TextNode* subsNode = node.GetChild("Subs")) {
        Array<Texture*> moved;
        bool ok = true;
        ForEachEntry(*subsNode, [&](const WString& subKey, TextNode* child) {
            if (!ok || !child) return;
            Texture* sub = new Texture;
            sub->detached = 1;  // this texture restores and invalidates its sub-textures
            sub->name = String::FromWString(subKey);
            if (!sub->LoadScript(*child, script, this)) {
                delete sub;
                ok = false;
                return;
            }
            // A second entry of one name replaces the first.
            if (auto* old = subs.Find(sub->name)) {
                Texture* gone = old->value;
                subs.Remove(sub->name);
                gone->parent = nullptr;
                for (i32 i = 0; i < moved.count; ++i)
                    if (moved[i] == gone) moved[i] = nullptr;
                delete gone;
            }
            if (!sub->inParentPixels) {
                sub->parent = this;
                subs.Insert(sub->name, sub);
                return;
            }
            if (sub->placement != 2 && !PlaceSub(sub, moved, kPlacementDepth)) {
                delete sub;
                ok = false;
                return;
            }
            // Its pixels are the parent's now: whatever it made of its own goes.
            sub->ReleaseD3D();
            sub->ownPixels = 0;
            sub->levelDesc = levelDesc;
            sub->parent = this;
            if (sub->placement == 2) {
                subs.Insert(sub->name, sub);
                // Its image, if it has one, still has to be drawn into its rectangle.
                moved.Add(sub);
            }
        });
        if (!ok) return false;
        for (i32 i = 0; i < moved.count; ++i) {
            Texture* sub = moved[i];
            if (!sub) continue;
            bool seen = false;
            for (i32 j = 0; j < i; ++j) seen = seen || moved[j] == sub;
            if (!seen && !sub->Restore()) return false;
        }
    }

    if (const TextNode* animationsNode = node.GetChild("Animation")) {
        ForEachEntry(*animationsNode, [&](const WString& animKey, TextNode* child) {
            if (!child) return;
            TextureAnimDef* def = new TextureAnimDef;
            ForEachEntry(*child, [&](const WString&, TextNode* statement) {
                if (!statement) return;
                const String frameName = TextOf(statement);
                // A name that names no sub-texture would be a frame without a texture.
                if (Texture* frame = FindSub(frameName)) def->frames.Insert(frameName, frame);
            });
            const String animName = String::FromWString(animKey);
            if (auto* old = animations.Find(animName)) delete old->value;
            animations.Insert(animName, def);
        });
        ComputeAnimationLengths();
    }
    return true;
}

bool Texture::ScorePlacement(const IntRect& candidate, i64& coveredArea, i32& score, Array<Texture*>& overlapped) {
    if (parent) return false;
    score = 8;
    coveredArea = 0;
    overlapped.Resize(0);
    const i64 W = static_cast<i32>(levelDesc.Width);
    const i64 H = static_cast<i32>(levelDesc.Height);
    if (candidate.left < 0 || candidate.top < 0 || candidate.right > W || candidate.bottom > H) return false;
    const i64 corners[4][2] = {{candidate.left, candidate.top},
                               {candidate.right, candidate.top},
                               {candidate.left, candidate.bottom},
                               {candidate.right, candidate.bottom}};
    const i64 parentCorners[4][2] = {{0, 0}, {W, 0}, {0, H}, {W, H}};
    for (const auto& c : corners)
        for (const auto& p : parentCorners)
            if (c[0] == p[0] && c[1] == p[1]) score -= 2;
    bool possible = true;
    ForEachEntry(subs, [&](const String&, Texture* other) {
        if (!possible || !other->inParentPixels) return;
        const IntRect& r = other->rect;
        const bool overlapX = Overlaps1(candidate.left, candidate.right, r.left, r.right);
        const bool overlapY = Overlaps1(candidate.top, candidate.bottom, r.top, r.bottom);
        if (overlapX && overlapY) {
            if (other->placement != 0) {
                possible = false;
                return;
            }
            overlapped.Add(other);
            coveredArea += (static_cast<i64>(r.right) - r.left) * (static_cast<i64>(r.bottom) - r.top);
            return;
        }
        const bool touchX = candidate.right == r.left || r.right == candidate.left;
        const bool touchY = candidate.bottom == r.top || r.bottom == candidate.top;
        if ((overlapX && touchY) || (overlapY && touchX)) {
            const i64 others[4][2] = {{r.left, r.top}, {r.right, r.top}, {r.left, r.bottom}, {r.right, r.bottom}};
            for (const auto& c : corners)
                for (const auto& o : others)
                    if (c[0] == o[0] && c[1] == o[1]) score -= 2;
        }
    });
    return possible;
}

bool Texture::PlaceSub(Texture* sub, Array<Texture*>& moved, i32 depth) {
    if (link) return Resolved()->PlaceSub(sub, moved, depth);
    if (parent || !sub) return false;
    sub->inParentPixels = 1;  // a placed rectangle is one of this texture's pixels
    i64 w, h;
    OwnSize(sub, sub->levelDesc, w, h);
    const i64 W = static_cast<i32>(levelDesc.Width);
    const i64 H = static_cast<i32>(levelDesc.Height);
    if (w < 0 || h < 0 || w > W || h > H) return false;

    Array<IntPair> starts;
    auto addStart = [&](i64 x, i64 y) {
        if (x < 0 || y < 0 || x + w > W || y + h > H) return;  // outside the parent: never possible
        IntPair p;
        p.x = static_cast<i32>(x);
        p.y = static_cast<i32>(y);
        starts.Add(p);
    };
    addStart(0, 0);
    addStart(W - w, 0);
    addStart(0, H - h);
    addStart(W - w, H - h);
    ForEachEntry(subs, [&](const String&, Texture* other) {
        if (!other->inParentPixels || other == sub) return;
        const i64 L = other->rect.left, T = other->rect.top, R = other->rect.right, B = other->rect.bottom;
        addStart(L, T - h);
        addStart(R - w, T - h);
        addStart(L, B);
        addStart(R - w, B);
        addStart(L - w, T);
        addStart(L - w, B - h);
        addStart(R, T);
        addStart(R, B - h);
    });

    bool found = false;
    IntRect best(0, 0, 0, 0);
    i64 bestArea = 0;
    i32 bestScore = 0;
    Array<Texture*> bestOverlapped;
    Array<Texture*> overlapped;
    for (const IntPair& s : starts) {
        const IntRect candidate(s.x, s.y, static_cast<i32>(s.x + w), static_cast<i32>(s.y + h));
        i64 area;
        i32 score;
        if (!ScorePlacement(candidate, area, score, overlapped)) continue;
        if (!found || area < bestArea || (area == bestArea && score < bestScore)) {
            found = true;
            best = candidate;
            bestArea = area;
            bestScore = score;
            bestOverlapped = overlapped;
        }
    }
    if (!found) return false;
    if (bestOverlapped.count == 0) {
        sub->rect = best;
        subs.Insert(sub->name, sub);
        moved.Add(sub);
        return true;
    }
    if (depth <= 0) return false;

    // Everything this attempt may change, to put back when it fails.
    Array<SavedPlace> before;
    ForEachEntry(subs, [&](const String&, Texture* other) { before.Add(SavedPlace{other, other->rect, other->placement}); });
    const IntRect subRect = sub->rect;
    const u32 subPlacement = sub->placement;
    const i32 movedCount = moved.count;

    for (Texture* other : bestOverlapped) subs.Remove(other->name);
    sub->rect = best;
    sub->placement = 1;
    subs.Insert(sub->name, sub);
    bool ok = true;
    for (Texture* other : bestOverlapped) {
        if (!PlaceSub(other, moved, depth - 1)) {
            ok = false;
            break;
        }
    }
    if (ok) {
        sub->placement = 0;
        moved.Add(sub);
        return true;
    }
    subs.Clear();
    for (const SavedPlace& place : before) {
        place.sub->rect = place.rect;
        place.sub->placement = place.placement;
        subs.Insert(place.sub->name, place.sub);
    }
    sub->rect = subRect;
    sub->placement = subPlacement;
    moved.Resize(movedCount);
    return false;
}
