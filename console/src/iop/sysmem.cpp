#include "iop/sysmem.h"

#include <cstdio>
#include <string>
#include <vector>

#include <ee/memmap.h>
#include <iop/kernel.h>

#include "core/config.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "iop/threadman.h"

namespace console::iop {
namespace {

constexpr uint32_t kAlign = 64;
constexpr int64_t kDefaultFreeKib = 0x1A0000 / 1024;

// The heap as address-ordered blocks covering the free area; neighbouring
// free blocks are always merged.
struct Block {
    uint32_t addr;
    uint32_t size;
    bool used;
};

struct Sysmem {
    bool ready = false;
    uint32_t base = 0;
    std::vector<Block> blocks;
};

Sysmem& M()
{
    static Sysmem m;
    return m;
}

void Format(Sysmem& m)
{
    int64_t kib = GetInt("iop-free-kib", kDefaultFreeKib);
    if (kib < 64 || kib > IOP_RAM_SIZE / 1024) {
        Diag(Level::kError, "iop", "--iop-free-kib must be 64..%u, not %lld; using %lld", IOP_RAM_SIZE / 1024,
             static_cast<long long>(kib), static_cast<long long>(kDefaultFreeKib));
        kib = kDefaultFreeKib;
    }
    uint32_t free_bytes = static_cast<uint32_t>(kib) * 1024 / kAlign * kAlign;
    m.base = IOP_RAM_BASE + IOP_RAM_SIZE - free_bytes;
    m.blocks.assign(1, Block{m.base, free_bytes, false});
    m.ready = true;
}

Sysmem& Heap()
{
    Sysmem& m = M();
    if (!m.ready)
        Format(m);
    return m;
}

void Merge(std::vector<Block>& blocks)
{
    for (size_t i = 0; i + 1 < blocks.size();) {
        if (!blocks[i].used && !blocks[i + 1].used) {
            blocks[i].size += blocks[i + 1].size;
            blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        } else {
            ++i;
        }
    }
}

// Marks [addr, addr + size) inside free block i as used, splitting it.
void Take(std::vector<Block>& blocks, size_t i, uint32_t addr, uint32_t size)
{
    Block b = blocks[i];
    std::vector<Block> parts;
    if (addr > b.addr)
        parts.push_back(Block{b.addr, addr - b.addr, false});
    parts.push_back(Block{addr, size, true});
    if (addr + size < b.addr + b.size)
        parts.push_back(Block{addr + size, b.addr + b.size - (addr + size), false});
    blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(i));
    blocks.insert(blocks.begin() + static_cast<std::ptrdiff_t>(i), parts.begin(), parts.end());
}

std::string Report()
{
    char line[120];
    std::snprintf(line, sizeof line, "%u bytes used, %u free, largest free block %u", UsedIopMemory(),
                  TotalFreeIopMemory(), MaxFreeIopMemory());
    return line;
}

const bool g_registered = [] {
    RegisterRebootHook("sysmem", [] { M().ready = false; });
    RegisterStateReporter("iop heap", Report);
    return true;
}();

}  // namespace

void* AllocIopMemory(int mode, uint32_t size, void* at)
{
    std::vector<Block>& blocks = Heap().blocks;
    if (size == 0 || size > IOP_RAM_SIZE)
        return nullptr;
    uint32_t need = (size + kAlign - 1) / kAlign * kAlign;
    switch (mode) {
    case ALLOC_FIRST:
        for (size_t i = 0; i < blocks.size(); ++i) {
            if (!blocks[i].used && blocks[i].size >= need) {
                uint32_t addr = blocks[i].addr;
                Take(blocks, i, addr, need);
                return reinterpret_cast<void*>(static_cast<uintptr_t>(addr));
            }
        }
        return nullptr;
    case ALLOC_LAST:
        for (size_t i = blocks.size(); i-- > 0;) {
            if (!blocks[i].used && blocks[i].size >= need) {
                uint32_t addr = blocks[i].addr + blocks[i].size - need;
                Take(blocks, i, addr, need);
                return reinterpret_cast<void*>(static_cast<uintptr_t>(addr));
            }
        }
        return nullptr;
    case ALLOC_ADDRESS: {
        uint32_t addr = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(at));
        if (addr % kAlign != 0)
            return nullptr;
        for (size_t i = 0; i < blocks.size(); ++i) {
            const Block& b = blocks[i];
            if (!b.used && addr >= b.addr && addr - b.addr <= b.size && need <= b.size - (addr - b.addr)) {
                Take(blocks, i, addr, need);
                return at;
            }
        }
        return nullptr;
    }
    default:
        Diag(Level::kWarning, "iop", "AllocSysMemory mode %d (0 first, 1 last, 2 at an address)", mode);
        return nullptr;
    }
}

int FreeIopMemory(void* p)
{
    std::vector<Block>& blocks = Heap().blocks;
    uint32_t addr = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
    for (Block& b : blocks) {
        if (b.used && b.addr == addr) {
            b.used = false;
            Merge(blocks);
            return 0;
        }
    }
    Diag(Level::kWarning, "iop", "freeing IOP memory at 0x%08x, which is not an allocated block", addr);
    return -1;
}

uint32_t MaxFreeIopMemory()
{
    uint32_t best = 0;
    for (const Block& b : Heap().blocks)
        if (!b.used && b.size > best)
            best = b.size;
    return best;
}

uint32_t TotalFreeIopMemory()
{
    uint32_t total = 0;
    for (const Block& b : Heap().blocks)
        if (!b.used)
            total += b.size;
    return total;
}

uint32_t UsedIopMemory()
{
    uint32_t total = 0;
    for (const Block& b : Heap().blocks)
        if (b.used)
            total += b.size;
    return total;
}

uintptr_t IopHeapBase()
{
    return Heap().base;
}

}  // namespace console::iop

void* AllocSysMemory(int mode, int size, void* ptr)
{
    console::iop::ChargeCall();
    if (size <= 0)
        return nullptr;
    return console::iop::AllocIopMemory(mode, static_cast<uint32_t>(size), ptr);
}

int FreeSysMemory(void* ptr)
{
    console::iop::ChargeCall();
    return console::iop::FreeIopMemory(ptr) == 0 ? KE_OK : KE_ERROR;
}

int QueryMaxFreeMemSize()
{
    console::iop::ChargeCall();
    return static_cast<int>(console::iop::MaxFreeIopMemory());
}

int QueryTotalFreeMemSize()
{
    console::iop::ChargeCall();
    return static_cast<int>(console::iop::TotalFreeIopMemory());
}
