// Accounts of the primitives drawn, by drawing state: how many pixels each
// state's primitives cover and how long they take, on the specialised
// pipelines and on the per-pixel path, so that replays of real workloads
// name the states the pipelines miss (gsreplay --stats).  Off unless asked
// for; primitives are then timed as they are drawn on the calling thread
// (the draw threads' queues are for runs without accounts).
#pragma once

#include <ee/types.h>

#include <string>
#include <vector>

namespace console::gs {

struct DrawEnv;
enum class PrimType : u8;

// Where a primitive's pixels were made.
enum class DrawPath : u8 {
    kPipelines,  // the specialised pipelines (pipeline.h)
    kPerPixel,   // the per-pixel path: the general sampler and pixel writer, or the reference
};
inline constexpr int kDrawPaths = 2;

namespace drawstats_detail {
extern bool g_on;
extern thread_local DrawPath t_path;
}  // namespace drawstats_detail

// Starts (clearing what was counted) or stops the accounts.
void CollectDrawStats(bool on);

inline bool DrawStatsOn()
{
    return drawstats_detail::g_on;
}

// Said by the rasterizer when the primitive being drawn goes to the
// per-pixel path.
inline void NotePerPixelPath()
{
    drawstats_detail::t_path = DrawPath::kPerPixel;
}

// One state's account.
struct DrawStatsRow {
    std::string state;  // the primitive kind and the state, in words
    u64 primitives[kDrawPaths] = {};
    u64 pixels[kDrawPaths] = {};
    double seconds[kDrawPaths] = {};
};

// The accounts so far, the states with the most pixels on the per-pixel
// path first, then by pixels.
std::vector<DrawStatsRow> DrawStatsRows();

// A primitive of `type` drawn in `env`: `pixels` covered, `ticks` of the
// time-stamp counter taken, on the path last noted since StartDrawRecord.
void StartDrawRecord();
void RecordDraw(PrimType type, const DrawEnv& env, u64 pixels, u64 ticks);

// The state a primitive of `type` is drawn in, in words: "sprite T8/CT32
// bilinear MODULATE rgba fog, blend Cs Cd As Cd, CT32, Z24 GEQUAL write".
std::string DescribeDrawState(PrimType type, const DrawEnv& env);

}  // namespace console::gs
