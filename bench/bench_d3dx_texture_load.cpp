// The D3DX texture loader against the bare image decoder on the same bytes: a 1024 x 1024
// picture in each file format, loaded into a managed A8R8G8B8 texture of one level without
// resizing. The difference is the loader's own share (detection, the texture, the copy into
// its level), which should stay small beside decoding. Throughput counts the A8R8G8B8 bytes
// produced.
//
// Blocks of a few megabytes sit near glibc's adaptive mmap threshold: when the allocator
// hands them back to the kernel after every iteration, each load pays a page fault per page
// (the BMP case, about 35 ms on a virtual machine, against 2.5 ms with
// MALLOC_MMAP_THRESHOLD_=67108864 MALLOC_TRIM_THRESHOLD_=268435456). That cost belongs to the
// allocator's policy, not the loader: compare figures with those two variables set.
#include "Platform/Image.h"

#include <d3d9.h>
#include <d3dx9.h>
#include <windows.h>

#include "BenchDevice.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr uint32_t kSide = 1024;
constexpr int64_t kImageBytes = int64_t{kSide} * kSide * 4;

std::vector<uint8_t> File(PlatformImage::FileFormat format) {
    PlatformImage::Image image = PlatformImage::MakeArgbImage(kSide, kSide);
    PlatformImage::Surface& surface = PlatformImage::SingleArgbSurface(&image);
    for (uint32_t y = 0; y < kSide; ++y)
        for (uint32_t x = 0; x < kSide; ++x)
            surface.Argb()[y * kSide + x] = 0xFF000000u | ((x / 4) & 0xFF) << 16 | ((y / 4) & 0xFF) << 8 | ((x + y) / 8 & 0xFF);
    std::vector<uint8_t> out;
    std::string error;
    PlatformImage::Encode(image, format, &out, &error);
    return out;
}

void LoadThroughD3dx(benchmark::State& state, PlatformImage::FileFormat format) {
    const std::vector<uint8_t> file = File(format);
    benchdevice::WindowedDevice made("TextureLoadBench");
    if (!made.device || file.empty()) {
        state.SkipWithError("no device or no file");
        return;
    }
    for (auto _ : state) {
        IDirect3DTexture9* texture = nullptr;
        if (FAILED(D3DXCreateTextureFromFileInMemoryEx(made.device, file.data(), static_cast<UINT>(file.size()),
                                                       D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
                                                       D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_FILTER_NONE,
                                                       D3DX_FILTER_NONE, 0, nullptr, nullptr, &texture))) {
            state.SkipWithError("the loader refused the file");
            return;
        }
        texture->Release();
    }
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}

void DecodeOnly(benchmark::State& state, PlatformImage::FileFormat format) {
    const std::vector<uint8_t> file = File(format);
    std::string error;
    for (auto _ : state) {
        PlatformImage::Image image;
        if (!PlatformImage::Decode(file.data(), file.size(), &image, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(image.surfaces.data());
    }
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}

}  // namespace

BENCHMARK_CAPTURE(LoadThroughD3dx, bmp, PlatformImage::kFileBmp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeOnly, bmp, PlatformImage::kFileBmp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadThroughD3dx, tga, PlatformImage::kFileTga)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeOnly, tga, PlatformImage::kFileTga)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadThroughD3dx, png, PlatformImage::kFilePng)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeOnly, png, PlatformImage::kFilePng)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadThroughD3dx, jpg, PlatformImage::kFileJpg)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeOnly, jpg, PlatformImage::kFileJpg)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadThroughD3dx, dds, PlatformImage::kFileDds)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeOnly, dds, PlatformImage::kFileDds)->Unit(benchmark::kMillisecond);
