// gsmem: writes a PNG view of one buffer of a GS local memory dump, in any
// pixel storage mode, for looking at what drawing and uploads left in memory.
//   gsmem dump.bin out.png --psm CT16S --bp 0 --bw 10 --size 640,512
#include <span>

#include "tools/lib/gsview.h"

int main(int argc, char** argv)
{
    return tools::RunGsView(std::span<const char* const>(argv + 1, argc > 0 ? argc - 1 : 0));
}
