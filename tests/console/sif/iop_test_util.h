// Helpers shared by the IOP, SIF, disc and sound-transfer tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <ee/memmap.h>
#include <ee/sif.h>

#include "console/core/diag_support.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/console_out.h"

namespace iop_test {

// Every test starts from power-on (which also ends any IOP thread) and
// leaves no thread behind for the next suite.
class IopTest : public testing::Test {
protected:
    void SetUp() override
    {
        console::ResetScheduler();
        console::ClearDiagLog();
        console::ClearConsoleText();
    }
    void TearDown() override
    {
        console::ResetScheduler();
        console::ClearDiagLog();
    }

    static bool LogHas(const std::string& text) { return diagtest::LogHas(text); }
};

// The game's way of loading a module image held in main memory: reserve IOP
// memory, send the image there by SIF DMA (not waited for), load it, free the
// block.
inline int LoadIrx(void* image, int size, const char* args = nullptr)
{
    void* iop = sceSifAllocIopHeap(static_cast<unsigned int>(size));
    if (!iop)
        return -100;
    sceSifDmaData record{static_cast<u32>(reinterpret_cast<uintptr_t>(image)),
                         static_cast<u32>(reinterpret_cast<uintptr_t>(iop)), static_cast<u32>(size), 0};
    sceSifSetDma(&record, 1);
    int arglen = args ? static_cast<int>(std::strlen(args)) + 1 : 0;
    int id = sceSifLoadModuleBuffer(iop, arglen, args);
    sceSifFreeIopHeap(iop);
    return id;
}

// Binds `cd` to server `id`, retrying as the game does; returns the number of
// binds it took, or -1 when the server never appeared within `tries`.
inline int BindWithRetry(sceSifClientData* cd, unsigned int id, int tries = 1000)
{
    for (int i = 1; i <= tries; ++i) {
        if (sceSifBindRpc(cd, id, 0) < 0)
            return -1;
        if (cd->serve)
            return i;
        ee_spin(1000);
    }
    return -1;
}

}  // namespace iop_test
