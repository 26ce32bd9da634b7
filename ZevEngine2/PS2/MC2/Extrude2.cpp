// Extrude2: shadow volumes.  A shadow model is a closed mesh written for
// extrusion: every triangle as a strip of its own, and for every edge that two
// triangles share a zero-area quad joining their two copies of the edge, each
// vertex carrying the normal of the triangle it belongs to.  Vertices whose
// triangle faces away from the light move along the light to just past the
// ground plane (kPastPlane; at most kMaxExtrude, and that far when the light
// never reaches the plane); the others stay.  The lit triangles so form the
// volume's near cap, the unlit ones its far cap under the ground, and the
// quads of the silhouette
// edges (lit on one side, unlit on the other) open into its walls: the volume
// is closed whatever the mesh's shape, without the edges' neighbours being
// known.
//
// The material (StencilShadows::Extrude writes it) is {stride, 4} with the
// program
//   {offset x, y, z, -65536.0 | mc2Extrude}: positions offset-encoded by the
//       model's compressionOffset (float positions: offset 0), or, skinned,
//   {0, 0, 0, 1.0 | mc2Extrude} and the skin step {weights slot, normal
//       slot 2, 0, mc2Skin} (material {stride, 5}), which runs over the batch
//       first and leaves float positions and normals in place;
//   {light x, y, z, -}: the way the light travels, world space;
//   {plane nx, ny, nz, d}: world space, points with n.p + d > 0 above it;
// and in its command block {k, GIF tag upper word, register list,
// mc2KickClipHomo} ends the block: the kick becomes the program's last step.
//
// Vertex (stride >= 3 quadwords): slot 0 the position (its w word's bit 15:
// no drawing kick; the first two vertices of every strip carry it), slot 2
// the triangle's normal (float or offset-encoded, as for lighting); slot 1
// and further slots are not read here (a skinned model's weights lie in the
// slot the material's second format field names).  The moved positions are
// written back into slot 0 as floats, where the kick reads them.  Triangles are wound so that (v1 - v0) x
// (v2 - v0) points out of the mesh, every second triangle of a strip
// reversed; the quad of an edge running a -> b in triangle A (b -> a in
// triangle B) is the strip (b_A, a_A, b_B, a_B).
//
// Output: the strips, each vertex coloured for the triangle it completes
// (flat shading takes a triangle's last vertex's colour): 8 for a face that
// counts the pixels it passes into shadow, 248 (-8 in the stencil's wrapping
// channels) for one that counts them out, alpha 0x80.  Which faces count in
// follows the depth direction: with the viewport's depth negated the depth
// compared against is reversed (StencilShadows flips it), the GEQUAL test
// passes where a face lies behind the scene, and faces turned away from the
// eye count in; with a plain viewport the test passes in front of the scene
// and faces turned towards the eye count in.  Either way a pixel is counted
// once for every closed volume its scene point lies in.
//
// The kick draws what lies in the guard band in front of the near plane and
// clips triangles crossing them in homogeneous space; the clipped pieces are
// sent as fans in the triangle's own colour.
#include "ZevEngine2/PS2/MC2/Extrude2.h"

#include "ZevEngine2/PS2/MC2/Mc2Local.h"

namespace mc2 {
namespace {

// The longest extrusion (world units): a light grazing or missing the plane
// would otherwise throw the far cap to infinity.
constexpr float kMaxExtrude = 1000.0f;
// The far cap goes this far (world units) past the plane: lying on the
// ground it would tie with the ground's own depth, and pixels there would be
// counted out as often as in.
constexpr float kPastPlane = 0.05f;
constexpr u32 kCountIn = 8, kCountOut = 248;

// The inverse of the 3 x 3 part of m (rows); false when it has none.
bool Inverse3(const float m[4][4], float inv[3][3])
{
    const float c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    const float c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    const float c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    const float det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    if (!(std::fabs(det) > 1e-20f))
        return false;
    const float s = 1.0f / det;
    inv[0][0] = c00 * s;
    inv[1][0] = c01 * s;
    inv[2][0] = c02 * s;
    inv[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * s;
    inv[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * s;
    inv[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * s;
    inv[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * s;
    inv[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * s;
    inv[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * s;
    return true;
}

void Report(const char* what)
{
    static const char* said[4];
    for (const char* s : said)
        if (s == what)
            return;
    for (const char*& s : said)
        if (!s) {
            s = what;
            break;
        }
    printf("VU1: mc2Extrude: %s\n", what);
}

// Which triangle of a strip vertex i completes: none for a restart or one of
// a strip's first two vertices; odd for every second one (reversed winding).
// `last` follows the restarts as the kick's does.
struct StripWalk
{
    u32 last = 1;
    bool Completes(u32 i, bool restart, bool& odd)
    {
        if (restart) {
            last = i;
            return false;
        }
        odd = ((i - last - 1) & 1) != 0;
        return i >= 2;
    }
};

// ------------------------------------------------------------------ kick

// Sends the batch's output vertices: triangles outside the guard band or
// behind the near plane are not drawn, those crossing them are clipped and
// sent as fans afterwards in their own (flat) colour.
void KickFlat(vu1::Machine& vu, u32 tagupper, u32 regs)
{
    State& st = St(vu);
    Batch& b = CurBatch(st);
    const u32 n = st.n;
    const float g = vu.F(MC2_CLIPSCALE)[3];
    float m[4][4];
    LocalCull(vu, st, m);
    float cc[MC2_MAXBATCH][4];
    u32 oc[MC2_MAXBATCH];
    bool hidden[MC2_MAXBATCH];
    for (u32 i = 0; i < n; ++i) {
        float p[3];
        Position(vu, st, i, p);
        Through(m, p, cc[i]);
        oc[i] = Outcodes(cc[i], g);
        hidden[i] = (b.flags[i] & VF_RESTART) != 0;
    }
    ClipList clips;
    StripWalk walk;
    for (u32 i = 0; i < n; ++i) {
        bool odd = false;
        if (!walk.Completes(i, (b.flags[i] & VF_RESTART) != 0, odd))
            continue;
        ClipTest(oc, i - 2, i - 1, i, hidden, clips);
    }
    SendBatch(vu, st, hidden, tagupper, regs);
    KickClipped(vu, st, clips, cc, tagupper, regs, true);
}

}  // namespace

// {k, GIF tag upper word, register list}.  Met by the interpreter it is the
// last command of a shadow material's block: it is appended to the material
// program and the block ends (such a block has no mc2Stop).  In a batch it
// kicks; k as for the other kicks (0 go on, 1 the run ends, 2 the run ends
// and the next run on this input half only ends), and the output buffers
// swap afterwards.
u32 KickClipHomo(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch) {
        if (st.material) {
            if (st.proglen < MC2_PROGRAM_QWC)
                vu.Q(MC2_PROGRAM + st.proglen++) = vu.Q(pc);
            else
                Report("no room for the kick in the material program");
        }
        return kStop;
    }
    const u32 k = vu.I(pc)[0];
    KickFlat(vu, vu.I(pc)[1], vu.I(pc)[2]);
    st.cur ^= 1;
    return AfterKick(st, pc, k);
}

u32 Extrude(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    Batch& b = CurBatch(st);
    u32 next = pc + 1;
    if (HighHalf(vu.I(pc)[3]) > 0.0f) {
        // Skinned: the skin step named next runs over the batch first.
        const u32 routine = RoutineOf(vu, next);
        const vu1::Entry* e = routine ? vu1::Lookup(routine) : nullptr;
        if (!e || e->fn(vu, next) == kStop)
            return kStop;
        st.compressed = 0;
        ++next;
    } else {
        st.compressed = 1;
        for (int k = 0; k < 3; ++k)
            st.posoff[k] = vu.F(pc)[k];
    }
    float light[3], plane[4];
    for (int k = 0; k < 3; ++k)
        light[k] = vu.F(next)[k];
    for (int k = 0; k < 4; ++k)
        plane[k] = vu.F(next + 1)[k];
    next += 2;
    if (st.stride < 3) {
        Report("a vertex needs three quadwords (position, -, normal); nothing drawn");
        return kStop;
    }

    static const float identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    const float(*local)[4] = st.haveLocal ? st.local : identity;
    float inv[3][3];
    if (!Inverse3(local, inv)) {
        Report("the object matrix has no inverse; nothing drawn");
        return kStop;
    }
    // The light in the model's space: a normal n faces away from it when
    // n . lm > 0, whatever the matrix's scale.
    float lm[3];
    for (int j = 0; j < 3; ++j)
        lm[j] = light[0] * inv[0][j] + light[1] * inv[1][j] + light[2] * inv[2][j];
    const float nl = plane[0] * light[0] + plane[1] * light[1] + plane[2] * light[2];
    const float nlen = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);

    float m[4][4];
    LocalCull(vu, st, m);
    float cc[MC2_MAXBATCH][4];
    for (u32 i = 0; i < st.n; ++i) {
        float p[3], n[3];
        Position(vu, st, i, p);
        Normal(vu, st, i, MC2_NORMAL_SLOT, false, n);
        if (vu.I(InVertex(st, i, 0))[3] & 0x8000u)
            b.flags[i] |= VF_RESTART;
        if (n[0] * lm[0] + n[1] * lm[1] + n[2] * lm[2] > 0.0f) {
            float t = kMaxExtrude;
            if (nl < 0.0f) {
                float pw[3];
                for (int j = 0; j < 3; ++j)
                    pw[j] = p[0] * local[0][j] + p[1] * local[1][j] + p[2] * local[2][j] + local[3][j];
                const float dist = plane[0] * pw[0] + plane[1] * pw[1] + plane[2] * pw[2] + plane[3];
                t = std::clamp(-(dist + kPastPlane * nlen) / nl, 0.0f, kMaxExtrude);
            }
            for (int j = 0; j < 3; ++j)
                p[j] += t * lm[j];
        }
        // The kick reads the moved position where the vertex was.
        float* slot = vu.F(InVertex(st, i, 0));
        for (int j = 0; j < 3; ++j)
            slot[j] = p[j];
        Through(m, p, cc[i]);
    }
    st.compressed = 0;

    // Reversed depth: the test passes behind the scene, and faces turned
    // away from the eye count in.
    const bool reversed = st.vscale[2] < 0.0f;
    const float uv[2] = {0.0f, 0.0f};
    StripWalk walk;
    for (u32 i = 0; i < st.n; ++i) {
        bool odd = false;
        u32 count = kCountIn;
        if (walk.Completes(i, (b.flags[i] & VF_RESTART) != 0, odd)) {
            const bool front = (FacingDet(cc[i - 2], cc[i - 1], cc[i]) < 0.0f) != odd;
            count = front != reversed ? kCountIn : kCountOut;
        }
        const u32 rgba[4] = {count, count, count, 0x80};
        WriteVertex(vu, st, OutVertex(st, i), cc[i], uv, rgba, 0xFF, (b.flags[i] & VF_RESTART) != 0);
    }
    return next;
}

}  // namespace mc2

CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2KickClipHomo, "mc2KickClipHomo", mc2::KickClipHomo);
