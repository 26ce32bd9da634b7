// ipuenc: writes still pictures (".IPU", "ipum") for IPUBitmap.
//   ipuenc [--columns] [--quantiser N] [--flags 0xNN] [--cpp SYMBOL] IN.ppm OUT
//   ipuenc [options] --sample NAME WIDTHxHEIGHT OUT     (a generated picture)
//   ipuenc --preview IN.IPU OUT.png                     (decoded as the IPU would)
#include <span>

#include "tools/lib/ipuenc.h"

int main(int argc, char** argv)
{
    return tools::RunIpuEnc(std::span<const char* const>(argv + 1, argc > 0 ? argc - 1 : 0));
}
