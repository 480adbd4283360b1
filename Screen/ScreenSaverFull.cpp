// The full-screen saver's object and its start-up. The constructor sets the scene's
// defaults before the configuration is read over them; Create then builds everything the
// frames need in one fixed chain, and the loading screen is drawn while the slow steps
// (fonts, effects, the scene) run.
#include "Screen/ScreenSaverFull.h"

#include "Core/D3dxLibrary.h"
#include "Core/HandleParam.h"
#include "Core/Log.h"
#include "Core/ProgramObjects.h"
#include "Core/SettingBinders.h"
#include "Core/StatisticsTable.h"
#include "Core/WString.h"
#include "D3d/DeviceContext.h"
#include "D3d/FontManager.h"
#include "D3d/TextStyle.h"
#include "D3d/TextureManager.h"
#include "Effect/DebugBox.h"
#include "Effect/EffectManager.h"
#include "Effect/LightSet.h"
#include "Gui/WindowManager.h"
#include "Screen/CameraPath.h"
#include "Screen/DirectXCheck.h"
#include "Screen/RenderDefaults.h"

#include <new>
#include <stdlib.h>

namespace {

const char kSource[] = "Screen\\ScreenSaver";
const char kCreateSignature[] = "bool __thiscall ScreenSaver::Full::Create(struct HINSTANCE__ *,struct HWND__ *)";
const char kLoadPathSignature[] = "void __thiscall ScreenSaver::Full::LoadCameraPath(class String)";

LogSite CreateSite(i32 line) { return LogSite(kSource, kCreateSignature, line); }

// The texture of an executable resource of kind "MEMFILE".
Texture* LoadResourceTexture(u16 number) {
    TextureDesc desc;
    desc.path.flags = kPathResource;
    desc.path.number = number;
    return TheTextureManager().Load(desc, nullptr);
}

}  // namespace

MemoryBuffer* MediaArchive = nullptr;

patht MediaPath(const String& name) {
    patht path(String("Media/") + name);
    path.flags = kPathDisk | kPathArchive;
    path.archive = MediaArchive;
    return path;
}

Texture* LoadMediaTexture(const String& name) {
    TextureDesc desc;
    desc.path = MediaPath(name);
    return TheTextureManager().Load(desc, nullptr);
}

ScreenSaver::Full::Full()
    : Camera(new CameraPath), FlightPath(new CameraBase), CameraPos(String("CameraPos"), true), CameraAngle(String("CameraAngle"), true) {
    BgColor.Set(1.0f, 100.0f / 255.0f, 0.0f, 0.0f);
    Ambient.Set(1.0f, 128.0f / 255.0f, 128.0f / 255.0f, 128.0f / 255.0f);
    FogColor = Ambient;
    Fov = 1.0471976f;
    NearPlane = 1.0f;
    FarPlane = 1500.0f;
    FogEnable = 0;
    FogStart = 10000.0f;
    FogEnd = 10000.0f;
    CamSpeed = 2.0f;
    AnimLength = 3000.0f;
    CameraPos.value.Resize(3);
    for (i32 i = 0; i < 3; ++i) CameraPos.value[i] = 0.0f;
    CameraAngle.value = 1.5f;
    // The configuration is read later, so the debug switch is still clear here.
    PathActive = DebugMode ? 0 : 1;
    closing = 0;
    active = 1;
}

ScreenSaver::Full::~Full() {
    // The document table must not keep the address of this object's AnimLength.
    if (auto* p = dynamic_cast<FloatRefParameter*>(g_paramRegistry.Owned(String("AnimLength"))); p && p->variable == &AnimLength)
        g_paramRegistry.Disown(String("AnimLength"));
    ReleaseLoadingImages();
    ReleaseDeviceBound();
    LeaveProgramObjects();
    if (MediaArchive == &Archive) MediaArchive = nullptr;
    delete Camera;
    delete FlightPath;
}

void ScreenSaver::Full::ReadCommonSettings(TextDataTree& document) { ReadSceneParams(document); }

void ScreenSaver::Full::ReadSceneParams(TextDataTree& document) {
    ReadSceneKeys(document, *this);
    ScreenSaver::ReadCommonSettings(document);
}

// ---- start-up ------------------------------------------------------------------------------

bool ScreenSaver::Full::Create(HINSTANCE instance_, HWND parent) {
    LogInfo().Write(CreateSite(__LINE__)).Print("Full mode.");
    if (!ScreenSaver::Create(instance_, parent)) {
        LogErrors().Write(CreateSite(__LINE__)).Print("Can't create general");
        return false;
    }
    if (!D3dxLoaded()) {
        // Nothing of the scene can be made without D3DX; the loader has logged what is
        // missing, and the dialog offers the runtime that brings it (once).
        if (!directXOffered) OfferDirectXDownload(SaverNoDirectXTexts());
        return false;
    }
    if (!CreateSaverWindow()) {
        LogErrors().Write(CreateSite(__LINE__)).Print("CreateWindow filed");
        return false;
    }
    if (!Application::Create(instance_, window)) {
        LogErrors().Write(CreateSite(__LINE__)).Print("Can't create app");
        return false;
    }
    if (!SelectDisplayMode()) return false;

    ShowCursor(FALSE);
    // From here every failure shows the cursor again: the saver is gone and the user's
    // desktop must not be left without one.
    patht archive;
    archive.flags = kPathResource;
    archive.number = kArchiveResource;
    if (Archive.Load(archive)) {
        MediaArchive = &Archive;
    } else {
        // Without the archive the scene finds no media and loads nothing; the saver still
        // runs, with its overlays on the background colour.
        LogWarnings().Write(CreateSite(__LINE__)).Print("Cannot mount the media archive");
    }

    const IntRect screen = GetScreenRect();
    ScreenScale = static_cast<f32>(screen.right) * 0.0009765625f;

    LoadLoadingImages();
    RenderLayers(LoadingTextures[kLoadingBackground], 1.0f, kPlaceFull);

    Input.Create(true, 6, 6);
    Camera->SetParams(&Input, CamSpeed, CameraAngle.value);
    const FloatArray& pos = CameraPos.value;
    Camera->SetPosition(Vec3(pos.count > 0 ? pos[0] : 0.0f, pos.count > 1 ? pos[1] : 0.0f, pos.count > 2 ? pos[2] : 0.0f));
    Camera->SetOrientation(Vec3(0.0f, 0.0f, 1.0f), Vec3(0.0f, 1.0f, 0.0f));

    if (!TheFontManager().LoadFont(MediaPath(String("Fonts/sylfaen.fs")), 0))
        LogWarnings().Write(CreateSite(__LINE__)).Print("Cannot load sylfaen font");
    if (!TheFontManager().LoadFont(MediaPath(String("Fonts/64font.fs")), 0))
        LogWarnings().Write(CreateSite(__LINE__)).Print("Cannot load 64font font");

    CreateOverlays();

    // The window manager sees every input event first, so that an overlay under the
    // pointer gets it before the saver decides whether the event ends the run.
    Input.AddListener(&TheWindowManager());
    Input.AddListener(this);

    const D3DCAPS9& caps = TheDeviceCaps();
    LogInfo().Write(CreateSite(__LINE__)).Print("vs ").Print(static_cast<i32>((caps.VertexShaderVersion >> 8) & 0xFF))
        .Print("_").Print(static_cast<i32>(caps.VertexShaderVersion & 0xFF));
    LogInfo().Write(CreateSite(__LINE__)).Print("ps ").Print(static_cast<i32>((caps.PixelShaderVersion >> 8) & 0xFF))
        .Print("_").Print(static_cast<i32>(caps.PixelShaderVersion & 0xFF));

    // The effects read the render switches from their own layer's settings, and the compile
    // switches only while they are created.
    TheEffectManager().settings = TheRenderDefaults().ForEffects();
    TheEffectManager().searchPaths.AddSearchPath(MediaPath(String("Shaders")));
    if (!TheEffectManager().Create())
        LogWarnings().Write(CreateSite(__LINE__)).Print("Effect Manager failed to create");

    LogInfo().Write(CreateSite(__LINE__)).Print(">>>>Load Custom");
    if (!LoadCustom()) {
        LogErrors().Write(CreateSite(__LINE__)).Print("LoadCustom failed");
        ShowCursor(TRUE);
        return false;
    }
    LogInfo().Write(CreateSite(__LINE__)).Print("<<<<Load Custom");

    if (!DebugMode) {
        KeepFlights(Animations);
        DebugHold = 0;
        PathActive = 1;
        PathTime = 0.0f;
        TimeRange range;
        FlightPath->GetTimeRange(range);
        LoadRandomFlight();
    }
    PathTimer.Restart();
    StartTimer.Restart();

    Timer fade;
    for (u64 elapsed = fade.Elapsed(); elapsed < kLoadingFadeMs; elapsed = fade.Elapsed())
        RenderLayers(LoadingTextures[kLoadingBackground], 1.0f - static_cast<f32>(elapsed) * 0.005f, kPlaceFull);

    LogInfo().Write(CreateSite(__LINE__)).Print("App created");
    return true;
}

DeviceSettings ScreenSaver::Full::ModeRequest(bool multisample) const {
    DeviceSettings request;
    request.windowed = 0;
    if (multisample) {
        request.requestFlags |= kRequestMultiSample;
        request.multiSampleType = D3DMULTISAMPLE_2_SAMPLES;
        request.multiSampleQuality = 0;
    }
    request.requestFlags |= kRequestDisplaySize | kRequestBackBufferFormat;
    if (UseDesktop) {
        request.displayMode = desktopMode;
        request.backBufferFormat = desktopMode.Format;
    } else {
        const D3DFORMAT format = Depth == 16 ? D3DFMT_X1R5G5B5 : D3DFMT_X8R8G8B8;
        request.displayMode.Width = static_cast<UINT>(Width);
        request.displayMode.Height = static_cast<UINT>(Height);
        request.displayMode.Format = format;
        request.backBufferFormat = format;
    }
    return request;
}

bool ScreenSaver::Full::SelectDisplayMode() {
    // The debug mode runs in a window beside the debugger and the log.
    const bool fullScreen = DebugMode == 0;
    DeviceSettings first = ModeRequest(true);
    bool matched = enumeration.FindSettings(first);
    if (!matched && UseDesktop) {
        first = ModeRequest(true);
        first.displayMode.Width = 800;
        first.displayMode.Height = 600;
        matched = enumeration.FindSettings(first);
    }
    if (matched) SetModeSettings(false, first);
    if (SetMode(fullScreen)) return true;

    DeviceSettings second = ModeRequest(false);
    if (enumeration.FindSettings(second)) {
        SetModeSettings(false, second);
        if (SetMode(fullScreen)) return true;
        if (!UseDesktop) LogErrors().Write(CreateSite(__LINE__)).Print("SetMode failed");
        return false;
    }
    // No mode of either request: nothing is left to try, and a saver without a device
    // would run on drawing nothing.
    LogErrors().Write(CreateSite(__LINE__)).Print("SetMode failed");
    return false;
}

void ScreenSaver::Full::LoadLoadingImages() {
    const MessageTable& table = messages;
    const bool wanted[kLoadingImages] = {true, true, true, table.LoaderLU.value != 0, table.LoaderRD.value != 0,
                                         table.LoaderLD.value != 0, table.LoaderRU.value != 0};
    for (u32 i = 0; i < kLoadingImages; ++i)
        if (wanted[i] && !LoadingTextures[i]) LoadingTextures[i] = LoadResourceTexture(kLoadingResources[i]);
}

void ScreenSaver::Full::CreateOverlays() {
    TextStyle style;
    style.size = 64;
    style.scale = ScreenScale;
    style.background.Set(0.0f, 0.0f, 0.0f, 0.0f);
    RichTextWindow* overlays[] = {&FpsText, &DebugAnimLengthText, &DebugKeyCountText, &ClockText};
    for (RichTextWindow* overlay : overlays) overlay->Style().Assign(style);
    if (ShowFps) {
        FpsText.SetRect(IntRect(10, 10, 256, 128));
        FpsText.SetIntParam(2);
        FpsText.SetRawText(WString::FromNarrow("100"));
        FpsText.Show();
    }
    if (DebugMode) {
        DebugAnimLengthText.SetRect(IntRect(10, 70, 300, 130));
        DebugAnimLengthText.SetRawText(WString::FromReal(AnimLength, 5));
        DebugAnimLengthText.Show();
        DebugKeyCountText.SetRect(IntRect(10, 130, 300, 130));
        DebugKeyCountText.SetRawText(WString::FromNarrow("0"));
        DebugKeyCountText.Show();
    }
    if (ShowTime) {
        const i32 w = static_cast<i32>(ScreenScale * (b24h ? 290.0f : 350.0f));
        const i32 h = static_cast<i32>(ScreenScale * 74.0f);
        ClockText.SetRect(IntRect(200, 300, w, h));
        ClockText.SetRawText(WString::FromNarrow("11"));
        ClockText.Show();
    }
}

// ---- camera flights -------------------------------------------------------------------------

void ScreenSaver::Full::LoadCameraPath(const String& name) {
    Flights.Read(name, MediaPath(name));
    PlayFlight(name);
}

void ScreenSaver::Full::KeepFlights(const StringList& names) {
    names.ForEach([this](const String& name) {
        if (Flights.Holds(name)) return;
        if (Flights.Read(name, MediaPath(name)) == 0)
            LogWarnings().Write(LogSite(kSource, kLoadPathSignature, __LINE__)).Print("No camera keys in ").Print(name);
    });
}

void ScreenSaver::Full::PlayFlight(const String& name) {
    TheStatistics().Current().children.SetString(String("Camera"), name);
    if (!Flights.Holds(name)) Flights.Read(name, MediaPath(name));
    const u32 keys = Flights.Copy(name, *FlightPath);
    if (keys == 0) LogWarnings().Write(LogSite(kSource, kLoadPathSignature, __LINE__)).Print("No camera keys in ").Print(name);
    if (DebugMode) {
        DebugKeyCountText.SetRawText(WString::FromInt(static_cast<i32>(FlightPath->PositionTrack().keys.Count()), 10));
        DebugKeyCountText.EnableFrameEvents(true, true);
    }
}

bool ScreenSaver::Full::LoadRandomFlight() {
    if (Animations.count == 0) return false;
    const i32 steps = rand() % Animations.count;
    for (i32 i = 0; i < steps; ++i) Animations.current = Animations.current->next;
    PlayFlight(Animations.Current());
    return true;
}

void ScreenSaver::Full::NextFlight() {
    if (Animations.count != 0) {
        UsedAnimations.PushBack(Animations.PopFront());
        if (Animations.count == 0 && UsedAnimations.count != 0) {
            // Back in the order they were shown, the cursor on the last one.
            UsedAnimations.current = UsedAnimations.current->next;
            while (UsedAnimations.count != 0) Animations.PushBack(UsedAnimations.PopFront());
        }
        LoadRandomFlight();
    }
    TimeRange range;
    FlightPath->GetTimeRange(range);
    PathTime = range.start;
    PathTimer.Restart();
    Camera->CopyPlacement(*FlightPath);
    PathActive = 1;
}

void ScreenSaver::Full::ReleaseLoadingImages() {
    for (Texture*& texture : LoadingTextures) {
        if (texture) TheTextureManager().Release(texture);
        texture = nullptr;
    }
}

// ---- what a scene overrides ----------------------------------------------------------------

bool ScreenSaver::Full::LoadCustom() { return true; }
bool ScreenSaver::Full::RenderScene() { return true; }
bool ScreenSaver::Full::Update() { return true; }
void ScreenSaver::Full::ReleaseCustom() {}
void ScreenSaver::Full::Destroy() {
    ReleaseDeviceBound();
    ReleaseDevice();
}

void ScreenSaver::Full::ReleaseDeviceBound() {
    // Both are made on this saver's device; a later device must not be handed them.
    TheDebugBox().Reset();
    TheLightSet().Reset();
}

void ScreenSaver::Full::LeaveProgramObjects() {
    // Start-up filled these for this saver alone: the charsets hold textures of its device,
    // the effects were made on it, the effects' search places reach into its archive, and
    // the textures its scene's models loaded stay with the manager (materials never give
    // theirs back). The scene that drew with them is gone by now (a derived scene's parts
    // go before this object's destructor runs), so nothing draws with them again.
    TheFontManager().Clear();
    TheEffectManager().Reset();
    TheEffectManager().searchPaths.Clear();
    TheTextureManager().Reset();
}
