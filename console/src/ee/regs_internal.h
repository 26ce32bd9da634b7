// The register address space as a dispatch table.  Each register the game
// touches (and the few the stand-in's own libraries use) has an entry with its
// hardware address (for traces), a stored value, and read and write handlers
// registered by the module that owns the register.  The DPUT_*/DGET_*
// accessors of <ee/regs.h> are safe points that dispatch through this table;
// stand-in code may use ReadRegister/WriteRegister directly (no safe point).
#pragma once

#include <cstdint>
#include <functional>

namespace console {

enum class EeReg : uint8_t {
    // GS privileged
    kGsPmode,
    kGsSmode1,
    kGsSmode2,
    kGsSrfsh,
    kGsSynch1,
    kGsSynch2,
    kGsSyncv,
    kGsDispfb1,
    kGsDisplay1,
    kGsDispfb2,
    kGsDisplay2,
    kGsBgcolor,
    kGsCsr,
    kGsImr,
    kGsBusdir,
    // VIF1
    kVif1Stat,
    kVif1Fbrst,
    kVif1Err,
    kVif1Mark,
    // GIF
    kGifCtrl,
    kGifMode,
    kGifStat,
    // DMA controller
    kD1Chcr,
    kD2Chcr,
    kD2Qwc,
    kD2Tadr,
    kD3Chcr,
    kD8Chcr,
    kD8Madr,
    kD8Qwc,
    kD8Sadr,
    kDStat,
    // IPU
    kIpuCmd,
    kIpuCtrl,
    // timer 0
    kT0Count,
    kT0Mode,
    // interrupt controller
    kIntcStat,
    kIntcMask,

    kCount
};

struct RegisterInfo {
    const char* name;     // "GS_PMODE", "D2_CHCR"
    uint32_t address;     // the hardware address (traces only)
    bool effect_matters;  // an access without an owner is worth a warning
};
const RegisterInfo& GetRegisterInfo(EeReg reg);

// Handlers of an owning module.  A missing read handler makes reads return the
// stored value (the last value written); a missing write handler only stores.
using RegisterRead = std::function<uint64_t()>;
using RegisterWrite = std::function<void(uint64_t value)>;

// Installs `owner`'s handlers for `reg`, replacing any earlier owner.
void SetRegisterOwner(EeReg reg, const char* owner, RegisterRead read, RegisterWrite write);
// Removes the owner of `reg` (tests); the stored value stays.
void ClearRegisterOwner(EeReg reg);
// The owner's name, or null when nobody owns `reg` yet.
const char* RegisterOwner(EeReg reg);

// Installs handlers for the lifetime of the object and puts the previous owner
// back afterwards (tests; an owner of null makes the register unowned).
class ScopedRegisterOwner {
public:
    ScopedRegisterOwner(EeReg reg, const char* owner, RegisterRead read, RegisterWrite write);
    ~ScopedRegisterOwner();
    ScopedRegisterOwner(const ScopedRegisterOwner&) = delete;
    ScopedRegisterOwner& operator=(const ScopedRegisterOwner&) = delete;

private:
    EeReg reg_;
    const char* owner_;
    RegisterRead read_;
    RegisterWrite write_;
};

// Dispatches one access without a safe point.  A write always stores the value
// and then calls the owner's write handler.  Without an owner, an access to a
// register whose effect matters gives a "not yet modelled" warning (once per
// register until it gets an owner).
uint64_t ReadRegister(EeReg reg);
void WriteRegister(EeReg reg, uint64_t value);

// The last value written (or the initial 0), without calling any handler.
uint64_t StoredRegisterValue(EeReg reg);

// Virtual cost of one accessor call in bus cycles (the scheduler's
// register_access cost, 20 by default).
uint64_t RegisterAccessCost();

}  // namespace console
