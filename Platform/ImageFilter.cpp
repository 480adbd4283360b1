// The resizing filters and mip chains; see ImageFilter.h.
#include "ImageFilter.h"

#include "ImageBytes.h"

#include <algorithm>
#include <cmath>

namespace PlatformImage {
namespace {

struct Tap {
    uint32_t index;
    float weight;
};

// The taps of every output position along one axis, packed with their offsets.
struct Taps {
    std::vector<uint32_t> start;  // output i uses taps[start[i] .. start[i + 1])
    std::vector<Tap> taps;
};

uint32_t Address(int64_t i, uint32_t size, bool mirror) {
    const int64_t n = size;
    if (!mirror) return static_cast<uint32_t>(((i % n) + n) % n);
    int64_t m = ((i % (2 * n)) + 2 * n) % (2 * n);
    if (m >= n) m = 2 * n - 1 - m;
    return static_cast<uint32_t>(m);
}

Taps MakeTaps(uint32_t from, uint32_t to, uint32_t kind, bool mirror) {
    Taps t;
    t.start.reserve(to + 1);
    const double scale = static_cast<double>(from) / to;
    for (uint32_t d = 0; d < to; ++d) {
        t.start.push_back(static_cast<uint32_t>(t.taps.size()));
        const size_t first = t.taps.size();
        switch (kind) {
            case kFilterPoint: {
                const uint32_t i = std::min(static_cast<uint32_t>((d + 0.5) * scale), from - 1);
                t.taps.push_back({i, 1.0f});
                break;
            }
            case kFilterLinear: {
                const double c = (d + 0.5) * scale - 0.5;
                const double i0 = std::floor(c);
                const float f = static_cast<float>(c - i0);
                t.taps.push_back({Address(static_cast<int64_t>(i0), from, mirror), 1.0f - f});
                if (f > 0) t.taps.push_back({Address(static_cast<int64_t>(i0) + 1, from, mirror), f});
                break;
            }
            case kFilterBox: {
                // The output texel covers [lo, hi) of the source; each source texel weighs
                // by the part of it that lies inside.
                const double lo = d * scale, hi = (d + 1) * scale;
                for (int64_t i = static_cast<int64_t>(std::floor(lo)); i < hi; ++i) {
                    const double overlap = std::min<double>(hi, i + 1) - std::max<double>(lo, i);
                    if (overlap > 1e-9) t.taps.push_back({Address(i, from, mirror), static_cast<float>(overlap / scale)});
                }
                break;
            }
            default: {  // triangle
                const double radius = std::max(1.0, scale);
                const double c = (d + 0.5) * scale;
                double sum = 0;
                for (int64_t i = static_cast<int64_t>(std::floor(c - radius)); i <= static_cast<int64_t>(std::ceil(c + radius));
                     ++i) {
                    const double w = 1.0 - std::fabs(i + 0.5 - c) / radius;
                    if (w <= 0) continue;
                    t.taps.push_back({Address(i, from, mirror), static_cast<float>(w)});
                    sum += w;
                }
                for (size_t k = first; k < t.taps.size(); ++k) t.taps[k].weight = static_cast<float>(t.taps[k].weight / sum);
                break;
            }
        }
    }
    t.start.push_back(static_cast<uint32_t>(t.taps.size()));
    return t;
}

uint32_t Round(float v) { return static_cast<uint32_t>(std::clamp(v + 0.5f, 0.0f, 255.0f)); }

// The box filter halving a side (or keeping a side of 1): each output texel is the rounded
// mean of its 1, 2 or 4 source texels, in integers, with the same results as the general
// path gives. This is every step of a mip chain of even sides.
bool HalveByBox(const Surface& src, uint32_t width, uint32_t height, Surface* out) {
    const uint32_t fx = src.width / width, fy = src.height / height;
    if ((fx != 1 && fx != 2) || (fy != 1 && fy != 2) || src.width != fx * width || src.height != fy * height)
        return false;
    // Both ends of a row and both rows are always added; a side of one texel adds it twice.
    const uint32_t count = fy == 2 ? 4 : 2;
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* row0 = src.Argb() + static_cast<size_t>(y * fy) * src.width;
        const uint32_t* row1 = row0 + (fy == 2 ? src.width : 0);
        uint32_t* dst = out->Argb() + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t x0 = x * fx, x1 = x0 + fx - 1;
            uint32_t result = 0;
            for (int c = 0; c < 32; c += 8) {
                uint32_t sum = (row0[x0] >> c & 0xFF) + (row0[x1] >> c & 0xFF);
                if (fy == 2) sum += (row1[x0] >> c & 0xFF) + (row1[x1] >> c & 0xFF);
                result |= ((sum + count / 2) / count) << c;
            }
            dst[x] = result;
        }
    }
    return true;
}

}  // namespace

bool Resize(const Surface& src, uint32_t width, uint32_t height, uint32_t filter, Surface* out, std::string* error,
            uint32_t noneFill) {
    const uint32_t kind = filter & 0xFF;
    if (kind < kFilterNone || kind > kFilterBox) return Fail(error, "unknown filter");
    if (width == 0 || height == 0 || src.width == 0 || src.height == 0) return Fail(error, "resizing from or to nothing");
    if (width > kMaxDimension || height > kMaxDimension) return Fail(error, "resizing beyond 16384 texels a side");
    Surface result;
    result.ResetArgb(width, height, noneFill);
    if (kind == kFilterNone) {
        for (uint32_t y = 0; y < std::min(height, src.height); ++y)
            std::copy_n(src.Argb() + static_cast<size_t>(y) * src.width, std::min(width, src.width),
                        result.Argb() + static_cast<size_t>(y) * width);
        *out = std::move(result);
        return true;
    }
    if (kind == kFilterBox && HalveByBox(src, width, height, &result)) {
        *out = std::move(result);
        return true;
    }
    const Taps across = MakeTaps(src.width, width, kind, (filter & kFilterMirrorU) != 0);
    const Taps down = MakeTaps(src.height, height, kind, (filter & kFilterMirrorV) != 0);
    // Columns first, into rows of four floats per texel; then the rows.
    std::vector<float> wide(static_cast<size_t>(width) * src.height * 4);
    for (uint32_t y = 0; y < src.height; ++y) {
        const uint32_t* row = src.Argb() + static_cast<size_t>(y) * src.width;
        float* dst = wide.data() + static_cast<size_t>(y) * width * 4;
        for (uint32_t x = 0; x < width; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (uint32_t k = across.start[x]; k < across.start[x + 1]; ++k) {
                const uint32_t p = row[across.taps[k].index];
                const float w = across.taps[k].weight;
                for (int c = 0; c < 4; ++c) acc[c] += w * static_cast<float>(p >> (8 * c) & 0xFF);
            }
            std::copy_n(acc, 4, dst + 4 * x);
        }
    }
    for (uint32_t y = 0; y < height; ++y) {
        uint32_t* dst = result.Argb() + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (uint32_t k = down.start[y]; k < down.start[y + 1]; ++k) {
                const float* p = wide.data() + (static_cast<size_t>(down.taps[k].index) * width + x) * 4;
                for (int c = 0; c < 4; ++c) acc[c] += down.taps[k].weight * p[c];
            }
            dst[x] = Round(acc[3]) << 24 | Round(acc[2]) << 16 | Round(acc[1]) << 8 | Round(acc[0]);
        }
    }
    *out = std::move(result);
    return true;
}

uint32_t MipChainLength(uint32_t width, uint32_t height) {
    uint32_t n = 1;
    for (uint32_t m = std::max(width, height); m > 1; m >>= 1) ++n;
    return n;
}

bool GenerateMips(Image* image, uint32_t levels, std::string* error) {
    if (image->pixelFormat != Format::kA8R8G8B8) return Fail(error, "mip levels are made from A8R8G8B8 texels");
    const uint32_t oldLevels = image->info.mipLevels;
    if (image->surfaces.empty() || oldLevels == 0 || image->surfaces.size() != static_cast<size_t>(image->faces) * oldLevels)
        return Fail(error, "the image's surfaces do not match its faces and levels");
    const Surface& first = image->surfaces[0];
    const uint32_t chain = MipChainLength(first.width, first.height);
    if (levels == 0 || levels > chain) levels = chain;
    std::vector<Surface> surfaces;
    surfaces.reserve(static_cast<size_t>(image->faces) * levels);
    for (uint32_t face = 0; face < image->faces; ++face) {
        surfaces.push_back(std::move(image->surfaces[static_cast<size_t>(face) * oldLevels]));
        for (uint32_t level = 1; level < levels; ++level) {
            const Surface& above = surfaces.back();
            Surface next;
            if (!Resize(above, std::max(above.width / 2, 1u), std::max(above.height / 2, 1u), kFilterBox, &next, error))
                return false;
            surfaces.push_back(std::move(next));
        }
    }
    image->surfaces = std::move(surfaces);
    image->info.mipLevels = levels;
    return true;
}

}  // namespace PlatformImage
