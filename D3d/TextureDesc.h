// The request record for a texture: which file, which creation parameters (each one
// counted only when its mask bit is set, and then also required of a loaded texture that
// is to be shared), which part of it, and how to search. The texture manager fills in the
// path it found; Texture::Create reads the creation parameters from it.
#pragma once

#include <d3d9.h>

#include "Core/IntRect.h"
#include "Core/Path.h"
#include "Core/String.h"
#include "Core/Types.h"

class Texture;

enum TextureDescFlags : u32 {
    TEXDESC_FORMAT = 0x1,
    TEXDESC_COLORKEY = 0x2,
    TEXDESC_SIZE = 0x4,
    TEXDESC_USAGE = 0x8,
    TEXDESC_POOL = 0x10,
    TEXDESC_FILTER = 0x20,
    TEXDESC_LEVELS = 0x40,
    TEXDESC_PART_NAME = 0x80,           // the part named partName: an animation or a sub-texture
    TEXDESC_PART_RECT = 0x100,          // the sub-texture whose rectangle is partRect
    TEXDESC_USE_GIVEN = 0x200,          // no file search: work on `source`
    TEXDESC_FROM_SCRIPT = 0x400,        // asked for by a script: an animated texture gives its first animation
    TEXDESC_NO_SCRIPT = 0x800,          // do not look for a texture script beside the image
    TEXDESC_TRY_EXTENSIONS = 0x1000,    // try the other image extensions too
    TEXDESC_NOT_DEVICE_OBJECT = 0x2000, // the owner restores and invalidates the texture
};

// The bits that say which creation parameters were given.
constexpr u32 kTextureDescParameterMask = 0x7F;

struct TextureDesc {
    Texture* source = nullptr;
    u8 isCube = 0;
    u32 reserved = 0;
    patht path;
    String partName;
    IntRect partRect{0, 0, 0, 0};
    u32 width = 0;
    u32 height = 0;
    u32 levels = 0;
    u32 usage = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DPOOL pool = D3DPOOL_MANAGED;
    u32 filter = 0;
    u32 mipFilter = 0;
    u32 colorKey = 0;
    u8 alwaysNew = 0;
    u8 findOnly = 0;
    u8 clearSubs = 0;
    u8 deferred = 0;
    u32 flags = 0;
};
