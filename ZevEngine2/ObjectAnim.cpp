// Objects: animation set-up over a hierarchy.  Starting, cross-fading,
// posing and offsetting animation on an object and its descendants, with the
// model file's own animation table and with animation group files.
//
// The walks that can pass over sub-trees use ObjectHierarchyIterator: no
// recursion and no allocation.  A sub-tree whose root animates itself (flag
// 0x20000) is left entirely to its own animation.
#include "ZevEngine2/Object.h"

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"

namespace {

// Calls f on each descendant the hierarchy walkers visit.
template <class F>
void ForEachVisited(Object* root, const F& f)
{
    ObjectHierarchyIterator it(root, ObjectHierarchyIterator::SKIP_SUBTREE);
    while (Object* o = it.Next())
        f(o);
}

// The number of entries of a model file's animation table: the count of the
// file's last animation block, as the fix-up leaves the table.  0 when the
// file has no table or its directory is not at hand.
int AnimTableSize(const MDLFILE* mf)
{
    if (mf == nullptr || mf->anmfile == nullptr || mf->header == nullptr)
        return 0;
    int n = 0;
    for (u32 k = 0; k < mf->header->blockCount; k++)
    {
        if (mf->header->block[k].type == EX5_BLOCK_ANIM)
            n = mf->header->block[k].count;
    }
    return n;
}

// The node animation id obj's bundles are matched by; -1 for none.
int NodeAnimID(const Object* obj)
{
    NODE* node = obj->GetNode();
    return node != nullptr ? node->GetAnimID() : -1;
}

// The bundle of animHeader for obj at the walk's running index *nodeNum (see
// SetAnimFile), moving the index past it; null when obj has none, the index
// then resting on the first bundle a later node may take.
AnimBundle* TakeBundle(const Object* obj, const AnimChar* animHeader, int* nodeNum)
{
    int count = animHeader->GetCount();
    if (*nodeNum < 0)
        *nodeNum = 0;
    if (obj->mdlfile == nullptr)
        return *nodeNum < count ? animHeader->GetBundle((*nodeNum)++) : nullptr;
    int id = NodeAnimID(obj);
    while (*nodeNum < count && animHeader->GetID(*nodeNum) < id)
        ++*nodeNum;
    // A node without an animation id takes no bundle, whatever id the bundle
    // under the index carries.
    if (id < 0 || *nodeNum >= count || animHeader->GetID(*nodeNum) != id)
        return nullptr;
    return animHeader->GetBundle((*nodeNum)++);
}

// Evaluates bundle's position and rotation streams at frame into key (flags
// 0x02 and 0x80 for the parts it has), running them on scratch, whose cursors
// are reused from object to object.  The last stream of a kind decides, as
// in playback.
AnimRTKey EvaluateBundle(Animation& scratch, AnimBundle* bundle, const AnimChar* animHeader, float frame)
{
    AnimRTKey key;
    scratch.Set(bundle, animHeader->length, animHeader->flags, 0);
    for (int i = 0; i < scratch.streamCnt; i++)
    {
        AnimRtStream* c = scratch.pStream[i];
        if (c == nullptr || c->numKeys == 0)
            continue;
        if (c->type == ANIM_TYPE_POS)
        {
            key.pos = Vector(static_cast<AnimRtStreamPos*>(c)->Evaluate(frame, scratch.animLen));
            key.flags |= ANIMKEY_POS;
        }
        else if (c->type == ANIM_TYPE_QUAT || c->type == ANIM_TYPE_COMP_QUAT)
        {
            key.ang = static_cast<AnimRtStreamQuat*>(c)->Evaluate(frame, scratch.animLen);
            key.flags |= ANIMKEY_ROT;
        }
    }
    return key;
}

// One object of PoseAnimHierarchyToFrame.
void PoseToFrame(Object* obj, Animation& scratch, const AnimChar* animHeader, int* nodeNum, float frame,
                 float blendAmount)
{
    AnimBundle* bundle = TakeBundle(obj, animHeader, nodeNum);
    if (bundle == nullptr)
        return;
    AnimRTKey key = EvaluateBundle(scratch, bundle, animHeader, frame);
    if (blendAmount == 1.0f)
        obj->blendAnim->pose = key;
    else
        obj->blendAnim->pose.Interpolate(&key, blendAmount);
}

void AllocBlendAnimTree(Object* obj, int flags, u16 start, bool& failed)
{
    if (obj->blendAnim == nullptr)
    {
        obj->blendAnim = new BlendAnimation(obj, nullptr, (unsigned)flags, 0, 0, start);
        if (obj->blendAnim == nullptr && !failed)
        {
            printf("Object: no memory for the blend animation of object %d\n", obj->id);
            failed = true;
        }
    }
    for (Object* c = obj->child; c != nullptr; c = c->sibling)
        AllocBlendAnimTree(c, flags & ~0x80, start, failed);
}

// The slot editors (SetBlendFactorHierarchy and its kind) walk the later
// siblings of the object they are given as well.  A cross-fade belongs to
// one hierarchy, so its object's sibling link is cut while they run.
class OwnHierarchyOnly
{
public:
    explicit OwnHierarchyOnly(Object* o) : obj(o), sibling(o->sibling) { obj->sibling = nullptr; }
    ~OwnHierarchyOnly() { obj->sibling = sibling; }
    OwnHierarchyOnly(const OwnHierarchyOnly&) = delete;
    OwnHierarchyOnly& operator=(const OwnHierarchyOnly&) = delete;

private:
    Object* obj;
    Object* sibling;
};

}  // namespace

// ---------------------------------------------------------------------------
// Animation files on a hierarchy

bool SetAnimFile(Object* obj, AnimChar* animHeader, int animoffset, int* nodeNum, bool clearStream,
                 float blendAmount, short sndBank)
{
    if (obj == nullptr || animHeader == nullptr || nodeNum == nullptr)
        return false;
    AnimBundle* bundle = TakeBundle(obj, animHeader, nodeNum);
    BlendAnimation* b = obj->blendAnim;
    if (b == nullptr)
        return false;
    if (clearStream)
        b->ClearAnimation();
    bool added = b->AddAnim(bundle, (u16)animoffset, blendAmount, animHeader->length, animHeader->flags, sndBank);
    return added && bundle != nullptr;
}

void Object::SetAnimFileHierarchy(AnimChar* animHeader, int animoffset, bool clearStream, float blendAmount,
                                  short sndBank)
{
    if (animHeader == nullptr)
    {
        printf("Object: no animation to start on object %d\n", id);
        return;
    }
    int nodeNum = 0;
    if (blendAnim != nullptr && !(flags & OBJF_SELFANIMATING))
        SetAnimFile(this, animHeader, animoffset, &nodeNum, clearStream, blendAmount, sndBank);
    ForEachVisited(this, [&](Object* o) {
        if (o->mdlfile == mdlfile && o->blendAnim != nullptr)
            SetAnimFile(o, animHeader, animoffset, &nodeNum, clearStream, blendAmount, sndBank);
    });
}

void Object::XFadeAnimFileHierarchy(AnimChar* animHeader, int nframes, int animoffset, short sndBank,
                                    bool morphXFade)
{
    if (blendAnim == nullptr)
        return;
    if (animHeader == nullptr)
    {
        printf("Object: no animation to cross-fade to on object %d\n", id);
        return;
    }
    if (blendAnim->animCnt == 0)
    {
        SetAnimFileHierarchy(animHeader, animoffset, true, 1.0f, sndBank);
        return;
    }
    // The running animation is frozen where it stands (when two were
    // playing) and kept alone; the new one is added beside it at weight 0 and
    // the two trade places, so the new animation is slot 0 and the old one
    // fades out of slot 1 from full weight.
    {
        OwnHierarchyOnly own(this);
        if (blendAnim->animCnt >= 2)
        {
            CollapseAnimSlotHierarchy(this, (float)animoffset, 0, 1, 0);
            ClearBlendAnimSlotHierarchy(this, 1);
        }
    }
    SetAnimFileHierarchy(animHeader, animoffset, false, 0.0f, sndBank);
    {
        OwnHierarchyOnly own(this);
        SwapBlendAnimHierarchy(this, 0, 1);
        SetBlendFactorHierarchy(this, 1, 1.0f);
    }
    u16 fade = ANIMF_XFADE | (morphXFade ? ANIMF_XFADEHOLD : 0);
    blendAnim->xfadeSpeed = (u16)nframes;
    blendAnim->flags |= fade;
    ForEachVisited(this, [&](Object* o) {
        if (o->blendAnim != nullptr && o->blendAnim->animCnt >= 2)
        {
            o->blendAnim->xfadeSpeed = (u16)nframes;
            o->blendAnim->flags |= fade;
        }
    });
}

void Object::PoseAnimHierarchyToFrame(AnimChar* animHeader, float frameoffset, bool poseroot, float blendAmount)
{
    if (animHeader == nullptr)
        return;
    int count = animHeader->GetCount();
    int nodeNum = 0;
    Animation scratch;
    if (poseroot && blendAnim != nullptr)
        PoseToFrame(this, scratch, animHeader, &nodeNum, frameoffset, blendAmount);
    ObjectHierarchyIterator it(this, ObjectHierarchyIterator::SKIP_SUBTREE);
    while (nodeNum < count)
    {
        Object* o = it.Next();
        if (o == nullptr)
            break;
        // Objects without a blend animation have no pose to take a key.
        if (o->mdlfile == mdlfile && o->blendAnim != nullptr)
            PoseToFrame(o, scratch, animHeader, &nodeNum, frameoffset, blendAmount);
    }
}

Matrix Object::GetAnimStartMatrix(const AnimChar* animChar) const
{
    Matrix m = mat;
    int id = NodeAnimID(this);
    if (animChar == nullptr || id < 0)
        return m;
    const AnimBundle* bundle = nullptr;
    for (int i = 0; i < animChar->GetCount() && bundle == nullptr; i++)
    {
        if (animChar->GetID(i) == id)
            bundle = animChar->GetBundle(i);
    }
    if (bundle == nullptr)
        return m;
    for (int s = 0; s < bundle->numStreams; s++)
    {
        const AnimStream* st = bundle->pStreams[s];
        if (st->numKeys == 0)
            continue;
        if (st->type == ANIM_TYPE_POS)
        {
            m.w = Vector(((const AnimKeyPos*)st->pKeys)->Value(), 1.0f);
        }
        else if (st->type == ANIM_TYPE_QUAT || st->type == ANIM_TYPE_COMP_QUAT)
        {
            Quaternion q = st->type == ANIM_TYPE_QUAT
                               ? ((const AnimKeyQuat*)st->pKeys)->Value()
                               : DecompressQuat(KeyConv32(((const AnimKeyCompQuat*)st->pKeys)->x).u32);
            Matrix r;
            VU0Quat2Mat(r, q);
            m.x = r.x;
            m.y = r.y;
            m.z = r.z;
        }
    }
    return m;
}

// ---------------------------------------------------------------------------
// The model file's own animations

AnimNode* Object::GetAnimRec(int offset) const
{
    NODE* node = GetNode();
    if (node == nullptr || node->GetAnimIndex() < 0)
        return nullptr;
    int i = node->GetAnimIndex() + offset;
    if (i < 0 || i >= AnimTableSize(mdlfile))
        return nullptr;
    return mdlfile->anmfile[i];
}

void Object::AddBlendAnimHierarchy(int offset, int animoffset, float blendAmount)
{
    // An object without a record of its own still gets an empty slot, so
    // that the hierarchy's slots stay in step.
    auto add = [&](Object* o) {
        AnimNode* rec = o->GetAnimRec(offset);
        o->blendAnim->AddAnim(rec != nullptr ? rec->Bundle() : nullptr, (u16)animoffset, blendAmount, 0xFFFF, 0, -1);
    };
    if (blendAnim != nullptr)
        add(this);
    ForEachVisited(this, [&](Object* o) {
        if (o->mdlfile == mdlfile && o->blendAnim != nullptr)
            add(o);
    });
}

void Object::SetAnimHierarchy(int offset, int animoffset)
{
    auto set = [&](Object* o) {
        AnimNode* rec = o->GetAnimRec(offset);
        if (rec == nullptr)
            return;
        BlendAnimation* b = o->blendAnim;
        b->Set(rec->Bundle(), rec->length, rec->flags, (u16)animoffset);
        b->flags &= ~ANIMF_FROZEN;
        b->animCnt = 1;
    };
    if (blendAnim != nullptr)
        set(this);
    ForEachVisited(this, [&](Object* o) {
        if (o->mdlfile == mdlfile && o->blendAnim != nullptr)
            set(o);
    });
    // A relative animation takes its present value as the reference on its
    // next pass.
    if (blendAnim != nullptr && (blendAnim->flags & ANIMF_RELATIVE))
        blendAnim->flags |= ANIMF_REBASE;
}

// ---------------------------------------------------------------------------
// Whole-hierarchy animation state

void Object::AllocBlendAnimHierarchy(int flags)
{
    u16 start = (u16)((Animation::anim_time.t >> 8) & 0xFFFF);
    bool failed = false;
    AllocBlendAnimTree(this, flags, start, failed);
}

void Object::ClearBlendAnimHierarchy()
{
    if (blendAnim != nullptr)
        blendAnim->ClearAnimation();
    ForEachVisited(this, [](Object* o) {
        if (o->blendAnim != nullptr)
            o->blendAnim->ClearAnimation();
    });
}

void Object::OffsetAnimation(int time)
{
    if (blendAnim != nullptr)
        blendAnim->animoffset = (u16)(blendAnim->animoffset + time);
    ForEachVisited(this, [&](Object* o) {
        if (o->blendAnim != nullptr)
            o->blendAnim->animoffset = (u16)(o->blendAnim->animoffset + time);
    });
}

void Object::SetPoseBlendHierarchy(float amount, bool poseroot)
{
    if (poseroot && blendAnim != nullptr)
        blendAnim->SetPoseBlend(amount);
    ForEachVisited(this, [&](Object* o) {
        if (o->mdlfile == mdlfile && o->blendAnim != nullptr)
            o->blendAnim->SetPoseBlend(amount);
    });
}
