#include <gtest/gtest.h>

#include <ee/memmap.h>
#include <iop/kernel.h>

#include "console/sif/iop_test_util.h"
#include "core/config.h"
#include "iop/sysmem.h"

namespace {

class IopHeap : public iop_test::IopTest {
protected:
    void TearDown() override
    {
        console::SetOption("iop-free-kib", "1664");
        IopTest::TearDown();
    }
    static uintptr_t Addr(void* p) { return reinterpret_cast<uintptr_t>(p); }
};

constexpr uintptr_t kTop = IOP_RAM_BASE + IOP_RAM_SIZE;

TEST_F(IopHeap, FreeAreaIsTheTopOfIopRam)
{
    EXPECT_EQ(QueryMaxFreeMemSize(), 0x1A0000);
    EXPECT_EQ(QueryTotalFreeMemSize(), 0x1A0000);
    void* p = AllocSysMemory(ALLOC_FIRST, 16, nullptr);
    EXPECT_EQ(Addr(p), kTop - 0x1A0000);
    console::SetOption("iop-free-kib", "512");
    console::ResetScheduler();
    EXPECT_EQ(QueryMaxFreeMemSize(), 512 * 1024);
    EXPECT_EQ(Addr(AllocSysMemory(ALLOC_FIRST, 16, nullptr)), kTop - 512 * 1024);
}

TEST_F(IopHeap, FirstFitTakesTheLowestHoleInWholeSixtyFourByteUnits)
{
    void* a = AllocSysMemory(ALLOC_FIRST, 100, nullptr);  // 128 bytes
    void* b = AllocSysMemory(ALLOC_FIRST, 64, nullptr);
    void* c = AllocSysMemory(ALLOC_FIRST, 300, nullptr);  // 320 bytes
    EXPECT_EQ(Addr(b), Addr(a) + 128);
    EXPECT_EQ(Addr(c), Addr(b) + 64);
    EXPECT_EQ(Addr(a) % 64, 0u);
    EXPECT_EQ(FreeSysMemory(a), KE_OK);
    EXPECT_EQ(FreeSysMemory(c), KE_OK);
    // 64 bytes fit into a's old hole, which comes first.
    EXPECT_EQ(Addr(AllocSysMemory(ALLOC_FIRST, 64, nullptr)), Addr(a));
    // 200 bytes do not fit into the 64 bytes left there; c's hole merged with
    // the free rest is next.
    EXPECT_EQ(Addr(AllocSysMemory(ALLOC_FIRST, 200, nullptr)), Addr(c));
}

TEST_F(IopHeap, FreeingMergesNeighbours)
{
    void* a = AllocSysMemory(ALLOC_FIRST, 1024, nullptr);
    void* b = AllocSysMemory(ALLOC_FIRST, 1024, nullptr);
    AllocSysMemory(ALLOC_FIRST, 64, nullptr);
    FreeSysMemory(a);
    FreeSysMemory(b);
    EXPECT_EQ(Addr(AllocSysMemory(ALLOC_FIRST, 2048, nullptr)), Addr(a));
}

TEST_F(IopHeap, LastAndAddressModes)
{
    void* last = AllocSysMemory(ALLOC_LAST, 100, nullptr);
    EXPECT_EQ(Addr(last), kTop - 128);
    void* want = reinterpret_cast<void*>(kTop - 0x10000);
    EXPECT_EQ(AllocSysMemory(ALLOC_ADDRESS, 256, want), want);
    EXPECT_EQ(AllocSysMemory(ALLOC_ADDRESS, 64, want), nullptr);  // taken
    EXPECT_EQ(AllocSysMemory(ALLOC_ADDRESS, 64, reinterpret_cast<void*>(kTop - 0x10000 + 8)), nullptr);  // unaligned
    EXPECT_EQ(QueryMaxFreeMemSize(), 0x1A0000 - 0x10000);
}

TEST_F(IopHeap, RequestsThatCannotBeMetGiveNull)
{
    EXPECT_EQ(AllocSysMemory(ALLOC_FIRST, 0x1A0000 + 1, nullptr), nullptr);
    EXPECT_EQ(AllocSysMemory(ALLOC_FIRST, 0, nullptr), nullptr);
    EXPECT_EQ(AllocSysMemory(ALLOC_FIRST, -5, nullptr), nullptr);
    EXPECT_NE(AllocSysMemory(ALLOC_FIRST, 0x1A0000, nullptr), nullptr);
    EXPECT_EQ(AllocSysMemory(ALLOC_FIRST, 64, nullptr), nullptr);
    EXPECT_EQ(QueryMaxFreeMemSize(), 0);
}

TEST_F(IopHeap, FreeingWhatWasNotAllocatedIsRefused)
{
    void* a = AllocSysMemory(ALLOC_FIRST, 128, nullptr);
    EXPECT_EQ(FreeSysMemory(static_cast<char*>(a) + 64), KE_ERROR);
    EXPECT_EQ(FreeSysMemory(a), KE_OK);
    EXPECT_EQ(FreeSysMemory(a), KE_ERROR);
    EXPECT_TRUE(LogHas("not an allocated block"));
}

}  // namespace
