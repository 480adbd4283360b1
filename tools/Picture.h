// An 8-bit RGBA picture, rows from the top: what imagegen's renderers produce and its
// encoders (BMP, ICO, PNG, JPEG) write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Rgba {
    uint8_t r, g, b, a;
};

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;  // rows from the top

    Picture() = default;
    Picture(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
    Rgba& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    const Rgba& At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
