// Vector unit 1 as its microcode sees it.  Nothing here executes VU
// instructions: a microprogram is a C++ function registered under the
// address its placeholder image occupies in VU1 program memory, and VIF1's
// MSCAL/MSCNT codes call it through the registry.
//
// Program memory (16 KiB, 2,048 64-bit slots) is real memory filled by MPG,
// so overlays replace each other exactly as uploaded and a dispatch finds
// whatever image is resident at the address.  A placeholder slot holds
//     low 32 bits:  0x56550000 | program id
//     high 32 bits: the slot's index inside its image
// and an all-zero slot means nothing was loaded there.
//
// Registration (at namespace scope, in the microcode's sources):
//     CONSOLE_VU1_PROGRAM(1, "Microcode2", 0x0000, vu1::kMicrocode2Instructions);
//     CONSOLE_VU1_ENTRY(1, 0x0000, "mc2Interpret", Interpret);
// An entry is the pair (program id, index = (address - load address) / 8):
// it answers at any address where that image slot lies, and at no other.
//
// Dispatch:
//   MSCAL imm   TOP <- TOPS, ITOP <- ITOPS, DBF toggles; then the entry at
//               imm x 8 runs with arg 0.  It runs the whole program (to its
//               E bit) and returns the byte address where MSCNT continues,
//               or kNoResume.
//   MSCNT       the same TOP/ITOP/DBF update, then the entry at that address.
//   commands    the microcode's interpreter finds a command quadword's routine
//               with Lookup((w & 0xFFFF) * 8) and calls fn(vu, address of the
//               command quadword); what it returns is the interpreter's own
//               convention (next command address or a stop marker).
// A dispatch to an empty slot, a foreign slot or an index without an entry
// is an error diagnostic naming the address, the resident program and the
// nearest entries, with a dump of VU1's memory and registers.
#pragma once

#include "ee/types.h"

namespace console::vu {
struct MachineAccess;
}

namespace vu1 {

constexpr u32 kDataQuadwords = 1024;        // data memory, addresses wrap
constexpr u32 kProgramInstructions = 2048;  // program memory slots
constexpr u32 kProgramBytes = kProgramInstructions * 8;
constexpr u32 kUserBytes = 4096;
constexpr u32 kNoResume = 0xFFFFFFFFu;      // a run that left nothing for MSCNT

// Placeholder slot format.
constexpr u32 kSlotMagic = 0x56550000u;
constexpr u64 Slot(u16 program, u32 index)
{
    return (u64{index} << 32) | kSlotMagic | program;
}

// The machine the microcode computes on.  One instance, Vu1().
class Machine
{
public:
    // Data memory: UNPACK writes it, the microcode reads and writes it, XGKICK
    // reads GIF packets from it.
    u128 mem[kDataQuadwords];

    // Quadword `addr` modulo 1,024, and its float / integer views (x y z w).
    u128& Q(u32 addr) { return mem[addr & (kDataQuadwords - 1)]; }
    const u128& Q(u32 addr) const { return mem[addr & (kDataQuadwords - 1)]; }
    float* F(u32 addr) { return reinterpret_cast<float*>(&Q(addr)); }
    const float* F(u32 addr) const { return reinterpret_cast<const float*>(&Q(addr)); }
    u32* I(u32 addr) { return reinterpret_cast<u32*>(&Q(addr)); }
    const u32* I(u32 addr) const { return reinterpret_cast<const u32*>(&Q(addr)); }
    s32* S(u32 addr) { return reinterpret_cast<s32*>(&Q(addr)); }

    // Double-buffer base and ITOP latched by the MSCAL/MSCNT that started the
    // current run.
    u32 Top() const { return top_; }
    u32 Itop() const { return itop_; }

    // Sends the GIF packet at quadword `qaddr` (tags and data up to the tag
    // with EOP, wrapping at 1,024) through PATH1; the GS has processed it when
    // this returns.
    void Xgkick(u32 qaddr);

    // State the hardware would keep in VU registers between runs (material
    // set up by a command block for the batches that follow with MSCNT, the
    // patch pipeline's state).  Owned by the microcode; zeroed by VIF1 reset.
    alignas(16) unsigned char user[kUserBytes];

    template <class T>
    T& User()
    {
        static_assert(sizeof(T) <= kUserBytes && alignof(T) <= 16, "microcode state does not fit the user area");
        return *reinterpret_cast<T*>(user);
    }

    // Program memory, read-only for the microcode (MPG writes it).
    const u64* Prog() const { return prog_; }

private:
    friend struct console::vu::MachineAccess;
    alignas(16) u64 prog_[kProgramInstructions];
    u32 top_ = 0;
    u32 itop_ = 0;
};

static_assert(sizeof(Machine::mem) == 16 * 1024, "VU1 data memory is 16 KiB");
static_assert(kProgramBytes == 16 * 1024, "VU1 program memory is 16 KiB");

// The one VU1.
Machine& Vu1();

// Byte address of the routine a command quadword's w word names (the routine
// address / 8 in its low 16 bits, the rest of the word being the command's).
constexpr u32 CommandAddress(u32 w)
{
    return (w & 0xFFFF) * 8;
}

// A microprogram entry point or command routine.
using Fn = u32 (*)(Machine& vu, u32 arg);

struct Entry
{
    u16 program;       // program id
    u32 address;       // byte address as the microcode documents it (load address + 8 x index)
    u32 index;         // slot index inside the program's image
    const char* name;
    Fn fn;
};

// Registers program `id` ("Microcode2") loaded at byte address
// `load_address` with `instructions` slots.  Returns true (usable as a static
// initialiser); a second registration of an id is an error diagnostic.
bool RegisterProgram(u16 id, const char* name, u32 load_address, u32 instructions);

// Registers `fn` under program `program` at byte address `address` (a
// multiple of 8 inside the program's image).  The check against the program
// happens when the registry is first used: an entry outside its program, of
// an unknown program or a duplicate is an error diagnostic then.
bool RegisterEntry(u16 program, u32 address, const char* name, Fn fn);

// The entry resident at byte address `vu_address` now (what the slot there
// holds), or null after an error diagnostic with a VU1 dump.
const Entry* Lookup(u32 vu_address);

// The same without any diagnostic: null when nothing registered is resident.
const Entry* TryLookup(u32 vu_address);

// Entry `name` of program `program`, after checking that the program is
// resident at the entry's address (a main-program routine called from an
// overlay).  Null after an error diagnostic otherwise.
const Entry* Find(u16 program, const char* name);

// Registered name of program `id`, or null.
const char* ProgramName(u16 id);

// ---------------------------------------------------------------------------
// Placeholder images.

// Program ids of the game's microcode; tests use ids from 0x100.
constexpr u16 kProgramMicrocode2 = 1;
constexpr u16 kProgramExtrude = 2;         // mc2ExtrudeEE
constexpr u16 kProgramParticles = 3;       // PartMicrocode
constexpr u16 kProgramRoadGenerator = 4;   // mcRoadGeneratorEE
constexpr u16 kProgramVu0Library = 0x10;   // VU0's library image (vu0.h)
constexpr u16 kFirstTestProgram = 0x100;

// Overlays load here (VIF immediate 0x720); the main program stays below.
constexpr u32 kOverlayAddress = 0x3900;

// One MPG of a VIF upload stream: `instructions` slots (1..256) at byte
// address `address`.
struct MpgChunk
{
    u32 address;
    u32 instructions;
};

// The main program's upload: 256 instructions at 0x0, 0x800, .., 0x3000 and
// 19 at 0x3800, 0x3898 bytes of program in all.
constexpr MpgChunk kMicrocode2Chunks[8] = {{0x0000, 256}, {0x0800, 256}, {0x1000, 256}, {0x1800, 256},
                                           {0x2000, 256}, {0x2800, 256}, {0x3000, 256}, {0x3800, 19}};
constexpr u32 kMicrocode2Instructions = 7 * 256 + 19;
constexpr u32 kExtrudeInstructions = 81;         // 648 bytes
constexpr u32 kParticlesInstructions = 133;      // 1,064 bytes
constexpr u32 kRoadGeneratorInstructions = 119;  // 952 bytes

// Quadwords of the VIF stream BuildMpgStream writes: per chunk a NOP, an MPG
// and the chunk's slots, then two NOPs, padded with NOPs to a whole quadword.
constexpr u32 MpgStreamQuadwords(const MpgChunk* chunks, u32 count)
{
    u32 words = 2;
    for (u32 i = 0; i < count; ++i)
        words += 2 + 2 * chunks[i].instructions;
    return (words + 3) / 4;
}
constexpr u32 kMicrocode2StreamQuadwords = MpgStreamQuadwords(kMicrocode2Chunks, 8);
static_assert(kMicrocode2StreamQuadwords == 910, "the main program's stream is 910 quadwords");

// Writes the VIF upload stream of program `id` laid out as `chunks` (slot
// indices counted from the first chunk's address) into `out`, which holds
// MpgStreamQuadwords(chunks, count) quadwords; returns that count.  A chunk
// of 256 instructions is written as MPG NUM 0.
u32 BuildMpgStream(u128* out, u16 id, const MpgChunk* chunks, u32 count);

// Writes a raw image of `count` slots of program `id` for VIFpacket::RefMpg
// into `out`, which holds count rounded up to even; the spare half-quadword
// of an odd image is zero.  Returns the quadwords to send.
u32 BuildRawImage(u64* out, u16 id, u32 count);

}  // namespace vu1

// The microcode's function type, as the registry names it.
using Vu1Fn = vu1::Fn;

#define CONSOLE_VU1_CAT2(a, b) a##b
#define CONSOLE_VU1_CAT(a, b) CONSOLE_VU1_CAT2(a, b)

// Registers a program image's id, name, load address and size.
#define CONSOLE_VU1_PROGRAM(program_id, name, load_address, instructions)                          \
    [[maybe_unused]] static const bool CONSOLE_VU1_CAT(console_vu1_program_, __COUNTER__) = \
        ::vu1::RegisterProgram(program_id, name, load_address, instructions)

// Registers `fn` as the routine at `vu_address` of program `program_id`
// (the address the microcode documents, e.g. 0x3A88 for an overlay entry).
#define CONSOLE_VU1_ENTRY(program_id, vu_address, name, fn)                                      \
    [[maybe_unused]] static const bool CONSOLE_VU1_CAT(console_vu1_entry_, __COUNTER__) = \
        ::vu1::RegisterEntry(program_id, vu_address, name, fn)
