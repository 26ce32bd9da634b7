// Shooters for tests and benchmarks: the enemies' figure and groups, the
// enemy gun file and the player's model put straight into the registries, a
// player shell that records what it is told, and shooters made by name.
// Free of the test framework, so the benchmarks use it too.
#pragma once

#include <algorithm>
#include <vector>

#include <string>
#include <vector>

#include "tests/game/player_support.h"

#include "tools/lib/gunfiles.h"
#include "tools/lib/npcfiles.h"

#include "tests/game/controller_support.h"

#include "game/BadGuy.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "tests/ZevEngine2/PS2/fresh_sound.h"

namespace enemyrig {

constexpr int kEnemySlot = 60;    // the shooters' model file
constexpr int kGunSlot = 161;     // the enemies' gun file

struct Files
{
    std::vector<u8> enemy, guns;
    std::vector<std::pair<int, std::vector<u8>>> groups;
    std::string error;
};

inline const Files& EnemyFiles()
{
    static const Files files = [] {
        Files f;
        tools::WriteP2B(tools::HumanoidFile(tools::EnemyLook()), f.enemy, f.error);
        for (const auto& [path, model] : tools::WeaponModelFiles())
            if (path == "DemoData/Misc/ENEMGUNS.P2B")
                tools::WriteP2B(model, f.guns, f.error);
        for (const tools::PlayerGroup& g : tools::NPCGroups()) {
            tools::AnimGroupFiles out;
            if (tools::BuildNPCGroup(g, out, f.error))
                f.groups.emplace_back(g.group, std::move(out.ani));
        }
        return f;
    }();
    return files;
}

// What the player shell was told.
struct Heard
{
    int shotAt = 0;
    int collisionAnswer = 0;   // its answer to the collision query
    int grabAnswer = 0;        // its answer to a grab (31)
    int grabAnim = -1;         // the move of the last grab it was offered
    std::vector<int> codes;
};
inline Heard heard;

inline int PlayerShell_mh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg != OM_SPECIAL || data == nullptr)
        return 0;
    const auto* m = static_cast<SpecialMessage*>(data);
    heard.codes.push_back(m->submsg);
    if (m->submsg == SMSG_SHOT_AT)
        heard.shotAt++;
    if (m->submsg == SMSG_Q_COLLISION)
        return heard.collisionAnswer;
    if (m->submsg == 31) {
        heard.grabAnim = m->param[0];
        return heard.grabAnswer;
    }
    return 0;
}

// An event object that records the events it hears.
struct EventLog : Object
{
    std::vector<int> codes;
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg == OM_SPECIAL && data != nullptr)
            static_cast<EventLog*>(o)->codes.push_back(static_cast<SpecialMessage*>(data)->submsg);
        // One made with new goes whole when the world deletes it, its list
        // with it; others are members and locals of the tests.
        if (msg == OM_DIE && static_cast<EventLog*>(o)->owned) {
            delete static_cast<EventLog*>(o);
            return -1;
        }
        return 0;
    }
    EventLog() { messagehandler = mh; }
    static EventLog* Make()
    {
        EventLog* e = new EventLog;
        e->owned = true;
        return e;
    }
    bool owned = false;
    int Count(int code) const
    {
        int n = 0;
        for (int c : codes)
            n += c == code;
        return n;
    }
};

// The enemies' model in a model slot, their gun file and their animation
// groups in the registries, taken out again at the end.
class Kit
{
public:
    explicit Kit(int slot)
    {
        rig.Model(slot, EnemyFiles().enemy);
        rig.Model(kGunSlot, EnemyFiles().guns);
        for (const auto& [g, ani] : EnemyFiles().groups) {
            AnimGroup* ag = static_cast<AnimGroup*>(rig.Block(ani, 64));
            ag->FixUp();
            g_GlobalAGI.rgagi[g] = {ag, AGI_PERMANENT, 0, -1, false};
            groups.push_back(g);
        }
    }
    ~Kit()
    {
        for (int g : groups)
            g_GlobalAGI.rgagi[g] = {nullptr, 0, 0, -1, false};
    }
    Kit(const Kit&) = delete;
    Kit& operator=(const Kit&) = delete;

    playerrig::Rig rig;
    std::vector<int> groups;
};

// The registries dressed with the shooters' files and the player's groups,
// a player shell at the origin and a game controller.
class Scene
{
public:
    Scene()
    {
        world.Clear();
        world.pedlist.RemoveAll();
        world.playbackSpeed = 1.0f;
        for (auto* l = world.rawobjPostList.Head(); !l->IsEOList(); l = l->Next())
            postBefore.push_back(l->data);
        gametest::Controller();
        heard = Heard{};
        player = new Dace;
        g_GlobalMFI.GetMF(48, false)->GetHierarchyTo(player, 0, 0);
        player->messagehandler = PlayerShell_mh;
        player->mat = Matrix(true);
        player->id = -1;
        player->type = OBJT_CHARACTER;
        dace = player;
    }
    ~Scene()
    {
        // What the scene's characters put on the post-draw list goes with
        // them: each is asked to go (skid marks free themselves) and leaves
        // the list.
        for (auto* l = world.rawobjPostList.Head(); !l->IsEOList();) {
            auto* next = l->Next();
            RawObj* ro = l->data;
            if (std::find(postBefore.begin(), postBefore.end(), ro) == postBefore.end()) {
                if (ro != nullptr && ro->messagehandler != nullptr)
                    ro->messagehandler(ro, ROM_DESTROY, nullptr, nullptr, nullptr);
                l->Remove();
            }
            l = next;
        }
        // The interiors' collision tree holds the scene's objects.
        world.dynbsp.RemoveAll();
        world.Clear();
        world.pedlist.RemoveAll();
        soundtest::FreshSoundSystem();
        dace = nullptr;
        player->messagehandler = nullptr;
        delete player;
    }

    // A shooter made by name at pos with a pistol, its frame not yet run.
    Enemy* Shooter(VectorPos pos, int weapon = WEAP_PISTOL_RUGER, int id = 7)
    {
        char name[] = "ShooterEnemy";
        Object* o = g_pgcTest->CreateCharacterAt(kEnemySlot, id, -1, name, false);
        if (o == nullptr)
            return nullptr;
        Enemy* e = static_cast<Enemy*>(o);
        e->mat.SetTrans(pos);
        e->shootweapontype = s16(weapon);
        e->vobank = 255;   // no voice bank: lines stay silent
        e->ReinitAsShooter();
        return e;
    }

    void Ticks(int n)
    {
        for (int i = 0; i < n; i++)
            world.Update();
    }

    std::vector<RawObj*> postBefore;
    playerrig::Rig rig;
    // The player's resident set first: the enemies' groups go over it.
    Kit kit{(rig.Resident(), kEnemySlot)};
    Dace* player;
};

}  // namespace enemyrig
