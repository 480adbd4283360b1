// What one drawable needs to know about the view it is drawn in: which effect overrides its
// materials, where it stands in a batch of items drawn with one effect, the lights that
// reach it, its box, the matrices of the view and the eye. The scene fills one per queued
// item (or per node when nothing is queued); a material points at the context of the item
// being drawn while its set-up operations run.
//
// A matrix slot is sent to the device only while its valid word is set. The fifth slot
// caches the inverse of the world matrix for the effect parameters that need the eye or
// the lights in object space; whoever changes the world slot clears its valid word.
#pragma once

#include "Core/Bounded.h"
#include "Core/Matrix.h"
#include "Core/Object.h"
#include "Core/Types.h"
#include "Core/Vector.h"
#include "Effect/LightingInfo.h"

class Effect;
class SceneCamera;

enum RenderBatchFlags : u32 {
    kBatchFirst = 1,   // the first item of an effect batch: selects and begins
    kBatchLast = 2,    // the last item: ends the effect
    kBatchInside = 4,  // between the two: only parameters and the draw
};

enum RenderSceneFlags : u32 {
    kSceneGroupByEffect = 64,  // the queue may group the item with others of its effect
};

struct RenderContext {
    Effect* overrideEffect = nullptr;  // draws layer 0 of every material when set
    u32 batchFlags = 0;                // RenderBatchFlags
    u32 sceneFlags = 0;                // RenderSceneFlags and the scene's own pass bits
    u32 ticks = 0;                     // the frame time in seconds, as float bits
    RefHandle<LightingInfo> lighting;  // whose signature is the light-set key
    Box box;                           // what is drawn, in world space
    Matrix world;
    Matrix view;
    Matrix projection;
    Matrix viewProjection;
    Matrix inverseWorld;  // a cache of the world's inverse
    Vec3 eye{0.0f, 0.0f, 0.0f};

    // Every slot holds the identity with kind 0 and valid 0: nothing is sent until set.
    RenderContext();

    // The light-set key of the lights gathered for the object; 0 without lighting.
    u32 LightSetKey() const { return lighting ? lighting->signature : 0; }
    void SetTicks(f32 seconds);
    f32 GetTicks() const;

    // world x view and world x view-projection through the kind-driven product; the
    // result is valid.
    Matrix GetWorldView() const;
    Matrix GetWorldViewProjection() const;
    // The inverse of the world slot, computed into the fifth slot when it is not valid.
    // A singular world leaves the identity there.
    const Matrix& GetInverseWorld();
    // Copies the camera's view, projection and view-projection (updating the camera first
    // when it is dirty) and its eye position.
    void SetCamera(SceneCamera& camera);
};
