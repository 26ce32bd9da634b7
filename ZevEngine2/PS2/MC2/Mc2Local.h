// Shared internals of the vector-unit-1 microcode: the state the program keeps
// between runs (what the hardware would hold in VU registers), the vertex
// batch being processed, and the helpers every routine uses to read the input
// double buffer and write the output GIF packets.  The contract is in
// README.md beside this file.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"

#include <vu/vu1.h>

namespace mc2 {

// A routine's answer "this run ends here" (valid addresses are below 1,024
// plus the length of a command's data).
constexpr u32 kStop = 0xFFFFFFFFu;
// More commands than this in one run means the block has no end.
constexpr int kMaxCommands = 4096;

// Per-vertex flags of a batch.
enum : u8 {
    VF_RESTART = 0x01,   // no drawing kick (the position's w bit 15, or mc2UnpackADC)
};

// Cull modes a pass can ask for (mc2BFCull, mc2BFCullSwap), applied by the kick.
enum : u8 {
    CULL_NONE = 0,
    CULL_BACK = 1,
    CULL_FRONT = 2,
};

// Guard-band outcodes of a clip-space vertex.
constexpr u32 OC_POS_X = 0x01;
constexpr u32 OC_NEG_X = 0x02;
constexpr u32 OC_POS_Y = 0x04;
constexpr u32 OC_NEG_Y = 0x08;
constexpr u32 OC_NEAR = 0x10;

// One batch of vertices: an input half while its passes run, or vertices
// given inline with mc2ProcessVerts.
struct Batch
{
    u32 top;        // input address of its first vertex
    u32 count;      // vertices
    u32 outbuf;     // output buffer holding its transformed vertices
    u32 resume;     // program address its next pass starts at, 0 = none pending
    u8 used;        // slot holds a batch
    u8 skip;        // the next run on this half only ends (mc2KickFlip k = 2)
    u8 fogged;      // mc2Fog wrote fog values: kicks set FGE
    u8 clip;        // kicks clip against the guard band and the near plane
    u8 flags[MC2_MAXBATCH];
};

struct State
{
    // Viewport (mc2SetViewport).
    float vscale[4];
    float vtrans[4];
    // Output buffers (mc2SetBuffers) and which one is current.
    u32 buf[2];
    u32 cur;
    // Object to world (mc2SetLocal); identity until one is sent.
    float local[4][4];
    u8 haveLocal;
    u8 noclip;          // the object lies inside the guard band (0: clip)
    // Material (mc2SetMaterial): program at MC2_PROGRAM.
    u8 material;
    u8 stride;
    u32 proglen;
    // Position and texture-coordinate decoding of the last transform.
    u8 compressed;
    float posoff[4];
    float uvoff;
    // The run in progress.
    u8 inBatch;         // a batch's program is running
    u8 batch;           // index into batches
    u8 lastHalf;        // half of the last MSCNT run
    u8 cullmode;        // CULL_* for the next kick
    u8 normalSlot;      // mc2UnpackNormals
    u8 flip;            // lighting of back faces (Flip variants)
    u8 chainWarned;     // a broken extra-lights chain was reported
    u32 in;             // input address of vertex 0
    u32 n;              // vertices
    Batch batches[3];   // the two input halves, and inline vertices
    // Light arriving at each vertex (x, y, z; 1.0 = full), built by the
    // lighting routines and the extra-lights chain.
    float light[MC2_MAXBATCH][4];
};

inline State& St(vu1::Machine& vu) { return vu.User<State>(); }
inline Batch& CurBatch(State& st) { return st.batches[st.batch]; }

// The routine a command quadword names (its w word's low 16 bits, in 8-byte
// units) as a byte address.
inline u32 RoutineOf(const vu1::Machine& vu, u32 addr) { return (vu.I(addr)[3] & 0xFFFF) * 8; }

// A float whose low 16 bits carry something else (a routine number, a colour
// slot): its value with those bits cleared.
inline float HighHalf(u32 bits)
{
    bits &= 0xFFFF0000u;
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}
inline float AsFloat(u32 bits)
{
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}
inline u32 AsBits(float f)
{
    u32 b;
    std::memcpy(&b, &f, 4);
    return b;
}

// Offset-encoded fixed point (VIF offset mode adds a row of 2^k-sized floats):
// the value less the float with the same exponent and a zero mantissa.
inline float Exponent(float v) { return AsFloat(AsBits(v) & 0xFF800000u); }
// A colour component: 1.0 = 0x80.  Values of 2 and more are offset-encoded
// bytes (unsigned).
inline float DecodeColour(float v) { return v >= 2.0f ? v - Exponent(v) : v; }
// A normal component: values of 2 and more are offset-encoded signed fixed
// point with one sign and (bits - 1) fraction bits, which decode to 1 + n.
inline float DecodeNormal(float v) { return v >= 2.0f ? v - Exponent(v) - 1.0f : v; }

// Output vertex i of the current buffer: ST, RGBAQ, XYZF2 quadwords.
inline u32 OutVertex(const State& st, u32 i) { return st.buf[st.cur] + 1 + 3 * i; }
// Input quadword `slot` of vertex i.
inline u32 InVertex(const State& st, u32 i, u32 slot) { return st.in + i * st.stride + slot; }

// Until mc2SetBuffers the layout without a palette.
inline void DefaultBuffers(State& st)
{
    if (st.buf[0] == 0 && st.buf[1] == 0) {
        st.buf[0] = MC2_OUTBUF1;
        st.buf[1] = MC2_OUTBUF2;
    }
}

// Vertices one output buffer holds with these buffer addresses.
u32 Capacity(const State& st);

// Model-space position of vertex i (decoded as the last transform did).
void Position(vu1::Machine& vu, const State& st, u32 i, float p[3]);
// Unit normal of vertex i from `slot` (offset-encoded normals decoded, zero
// stays zero), negated when `flip`.
void Normal(vu1::Machine& vu, const State& st, u32 i, u32 slot, bool flip, float n[3]);
// Local-to-cull matrix: the object matrix times world_cull (VU 899..902).
void LocalCull(vu1::Machine& vu, const State& st, float m[4][4]);
// p (w = 1) through m: each component summed in the order p[0], p[1], p[2],
// then the translation, four components at once.
inline void Through(const float m[4][4], const float p[3], float c[4])
{
    typedef float Four __attribute__((vector_size(16)));
    Four row[4];
    __builtin_memcpy(row, m, sizeof row);
    const Four s = row[0] * p[0] + row[1] * p[1] + row[2] * p[2] + row[3];
    __builtin_memcpy(c, &s, sizeof s);
}
// Guard-band outcodes of a cull-space point; g is the guard-band factor.
u32 Outcodes(const float c[4], float g);

// Writes one output vertex at addr: ST from uv and 1/w, RGBAQ, XYZF2 from the
// cull-space position through the viewport, fog byte and no-kick flag.
void WriteVertex(vu1::Machine& vu, const State& st, u32 addr, const float c[4], const float uv[2],
                 const u32 rgba[4], u32 fog, bool adc);
// A colour (1.0 = 0x80) as a GS byte.
inline u32 ColourByte(float v)
{
    float s = v * 128.0f;
    if (!(s > 0.0f))
        return 0;
    return s >= 255.0f ? 255u : u32(s);
}

// Runs the material program over the current batch from program address pc
// (mc2Process1, mc2ProcessVerts).
void RunProgram(vu1::Machine& vu, u32 pc);
// Runs the batch steps at pc .. end - 1 over the current batch (the material
// program, or steps a routine wrote for itself).
void RunSteps(vu1::Machine& vu, u32 pc, u32 end);

// mc2Reflection / mc2Refraction over the current batch (Reflection2.cpp).
u32 EnvironmentStep(vu1::Machine& vu, u32 pc, bool refract);

// Texture coordinates (u, v) of output vertex i: S, T = u, v times its Q.
void PutUV(vu1::Machine& vu, const State& st, u32 i, float u, float v);

// Runs the material program from pc once per instance matrix while
// mc2Instances has set some (Instances2.cpp); false when it has not.
bool RunInstances(vu1::Machine& vu, u32 pc);

// The lighting routines' walk over the extra-lights chain at 910.
void WalkLightChain(vu1::Machine& vu);

// The kicks' visibility pass and the clipper (Clipper2.cpp).
void KickBatch(vu1::Machine& vu, u32 tagupper, u32 regs);

// What a kick's k asks for once it has kicked: 0 the program goes on at
// pc + 1, 1 the batch's run ends, 2 the run ends and the next run on this
// input half only ends.
u32 AfterKick(State& st, u32 pc, u32 k);

// Twice the signed area of a clip-space triangle as seen from the eye, taken
// in homogeneous coordinates (x, y, w) so that it stays right for triangles
// reaching behind the eye: negative when (v1 - v0) x (v2 - v0) points
// towards the eye.
float FacingDet(const float a[4], const float b[4], const float c[4]);

// Triangles of a batch to clip, by their three vertices.
struct ClipList
{
    u8 tri[MC2_MAXBATCH][3];
    int count = 0;
};

// The guard-band test of triangle (i0, i1, i2) from its vertices' outcodes:
// one with any vertex outside is not drawn in the batch's packet (hidden[i2]
// set), and is queued for clipping unless all three lie outside one plane.
void ClipTest(const u32 oc[], u32 i0, u32 i1, u32 i2, bool hidden[], ClipList& clips);

// Sets each output vertex's no-kick flag from hidden, writes the batch's GIF
// tag in front of the current output buffer and kicks it.
void SendBatch(vu1::Machine& vu, const State& st, const bool hidden[], u32 tagupper, u32 regs);

// Clips the queued triangles (clip-space corners in cc) to the near plane and
// the guard band and sends the pieces as fans from the side area, after the
// batch's packet.  With `flat` each piece has the colour of its triangle's
// last output vertex, no texture coordinates and no fog; otherwise texture
// coordinates, colour and fog are interpolated from the output vertices.
void KickClipped(vu1::Machine& vu, const State& st, const ClipList& clips, const float (*cc)[4], u32 tagupper,
                 u32 regs, bool flat);

}  // namespace mc2
