// Image transfers between the host and local memory, and inside local
// memory, as TRXDIR starts them from BITBLTBUF, TRXPOS and TRXREG.  Host data
// is packed the way the GS packs it: pixels left to right, top to bottom,
// with no gaps between rows, 4-bit pixels low nibble first and 24-bit pixels
// three bytes each, straddling quadwords.
#pragma once

#include <ee/types.h>

#include <cstddef>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "gs/gsmem.h"
#include "gs/regs.h"

namespace console::gs {

// True when memory has written any of `blocks` blocks from `block` on (which
// wrap at the end of memory) since write stamp `stamp`.
bool BlocksWrittenSince(const LocalMemory& memory, u64 stamp, u32 block, u32 blocks);

class TransferUnit {
public:
    explicit TransferUnit(LocalMemory& memory) : memory_(memory) {}

    // Ends any transfer without a report.
    void Reset();

    // TRXDIR was written: 0 opens host->local, 1 opens local->host, 2 copies
    // inside local memory at once, 3 ends the current transfer.  A transfer
    // still incomplete is ended with a warning first.
    void Start(const RegisterFile& regs, u32 xdir);

    // Host->local data, whole quadwords: takes all of them while a transfer
    // is open.  Pixels beyond the rectangle inside the last quadword are
    // ignored; whole quadwords beyond it are reported.
    size_t WriteImage(const u128* data, size_t qwc);
    // HWREG: 64 bits of host->local data.
    void WriteHwreg(u64 value);
    bool HostToLocalActive() const { return writer_.has_value(); }

    // Local->host: the next `qwc` quadwords of the open read-back (the last
    // one zero padded); returns the quadwords produced.
    size_t ReadImage(u128* out, size_t qwc);
    // The same, byte-exact: at most `bytes` bytes, returns the bytes produced.
    size_t ReadImageBytes(u8* out, size_t bytes);
    bool LocalToHostActive() const { return reader_.active; }
    // Bytes the open read-back still has to give.
    u64 ReadBytesLeft() const;

private:
    struct Reader {
        bool active = false;
        Psm psm = Psm::kCT32;
        u32 bp = 0, bw = 0;
        Rect rect;
        u64 pixels_done = 0;
        u64 pixels_total = 0;
        // Bytes of the pixel being emitted that are still to go (24- and
        // 32-bit pixels may be split between two calls).
        u32 pending = 0;
        int pending_bytes = 0;
    };

    void StartHostToLocal(const RegisterFile& regs);
    void StartLocalToHost(const RegisterFile& regs);
    void CopyLocalToLocal(const RegisterFile& regs);
    void EndIncomplete(const char* why);
    u32 ReaderPixel(u64 index) const;
    // Whole-transfer data of the open host->local transfer: true when it
    // repeats the last whole upload to the same rectangle and memory there
    // is as that upload left it, so there is nothing to store; false after
    // storing it (and remembering it) as usual.
    bool RepeatOrRemember(std::span<const u8> data);

    // The rectangle an upload writes: DPSM, DBP and DBW, then TRXPOS's
    // destination and TRXREG.
    using UploadKey = std::pair<u64, u64>;
    struct Upload {
        std::vector<u8> bytes;
        u64 stamp = 0;  // memory's write stamp once it was stored
    };

    LocalMemory& memory_;
    std::optional<ImageWriter> writer_;
    Reader reader_;
    // The open host->local transfer: its rectangle, its bytes and blocks, and
    // whether nothing has been fed to it yet.
    struct Open {
        UploadKey key{};
        u64 bytes = 0;
        u32 block = 0;  // the blocks it may write: `blocks` from `block` on, wrapping
        u32 blocks = 0;
        bool fresh = false;
    };
    Open open_;
    // Uploads sent whole in one piece, by rectangle (textures are sent again
    // every frame, mostly unchanged).
    std::map<UploadKey, Upload> uploads_;
    size_t upload_bytes_ = 0;
};

}  // namespace console::gs
