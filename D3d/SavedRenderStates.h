// Six blend and depth states saved, replaced and put back around a drawing pass: alpha
// blending with its source and destination factors, the two depth biases, and depth
// writes. An effect that draws one selection in several techniques saves them before the
// second technique (blending on, depth writes off, a depth bias) and, unless told
// otherwise, locks them so that the techniques' own state writes through the state cache
// cannot undo them until Restore.
#pragma once

#include "Core/Types.h"

// Bits of the flags given to Save.
enum SavedRenderStateFlags : u32 {
    kSavedNoLock = 1,        // leave the six states unlocked
    kSavedForce = 2,         // send the new values even where the cache holds them
    kSavedAddDepthBias = 4,  // the depth bias adds to the saved one; the slope bias is at least the saved one
};

class SavedRenderStates {
public:
    SavedRenderStates();

    // Saves the six states and sets the new ones; nothing while already active.
    void Save(u8 alphaBlendEnable, u32 srcBlend, u32 destBlend, u32 flags, float depthBias,
              float slopeScaleDepthBias);
    // Puts the saved values back (and lifts the locks Save set), active or not.
    void Restore();
    bool IsActive() const { return active != 0; }

    u8 active;
    u32 srcBlend;
    u32 destBlend;
    u32 depthBias;            // float bits
    u32 slopeScaleDepthBias;  // float bits
    u32 zWriteEnable;
    u32 alphaBlendEnable;
    u32 flags;
};
