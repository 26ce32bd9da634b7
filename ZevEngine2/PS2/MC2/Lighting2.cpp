// Lighting2: vertex colours.  The lighting steps light each vertex by the
// three directional lights and the ambient colour (VU 903..909), then walk
// the extra-lights chain at 910 (local lights, clamping, fog), and multiply
// the result by the material colour (and by the vertex colour for the Mult
// forms).  The colour steps copy a vertex colour or fill the material colour
// without lighting.  Every alpha is multiplied by the object fade (w of the
// ambient colour, VU 909).
#include "ZevEngine2/PS2/MC2/Mc2Local.h"

namespace mc2 {
namespace {

// The brightest light a GS colour can carry (0xFF against 0x80 = 1.0).
constexpr float kMaxLight = 255.0f / 128.0f;

float Fade(vu1::Machine& vu) { return vu.F(MC2_LIGHTCOLOURS + 3)[3]; }

void PutColour(vu1::Machine& vu, const State& st, u32 i, float r, float g, float b, float a)
{
    u32* col = vu.I(OutVertex(st, i) + 1);
    col[0] = ColourByte(r);
    col[1] = ColourByte(g);
    col[2] = ColourByte(b);
    col[3] = ColourByte(a);
}

void VertexColour(vu1::Machine& vu, const State& st, u32 i, u32 slot, float c[4])
{
    const float* v = vu.F(InVertex(st, i, slot));
    for (int k = 0; k < 4; ++k)
        c[k] = DecodeColour(v[k]);
}

float Clamp(float v, float lo, float hi)
{
    if (!(v >= lo))
        return lo;
    return v > hi ? hi : v;
}

// The lighting quadword: the material colour (1.0 = 0x80) with the routine in
// the low 16 bits of w and, for the Mult and pre-lit forms, the vertex-colour
// slot in the low 16 bits of x.
u32 Lit(vu1::Machine& vu, u32 pc, bool mult, bool flip, bool prelit)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    const bool vcol = mult || prelit;
    const u32 slot = vcol ? vu.I(pc)[0] & 0xFFFF : 0;
    const bool haveSlot = vcol && slot != 0 && slot < st.stride;
    const float mat[4] = {vcol ? HighHalf(vu.I(pc)[0]) : vu.F(pc)[0], vu.F(pc)[1], vu.F(pc)[2],
                          HighHalf(vu.I(pc)[3])};
    st.flip = flip;

    const float* dir[3] = {vu.F(MC2_LIGHTDIRS), vu.F(MC2_LIGHTDIRS + 1), vu.F(MC2_LIGHTDIRS + 2)};
    const float* col[4] = {vu.F(MC2_LIGHTCOLOURS), vu.F(MC2_LIGHTCOLOURS + 1), vu.F(MC2_LIGHTCOLOURS + 2),
                           vu.F(MC2_LIGHTCOLOURS + 3)};
    for (u32 i = 0; i < st.n; ++i) {
        float* l = st.light[i];
        if (prelit) {
            float c[4] = {1.0f, 1.0f, 1.0f, 1.0f};
            if (haveSlot)
                VertexColour(vu, st, i, slot, c);
            l[0] = c[0];
            l[1] = c[1];
            l[2] = c[2];
            l[3] = c[3];
            continue;
        }
        float n[3];
        Normal(vu, st, i, MC2_NORMAL_SLOT, flip, n);
        for (int k = 0; k < 3; ++k)
            l[k] = col[3][k];
        for (int j = 0; j < 3; ++j) {
            // N . (-direction of light j), the directions being the columns
            // of the three rows at 903.
            const float d = n[0] * dir[0][j] + n[1] * dir[1][j] + n[2] * dir[2][j];
            if (d > 0.0f)
                for (int k = 0; k < 3; ++k)
                    l[k] += d * col[j][k];
        }
        l[3] = 1.0f;
    }

    WalkLightChain(vu);

    const float fade = Fade(vu);
    for (u32 i = 0; i < st.n; ++i) {
        const float* l = st.light[i];
        float c[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        if (mult && haveSlot)
            VertexColour(vu, st, i, slot, c);
        const float a = prelit ? l[3] : c[3];
        PutColour(vu, st, i, Clamp(l[0], 0.0f, kMaxLight) * mat[0] * c[0], Clamp(l[1], 0.0f, kMaxLight) * mat[1] * c[1],
                  Clamp(l[2], 0.0f, kMaxLight) * mat[2] * c[2], mat[3] * a * fade);
    }
    return pc + 1;
}

u32 DoLighting(vu1::Machine& vu, u32 pc) { return Lit(vu, pc, false, false, false); }
u32 DoLightingFlip(vu1::Machine& vu, u32 pc) { return Lit(vu, pc, false, true, false); }
u32 DoLightingMult(vu1::Machine& vu, u32 pc) { return Lit(vu, pc, true, false, false); }
u32 DoLightingMultFlip(vu1::Machine& vu, u32 pc) { return Lit(vu, pc, true, true, false); }
u32 DoLightingPreLit(vu1::Machine& vu, u32 pc) { return Lit(vu, pc, false, false, true); }
u32 DoLightingPreLitFlip(vu1::Machine& vu, u32 pc) { return Lit(vu, pc, false, true, true); }

// {slot}: the normals the chain's lights and the environment steps read.
u32 UnpackNormals(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    const u32 slot = vu.I(pc)[0];
    if (slot < 16)
        st.normalSlot = u8(slot);
    return pc + 1;
}

// End of the extra-lights chain; as a command it does nothing.
u32 NoExtraLights(vu1::Machine&, u32 pc) { return pc + 1; }

// Holds the light gathered so far within what a GS colour can carry (and
// above zero: a light of negative colour darkens but never inverts).
u32 ClampLights(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    for (u32 i = 0; i < st.n; ++i)
        for (int k = 0; k < 3; ++k)
            st.light[i][k] = Clamp(st.light[i][k], 0.0f, kMaxLight);
    return pc + 1;
}

// {slot}: the vertex colour as it is.
u32 CopyColour(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    const u32 slot = vu.I(pc)[0];
    if (slot == 0 || slot >= st.stride)
        return pc + 1;
    const float fade = Fade(vu);
    for (u32 i = 0; i < st.n; ++i) {
        float c[4];
        VertexColour(vu, st, i, slot, c);
        PutColour(vu, st, i, c[0], c[1], c[2], c[3] * fade);
    }
    return pc + 1;
}

// {colour, routine in the low 16 bits of w}: one colour for every vertex.
u32 FillColour(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    const float a = HighHalf(vu.I(pc)[3]) * Fade(vu);
    for (u32 i = 0; i < st.n; ++i)
        PutColour(vu, st, i, vu.F(pc)[0], vu.F(pc)[1], vu.F(pc)[2], a);
    return pc + 1;
}

// {a}: every vertex's alpha becomes a (1.0 = 0x80) times the object fade;
// the colour stays.
u32 AlphaReg(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    const u32 a = ColourByte(vu.F(pc)[0] * Fade(vu));
    for (u32 i = 0; i < st.n; ++i)
        vu.I(OutVertex(st, i) + 1)[3] = a;
    return pc + 1;
}

bool IsChainLink(u32 routine)
{
    return routine == mc2UnpackNormals || routine == mc2GeneralLight || routine == mc2ClampLights ||
           routine == mc2Fog;
}

}  // namespace

void WalkLightChain(vu1::Machine& vu)
{
    u32 addr = MC2_LIGHTCHAIN;
    for (int guard = 0; guard < 64; ++guard) {
        const u32 routine = RoutineOf(vu, addr);
        if (routine == mc2NoExtraLights)
            return;
        if (!IsChainLink(routine)) {
            // Something overwrote the chain (a texture matrix at 927 after
            // four lights and fog): what was walked so far stands.
            State& st = St(vu);
            if (!st.chainWarned) {
                st.chainWarned = 1;
                printf("VU1: extra-lights chain ends at %u without mc2NoExtraLights\n", addr);
            }
            return;
        }
        const vu1::Entry* e = vu1::Lookup(routine);
        if (!e)
            return;
        const u32 next = e->fn(vu, addr);
        if (next == kStop)
            return;
        addr = next;
    }
}

}  // namespace mc2

using namespace mc2;

CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2DoLighting, "mc2DoLighting", DoLighting);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2DoLightingCompressed, "mc2DoLightingCompressed", DoLighting);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2DoLightingFlip, "mc2DoLightingFlip", DoLightingFlip);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2DoLightingCompressedFlip, "mc2DoLightingCompressedFlip", DoLightingFlip);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2DoLightingMult, "mc2DoLightingMult", DoLightingMult);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2DoLightingCompressedMult, "mc2DoLightingCompressedMult", DoLightingMult);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2DoLightingMultFlip, "mc2DoLightingMultFlip", DoLightingMultFlip);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2DoLightingCompressedMultFlip, "mc2DoLightingCompressedMultFlip",
                  DoLightingMultFlip);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2DoLightingPreLit, "mc2DoLightingPreLit", DoLightingPreLit);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2DoLightingPreLitFlip, "mc2DoLightingPreLitFlip", DoLightingPreLitFlip);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2UnpackNormals, "mc2UnpackNormals", UnpackNormals);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2NoExtraLights, "mc2NoExtraLights", NoExtraLights);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2ClampLights, "mc2ClampLights", ClampLights);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2CopyColour, "mc2CopyColour", CopyColour);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2FillColour, "mc2FillColour", FillColour);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2AlphaReg, "mc2AlphaReg", AlphaReg);
