// Sound RAM and the sound library's voice transfers: DMA channels 0 and 1
// move bytes between IOP memory and sound RAM at --spu-xfer-mbps (10 MB/s).
// The bytes land when the transfer completes (the mixer first catching up to
// that moment); status is a matter of time.
#include <cstring>
#include <vector>

#include <iop/kernel.h>
#include <iop/sd.h>

#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/memmap_internal.h"
#include "iop/modules.h"
#include "iop/threadman.h"
#include "spu2/spu2.h"
#include "spu2/spu_ram.h"

namespace console::spu2 {
namespace {

struct Transfer {
    bool active = false;
    bool to_spu = true;
    uint8_t* iop = nullptr;
    uint32_t spu = 0;
    uint32_t size = 0;
    Cycles end = 0;
};

struct Spu {
    std::vector<uint8_t> ram = std::vector<uint8_t>(kSoundRamSize, 0);
    Transfer channels[2];
};

Spu& S()
{
    static Spu spu;
    return spu;
}

void LandIfDue(int ch)
{
    Transfer& t = S().channels[ch];
    if (!t.active || Now() < t.end)
        return;
    t.active = false;
    // The voices play the old bytes up to the moment the new ones land.
    if (t.to_spu) {
        MixUntil(t.end);
        std::memcpy(SoundRam() + t.spu, t.iop, t.size);
    } else {
        std::memcpy(t.iop, SoundRam() + t.spu, t.size);
    }
    Trace("spu", "%llu voice transfer on channel %d complete (%u bytes)", static_cast<unsigned long long>(Now()), ch,
          t.size);
}

const bool g_registered = [] {
    iop::RegisterRebootHook("sound ram", ClearSoundRam);
    RegisterResetHook("sound ram", ClearSoundRam);
    return true;
}();

}  // namespace

uint8_t* SoundRam()
{
    return S().ram.data();
}

void ClearSoundRam()
{
    Spu& s = S();
    std::fill(s.ram.begin(), s.ram.end(), 0);
    s.channels[0] = Transfer{};
    s.channels[1] = Transfer{};
}

}  // namespace console::spu2

using console::Diag;
using console::Level;

int sceSdVoiceTrans(s16 channel, u16 mode, u8* iop_addr, u32 spu_addr, u32 size)
{
    using namespace console::spu2;
    console::iop::ChargeCall();
    if (!console::iop::ModuleResident("libsd")) {
        Diag(Level::kError, "spu", "sceSdVoiceTrans before the sound library module (libsd) is loaded");
        return -1;
    }
    if (channel != 0 && channel != 1) {
        Diag(Level::kError, "spu", "sceSdVoiceTrans on channel %d (0 or 1)", channel);
        return -1;
    }
    LandIfDue(channel);
    Transfer& t = S().channels[channel];
    if (t.active) {
        Diag(Level::kError, "spu", "sceSdVoiceTrans on channel %d while its previous transfer runs", channel);
        return -1;
    }
    if (spu_addr >= kSoundRamSize || size > kSoundRamSize - spu_addr) {
        Diag(Level::kError, "spu", "voice transfer of %u bytes at sound RAM 0x%06x overflows the 2 MiB sound RAM",
             size, spu_addr);
        return -1;
    }
    if (size > 0 && (!iop_addr || console::ClassifyAddress(iop_addr, size) != console::Region::kIopRam)) {
        Diag(Level::kError, "spu", "voice transfer of %u bytes from 0x%08lx: not a block of IOP memory", size,
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(iop_addr)));
        return -1;
    }
    t.active = true;
    t.to_spu = (mode & SD_TRANS_MODE_READ) == 0;
    t.iop = iop_addr;
    t.spu = spu_addr;
    t.size = size;
    t.end = console::Now() + console::TransferCycles(size, console::GetCosts().spu_xfer_mbps);
    console::Trace("spu", "%llu voice transfer on channel %d: %u bytes %s sound RAM 0x%06x",
                   static_cast<unsigned long long>(console::Now()), channel, size, t.to_spu ? "to" : "from", spu_addr);
    int ch = channel;
    console::iop::ScheduleIop(t.end, "voice transfer", [ch] { LandIfDue(ch); });
    return static_cast<int>(size);
}

u32 sceSdVoiceTransStatus(s16 channel, s16 flag)
{
    using namespace console::spu2;
    if (!console::iop::OnIopThread())
        console::SafePoint(console::GetCosts().poll_call);
    console::iop::ChargeCall();
    if (channel != 0 && channel != 1) {
        Diag(Level::kError, "spu", "sceSdVoiceTransStatus on channel %d (0 or 1)", channel);
        return 1;
    }
    LandIfDue(channel);
    Transfer& t = S().channels[channel];
    if (!t.active)
        return 1;
    if (flag != SD_TRANS_STATUS_WAIT)
        return 0;
    // The library polls the DMA: the caller keeps the processor while time
    // runs to the end of the transfer.
    console::Cycles left = t.end - console::Now();
    if (console::iop::OnIopThread())
        console::AdvanceClock(left);
    else
        console::SafePoint(left);
    LandIfDue(channel);
    return 1;
}
