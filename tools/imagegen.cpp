// imagegen: writes the pictures the program carries (sky, sea, lamps, the
// model drawer's highlight and reflection, skid marks and the head-up
// display's sheets) as C++ source.
//
//   imagegen OUTPUT.cpp      (the build makes the game's copy, generated/ImageData.cpp)
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/lib/hudimage.h"
#include "tools/lib/imagegen.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: imagegen OUTPUT.cpp\n");
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary);
    out << tools::ImageSource({tools::OceanImage(), tools::LensFlareImage(), tools::GlowImage(),
                               tools::SpecularImage(), tools::ReflectionImage(), tools::SkidMarkImage(),
                               tools::HudNewImage(), tools::IconsCombatImage(),
                               tools::IconsMapImage(), tools::IconsButtonsImage()});
    if (!out.flush()) {
        std::fprintf(stderr, "imagegen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
