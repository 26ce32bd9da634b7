// Sound streams: the file stream and the ring buffer's refill state machine.
#include "ZevEngine2/PS2/SoundStream.h"

#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/Streamer.h"
#include "ZevEngine2/Utilities.h"

namespace {

constexpr u32 ADPCM_BLOCK = 16;          // bytes of one block: 28 samples
constexpr u32 ADPCM_BLOCK_SAMPLES = 28;
// What a transition leaves in place ahead of the play position: the address
// comes from the last batch reply, up to a frame old, and the voice must not
// reach the rewrite before it lands.
constexpr u32 RELOAD_MARGIN = 8192;
// The sound processor's pitch unit: 4096 plays 48,000 samples a second.
constexpr u32 MAX_VOICE_PITCH = 0x3FFF;
// Output samples in one vertical blank at 60 Hz, the fewest per blank of any
// display mode: the end watch never counts more playback than took place.
constexpr u64 SAMPLES_PER_BLANK = 800;
// Blanks the end watch waits beyond one lap of the ring.
constexpr u64 ENDING_SLACK_BLANKS = 8;

void* SoundAddr(u32 addr)
{
    return reinterpret_cast<void*>(uintptr_t(addr));
}

}  // namespace

int OpenSoundData(const char* filename, u32 offset, u32* length)
{
    *length = 0;
    if (!filename || !*filename)
        return -1;
    int fd = StreamerOpen(filename, int(offset));
    if (fd < 0)
        return -1;
    int total = StreamerTotalLength(fd);
    if (total < 0 || offset > u32(total)) {
        printf("Sound stream %s: offset %u lies beyond the end of the file (%d bytes)\n", filename, offset, total);
        StreamerClose(fd);
        return -1;
    }
    u32 len = u32(total) - offset;
    if (len % ADPCM_BLOCK != 0) {
        printf("Sound stream %s: %u bytes of sound data is not a whole number of blocks\n", filename, len);
        StreamerClose(fd);
        return -1;
    }
    *length = len;
    return fd;
}

// ------------------------------------------------------------ file stream

SoundFileStream::SoundFileStream(unsigned frequency)
    : streamnum(-1), streamptr(0), streamlen(0), curfreq(frequency), deffreq(frequency)
{
}

bool SoundFileStream::Open(const char* filename, u32 offset)
{
    Close();
    streamptr = 0;
    streamnum = OpenSoundData(filename, offset, &streamlen);
    return streamnum != -1;
}

int SoundFileStream::TransferSound(void* addr, unsigned size, int markerflags)
{
    StreamerTransferSound(streamnum, u32(uintptr_t(addr)), int(size), markerflags);
    streamptr += size;
    if (streamptr < streamlen)
        return -1;
    streamptr = streamlen;
    return int(streamlen);
}

bool SoundFileStream::ReTransferSound(void*, unsigned, unsigned, int, int* transfervalue)
{
    if (transfervalue)
        *transfervalue = 0;
    return false;
}

int SoundFileStream::BytesPending(bool sync) const
{
    return StreamerBytesPending(streamnum, sync);
}

void SoundFileStream::Close()
{
    if (streamnum >= 0)
        StreamerClose(streamnum);
    streamnum = -1;
    // A closed stream has nothing left to send, should it be loaded again.
    streamptr = 0;
    streamlen = 0;
}

// ------------------------------------------------------------ the ring

StreamingSoundBank::StreamingSoundBank(u32 size)
    : banknumber(0xFFFF), channel(-1), baseaddr(0), banksize(size & ~127u), pauseaddr(0), streamer(nullptr),
      basefreq(0), pitchfactor(0), bufstate(BANK_STOPPED), flags(0), endcount(0), endprogress(0)
{
}

StreamingSoundBank::~StreamingSoundBank()
{
    // A held channel freed while its voice sounds would leave the voice
    // circling the ring for good: stop it first.
    if (channel != -1) {
        sound.Stop(channel);
        sound.FreeChannel(channel);
        channel = -1;
    }
    if (banknumber != 0xFFFF)
        sound.FreeStreamBank(banknumber);
    banknumber = 0xFFFF;
}

bool StreamingSoundBank::LoadStream(SoundStream* playstream, bool playwhenready, unsigned pitch)
{
    if (bufstate != BANK_STOPPED) {
        // A stream still running gives way: its voice stops and its disc
        // streams close.
        sound.Stop(channel);
        if (streamer && streamer != playstream)
            streamer->Close();
    }
    bufstate = playwhenready ? BANK_NEW : BANK_NEW_OPENING;
    streamer = playstream;
    flags &= u8(~STREAMBANK_PAUSED);
    if (!playstream || banksize == 0) {
        if (banksize == 0)
            printf("Stream bank too small to hold sound\n");
        bufstate = BANK_STOPPED;
        return false;
    }
    if (banknumber == 0xFFFF) {
        int bank = sound.CreateStreamBank(banksize);
        if (bank < 0) {
            bufstate = BANK_STOPPED;
            return false;
        }
        banknumber = u16(bank);
    }
    baseaddr = sound.GetStreamBase(banknumber);
    // A handle that died (StopAll frees every channel) would start nothing
    // and the refills would wait for its play address for ever.
    if (channel == -1 || !sound.ChannelValid(channel)) {
        channel = sound.AllocChannel(true);
        if (channel < 0) {
            channel = -1;
            bufstate = BANK_STOPPED;
            return false;
        }
    }
    if (pitch >= 1 && pitch < 5500) {
        pitchfactor = u16(pitch);
        basefreq = 0;
    } else {
        basefreq = pitch;
        pitchfactor = 256;
    }
    return true;
}

// The voice's pitch: the rate in Hz in the sound processor's unit (4096 =
// 48 kHz), the shift by 5 done before the division by 375.
u16 StreamingSoundBank::VoicePitch() const
{
    u64 hz = (u64(basefreq) * pitchfactor) >> 8;
    return u16(std::min<u64>((hz << 5) / 375, MAX_VOICE_PITCH));
}

void StreamingSoundBank::StartVoice()
{
    // A stream bank has no sample header: the module plays it from its base
    // with the channel's pitch value taken as the voice's pitch.
    if (sound.ChannelValid(channel))
        sound.GetChannel(channel)->pitch = VoicePitch();
    sound.Play(channel, banknumber, 0);
}

bool StreamingSoundBank::PlayLoadedStream()
{
    if (bufstate == BANK_OPENED) {
        StartVoice();
        bufstate = BANK_PLAYING_1;
        return true;
    }
    if (bufstate == BANK_OPENED_FULL) {
        StartVoice();
        BeginEnding();
        return true;
    }
    return false;
}

// The channel keeps no object alive and is heard flat again: a position it
// was pinned to belongs to the sound that is over.
void StreamingSoundBank::DropObject()
{
    if (!sound.ChannelValid(channel))
        return;
    vchannel* c = sound.GetChannel(channel);
    c->obj = nullptr;
    c->ppos = nullptr;
}

void StreamingSoundBank::StopStream(bool freechannel, bool invalidatebank)
{
    if (bufstate != BANK_STOPPED) {
        sound.Stop(channel);
        if (freechannel) {
            sound.FreeChannel(channel);
            channel = -1;
        } else {
            DropObject();
        }
        if (streamer)
            streamer->Close();
        bufstate = BANK_STOPPED;
        flags &= u8(~STREAMBANK_PAUSED);
    } else if (channel != -1) {
        if (freechannel) {
            sound.Stop(channel);
            sound.FreeChannel(channel);
            channel = -1;
        } else {
            DropObject();
        }
    }
    if (invalidatebank)
        banknumber = 0xFFFF;
}

// The first fill: the whole buffer, with the start marker on its first block,
// the end marker on its last and the stop marker after the stream's end.
void StreamingSoundBank::Fill(BufferState from)
{
    bufstate = from;
    int r = streamer->TransferSound(SoundAddr(baseaddr), banksize,
                                    STREAMER_SNDMARKER_START | STREAMER_SNDMARKER_END | STREAMER_SNDMARKER_STOPATEOF);
    if (r == 0) {
        // Nothing came: playing the buffer would play whatever an earlier
        // stream left in it, round and round.
        StopStream(false, false);
    } else if (from == BANK_NEW_TRANSFER) {
        bufstate = r < 0 ? BANK_NEW_LOADING : BANK_NEW_LOADING_FULL;
    } else {
        bufstate = r < 0 ? BANK_OPENING : BANK_OPENING_FULL;
    }
}

void StreamingSoundBank::BeginEnding()
{
    bufstate = BANK_ENDING;
    endcount = Platform::Count();
    endprogress = 0;
}

// The stream's last data is queued, so the voice meets the stop marker
// within one lap of the ring.  One still sounding well after that circles
// data that has no stop marker (a piece that could not be read, say) and
// would never end by itself.  Blanks during a pause of all sound are not
// counted.
bool StreamingSoundBank::EndingOverdue()
{
    u32 now = Platform::Count();
    u32 pitch = sound.ChannelValid(channel) ? sound.GetChannel(channel)->pitch : 0;
    if (!SoundSystem::IsPaused())
        endprogress += u64(now - endcount) * pitch;
    endcount = now;
    u64 lap = u64(banksize / ADPCM_BLOCK) * ADPCM_BLOCK_SAMPLES;
    return pitch != 0 && endprogress * SAMPLES_PER_BLANK > lap * 4096 + ENDING_SLACK_BLANKS * SAMPLES_PER_BLANK * pitch;
}

// A voice that stopped or never started (no voice was free, StopAll) while
// the ring still expects it: the stream ends rather than wait for a play
// address that will not come.
bool StreamingSoundBank::VoiceLost()
{
    if (sound.IsPlaying(channel))
        return false;
    StopStream(false, false);
    return true;
}

void StreamingSoundBank::Update()
{
    if (flags & STREAMBANK_PAUSED)
        return;
    const u32 half = banksize / 2;
    switch (bufstate) {
    case BANK_NEW_OPENING:
    case BANK_NEW:
        if (!streamer) {
            bufstate = BANK_STOPPED;
            break;
        }
        if (basefreq == 0)
            basefreq = streamer->GetFrequency();
        if (basefreq == 0)
            break;
        Fill(bufstate == BANK_NEW ? BANK_NEW_TRANSFER : BANK_NEW_TRANSFER_OPENING);
        break;
    case BANK_OPENING:
    case BANK_OPENING_FULL:
        if (streamer->BytesPending(false) <= 0)
            bufstate = bufstate == BANK_OPENING ? BANK_OPENED : BANK_OPENED_FULL;
        break;
    case BANK_NEW_LOADING:
    case BANK_NEW_LOADING_FULL:
        if (streamer->BytesPending(false) <= 0) {
            StartVoice();
            if (bufstate == BANK_NEW_LOADING)
                bufstate = BANK_PLAYING_1;
            else
                BeginEnding();
        }
        break;
    case BANK_PLAYING_1: {
        if (VoiceLost())
            break;
        u32 addr = sound.GetPlayingAddress(channel);
        if (addr == 0 || addr - baseaddr <= half)
            break;
        // The voice has left the first half: refill it behind the voice.
        int r = streamer->TransferSound(SoundAddr(baseaddr), half,
                                        STREAMER_SNDMARKER_START | STREAMER_SNDMARKER_STOPATEOF);
        if (r >= 0)
            BeginEnding();
        else
            bufstate = BANK_LOADING_1;
        break;
    }
    case BANK_LOADING_1:
        if (!VoiceLost() && streamer->BytesPending(false) <= 0)
            bufstate = BANK_PLAYING_2;
        break;
    case BANK_PLAYING_2: {
        if (VoiceLost())
            break;
        u32 addr = sound.GetPlayingAddress(channel);
        if (addr == 0 || addr - baseaddr > half)
            break;
        // Back in the first half: the second is free to refill.
        int r = streamer->TransferSound(SoundAddr(baseaddr + half), half,
                                        STREAMER_SNDMARKER_END | STREAMER_SNDMARKER_STOPATEOF);
        if (r >= 0)
            BeginEnding();
        else
            bufstate = BANK_LOADING_2;
        break;
    }
    case BANK_LOADING_2:
        if (!VoiceLost() && streamer->BytesPending(false) <= 0)
            bufstate = BANK_PLAYING_1;
        break;
    case BANK_ENDING:
        if (!sound.IsPlaying(channel)) {
            StopStream(false, false);
        } else if (EndingOverdue()) {
            printf("Sound stream still playing a lap after its end: stopped\n");
            StopStream(false, false);
        }
        break;
    default:
        break;
    }
}

void StreamingSoundBank::ReloadSound()
{
    const bool voiceinfirst = bufstate == BANK_PLAYING_1 || bufstate == BANK_LOADING_2;
    const bool voiceinsecond = bufstate == BANK_LOADING_1 || bufstate == BANK_PLAYING_2;
    if (!streamer || (!voiceinfirst && !voiceinsecond))
        return;
    const u32 half = banksize / 2;
    const u32 end = baseaddr + banksize;
    u32 play = sound.GetPlayingAddress(channel);
    if (play < baseaddr || play >= end)
        return;  // 0: no address yet
    const u32 p = play + RELOAD_MARGIN;
    int v = 0;
    if (voiceinfirst) {
        // The newest data runs to the end of the buffer.  A margin that
        // reaches past it leaves nothing to rewrite before the voice wraps.
        if (p >= end)
            return;
        u32 n = end - p;
        if (streamer->ReTransferSound(SoundAddr(p), n, n, STREAMER_SNDMARKER_END | STREAMER_SNDMARKER_STOPATEOF,
                                      &v)) {
            if (v < 0)
                bufstate = BANK_LOADING_2;
            else
                BeginEnding();
        }
        return;
    }
    // The newest data runs to the end of the first half, past the wrap.
    u32 off = p - baseaddr;
    if (off < banksize) {
        if (!streamer->ReTransferSound(SoundAddr(p), half + banksize - off, banksize - off,
                                       STREAMER_SNDMARKER_END | STREAMER_SNDMARKER_STOPATEOF, &v))
            return;
        if (v >= 0) {
            BeginEnding();
            return;
        }
        int r = streamer->TransferSound(SoundAddr(baseaddr), half,
                                        STREAMER_SNDMARKER_START | STREAMER_SNDMARKER_STOPATEOF);
        if (r < 0)
            bufstate = BANK_LOADING_1;
        else
            BeginEnding();
        return;
    }
    if (streamer->ReTransferSound(SoundAddr(baseaddr), half, half,
                                  STREAMER_SNDMARKER_START | STREAMER_SNDMARKER_STOPATEOF, &v)) {
        if (v < 0)
            bufstate = BANK_LOADING_1;
        else
            BeginEnding();
    }
}
