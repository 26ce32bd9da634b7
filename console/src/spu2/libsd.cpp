// The sound device library's register calls: parameters, switches and
// addresses of the two cores and their voices.  Each call first lets the
// mixer catch up to the current time, so what it writes applies from the next
// output sample and what it reads is the state at this moment.
#include <iop/sd.h>

#include "core/diag.h"
#include "iop/modules.h"
#include "iop/threadman.h"
#include "spu2/spu2.h"
#include "spu2/spu_ram.h"

namespace console::spu2 {
namespace {

struct Entry {
    int core;
    int voice;
    uint16_t reg;
};

Entry Decode(u16 entry)
{
    return {entry & 1, (entry >> 1) & 0x1F, static_cast<uint16_t>(entry & 0xFFC0)};
}

// The common start of every call: the module check, the call's cost, the
// mixer catching up.
bool Enter(const char* call)
{
    iop::ChargeCall();
    if (!iop::ModuleResident("libsd")) {
        Diag(Level::kError, "spu", "%s before the sound library module (libsd) is loaded", call);
        return false;
    }
    CatchUp();
    return true;
}

Voice* VoiceOf(const char* call, u16 entry)
{
    const Entry e = Decode(entry);
    if (e.voice >= kVoicesPerCore) {
        Diag(Level::kError, "spu", "%s(0x%04x): no voice %d on core %d (voices 0 to 23)", call, entry, e.voice, e.core);
        return nullptr;
    }
    return &GetCore(e.core).voices[e.voice];
}

// Fixed-mode volumes only: a sweep (bit 15) would move the level over time.
bool FixedVolumeOk(const char* call, u16 entry, u16 value)
{
    if (!(value & 0x8000))
        return true;
    Diag(Level::kWarning, "spu", "%s(0x%04x, 0x%04x): sweep volumes are not modelled; the volume keeps its level",
         call, entry, value);
    return false;
}

void Unknown(const char* call, u16 entry)
{
    Diag(Level::kError, "spu", "%s: unknown or read-only register id 0x%04x", call, entry);
}

}  // namespace
}  // namespace console::spu2

using console::Diag;
using console::Level;
using namespace console::spu2;

int sceSdInit(int flag)
{
    if (!Enter("sceSdInit"))
        return -1;
    ResetCores();
    console::Trace("spu", "%llu sceSdInit(%d): both cores reset", static_cast<unsigned long long>(console::Now()),
                   flag);
    return 0;
}

void sceSdSetParam(u16 entry, u16 value)
{
    if (!Enter("sceSdSetParam"))
        return;
    const Entry e = Decode(entry);
    Core& core = GetCore(e.core);
    switch (e.reg) {
    case SD_VP_VOLL:
    case SD_VP_VOLR:
    case SD_VP_PITCH:
    case SD_VP_ADSR1:
    case SD_VP_ADSR2: {
        Voice* voice = VoiceOf("sceSdSetParam", entry);
        if (!voice)
            return;
        if (e.reg == SD_VP_VOLL && FixedVolumeOk("sceSdSetParam", entry, value))
            voice->volume_left = value;
        else if (e.reg == SD_VP_VOLR && FixedVolumeOk("sceSdSetParam", entry, value))
            voice->volume_right = value;
        else if (e.reg == SD_VP_ADSR1)
            voice->adsr1 = value;
        else if (e.reg == SD_VP_ADSR2)
            voice->adsr2 = value;
        else if (e.reg == SD_VP_PITCH) {
            if (value > kMaxPitch)
                Diag(Level::kWarning, "spu", "sceSdSetParam(0x%04x): pitch 0x%04x above 0x3FFF plays at 0x3FFF",
                     entry, value);
            voice->pitch = value > kMaxPitch ? kMaxPitch : value;
        }
        return;
    }
    case SD_P_MMIX:
        core.mixer = value;
        return;
    case SD_P_MVOLL:
        if (FixedVolumeOk("sceSdSetParam", entry, value))
            core.master_left = value;
        return;
    case SD_P_MVOLR:
        if (FixedVolumeOk("sceSdSetParam", entry, value))
            core.master_right = value;
        return;
    default:
        Unknown("sceSdSetParam", entry);
    }
}

u16 sceSdGetParam(u16 entry)
{
    if (!Enter("sceSdGetParam"))
        return 0;
    const Entry e = Decode(entry);
    const Core& core = GetCore(e.core);
    switch (e.reg) {
    case SD_VP_VOLL:
    case SD_VP_VOLR:
    case SD_VP_PITCH:
    case SD_VP_ADSR1:
    case SD_VP_ADSR2:
    case SD_VP_ENVX: {
        const Voice* voice = VoiceOf("sceSdGetParam", entry);
        if (!voice)
            return 0;
        switch (e.reg) {
        case SD_VP_VOLL:
            return voice->volume_left;
        case SD_VP_VOLR:
            return voice->volume_right;
        case SD_VP_PITCH:
            return voice->pitch;
        case SD_VP_ADSR1:
            return voice->adsr1;
        case SD_VP_ADSR2:
            return voice->adsr2;
        default:
            return static_cast<u16>(voice->EnvelopeLevel());
        }
    }
    case SD_P_MMIX:
        return core.mixer;
    case SD_P_MVOLL:
        return core.master_left;
    case SD_P_MVOLR:
        return core.master_right;
    default:
        Unknown("sceSdGetParam", entry);
        return 0;
    }
}

void sceSdSetSwitch(u16 entry, u32 value)
{
    if (!Enter("sceSdSetSwitch"))
        return;
    const Entry e = Decode(entry);
    Core& core = GetCore(e.core);
    const u32 mask = value & kVoiceMask;
    switch (e.reg) {
    case SD_S_KON:
        console::Trace("spu", "%llu key on core %d voices %06x", static_cast<unsigned long long>(console::Now()), e.core,
                       mask);
        KeyOn(e.core, mask);
        return;
    case SD_S_KOFF:
        console::Trace("spu", "%llu key off core %d voices %06x", static_cast<unsigned long long>(console::Now()),
                       e.core, mask);
        KeyOff(e.core, mask);
        return;
    case SD_S_VMIXL:
        core.dry_left = mask;
        return;
    case SD_S_VMIXR:
        core.dry_right = mask;
        return;
    default:
        Unknown("sceSdSetSwitch", entry);
    }
}

u32 sceSdGetSwitch(u16 entry)
{
    if (!Enter("sceSdGetSwitch"))
        return 0;
    const Entry e = Decode(entry);
    const Core& core = GetCore(e.core);
    switch (e.reg) {
    case SD_S_KON:
        return core.key_on;
    case SD_S_KOFF:
        return core.key_off;
    case SD_S_ENDX:
        return core.EndFlags();
    case SD_S_VMIXL:
        return core.dry_left;
    case SD_S_VMIXR:
        return core.dry_right;
    default:
        Unknown("sceSdGetSwitch", entry);
        return 0;
    }
}

void sceSdSetAddr(u16 entry, u32 value)
{
    if (!Enter("sceSdSetAddr"))
        return;
    if (Decode(entry).reg != SD_VA_SSA) {
        Unknown("sceSdSetAddr", entry);
        return;
    }
    Voice* voice = VoiceOf("sceSdSetAddr", entry);
    if (!voice)
        return;
    if (value >= kSoundRamSize) {
        Diag(Level::kError, "spu", "sceSdSetAddr(0x%04x, 0x%08x): beyond the 2 MiB sound RAM", entry, value);
        return;
    }
    if (value & 7)
        Diag(Level::kWarning, "spu", "sceSdSetAddr(0x%04x, 0x%06x): start addresses are 8-byte aligned; using 0x%06x",
             entry, value, value & ~7u);
    voice->start_address = value & ~7u;
}

u32 sceSdGetAddr(u16 entry)
{
    if (!Enter("sceSdGetAddr"))
        return 0;
    const u16 reg = Decode(entry).reg;
    if (reg != SD_VA_SSA && reg != SD_VA_NAX) {
        Unknown("sceSdGetAddr", entry);
        return 0;
    }
    const Voice* voice = VoiceOf("sceSdGetAddr", entry);
    if (!voice)
        return 0;
    return reg == SD_VA_SSA ? voice->start_address : voice->CurrentAddress();
}
