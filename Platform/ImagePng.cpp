// PNG reading and writing through libpng; see ImagePng.h. The description is read from
// the IHDR chunk and the chunks before the first IDAT without libpng. Before decoding, the
// IDAT chunks' total length must be able to hold the image: deflate codes at most 1032
// bytes in one byte, so a few bytes can never claim a giant image and its allocation.
//
// libpng reports errors through a function of ours that jumps back to the setjmp in the
// reading or writing call. Nothing with a destructor is created between that setjmp and a
// call into libpng, so the jump skips no C++ object.
#include "ImagePng.h"

#include "ImageBytes.h"
#include "ImageFormat.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace PlatformImage {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kIhdrAt = 8;        // the first chunk, which must be IHDR
constexpr size_t kIhdrDataAt = 16;   // its data: width, height, depth, colour type, ...
constexpr size_t kIhdrEnd = 33;      // signature, chunk length and type, 13 bytes, CRC
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr size_t kMaxAncillaryChunk = 16u << 20;

struct Header {
    uint32_t width, height, bitDepth, colour, channels;
    bool interlaced, transparency;
    uint64_t idatBytes;  // total length of the IDAT chunks present
};

bool ValidDepth(uint32_t colour, uint32_t depth) {
    switch (colour) {
        case kPngGrey: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case kPngPalette: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case kPngRgb:
        case kPngGreyAlpha:
        case kPngRgba: return depth == 8 || depth == 16;
        default: return false;
    }
}

bool ReadHeader(const uint8_t* data, size_t size, Header* h, std::string* error) {
    if (!IsPng(data, size)) return Fail(error, "not a PNG file");
    if (size < kIhdrEnd) return Fail(error, "PNG header cut short");
    if (Be32(data + kIhdrAt) != 13 || std::memcmp(data + kIhdrAt + 4, "IHDR", 4) != 0)
        return Fail(error, "PNG without its IHDR chunk first");
    const uint8_t* ihdr = data + kIhdrDataAt;
    h->width = Be32(ihdr);
    h->height = Be32(ihdr + 4);
    h->bitDepth = ihdr[8];
    h->colour = ihdr[9];
    h->interlaced = ihdr[12] == 1;
    if (h->width == 0 || h->height == 0) return Fail(error, "PNG of zero width or height");
    if (h->width > kMaxDimension || h->height > kMaxDimension) return Fail(error, "PNG larger than 16384 texels a side");
    if (!ValidDepth(h->colour, h->bitDepth)) return Fail(error, "PNG of an invalid colour type and bit depth");
    if (ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1) return Fail(error, "PNG of an unknown compression, filter or interlace");
    h->channels = h->colour == kPngRgb ? 3 : h->colour == kPngGreyAlpha ? 2 : h->colour == kPngRgba ? 4 : 1;
    // The chunks as far as they lie in the file: transparency and the image data's length.
    h->transparency = false;
    h->idatBytes = 0;
    size_t at = kIhdrAt;
    while (size - at >= 12) {
        const uint64_t length = Be32(data + at);
        if (length > size - at - 12) break;
        const uint8_t* type = data + at + 4;
        if (std::memcmp(type, "tRNS", 4) == 0) h->transparency = true;
        if (std::memcmp(type, "IDAT", 4) == 0) h->idatBytes += length;
        if (std::memcmp(type, "IEND", 4) == 0) break;
        at += 12 + length;
    }
    return true;
}

uint32_t FormatOf(const Header& h) {
    if (h.colour == kPngPalette) return Format::kP8;
    if (h.bitDepth == 16 && h.colour != kPngGrey) return Format::kA16B16G16R16;
    switch (h.colour) {
        case kPngGrey: return h.transparency ? Format::kA8L8 : h.bitDepth == 16 ? Format::kL16 : Format::kL8;
        case kPngRgb: return h.transparency ? Format::kA8R8G8B8 : Format::kX8R8G8B8;
        case kPngGreyAlpha: return Format::kA8L8;
        default: return Format::kA8R8G8B8;
    }
}

// What libpng's callbacks share with the calling function.
struct Context {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t at = 0;
    std::vector<uint8_t>* out = nullptr;
    char message[160] = {};
};

void OnError(png_structp png, png_const_charp message) {
    Context* context = static_cast<Context*>(png_get_error_ptr(png));
    std::snprintf(context->message, sizeof context->message, "PNG: %s", message ? message : "error");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep out, size_t n) {
    Context* context = static_cast<Context*>(png_get_io_ptr(png));
    if (context->size - context->at < n) png_error(png, "file cut short");
    std::memcpy(out, context->data + context->at, n);
    context->at += n;
}

void OnWrite(png_structp png, png_bytep bytes, size_t n) {
    Context* context = static_cast<Context*>(png_get_io_ptr(png));
    context->out->insert(context->out->end(), bytes, bytes + n);
}

void OnFlush(png_structp) {}

// The decode proper, with only trivially destructible locals after its setjmp.
bool ReadPixels(Context* context, Surface* surface, std::vector<png_bytep>* rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, context, OnError, OnWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, context, OnRead);
    png_set_user_limits(png, kMaxDimension, kMaxDimension);
    png_set_chunk_malloc_max(png, kMaxAncillaryChunk);
    png_read_info(png, info);
    const png_byte colour = png_get_color_type(png, info);
    // Everything to 8-bit B, G, R, A: palettes and small grey depths expanded, tRNS made
    // alpha, 16-bit channels rounded to 8, grey copied into the three colours, and an
    // opaque alpha added where there is none.
    png_set_expand(png);
    png_set_scale_16(png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) png_error(png, "unexpected row layout");
    surface->ResetArgb(width, height);
    rows->resize(height);
    for (png_uint_32 y = 0; y < height; ++y) (*rows)[y] = surface->bytes.data() + static_cast<size_t>(y) * width * 4;
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool WritePng(Context* context, const Header& h, const std::vector<png_bytep>& rows, const png_color* palette,
              int paletteCount, const png_byte* alphas, int alphaCount, const png_color_16* key) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, context, OnError, OnWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, context, OnWrite, OnFlush);
    png_set_IHDR(png, info, h.width, h.height, static_cast<int>(h.bitDepth), static_cast<int>(h.colour),
                 h.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (paletteCount) png_set_PLTE(png, info, palette, paletteCount);
    if (alphaCount || key) png_set_tRNS(png, info, alphas, alphaCount, key);
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows.data()));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool IsPng(const uint8_t* data, size_t size) {
    return data && size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

bool ReadPngInfo(const uint8_t* data, size_t size, Info* info, std::string* error) {
    Header h;
    if (!ReadHeader(data, size, &h, error)) return false;
    *info = SingleLevelInfo(h.width, h.height, FormatOf(h), kFilePng);
    return true;
}

bool DecodePng(const uint8_t* data, size_t size, Image* image, std::string* error) {
    Header h;
    if (!ReadPngInfo(data, size, &image->info, error) || !ReadHeader(data, size, &h, error)) return false;
    const uint64_t rowBytes = (static_cast<uint64_t>(h.width) * h.channels * h.bitDepth + 7) / 8;
    if (h.idatBytes * kMaxDeflateRatio < rowBytes * h.height) return Fail(error, "PNG file shorter than its image data");
    // libpng shapes the surface again from what it reads; the two sizes agree.
    Surface& surface = SingleArgbSurface(image);
    Context context;
    context.data = data;
    context.size = size;
    std::vector<png_bytep> rows;
    if (!ReadPixels(&context, &surface, &rows))
        return Fail(error, context.message[0] ? context.message : "PNG: the library could not start");
    return true;
}

bool EncodePng(const Surface& argb, const PngWriteOptions& options, std::vector<uint8_t>* out, std::string* error) {
    out->clear();
    if (argb.width == 0 || argb.height == 0) return Fail(error, "PNG of zero width or height");
    Header h{};
    h.width = argb.width;
    h.height = argb.height;
    h.colour = options.colour == kPngAuto ? (HasTranslucency(argb) ? kPngRgba : kPngRgb) : options.colour;
    h.bitDepth = options.bitDepth;
    h.interlaced = options.interlace;
    if (!ValidDepth(h.colour, h.bitDepth)) return Fail(error, "PNG of an invalid colour type and bit depth");
    if (options.transparentKey && h.colour != kPngGrey && h.colour != kPngRgb)
        return Fail(error, "a transparent key is for grey or RGB images");
    const size_t n = static_cast<size_t>(argb.width) * argb.height;
    const uint32_t* texels = argb.Argb();

    std::vector<uint32_t> palette;
    std::vector<uint8_t> indices;
    png_color plte[256];
    png_byte alphas[256];
    int alphaCount = 0;
    if (h.colour == kPngPalette) {
        if (!BuildPalette(argb, 1u << h.bitDepth, &palette, &indices, error)) return false;
        for (size_t i = 0; i < palette.size(); ++i) {
            plte[i] = {static_cast<png_byte>(palette[i] >> 16), static_cast<png_byte>(palette[i] >> 8),
                       static_cast<png_byte>(palette[i])};
            alphas[i] = static_cast<png_byte>(palette[i] >> 24);
            if (alphas[i] != 0xFF) alphaCount = static_cast<int>(i) + 1;
        }
    }
    // A transparent key: the one colour of all alpha-0 texels, no opaque texel of that colour.
    png_color_16 key{};
    bool haveKey = false;
    if (options.transparentKey) {
        uint32_t keyColour = 0;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t a = texels[i] >> 24;
            if (a != 0 && a != 0xFF) return Fail(error, "a transparent key cannot hold partial alpha");
            if (a == 0 && !haveKey) keyColour = texels[i] & 0xFFFFFF, haveKey = true;
        }
        for (size_t i = 0; haveKey && i < n; ++i) {
            const bool transparent = texels[i] >> 24 == 0;
            if (transparent != ((texels[i] & 0xFFFFFF) == keyColour))
                return Fail(error, "the transparent key colour is not the transparent texels' alone");
        }
        if (haveKey) {
            const uint32_t scale = h.bitDepth == 16 ? 257 : 1;
            uint32_t kr = keyColour >> 16 & 0xFF, kg = keyColour >> 8 & 0xFF, kb = keyColour & 0xFF;
            key.red = static_cast<png_uint_16>(kr * scale);
            key.green = static_cast<png_uint_16>(kg * scale);
            key.blue = static_cast<png_uint_16>(kb * scale);
            uint32_t grey = keyColour;
            uint8_t l;
            FromArgb(Format::kL8, &grey, 1, &l);
            const uint32_t max = (1u << h.bitDepth) - 1;
            key.gray = static_cast<png_uint_16>(h.bitDepth == 16 ? l * 257u : (l * max + 127) / 255);
        }
    }

    // The rows in the file's layout.
    const uint32_t channels = h.colour == kPngRgb ? 3 : h.colour == kPngGreyAlpha ? 2 : h.colour == kPngRgba ? 4 : 1;
    const size_t rowBytes = (static_cast<size_t>(h.width) * channels * h.bitDepth + 7) / 8;
    std::vector<uint8_t> pixels(rowBytes * h.height, 0);
    for (uint32_t y = 0; y < h.height; ++y) {
        uint8_t* row = pixels.data() + y * rowBytes;
        for (uint32_t x = 0; x < h.width; ++x) {
            const size_t i = static_cast<size_t>(y) * h.width + x;
            const uint32_t p = texels[i];
            uint8_t l;
            FromArgb(Format::kL8, &p, 1, &l);
            uint32_t values[4] = {p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF, p >> 24};
            if (h.colour == kPngGrey || h.colour == kPngGreyAlpha) values[0] = l, values[1] = p >> 24;
            if (h.colour == kPngPalette) values[0] = indices[i];
            if (h.bitDepth < 8) {
                const uint32_t max = (1u << h.bitDepth) - 1;
                const uint32_t v = h.colour == kPngPalette ? values[0] : (values[0] * max + 127) / 255;
                const uint32_t perByte = 8 / h.bitDepth;
                row[x / perByte] = static_cast<uint8_t>(row[x / perByte] | v << (8 - h.bitDepth * (x % perByte + 1)));
                continue;
            }
            for (uint32_t c = 0; c < channels; ++c) {
                if (h.bitDepth == 16) {
                    row[(x * channels + c) * 2] = static_cast<uint8_t>(values[c]);
                    row[(x * channels + c) * 2 + 1] = static_cast<uint8_t>(values[c]);
                } else {
                    row[x * channels + c] = static_cast<uint8_t>(values[c]);
                }
            }
        }
    }
    std::vector<png_bytep> rows(h.height);
    for (uint32_t y = 0; y < h.height; ++y) rows[y] = pixels.data() + y * rowBytes;
    Context context;
    context.out = out;
    if (!WritePng(&context, h, rows, palette.empty() ? nullptr : plte, static_cast<int>(palette.size()), alphas,
                  alphaCount, haveKey ? &key : nullptr)) {
        out->clear();
        return Fail(error, context.message[0] ? context.message : "PNG: the library could not start");
    }
    return true;
}

}  // namespace PlatformImage
