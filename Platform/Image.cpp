// The image record, the choice of reader by content, and the writer with each format's
// usual choices. Signatures are checked first (DDS, PNG, JPEG, BMP); TGA has none and is
// tried last, only when its header holds together.
#include "Image.h"

#include "ImageBmp.h"
#include "ImageBytes.h"
#include "ImageDds.h"
#include "ImageJpeg.h"
#include "ImagePng.h"
#include "ImageTga.h"

#include <algorithm>
#include <unordered_map>

namespace PlatformImage {

void Surface::ResetArgb(uint32_t w, uint32_t h, uint32_t fill) {
    width = w;
    height = h;
    pitch = w * 4;
    bytes.resize(static_cast<size_t>(w) * h * 4);
    uint32_t* texels = Argb();
    for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i) texels[i] = fill;
}

FileFormat DetectFileFormat(const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (!bytes) return kFileUnknown;
    if (IsDds(bytes, size)) return kFileDds;
    if (IsPng(bytes, size)) return kFilePng;
    if (IsJpeg(bytes, size)) return kFileJpg;
    if (IsBmp(bytes, size)) return kFileBmp;
    if (LooksLikeTga(bytes, size)) return kFileTga;
    return kFileUnknown;
}

bool ReadInfo(const void* data, size_t size, Info* info, std::string* error) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    *info = Info();
    switch (DetectFileFormat(data, size)) {
        case kFileDds: return ReadDdsInfo(bytes, size, info, error);
        case kFilePng: return ReadPngInfo(bytes, size, info, error);
        case kFileJpg: return ReadJpegInfo(bytes, size, info, error);
        case kFileBmp: return ReadBmpInfo(bytes, size, info, error);
        case kFileTga: return ReadTgaInfo(bytes, size, info, error);
        default: return Fail(error, "not an image file of a known format");
    }
}

bool Decode(const void* data, size_t size, Image* image, std::string* error, Texels texels) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    *image = Image();
    bool ok;
    switch (DetectFileFormat(data, size)) {
        case kFileDds: ok = DecodeDds(bytes, size, image, error, texels == Texels::kWideAsStored); break;
        case kFilePng: ok = DecodePng(bytes, size, image, error); break;
        case kFileJpg: ok = DecodeJpeg(bytes, size, image, error); break;
        case kFileBmp: ok = DecodeBmp(bytes, size, image, error); break;
        case kFileTga: ok = DecodeTga(bytes, size, image, error); break;
        default: return Fail(error, "not an image file of a known format");
    }
    if (!ok) *image = Image();  // a half-filled record is never handed on
    return ok;
}

Image MakeArgbImage(uint32_t width, uint32_t height, uint32_t fill, uint32_t format) {
    Image image;
    image.info.width = width;
    image.info.height = height;
    image.info.format = format;
    image.surfaces.resize(1);
    image.surfaces[0].ResetArgb(width, height, fill);
    return image;
}

Info SingleLevelInfo(uint32_t width, uint32_t height, uint32_t format, FileFormat fileFormat) {
    Info info;
    info.width = width;
    info.height = height;
    info.format = format;
    info.fileFormat = fileFormat;
    return info;
}

Surface& SingleArgbSurface(Image* image) {
    image->faces = 1;
    image->pixelFormat = Format::kA8R8G8B8;
    image->surfaces.resize(1);
    image->surfaces[0].ResetArgb(image->info.width, image->info.height);
    return image->surfaces[0];
}

void SkipLevels(Image* image, uint32_t count) {
    const uint32_t levels = image->info.mipLevels;
    if (levels == 0 || image->surfaces.size() != static_cast<size_t>(image->faces) * levels) return;
    const uint32_t skip = std::min(count, levels - 1);
    if (skip == 0) return;
    std::vector<Surface> kept;
    kept.reserve(static_cast<size_t>(image->faces) * (levels - skip));
    for (uint32_t face = 0; face < image->faces; ++face)
        for (uint32_t level = skip; level < levels; ++level) kept.push_back(std::move(image->Level(face, level)));
    image->surfaces = std::move(kept);
    image->info.mipLevels = levels - skip;
    image->info.width = image->surfaces[0].width;
    image->info.height = image->surfaces[0].height;
}

bool HasTranslucency(const Surface& surface) {
    const uint32_t* texels = surface.Argb();
    for (size_t i = 0, n = static_cast<size_t>(surface.width) * surface.height; i < n; ++i)
        if (texels[i] >> 24 != 0xFF) return true;
    return false;
}

bool BuildPalette(const Surface& surface, uint32_t maxColours, std::vector<uint32_t>* palette,
                  std::vector<uint8_t>* indices, std::string* error) {
    palette->clear();
    const size_t n = static_cast<size_t>(surface.width) * surface.height;
    indices->resize(n);
    std::unordered_map<uint32_t, uint8_t> slots;
    const uint32_t* texels = surface.Argb();
    for (size_t i = 0; i < n; ++i) {
        auto found = slots.find(texels[i]);
        if (found == slots.end()) {
            if (palette->size() >= maxColours || palette->size() >= 256)
                return Fail(error, "the image has more colours than the palette holds");
            found = slots.emplace(texels[i], static_cast<uint8_t>(palette->size())).first;
            palette->push_back(texels[i]);
        }
        (*indices)[i] = found->second;
    }
    return true;
}

bool Encode(const Image& image, FileFormat fileFormat, std::vector<uint8_t>* out, std::string* error) {
    out->clear();
    if (image.surfaces.empty()) return Fail(error, "the image has no surfaces");
    if (fileFormat == kFileDds) {
        uint32_t format = image.pixelFormat;
        if (format == Format::kA8R8G8B8 && CanWriteDdsFormat(image.info.format)) format = image.info.format;
        return EncodeDds(image, format, out, error);
    }
    if (image.pixelFormat != Format::kA8R8G8B8) return Fail(error, "DXT blocks can only be written to DDS");
    const Surface& top = image.surfaces[0];
    switch (fileFormat) {
        case kFileBmp: {
            BmpWriteOptions options;
            options.bits = HasTranslucency(top) ? 32 : 24;
            return EncodeBmp(top, options, out, error);
        }
        case kFilePng: return EncodePng(top, PngWriteOptions(), out, error);
        case kFileTga: return EncodeTga(top, TgaWriteOptions(), out, error);
        case kFileJpg: return EncodeJpeg(top, JpegWriteOptions(), out, error);
        default: return Fail(error, "no writer for that file format");
    }
}

}  // namespace PlatformImage
