#include "ee/regs_internal.h"

#include <ee/regs.h>

#include <array>
#include <cinttypes>
#include <string>

#include "core/diag.h"
#include "core/scheduler.h"

namespace console {
namespace {

constexpr RegisterInfo kRegisters[] = {
    {"GS_PMODE", 0x12000000, true},
    {"GS_SMODE1", 0x12000010, false},
    {"GS_SMODE2", 0x12000020, true},
    {"GS_SRFSH", 0x12000030, false},
    {"GS_SYNCH1", 0x12000040, false},
    {"GS_SYNCH2", 0x12000050, false},
    {"GS_SYNCV", 0x12000060, false},
    {"GS_DISPFB1", 0x12000070, true},
    {"GS_DISPLAY1", 0x12000080, true},
    {"GS_DISPFB2", 0x12000090, true},
    {"GS_DISPLAY2", 0x120000A0, true},
    {"GS_BGCOLOR", 0x120000E0, true},
    {"GS_CSR", 0x12001000, true},
    {"GS_IMR", 0x12001010, false},
    {"GS_BUSDIR", 0x12001040, false},
    {"VIF1_STAT", 0x10003C00, true},
    {"VIF1_FBRST", 0x10003C10, true},
    {"VIF1_ERR", 0x10003C20, false},
    {"VIF1_MARK", 0x10003C30, false},
    {"GIF_CTRL", 0x10003000, true},
    {"GIF_MODE", 0x10003010, false},
    {"GIF_STAT", 0x10003020, true},
    {"D1_CHCR", 0x10009000, true},
    {"D2_CHCR", 0x1000A000, true},
    {"D2_QWC", 0x1000A020, true},
    {"D2_TADR", 0x1000A030, true},
    {"D3_CHCR", 0x1000B000, true},
    {"D8_CHCR", 0x1000D000, true},
    {"D8_MADR", 0x1000D010, true},
    {"D8_QWC", 0x1000D020, true},
    {"D8_SADR", 0x1000D080, true},
    {"D_STAT", 0x1000E010, true},
    {"IPU_CMD", 0x10002000, true},
    {"IPU_CTRL", 0x10002010, true},
    {"T0_COUNT", 0x10000000, true},
    {"T0_MODE", 0x10000010, true},
    {"INTC_STAT", 0x1000F000, true},
    {"INTC_MASK", 0x1000F010, true},
};
static_assert(std::size(kRegisters) == static_cast<size_t>(EeReg::kCount), "one entry per register");

struct Entry {
    const char* owner = nullptr;
    RegisterRead read;
    RegisterWrite write;
    uint64_t stored = 0;
    bool warned = false;
};

// Function-local so that owners may register from their static initialisers.
std::array<Entry, static_cast<size_t>(EeReg::kCount)>& Table()
{
    static std::array<Entry, static_cast<size_t>(EeReg::kCount)> table;
    return table;
}

Entry& At(EeReg reg)
{
    return Table()[static_cast<size_t>(reg)];
}

void WarnUnowned(EeReg reg, Entry& e, const char* access)
{
    const RegisterInfo& info = GetRegisterInfo(reg);
    if (e.owner || !info.effect_matters || e.warned)
        return;
    e.warned = true;
    Diag(Level::kWarning, "regs", "%s of %s (0x%08" PRIX32 "): not yet modelled; the value is only stored", access,
         info.name, info.address);
}

void TraceAccess(const char* access, EeReg reg, uint64_t value)
{
    if (TraceOn("regs"))
        Trace("regs", "%s %s = 0x%" PRIX64, access, GetRegisterInfo(reg).name, value);
}

// The accessor's side of a register access: a compiler barrier and a safe
// point.  Reads take the safe point first so they see the hardware after it;
// writes take it afterwards so that a kick runs before the accessor returns.
uint64_t AccessorRead(EeReg reg)
{
    __asm__ __volatile__("" ::: "memory");
    SafePoint(RegisterAccessCost());
    uint64_t value = ReadRegister(reg);
    TraceAccess("read", reg, value);
    __asm__ __volatile__("" ::: "memory");
    return value;
}

void AccessorWrite(EeReg reg, uint64_t value)
{
    __asm__ __volatile__("" ::: "memory");
    TraceAccess("write", reg, value);
    WriteRegister(reg, value);
    SafePoint(RegisterAccessCost());
    __asm__ __volatile__("" ::: "memory");
}

}  // namespace

const RegisterInfo& GetRegisterInfo(EeReg reg)
{
    return kRegisters[static_cast<size_t>(reg)];
}

void SetRegisterOwner(EeReg reg, const char* owner, RegisterRead read, RegisterWrite write)
{
    Entry& e = At(reg);
    e.owner = owner;
    e.read = std::move(read);
    e.write = std::move(write);
    e.warned = false;
}

void ClearRegisterOwner(EeReg reg)
{
    Entry& e = At(reg);
    e.owner = nullptr;
    e.read = nullptr;
    e.write = nullptr;
    e.warned = false;
}

const char* RegisterOwner(EeReg reg)
{
    return At(reg).owner;
}

ScopedRegisterOwner::ScopedRegisterOwner(EeReg reg, const char* owner, RegisterRead read, RegisterWrite write)
    : reg_(reg), owner_(At(reg).owner), read_(At(reg).read), write_(At(reg).write)
{
    SetRegisterOwner(reg, owner, std::move(read), std::move(write));
}

ScopedRegisterOwner::~ScopedRegisterOwner()
{
    SetRegisterOwner(reg_, owner_, std::move(read_), std::move(write_));
}

// Any register access may change what the service loop would find (a
// command started, a stall released, a FIFO read): the next safe point
// services, whichever owner the register has.
uint64_t ReadRegister(EeReg reg)
{
    Entry& e = At(reg);
    HardwareMayHaveWork();
    if (e.read)
        return e.read();
    WarnUnowned(reg, e, "read");
    return e.stored;
}

void WriteRegister(EeReg reg, uint64_t value)
{
    Entry& e = At(reg);
    HardwareMayHaveWork();
    e.stored = value;
    if (e.write)
        e.write(value);
    else
        WarnUnowned(reg, e, "write");
}

uint64_t StoredRegisterValue(EeReg reg)
{
    return At(reg).stored;
}

uint64_t RegisterAccessCost()
{
    return GetCosts().register_access;
}

}  // namespace console

using console::AccessorRead;
using console::AccessorWrite;
using console::EeReg;

void DPUT_GS_PMODE(u64 value) { AccessorWrite(EeReg::kGsPmode, value); }
void DPUT_GS_SMODE2(u64 value) { AccessorWrite(EeReg::kGsSmode2, value); }
void DPUT_GS_DISPFB1(u64 value) { AccessorWrite(EeReg::kGsDispfb1, value); }
void DPUT_GS_DISPFB2(u64 value) { AccessorWrite(EeReg::kGsDispfb2, value); }
void DPUT_GS_DISPLAY1(u64 value) { AccessorWrite(EeReg::kGsDisplay1, value); }
void DPUT_GS_DISPLAY2(u64 value) { AccessorWrite(EeReg::kGsDisplay2, value); }
void DPUT_GS_BGCOLOR(u64 value) { AccessorWrite(EeReg::kGsBgcolor, value); }

void DPUT_VIF1_FBRST(u32 value) { AccessorWrite(EeReg::kVif1Fbrst, value); }
void DPUT_VIF1_ERR(u32 value) { AccessorWrite(EeReg::kVif1Err, value); }
void DPUT_VIF1_MARK(u32 value) { AccessorWrite(EeReg::kVif1Mark, value); }

void DPUT_GIF_CTRL(u32 value) { AccessorWrite(EeReg::kGifCtrl, value); }
void DPUT_GIF_MODE(u32 value) { AccessorWrite(EeReg::kGifMode, value); }

void DPUT_D1_CHCR(u32 value) { AccessorWrite(EeReg::kD1Chcr, value); }
void DPUT_D2_QWC(u32 value) { AccessorWrite(EeReg::kD2Qwc, value); }
void DPUT_D2_TADR(u32 value) { AccessorWrite(EeReg::kD2Tadr, value); }
void DPUT_D2_CHCR(u32 value) { AccessorWrite(EeReg::kD2Chcr, value); }
void DPUT_D8_SADR(u32 value) { AccessorWrite(EeReg::kD8Sadr, value); }
void DPUT_D8_MADR(u32 value) { AccessorWrite(EeReg::kD8Madr, value); }
void DPUT_D8_QWC(u32 value) { AccessorWrite(EeReg::kD8Qwc, value); }
void DPUT_D8_CHCR(u32 value) { AccessorWrite(EeReg::kD8Chcr, value); }

void DPUT_IPU_CMD(u32 value) { AccessorWrite(EeReg::kIpuCmd, value); }
void DPUT_IPU_CTRL(u32 value) { AccessorWrite(EeReg::kIpuCtrl, value); }

void DPUT_T0_MODE(u32 value) { AccessorWrite(EeReg::kT0Mode, value); }
void DPUT_T0_COUNT(u32 value) { AccessorWrite(EeReg::kT0Count, value); }

u64 DGET_GS_CSR() { return AccessorRead(EeReg::kGsCsr); }
u32 DGET_VIF1_MARK() { return static_cast<u32>(AccessorRead(EeReg::kVif1Mark)); }
u32 DGET_VIF1_STAT() { return static_cast<u32>(AccessorRead(EeReg::kVif1Stat)); }
u32 DGET_GIF_STAT() { return static_cast<u32>(AccessorRead(EeReg::kGifStat)); }
u32 DGET_D1_CHCR() { return static_cast<u32>(AccessorRead(EeReg::kD1Chcr)); }
u32 DGET_D3_CHCR() { return static_cast<u32>(AccessorRead(EeReg::kD3Chcr)); }
u32 DGET_D8_CHCR() { return static_cast<u32>(AccessorRead(EeReg::kD8Chcr)); }
u32 DGET_D_STAT() { return static_cast<u32>(AccessorRead(EeReg::kDStat)); }
u64 DGET_IPU_CMD() { return AccessorRead(EeReg::kIpuCmd); }
u32 DGET_IPU_CTRL() { return static_cast<u32>(AccessorRead(EeReg::kIpuCtrl)); }
u32 DGET_T0_COUNT() { return static_cast<u32>(AccessorRead(EeReg::kT0Count)); }
