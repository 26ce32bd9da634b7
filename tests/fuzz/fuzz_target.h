// Fuzz targets: one function per loader that takes a file's bytes, hands
// them to the loader as the game or tool would, uses whatever the loader
// accepted, and answers whether it was accepted.  Built with libFuzzer
// (KORVALIS_LIBFUZZER) the function is the fuzzer's entry; in the ordinary
// build the replay test finds every target by name and runs the saved inputs
// and our writers' files through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fuzz {

using Target = bool (*)(const uint8_t* data, size_t size);

struct Entry {
    std::string name;
    Target target;
};

// Every target linked into the program, in registration order.
std::vector<Entry>& Targets();

struct Registration {
    Registration(const char* name, Target target) { Targets().push_back({name, target}); }
};

// Files our own writers make for a target, by a short name: the seeds of
// its corpus, each of which the loader must accept.
struct Seed {
    std::string name;
    std::vector<uint8_t> bytes;
};
std::vector<Seed> Seeds(const std::string& target);
// Every target that has seeds.
std::vector<std::string> SeededTargets();

// The input copied to a block of exactly its size at the alignment the
// loader needs (files are loaded to 64-byte boundaries), so that a sanitizer
// sees any read past the file's end.  Taken from the host's heap, not the
// game's, whose blocks are rounded up.
class Copy {
public:
    Copy(const uint8_t* data, size_t size, size_t align = 64) : size_(size)
    {
        if (posix_memalign(&p_, align, size ? size : 1) != 0)
            std::abort();
        std::memcpy(p_, data, size);
    }
    ~Copy() { std::free(p_); }
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;

    uint8_t* Bytes() const { return static_cast<uint8_t*>(p_); }
    uint32_t Size() const { return uint32_t(size_); }

private:
    void* p_ = nullptr;
    size_t size_;
};

}  // namespace fuzz

#if defined(KORVALIS_LIBFUZZER)
#include "core/diag.h"

namespace fuzz {
// A fatal report of the console stand-in (its watchdog's above all: a loop
// that never reaches a safe point) ends the program by abort, which the
// fuzzer catches and saves the input that caused it; under emulation the
// fuzzer's own time-out does not interrupt such a loop.
inline void AbortOnConsoleFatal(int)
{
    std::abort();
}
}  // namespace fuzz

// The game's own memory is searched by the leak checker from the moment it is
// mapped (ee/memmap.cpp), so what the game's objects hold is not reported.
#define FUZZ_TARGET(name)                                                                                  \
    static bool FuzzTarget_##name(const uint8_t* data, size_t size);                                       \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)                                \
    {                                                                                                      \
        console::SetShutdownHook(&fuzz::AbortOnConsoleFatal);                                              \
        FuzzTarget_##name(data, size);                                                                     \
        return 0;                                                                                          \
    }                                                                                                      \
    static bool FuzzTarget_##name(const uint8_t* data, size_t size)
#else
#define FUZZ_TARGET(name)                                                                                  \
    static bool FuzzTarget_##name(const uint8_t* data, size_t size);                                       \
    static const fuzz::Registration fuzz_registration_##name(#name, FuzzTarget_##name);                    \
    static bool FuzzTarget_##name(const uint8_t* data, size_t size)
#endif
