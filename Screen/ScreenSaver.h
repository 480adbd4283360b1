// The saver's mode objects. Windows starts the program as a screensaver in one of a few
// run modes; WinMain builds the one object that serves the mode and drives it through
// Create and Run. Every mode object is a ScreenSaver, which is the engine's Application
// (the window procedure and, full screen, the Direct3D device), so there is one object
// that Windows' callbacks reach: the static window and dialog procedures find it through
// TheSaver, set by the first ScreenSaver built.
//
// The base holds what every mode reads at start: the message table, the module instance,
// the parent window from the command line and the common settings, loaded from the
// configuration documents and then from the user's registry key (LoadConfig, LoadSettings).
#pragma once

#include <windows.h>

#include "Core/Parameter.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "D3d/Application.h"
#include "Screen/MessageTable.h"

#include <deque>

class TextDataTree;

class ScreenSaver : public Application {
public:
    // What the command line asks for.
    enum RunMode : i32 {
        kModeFull = 0,      // the full-screen saver
        kModePreview = 1,   // the preview inside the display control panel's window
        kModeTest = 2,      // a test run of the full-screen saver
        kModeConfig = 3,    // the configuration dialog
        kModePassword = 4,  // the password change, served by the full-screen saver
    };

    class Preview;
    class Config;
    class Full;

    ScreenSaver();
    ~ScreenSaver() override;

    // Reads resources 156 and 157 and the optional "settings.txt" into one document and
    // hands it to ReadProductSettings and ReadCommonSettings. False, with nothing read,
    // when a resource is missing.
    virtual bool LoadConfig();
    // The user's values from the registry key RegPath under HKEY_CURRENT_USER, over the
    // documents' values. Nothing is read when RegPath is empty or the key cannot be had.
    virtual bool LoadRegistry();
    // Writes the user's values under RegPath; nothing is written while RegPath is empty.
    virtual bool SaveSettings();
    virtual bool LoadSettings();
    virtual bool StoreSettings();
    // Registers the product's own keys; nothing in the base.
    virtual void ReadProductSettings(TextDataTree& document);
    // Registers the common keys with their members as destinations, the user's settings
    // in the registry table too, and reads the document.
    virtual void ReadCommonSettings(TextDataTree& document);
    virtual INT_PTR DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    // The process exit code.
    virtual int Run() = 0;
    // Stores the instance and parent, loads the configuration and the user's settings.
    virtual bool Create(HINSTANCE instance, HWND parent);

    // The window class's procedure: the saver's MsgProc, or the default procedure while
    // no saver exists (creation sends WM_NCCREATE before anything else can answer).
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Every dialog's procedure: the low byte of the saver's DlgProc; FALSE without one.
    static INT_PTR CALLBACK StaticDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    // The full-screen saver's window: a visible popup, 400 x 300 over the desktop mode or
    // Width x Height; the device sizes it later.
    bool CreateSaverWindow();
    // The preview's child window over the parent's client area (50 x 50 at (100, 100)
    // when there is no parent).
    bool RegisterSaverWindow();

    MessageTable messages;
    HINSTANCE Instance = nullptr;
    HWND ParentWindow = nullptr;

    // The common settings; booleans are 0 or 1.
    u8 UseDesktop = 0;
    u8 ExitOnMM = 0;
    u8 ShowTime = 0;
    u8 b24h = 0;
    u8 Music = 0;
    u8 Sound = 0;
    u8 ShowFps = 0;
    i32 Volume = 0;
    i32 Gamma = 0;
    i32 Adapter = 0;
    i32 Width = 0;
    i32 Height = 0;
    i32 Depth = 0;
    String RegPath;

    // The web pages the DirectX check and the dialog's Visit button open.
    StringParameter DownloadDxUrl;
    StringParameter WebSiteUrl;
    // Set when Create's DirectX check found no DirectX 9 and has offered the download.
    bool directXOffered = false;

    // The preview's start-up message pump runs while this is set.
    u8 WaitFlag = 0;

    // The settings dialog's procedure (Screen/SettingsDialog.cpp): texts on the first
    // WM_INITDIALOG, then the controls from the settings; OK stores them in the registry.
    INT_PTR SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    // Sets every control of the settings dialog from the settings and lists the video
    // modes; without Direct3D 9 tells the user and ends the dialog with 0 (false).
    bool RefreshSettingsDialog(HWND dialog);
    // The modes the dialog's video-mode entries point at, until the list is filled again.
    std::deque<D3DDISPLAYMODE> ListedModes;

private:
    bool LoadDocument(TextDataTree& document);
    // Drops this object's bindings from the program-wide tables, so that no table keeps
    // an address into a saver that is gone.
    void UnbindSettings();
    bool bound = false;
};

// The first ScreenSaver built, until it is destroyed; null before.
extern ScreenSaver* TheSaver;
// Forgets the saver, so that the next one built applies the built-in defaults again.
void ResetTheSaver();

// The run mode that GetCommandLineA asks for; *window receives the number after the switch
// (0 when there is none; a number too large saturates).
i32 ParseCommandLine(u32* window);
// The same over a given command line.
i32 ParseCommandLineText(const char* commandLine, u32* window);

// The mode object for a run mode; null when it cannot be built.
ScreenSaver* CreateSaver(i32 mode);

// WinMain's work: engine start-up, the command line, the mode object from `factory`,
// the screensaver-running flag around Create and Run. Returns the exit code.
using SaverFactory = ScreenSaver* (*)(i32 mode);
int RunScreenSaver(HINSTANCE instance, SaverFactory factory);
