// The product scene's textures, rendered from code so that every build makes the same bytes.
// Each is a function of the texel's centre in [0, 1)²; the ones the ground and the stone
// repeat are built from noise on a lattice that wraps at the picture's edges, so that they
// tile without a seam.
//
//   Models/All/sand.jpg       512²  wind ripples on warm sand, lit from the upper left
//   Models/All/sand_h.png     256²  grey height map of the same ripples (the sand's bump map)
//   Models/All/stone.jpg      512²  courses of sandstone blocks with mortar joints
//   Models/All/gold.jpg       256²  brushed gold with soft bands of reflection
//   Models/All/bark.jpg       256²  a palm trunk: ring scars over vertical fibres
//   Models/All/leaves.png     256²  one palm frond along the picture's middle, tip at the
//                                   top; alpha 0 between its leaflets
//   Models/All/lightmap.jpg   256²  the glows' light pools on the floor around the monument,
//                                   black elsewhere (u along +x, v along -z over 3800 units)
//   Models/Flares/flare1-4.png 128² a soft disc, a ring, a hexagon, a small bright spot
//   Models/morn_day_sun.png   256²  a bright disc whose glow fades to alpha 0
//   Models/moon.png           256²  a grey cratered disc, alpha 0 outside it
//   displace.bmp              256²  24-bit tiling noise, one field per channel, for the
//                                   distortion view
#pragma once

#include "Picture.h"

#include <string>
#include <vector>

enum class TextureFile { Jpeg, Png, GreyPng, Bmp };

struct SceneTexture {
    const char* name;  // the archive name below "Media/"
    int size;          // width and height
    TextureFile file;
    Picture (*render)(int size);
};

// Every texture, in a fixed order.
const std::vector<SceneTexture>& SceneTextures();

// The sand's ripple height in [0, 1] at (u, v); periodic with period 1 in both.
double SandHeight(double u, double v);
