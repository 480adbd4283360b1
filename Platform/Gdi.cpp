// Drawing for the Linux build: the few GDI calls that put a bitmap into a window. Device
// contexts and bitmaps are entries of one table, found by handle; a handle is never given
// out twice. A window's device context (BeginPaint) draws into a pixel surface that the
// window keeps for the tests to read; a memory device context draws from the bitmap
// selected into it.
//
// GDI's ownership rules are kept because a program that breaks them leaks: a bitmap that
// is selected into a device context cannot be deleted, and deleting the device context
// does not delete the bitmap, so a painter that does not select the old bitmap back first
// loses one bitmap per paint. The live-object count lets tests see that.
#include <windows.h>

#include <PlatformTestGdi.h>

#include "Image.h"
#include "ImageBmp.h"
#include "WindowSystem.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace {

enum class Kind { PaintDc, MemoryDc, Bitmap };

struct GdiObject {
    Kind kind;
    HWND window = nullptr;         // a paint DC's window
    uintptr_t selected = 0;        // a memory DC's bitmap
    PlatformImage::Surface pixels; // a bitmap's texels
    int selections = 0;            // memory DCs a bitmap is selected into
};

struct Gdi {
    std::map<uintptr_t, std::unique_ptr<GdiObject>> objects;
    std::map<HWND, PlatformTestPixels> windows;
    uintptr_t next = 0x40000;
    // The 1 x 1 monochrome bitmap every new memory DC holds; a stock object, never counted.
    GdiObject stockBitmap{Kind::Bitmap, nullptr, 0, {}, 0};
};

Gdi& State() {
    static Gdi gdi;
    return gdi;
}

uintptr_t StockBitmapHandle() { return reinterpret_cast<uintptr_t>(&State().stockBitmap); }

GdiObject* Find(const void* handle) {
    const uintptr_t key = reinterpret_cast<uintptr_t>(handle);
    if (key == StockBitmapHandle()) return &State().stockBitmap;
    auto it = State().objects.find(key);
    return it == State().objects.end() ? nullptr : it->second.get();
}

uintptr_t Add(std::unique_ptr<GdiObject> object) {
    const uintptr_t handle = State().next;
    State().next += 4;
    State().objects.emplace(handle, std::move(object));
    return handle;
}

bool IsDc(const GdiObject* o) { return o && (o->kind == Kind::PaintDc || o->kind == Kind::MemoryDc); }

// The window's surface, made at the client area's size when it is first drawn into.
PlatformTestPixels* WindowSurface(HWND window) {
    auto it = State().windows.find(window);
    if (it != State().windows.end()) return &it->second;
    RECT client{};
    if (!GetClientRect(window, &client)) return nullptr;
    PlatformTestPixels& pixels = State().windows[window];
    pixels.width = std::max<LONG>(0, client.right - client.left);
    pixels.height = std::max<LONG>(0, client.bottom - client.top);
    pixels.argb.assign(static_cast<size_t>(pixels.width) * static_cast<size_t>(pixels.height), 0xFF000000u);
    return &pixels;
}

// The bytes of the palette (or of the three masks) between a bitmap's header and its bits.
bool ColorTableBytes(const uint8_t* dib, size_t size, uint32_t* out) {
    if (size < 4) return false;
    uint32_t headerSize = 0;
    std::memcpy(&headerSize, dib, 4);
    if (headerSize == 12) {  // the core header: 3-byte palette entries
        if (size < 12) return false;
        uint16_t bits = 0;
        std::memcpy(&bits, dib + 10, 2);
        *out = bits <= 8 ? 3u << bits : 0;
        return true;
    }
    if (headerSize < 40 || size < 40) return false;
    uint16_t bits = 0;
    uint32_t compression = 0, used = 0;
    std::memcpy(&bits, dib + 14, 2);
    std::memcpy(&compression, dib + 16, 4);
    std::memcpy(&used, dib + 32, 4);
    uint32_t entries = used ? used : (bits <= 8 ? 1u << bits : 0);
    if (entries > 256) return false;
    uint32_t bytes = entries * 4;
    // BI_BITFIELDS (3) masks follow a 40-byte header; the larger headers hold them.
    if (headerSize == 40 && compression == 3) bytes += 12;
    *out = bytes;
    return true;
}

// A bitmap resource holds a bitmap file without its 14-byte file header: put one back and
// read it with the image library.
bool DecodeDib(const uint8_t* dib, size_t size, PlatformImage::Surface* out) {
    uint32_t table = 0;
    if (!ColorTableBytes(dib, size, &table)) return false;
    uint32_t headerSize = 0;
    std::memcpy(&headerSize, dib, 4);
    const uint64_t offset = 14ull + headerSize + table;
    const uint64_t total = 14ull + size;
    if (offset > total || total > 0xFFFFFFFFull) return false;
    std::vector<uint8_t> file(static_cast<size_t>(total));
    file[0] = 'B';
    file[1] = 'M';
    const uint32_t fileSize = static_cast<uint32_t>(total), bitsOffset = static_cast<uint32_t>(offset);
    std::memcpy(&file[2], &fileSize, 4);
    std::memcpy(&file[10], &bitsOffset, 4);
    std::memcpy(&file[14], dib, size);
    PlatformImage::Image image;
    std::string error;
    if (!PlatformImage::DecodeBmp(file.data(), file.size(), &image, &error) || image.surfaces.empty()) return false;
    *out = std::move(image.surfaces[0]);
    return true;
}

}  // namespace

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    if (!platform::WindowSystem::Get().Find(hWnd)) return nullptr;
    if (!lpPaint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto dc = std::make_unique<GdiObject>(GdiObject{Kind::PaintDc, nullptr, 0, {}, 0});
    dc->window = hWnd;
    const HDC handle = reinterpret_cast<HDC>(Add(std::move(dc)));
    std::memset(lpPaint, 0, sizeof *lpPaint);
    lpPaint->hdc = handle;
    GetClientRect(hWnd, &lpPaint->rcPaint);
    return handle;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    if (!lpPaint) return FALSE;
    GdiObject* dc = Find(lpPaint->hdc);
    if (!dc || dc->kind != Kind::PaintDc || dc->window != hWnd) return FALSE;
    State().objects.erase(reinterpret_cast<uintptr_t>(lpPaint->hdc));
    return TRUE;
}

HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName) {
    // A null instance asks for the system's own bitmaps, which this platform does not have.
    HRSRC found = hInstance && lpBitmapName ? FindResourceA(hInstance, lpBitmapName, RT_BITMAP) : nullptr;
    if (!found) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(hInstance, found);
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(loaded));
    const DWORD size = SizeofResource(hInstance, found);
    auto bitmap = std::make_unique<GdiObject>(GdiObject{Kind::Bitmap, nullptr, 0, {}, 0});
    if (!data || !DecodeDib(data, size, &bitmap->pixels)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HBITMAP>(Add(std::move(bitmap)));
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
    if (hdc && !IsDc(Find(hdc))) return nullptr;
    auto dc = std::make_unique<GdiObject>(GdiObject{Kind::MemoryDc, nullptr, 0, {}, 0});
    dc->selected = StockBitmapHandle();
    return reinterpret_cast<HDC>(Add(std::move(dc)));
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    GdiObject* dc = Find(hdc);
    GdiObject* bitmap = Find(h);
    if (!dc || dc->kind != Kind::MemoryDc || !bitmap || bitmap->kind != Kind::Bitmap) return nullptr;
    const uintptr_t wanted = reinterpret_cast<uintptr_t>(h);
    // A bitmap can be selected into one memory DC at a time.
    if (bitmap->selections > 0 && dc->selected != wanted && wanted != StockBitmapHandle()) return nullptr;
    const uintptr_t previous = dc->selected;
    if (previous != wanted) {
        if (GdiObject* old = Find(reinterpret_cast<void*>(previous)); old && old != &State().stockBitmap) --old->selections;
        if (bitmap != &State().stockBitmap) ++bitmap->selections;
        dc->selected = wanted;
    }
    return reinterpret_cast<HGDIOBJ>(previous);
}

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
    GdiObject* target = Find(hdc);
    GdiObject* source = Find(hdcSrc);
    if (!IsDc(target) || !IsDc(source)) return FALSE;
    if (rop != SRCCOPY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Only a memory DC's bitmap is read and only a window's surface is written here.
    if (target->kind != Kind::PaintDc || source->kind != Kind::MemoryDc) return FALSE;
    GdiObject* bitmap = Find(reinterpret_cast<void*>(source->selected));
    PlatformTestPixels* surface = WindowSurface(target->window);
    if (!bitmap || !surface) return FALSE;
    const PlatformImage::Surface& from = bitmap->pixels;
    for (int row = 0; row < cy; ++row) {
        const long long sy = static_cast<long long>(y1) + row, dy = static_cast<long long>(y) + row;
        if (sy < 0 || dy < 0 || sy >= from.height || dy >= surface->height) continue;
        for (int col = 0; col < cx; ++col) {
            const long long sx = static_cast<long long>(x1) + col, dx = static_cast<long long>(x) + col;
            if (sx < 0 || dx < 0 || sx >= from.width || dx >= surface->width) continue;
            surface->argb[static_cast<size_t>(dy * surface->width + dx)] =
                from.At(static_cast<uint32_t>(sx), static_cast<uint32_t>(sy)) | 0xFF000000u;
        }
    }
    return TRUE;
}

BOOL WINAPI DeleteDC(HDC hdc) {
    GdiObject* dc = Find(hdc);
    if (!dc || dc->kind != Kind::MemoryDc) return FALSE;
    // The selected bitmap is let go, not deleted.
    if (GdiObject* bitmap = Find(reinterpret_cast<void*>(dc->selected)); bitmap && bitmap != &State().stockBitmap)
        --bitmap->selections;
    State().objects.erase(reinterpret_cast<uintptr_t>(hdc));
    return TRUE;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    GdiObject* object = Find(ho);
    if (!object || object->kind != Kind::Bitmap || object == &State().stockBitmap || object->selections > 0)
        return FALSE;
    State().objects.erase(reinterpret_cast<uintptr_t>(ho));
    return TRUE;
}

int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv) {
    const GdiObject* object = Find(h);
    if (!object || object->kind != Kind::Bitmap) return 0;
    if (!pv) return static_cast<int>(sizeof(BITMAP));
    if (c < static_cast<int>(sizeof(BITMAP))) return 0;
    // Bitmaps here hold 32-bit texels, but for the stock one of a memory context, which is
    // 1 x 1 monochrome (its rows padded to 16 bits); a bitmap's bits are never handed out.
    BITMAP description{};
    description.bmPlanes = 1;
    if (object == &State().stockBitmap) {
        description.bmWidth = description.bmHeight = 1;
        description.bmWidthBytes = 2;
        description.bmBitsPixel = 1;
    } else {
        description.bmWidth = static_cast<LONG>(object->pixels.width);
        description.bmHeight = static_cast<LONG>(object->pixels.height);
        description.bmWidthBytes = description.bmWidth * 4;
        description.bmBitsPixel = 32;
    }
    std::memcpy(pv, &description, sizeof description);
    return static_cast<int>(sizeof description);
}

namespace platform {
void ResetGdi() {
    Gdi& gdi = State();
    gdi.objects.clear();
    gdi.windows.clear();
}
}  // namespace platform

bool PlatformTest_WindowPixels(HWND window, PlatformTestPixels* out) {
    auto it = State().windows.find(window);
    if (it == State().windows.end() || !out) return false;
    *out = it->second;
    return true;
}

int PlatformTest_GdiObjectCount() { return static_cast<int>(State().objects.size()); }
void PlatformTest_ResetGdi() { platform::ResetGdi(); }
