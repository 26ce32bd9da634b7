// The disc drive: one command at a time (a read or a seek), completing after
// the time of the drive model (--cd-model):
//   instant  no time at all;
//   fast     0.2 ms per command, 2 ms more when the head must move, and the
//            data at 10 MB/s;
//   real     80 ms when the head must move, and the data at 4 MB/s.
// The head must move unless the command starts where the previous one ended.
// A read's data lands in IOP memory when it completes; status is a matter of
// time, so a thread polling sceCdSync(1) sees the read end.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <ee/sif.h>
#include <iop/cdvd.h>
#include <iop/kernel.h>

#include "cdvd/disc.h"
#include "core/diag.h"
#include "ee/memmap_internal.h"
#include "iop/threadman.h"

namespace console::cdvd {
namespace {

struct Drive {
    bool busy = false;
    Cycles end = 0;
    bool reading = false;
    uint32_t lsn = 0;
    uint32_t sectors = 0;
    uint8_t* buf = nullptr;
    bool head_known = false;
    uint32_t head = 0;  // the sector after the last one the head passed
    sceCdRMode mode{};
};

Drive& Dr()
{
    static Drive drive;
    return drive;
}

Cycles CommandTime(uint32_t lsn, uint64_t bytes)
{
    Drive& d = Dr();
    bool moves = !d.head_known || d.head != lsn;
    switch (GetCosts().cd_model) {
    case CdModel::kInstant:
        return 0;
    case CdModel::kFast:
        return MicrosecondsToCycles(200) + (moves ? MicrosecondsToCycles(2000) : 0) + TransferCycles(bytes, 10);
    case CdModel::kReal:
        return (moves ? MicrosecondsToCycles(80'000) : 0) + TransferCycles(bytes, 4);
    }
    return 0;
}

// Completes the current command if its time has come.
void LandIfDue()
{
    Drive& d = Dr();
    if (!d.busy || Now() < d.end)
        return;
    d.busy = false;
    if (d.reading) {
        ReadSectors(d.lsn, d.sectors, d.buf);
        Trace("cd", "%llu read of %u sector(s) from %u complete", static_cast<unsigned long long>(Now()), d.sectors,
              d.lsn);
    }
    d.reading = false;
}

bool Start(uint32_t lsn, uint32_t sectors, uint8_t* buf)
{
    Drive& d = Dr();
    Cycles took = CommandTime(lsn, static_cast<uint64_t>(sectors) * kSectorSize);
    d.busy = true;
    d.reading = buf != nullptr;
    d.lsn = lsn;
    d.sectors = sectors;
    d.buf = buf;
    d.end = Now() + took;
    d.head_known = true;
    d.head = lsn + sectors;
    iop::ScheduleIop(d.end, "disc command", LandIfDue);
    return true;
}

bool Busy()
{
    LandIfDue();
    return Dr().busy;
}

const bool g_registered = [] {
    RegisterResetHook("disc drive", [] { Dr() = Drive{}; });
    return true;
}();

}  // namespace
}  // namespace console::cdvd

using console::Diag;
using console::Level;
using namespace console::cdvd;

int iop_sceCdInit(int)
{
    console::iop::ChargeCall();
    return 1;
}

int iop_sceCdMmode(int)
{
    console::iop::ChargeCall();
    return 1;
}

int sceCdDiskReady(int)
{
    console::iop::ChargeCall();
    return DiscPresent() ? SCECdComplete : 0;
}

int sceCdSearchFile(sceCdlFILE* file, const char* name)
{
    console::iop::ChargeCall();
    if (!file || !name)
        return 0;
    const DiscFile* f = FindFile(name);
    if (!f) {
        console::Trace("cd", "search for %s: not found", name);
        return 0;
    }
    std::memset(file, 0, sizeof *file);
    file->lsn = f->lsn;
    file->size = static_cast<u32>(f->size);
    size_t slash = f->iso_path.rfind('\\');
    std::string base = slash == std::string::npos ? f->iso_path : f->iso_path.substr(slash + 1);
    std::snprintf(file->name, sizeof file->name, "%s;1", base.c_str());
    return 1;
}

int sceCdRead(u32 lsn, u32 sectors, void* buf, sceCdRMode* mode)
{
    console::iop::ChargeCall();
    if (Busy())
        return 0;
    if (!DiscPresent()) {
        Diag(Level::kWarning, "cd", "sceCdRead without a disc");
        return 0;
    }
    if (sectors == 0 || !buf ||
        console::ClassifyAddress(buf, static_cast<size_t>(sectors) * kSectorSize) != console::Region::kIopRam) {
        Diag(Level::kError, "cd", "sceCdRead of %u sector(s) from %u into 0x%08lx: not a block of IOP memory", sectors,
             lsn, static_cast<unsigned long>(reinterpret_cast<uintptr_t>(buf)));
        return 0;
    }
    if (mode)
        Dr().mode = *mode;
    console::Trace("cd", "%llu read %u sector(s) from %u", static_cast<unsigned long long>(console::Now()), sectors,
                   lsn);
    return Start(lsn, sectors, static_cast<uint8_t*>(buf)) ? 1 : 0;
}

int sceCdSeek(u32 lsn)
{
    console::iop::ChargeCall();
    if (Busy())
        return 0;
    console::Trace("cd", "%llu seek to %u", static_cast<unsigned long long>(console::Now()), lsn);
    return Start(lsn, 0, nullptr) ? 1 : 0;
}

int sceCdSync(int mode)
{
    if (!console::iop::OnIopThread())
        console::SafePoint(console::GetCosts().poll_call);
    console::iop::ChargeCall();
    if (!Busy())
        return 0;
    if (mode != 0)
        return 1;
    if (!console::iop::WaitForTime(Dr().end, TSW_CDVD, "the disc drive"))
        return 1;
    LandIfDue();
    return 0;
}

int sceCdGetError()
{
    console::iop::ChargeCall();
    return 0;
}

int sceCdStandby()
{
    console::iop::ChargeCall();
    return 1;
}

int sceCdStop()
{
    console::iop::ChargeCall();
    Dr().head_known = false;
    return 1;
}

// The main processor's disc library: start-up only.
int sceCdInit(int)
{
    console::SafePoint(0);
    return 1;
}

int sceCdMmode(int)
{
    console::SafePoint(0);
    return 1;
}
