// Blur trails.
#include "game/objblur.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "game/QuadTree.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/Render2D.h"

ObjectBlur* ObjectBlur::blurs = nullptr;

namespace {

// Opacities below this end the blur.
constexpr float kMinOpacity = 0.0625f;
// The context mode of ghost drawing.
constexpr int kGhostMode = 32;
// The dither matrix the ghosts are drawn with.
constexpr u64 kGhostDither = 0x3031203131203120ull;
// Frame calls, including in cinema mode.
constexpr unsigned kBlurFlags = OBJF_FRAMECALL | OBJF_CINEMAFRAME;

bool HasModel(const Object* o)
{
    return o->index != 0xFFFF;
}

}  // namespace

int ObjectBlur::CountMats(Object* obj)
{
    int n = 0;
    for (Object* o = obj; o != nullptr; o = o->sibling)
        n += (HasModel(o) ? 1 : 0) + CountMats(o->child);
    return n;
}

Matrix* ObjectBlur::GetObjMatsRec(Object* obj, Matrix* out)
{
    for (Object* o = obj; o != nullptr; o = o->sibling) {
        if (HasModel(o))
            *out++ = o->mat;
        out = GetObjMatsRec(o->child, out);
    }
    return out;
}

Matrix* ObjectBlur::SetObjMatsRec(Object* obj, Matrix* in)
{
    for (Object* o = obj; o != nullptr; o = o->sibling) {
        if (HasModel(o))
            o->mat = *in++;
        in = SetObjMatsRec(o->child, in);
    }
    return in;
}

int ObjectBlur::Init(const ObjectBlur_params& params)
{
    pBlurObj = params.pObj;
    nNumBlurs = nAllocBlurs = params.nBlurs;
    nFrameDelay = 1;
    nMatsPerObj = CountMats(pBlurObj);
    pMatBuf = static_cast<Matrix*>(malloc(size_t(std::max(1, nAllocBlurs * nMatsPerObj)) * sizeof(Matrix)));
    if (pMatBuf == nullptr) {
        nNumBlurs = nAllocBlurs = 0;   // nothing to draw; it ends at its first frame
    } else {
        for (int i = 0; i < nAllocBlurs; i++)
            GetObjMatsRec(pBlurObj, Slot(i));
    }
    nCurrBuf = 0;
    nFrameCount = 0;
    flags |= kBlurFlags;
    return 1;
}

ObjectBlur* ObjectBlur::Change(int n, float opacity)
{
    if (opacity < kMinOpacity)
        n = 0;
    if (n > nAllocBlurs) {
        Matrix* buf = static_cast<Matrix*>(malloc(size_t(n * std::max(1, nMatsPerObj)) * sizeof(Matrix)));
        if (buf != nullptr) {
            // Keep the ring ordered from the oldest pose (after nCurrBuf) to
            // the newest (before it): slots up to nCurrBuf stay, the copies of
            // the oldest pose follow slot nCurrBuf, and the old slots after it
            // move to the end.
            const int N = nNumBlurs, added = n - N, m = nMatsPerObj;
            const size_t pose = size_t(m) * sizeof(Matrix);
            std::memcpy(buf, pMatBuf, size_t(nCurrBuf + 1) * pose);
            for (int i = 1; i <= added; i++)
                std::memcpy(buf + (nCurrBuf + i) * m, Slot(nCurrBuf), pose);
            std::memcpy(buf + (nCurrBuf + 1 + added) * m, Slot(nCurrBuf + 1), size_t(N - 1 - nCurrBuf) * pose);
            free(pMatBuf);
            pMatBuf = buf;
            nNumBlurs = nAllocBlurs = n;
        }
    } else {
        nNumBlurs = n;
    }
    if (n == 0)
        return nullptr;
    vOpacity = opacity;
    return this;
}

int ObjectBlur::Frame()
{
    if (nNumBlurs == 0)
        return SendMessage(OM_DIE, nullptr);
    if (--nFrameCount < 0) {
        GetObjMatsRec(pBlurObj, Slot(nCurrBuf));
        nCurrBuf = (nCurrBuf + 1) % nNumBlurs;
        nFrameCount = nFrameDelay;
        mat = pBlurObj->mat;
        radius = pBlurObj->radius;
    }
    if (controller[0].pad & (u32(BUT_SELECT) << 16))
        return SendMessage(OM_DIE, nullptr);
    if (!InList()) {
        pNextRender = blurs;
        blurs = this;
    }
    return 0;
}

void ObjectBlur::RenderBlur(RenderContext& rc)
{
    // An ended blur has no ghosts to draw, and its hierarchy may already be
    // gone (a character deleted after this frame's tick): leave it alone.
    if (nNumBlurs == 0)
        return;
    GetObjMatsRec(pBlurObj, Slot(nCurrBuf));
    const int savedMode = rc.mode;
    rc.mode = kGhostMode;
    Render2D r2d;
    r2d.Open(therenderer);
    r2d.SetRegister(GS_DTHE, 1);
    r2d.SetRegister(GS_DIMX, kGhostDither);
    r2d.Close(therenderer);
    for (int i = nNumBlurs - 1; i >= 1; i--) {
        rc.light_colour.w.setw(float(i) * vOpacity / float(nNumBlurs));
        SetObjMatsRec(pBlurObj, Slot((nCurrBuf + i) % nNumBlurs));
        Draw(rc, pBlurObj, pBlurObj->mat);
    }
    rc.mode = savedMode;
    SetObjMatsRec(pBlurObj, Slot(nCurrBuf));
}

bool ObjectBlur::InList() const
{
    for (const ObjectBlur* b = blurs; b != nullptr; b = b->pNextRender)
        if (b == this)
            return true;
    return false;
}

void ObjectBlur::DeleteEntry()
{
    for (ObjectBlur** link = &blurs; *link != nullptr; link = &(*link)->pNextRender)
        if (*link == this) {
            *link = pNextRender;
            break;
        }
    pNextRender = nullptr;
}

int ObjectBlur::Die()
{
    DeleteEntry();
    free(pMatBuf);
    pMatBuf = nullptr;
    nNumBlurs = nAllocBlurs = 0;
    delete this;
    return -1;
}

int ObjectBlur::ObjectBlur_mh(ObjectBlur* b, OBJMESSAGE msg, void* p)
{
    switch (msg) {
    case OM_CREATE: {
        ObjectBlur* n = new ObjectBlur;
        if (n != nullptr)
            n->messagehandler = reinterpret_cast<OBJMESSAGEHANDLER>(ObjectBlur_mh);
        return int(reinterpret_cast<intptr_t>(n));   // the new object, as kinds answer creation
    }
    case OM_INIT:
        return b->Init(*static_cast<const ObjectBlur_params*>(p));
    case OM_FRAME:
        return b->Frame();
    case OM_DIE:
        return b->Die();
    default:
        return 0;
    }
}

ObjectBlur* MakeObjectBlur(Object* obj, int nBlurs, float opacity)
{
    if (nBlurs < 1 || obj == nullptr)
        return nullptr;
    ObjectBlur* b = new ObjectBlur;   // zero-filled on the game heap
    if (b == nullptr)
        return nullptr;
    b->messagehandler = reinterpret_cast<OBJMESSAGEHANDLER>(ObjectBlur::ObjectBlur_mh);
    ObjectBlur_params params{obj, nBlurs, int(opacity)};
    if (!world.AddObject(b, &params)) {
        b->Delete();
        return nullptr;
    }
    return b;
}

ObjectBlur* ChangeObjectBlur(ObjectBlur* b, int n, float opacity)
{
    return b->Change(n, opacity);
}

void RenderObjectBlurs(RenderContext& rc)
{
    for (ObjectBlur* b = ObjectBlur::blurs; b != nullptr; b = b->pNextRender)
        b->RenderBlur(rc);
    ObjectBlur::blurs = nullptr;
    rc.light_colour.w.setw(1.0f);
}
