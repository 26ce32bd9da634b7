// lightgen: writes the game's lighting-sets text as C++ source.
//
//   lightgen OUTPUT.cpp      (the build makes the game's copy, generated/LightData.cpp)
#include <cstdio>
#include <fstream>

#include "tools/lib/lighttext.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: lightgen OUTPUT.cpp\n");
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary);
    out << tools::LightingSetsSource();
    if (!out.flush()) {
        std::fprintf(stderr, "lightgen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
