// Draw threads.  Sprites, and triangles the specialised pipelines draw, are
// queued to the interleaved bands of rows they touch (sprites set up on the
// calling thread, triangles as their vertices, set up by the first band that
// draws them); a pool of workers draws the bands, any worker taking any
// band that has work and nobody drawing it, each band's primitives in queue
// order.  Each row belongs to one band, so every pixel sees the primitives
// that touch it in the order they were sent, and memory ends the same for any
// number of threads.
//
// Whatever reads local memory waits first: DrainDrawQueue before the display
// read-out and dumps; a transfer waits for the queued primitives that touch
// its rectangles; a primitive drawn on the calling thread waits for those
// that write what it reads or writes, or read what it writes; a CLUT load
// waits for those that may write the page it reads (they read their own copy
// of the CLUT buffer, so loading it again changes nothing for them).  Each
// waits only until the last primitive touching those pages is drawn, not for
// what was queued after it.  A sprite whose texture lies where queued primitives may still
// write (a copy of the frame being drawn, feedback effects), or which writes
// what they read or write through another buffer, is queued behind a fence:
// the bands draw it once all of them have drawn what was queued before, and
// the sender goes on.  Work queued before a fence is still waited for by the
// sender's own reads and writes of the pages it touches (a triangle's texture
// decoded here among them).
#pragma once

#include <ee/types.h>

#include "gs/clut.h"
#include "gs/drawenv.h"
#include "gs/gsmem.h"
#include "gs/pipeline.h"
#include "gs/setup.h"

namespace console::gs {

// Worker threads: 0 draws on the calling thread; at most 8.  The first use
// takes --gs-threads, or the machine's cores minus one.  Changing the count
// drains the queue.
void SetDrawThreads(int n);
int DrawThreads();
// What the first use takes: --gs-threads, or the cores minus one, at most 8.
int DefaultDrawThreads();

// Waits until every queued primitive is drawn.
void DrainDrawQueue();

// Before a primitive writing `targets` (as NoteTargets found them) is drawn
// on the calling thread: waits for the queued primitives that write or read
// those blocks or write the texels it reads; the rest may be drawn meanwhile.
void WaitToDrawSpriteHere(const DrawEnv& env, const SpriteSetup& sprite, const TargetBlocks& targets);
void WaitToDrawTriangleHere(const DrawEnv& env, const TargetBlocks& targets);

// Before an image transfer TRXDIR starts in direction `xdir` from the
// transfer registers, and before each piece of its data: waits for the queued
// primitives that write what it reads or touch what it writes.
void WaitForTransfer(const RegisterFile& regs, u32 xdir);
void WaitForOpenTransfer();

// Waits until no queued primitive may still write blocks [lo, hi) (which may
// run past the end of memory onto its start): for reading them (a CLUT
// load).
void WaitForWritesTo(u32 block_lo, u32 block_hi);

// Queues the primitive when workers draw and its bands are independent (see
// raster.cpp); a sprite the specialised pipelines leave is drawn by the
// bands through the per-pixel path.  False, with nothing queued, otherwise
// (the caller drains and draws it itself).
bool QueueSprite(const DrawEnv& env, const SpriteSetup& sprite, LocalMemory& memory, const ClutBuffer& clut);
bool QueueTriangle(const DrawEnv& env, const TriangleSetup& triangle, LocalMemory& memory, const ClutBuffer& clut,
                   const TargetBlocks& targets);

// A triangle queued as its vertices and box: each band it touches sets it up
// for itself.  The state must have a serial.
bool QueueTriangleVertices(const DrawEnv& env, const Vertex* v, const PixelBox& box, LocalMemory& memory,
                           const ClutBuffer& clut, const TargetBlocks& targets);

// The same, cheaply, for a triangle of the state and memory of the run of
// triangles queued before it whose box lies where they were found free to
// write; false, with nothing queued or noted, when it is not one (the caller
// notes its writes and takes QueueTriangleVertices).  The caller has found
// that the pipelines take it.
bool QueueTriangleInRun(const DrawEnv& env, const Vertex* v, const PixelBox& box, LocalMemory& memory,
                        const ClutBuffer& clut);

// Whether no texel the texture may read lies in the frame or Z blocks of the
// box [px0, px1) x [py0, py1): then its pixels may be sampled before earlier
// pixels of the primitive are written.
bool TextureApartFromTargets(const DrawEnv& env, s32 px0, s32 px1, s32 py0, s32 py1);

}  // namespace console::gs
