// Image generator: draws the pictures the game carries in the program for
// its sky and sea (the lens flare's shapes and the tiling sea) from formulas,
// and writes them as C++ source.  Each image is a texture record whose
// `data` is the offset of its palette (followed by the pixels) from the
// image's start; the game turns that offset into an address once at start-up.
// Output depends only on the formulas.
#pragma once

#include <string>
#include <vector>

#include <ee/types.h>

namespace tools {

// Offset of the palette in every generated image: the 40-byte texture record
// padded to a quadword.
constexpr u32 kImageDataOffset = 48;

struct ProgramImage
{
    const char* name;   // the image's name in the game (the array is <name>_image)
    std::vector<u8> bytes;
};

// The tiling sea: 64 x 64, 8-bit, a palette of sea colours.
ProgramImage OceanImage();
// The lens flare's five shapes in one 64 x 320 8-bit picture, one 64 x 64
// cell each from the top: a soft glow, a thin ring, a soft round spot, a
// hexagon and a disc with a bright rim.  The palette is a ramp of warm
// greys whose alpha the flare drawer overwrites with the light's visibility.
ProgramImage LensFlareImage();

// A lamp's glow: 32 x 32, 8-bit, a soft round spot falling from white at
// its middle to black at its rim (it is added to the picture).
ProgramImage GlowImage();

// An 8-bit w x h image from its 256-entry palette (RGBA words in the GS's
// palette order, 1024 bytes) followed by its pixels.
ProgramImage IndexedImage(const char* name, int w, int h, const std::vector<u8>& paletteThenPixels);

// The model drawer's highlight: 32 x 32, a white spot of falling brightness
// (1 - r²)⁴ over a grey ramp.
ProgramImage SpecularImage();
// The model drawer's reflected surroundings: 64 x 64, one colour a row, sky
// above the middle row (deep blue to pale at the horizon), warm grey ground
// below it, a faint band of light along the horizon.
ProgramImage ReflectionImage();
// A skid mark's tread: 32 x 32, 8-bit, dark rubber across the strip (u)
// with lighter grooves every 8 rows along it (v) and softer edges.
ProgramImage SkidMarkImage();
// The head-up display's sheets, HUD_New and Icons_Combat, are in
// tools/lib/hudimage.h.

// C++ source that defines every image as `u8 <name>_image[]`, 16-byte aligned.
std::string ImageSource(const std::vector<ProgramImage>& images);

}  // namespace tools
