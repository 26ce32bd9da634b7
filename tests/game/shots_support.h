// The shots guns leave in the world, seen there: the bullets (objects of the
// bullet kind, with where and along which line each left the muzzle), the
// spent cases and the muzzle flashes hung under a gun.  The models the
// weapons table names for them are put into their registry slots for as
// long as a ShotModels lives.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "tools/lib/gunfiles.h"

#include "game/ShotEffects.h"
#include "game/Weapons.h"
#include "game/explode_support.h"

namespace shotstest {

inline tools::P2BFile WeaponFile(const char* name)
{
    for (auto& [path, file] : tools::WeaponModelFiles())
        if (path.find(name) != std::string::npos)
            return file;
    ADD_FAILURE() << "no weapon file " << name;
    return {};
}

// The bullets and cases file (slot 148) and the muzzle flash (slot 151), as
// the ordinary guns' rows name them.  The shots still in the world go with
// them, before the models they use.
class ShotModels
{
public:
    ShotModels() : bullets(148, WeaponFile("BULLETS")), flashes(151, WeaponFile("MUZZLEFL")) {}
    ~ShotModels()
    {
        for (ObjectList* list : {&world.objectlist, &world.animlist})
            for (ObjectLink* l = list->Head(); !l->IsEOList(); l = l->Next()) {
                Object* o = l->data;
                if (o == nullptr || o->IsDead())
                    continue;
                if (o->messagehandler == flashmh) {
                    o->Detach();
                    o->Delete();
                } else if (o->messagehandler == Bullet::Bullet_mh || o->messagehandler == Casing::Casing_mh) {
                    o->Delete();
                }
            }
    }
    ShotModels(const ShotModels&) = delete;
    ShotModels& operator=(const ShotModels&) = delete;

    explodetest::SlotFile bullets, flashes;
};

// The blank's row with the ordinary guns' shot models, so that its shots
// are seen in the world.
inline Weapon SeenBlank()
{
    Weapon w = gWeapons[WEAP_BLANK];
    const Weapon& p = gWeapons[WEAP_PISTOL_RUGER];
    w.iBulletMFIndex = p.iBulletMFIndex;
    w.bulletmdlindex = p.bulletmdlindex;
    w.iCasingMFIndex = p.iCasingMFIndex;
    w.casingmdlindex = p.casingmdlindex;
    w.iFlashMFIndex = p.iFlashMFIndex;
    w.flashmdlindex = p.flashmdlindex;
    return w;
}

inline int CountInWorld(OBJMESSAGEHANDLER kind)
{
    int n = 0;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
        n += l->data != nullptr && !l->data->IsDead() && l->data->messagehandler == kind;
    return n;
}

inline int Cases()
{
    return CountInWorld(Casing::Casing_mh);
}

// Flashes hung under the gun.
inline int Flashes(const Object* gun)
{
    int n = 0;
    for (const Object* c = gun->child; c != nullptr; c = c->sibling)
        n += c->messagehandler == flashmh;
    return n;
}

// A watch over the world's bullets: each look notes those that have
// appeared since the last one.
class BulletWatch
{
public:
    struct Shot
    {
        VectorDir along;   // the line it flies along
        VectorPos from;    // the muzzle it left
    };

    BulletWatch() { Look(); }

    // The bullets new since the last look, added to `shots`; their number.
    int Look()
    {
        std::set<const Object*> now;
        int added = 0;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
            Object* o = l->data;
            if (o == nullptr || o->IsDead() || o->messagehandler != Bullet::Bullet_mh)
                continue;
            now.insert(o);
            if (seen.count(o) != 0 || !started)
                continue;
            const Bullet* b = static_cast<const Bullet*>(o);
            shots.push_back({VectorDir(b->mat.z.xyz()), b->sourcePos});
            added++;
        }
        seen = now;
        started = true;
        return added;
    }
    int Count() const { return int(shots.size()); }
    const Shot& Last() const { return shots.back(); }

    std::vector<Shot> shots;

private:
    std::set<const Object*> seen;
    bool started = false;
};

}  // namespace shotstest
