// p2bwrite: writes the sample model file (a textured, lit cube with two
// levels of detail, a light and a collision box).
//   p2bwrite OUT.P2B
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/lib/p2b_sample.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: p2bwrite OUT.P2B\n", stderr);
        return 2;
    }
    std::vector<u8> bytes;
    std::string error;
    if (!tools::WriteP2B(tools::SampleCubeFile(), bytes, error)) {
        std::fprintf(stderr, "p2bwrite: %s\n", error.c_str());
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "p2bwrite: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
