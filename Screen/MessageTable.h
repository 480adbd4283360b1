// The message table: every text the saver shows (dialog captions, buttons, error boxes,
// the About box) comes from the message resource, so a translation is a new resource and
// no code change. Each text is a named parameter that registers itself under its key and
// takes its value when the configuration documents are read; a key the documents lack
// keeps an empty text. The four loading-screen corner flags travel in the same resource.
#pragma once

#include "Core/Parameter.h"
#include "Core/String.h"
#include "Core/Types.h"

// The keys of the table, in the order of the resource.
#define CORVANE_MESSAGE_KEYS(X)                                       \
    X(ButtonOk, "Mes_Button_OK")                                      \
    X(ButtonCancel, "Mes_Button_Cancel")                              \
    X(ErrorCantInitD3D, "Mes_Error_CantInitD3D")                      \
    X(ErrorTitle, "Mes_Error_Title")                                  \
    X(NoDxButtonDownload, "Mes_NODX_Button_Download")                 \
    X(NoDxText, "Mes_NODX_Text")                                      \
    X(NoDxTitle, "Mes_NODX_Title")                                    \
    X(AboutTitle, "Mes_About_Title")                                  \
    X(AboutText, "Mes_About_Text")                                    \
    X(AboutCopyright, "Mes_About_Copyright")                          \
    X(AboutProgrammer, "Mes_About_Programmer")                        \
    X(AboutDesigner, "Mes_About_Designer")                            \
    X(AboutRightsReserved, "Mes_About_RightsReserved")                \
    X(SettingsTitle, "Mes_Settings_Title")                            \
    X(SettingsBoxMode, "Mes_Settings_Box_Mode")                       \
    X(SettingsBoxSound, "Mes_Settings_Box_Sound")                     \
    X(SettingsBoxGraphics, "Mes_Settings_Box_Graphics")               \
    X(SettingsBoxMisc, "Mes_Settings_Box_Misc")                       \
    X(SettingsBoxProducts, "Mes_Settings_Box_Products")               \
    X(SettingsUseDesktop, "Mes_Settings_UseDesktop")                  \
    X(SettingsMusicVolume, "Mes_Settings_MusicVolume")                \
    X(SettingsEnableMusic, "Mes_Settings_EnableMusic")                \
    X(SettingsEnableSound, "Mes_Settings_EnableSound")                \
    X(SettingsExitOnMouse, "Mes_Settings_ExitOnMouse")                \
    X(SettingsGamma, "Mes_Settings_Gamma")                            \
    X(SettingsShowTime, "Mes_Settings_ShowTime")                      \
    X(Settings24h, "Mes_Settings_24h")                                \
    X(Settings12h, "Mes_Settings_12h")                                \
    X(SettingsProducts, "Mes_Settings_Products")                      \
    X(SettingsButtonAbout, "Mes_Settings_Button_About")               \
    X(SettingsButtonRestoreDefs, "Mes_Settings_Button_RestoreDefs")   \
    X(SettingsButtonVisit, "Mes_Settings_Button_Visit")               \
    X(SettingsShowFps, "Mes_Settings_ShowFPS")

enum class Message : u32 {
#define CORVANE_MESSAGE_ENUM(id, key) id,
    CORVANE_MESSAGE_KEYS(CORVANE_MESSAGE_ENUM)
#undef CORVANE_MESSAGE_ENUM
        Count
};

class MessageTable {
public:
    static constexpr u32 kCount = static_cast<u32>(Message::Count);

    MessageTable();
    MessageTable(const MessageTable&) = delete;
    MessageTable& operator=(const MessageTable&) = delete;
    ~MessageTable();

    // The text of a message; empty when the documents did not give it.
    const String& Get(Message id) const;
    const char* Text(Message id) const { return Get(id).c_str(); }
    // The text of a key of the table; null for a key the table does not have.
    const String* Find(const char* key) const;
    // The key of a message.
    static const char* Key(Message id);

    // The window class name and window title; read by the common settings.
    String AppName;
    // Which corners of the loading screen show their image.
    BoolParameter LoaderLU;
    BoolParameter LoaderRD;
    BoolParameter LoaderLD;
    BoolParameter LoaderRU;

private:
    // One text parameter per key, made in the constructor; a slot left null (memory ran
    // out) reads as the empty text.
    StringParameter* texts[kCount];
};
