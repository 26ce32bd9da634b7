// Animation playback: Animation (one bundle on one object), the instant-event
// stream, evaluated keys, and the read-outs of a running animation.
#include "ZevEngine2/Anim.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"

AnimTime Animation::anim_time;
AnimFireGuard* AnimFireGuard::top = nullptr;

// The world advances the animation clock through this accessor.
AnimTime& AnimationClock()
{
    return Animation::anim_time;
}

namespace {

// The clock's whole frames, as new animations take them for their offset.
u16 Now()
{
    return (u16)((Animation::anim_time.t >> 8) & 0xFFFF);
}

bool IsRotation(int type)
{
    return type == ANIM_TYPE_QUAT || type == ANIM_TYPE_COMP_QUAT;
}

// Can a cursor that ran a stream of type `had` run one of type `want`?
bool Compatible(int had, int want)
{
    return had == want || (IsRotation(had) && IsRotation(want));
}

AnimRtStream* NewCursor(int type)
{
    switch (type)
    {
    case ANIM_TYPE_POS: return new AnimRtStreamPos;
    case ANIM_TYPE_QUAT: return new AnimRtStreamQuat;
    case ANIM_TYPE_COMP_QUAT: return new AnimRtStreamCompQuat;
    case ANIM_TYPE_SCALE: case ANIM_TYPE_COLOUR: return new AnimRtStreamVector3;
    case ANIM_TYPE_ZOOM: case ANIM_TYPE_NEARZ: return new AnimRtStreamFloat;
    case ANIM_TYPE_BLUR: return new AnimRtStreamBlur;
    case ANIM_TYPE_INSTANT: return new AnimRtStreamInstant;
    default: return nullptr;
    }
}

// Runs the cursor kind of s's type on c.
void SetCursor(AnimRtStream* c, AnimStream* s)
{
    switch (s->type)
    {
    case ANIM_TYPE_POS: static_cast<AnimRtStreamPos*>(c)->Set(s); break;
    case ANIM_TYPE_QUAT: case ANIM_TYPE_COMP_QUAT: static_cast<AnimRtStreamQuat*>(c)->Set(s); break;
    case ANIM_TYPE_SCALE: case ANIM_TYPE_COLOUR: static_cast<AnimRtStreamVector3*>(c)->Set(s); break;
    case ANIM_TYPE_ZOOM: case ANIM_TYPE_NEARZ: static_cast<AnimRtStreamFloat*>(c)->Set(s); break;
    case ANIM_TYPE_BLUR: static_cast<AnimRtStreamBlur*>(c)->Set(s); break;
    case ANIM_TYPE_INSTANT: static_cast<AnimRtStreamInstant*>(c)->Set(s); break;
    default: break;
    }
}

// new row i = sum over j of R[i][j] * old row j, for the axis rows; row w
// is left alone.
void RotateRows(Matrix& m, const Matrix& r)
{
    Vector x = m.x, y = m.y, z = m.z;
    m.x = x * r.x[0] + y * r.x[1] + z * r.x[2];
    m.y = x * r.y[0] + y * r.y[1] + z * r.y[2];
    m.z = x * r.z[0] + y * r.z[1] + z * r.z[2];
}

Vector Point(const VectorXYZ& v)
{
    return Vector(v, 1.0f);
}

// Runs a cursor whose value the object's matrix does not take (colour, zoom,
// near z, blur): it keeps the value for whoever reads it.  Other types are
// left alone.
void EvaluateOwnValue(AnimRtStream* c, float t, unsigned short len)
{
    switch (c->type)
    {
    case ANIM_TYPE_COLOUR:
        static_cast<AnimRtStreamVector3*>(c)->Evaluate(t, len);
        break;
    case ANIM_TYPE_ZOOM:
    case ANIM_TYPE_NEARZ:
        static_cast<AnimRtStreamFloat*>(c)->Evaluate(t, len);
        break;
    case ANIM_TYPE_BLUR:
        static_cast<AnimRtStreamBlur*>(c)->Evaluate(t, len);
        break;
    default:
        break;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Animation

Animation::Animation()
    : data(nullptr), pStream(nullptr), streamCnt(0), animLen(0), animoffset(0), flags(0), sndBank(0),
      nextAnim(nullptr), blendAmount(0.0f)
{
    Set(nullptr, 0, 0, Now());
}

Animation::~Animation()
{
    FreeStreamPtrs();
}

void* Animation::operator new(size_t size) noexcept
{
    return SmallAllocator::Alloc16((u32)(size + 15) & ~15u);
}

void Animation::operator delete(void* p, size_t size)
{
    SmallAllocator::Free16(p, (u32)(size + 15) & ~15u);
}

void Animation::Touch()
{
    for (AnimFireGuard* g = AnimFireGuard::top; g != nullptr; g = g->outer)
    {
        for (Animation* a = g->anim; a != nullptr; a = a->nextAnim)
        {
            if (a == this)
            {
                g->anim = nullptr;   // it may be freed next: never read it again
                g->disturbed = true;
                break;
            }
        }
    }
}

void Animation::AllocStreamPtrs(int num)
{
    if (num <= streamCnt)
        return;
    AnimRtStream** slots = (AnimRtStream**)small_malloc((u32)num * sizeof(AnimRtStream*));
    if (slots == nullptr)
    {
        printf("Animation: no memory for %d stream slots\n", num);
        return;
    }
    Touch();
    for (int i = 0; i < num; i++)
        slots[i] = i < streamCnt ? pStream[i] : nullptr;
    if (streamCnt != 0)
        small_free(pStream, streamCnt * sizeof(AnimRtStream*));
    pStream = slots;
    streamCnt = (u16)num;
}

// The slot array and cursors are cleared as they are freed, so a second call
// (the destructor after an explicit free) finds nothing to free.
void Animation::FreeStreamPtrs()
{
    Touch();
    if (streamCnt == 0)
        return;
    for (int i = 0; i < streamCnt; i++)
    {
        AnimRtStream* c = pStream[i];
        if (c != nullptr && AnimRtStream::AllocSize(c->type) != 0)
            SmallAllocator::Free16(c, AnimRtStream::AllocSize(c->type));
    }
    small_free(pStream, streamCnt * sizeof(AnimRtStream*));
    pStream = nullptr;
    streamCnt = 0;
}

void Animation::Set(AnimBundle* _data, unsigned short _animLen, unsigned short _animFlags, unsigned short _animoffset)
{
    Touch();
    data = _data;
    animoffset = _animoffset;
    flags &= 0xFF45;
    animLen = _animLen | ((_animFlags & 1) ? ANIM_LEN_LOOP : 0);
    lastEval.pos = Vector(0.0f, 0.0f, 0.0f, 1.0f);
    lastEval.ang = Quaternion(true);

    for (int i = 0; i < streamCnt; i++)
    {
        if (pStream[i] != nullptr)
            pStream[i]->numKeys = 0;
    }
    if (_data == nullptr)
        return;
    if (streamCnt == 0)
        AllocStreamPtrs(_data->numStreams);

    for (int n = 0; n < _data->numStreams; n++)
    {
        AnimStream* s = _data->pStreams[n];
        int k = 0;
        while (k < streamCnt && pStream[k] != nullptr && !Compatible(pStream[k]->type, s->type))
            k++;
        if (k < streamCnt && pStream[k] != nullptr)
        {
            AnimRtStream* c = pStream[k];
            SetCursor(c, s);
            if (c->numKeys == 0)
                continue;
            if (s->type == ANIM_TYPE_POS)
                lastEval.pos = Vector(static_cast<AnimRtStreamPos*>(c)->key[0]);
            else if (IsRotation(s->type))
                lastEval.ang = static_cast<AnimRtStreamQuat*>(c)->key[0];
            continue;
        }
        if (k == streamCnt)
        {
            AllocStreamPtrs(streamCnt + 1);
            if (k >= streamCnt)
                continue;   // no memory: the stream is not played
        }
        // A camera-effect stream gets no cursor: its slot stays empty.
        AnimRtStream* c = NewCursor(s->type);
        if (c == nullptr)
            continue;
        SetCursor(c, s);
        pStream[k] = c;
    }
}

VectorDir Animation::Velocity() const
{
    for (int i = 0; i < streamCnt; i++)
    {
        const AnimRtStream* c = pStream[i];
        if (c == nullptr || c->type != ANIM_TYPE_POS || c->numKeys < 2)
            continue;
        const AnimRtStreamPos* p = static_cast<const AnimRtStreamPos*>(c);
        float dt = (float)p->time[1] - (float)p->time[0];
        if (dt == 0.0f)
            break;
        VectorDir v = VectorDir((p->key[1] - p->key[0]) / dt);
        v.setw(0.0f);
        return v;
    }
    return VectorDir(v128f{0.0f, 0.0f, 0.0f, 0.0f});
}

float Animation::GetFloat(AnimType type, float def) const
{
    if (type != ANIM_TYPE_ZOOM && type != ANIM_TYPE_NEARZ)
        return def;   // only the float cursors keep a value
    for (int i = 0; i < streamCnt; i++)
    {
        const AnimRtStream* c = pStream[i];
        if (c != nullptr && c->type == type && c->numKeys != 0)
            return static_cast<const AnimRtStreamFloat*>(c)->curEval;
    }
    return def;
}

int Animation::GetBlur(unsigned short* alpha, unsigned short* scale) const
{
    for (int i = 0; i < streamCnt; i++)
    {
        const AnimRtStream* c = pStream[i];
        if (c != nullptr && c->type == ANIM_TYPE_BLUR && c->numKeys != 0)
        {
            const AnimRtStreamBlur* b = static_cast<const AnimRtStreamBlur*>(c);
            *alpha = b->curAlpha;
            *scale = b->scale[0];
            return 1;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Playing one animation on an object

int AnimateObject(Object* obj, float time, int animstatus)
{
    Animation* a = obj->blendAnim;
    if (a == nullptr || a->streamCnt == 0)
        return animstatus;
    float t = time - (float)a->animoffset;
    unsigned short len = a->animLen;
    float L = (float)(len & ANIM_LEN_MASK);
    bool looping = (len & ANIM_LEN_LOOP) != 0;
    for (int i = 0; i < a->streamCnt; i++)
    {
        AnimRtStream* c = a->pStream[i];
        if (c == nullptr || c->numKeys == 0)
            continue;
        bool frozen = (a->flags & ANIMF_FROZEN) != 0;
        bool relative = (a->flags & ANIMF_RELATIVE) != 0;
        switch (c->type)
        {
        case ANIM_TYPE_POS:
        {
            AnimRtStreamPos* pc = static_cast<AnimRtStreamPos*>(c);
            if (relative)
            {
                if (frozen)
                    break;
                if (looping && t > L)
                    a->flags |= ANIMF_REBASE;
                Vector p = Vector(pc->Evaluate(t, len));
                if (a->flags & ANIMF_REBASE)
                    a->lastEval.pos = p;
                Vector d = p - a->lastEval.pos;
                obj->mat.w += obj->mat.x * d[0] + obj->mat.y * d[1] + obj->mat.z * d[2];
                a->lastEval.pos = p;
            }
            else
            {
                if (!frozen)
                    a->lastEval.pos = Vector(pc->Evaluate(t, len));
                obj->mat.w = Point(a->lastEval.pos.xyz());
            }
            break;
        }
        case ANIM_TYPE_QUAT:
        case ANIM_TYPE_COMP_QUAT:
        {
            AnimRtStreamQuat* qc = static_cast<AnimRtStreamQuat*>(c);
            if (relative)
            {
                if (frozen)
                    break;
                if (looping && t > L)
                    a->flags |= ANIMF_REBASE;
                Quaternion q = qc->Evaluate(t, len);
                if (a->flags & ANIMF_REBASE)
                    a->lastEval.ang = q;
                Quaternion dq = ~a->lastEval.ang * q;
                RotateRows(obj->mat, Matrix(dq));
                a->lastEval.ang = q;
            }
            else
            {
                if (!frozen)
                    a->lastEval.ang = qc->Evaluate(t, len);
                VU0Quat2Mat(obj->mat, a->lastEval.ang);
            }
            break;
        }
        case ANIM_TYPE_SCALE:
            if (!frozen)
                a->lastEval.scl = Vector(static_cast<AnimRtStreamVector3*>(c)->Evaluate(t, len), 0.0f);
            obj->mat.SetScale(a->lastEval.scl.xyz());
            break;
        case ANIM_TYPE_INSTANT:
            if (!static_cast<AnimRtStreamInstant*>(c)->Evaluate(t, len, a, obj, 0))
                return animstatus;   // the event's handler restarted or deleted the animation
            break;
        default:
            EvaluateOwnValue(c, t, len);
            break;
        }
    }
    return animstatus;
}

int AnimateHierarchy1(Object* obj, float time, int animstatus)
{
    for (; obj != nullptr; obj = obj->sibling)
    {
        if (obj->flags & OBJF_SELFANIMATING)
            continue;
        // Held so that a handler deleting the object leaves it readable as
        // dead; the walk then ends, as its links may lead to freed objects.
        RCptr<Object> hold(obj);
        animstatus = AnimateObject(obj, time, animstatus);
        if (obj->IsDead())
            return animstatus < -1 ? animstatus : -2;
        if (animstatus >= 0 && obj->child != nullptr)
            animstatus = AnimateHierarchy1(obj->child, time, animstatus);
        if (animstatus < -1)
            return animstatus;
    }
    return animstatus;
}

float AnimFileGetSpeed(AnimChar* animHeader)
{
    if (animHeader == nullptr || animHeader->GetCount() < 1)
        return 0.0f;
    Animation scratch;
    scratch.Set(animHeader->GetBundle(0), 0, 0, Now());
    float speed = 0.0f;
    for (int i = 0; i < scratch.streamCnt; i++)
    {
        AnimRtStream* c = scratch.pStream[i];
        if (c == nullptr || c->type != ANIM_TYPE_POS || c->numKeys < 2)
            continue;
        AnimRtStreamPos* p = static_cast<AnimRtStreamPos*>(c);
        float firstZ = KeyFloat(p->pBase[0].z);
        float firstT = (float)p->pBase[0].time;
        while (p->NextKey())
        {
        }
        float dt = (float)p->time[1] - firstT;
        speed = dt != 0.0f ? (p->key[1][2] - firstZ) / dt : 0.0f;
    }
    scratch.FreeStreamPtrs();
    return speed;
}

// ---------------------------------------------------------------------------
// Instant events

void AnimRtStreamInstant::Set(AnimStream* s)
{
    type = s->type;
    numKeys = s->numKeys;
    pBase = pData = s->pKeys;
    curKey = 0;
    time[0] = numKeys != 0 ? ((const AnimKey*)pBase)->time : 0;
    time[1] = 0;
}

namespace {

// Acts on one instant key; false when an event's handler disturbed pAnim.
bool FireInstant(const char* k, Animation* pAnim, Object* obj, int slot)
{
    switch (((const AnimKeyInstant*)k)->type)
    {
    case ANIM_INSTANT_TEXTURE:
    {
        const AnimKeyTexture* key = (const AnimKeyTexture*)k;
        // The object's per-material texture choices: params bytes 2.. of its
        // geometry; a choice past the end of params is ignored.
        u32 i = 2 + (key->index & 0x7FFFu);
        if (obj != nullptr && obj->geom != nullptr && i < sizeof(obj->geom->params))
            obj->geom->params[i] = (u8)key->value;
        return true;
    }
    case ANIM_INSTANT_EVENT:
    {
        if (slot != 0 || obj == nullptr)
            return true;
        const AnimKeyEvent* key = (const AnimKeyEvent*)k;
        AnimEventMessage msg{obj, 0, key->event, 0};
        AnimFireGuard guard(pAnim);
        obj->SendMessageUp(OM_ANIMEVENT, &msg);
        return !guard.disturbed;
    }
    case ANIM_INSTANT_FLAG:
    {
        const AnimKeyFlag* key = (const AnimKeyFlag*)k;
        if (obj != nullptr)
            obj->flags = (obj->flags & ~(unsigned)key->nand) ^ key->xor_;
        return true;
    }
    case ANIM_INSTANT_SOUND:
        if (slot == 0 && obj != nullptr)
            PlayAnimSoundKey(obj, pAnim, (const AnimKeySound*)k);
        return true;
    default:
        return true;
    }
}

}  // namespace

int AnimRtStreamInstant::NextKey(Animation* pAnim, Object* obj, int slot)
{
    if (curKey >= numKeys)
        return 0;
    // The cursor is stepped past the key before it acts, so that a handler
    // that restarts the stream finds it consistent.  A key of an unknown
    // type is not stepped over.
    const char* k = pData;
    pData += AnimInstantKeySize(((const AnimKeyInstant*)k)->type);
    unsigned L = pAnim != nullptr ? (pAnim->animLen & ANIM_LEN_MASK) : ANIM_LEN_MASK;
    if (time[0] < L)
        time[0] = curKey + 1 >= numKeys ? (u16)L : ((const AnimKey*)pData)->time;
    curKey++;
    return FireInstant(k, pAnim, obj, slot) ? 1 : -1;
}

// Each key fires once per cycle of the animation.  When a looping stream's
// keys are spent and t has reached the length, it starts its next cycle at
// t - L, and until its caller's time comes back below the length (the
// caller moving its offset on) it reads the caller's times that way.  A
// stream that does not loop stays spent until it is set again.
bool AnimRtStreamInstant::Evaluate(float t, unsigned short len, Animation* pAnim, Object* obj, int slot)
{
    if (numKeys == 0)
        return true;
    unsigned L = len & ANIM_LEN_MASK;
    bool looping = (len & ANIM_LEN_LOOP) != 0;
    if (time[1] != 0)
    {
        float ahead = (float)time[1] * (float)L;
        if (t >= ahead)
            t -= ahead;
        else
            time[1] = 0;
    }
    if (t < (float)time[0])
        return true;
    bool wrapped = false;
    for (;;)
    {
        int fired = NextKey(pAnim, obj, slot);
        if (fired < 0)
            return false;
        if (fired > 0)
        {
            if ((float)time[0] <= t)
                continue;
            break;
        }
        if (t < (float)L)
        {
            time[0] = (u16)L;   // wait for the end
            break;
        }
        if (!looping || L == 0 || wrapped)
            break;
        pData = pBase;
        curKey = 0;
        time[0] = ((const AnimKey*)pBase)->time;
        time[1]++;
        wrapped = true;
        t -= (float)L;
        if (t < (float)time[0])
            break;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Evaluated keys

Matrix& AnimRTKey::Evaluate(Matrix& mat) const
{
    if (flags & ANIMKEY_ROT)
    {
        VU0Quat2Mat(mat, ang);
        mat.w = Vector(0.0f, 0.0f, 0.0f, 1.0f);
    }
    if (flags & ANIMKEY_SCALE)
    {
        if (flags & ANIMKEY_ROT)
        {
            mat.x *= scl[0];
            mat.y *= scl[1];
            mat.z *= scl[2];
        }
        else
        {
            mat.SetScale(scl.xyz());
        }
    }
    if (flags & ANIMKEY_POS)
        mat.w = Point(pos.xyz());
    return mat;
}

void AnimRTKey::Set(const Matrix& mat)
{
    flags = ANIMKEY_POS | ANIMKEY_ROT;
    pos = mat.w;
    ang = Quaternion(mat);
    scl = Vector(1.0f, 1.0f, 1.0f, 0.0f);
}

void AnimRTKey::Interpolate(AnimRTKey* key, float amount)
{
    if ((flags & ANIMKEY_ROT) && (key->flags & ANIMKEY_ROT))
        ang = SLERP(ang, key->ang, amount);
    if ((flags & ANIMKEY_POS) && (key->flags & ANIMKEY_POS))
        pos += (key->pos - pos) * amount;
}

namespace {

u8 LerpByte(u8 a, u8 b, float t)
{
    return (u8)(int)((float)a + ((float)b - (float)a) * t);
}

}  // namespace

AnimRTKey Interpolate(AnimRTKey& key0, AnimRTKey& key1, float t)
{
    AnimRTKey r = key0;
    if (key1.flags & ANIMKEY_ROT)
        r.ang = SLERP(key0.ang, key1.ang, t);
    if (key1.flags & ANIMKEY_SCALE)
        r.scl = key0.scl + (key1.scl - key0.scl) * t;
    if (key1.flags & (ANIMKEY_CAMFX | ANIMKEY_COLOUR))
    {
        if (key1.flags & ANIMKEY_CAMFX)
        {
            r.camFxFocus = key0.camFxFocus + (key1.camFxFocus - key0.camFxFocus) * t;
            r.camFxRadius = key0.camFxRadius + (key1.camFxRadius - key0.camFxRadius) * t;
        }
        r.colour = Colour(LerpByte(key0.colour.r, key1.colour.r, t), LerpByte(key0.colour.g, key1.colour.g, t),
                          LerpByte(key0.colour.b, key1.colour.b, t), LerpByte(key0.colour.a, key1.colour.a, t));
    }
    if (key1.flags & ANIMKEY_COLOUR0)
        r.colour.r = LerpByte(key0.colour.r, key1.colour.r, t);
    if (key0.flags & ANIMKEY_COLOUR0)
        r.colour.g = key0.colour.g;
    if (key1.flags & ANIMKEY_POS)
        r.pos = key0.pos + (key1.pos - key0.pos) * t;
    if ((key0.flags & ANIMKEY_POSW) && (key1.flags & ANIMKEY_POSW))
        r.pos.setw(key0.pos[3] + (key1.pos[3] - key0.pos[3]) * t);
    else if (key0.flags & ANIMKEY_POSW)
        r.pos.setw(key0.pos[3]);
    else
        r.pos.setw(0.0f);
    return r;
}

// ---------------------------------------------------------------------------
// Blend animation

bool BlendAnimation::animateFace = false;

// Object creation's seams: a new BlendAnimation for a node, and its deletion
// with the object.
BlendAnimation* NewBlendAnimation(Object* obj, AnimBundle* bundle, u32 flags, int length, int animflags, int start)
{
    return new BlendAnimation(obj, bundle, flags, (u16)length, (u16)animflags, (u16)start);
}

void DeleteBlendAnimation(BlendAnimation* anim)
{
    delete anim;
}

BlendAnimation::BlendAnimation(Object* obj, AnimBundle* _data, unsigned int _flags, unsigned short _animLen,
                               unsigned short _animFlags, unsigned short _animoffset)
    : poseBlend(0.0f), animCnt(0), xfadeSpeed(0)
{
    Set(_data, _animLen, _animFlags, _animoffset);
    nextAnim = nullptr;
    if (_flags & 0x80)
        flags = ANIMF_RELATIVE | ANIMF_REBASE;   // relative motion, re-based on the first pass
    pose.flags = 0;
    sndBank = -1;
    blendAmount = 1.0f;
    animCnt = _data != nullptr ? 1 : 0;
    if (obj != nullptr)
        baseKey.Set(obj->mat);
    if (flags & ANIMF_RELATIVE)
    {
        baseKey.ang = Quaternion(true);
        baseKey.pos = Vector(0.0f, 0.0f, 0.0f, 0.0f);
    }
}

BlendAnimation::~BlendAnimation()
{
    Touch();
    Animation* a = nextAnim;
    nextAnim = nullptr;
    while (a != nullptr)
    {
        Animation* next = a->nextAnim;
        delete a;
        a = next;
    }
}

bool BlendAnimation::AddAnim(AnimBundle* _data, unsigned short _animoffset, float _blendAmount,
                             unsigned short _length, unsigned short _animFlags, short _sndBank)
{
    if (animCnt >= 2)
        return false;
    Animation* target = this;
    if (animCnt != 0)
    {
        Animation* last = GetAnim(animCnt - 1);
        target = last->nextAnim;   // the spare, if there is one
        if (target == nullptr)
        {
            target = new Animation;
            if (target == nullptr)
                return false;
            last->nextAnim = target;
        }
    }
    Touch();
    target->Set(_data, _length, _animFlags, _animoffset);
    target->sndBank = _sndBank;
    target->flags &= ~ANIMF_FROZEN;
    if (flags & ANIMF_RELATIVE)
        target->flags |= ANIMF_RELATIVE;
    target->blendAmount = _blendAmount;
    animCnt++;
    return true;
}

// With at most two slots only slot 1 can be cleared; its record stays
// chained after slot 0 as the spare.
void BlendAnimation::ClearSlot(int slot)
{
    if (slot <= 0 || slot >= animCnt)
        return;
    Touch();
    animCnt--;
}

void BlendAnimation::UpdateXFade(float deltaTime)
{
    if (animCnt < 2)
        return;
    Animation* old = nextAnim;
    // A cross-fade of no frames is over at once (and never divides by 0).
    if (xfadeSpeed != 0)
        old->blendAmount -= deltaTime / (float)xfadeSpeed;
    if (xfadeSpeed == 0 || old->blendAmount <= 0.0f)
    {
        old->blendAmount = 0.0f;
        ClearSlot(1);
        flags &= ~(ANIMF_XFADE | ANIMF_XFADEHOLD);
    }
}

void BlendAnimation::Collapse(const Matrix& mat, float, int slot1, int slot2, int destslot)
{
    if (slot1 < 0 || slot1 >= animCnt || slot2 < 0 || slot2 >= animCnt || destslot < 0 || destslot >= animCnt)
        return;
    Animation* d = GetAnim(destslot);
    d->lastEval.pos = mat.w;
    d->lastEval.ang = Quaternion(mat);
    d->lastEval.scl = Vector(mat.GetScale(), 0.0f);
    d->flags |= ANIMF_FROZEN;
}

// Records past the slots in use are spares of animations no longer playing:
// they do not count.
VectorDir BlendAnimation::Velocity() const
{
    VectorDir v = Animation::Velocity();
    int i = 1;
    for (const Animation* a = nextAnim; a != nullptr && i < animCnt; a = a->nextAnim, i++)
        v += (a->Velocity() - v) * a->blendAmount;
    return v;
}

namespace {

// The running key of a blend: each part is taken from the first slot that
// has it and moved toward each later slot's by that slot's weight.
struct Blend
{
    Vector pos;
    Quaternion ang;
    Vector scl;
    bool hasPos = false, hasRot = false, hasScl = false;

    void Pos(const Vector& p, float w)
    {
        pos = hasPos ? pos + (p - pos) * w : p;
        hasPos = true;
    }
    void Rot(const Quaternion& q, float w)
    {
        ang = hasRot ? SLERP(ang, q, w) : q;
        hasRot = true;
    }
    void Scl(const Vector& s, float w)
    {
        scl = hasScl ? scl + (s - scl) * w : s;
        hasScl = true;
    }
};

Vector KeyPoint(const AnimKeyF3& k)
{
    return Vector(k.Value(), 1.0f);
}

}  // namespace

int BlendAnimation::Animate(Object* obj, float* timeList, int animstatus, float deltaTime, int* pbSendLoop)
{
    Blend run;
    run.pos = baseKey.pos;
    run.ang = baseKey.ang;
    run.scl = baseKey.scl;
    int loopSlot = -1;

    if (flags & ANIMF_XFADE)
    {
        UpdateXFade(deltaTime);
        if (flags & ANIMF_XFADEHOLD)
            animoffset = (u16)((int)timeList[0] & 0xFFFF);
    }

    if (!animateFace && obj->mdlfile != nullptr)
    {
        NODE* node = obj->GetNode();
        int id = node != nullptr ? node->GetAnimID() : -1;
        if (id >= 10 && id <= 28)
            return animstatus;   // a face bone: animated only in cinematics
    }

    Animation* slot = this;
    for (int i = 0; i < animCnt && slot != nullptr; i++, slot = slot->nextAnim)
    {
        slot->lastEval.flags = 0;
        float ti = timeList[i];
        float relTime = (ti - (float)(int)(ti / 65536.0f) * 65536.0f) - (float)slot->animoffset;
        if (relTime < 0.0f)
            relTime += 65535.0f;
        unsigned short len = slot->animLen;
        float L = (float)(len & ANIM_LEN_MASK);
        bool looping = (len & ANIM_LEN_LOOP) != 0;
        float w = slot->blendAmount;

        if (slot->streamCnt != 0 && (i == 0 || w > 0.001f))
        {
            for (int k = 0; k < slot->streamCnt; k++)
            {
                AnimRtStream* c = slot->pStream[k];
                if (c == nullptr || c->numKeys == 0)
                    continue;
                bool frozen = (slot->flags & ANIMF_FROZEN) != 0;
                bool relative = (slot->flags & ANIMF_RELATIVE) != 0;
                switch (c->type)
                {
                case ANIM_TYPE_POS:
                {
                    AnimRtStreamPos* pc = static_cast<AnimRtStreamPos*>(c);
                    if (relative)
                    {
                        if (frozen)
                            break;
                        if (looping && relTime > L)
                        {
                            // Carry the reference across the loop.
                            if (pc->numKeys >= 2)
                            {
                                while (pc->NextKey())
                                {
                                }
                                slot->lastEval.pos += KeyPoint(pc->pBase[0]) - KeyPoint(pc->pBase[pc->numKeys - 1]);
                            }
                            else
                            {
                                slot->lastEval.pos = KeyPoint(pc->pBase[0]);
                            }
                        }
                        Vector p = Vector(pc->Evaluate(relTime, len));
                        if (slot->flags & ANIMF_REBASE)
                            slot->lastEval.pos = p;
                        Vector d = p - slot->lastEval.pos;
                        if (i == 0 || !(slot->flags & ANIMF_NORELPOS))
                            run.Pos(d, w);
                        slot->lastEval.pos = p;
                        run.hasPos = true;
                    }
                    else
                    {
                        if (!frozen)
                            slot->lastEval.pos = Vector(pc->Evaluate(relTime, len));
                        run.Pos(slot->lastEval.pos, w);
                    }
                    slot->lastEval.flags |= ANIMKEY_POS;
                    break;
                }
                case ANIM_TYPE_QUAT:
                case ANIM_TYPE_COMP_QUAT:
                {
                    AnimRtStreamQuat* qc = static_cast<AnimRtStreamQuat*>(c);
                    if (relative)
                    {
                        if (frozen)
                            break;
                        Quaternion q = qc->Evaluate(relTime, len);
                        if ((slot->flags & ANIMF_REBASE) || (looping && relTime > L))
                            slot->lastEval.ang = q;
                        run.Rot(~slot->lastEval.ang * q, w);
                        slot->lastEval.ang = q;
                        slot->lastEval.flags |= ANIMKEY_ROT;
                    }
                    else
                    {
                        if (!frozen)
                        {
                            slot->lastEval.ang = qc->Evaluate(relTime, len);
                            slot->lastEval.flags |= ANIMKEY_ROT;
                        }
                        run.Rot(slot->lastEval.ang, w);
                    }
                    break;
                }
                case ANIM_TYPE_SCALE:
                    if (!frozen)
                        slot->lastEval.scl = Vector(static_cast<AnimRtStreamVector3*>(c)->Evaluate(relTime, len), 0.0f);
                    run.Scl(slot->lastEval.scl, w);
                    break;
                case ANIM_TYPE_INSTANT:
                    // Events and sounds fire from slot 0 only.  A handler
                    // that restarted or deleted this animation ends the pass.
                    if (!static_cast<AnimRtStreamInstant*>(c)->Evaluate(relTime, len, slot, obj, i))
                        return animstatus;
                    break;
                default:
                    EvaluateOwnValue(c, relTime, len);
                    break;
                }
            }
        }

        slot->flags &= ~ANIMF_REBASE;
        if (!(slot->flags & ANIMF_FROZEN))
        {
            if (!looping && relTime >= L)
            {
                slot->flags |= ANIMF_FROZEN;   // stays on its last pose
                if (loopSlot < 0)
                    loopSlot = i;
                slot->animoffset += (u16)L;
            }
            else if (looping && relTime > L)
            {
                if (loopSlot < 0)
                    loopSlot = i;
                slot->animoffset += (u16)L;
            }
        }
    }

    if (pose.flags != 0 && poseBlend > 0.0f)
    {
        if (pose.flags & ANIMKEY_ROT)
        {
            run.ang = SLERP(run.ang, pose.ang, poseBlend);
            run.hasRot = true;
        }
        if (pose.flags & (ANIMKEY_POS | ANIMKEY_POSW))
        {
            run.pos += (pose.pos - run.pos) * poseBlend;
            run.hasPos = true;
        }
        if (pose.flags & ANIMKEY_SCALE)
        {
            run.scl += (pose.scl - run.scl) * poseBlend;
            run.hasScl = true;
        }
    }

    Matrix& mat = obj->mat;
    if (flags & ANIMF_RELATIVE)
    {
        if (!(obj->flags & OBJF_NORELMOTION))
        {
            if (run.hasRot || run.hasPos)
            {
                // The change, applied in the object's own frame.
                Matrix t(true);
                if (run.hasRot)
                    VU0Quat2Mat(t, run.ang);
                if (run.hasPos)
                    t.w = Point(run.pos.xyz());
                mat = t * mat;
            }
            if (run.hasScl)
                mat.SetScale(run.scl.xyz());
        }
    }
    else if (flags & ANIMF_BASEKEY)
    {
        if (run.hasRot)
            VU0Quat2Mat(mat, run.ang * baseKey.ang);
        if (run.hasPos)
            mat.w = Point((run.pos + baseKey.pos).xyz());
        if (run.hasScl)
            mat.SetScale((run.scl * baseKey.scl).xyz());
    }
    else
    {
        if (run.hasRot)
            VU0Quat2Mat(mat, run.ang);
        if (run.hasScl)
            mat.SetScale(run.scl.xyz());
        if (run.hasPos)
            mat.w = Point(run.pos.xyz());
    }

    if (loopSlot >= 0 && (pbSendLoop == nullptr || *pbSendLoop != 0))
    {
        AnimLoopMessage msg{obj, loopSlot, 0, animoffset};
        if (pbSendLoop != nullptr)
            *pbSendLoop = 0;
        // The handler may delete the object and this animation: nothing is
        // touched after it.
        animstatus = obj->SendMessageUp(OM_ANIMLOOP, &msg);
    }
    return animstatus;
}

// ---------------------------------------------------------------------------
// Hierarchy walks

void AnimateHierarchy(Object* obj, float time, float deltaTime)
{
    float timeList[2] = {time, time};
    BlendAnimateHierarchy(obj, timeList, deltaTime);
}

int BlendAnimateHierarchy(Object* obj, float* timeList, float deltaTime)
{
    if (obj == nullptr)
        return 1;
    bool savedFace = BlendAnimation::animateFace;
    if (obj->type != OBJT_CHARACTER)
        BlendAnimation::animateFace = true;
    int status = 1;
    int sendLoop = 1;
    {
        RCptr<Object> hold(obj);
        if (obj->blendAnim != nullptr)
            status = obj->blendAnim->Animate(obj, timeList, 1, deltaTime, &sendLoop);
        if (status >= 0 && !obj->IsDead() && obj->child != nullptr)
            BlendAnimateHierarchy1(obj->child, timeList, status, deltaTime, &sendLoop);
    }
    BlendAnimation::animateFace = savedFace;
    return status;
}

int BlendAnimateHierarchy1(Object* obj, float* timeList, int animstatus, float deltaTime, int* pbSendLoop)
{
    for (; obj != nullptr; obj = obj->sibling)
    {
        if (obj->flags & OBJF_SELFANIMATING)
            continue;
        // Held so that a handler deleting the object leaves it readable as
        // dead; the walk then ends, as its links may lead to freed objects.
        RCptr<Object> hold(obj);
        if (obj->blendAnim != nullptr)
            animstatus = obj->blendAnim->Animate(obj, timeList, animstatus, deltaTime, pbSendLoop);
        if (obj->IsDead())
            return animstatus < -1 ? animstatus : -2;
        if (animstatus < -1)
            return animstatus;
        if (animstatus >= 0 && obj->child != nullptr)
        {
            animstatus = BlendAnimateHierarchy1(obj->child, timeList, animstatus, deltaTime, pbSendLoop);
            if (animstatus < -1)
                return animstatus;
        }
    }
    return animstatus;
}

namespace {

// The slot editors' walk: obj, its later siblings and all their
// descendants; a self-animating object is passed over, its children are not.
template <class F>
void ForEachSlotEditorObject(Object* obj, const F& f)
{
    for (; obj != nullptr; obj = obj->sibling)
    {
        if (!(obj->flags & OBJF_SELFANIMATING) && obj->blendAnim != nullptr)
            f(obj, obj->blendAnim);
        ForEachSlotEditorObject(obj->child, f);
    }
}

// Everything of a slot but its place in the chain.
void SwapSlotState(Animation& a, Animation& b)
{
    a.Touch();
    b.Touch();
    std::swap(a.data, b.data);
    std::swap(a.pStream, b.pStream);
    std::swap(a.streamCnt, b.streamCnt);
    std::swap(a.animLen, b.animLen);
    std::swap(a.animoffset, b.animoffset);
    std::swap(a.flags, b.flags);
    std::swap(a.sndBank, b.sndBank);
    std::swap(a.lastEval, b.lastEval);
    std::swap(a.blendAmount, b.blendAmount);
}

}  // namespace

void SetBlendFactorHierarchy(Object* obj, unsigned short index, float factor)
{
    ForEachSlotEditorObject(obj, [&](Object*, BlendAnimation* b) { b->SetBlendAmount(index, factor); });
}

// The slot that becomes slot 0 trades states with it: the old slot 0's
// cursors go to the spare record, so no two records share cursors.
void SetBaseBlendAnimHierarchy(Object* obj, unsigned short _fromNdx)
{
    ForEachSlotEditorObject(obj, [&](Object*, BlendAnimation* b) {
        if (_fromNdx >= b->animCnt)
            return;
        if (_fromNdx != 0)
            SwapSlotState(*b, *b->GetAnim(_fromNdx));
        b->Touch();
        b->animCnt = b->data != nullptr ? 1 : 0;
    });
}

void SwapBlendAnimHierarchy(Object* obj, unsigned short _toSlot, unsigned short _fromSlot)
{
    ForEachSlotEditorObject(obj, [&](Object*, BlendAnimation* b) {
        if (_toSlot >= b->animCnt || _fromSlot >= b->animCnt || _toSlot == _fromSlot)
            return;
        Animation* to = b->GetAnim(_toSlot);
        bool keepsHold = (to->flags & ANIMF_NORELPOS) != 0;
        SwapSlotState(*to, *b->GetAnim(_fromSlot));
        if (keepsHold)
            to->flags |= ANIMF_NORELPOS;
    });
}

void ClearBlendAnimSlotHierarchy(Object* obj, unsigned short _whichSlot)
{
    ForEachSlotEditorObject(obj, [&](Object*, BlendAnimation* b) { b->ClearSlot(_whichSlot); });
}

void CollapseAnimSlotHierarchy(Object* obj, float time, int slot1, int slot2, int destslot)
{
    ForEachSlotEditorObject(obj, [&](Object* o, BlendAnimation* b) { b->Collapse(o->mat, time, slot1, slot2, destslot); });
}

void FreezeAnimHierarchy(Object* obj, unsigned short _whichSlot, bool checkSiblings)
{
    auto freeze = [&](Object* o, BlendAnimation* b) {
        if (_whichSlot >= b->animCnt)
            return;
        Animation* a = b->GetAnim(_whichSlot);
        if (a->flags & ANIMF_RELATIVE)
        {
            a->lastEval.ang = Quaternion(true);
            a->lastEval.pos = Vector(0.0f, 0.0f, 0.0f, 0.0f);
        }
        else
        {
            a->lastEval.Set(o->mat);
        }
        a->flags |= ANIMF_FROZEN;
    };
    for (Object* o = obj; o != nullptr; o = checkSiblings ? o->sibling : nullptr)
    {
        if (!(o->flags & OBJF_SELFANIMATING) && o->blendAnim != nullptr)
            freeze(o, o->blendAnim);
        ForEachSlotEditorObject(o->child, freeze);
    }
}
