#include "ee/memmap.h"

#include <sys/mman.h>
#include <unistd.h>
#include <xmmintrin.h>
#include <pmmintrin.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ee/memmap_internal.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

extern "C" {
extern char __executable_start;
extern char _end;
}

namespace console {
namespace {

size_t g_arena_size = 0;

// The arena size may be configured before any option parser runs, so the
// constructor reads the environment and the raw command line itself.
size_t ArenaMiB()
{
    long mib = 32;
    if (const char* env = std::getenv("CONSOLE_EE_HEAP_MIB"))
        mib = std::strtol(env, nullptr, 0);
    if (FILE* f = std::fopen("/proc/self/cmdline", "rb")) {
        char buf[4096];
        size_t n = std::fread(buf, 1, sizeof buf - 1, f);
        std::fclose(f);
        buf[n] = '\0';
        for (size_t i = 0; i < n;) {
            const char* arg = buf + i;
            size_t len = std::strlen(arg);
            if (std::strncmp(arg, "--ee-heap-mib=", 14) == 0)
                mib = std::strtol(arg + 14, nullptr, 0);
            else if (std::strcmp(arg, "--ee-heap-mib") == 0 && i + len + 1 < n)
                mib = std::strtol(buf + i + len + 1, nullptr, 0);
            i += len + 1;
        }
    }
    if (mib < 1 || mib > 256) {
        std::fprintf(stderr, "console: --ee-heap-mib must be 1..256, not %ld\n", mib);
        std::_Exit(2);
    }
    return static_cast<size_t>(mib) << 20;
}

bool Inside(uintptr_t p, size_t size, uintptr_t begin, uintptr_t end)
{
    return p >= begin && p <= end && size <= end - p;
}

// Under AddressSanitizer the host's malloc hands out mapped memory instead of
// growing the program break; the sanitizer knows the block p lies in.
bool InSanitizerHeap(uintptr_t p, size_t size)
{
#if defined(__SANITIZE_ADDRESS__)
    void* region = nullptr;
    size_t region_size = 0;
    const char* kind = __asan_locate_address(reinterpret_cast<void*>(p), nullptr, 0, &region, &region_size);
    uintptr_t begin = reinterpret_cast<uintptr_t>(region);
    return kind != nullptr && std::strcmp(kind, "heap") == 0 && Inside(p, size, begin, begin + region_size);
#else
    (void)p;
    (void)size;
    return false;
#endif
}

// Runs before every other static initialiser, so the game's heap (itself set
// up from a static initialiser) finds its arena mapped.
__attribute__((constructor(101))) void MapConsoleMemory()
{
    g_arena_size = ArenaMiB();
    MapFixed(EE_ARENA_BASE, g_arena_size, "EE heap arena");
    MapFixed(IOP_RAM_BASE, IOP_RAM_SIZE, "IOP RAM");
    MapFixed(EE_SPR_BASE, EE_SPR_SIZE, "scratchpad");
#if defined(__SANITIZE_ADDRESS__)
    // The leak checker searches the host's heap, stacks and data for
    // pointers, not mappings of our own: what the game's objects hold (a
    // controller's displays, a world's lists) would all look leaked.
    __lsan_register_root_region(reinterpret_cast<void*>(uintptr_t(EE_ARENA_BASE)), g_arena_size);
    __lsan_register_root_region(reinterpret_cast<void*>(uintptr_t(IOP_RAM_BASE)), IOP_RAM_SIZE);
    __lsan_register_root_region(reinterpret_cast<void*>(uintptr_t(EE_SPR_BASE)), EE_SPR_SIZE);
#endif
    // The vector units flush denormals to zero; this is the nearest SSE match.
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
}

}  // namespace

void MapFixed(uintptr_t address, size_t size, const char* what)
{
    void* want = reinterpret_cast<void*>(address);
    void* got = mmap(want, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (got == MAP_FAILED || got != want) {
        int err = errno;
        if (got != MAP_FAILED)
            munmap(got, size);
        std::fprintf(stderr, "console: cannot map the %s (%zu bytes) at 0x%08lx: %s\n", what, size,
                     static_cast<unsigned long>(address), got == MAP_FAILED ? std::strerror(err) : "placed elsewhere");
        std::fflush(stderr);
        std::_Exit(4);
    }
}

Region ClassifyAddress(const void* ptr, size_t size)
{
    uintptr_t p = reinterpret_cast<uintptr_t>(ptr);
    if (Inside(p, size, EE_SPR_BASE, EE_SPR_BASE + EE_SPR_SIZE))
        return Region::kScratchpad;
    if (Inside(p, size, EE_ARENA_BASE, EE_ARENA_BASE + g_arena_size))
        return Region::kEeArena;
    if (Inside(p, size, IOP_RAM_BASE, IOP_RAM_BASE + IOP_RAM_SIZE))
        return Region::kIopRam;
    uintptr_t image_begin = reinterpret_cast<uintptr_t>(&__executable_start);
    uintptr_t image_end = reinterpret_cast<uintptr_t>(&_end);
    if (Inside(p, size, image_begin, image_end))
        return Region::kProgram;
    uintptr_t brk = reinterpret_cast<uintptr_t>(sbrk(0));
    if (Inside(p, size, image_end, brk) || InSanitizerHeap(p, size))
        return Region::kHostHeap;
    return Region::kInvalid;
}

const char* RegionName(Region region)
{
    switch (region) {
    case Region::kInvalid: return "invalid";
    case Region::kProgram: return "program";
    case Region::kHostHeap: return "host heap";
    case Region::kEeArena: return "EE arena";
    case Region::kScratchpad: return "scratchpad";
    case Region::kIopRam: return "IOP RAM";
    }
    return "?";
}

uint8_t* ScratchpadBase()
{
    return reinterpret_cast<uint8_t*>(EE_SPR_BASE);
}

uint8_t* IopRamBase()
{
    return reinterpret_cast<uint8_t*>(IOP_RAM_BASE);
}

size_t EeArenaSize()
{
    return g_arena_size;
}

}  // namespace console

void* ee_heap_arena_begin()
{
    return reinterpret_cast<void*>(EE_ARENA_BASE);
}

void* ee_heap_arena_end()
{
    return reinterpret_cast<void*>(EE_ARENA_BASE + console::EeArenaSize());
}
