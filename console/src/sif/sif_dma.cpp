#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <ee/sif.h>
#include <iop/kernel.h>
#include <iop/sif.h>

#include "core/diag.h"
#include "ee/memmap_internal.h"
#include "iop/threadman.h"
#include "sif/sif_internal.h"

namespace console::sif {
namespace {

// Transfers a direction may have in flight before sceSifSetDma reports a
// full queue.
constexpr size_t kQueueDepth = 32;

struct Copy {
    uint8_t* dst;
    const uint8_t* src;
    uint32_t size;
};

struct Transfer {
    uint32_t id;
    Direction dir;
    Cycles end;
    std::vector<Copy> copies;
};

struct Channels {
    Cycles last[2] = {0, 0};
    uint32_t next_id = 1;
    std::deque<Transfer> transfers;  // in issue order
};

Channels& C()
{
    static Channels c;
    return c;
}

const char* DirName(Direction dir)
{
    return dir == Direction::kToIop ? "EE->IOP" : "IOP->EE";
}

// Validates one record: the source must be memory DMA may read, the
// destination IOP RAM toward the IOP and main memory toward the EE.
bool ValidRecord(Direction dir, const sceSifDmaData& r, const char* caller)
{
    const void* src = reinterpret_cast<const void*>(static_cast<uintptr_t>(r.data));
    const void* dst = reinterpret_cast<const void*>(static_cast<uintptr_t>(r.addr));
    size_t n = r.size == 0 ? 1 : r.size;
    Region s = ClassifyAddress(src, n);
    Region d = ClassifyAddress(dst, n);
    bool ok = s != Region::kInvalid && (dir == Direction::kToIop ? d == Region::kIopRam
                                                                  : d != Region::kInvalid && d != Region::kIopRam);
    if (!ok)
        Diag(Level::kError, "sif", "%s: SIF DMA %s of %u bytes from 0x%08x (%s) to 0x%08x (%s) is refused", caller,
             DirName(dir), r.size, r.data, RegionName(s), r.addr, RegionName(d));
    return ok;
}

void Land(Transfer& t)
{
    for (const Copy& c : t.copies)
        std::memmove(c.dst, c.src, c.size);
    Trace("sif", "%llu DMA %u %s landed", static_cast<unsigned long long>(Now()), t.id, DirName(t.dir));
}

void ResetChannels(bool clock_reset)
{
    Channels& c = C();
    c.transfers.clear();
    if (clock_reset) {
        c.last[0] = c.last[1] = 0;
        c.next_id = 1;
    }
}

const bool g_registered = [] {
    RegisterResetHook("sif dma", [] { ResetChannels(true); });
    iop::RegisterRebootHook("sif dma", [] { ResetChannels(false); });
    RegisterStateReporter("sif", ChannelReport);
    return true;
}();

}  // namespace

Cycles DeliveryTime(Direction dir, Cycles duration)
{
    Cycles& last = C().last[dir == Direction::kToIop ? 0 : 1];
    Cycles at = std::max(Now() + duration, last);
    last = at;
    return at;
}

Cycles Latency()
{
    return MicrosecondsToCycles(GetCosts().sif_latency_us);
}

uint32_t StartDma(Direction dir, const sceSifDmaData* records, int n, const char* caller, Cycles* end)
{
    Channels& c = C();
    LandDueDma();
    size_t in_flight = 0;
    for (const Transfer& t : c.transfers)
        if (t.dir == dir)
            ++in_flight;
    if (in_flight >= kQueueDepth)
        return 0;
    if (!records || n <= 0) {
        Diag(Level::kError, "sif", "%s: %d transfer records", caller, n);
        return 0;
    }
    Transfer t;
    t.id = c.next_id++;
    if (c.next_id == 0)
        c.next_id = 1;
    t.dir = dir;
    uint64_t bytes = 0;
    for (int i = 0; i < n; ++i) {
        const sceSifDmaData& r = records[i];
        bytes += r.size;
        if (r.size == 0 || !ValidRecord(dir, r, caller))
            continue;
        t.copies.push_back(Copy{reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(r.addr)),
                                reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(r.data)), r.size});
    }
    const Costs& costs = GetCosts();
    t.end = DeliveryTime(dir, MicrosecondsToCycles(costs.sif_dma_us) + TransferCycles(bytes, costs.sif_dma_mbps));
    if (end)
        *end = t.end;
    Trace("sif", "%llu DMA %u %s of %llu bytes in %d record(s), lands at %llu", static_cast<unsigned long long>(Now()),
          t.id, DirName(dir), static_cast<unsigned long long>(bytes), n, static_cast<unsigned long long>(t.end));
    uint32_t id = t.id;
    Cycles when = t.end;
    c.transfers.push_back(std::move(t));
    iop::ScheduleIop(when, "SIF DMA", LandDueDma);
    return id;
}

void LandDueDma()
{
    Channels& c = C();
    Cycles now = Now();
    for (auto it = c.transfers.begin(); it != c.transfers.end();) {
        if (it->end <= now) {
            Land(*it);
            it = c.transfers.erase(it);
        } else {
            ++it;
        }
    }
}

bool DmaInProgress(uint32_t id)
{
    LandDueDma();
    for (const Transfer& t : C().transfers)
        if (t.id == id)
            return true;
    return false;
}

std::string ChannelReport()
{
    std::string text;
    char line[120];
    std::snprintf(line, sizeof line, "%zu SIF DMA transfer(s) in flight", C().transfers.size());
    text += line;
    for (const Transfer& t : C().transfers) {
        std::snprintf(line, sizeof line, " [#%u %s landing at %llu]", t.id, DirName(t.dir),
                      static_cast<unsigned long long>(t.end));
        text += line;
    }
    return text;
}

}  // namespace console::sif

using console::sif::Direction;

unsigned int sceSifSetDma(sceSifDmaData* sdd, int len)
{
    console::SafePoint(0);
    return console::sif::StartDma(Direction::kToIop, sdd, len, "sceSifSetDma");
}

int sceSifDmaStat(unsigned int id)
{
    console::SafePoint(console::GetCosts().poll_call);
    return console::sif::DmaInProgress(id) ? 0 : -1;
}

u32 iop_sceSifSetDma(sceSifDmaData* sdd, int len)
{
    console::iop::ChargeCall();
    return console::sif::StartDma(Direction::kToEe, sdd, len, "IOP sceSifSetDma");
}

int iop_sceSifDmaStat(u32 id)
{
    console::iop::ChargeCall();
    return console::sif::DmaInProgress(id) ? 0 : -1;
}

int sceSifGetOtherData(sceSifReceiveData* rd, void* src, void* dest, int size, int mode)
{
    (void)rd;
    console::iop::ChargeCall();
    if (size < 0 || !src || !dest)
        return -1;
    if (size == 0)
        return 0;
    sceSifDmaData record{static_cast<u32>(reinterpret_cast<uintptr_t>(src)),
                         static_cast<u32>(reinterpret_cast<uintptr_t>(dest)), static_cast<u32>(size), 0};
    // The data flows toward the IOP, in order with everything else sent that
    // way; a full queue is waited out.
    console::Cycles end = 0;
    uint32_t id = 0;
    while ((id = console::sif::StartDma(Direction::kToIop, &record, 1, "sceSifGetOtherData", &end)) == 0)
        console::iop::WaitForTime(console::Now() + console::MicrosecondsToCycles(10), TSW_SIF, "a SIF DMA slot");
    if (mode == 0) {
        if (!console::iop::WaitForTime(end, TSW_SIF, "sceSifGetOtherData"))
            return -1;
        console::sif::LandDueDma();
    }
    return 0;
}
