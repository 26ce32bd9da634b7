// The graphics library's read-back calls: a local->host transfer described
// by a small register packet and run at once.  On the console the data comes
// back through the VIF1 channel with tag transfer off, which is why the
// channel's TTE bit is left cleared afterwards.
#include <ee/graph.h>

#include <cinttypes>

#include "core/diag.h"
#include "core/scheduler.h"
#include "dmac/dmac.h"
#include "gs/gs.h"
#include "gs/gs_local.h"
#include "gs/gsdump.h"

namespace {

constexpr u64 Bits(u64 value, int lo, int n)
{
    return (value & ((u64{1} << n) - 1)) << lo;
}

bool ValidRequest(const sceGsStoreImage* si)
{
    using console::gs::Addr;
    using console::gs::GsReg;
    return si->bitbltbufaddr == Addr(GsReg::BITBLTBUF) && si->trxposaddr == Addr(GsReg::TRXPOS) &&
           si->trxregaddr == Addr(GsReg::TRXREG) && si->trxdiraddr == Addr(GsReg::TRXDIR) && (si->trxdir & 3) == 1;
}

}  // namespace

void sceGsSetDefStoreImage(sceGsStoreImage* si, short sbp, short sbw, short spsm, short x, short y, short w, short h)
{
    using console::gs::Addr;
    using console::gs::GsReg;
    si->bitbltbuf = Bits(static_cast<u16>(sbp), 0, 14) | Bits(static_cast<u16>(sbw), 16, 6) |
                    Bits(static_cast<u16>(spsm), 24, 6);
    si->bitbltbufaddr = Addr(GsReg::BITBLTBUF);
    si->trxpos = Bits(static_cast<u16>(x), 0, 11) | Bits(static_cast<u16>(y), 16, 11);
    si->trxposaddr = Addr(GsReg::TRXPOS);
    si->trxreg = Bits(static_cast<u16>(w), 0, 12) | Bits(static_cast<u16>(h), 32, 12);
    si->trxregaddr = Addr(GsReg::TRXREG);
    si->trxdir = 1;
    si->trxdiraddr = Addr(GsReg::TRXDIR);
}

int sceGsExecStoreImage(sceGsStoreImage* si, u_long128* dst)
{
    using namespace console;
    SafePoint(GetCosts().poll_call);
    if (!si || !dst || !ValidRequest(si)) {
        Diag(Level::kError, "gs", "sceGsExecStoreImage: %s", !si || !dst ? "null request or destination"
                                                                        : "the request is not a local->host transfer");
        return -1;
    }
    // The read-back shares the paths into the GS with drawing: let what is
    // on its way finish first.
    dmac::EnsureRegistered();
    for (int channel : {2, 1})
        if (dmac::ChannelBusy(channel) && !dmac::WaitIdle(channel, "sceGsExecStoreImage"))
            return -1;

    gs::WriteRegister(static_cast<u32>(si->bitbltbufaddr), si->bitbltbuf);
    gs::WriteRegister(static_cast<u32>(si->trxposaddr), si->trxpos);
    gs::WriteRegister(static_cast<u32>(si->trxregaddr), si->trxreg);
    gs::WriteRegister(static_cast<u32>(si->trxdiraddr), si->trxdir);

    gs::TransferUnit& transfer = gs::TheGs().transfer;
    const u64 bytes = transfer.ReadBytesLeft();
    gs::DumpRead(gs::DumpKind::kReadBytes, static_cast<size_t>(bytes));
    const size_t got = transfer.ReadImageBytes(reinterpret_cast<u8*>(dst), static_cast<size_t>(bytes));
    if (got != bytes)
        Diag(Level::kError, "gs", "sceGsExecStoreImage: read %zu of %" PRIu64 " bytes", got, bytes);
    dmac::Block(1)->chcr.TTE = 0;
    return 0;
}
