// Builders of placeholder program images: the bytes MPG uploads into VU1
// program memory, so that what is resident can be read back and dispatched.
#include <cinttypes>

#include "core/diag.h"
#include "vu/machine.h"

namespace vu1 {
namespace {

constexpr u32 kVifNop = 0x00000000;

u32 MpgCode(u32 instructions, u32 address)
{
    return 0x4A000000u | (instructions & 0xFF) << 16 | (address / 8);
}

}  // namespace

u32 BuildMpgStream(u128* out, u16 id, const MpgChunk* chunks, u32 count)
{
    const u32 qwc = MpgStreamQuadwords(chunks, count);
    u32* w = reinterpret_cast<u32*>(out);
    u32 n = 0;
    const u32 base = count > 0 ? chunks[0].address : 0;
    for (u32 c = 0; c < count; ++c) {
        const MpgChunk& chunk = chunks[c];
        if (chunk.instructions == 0 || chunk.instructions > 256 || chunk.address % 8 != 0 ||
            chunk.address < base) {
            console::Diag(console::Level::kError, "vu",
                          "MPG chunk %" PRIu32 " of program %u (%" PRIu32 " instructions at 0x%04" PRIX32
                          ") cannot be uploaded by one MPG",
                          c, id, chunk.instructions, chunk.address);
        }
        // The NOP puts the MPG in an odd word, so its instructions start on
        // a 64-bit boundary as MPG requires.
        w[n++] = kVifNop;
        w[n++] = MpgCode(chunk.instructions, chunk.address);
        const u32 first = (chunk.address - base) / 8;
        for (u32 i = 0; i < chunk.instructions; ++i) {
            const u64 slot = Slot(id, first + i);
            w[n++] = static_cast<u32>(slot);
            w[n++] = static_cast<u32>(slot >> 32);
        }
    }
    while (n < 4 * qwc)
        w[n++] = kVifNop;
    return qwc;
}

u32 BuildRawImage(u64* out, u16 id, u32 count)
{
    for (u32 i = 0; i < count; ++i)
        out[i] = Slot(id, i);
    if (count % 2 != 0)
        out[count] = 0;
    return (count + 1) / 2;
}

}  // namespace vu1
