// What the camera sees of the city: the front-to-back walk over the window's
// quad trees that fills the frame's draw lists, the fades of instances coming
// into and out of the list, and the flat walk used by searches.
#include <algorithm>

#include "game/QuadTree.h"
#include "game/Rain.h"

float g_fClipTest = 150.0f;

namespace {

float Depth(const RenderContext& rc, VectorPos p)
{
    return (rc.world_view * p)[2];
}

float Diagonal(const Cuboid& b)
{
    return Length(VectorXYZ(b.max[0] - b.min[0], b.max[1] - b.min[1], b.max[2] - b.min[2]));
}

bool IsFadeLevel(u8 s)
{
    return (s & 0xF0) != 0 && (s & 0x0F) == 0;
}

}  // namespace

bool bIsOccluded(const Cuboid& box, bool bAllEdges)
{
    return Occlusion::bIsOccluded(box, bAllEdges);
}

void QuadTree::ClearVisibility()
{
    visjtnlist.RemoveAll();
    visrslist.RemoveAll();
    Occlusion::Clear();
    stFadeOut.Clear();
    stObjects.Clear();
    stPatches.Clear();
    gRain.ClearGHC();
}

float FadeIn(Instance* inst)
{
    u8& s = inst->State();
    if (s & 0x0F)
        return 0.0f;
    s = u8(s + 0x10);
    if (s == 0) {
        s = INSTSTATE_SHOWN;
        return 0.0f;
    }
    return float(s >> 4) / 16.0f;
}

float FadeOut(Instance* inst)
{
    u8& s = inst->State();
    if (s & 0x0F)
        return 0.0f;
    s = u8(s - 0x20);
    return float(s >> 4) / 16.0f;
}

Cuboid QuadTree::CurrentMaxCuboid() const
{
    Cuboid box(VectorPos(1e38f, 1e38f, 1e38f), VectorPos(-1e38f, -1e38f, -1e38f));
    for (const Grid& g : grid)
        if (g.root != nullptr) {
            box.min = VectorPos(std::min(box.min[0], g.root->ext.min[0]), std::min(box.min[1], g.root->ext.min[1]),
                                std::min(box.min[2], g.root->ext.min[2]));
            box.max = VectorPos(std::max(box.max[0], g.root->ext.max[0]), std::max(box.max[1], g.root->ext.max[1]),
                                std::max(box.max[2], g.root->ext.max[2]));
        }
    return box;
}

namespace {

// An instance that fell out of the draw list: it fades out when it was shown
// or fading, otherwise it is simply hidden.
void Dropped(QuadTree* qt, Instance* in, float key)
{
    u8& s = in->State();
    s &= u8(~0x10);
    bool fade = false;
    if (in->obj != nullptr) {
        fade = IsFadeLevel(s);
        if (!fade)
            s = INSTSTATE_HIDDEN;
    } else if (s == INSTSTATE_SHOWN) {
        s = INSTSTATE_HIDDEN;
        fade = true;
    } else {
        fade = IsFadeLevel(s);
        if (!fade)
            s = INSTSTATE_HIDDEN;
    }
    if (fade)
        if (Instance* out = qt->stFadeOut.Add(in, key, nullptr))
            out->State() = INSTSTATE_HIDDEN;
}

}  // namespace

void QuadTree::AddVisible(const RenderContext& rc, QuadNode* node, int nFadeOveride)
{
    for (int k = 0; k < node->nObjects; k++) {
        Instance* in = &node->objects[k];
        MdlfileCache& m = mdlfiles[in->mdlfileid];
        const float r = m.obj.radius * in->Scale();
        if (rc.TestCull(in->Pos(), r)) {
            in->State() = INSTSTATE_OUTOFVIEW;
            continue;
        }
        if (nFadeOveride != -1)
            in->State() = u8(nFadeOveride);
        float key;
        if (Object* o = in->obj) {
            if ((o->flags & OBJF_ASKWASDRAWN) && o->SendMessage(OM_WASDRAWN, nullptr) != 0)
                continue;
            key = std::max(Depth(rc, o->Pos()), 0.01f) / std::max(o->radius, 0.5f);
        } else {
            if (!m.Resident() || (m.obj.flags & CITYMODEL_ALWAYSREAL))
                continue;
            key = std::max(Depth(rc, in->Pos()), 0.01f) / std::max(r, 0.5f);
            const u8 s = in->State();
            if ((s == INSTSTATE_HIDDEN || s == INSTSTATE_OUTOFVIEW) && !stObjects.ShouldAdd(key))
                continue;
        }
        float outkey = 0.0f;
        if (Instance* out = stObjects.Add(in, key, &outkey))
            Dropped(this, out, outkey);
    }

    for (int k = 0; k < node->nGroundPatches; k++) {
        GroundPatch* gp = &node->groundpatches[k];
        const Cuboid box = gp->GetBox();
        if (rc.TestCull(gp->Centre(), gp->Radius()) || box.TestCull(rc.world_cull))
            continue;
        const float nearDepth = Depth(rc, gp->Centre()) - gp->Radius();
        if (nearDepth < 200.0f && !bIsOccluded(box, true))
            stPatches.Add(gp, nearDepth, nullptr);
    }

    for (int k = 0; k < node->nRoadSegs; k++) {
        RoadSeg* rs = &node->roadsegs[k];
        const Cuboid box = rs->GetBox();
        const float d = std::min(Depth(rc, VectorPos(rs->bezier.c0.v)), Depth(rc, VectorPos(rs->bezier.c3.v)));
        if (d <= 200.0f && !bIsOccluded(box, false))
            visrslist.AddTail(rs);
    }

    Junction* j = node->junctions;
    for (int k = 0; k < node->nJunctions; k++, j = j->Next()) {
        // A junction with an empty slot has no edge points to bound.
        bool filled = true;
        for (int s = 0; s < j->nRoadsegs; s++)
            filled &= j->roadsegs[s] != nullptr;
        const Cuboid box = filled ? j->GetBox() : Cuboid(j->pos, j->radius);
        if (Depth(rc, j->pos) <= 200.0f && !bIsOccluded(box, true))
            visjtnlist.AddTail(j);
    }
}

void QuadTree::CalcSortedVisibility(const RenderContext& rc)
{
    const VectorPos cam = rc.view_world.GetTrans();
    const float cx = cam[0], cz = cam[2];
    const int wantx = CentreCell(cx, gridx), wantz = CentreCell(cz, gridz);
    SyncGrid(wantx, wantz, true);
    const int sidex = wantx < gridx ? 1 : wantx > gridx ? -1 : 2;
    const int sidez = wantz < gridz ? 1 : wantz > gridz ? -1 : 2;

    struct Entry
    {
        float x, z, half;
        QuadNode* node;
    };
    constexpr int STACK = 64;
    Entry stack[STACK];
    int sp = 0;
    auto push = [&](const Entry& e) {
        if (sp == STACK) {
            if (!reportedStack)
                printf("City: the visibility walk's stack is full; part of the city is skipped\n");
            reportedStack = true;
            return;
        }
        stack[sp++] = e;
    };

    static constexpr int order[9][2] = {{0, 0}, {0, -1}, {0, 1}, {-1, 0}, {1, 0}, {-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
    for (const auto& o : order) {
        if (o[0] == sidex || o[1] == sidez)
            continue;
        const int gx = gridx + o[0], gz = gridz + o[1];
        QuadNode* root = grid[Slot(gx, gz)].root;
        if (root != nullptr && !root->ext.TestCull(rc.world_cull))
            push({256.0f * gx + 128.0f, 256.0f * gz + 128.0f, 128.0f, root});
    }

    Occlusion::Init(rc);

    while (sp > 0) {
        Entry& e = stack[sp - 1];
        QuadNode* node = e.node;
        if (e.half >= 0.0f) {
            if (bIsOccluded(node->ext, true)) {
                sp--;
                continue;
            }
            Occluder* oc = node->occluders;
            for (int i = 0; i < node->nOccluders; i++, oc = oc->Next())
                Occlusion::AddOccluder(*oc);
            const float h = e.half * 0.5f;
            const float ex = e.x, ez = e.z;
            e.half = -e.half;
            const int q = (cx < ex ? 1 : 0) | (cz < ez ? 2 : 0);
            const u32 parentBits = node->Flags() & (QN_CULLED | QN_TOOSMALL);
            for (int i = 0; i < 4; i++) {
                const int ci = i ^ q;
                QuadNode* c = node->child[ci];
                if (c == nullptr)
                    continue;
                if (c->ext.TestCull(rc.world_cull)) {
                    c->SetFlags((c->Flags() & ~(QN_CULLED | QN_TOOSMALL)) | QN_CULLED);
                    continue;
                }
                const float diag = Diagonal(c->ext);
                const float depth = Depth(rc, c->ext.Centre());
                if (depth > g_fClipTest + std::max(diag, 5.0f))
                    continue;
                if (!(c->Flags() & (QN_JUNCTIONS | QN_ROADSEGS | QN_GROUNDPATCHES))) {
                    const float key = std::max(depth, 0.5f) / std::max(diag * 0.5f, 0.1f);
                    if (!stObjects.ShouldAdd(key)) {
                        c->SetFlags((c->Flags() & ~(QN_CULLED | QN_TOOSMALL)) | QN_TOOSMALL);
                        continue;
                    }
                }
                c->SetFlags(c->Flags() | parentBits);
                push({ex + ((ci & 1) ? h : -h), ez + ((ci & 2) ? h : -h), h, c});
            }
        } else {
            sp--;
            if (bIsOccluded(node->ext, true))
                continue;
            const u32 f = node->Flags();
            AddVisible(rc, node, (f & QN_CULLED) ? INSTSTATE_OUTOFVIEW : (f & QN_TOOSMALL) ? INSTSTATE_HIDDEN : -1);
            node->SetFlags(f & ~(QN_CULLED | QN_TOOSMALL));
        }
    }
}

// ---------------------------------------------------------------------------
// The flat walk.

Visible2D::Visible2D(const Cuboid& box, int mask) : flags(mask)
{
    matCull = box.UnitMat();
    matCull.y[1] = 0.0f;
    matCull.w[1] = 0.0f;
    Init();
}

void Visible2D::Push(QuadNode* n)
{
    static bool reported = false;
    if (sp == stack + STACK) {
        if (!reported)
            printf("City: a flat walk's stack is full; part of the city is skipped\n");
        reported = true;
        return;
    }
    *sp++ = n;
}

void Visible2D::Init()
{
    sp = stack;
    if (world.quadtree == nullptr)
        return;
    for (Grid& g : world.quadtree->grid)
        if (g.root != nullptr && !g.root->ext.TestCull(matCull))
            Push(g.root);
}

bool Visible2D::operator++()
{
    if (sp == stack)
        return false;
    QuadNode* n = *--sp;
    for (QuadNode* c : n->child)
        if (c != nullptr && (c->Flags() & u32(flags)) && !c->ext.TestCull(matCull))
            Push(c);
    return true;
}
