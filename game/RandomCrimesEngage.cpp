// The random crime's engagement: the per-frame count of the suspects and
// their escapes, the player's nearness, suspects caught or killed, each
// suspect's choice of giving up, running or attacking, the player's doings
// told to the pedestrians, and the orders the group scripts broadcast to
// ranges and groups of suspects.
#include "game/RandomCrimes.h"

#include "game/GameModes.h"
#include "game/RandomCrimesLocal.h"

namespace msg = rcmsg;
using namespace rcrime;

namespace {

// Beyond 312.5 nothing counts as near.
constexpr float kFarthest2 = 97656.2f;
// An out-of-play suspect this far away (25, squared) is taken away.
constexpr float kGoneDist2 = 625.0f;
// Escape distances (squared) of the kinds that have none of their own.
constexpr float kOtherFar2 = 390625.0f;
// A getaway car must stop once it stood this many frames with the player
// this near, or once its strength fell below this part of its base.
constexpr int kStopFrames = 121;
constexpr float kStopNear = 3.125f;
constexpr float kStopWeak = 0.6f;
constexpr float kStandingSpeed = 0.006985f;
// A suspect keeps driving this long after getting into a car.
constexpr int kDriveAtLeast = 301;

// The near and far escape distances (squared) of a suspect; for a kind
// without its own, the near one of a generated suspect that has passed it
// reaches as far as the far one, so it never escapes.
void EscapeDistances(const Enemy& e, bool marked, float& near, float& far)
{
    switch (e.enemytype) {
    case Enemy::ENEMYTYPE_FIGHTER:
        near = 6.25f;
        far = 100.0f;
        return;
    case Enemy::ENEMYTYPE_SHOOTER:
        near = 100.0f;
        far = 400.0f;
        return;
    case Enemy::ENEMYTYPE_RUNNER:
        near = 2197.27f;
        far = AsVehicle(e.parent) != nullptr ? 15625.0f : 3906.25f;
        return;
    default:
        near = marked ? kOtherFar2 : 0.0f;
        far = kOtherFar2;
        return;
    }
}

float Dist2(VectorPos a, VectorPos b)
{
    const VectorDir d = a - b;
    return Dot(d, d);
}

VectorPos PlayerPos()
{
    Object* player = PlayerObject();
    return player != nullptr ? player->GetWorldPos() : VectorPos(0.0f, 0.0f, 0.0f);
}

// An allied officer whose man gave up or is out of play looks for another.
void CheckAlliedCop(Enemy& e)
{
    Object* t = e.target;
    if (t == nullptr)
        return;
    const bool outOfPlay = (t->flags & kOutOfPlay) != 0;
    const bool surrendering = (AsEnemy(t) != nullptr && AsEnemy(t)->issurrendering) ||
                              (AsBystander(t) != nullptr && AsBystander(t)->issurrendering);
    if (surrendering || outOfPlay)
        Send(&e, msg::SMSG_WANDER);
}

// The suspects counted in this frame's tally, so that a removal lowers the
// tally only for those (a hostage, or a passenger not reached yet, never
// was).
struct Tally
{
    int count = 0;
    Object* counted[16] = {};
    int n = 0;

    void Count(Object* e)
    {
        count++;
        if (n < 16)
            counted[n++] = e;
    }
    void Removed(Object* e)
    {
        for (int k = 0; k < n; k++) {
            if (counted[k] == e) {
                counted[k] = nullptr;
                count--;
                return;
            }
        }
    }
};

}  // namespace

int RandomMissionController::CheckAndUpdateEnemies(float* nearest)
{
    return emergent ? CheckAndUpdateEnemiesEmergent(nearest) : CheckAndUpdateEnemiesGenerated(nearest);
}

int RandomMissionController::CheckAndUpdateEnemiesGenerated(float* nearest)
{
    Tally tally;
    float best = kFarthest2;
    const VectorPos p = PlayerPos();
    // Takes entry k out: the last entry moves into its place.  A runner the
    // crime added itself goes with it.
    auto leave = [&](int k) {
        if (regi[k].added && regi[k].pegr != nullptr) {
            regi[k].pegr->enemy = nullptr;
            regi[k].pegr->Delete();
        }
        regi[k] = regi[--i16numegi];
        regi[i16numegi] = EnemyGenInfo{};
    };
    for (int k = 0; k < i16numegi;) {
        EnemyGenInfo& g = regi[k];
        Enemy* e = g.pegr != nullptr ? g.pegr->enemy : nullptr;
        if (e == nullptr) {
            k++;
            continue;
        }
        const float d = Dist2(e->GetWorldPos(), p);
        if (world.time - e->iLastDrawnTime < 60)
            iLastTimeEnemiesInView = world.time;
        if (e->flags & kOutOfPlay) {
            if (d > kGoneDist2) {
                RemoveEnemy(e);
                g.pegr->enemy = nullptr;
                leave(k);
                continue;
            }
            k++;
            continue;
        }
        if (IsAlliedCopId(e->id)) {
            CheckAlliedCop(*e);
            k++;
            continue;
        }
        if (!IsSuspectId(e->id)) {
            k++;
            continue;
        }
        if (!e->ishostage)
            tally.Count(e);
        if (d < best)
            best = d;
        if (mode != RCM_ENGAGED) {
            k++;
            continue;
        }
        float near, far;
        EscapeDistances(*e, (g.iEGFlags & EGF_PASSEDNEAR) != 0, near, far);
        if (!(g.iEGFlags & EGF_PASSEDNEAR)) {
            if (d > near)
                g.iEGFlags |= EGF_PASSEDNEAR;
            k++;
            continue;
        }
        if (d < near) {
            g.iEGFlags &= ~EGF_PASSEDNEAR;
            k++;
            continue;
        }
        if (d <= far) {
            k++;
            continue;
        }
        const bool waitingTail = tail && mode == RCM_ACTIVE_TAIL;
        auto escaped = [&](EnemyGenInfo& gi, Enemy* who) {
            if (!who->ishostage && !waitingTail) {
                gi.pegr->enemyescaped = true;
                iNumEnemiesEscaped++;
            }
        };
        if (Vehicle* car = AsVehicle(e->parent)) {
            ShutDownCar(car, 0);
            escaped(g, e);
            RemoveEnemy(e);
            tally.Removed(e);
            g.pegr->enemy = nullptr;
            leave(k);
            // Everyone else in that car goes with it.
            for (int j = 0; j < i16numegi;) {
                Enemy* other = regi[j].pegr != nullptr ? regi[j].pegr->enemy : nullptr;
                if (other == nullptr || other->parent != car) {
                    j++;
                    continue;
                }
                escaped(regi[j], other);
                RemoveEnemy(other);
                tally.Removed(other);
                regi[j].pegr->enemy = nullptr;
                leave(j);
            }
            if (!car->IsDead())
                car->Delete();
        } else {
            escaped(g, e);
            ReleasePlayerTarget(e);
            RemoveEnemyTarget(e);
            RemoveFromSubMissionTargets(e);
            g.pegr->enemy = nullptr;
            e->Delete();
            tally.Removed(e);
            leave(k);
        }
        // The entry moved into k is examined next.
    }
    if (nearest != nullptr)
        *nearest = best;
    return tally.count;
}

int RandomMissionController::CheckAndUpdateEnemiesEmergent(float* nearest)
{
    Tally tally;
    float best = kFarthest2;
    const VectorPos p = PlayerPos();
    for (int k = 0; k < 16; k++) {
        Enemy* e = AsEnemy(emEnemy[k]);
        if (e == nullptr)
            continue;
        const float d = Dist2(e->GetWorldPos(), p);
        if (world.time - e->iLastDrawnTime < 60)
            iLastTimeEnemiesInView = world.time;
        if (e->flags & kOutOfPlay) {
            if (d > kGoneDist2) {
                RemoveEnemy(e);
                emEnemy[k] = nullptr;
            }
            continue;
        }
        if (IsAlliedCopId(e->id)) {
            CheckAlliedCop(*e);
            continue;
        }
        if (!IsSuspectId(e->id))
            continue;
        if (!e->ishostage)
            tally.Count(e);
        if (d < best)
            best = d;
        if (mode != RCM_ENGAGED)
            continue;
        float near, far;
        EscapeDistances(*e, false, near, far);
        if (d <= far)
            continue;
        const bool waitingTail = tail && mode == RCM_ACTIVE_TAIL;
        auto escaped = [&](Enemy* who) {
            if (!who->ishostage && !waitingTail)
                iNumEnemiesEscaped++;
        };
        if (Vehicle* car = AsVehicle(e->parent)) {
            ShutDownCar(car, 0);
            escaped(e);
            RemoveEnemy(e);
            tally.Removed(e);
            emEnemy[k] = nullptr;
            for (int j = 0; j < 16; j++) {
                Enemy* other = AsEnemy(emEnemy[j]);
                if (other == nullptr || other->parent != car)
                    continue;
                escaped(other);
                RemoveEnemy(other);
                tally.Removed(other);
                emEnemy[j] = nullptr;
            }
            for (RCptr<Object>& c : emCar) {
                if (c == car)
                    c = nullptr;
            }
            if (!car->IsDead())
                car->Delete();
        } else {
            escaped(e);
            RemoveEnemy(e);
            tally.Removed(e);
            emEnemy[k] = nullptr;
        }
    }
    if (nearest != nullptr)
        *nearest = best;
    return tally.count;
}

void RandomMissionController::SetNumMissionEnemies()
{
    if (emergent) {
        iNumMissionEnemies = iNumEmergentEnemies;
        return;
    }
    iNumMissionEnemies = 0;
    for (int k = 0; k < i16numegi; k++) {
        const Enemy* e = regi[k].pegr != nullptr ? regi[k].pegr->enemy : nullptr;
        if (e != nullptr && IsSuspectId(e->id))
            iNumMissionEnemies++;
    }
}

Object* RandomMissionController::DaceProximityCheck(float* range)
{
    return emergent ? DaceProximityCheckEmergent(range) : DaceProximityCheckGenerated(range);
}

Object* RandomMissionController::DaceProximityCheckGenerated(float* range)
{
    const float r = range != nullptr ? *range : 0.0f;
    const float r2 = r * r;
    const VectorPos p = PlayerPos();
    Object* best = nullptr;
    float bestd = 0.0f;
    for (int k = 0; k < i16numegi; k++) {
        Enemy* e = regi[k].pegr != nullptr ? regi[k].pegr->enemy : nullptr;
        if (e == nullptr || e->ishostage || IsAlliedCopId(e->id))
            continue;
        // A suspect out of play is at the player's side: he dealt with it.
        if (e->flags & kOutOfPlayWide) {
            best = e;
            bestd = 0.0f;
            break;
        }
        const float d = Dist2(e->GetWorldPos(), p);
        if (best == nullptr || d < bestd) {
            best = e;
            bestd = d;
        }
        if (bestd <= r2)
            break;
    }
    if (range != nullptr)
        *range = best != nullptr ? bestd : 0.0f;
    if (r == 0.0f || (best != nullptr && bestd <= r2))
        return best;
    return nullptr;
}

Object* RandomMissionController::DaceProximityCheckEmergent(float* range)
{
    const float r = range != nullptr ? *range : 0.0f;
    const float r2 = r * r;
    const VectorPos p = PlayerPos();
    Object* best = nullptr;
    float bestd = 0.0f;
    for (int k = 0; k < 16; k++) {
        Enemy* e = AsEnemy(emEnemy[k]);
        if (e == nullptr || e->ishostage || IsAlliedCopId(e->id) || (e->flags & kOutOfPlayWide))
            continue;
        const float d = Dist2(e->GetWorldPos(), p);
        if (best == nullptr || d < bestd) {
            best = e;
            bestd = d;
        }
        if (bestd <= r2)
            break;
    }
    if (range != nullptr)
        *range = best != nullptr ? bestd : 0.0f;
    if (r == 0.0f || (best != nullptr && bestd <= r2))
        return best;
    return nullptr;
}

int RandomMissionController::HandleSpecialEngagedMessages(SpecialMessage* m)
{
    float range;
    switch (m->submsg) {
    case SMSG_EV_PLAYER_WARNING:
    case SMSG_EV_PLAYER_COMBAT:
    case SMSG_EV_CAR_NEAR_10:
        range = 3.125f;
        break;
    case SMSG_EV_PLAYER_SHOTS_A:
    case SMSG_EV_PLAYER_SHOTS_B:
    case SMSG_EV_CAR_NEAR_20:
        dacepulledgun = true;
        range = 6.25f;
        break;
    default:
        return 0;
    }
    if (DaceProximityCheck(&range) == nullptr)
        return 0;
    for (int k = 0; k < 16; k++) {
        if (Enemy* e = AsEnemy(emEnemy[k]))
            e->reactiontime = world.time + int(u32(randf() * 60.0f));
    }
    for (int k = 0; k < i16numegi; k++) {
        if (regi[k].pegr != nullptr && regi[k].pegr->enemy != nullptr)
            regi[k].pegr->enemy->reactiontime = world.time + int(u32(randf() * 60.0f));
    }
    world.StopTimer(this);
    if (getaway)
        SetCrimeTimer(this, 600, RCT_GETAWAY);
    mode = RCM_ENGAGED;
    return 0;
}

int RandomMissionController::DefaultSpecialMessages(SpecialMessage* m)
{
    switch (m->submsg) {
    case SMSG_EV_PLAYER_WARNING: MessagePedestrians(msg::SMSG_PED_WARNING_NEARBY, nullptr); break;
    case SMSG_EV_PLAYER_SHOTS_A: MessagePedestrians(msg::SMSG_PED_SHOTS_A, nullptr); break;
    case SMSG_EV_PLAYER_SHOTS_B: MessagePedestrians(msg::SMSG_PED_SHOTS_B, nullptr); break;
    case SMSG_EV_PLAYER_COMBAT: MessagePedestrians(msg::SMSG_CD_RESUME, nullptr); break;
    default: break;
    }
    return 0;
}

int RandomMissionController::HandleSpecialEnemyDoneMessages(SpecialMessage* m)
{
    Object* o = m->obj;
    if (o == nullptr)
        return 0;
    const int code = m->submsg;
    const Enemy* asEnemy = AsEnemy(o);
    const Bystander* asBystander = AsBystander(o);
    const bool hostage = (asEnemy != nullptr && asEnemy->ishostage) || (asBystander != nullptr && asBystander->ishostage);
    const bool cop = (asEnemy != nullptr && asEnemy->iscop) || (asBystander != nullptr && asBystander->iscop);
    if (code == SMSG_EV_CHARACTER_DIED) {
        if (hostage)
            iNumHostagesKilled++;
        else if (cop)
            iNumCopsKilled++;
        else
            iNumEnemiesKilled++;
    } else if (code == SMSG_EV_ENEMY_SUBDUED) {
        iNumEnemiesBusted++;
    }
    if (o->id == -1)
        return 0;
    const bool done = code == SMSG_EV_CHARACTER_DIED || code == SMSG_EV_ENEMY_SUBDUED;
    if (!emergent) {
        const int k = FindEnemyGenInfoIndex(o);
        if (k < 0)
            return 0;
        if (code == SMSG_EV_CHARACTER_DIED)
            regi[k].pegr->enemykilled = true;
        else if (code == SMSG_EV_ENEMY_SUBDUED)
            regi[k].pegr->enemybusted = true;
        if (dace != nullptr && dace->target == o) {
            pegiEngaged = nullptr;
            dace->target = nullptr;
        }
    } else {
        bool found = false;
        for (int k = 0; k < 16 && !found; k++)
            found = emEnemy[k] == o;
        if (!found)
            return 0;
        ReleasePlayerTarget(o);
    }
    if (done) {
        RemoveEnemyTarget(o);
        RemoveFromSubMissionTargets(o);
    }
    return 0;
}

void RandomMissionController::EnemyReactToDace(Enemy* e)
{
    if (e == nullptr || (e->flags & kOutOfPlayWide) || e->iscop || e->ishostage || !IsSuspectId(e->id))
        return;
    const float g = g_pgcTest != nullptr ? g_pgcTest->fGoodPoints : 0.0f;
    const float b = g_pgcTest != nullptr ? g_pgcTest->fBadPoints : 0.0f;
    const float q = g + b != 0.0f ? 0.25f * (g - b) / (g + b) : 0.0f;
    const float c = (carchase || dacepulledgun) ? 1.0f : 0.0f;
    float s = e->aggro * (0.75f + 0.25f * randf()) - c * (1.0f - e->aggro);
    if (gunfight)
        s += 0.75f * e->aggro;
    else if (e->fightweapon != nullptr)
        s += 0.5f * e->aggro;
    s += 0.05f * float(iNumEnemiesLeft);
    if (s < 0.25f + q)
        Send(e, msg::SMSG_GIVE_UP, this);
    else if (s < 0.5f - q)
        Send(e, msg::SMSG_RUN_AWAY_FROM, dace);
    else
        SendAttackMessage(e, dace);
}

void RandomMissionController::EnemyReactToStreet(Enemy* e)
{
    if (e == nullptr)
        return;
    e->shootingchance = e->fightingchance = e->commandeeringchance = e->takehostagechance = 0.5f;
    if (rand() & 1)
        Send(e, msg::SMSG_RUN_AWAY_FROM, dace);
    else if (!(rand() & 1))
        SendAttackMessage(e, dace);
    else
        Send(e, msg::SMSG_GIVE_UP, this);
}

int RandomMissionController::SendAttackMessage(Enemy* e, Object* target)
{
    if (e == nullptr)
        return 0;
    if (gunfight) {
        Send(e, msg::SMSG_SHOOT_OBJECT, target);
    } else if (target != nullptr && target->parent != nullptr && !pulldaceout) {
        pulldaceout = true;
        Send(e, msg::SMSG_CD_SEAT_TAKEN, target);
    } else {
        Send(e, msg::SMSG_ATTACK_OBJECT, target, fightstyle);
        if (pFightMissionController == nullptr)
            SetFightMissionMode(nullptr);
        Send(pFightMissionController, SMSG_EV_ADD_PASSIVE_FOE, e);
    }
    return 0;
}

int RandomMissionController::CheckEnemyGetawayStatus(Enemy* e)
{
    Vehicle* v = e != nullptr ? AsVehicle(e->parent) : nullptr;
    if (v == nullptr)
        return -1;
    if (e->leavingcar || e->gotincartime == 0x7FFFFFFF || world.time - e->gotincartime < kDriveAtLeast)
        return 0;
    const VectorPos cp = v->GetWorldPos(), pp = PlayerPos();
    const float dx = cp[0] - pp[0], dz = cp[2] - pp[2];
    const float h2 = dx * dx + dz * dz;
    const float forward = Dot(VectorDir(v->vel.v), VectorDir(v->mat.z.v));
    if (forward < kStandingSpeed && forward > -kStandingSpeed)
        iCarStopSuccessCounter++;
    else
        iCarStopSuccessCounter = 0;
    const bool stopped = iCarStopSuccessCounter >= kStopFrames && h2 < kStopNear * kStopNear;
    const bool wrecked = v->fBaseStrength > 0.0f && v->strength / v->fBaseStrength < kStopWeak;
    if (!stopped && !wrecked)
        return 0;
    e->leavingcar = true;
    return 1;
}

int RandomMissionController::SendMessageToRange(SpecialMessage* m, int lo, int hi)
{
    for (int k = 0; k < i16numegi; k++) {
        Enemy* e = regi[k].pegr != nullptr ? regi[k].pegr->enemy : nullptr;
        if (e != nullptr && e->id >= lo && e->id <= hi)
            e->SendMessage(OM_SPECIAL, m);
    }
    return 0;
}

int RandomMissionController::SendMessageToAllEnemies(SpecialMessage* m)
{
    return SendMessageToRange(m, -150, -101);
}

namespace {

// Command groups of 25 ids and the place within one.
int IdGroup(int id) { return (id + 1) / 25; }
int IdSlot(int id) { return id - 25 * IdGroup(id); }

}  // namespace

int RandomMissionController::GroupMutualMessage(int iSpecialMessage, int fightstyle, int iSrceGroupBlockID,
                                                int iDestGroupBlockID)
{
    const int gA = IdGroup(iSrceGroupBlockID), gB = IdGroup(iDestGroupBlockID);
    auto enemyAt = [&](int k) { return regi[k].pegr != nullptr ? regi[k].pegr->enemy : nullptr; };
    for (int k = 0; k < i16numegi; k++) {
        Enemy* e = enemyAt(k);
        if (e == nullptr || (IdGroup(e->id) != gA && IdGroup(e->id) != gB))
            continue;
        const int other = IdGroup(e->id) != gA ? gA : gB;
        for (int j = k + 1; j < i16numegi; j++) {
            Enemy* p = enemyAt(j);
            if (p != nullptr && IdGroup(p->id) == other && IdSlot(p->id) == IdSlot(e->id)) {
                Send(e, iSpecialMessage, p, fightstyle);
                Send(p, iSpecialMessage, e, fightstyle);
                break;
            }
        }
    }
    return 0;
}

int RandomMissionController::GroupSingleMessage(int iSpecialMessage, int fightstyle, int iSrceGroupBlockID,
                                                int iDestGroupBlockID)
{
    const int gA = IdGroup(iSrceGroupBlockID), gB = IdGroup(iDestGroupBlockID);
    auto enemyAt = [&](int k) { return regi[k].pegr != nullptr ? regi[k].pegr->enemy : nullptr; };
    for (int k = 0; k < i16numegi; k++) {
        Enemy* e = enemyAt(k);
        if (e == nullptr || (IdGroup(e->id) != gA && IdGroup(e->id) != gB))
            continue;
        const int other = IdGroup(e->id) != gA ? gA : gB;
        Enemy* partner = nullptr;
        for (int j = k + 1; j < i16numegi && partner == nullptr; j++) {
            Enemy* p = enemyAt(j);
            if (p != nullptr && IdGroup(p->id) == other && IdSlot(p->id) == IdSlot(e->id))
                partner = p;
        }
        for (int j = 0; j < i16numegi && partner == nullptr; j++) {
            Enemy* p = enemyAt(j);
            if (p != nullptr && IdGroup(p->id) == other)
                partner = p;
        }
        if (partner == nullptr)
            continue;
        if (IdGroup(e->id) == gA)
            Send(e, iSpecialMessage, partner, fightstyle);
        else
            Send(partner, iSpecialMessage, e, fightstyle);
    }
    return 0;
}

int RandomMissionController::FindEnemyGenInfoIndex(Object* obj)
{
    if (obj == nullptr)
        return -1;
    for (int k = 0; k < i16numegi; k++) {
        if (regi[k].pegr != nullptr && regi[k].pegr->enemy == obj)
            return k;
    }
    return -1;
}

int RandomMissionController::FindEnemyGenInfoIndex(int id)
{
    for (int k = 0; k < i16numegi; k++) {
        if (regi[k].pegr != nullptr && regi[k].pegr->enemy != nullptr && regi[k].pegr->enemy->id == id)
            return k;
    }
    return -1;
}
