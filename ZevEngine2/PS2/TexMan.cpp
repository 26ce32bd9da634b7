#include "ZevEngine2/PS2/TexMan.h"

#include <ee/regs.h>

#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/Utilities.h"

TexManager texman;

volatile int iGIF3Fill = 0;
volatile int iGIF3Draw = 0;

// Upload batches of the frame being filled, and the batch list the VIF1
// interrupt walks for the frame being drawn.
static GIFpacket gifPacket;
static u_long128* gifCurrent;        // start of the batch being filled
static int gifCurrentIndex;          // its place in the list, -1 before the first
static u_long128* gifEnd;            // end of the frame's upload area
static u_long128* gifLastImage;      // last IMAGE tag of the current batch, or null
static int gifIndex;                 // batches armed so far in the frame
static u_long128* dmaGifList[2][TEXMAN_BATCHES];
static u_long128** ppdmaGifList;     // append position in the list being filled
static u_long128** ppdmaCurrTagList; // read position in the list being drawn
alignas(16) static u_long128 VIFFlush[64];  // zero: VIF NOPs
static Callbacks cbs;                // drawing-finished callbacks
static bool frameOpen;               // between BeginScene and EndScene
static int refusals;                 // limits already reported this frame

namespace {

enum Refusal { kNoRoom = 1, kNoRecords = 2, kBatches = 4, kUploadArea = 8, kChain = 16 };

constexpr u64 kImageEop = 1ull << 15;

// The pixel formats' page sizes as powers of two (width, height), which fix
// the shape of a mip chain uploaded as one image.
void PageShape(int sizeclass, int& t, int& r)
{
    if (sizeclass <= 0) {
        t = 6;
        r = 5;
    } else if (sizeclass <= 2) {
        t = 6;
        r = 6;
    } else if (sizeclass == 3) {
        t = 7;
        r = 6;
    } else {
        t = 7;
        r = 7;
    }
}

// Quadwords GIFpacket::LoadImage writes into the upload area for an image.
u32 ImageQuadwords(u32 w, u32 h, int psm)
{
    const u32 factor = PsmFactor(u8(psm));
    u32 total = 0;
    u32 rows_left = h;
    do {
        u32 rows = std::min(rows_left, GIF_BAND_ROWS);
        u32 qwc = w * rows * factor / 32;
        u32 chunks = 1;
        while (qwc >= GIF_IMAGE_MAX_QWC + 1) {
            ++chunks;
            qwc -= GIF_IMAGE_MAX_QWC;
        }
        total += 5 + 2 * chunks;   // A+D tag and 4 registers, IMAGE tag + REF per chunk
        rows_left -= rows;
    } while (rows_left > 0);
    return total;
}

u32 PhysWord(const void* p)
{
    return u32(reinterpret_cast<uintptr_t>(EE_PHYS(p)));
}

}  // namespace

// ------------------------------------------------------------------ lists

TexManager::TexManager()
    : next_pool(nullptr), clutblockbase(0), clutpoolfreebits(0), vif1_lastrequest(nullptr), vif_handlerid(-1),
      blockstart(0), blockcount(0)
{
    for (TexManagerRec* s : {&free, &cached, &locked}) {
        s->prev = s->next = s;
        s->block = s->nblocks = 0;
        s->clut = -1;
        s->tag = nullptr;
    }
    for (int i = 0; i < TEXMAN_RECORDS; i++) {
        pool[i] = TexManagerRec{nullptr, i + 1 < TEXMAN_RECORDS ? &pool[i + 1] : nullptr, nullptr, 0, 0, 0, -1, nullptr};
    }
    next_pool = &pool[0];
}

void TexManager::Unlink(TexManagerRec* rec)
{
    rec->prev->next = rec->next;
    rec->next->prev = rec->prev;
    rec->prev = rec->next = nullptr;
}

void TexManager::InsertAfter(TexManagerRec* at, TexManagerRec* rec)
{
    rec->prev = at;
    rec->next = at->next;
    at->next->prev = rec;
    at->next = rec;
}

int TexManager::Count(const TexManagerRec& sentinel)
{
    int n = 0;
    for (const TexManagerRec* r = sentinel.next; r != &sentinel; r = r->next)
        ++n;
    return n;
}

int TexManager::NumSpare() const
{
    int n = 0;
    for (const TexManagerRec* r = next_pool; r; r = r->next)
        ++n;
    return n;
}

TexManagerRec* TexManager::Find(TexManagerRec& sentinel, const void* tag)
{
    for (TexManagerRec* r = sentinel.next; r != &sentinel; r = r->next)
        if (r->tag == tag)
            return r;
    return nullptr;
}

bool TexManager::IsResident(const void* tag) const
{
    auto& self = const_cast<TexManager&>(*this);
    return self.Find(self.locked, tag) || self.Find(self.cached, tag);
}

TexManagerRec* TexManager::Spare()
{
    TexManagerRec* rec = next_pool;
    if (!rec)
        return nullptr;
    next_pool = rec->next;
    *rec = TexManagerRec{nullptr, nullptr, nullptr, 0, 0, 0, -1, nullptr};
    return rec;
}

void TexManager::ToSpare(TexManagerRec* rec)
{
    rec->prev = nullptr;
    rec->tag = nullptr;
    rec->next = next_pool;
    next_pool = rec;
}

void TexManager::Init(int texblockstart, int texblockcount)
{
    if (texblockstart == blockstart && texblockcount == blockcount)
        return;
    blockstart = texblockstart;
    blockcount = texblockcount;
    for (TexManagerRec* s : {&free, &cached, &locked})
        s->prev = s->next = s;
    for (int i = 0; i < TEXMAN_RECORDS; i++)
        pool[i].next = i + 1 < TEXMAN_RECORDS ? &pool[i + 1] : nullptr;
    next_pool = &pool[0];
    clutblockbase = texblockstart + texblockcount - TEXMAN_CLUT_BLOCKS;
    clutpoolfreebits = texblockcount >= TEXMAN_CLUT_BLOCKS ? ~0ull : 0;
    if (texblockcount > TEXMAN_CLUT_BLOCKS) {
        TexManagerRec* range = Spare();
        range->block = texblockstart;
        range->nblocks = texblockcount - TEXMAN_CLUT_BLOCKS;
        InsertAfter(&free, range);
    }
}

// ------------------------------------------------------------- allocation

TexManagerRec* TexManager::TexAlloc(TexManagerRec* range, int n)
{
    if (range->nblocks == n) {
        Unlink(range);
        return range;
    }
    TexManagerRec* rec = Spare();
    if (!rec)
        return nullptr;
    rec->block = range->block;
    rec->nblocks = n;
    range->block += n;
    range->nblocks -= n;
    return rec;
}

TexManagerRec* TexManager::TexAllocFromFree(int n)
{
    for (TexManagerRec* f = free.next; f != &free; f = f->next) {
        if (f->nblocks >= n) {
            if (TexManagerRec* rec = TexAlloc(f, n))
                return rec;
        }
    }
    return nullptr;
}

TexManagerRec* TexManager::TexAllocFromCache(int n)
{
    while (cached.prev != &cached) {
        TexManagerRec* range = TexAddToFree(cached.prev);
        if (range->nblocks >= n) {
            if (TexManagerRec* rec = TexAlloc(range, n))
                return rec;
        }
    }
    return nullptr;
}

TexManagerRec* TexManager::TexAddToFree(TexManagerRec* rec)
{
    if (rec->clut >= 0) {
        clutpoolfreebits |= 1ull << rec->clut;
        rec->clut = -1;
    }
    if (rec->prev)
        Unlink(rec);
    rec->tag = nullptr;
    rec->flags = 0;
    rec->vif1_unlocked = nullptr;

    TexManagerRec* after = &free;
    for (TexManagerRec* f = free.next; f != &free && f->block < rec->block; f = f->next)
        after = f;
    TexManagerRec* before = after->next;

    TexManagerRec* cur;
    if (after != &free && after->block + after->nblocks == rec->block) {
        after->nblocks += rec->nblocks;
        ToSpare(rec);
        cur = after;
    } else {
        InsertAfter(after, rec);
        cur = rec;
    }
    if (before != &free && cur->block + cur->nblocks == before->block) {
        cur->nblocks += before->nblocks;
        Unlink(before);
        ToSpare(before);
    }
    return cur;
}

int TexManager::ClutAllocFromPool(bool page)
{
    auto take = [this](int i) {
        clutpoolfreebits &= ~(1ull << i);
        return i;
    };
    // Slots 16 apart start 64 blocks apart: only those sit on page bounds
    // that page-aligned palettes may use, so the others go first otherwise.
    if (!page) {
        for (int i = 0; i < TEXMAN_CLUT_SLOTS; i++)
            if ((i & 15) && (clutpoolfreebits >> i & 1))
                return take(i);
    }
    for (int i = 0; i < TEXMAN_CLUT_SLOTS; i += 16)
        if (clutpoolfreebits >> i & 1)
            return take(i);
    return -1;
}

int TexManager::ClutAllocFromCache(bool page)
{
    while (cached.prev != &cached) {
        TexManagerRec* rec = cached.prev;
        const int slot = rec->clut;
        const bool usable = slot >= 0 && (!page || slot % 32 == 0);
        if (usable)
            rec->clut = -1;   // handed on, not back to the pool
        TexAddToFree(rec);
        if (usable)
            return slot;
    }
    return -1;
}

void TexManager::ClearCache()
{
    while (cached.next != &cached)
        TexAddToFree(cached.next);
}

// -------------------------------------------------------- batches and slots

void TexManager::Refuse(int what)
{
    if (refusals & what)
        return;
    refusals |= what;
    switch (what) {
    case kNoRoom: printf("TexManager: no room in graphics memory\n"); break;
    case kNoRecords: printf("TexManager: out of records\n"); break;
    case kBatches: printf("TexManager: too many upload batches in one frame\n"); break;
    case kUploadArea: printf("TexManager: upload area full\n"); break;
    default: break;   // the renderer reports a full chain itself
    }
}

void TexManager::PlaceRequest(VIFpacket& vifPacket)
{
    vif1_lastrequest = vifPacket.GetPtr();
    vifPacket.Put(VIF_NOP);
    vifPacket.Put(VIF_NOP);
}

// A request slot that drawing reaches only once earlier transfers are done.
void TexManager::PlaceFlushedRequest(VIFpacket& vifPacket)
{
    vifPacket.Put(VIF_FLUSHA);
    vifPacket.Put(VIF_NOP);
    PlaceRequest(vifPacket);
}

void TexManager::CloseBatch()
{
    if (gifLastImage)
        gifLastImage->lo |= kImageEop;
    gifPacket.End();
    if (gifCurrentIndex >= 0)
        reinterpret_cast<DMAtag*>(gifCurrent)->p[0] = u32(gifCurrentIndex);
    gifLastImage = nullptr;
}

bool TexManager::OpenBatch(VIFpacket& vifPacket)
{
    vifPacket.ClearNumReffedQW();
    CloseBatch();
    gifCurrent = reinterpret_cast<u_long128*>(gifPacket.GetTag());
    gifCurrentIndex = gifIndex;

    // The last request slot before this point starts the new batch, so its
    // uploads run while the chain up to here is drawn.
    vif1_lastrequest[0] = VIF_MARK | u32(gifIndex);
    vif1_lastrequest[1] = VIF_NOP | VIF_IRQ;
    *ppdmaGifList++ = gifCurrent;
    ++gifIndex;

    // Drawing from here on waits for the batch (FLUSHA), and the GS drops
    // texture data it may hold from before the upload (TEXFLUSH).
    vifPacket.Put(VIF_FLUSHA);
    vifPacket.OpenDirect();
    sceGifTag t = MakeGifTag(1, true, 0, 1, GS_AD);
    vifPacket.AddN(reinterpret_cast<const u_long128*>(&t), 1);
    vifPacket.Put(u64(0));
    vifPacket.Put(u64(GS_TEXFLUSH));
    vifPacket.CloseDirect();
    vifPacket.Put(VIF_NOP);
    PlaceRequest(vifPacket);
    return true;
}

u32 TexManager::UploadQuadwords(const Texture* tex, int n) const
{
    const int psm = tex->Psm();
    const int sc = PsmSizeClass(psm);
    u32 qw = 0;
    if (tex->clutsize)
        qw += ImageQuadwords(sc >= 4 ? 8 : 16, sc >= 4 ? 2 : 16, PSMCT32);
    if ((tex->format & TEXF_MIPS) && !(tex->format & TEXF_RAW)) {
        int t, r;
        PageShape(sc, t, r);
        u32 rows = std::max<u32>((3u * tex->width * tex->height + (2u << t) - 1) / (2u << t), 1u << r);
        qw += ImageQuadwords(1u << t, rows, psm);
    } else if (tex->format & TEXF_RAW) {
        qw += ImageQuadwords(64, u32(n), PSMCT32);
    } else {
        qw += ImageQuadwords(tex->width, tex->height, psm);
    }
    return qw;
}

void TexManager::Upload(const Texture* tex, const TexManagerRec* rec)
{
    const u64* data = static_cast<const u64*>(tex->data);
    const int psm = tex->Psm();
    const int sc = PsmSizeClass(psm);
    if (tex->clutsize) {
        // Palettes go up as 32-bit images: 16 colours as 8 x 2, 256 as 16 x 16.
        const u16 cb = u16(clutblockbase + 4 * rec->clut);
        if (sc >= 4)
            gifPacket.LoadImage(cb, PSMCT32, 1, data, 0, 0, 8, 2, false, false);
        else
            gifPacket.LoadImage(cb, PSMCT32, 1, data, 0, 0, 16, 16, false, false);
        data += tex->clutsize / 2;   // clutsize / 4 quadwords
    }
    const u16 bp = u16(rec->block);
    if ((tex->format & TEXF_MIPS) && !(tex->format & TEXF_RAW)) {
        // The whole mip chain as one image a page wide, as the asset tools lay
        // it out.
        int t, r;
        PageShape(sc, t, r);
        u32 rows = std::max<u32>((3u * tex->width * tex->height + (2u << t) - 1) / (2u << t), 1u << r);
        gifPacket.LoadImage(bp, u8(psm), u16(t - 5), data, 0, 0, 1u << t, rows, false, false);
    } else if (tex->format & TEXF_RAW) {
        // Raw blocks: one 64-pixel 32-bit row per 256-byte block.
        gifPacket.LoadImage(bp, PSMCT32, 1, data, 0, 0, 64, u32(rec->nblocks), false, false);
    } else {
        const u16 bw = u16(sc <= 2 ? (tex->width + 63) / 64 : 2 * ((tex->width + 127) / 128));
        gifPacket.LoadImage(bp, u8(psm), bw, data, 0, 0, tex->width, tex->height, false, false);
    }
    // The IMAGE tag just before the last REF: the batch's end-of-packet goes there.
    gifLastImage = reinterpret_cast<u_long128*>(gifPacket.GetTag()) - 2;
}

// ------------------------------------------------------------------ frame

void TexManager::BeginScene(VIFpacket& vifPacket, u_long128* gifbuff, bool clear, u32 gifqwc)
{
    for (TexManagerRec* r = cached.next; r != &cached; r = r->next)
        r->vif1_unlocked = nullptr;

    for (int i = 0; i < 3; i++)
        vifPacket.Ref(VIFFlush, 64, VIF_NOP, VIF_NOP);
    PlaceFlushedRequest(vifPacket);

    gifPacket.Open(gifbuff);
    gifCurrent = gifbuff;
    gifCurrentIndex = -1;
    gifEnd = gifbuff + gifqwc;
    gifLastImage = nullptr;

    if (clear)
        ClearCache();

    gifIndex = 0;
    ppdmaGifList = dmaGifList[iGIF3Fill];
    iGIF3Fill = !iGIF3Fill;
    frameOpen = true;
    refusals = 0;
}

void TexManager::EndScene(VIFpacket& vifPacket)
{
    if (!frameOpen)
        return;
    CloseBatch();
    *ppdmaGifList = nullptr;
    // The frame's last slot: MARK 0xFFFF and an interrupt once everything
    // before it, uploads included, has gone through.
    vifPacket.Put(VIF_FLUSHA);
    vifPacket.Put(VIF_NOP);
    vifPacket.Put(VIF_MARK | TEXMAN_END_OF_FRAME);
    vifPacket.Put(VIF_NOP);
    vifPacket.Put(VIF_NOP | VIF_IRQ);
    vifPacket.Put(VIF_NOP);
    frameOpen = false;
}

// Room for n blocks and, when wantClut, a palette slot (page-aligned with
// `page`), taken from the free space or else from the cache, as a locked
// record for `tag`.  Null, with the refusal reported and nothing kept, when
// either does not fit.
TexManagerRec* TexManager::Reserve(int n, bool wantClut, bool page, int flags, void* tag)
{
    int clut = -1;
    if (wantClut) {
        clut = ClutAllocFromPool(page);
        if (clut < 0)
            clut = ClutAllocFromCache(page);
        if (clut < 0) {
            Refuse(kNoRoom);
            return nullptr;
        }
    }
    TexManagerRec* rec = TexAllocFromFree(n);
    if (!rec)
        rec = TexAllocFromCache(n);
    if (!rec) {
        if (clut >= 0)
            clutpoolfreebits |= 1ull << clut;
        Refuse(next_pool ? kNoRoom : kNoRecords);
        return nullptr;
    }
    rec->clut = clut;
    rec->flags = flags;
    rec->tag = tag;
    rec->vif1_unlocked = nullptr;
    InsertAfter(&locked, rec);
    return rec;
}

bool TexManager::Lock(VIFpacket& vifPacket, Texture* tex)
{
    if (!tex)
        return false;

    if (tex->data && !tex->IsDirty()) {
        if (TexManagerRec* rec = Find(cached, tex->data)) {
            if (frameOpen && !ChainAllowFor(vifPacket, 1))
                return false;
            Unlink(rec);
            InsertAfter(&locked, rec);
            tex->SetVRAM(rec->block, ClutBlock(rec->clut));
            if (frameOpen)
                PlaceRequest(vifPacket);
            return true;
        }
    }

    const int n = (tex->nblocks + 31) & ~31;
    const bool page = tex->format & TEXF_CLUTPAGE;
    const bool upload = tex->data != nullptr;

    // Every per-frame limit is checked before anything resident changes.
    bool newBatch = false;
    if (upload) {
        if (!frameOpen) {
            Refuse(kUploadArea);
            return false;
        }
        const u32 d = u32(vifPacket.GetPtr() - vif1_lastrequest) / 4 + vifPacket.NumReffedQW();
        newBatch = d >= 16 || gifIndex == 0;
        if (newBatch && gifIndex >= TEXMAN_BATCHES - 1) {
            Refuse(kBatches);
            return false;
        }
        const u32 need = UploadQuadwords(tex, n) + (newBatch ? 1 : 0) + 1;
        if (gifPacket.GetPtr() > gifEnd || u32(gifEnd - gifPacket.GetPtr()) < need) {
            Refuse(kUploadArea);
            return false;
        }
    }
    if (frameOpen && !ChainAllowFor(vifPacket, 8))
        return false;

    TexManagerRec* rec = Reserve(n, tex->clutsize != 0, page, upload ? 1 : 0,
                                 upload ? tex->data : static_cast<void*>(tex));
    if (!rec)
        return false;
    tex->SetVRAM(rec->block, ClutBlock(rec->clut));

    if (!upload) {
        if (frameOpen)
            PlaceFlushedRequest(vifPacket);
        return true;
    }
    // Uploads close to the last request slot join the batch it starts; the
    // first upload of a frame always opens one.
    if (newBatch)
        OpenBatch(vifPacket);
    Upload(tex, rec);
    return true;
}

bool TexManager::Lock(VIFpacket& vifPacket, void* tag, int nblocks, int clutsize, bool page, int& texblock,
                      int& clutblock)
{
    if (frameOpen && !ChainAllowFor(vifPacket, 2))
        return false;
    const int n = (nblocks + 31) & ~31;
    TexManagerRec* rec = Reserve(n, clutsize != 0, page, 0, tag);
    if (!rec)
        return false;
    texblock = rec->block;
    clutblock = ClutBlock(rec->clut);
    if (frameOpen)
        PlaceFlushedRequest(vifPacket);
    return true;
}

void TexManager::Unlock(VIFpacket& vifPacket, void* tag)
{
    TexManagerRec* rec = Find(locked, tag);
    if (!rec)
        return;
    Unlink(rec);
    InsertAfter(&cached, rec);
    rec->vif1_unlocked = vifPacket.GetPtr();
}

// ------------------------------------------------------ platform interface

void TexManInit(int texblockstart, int texblockcount)
{
    texman.Init(texblockstart, texblockcount);
}

void TexManOn()
{
    if (texman.vif_handlerid >= 0)
        return;
    texman.vif_handlerid = AddIntcHandler(5, VIF1Interrupt1, -1);
    EnableIntc(5);
}

void TexManOff()
{
    if (texman.vif_handlerid < 0)
        return;
    RemoveIntcHandler(5, texman.vif_handlerid);
    DisableIntc(5);
    texman.vif_handlerid = -1;
}

void SetGSyncCallback(Callback* cb)
{
    cbs.Add(cb);
}

void TexManBeginScene(VIFpacket& vifPacket, u_long128* gifbuff, bool clear, u32 gifqwc)
{
    texman.BeginScene(vifPacket, gifbuff, clear, gifqwc);
}

void TexManEndScene(VIFpacket& vifPacket)
{
    texman.EndScene(vifPacket);
}

void TexManDrawScene(VIFpacket& vifPacket)
{
    (void)vifPacket;
    ppdmaCurrTagList = dmaGifList[iGIF3Draw];
    iGIF3Draw = !iGIF3Draw;
    DPUT_GIF_MODE(4);   // PATH3 intermittent: uploads interleave with drawing
    DPUT_VIF1_MARK(0);
}

int VIF1Interrupt1(int cause)
{
    (void)cause;
    if (DGET_VIF1_MARK() == TEXMAN_END_OF_FRAME) {
        DPUT_VIF1_MARK(0);
        EE_SYNC();
        cbs.DoCallbacks(nullptr);
    } else if (ppdmaCurrTagList && *ppdmaCurrTagList) {
        // A slot armed beyond the list's end (which the manager never writes)
        // starts nothing rather than a transfer from address 0.
        u_long128* batch = *ppdmaCurrTagList++;
        DPUT_D2_QWC(0);
        DPUT_D2_TADR(PhysWord(batch));
        EE_SYNC();
        DPUT_D2_CHCR(0x145);
    }
    DPUT_VIF1_FBRST(8);
    EE_SYNC();
    EE_EI_IN_HANDLER();
    return 0;
}

int TexManBatchCount()
{
    return gifIndex;
}

u_long128* const* TexManBatchList(int i)
{
    return dmaGifList[i & 1];
}
