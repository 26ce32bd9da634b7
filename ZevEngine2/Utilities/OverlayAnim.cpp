// Overlay animation: per-bone poses laid over a character's own animation.
#include "ZevEngine2/Utilities/OverlayAnim.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"

namespace {

// The overlay's fade-out lowers the weight by this much per bone entry.
constexpr float kFadeStep = 0.002f;

int NodeAnimID(const Object* obj)
{
    const NODE* node = obj->GetNode();
    return node != nullptr ? node->GetAnimID() : -1;
}

// Visits obj, then its descendants, then its later siblings and theirs
// (depth first, children before later siblings) until f returns false.
template <class F>
bool WalkBones(Object* obj, F& f)
{
    for (; obj != nullptr; obj = obj->sibling)
    {
        if (!f(obj) || !WalkBones(obj->child, f))
            return false;
    }
    return true;
}

}  // namespace

OverlayAnim::OverlayAnim()
    : m_playing(false), m_inFadeout(false), m_startFrame(0.0f), m_animLength(0), m_blendVal(0.0f), m_maxBlend(0.0f),
      m_rampup(0.0f), m_fadeout(0.0f), m_pOverlay(nullptr), m_tBoneCnt(0), m_allocCnt(0)
{
}

OverlayAnim::~OverlayAnim()
{
    FreeEntries();
}

void OverlayAnim::FreeEntries()
{
    for (int i = 0; i < m_allocCnt; i++)
        delete m_pOverlay[i].pAnim;   // its cursors go with it
    free(m_pOverlay);
    m_pOverlay = nullptr;
    m_allocCnt = 0;
    m_tBoneCnt = 0;
}

void OverlayAnim::Init(Object* rootObj, const int* pTBoneIDs, int tBoneCnt, float maxBlend, float rampup,
                       float fadeout)
{
    m_maxBlend = maxBlend;
    m_rampup = rampup;
    m_fadeout = fadeout;
    Object* first = rootObj != nullptr ? rootObj->child : nullptr;
    if (pTBoneIDs == nullptr)
    {
        tBoneCnt = 0;
        auto count = [&](Object*) {
            tBoneCnt++;
            return true;
        };
        WalkBones(first, count);
    }
    if (tBoneCnt < 0)
        tBoneCnt = 0;

    // The entries are made once; a later Init that needs more makes them
    // again rather than writing past them.
    if (m_pOverlay == nullptr || tBoneCnt > m_allocCnt)
    {
        FreeEntries();
        if (tBoneCnt > 0)
        {
            m_pOverlay = (sOverlay*)malloc(tBoneCnt * sizeof(sOverlay));
            if (m_pOverlay == nullptr)
            {
                printf("OverlayAnim: no memory for %d bones\n", tBoneCnt);
                return;
            }
            for (int i = 0; i < tBoneCnt; i++)
                m_pOverlay[i] = sOverlay{-1, nullptr, new Animation, 0};
            m_allocCnt = tBoneCnt;
        }
    }
    m_tBoneCnt = tBoneCnt;
    for (int i = 0; i < m_tBoneCnt; i++)
    {
        m_pOverlay[i].pObj = nullptr;
        m_pOverlay[i].id = pTBoneIDs != nullptr ? pTBoneIDs[i] : -1;
    }

    int k = 0;
    auto bind = [&](Object* obj) {
        if (k >= m_tBoneCnt)
            return false;
        int id = NodeAnimID(obj);
        if (pTBoneIDs != nullptr)
        {
            // Bones of the list missing from the hierarchy stay unbound.
            while (k < m_tBoneCnt && pTBoneIDs[k] < id)
                m_pOverlay[k++].pObj = nullptr;
            if (k >= m_tBoneCnt)
                return false;
            if (pTBoneIDs[k] != id)
                return true;
        }
        sOverlay& e = m_pOverlay[k++];
        e.id = id;
        e.pObj = obj;
        e.allowAnim = 1;
        return k < m_tBoneCnt;
    };
    WalkBones(first, bind);
}

void OverlayAnim::PlayAnim(AnimChar* pAnimChar, float frame)
{
    if (pAnimChar == nullptr)
    {
        printf("OverlayAnim: no animation to play\n");
        return;
    }
    m_startFrame = frame;
    m_blendVal = 0.0f;
    m_animLength = pAnimChar->length;
    int k = 0;
    for (int b = 0; b < pAnimChar->GetCount(); b++)
    {
        int bid = pAnimChar->GetID(b);
        while (k < m_tBoneCnt - 1 && m_pOverlay[k].id < bid)
            k++;
        if (k < m_tBoneCnt && m_pOverlay[k].id == bid)
        {
            if (m_pOverlay[k].pAnim != nullptr)
                m_pOverlay[k].pAnim->Set(pAnimChar->GetBundle(b), m_animLength, 0, (u16)((int)frame & 0xFFFF));
            k++;
        }
    }
    m_inFadeout = false;
    m_playing = true;
}

int OverlayAnim::Animate(float frame)
{
    if (m_playing)
    {
        float d = frame - m_startFrame;
        bool finished = true;
        for (int i = 0; i < m_tBoneCnt; i++)
        {
            sOverlay& e = m_pOverlay[i];
            Animation* a = e.pAnim;
            if (e.pObj == nullptr || e.allowAnim == 0 || a == nullptr || a->streamCnt == 0 ||
                !(d < (float)m_animLength))
                continue;
            AnimRTKey key;
            key.flags = 0;
            for (int k = 0; k < a->streamCnt; k++)
            {
                AnimRtStream* c = a->pStream[k];
                if (c == nullptr || c->numKeys == 0)
                    continue;
                switch (c->type)
                {
                case ANIM_TYPE_POS:
                    key.pos = Vector(static_cast<AnimRtStreamPos*>(c)->Evaluate(d, m_animLength).xyz(), 1.0f);
                    key.flags |= ANIMKEY_POS;
                    break;
                case ANIM_TYPE_QUAT:
                case ANIM_TYPE_COMP_QUAT:
                    key.ang = static_cast<AnimRtStreamQuat*>(c)->Evaluate(d, m_animLength);
                    key.flags |= ANIMKEY_ROT;
                    break;
                case ANIM_TYPE_INSTANT:
                    // An event's handler that restarted or freed this overlay
                    // ends the step.
                    if (!static_cast<AnimRtStreamInstant*>(c)->Evaluate(d, m_animLength, a, e.pObj, 0))
                        return 1;
                    break;
                default:
                    break;
                }
            }
            BlendAnimation* b = e.pObj->blendAnim;
            if (b != nullptr)
            {
                if (b->poseBlend < m_blendVal)
                {
                    b->poseBlend = m_blendVal;
                    b->pose = key;
                }
                else if (b->pose.flags != 0)
                {
                    b->pose.Interpolate(&key, m_blendVal);
                }
                else
                {
                    b->poseBlend = m_blendVal;
                    b->pose = key;
                }
            }
            m_blendVal = std::min(m_blendVal + m_rampup, m_maxBlend);
            finished = false;
        }
        if (finished)
        {
            m_playing = false;
            return 0;
        }
        return 1;
    }
    if (m_inFadeout)
    {
        bool finished = true;
        for (int i = 0; i < m_tBoneCnt; i++)
        {
            sOverlay& e = m_pOverlay[i];
            if (e.pObj == nullptr || e.allowAnim == 0)
                continue;
            BlendAnimation* b = e.pObj->blendAnim;
            if (b == nullptr || !(b->poseBlend > 0.0f))
                continue;
            b->poseBlend = m_blendVal;
            if (m_blendVal > 0.0f)
                finished = false;
            m_blendVal = std::max(m_blendVal - kFadeStep, 0.0f);
        }
        if (finished)
            m_inFadeout = false;
        return 1;
    }
    return 0;
}

void OverlayAnim::AllowBoneID(int boneID, int start)
{
    for (int i = 0; i < m_tBoneCnt; i++)
    {
        if (m_pOverlay[i].id == boneID)
            m_pOverlay[i].allowAnim = start;
    }
}
