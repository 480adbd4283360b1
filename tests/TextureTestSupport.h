// Helpers of the texture tests: a windowed device on the platform's real Direct3D 9, images
// written into memory (uncompressed BMP files of 32-bit pixels), files written beside the
// test and the pixels of a locked level.
#pragma once

#include <d3d9.h>
#include <stdio.h>
#include <string.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/TextureManager.h"

#include <gtest/gtest.h>

namespace texsupport {

// A windowed device, or a skip when this machine has none or the device makes no textures.
#define REQUIRE_TEXTURE_DEVICE(app)                                                           \
    do {                                                                                      \
        if (!(app).Create(GetModuleHandleA(nullptr), nullptr))                                \
            GTEST_SKIP() << "no Direct3D 9 adapter here";                                     \
        if (!(app).SetMode(false)) GTEST_SKIP() << "the adapter refused a windowed device";   \
        IDirect3DTexture9* probe = nullptr;                                                   \
        if (FAILED(TheDevice()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,   \
                                              &probe, nullptr)))                              \
            GTEST_SKIP() << "the device makes no textures";                                   \
        probe->Release();                                                                     \
    } while (0)

// Empties the texture manager and closes the window when the test ends.
struct DeviceScope {
    Application& app;
    explicit DeviceScope(Application& a) : app(a) { TheTextureManager().Reset(); }
    ~DeviceScope() {
        TheTextureManager().Reset();
        if (app.GetWindow()) DestroyWindow(app.GetWindow());
    }
};

inline void Put16(std::vector<unsigned char>& out, unsigned v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}
inline void Put32(std::vector<unsigned char>& out, unsigned v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A bottom-up BMP of 32-bit pixels; pixel(x, y) gives 0xAARRGGBB with y counted from the top.
inline std::vector<unsigned char> MakeBmp(unsigned width, unsigned height,
                                          const std::function<unsigned(unsigned, unsigned)>& pixel) {
    std::vector<unsigned char> out;
    const unsigned imageSize = width * height * 4;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 14 + 40 + imageSize);
    Put32(out, 0);
    Put32(out, 14 + 40);  // where the pixels start
    Put32(out, 40);       // BITMAPINFOHEADER
    Put32(out, width);
    Put32(out, height);
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0);  // BI_RGB
    Put32(out, imageSize);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (unsigned row = 0; row < height; ++row) {
        const unsigned y = height - 1 - row;
        for (unsigned x = 0; x < width; ++x) Put32(out, pixel(x, y));
    }
    return out;
}

// Writes a file whole under a temporary name and renames it into place: tests of other
// processes may read a file of the same name at the same moment, and must see either the
// old bytes or the new ones, never a truncated file.
inline bool WriteFile(const std::string& name, const std::vector<unsigned char>& bytes) {
    const std::string temporary =
        name + ".part" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    FILE* f = fopen(temporary.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (fclose(f) != 0 || !ok) {
        remove(temporary.c_str());
        return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, name, error);
    if (error) {
        remove(temporary.c_str());
        return false;
    }
    return true;
}

inline bool WriteText(const std::string& name, const std::string& text) {
    return WriteFile(name, std::vector<unsigned char>(text.begin(), text.end()));
}

// The 32-bit pixels of one level, row by row without the pitch.
inline std::vector<unsigned> ReadPixels(IDirect3DTexture9* texture, unsigned level) {
    std::vector<unsigned> pixels;
    D3DSURFACE_DESC desc;
    if (!texture || FAILED(texture->GetLevelDesc(level, &desc))) return pixels;
    D3DLOCKED_RECT locked;
    if (FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) return pixels;
    for (unsigned y = 0; y < desc.Height; ++y) {
        const unsigned char* row = static_cast<const unsigned char*>(locked.pBits) + y * locked.Pitch;
        for (unsigned x = 0; x < desc.Width; ++x) {
            unsigned v;
            memcpy(&v, row + x * 4, 4);
            pixels.push_back(v);
        }
    }
    texture->UnlockRect(level);
    return pixels;
}

inline bool FillPixels(IDirect3DTexture9* texture, unsigned level, const std::function<unsigned(unsigned, unsigned)>& pixel) {
    D3DSURFACE_DESC desc;
    if (!texture || FAILED(texture->GetLevelDesc(level, &desc))) return false;
    D3DLOCKED_RECT locked;
    if (FAILED(texture->LockRect(level, &locked, nullptr, 0))) return false;
    for (unsigned y = 0; y < desc.Height; ++y) {
        unsigned char* row = static_cast<unsigned char*>(locked.pBits) + y * locked.Pitch;
        for (unsigned x = 0; x < desc.Width; ++x) {
            const unsigned v = pixel(x, y);
            memcpy(row + x * 4, &v, 4);
        }
    }
    texture->UnlockRect(level);
    return true;
}

// The count of references a COM object holds now.
inline ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

}  // namespace texsupport
