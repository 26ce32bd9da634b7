// The frame's transparent models.  A model that is faded, or that has
// translucent materials, is not drawn where the scene meets it: it is queued
// here with what its drawing needs (matrix, fade, matrix palette, fog mode)
// and drawn after the opaque scene, far to near.  Depth order comes without
// sorting: an entry goes to one of 256 buckets by the bits of the float
// z / farz (two buckets per octave of depth), and the buckets are drawn from
// the farthest down; within a bucket the entry queued last is drawn first.
//
// The entries keep pointers to models, files, parameter blocks and palettes,
// which must live until the frame's chain is built.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Vector.h"

struct MODEL;
struct MDLFILE;
class RenderContext;

constexpr int TRANSPARENCY_MAX = 1024;
constexpr int TRANSPARENCY_BUCKETS = 256;

struct Transparency
{
    Transparency* next;        // the next entry of its bucket (queued earlier)
    const MODEL* model;
    const MDLFILE* mf;
    const u8* params;
    float ambient_alpha;       // the object's fade when queued
    int nmats;                 // the renderer's matrix palette when queued
    u_long128* matpalette;
    int fog_mode;
    Matrix mat;                // model to world
};

struct Transparencies
{
    int num;                   // entries used this frame
    int fog_mode;
    Transparency table[TRANSPARENCY_MAX];
    Transparency* buckets[TRANSPARENCY_BUCKETS];
    // Entries refused this frame because the table was full, and depths
    // clamped into the farthest bucket (each kind is reported once).
    int dropped;
    int clamped;

    // Starts the frame: the list's fog mode from rc, rc.mode = 16, no entries.
    void Init(RenderContext& rc);
    // Queues model at mat with rc's current fade and the renderer's current
    // matrix palette.
    void Add(RenderContext& rc, const MODEL* model, const MDLFILE* mf, const u8* params, const Matrix& mat);
    // Draws every entry, far to near, and leaves rc with fade 1, no palette
    // and fog mode 0.
    void Draw(RenderContext& rc);

    // The bucket of view depth z: 0 for z < 0, else the float bits of
    // z / farz shifted right by 22, held to 255.
    static int Bucket(float z, float farz);
};

extern Transparencies theTransparencies;

void InitTransparencies(RenderContext& rc);
void AddTransparency(RenderContext& rc, const MODEL* model, const MDLFILE* mf, const u8* params, const Matrix& mat);
void DrawTransparencies(RenderContext& rc);
void SetFogTransparencies(int mode);
