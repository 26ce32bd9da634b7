// Integer types of the console's main processor.  The console's 64-bit `long`
// and 128-bit quadword have no native i386 equivalent, so they are spelled as
// u64 and u128 here; u128 is a 16-byte aligned plain record.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef uint64_t u64;
typedef int8_t s8;
typedef int16_t s16;
typedef int32_t s32;
typedef int64_t s64;

// One quadword: the unit of every DMA transfer, VIF unpack and GIF packet.
struct alignas(16) u128
{
    u64 lo;
    u64 hi;

    bool operator==(const u128&) const = default;
};
static_assert(sizeof(u128) == 16 && alignof(u128) == 16);

// The console's `u_long` is 64 bits; on this host the C library's is 32, so
// console code that means 64 bits writes u64.
typedef u128 u_long128;

// GIF tag: the 128-bit header of every GS packet.
struct alignas(16) sceGifTag
{
    u64 NLOOP : 15;
    u64 EOP : 1;
    u64 pad16 : 16;
    u64 id : 14;
    u64 PRE : 1;
    u64 PRIM : 11;
    u64 FLG : 2;
    u64 NREG : 4;
    u64 REGS0 : 4;
    u64 REGS1 : 4;
    u64 REGS2 : 4;
    u64 REGS3 : 4;
    u64 REGS4 : 4;
    u64 REGS5 : 4;
    u64 REGS6 : 4;
    u64 REGS7 : 4;
    u64 REGS8 : 4;
    u64 REGS9 : 4;
    u64 REGS10 : 4;
    u64 REGS11 : 4;
    u64 REGS12 : 4;
    u64 REGS13 : 4;
    u64 REGS14 : 4;
    u64 REGS15 : 4;
};
static_assert(sizeof(sceGifTag) == 16);
