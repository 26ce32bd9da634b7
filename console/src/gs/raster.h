// Rasterization: walks the pixels a primitive covers, produces each pixel's
// colour (texture sample, texture function, fog) and hands it to the pixel
// pipeline.  Sprite texture coordinates are evaluated exactly at every pixel
// from the two vertices, U(px) = U0 + (U1 - U0) x (16 px - X0) / (X1 - X0)
// rounded down to 1/16 texel, so a sprite cut into strips at pixel
// boundaries draws the same pixels as the whole.
#pragma once

#include "gs/clut.h"
#include "gs/drawenv.h"
#include "gs/gsmem.h"
#include "gs/setup.h"

namespace console::gs {

void RasterizeSprite(const DrawEnv& env, const SpriteSetup& sprite, LocalMemory& memory, const ClutBuffer& clut);

}  // namespace console::gs
