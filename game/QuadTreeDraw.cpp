// Drawing the visible city: the road pass over the visible segments and
// junctions, then the kept instances nearest first with their fades, the
// opaque ones of one model gathered into hardware-instanced batches (a
// low-detail model beyond the model's switch distance), the instances fading
// out, and the visible ground patches.
#include "game/QuadTree.h"

#include "ZevEngine2/Object.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Transparency.h"
#include "game/PS2/RoadDraw.h"
#include "game/Road.h"

int instancing_off = 0;

namespace {

// The end of the chain of models with queued instances (null: not chained).
MdlfileCache* const kChainEnd = reinterpret_cast<MdlfileCache*>(1);

// An instance's link in its model's queue is its obj field.
Instance* NextQueued(const Instance* in) { return reinterpret_cast<Instance*>(in->obj); }

}  // namespace

const int InstanceDraw::nMaxMatrices;

void InstanceDraw::Prepare(MdlfileCache* _mfc, GEOMETRY0* g, u8* _params)
{
    nMatNow = 0;
    mfc = _mfc;
    model = g ? g->GetModel(_mfc) : nullptr;
    radius = mfc->obj.radius;
    can_instance = model && !(model->flags & 0x2E0);
    params = _params;
}

void InstanceDraw::Draw(RenderContext& rc, const Matrix& mat)
{
    if (!model)
        return;
    InstMat[nMatNow++] = mat;
    if (nMatNow == nMaxMatrices || !can_instance)
        Flush(rc);
}

void InstanceDraw::Flush(RenderContext& rc)
{
    const int n = nMatNow;
    nMatNow = 0;
    if (n < 1 || !model)
        return;
    if (model->flags & MDL_FACECAMERA)
        for (int i = 0; i < n; ++i)
            InstMat[i] = FlattenWRT(InstMat[i], rc.view_world.x.xyz());
    if (model->nTranslucent)
        for (int i = 0; i < n; ++i)
            AddTransparency(rc, model, mfc, params, InstMat[i]);
    if (model->nOpaque == 0)
        return;
    if (n == 1) {
        model->Setup(rc, InstMat[0]);
        model->Render(mfc, params, 0, model->nOpaque);
        return;
    }
    therenderer.BeginCommands();
    SendInstanceMatrices(InstMat, n);
    RenderInstances(n);
    model->Render(mfc, params, 0, model->nOpaque);
}

void QuadTree::DrawRoads(RenderContext& rc)
{
    if (visrslist.IsEmpty() && visjtnlist.IsEmpty())
        return;
    BeginDrawRoads(rc);
    for (auto* l = visrslist.Head(); !l->IsEOList(); l = l->Next())
        l->data->Draw(rc);
    for (auto* l = visjtnlist.Head(); !l->IsEOList(); l = l->Next())
        l->data->Draw(rc);
    for (auto* l = visjtnlist.Head(); !l->IsEOList(); l = l->Next())
        l->data->DrawMiddle(rc);
    EndDrawRoads();
}

void QuadTree::DrawObjects(RenderContext& rc)
{
    // Pass 1: the kept instances, nearest first.  Opaque ones without an
    // object are queued on their model.
    MdlfileCache* chain = kChainEnd;
    stObjects.ForEach([&](Instance* in, float) {
        MdlfileCache& m = mdlfiles[in->mdlfileid];
        const float a = FadeIn(in);
        if (Object* o = in->obj) {
            if (a != 0.0f)
                rc.SetGlobalTransparency(a);
            FindBestLights(rc, o->GetWorldPos(), o->radius, true);
            ::Draw(rc, o, o->mat);
            if (a != 0.0f)
                rc.SetGlobalTransparency(1.0f);
        } else if (a != 0.0f) {
            rc.SetGlobalTransparency(a);
            FindBestLights(rc, in->Pos(), 1.0f, true);
            in->Draw(rc, &m);
            rc.SetGlobalTransparency(1.0f);
        } else if (instancing_off) {
            FindBestLights(rc, in->Pos(), 1.0f, true);
            in->Draw(rc, &m);
        } else {
            in->obj = reinterpret_cast<Object*>(m.pFirstInstance);
            m.pFirstInstance = in;
            if (!m.pNextWithInstances) {
                m.pNextWithInstances = chain;
                chain = &m;
            }
        }
    });

    // Pass 2: the queued models, in batches.
    while (chain != kChainEnd) {
        MdlfileCache& m = *chain;
        chain = m.pNextWithInstances;
        Object& tmpl = m.obj;
        GEOMETRY* g = tmpl.geom;
        const MODEL* near = g ? g->GetModel(&m) : nullptr;
        const bool batched = !tmpl.child && g && near && !(near->flags & 0xE0);
        Instance* in = m.pFirstInstance;
        m.pFirstInstance = nullptr;
        m.pNextWithInstances = nullptr;
        if (batched) {
            InstanceDraw nearBatch, farBatch;
            nearBatch.Prepare(&m, g, g->params);
            const bool far = g->lowresdist != 0.0f && g->lowresgeom;
            farBatch.Prepare(&m, far ? g->lowresgeom : nullptr, g->params);
            while (in) {
                Instance* next = NextQueued(in);
                in->obj = nullptr;
                if (!rc.TestCull(in->Pos(), tmpl.radius)) {
                    const float w = (rc.world_clip * Vector(in->Pos(), 1.0f))[3];
                    InstanceDraw& b = far && w > g->lowresdist ? farBatch : nearBatch;
                    b.Draw(rc, in->GetDrawMatrix(&m));
                }
                in = next;
            }
            nearBatch.Flush(rc);
            farBatch.Flush(rc);
        } else {
            while (in) {
                Instance* next = NextQueued(in);
                in->obj = nullptr;
                if (!rc.TestCull(in->Pos(), tmpl.radius)) {
                    FindBestLights(rc, in->Pos(), 1.0f, true);
                    if (g)
                        g->pparams = in->params;
                    ::Draw(rc, &tmpl, in->GetDrawMatrix(&m));
                }
                in = next;
            }
        }
    }

    // Pass 3: the instances fading out.
    stFadeOut.ForEach([&](Instance* in, float) {
        const float a = FadeOut(in);
        if (a == 0.0f)
            return;
        rc.SetGlobalTransparency(a);
        if (Object* o = in->obj) {
            FindBestLights(rc, o->GetWorldPos(), o->radius, true);
            ::Draw(rc, o, o->mat);
        } else {
            FindBestLights(rc, in->Pos(), 1.0f, true);
            in->Draw(rc, &mdlfiles[in->mdlfileid]);
        }
        rc.SetGlobalTransparency(1.0f);
    });

    // Pass 4: the ground patches: each entry, then its right subtree, then
    // its left.
    BeginDrawPatches(rc);
    if (stPatches.Head() >= 0) {
        s16 stack[64];
        int sp = 0;
        stack[sp++] = s16(stPatches.Head());
        while (sp > 0) {
            const int i = stack[--sp];
            stPatches.Item(i)->Draw(rc);
            if (stPatches.Left(i) >= 0)
                stack[sp++] = s16(stPatches.Left(i));
            if (stPatches.Right(i) >= 0)
                stack[sp++] = s16(stPatches.Right(i));
        }
    }
    EndDrawPatches();
}
