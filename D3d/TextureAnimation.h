// Frame animations over the sub-textures of an atlas. A TextureAnimDef is one named
// animation of a texture: its frames in the order they were declared and the length of one
// cycle. A TextureAnimation is the running state of one user: the frame shown, when it
// started and its texture-coordinate rectangle. Advance follows the clock, not the frame
// count, and skips whole cycles with one division, so a clock that jumps far ahead costs
// no walk over the frames.
#pragma once

#include "Core/OrderedMap.h"
#include "Core/String.h"
#include "Core/Types.h"

class Texture;

// The longest frame a script may ask for; longer and negative delays are clamped to
// [0, kMaxFrameDelay] so that a cycle's length always fits and Advance always ends.
constexpr i64 kMaxFrameDelay = 0x7FFFFFFF;

struct TextureAnimDef {
    StringMapOf<Texture*> frames;  // frame name -> the sub-texture shown; never null
    i64 totalMs = 0;               // the sum of the frames' delays

    void ComputeLength();
};

struct TextureAnimation {
    TextureAnimDef* def = nullptr;  // null for a plain part
    Texture* frame = nullptr;
    StringMapOf<Texture*>::Node* cursor = nullptr;
    i64 startMs = 0;
    i64 frameMs = 0;
    f32 texRect[4] = {0, 0, 1, 1};

    // Moves to the frame due at nowMs; true when the frame changed.
    bool Advance(u64 nowMs);
};
