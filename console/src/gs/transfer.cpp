#include "gs/transfer.h"

#include <cinttypes>
#include <cstring>
#include <span>
#include <tuple>

#include "core/diag.h"

namespace console::gs {
namespace {

std::optional<Psm> TransferPsm(u32 code, const char* field)
{
    auto psm = PsmFromCode(code);
    if (!psm)
        Diag(Level::kError, "gs", "BITBLTBUF %s 0x%02X is not a pixel format", field, code);
    return psm;
}

// Bytes of remembered uploads beyond which they are all forgotten.
constexpr size_t kUploadMemoryLimit = 32u << 20;

// The blocks a rectangle of a buffer may touch: the whole pages from the
// page of its top-left pixel to that of its bottom-right one (pages are
// numbered row by row, so every page of the rectangle lies between them).
std::pair<u32, u32> RectBlocks(Psm psm, u32 bp, u32 bw, const Rect& rect)
{
    const Layout& layout = LayoutOf(psm);
    const u32 across = PagesAcross(layout, bw);
    auto page = [&](u32 x, u32 y) {
        return u64{y >> layout.page_shift_y} * across + (x >> layout.page_shift_x);
    };
    const u64 pages = page(rect.x + rect.w - 1, rect.y + rect.h - 1) - page(rect.x, rect.y) + 1;
    const u64 blocks = std::min<u64>(pages * kPageBlocks, kBlockCount);
    return {static_cast<u32>((bp + page(rect.x, rect.y) * kPageBlocks) % kBlockCount), static_cast<u32>(blocks)};
}

}  // namespace

bool BlocksWrittenSince(const LocalMemory& memory, u64 stamp, u32 block, u32 blocks)
{
    const u32 end = block + blocks;
    if (end <= kBlockCount)
        return memory.WrittenSince(stamp, block, end);
    return memory.WrittenSince(stamp, block, kBlockCount) || memory.WrittenSince(stamp, 0, end - kBlockCount);
}

void TransferUnit::Reset()
{
    writer_.reset();
    open_.fresh = false;
    reader_ = Reader{};
}

void TransferUnit::EndIncomplete(const char* why)
{
    if (writer_ && !writer_->Done())
        Diag(Level::kWarning, "gs", "%s: host->local transfer ended with %" PRIu64 " pixels not sent", why,
             writer_->PixelsLeft());
    if (reader_.active)
        Diag(Level::kWarning, "gs", "%s: local->host transfer ended with %" PRIu64 " bytes not read", why,
             ReadBytesLeft());
    Reset();
}

void TransferUnit::Start(const RegisterFile& regs, u32 xdir)
{
    EndIncomplete("TRXDIR written");
    switch (xdir & 3) {
    case 0: StartHostToLocal(regs); break;
    case 1: StartLocalToHost(regs); break;
    case 2: CopyLocalToLocal(regs); break;
    default: break;  // transmission off
    }
}

void TransferUnit::StartHostToLocal(const RegisterFile& regs)
{
    const GsBitbltbuf buf{regs.Get(GsReg::BITBLTBUF)};
    const GsTrxpos pos{regs.Get(GsReg::TRXPOS)};
    const GsTrxreg reg{regs.Get(GsReg::TRXREG)};
    const auto psm = TransferPsm(buf.DPSM(), "DPSM");
    if (!psm)
        return;
    if (pos.DIR() != 0)
        Diag(Level::kWarning, "gs", "TRXPOS DIR %u has no meaning for a host->local transfer; ignored", pos.DIR());
    const Rect rect{pos.DSAX(), pos.DSAY(), reg.RRW(), reg.RRH()};
    if (rect.w == 0 || rect.h == 0) {
        Diag(Level::kWarning, "gs", "host->local transfer of %u x %u pixels: nothing to transfer", rect.w, rect.h);
        return;
    }
    Trace("gs", "host->local %s DBP 0x%X DBW %u at (%u, %u) %u x %u", PsmName(*psm), buf.DBP(), buf.DBW(), rect.x,
          rect.y, rect.w, rect.h);
    writer_.emplace(memory_, *psm, buf.DBP(), buf.DBW(), rect);
    open_.key = {u64{buf.DBP()} | u64{buf.DBW()} << 14 | u64{buf.DPSM()} << 20,
                 u64{rect.x} | u64{rect.y} << 16 | u64{rect.w} << 32 | u64{rect.h} << 48};
    open_.bytes = TransferBytes(*psm, static_cast<u64>(rect.w) * rect.h);
    std::tie(open_.block, open_.blocks) = RectBlocks(*psm, buf.DBP(), buf.DBW(), rect);
    open_.fresh = true;
}

bool TransferUnit::RepeatOrRemember(std::span<const u8> data)
{
    auto it = uploads_.find(open_.key);
    if (it != uploads_.end()) {
        const Upload& last = it->second;
        if (std::memcmp(last.bytes.data(), data.data(), data.size()) == 0 &&
            !BlocksWrittenSince(memory_, last.stamp, open_.block, open_.blocks))
            return true;
        upload_bytes_ -= last.bytes.size();
        uploads_.erase(it);
    }
    writer_->Feed(data);
    if (data.size() > kUploadMemoryLimit / 4)
        return false;
    if (upload_bytes_ + data.size() > kUploadMemoryLimit) {
        uploads_.clear();
        upload_bytes_ = 0;
    }
    uploads_.emplace(open_.key, Upload{std::vector<u8>(data.begin(), data.end()), memory_.Stamp()});
    upload_bytes_ += data.size();
    return false;
}

void TransferUnit::StartLocalToHost(const RegisterFile& regs)
{
    const GsBitbltbuf buf{regs.Get(GsReg::BITBLTBUF)};
    const GsTrxpos pos{regs.Get(GsReg::TRXPOS)};
    const GsTrxreg reg{regs.Get(GsReg::TRXREG)};
    const auto psm = TransferPsm(buf.SPSM(), "SPSM");
    if (!psm)
        return;
    const Rect rect{pos.SSAX(), pos.SSAY(), reg.RRW(), reg.RRH()};
    if (rect.w == 0 || rect.h == 0) {
        Diag(Level::kWarning, "gs", "local->host transfer of %u x %u pixels: nothing to transfer", rect.w, rect.h);
        return;
    }
    Trace("gs", "local->host %s SBP 0x%X SBW %u at (%u, %u) %u x %u", PsmName(*psm), buf.SBP(), buf.SBW(), rect.x,
          rect.y, rect.w, rect.h);
    reader_ = Reader{};
    reader_.active = true;
    reader_.psm = *psm;
    reader_.bp = buf.SBP();
    reader_.bw = buf.SBW();
    reader_.rect = rect;
    reader_.pixels_total = static_cast<u64>(rect.w) * rect.h;
}

void TransferUnit::CopyLocalToLocal(const RegisterFile& regs)
{
    const GsBitbltbuf buf{regs.Get(GsReg::BITBLTBUF)};
    const GsTrxpos pos{regs.Get(GsReg::TRXPOS)};
    const GsTrxreg reg{regs.Get(GsReg::TRXREG)};
    const auto spsm = TransferPsm(buf.SPSM(), "SPSM");
    const auto dpsm = TransferPsm(buf.DPSM(), "DPSM");
    if (!spsm || !dpsm)
        return;
    if (TransferBits(*spsm) != TransferBits(*dpsm)) {
        Diag(Level::kError, "gs", "local->local copy from %s to %s: the pixel sizes differ", PsmName(*spsm),
             PsmName(*dpsm));
        return;
    }
    const u32 w = reg.RRW(), h = reg.RRH();
    Trace("gs", "local->local %s SBP 0x%X (%u, %u) -> %s DBP 0x%X (%u, %u) %u x %u dir %u", PsmName(*spsm), buf.SBP(),
          pos.SSAX(), pos.SSAY(), PsmName(*dpsm), buf.DBP(), pos.DSAX(), pos.DSAY(), w, h, pos.DIR());
    // DIR chooses the corner the copy starts from, so that overlapping
    // rectangles copy as the caller intends: bit 0 starts at the bottom row,
    // bit 1 at the right column.
    const bool bottom_up = pos.DIR() & 1, right_to_left = pos.DIR() & 2;
    for (u32 j = 0; j < h; ++j) {
        const u32 row = bottom_up ? h - 1 - j : j;
        for (u32 i = 0; i < w; ++i) {
            const u32 col = right_to_left ? w - 1 - i : i;
            const u32 value = memory_.ReadPixel(*spsm, buf.SBP(), buf.SBW(), pos.SSAX() + col, pos.SSAY() + row);
            memory_.WritePixel(*dpsm, buf.DBP(), buf.DBW(), pos.DSAX() + col, pos.DSAY() + row, value);
        }
    }
}

size_t TransferUnit::WriteImage(const u128* data, size_t qwc)
{
    if (!writer_) {
        Diag(Level::kError, "gs", "%zu quadwords of image data with no host->local transfer open", qwc);
        return 0;
    }
    const std::span<const u8> bytes(reinterpret_cast<const u8*>(data), qwc * 16);
    size_t used;
    if (open_.fresh && bytes.size() >= open_.bytes) {
        // The whole rectangle in one piece: stored, or already there.
        RepeatOrRemember(bytes.first(static_cast<size_t>(open_.bytes)));
        used = static_cast<size_t>(open_.bytes);
        writer_.reset();
    } else {
        used = writer_->Feed(bytes);
    }
    open_.fresh = false;
    if (!writer_ || writer_->Done()) {
        writer_.reset();
        const size_t used_qwc = (used + 15) / 16;
        if (used_qwc < qwc)
            Diag(Level::kError, "gs", "%zu quadwords of image data beyond the end of the transfer", qwc - used_qwc);
    }
    return qwc;
}

void TransferUnit::WriteHwreg(u64 value)
{
    if (!writer_) {
        Diag(Level::kError, "gs", "HWREG written with no host->local transfer open");
        return;
    }
    u8 bytes[8];
    std::memcpy(bytes, &value, sizeof bytes);
    open_.fresh = false;
    writer_->Feed(bytes);
    if (writer_->Done())
        writer_.reset();
}

u32 TransferUnit::ReaderPixel(u64 index) const
{
    const u32 col = static_cast<u32>(index % reader_.rect.w), row = static_cast<u32>(index / reader_.rect.w);
    return memory_.ReadPixel(reader_.psm, reader_.bp, reader_.bw, reader_.rect.x + col, reader_.rect.y + row);
}

u64 TransferUnit::ReadBytesLeft() const
{
    if (!reader_.active)
        return 0;
    const u64 left = reader_.pixels_total - reader_.pixels_done;
    const int bits = TransferBits(reader_.psm);
    return (bits == 4 ? (left + 1) / 2 : left * (bits / 8)) + reader_.pending_bytes;
}

size_t TransferUnit::ReadImageBytes(u8* out, size_t bytes)
{
    Reader& r = reader_;
    const int bits = TransferBits(r.psm);
    size_t n = 0;
    while (r.active && n < bytes) {
        if (r.pending_bytes > 0) {
            out[n++] = static_cast<u8>(r.pending);
            r.pending >>= 8;
            --r.pending_bytes;
        } else if (bits == 4) {
            u32 byte = ReaderPixel(r.pixels_done++);
            if (r.pixels_done < r.pixels_total)
                byte |= ReaderPixel(r.pixels_done++) << 4;
            out[n++] = static_cast<u8>(byte);
        } else {
            r.pending = ReaderPixel(r.pixels_done++);
            r.pending_bytes = bits / 8;
            continue;
        }
        if (r.pixels_done == r.pixels_total && r.pending_bytes == 0)
            r.active = false;
    }
    return n;
}

size_t TransferUnit::ReadImage(u128* out, size_t qwc)
{
    if (!reader_.active) {
        Diag(Level::kError, "gs", "%zu quadwords of image data asked for with no local->host transfer open", qwc);
        return 0;
    }
    size_t produced = 0;
    while (produced < qwc && reader_.active) {
        u8 bytes[16] = {};
        ReadImageBytes(bytes, sizeof bytes);
        std::memcpy(&out[produced++], bytes, sizeof bytes);
    }
    return produced;
}

}  // namespace console::gs
