// JPEG reading and writing through libjpeg; see ImageJpeg.h. The library's error manager
// is ours: errors copy the message and jump back to the setjmp of the calling function;
// warnings (corrupt data, data that ends early) are recorded and make the read fail when it
// is done. Nothing with a destructor is created between that setjmp and the calls into
// libjpeg, so the jump skips no C++ object.
//
// Every 8x8 block of the first component takes at least one bit of coded data, so a file
// can claim at most 512 texels per byte it holds; a header that claims more is refused
// before any row is allocated.
#include "ImageJpeg.h"

#include "ImageBytes.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace PlatformImage {
namespace {

constexpr uint64_t kMaxTexelsPerByte = 512;

struct ErrorManager {
    jpeg_error_mgr base;  // first, so that libjpeg's pointer to it is a pointer to this
    jmp_buf jump;
    bool warned;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
    ErrorManager* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    longjmp(manager->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace messages
    ErrorManager* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (!manager->warned) (*cinfo->err->format_message)(cinfo, manager->message);
    manager->warned = true;
}

void InstallErrors(ErrorManager* manager) {
    jpeg_std_error(&manager->base);
    manager->base.error_exit = OnError;
    manager->base.emit_message = OnMessage;
    manager->warned = false;
    manager->message[0] = 0;
}

// Reads the header (and with `surface`, the texels). Plain locals only after the setjmp.
bool Read(const uint8_t* data, size_t size, Info* info, Surface* surface, std::vector<uint8_t>* row,
          ErrorManager* errors) {
    jpeg_decompress_struct cinfo;
    InstallErrors(errors);
    cinfo.err = &errors->base;
    if (setjmp(errors->jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.image_width == 0 || cinfo.image_height == 0 || cinfo.image_width > kMaxDimension ||
        cinfo.image_height > kMaxDimension) {
        std::snprintf(errors->message, sizeof errors->message, "JPEG of zero size or larger than 16384 texels a side");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    info->width = cinfo.image_width;
    info->height = cinfo.image_height;
    info->format = grey ? Format::kL8 : Format::kX8R8G8B8;
    if (!surface) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&cinfo);
    const uint32_t width = cinfo.output_width, height = cinfo.output_height;
    surface->ResetArgb(width, height, 0xFF000000u);
    row->resize(static_cast<size_t>(width) * cinfo.output_components);
    while (cinfo.output_scanline < height) {
        const uint32_t y = cinfo.output_scanline;
        uint32_t* out = surface->Argb() + static_cast<size_t>(y) * width;
        if (cinfo.out_color_space == JCS_EXT_BGRA) {
            JSAMPROW target = reinterpret_cast<JSAMPROW>(out);
            jpeg_read_scanlines(&cinfo, &target, 1);
            for (uint32_t x = 0; x < width; ++x) out[x] |= 0xFF000000u;  // the fourth byte comes back as filler
            continue;
        }
        JSAMPROW target = row->data();
        jpeg_read_scanlines(&cinfo, &target, 1);
        const uint8_t* in = row->data();
        for (uint32_t x = 0; x < width; ++x) {
            if (grey) {
                out[x] = 0xFF000000u | in[x] * 0x010101u;
            } else {
                // Adobe's CMYK is stored inverted: each byte is 255 minus the ink.
                const uint32_t c = in[4 * x], m = in[4 * x + 1], ye = in[4 * x + 2], k = in[4 * x + 3];
                out[x] = 0xFF000000u | (c * k + 127) / 255 << 16 | (m * k + 127) / 255 << 8 | (ye * k + 127) / 255;
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool Write(const Surface& argb, const JpegWriteOptions& options, unsigned char** buffer, unsigned long* length,
           std::vector<uint8_t>* row, ErrorManager* errors) {
    jpeg_compress_struct cinfo;
    InstallErrors(errors);
    cinfo.err = &errors->base;
    if (setjmp(errors->jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, length);
    cinfo.image_width = argb.width;
    cinfo.image_height = argb.height;
    cinfo.input_components = options.grey ? 1 : 4;
    cinfo.in_color_space = options.grey ? JCS_GRAYSCALE : JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    row->resize(argb.width);
    while (cinfo.next_scanline < cinfo.image_height) {
        const uint32_t* in = argb.Argb() + static_cast<size_t>(cinfo.next_scanline) * argb.width;
        JSAMPROW source;
        if (options.grey) {
            for (uint32_t x = 0; x < argb.width; ++x) {
                const uint32_t p = in[x];
                (*row)[x] = static_cast<uint8_t>(((p >> 16 & 0xFF) * 2125 + (p >> 8 & 0xFF) * 7154 + (p & 0xFF) * 721 +
                                                  5000) / 10000);
            }
            source = row->data();
        } else {
            source = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(in));
        }
        jpeg_write_scanlines(&cinfo, &source, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

bool IsJpeg(const uint8_t* data, size_t size) {
    return data && size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

bool ReadJpegInfo(const uint8_t* data, size_t size, Info* info, std::string* error) {
    if (!IsJpeg(data, size)) return Fail(error, "not a JPEG file");
    ErrorManager errors;
    if (!Read(data, size, info, nullptr, nullptr, &errors)) return Fail(error, std::string("JPEG: ") + errors.message);
    *info = SingleLevelInfo(info->width, info->height, info->format, kFileJpg);
    return true;
}

bool DecodeJpeg(const uint8_t* data, size_t size, Image* image, std::string* error) {
    if (!ReadJpegInfo(data, size, &image->info, error)) return false;
    if (static_cast<uint64_t>(image->info.width) * image->info.height > size * kMaxTexelsPerByte)
        return Fail(error, "JPEG file shorter than its image data");
    Surface& surface = SingleArgbSurface(image);
    ErrorManager errors;
    std::vector<uint8_t> row;
    Info info;
    if (!Read(data, size, &info, &surface, &row, &errors))
        return Fail(error, std::string("JPEG: ") + errors.message);
    if (errors.warned) return Fail(error, std::string("JPEG damaged: ") + errors.message);
    return true;
}

bool EncodeJpeg(const Surface& argb, const JpegWriteOptions& options, std::vector<uint8_t>* out, std::string* error) {
    out->clear();
    if (argb.width == 0 || argb.height == 0 || argb.width > 65500 || argb.height > 65500)
        return Fail(error, "JPEG sizes run from 1 to 65500");
    if (options.quality < 1 || options.quality > 100) return Fail(error, "JPEG quality runs from 1 to 100");
    ErrorManager errors;
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    std::vector<uint8_t> row;
    const bool ok = Write(argb, options, &buffer, &length, &row, &errors);
    if (ok) out->assign(buffer, buffer + length);
    std::free(buffer);
    if (!ok) return Fail(error, std::string("JPEG: ") + errors.message);
    return true;
}

}  // namespace PlatformImage
