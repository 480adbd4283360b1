// Dunmerrow: the product scene, a desert landscape with a great pyramid, a monument of
// gold figures, palms and five glowing points of magic, through a whole day and night.
// It is the full-screen saver with a scene: LoadCustom loads the models and regroups their
// nodes into the groups each frame draws through its own view (sky, ground, monument),
// RenderScene turns the scene time into a day fraction that moves the sun and the moon,
// switches the sky boxes and the camera flights, draws the shadow map and the world into
// a render target, and shows that target through the distortion view. Update keeps the
// music's volume ramp and listener; ReleaseCustom stops the music.
//
// The sun and moon are spot lights that are never switched on: effects read them as the
// shadow-casting light (the ground view's lighting holds the active one), the fixed-function
// path never sees them. They carry no range, so their shadow camera is orthographic over
// the box RenderScene sets each frame.
#pragma once

#include "Core/FColor.h"
#include "Core/Object.h"
#include "Core/Parameter.h"
#include "Core/Timer.h"
#include "Core/Types.h"
#include "Core/Vector.h"
#include "D3d/RenderTarget.h"
#include "Effect/Light.h"
#include "Effect/ShadowMapRenderer.h"
#include "Gui/RichTextWindow.h"
#include "Scene/AdvScene.h"
#include "Screen/Music.h"
#include "Screen/ScreenSaverFull.h"

#include "Dunmerrow/GlowRayMesh.h"
#include "Dunmerrow/MagicHolder.h"
#include "Dunmerrow/TimeOfDay.h"
#include "Dunmerrow/ViewCell.h"

class Hierarchy;
class Material;
class RenderView;
class SceneCamera;
class Texture;

// The scene's own model kind: the landmark group and the flare models.
class SceneModel : public AdvScene {
public:
    SceneModel() = default;
    ~SceneModel() override = default;
};

// The sun's lens flare: the camera it follows, where the light comes from, the nodes
// strung along the line through the view's centre, and the distance of that centre.
struct FlareRecord {
    SceneCamera* camera = nullptr;
    Vec3 source{0.0f, 0.0f, 0.0f};
    Hierarchy* nodes[7] = {};
    u32 count = 0;
    f32 distance = 10000.0f;
};

// One sky box: its five faces (up, front, back, left, right) and the day fraction it
// starts at.
struct SkySet {
    Texture* faces[5] = {};
    f32 start = 0.0f;
};

// What the day cycle keeps from frame to frame.
struct DayCycleState {
    i32 nextDayPart = 0;      // index into CameraTimes of the next camera-list switch
    i32 currentDayPart = 0;   // published as "DayPart"
    i32 nextSky = -1;         // -1 until first use, then the next entry of the sky table
    i32 shadowFrame = 0;      // frames modulo ShadowDelay; 0: the shadow map is drawn
    f32 flicker = 0.0f;       // the light-map node's brightness
    Vec3 lightDirection{0.0f, 0.0f, 0.0f};
    // What the last frame worked out, for the overlays and the tests.
    f32 fraction = 0.0f;      // t, the day fraction
    f32 height = 0.0f;        // h, the sun's height 0..1
    FColor groundColour;
    FColor sunColour;
    FColor moonColour;
    FColor shadowGrey;        // as handed to the shadowed effect with the ground
    u32 shadowMapDraws = 0;   // frames that drew the shadow map
    u32 flareNodesDrawn = 0;  // flare nodes submitted by the last frame
};

class Dunmerrow : public ScreenSaver::Full {
public:
    static constexpr u32 kGlows = 5;
    static constexpr u32 kPalms = 8;
    static constexpr u32 kSkySets = 4;
    static constexpr u32 kFlares = 4;
    static constexpr u32 kWorldMaxWidth = 1280;
    static constexpr u32 kWorldMaxHeight = 1024;

    // Builds the members and turns off the log's master switch, the statistics switch and
    // the effects layer's switch (tests turn them back on).
    Dunmerrow();
    ~Dunmerrow() override;

    void ReadProductSettings(TextDataTree& document) override;
    bool LoadCustom() override;
    bool RenderScene() override;
    bool Update() override;
    void ReleaseCustom() override;

    // ---- the pieces of loading and of a frame, each testable on its own ---------------
    // The day length in ms of a setting 0..100 (clamped), in 64 bits, at least 1.
    static i32 DayLengthMs(i32 setting, i32 minLength, i32 maxLength);
    // The shadow-map size of a quality 0..100 (clamped): q = setting x 2048 / 100, with
    // 128..1024 rounded up to a power of two.
    static i32 ShadowMapSize(i32 setting);
    // The day fraction now, restarting the day timer when a day has passed.
    f32 DayFraction();
    // The camera-list switch of day fraction t (not in the debug mode).
    void UpdateCameraLists(f32 t);
    // The sky boxes and their fade at day fraction t.
    void UpdateSky(f32 t);
    // The light-map node's flicker.
    void UpdateLightMap();
    // The lens flare of the record, drawn with the view.
    void RenderFlare(FlareRecord& flare, RenderView& view);
    // Whether the segment from a to b crosses a face of the landmark's bounding box.
    bool LandmarkHides(const Vec3& a, const Vec3& b) const;
    // The uniform scale of flare node i of n at the angle theta (radians) off the view.
    static f32 FlareScale(u32 i, u32 n, f32 theta);
    // The factor alpha of the sky fade: r x 25 within 0..1 (1 where the fade starts).
    static f32 SkyFadeAlpha(f32 r);
    // The extent of the shadow box for an eye at height y looking down by d (0..1).
    static f32 ShadowExtent(i32 area, f32 y, f32 d);
    // A texture of the media loaded for the scene itself (sky faces, sprites, the
    // displacement and magic textures), given back when the scene goes; null when it
    // cannot be loaded or the scene holds kOwnTextures already.
    Texture* LoadOwnTexture(const String& name);
    void ReleaseOwnTextures();
    // Deletes the landmark node, which loading took out of the ground and owns.
    void ReleaseDetachedNodes();
    // The scene's settings that the time of day is worked out from.
    DaySettings CurrentDaySettings() const;

    // ---- the scene's settings (keys of the screen parameters) -------------------------
    StringParameter MusicFile;
    FloatArrayParameter CameraTimes;
    StringListArrayParameter Cameras;
    ColorParameter GoldColor;
    ColorParameter SunLight;
    ColorParameter MoonLight;
    ColorParameter AmbientLight;
    FloatParameter ShadowLightness;
    FloatParameter PyrShadow;
    BoolParameter ShadowsEnabled;
    IntParameter ShadowDelay;
    IntParameter ShadowArea;
    FloatParameter DistAmount;
    FloatParameter Scale;
    BoolParameter IsAnimated;
    FloatParameter AnkhSpeed;
    FloatParameter CloudSpeed;
    IntParameter MaxMagic;
    Vec3ArrayParameter GlowPos;
    ColorArrayParameter GlowCol;
    FloatArrayParameter GlowSize;
    IntArrayParameter GlowRays;
    // The dialog's texts.
    StringParameter MesShadowQual;
    StringParameter MesDayLength;
    StringParameter MesDayOpt;

    // ---- models and nodes ---------------------------------------------------------------
    AdvScene ground;
    AdvScene sky;
    AdvScene box;
    AdvScene monuments;
    AdvScene sunQuad;
    AdvScene moonQuad;
    AdvScene palm;
    FlareRecord flare;
    SceneModel flares[kFlares];
    ViewCell viewCell;
    Hierarchy* ankh = nullptr;
    Hierarchy* lightMap = nullptr;
    GlowRayMesh glows[kGlows];
    Vec3 palmPositions[kPalms] = {};
    u32 palmCount = 0;
    SkySet skyTable[kSkySets];
    Material* skyMaterials[5] = {};
    i32 currentSky = 0;
    Hierarchy* landmark = nullptr;  // owned: taken out of the ground by loading
    SceneModel landmarkGroup;
    RichTextWindow text;
    ShadowMapRenderer shadowMap;
    RenderTarget world;
    MagicHolder magic[kGlows];
    RefHandle<Light> sunLight;
    RefHandle<Light> moonLight;
    bool bumpEffect = false;
    Timer dayTimer;
    Timer ankhTimer;
    ::Music music;
    DayCycleState day;
    // Sky faces (20), sun, moon, displacement and one magic texture per glow.
    static constexpr u32 kOwnTextures = 32;
    Texture* ownTextures[kOwnTextures] = {};
    u32 ownTextureCount = 0;

private:
    // ---- the steps of RenderScene, in the order it takes them --------------------------
    struct Frame;
    // The day part and the device's free texture memory, into the frame's statistics.
    void PublishStatistics();
    // The sky boxes, the light map's flicker, the ankh and the colours of the day.
    void ApplyDay(const TimeOfDay& now);
    void TurnAnkh();
    void PlaceSunAndMoon(const TimeOfDay& now, Frame& frame);
    void AimShadowLights(const TimeOfDay& now, const Frame& frame);
    void SetUpViews(const TimeOfDay& now, Frame& frame);
    // The shadow map, every ShadowDelay-th frame; the shadowed effect's parameters always.
    void RenderShadowPass(Frame& frame);
    // Sky, ground, landmarks and palms, what the ground view queued, the monument.
    void RenderWorld(const TimeOfDay& now, Frame& frame);
    // The palms at each of their positions, when the scene is animated.
    void CullPalms(RenderView& view);
    void RenderGlowsAndFlare(const TimeOfDay& now, Frame& frame);
};

// The product's mode objects: the preview and the configuration dialog of the saver, and
// the product scene for every full-screen mode (0, 2 and 4, and any mode not known).
// Null when the object cannot be built.
ScreenSaver* CreateProductSaver(i32 mode);
