// The game's sound system as the program makes it: every channel free, no
// bank.  Tests that run the game's frames without the sound's own update
// (which frees a channel once its sound is over) put it back so at their end.
#pragma once

#include "ZevEngine2/PS2/Sound.h"

namespace soundtest {

inline void FreshSoundSystem()
{
    sound = SoundSystem(98304, 4, true);
}

}  // namespace soundtest
