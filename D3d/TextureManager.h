// The program's textures, shared by name. Load finds the file a request names (trying the
// other image extensions when asked, and a texture script of the same stem beside it
// first), hands out the texture already loaded from it when the masked parameters match,
// and otherwise makes a new one; parts of a texture (sub-textures, animation instances)
// are looked up or made on the way. Every Load adds one reference and every Release takes
// one back; a texture goes when its count reaches zero.
//
// A texture may be known under several names and a name may hold several textures (one
// file loaded with different parameters). The sets keep the order in which their entries
// came, so which of several matching textures is found is repeatable.
#pragma once

#include <stdint.h>

#include "Core/MemFile.h"
#include "Core/OrderedMap.h"
#include "Core/Path.h"
#include "D3d/TextureDesc.h"

class Texture;

struct PathOrder {
    int operator()(const patht& a, const patht& b) const { return a.Compare(b); }
};
struct TexturePointerOrder {
    int operator()(const Texture* a, const Texture* b) const {
        const uintptr_t x = reinterpret_cast<uintptr_t>(a), y = reinterpret_cast<uintptr_t>(b);
        return x < y ? -1 : (y < x ? 1 : 0);
    }
};

class TextureManager {
public:
    using TextureSet = OrderedMap<Texture*, NoValue, TexturePointerOrder>;
    using PathSet = OrderedMap<patht, NoValue, PathOrder>;

    TextureManager() = default;
    TextureManager(const TextureManager&) = delete;
    TextureManager& operator=(const TextureManager&) = delete;
    ~TextureManager();

    // The texture (or part) the request names, with one reference added; null when no
    // file is found, the texture cannot be made or the part does not exist. `desc` is
    // changed on the way: its path becomes the file found.
    Texture* Load(TextureDesc& desc, MemFile* searchFirst);
    // Gives back one reference; null and textures the manager does not know are ignored.
    void Release(Texture* texture);
    void AddName(Texture* texture, const patht& name);
    // Removes every name of the texture; the texture itself is left as it is.
    void Forget(Texture* texture);
    // The names under which other subsystems register and drop textures.
    void AddOwner(Texture* texture, const patht& name) { AddName(texture, name); }
    void RemoveOwner(Texture* texture) { Forget(texture); }

    // Whether the manager holds the texture under any name.
    bool Knows(Texture* texture) const { return namesByTexture.Contains(texture); }
    u32 TextureCount() const { return namesByTexture.count; }
    // Deletes every texture and forgets every name (tests start from nothing with it).
    void Reset();
    MemFile& SearchPaths() { return files; }

    // The image extensions tried for a name, in order.
    static u32 CandidateExtensions(const String& extension, bool tryOthers, String out[6]);

private:
    bool Matches(Texture* texture, const TextureDesc& desc);
    // Steps that pick the part a request asks for; null when it cannot be had.
    Texture* PickPart(Texture* texture, TextureDesc& desc, bool& asked);

    MemFile files;
    OrderedMap<patht, TextureSet*, PathOrder> texturesByName;
    OrderedMap<Texture*, PathSet*, TexturePointerOrder> namesByTexture;
};

// The program-wide texture manager.
TextureManager& TheTextureManager();
