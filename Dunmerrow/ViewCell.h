// The distortion view: a copy of a flat model node that fills a 1 x 1 orthographic view
// and shows the frame drawn into the world render target through the distortion effect
// (a displacement texture moving with the eye and the time). Without that effect the
// copy shows the world texture with fixed-function texturing, so the scene still shows.
#pragma once

#include "Core/Timer.h"
#include "Core/Types.h"
#include "Core/Vector.h"
#include "Scene/RenderView.h"

class DistortEffect;
class Effect;
class Hierarchy;
class Texture;

class ViewCell {
public:
    ViewCell() = default;
    ~ViewCell();
    ViewCell(const ViewCell&) = delete;
    ViewCell& operator=(const ViewCell&) = delete;

    // Clones node with its subtree, sets the orthographic camera (near 0.1, 1 x 1, depth
    // 2) and the clone's material: the effect, the world texture in slot 0, the
    // displacement texture in slot 1 with 0.2. Without the effect: "Distort effect not
    // loaded" under WARNINGS and the fixed-function fallback. A null node: false.
    bool Create(Hierarchy* node, Texture* world, Texture* displacement, Effect* effect);
    // Each frame: with the distortion effect, its vector (eye x 0.4, eye.y x 0.4 + A,
    // eye.z x 0.4) with A = (1 - distAmount x h) x 300; the cell's time from its timer,
    // starting again every 1000 s (the displacement's scroll period); the clone submitted
    // with the cell's own view.
    void Render(const Vec3& eye, f32 distAmount, f32 h);
    void Release();

    Hierarchy* Clone() const { return clone; }
    DistortEffect* Distort() const { return distort; }
    RenderView& View() { return view; }
    Timer& CellTimer() { return timer; }
    f32 Time() const { return seconds; }

private:
    Hierarchy* clone = nullptr;
    RenderView view;
    Timer timer;
    f32 seconds = 0.0f;
    DistortEffect* distort = nullptr;
};
