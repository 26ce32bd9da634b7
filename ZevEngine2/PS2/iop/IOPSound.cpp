// ZevSound: the I/O-processor module that drives the sound processor.
//
// It keeps the banks of samples in sound RAM as a stack from 0x5010 up,
// starts and stops the 48 voices, sets their volumes and pitches, pauses
// everything, and reports which voices still sound.  One RPC thread
// (priority 87) serves server 0x1234; most of its work arrives once a frame
// as one batch of small records.  Bank files are read through the streaming
// module's command entry, in this same address space.
#include <iop/prelude.h>

#include <initializer_list>

#include "ZevEngine2/PS2/iop/IOPSound.h"
#include "ZevEngine2/PS2/iop/IOPStream.h"

namespace {

constexpr int RPC_PRIORITY = 87;
constexpr int VOICES_PER_CORE = 24;
// Writes to one voice closer together than this are not taken reliably by
// the sound processor, so every voice write waits out the gap first.
constexpr u32 VOICE_WRITE_GAP_USEC = 21;
constexpr u16 MAX_PITCH = 0x3FFF;
constexpr u32 EMPTY_BANK_SIZE = 48;

struct bank {
    u32 addr;              // sound-RAM address of the data
    u32 size;              // data size rounded up to 64
    u32 allocsize;         // size + the 64 unused bytes after it
    SOUNDFILE* sndfile;    // header kept in IOP memory, or null
    SOUNDFILE2* sndfile2;  // header kept in IOP memory, or null
    bool ownsheader;       // the header is an allocation of this bank
};

// Three ADPCM blocks: silence, then a block that sets the loop end, then one
// that ends the voice, so a voice started on it falls silent at once.
const u8 emptybankdata[EMPTY_BANK_SIZE] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0x0C, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};
SOUNDFILE emptybankheader = {0, EMPTY_BANK_SIZE / 8};

// Module state.  The start function sets it again, since a reboot of the I/O
// processor reloads the module from scratch.
bank banks[SOUND_MAX_BANKS];
int numbanks;
u16 BasePitch[SOUND_VOICES];
u16 PlayPitch[SOUND_VOICES];
iop_sys_clock_t lastset[SOUND_VOICES];
int paused;

sceSifServeData soundserve;
sceSifQueueData soundqueue;
alignas(64) u8 buffer[SOUND_BUFFER_SIZE];
int ret;
alignas(64) SOUNDINFO inforet;
alignas(64) u32 streamargs[SOUND_BUFFER_SIZE / 4];
u16 readword;  // the first words of a bank file, read before its header

u32 Round64(u32 n)
{
    return (n + 63) & ~63u;
}

// ---------------------------------------------------------------------------
// Voices

int CoreOf(int voice)
{
    return voice < VOICES_PER_CORE ? 0 : 1;
}

u32 BitOf(int voice)
{
    return 1u << (voice % VOICES_PER_CORE);
}

u16 VoiceId(int voice)
{
    return u16(SD_VOICE(CoreOf(voice), voice % VOICES_PER_CORE));
}

// Waits until more than 21 us have passed since the voice was last written,
// then stamps the voice with the current time.
void CheckChannelDelay(int voice)
{
    u32 lastsec, lastusec;
    SysClock2USec(&lastset[voice], &lastsec, &lastusec);
    iop_sys_clock_t now;
    for (;;) {
        GetSystemTime(&now);
        u32 sec, usec;
        SysClock2USec(&now, &sec, &usec);
        if (sec - lastsec >= 2)
            break;
        s64 elapsed = s64(sec - lastsec) * 1000000 + s64(usec) - s64(lastusec);
        if (elapsed > VOICE_WRITE_GAP_USEC)
            break;
    }
    lastset[voice] = now;
}

void StampVoice(int voice)
{
    GetSystemTime(&lastset[voice]);
}

void SetVoiceParam(int voice, u16 param, u16 value)
{
    CheckChannelDelay(voice);
    sceSdSetParam(VoiceId(voice) | param, value);
}

// The pitch register holds 14 bits; faster playback than that is played at
// the register's top.
void WritePitch(int voice, u16 pitch)
{
    SetVoiceParam(voice, SD_VP_PITCH, pitch > MAX_PITCH ? MAX_PITCH : pitch);
}

void KeyOff(int voice)
{
    CheckChannelDelay(voice);
    sceSdSetSwitch(u16(SD_S_KOFF | CoreOf(voice)), BitOf(voice));
}

u16 EnvelopeLevel(int voice)
{
    return sceSdGetParam(VoiceId(voice) | SD_VP_ENVX);
}

void PlaySound(int voice, u32 addr, u16 lvolume, u16 rvolume)
{
    WritePitch(voice, 0);
    KeyOff(voice);
    SetVoiceParam(voice, SD_VP_VOLL, lvolume);
    SetVoiceParam(voice, SD_VP_VOLR, rvolume);
    WritePitch(voice, PlayPitch[voice]);
    CheckChannelDelay(voice);
    sceSdSetAddr(VoiceId(voice) | SD_VA_SSA, addr);
    CheckChannelDelay(voice);
    sceSdSetSwitch(u16(SD_S_KON | CoreOf(voice)), BitOf(voice));
    StampVoice(voice);
}

// Stops the voice unless it has already run off the end of its sample.
void StopVoice(int voice)
{
    bool ended = (sceSdGetSwitch(u16(SD_S_ENDX | CoreOf(voice))) & BitOf(voice)) != 0;
    if (EnvelopeLevel(voice) == 0 && ended)
        return;
    KeyOff(voice);
}

u32 SoundingMask(int core)
{
    u32 mask = 0;
    for (int i = 0; i < VOICES_PER_CORE; i++) {
        if (sceSdGetParam(u16(SD_VOICE(core, i) | SD_VP_ENVX)) != 0)
            mask |= 1u << i;
    }
    return mask;
}

int InitSound()
{
    printf("Initializing sound.\n");
    sceSdInit(0);
    for (int core = 0; core < 2; core++) {
        sceSdSetParam(u16(SD_P_MVOLL | core), 0x3FFF);
        sceSdSetParam(u16(SD_P_MVOLR | core), 0x3FFF);
        sceSdSetParam(u16(SD_P_MMIX | core), 0xFFCF);
        sceSdSetSwitch(u16(SD_S_VMIXL | core), 0xFFFFFF);
        sceSdSetSwitch(u16(SD_S_VMIXR | core), 0xFFFFFF);
    }
    return 1;
}

int Play(const RPC_PLAYBANK& p)
{
    if (p.sndbank >= numbanks || p.chan >= SOUND_VOICES)
        return 0;
    const bank& b = banks[p.sndbank];
    u32 addr;
    s16 freq;
    if (b.sndfile) {
        if (p.index >= b.sndfile->nSamples)
            return 0;
        freq = b.sndfile->sample[p.index].freq;
        addr = b.addr + u32(b.sndfile->sample[p.index].start) * 8;
    } else if (b.sndfile2) {
        if (p.index >= b.sndfile2->nSamples)
            return 0;
        freq = b.sndfile2->sample2[p.index].freq;
        addr = b.addr + b.sndfile2->sample2[p.index].start;
    } else {
        // A stream bank plays from its base at the pitch given.
        BasePitch[p.chan] = PlayPitch[p.chan] = p.pitch;
        PlaySound(p.chan, b.addr, p.lvolume, p.rvolume);
        return 1;
    }
    BasePitch[p.chan] = u16(freq);
    PlayPitch[p.chan] = u16((s32(freq) * s32(p.pitch)) >> 8);
    PlaySound(p.chan, addr, p.lvolume, p.rvolume);
    return 1;
}

void SetPitchFactor(int voice, u16 factor)
{
    PlayPitch[voice] = u16((u32(BasePitch[voice]) * factor) >> 8);
    if (!paused)
        WritePitch(voice, PlayPitch[voice]);
}

void PauseAll()
{
    if (paused)
        return;
    for (int v = 0; v < SOUND_VOICES; v++)
        WritePitch(v, 0);
    paused = 1;
}

void ResumeAll()
{
    if (!paused)
        return;
    for (int v = 0; v < SOUND_VOICES; v++)
        WritePitch(v, PlayPitch[v]);
    paused = 0;
}

int FirstSilentVoice()
{
    for (int v = 0; v < SOUND_VOICES; v++) {
        if (EnvelopeLevel(v) == 0)
            return v;
    }
    return -1;
}

// ---------------------------------------------------------------------------
// Banks

// Places a bank of `datasize` bytes of samples on top of the stack.  Returns
// its number, or -1 (nothing counted) when sound RAM or the table is full.
int PlaceBank(u32 datasize, SOUNDFILE* sndfile, SOUNDFILE2* sndfile2, bool ownsheader)
{
    if (numbanks >= SOUND_MAX_BANKS) {
        printf("Bank index %d allocation failed: all %d banks are in use\n", numbanks, SOUND_MAX_BANKS);
        return -1;
    }
    u32 addr = numbanks ? banks[numbanks - 1].addr + banks[numbanks - 1].allocsize : SOUND_BANK_BASE;
    u64 size = (u64(datasize) + 63) & ~u64(63);
    u64 allocsize = size + SOUND_BANK_GAP;
    if (addr + allocsize > SOUND_RAM_SIZE) {
        int needed = allocsize > 0x7FFFFFFF ? 0x7FFFFFFF : int(allocsize);
        printf("Bank index %d allocation caused sound RAM overflow: %d bytes available, %d needed\n", numbanks,
               int(SOUND_RAM_SIZE - addr), needed);
        return -1;
    }
    bank& b = banks[numbanks];
    b.addr = addr;
    b.size = u32(size);
    b.allocsize = u32(allocsize);
    b.sndfile = sndfile;
    b.sndfile2 = sndfile2;
    b.ownsheader = ownsheader;
    return numbanks++;
}

// A bank with a SOUNDFILE header, a SOUNDFILE2 header, or none (a stream
// bank).
int AllocBank(u32 datasize, SOUNDFILE* header, bool ownsheader)
{
    return PlaceBank(datasize, header, nullptr, ownsheader);
}

int AllocBank2(u32 datasize, SOUNDFILE2* header)
{
    return PlaceBank(datasize, nullptr, header, true);
}

int CreateStreamBank(u32 size)
{
    return PlaceBank(size, nullptr, nullptr, false);
}

// Sends `size` bytes of IOP memory to sound RAM on transfer channel 0, which
// the streaming module shares, and waits for the transfer.
void TransferToSoundRam(u8* src, u32 spuaddr, u32 size)
{
    if (size == 0)
        return;
    sceSdVoiceTransStatus(0, SD_TRANS_STATUS_WAIT);
    sceSdVoiceTrans(0, SD_TRANS_MODE_WRITE, src, spuaddr, size);
    sceSdVoiceTransStatus(0, SD_TRANS_STATUS_WAIT);
}

int MakeEmptyBank()
{
    u8* data = static_cast<u8*>(AllocSysMemory(ALLOC_FIRST, int(EMPTY_BANK_SIZE), nullptr));
    if (!data) {
        printf("No IOP memory for an empty sound bank.\n");
        return -1;
    }
    int number = AllocBank(EMPTY_BANK_SIZE, &emptybankheader, false);
    if (number >= 0) {
        memcpy(data, emptybankdata, EMPTY_BANK_SIZE);
        TransferToSoundRam(data, banks[number].addr, EMPTY_BANK_SIZE);
    }
    FreeSysMemory(data);
    return number;
}

// The parts of a bank file's header, from its first bytes.
struct BankLayout {
    bool two;      // SOUNDFILE2
    u32 count;     // samples
    u32 header;    // header bytes without the padding
};

BankLayout LayoutOf(u16 first, u16 second)
{
    BankLayout l;
    l.two = (first & SOUNDFILE2_FLAG) != 0;
    l.count = l.two ? second : first;
    l.header = l.two ? u32(sizeof(SOUNDFILE2) + l.count * sizeof(SOUNDSAMPLE2))
                     : u32(sizeof(SOUNDFILE) + l.count * sizeof(SOUNDSAMPLE));
    return l;
}

u32 DataSizeOf(const BankLayout& l, const void* header)
{
    return l.two ? static_cast<const SOUNDFILE2*>(header)->totalsize
                 : u32(static_cast<const SOUNDFILE*>(header)->totalsize) * 8;
}

// Checks that the file holds the padded header and the data, and that every
// sample starts inside the data: a bad offset would play another bank's
// samples or whatever lies beyond the banks.  Prints what is wrong.
bool CheckBank(const char* name, const BankLayout& l, const void* header, u32 filesize)
{
    u32 datasize = DataSizeOf(l, header);
    u64 needed = u64(Round64(l.header)) + datasize;
    if (needed > filesize) {
        printf("Bad sound bank %s: its %u-byte header and %u bytes of samples do not fit in its %u bytes.\n", name,
               (unsigned)l.header, (unsigned)datasize, (unsigned)filesize);
        return false;
    }
    for (u32 i = 0; i < l.count; i++) {
        u32 start = l.two ? static_cast<const SOUNDFILE2*>(header)->sample2[i].start
                          : u32(static_cast<const SOUNDFILE*>(header)->sample[i].start) * 8;
        if (start >= datasize) {
            printf("Bad sound bank %s: sample %u starts at 0x%x, outside its 0x%x bytes of samples.\n", name,
                   (unsigned)i, (unsigned)start, (unsigned)datasize);
            return false;
        }
    }
    return true;
}

// A bank of no samples is its header alone (padded as any header is): more
// bytes mean a header that is not the file's own, such as a bank zeroed in
// place, whose sounds would all go silent.  Prints what is wrong.
bool CheckEmptyBank(const char* name, const BankLayout& l, u32 filesize)
{
    if (filesize <= Round64(l.header))
        return true;
    printf("Bad sound bank %s: its header names no samples, yet the bank holds %u bytes.\n", name,
           (unsigned)filesize);
    return false;
}

}  // namespace

bool CheckSoundBankFile(const char* name, const void* file, u32 size)
{
    if (size < 9)
        return true;
    u16 first, second;
    memcpy(&first, file, 2);
    memcpy(&second, static_cast<const u8*>(file) + 2, 2);
    BankLayout l = LayoutOf(first, second);
    if (l.count == 0)
        return CheckEmptyBank(name, l, size);
    if (l.header > size) {
        printf("Bad sound bank %s: %u bytes, shorter than its %u-byte header.\n", name, (unsigned)size,
               (unsigned)l.header);
        return false;
    }
    return CheckBank(name, l, file, size);
}

namespace {

int AllocBankWithHeader(const BankLayout& l, void* header)
{
    u32 datasize = DataSizeOf(l, header);
    return l.two ? AllocBank2(datasize, static_cast<SOUNDFILE2*>(header))
                 : AllocBank(datasize, static_cast<SOUNDFILE*>(header), true);
}

int StreamCall(int fno, std::initializer_list<u32> words)
{
    int n = 0;
    for (u32 w : words)
        streamargs[n++] = w;
    return RunStreamCommand(fno, streamargs, n * 4);
}

// Reads `size` bytes at the stream's position into IOP memory and waits.
void ReadToIop(int channel, void* dest, u32 size)
{
    StreamCall(STREAMCMD_READ_IOP, {u32(channel), u32(reinterpret_cast<uintptr_t>(dest)), size});
    StreamCall(STREAMCMD_STATUS, {u32(channel), 1});
}

int UnloadBank(int number);

int LoadBankFromDisc(const char* name)
{
    size_t len = strlen(name);
    streamargs[0] = 0;
    memcpy(&streamargs[1], name, len + 1);
    int channel = RunStreamCommand(STREAMCMD_OPEN, streamargs, int(4 + len + 1));
    if (channel < 0) {
        printf("Unable to load bank %s.\n", name);
        return -1;
    }
    int number = -1;
    void* header = nullptr;
    u32 filesize = u32(StreamCall(STREAMCMD_TOTALSIZE, {u32(channel)}));
    u16 first = 0, second = 0;
    if (filesize >= 2) {
        ReadToIop(channel, &readword, 2);
        first = readword;
    }
    bool two = (first & SOUNDFILE2_FLAG) != 0;
    if (two && filesize >= 4) {
        ReadToIop(channel, &readword, 2);
        second = readword;
    }
    if (filesize < (two ? 4u : 2u)) {
        printf("Bad sound bank %s: %u bytes, shorter than its header.\n", name, (unsigned)filesize);
    } else {
        BankLayout l = LayoutOf(first, second);
        if (l.count == 0) {
            if (CheckEmptyBank(name, l, filesize))
                number = MakeEmptyBank();
        } else if (l.header > filesize) {
            printf("Bad sound bank %s: %u bytes, shorter than its %u-byte header.\n", name, (unsigned)filesize,
                   (unsigned)l.header);
        } else {
            u32 padded = Round64(l.header);
            StreamCall(STREAMCMD_SEEK, {u32(channel), 0, 0});
            header = AllocSysMemory(ALLOC_FIRST, int(padded), nullptr);
            if (!header) {
                printf("No IOP memory for the %u-byte header of sound bank %s.\n", (unsigned)padded, name);
            } else {
                ReadToIop(channel, header, padded < filesize ? padded : filesize);
                if (CheckBank(name, l, header, filesize))
                    number = AllocBankWithHeader(l, header);
                if (number >= 0) {
                    u32 datasize = DataSizeOf(l, header);
                    header = nullptr;  // the bank keeps it
                    StreamCall(STREAMCMD_READ_SPU,
                               {u32(channel), banks[number].addr, datasize, SNDMARKER_CHECKBLOCKS});
                    StreamCall(STREAMCMD_STATUS, {u32(channel), 1});
                    // Samples that are not sound data (the bank's body
                    // damaged) would play as noise: the bank is refused.
                    const int bad = StreamCall(STREAMCMD_BADBLOCK, {u32(channel)});
                    if (bad >= 0) {
                        printf("Bad sound bank %s: the block at 0x%x is not sound data.\n", name, unsigned(bad));
                        UnloadBank(number);
                        number = -1;
                    }
                }
            }
        }
    }
    if (header)
        FreeSysMemory(header);
    StreamCall(STREAMCMD_CLOSE, {u32(channel)});
    return number;
}

int LoadBankFromEe(u32 eeaddr, u32 size)
{
    if (size < 9)
        return MakeEmptyBank();
    u8* file = static_cast<u8*>(AllocSysMemory(ALLOC_FIRST, int(size), nullptr));
    if (!file) {
        printf("No IOP memory for a %u-byte sound bank.\n", (unsigned)size);
        return -1;
    }
    sceSifReceiveData rd;
    if (sceSifGetOtherData(&rd, reinterpret_cast<void*>(uintptr_t(eeaddr)), file, int(size), 0) < 0) {
        printf("Cannot read a sound bank from main memory at 0x%x.\n", (unsigned)eeaddr);
        FreeSysMemory(file);
        return -1;
    }
    u16 first, second;
    memcpy(&first, file, 2);
    memcpy(&second, file + 2, 2);
    BankLayout l = LayoutOf(first, second);
    int number = -1;
    char name[24];
    snprintf(name, sizeof name, "at 0x%x", (unsigned)eeaddr);
    if (l.count == 0) {
        if (CheckEmptyBank(name, l, size))
            number = MakeEmptyBank();
        FreeSysMemory(file);
        return number;
    }
    if (CheckSoundBankFile(name, file, size)) {
        void* header = AllocSysMemory(ALLOC_FIRST, int(l.header), nullptr);
        if (!header) {
            printf("No IOP memory for the %u-byte header of a sound bank.\n", (unsigned)l.header);
        } else {
            memcpy(header, file, l.header);
            number = AllocBankWithHeader(l, header);
            if (number < 0)
                FreeSysMemory(header);
            else
                TransferToSoundRam(file + Round64(l.header), banks[number].addr, DataSizeOf(l, header));
        }
    }
    FreeSysMemory(file);
    return number;
}

// Only the top bank of the stack can go.
int UnloadBank(int number)
{
    if (numbanks == 0) {
        printf("Sound bank index %d cannot be unloaded (none are loaded)\n", number);
        return 0;
    }
    if (number != numbanks - 1) {
        printf("Sound bank index %d cannot be unloaded (index %d is last)\n", number, numbanks - 1);
        return 0;
    }
    bank& b = banks[number];
    if (b.ownsheader)
        FreeSysMemory(b.sndfile ? static_cast<void*>(b.sndfile) : static_cast<void*>(b.sndfile2));
    b = bank{};
    numbanks--;
    return 0;
}

const bank* BankOf(u32 number)
{
    return number < u32(numbanks) ? &banks[number] : nullptr;
}

// ---------------------------------------------------------------------------
// Commands

// A request's payload: little-endian words at any byte offset.
struct Payload {
    const u8* p;
    int size;

    bool Has(int bytes) const { return size >= bytes; }
    u16 U16(int at) const
    {
        u16 v;
        memcpy(&v, p + at, 2);
        return v;
    }
    u32 U32(int at) const
    {
        u32 v;
        memcpy(&v, p + at, 4);
        return v;
    }
};

// Voice commands take a voice number below 48; any other is refused (-1).
bool VoiceOk(const Payload& a)
{
    return a.Has(2) && a.U16(0) < SOUND_VOICES;
}

// Runs one command; -1 for an unknown command or a request too short for it.
int RunCommand(int command, const Payload& a)
{
    switch (command) {
    case ZEVSOUND_INIT:
        return InitSound();
    case ZEVSOUND_LOADBANK:
        // The name must end inside the request.
        if (a.size <= 0 || memchr(a.p, '\0', size_t(a.size)) == nullptr) {
            printf("Sound bank name without its terminator.\n");
            return -1;
        }
        return LoadBankFromDisc(reinterpret_cast<const char*>(a.p));
    case ZEVSOUND_LOADBANK_EE:
        return a.Has(8) ? LoadBankFromEe(a.U32(0), a.U32(4)) : -1;
    case ZEVSOUND_UNLOADBANK:
    case ZEVSOUND_DESTROYSTREAM:
        return a.Has(2) ? UnloadBank(a.U16(0)) : -1;
    case ZEVSOUND_NUMBANKS:
        return numbanks;
    case ZEVSOUND_BANKSIZE: {
        const bank* b = a.Has(2) ? BankOf(a.U16(0)) : nullptr;
        return b ? int(b->size) : 0;
    }
    case ZEVSOUND_CREATESTREAM:
        return a.Has(4) ? CreateStreamBank(a.U32(0)) : -1;
    case ZEVSOUND_PLAY: {
        if (!a.Has(int(sizeof(RPC_PLAYBANK))))
            return 0;
        RPC_PLAYBANK p;
        memcpy(&p, a.p, sizeof p);
        return Play(p);
    }
    case ZEVSOUND_STOP:
        if (!VoiceOk(a))
            return -1;
        StopVoice(a.U16(0));
        return 0;
    case ZEVSOUND_MASTERVOL:
        if (!a.Has(4))
            return -1;
        for (int core = 0; core < 2; core++) {
            sceSdSetParam(u16(SD_P_MVOLL | core), a.U16(0));
            sceSdSetParam(u16(SD_P_MVOLR | core), a.U16(2));
        }
        return 0;
    case ZEVSOUND_VOLUME:
        if (!VoiceOk(a) || !a.Has(6))
            return -1;
        SetVoiceParam(a.U16(0), SD_VP_VOLL, a.U16(2));
        SetVoiceParam(a.U16(0), SD_VP_VOLR, a.U16(4));
        return 0;
    case ZEVSOUND_PITCH:
        if (!VoiceOk(a) || !a.Has(4))
            return -1;
        SetPitchFactor(a.U16(0), a.U16(2));
        return 0;
    case ZEVSOUND_PAUSE:
        PauseAll();
        return 0;
    case ZEVSOUND_RESUME:
        ResumeAll();
        return 0;
    case ZEVSOUND_SOUNDING:
        return VoiceOk(a) ? (EnvelopeLevel(a.U16(0)) != 0 ? 1 : 0) : -1;
    case ZEVSOUND_FIRSTSILENT:
        return FirstSilentVoice();
    case ZEVSOUND_BANKBASE: {
        const bank* b = a.Has(2) ? BankOf(a.U16(0)) : nullptr;
        return b ? int(b->addr) : 0;
    }
    case ZEVSOUND_VOICEADDR:
        return VoiceOk(a) ? int(sceSdGetAddr(VoiceId(a.U16(0)) | SD_VA_NAX)) : -1;
    case ZEVSOUND_MASK0:
        return int(SoundingMask(0));
    case ZEVSOUND_MASK1:
        return int(SoundingMask(1));
    case ZEVSOUND_FREERAM:
        if (numbanks == 0)
            return int(SOUND_RAM_SIZE - SOUND_BANK_BASE);
        return int(SOUND_RAM_SIZE - (banks[numbanks - 1].addr + banks[numbanks - 1].allocsize));
    case ZEVSOUND_BANKFLAGS: {
        const bank* b = a.Has(2) ? BankOf(a.U16(0)) : nullptr;
        return b && b->sndfile2 ? b->sndfile2->flags : 0;
    }
    case ZEVSOUND_SAMPLEFLAGS: {
        const bank* b = a.Has(4) ? BankOf(a.U16(0)) : nullptr;
        if (!b || !b->sndfile2 || a.U16(2) >= b->sndfile2->nSamples)
            return 0;
        return b->sndfile2->sample2[a.U16(2)].flags;
    }
    default:
        return -1;
    }
}

// Runs a batch's records in order; returns the last command's result.  A
// record that runs past the end of the batch ends it.
int RunBatch(const u8* data, int size, bool* played)
{
    int result = 0;
    int at = 0;
    while (at + 2 <= size) {
        int command = data[at];
        int length = data[at + 1];
        if (at + 2 + length > size) {
            printf("Sound batch record %d at byte %d runs past the %d-byte batch.\n", command, at, size);
            break;
        }
        result = RunCommand(command, Payload{data + at + 2, length});
        if (command == ZEVSOUND_PLAY)
            *played = true;
        at += 2 + length;
    }
    return result;
}

void FillInfo(bool played)
{
    // Voices just keyed on show an envelope only from the next output
    // sample; a short wait lets them report as sounding.
    if (played)
        iop_spin(1000);
    inforet.activemask[0] = SoundingMask(0);
    inforet.activemask[1] = SoundingMask(1);
    for (int v = 0; v < SOUND_VOICES; v++)
        inforet.playaddr[v] = sceSdGetAddr(VoiceId(v) | SD_VA_NAX);
}

void* SoundRpcServer(int fno, void* data, int size)
{
    const u8* bytes = static_cast<const u8*>(data);
    if (fno == ZEVSOUND_BATCH || fno == ZEVSOUND_BATCH_INFO) {
        bool played = false;
        ret = RunBatch(bytes, size, &played);
        if (fno == ZEVSOUND_BATCH)
            return &ret;
        FillInfo(played);
        return &inforet;
    }
    ret = RunCommand(fno, Payload{bytes, size});
    return &ret;
}

void SoundRpcThread(void*)
{
    sceSifInitRpc(0);
    sceSifSetRpcQueue(&soundqueue, GetThreadId());
    sceSifRegisterRpc(&soundserve, SOUND_RPC_SERVER, SoundRpcServer, buffer, nullptr, nullptr, &soundqueue);
    sceSifRpcLoop(&soundqueue);
}

int SoundModuleStart(int, char*[])
{
    // A fresh start after a reboot: the banks and their headers went with
    // the I/O processor's memory.
    for (bank& b : banks)
        b = bank{};
    numbanks = 0;
    paused = 0;
    for (int v = 0; v < SOUND_VOICES; v++) {
        BasePitch[v] = PlayPitch[v] = 0;
        lastset[v] = iop_sys_clock_t{};
    }
    iop_thread_t thread = {TH_C, 0, SoundRpcThread, 2048, RPC_PRIORITY};
    int id = CreateThread(&thread);
    if (id <= 0)
        return NO_RESIDENT_END;
    StartThread(id, nullptr);
    return RESIDENT_END;
}

}  // namespace

CONSOLE_IOP_MODULE("ZevSound", SoundModuleStart);
