// Particles: creation, the per-tick update, the random and drag helpers the
// effect code builds its motion from, and the global wind.
#include "ZevEngine2/particle.h"

#include "ZevEngine2/Utilities.h"

VectorDir windDir(0.0f, 0.0f, 0.0f);

// ------------------------------------------------------------------ Particle

Particle::Particle(PartManager* pm)
    : partMan(pm), flags(pm->partFlags), w(pm->w), h(pm->h), scale(1.0f), timer(0.0f), frame(0), onScreen(true),
      extra(0)
{
}

// --------------------------------------------------------------- PartManager

PartManager::PartManager() : Object(PartManager_mh)
{
    Setup();
}

PartManager::PartManager(OBJMESSAGEHANDLER mh) : Object(mh)
{
    Setup();
}

void PartManager::Setup()
{
    type = OBJT_PARTICLE;
    partRef.index = -1;
    alpha = ALPHA_NONE;
    partFlags = 0;
    partType = PART_TYPE_SPRITE;
    w = 0.0f;
    h = 0.0f;
    timeOut = 0.0f;
    rate = 0.0f;
    wind = 0.0f;
    dither = false;
    UpdateFcn = nullptr;
    InitFcn = nullptr;
}

PartManager::~PartManager()
{
    list.DeleteAll();
}

int PartManager::PartManager_mh(Object* obj, OBJMESSAGE msg, void*)
{
    if (msg == OM_DIE) {
        delete static_cast<PartManager*>(obj);
        return -1;
    }
    return 0;
}

PS2Part* PartManager::GetPart() const
{
    const MDLFILE* mf = mdlfile;
    if (partRef.index < 0 || mf == nullptr || mf->parts == nullptr || mf->header == nullptr)
        return nullptr;
    // The table's length is only in the file's block directory.
    const ModelHeader* hd = mf->header;
    for (u32 i = 0; i < hd->blockCount; i++) {
        const HeaderBlock& b = hd->block[i];
        if (b.type == EX5_BLOCK_PARTICLE && b.Data() == mf->parts)
            return partRef.index < b.count ? &mf->parts[partRef.index] : nullptr;
    }
    return nullptr;
}

Texture* PartManager::GetTexture() const
{
    const PS2Part* part = GetPart();
    if (part == nullptr || mdlfile->textures == nullptr || part->texIndex >= mdlfile->nTextures)
        return nullptr;
    return mdlfile->GetTexture(part->texIndex);
}

Particle* PartManager::CreatePart(float _scale, Variant a, Variant b)
{
    Particle* p = new Particle(this);
    if (p == nullptr)
        return nullptr;
    p->scale = _scale;
    list.AddTail(p);
    if (InitFcn != nullptr)
        InitFcn(p, a, b, _scale);
    return p;
}

namespace {

// (int)(rate x timer) truncated toward zero, held to 0 .. INT_MAX so that a
// huge or undefined product cannot reach the conversion.
int FrameAt(float f)
{
    if (!(f > 0.0f))
        return 0;
    if (f >= 2147483520.0f)   // the largest float below 2^31
        return std::numeric_limits<int>::max();
    return (int)f;
}

}  // namespace

int PartManager::Update(float dt)
{
    if (list.IsEmpty())
        return 0;
    const PS2Part* part = GetPart();
    const int nFrames = part != nullptr ? part->numFrames : 0;
    // Particles a hook spawns are appended after this one: they wait for the
    // next update.
    Particle* const last = list.Tail();
    Particle* next = nullptr;
    for (Particle* p = list.Head();; p = next) {
        const bool atEnd = p == last;
        if (!p->IsDead() && UpdateFcn != nullptr)
            UpdateFcn(p);
        // The last one's link leads to the list's end, which is no particle.
        if (!atEnd)
            next = p->Next();
        if (p->IsDead()) {
            p->Remove();
        } else if (!p->onScreen && !(p->flags & PART_KEEP)) {
            p->Kill();
        } else {
            p->timer += dt;
            if (timeOut != 0.0f && timeOut <= p->timer) {
                p->Kill();
            } else {
                bool expired = false;
                if (p->flags & PART_ANIMATED) {
                    p->frame = FrameAt(rate * p->timer);
                    if (nFrames != 0) {
                        if (p->flags & PART_LOOP)
                            p->frame %= nFrames;
                        else if (p->frame >= nFrames)
                            expired = true;
                    }
                }
                if (expired) {
                    p->Kill();
                } else {
                    p->pos.setxyz(p->pos + p->vel * p->scale * dt);
                    if (wind != 0.0f)
                        p->pos.setxyz(p->pos + windDir * wind * p->scale * dt);
                    if (partType == PART_TYPE_FLAT)
                        p->rotZ = FixAng(p->rotZ + p->rotSpd * dt);
                }
            }
        }
        if (atEnd)
            break;
    }
    return 0;
}

Particle* SpawnParticle(Object* manager, float scale, Variant a, Variant b)
{
    if (manager == nullptr || manager->IsDead())
        return nullptr;
    return static_cast<PartManager*>(manager)->CreatePart(scale, a, b);
}

// ------------------------------------------------------------------- helpers

VectorDir RandSphere(float r)
{
    const float pitch = 1.5707964f - randf() * 3.1415927f;
    const float yaw = FixAng(randf() * 6.2831855f);
    const Matrix m = RotX(pitch) * RotY(yaw);
    return VectorDir(m.z[0] * r, m.z[1] * r, m.z[2] * r);
}

VectorDir Drag(VectorDir v, float d)
{
    const float len = v.Length();
    if (len > 0.0f) {
        const float k = std::max(len - d, 0.0f) / len;
        v.setxyz(v * k);
    }
    return v;
}

VectorDir Drag2D(VectorDir v, float d)
{
    const float len = Length(v.xz());
    if (len > 0.0f) {
        const float k = std::max(len - d, 0.0f) / len;
        v.setx(v[0] * k);
        v.setz(v[2] * k);
    }
    return v;
}

VectorDir WindGet()
{
    return windDir;
}

void WindSet(VectorDir wind)
{
    windDir = wind;
}
