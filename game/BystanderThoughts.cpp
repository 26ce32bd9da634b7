// The pedestrian's mind: one thought about an object or a place, played out
// each frame, chained as it runs out, and handed to the random-crime
// spawner when it is a crime that has reached its victim; the object
// actions that set thoughts; and the changes into and out of a runner.
#include "game/Bystander.h"

#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/EntParams.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/cardrivr.h"

namespace {

const VectorPos kOrigin(0.0f, 0.0f, 0.0f);

// The runner a pedestrian becomes: walking, oblivious, fighting, 100 strong.
const EnemyGenRunner_params kDefaultRunnerParams = [] {
    EnemyGenRunner_params p{};
    p.character = 0;
    p.id = -101;
    p.weapon = 0;
    p.caronly = 0;
    p.walking = 1;
    p.oblivious = 1;
    p.shoot = 0.0f;
    p.command = 0.0f;
    p.fight = 1.0f;
    p.init_strength = 100;
    p.badass = 1.0f;
    p.handweapon = 0;
    return p;
}();

}  // namespace

const EnemyGenRunner_params& DefaultRunnerParams() { return kDefaultRunnerParams; }

bool RandomCrimesPossible()
{
    const GameController* gc = g_pgcTest;
    return gc != nullptr && gc->prms != nullptr && !gc->bRandomMissionActive;
}

void Bystander::AttemptCrime(bool ac)
{
    attemptingcrime = ac;
    CrimeBeingAttempted = ac;
}

bool Bystander::SetThought(ThoughtType newthought, Object* obj, VectorPos pos, float time)
{
    // 1.
    if (newthought != Thought_None) {
        bored = false;
        if (morphstate != Morph_None)
            return false;
    } else if (thought == Thought_None) {
        bored = true;
    }
    // 2.
    if (CriminalThought(thought))
        AttemptCrime(false);
    // 3.
    if (CriminalThought(newthought)) {
        if (!RandomCrimesPossible() || CrimeBeingAttempted)
            return false;
        AttemptCrime(true);
    }
    // 4.
    if (newthought == Thought_Terrified &&
        (thought == Thought_Wary || thought == Thought_Scared || thought == Thought_Terrified ||
         thought == Thought_Surrender))
        return false;
    // 5.
    if (newthought == Thought_Angry && randf() < 0.5f) {
        commitcrime = true;
        crimetime = float(world.time) + time * randf();
    }
    // 6.
    thought = newthought;
    if (obj != nullptr) {
        thoughtobj = obj;
        thoughtpos = obj->GetWorldPos();
    } else {
        thoughtobj = nullptr;
        thoughtpos = pos;
    }
    // 7.
    thoughttime = float(world.time) + time;
    return true;
}

bool Bystander::EndOfThought()
{
    if (CriminalThought(thought) && !RandomCrimesPossible()) {
        if (thought == Thought_Carjack && thoughtobj != nullptr && thoughtobj->type == OBJT_VEHICLE &&
            thoughtobj->id != -1) {
            SpecialMessage m(SMSG_CD_SET_DRIVE, nullptr, 5);
            thoughtobj->SendMessage(OM_SPECIAL, &m);
        }
        return true;
    }
    if (thoughttime == kNever)
        return false;
    if (thoughttime < float(world.time)) {
        if (CriminalThought(thought))
            AttemptCrime(false);
        return true;
    }
    return false;
}

int Bystander::ProcessThought()
{
    // Common part.
    if (thoughtobj != nullptr && thoughtobj->IsDead())
        SetThought(Thought_None, nullptr, kOrigin, 0.0f);
    if (thoughtobj != nullptr)
        thoughtpos = thoughtobj->GetWorldPos();
    const VectorPos own = GetWorldPos();
    const VectorDir rel = thoughtpos - own;
    const float d2 = rel.LengthSq();
    const float dl = std::sqrt(d2);
    const VectorDir to = dl > 0.0f ? VectorDir(rel / dl) : rel;
    VectorDir fwd(mat.z[0], mat.z[1], mat.z[2]);
    if (fwd.Length() > 0.0f)
        fwd = fwd / fwd.Length();

    auto calmDown = [this]() {
        SetThought(Thought_SlowDown, nullptr, kOrigin, 180.0f);
        return 0;
    };
    auto blend = [this](u16 a, int n) {
        if (mode2 != a)
            BlendToAnim(a, n);
    };
    // Answers whether the standing started this frame.
    auto standAt = [this](u16 a, int n) {
        const bool already = a == IDLE_ANI
                                 ? (mode2 == IDLE_ANI || mode2 == IDLE_LOOKAROUND_ANI || mode2 == IDLE_SPECIAL_ANI)
                                 : mode2 == a;
        if (already)
            return false;
        SetAction(Action_Stand);
        SetStandAni(a);
        BlendToAnim(a, n);
        return true;
    };
    auto approach = [&]() {
        if (d2 > 9.765625f)
            blend(RUN_ANI, 10);
    };
    auto turnAround = [&]() {
        if (turnaroundtime < float(world.time) && Dot(to, fwd) > 0.0f) {
            path = path.Flip();
            turnaroundtime = float(world.time) + 60.0f;
        }
    };
    // The crime goes to the spawner, with this pedestrian as perpetrator.
    auto handOver = [this](Object* victim, int crime) {
        GameController* gc = g_pgcTest;
        if (gc != nullptr && gc->prms != nullptr && gc->prms->messagehandler != nullptr) {
            SpecialMessage m(SMSG_EV_ENABLE_RANDOM_CRIME, this, victim, crime);
            gc->prms->messagehandler(gc->prms, OM_SPECIAL, &m);
        }
        AttemptCrime(false);
        return -1;
    };

    const bool ended = EndOfThought();
    switch (thought) {
    case Thought_None:
        if (thoughttime + 300.0f < float(world.time))
            SetThought(Thought_None, nullptr, kOrigin, 0.0f);
        return 0;
    case Thought_SlowDown:
        if (ended) {
            endpath = true;
            SetThought(Thought_None, nullptr, kOrigin, 0.0f);
            return 0;
        }
        blend(WALK_ANI, 15);
        return 0;
    case Thought_Lost:
        if (ended)
            return calmDown();
        if (standAt(IDLE_ANI, 5) && JBNPCVO.state == StreamJukebox::STOPPED && RandomN(50) == 0) {
            if (rand() & 1)
                Say(PVO_Chatter_1 + RandomN(3));
            else
                Say(PVO_Bored_1 + RandomN(2));
        }
        return 0;
    case Thought_Wary:
        if (ended)
            return calmDown();
        if (mode2 != WALK_ANI && mode2 != RUN_ANI)
            BlendToAnim(d2 < 39.0625f ? RUN_ANI : WALK_ANI, 10);
        if (d2 < 21.97265625f)
            blend(RUN_ANI, 10);
        else if (d2 > 61.03515625f)
            blend(WALK_ANI, 15);
        turnAround();
        return 0;
    case Thought_Scared:
        if (ended) {
            RCptr<Object> o = thoughtobj;
            SetThought(Thought_Wary, o, thoughtpos, 7200.0f);
            return 0;
        }
        blend(RUN_ANI, 10);
        turnAround();
        return 0;
    case Thought_Terrified:
        if (ended) {
            RCptr<Object> o = thoughtobj;
            SetThought(Thought_Scared, o, thoughtpos, 600.0f);
            return 0;
        }
        if (mode2 != SHOCKED_ANI && mode2 != DUCK_ANI && mode2 != DUCK_IDLE_ANI)
            BlendToAnim(DUCK_ANI, 5);
        turnAround();
        return 0;
    case Thought_Angry:
        if (ended)
            return calmDown();
        if (d2 < 1.1962890625f) {
            if (commitcrime && crimetime < float(world.time)) {
                Object* carobj = nullptr;
                if (thoughtobj != nullptr) {
                    if (thoughtobj->parent != nullptr && thoughtobj->parent->type == OBJT_VEHICLE)
                        carobj = thoughtobj->parent;
                    else if (thoughtobj->type == OBJT_VEHICLE)
                        carobj = thoughtobj;
                }
                commitcrime = false;
                if (carobj != nullptr)
                    CarjackObject(carobj);
            } else {
                standAt(ANGRY_ANI, 5);
            }
        } else if (mode2 != RUN_ANI && mode2 != ANGRY_ANI) {
            BlendToAnim(RUN_ANI, 10);
        }
        return 0;
    case Thought_Interested:
    case Thought_Greet:
        if (ended)
            return calmDown();
        if (d2 < 0.390625f) {
            if (standAt(IDLE_ANI, 10))
                Say(thought == Thought_Greet ? PVO_Greeting : PVO_Cool);
        } else if (d2 < 2.44140625f) {
            blend(WALK_ANI, 15);
        } else {
            blend(RUN_ANI, 10);
        }
        return 0;
    case Thought_Chase:
        if (ended)
            return calmDown();
        if (d2 < 0.390625f)
            blend(WALK_ANI, 5);
        else
            approach();
        return 0;
    case Thought_Carjack: {
        if (ended)
            return calmDown();
        if (!(d2 < 2.44140625f)) {
            approach();
            return 0;
        }
        Object* carobj = thoughtobj;
        if (carobj == nullptr || carobj->type != OBJT_VEHICLE)
            return 0;
        Vehicle* v = static_cast<Vehicle*>(carobj);
        Object* driver = v->rcoDriver.p;
        if (driver == nullptr)
            return 0;
        if (driver->id == -1) {
            if (!tolddacetogetout) {
                if (driver == dace)
                    dace->GetOut();
                tolddacetogetout = true;
            }
            return 0;
        }
        SpecialMessage hold(SMSG_CD_HOLD, nullptr, 1);
        driver->SendMessage(OM_SPECIAL, &hold);
        if (!StartGettingIn(v))
            return calmDown();
        Say(PVO_Carjack);
        return handOver(v, 9);
    }
    case Thought_Fight:
    case Thought_Rob:
        if (ended)
            return calmDown();
        if (d2 < 0.390625f) {
            Say(PVO_PickFight);
            return handOver(thoughtobj, thought == Thought_Fight ? 39 : 38);
        }
        approach();
        return 0;
    case Thought_Mug:
        if (ended)
            return calmDown();
        if (d2 < 0.390625f) {
            Say(PVO_Mugger);
            const bool player = thoughtobj != nullptr && thoughtobj->id == -1;
            return handOver(thoughtobj, player ? 6 : 4 + (rand() & 1));
        }
        approach();
        return 0;
    case Thought_Deal:
    case Thought_Prop:
        if (ended)
            return calmDown();
        if (d2 < 0.390625f) {
            Say(PVO_PickFight);
            return handOver(thoughtobj, thought == Thought_Deal ? 11 : 12);
        }
        return 0;
    case Thought_Surrender: {
        if (ended) {
            RCptr<Object> o = thoughtobj;
            SetThought(Thought_Scared, o, kOrigin, 600.0f);
            return 0;
        }
        if (standAt(GIVEUP_ANI, 5))
            Say((rand() & 1) ? PVO_Bummer : PVO_Surprise);
        bool heldup = false;
        if (Object* o = thoughtobj) {
            if (o->id == -1)
                heldup = static_cast<Dace*>(o)->target.p == this;
            else if (o->type == OBJT_CHARACTER)
                heldup = static_cast<BadGuy*>(o)->target.p == this && !(o->flags & 0x70000000u);
        }
        if (!heldup) {
            RCptr<Object> o = thoughtobj;
            SetThought(Thought_Scared, o, kOrigin, 600.0f);
        }
        return 0;
    }
    case Thought_StareDown:
        if (ended)
            return calmDown();
        return 0;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Actions

bool Bystander::GreetObject(Object* obj) { return SetThought(Thought_Greet, obj, kOrigin, 900.0f); }

bool Bystander::FleeObject(Object* obj) { return SetThought(Thought_Scared, obj, kOrigin, 1800.0f); }

bool Bystander::RogueAction(ThoughtType t, Object* obj)
{
    if (!SetThought(t, obj, kOrigin, 1800.0f))
        return false;
    prevpath = path;
    endpath = true;
    SetAction(Action_Rogue);
    return true;
}

bool Bystander::ChaseObject(Object* obj) { return RogueAction(Thought_Chase, obj); }
bool Bystander::FightObject(Object* obj) { return RogueAction(Thought_Fight, obj); }
bool Bystander::RobObject(Object* obj) { return RogueAction(Thought_Rob, obj); }
bool Bystander::MugObject(Object* obj) { return RogueAction(Thought_Mug, obj); }
bool Bystander::DealObject(Object* obj) { return RogueAction(Thought_Deal, obj); }
bool Bystander::PropObject(Object* obj) { return RogueAction(Thought_Prop, obj); }

bool Bystander::CarjackObject(Object* obj)
{
    if (!RogueAction(Thought_Carjack, obj))
        return false;
    if (obj == nullptr || obj->type != OBJT_VEHICLE)
        return true;
    Object* driver = static_cast<Vehicle*>(obj)->rcoDriver.p;
    if (driver == nullptr || driver->id == -1)
        return true;
    const VectorPos p = obj->GetWorldPos() +
                        VectorDir(randf() * 502.92f - 251.46f, 0.0f, randf() * 502.92f - 251.46f);
    SpecialMessage m(SMSG_CD_SET_DRIVE, nullptr, 6, &p);
    driver->SendMessage(OM_SPECIAL, &m);
    return true;
}

// ---------------------------------------------------------------------------
// Changes of kind

Enemy* Bystander::MorphIntoRunner(int newid, float shoot, float command, float fight, int enemymode,
                                  Object* /*newtarget*/, bool provoked)
{
    // 1. The head looks straight ahead again.
    if (neck.joint != nullptr && neck.joint->blendAnim != nullptr) {
        Object* j = neck.joint;
        BlendAnimation* ba = j->blendAnim;
        Matrix rest = static_cast<Matrix>(ba->baseKey.ang);
        rest.w = j->mat.w;
        j->mat = rest;
        ba->SetPoseBlend(0.0f);
    }
    // 2.
    const auto h = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("RunnerEnemy")));
    if (h == nullptr)
        return nullptr;
    Enemy* enemy = reinterpret_cast<Enemy*>(intptr_t(h(reinterpret_cast<Object*>(mdlfile), OM_CREATE, nullptr)));
    if (enemy == nullptr)
        return nullptr;
    // 3, 4.
    enemy->BodySnatch(this);
    enemy->charid = s16(charid & ~0x100);
    world.AddObject(enemy, nullptr);
    // 5.
    const int id = newid != -1 ? newid : world.FindUnusedID(-150, -101, -150);
    enemy->id = s16(id);
    enemy->flags |= 0x20u;
    // 6.
    enemy->fatigue = 1.0f;
    enemy->provoked = provoked;
    enemy->BadGuy::aggro = aggro;
    enemy->shootweapontype = s16(shoot != 0.0f ? 4 : -1);
    enemy->fightweapontype = 0;
    enemy->strength = enemy->initialstrength = float(kDefaultRunnerParams.init_strength);
    // 7. A walker keeps walking, a runner keeps running.
    if (enemymode == -1 && mode == 0 && (mode2 == WALK_ANI || mode2 == RUN_ANI || mode2 == JOG_ANI)) {
        enemy->mode = 4;
        if (mode2 == WALK_ANI) {
            enemy->SetAnim(u16(BadGuyAnims::WALK_ANI));
            enemy->movespeed = Enemy::MOVE_WALK;
        } else {
            enemy->SetAnim(u16(BadGuyAnims::SPRINT_ANI));
            enemy->movespeed = Enemy::MOVE_SPRINT;
        }
    }
    // 8.
    enemy->gameeventobj = gameeventobj;
    enemy->caronly = kDefaultRunnerParams.caronly != 0;
    enemy->oblivious = kDefaultRunnerParams.oblivious != 0;
    enemy->shootingchance = shoot;
    enemy->fightingchance = fight;
    enemy->commandeeringchance = command;
    enemy->tintset = tintset;
    // 9, 10.
    if (mdlfile != nullptr)
        g_GlobalMFI.IncrementRef(mdlfile);
    Delete();
    return enemy;
}

Bystander* MorphEnemyIntoBystander(Enemy* e, Object* scarer)
{
    if (e == nullptr)
        return nullptr;
    // 1.
    const auto h = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("Bystander")));
    if (h == nullptr)
        return nullptr;
    Bystander* b = reinterpret_cast<Bystander*>(intptr_t(h(nullptr, OM_CREATE, nullptr)));
    if (b == nullptr)
        return nullptr;
    // 2.
    if (e->mdlfile != nullptr && e->mdlfile->nodes != nullptr)
        e->mdlfile->GetHierarchyTo(b, e->index, 0x88);
    b->AllocBlendAnimHierarchy(0x88);
    b->mat = e->GetWorldMatrix();
    // 3.
    b->charid = s16(e->charid & ~0x100);
    // 4.
    world.SetTimer(b, AnimTime(60u << 8), nullptr);
    world.AddObject(b, nullptr);
    b->fScale = 1.0f;
    // 5.
    if (scarer != nullptr) {
        b->SetThought(Bystander::Thought_Scared, scarer, VectorPos(0.0f, 0.0f, 0.0f), 1200.0f);
        b->inpossession = false;
    }
    // 6.
    if (e->tintset >= 0)
        SetTintSet(b, e->tintset, true);
    // 7.
    if (e->mdlfile != nullptr)
        g_GlobalMFI.IncrementRef(e->mdlfile);
    e->Delete();
    return b;
}
