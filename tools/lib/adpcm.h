// The SPU2's ADPCM sample coding from the encoding side, and the sound banks
// (".SND") and streamed sounds (".VB") the sound module plays.
//
// The encoder tries every predictor filter and shift on each 28-sample block
// and keeps the pair whose decoded block (decoded exactly as the SPU2 does,
// carrying the history from block to block) is closest to the input.
//
// Bank files are written with the sound module's own records: layout 1 is a
// SOUNDFILE with its SOUNDSAMPLEs, layout 2 a SOUNDFILE2 with its
// SOUNDSAMPLE2s (ZevEngine2/PS2/iop/IOPSound.h); the header is padded to a
// multiple of 64 bytes and the sample data follows.
#pragma once

#include <ee/types.h>

#include <span>
#include <string>
#include <vector>

#include "console/src/spu2/adpcm.h"
#include "ZevEngine2/PS2/iop/IOPSound.h"

namespace tools {

// How the encoded sound ends.
enum class AdpcmLoop {
    kOneShot,  // the last block has the end flag alone (1): the voice stops after it
    kWhole,    // the first block has 6 and the last 3: the voice loops the whole sound
    kRaw,      // no flags at all: stream data, the streaming module writes the markers
};

// Encodes one block from `history` (updated as the SPU2 would decode the
// result).  The flag byte is left 0.  `max_filter` limits the filters tried
// (0 gives a block that decodes the same whatever the history).
void EncodeAdpcmBlock(const int16_t in[console::spu2::kAdpcmBlockSamples], console::spu2::AdpcmHistory& history,
                      u8 out[console::spu2::kAdpcmBlockBytes], int max_filter = console::spu2::kAdpcmFilterCount - 1);

// Encodes a sound, padded with silence to whole blocks (at least one).  A
// looping sound's first block uses filter 0 so that it decodes the same after
// key-on and after each jump back.
std::vector<u8> EncodeAdpcm(std::span<const int16_t> pcm, AdpcmLoop loop);

// A mono sound as read from a file.
struct PcmSound {
    std::vector<int16_t> samples;
    u32 rate = 0;
};

// Reads a RIFF WAVE file of 16-bit PCM, mono or stereo (stereo is mixed to
// mono).  False with a message naming the file and the byte offset of the
// first bad field.
bool ReadWav(std::span<const u8> file, const std::string& name, PcmSound& sound, std::string& error);

// A mono 16-bit PCM WAVE file of `samples` at `rate`.
std::vector<u8> MakeWav(std::span<const int16_t> samples, u32 rate);

// The pitch at which a sound of `rate` Hz plays at its own speed, rounded:
// rate * 4096 / 48000.  False for a rate of 0 or one needing more than
// 0x3FFF.
bool PitchForRate(u32 rate, u16& pitch);

// One sample of a bank.
struct BankInput {
    std::string name;  // for messages
    PcmSound sound;
    AdpcmLoop loop = AdpcmLoop::kOneShot;
    u16 flags = 0;  // layout 2 only
};

enum class BankLayout { kLayout1, kLayout2 };

// Builds a bank; samples are stored in the order given, each from a 16-byte
// boundary.  `bank_flags` (layout 2) gets bit 15 set.  False with a message
// naming the sample for an empty sound, a rate the pitch cannot express, more
// than 32,767 samples, or data beyond what the layout's fields can address
// (layout 1: 524,280 bytes).
bool BuildSoundBank(const std::vector<BankInput>& inputs, BankLayout layout, u16 bank_flags, std::vector<u8>& bank,
                    std::string& error);

// The adpcmenc command:
//   adpcmenc [--loop | --raw] IN.wav OUT.VB
//       encodes one sound (a one-shot sound unless --loop or --raw)
//   adpcmenc --bank1 | --bank2 [--bank-flags N] OUT.SND [--loop] [--flags N] IN.wav ...
//       builds a bank; --loop and --flags apply to the file after them
//   adpcmenc --decode IN.VB RATE OUT.wav
//       decodes ADPCM data (flags ignored) to a mono WAVE file at RATE Hz
// Returns the exit status (0 done, 2 bad arguments, 1 bad input or output).
int RunAdpcmEnc(std::span<const char* const> args);

}  // namespace tools
