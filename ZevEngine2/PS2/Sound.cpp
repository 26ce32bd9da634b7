// The sound system, main-processor side: virtual channels, positional sound
// and the sound banks, talking to the sound module (server 0x1234).
#include "ZevEngine2/PS2/Sound.h"

#include <ee/sif.h>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/iop/IOPSound.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"

// The sound module's image, held in the program and sent to the I/O
// processor by LoadIRX.
CONSOLE_MODULE_IMAGE(sndman, "ZevSound", 51161);

bool SoundSystem::paused;
int SoundSystem::numbanksloaded;

namespace {

// The speed of sound in world units per second, and the fastest approach or
// retreat still given a doppler pitch.
constexpr float SPEED_OF_SOUND = 107.61781f;
constexpr float DOPPLER_MAX_SPEED = 106.54164f;
constexpr int BIND_TRIES = 1000;

// The one client record and the module's argument, reply and batch buffers.
// All are read and written through the uncached view.
sceSifClientData sndmod_cd;
alignas(64) u8 soundargs[SOUND_BUFFER_SIZE];
alignas(64) volatile int soundret;
alignas(64) u8 soundqueue[SOUND_BUFFER_SIZE];
alignas(64) SOUNDINFO soundqueueret;
volatile int queuedatafresh;

void SmallDelay()
{
    ee_spin(1000);
}

bool Bound()
{
    return sndmod_cd.serve != nullptr;
}

// Every call first waits for the one in flight: one client record.
void WaitForCall()
{
    while (sceSifCheckStatRpc(&sndmod_cd))
        SmallDelay();
}

// End function of a batch: its info reply has landed.
void QueueDataCallback(void*)
{
    queuedatafresh = 1;
}

// A blocking command; false when the module is not there or the call fails.
bool Call(int command, const void* args, int size, int* reply)
{
    if (!Bound())
        return false;
    WaitForCall();
    if (size > 0)
        memcpy(EE_UNCACHED(soundargs), args, size_t(size));
    if (sceSifCallRpc(&sndmod_cd, u32(command), 0, EE_UNCACHED(soundargs), size,
                      const_cast<int*>(EE_UNCACHED(&soundret)), 4, nullptr, nullptr) < 0)
        return false;
    *reply = *EE_UNCACHED(&soundret);
    return true;
}

int CallBank(int command, int bank)
{
    u16 arg = u16(bank);
    int reply = 0;
    return Call(command, &arg, 2, &reply) ? reply : 0;
}

u16 FlatVolume(float v)
{
    v = std::clamp(v, 0.0f, 1.0f);
    return u16(std::min(int(v * 16384.0f), 0x3FFF));
}

float ReadKeyFloat(const char (&bytes)[4])
{
    float f;
    memcpy(&f, bytes, 4);
    return f;
}

}  // namespace

// ---------------------------------------------------------------- channels

float vchannel::CalcVolume(float d) const
{
    float v;
    if (maxVolAt < d && maxVolAt < minVolAt) {
        v = maxVol - (maxVol - minVol) * (d - maxVolAt) / (minVolAt - maxVolAt);
        if (v < minVol)
            v = minVol;
        if (v > maxVol)
            v = maxVol;
    } else {
        v = minVolAt <= d ? minVol : maxVol;
    }
    return std::clamp(v * volume, 0.0f, 1.0f);
}

SoundSystem::SoundSystem(u32 prestreambanksize_, int prestreambanks, bool isstereo)
{
    for (int i = 0; i < SOUND_VCHANNELS; i++) {
        vchannel& c = vchannels[i];
        c.state = VCHAN_FREE;
        c.flags = 0;
        c.curhwchannel = 0;
        c.volume = 1.0f;
        c.pitch = 256;
        c.curbank = c.bankindex = 0;
        c.delay = 0;
        c.curcount = u16(64 * (i + 1));
        c.ppos = nullptr;
        c.pos = VectorPos::zero();
        c.dist = 0.0f;
        c.minVol = 0.0f;
        c.minVolAt = 80.0f;
        c.maxVol = 1.0f;
        c.maxVolAt = 0.0f;
        vchannelsallocated[i] = u16(i);
    }
    numvchannelsallocated = 0;
    activehwchannels[0] = activehwchannels[1] = 0;
    memset(bankflags, 0, sizeof bankflags);
    prestreambanksize = prestreambanksize_;
    totalprestreambanks = prestreambanks;
    freeprestreambanks = 0;
    queuesize = 0;
    flags = isstereo ? SOUNDSYS_STEREO : 0;
}

void SoundSystem::Init()
{
    numbanksloaded = 0;
    paused = false;
    memset(bankflags, 0, sizeof bankflags);
    freeprestreambanks = 0;
    for (int i = 0; i < totalprestreambanks; i++) {
        int bank = AllocateStreamBank(prestreambanksize);
        if (bank < 0)
            break;
        bankflags[bank] = SNDBANK_PERMANENT | SNDBANK_STREAM;
        freeprestreambanks++;
    }
}

int SoundSystem::AllocChannel(bool held)
{
    if (numvchannelsallocated >= SOUND_VCHANNELS) {
        printf("Virtual sound channel allocation failed.\n");
        return -1;
    }
    int slot = vchannelsallocated[numvchannelsallocated++];
    vchannel& c = vchannels[slot];
    c.state = VCHAN_IDLE;
    c.flags = held ? VCHAN_HELD : 0;
    c.volume = 1.0f;
    c.pitch = 256;
    c.delay = 0;
    c.ppos = nullptr;
    c.obj = nullptr;
    c.minVol = 0.0f;
    c.minVolAt = 80.0f;
    c.maxVol = 1.0f;
    c.maxVolAt = 0.0f;
    return slot | (int(c.curcount) << 12);
}

// Takes the slot out of the used list (the last used entry takes its
// place); its handle dies.
void SoundSystem::FreeSlot(int slot)
{
    vchannel& c = vchannels[slot];
    c.obj = nullptr;
    c.state = VCHAN_FREE;
    c.curcount++;
    for (int i = 0; i < numvchannelsallocated; i++) {
        if (vchannelsallocated[i] == slot) {
            numvchannelsallocated--;
            vchannelsallocated[i] = vchannelsallocated[numvchannelsallocated];
            vchannelsallocated[numvchannelsallocated] = u16(slot);
            break;
        }
    }
}

void SoundSystem::FreeChannel(int chan)
{
    if (!ChannelValid(chan))
        return;
    vchannel& c = vchannels[chan & 0xFFF];
    if (c.flags & VCHAN_STOP) {
        // The voice still has to be stopped by the next Update, which then
        // frees the slot.
        c.obj = nullptr;
        c.state = VCHAN_IDLE;
        c.flags &= u8(~VCHAN_HELD);
        c.curcount++;
        return;
    }
    FreeSlot(chan & 0xFFF);
}

void SoundSystem::Play(int chan, unsigned short bank, unsigned short index)
{
    if (!ChannelValid(chan))
        return;
    vchannel& c = vchannels[chan & 0xFFF];
    c.state = VCHAN_IDLE;
    c.curbank = bank;
    c.bankindex = index;
    c.flags |= VCHAN_START;
}

void SoundSystem::Stop(int chan)
{
    if (!ChannelValid(chan))
        return;
    vchannel& c = vchannels[chan & 0xFFF];
    c.flags &= u8(~VCHAN_START);
    if (c.flags & VCHAN_STOP)
        return;
    if (c.state == VCHAN_STARTED || c.state == VCHAN_PLAYING)
        c.flags |= VCHAN_STOP;
    if (c.flags & VCHAN_HELD)
        c.state = VCHAN_IDLE;
    else
        FreeChannel(chan);
}

bool SoundSystem::IsPlaying(int chan)
{
    if (!ChannelValid(chan))
        return false;
    const vchannel& c = vchannels[chan & 0xFFF];
    if (c.state == VCHAN_IDLE)
        return (c.flags & VCHAN_START) != 0;
    return (c.flags & VCHAN_STOP) == 0;
}

void SoundSystem::SetPitch(int chan, float p, float randP)
{
    if (!ChannelValid(chan))
        return;
    if (randP > 0.0f)
        p += randP * (2.0f * randf() - 1.0f);
    vchannel& c = vchannels[chan & 0xFFF];
    // The pitch word holds 0..255.996; a negative factor plays nothing.
    c.pitch = u16(std::clamp(p * 256.0f, 0.0f, 65535.0f));
    c.flags |= VCHAN_PITCHCHANGED;
}

void SoundSystem::SetVolume(int chan, float v, float randV)
{
    if (!ChannelValid(chan))
        return;
    if (randV > 0.0f)
        v += randV * (2.0f * randf() - 1.0f);
    vchannel& c = vchannels[chan & 0xFFF];
    c.volume = v < 0.0f ? 0.0f : v;
    c.flags |= VCHAN_VOLUMECHANGED;
}

void SoundSystem::SetHoldStatus(int chan, bool held)
{
    if (!ChannelValid(chan))
        return;
    vchannel& c = vchannels[chan & 0xFFF];
    c.flags = u8(held ? c.flags | VCHAN_HELD : c.flags & ~VCHAN_HELD);
}

void SoundSystem::SetDoppler(int chan, bool on)
{
    if (!ChannelValid(chan))
        return;
    vchannel& c = vchannels[chan & 0xFFF];
    c.flags = u8(on ? c.flags | VCHAN_DOPPLER | VCHAN_DOPPLERFIRST : c.flags & ~VCHAN_DOPPLER);
}

u32 SoundSystem::GetPlayingAddress(int chan)
{
    if (!ChannelValid(chan))
        return 0;
    const vchannel& c = vchannels[chan & 0xFFF];
    if (c.state == VCHAN_STARTED)
        WaitForCall();  // the batch that started the voice reports its address
    if (c.state != VCHAN_STARTED && c.state != VCHAN_PLAYING)
        return 0;
    return EE_UNCACHED(&soundqueueret)->playaddr[c.curhwchannel];
}

void SoundSystem::SetPosition(int chan, const VectorPos& p)
{
    if (!ChannelValid(chan))
        return;
    vchannel& c = vchannels[chan & 0xFFF];
    c.obj = nullptr;
    c.pos = p;
    c.ppos = &c.pos;
}

void SoundSystem::SetPosition(int chan, Object* o)
{
    if (!ChannelValid(chan))
        return;
    vchannel& c = vchannels[chan & 0xFFF];
    c.obj = o;
    if (o)
        c.pos = o->GetWorldPos();
    c.ppos = &c.pos;
}

// ------------------------------------------------------------- the batch

void SoundSystem::QueueCommand(u8 command, const u16* values, int count)
{
    int size = 2 + 2 * count;
    if (queuesize + size > SOUND_BUFFER_SIZE) {
        SendBatch();
        WaitForCall();  // the buffer is the call's until its reply
    }
    u8* q = EE_UNCACHED(soundqueue) + queuesize;
    q[0] = command;
    q[1] = u8(2 * count);
    memcpy(q + 2, values, size_t(2 * count));
    queuesize += size;
}

void SoundSystem::QueueStop(int voice)
{
    u16 v[1] = {u16(voice)};
    QueueCommand(ZEVSOUND_STOP, v, 1);
}

void SoundSystem::QueueVolume(int voice, u16 left, u16 right)
{
    u16 v[3] = {u16(voice), left, right};
    QueueCommand(ZEVSOUND_VOLUME, v, 3);
}

void SoundSystem::QueuePitch(int voice, u16 factor)
{
    u16 v[2] = {u16(voice), factor};
    QueueCommand(ZEVSOUND_PITCH, v, 2);
}

// Sends the batch with an info reply (asynchronous); the next call of any
// command waits for it.
void SoundSystem::SendBatch()
{
    int size = queuesize;
    queuesize = 0;
    if (!Bound())
        return;
    WaitForCall();
    queuedatafresh = 0;
    sceSifCallRpc(&sndmod_cd, ZEVSOUND_BATCH_INFO, SIF_RPCM_NOWAIT, EE_UNCACHED(soundqueue), size,
                  EE_UNCACHED(&soundqueueret), SOUND_INFO_REPLY_SIZE, QueueDataCallback, nullptr);
}

bool SoundSystem::VoiceActive(int voice) const
{
    return (activehwchannels[voice / 24] >> (voice % 24)) & 1;
}

// The first voice free on core 0, else on core 1, marked in use; -1 when all
// 48 are busy.
int SoundSystem::TakeVoice()
{
    for (int voice = 0; voice < 48; voice++) {
        if (!VoiceActive(voice)) {
            activehwchannels[voice / 24] |= 1u << (voice % 24);
            return voice;
        }
    }
    return -1;
}

VectorPos SoundSystem::ChannelPosition(vchannel& c)
{
    if (c.obj && !c.obj->IsDead())
        c.pos = c.obj->GetWorldPos();
    return *c.ppos;
}

// Step 4 of Update for one used slot.  *freed is set when the slot was
// freed (its start was dropped).
void SoundSystem::UpdateChannel(int slot, int nframes, const Matrix& inv, bool* freed)
{
    vchannel& c = vchannels[slot];
    bool positional = c.ppos != nullptr;
    bool delaying = false;
    if (c.flags & VCHAN_START) {
        if (c.delay != 0)
            c.delay = u16(std::max(int(c.delay) - nframes, 0));
        if (c.delay != 0) {
            delaying = true;
        } else {
            int voice = TakeVoice();
            if (voice < 0) {
                printf("Hardware sound channel allocation failed.\n");
                // A channel that is not held ends with its sound, which
                // never began: free it, or it would stay allocated for good.
                if (!(c.flags & VCHAN_HELD)) {
                    FreeSlot(slot);
                    *freed = true;
                    return;
                }
                c.flags &= u8(~VCHAN_START);
            } else {
                c.curhwchannel = u16(voice);
                u16 level = positional ? 0 : FlatVolume(c.volume);
                u16 play[6] = {c.curbank, c.bankindex, u16(voice), c.pitch, level, level};
                QueueCommand(ZEVSOUND_PLAY, play, 6);
                if (positional && (c.flags & VCHAN_DOPPLER))
                    c.dist = Length(inv * ChannelPosition(c));
                c.state = VCHAN_STARTED;
            }
        }
    } else if (c.state == VCHAN_STARTED) {
        c.state = VCHAN_PLAYING;
    }

    bool sounding = c.state == VCHAN_STARTED || c.state == VCHAN_PLAYING;
    if (positional) {
        if (c.obj && c.obj->IsDead()) {
            c.obj = nullptr;
            c.ppos = nullptr;
            c.volume = 0.0f;
            c.flags |= VCHAN_VOLUMECHANGED;
            positional = false;
        } else if (sounding) {
            VectorPos p = inv * ChannelPosition(c);
            float d = Length(p);
            float v = c.CalcVolume(d);
            if (flags & SOUNDSYS_STEREO) {
                u32 lr = SFXCalcVolumeStereo(p, v);
                QueueVolume(c.curhwchannel, u16(lr), u16(lr >> 16));
            } else {
                QueueVolume(c.curhwchannel, FlatVolume(v), FlatVolume(v));
            }
            if (c.flags & VCHAN_DOPPLER) {
                if (c.flags & VCHAN_DOPPLERFIRST) {
                    QueuePitch(c.curhwchannel, 0);
                } else if (nframes > 0) {
                    float speed = (c.dist - d) / (float(nframes) / 60.0f);
                    if (speed < -DOPPLER_MAX_SPEED || speed > DOPPLER_MAX_SPEED) {
                        QueuePitch(c.curhwchannel, 0);
                    } else {
                        float f = float(c.pitch) * SPEED_OF_SOUND / (SPEED_OF_SOUND - speed);
                        QueuePitch(c.curhwchannel, u16(std::clamp(f, 0.0f, 65535.0f)));
                    }
                }
                c.dist = d;
            }
        }
    }

    if (sounding) {
        if ((c.flags & VCHAN_VOLUMECHANGED) && !positional)
            QueueVolume(c.curhwchannel, FlatVolume(c.volume), FlatVolume(c.volume));
        if ((c.flags & VCHAN_PITCHCHANGED) && (!positional || !(c.flags & VCHAN_DOPPLER)))
            QueuePitch(c.curhwchannel, c.pitch);
    }
    c.flags &= u8(VCHAN_DOPPLER | VCHAN_HELD | (delaying ? VCHAN_START : 0));
}

void SoundSystem::Update(int nframes, const Matrix& listener)
{
    Matrix inv = ScaledInverse(listener);

    WaitForCall();
    if (queuedatafresh) {
        const SOUNDINFO* info = EE_UNCACHED(&soundqueueret);
        activehwchannels[0] = info->activemask[0];
        activehwchannels[1] = info->activemask[1];
    }
    queuesize = 0;

    // Voices that have finished, and stops asked for.  A free moves the last
    // used slot into the freed place, so the pass starts over after one.
    for (int i = 0; i < numvchannelsallocated;) {
        int slot = vchannelsallocated[i];
        vchannel& c = vchannels[slot];
        bool freed = false;
        if (c.state == VCHAN_PLAYING && !VoiceActive(c.curhwchannel)) {
            c.flags &= u8(~VCHAN_STOP);
            if (c.flags & VCHAN_HELD) {
                c.state = VCHAN_IDLE;
            } else {
                FreeSlot(slot);
                freed = true;
            }
        }
        if (!freed && (c.flags & VCHAN_STOP)) {
            QueueStop(c.curhwchannel);
            c.flags &= u8(~VCHAN_STOP);
            if (!(c.flags & VCHAN_HELD)) {
                FreeSlot(slot);
                freed = true;
            }
        }
        i = freed ? 0 : i + 1;
    }

    for (int i = 0; i < numvchannelsallocated;) {
        bool freed = false;
        UpdateChannel(vchannelsallocated[i], nframes, inv, &freed);
        if (!freed)
            i++;  // else the last used slot now sits at i
    }

    SendBatch();
}

u32 SoundSystem::SFXCalcVolumeStereo(const VectorPos& p, float vol)
{
    float h = std::min(vol, 1.0f) / 2.0f;
    float s = p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
    float pan = s == 0.0f ? 0.0f : std::clamp(p[0] / s, -1.0f, 1.0f);
    float left = std::clamp((1.0f - pan) * h, 0.0f, 1.0f);
    float right = std::clamp((1.0f + pan) * h, 0.0f, 1.0f);
    u32 l = std::min(u32(int(left * 16384.0f)) & 0xFFFF, 0x3FFFu);
    u32 r = std::min(u32(int(right * 16384.0f)) & 0xFFFF, 0x3FFFu);
    return l | r << 16;
}

void SoundSystem::StopAll()
{
    WaitForCall();
    queuesize = 0;
    for (int i = 0; i < numvchannelsallocated; i++) {
        vchannel& c = vchannels[vchannelsallocated[i]];
        if (c.state == VCHAN_STARTED || c.state == VCHAN_PLAYING || (c.flags & VCHAN_STOP))
            QueueStop(c.curhwchannel);
        c.flags = 0;
        c.obj = nullptr;
        c.state = VCHAN_FREE;
        c.curcount++;
    }
    numvchannelsallocated = 0;
    // The module's pause goes with the sounds, so the two stay in step.
    if (paused)
        QueueCommand(ZEVSOUND_RESUME, nullptr, 0);
    SendBatch();
    activehwchannels[0] = activehwchannels[1] = 0;
    paused = false;
}

void SoundSystem::PauseAll()
{
    if (paused)
        return;
    paused = true;
    int reply;
    Call(ZEVSOUND_PAUSE, nullptr, 0, &reply);
}

void SoundSystem::UnPauseAll()
{
    if (!paused)
        return;
    paused = false;
    int reply;
    Call(ZEVSOUND_RESUME, nullptr, 0, &reply);
}

// ------------------------------------------------------------------ banks

unsigned short SoundSystem::LoadSoundBank(const char* filename, bool permanent)
{
    int reply = -1;
    size_t len = filename ? strlen(filename) : SOUND_BUFFER_SIZE;
    if (len >= SOUND_BUFFER_SIZE || !Call(ZEVSOUND_LOADBANK, filename, int(len + 1), &reply) || reply < 0 ||
        u16(reply) >= SOUND_MAX_BANKNUMBERS) {
        printf(" ZEVSOUND_LOADBANK failed\n");
        return 0xFFFF;
    }
    u16 bank = u16(reply);
    bankflags[bank] = u8((permanent ? SNDBANK_PERMANENT : 0) | SNDBANK_INUSE);
    numbanksloaded = bank + 1;  // a new bank is the top of the stack
    return bank;
}

unsigned short SoundSystem::LoadSoundBank(const void* data, u32 size, bool permanent)
{
    FlushCache(0);  // the module pulls the file from memory
    u32 args[2] = {u32(reinterpret_cast<uintptr_t>(EE_PHYS(data))), size};
    int reply = -1;
    if (!Call(ZEVSOUND_LOADBANK_EE, args, 8, &reply) || reply < 0 || u16(reply) >= SOUND_MAX_BANKNUMBERS) {
        printf("ZEVSOUND_LOADBANK failed\n");
        return 0xFFFF;
    }
    u16 bank = u16(reply);
    bankflags[bank] = u8((permanent ? SNDBANK_PERMANENT : 0) | SNDBANK_INUSE);
    numbanksloaded = bank + 1;
    return bank;
}

int SoundSystem::UnloadSoundBank(int bank)
{
    if (bank < 0 || bank >= numbanksloaded)
        return 0;
    if (bankflags[bank] & SNDBANK_PERMANENT)
        return 0;
    if (bank != numbanksloaded - 1) {
        bankflags[bank] &= u8(~SNDBANK_INUSE);
        return 1;
    }
    CallBank(ZEVSOUND_UNLOADBANK, bank);
    int count = 0;
    if (Call(ZEVSOUND_NUMBANKS, nullptr, 0, &count))
        numbanksloaded = std::clamp(count, 0, SOUND_MAX_BANKNUMBERS);
    bankflags[bank] = 0;
    // Banks below that were only marked unused can go now.
    int below = bank - 1;
    if (below >= 0 && below == numbanksloaded - 1 && !(bankflags[below] & SNDBANK_INUSE)) {
        if (bankflags[below] & SNDBANK_STREAM)
            DestroyStreamBank(below);
        else
            UnloadSoundBank(below);
    }
    return 1;
}

void SoundSystem::UnloadAllSoundBanks()
{
    int n = 0;
    if (!Call(ZEVSOUND_NUMBANKS, nullptr, 0, &n))
        return;
    for (int i = std::min(n, SOUND_MAX_BANKNUMBERS) - 1; i >= 0; i--)
        UnloadSoundBank(i);
}

void SoundSystem::UnloadNonPermanentSoundBanks()
{
    while (numbanksloaded > 0) {
        int top = numbanksloaded - 1;
        if (bankflags[top] & (SNDBANK_PERMANENT | SNDBANK_STREAM))
            break;
        UnloadSoundBank(top);
        if (numbanksloaded > top)
            break;  // the module kept it
    }
}

int SoundSystem::AllocateStreamBank(u32 size)
{
    int reply = -1;
    if (!Call(ZEVSOUND_CREATESTREAM, &size, 4, &reply) || reply < 0 || reply >= SOUND_MAX_BANKNUMBERS)
        return -1;
    bankflags[reply] = SNDBANK_STREAM | SNDBANK_INUSE;
    numbanksloaded = reply + 1;
    return reply;
}

int SoundSystem::CreateStreamBank(u32 size)
{
    if (size == prestreambanksize && freeprestreambanks > 0) {
        for (int i = 0; i < totalprestreambanks && i < SOUND_MAX_BANKNUMBERS; i++) {
            if (!(bankflags[i] & SNDBANK_INUSE)) {
                bankflags[i] |= SNDBANK_INUSE;
                freeprestreambanks--;
                return i;
            }
        }
    }
    return AllocateStreamBank(size);
}

void SoundSystem::FreeStreamBank(int bank)
{
    if (bank < 0 || bank >= SOUND_MAX_BANKNUMBERS)
        return;
    if (bank < totalprestreambanks) {
        if (bankflags[bank] & SNDBANK_INUSE) {
            bankflags[bank] &= u8(~SNDBANK_INUSE);
            freeprestreambanks++;
        }
        return;
    }
    DestroyStreamBank(bank);
}

int SoundSystem::DestroyStreamBank(int bank)
{
    if (bank < 0 || bank >= numbanksloaded)
        return 0;
    if (bankflags[bank] & SNDBANK_PERMANENT)
        return 0;
    if (bank != numbanksloaded - 1) {
        bankflags[bank] &= u8(~SNDBANK_INUSE);
        return 1;
    }
    if (Bound()) {
        WaitForCall();
        u16* arg = reinterpret_cast<u16*>(EE_UNCACHED(soundargs));
        arg[0] = u16(bank);
        sceSifCallRpc(&sndmod_cd, ZEVSOUND_DESTROYSTREAM, SIF_RPCM_NOWAIT, arg, 2,
                      const_cast<int*>(EE_UNCACHED(&soundret)), 4, nullptr, nullptr);
    }
    numbanksloaded--;
    bankflags[bank] = 0;
    int below = bank - 1;
    if (below >= 0 && !(bankflags[below] & SNDBANK_INUSE)) {
        if (bankflags[below] & SNDBANK_STREAM)
            DestroyStreamBank(below);
        else
            UnloadSoundBank(below);
    }
    return 1;
}

u32 SoundSystem::GetStreamBase(int bank)
{
    return u32(CallBank(ZEVSOUND_BANKBASE, bank));
}

int SoundSystem::GetSoundRAMFree()
{
    int reply = 0;
    return Call(ZEVSOUND_FREERAM, nullptr, 0, &reply) ? reply : 0;
}

int SoundSystem::GetSoundBankSize(int bank)
{
    return CallBank(ZEVSOUND_BANKSIZE, bank);
}

int SoundSystem::GetSoundBankFlags(int bank)
{
    return CallBank(ZEVSOUND_BANKFLAGS, bank);
}

int SoundSystem::GetSampleFlags(int bank, int sample)
{
    u16 args[2] = {u16(bank), u16(sample)};
    int reply = 0;
    return Call(ZEVSOUND_SAMPLEFLAGS, args, 4, &reply) ? reply : 0;
}

// ---------------------------------------------------------------- start-up

int SoundInit()
{
    if (LoadIRX(sndman, 51161, nullptr) < 0)
        printf("Can't load IOP sound module\n");
    // The module's RPC thread registers the server soon after it starts.  A
    // module that did not load never does: give up rather than wait forever.
    sndmod_cd = sceSifClientData{};
    queuedatafresh = 0;
    for (int tries = 0;; tries++) {
        if (tries == BIND_TRIES || sceSifBindRpc(&sndmod_cd, SOUND_RPC_SERVER, 0) < 0) {
            sndmod_cd.serve = nullptr;
            printf("bind error\n");
            return 0;
        }
        if (sndmod_cd.serve)
            break;
        SmallDelay();
    }
    int reply = 0;
    if (!Call(ZEVSOUND_INIT, nullptr, 0, &reply) || reply == 0)
        return 0;
    sound.Init();
    return 1;
}

void SoundForgetModule()
{
    sndmod_cd = sceSifClientData{};
    queuedatafresh = 0;
}

// ------------------------------------------------------- animation sounds

void PlayAnimSoundKey(Object* obj, const Animation* anim, const AnimKeySound* key)
{
    int c = sound.AllocChannel(false);
    if (!sound.ChannelValid(c))
        return;
    if (anim && anim->sndBank >= 0) {
        sound.Play(c, u16(anim->sndBank), key->sound);
        sound.SetVolume(c, 1.0f, 0.0f);
        vchannel* ch = sound.GetChannel(c);
        ch->minVol = ReadKeyFloat(key->minVol) * 0.01f;
        ch->minVolAt = ReadKeyFloat(key->minVolAt) * 0.8f;
        ch->maxVol = ReadKeyFloat(key->maxVol) * 0.01f;
        ch->maxVolAt = ReadKeyFloat(key->maxVolAt) * 0.8f;
        sound.SetPitch(c, ReadKeyFloat(key->pitch) * 0.01f, ReadKeyFloat(key->randPitch) * 0.01f);
        sound.SetVolume(c, 1.0f, ReadKeyFloat(key->randVol) * 0.01f);
    } else if (obj && obj->GetMF()) {
        sound.Play(c, u16(obj->GetMF()->soundbank), key->sound);
    } else {
        // No bank to play from: the channel would never be freed.
        sound.FreeChannel(c);
        return;
    }
    sound.SetPosition(c, obj);
}
