// gsreplay: plays a GS dump written with --gs-dump without the game, prints
// each field's CRC as the frame log does and the fill rate reached.
//   gsreplay demo.gsdump [--png DIR --png-at 10,50] [--gs-threads N] [--repeat N]
#include <cstdio>
#include <span>

#include "tools/lib/gsreplay.h"

int main(int argc, char** argv)
{
    return tools::RunGsReplay(std::span<const char* const>(argv + 1, argc > 0 ? argc - 1 : 0), stdout);
}
