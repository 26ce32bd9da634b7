// Microcode2: the command interpreter and the routines that set up state
// (viewport, object matrix, clipping, buffers, globals, materials, passes,
// register packets).  The EE sends command blocks (UNPACK at the start of the
// input double buffer, then MSCAL 0); each command quadword names its routine
// by address / 8 in its w word.  A block that sets a material leaves the
// program's batch loop for the vertex batches that follow with MSCNT.
#include "ZevEngine2/PS2/MC2/Mc2Local.h"

u_long128 Microcode2[MICROCODE2_QWC] __attribute__((aligned(16)));

namespace mc2 {
namespace {

static_assert(sizeof(State) <= vu1::kUserBytes);
static_assert(vu1::kMicrocode2StreamQuadwords == MICROCODE2_QWC);

// The upload stream is built before main, so Begin can reference it at once.
[[maybe_unused]] const bool g_built = (vu1::BuildMpgStream(Microcode2, vu1::kProgramMicrocode2, vu1::kMicrocode2Chunks, 8), true);

// The batch slot an MSCNT run on input address `top` uses: the half that last
// ran there, else the other half from the last run.
u8 HalfFor(State& st, u32 top)
{
    for (u8 h = 0; h < 2; ++h)
        if (st.batches[h].used && st.batches[h].top == top)
            return h;
    u8 h = st.lastHalf ^ 1;
    Batch& b = st.batches[h];
    b.used = 1;
    b.top = top;
    b.resume = 0;
    b.skip = 0;
    return h;
}

void ForgetBatches(State& st)
{
    for (Batch& b : st.batches) {
        b.used = 0;
        b.resume = 0;
        b.skip = 0;
    }
}

}  // namespace

u32 Capacity(const State& st)
{
    u32 a = st.buf[0], b = st.buf[1];
    u32 lo = std::min(a, b), hi = std::max(a, b);
    u32 cap = hi > lo ? (hi - lo - 1) / 3 : 0;
    return std::min<u32>(cap, MC2_MAXBATCH);
}

void RunProgram(vu1::Machine& vu, u32 pc)
{
    RunSteps(vu, pc, MC2_PROGRAM + St(vu).proglen);
}

void RunSteps(vu1::Machine& vu, u32 pc, u32 end)
{
    State& st = St(vu);
    st.inBatch = 1;
    st.cullmode = CULL_NONE;
    st.normalSlot = MC2_NORMAL_SLOT;
    st.flip = 0;
    for (int guard = 0; pc < end && guard < kMaxCommands; ++guard) {
        const u32 routine = RoutineOf(vu, pc);
        const vu1::Entry* e = routine ? vu1::Lookup(routine) : nullptr;
        if (!e) {
            printf("VU1: batch step at %u names no routine\n", pc);
            break;
        }
        const u32 next = e->fn(vu, pc);
        if (next == kStop)
            break;
        pc = next;
    }
    st.inBatch = 0;
}

namespace {

// ------------------------------------------------------------ interpreter

u32 Interpret(vu1::Machine& vu, u32)
{
    State& st = St(vu);
    st.inBatch = 0;
    u32 pc = vu.Top();
    int guard = 0;
    for (; guard < kMaxCommands; ++guard) {
        const u32 routine = RoutineOf(vu, pc);
        if (routine == 0) {
            // A zero routine word is never a command: the block was not closed.
            printf("VU1: command block word %u names no routine\n", pc - vu.Top());
            break;
        }
        const vu1::Entry* e = vu1::Lookup(routine);
        if (!e)
            break;
        const u32 next = e->fn(vu, pc);
        if (next == kStop)
            break;
        pc = next;
    }
    if (guard == kMaxCommands)
        printf("VU1: command block without mc2Stop\n");
    return st.material ? u32(mc2Process1) : vu1::kNoResume;
}

// MSCNT after a material block: one batch of ITOP vertices at TOP.
u32 Process1(vu1::Machine& vu, u32)
{
    State& st = St(vu);
    if (!st.material) {
        printf("VU1: vertex batch without a material\n");
        return vu1::kNoResume;
    }
    DefaultBuffers(st);
    const u8 h = HalfFor(st, vu.Top());
    st.lastHalf = h;
    Batch& b = st.batches[h];
    if (b.skip) {
        b.skip = 0;
        return mc2Process1;
    }
    st.batch = h;
    st.in = b.top;
    u32 pc = MC2_PROGRAM;
    if (b.resume) {
        // The next pass of the batch this half already holds.
        pc = b.resume;
        b.resume = 0;
        st.n = b.count;
        for (u32 i = 0; i < 2; ++i)
            if (st.buf[i] == b.outbuf)
                st.cur = i;
    } else {
        u32 n = vu.Itop();
        const u32 cap = Capacity(st);
        if (n > cap) {
            printf("VU1: batch of %u vertices cut to %u\n", n, cap);
            n = cap;
        }
        st.n = b.count = n;
        b.outbuf = st.buf[st.cur];
        b.fogged = 0;
        std::memset(b.flags, 0, sizeof b.flags);
    }
    if (!RunInstances(vu, pc))
        RunProgram(vu, pc);
    return mc2Process1;
}

// ------------------------------------------------------------- commands

u32 Nop(vu1::Machine&, u32 pc) { return pc + 1; }
u32 Break(vu1::Machine&, u32 pc) { return pc + 1; }
u32 Stop(vu1::Machine&, u32) { return kStop; }

// {scale.xyz} then {trans.xyz, 0}.
u32 SetViewport(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    for (int i = 0; i < 3; ++i) {
        st.vscale[i] = vu.F(pc)[i];
        st.vtrans[i] = vu.F(pc + 1)[i];
    }
    return pc + 2;
}

// Rows x (its w holds the routine), y, z, w of the object-to-world matrix,
// then the bounding sphere in object space.  Decides whether the object's
// batches are clipped: not when the sphere lies wholly inside the guard band
// and beyond the near plane.
u32 SetLocal(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            st.local[r][c] = vu.F(pc + r)[c];
    st.local[0][3] = HighHalf(vu.I(pc)[3]);
    st.haveLocal = 1;

    float m[4][4];
    LocalCull(vu, st, m);
    const float* s = vu.F(pc + 4);
    const float g = vu.F(MC2_CLIPSCALE)[3];
    // Each plane as a combination of cull-space x, y, z, w that is <= 0
    // inside: g x - w, -g x - w, g y - w, -g y - w, -z - w.
    const float planes[5][4] = {{g, 0, 0, -1}, {-g, 0, 0, -1}, {0, g, 0, -1}, {0, -g, 0, -1}, {0, 0, -1, -1}};
    bool inside = true;
    for (const auto& pl : planes) {
        // The plane in object space: q = m * pl (column).
        float q[4];
        for (int r = 0; r < 4; ++r)
            q[r] = m[r][0] * pl[0] + m[r][1] * pl[1] + m[r][2] * pl[2] + m[r][3] * pl[3];
        const float d = s[0] * q[0] + s[1] * q[1] + s[2] * q[2] + q[3];
        const float len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
        if (!(d + s[3] * len <= 0.0f))
            inside = false;
    }
    st.noclip = inside;
    return pc + 5;
}

// {on}: clipping for the batches that follow, until the next mc2SetLocal.
u32 SetClipping(vu1::Machine& vu, u32 pc)
{
    St(vu).noclip = vu.I(pc)[0] == 0;
    return pc + 1;
}

// {output buffer 1, output buffer 2}.
u32 SetBuffers(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    st.buf[0] = vu.I(pc)[0] & 0x3FF;
    st.buf[1] = vu.I(pc)[1] & 0x3FF;
    st.cur = 0;
    ForgetBatches(st);
    return pc + 1;
}

// {VU address, n} and n quadwords stored there.
u32 SetGlobals(vu1::Machine& vu, u32 pc)
{
    const u32 addr = vu.I(pc)[0];
    const u32 n = vu.I(pc)[1];
    for (u32 i = 0; i < n && i < vu1::kDataQuadwords; ++i)
        vu.Q(addr + i) = vu.Q(pc + 1 + i);
    return pc + 1 + n;
}

// {stride, n}: the n - 1 quadwords after this one are the material program,
// kept at MC2_PROGRAM and run over every batch that follows.
u32 SetMaterial(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    const u32 stride = vu.I(pc)[0];
    const u32 n = vu.I(pc)[1];
    ForgetBatches(st);
    st.cur = 0;
    if (n == 0)
        return pc + 1;
    const u32 len = n - 1;
    if (len > MC2_PROGRAM_QWC || stride == 0 || stride > 16) {
        printf("VU1: material of %u quadwords, stride %u, refused\n", len, stride);
        st.material = 0;
        return pc + n;
    }
    for (u32 i = 0; i < len; ++i)
        vu.Q(MC2_PROGRAM + i) = vu.Q(pc + 1 + i);
    st.proglen = len;
    st.stride = u8(stride);
    st.material = 1;
    return pc + n;
}

// {count}: the count vertices after this quadword go through the material
// now (first pass only).  Overlays call it with a header they build.
u32 ProcessVerts(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    u32 n = vu.I(pc)[0];
    const u32 next = pc + 1 + n * (st.material ? st.stride : 0);
    if (!st.material || st.inBatch)
        return next;
    DefaultBuffers(st);
    const u32 cap = Capacity(st);
    if (n > cap) {
        printf("VU1: batch of %u vertices cut to %u\n", n, cap);
        n = cap;
    }
    Batch& b = st.batches[2];
    b.used = 1;
    b.top = pc + 1;
    b.count = n;
    b.outbuf = st.buf[st.cur];
    b.fogged = 0;
    std::memset(b.flags, 0, sizeof b.flags);
    st.batch = 2;
    st.in = b.top;
    st.n = n;
    RunProgram(vu, MC2_PROGRAM);
    b.resume = 0;
    b.skip = 0;
    return next;
}

// End of a pass of an interleaved multi-pass batch: the run ends and the next
// run on this input half starts the following pass on the same vertices.
u32 EndPass(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    Batch& b = CurBatch(st);
    if (st.batch < 2 && pc + 1 < MC2_PROGRAM + st.proglen)
        b.resume = pc + 1;
    return kStop;
}

// A GIF tag (NLOOP data quadwords, EOP, NREG 1 A+D) whose register word
// carries the routine: the register packet goes to the GS from where it lies.
u32 Giftag(vu1::Machine& vu, u32 pc)
{
    const u32 nloop = vu.I(pc)[0] & 0x7FFF;
    if (vu.I(pc)[0] & 0x8000)
        vu.Xgkick(pc);
    else
        printf("VU1: register packet without EOP not sent\n");
    return pc + 1 + nloop;
}

// The same packet copied to the side area first, so the input buffer may be
// overwritten while the GS reads it.
u32 GiftagCopy(vu1::Machine& vu, u32 pc)
{
    const u32 nloop = vu.I(pc)[0] & 0x7FFF;
    if (!(vu.I(pc)[0] & 0x8000)) {
        printf("VU1: register packet without EOP not sent\n");
        return pc + 1 + nloop;
    }
    if (nloop + 1 > MC2_SIDEPACKET_QWC) {
        vu.Xgkick(pc);
        return pc + 1 + nloop;
    }
    for (u32 i = 0; i <= nloop; ++i)
        vu.Q(MC2_SIDEPACKET + i) = vu.Q(pc + i);
    vu.Xgkick(MC2_SIDEPACKET);
    return pc + 1 + nloop;
}

}  // namespace
}  // namespace mc2

using namespace mc2;

CONSOLE_VU1_PROGRAM(vu1::kProgramMicrocode2, "Microcode2", 0x0000, vu1::kMicrocode2Instructions);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Interpret, "mc2Interpret", Interpret);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Nop, "mc2Nop", Nop);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Stop, "mc2Stop", Stop);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Break, "mc2Break", Break);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2SetViewport, "mc2SetViewport", SetViewport);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2SetLocal, "mc2SetLocal", SetLocal);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2SetClipping, "mc2SetClipping", SetClipping);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2SetBuffers, "mc2SetBuffers", SetBuffers);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2ProcessVerts, "mc2ProcessVerts", ProcessVerts);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Process, "mc2Process", ProcessVerts);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Process1, "mc2Process1", Process1);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2SetMaterial, "mc2SetMaterial", SetMaterial);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2EndPass1, "mc2EndPass1", EndPass);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2EndPass, "mc2EndPass", EndPass);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Giftag, "mc2Giftag", Giftag);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2GiftagCopy, "mc2GiftagCopy", GiftagCopy);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2SetGlobals, "mc2SetGlobals", SetGlobals);
