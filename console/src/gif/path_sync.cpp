// sceGsSyncPath: waits until everything sent towards the GS has arrived.
#include <ee/graph.h>

#include <string>

#include "core/diag.h"
#include "core/scheduler.h"
#include "dmac/dmac.h"
#include "ee/intc.h"
#include "gif/gif.h"
#include "vif/vif1.h"

namespace console::gif {
namespace {

// Busy bits of a polling call; 0 means every path is idle.
constexpr int kBusyVif1Channel = 1 << 0;
constexpr int kBusyGifChannel = 1 << 1;
constexpr int kBusyVif1 = 1 << 2;
constexpr int kBusyGif = 1 << 3;

int BusyBits()
{
    int bits = 0;
    if (dmac::ChannelBusy(1))
        bits |= kBusyVif1Channel;
    if (dmac::ChannelBusy(2))
        bits |= kBusyGifChannel;
    if (!vif::Idle())
        bits |= kBusyVif1;
    if (!Idle())
        bits |= kBusyGif;
    return bits;
}

std::string BusyReport()
{
    std::string text = dmac::StateText() + vif::StateText() + StateText();
    if (vif::StalledOnInterrupt() && !(IntcMask() & (1u << kIntcVif1)))
        text += "VIF1 waits for an interrupt whose cause (5) is masked: nothing will write VIF1_FBRST STC\n";
    return text;
}

}  // namespace
}  // namespace console::gif

int sceGsSyncPath(int mode, u16 timeout)
{
    using namespace console;
    (void)timeout;
    gif::EnsureRegistered();
    vif::EnsureRegistered();
    dmac::EnsureRegistered();
    if (mode == 1) {
        SafePoint(GetCosts().poll_call);
        return gif::BusyBits();
    }
    if (mode != 0) {
        Diag(Level::kError, "gs", "sceGsSyncPath: mode %d (0 waits, 1 polls)", mode);
        return -1;
    }
    if (CurrentContext() != Context::kMain) {
        if (gif::BusyBits() == 0)
            return 0;
        Diag(Level::kError, "gs", "sceGsSyncPath: waiting outside the EE main context while busy:\n%s",
             gif::BusyReport().c_str());
        return -1;
    }
    // The wait gives up after one virtual second, which no transfer of the
    // game takes; its own timer guarantees the wait ends even when nothing
    // else is scheduled.
    bool timed_out = false;
    const EventId timer = ScheduleIn(kBusHz, "sceGsSyncPath timeout", [&timed_out] { timed_out = true; });
    const bool ended = WaitUntil("the GS paths to become idle (sceGsSyncPath)",
                                 [&timed_out] { return timed_out || gif::BusyBits() == 0; });
    Cancel(timer);
    if (!ended)
        return -1;
    if (gif::BusyBits() != 0) {
        Diag(Level::kError, "gs", "sceGsSyncPath: still busy after one virtual second:\n%s",
             gif::BusyReport().c_str());
        return -1;
    }
    return 0;
}
