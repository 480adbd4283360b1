// The texture manager's search, sharing and reference counting. The manager is a
// program-wide object: it is built before the entry point and deletes what is still
// loaded after it returns (Core/ProgramObjects.cpp says where it stands among the others).
#include "D3d/TextureManager.h"

#include "D3d/FontManager.h"
#include "D3d/Texture.h"

namespace {

// The walk over a set in the order its entries came; fn must not change the set.
template <class Map, class Fn>
void ForEachEntry(const Map& map, Fn&& fn) {
    if (map.count == 0) return;
    const typename Map::Node* entry = map.first;
    for (u32 i = 0; i < map.count; ++i, entry = entry->next) fn(entry->key);
}

}  // namespace

TextureManager g_textureManager;
// Defined here, after the texture manager, so that it goes first at exit: its charsets
// give their textures back to a manager that still exists.
FontManager g_fontManager;

TextureManager& TheTextureManager() { return g_textureManager; }
FontManager& TheFontManager() { return g_fontManager; }

TextureManager::~TextureManager() { Reset(); }

void TextureManager::Reset() {
    while (namesByTexture.count) {
        Texture* texture = namesByTexture.first->key;
        Forget(texture);
        delete texture;
    }
    texturesByName.CursorWalk([](const patht&, TextureSet*& set) { delete set; });
    texturesByName.Clear();
}

u32 TextureManager::CandidateExtensions(const String& extension, bool tryOthers, String out[6]) {
    static const char* const kImageExtensions[5] = {"tga", "jpg", "dds", "bmp", "png"};
    if (!tryOthers) {
        out[0] = extension;
        return 1;
    }
    for (u32 i = 0; i < 5; ++i) out[i] = String(kImageExtensions[i]);
    for (u32 i = 0; i < 5; ++i) {
        if (String::Equals(extension, out[i])) {
            String first = out[0];
            out[0] = out[i];
            out[i] = first;
            return 5;
        }
    }
    // An extension of its own goes first; the first image extension moves to the end.
    out[5] = out[0];
    for (u32 i = 0; i < 4; ++i) out[i + 1] = String(kImageExtensions[i + 1]);
    out[0] = extension;
    return 6;
}

bool TextureManager::Matches(Texture* texture, const TextureDesc& desc) {
    Texture* t = texture->Resolved();
    const u32 f = desc.flags;
    if ((f & TEXDESC_FORMAT) && t->levelDesc.Format != desc.format) return false;
    if ((f & TEXDESC_COLORKEY) && t->colorKey != desc.colorKey) return false;
    if ((f & TEXDESC_SIZE) && (t->levelDesc.Width != desc.width || t->levelDesc.Height != desc.height)) return false;
    if ((f & TEXDESC_USAGE) && t->levelDesc.Usage != desc.usage) return false;
    if ((f & TEXDESC_POOL) && t->levelDesc.Pool != desc.pool) return false;
    if ((f & TEXDESC_FILTER) && (t->filter != desc.filter || t->mipFilter != desc.mipFilter)) return false;
    if ((f & TEXDESC_LEVELS) && t->levels != desc.levels) return false;
    return true;
}

Texture* TextureManager::PickPart(Texture* texture, TextureDesc& desc, bool& asked) {
    if ((desc.flags & TEXDESC_FROM_SCRIPT) && texture->HasAnimations()) {
        desc.flags |= TEXDESC_PART_NAME;
        desc.partName = texture->GetAnimations().first->key;
    }
    asked = (desc.flags & (TEXDESC_PART_NAME | TEXDESC_PART_RECT)) != 0;
    if (!asked) return nullptr;
    Texture* part = texture->LookupPart(desc);
    if (!part && !desc.findOnly) part = texture->CreatePart(desc);
    return part;
}

Texture* TextureManager::Load(TextureDesc& desc, MemFile* searchFirst) {
    if (desc.flags & TEXDESC_USE_GIVEN) {
        Texture* source = desc.source;
        if (!source) return nullptr;
        Texture* part = nullptr;
        if (desc.flags & (TEXDESC_PART_NAME | TEXDESC_PART_RECT)) {
            part = source->LookupPart(desc);
            if (!part && !desc.findOnly) part = source->CreatePart(desc);
            if (!part) return nullptr;
            part->AddRef();
        }
        source->AddRef();
        return part ? part : source;
    }

    if (desc.path.flags & (kPathDisk | kPathArchive)) {
        const String requested = desc.path.name;
        String extensions[6];
        const u32 count = CandidateExtensions(GetExtension(requested), (desc.flags & TEXDESC_TRY_EXTENSIONS) != 0,
                                              extensions);
        const String base = GetFolderWithSlash(requested) + StripExtension(requested);
        bool found = false;
        patht winner;
        for (u32 pass = searchFirst ? 0 : 1; pass < 2 && !found; ++pass) {
            for (u32 i = 0; i < count && !found; ++i) {
                patht candidate = desc.path;
                candidate.name = base + "." + extensions[i];
                if (pass == 0 ? searchFirst->Resolve(candidate) : files.ResolveDefault(candidate)) {
                    found = true;
                    winner = candidate;
                }
            }
        }
        if (found) desc.path = winner;

        const String file = GetFileName(desc.path.name);
        const bool isScript = String::EqualsText(GetExtension(file), "ts");
        bool hasColon = false;
        for (u32 i = 0; i < file.length; ++i) hasColon = hasColon || file.CharAt(i) == ':';
        if (!(desc.flags & TEXDESC_NO_SCRIPT) && !isScript && !hasColon) {
            // Beside the image: a name without a folder looks in the same place the name does.
            const String folder = GetFolder(desc.path.name);
            patht script = desc.path;
            script.name = (folder.IsEmpty() ? String() : folder + "/") + StripExtension(file) + ".ts";
            MemFile fresh;
            if (fresh.Resolve(script)) {
                TextureDesc copy = desc;
                copy.path = script;
                copy.flags |= TEXDESC_FROM_SCRIPT;
                return Load(copy, nullptr);
            }
        }
        if (!found) return nullptr;
    }

    if (!desc.alwaysNew) {
        if (auto* entry = texturesByName.Find(desc.path)) {
            Texture* result = nullptr;
            ForEachEntry(*entry->value, [&](Texture* texture) {
                if (result || !Matches(texture, desc)) return;
                bool asked = false;
                Texture* part = PickPart(texture, desc, asked);
                if (!asked) {
                    texture->AddRef();
                    result = texture;
                } else if (part) {
                    part->AddRef();
                    texture->AddRef();
                    result = part;
                }
            });
            if (result) return result;
        }
    }

    if (desc.findOnly) return nullptr;
    Texture* texture = new Texture;
    if (desc.flags & TEXDESC_NOT_DEVICE_OBJECT) texture->detached = 1;
    if (!texture->Create(desc)) {
        delete texture;
        return nullptr;
    }
    bool asked = false;
    Texture* part = PickPart(texture, desc, asked);
    if (asked && !part) {
        delete texture;
        return nullptr;
    }
    AddName(texture, desc.path);
    texture->AddRef();
    if (part) {
        part->AddRef();
        return part;
    }
    return texture;
}

void TextureManager::Release(Texture* texture) {
    if (!texture) return;
    if (texture->animated) {
        Texture* owner = texture->parent;
        texture->parent = nullptr;  // the instance is in no map of its parent's
        Release(owner);
        delete texture;
        return;
    }
    if (texture->parent) {
        Release(texture->parent);
        return;
    }
    if (!namesByTexture.Contains(texture)) return;
    texture->Object::Release();
    if (texture->GetRefCount() != 0) return;
    Forget(texture);
    delete texture;
}

void TextureManager::AddName(Texture* texture, const patht& name) {
    if (!texture) return;
    auto* names = namesByTexture.Find(texture);
    if (!names) names = namesByTexture.Insert(texture, new PathSet);
    if (!names->value->Contains(name)) names->value->Insert(name);
    auto* textures = texturesByName.Find(name);
    if (!textures) textures = texturesByName.Insert(name, new TextureSet);
    if (!textures->value->Contains(texture)) textures->value->Insert(texture);
}

void TextureManager::Forget(Texture* texture) {
    auto* names = namesByTexture.Find(texture);
    if (!names) return;
    PathSet* set = names->value;
    ForEachEntry(*set, [&](const patht& name) {
        auto* textures = texturesByName.Find(name);
        if (!textures) return;
        textures->value->Remove(texture);
        if (textures->value->count == 0) {
            delete textures->value;
            texturesByName.Remove(name);
        }
    });
    namesByTexture.Remove(texture);
    delete set;
}
