// imagetool: writes image fixtures through the platform's image writers, and describes
// and dumps images through its readers. Tests, fuzz seeds and media use it, so that no
// image in the project is edited by hand.
//
//   imagetool make <out.(bmp|tga|png|dds|jpg)> <width> <height> <pattern> [options]
//   imagetool info <file>
//   imagetool dump <file> <out.rgba>     face 0, level 0 as bytes R, G, B, A
//
// Patterns: gradient (red across, green down, blue falling), checker (two colours in
// cells), ramp (a height ramp: grey rising left to right), solid (one colour).
// Options:
//   --alpha             the gradient's alpha falls across the diagonal
//   --colour AARRGGBB   the solid colour, or the checker's first colour
//   --colour2 AARRGGBB  the checker's second colour
//   --cell N            checker cell size (default 8)
//   --format NAME       DDS: A8R8G8B8 X8R8G8B8 R8G8B8 R5G6B5 X1R5G5B5 A1R5G5B5 A4R4G4B4 X4R4G4B4
//                       L8 A8 A8L8 V8U8 L16 DXT1 ... DXT5; TGA: A8R8G8B8 R8G8B8 A1R5G5B5
//                       X1R5G5B5 L8 P8
//   --mips N            DDS: mip levels (0: the full chain; default 1)
//   --cube              DDS: a cube map, each face tinted by its number
//   --rle               TGA run-length packets; BMP run-length coding (8 bits, or --bits 4)
//   --jumps             BMP run-length coding: texels of colour 0 jumped over where it can
//   --top-down          TGA and BMP: rows from the top
//   --bits N            BMP: 1, 4, 8 (palette), 16, 24 or 32 (default 24, 32 with --alpha)
//   --565               BMP: 16 bits as 5-6-5
//   --header N          BMP: header size 12, 40, 108 or 124
//   --palette           BMP 8 bits, PNG palette, TGA P8 (colours are reduced to fit)
//   --png KIND          PNG: grey, grey-alpha, rgb, rgba or palette
//   --depth N           PNG bit depth
//   --interlace         PNG Adam7 interlacing
//   --quality N         JPEG quality (default 90)
//   --grey              JPEG in grey
//   --progressive       JPEG progressive
#include "Platform/Image.h"
#include "Platform/ImageBmp.h"
#include "Platform/ImageDds.h"
#include "Platform/ImageFilter.h"
#include "Platform/ImageFormat.h"
#include "Platform/ImageJpeg.h"
#include "Platform/ImagePng.h"
#include "Platform/ImageTga.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace PlatformImage;

namespace {

struct Options {
    bool alpha = false, cube = false, rle = false, jumps = false, topDown = false, rgb565 = false, palette = false;
    bool interlace = false, grey = false, progressive = false;
    uint32_t colour = 0xFFFFFFFFu, colour2 = 0xFF000000u, cell = 8, mips = 1, bits = 0, header = 40;
    uint32_t depth = 8, quality = 90;
    std::string format, png;
};

const std::map<std::string, uint32_t>& FormatNames() {
    static const std::map<std::string, uint32_t> names = {
        {"A8R8G8B8", Format::kA8R8G8B8}, {"X8R8G8B8", Format::kX8R8G8B8}, {"R8G8B8", Format::kR8G8B8},
        {"R5G6B5", Format::kR5G6B5},     {"X1R5G5B5", Format::kX1R5G5B5}, {"A1R5G5B5", Format::kA1R5G5B5},
        {"A4R4G4B4", Format::kA4R4G4B4}, {"X4R4G4B4", Format::kX4R4G4B4}, {"L8", Format::kL8},
        {"A8", Format::kA8},             {"A8L8", Format::kA8L8},         {"V8U8", Format::kV8U8},
        {"L16", Format::kL16},           {"P8", Format::kP8},             {"DXT1", Format::kDxt1},
        {"DXT2", Format::kDxt2},         {"DXT3", Format::kDxt3},         {"DXT4", Format::kDxt4},
        {"DXT5", Format::kDxt5},         {"A16B16G16R16", Format::kA16B16G16R16},
        {"A8B8G8R8", Format::kA8B8G8R8},
    };
    return names;
}

std::string FormatName(uint32_t format) {
    for (const auto& [name, value] : FormatNames())
        if (value == format) return name;
    return std::to_string(format);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: imagetool make <out.(bmp|tga|png|dds|jpg)> <width> <height> <gradient|checker|ramp|solid> "
                 "[options]\n"
                 "       imagetool info <file>\n"
                 "       imagetool dump <file> <out.rgba>\n");
    return 2;
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "imagetool: %s\n", what.c_str());
    return 1;
}

bool ReadFile(const char* path, std::vector<uint8_t>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteFile(const std::string& path, const void* bytes, size_t n) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(n));
    return static_cast<bool>(out);
}

bool ParseNumber(const char* text, uint32_t* out, int base = 10) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, base);
    if (!*text || *end || v > 0xFFFFFFFFul) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

Surface Draw(const std::string& pattern, uint32_t w, uint32_t h, const Options& o, uint32_t face) {
    Surface s;
    s.ResetArgb(w, h);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t p;
            if (pattern == "gradient") {
                const uint32_t r = x * 255 / std::max(w - 1, 1u), g = y * 255 / std::max(h - 1, 1u);
                const uint32_t a = o.alpha ? 255 - (x + y) * 255 / std::max(w + h - 2, 1u) : 255;
                p = Pack(a, r, g, 255 - (r + g) / 2);
            } else if (pattern == "checker") {
                p = ((x / o.cell) + (y / o.cell)) % 2 ? o.colour2 : o.colour;
            } else if (pattern == "ramp") {
                p = 0xFF000000u | (x * 255 / std::max(w - 1, 1u)) * 0x010101u;
            } else {
                p = o.colour;
            }
            // Cube faces differ: each face's blue carries its number.
            if (o.cube) p = (p & 0xFFFFFF00u) | (face * 51);
            s.Argb()[static_cast<size_t>(y) * w + x] = p;
        }
    }
    return s;
}

// Reduces the colours to at most `max`: levels per channel that fit, or black and white.
void Reduce(Surface* s, uint32_t max) {
    std::set<uint32_t> colours(s->Argb(), s->Argb() + static_cast<size_t>(s->width) * s->height);
    if (colours.size() <= max) return;
    uint32_t levels = 1;
    while ((levels + 1) * (levels + 1) * (levels + 1) <= max) ++levels;
    for (size_t i = 0, n = static_cast<size_t>(s->width) * s->height; i < n; ++i) {
        const uint32_t p = s->Argb()[i];
        if (levels < 2) {
            const uint32_t grey = ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3;
            s->Argb()[i] = grey >= 128 ? 0xFFFFFFFFu : 0xFF000000u;
            continue;
        }
        auto level = [&](uint32_t c) { return (c * (levels - 1) + 127) / 255 * 255 / (levels - 1); };
        s->Argb()[i] = Pack(0xFF, level(p >> 16 & 0xFF), level(p >> 8 & 0xFF), level(p & 0xFF));
    }
}

bool Flag(const std::vector<std::string>& args, size_t* i, Options* o, std::string* error) {
    const std::string& a = args[*i];
    auto value = [&](uint32_t* out, int base = 10) {
        if (*i + 1 >= args.size() || !ParseNumber(args[*i + 1].c_str(), out, base)) {
            *error = a + " wants a number";
            return false;
        }
        ++*i;
        return true;
    };
    auto text = [&](std::string* out) {
        if (*i + 1 >= args.size()) {
            *error = a + " wants a value";
            return false;
        }
        *out = args[++*i];
        return true;
    };
    if (a == "--alpha") return o->alpha = true;
    if (a == "--cube") return o->cube = true;
    if (a == "--rle") return o->rle = true;
    if (a == "--jumps") return o->jumps = true;
    if (a == "--top-down") return o->topDown = true;
    if (a == "--565") return o->rgb565 = true;
    if (a == "--palette") return o->palette = true;
    if (a == "--interlace") return o->interlace = true;
    if (a == "--grey") return o->grey = true;
    if (a == "--progressive") return o->progressive = true;
    if (a == "--colour") return value(&o->colour, 16);
    if (a == "--colour2") return value(&o->colour2, 16);
    if (a == "--cell") return value(&o->cell) && (o->cell > 0 || (*error = "--cell must be positive", false));
    if (a == "--mips") return value(&o->mips);
    if (a == "--bits") return value(&o->bits);
    if (a == "--header") return value(&o->header);
    if (a == "--depth") return value(&o->depth);
    if (a == "--quality") return value(&o->quality);
    if (a == "--format") return text(&o->format);
    if (a == "--png") return text(&o->png);
    *error = "unknown option " + a;
    return false;
}

int Make(const std::vector<std::string>& args) {
    if (args.size() < 4) return Usage();
    const std::string& out = args[0];
    uint32_t width, height;
    if (!ParseNumber(args[1].c_str(), &width) || !ParseNumber(args[2].c_str(), &height) || width == 0 || height == 0 ||
        width > kMaxDimension || height > kMaxDimension)
        return Fail("width and height run from 1 to 16384");
    const std::string pattern = args[3];
    if (pattern != "gradient" && pattern != "checker" && pattern != "ramp" && pattern != "solid")
        return Fail("unknown pattern " + pattern);
    Options o;
    std::string error;
    for (size_t i = 4; i < args.size(); ++i)
        if (!Flag(args, &i, &o, &error)) return Fail(error);
    const size_t dot = out.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : out.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    uint32_t format = Format::kA8R8G8B8;
    if (!o.format.empty()) {
        const auto found = FormatNames().find(o.format);
        if (found == FormatNames().end()) return Fail("unknown format " + o.format);
        format = found->second;
    }

    std::vector<uint8_t> bytes;
    const Surface top = Draw(pattern, width, height, o, 0);
    bool ok = false;
    if (ext == "dds") {
        Image image;
        image.faces = o.cube ? 6 : 1;
        image.info.format = format;
        for (uint32_t face = 0; face < image.faces; ++face) image.surfaces.push_back(Draw(pattern, width, height, o, face));
        if (!GenerateMips(&image, o.mips, &error)) return Fail(error);
        if (IsBlockFormat(format) && !CompressImage(&image, format, &error)) return Fail(error);
        ok = EncodeDds(image, format, &bytes, &error);
    } else if (ext == "tga") {
        TgaWriteOptions t;
        t.format = o.palette ? Format::kP8 : o.format.empty() ? Format::kA8R8G8B8 : format;
        t.rle = o.rle;
        t.topDown = o.topDown;
        Surface s = top;
        if (t.format == Format::kP8) Reduce(&s, 256);
        ok = EncodeTga(s, t, &bytes, &error);
    } else if (ext == "bmp") {
        BmpWriteOptions b;
        b.bits = o.bits ? o.bits : o.palette || o.rle ? 8 : o.alpha ? 32 : 24;
        b.rgb565 = o.rgb565;
        b.topDown = o.topDown;
        b.rle = o.rle;
        b.rleJumps = o.jumps;
        b.headerSize = o.header;
        Surface s = top;
        if (b.bits <= 8) Reduce(&s, 1u << b.bits);
        ok = EncodeBmp(s, b, &bytes, &error);
    } else if (ext == "png") {
        PngWriteOptions p;
        static const std::map<std::string, uint32_t> kinds = {{"grey", kPngGrey},
                                                              {"grey-alpha", kPngGreyAlpha},
                                                              {"rgb", kPngRgb},
                                                              {"rgba", kPngRgba},
                                                              {"palette", kPngPalette}};
        if (o.palette) o.png = "palette";
        if (!o.png.empty()) {
            const auto found = kinds.find(o.png);
            if (found == kinds.end()) return Fail("unknown PNG kind " + o.png);
            p.colour = found->second;
        }
        p.bitDepth = o.depth;
        p.interlace = o.interlace;
        Surface s = top;
        if (p.colour == kPngPalette) Reduce(&s, 1u << std::min(o.depth, 8u));
        ok = EncodePng(s, p, &bytes, &error);
    } else if (ext == "jpg" || ext == "jpeg") {
        JpegWriteOptions j;
        j.quality = static_cast<int>(std::min(o.quality, 1000u));
        j.grey = o.grey;
        j.progressive = o.progressive;
        ok = EncodeJpeg(top, j, &bytes, &error);
    } else {
        return Fail("the output's extension names no format: bmp, tga, png, dds or jpg");
    }
    if (!ok) return Fail("cannot make " + out + ": " + error);
    if (!WriteFile(out, bytes.data(), bytes.size())) return Fail("cannot write " + out);
    return 0;
}

int Describe(const char* path) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(path, &bytes)) return Fail(std::string("cannot read ") + path);
    Info info;
    std::string error;
    if (!ReadInfo(bytes.data(), bytes.size(), &info, &error)) return Fail(std::string(path) + ": " + error);
    static const char* kFileNames[] = {"BMP", "JPG", "TGA", "PNG", "DDS"};
    const char* type = info.resourceType == kResourceCubeTexture     ? "cube"
                       : info.resourceType == kResourceVolumeTexture ? "volume"
                                                                     : "texture";
    std::printf("%s %ux%u depth %u levels %u format %s %s\n", kFileNames[info.fileFormat], info.width, info.height,
                info.depth, info.mipLevels, FormatName(info.format).c_str(), type);
    Image image;
    if (!Decode(bytes.data(), bytes.size(), &image, &error)) return Fail(std::string(path) + ": " + error);
    return 0;
}

int Dump(const char* path, const char* out) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(path, &bytes)) return Fail(std::string("cannot read ") + path);
    Image image;
    std::string error;
    if (!Decode(bytes.data(), bytes.size(), &image, &error) || !DecompressImage(&image, &error))
        return Fail(std::string(path) + ": " + error);
    const Surface& s = image.surfaces[0];
    std::vector<uint8_t> rgba;
    rgba.reserve(static_cast<size_t>(s.width) * s.height * 4);
    for (size_t i = 0, n = static_cast<size_t>(s.width) * s.height; i < n; ++i) {
        const uint32_t p = s.Argb()[i];
        for (uint32_t shift : {16u, 8u, 0u, 24u}) rgba.push_back(static_cast<uint8_t>(p >> shift));
    }
    if (!WriteFile(out, rgba.data(), rgba.size())) return Fail(std::string("cannot write ") + out);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    if (command == "make") return Make(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "info" && argc == 3) return Describe(argv[2]);
    if (command == "dump" && argc == 4) return Dump(argv[2], argv[3]);
    return Usage();
}
