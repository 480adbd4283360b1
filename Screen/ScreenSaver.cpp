#include "Screen/ScreenSaver.h"

#include "Core/FileStream.h"
#include "Core/Log.h"
#include "Core/ParamTable.h"
#include "Core/Path.h"
#include "Core/SettingBinders.h"
#include "Core/Stream.h"
#include "Core/TextCodec.h"
#include "Core/TextDataTree.h"
#include "Core/UdfText.h"
#include "Screen/DirectXCheck.h"
#include "Screen/ProductSettings.h"

#include <memory>
#include <new>

ScreenSaver* TheSaver = nullptr;

void ResetTheSaver() { TheSaver = nullptr; }

namespace {

const char kSource[] = "Screen\\ScreenSaver";

// The configuration documents: the screen parameters and the message table, resources of
// the executable, and the optional file beside the program.
constexpr u32 kScreenParametersId = 156;
constexpr u32 kMessageTableId = 157;
const char kSettingsFile[] = "settings.txt";

// The user's settings: the members they land in, by key.
struct ByteKey {
    const char* key;
    u8 ScreenSaver::*member;
};
struct IntKey {
    const char* key;
    i32 ScreenSaver::*member;
};
const ByteKey kByteKeys[] = {
    {"UseDesktop", &ScreenSaver::UseDesktop}, {"ExitOnMM", &ScreenSaver::ExitOnMM}, {"ShowTime", &ScreenSaver::ShowTime},
    {"b24h", &ScreenSaver::b24h},             {"Music", &ScreenSaver::Music},       {"Sound", &ScreenSaver::Sound},
    {"ShowFps", &ScreenSaver::ShowFps},
};
const IntKey kIntKeys[] = {
    {"Volume", &ScreenSaver::Volume}, {"Gamma", &ScreenSaver::Gamma},   {"Adapter", &ScreenSaver::Adapter},
    {"Width", &ScreenSaver::Width},   {"Height", &ScreenSaver::Height}, {"Depth", &ScreenSaver::Depth},
};

constexpr u8 kUtf8Bom[3] = {0xEF, 0xBB, 0xBF};

// Parses one configuration text into the document. The byte-order mark is stepped over
// only when the text starts with one: a file saved without it keeps its first characters.
bool ParseConfigText(Stream& stream, TextDataTree& document) {
    u8 head[3] = {0, 0, 0};
    const u32 got = stream.Read(head, 3);
    const bool bom = got == 3 && head[0] == kUtf8Bom[0] && head[1] == kUtf8Bom[1] && head[2] == kUtf8Bom[2];
    if (!bom) stream.Seek(0, kSeekSet);
    return UdfText::LoadStream(stream, document, nullptr, kTextUtf8);
}

// Opens, parses and closes one document; false when it cannot be opened.
bool ParseConfigFile(patht path, TextDataTree& document) {
    std::unique_ptr<Stream> stream(path.Open(kStreamRead));
    if (!stream) return false;
    ParseConfigText(*stream, document);
    stream->Close();
    return true;
}

patht ResourcePath(u32 id) {
    patht path;
    path.flags = kPathResource;
    path.number = id;
    return path;
}

}  // namespace

ScreenSaver::ScreenSaver() : DownloadDxUrl(String("download_dx9_url"), true), WebSiteUrl(String("main_web_site_url"), true) {
    if (TheSaver) return;
    UseDesktop = 1;
    ExitOnMM = 1;
    ShowTime = 0;
    b24h = 0;
    Music = 1;
    Sound = 1;
    Volume = 80;
    ShowFps = 0;
    Gamma = 0;
    Adapter = 0;
    Width = 800;
    Height = 600;
    Depth = 32;
    WaitFlag = 0;
    TheSaver = this;
}

ScreenSaver::~ScreenSaver() {
    UnbindSettings();
    // The window procedures must not reach a saver that is gone.
    if (TheSaver == this) TheSaver = nullptr;
}

void ScreenSaver::UnbindSettings() {
    if (!bound) return;
    auto dropByte = [](const char* key, u8* target) {
        if (auto* p = dynamic_cast<BoolRefParameter*>(g_paramRegistry.Owned(String(key))); p && p->variable == target)
            g_paramRegistry.Disown(String(key));
        if (auto* r = dynamic_cast<ByteRegistryValue*>(g_paramTable.Find(String(key))); r && r->byte == target)
            g_paramTable.Remove(String(key));
    };
    auto dropInt = [](const char* key, i32* target) {
        if (auto* p = dynamic_cast<IntRefParameter*>(g_paramRegistry.Owned(String(key))); p && p->variable == target)
            g_paramRegistry.Disown(String(key));
        if (RegistryValue* r = g_paramTable.Find(String(key)); r && r->variable == target) g_paramTable.Remove(String(key));
    };
    auto dropText = [](const char* key, String* target) {
        if (auto* p = dynamic_cast<StringRefParameter*>(g_paramRegistry.Owned(String(key))); p && p->variable == target)
            g_paramRegistry.Disown(String(key));
    };
    for (const ByteKey& k : kByteKeys) dropByte(k.key, &(this->*k.member));
    for (const IntKey& k : kIntKeys) dropInt(k.key, &(this->*k.member));
    dropText("AppName", &messages.AppName);
    dropText("RegPath", &RegPath);
    // A mode reads its product settings with the common ones, and they go with them.
    UnregisterProductSettings();
    bound = false;
}

// ---- configuration ----------------------------------------------------------------------

bool ScreenSaver::LoadDocument(TextDataTree& document) {
    if (!ParseConfigFile(ResourcePath(kScreenParametersId), document)) {
        LogWarnings().Write(LogSite(kSource, "bool __thiscall ScreenSaver::LoadConfig(void)", __LINE__))
            .Print("No screen parameters resource");
        return false;
    }
    if (!ParseConfigFile(ResourcePath(kMessageTableId), document)) {
        LogWarnings().Write(LogSite(kSource, "bool __thiscall ScreenSaver::LoadConfig(void)", __LINE__))
            .Print("No message table resource");
        return false;
    }
    ParseConfigFile(patht(kSettingsFile), document);
    return true;
}

bool ScreenSaver::LoadConfig() {
    TextDataTree document;
    if (!LoadDocument(document)) return false;
    ReadProductSettings(document);
    ReadCommonSettings(document);
    return true;
}

void ScreenSaver::ReadProductSettings(TextDataTree&) {}

void ScreenSaver::ReadCommonSettings(TextDataTree& document) {
    // A key registered again replaces its entry, so a second load reads and stores each
    // value once.
    g_paramRegistry.Own(String("AppName"), new (std::nothrow) StringRefParameter(&messages.AppName));
    g_paramRegistry.Own(String("RegPath"), new (std::nothrow) StringRefParameter(&RegPath));
    for (const ByteKey& k : kByteKeys) {
        u8* target = &(this->*k.member);
        g_paramRegistry.Own(String(k.key), new (std::nothrow) BoolRefParameter(target));
        g_paramTable.Add(String(k.key), new (std::nothrow) ByteRegistryValue(target));
    }
    for (const IntKey& k : kIntKeys) {
        i32* target = &(this->*k.member);
        g_paramRegistry.Own(String(k.key), new (std::nothrow) IntRefParameter(String(k.key), false, target));
        g_paramTable.Add(String(k.key), new (std::nothrow) RegistryValue(target));
    }
    bound = true;
    g_paramRegistry.ReadDocument(document);
}

bool ScreenSaver::LoadRegistry() {
    // An empty path would name HKEY_CURRENT_USER itself.
    if (RegPath.IsEmpty()) return false;
    return g_paramTable.LoadFromRegistry(RegPath);
}

bool ScreenSaver::SaveSettings() {
    if (!RegPath.IsEmpty()) g_paramTable.SaveToRegistry(RegPath);
    return true;
}

bool ScreenSaver::LoadSettings() { return LoadRegistry(); }
bool ScreenSaver::StoreSettings() { return SaveSettings(); }

// ---- the mode object's life -------------------------------------------------------------

bool ScreenSaver::Create(HINSTANCE instance_, HWND parent) {
    ParentWindow = parent;
    Instance = instance_;
    LoadConfig();
    LoadSettings();
    // Advice only: a machine without DirectX 9 fails later, at the device's creation.
    directXOffered = !CheckDirectXVersion();
    return true;
}

INT_PTR ScreenSaver::DlgProc(HWND, UINT, WPARAM, LPARAM) { return TRUE; }

LRESULT CALLBACK ScreenSaver::StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (ScreenSaver* saver = TheSaver) return saver->MsgProc(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK ScreenSaver::StaticDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (ScreenSaver* saver = TheSaver) return static_cast<BYTE>(saver->DlgProc(dialog, message, wParam, lParam));
    return FALSE;
}

// ---- windows ----------------------------------------------------------------------------

namespace {

// A class already registered (a saver made before this one) is used as it is.
void RegisterSaverClass(HINSTANCE instance, const String& name, UINT style) {
    WNDCLASSA windowClass{};
    windowClass.style = style;
    windowClass.lpfnWndProc = ScreenSaver::StaticWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;
    windowClass.lpszClassName = name.c_str();
    RegisterClassA(&windowClass);
}

}  // namespace

bool ScreenSaver::CreateSaverWindow() {
    RegisterSaverClass(Instance, messages.AppName, 0);
    const int w = UseDesktop ? 400 : Width;
    const int h = UseDesktop ? 300 : Height;
    window = CreateWindowExA(0, messages.AppName.c_str(), messages.AppName.c_str(), WS_POPUP | WS_VISIBLE, 0, 0, w, h,
                             nullptr, nullptr, Instance, nullptr);
    return window != nullptr;
}

bool ScreenSaver::RegisterSaverWindow() {
    RegisterSaverClass(Instance, messages.AppName, CS_HREDRAW | CS_VREDRAW);
    RECT rect{100, 100, 150, 150};
    // A child needs a parent: without one the preview is a small popup window of its own.
    DWORD style = WS_POPUP | WS_VISIBLE;
    if (ParentWindow) {
        GetClientRect(ParentWindow, &rect);
        style = WS_CHILD | WS_VISIBLE;
    }
    AdjustWindowRect(&rect, style, FALSE);
    window = CreateWindowExA(0, messages.AppName.c_str(), messages.AppName.c_str(), style, rect.left, rect.top,
                             rect.right - rect.left, rect.bottom - rect.top, ParentWindow, nullptr, Instance, nullptr);
    return window != nullptr;
}
