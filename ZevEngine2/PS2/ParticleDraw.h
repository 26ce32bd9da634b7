// Particle drawing: straight to the GS, without the vector-unit program.  For
// each PartManager one DIRECT block is appended to the frame's chain: a few
// register settings for the whole manager (A+D), then one register-list
// record per visible particle, projected on the main processor.  Each drawer
// also records whether its particle was on screen, which the next
// PartManager::Update uses to drop particles that have left the view.
//
// Records (64-bit register values; X and Y in 1/16 pixel, Z the depth the
// microcode gives the same point, so particles test against the scene's depth
// buffer like the geometry drawn before them):
//   sprite  PRIM 0x156  RGBAQ, UV, XYZF3, UV, XYZF2
//   flat    PRIM 0x154  RGBAQ, UV, XYZF3, UV, XYZF3, UV, XYZF2, UV, XYZF2
//   line    PRIM 0x141  RGBAQ, XYZF3, RGBAQ, XYZF2
// Frame f of a particle-table entry W x H covers u 8 .. W x 16 + 8 and
// v f x H x 16 + 8 .. (f + 1) x H x 16 + 8 (1/16 texel, texel centres).
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/particle.h"

class RenderContext;

// GS register values per particle record.
constexpr int PARTDRAW_SPRITE_REGS = 5;
constexpr int PARTDRAW_FLAT_REGS = 9;
constexpr int PARTDRAW_LINE_REGS = 4;
// Register-list descriptors of the three records (first register lowest).
constexpr u64 PARTDRAW_SPRITE_REGLIST = 0x43C31;      // RGBAQ UV XYZF3 UV XYZF2
constexpr u64 PARTDRAW_FLAT_REGLIST = 0x4343C3C31;    // RGBAQ (UV XYZF3) x 2 (UV XYZF2) x 2
constexpr u64 PARTDRAW_LINE_REGLIST = 0x41C1;         // RGBAQ XYZF3 RGBAQ XYZF2

constexpr u32 PARTDRAW_PRIM_SPRITE = 0x156;   // sprite, textured, blended, UV
constexpr u32 PARTDRAW_PRIM_FLAT = 0x154;     // triangle strip, textured, blended, UV
constexpr u32 PARTDRAW_PRIM_LINE = 0x141;     // line, blended
// Alpha test on and never passing, failing pixels written to the frame
// buffer only, depth test GEQUAL: particles are depth-tested but leave the
// depth buffer alone.
constexpr u64 PARTDRAW_TEST = 0x51001;
// A manager is drawn only when this much room is left in the frame's chain.
constexpr u32 PARTDRAW_MIN_ROOM_BYTES = 0x800;

// Each writes p's record at out and returns the new write position; out
// unchanged when nothing was written.
//   Sprite and flat: culled by rc.TestCull(pos, w x scale) (onScreen false);
//   not drawn, onScreen left alone, when the projected w is not above 0.5
//   (too near).  Flat particles are turned by rotZ on the screen.
//   Line: culled by rc.TestCull(pos) alone (onScreen false), whatever pos2.
u64* ParticleDrawSprite(Particle* p, const RenderContext& rc, u64* out);
u64* ParticleDrawFlat(Particle* p, const RenderContext& rc, u64* out);
u64* ParticleDrawLine(Particle* p, const RenderContext& rc, u64* out);

// The region-clamp CLAMP value of a particle-table entry: u 0 .. W - 1,
// v 0 .. H x frames - 1 (0 without an entry).
u64 ParticleClamp(const PS2Part* part);
