// The full-screen saver's object and its start-up. The constructor sets the scene's
// defaults before the configuration is read over them; Create then builds everything the
// frames need in one fixed chain, and the loading screen is drawn while the slow steps
// (fonts, effects, the scene) run.
#include "Screen/ScreenSaverFull.h"

#include "Core/Log.h"
#include "Core/ProgramObjects.h"
#include "Core/SettingBinders.h"
#include "D3d/TextureManager.h"

D3DDISPLAYMODE DesktopMode{};
MemoryBuffer* MediaArchive = nullptr;

void ResetDesktopMode() { DesktopMode = D3DDISPLAYMODE{}; }

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

ScreenSaver::Full::Full() : CameraPos(String("CameraPos"), true), CameraAngle(String("CameraAngle"), true) {
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
    if (MediaArchive == &Archive) MediaArchive = nullptr;
}

void ScreenSaver::Full::ReadCommonSettings(TextDataTree& document) { ReadSceneParams(document); }

void ScreenSaver::Full::ReadSceneParams(TextDataTree& document) {
    ReadSceneKeys(document, *this);
    ScreenSaver::ReadCommonSettings(document);
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
void ScreenSaver::Full::Destroy() { ReleaseDevice(); }
