// The SPU2's sound RAM: 2 MiB of plain memory addressed in bytes.  Voice
// transfers (sceSdVoiceTrans) fill it; the voices read it.  A reboot of the
// IOP clears it.
#pragma once

#include <cstdint>

namespace console::spu2 {

constexpr uint32_t kSoundRamSize = 2 * 1024 * 1024;

uint8_t* SoundRam();

// Zeroes sound RAM and cancels the transfers in flight.
void ClearSoundRam();

}  // namespace console::spu2
