// The window system's and the module loader's part of the platform's test interface. The
// engine never includes it.
//
// Tests start from a clean table, record what each window procedure was handed, choose the
// desktop's size and the answers of message boxes, read the cursor's display counter, and
// make a platform library absent as if the machine had none.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Forgets every window, class, posted message, timer, focus and activation, as a new
// process would: no window receives a message, handles held become invalid. Also stops and
// empties the message recorder and puts the desktop size, the cursor, the message box
// answer and the screen saver flag back to their defaults.
void PlatformTest_ResetWindows();

// One call of a window procedure. For WM_WINDOWPOSCHANGING and WM_WINDOWPOSCHANGED the
// WINDOWPOS flags are kept too, since lParam points to a record that is gone afterwards.
struct PlatformTestMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    UINT windowPosFlags;
};

// While on, every call of a window procedure made by the platform (sent, dispatched or
// from the default procedure) is recorded in order. Off at start and after a reset.
void PlatformTest_RecordMessages(bool on);
void PlatformTest_ClearMessages();
// What the window received, in order; also after it was destroyed.
std::vector<PlatformTestMessage> PlatformTest_Messages(HWND window);
// Everything recorded, for the order between windows.
std::vector<PlatformTestMessage> PlatformTest_AllMessages();

// The desktop's size in pixels (1024 x 768 by default): the screen metrics, the desktop
// window and the maximised size follow it.
void PlatformTest_SetDesktopSize(LONG width, LONG height);

// Makes a top-level window stand for one of another program, as a user switching programs
// would bring to the front: activation moving between it and this program's windows sends
// WM_ACTIVATEAPP(FALSE) to every window of the program that loses the foreground and
// WM_ACTIVATEAPP(TRUE) to the other's, and while it is in front GetActiveWindow and
// GetFocus answer null. The desktop window is one from the start (SetForegroundWindow of
// it gives the foreground away). A window made hidden, marked, then shown is another
// program's window appearing in front.
void PlatformTest_MarkOtherProgram(HWND window);

// A message box is not shown: it is recorded and answers at once, with `answer`, or with
// its default button when the answer is 0 (the default).
struct PlatformTestMessageBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};
void PlatformTest_SetMessageBoxAnswer(int answer);
std::vector<PlatformTestMessageBox> PlatformTest_MessageBoxes();

// The cursor's display counter that ShowCursor moves (0 at start: shown).
int PlatformTest_CursorCounter();
// Every SetCursor call since the last reset or clear, in order, as the identifier of the
// system cursor it set (32512 for IDC_ARROW, 32642 for IDC_SIZENWSE, ...); 0 for a null
// handle or one that is not a system cursor.
std::vector<WORD> PlatformTest_CursorsSet();
void PlatformTest_ClearCursorsSet();
// The flag that SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING) sets.
bool PlatformTest_ScreenSaverRunning();

// Makes LoadLibraryA of that library fail with ERROR_MOD_NOT_FOUND (true) or work again
// (false), as on a machine with or without it. Handles already given out stay valid.
void PlatformTest_SetLibraryAbsent(const char* name, bool absent);
// Adds an export to the platform's libraries, as if the library of that file name (a new
// one or one of the platform's own) exported `address` under `name`.
void PlatformTest_AddLibraryExport(const char* library, const char* name, void* address);
// Unloads every library loaded through LoadLibraryA, makes every library present again and
// forgets the exports tests added.
void PlatformTest_ResetModules();
