// The DMA library calls: thin wrappers that fill a channel's register block
// and start it; the transfer itself is the DMA controller's (dmac.cpp).
#include <ee/dma.h>

#include <cinttypes>

#include "core/diag.h"
#include "core/scheduler.h"
#include "dmac/dmac.h"

namespace console::dmac {
namespace {

// Fixed directions of the modelled channels; the others are refused by the
// controller when they start ("not modelled").
bool CanSend(int ch)
{
    return ch != 3 && ch != 8;
}

bool CanReceive(int ch)
{
    return ch != 2 && ch != 4;
}

// The channel of `chan`, idle and ready for a new transfer, or -1.  A busy
// channel is waited for in the EE main context; in a handler that would
// block, so it is an error.
int PrepareStart(sceDmaChan* chan, const char* caller)
{
    EnsureRegistered();
    int ch = ChannelIndex(chan, caller);
    if (ch < 0)
        return -1;
    if (!ChannelBusy(ch))
        return ch;
    if (CurrentContext() != Context::kMain) {
        Diag(Level::kError, "dma", "%s: channel %d (%s) is busy (called outside the EE main context)", caller, ch,
             ChannelName(ch));
        return -1;
    }
    Diag(Level::kWarning, "dma", "%s: channel %d (%s) is busy; waiting for its transfer to end", caller, ch,
         ChannelName(ch));
    if (!WaitIdle(ch, caller))
        return -1;
    return ch;
}

bool CheckQwc(int qwc, const char* caller)
{
    if (qwc < 0 || qwc > 0xFFFF) {
        Diag(Level::kError, "dma", "%s: %d quadwords; a transfer moves 0 to 65,535", caller, qwc);
        return false;
    }
    return true;
}

// Sets STR and lets the transfer run: at once from the EE main context (the
// safe point services the hardware), after the handler chain otherwise.
void Start(int ch, tD_CHCR chcr)
{
    chcr.STR = 1;
    Block(ch)->chcr = chcr;
    Kick(ch);
    SafePoint(0);
}

}  // namespace
}  // namespace console::dmac

using namespace console::dmac;
using console::Diag;
using console::Level;

sceDmaChan* sceDmaGetChan(int id)
{
    EnsureRegistered();
    sceDmaChan* chan = Block(id);
    if (!chan)
        Diag(Level::kError, "dma", "sceDmaGetChan: there is no channel %d", id);
    return chan;
}

void sceDmaSend(sceDmaChan* chan, void* tag)
{
    int ch = PrepareStart(chan, "sceDmaSend");
    if (ch < 0)
        return;
    if (!CanSend(ch)) {
        Diag(Level::kError, "dma", "sceDmaSend: channel %d (%s) does not read chains from memory", ch, ChannelName(ch));
        return;
    }
    tD_CHCR chcr = chan->chcr;
    chcr.DIR = 1;
    chcr.MOD = 1;
    chcr.ASP = 0;
    chan->qwc = 0;
    chan->tadr = tag;
    Start(ch, chcr);
}

void sceDmaSendN(sceDmaChan* chan, void* addr, int qwc)
{
    int ch = PrepareStart(chan, "sceDmaSendN");
    if (ch < 0 || !CheckQwc(qwc, "sceDmaSendN"))
        return;
    if (!CanSend(ch)) {
        Diag(Level::kError, "dma", "sceDmaSendN: channel %d (%s) only receives", ch, ChannelName(ch));
        return;
    }
    tD_CHCR chcr = chan->chcr;
    chcr.DIR = 1;
    chcr.MOD = 0;
    chan->madr = addr;
    chan->qwc = static_cast<u32>(qwc);
    Start(ch, chcr);
}

void sceDmaRecvN(sceDmaChan* chan, void* addr, int qwc)
{
    int ch = PrepareStart(chan, "sceDmaRecvN");
    if (ch < 0 || !CheckQwc(qwc, "sceDmaRecvN"))
        return;
    if (!CanReceive(ch)) {
        Diag(Level::kError, "dma", "sceDmaRecvN: channel %d (%s) only sends", ch, ChannelName(ch));
        return;
    }
    tD_CHCR chcr = chan->chcr;
    chcr.DIR = 0;
    chcr.MOD = 0;
    chan->madr = addr;
    chan->qwc = static_cast<u32>(qwc);
    Start(ch, chcr);
}

int sceDmaSync(sceDmaChan* chan, int mode, int timeout)
{
    (void)timeout;
    EnsureRegistered();
    int ch = ChannelIndex(chan, "sceDmaSync");
    if (ch < 0)
        return -1;
    switch (mode) {
    case 0:
        if (console::CurrentContext() != console::Context::kMain) {
            if (!ChannelBusy(ch))
                return 0;
            Diag(Level::kError, "dma", "sceDmaSync: waiting for channel %d (%s) outside the EE main context", ch,
                 ChannelName(ch));
            return -1;
        }
        return WaitIdle(ch, "sceDmaSync") ? 0 : -1;
    case 1:
        console::SafePoint(console::GetCosts().poll_call);
        return ChannelBusy(ch) ? 1 : 0;
    default:
        Diag(Level::kError, "dma", "sceDmaSync: unknown mode %d", mode);
        return -1;
    }
}
