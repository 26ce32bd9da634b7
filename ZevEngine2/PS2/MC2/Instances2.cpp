// Instances2: one model drawn at several matrices from one upload of its
// vertices.  The EE sends n object-to-world matrices (rows x, y, z, w) to
// MC2_INSTANCES (870, 4 quadwords each, at most MC2_MAX_INSTANCES) and a
// command block with {870 + 4n, 870 + 4n, 870 + 4n, mc2Instances}; every
// vertex batch that follows then runs the material program once per matrix,
// with that matrix as the object matrix (clipped, as no bounding sphere comes
// with it).  The command with n = 0 ({870, ...}) ends instancing; so does a
// VIF1 reset.  The object matrix of mc2SetLocal is kept and in force again
// for batches after instancing ends.
//
// The matrices lie between the second output buffer of the layout without a
// palette (ending at 866) and clip_scale (898); instanced models are drawn
// without a palette.  Passes after the first of an interleaved multi-pass
// stream draw from the positions the last instance's transform left, so
// instanced models use single-pass materials.
#include "ZevEngine2/PS2/MC2/Mc2Local.h"

namespace mc2 {
namespace {

struct Instances
{
    u32 count;   // matrices at MC2_INSTANCES; 0: instancing is off
};

// Kept in the user area after the shared state, so a VIF1 reset clears it.
constexpr u32 kInstancesAt = vu1::kUserBytes - 64;
static_assert(sizeof(State) <= kInstancesAt, "the instancing state overlaps the microcode state");
static_assert(sizeof(Instances) <= 64);

Instances& Inst(vu1::Machine& vu)
{
    return *reinterpret_cast<Instances*>(vu.user + kInstancesAt);
}

// {end, end, end}: the matrices from MC2_INSTANCES up to end.
u32 SetInstances(vu1::Machine& vu, u32 pc)
{
    const u32 end = vu.I(pc)[0];
    Instances& in = Inst(vu);
    in.count = 0;
    if (end < MC2_INSTANCES || (end - MC2_INSTANCES) % 4 != 0 || end > MC2_INSTANCES + 4 * MC2_MAX_INSTANCES) {
        static bool reported;
        if (!reported)
            printf("VU1: mc2Instances end %u names no list of instance matrices; instancing off\n", end);
        reported = true;
        return pc + 1;
    }
    in.count = (end - MC2_INSTANCES) / 4;
    return pc + 1;
}

}  // namespace

bool RunInstances(vu1::Machine& vu, u32 pc)
{
    const u32 n = Inst(vu).count;
    if (n == 0)
        return false;
    State& st = St(vu);
    float local[4][4];
    std::memcpy(local, st.local, sizeof local);
    const u8 haveLocal = st.haveLocal, noclip = st.noclip;
    for (u32 i = 0; i < n; ++i) {
        for (u32 r = 0; r < 4; ++r)
            for (u32 c = 0; c < 4; ++c)
                st.local[r][c] = vu.F(MC2_INSTANCES + 4 * i + r)[c];
        st.haveLocal = 1;
        st.noclip = 0;
        RunProgram(vu, pc);
    }
    std::memcpy(st.local, local, sizeof local);
    st.haveLocal = haveLocal;
    st.noclip = noclip;
    return true;
}

}  // namespace mc2

CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Instances, "mc2Instances", mc2::SetInstances);
