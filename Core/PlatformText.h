// The engine's UTF-16 text and 32-bit numbers as the platform's calls take them. The
// engine keeps UTF-16 in char16_t and its words in u32/i32; Windows spells the same units
// WCHAR (wchar_t, 16 bits there) and DWORD/LONG, while on Linux wchar_t is 32 bits and long
// 64, so the stand-in headers use char16_t and 32-bit integers. These helpers are the one
// place where the engine crosses between the two spellings, so that every call compiles
// against both the real headers and ours.
#pragma once

#include <windows.h>

#include "Core/Types.h"
#include "Core/WString.h"

static_assert(sizeof(WCHAR) == sizeof(char16_t), "WCHAR must be a UTF-16 unit");
static_assert(sizeof(DWORD) == sizeof(u32) && sizeof(LONG) == sizeof(i32), "DWORD and LONG must be 32 bits");

// A wide text for a W call: the WString's units, terminated (an empty WString gives "").
inline const WCHAR* WideArg(const WString& text) {
    static const char16_t kEmpty[1] = {0};
    return reinterpret_cast<const WCHAR*>(text.data ? text.data : kEmpty);
}
inline const WCHAR* WideArg(const char16_t* text) { return reinterpret_cast<const WCHAR*>(text); }

// An engine word as the out-parameter of a call that writes a DWORD or a LONG.
inline DWORD* DwordOut(u32& word) { return reinterpret_cast<DWORD*>(&word); }
inline LONG* LongOut(i32& word) { return reinterpret_cast<LONG*>(&word); }
