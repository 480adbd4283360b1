#include "Core/D3dxLibrary.h"

#include "Core/Log.h"

#include <type_traits>

const char kD3dxLibrary[] = "d3dx9_43.dll";

namespace {

// The line goes to the loaders' log, which the full-screen run keeps writing when its
// channels are switched off: that run is the one that needs the library.
void LogMissing(const char* what) { DebugLog(String("Error: ") + kD3dxLibrary + what + "\n", String()); }

struct LoadedD3dx {
    D3dxCalls calls;
    bool loaded = false;

    LoadedD3dx() {
        HMODULE library = LoadLibraryA(kD3dxLibrary);
        if (!library) {
            LogMissing(" is missing");
            return;
        }
        loaded = calls.FetchAll(library);
        if (!loaded) FreeLibrary(library);
    }
};

const LoadedD3dx& Loaded() {
    static const LoadedD3dx loaded;
    return loaded;
}

}  // namespace

bool D3dxCalls::FetchAll(HMODULE library) {
    const char* missing = nullptr;
    const auto fetch = [&](const char* name, auto& entry) {
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(
            reinterpret_cast<void*>(GetProcAddress(library, name)));
        if (!entry && !missing) missing = name;
    };
#define CORVANE_D3DX_FETCH(name) fetch("D3DX" #name, name);
    CORVANE_D3DX_FUNCTIONS(CORVANE_D3DX_FETCH)
#undef CORVANE_D3DX_FETCH
    if (!missing) return true;
    LogMissing((String(" lacks ") + missing).c_str());
    *this = D3dxCalls();
    return false;
}

const D3dxCalls& D3dx() { return Loaded().calls; }

bool D3dxLoaded() { return Loaded().loaded; }
