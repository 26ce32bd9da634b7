// What the walker and car generators share: the score of a generator's
// segment, and the first three steps of a generator's tick (retired, fill
// burst, full) and its answer to the spawn and retire codes.  G is PedGen or
// VehGen.
#pragma once

#include "game/GameFEnt.h"
#include "game/QuadTree.h"

// The score of a generator (see PedGen::iGenScore): the distance of the
// nearest point of the segment's usable part in view space (6.25 more behind
// the camera) in bits 0-11, 0x1000 when the generator's box is hidden,
// 0x2000 in the forward quarter of the view.  carCorrection brings the
// segment 60 frames of the player's car's travel closer.
int AmbientGenScore(const Cuboid& cub, const VectorPos* ends, float* pfDist, bool bSkipVis, bool carCorrection);

// The weighted pick over model-file slots first..last (a slot's weight its
// i16Extra while it holds a model that is not about to go, else -1; slots
// reserved or freed on their last release are skipped); none when the walk
// picks nothing.
int AmbientWeightedSlot(int first, int last, int none);

// Empties the game controller's pending spawn when it names g.
void AmbientClearPending(PedGen* g);
void AmbientClearPending(VehGen* g);

inline void AmbientAfter(Object* o, int frames, void* extra = nullptr)
{
    world.SetTimer(o, AnimTime(u32(frames > 0 ? frames : 0) << 8), extra);
}

// Steps 1 to 3 of a tick: true when the tick is done, with the timer's
// answer in *reply.  belowCap() tells whether the population has room; the
// fill burst reaches zone1.
template <class G, class BelowCap>
bool AmbientTickStart(G* g, BelowCap belowCap, float zone1, int* reply)
{
    *reply = 0;
    // 1. Retired: it lingers while its walkers or cars live.
    if (g->mode != 0) {
        if (g->i16NumSpawned != 0) {
            AmbientAfter(g, 15);
            return true;
        }
        AmbientClearPending(g);
        g->Delete();
        *reply = -2;
        return true;
    }
    // 2. The fill burst: two attempts a frame without the view test.
    if (g->i16Delay != 0) {
        float d = 0.0f;
        g->iGenScore(&d, true);
        if (d < zone1) {
            g->i16Delay--;
            for (int k = 0; k < 2; k++) {
                if (g->i16NumSpawned < g->i16MaxToSpawn) {
                    if (belowCap()) {
                        SpecialMessage m(SMSG_GEN_SPAWN_FILL, nullptr);
                        g->mh(OM_SPECIAL, &m);
                    }
                } else {
                    g->i16Delay = 0;
                }
            }
        } else {
            g->i16Delay = 0;
        }
        AmbientAfter(g, 1);
        return true;
    }
    // 3. Full.
    if (g->i16NumSpawned >= g->i16MaxToSpawn) {
        AmbientAfter(g, 90);
        return true;
    }
    return false;
}

// A generator's answer to the spawn and retire codes; spawn(skipVis) makes
// one walker or car.
template <class G, class Spawn>
void AmbientSpecial(G* g, const SpecialMessage& m, Spawn spawn)
{
    if (m.submsg == SMSG_GEN_SPAWN || m.submsg == SMSG_GEN_SPAWN_FILL) {
        if (g->mode == 0)
            spawn(m.submsg != SMSG_GEN_SPAWN);
    } else if (m.submsg == SMSG_GEN_RETIRE) {
        g->mode = 1;
        if (g->i16NumSpawned == 0) {
            AmbientClearPending(g);
            g->Delete();
        }
    }
}
