// The occlusion test's vector-unit-0 routine.  The query edge is cut into
// pieces as it is compared with the stored edges in order: an edge hides the
// part of a piece that lies within its x span, below its line and behind its
// depth; the parts it leaves are set aside on a stack with the number of the
// edge after it.  The first piece that gets past the last edge, or whose left
// end lies left of an edge's span (every later edge starts further right, so
// that part can never be hidden), makes the answer 1.
#include "game/VU0OcclusionMicro.h"

#include <vu/vu0.h>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/Utilities/Occlusion.h"

u64 VU0MicrocodeOcclusion[VU0OCCLUSION_INSTRUCTIONS];

namespace {

// The placeholder instructions: the vector units' slot format (magic and
// program id low, the slot's index high), built before main.
[[maybe_unused]] const bool g_built = [] {
    for (int i = 0; i < VU0OCCLUSION_INSTRUCTIONS; i++)
        VU0MicrocodeOcclusion[i] = u64(u32(i)) << 32 | 0x56550000u | VU0OCCLUSION_PROGRAM_ID;
    return true;
}();

bool Resident()
{
    const u64* at = VU0::micromem + VU0Custom / 8;
    return std::equal(VU0MicrocodeOcclusion, VU0MicrocodeOcclusion + VU0OCCLUSION_INSTRUCTIONS, at);
}

Vector Lerp(const Vector& a, const Vector& b, float s) { return a + (b - a) * s; }

}  // namespace

int VU0OcclusionMicro(const Vector& left, const Vector& right)
{
    if (!Resident())
    {
        static bool reported;
        if (!reported)
            printf("VU0: the occlusion routine is not loaded\n");
        reported = true;
        return 1;
    }

    Vector* mem = reinterpret_cast<Vector*>(vu0_data);
    // Edges never reach into the stack's room; a count that would is cut.
    const u32 maxEdges = VU0OCCLUSION_STACKTOP / 2 - 8;
    const u32 edges = std::min(u32(mem[0].wcomponent()) / 2, maxEdges);
    const u32 stackLimit = 2 * edges;

    // A stack entry is two quadwords: the piece's ends, the first one's w
    // word holding the number of the edge to continue with.
    u32 sp = VU0OCCLUSION_STACKTOP;
    auto push = [&](const Vector& a, const Vector& b, u32 edge) {
        if (sp < stackLimit + 2)
            return false;
        sp -= 2;
        mem[sp] = a;
        mem[sp].setwcomponent(int(edge));
        mem[sp + 1] = b;
        return true;
    };

    Vector a = left, b = right;
    u32 k = 0;
    for (;;)
    {
        if (k >= edges)
            return 1;
        OcclusionEdgeMat m;
        m.row[0] = mem[2 * k];
        m.row[0].setw(0.0f);   // edge 0's w word carries the count
        m.row[1] = mem[2 * k + 1];
        float lo = 0.0f, hi = 1.0f;
        switch (m.Classify(a, b, lo, hi))
        {
        case OcclusionEdgeMat::CUT_PASS:
            k++;
            continue;
        case OcclusionEdgeMat::CUT_LEFT:
            return 1;
        case OcclusionEdgeMat::CUT_PARTIAL:
        {
            const Vector pa = a, pb = b;
            if (hi < 1.0f && !push(Lerp(pa, pb, hi), pb, k + 1))
                return 1;
            if (lo > 0.0f && !push(pa, Lerp(pa, pb, lo), k + 1))
                return 1;
            break;
        }
        case OcclusionEdgeMat::CUT_HIDDEN:
            break;
        }
        // The piece (or what this edge did not hide of it) is dealt with:
        // on with the next one set aside.
        if (sp >= VU0OCCLUSION_STACKTOP)
            return 0;
        a = mem[sp];
        b = mem[sp + 1];
        k = u32(a.wcomponent());
        sp += 2;
    }
}
