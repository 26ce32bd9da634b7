// The pedestrian's handler: creation, set-up from its generator, the
// special codes, the culling timer and death; the crowd-wide broadcast.
#include "game/Bystander.h"

#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/cardrivr.h"
#include "game/GameAudio.h"
#include "game/GameEvents.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Weapons.h"

static Name nameBystander("Bystander", int(reinterpret_cast<intptr_t>(&Bystander::Bystander_mh)));

namespace {

constexpr u16 kPedBoxId = 10009;
const Cuboid kPedBox(VectorPos(-0.0625f, -0.625f, -0.078125f), VectorPos(0.0625f, 0.0f, 0.078125f));

// Culling timers: every 15 + 0..7 frames.
void ArmCullTimer(Object* o) { world.SetTimer(o, AnimTime(u32(15 + (rand() & 7)) << 8), nullptr); }

}  // namespace

Bystander::Bystander()
    : BadGuy(Bystander_mh), ppg(nullptr), iLastDrawnTime(0), car(nullptr), ghc{}, cb(kPedBoxId, kPedBox),
      collobj(nullptr), thoughtobj(nullptr), reactionobj(nullptr), grappler(nullptr)
{
    ptexIcon = nullptr;
    aggro = 0.5f;
    BadGuy::aggro = 0.5f;
    for (AngleArc& a : neck.ikjointlimits)
        a = AngleArc();
    neck.joint = nullptr;
    neck.ikjointmat = Matrix(true);
    mat = Matrix(true);
    charid = -1;
    fScale = 0.01f;
    grapplebankoverride = grappleindexoverride = -1;
    thought = Thought_None;
    action = prevaction = Action_WalkOnSidewalk;
    endpath = true;
    morphstate = Morph_None;
    pedanimbank = DefaultPedAnimBank;
    standani = IDLE_ANI;
    walkanimspeed = pivotmultiplier = 1.0f;
    hitvel = VectorDir(0.0f, 0.0f, 0.0f);
    steerdir = steervec = VectorDir(0.0f, 0.0f, 0.0f);
    pedboundingbox = Cuboid(VectorPos(0.0f, 0.0f, 0.0f), VectorPos(0.0f, 0.0f, 0.0f));
}

Bystander::~Bystander()
{
    grappler = nullptr;
    reactionobj = nullptr;
    thoughtobj = nullptr;
}

void Bystander::Create(MDLFILE* mf)
{
    type = OBJT_CHARACTER;
    if (mf != nullptr)
        mf->GetHierarchyTo(this, 0, 200);
}

int Bystander::Bystander_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE) {
        Bystander* b = new Bystander();
        if (b == nullptr)
            return 0;
        b->Create(nullptr);
        b->fScale = 0.01f;
        return int(reinterpret_cast<intptr_t>(b));
    }
    if (o == nullptr)
        return 0;
    return static_cast<Bystander*>(o)->mh(msg, data);
}

void Bystander::Init()
{
    // 1. The neck.
    neck.ikjointlimits[0] = AngleArc(-0.8726647f, 1.7453294f);
    neck.ikjointlimits[1] = AngleArc(-0.3490659f, 1.3962635f);
    neck.ikjointlimits[2] = AngleArc(-0.8726647f, 1.7453294f);
    neck.joint = FindSubObject(15);
    neck.ikjointmat = Matrix(true);
    movespeed = 0.0f;
    // 2. The character's tables.
    pedanimbank = GetPedAnimBank(charid);
    aggro = GetPedAggression(charid);
    BadGuy::aggro = aggro;
    vobank = GetPedVOBank(charid);
    // 3.
    inpossession = 4.0f * randf() < aggro * aggro;
    // 4.
    biproot = child != nullptr ? child->sibling : nullptr;
    leavepatht = 0.0f;
    pivotmultiplier = 1.0f;
    walkanimspeed = 1.0f + 0.4f * randf() - 0.2f;
    // 5. The class tables, once.
    if (Anims[IDLE_ANI] == nullptr) {
        for (const AnimDef& d : AnimDefs) {
            AnimBanks[d.id] = u8(d.group);
            const AnimGroup* g = g_GlobalAGI.GetAG(d.group);
            Anims[d.id] = g != nullptr && d.index < g->count ? g->pChars[d.index] : nullptr;
        }
    }
    anims = Anims;
    animbanks = AnimBanks;
    // 6.
    SetAnim(WALK_ANI);
    // 7. On the ground.
    VectorPos p = mat.GetTrans();
    p[1] -= 0.15625f;
    const float g = world.GroundHeight(p, nullptr, &ghc);
    if (g < 0.0f) {
        p = mat.GetTrans();
        p[1] = g;
        mat.SetTrans(p);
    }
    flags |= OBJF_FRAMECALL;
    flags &= ~0x80u;
    // 8.
    hitvel = VectorDir(0.0f, 0.0f, 0.0f);
    thought = Thought_None;
    thoughtobj = nullptr;
    reactionobj = nullptr;
    SetThought(Thought_None, nullptr, VectorPos(0.0f, 0.0f, 0.0f), 0.0f);
    // 9.
    if (action >= Action_RogueChain)
        prevaction = action;
    action = Action_WalkOnSidewalk;
    area = prevarea = Area_None;
    newarea = false;
    lastrs = nullptr;
    lastjunc = nullptr;
    lastgp = nullptr;
    // 10.
    lane = (rand() & 1) != 0;
    laneswitchtime = turnaroundtime = crimetime = float(world.time);
    lastcollsoundtime = u32(world.time);
    timeoffset = u8(rand() & 7);
    endpath = true;
    standani = IDLE_ANI;
    energy = rand() & 1023;
    attemptingcrime = commitcrime = bored = engagedincrime = tolddacetogetout = false;
    steerdir = steervec = VectorDir(0.0f, 0.0f, 0.0f);
    stuck = steering = shovedfrombehind = false;
    // 11.
    world.pedlist.AddTail(this);
    // 12. One box for the body; the limbs hear nothing.
    collision = cb.Chain();
    flags &= ~0x8u;
    ModifyFlagsHierarchy(0x2, 0);
    flags &= ~0x2u;
    // 13. The box enclosing the model's boxes, in its own space.
    pedboundingbox = Cuboid(VectorPos(0.0f, 0.0f, 0.0f), VectorPos(0.0f, 0.0f, 0.0f));
    const Matrix toOwn = GetWorldMatrix().Inverse();
    auto grow = [&](Object* o) {
        COLLISION* c = o == this ? nullptr : o->GetCollision();
        const Matrix m = o->GetWorldMatrix() * toOwn;
        for (; c != nullptr && !c->IsEnd(); c = c->Next()) {
            if (c->type != COLL_BOX)
                continue;
            const Cuboid& b = reinterpret_cast<CollBox*>(c)->box;
            for (int k = 0; k < 8; k++) {
                const VectorPos corner((k & 1) ? b.max[0] : b.min[0], (k & 2) ? b.max[1] : b.min[1],
                                       (k & 4) ? b.max[2] : b.min[2]);
                const VectorPos q = m * corner;
                for (int a = 0; a < 3; a++) {
                    pedboundingbox.min[a] = std::min(pedboundingbox.min[a], q[a]);
                    pedboundingbox.max[a] = std::max(pedboundingbox.max[a], q[a]);
                }
            }
        }
    };
    grow(this);
    ObjectHierarchyIterator it(this, ObjectHierarchyIterator::SKIP_OBJECT);
    for (Object* o = it.Next(); o != nullptr; o = it.Next())
        grow(o);
    // The body's own box counts when the model has none.
    for (int a = 0; a < 3; a++) {
        pedboundingbox.min[a] = std::min(pedboundingbox.min[a], kPedBox.min[a]);
        pedboundingbox.max[a] = std::max(pedboundingbox.max[a], kPedBox.max[a]);
    }
    // 14.
    plookat = nullptr;
    lookattime = 0;
    ClearPopOut();
}

int Bystander::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME: {
        const bool shooter = morphstate == Morph_To_Provoked_Shooter || morphstate == Morph_To_Shooter;
        const bool fighter = morphstate == Morph_To_Provoked_Fighter || morphstate == Morph_To_Fighter;
        if ((shooter || fighter) && mode != 2 && mode != 3) {
            // A runner that cannot be made leaves the pedestrian as it is.
            Enemy* e = shooter ? MorphIntoRunner(-1, 1.0f, 0.0f, 0.0f, 24, dace, false)
                               : MorphIntoRunner(-1, 0.0f, 0.0f, 1.0f, 21, dace, false);
            if (e != nullptr) {
                morphstate = Morph_None;
                if (shooter)
                    e->SelectStoppedStrategy();
                return 0;
            }
            morphstate = Morph_None;
        }
        const bool seated = car != nullptr && parent == car;
        if (seated)
            flags &= ~0x20000u;
        Frame();
        if (seated)
            flags |= 0x20000u;
        return 0;
    }
    case OM_TIMER: {
        // The culling test.
        const VectorPos v = rc.world_view * mat.GetTrans();
        float d = std::sqrt(4.0f * v[0] * v[0] + v[2] * v[2]);
        if (v[2] < 0.0f)
            d *= 1.5f;
        if (!engagedincrime && mode != 2 && mode != 3) {
            const bool unseen = world.time - iLastDrawnTime > 21;
            if ((unseen && d > PedGen::f16PedZone1Dist) || d > PedGen::f16PedZone2Dist ||
                d > PedGen::f16PedMaximumDist) {
                // The place is freed first, then handed to the pending
                // generator.
                GameController* gc = g_pgcTest;
                const bool counted = ppg != nullptr;
                Delete();
                if (counted && gc != nullptr && gc->pps.ppg != nullptr) {
                    PedGen* next = gc->pps.ppg;
                    gc->pps.ppg = nullptr;
                    SpecialMessage m(SMSG_GEN_SPAWN, nullptr);
                    next->SendMessage(OM_SPECIAL, &m);
                }
                return -2;
            }
            if (v[2] < 10.9375f)
                flags |= 0x80u;
            else
                flags &= ~0x80u;
        }
        ArmCullTimer(this);
        return 0;
    }
    case OM_COLLISION:
        return BystanderCollision(static_cast<CollisionRecord*>(data));
    case OM_DIE: {
        if (ppg != nullptr) {
            ppg->i16NumSpawned--;
            if (g_pgcTest != nullptr)
                g_pgcTest->iNumPeds--;
        }
        if (mdlfile != nullptr && g_GlobalMFI.GetIndex(mdlfile) >= 0)
            g_GlobalMFI.DecrementRef(mdlfile);
        if (CriminalThought(thought))
            AttemptCrime(false);
        world.pedlist.Remove(this);
        world.StopTimer(this);
        // Still seated: the car keeps no link to a pedestrian that is gone.
        if (parent != nullptr && !parent->IsDead())
            Detach();
        grappler = nullptr;
        reactionobj = nullptr;
        thoughtobj = nullptr;
        delete this;
        return -1;
    }
    case OM_ANIMLOOP: {
        const auto* m = static_cast<AnimEventMessage*>(data);
        if (m == nullptr || m->slot != 0)
            return 0;
        const bool seated = car != nullptr && parent == car;
        if (seated)
            flags &= ~0x20000u;
        const int r = AnimLoop();
        if (seated)
            flags |= 0x20000u;
        return r;
    }
    case OM_WASDRAWN:
        iLastDrawnTime = int(reinterpret_cast<intptr_t>(data));
        return 0;
    case OM_SPECIAL:
        if (data == nullptr)
            return 0;
        break;
    default:
        return 0;
    }

    SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    const VectorPos origin(0.0f, 0.0f, 0.0f);
    switch (m.submsg) {
    case SMSG_PUT_IN_VEHICLE: {
        flags &= ~0x80u;
        car = static_cast<Vehicle*>(m.obj);
        if (car == nullptr)
            return 0;
        BadGuy::car = car;
        NODE* seat = car->mdlfile != nullptr ? car->FindNodeById(0x8000 | (int(m.param[0]) & 0x7FF)) : nullptr;
        mat = seat != nullptr ? seat->GetMatrix() : Matrix(true);
        car->Attach(this);
        SetAnim(car->bCycle ? 21 : 1);
        AnimateHierarchy(0.0f);
        if (biproot != nullptr)
            mat.SetTrans(mat.GetTrans() - biproot->mat.GetTrans());
        return 0;
    }
    case 31:
        return Grabbed(m);
    case 32:
        Released(m);
        return 0;
    case 33: BlendToAnim(HOSTAGE_WALK_BACK_ANI, 3); return 0;
    case 34: BlendToAnim(HOSTAGE_IDLE_ANI, 3); return 0;
    case 35: BlendToAnim(HOSTAGE_WALK_FWD_ANI, 3); return 0;
    case 36: BlendToAnim(HOSTAGE_WALK_LEFT_ANI, 3); return 0;
    case 37: BlendToAnim(HOSTAGE_WALK_RIGHT_ANI, 3); return 0;
    case SMSG_PED_WARNING_NEARBY:
    case 102:
        ReactToDaceNearbyCombatOrCopWarning(dace);
        return 1;
    case SMSG_PED_SHOTS_A:
    case SMSG_PED_SHOTS_B:
        ReactToDaceShots(dace);
        return 1;
    case SMSG_PED_DANGER: {
        const Bullet* b = static_cast<const Bullet*>(m.obj);
        if (b == nullptr)
            return 1;
        Object* shooter = nullptr;
        for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
            if (*it != nullptr && !it->IsDead() && it->id == b->sourceid) {
                shooter = *it;
                break;
            }
        if (shooter != nullptr && shooter->id != -1)
            ReactToDanger(nullptr, shooter->GetWorldPos(), 0.85f);
        return 1;
    }
    case SMSG_PED_INTERESTED:
        GetInterestedInObject(m.obj, 1200.0f);
        return 0;
    case SMSG_PED_GREET:
        GreetObject(m.obj);
        return 0;
    case SMSG_CHASE_OBJECT:
        ChaseObject(m.obj);
        return 0;
    case SMSG_QUERY_FEMALE: return IsFemaleChar(charid);
    case SMSG_QUERY_HOTTIE: return IsHottieChar(charid);
    case SMSG_QUERY_SHABBY: return IsShabbyChar(charid);
    case SMSG_PED_FLEE:
        FleeObject(m.obj);
        return 0;
    case SMSG_PED_SWITCH_MODE_A:
        SwitchToMode(preinterruptmode, true);
        return 0;
    case SMSG_PED_SETUP: {
        const auto* s = reinterpret_cast<const PedGenInitMsg*>(m.obj);
        if (s != nullptr) {
            ppg = s->ppg;
            iLastDrawnTime = s->iTime;
            charid = s->iCharID;
        }
        return 0;
    }
    case SMSG_PED_SETUP_B:
        if (int(lookattime) < world.time && m.obj != nullptr) {
            plookat = m.obj;
            lookattime = u32(world.time);
        }
        return 0;
    case SMSG_PED_SWITCH_MODE_B:
        preinterruptmode = u8(mode);
        SwitchToMode(1, true);
        return 0;
    case SMSG_BULLET_HIT:
        BulletHit(m);
        return 0;
    case SMSG_EV_ARREST:
        return inpossession;
    case SMSG_Q_SPOTTABLE:
        return iLastDrawnTime;
    case SMSG_Q_RETICLE_POS: {
        VectorPos* out = m.param[0];
        if (out == nullptr)
            return 1;
        const int idx = int(m.param[1]);
        Object* marker = nullptr;
        if (idx == 0 || idx == 1 || idx == 6 || idx == 7) {
            Object* s = FindSubObject(idx);
            marker = s != nullptr ? s->parent : nullptr;
        } else if (idx == 15) {
            marker = FindSubObject(15);
        } else {
            *out = VectorPos(0.0f, 0.0f, 0.0f);
            return 1;
        }
        Object* torso = FindSubObject(20);
        if (marker != nullptr && torso != nullptr)
            *out = marker->GetWorldPos() - torso->GetWorldPos();
        return 1;
    }
    default:
        return 0;
    }
}

void MessagePedestrians(int msg, Object* what)
{
    SpecialMessage m(msg, what);
    for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
        Object* ped = *it;
        // A destroyed pedestrian still listed until the next walk hears nothing.
        if (ped == nullptr || ped->IsDead() || ped->messagehandler == nullptr)
            continue;
        ped->messagehandler(ped, OM_SPECIAL, &m);
    }
}
