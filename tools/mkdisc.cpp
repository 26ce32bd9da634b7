// mkdisc: writes the sample disc the demo runs on.
//   mkdisc DIR      DIR/KORVALIS/KORVALIS.PAK, built from generated data only
#include <span>

#include "tools/lib/sampledisc.h"

int main(int argc, char** argv)
{
    return tools::RunMkDisc(std::span<const char* const>(argv + 1, argc > 0 ? argc - 1 : 0));
}
