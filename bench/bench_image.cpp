// Decoding speed of the platform's image readers on a 1024 x 1024 image in each format and
// layout, and the speed of the helpers the texture loaders run after them (pixel format
// conversion, resizing, mip chains, DXT blocks). Throughput counts the A8R8G8B8 bytes
// produced (4 MiB per image), so the formats compare on what the loader receives.
#include "Platform/Image.h"
#include "Platform/ImageBmp.h"
#include "Platform/ImageDds.h"
#include "Platform/ImageFilter.h"
#include "Platform/ImageFormat.h"
#include "Platform/ImageJpeg.h"
#include "Platform/ImagePng.h"
#include "Platform/ImageTga.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace PlatformImage;

namespace {

constexpr uint32_t kSide = 1024;
constexpr int64_t kImageBytes = int64_t{kSide} * kSide * 4;

// Smooth gradients with a little noise, as photographs and painted textures are.
const Surface& Picture() {
    static const Surface picture = [] {
        Surface s;
        s.ResetArgb(kSide, kSide);
        uint32_t seed = 12345;
        for (uint32_t y = 0; y < kSide; ++y)
            for (uint32_t x = 0; x < kSide; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const uint32_t noise = seed >> 29;
                const uint32_t r = (x / 4 + noise) & 0xFF, g = (y / 4 + noise) & 0xFF, b = ((x + y) / 8) & 0xFF;
                s.Argb()[y * kSide + x] = 0xFF000000u | r << 16 | g << 8 | b;
            }
        return s;
    }();
    return picture;
}

void DecodeFile(benchmark::State& state, const std::vector<uint8_t>& file) {
    if (file.empty()) {
        state.SkipWithError("the fixture could not be written");
        return;
    }
    for (auto _ : state) {
        Image image;
        if (!Decode(file.data(), file.size(), &image, nullptr)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.surfaces.data());
    }
    state.SetBytesProcessed(state.iterations() * kImageBytes);
    state.counters["file_bytes"] = static_cast<double>(file.size());
}

// The picture written by one of the writers (empty when it fails).
template <typename Options>
std::vector<uint8_t> Written(bool (*encode)(const Surface&, const Options&, std::vector<uint8_t>*, std::string*),
                             const Options& options) {
    std::vector<uint8_t> out;
    if (!encode(Picture(), options, &out, nullptr)) out.clear();
    return out;
}

std::vector<uint8_t> Bmp(uint32_t bits) {
    BmpWriteOptions options;
    options.bits = bits;
    return Written(EncodeBmp, options);
}

std::vector<uint8_t> Tga(bool rle) {
    TgaWriteOptions options;
    options.rle = rle;
    return Written(EncodeTga, options);
}

std::vector<uint8_t> Png(uint32_t colour) {
    PngWriteOptions options;
    options.colour = colour;
    return Written(EncodePng, options);
}

std::vector<uint8_t> Jpeg() { return Written(EncodeJpeg, JpegWriteOptions()); }

std::vector<uint8_t> Dds(uint32_t format) {
    Image image = MakeArgbImage(kSide, kSide);
    image.surfaces[0] = Picture();
    if (IsBlockFormat(format)) CompressImage(&image, format, nullptr);
    std::vector<uint8_t> out;
    EncodeDds(image, format, &out, nullptr);
    return out;
}

void BM_DecodeBmp24(benchmark::State& state) { DecodeFile(state, Bmp(24)); }
void BM_DecodeBmp32(benchmark::State& state) { DecodeFile(state, Bmp(32)); }
void BM_DecodeTga32(benchmark::State& state) { DecodeFile(state, Tga(false)); }
void BM_DecodeTga32Rle(benchmark::State& state) { DecodeFile(state, Tga(true)); }
void BM_DecodePngRgb(benchmark::State& state) { DecodeFile(state, Png(kPngRgb)); }
void BM_DecodePngRgba(benchmark::State& state) { DecodeFile(state, Png(kPngRgba)); }
void BM_DecodeJpeg(benchmark::State& state) { DecodeFile(state, Jpeg()); }
void BM_DecodeDdsA8R8G8B8(benchmark::State& state) { DecodeFile(state, Dds(Format::kA8R8G8B8)); }
void BM_DecodeDdsR5G6B5(benchmark::State& state) { DecodeFile(state, Dds(Format::kR5G6B5)); }
void BM_DecodeDdsDxt1Blocks(benchmark::State& state) { DecodeFile(state, Dds(Format::kDxt1)); }

void BM_DecompressDxt5(benchmark::State& state) {
    std::vector<uint8_t> blocks;
    CompressDxt(Format::kDxt5, Picture(), &blocks, nullptr);
    for (auto _ : state) {
        Surface out;
        DecompressDxt(Format::kDxt5, blocks.data(), blocks.size(), kSide, kSide, &out, nullptr);
        benchmark::DoNotOptimize(out.bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}

void BM_ConvertToR5G6B5(benchmark::State& state) {
    std::vector<uint8_t> out(size_t{kSide} * kSide * 2);
    for (auto _ : state) {
        FromArgb(Format::kR5G6B5, Picture().Argb(), size_t{kSide} * kSide, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}

void BM_ResizeHalf(benchmark::State& state) {
    const uint32_t filter = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        Surface out;
        Resize(Picture(), kSide / 2, kSide / 2, filter, &out, nullptr);
        benchmark::DoNotOptimize(out.bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}

void BM_MipChain(benchmark::State& state) {
    for (auto _ : state) {
        Image image = MakeArgbImage(kSide, kSide);
        image.surfaces[0] = Picture();
        GenerateMips(&image, 0, nullptr);
        benchmark::DoNotOptimize(image.surfaces.data());
    }
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}

}  // namespace

BENCHMARK(BM_DecodeBmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBmp32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTga32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTga32Rle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePngRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePngRgba)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDdsA8R8G8B8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDdsR5G6B5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDdsDxt1Blocks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecompressDxt5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertToR5G6B5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeHalf)->Arg(kFilterPoint)->Arg(kFilterLinear)->Arg(kFilterTriangle)->Arg(kFilterBox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MipChain)->Unit(benchmark::kMillisecond);
