// fontgen: writes the game's font images as C++ source.
//
//   fontgen OUTPUT.cpp      (the build makes the game's copy, generated/FontData.cpp)
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/lib/fontgen.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fontgen OUTPUT.cpp\n");
        return 2;
    }
    std::string error;
    if (!tools::CheckGlyphTables(&error)) {
        std::fprintf(stderr, "fontgen: %s\n", error.c_str());
        return 1;
    }
    const std::string source = tools::FontSource(tools::GameFonts(), &error);
    if (source.empty()) {
        std::fprintf(stderr, "fontgen: %s\n", error.c_str());
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary);
    out << source;
    if (!out.flush()) {
        std::fprintf(stderr, "fontgen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
