// The sound module "ZevSound": the sound bank file records, the remote-call
// protocol of server 0x1234 and the batch record format.
//
// This header holds types only, so that the main processor's sound system and
// the bank builder in tools/ share the module's records.
#pragma once

#include <ee/types.h>

// Sound bank files (".SND"), little-endian.  The first u16 tells the two
// layouts apart: bit 15 clear is a SOUNDFILE, set a SOUNDFILE2.  The header is
// padded to a multiple of 64 bytes and the SPU2 ADPCM sample data follows.

// One sample of a SOUNDFILE.
struct SOUNDSAMPLE {
    u16 start;  // +0 offset of the sample in the data, in 8-byte units
    s16 freq;   // +2 pitch at which the sample plays at its own rate (4096 = 48 kHz)
};
static_assert(sizeof(SOUNDSAMPLE) == 4, "bank sample record");

struct SOUNDFILE {
    u16 nSamples;          // +0 bit 15 clear
    u16 totalsize;         // +2 sample data size in 8-byte units
    SOUNDSAMPLE sample[];  // +4
};
static_assert(sizeof(SOUNDFILE) == 4, "bank header");

// One sample of a SOUNDFILE2.
struct SOUNDSAMPLE2 {
    u16 flags;  // +0 the sample's own flags
    s16 freq;   // +2 as in SOUNDSAMPLE
    u32 start;  // +4 byte offset of the sample in the data
};
static_assert(sizeof(SOUNDSAMPLE2) == 8, "bank sample record, second layout");

struct SOUNDFILE2 {
    u16 flags;               // +0 the bank's flags, bit 15 set
    u16 nSamples;            // +2
    u32 totalsize;           // +4 sample data size in bytes
    SOUNDSAMPLE2 sample2[];  // +8
};
static_assert(sizeof(SOUNDFILE2) == 8, "bank header, second layout");

constexpr u16 SOUNDFILE2_FLAG = 0x8000;

// Whether a bank file of size bytes sent from main memory would be placed as
// it lies: false, with a "Bad sound bank" line naming it, when its header or
// its samples do not fit the file.  A file of fewer than 9 bytes or without
// samples makes an empty bank and is taken.
bool CheckSoundBankFile(const char* name, const void* file, u32 size);
constexpr u32 SOUNDFILE_HEADER_ALIGN = 64;  // the sample data starts at the header rounded up to this

// Sound RAM as the module lays it out: banks form a stack from SOUND_BANK_BASE
// to the end of the 2 MiB; each bank's data is rounded up to 64 bytes and
// followed by 64 unused bytes.
constexpr u32 SOUND_RAM_SIZE = 0x200000;
constexpr u32 SOUND_BANK_BASE = 0x5010;
constexpr u32 SOUND_BANK_GAP = 64;
constexpr int SOUND_MAX_BANKS = 32;
constexpr int SOUND_VOICES = 48;  // two cores of 24; voice v >= 24 is core 1 voice v - 24

// The remote-call server and its functions.  Functions 2 and 3 run a batch;
// every other function number n runs command n with the request as payload.
constexpr u32 SOUND_RPC_SERVER = 0x1234;
constexpr int SOUND_BUFFER_SIZE = 512;     // the largest request (and batch) the module takes
constexpr int SOUND_INFO_REPLY_SIZE = 256;  // reply of a batch with info
enum {
    ZEVSOUND_INIT = 1,            // none -> 1
    ZEVSOUND_BATCH = 2,           // records -> the last command's result
    ZEVSOUND_BATCH_INFO = 3,      // records -> the info reply
    ZEVSOUND_LOADBANK = 4,        // zero-terminated file name -> bank number or -1
    ZEVSOUND_LOADBANK_EE = 5,     // {u32 eeaddr, u32 size} -> bank number or -1
    ZEVSOUND_UNLOADBANK = 6,      // {u16 bank} -> 0
    ZEVSOUND_NUMBANKS = 7,        // none -> number of banks
    ZEVSOUND_BANKSIZE = 8,        // {u16 bank} -> data size rounded up to 64, 0 for no such bank
    ZEVSOUND_CREATESTREAM = 9,    // {u32 size} -> bank number or -1
    ZEVSOUND_DESTROYSTREAM = 10,  // {u16 bank} -> 0
    ZEVSOUND_PLAY = 11,           // RPC_PLAYBANK -> 1, or 0 for a bad bank or sample
    ZEVSOUND_STOP = 12,           // {u16 voice} -> 0
    ZEVSOUND_MASTERVOL = 13,      // {u16 left, u16 right} -> 0
    ZEVSOUND_VOLUME = 14,         // {u16 voice, u16 left, u16 right} -> 0
    ZEVSOUND_PITCH = 15,          // {u16 voice, u16 factor (8.8)} -> 0
    ZEVSOUND_PAUSE = 16,          // none -> 0
    ZEVSOUND_RESUME = 17,         // none -> 0
    ZEVSOUND_SOUNDING = 18,       // {u16 voice} -> 1 if its envelope is not 0
    ZEVSOUND_FIRSTSILENT = 19,    // none -> lowest silent voice or -1
    ZEVSOUND_BANKBASE = 20,       // {u16 bank} -> the bank's sound-RAM address
    ZEVSOUND_VOICEADDR = 21,      // {u16 voice} -> its current address
    ZEVSOUND_MASK0 = 22,          // none -> core 0's sounding voices
    ZEVSOUND_MASK1 = 23,          // none -> core 1's sounding voices
    ZEVSOUND_FREERAM = 24,        // none -> free sound RAM above the top bank
    ZEVSOUND_BANKFLAGS = 25,      // {u16 bank} -> SOUNDFILE2 flags, else 0
    ZEVSOUND_SAMPLEFLAGS = 26,    // {u16 bank, u16 sample} -> SOUNDSAMPLE2 flags, else 0
};

// A batch is a byte sequence of records {u8 command, u8 payload length,
// payload}, run in order.  The payload of a play record:
struct RPC_PLAYBANK {
    u16 sndbank;
    u16 index;    // sample; ignored for a bank without samples (a stream bank)
    u16 chan;     // voice 0..47
    u16 pitch;    // 8.8 factor of the sample's rate; for a stream bank the pitch itself
    u16 lvolume;  // 0..0x3FFF
    u16 rvolume;
};
static_assert(sizeof(RPC_PLAYBANK) == 12, "play record payload");

// The info reply (function 3): the voices whose envelope is not 0, a mask per
// core, then each voice's current sound-RAM address.
struct SOUNDINFO {
    u32 activemask[2];
    u32 playaddr[SOUND_VOICES];
    u32 unused[14];
};
static_assert(sizeof(SOUNDINFO) == SOUND_INFO_REPLY_SIZE, "info reply");
