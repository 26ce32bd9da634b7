// Sound banks (".SND") as the sound module checks a bank sent to it before
// placing it, and the sound tool's WAVE reader (its input files).  Accepted
// when either takes the file.
#include "fuzz_target.h"

#include <span>

#include "ee/console_out.h"
#include "tools/lib/adpcm.h"

#include "ZevEngine2/PS2/iop/IOPSound.h"

FUZZ_TARGET(sound)
{
    fuzz::Copy file(data, size, 64);
    const bool bank = CheckSoundBankFile("fuzz", file.Bytes(), file.Size());
    tools::PcmSound sound;
    std::string error;
    const bool wav = tools::ReadWav(std::span<const u8>(file.Bytes(), size), "fuzz.wav", sound, error);
    if (!wav)
        console::ConsoleWrite("adpcmenc: " + error + "\n");
    return bank || wav;
}
