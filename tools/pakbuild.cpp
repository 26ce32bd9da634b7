// pakbuild: builds the disc archive "KORVALIS.PAK" from the files below a host
// directory, or checks an archive and lists its files.
//   pakbuild OUT.PAK DIR
//   pakbuild --list FILE.PAK
#include <span>

#include "tools/lib/pak.h"

int main(int argc, char** argv)
{
    return tools::RunPakBuild(std::span<const char* const>(argv + 1, argc > 0 ? argc - 1 : 0));
}
