#include <iop/prelude.h>

#include "console/sif/echo_module.h"
#include "core/scheduler.h"

CONSOLE_MODULE_IMAGE(echo::image, "TestEcho", 256);

namespace echo {
namespace {

int g_register_delay = 0;
sceSifQueueData g_queue;
sceSifServeData g_serve;
alignas(64) unsigned char g_buffer[512];
alignas(64) unsigned char g_reply[512];
int g_stuck_sema = -1;

void* Serve(int fno, void* data, int size)
{
    const unsigned char* in = static_cast<const unsigned char*>(data);
    u32 words[4] = {0, 0, 0, 0};
    std::memcpy(words, data, size < 16 ? size : 16);
    switch (fno) {
    case kUpper:
        for (int i = 0; i < size; ++i)
            g_reply[i] = (in[i] >= 'a' && in[i] <= 'z') ? in[i] - 'a' + 'A' : in[i];
        return g_reply;
    case kStuck:
        WaitSema(g_stuck_sema);
        return g_reply;
    case kPull: {
        void* block = AllocSysMemory(ALLOC_FIRST, static_cast<int>(words[1]), nullptr);
        sceSifReceiveData rd;
        sceSifGetOtherData(&rd, reinterpret_cast<void*>(words[0]), block, static_cast<int>(words[1]), 0);
        u32 sum = 0;
        for (u32 i = 0; i < words[1]; ++i)
            sum += static_cast<unsigned char*>(block)[i];
        FreeSysMemory(block);
        std::memcpy(g_reply, &sum, 4);
        return g_reply;
    }
    case kPush: {
        unsigned char* block = static_cast<unsigned char*>(AllocSysMemory(ALLOC_FIRST, static_cast<int>(words[1]), nullptr));
        std::memset(block, static_cast<int>(words[2]), words[1]);
        sceSifDmaData dma{static_cast<u32>(reinterpret_cast<uintptr_t>(block)), words[0], words[1], 0};
        int state;
        CpuSuspendIntr(&state);
        u32 id;
        while ((id = sceSifSetDma(&dma, 1)) == 0) {
        }
        // A busy poll with interrupts suspended, as the streaming module does.
        while (sceSifDmaStat(id) >= 0) {
        }
        CpuResumeIntr(state);
        PushLandedAt() = console::Now();
        FreeSysMemory(block);
        std::memcpy(g_reply, words, 4);
        return g_reply;
    }
    case kRecord:
        Served().push_back(words[0]);
        std::memcpy(g_reply, words, 4);
        return g_reply;
    }
    return nullptr;
}

void RpcThread(void*)
{
    if (g_register_delay > 0)
        DelayThread(g_register_delay);
    sceSifInitRpc(0);
    sceSifSetRpcQueue(&g_queue, GetThreadId());
    sceSifRegisterRpc(&g_serve, kServer, Serve, g_buffer, nullptr, nullptr, &g_queue);
    sceSifRpcLoop(&g_queue);
}

void* const g_entries[] = {nullptr, nullptr, nullptr, nullptr, reinterpret_cast<void*>(Serve)};
iop_library_t g_library{"echo", 0x0101, 5, g_entries};

int Start(int, char**)
{
    if (RegisterLibraryEntries(&g_library) != 0)
        return NO_RESIDENT_END;
    iop_sema_t sema{0, 0, 0, 1};
    g_stuck_sema = CreateSema(&sema);
    iop_thread_t param{TH_C, 0, RpcThread, 0x800, kPriority};
    int thread = CreateThread(&param);
    if (thread <= 0 || StartThread(thread, nullptr) != KE_OK)
        return NO_RESIDENT_END;
    printf("echo module started\n");
    return RESIDENT_END;
}

}  // namespace

void SetRegisterDelay(int usec)
{
    g_register_delay = usec;
}

std::vector<uint32_t>& Served()
{
    static std::vector<uint32_t> served;
    return served;
}

uint64_t& PushLandedAt()
{
    static uint64_t at = 0;
    return at;
}

}  // namespace echo

CONSOLE_IOP_MODULE("TestEcho", echo::Start);
