// The texture manager: GS memory above the frame buffers, handed to textures
// while a frame locks them.  Textures no longer locked stay resident as a
// cache and are evicted least recently released first; palettes come from a
// pool of 64 four-block slots at the top of the area.
//
// Uploads do not travel in line with drawing.  They are gathered into batches
// of GIF-channel (PATH3) DMA chains in the frame's upload area, and the VIF1
// chain carries request slots: two VIF codes, NOP NOP while unused, armed as
// MARK k + NOP-with-interrupt.  The VIF1 interrupt handler starts the next
// batch when VIF1 reaches an armed slot, so uploads run ahead of the drawing
// that needs them; a FLUSHA where the batch was opened makes that drawing
// wait.  A last slot, MARK 0xFFFF, reports the end of the frame's drawing to
// the drawing-finished callbacks.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Callback.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Packet.h"

constexpr int TEXMAN_RECORDS = 256;         // free ranges and resident textures together
constexpr int TEXMAN_BATCHES = 1024;        // per frame, with the list's ending 0
constexpr int TEXMAN_CLUT_SLOTS = 64;       // four blocks each
constexpr int TEXMAN_CLUT_BLOCKS = 256;     // the pool at the top of the area
constexpr int TEXMAN_UPLOAD_QWC = 4096;     // a frame's upload area (64 KB)

constexpr u32 VIF_FLUSHA = 0x13000000;
constexpr u32 VIF_MARK = 0x07000000;
constexpr u32 VIF_IRQ = 0x80000000;
constexpr u32 TEXMAN_END_OF_FRAME = 0xFFFF;  // MARK value of the frame's last slot

struct TexManagerRec
{
    TexManagerRec* prev;
    TexManagerRec* next;
    u32* vif1_unlocked;   // where in the chain it was released this frame, or null
    int flags;            // 1: holds uploaded data; 0: space reserved without upload
    int block;            // first GS block
    int nblocks;
    int clut;             // palette slot 0..63, or -1
    void* tag;            // what is resident: the pixel data, or the Texture itself
};

class TexManager
{
public:
    TexManagerRec pool[TEXMAN_RECORDS];
    TexManagerRec* next_pool;   // spare records, linked through next
    TexManagerRec free;         // sentinel: free ranges in block order
    TexManagerRec cached;       // sentinel: next = most recently released
    TexManagerRec locked;       // sentinel: locked in the current frame
    int clutblockbase;
    u64 clutpoolfreebits;       // bit i set: palette slot i free
    u32* vif1_lastrequest;      // the last request slot placed in the chain
    int vif_handlerid;
    int blockstart, blockcount;

    TexManager();

    // Takes over the texture area [start, start + count); its last 256 blocks
    // are the palette pool.  Nothing happens when the area is unchanged.
    void Init(int texblockstart, int texblockcount);

    void BeginScene(VIFpacket& vifPacket, u_long128* gifbuff, bool clear, u32 gifqwc = TEXMAN_UPLOAD_QWC);
    void EndScene(VIFpacket& vifPacket);

    // Makes tex resident and locked for this frame, queueing its upload when it
    // is not cached (or dirty).  False when it cannot be placed: no room even
    // after emptying the cache, or a per-frame limit (records, batches, upload
    // area, chain space) is reached.  A failed lock changes nothing resident.
    bool Lock(VIFpacket& vifPacket, Texture* tex);
    // Reserves nblocks (whole pages) and, when clutsize is not 0, a palette
    // slot (page-aligned with `page`) for `tag` without any upload.
    bool Lock(VIFpacket& vifPacket, void* tag, int nblocks, int clutsize, bool page, int& texblock, int& clutblock);
    // Moves tag's record from the locked list to the most recent end of the
    // cache.  A tag that is not locked is ignored.
    void Unlock(VIFpacket& vifPacket, void* tag);
    // Frees every cached record.
    void ClearCache();

    // Inspection (tests and diagnostics).
    int NumFree() const { return Count(free); }
    int NumCached() const { return Count(cached); }
    int NumLocked() const { return Count(locked); }
    int NumSpare() const;
    bool IsResident(const void* tag) const;

    // Allocation helpers (the algorithm's own steps).
    TexManagerRec* TexAllocFromFree(int n);
    TexManagerRec* TexAllocFromCache(int n);
    TexManagerRec* TexAddToFree(TexManagerRec* rec);
    int ClutAllocFromPool(bool page);
    int ClutAllocFromCache(bool page);

private:
    TexManagerRec* TexAlloc(TexManagerRec* range, int n);
    TexManagerRec* Spare();
    void ToSpare(TexManagerRec* rec);
    static void Unlink(TexManagerRec* rec);
    static void InsertAfter(TexManagerRec* at, TexManagerRec* rec);
    static int Count(const TexManagerRec& sentinel);
    TexManagerRec* Find(TexManagerRec& sentinel, const void* tag);
    void PlaceRequest(VIFpacket& vifPacket);
    void PlaceFlushedRequest(VIFpacket& vifPacket);
    TexManagerRec* Reserve(int n, bool wantClut, bool page, int flags, void* tag);
    // The GS block of palette slot clut; 0 for none (-1).
    int ClutBlock(int clut) const { return clut >= 0 ? clutblockbase + 4 * clut : 0; }
    bool OpenBatch(VIFpacket& vifPacket);
    void CloseBatch();
    void Upload(const Texture* tex, const TexManagerRec* rec);
    u32 UploadQuadwords(const Texture* tex, int n) const;
    void Refuse(int what);
};

extern TexManager texman;

// Which of the two batch lists is filled / drawn; toggled once per frame each.
// Written by the main thread, read by the VIF1 interrupt.
extern volatile int iGIF3Fill;
extern volatile int iGIF3Draw;

void TexManInit(int texblockstart, int texblockcount);
// Installs / removes VIF1Interrupt1 as the last handler of the VIF1 cause.
void TexManOn();
void TexManOff();
// Adds a drawing-finished callback (run from the VIF1 interrupt at the end of
// each frame's drawing, with a null argument).
void SetGSyncCallback(Callback* cb);
void TexManBeginScene(VIFpacket& vifPacket, u_long128* gifbuff, bool clear, u32 gifqwc = TEXMAN_UPLOAD_QWC);
void TexManEndScene(VIFpacket& vifPacket);
// Just before a frame's chain is started: points the interrupt at that
// frame's batch list and sets PATH3 to intermittent mode.
void TexManDrawScene(VIFpacket& vifPacket);

// The VIF1 interrupt handler: starts the next upload batch at a request slot,
// or runs the drawing-finished callbacks at the frame's last slot.
int VIF1Interrupt1(int cause);

// Batches armed in the frame being filled (tests).
int TexManBatchCount();
// The batch list of frame buffer i (start addresses, ended by null).
u_long128* const* TexManBatchList(int i);
