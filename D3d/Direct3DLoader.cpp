#include "D3d/Direct3DLoader.h"

namespace {

typedef IDirect3D9*(WINAPI* Direct3DCreate9Function)(UINT);

constexpr UINT kSdkVersion = 31;  // the SDK version the program asks Direct3D for

}  // namespace

IDirect3D9* CreateDirect3D9() {
    HMODULE library = LoadLibraryA("d3d9.dll");
    if (!library) return nullptr;
    const Direct3DCreate9Function create =
        reinterpret_cast<Direct3DCreate9Function>(reinterpret_cast<void*>(GetProcAddress(library, "Direct3DCreate9")));
    return create ? create(kSdkVersion) : nullptr;
}
