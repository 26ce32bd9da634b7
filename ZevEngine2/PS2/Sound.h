// The sound system: the game's interface to sound effects.
//
// Game code allocates virtual channels, asks them to play a sample of a loaded
// bank, and may tie a channel to a position or an object.  Once per frame
// Update turns the virtual channels into voices of the sound processor (two
// cores of 24), works out distance attenuation, stereo panning and doppler
// pitch, and sends everything to the sound module on the I/O processor as one
// batch of commands, whose reply brings back which voices still sound.  The
// sound system also owns the sound banks (a stack in sound RAM on the module)
// and pause and resume.
//
// A channel handle is the channel's index (0..255) with the channel's reuse
// count above bit 12.  A handle kept after its channel was freed no longer
// matches the count and every operation on it does nothing (queries answer 0
// or false).
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Vector.h"

constexpr int SOUND_VCHANNELS = 256;
constexpr int SOUND_MAX_BANKNUMBERS = 64;

// vchannel::state
enum {
    VCHAN_FREE = 0,
    VCHAN_IDLE = 1,     // allocated; a start may be pending
    VCHAN_STARTED = 2,  // its voice was started in this frame's batch
    VCHAN_PLAYING = 3,
};

// vchannel::flags
enum {
    VCHAN_PITCHCHANGED = 0x01,
    VCHAN_VOLUMECHANGED = 0x02,
    VCHAN_START = 0x04,
    VCHAN_STOP = 0x08,
    VCHAN_DOPPLERFIRST = 0x10,  // doppler's first frame: no speed known yet
    VCHAN_HELD = 0x40,          // stays allocated when its sound ends
    VCHAN_DOPPLER = 0x80,
};

// SoundSystem::bankflags
enum {
    SNDBANK_PERMANENT = 0x01,
    SNDBANK_STREAM = 0x02,
    SNDBANK_INUSE = 0x04,
};

// SoundSystem::flags
enum {
    SOUNDSYS_STEREO = 0x80,
};

// One virtual channel.
struct vchannel {
    u8 state;
    u8 flags;
    u16 curhwchannel;  // voice 0..47 while the state is VCHAN_STARTED or VCHAN_PLAYING
    float volume;      // 0..1; more is clipped where used
    u16 pitch;         // 8.8 factor; 256 plays the sample at its own rate
    u16 curbank;
    u16 bankindex;
    u16 delay;         // frames to wait before the voice starts
    u16 curcount;      // reuse count of the slot
    VectorPos* ppos;   // the position the sound follows; null: not positional
    VectorPos pos;     // position storage, kept up to date from obj
    RCptr<Object> obj; // the object the sound follows
    float dist;        // last distance from the listener (doppler)
    // Distance attenuation: maxVol up to maxVolAt, falling linearly to
    // minVol at minVolAt.
    float minVol, minVolAt, maxVol, maxVolAt;

    // The attenuated volume at distance d, times volume, within 0..1.
    float CalcVolume(float d) const;
};

class SoundSystem
{
public:
    // All channels free; stereo output when isstereo.  Init makes
    // prestreambanks stream banks of prestreambanksize bytes.
    SoundSystem(u32 prestreambanksize, int prestreambanks, bool isstereo);

    // Called by SoundInit once the module answers: no banks, then the
    // pre-made stream banks, permanent and not in use.
    void Init();

    // Channels.  AllocChannel gives a handle, or -1 (with a message) when all
    // 256 are in use.  A held channel stays allocated after its sound ends;
    // another is freed then.
    int AllocChannel(bool held);
    void FreeChannel(int chan);
    // The sample starts in the next Update.
    void Play(int chan, unsigned short bank, unsigned short index);
    // Cancels a pending start and stops the voice in the next Update; a
    // channel that is not held is freed at once (its handle dies).
    void Stop(int chan);
    bool IsPlaying(int chan);
    // p (1.0 = the sample's own rate) and v, each with a uniform random
    // offset of up to plus or minus the second value when that is positive.
    void SetPitch(int chan, float p, float randP);
    void SetVolume(int chan, float v, float randV);
    void SetHoldStatus(int chan, bool held);
    void SetDoppler(int chan, bool on);
    // The voice's sound-RAM address from the last batch reply; 0 when the
    // channel has no voice.
    u32 GetPlayingAddress(int chan);

    // Pins the channel to a fixed world position, dropping any object it
    // followed; or makes it follow an object (a counted reference).
    void SetPosition(int chan, const VectorPos& p);
    void SetPosition(int chan, Object* o);

    // Once per frame: nframes frames have passed; positions are heard from
    // the listener matrix's frame.
    void Update(int nframes, const Matrix& listener);

    void StopAll();
    void PauseAll();
    void UnPauseAll();

    // Banks.  The loaders return the bank number, 0xFFFF on failure.
    unsigned short LoadSoundBank(const char* filename, bool permanent);
    unsigned short LoadSoundBank(const void* data, u32 size, bool permanent);
    // 0 when refused (a permanent bank, no such bank), 1 otherwise.  Only the
    // top bank is released on the module; one below it is only marked unused
    // and goes when everything above it has gone.
    int UnloadSoundBank(int bank);
    void UnloadAllSoundBanks();
    void UnloadNonPermanentSoundBanks();
    int GetNumBanksLoaded() const { return numbanksloaded; }

    // Stream banks (sound-RAM space for streamed sound).  CreateStreamBank
    // takes a free pre-made bank of the size, else makes one; -1 when sound
    // RAM is full.
    int CreateStreamBank(u32 size);
    void FreeStreamBank(int bank);
    int AllocateStreamBank(u32 size);
    int DestroyStreamBank(int bank);
    u32 GetStreamBase(int bank);

    int GetSoundRAMFree();
    int GetSoundBankSize(int bank);
    int GetSoundBankFlags(int bank);
    int GetSampleFlags(int bank, int sample);

    // Left and right volumes (0..0x3FFF) of a sound at p in the listener's
    // frame and volume vol, packed left | right << 16.
    static u32 SFXCalcVolumeStereo(const VectorPos& p, float vol);

    bool ChannelValid(int chan) const
    {
        int slot = chan & 0xFFF;
        return slot < SOUND_VCHANNELS && u16(chan >> 12) == vchannels[slot].curcount;
    }
    // The record of the handle's slot (its count unchecked), null for a
    // handle that names no slot.
    vchannel* GetChannel(int chan)
    {
        int slot = chan & 0xFFF;
        return slot < SOUND_VCHANNELS ? &vchannels[slot] : nullptr;
    }
    int NumFreeChannels() const { return SOUND_VCHANNELS - numvchannelsallocated; }
    void SetStereoMode(bool stereo) { flags = u16(stereo ? flags | SOUNDSYS_STEREO : flags & ~SOUNDSYS_STEREO); }
    static bool IsPaused() { return paused; }

    vchannel vchannels[SOUND_VCHANNELS];
    u32 activehwchannels[2];  // voices in use on core 0 and core 1
    // The first numvchannelsallocated entries are the slots in use, the rest
    // the free stack.
    u16 vchannelsallocated[SOUND_VCHANNELS];
    int numvchannelsallocated;
    u8 bankflags[SOUND_MAX_BANKNUMBERS];
    u32 prestreambanksize;
    int freeprestreambanks;
    int totalprestreambanks;
    int queuesize;  // bytes in the command batch
    u16 flags;

    static bool paused;
    static int numbanksloaded;

private:
    void FreeSlot(int slot);
    void QueueCommand(u8 command, const u16* values, int count);
    void QueueStop(int voice);
    void QueueVolume(int voice, u16 left, u16 right);
    void QueuePitch(int voice, u16 factor);
    void SendBatch();
    int TakeVoice();
    bool VoiceActive(int voice) const;
    VectorPos ChannelPosition(vchannel& c);
    void UpdateChannel(int slot, int nframes, const Matrix& inv, bool* freed);
};

// The game's one sound system (defined by the main module).
extern SoundSystem sound;

// Loads the sound module onto the I/O processor, binds its server and
// initialises it and the sound system.  0 on failure (with a message).
int SoundInit();

// Forgets the sound module's server: the I/O processor that ran it was reset,
// so nothing is sent to it (every command answers as with no module) until
// SoundInit binds again.
void SoundForgetModule();
