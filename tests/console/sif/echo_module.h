// A small IOP module for the SIF tests ("TestEcho", server 0x7E57), written
// as a game module is: its own source under <iop/prelude.h>.
#pragma once

#include <cstdint>
#include <vector>

namespace echo {

constexpr unsigned kServer = 0x7E57;

// Server functions.
enum Function : unsigned {
    kUpper = 1,      // reply: the request's bytes with a-z upper-cased
    kStuck = 2,      // waits on a semaphore nobody signals
    kPull = 3,       // request {ee address, size}: pulls the bytes by sceSifGetOtherData, replies their sum
    kPush = 4,       // request {ee address, size, byte}: SIF DMA of `size` copies of `byte` to the EE
    kRecord = 5,     // request {word}: appends the word to Served(); reply the same word
};

// The module image (placeholder) to load.
extern unsigned char image[256];

// Microseconds the RPC thread waits before it registers its server.
void SetRegisterDelay(int usec);

// Words kRecord received, in order, and when kPush's transfer had landed.
std::vector<uint32_t>& Served();
uint64_t& PushLandedAt();

// Priority of the RPC thread.
constexpr int kPriority = 40;

}  // namespace echo
