// adpcmenc: encodes sounds into the SPU2's ADPCM coding, as streamed sounds
// (".VB") or as sound banks (".SND") in either layout; decodes ADPCM back to
// a WAVE file for checking.
//   adpcmenc [--loop | --raw] IN.wav OUT.VB
//   adpcmenc --bank1 | --bank2 [--bank-flags N] OUT.SND [--loop] [--flags N] IN.wav ...
//   adpcmenc --decode IN.VB RATE OUT.wav
#include <span>

#include "tools/lib/adpcm.h"

int main(int argc, char** argv)
{
    return tools::RunAdpcmEnc(std::span<const char* const>(argv + 1, argc > 0 ? argc - 1 : 0));
}
