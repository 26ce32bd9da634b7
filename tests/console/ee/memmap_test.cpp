#include <gtest/gtest.h>

#include <cstring>

#include <ee/memmap.h>

#include "ee/memmap_internal.h"

namespace {

// Read by a static initialiser of this file: the arena must already be mapped
// and writable when ordinary static initialisers run.
bool g_arena_ready_at_static_init = [] {
    auto* p = static_cast<volatile u32*>(ee_heap_arena_begin());
    p[0] = 0xC0FFEEu;
    return p[0] == 0xC0FFEEu && ee_heap_arena_end() > ee_heap_arena_begin();
}();

int g_data_word = 7;

}  // namespace

TEST(MemoryMap, ArenaIsReadyBeforeStaticInitialisers)
{
    EXPECT_TRUE(g_arena_ready_at_static_init);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(ee_heap_arena_begin()), EE_ARENA_BASE);
#if !defined(__SANITIZE_ADDRESS__)
    // The address the game's pointers repeat at; a sanitised build moves it
    // above the sanitizer's shadow memory.
    EXPECT_EQ(EE_ARENA_BASE, 0x20000000u);
#endif
    EXPECT_EQ(static_cast<char*>(ee_heap_arena_end()) - static_cast<char*>(ee_heap_arena_begin()), 32 << 20);
}

TEST(MemoryMap, ScratchpadIsAtItsFixedAddressAndReadsBack)
{
    auto* spr = reinterpret_cast<u8*>(0x70000000u);
    std::memset(spr, 0xA5, EE_SPR_SIZE);
    spr[EE_SPR_SIZE - 1] = 0x5A;
    EXPECT_EQ(spr[0], 0xA5);
    EXPECT_EQ(spr[EE_SPR_SIZE - 1], 0x5A);
}

TEST(MemoryMap, PhysicalAndUncachedViewsAreTheIdentity)
{
    int x = 0;
    EXPECT_EQ(EE_PHYS(&x), &x);
    EXPECT_EQ(EE_UNCACHED(&x), &x);
}

TEST(MemoryMap, ClassifiesDmaAddresses)
{
    using console::Region;
    int on_stack = 0;
    EXPECT_EQ(console::ClassifyAddress(&g_data_word), Region::kProgram);
    EXPECT_EQ(console::ClassifyAddress(ee_heap_arena_begin(), 64), Region::kEeArena);
    EXPECT_EQ(console::ClassifyAddress(reinterpret_cast<void*>(0x70003FF0u), 16), Region::kScratchpad);
    EXPECT_EQ(console::ClassifyAddress(reinterpret_cast<void*>(0x70003FF8u), 16), Region::kInvalid);
    EXPECT_EQ(console::ClassifyAddress(reinterpret_cast<void*>(IOP_RAM_BASE + 100), 16), Region::kIopRam);
    EXPECT_EQ(console::ClassifyAddress(&on_stack), Region::kInvalid);
}

TEST(MemoryMapDeathTest, FailedFixedMappingStopsWithClearMessage)
{
    EXPECT_EXIT(console::MapFixed(EE_SPR_BASE, EE_SPR_SIZE, "scratchpad"), testing::ExitedWithCode(4),
                "cannot map the scratchpad .* at 0x70000000");
}
