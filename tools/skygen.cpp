// skygen: the product scene's sky boxes, rendered from a small sky model so that every build
// makes the same bytes. Four sets follow the day: "chateau" (dawn, the sun just above the
// horizon ahead), "mpcarentan" (day, the sun high ahead), "dam" (dusk, the sun low behind)
// and "pathfinder" (night: stars and the glow of a moon up to the left). Each set has five
// faces, up, ft, bk, lf and rt, written as "<set>_<face>.jpg" through libjpeg.
//
// A pixel's colour comes from its view direction: a gradient from the horizon to the zenith,
// the sun's glow, haze that thickens towards the horizon, value-noise clouds on a plane
// above the viewer, and below the horizon a dim haze the ground hides anyway.
//
// Face directions (y up, z ahead, x to the right; image u to the right, v down):
//   ft +z: (u, -v, 1)    bk -z: (-u, -v, -1)    lf -x: (-1, -v, u)    rt +x: (1, -v, -u)
//   up +y: (u, 1, -v), the top edge of the image towards ft.
// The sky model's quads must map their textures the same way.
//
//   skygen <output folder> [size]      all 20 faces, size x size pixels (default 512)
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Color {
    double r, g, b;
};

Color operator+(Color a, Color b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Color operator*(Color a, double k) { return {a.r * k, a.g * k, a.b * k}; }

Color Mix(Color a, Color b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

struct Dir {
    double x, y, z;
};

Dir Normalized(Dir d) {
    const double length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    return {d.x / length, d.y / length, d.z / length};
}

double Dot(Dir a, Dir b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

double Smooth(double edge0, double edge1, double x) {
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Integer hash of a lattice point, to [0, 1).
double Hash(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return (h & 0xffffffu) / 16777216.0;
}

double ValueNoise(double x, double y, uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const double a = Hash(ix, iy, seed), b = Hash(ix + 1, iy, seed);
    const double c = Hash(ix, iy + 1, seed), d = Hash(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Five octaves, about [0, 1).
double Fbm(double x, double y, uint32_t seed) {
    double sum = 0, amplitude = 0.5, scale = 1;
    for (int octave = 0; octave < 5; ++octave) {
        sum += ValueNoise(x * scale, y * scale, seed + static_cast<uint32_t>(octave)) * amplitude;
        scale *= 2.03;
        amplitude *= 0.5;
    }
    return sum / 0.96875;
}

struct SkySet {
    const char* name;
    Dir sun;             // towards the sun (or the moon at night)
    Color zenith, horizon, below;
    Color glow;          // the light around the sun
    double glowWidth;    // larger: a tighter glow
    Color cloudLit, cloudShade;
    double coverage;     // 0 (overcast) to 1 (clear)
    bool stars;
    uint32_t seed;
};

Dir Towards(double elevationDegrees, double azimuthDegrees) {
    const double e = elevationDegrees * M_PI / 180, a = azimuthDegrees * M_PI / 180;
    return Normalized({std::cos(e) * std::sin(a), std::sin(e), std::cos(e) * std::cos(a)});
}

const SkySet kSets[] = {
    {"chateau", Towards(3, 0), {0.22, 0.30, 0.52}, {0.96, 0.64, 0.42}, {0.42, 0.32, 0.28}, {1.0, 0.62, 0.30}, 6,
     {1.0, 0.72, 0.58}, {0.40, 0.32, 0.42}, 0.58, false, 11},
    {"mpcarentan", Towards(55, 10), {0.16, 0.40, 0.80}, {0.70, 0.82, 0.93}, {0.55, 0.55, 0.52}, {1.0, 0.96, 0.85}, 9,
     {1.0, 1.0, 1.0}, {0.66, 0.70, 0.78}, 0.62, false, 23},
    {"dam", Towards(2, 180), {0.14, 0.16, 0.38}, {0.98, 0.50, 0.26}, {0.36, 0.24, 0.22}, {1.0, 0.45, 0.18}, 5,
     {0.98, 0.58, 0.42}, {0.30, 0.20, 0.34}, 0.60, false, 37},
    {"pathfinder", Normalized({-0.7071, 0.7071, 0}), {0.010, 0.016, 0.050}, {0.055, 0.075, 0.150},
     {0.03, 0.035, 0.05}, {0.30, 0.34, 0.42}, 14, {0.16, 0.18, 0.24}, {0.03, 0.035, 0.06}, 0.70, true, 41},
};

const char* const kFaces[] = {"up", "ft", "bk", "lf", "rt"};

Dir FaceDirection(int face, double u, double v) {
    switch (face) {
        case 0: return {u, 1, -v};
        case 1: return {u, -v, 1};
        case 2: return {-u, -v, -1};
        case 3: return {-1, -v, u};
        default: return {1, -v, -u};
    }
}

Color Shade(const SkySet& set, Dir d) {
    const double elevation = d.y;
    const double toSun = Dot(d, set.sun);
    if (elevation < 0) {
        // Below the horizon: haze fading into the dim ground colour.
        return Mix(set.horizon * 0.85, set.below, Smooth(0.0, 0.35, -elevation));
    }
    Color sky = Mix(set.horizon, set.zenith, std::pow(elevation, 0.45));
    // The sun's glow: a wide halo and a tight core.
    const double halo = std::exp((toSun - 1) * set.glowWidth);
    const double core = std::exp((toSun - 1) * set.glowWidth * 30);
    sky = sky + set.glow * (halo * 0.55 + core * 0.35);
    // Haze thickens towards the horizon.
    sky = Mix(sky, set.horizon + set.glow * (halo * 0.3), std::pow(1 - elevation, 8) * 0.6);

    if (set.stars) {
        // Stars: a sparse lattice on the sky dome, brighter ones rarer.
        const double sx = d.x / (d.y + 1.2) * 900, sz = d.z / (d.y + 1.2) * 900;
        const int32_t cx = static_cast<int32_t>(std::floor(sx)), cz = static_cast<int32_t>(std::floor(sz));
        const double chance = Hash(cx, cz, set.seed + 101);
        if (chance > 0.9965) {
            const double brightness = (chance - 0.9965) / 0.0035;
            const double fx = sx - cx - 0.5, fz = sz - cz - 0.5;
            const double spot = std::exp(-(fx * fx + fz * fz) * 10);
            sky = sky + Color{0.85, 0.88, 1.0} * (spot * (0.35 + 0.65 * brightness) * Smooth(0.02, 0.25, elevation));
        }
    }

    // Clouds on a plane above the viewer; thinner and flatter towards the horizon.
    const double px = d.x / (elevation + 0.12) * 1.6, pz = d.z / (elevation + 0.12) * 1.6;
    const double density = Fbm(px + 17.3, pz - 4.1, set.seed);
    const double cover = Smooth(set.coverage, set.coverage + 0.25, density) * Smooth(0.0, 0.18, elevation);
    if (cover > 0) {
        const double lit = std::clamp(0.5 + 0.5 * toSun, 0.0, 1.0);
        const double detail = Fbm(px * 3 + 5, pz * 3 - 9, set.seed + 7);
        Color cloud = Mix(set.cloudShade, set.cloudLit, lit * 0.7 + detail * 0.3);
        cloud = cloud + set.glow * (halo * 0.35);
        sky = Mix(sky, cloud, cover * 0.9);
    }
    return sky;
}

uint8_t Byte(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v * 255.0), 0L, 255L)); }

bool WriteJpeg(const std::string& path, int size, const std::vector<uint8_t>& rgb) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(size);
    info.image_height = static_cast<JDIMENSION>(size);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 88, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + static_cast<size_t>(info.next_scanline) * size * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: skygen <output folder> [size]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int size = argc == 3 ? std::atoi(argv[2]) : 512;
    if (size < 2 || size > 4096) {
        std::fprintf(stderr, "skygen: the size must lie between 2 and 4096\n");
        return 2;
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(size) * size * 3);
    for (const SkySet& set : kSets) {
        for (int face = 0; face < 5; ++face) {
            for (int y = 0; y < size; ++y) {
                const double v = (y + 0.5) / size * 2 - 1;
                for (int x = 0; x < size; ++x) {
                    const double u = (x + 0.5) / size * 2 - 1;
                    const Color c = Shade(set, Normalized(FaceDirection(face, u, v)));
                    uint8_t* out = &rgb[(static_cast<size_t>(y) * size + x) * 3];
                    out[0] = Byte(c.r);
                    out[1] = Byte(c.g);
                    out[2] = Byte(c.b);
                }
            }
            const std::string path = folder + "/" + set.name + "_" + kFaces[face] + ".jpg";
            if (!WriteJpeg(path, size, rgb)) {
                std::fprintf(stderr, "skygen: cannot write %s\n", path.c_str());
                return 1;
            }
        }
    }
    return 0;
}
