#include <gtest/gtest.h>

#include <ee/regs.h>

#include <bit>
#include <string>
#include <vector>

#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/regs_internal.h"

using console::EeReg;

namespace {

int CountLog(const std::string& needle)
{
    int n = 0;
    for (const std::string& line : console::DiagLog())
        if (line.find(needle) != std::string::npos)
            ++n;
    return n;
}

}  // namespace

TEST(Regs, AccessorsAdvanceTheClock)
{
    console::ResetScheduler();
    console::ScopedRegisterOwner mode(EeReg::kGifMode, "test", nullptr, [](uint64_t) {});
    console::ScopedRegisterOwner stat(EeReg::kGifStat, "test", [] { return uint64_t{0}; }, nullptr);
    const console::Cycles cost = console::GetCosts().register_access;
    EXPECT_EQ(cost, 20u);
    console::Cycles t0 = console::Now();
    DPUT_GIF_MODE(4);
    EXPECT_EQ(console::Now(), t0 + cost);
    DGET_GIF_STAT();
    EXPECT_EQ(console::Now(), t0 + 2 * cost);
}

TEST(Regs, ReadsSeeEventsThatFellDueAtTheAccess)
{
    console::ResetScheduler();
    uint64_t field = 0;
    console::ScopedRegisterOwner csr(EeReg::kGsCsr, "test", [&] { return field << 13; }, nullptr);
    console::ScheduleIn(console::GetCosts().register_access, "field toggle", [&] { field = 1; });
    EXPECT_EQ(DGET_GS_CSR(), uint64_t{1} << 13);
}

TEST(Regs, OwnersGetWritesAndAnswerReads)
{
    std::vector<uint64_t> writes;
    console::ScopedRegisterOwner fbrst(EeReg::kVif1Fbrst, "vif1",
                                       nullptr, [&](uint64_t v) { writes.push_back(v); });
    console::ScopedRegisterOwner ipu(EeReg::kIpuCmd, "ipu", [] { return 0x8000000012345678ull; }, nullptr);
    DPUT_VIF1_FBRST(1);
    DPUT_VIF1_FBRST(8);
    EXPECT_EQ(writes, (std::vector<uint64_t>{1, 8}));
    EXPECT_EQ(console::StoredRegisterValue(EeReg::kVif1Fbrst), 8u);
    EXPECT_EQ(DGET_IPU_CMD(), 0x8000000012345678ull);  // 64 bits: busy in bit 63
    EXPECT_STREQ(console::RegisterOwner(EeReg::kVif1Fbrst), "vif1");
}

TEST(Regs, UnownedRegisterStoresAndWarnsOnceWhenItsEffectMatters)
{
    console::ScopedRegisterOwner pmode(EeReg::kGsPmode, nullptr, nullptr, nullptr);
    console::ScopedRegisterOwner mark(EeReg::kVif1Mark, nullptr, nullptr, nullptr);
    console::ClearDiagLog();

    DPUT_GS_PMODE(0x8067);
    DPUT_GS_PMODE(0);
    EXPECT_EQ(console::StoredRegisterValue(EeReg::kGsPmode), 0u);
    EXPECT_EQ(CountLog("warning [regs] write of GS_PMODE (0x12000000): not yet modelled"), 1);

    // MARK needs no model: the stored value is its behaviour.
    DPUT_VIF1_MARK(0xFFFF);
    EXPECT_EQ(DGET_VIF1_MARK(), 0xFFFFu);
    EXPECT_EQ(CountLog("VIF1_MARK"), 0);
}

TEST(Regs, DmaChannelRegistersBelongToTheDmac)
{
    for (EeReg reg : {EeReg::kD1Chcr, EeReg::kD2Chcr, EeReg::kD2Qwc, EeReg::kD2Tadr, EeReg::kD3Chcr, EeReg::kD8Chcr,
                      EeReg::kD8Madr, EeReg::kD8Qwc, EeReg::kD8Sadr, EeReg::kDStat})
        EXPECT_STREQ(console::RegisterOwner(reg), "dmac") << console::GetRegisterInfo(reg).name;
}

TEST(Regs, BitfieldViewsMatchTheHardwareLayouts)
{
    tD_CHCR chcr = std::bit_cast<tD_CHCR>(u32{0x145});
    EXPECT_EQ(chcr.DIR, 1u);
    EXPECT_EQ(chcr.MOD, 1u);
    EXPECT_EQ(chcr.TTE, 1u);
    EXPECT_EQ(chcr.STR, 1u);
    EXPECT_EQ(chcr.TIE, 0u);

    tGS_DISPLAY1 d{};
    d.DX = 176;
    d.DY = 56;
    d.MAGH = 2;
    d.DW = 1494;
    d.DH = 511;
    EXPECT_EQ(std::bit_cast<u64>(d), 176ull | (56ull << 12) | (2ull << 23) | (1494ull << 32) | (511ull << 44));

    tGS_DISPFB2 fb{};
    fb.FBP = 0x1FF;
    fb.PSM = 0x0A;
    fb.DBY = 1;
    EXPECT_EQ(std::bit_cast<u64>(fb), 0x1FFull | (0x0Aull << 15) | (1ull << 43));

    tGS_PMODE p{};
    p.EN1 = 1;
    p.CRTMD = 1;
    p.ALP = 0xFF;
    EXPECT_EQ(std::bit_cast<u64>(p), 0xFF05ull);

    EXPECT_EQ(std::bit_cast<u64>(tGS_CSR{.SIGNAL = 0, .FINISH = 0, .HSINT = 0, .VSINT = 0, .EDWINT = 0, .ZERO1 = 0,
                                         .ZERO2 = 0, .p0 = 0, .FLUSH = 0, .RESET = 0, .p1 = 0, .NFIELD = 0,
                                         .FIELD = 1, .FIFO = 0, .REV = 0, .ID = 0, .p2 = 0}),
              1ull << 13);
}
