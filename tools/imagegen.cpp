// imagegen: the program's pictures, rendered from code so that every build makes the same
// bytes: the preview the display control panel shows, the pictures of the configuration
// and About dialogs, the icon, and the loading screen the full-screen saver shows while it
// starts. Each is a desert at dusk with a pyramid, drawn per pixel from a few shapes (sky
// gradient, setting sun, dunes, the pyramid's two lit faces).
//
// The loading screen is a full-screen picture and four corner ornaments drawn over it: a
// quarter disc of the same dusk scene with a gold rim, anchored in its corner and
// transparent elsewhere (edges blended over one pixel), so they carry alpha and are PNG.
//
// BMP (24-bit, bottom-up, no compression, as a BITMAP resource wants it) and ICO (16, 32
// and 48-pixel 32-bit images with their AND masks) are written here; PNG and JPEG through
// libpng and libjpeg.
//
//   imagegen <picture> <width> <height> <output.bmp|.png|.jpg>
//   imagegen icon <output.ico>
// Pictures: dusk (the preview), config, about, loading (the loading screen's background),
// badge (the small loading images), corner-lu, corner-ld, corner-ru, corner-rd (the
// loading screen's corners: left or right, up or down), and caret: the text caret bar the
// media archive carries (a light bar, brightest in its middle rows, 2 x 20 in the archive).
//
//   imagegen textures <folder>
// writes the product scene's textures under their archive names below the folder
// (Models/All/sand.jpg, ..., displace.bmp); SceneTextures.h says what each one shows.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include "Picture.h"
#include "SceneTextures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Color {
    double r, g, b;
};

Color Mix(Color a, Color b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

uint8_t Byte(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// How the scene is framed: where the horizon lies, where the sun sets, how large the
// pyramid stands.
struct Framing {
    double horizon;   // fraction of the height
    double sunX;      // fraction of the width
    double pyramidX;  // the apex, fraction of the width
    double pyramidH;  // fraction of the height above the horizon
    double pyramidW;  // half the base, fraction of the width
};

Color Dusk(double u, double v, const Framing& f, double aspect) {
    const Color zenith{38, 24, 72}, glow{236, 128, 64}, sunCore{255, 214, 140};
    const Color sandLit{196, 120, 70}, sandDark{92, 52, 44};
    const Color faceLit{214, 146, 86}, faceShade{120, 66, 58};
    // The sky: from deep violet overhead to orange at the horizon.
    Color c = Mix(zenith, glow, std::pow(v / f.horizon, 1.6));
    // The setting sun, half under the horizon, with a soft halo.
    const double dx = (u - f.sunX) * aspect, dy = v - f.horizon;
    const double d = std::sqrt(dx * dx + dy * dy);
    if (v < f.horizon) {
        c = Mix(c, sunCore, 0.55 * std::exp(-d * 9.0));
        if (d < 0.07) c = sunCore;
    }
    // Dunes: the ground line rises and falls in two slow waves.
    const double ground = f.horizon + 0.015 * std::sin(u * 9.0) + 0.01 * std::sin(u * 23.0 + 1.0);
    if (v >= ground) {
        const double depth = (v - ground) / (1.0 - ground + 1e-9);
        c = Mix(sandLit, sandDark, depth * 0.8 + 0.2 * (0.5 + 0.5 * std::sin(u * 31.0 + v * 17.0)));
    }
    // The pyramid: a triangle on the horizon, the face towards the sun lit.
    const double apexY = f.horizon - f.pyramidH;
    if (v >= apexY && v <= f.horizon + 0.02) {
        const double half = f.pyramidW * (v - apexY) / (f.horizon + 0.02 - apexY);
        const double off = u - f.pyramidX;
        if (std::fabs(off) <= half) c = (off < 0) == (f.sunX < f.pyramidX) ? faceLit : faceShade;
    }
    return c;
}

// The caret bar: near white, a little darker towards its ends so that its edges read
// against light text.
Color Caret(double v) {
    const Color middle{250, 250, 250}, end{200, 204, 212};
    return Mix(middle, end, std::pow(std::fabs(v - 0.5) * 2.0, 3.0));
}

// A corner ornament: `right` and `down` say which corner of the picture it sits in.
Picture RenderCorner(int width, int height, bool right, bool down) {
    Picture p;
    p.width = width;
    p.height = height;
    p.pixels.resize(static_cast<size_t>(width) * height);
    const Color gold{232, 186, 96};
    const Framing f{0.55, right ? 0.75 : 0.25, right ? 0.4 : 0.6, 0.3, 0.25};
    const double size = std::min(width, height);
    const double cx = right ? width : 0.0, cy = down ? height : 0.0;
    const double rim = size * 0.9, rimWidth = size * 0.06;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double r = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            Color c = Dusk((x + 0.5) / width, (y + 0.5) / height, f, static_cast<double>(width) / height);
            if (r > rim - rimWidth) c = gold;
            // Opaque inside the rim, fading out over one pixel at its outer edge.
            const double alpha = std::clamp(rim - r + 0.5, 0.0, 1.0);
            p.At(x, y) = {Byte(c.r), Byte(c.g), Byte(c.b), Byte(alpha * 255.0)};
        }
    return p;
}

Picture Render(const std::string& name, int width, int height) {
    if (name.rfind("corner-", 0) == 0) return RenderCorner(width, height, name[7] == 'r', name[8] == 'd');
    Picture p;
    p.width = width;
    p.height = height;
    p.pixels.resize(static_cast<size_t>(width) * height);
    if (name == "caret") {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const Color c = Caret((y + 0.5) / height);
                p.At(x, y) = {Byte(c.r), Byte(c.g), Byte(c.b), 255};
            }
        return p;
    }
    Framing f{0.62, 0.22, 0.62, 0.34, 0.22};
    if (name == "config") f = {0.58, 0.78, 0.38, 0.30, 0.20};
    else if (name == "about") f = {0.66, 0.5, 0.5, 0.40, 0.26};
    else if (name == "icon") f = {0.7, 0.2, 0.55, 0.5, 0.42};
    else if (name == "loading") f = {0.64, 0.8, 0.36, 0.36, 0.2};
    else if (name == "badge") f = {0.68, 0.3, 0.5, 0.46, 0.34};
    const double aspect = static_cast<double>(width) / std::max(1, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Color c = Dusk((x + 0.5) / width, (y + 0.5) / height, f, aspect);
            p.At(x, y) = {Byte(c.r), Byte(c.g), Byte(c.b), 255};
        }
    return p;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A 40-byte info header for a bottom-up image of `bits` per pixel; `heightField` is the
// height as written (an icon image writes twice its height: colour and mask).
void PutInfoHeader(std::vector<uint8_t>& out, int width, int heightField, int bits, uint32_t imageSize) {
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(heightField));
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bits));
    Put32(out, 0);  // BI_RGB
    Put32(out, imageSize);
    Put32(out, 2835);  // 72 dots per inch
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
}

std::vector<uint8_t> EncodeBmp(const Picture& p) {
    const uint32_t stride = (static_cast<uint32_t>(p.width) * 3 + 3) & ~3u;
    const uint32_t imageSize = stride * static_cast<uint32_t>(p.height);
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 14 + 40 + imageSize);
    Put32(out, 0);
    Put32(out, 14 + 40);
    PutInfoHeader(out, p.width, p.height, 24, imageSize);
    for (int y = p.height - 1; y >= 0; --y) {
        const size_t start = out.size();
        for (int x = 0; x < p.width; ++x) {
            const Rgba& c = p.At(x, y);
            out.push_back(c.b);
            out.push_back(c.g);
            out.push_back(c.r);
        }
        out.resize(start + stride, 0);
    }
    return out;
}

// One icon image: the info header, 32-bit colour rows bottom-up, then the 1-bit AND mask
// (all clear: every pixel opaque), rows padded to 4 bytes.
std::vector<uint8_t> EncodeIconImage(const Picture& p) {
    const uint32_t maskStride = ((static_cast<uint32_t>(p.width) + 31) / 32) * 4;
    const uint32_t colorSize = static_cast<uint32_t>(p.width) * p.height * 4;
    std::vector<uint8_t> out;
    PutInfoHeader(out, p.width, p.height * 2, 32, colorSize + maskStride * p.height);
    for (int y = p.height - 1; y >= 0; --y)
        for (int x = 0; x < p.width; ++x) {
            const Rgba& c = p.At(x, y);
            out.push_back(c.b);
            out.push_back(c.g);
            out.push_back(c.r);
            out.push_back(c.a);
        }
    out.resize(out.size() + static_cast<size_t>(maskStride) * p.height, 0);
    return out;
}

std::vector<uint8_t> EncodeIco(const std::vector<Picture>& images) {
    std::vector<std::vector<uint8_t>> blobs;
    for (const Picture& p : images) blobs.push_back(EncodeIconImage(p));
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);  // an icon
    Put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<uint8_t>(images[i].width >= 256 ? 0 : images[i].width));
        out.push_back(static_cast<uint8_t>(images[i].height >= 256 ? 0 : images[i].height));
        out.push_back(0);  // no palette
        out.push_back(0);
        Put16(out, 1);   // planes
        Put16(out, 32);  // bits per pixel
        Put32(out, static_cast<uint32_t>(blobs[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(blobs[i].size());
    }
    for (const auto& blob : blobs) out.insert(out.end(), blob.begin(), blob.end());
    return out;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// `grey`: one 8-bit grey channel taken from the red one, no alpha.
bool WritePng(const std::string& path, const Picture& p, bool grey = false) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(p.width), static_cast<png_uint_32>(p.height), 8,
                 grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> greyRow(static_cast<size_t>(p.width));
    for (int y = 0; y < p.height; ++y) {
        if (grey) {
            for (int x = 0; x < p.width; ++x) greyRow[x] = p.At(x, y).r;
            png_write_row(png, greyRow.data());
        } else {
            png_write_row(png, reinterpret_cast<png_const_bytep>(&p.pixels[static_cast<size_t>(y) * p.width]));
        }
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

bool WriteJpeg(const std::string& path, const Picture& p) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = static_cast<JDIMENSION>(p.width);
    cinfo.image_height = static_cast<JDIMENSION>(p.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(p.width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < p.width; ++x) {
            row[x * 3] = p.At(x, y).r;
            row[x * 3 + 1] = p.At(x, y).g;
            row[x * 3 + 2] = p.At(x, y).b;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(f) == 0;
}

bool EndsWith(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Writes every scene texture below `folder` under its archive name.
bool WriteTextures(const std::string& folder) {
    for (const SceneTexture& t : SceneTextures()) {
        const std::filesystem::path path = std::filesystem::path(folder) / t.name;
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
        const Picture picture = t.render(t.size);
        bool ok = false;
        switch (t.file) {
            case TextureFile::Jpeg: ok = WriteJpeg(path.string(), picture); break;
            case TextureFile::Png: ok = WritePng(path.string(), picture); break;
            case TextureFile::GreyPng: ok = WritePng(path.string(), picture, true); break;
            case TextureFile::Bmp: ok = WriteFile(path.string(), EncodeBmp(picture)); break;
        }
        if (!ok) {
            std::fprintf(stderr, "imagegen: cannot write %s\n", path.string().c_str());
            return false;
        }
    }
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: imagegen <picture> <width> <height> <output.bmp|.png|.jpg>\n"
                 "       pictures: dusk config about loading badge corner-lu corner-ld corner-ru corner-rd caret\n"
                 "       imagegen icon <output.ico>\n"
                 "       imagegen textures <folder>\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "icon") {
        std::vector<Picture> sizes;
        for (int size : {16, 32, 48}) sizes.push_back(Render("icon", size, size));
        if (!WriteFile(argv[2], EncodeIco(sizes))) {
            std::fprintf(stderr, "imagegen: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "textures") return WriteTextures(argv[2]) ? 0 : 1;
    if (argc != 5) return Usage();
    const std::string name = argv[1], out = argv[4];
    static const char* const kPictures[] = {"dusk",      "config",    "about",     "loading",  "badge",
                                            "corner-lu", "corner-ld", "corner-ru", "corner-rd", "caret"};
    if (std::none_of(std::begin(kPictures), std::end(kPictures), [&](const char* p) { return name == p; }))
        return Usage();
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
    if (width < 1 || height < 1 || width > 4096 || height > 4096) return Usage();
    const Picture picture = Render(name, width, height);
    bool ok = false;
    if (EndsWith(out, ".bmp")) ok = WriteFile(out, EncodeBmp(picture));
    else if (EndsWith(out, ".png")) ok = WritePng(out, picture);
    else if (EndsWith(out, ".jpg") || EndsWith(out, ".jpeg")) ok = WriteJpeg(out, picture);
    else return Usage();
    if (!ok) {
        std::fprintf(stderr, "imagegen: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
