// The full-screen saver: the mode object of run modes 0, 2 and 4. Create makes the window
// and the device, sets the display mode, shows the loading screen while fonts, effects and
// the scene load, picks the first camera flight and fades the loading screen out. Run pumps
// messages and input and draws frames (DoRender) until Escape, Space, a mouse button or a
// mouse movement ends it. A product scene derives from it and fills LoadCustom, RenderScene,
// Update and ReleaseCustom; the base versions load and draw nothing, so the class runs on
// its own as an empty scene with its overlays.
//
// The camera has two parts: FlightPath, the flight being played from a ".cam" path, and
// Camera, the free camera that input moves in the debug mode and that takes the flight's
// place at each flight start. Both are owned here and live from construction to destruction.
// The flights are read at start-up and kept (Flights), so that the frame in which one
// flight ends and the next begins copies keys instead of waiting on the media.
#pragma once

#include <windows.h>

#include <d3d9.h>

#include "Core/FColor.h"
#include "Core/List.h"
#include "Core/MemoryBuffer.h"
#include "Core/Parameter.h"
#include "Core/Path.h"
#include "Core/String.h"
#include "Core/Timer.h"
#include "Core/Types.h"
#include "D3d/EventReceiver.h"
#include "D3d/InputDevice.h"
#include "Effect/SceneCamera.h"
#include "Gui/RichTextWindow.h"
#include "Screen/FlightLibrary.h"
#include "Screen/SceneParams.h"
#include "Screen/ScreenSaver.h"

class CameraBase;
class CameraPath;
class RenderTarget;
class Texture;
class TextDataTree;

// The scene keys (colours, planes, fog, field of view, camera speed, the flights and their
// debug key spacing) are the SceneParams part: BgColor, Ambient, Fov, NearPlane, FarPlane,
// FogEnable, FogColor, FogStart, FogEnd, CamSpeed, Animations, AnimLength.
class ScreenSaver::Full : public ScreenSaver, public EventReceiver, public SceneParams {
public:
    // The slots of LoadingTextures, one per loading-screen image.
    enum LoadingImage : u32 {
        kLoadingBackground = 0,  // resource 162, the whole screen
        kLoadingSmallA = 1,      // resource 155, loaded, never drawn
        kLoadingSmallB = 2,      // resource 154, loaded, never drawn
        kLoadingTopLeft = 3,     // resource 151
        kLoadingBottomRight = 4, // resource 152
        kLoadingBottomLeft = 5,  // resource 150
        kLoadingTopRight = 6,    // resource 153
        kLoadingImages = 7,
    };
    // Where RenderLayer puts a layer (W, H the screen; w, h the image).
    enum Placement : i32 {
        kPlaceFull = 1,         // (0, 0, W, H)
        kPlaceBottomRight = 2,  // (W - w, H - h, W, H)
        kPlaceBottomLeft = 4,   // (0, H - h, w, H)
        kPlaceTopLeft = 5,      // (0, 0, w, h)
        kPlaceTopRight = 6,     // (W - w, 0, W, h)
    };
    // The resource numbers of the loading images, by slot.
    static constexpr u16 kLoadingResources[kLoadingImages] = {162, 155, 154, 151, 152, 150, 153};
    // The media archive inside the executable.
    static constexpr u16 kArchiveResource = 125;
    // How long the loading screen takes to fade out, ms.
    static constexpr u64 kLoadingFadeMs = 200;
    // A flight fades in over its first and out over its last this many time units.
    static constexpr f32 kFadeSpan = 2000.0f;
    // The keep-alive key press interval of the main loop, ms.
    static constexpr u64 kKeepAliveMs = 30000;
    // Mouse movements end the saver only this long after start-up, ms.
    static constexpr u64 kMoveGraceMs = 1000;

    Full();
    ~Full() override;

    // ---- start-up ----------------------------------------------------------------------
    // Configuration, window, device, display mode, loading screen, input, camera, fonts,
    // overlays, effects, the scene and the first flight. False, logged, when the saver
    // cannot run; the cursor is shown again on every failure after it was hidden.
    bool Create(HINSTANCE instance, HWND parent) override;
    // The scene keys, then the common settings.
    void ReadCommonSettings(TextDataTree& document) override;
    void ReadSceneParams(TextDataTree& document);
    // One flight read again from "Media/" + name and kept (nothing when the file cannot be
    // opened), then played (PlayFlight).
    void LoadCameraPath(const String& name);
    // Reads and keeps every flight of the list not kept yet; one without keys is logged.
    void KeepFlights(const StringList& names);
    // One flight: stores the name under the program-wide key "Camera", clears FlightPath's
    // tracks and fills them with the kept keys of that name. A flight not kept yet is read
    // and kept first.
    void PlayFlight(const String& name);
    // Advances the cursor of Animations by rand() modulo its count (from the current entry,
    // wrapping) and plays that flight; false, nothing loaded, when Animations is empty.
    bool LoadRandomFlight();
    // The end of a flight: the current entry moves to UsedAnimations (all come back once
    // Animations is empty) and the next is drawn at random; then the flight restarts from
    // its first key, Camera takes its place and PathActive is set.
    void NextFlight();

    // ---- the main loop -----------------------------------------------------------------
    int Run() override;
    LRESULT MsgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void RecieveEvent(EVENT event) override;
    // The debug controls of a key-up (scan code) while DebugMode is set.
    void HandleDebugKey(u32 scanCode);
    // The clock overlay's text: "h:mm:ss am", "h:mm:ss pm", or with hours24 "H:mm:ss ".
    static String FormatClock(u32 hour, u32 minute, u32 second, bool hours24);

    // ---- one frame ---------------------------------------------------------------------
    // False only when a lost device cannot be handled.
    bool DoRender();
    // One loading-screen frame: the layer and the loaded corner images. The result of
    // Present, or false when the device is gone or BeginScene fails.
    bool RenderLayers(Texture* texture, f32 opacity, i32 placement);
    // One textured screen quad, alpha-blended at the opacity.
    void RenderLayer(Texture* texture, f32 opacity, i32 placement);
    // The gamma ramp from Gamma (-100..100: each unit shifts the ramp by 200), then the
    // device objects restored.
    bool ApplyGammaRamp();
    // The ramp of a gamma offset: 256 x i + 200 x gamma, within 0..65535, the same on
    // every channel.
    static void BuildGammaRamp(i32 gamma, D3DGAMMARAMP& ramp);
    bool RestoreDeviceObjects() override;
    // Begins drawing into target with a clear to the colour (0..1 each) and depth 1.0.
    bool BeginTargetWithColour(RenderTarget* target, f32 red, f32 green, f32 blue, f32 alpha);

    // ---- what a scene overrides ----------------------------------------------------------
    virtual void FrameUpdate();
    virtual bool LoadCustom();
    virtual bool RenderScene();
    // The fade to black at the ends of a flight (start is not used).
    virtual void Fade(f32 start, f32 end);
    // A black quad over the whole screen at the opacity.
    virtual void DrawFadeQuad(f32 opacity);
    virtual bool Update();
    virtual void ReleaseCustom();
    // Releases the device, and first what program-wide objects hold of it.
    virtual void Destroy();

    // ---- state ---------------------------------------------------------------------------
    f32 DebugStep = 0.5f;
    f32 PathRate = 1.0f;
    StringList UsedAnimations;
    f32 PathTime = 0.0f;
    u8 PathActive = 1;
    Timer PathTimer;
    Timer StartTimer;
    u8 DebugHold = 0;
    RichTextWindow DebugAnimLengthText;
    RichTextWindow DebugKeyCountText;
    RichTextWindow FpsText;
    RichTextWindow ClockText;
    Texture* LoadingTextures[kLoadingImages] = {};
    SceneCamera ViewCamera;
    // Owned; never null after construction.
    CameraPath* Camera = nullptr;
    CameraBase* FlightPath = nullptr;
    // Every flight read so far, by name.
    FlightLibrary Flights;
    FloatArrayParameter CameraPos;
    FloatParameter CameraAngle;
    InputDevice Input;
    MemoryBuffer Archive;
    f32 ScreenScale = 1.0f;

    // The frames RenderLayers drew during start-up (the loading screen and its fade).
    u32 LoadingFrames = 0;

    // The display-mode request of start-up: full screen at the desktop's mode (UseDesktop)
    // or at Width x Height in X1R5G5B5 (Depth 16) or X8R8G8B8, with 2-sample
    // multisampling when asked.
    DeviceSettings ModeRequest(bool multisample) const;

private:
    bool SelectDisplayMode();
    void LoadLoadingImages();
    void CreateOverlays();
    void ReleaseLoadingImages();
    // What the program-wide objects hold of this saver's device: the debug box's buffer and
    // the lights enabled on it. Before the device goes.
    void ReleaseDeviceBound();
    // The fonts, effects and effect search places start-up gave the program-wide objects.
    void LeaveProgramObjects();
    // The view from FlightPath (moving along the flight) or from Camera.
    void SetupCamera();
    void DrawScreenQuad(Texture* texture, f32 opacity, const IntRect& rect);
};

// "Media/" + name, in the mounted archive first (search flags 3: disk, then archive).
patht MediaPath(const String& name);
// One texture loaded by MediaPath(name) with the default request; null on failure.
Texture* LoadMediaTexture(const String& name);
// The archive MediaPath names; set by Create, null before.
extern MemoryBuffer* MediaArchive;
