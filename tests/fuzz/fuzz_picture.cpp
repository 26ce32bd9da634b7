// Still pictures (".IPU"): the game decodes one through the IPU stand-in as
// IPUBitmap::Frame does, and the tools' reader decodes it with the intra
// decoder (the picture tool's preview).  Accepted when both take it.
#include "fuzz_target.h"

#include <span>
#include <vector>

#include "core/scheduler.h"
#include "ee/console_out.h"
#include "tools/lib/ipuenc.h"

#include "ZevEngine2/PS2/IPUBitmap.h"

namespace {

// Pictures of more macroblocks than twice the full screen's are checked but
// not decoded: the decode takes time in proportion, and every part of it is
// reached with smaller pictures.
constexpr int MAX_DECODED_MACROBLOCKS = 2 * 40 * 32;

}  // namespace

FUZZ_TARGET(picture)
{
    static bool powered = false;
    if (!powered) {
        console::ResetScheduler();
        powered = true;
    }
    bool game;
    {
        fuzz::Copy file(data, size, 64);
        IPUBitmap* bm = reinterpret_cast<IPUBitmap*>(file.Bytes());
        if (size >= sizeof(IPUBitmap) && bm->NumMacroblocks() <= MAX_DECODED_MACROBLOCKS) {
            std::vector<u8> pixels(size_t(bm->NumMacroblocks()) * 1024);
            game = bm->Frame(pixels.data(), true, file.Size());
        } else {
            game = bm->Check("Frame", file.Size());
        }
    }
    tools::IpuImage img;
    std::string error;
    const bool tool = tools::DecodeIpu(std::span<const u8>(data, size), img, error);
    if (!tool)
        console::ConsoleWrite("ipuenc: " + error + "\n");
    return game && tool;
}
