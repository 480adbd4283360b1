// The two small run modes. The preview paints bitmap 109 into a child of the display
// control panel's window until that window goes; the configuration object runs the
// settings dialog inside Create, so its Run has nothing left to do.
#pragma once

#include "Screen/ScreenSaver.h"

class ScreenSaver::Preview : public ScreenSaver {
public:
    static constexpr u16 kBitmapId = 109;

    Preview() = default;
    ~Preview() override;
    LRESULT MsgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    int Run() override;
    bool Create(HINSTANCE instance, HWND parent) override;

private:
    void Paint(HWND window);
};

class ScreenSaver::Config : public ScreenSaver {
public:
    static constexpr u16 kDialogId = 105;

    Config();
    ~Config() override;
    // Registers the shadow quality and the day length, which the dialog's track bars edit.
    void ReadProductSettings(TextDataTree& document) override;
    // The settings dialog's procedure.
    INT_PTR DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) override;
    int Run() override;
    // Loads the configuration, then runs dialog 105 over the parent window.
    bool Create(HINSTANCE instance, HWND parent) override;

    // The dialog's texts for the product's own controls.
    StringParameter ShadowQualText;
    StringParameter DayLengthText;
    StringParameter DayOptText;
};
