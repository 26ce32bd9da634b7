// The DMA controller: channel register blocks, normal and source-chain
// transfers with the tag walker, address validation and D_STAT.  A channel
// moves quadwords between memory and its peripheral (VIF1, the GIF's PATH3,
// the IPU's input and output) and stalls when the peripheral stalls; the
// from-scratchpad channel copies memory and completes at once.  Channels run
// as hardware units of the scheduler: a transfer started from the EE main
// context runs before the starting call returns, up to its first stall, and
// a stalled channel continues at every later service pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <ee/dma.h>

namespace console::dmac {

// The peripheral side of a channel, implemented by VIF1, the GIF and the IPU.
// Every call happens on the EE thread from the scheduler's hardware step (or
// from the call that started the transfer).
class Peripheral {
public:
    virtual ~Peripheral() = default;

    virtual const char* Name() const = 0;

    // Channel 1 with CHCR.TTE: the upper 64 bits of each source-chain tag (two
    // 32-bit words, the first in the low half) arrive before the tag's data.
    // Returns false when the peripheral cannot take them now; they are offered
    // again at the next pass.
    virtual bool AcceptTag(uint64_t upper)
    {
        (void)upper;
        return true;
    }

    // To-peripheral channels: takes up to `count` quadwords and returns how
    // many it took.  Fewer than `count` means the peripheral stalls; the rest is
    // offered again at the next pass.
    virtual size_t Accept(const u128* data, size_t count)
    {
        (void)data;
        (void)count;
        return 0;
    }

    // From-peripheral channels: writes up to `count` quadwords and returns how
    // many it wrote; fewer means nothing more is ready yet.
    virtual size_t Produce(u128* out, size_t count)
    {
        (void)out;
        (void)count;
        return 0;
    }
};

// Attaches `peripheral` to channel 1, 2, 3 or 4 (null detaches).  A channel
// without a peripheral discards what it sends (with a warning, once) and
// stalls when it should receive.
void SetPeripheral(int channel, Peripheral* peripheral);
Peripheral* GetPeripheral(int channel);

// Hardware unit order of the channels: the GIF channel's chains first, then
// VIF1, then the IPU channels (input before output).
constexpr int kUnitOrderGif = 100;
constexpr int kUnitOrderVif1 = 200;
constexpr int kUnitOrderToIpu = 300;
constexpr int kUnitOrderFromIpu = 310;

// The register block of channel 0 to 9 (null otherwise) and its name
// ("VIF1", "fromSPR").
sceDmaChan* Block(int channel);
const char* ChannelName(int channel);

// True while channel `channel`'s transfer runs (CHCR.STR).
bool ChannelBusy(int channel);

// True when the channel is busy and could not move anything at its last run
// because its peripheral stalled.
bool ChannelStalled(int channel);

// D_STAT as the register reads.
uint32_t DStat();

// One line per channel for deadlock and watchdog reports.
std::string StateText();

// Power-on state: blocks zeroed, nothing running, D_STAT 0.  Peripherals stay
// attached.  Part of ResetScheduler.
void ResetDmac();

// Registers the channels with the scheduler (units, reporter, reset hook).
// Every entry point calls it; idempotent.
void EnsureRegistered();

// The channel a block belongs to, or -1 (with an error diagnostic naming
// `caller`) when `chan` is not one of the blocks sceDmaGetChan hands out.
int ChannelIndex(const sceDmaChan* chan, const char* caller);

// Starts channel `channel` whose block already holds the transfer (STR set):
// channel 8 runs at once; the others run at the next service pass.
void Kick(int channel);

// Waits in the EE main context until the channel is idle.  Returns false when
// the wait can never end (a deadlock was reported).
bool WaitIdle(int channel, const char* what);

}  // namespace console::dmac
