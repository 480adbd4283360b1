// The product scene's textures (see SceneTextures.h). Everything is built from one tiling
// value noise: lattice values hashed from the integer point taken modulo the lattice's
// period, blended with a smooth step; sums of octaves double the period each time, so a
// texture that samples it over [0, 1)² repeats seamlessly.
#include "SceneTextures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    double r, g, b;
};

Rgb Blend(Rgb a, Rgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb Scaled(Rgb c, double k) { return {c.r * k, c.g * k, c.b * k}; }

uint8_t ToByte(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

Rgba Pixel(Rgb c, double alpha = 1.0) { return {ToByte(c.r), ToByte(c.g), ToByte(c.b), ToByte(alpha * 255.0)}; }

double SmoothStep(double edge0, double edge1, double x) {
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

uint32_t Mix32(uint32_t h) {
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

int Wrap(int i, int period) { return ((i % period) + period) % period; }

// The lattice value at (x, y), wrapped to the periods, in [0, 1).
double Lattice(int x, int y, int periodX, int periodY, uint32_t seed) {
    const uint32_t h = Mix32(static_cast<uint32_t>(Wrap(x, periodX)) * 0x9e3779b1u ^
                             Mix32(static_cast<uint32_t>(Wrap(y, periodY)) + seed * 0x632be5abu));
    return static_cast<double>(h >> 8) / 16777216.0;
}

// Value noise over [0, 1)² with periodX x periodY lattice cells, repeating with period 1.
double Noise(double u, double v, int periodX, int periodY, uint32_t seed) {
    const double x = u * periodX, y = v * periodY;
    const double fx = std::floor(x), fy = std::floor(y);
    const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    const double tx = SmoothStep(0.0, 1.0, x - fx), ty = SmoothStep(0.0, 1.0, y - fy);
    const double a = Lattice(x0, y0, periodX, periodY, seed), b = Lattice(x0 + 1, y0, periodX, periodY, seed);
    const double c = Lattice(x0, y0 + 1, periodX, periodY, seed), d = Lattice(x0 + 1, y0 + 1, periodX, periodY, seed);
    return (a + (b - a) * tx) * (1.0 - ty) + (c + (d - c) * tx) * ty;
}

// Octaves of noise, each with twice the cells and half the weight; in [0, 1).
double Fbm(double u, double v, int periodX, int periodY, int octaves, uint32_t seed) {
    double sum = 0.0, weight = 1.0, total = 0.0;
    for (int i = 0; i < octaves; ++i) {
        sum += weight * Noise(u, v, periodX << i, periodY << i, seed + static_cast<uint32_t>(i) * 101u);
        total += weight;
        weight *= 0.5;
    }
    return sum / total;
}

// Renders size² texels from a function of the texel's centre.
template <typename F>
Picture Render(int size, F texel) {
    Picture p(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) p.At(x, y) = texel((x + 0.5) / size, (y + 0.5) / size);
    return p;
}

// ---- sand

Picture Sand(int size) {
    const Rgb light{230, 196, 140}, shade{184, 142, 94};
    const double d = 1.0 / size;
    return Render(size, [&](double u, double v) {
        const double h = SandHeight(u, v);
        // Light from the upper left: the slope towards it brightens.
        const double slope = (SandHeight(u - d, v - d) - SandHeight(u + d, v + d)) * size * 0.02;
        const double grain = Fbm(u, v, 128, 128, 2, 17) - 0.5;
        Rgb c = Blend(shade, light, 0.4 + 0.4 * h + 0.8 * slope);
        c = Scaled(c, 1.0 + 0.12 * grain);
        return Pixel(c);
    });
}

Picture SandBump(int size) {
    return Render(size, [](double u, double v) {
        const uint8_t h = ToByte(SandHeight(u, v) * 255.0);
        return Rgba{h, h, h, 255};
    });
}

// ---- stone: eight courses of four blocks, every other course shifted by half a block

Picture Stone(int size) {
    const Rgb base{206, 176, 126}, dark{150, 122, 86}, mortar{120, 100, 74};
    constexpr int kCourses = 8, kBlocks = 4;
    return Render(size, [&](double u, double v) {
        const int course = static_cast<int>(v * kCourses);
        const double shifted = u * kBlocks + (course % 2 ? 0.5 : 0.0);
        const int block = static_cast<int>(std::floor(shifted)) % kBlocks;
        const double bx = shifted - std::floor(shifted), by = v * kCourses - course;
        // Distance to the nearest joint in texture units.
        const double joint = std::min(std::min(bx, 1.0 - bx) / kBlocks, std::min(by, 1.0 - by) / kCourses);
        const double tone = Lattice(block, course, kBlocks, kCourses, 5);
        const double grain = Fbm(u, v, 16, 16, 5, 7);
        const double pits = Fbm(u, v, 64, 64, 2, 11);
        Rgb c = Blend(dark, base, 0.45 + 0.35 * tone + 0.5 * (grain - 0.5));
        if (pits > 0.78) c = Scaled(c, 0.85);
        // The joint, with the block's edge worn round into it.
        const double edge = SmoothStep(0.002, 0.01, joint);
        c = Blend(mortar, c, edge);
        return Pixel(c);
    });
}

// ---- gold

Picture Gold(int size) {
    const Rgb deep{150, 100, 24}, bright{250, 214, 110};
    return Render(size, [&](double u, double v) {
        const double streak = Fbm(u, v, 2, 32, 4, 23);
        const double band = 0.5 + 0.5 * std::sin(2.0 * kPi * (2.0 * v + 0.6 * Fbm(u, v, 4, 4, 3, 29)));
        const Rgb c = Blend(deep, bright, 0.3 + 0.45 * band + 0.5 * (streak - 0.5));
        return Pixel(c);
    });
}

// ---- bark: eight rings, each darkest at its lower edge where the old frond sat

Picture Bark(int size) {
    const Rgb light{150, 114, 78}, dark{70, 48, 32};
    constexpr int kRings = 8;
    return Render(size, [&](double u, double v) {
        const double fibre = Fbm(u, v, 48, 4, 3, 31);
        const double ringAt = v * kRings + 0.15 * (Noise(u, v, 4, 1, 37) - 0.5);
        const double inRing = ringAt - std::floor(ringAt);
        const double scar = SmoothStep(0.7, 0.98, inRing);
        Rgb c = Blend(light, dark, 0.25 + 0.6 * (fibre - 0.5) + 0.6 * scar);
        return Pixel(c);
    });
}

// ---- leaves: one frond; the rib runs up the middle, leaflets leave it at 40° towards the
// tip, shortening towards both ends of the rib.

Picture Leaves(int size) {
    const Rgb rib{150, 150, 70}, leafDark{40, 84, 26}, leafLight{96, 150, 48};
    constexpr int kLeaflets = 16;
    const double px = 1.0 / size;
    return Render(size, [&](double u, double v) {
        const double across = u - 0.5, side = std::fabs(across);
        const double along = 1.0 - v;  // 0 at the base, 1 at the tip
        // The rib: tapering from the base to the tip.
        const double ribHalf = 0.012 * (1.0 - along) + px;
        double alpha = along < 0.98 ? SmoothStep(ribHalf + px, ribHalf, side) : 0.0;
        Rgb c = rib;
        // A leaflet through this texel started at rib height `start`, rising with the slope.
        const double start = along - side * 0.84;
        const double reach = 0.46 * std::sin(kPi * std::clamp(start, 0.0, 1.0));
        if (start > 0.04 && start < 0.97 && side < reach) {
            const double slot = start * kLeaflets - std::floor(start * kLeaflets);
            // Leaflets narrow towards their tips.
            const double half = 0.4 * (1.0 - 0.7 * side / reach);
            const double inside = 0.5 - std::fabs(slot - 0.5);  // 0.5 on the leaflet's midline
            const double leaf = SmoothStep(0.5 - half - 0.04, 0.5 - half + 0.04, inside);
            if (leaf > alpha) {
                alpha = leaf;
                c = Blend(leafDark, leafLight, 0.3 + 1.4 * inside - 0.3 * side / 0.46);
            }
        }
        return Pixel(c, alpha);
    });
}

// ---- the floor's light map: warm pools under the five glows

Picture LightMap(int size) {
    // The floor spans 3800 units around the monument centre; (u, v) = (0, 0) is its corner
    // at (-x, +z). Each pool: offset from the centre (x, z), radius, strength.
    struct Pool {
        double x, z, radius, strength;
    };
    const Pool pools[] = {{-8.1, 10.1, 700, 1.0},    {-1570.1, -65.9, 420, 0.8}, {-28.7, 1321.7, 420, 0.8},
                          {1552.2, 75.7, 420, 0.8},  {80.0, -1370.4, 420, 0.8}};
    const Rgb warm{255, 210, 140};
    return Render(size, [&](double u, double v) {
        const double x = (u - 0.5) * 3800.0, z = (0.5 - v) * 3800.0;
        double light = 0.0;
        for (const Pool& p : pools) {
            const double d2 = ((x - p.x) * (x - p.x) + (z - p.z) * (z - p.z)) / (p.radius * p.radius);
            light += p.strength * std::exp(-d2 * 2.0);
        }
        light *= 0.9 + 0.2 * Fbm(u, v, 8, 8, 3, 41);
        return Pixel(Scaled(warm, std::min(light, 1.0)));
    });
}

// ---- sprites: centred on the picture, r = 1 at its edge

double Radius(double u, double v) { return std::hypot(u - 0.5, v - 0.5) * 2.0; }

// Zero at r = 1 and beyond, so that no sprite shows its square edge.
double Fade(double r) { return SmoothStep(1.0, 0.85, r); }

Picture FlareDisc(int size) {
    return Render(size, [](double u, double v) {
        const double r = Radius(u, v);
        return Pixel({255, 240, 210}, std::pow(std::max(0.0, 1.0 - r), 1.5) * Fade(r));
    });
}

Picture FlareRing(int size) {
    return Render(size, [](double u, double v) {
        const double r = Radius(u, v);
        const double ring = std::exp(-std::pow((r - 0.72) / 0.09, 2.0));
        return Pixel({170, 210, 255}, ring * Fade(r));
    });
}

Picture FlareHexagon(int size) {
    return Render(size, [](double u, double v) {
        const double x = std::fabs(u - 0.5) * 2.0, y = std::fabs(v - 0.5) * 2.0;
        // Distance to a flat-topped hexagon's edges, 1 on its border.
        const double hex = std::max(x * 0.8660254 + y * 0.5, y) / 0.8;
        const double body = SmoothStep(1.0, 0.95, hex);
        const double rim = 0.35 * SmoothStep(0.75, 0.97, hex) * body;
        return Pixel({200, 255, 180}, (0.35 + rim) * body);
    });
}

Picture FlareSpot(int size) {
    return Render(size, [](double u, double v) {
        const double r = Radius(u, v);
        const double a = std::exp(-std::pow(r / 0.18, 2.0)) + 0.25 * std::exp(-std::pow(r / 0.5, 2.0));
        return Pixel(Blend({255, 220, 160}, {255, 255, 255}, std::exp(-std::pow(r / 0.1, 2.0))),
                     std::min(1.0, a) * Fade(r));
    });
}

Picture Sun(int size) {
    const double px = 2.0 / size;
    return Render(size, [&](double u, double v) {
        const double r = Radius(u, v);
        const double core = SmoothStep(0.22 + px, 0.22 - px, r);
        const double glow = std::exp(-std::pow((r - 0.22) / 0.32, 2.0)) * Fade(r);
        const Rgb c = Blend({255, 200, 110}, {255, 252, 235}, core + 0.4 * glow);
        return Pixel(c, std::max(core, glow * 0.9));
    });
}

Picture Moon(int size) {
    // Craters: centre (in disc units, -1..1), radius.
    struct Crater {
        double x, y, r;
    };
    const Crater craters[] = {{-0.35, -0.3, 0.2},  {0.3, 0.35, 0.14}, {0.45, -0.2, 0.1},  {-0.15, 0.5, 0.09},
                              {0.05, -0.05, 0.07}, {-0.6, 0.2, 0.08}, {0.15, -0.62, 0.1}, {0.62, 0.18, 0.06}};
    const double disc = 0.92, px = 2.0 / size;
    return Render(size, [&](double u, double v) {
        const double x = (u - 0.5) * 2.0 / disc, y = (v - 0.5) * 2.0 / disc;
        const double r = std::hypot(x, y);
        const double alpha = SmoothStep(1.0 + px, 1.0 - px, r);
        // Dark seas, a little limb darkening.
        double grey = 205.0 - 55.0 * SmoothStep(0.55, 0.7, Fbm(u, v, 4, 4, 4, 53));
        grey *= 1.0 - 0.25 * r * r;
        for (const Crater& k : craters) {
            const double d = std::hypot(x - k.x, y - k.y) / k.r;
            if (d < 1.0) grey *= 0.8 + 0.1 * d;           // the floor, darker towards its middle
            else if (d < 1.2) grey *= 1.12;                // the lit rim
        }
        grey += 18.0 * (Fbm(u, v, 32, 32, 2, 59) - 0.5);
        return Pixel({grey, grey, grey * 1.02}, alpha);
    });
}

// ---- the distortion's displacement: three independent tiling fields

Picture Displace(int size) {
    return Render(size, [](double u, double v) {
        return Pixel({255.0 * Fbm(u, v, 8, 8, 4, 61), 255.0 * Fbm(u, v, 8, 8, 4, 67), 255.0 * Fbm(u, v, 8, 8, 4, 71)});
    });
}

}  // namespace

double SandHeight(double u, double v) {
    // Ripples crossing the picture ten times along u and three along v (whole numbers, so
    // that they repeat), their crests bent by noise; a steep lee side from the second
    // harmonic; and slow swells under them.
    const double bend = 2.0 * kPi * 0.9 * (Fbm(u, v, 3, 3, 3, 3) - 0.5);
    const double phase = 2.0 * kPi * (10.0 * u + 3.0 * v) + bend;
    const double ripple = (std::sin(phase) + 0.3 * std::sin(2.0 * phase)) / 1.25;
    const double swell = Fbm(u, v, 4, 4, 3, 13);
    return std::clamp(0.5 + 0.35 * ripple + 0.4 * (swell - 0.5), 0.0, 1.0);
}

const std::vector<SceneTexture>& SceneTextures() {
    static const std::vector<SceneTexture> textures = {
        {"Models/All/sand.jpg", 512, TextureFile::Jpeg, Sand},
        {"Models/All/sand_h.png", 256, TextureFile::GreyPng, SandBump},
        {"Models/All/stone.jpg", 512, TextureFile::Jpeg, Stone},
        {"Models/All/gold.jpg", 256, TextureFile::Jpeg, Gold},
        {"Models/All/bark.jpg", 256, TextureFile::Jpeg, Bark},
        {"Models/All/leaves.png", 256, TextureFile::Png, Leaves},
        {"Models/All/lightmap.jpg", 256, TextureFile::Jpeg, LightMap},
        {"Models/Flares/flare1.png", 128, TextureFile::Png, FlareDisc},
        {"Models/Flares/flare2.png", 128, TextureFile::Png, FlareRing},
        {"Models/Flares/flare3.png", 128, TextureFile::Png, FlareHexagon},
        {"Models/Flares/flare4.png", 128, TextureFile::Png, FlareSpot},
        {"Models/morn_day_sun.png", 256, TextureFile::Png, Sun},
        {"Models/moon.png", 256, TextureFile::Png, Moon},
        {"displace.bmp", 256, TextureFile::Bmp, Displace},
    };
    return textures;
}
