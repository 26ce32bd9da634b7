// The pedestrian's modes and animation: the table of its clips, the
// indirection through its own pedestrian group, what follows when a clip
// ends, the ways out of a car, and being held, arrested or shot.
#include "game/Bystander.h"

#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Utilities.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/Weapons.h"
#include "game/Player.h"

// {id, group, index}; group 17 stands for the pedestrian's own set, where
// the clip is id - 81.
const Bystander::AnimDef Bystander::AnimDefs[NUM_ANIMDEFS] = {
    // The own set.
    {81, 17, 0}, {82, 17, 1}, {83, 17, 2}, {84, 17, 3}, {86, 17, 5}, {89, 17, 8}, {87, 17, 6}, {88, 17, 7},
    {59, 17, 3}, {60, 17, 3}, {61, 17, 3}, {62, 17, 3}, {55, 17, 8}, {56, 17, 8}, {57, 17, 6}, {58, 17, 6},
    // The characters' default group.
    {85, 0, 4}, {93, 0, 4}, {94, 0, 21}, {99, 0, 6}, {100, 0, 7}, {90, 0, 25}, {95, 0, 15}, {96, 0, 16},
    {91, 0, 18}, {92, 0, 14}, {101, 0, 50}, {102, 0, 51}, {103, 0, 52}, {104, 0, 53}, {112, 0, 0},
    {113, 0, 2}, {114, 0, 3}, {115, 0, 30}, {116, 0, 31}, {105, 0, 19}, {106, 0, 48}, {107, 0, 29},
    {108, 0, 5}, {109, 0, 27}, {110, 0, 28}, {97, 0, 37}, {98, 0, 38}, {111, 0, 20}, {74, 0, 8}, {75, 0, 9},
    {76, 0, 10},
    // Recoils and the hostage's moves.
    {124, 16, 11}, {125, 16, 12}, {126, 15, 11}, {127, 15, 12},
    {117, 2, 8}, {118, 2, 9}, {119, 2, 10}, {120, 2, 11}, {121, 2, 12}, {122, 2, 13}, {123, 2, 14},
    // The car transitions.
    {1, 8, 44}, {2, 8, 47}, {3, 8, 48}, {4, 8, 49}, {5, 8, 45}, {6, 8, 46}, {7, 8, 64}, {8, 8, 65}, {9, 8, 66},
    {10, 8, 0}, {11, 8, 1}, {12, 8, 2}, {13, 8, 3}, {14, 8, 4}, {15, 8, 5}, {16, 8, 6}, {17, 8, 7}, {18, 8, 8},
    {19, 8, 9},
    {21, 8, 10}, {22, 8, 11}, {23, 8, 12}, {24, 8, 13}, {25, 8, 14}, {26, 8, 15}, {27, 8, 16}, {28, 8, 17},
    {29, 8, 18}, {30, 8, 19}, {31, 8, 20}, {32, 8, 21}, {33, 8, 22}, {34, 8, 23}, {35, 8, 24}, {36, 8, 25},
    {37, 8, 26}, {38, 8, 27}, {39, 8, 28}, {40, 8, 29}, {41, 8, 30}, {42, 8, 31}, {43, 8, 32}, {44, 8, 33},
    {45, 8, 34}, {46, 8, 35}, {47, 8, 36}, {48, 8, 37}, {49, 8, 38}, {50, 8, 39}, {51, 8, 40}, {52, 8, 41},
    {53, 8, 42}, {54, 8, 43},
    {63, 8, 53}, {64, 8, 58}, {65, 8, 55}, {66, 8, 60}, {67, 8, 55}, {68, 8, 60}, {69, 8, 52}, {70, 8, 57},
    {71, 8, 56}, {72, 8, 61}, {77, 8, 59}, {78, 8, 54},
};

u8 Bystander::AnimBanks[BYSTANDER_NUM_ANIS];
AnimChar* Bystander::Anims[BYSTANDER_NUM_ANIS];
u8 Bystander::DefaultPedAnimBank = 17;
float Bystander::walkturnspeed = 0.05235988f;
float Bystander::runturnspeed = 0.15707964f;
float Bystander::maxturnspeed = 0.20943952f;
bool Bystander::CrimeBeingAttempted = false;

// The arrest and the hostage grab; the other rows are empty.
const Guy::VictimData Bystander::VictimDataTable[10] = {
    {131, ARRESTED_BUT_DOWN_ANI, 0.234375f, 0, false},
    {191, HOSTAGE_GRABBED_ANI, 0.15625f, 0, false},
};

namespace {

// The rotation rows turned by a about y, the position kept.
void TurnAboutY(Matrix& m, float a)
{
    const VectorPos p = m.GetTrans();
    m = RotY(a) * m;
    m.SetTrans(p);
}

AnimChar* GroupClip(int group, int index)
{
    const AnimGroup* g = g_GlobalAGI.GetAG(group);
    return g != nullptr && index >= 0 && index < g->count ? g->pChars[index] : nullptr;
}

bool JukeboxFree() { return JBNPCVO.state == StreamJukebox::STOPPED; }

}  // namespace

void Bystander::Say(int track, bool always)
{
    if (!always && !JukeboxFree())
        return;
    Object* head = FindSubObject(14);
    if (head == nullptr)
        head = FindSubObject(20);
    if (head == nullptr)
        head = this;
    JBNPCVO.PlayBankTrack(vobank, track, head, 0.5f);
}

void Bystander::SwitchToMode(u8 newmode, bool blend)
{
    if (u8(mode) == newmode)
        return;
    if (blend) {
        if (newmode == 0)
            BlendToAnim(WALK_ANI, 15);
        else if (newmode == 1)
            BlendToAnim(IDLE_ANI, 10);
        else if (newmode == 5)
            BlendToAnim(HOSTAGE_IDLE_ANI, 5);
    }
    if (newmode == 5) {
        fScale = 1.0f;
        mat.SetScale(VectorXYZ(1.0f, 1.0f, 1.0f));
    }
    mode = s8(newmode);
}

namespace {

struct Choice
{
    AnimChar* anim;
    u8 group;
};

Choice ChooseClip(u16 id, int bank, int index, u8 own)
{
    if (id >= BYSTANDER_NUM_ANIS)
        return {nullptr, 0};
    Choice c;
    const u8 tbl = Bystander::AnimBanks[id];
    if (index >= 0)
        c.anim = GroupClip(bank, index);
    else if (tbl == Bystander::DefaultPedAnimBank)
        c.anim = GroupClip(own, id - 81 >= 0 ? id - 81 : Bystander::AnimDefs[0].index);
    else
        c.anim = Bystander::Anims[id];
    if (bank >= 0)
        c.group = u8(bank);
    else
        c.group = tbl == Bystander::DefaultPedAnimBank ? own : tbl;
    return c;
}

}  // namespace

void Bystander::BlendToAnim(u16 id, int blendlen, int bank, int index)
{
    // The own set's ids below 81 (the seated turn and walk rows) take the
    // table's index in the own group.
    if (index < 0 && id < 81 && id < BYSTANDER_NUM_ANIS && AnimBanks[id] == DefaultPedAnimBank) {
        for (const AnimDef& d : AnimDefs)
            if (d.id == id) {
                index = d.index;
                bank = pedanimbank;
            }
    }
    const Choice c = ChooseClip(id, bank, index, pedanimbank);
    Guy::BlendToAnim(id, c.anim, c.group, blendlen, false);
}

void Bystander::SetAnim(u16 id, int bank, int index)
{
    if (index < 0 && id < 81 && id < BYSTANDER_NUM_ANIS && AnimBanks[id] == DefaultPedAnimBank) {
        for (const AnimDef& d : AnimDefs)
            if (d.id == id) {
                index = d.index;
                bank = pedanimbank;
            }
    }
    const Choice c = ChooseClip(id, bank, index, pedanimbank);
    Guy::SetAnim(id, c.anim, c.group);
}

void Bystander::LeaveCar(Vehicle::KickOutMode kmode, bool flag)
{
    fScale = 1.0f;
    flags |= 0x2u;
    if (kmode == Vehicle::KICKOUT_PULLOUT) {
        SwitchToMode(2, false);
        BlendToAnim(74, 5);
        return;
    }
    SwitchToMode(3, false);
    if (kmode == Vehicle::KICKOUT_ESCAPE) {
        BlendToAnim(67, 5);
        return;
    }
    if (flag)
        BlendToAnim(car != nullptr && car->FindSubObject(16) != nullptr ? 65 : 67, 5);
    else
        BlendToAnim(78, 5);
    if (kmode == Vehicle::KICKOUT_ANGRY_FIGHT)
        morphstate = Morph_To_Provoked_Fighter;
    else if (kmode == Vehicle::KICKOUT_ANGRY_SHOOT)
        morphstate = Morph_To_Provoked_Shooter;
    else if (kmode == Vehicle::KICKOUT_SCARED)
        SetThought(Thought_Scared, nullptr, VectorPos(0.0f, 0.0f, 0.0f), 1200.0f);
}

void Bystander::DetachFromCar()
{
    DetachW();
    car = nullptr;
    BadGuy::car = nullptr;
    flags |= 0x80u;
    flags &= ~(0x20000u | 0x2u);
    SwitchToMode(0, false);
}

int Bystander::AnimLoop()
{
    const VectorPos origin(0.0f, 0.0f, 0.0f);
    // The pending change into a fighter goes ahead at the end of a bump,
    // shove, recoil or shock.
    auto provocation = [this](bool either) {
        if (morphstate == Morph_Pending_To_Provoked_Fighter)
            morphstate = Morph_To_Provoked_Fighter;
        else if (morphstate == Morph_Pending_To_Fighter)
            morphstate = Morph_To_Fighter;
        else
            return;
        if (JBNPCVO.state != StreamJukebox::STOPPED && JBNPCVO.GetCurrentTrack() == PVO_CopResist_Fight)
            return;
        Say(either && (rand() & 1) ? PVO_CopResist_Shoot : PVO_CopResist_Fight, true);
    };
    auto scare = [this, origin]() {
        if (reactionobj != nullptr) {
            RCptr<Object> r = reactionobj;
            SetThought(Thought_Scared, r, r->GetWorldPos(), 600.0f);
            reactionobj = nullptr;
        }
    };
    switch (mode2) {
    case IDLE_ANI:
        if (RandomN(5) == 0)
            BlendToAnim(IDLE_ANI, 10);
        else
            BlendToAnim(IDLE_SPECIAL_ANI, 10);
        return -1;
    case IDLE_LOOKAROUND_ANI:
    case IDLE_SPECIAL_ANI:
    case GAWK_FEMALE_ANI:
    case TALK_FEMALE_ANI:
    case GAWK_MALE_ANI:
    case TALK_MALE_ANI:
        BlendToAnim(IDLE_ANI, 10);
        return -1;
    case ANGRY_ANI:
    case GETUP_ANI:
        BlendToAnim(WALK_ANI, 15);
        return -1;
    case DUCK_ANI:
        BlendToAnim(DUCK_IDLE_ANI, 1);
        return -1;
    case CARTRANS_CAR_JUMP_BACK_ANI:
        endpath = true;
        BlendToAnim(WALK_ANI, 15);
        return -1;
    case CARTRANS_CAR_JUMP_FWD_ANI:
        endpath = true;
        BlendToAnim(GETUP_ANI, 15);
        return -1;
    case ROLL_ANI:
        SetAnim(GETUP_ANI);
        return -1;
    case LYING_DOWN_ANI:
        flags |= 0x40000000u | 0x20000u | 0x2u;
        return -1;
    case BUMPED_ANI:
    case SHOVED_L_ANI:
    case SHOVED_R_ANI:
    case SHOVED_FRONT_L_ANI:
    case SHOVED_FRONT_R_ANI:
        provocation(false);
        BlendToAnim(WALK_ANI, 15);
        return -1;
    case ATTACK_RECOIL_FEMALE_HIGH_ANI:
    case ATTACK_RECOIL_FEMALE_LOW_ANI:
    case ATTACK_RECOIL_MALE_HIGH_ANI:
    case ATTACK_RECOIL_MALE_LOW_ANI:
        provocation(true);
        BlendToAnim(IDLE_ANI, 10);
        Say(PVO_Whine_1 + (rand() & 1));
        scare();
        return -1;
    case SHOCKED_ANI:
        if (mode == 5) {
            BlendToAnim(RUN_ANI, 10);
            return 0;
        }
        provocation(true);
        scare();
        BlendToAnim(RUN_ANI, 10);
        return 0;
    case ARRESTED_BUT_DOWN_ANI:
        TurnAboutY(mat, float(M_PI));
        if (inpossession) {
            if (GameController* gc = g_pgcTest) {
                LowerStat(gc->stats.nCivilUnrest, 1);
                gc->AddPoints(5, this);
                gc->stats.nGoodDisposals++;
            }
            SetAnim(ARRESTED_ANI);
            flags |= 0x10000000u;
        } else {
            SetAnim(ARRESTED_RELEASE_ANI);
        }
        return -1;
    case ARRESTED_ANI:
        flags |= 0x10000000u | 0x20000u;
        return -1;
    case ARRESTED_RELEASE_ANI:
        TurnAboutY(mat, 2.5307276f);
        SetAnim(WALK_ANI);
        mode = 0;
        return -1;
    case HOSTAGE_GRABBED_ANI:
    case HOSTAGE_WALK_BACK_ANI:
    case HOSTAGE_WALK_FWD_ANI:
    case HOSTAGE_WALK_LEFT_ANI:
    case HOSTAGE_WALK_RIGHT_ANI:
        SetAnim(HOSTAGE_IDLE_ANI);
        return -1;
    case HOSTAGE_RELEASE_ANI:
        TurnAboutY(mat, float(M_PI));
        if (flags & 0x20000000u)
            SetAnim(IsFemaleChar(charid) ? KILLED_FEMALE_ANI : KILLED_ANI);
        else
            SetAnim(GETUP_ANI);
        return -1;
    case 71:
    case 72:
        DetachFromCar();
        return 0;
    case 74:
        Say(PVO_Carjacked_1 + (rand() & 1));
        DetachW();
        car = nullptr;
        BadGuy::car = nullptr;
        flags |= 0x80u;
        flags &= ~0x20000u;
        SetAnim(75);
        inairtime = u32(world.time);
        return -1;
    case 75:
        flags |= 0x20000u;
        return 0;
    case 76:
        mode = 0;
        BlendToAnim(GETUP_ANI, 10);
        return -1;
    default:
        return 0;
    }
}

int Bystander::Grabbed(const SpecialMessage& m)
{
    // 1. Not while it lies, rolls, gets up, is knocked about or is dead.
    switch (mode2) {
    case GETUP_ANI:
    case KILLED_ANI:
    case KILLED_FEMALE_ANI:
    case DUCK_KILLED_ANI:
    case ROLL_ANI:
    case KNOCKED_UP_ANI:
    case KNOCKED_AWAY_ANI:
    case CAR_BUMPED_ANI:
    case LYING_DOWN_ANI:
        return 0;
    default:
        break;
    }
    Object* holder = m.obj;
    if (holder == nullptr)
        return 0;
    // 2.
    const VictimData* row = nullptr;
    for (const VictimData& v : VictimDataTable)
        if (v.victimani != 0 && v.enemyani == u16(int(m.param[0])))
            row = &v;
    if (row == nullptr)
        return 0;
    // 3.
    Object* hold = holder->FindSubObject(31);
    Matrix target = hold != nullptr ? hold->GetWorldMatrix() : holder->GetWorldMatrix();
    target = RotY(float(M_PI)) * target;
    const VectorPos tp = target.GetTrans(), own = GetWorldPos();
    const float dx = tp[0] - own[0], dz = tp[2] - own[2];
    if (dx * dx + dz * dz >= row->dist * row->dist)
        return 0;
    const int morphlen = int(m.param[1]) != 0 ? int(m.param[1]) : row->morphlen;
    const float yawOwn = std::atan2(mat.z[0], mat.z[2]);
    const float yawHold = std::atan2(target.z[0], target.z[2]);
    grappledstartpos = own;
    grappledmat = target;
    grappleturnspeed = std::fabs(yawOwn - yawHold) / float(morphlen > 0 ? morphlen : 1);
    // 4.  The row as this grab plays it.
    grabvictimdata = *row;
    grabvictimdata.morphlen = morphlen;
    victimdata = &grabvictimdata;
    const int bank = int(m.param[2]), index = int(m.param[3]);
    if (bank != 0 && index != 0) {
        grapplebankoverride = bank;
        grappleindexoverride = index;
    } else {
        grapplebankoverride = grappleindexoverride = -1;
    }
    // 5.
    flags &= ~0x20000u;
    BlendToAnim(row->victimani, morphlen, grapplebankoverride, grappleindexoverride);
    flags |= 0x100u;
    grappler = holder;
    // 6.
    SwitchToMode(row->victimani >= HOSTAGE_GRABBED_ANI && row->victimani <= HOSTAGE_RELEASE_ANI ? 5 : 4, false);
    grappledframe = frame;
    return 1;
}

void Bystander::Released(const SpecialMessage&)
{
    const Guy* holder = grappler != nullptr && grappler->type == OBJT_CHARACTER ? static_cast<Guy*>(grappler.p) : nullptr;
    if (mode2 >= ARRESTED_ANI && mode2 <= ARRESTED_RELEASE_ANI)
        BlendToAnim(IDLE_ANI, 3);
    else if (holder != nullptr && holder->strength > 0.0f && !(flags & (0x20000000u | 0x40000000u)))
        BlendToAnim(IDLE_ANI, 3);
    else
        BlendToAnim(HOSTAGE_RELEASE_ANI, 3);
    grappler = nullptr;
    victimdata = nullptr;
    flags &= ~0x100u;
}

void Bystander::BulletHit(const SpecialMessage& m)
{
    if (flags & 0x20000000u)
        return;
    if (mode2 == DUCK_ANI || mode2 == DUCK_IDLE_ANI)
        BlendToAnim(DUCK_KILLED_ANI, 3);
    else
        BlendToAnim(IsFemaleChar(charid) ? KILLED_FEMALE_ANI : KILLED_ANI, 3);
    Say(PVO_Killed);
    flags |= 0x20000000u | 0x2u;
    const Bullet* b = static_cast<const Bullet*>(m.obj);
    if (b == nullptr)
        return;
    const bool players = b->sourceid == -1 ||
                         (dace != nullptr && dace->parent != nullptr && b->sourceid == dace->parent->id);
    GameController* gc = g_pgcTest;
    if (!players || gc == nullptr)
        return;
    const float d = (GetWorldPos() - b->sourcePos).Length();
    gc->stats.fMaxShotDistance = std::max(gc->stats.fMaxShotDistance, d);
    gc->AddPoints(-20, this);
    gc->stats.nBadDisposals++;
    gc->stats.nCivCasualties++;
    gc->stats.nCivilUnrest += 2;
    gc->stats.nFriendlyBulletHits++;
}
