#include "tests/demo/pad_pilot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <queue>
#include <vector>

#include "game/BadGuy.h"
#include "game/Camera.h"
#include "game/GameFEntChase.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/SideGames.h"
#include "game/Road.h"
#include "game/SideGames.h"
#include "game/Vehicle.h"
#include "game/userintf.h"
#include "host/headless/pad_script.h"

namespace demo_test {
namespace {

using console::host::PadInput;
using BA = BadGuyAnims;

// The pad library's bits (pad_script.h's table).
constexpr uint16_t kL1 = 0x0004, kTriangle = 0x0010, kCircle = 0x0020, kCross = 0x0040, kSquare = 0x0080,
                   kSelect = 0x0100;

// The closing screens are the loading screen's pictures 4 to 8.
constexpr int kSecondClosingScreen = 5;
// The game controller's mode while the player drives freely.
constexpr int kFreeDrive = 99;

struct Point {
    float x = 0, z = 0;
};

float Dist(Point a, Point b)
{
    return std::hypot(a.x - b.x, a.z - b.z);
}

Point Flat(const VectorPos& p)
{
    return {p[0], p[2]};
}

// The roads of the city's loaded window that cars may use, as a graph:
// junctions (those of two cells' shared edge made one by their place) and
// the segments between them, each a polyline along its centre line.
struct RoadGraph {
    struct Edge {
        int a, b;
        std::vector<Point> line;   // from junction a to junction b
        float length = 0;
    };
    std::vector<Point> nodes;
    std::vector<Edge> edges;
    std::vector<std::vector<int>> at;   // the edges at each node

    int Node(Point p)
    {
        for (size_t i = 0; i < nodes.size(); i++)
            if (Dist(nodes[i], p) < 1.0f)
                return int(i);
        nodes.push_back(p);
        at.emplace_back();
        return int(nodes.size()) - 1;
    }

    void Build()
    {
        QuadTree* qt = world.quadtree;
        if (qt == nullptr)
            return;
        for (const Grid& g : qt->grid) {
            if (g.file == nullptr || g.streamnum != -2)
                continue;
            for (u32 bi = 0; bi < g.file->blockCount; bi++) {
                const HeaderBlock& b = g.file->block[bi];
                if (b.type != GRID_ROADSEGS || b.data == 0)
                    continue;
                const RoadSeg* rs = static_cast<const RoadSeg*>(b.Data());
                for (u32 i = 0; i < b.count; i++)
                    Add(rs[i]);
            }
        }
    }

    void Add(const RoadSeg& rs)
    {
        if (rs.type == nullptr || !(rs.type->flags & ROADTYPE_VEHICLES) || rs.jtn[0] == nullptr ||
            rs.jtn[1] == nullptr)
            return;
        Edge e;
        e.a = Node(Flat(rs.jtn[0]->pos));
        e.b = Node(Flat(rs.jtn[1]->pos));
        // Points about a unit apart.
        const float chord = std::hypot(rs.bezier.c3[0] - rs.bezier.c0[0], rs.bezier.c3[2] - rs.bezier.c0[2]);
        const int kSteps = std::clamp(int(chord), 4, 400);
        for (int k = 0; k <= kSteps; k++) {
            const Vector v = rs.bezier.Evaluate(float(k) / kSteps);
            e.line.push_back({v[0], v[2]});
            if (k > 0)
                e.length += Dist(e.line[size_t(k)], e.line[size_t(k) - 1]);
        }
        // A segment seen from both cells of a shared edge counts once.
        for (const Edge& o : edges)
            if (((o.a == e.a && o.b == e.b) || (o.a == e.b && o.b == e.a)) && std::fabs(o.length - e.length) < 0.5f)
                return;
        at[size_t(e.a)].push_back(int(edges.size()));
        at[size_t(e.b)].push_back(int(edges.size()));
        edges.push_back(std::move(e));
    }

    // The edge and point index nearest p.
    void Nearest(Point p, int* edge, int* index) const
    {
        float best = std::numeric_limits<float>::max();
        for (size_t i = 0; i < edges.size(); i++)
            for (size_t k = 0; k < edges[i].line.size(); k++)
                if (float d = Dist(edges[i].line[k], p); d < best) {
                    best = d;
                    *edge = int(i);
                    *index = int(k);
                }
    }

    // Shortest distances from node `from` to every node.
    std::vector<float> Distances(int from) const
    {
        std::vector<float> d(nodes.size(), std::numeric_limits<float>::max());
        using Item = std::pair<float, int>;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> q;
        d[size_t(from)] = 0;
        q.push({0.0f, from});
        while (!q.empty()) {
            auto [dist, n] = q.top();
            q.pop();
            if (dist > d[size_t(n)])
                continue;
            for (int ei : at[size_t(n)]) {
                const Edge& e = edges[size_t(ei)];
                const int m = e.a == n ? e.b : e.a;
                if (dist + e.length < d[size_t(m)]) {
                    d[size_t(m)] = dist + e.length;
                    q.push({d[size_t(m)], m});
                }
            }
        }
        return d;
    }
};

// The planned way from the car to the marker, as points along road centre
// lines.
std::vector<Point> g_route;

// Points of edge e from index k towards its end `toB`, k itself included.
void Walk(const RoadGraph::Edge& e, int k, bool toB, std::vector<Point>& out)
{
    if (toB)
        for (size_t i = size_t(k); i < e.line.size(); i++)
            out.push_back(e.line[i]);
    else
        for (int i = k; i >= 0; i--)
            out.push_back(e.line[size_t(i)]);
}

// The way from `car` heading along `ahead` to `goal` over the roads: out of
// the car's segment by the end it faces (turning round costs), over the
// junctions by the shortest way, along the goal's segment to the point
// nearest it.
std::vector<Point> Plan(Point car, Point ahead, Point goal)
{
    RoadGraph g;
    g.Build();
    std::vector<Point> route;
    if (g.edges.empty())
        return route;
    int se = 0, sk = 0, ge = 0, gk = 0;
    g.Nearest(car, &se, &sk);
    g.Nearest(goal, &ge, &gk);
    const RoadGraph::Edge& s = g.edges[size_t(se)];
    const RoadGraph::Edge& t = g.edges[size_t(ge)];
    if (se == ge) {
        Walk(s, sk, gk >= sk, route);
        route.resize(size_t(std::abs(gk - sk)) + 1);
        route.push_back(goal);
        return route;
    }
    // Which way along the car's segment it faces.
    const Point next = s.line[size_t(std::min<int>(sk + 1, int(s.line.size()) - 1))];
    const Point prev = s.line[size_t(std::max(sk - 1, 0))];
    const float facesB = (next.x - prev.x) * ahead.x + (next.z - prev.z) * ahead.z;
    float best = std::numeric_limits<float>::max();
    bool bestToB = true, bestFromA = true;
    for (bool toB : {true, false}) {
        const int exitNode = toB ? s.b : s.a;
        float out = 0;
        for (int i = sk; toB ? i + 1 < int(s.line.size()) : i > 0; i += toB ? 1 : -1)
            out += Dist(s.line[size_t(i)], s.line[size_t(i + (toB ? 1 : -1))]);
        if ((facesB >= 0) != toB)
            out += 150.0f;   // turning the car round
        const std::vector<float> d = g.Distances(exitNode);
        for (bool fromA : {true, false}) {
            const int entry = fromA ? t.a : t.b;
            float in = 0;
            for (int i = 0; fromA ? i < gk : i < int(t.line.size()) - 1 - gk; i++) {
                const size_t k = fromA ? size_t(i) : t.line.size() - 1 - size_t(i);
                in += Dist(t.line[k], t.line[fromA ? k + 1 : k - 1]);
            }
            const float total = out + d[size_t(entry)] + in;
            if (total < best) {
                best = total;
                bestToB = toB;
                bestFromA = fromA;
            }
        }
    }
    Walk(s, sk, bestToB, route);
    // Back along the shortest-way tree from the entry node to the exit node.
    const int exitNode = bestToB ? s.b : s.a;
    const int entry = bestFromA ? t.a : t.b;
    const std::vector<float> d = g.Distances(exitNode);
    std::vector<int> chain;   // edges from the entry back to the exit
    for (int n = entry; n != exitNode;) {
        int via = -1;
        for (int ei : g.at[size_t(n)]) {
            const RoadGraph::Edge& e = g.edges[size_t(ei)];
            const int m = e.a == n ? e.b : e.a;
            if (std::fabs(d[size_t(m)] + e.length - d[size_t(n)]) < 0.01f) {
                via = ei;
                n = m;
                break;
            }
        }
        if (via < 0)
            break;
        chain.push_back(via);
    }
    int n = exitNode;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const RoadGraph::Edge& e = g.edges[size_t(*it)];
        const bool toB = e.a == n;
        Walk(e, toB ? 0 : int(e.line.size()) - 1, toB, route);
        n = toB ? e.b : e.a;
    }
    Walk(t, bestFromA ? 0 : int(t.line.size()) - 1, bestFromA, route);
    // Cut at the point nearest the goal.
    size_t cut = route.size();
    float nearest = std::numeric_limits<float>::max();
    for (size_t i = route.size() > 400 ? route.size() - 400 : 0; i < route.size(); i++)
        if (float dd = Dist(route[i], goal); dd < nearest) {
            nearest = dd;
            cut = i + 1;
        }
    route.resize(cut);
    route.push_back(goal);
    return route;
}

uint8_t StickByte(float v)
{
    return uint8_t(std::clamp(int(std::lround(128.0f + v * 127.0f)), 0, 255));
}

// Where the drive ends: its marker (placed at the kerb by the building's
// door), else the HUD's target.
Point Goal()
{
    GameController* gc = g_pgcTest;
    Object* m = gc->pMission;
    if (m != nullptr && m->messagehandler == DriveToMissionController::staticmh) {
        const auto* drive = static_cast<const DriveToMissionController*>(m);
        if (drive->target != nullptr)
            return Flat(drive->target->GetWorldPos());
    }
    return Flat(gc->pmd->GetCurrTargetPos());
}

// The left stick pushed along the flat direction `to` (away from it with
// `way` -1), as the player reads the stick: in the camera's frame.
void StickToward(Point to, float way, PadInput& pad)
{
    const Matrix& cm = GetCurrentCam()->mat;
    const Point cx = {cm.x[0], cm.x[2]}, cz = {cm.z[0], cm.z[2]};
    // to = sx * cx + fy * cz, solved for the stick's two axes.
    const float det = cx.x * cz.z - cx.z * cz.x;
    if (std::fabs(det) < 1e-4f)
        return;
    const float sx = (to.x * cz.z - to.z * cz.x) / det;
    const float fy = (cx.x * to.z - cx.z * to.x) / det;
    const float len = std::max(std::hypot(sx, fy), 1e-4f);
    pad.sticks[2] = StickByte(way * sx / len);
    pad.sticks[3] = StickByte(-way * fy / len);
}

Vehicle* PlayersCar()
{
    Object* player = PlayerObject();
    Object* root = player != nullptr ? player->GetRoot() : nullptr;
    return root != nullptr && root->type == OBJT_VEHICLE ? static_cast<Vehicle*>(root) : nullptr;
}

}  // namespace

void PadPilot::Tell(const console::demo::RunEvent& e)
{
    if (e.point == console::demo::RunPoint::kRecord)
        record_ = e.episode * 100 + e.record;
    else
        record_ = -1;
    if (e.point == console::demo::RunPoint::kStart) {
        g_route.clear();
        run_ = e.run;
        left_ = false;
        screen_ = -1;
    }
}

void PadPilot::Pulse(PadInput& pad, uint16_t bit)
{
    if ((field_ / 3) % 2 == 0)
        pad.buttons |= bit;
}

PadPilot::Stage PadPilot::Where() const
{
    const GameController* gc = g_pgcTest;
    if (gc->iUILoading) {
        // The closing screens show between the run's end and its hand-back.
        if (gc->iMainExitVal != 0)
            return Stage::kClosing;
        return iDemoLoadingScreenState == 2 ? Stage::kPrompt : Stage::kOther;
    }
    const bool cinema = world.mode == WORLD_MODE_CINEMA;
    switch (record_) {
    case 205: return Stage::kDrive;
    case 206: return cinema ? Stage::kBarScene : Stage::kFight;
    case 312: return cinema ? Stage::kSpaScene : Stage::kShootOut;
    default: return Stage::kOther;
    }
}

Loop PadPilot::ThisRun() const
{
    return run_ >= 1 && size_t(run_) <= plan_.size() ? plan_[size_t(run_) - 1] : Loop::kWin;
}

bool PadPilot::FollowPlan(PadInput& pad)
{
    const GameController* gc = g_pgcTest;
    const Stage stage = Where();
    if (stage != stage_) {
        stage_ = stage;
        stage_from_ = field_;
    }
    const uint32_t in = field_ - stage_from_;   // fields into the stage
    const bool planned = !plan_.empty();
    const Loop loop = ThisRun();
    auto press = [&](uint16_t bits, uint32_t fields) {
        hold_ = bits;
        hold_until_ = field_ + fields;
    };
    // SELECT this far into the stage the run is left at.
    auto leave = [&](uint32_t after) {
        if (!left_ && in == after) {
            left_ = true;
            press(kSelect, 2);
        }
    };
    if (field_ >= hold_until_)
        hold_ = 0;
    switch (stage) {
    case Stage::kPrompt:
        // One Cross (a second would cut the scene that follows it short).
        if (loop == Loop::kSelectAtPrompt)
            leave(2);
        else if (in == 0)
            press(kCross, 2);
        break;
    case Stage::kDrive:
        if (loop == Loop::kSelectInDrive)
            leave(150);   // driving
        else if (loop == Loop::kSelectOnClosing)
            leave(60);   // standing at the car
        break;
    case Stage::kBarScene:
    case Stage::kSpaScene:
        if (loop == (stage == Stage::kBarScene ? Loop::kSelectInBarScene : Loop::kSelectInSpaScene))
            leave(30);
        else if (cut_scenes_ && in == 50)
            press(kCross, 4);   // cut short once it has run a second
        break;
    case Stage::kFight:
        if (loop == Loop::kSelectInFight)
            leave(300);
        break;
    case Stage::kShootOut:
        if (loop == Loop::kSelectInShootOut)
            leave(300);
        break;
    case Stage::kClosing:
        // Each closing screen skipped with Cross, or the run left from its
        // second; without a plan they show their whole time.
        if (planned && gc->iDemoLoadScreenOverride != screen_) {
            screen_ = gc->iDemoLoadScreenOverride;
            screen_from_ = field_;
        }
        if (planned && field_ == screen_from_ + 2)
            press(loop == Loop::kSelectOnClosing && screen_ == kSecondClosingScreen ? kSelect : kCross, 2);
        break;
    case Stage::kOther: break;
    }
    pad.buttons |= hold_;
    return hold_ != 0;
}

namespace {

// The rows of the screen a character covers in the picture last drawn: the
// corners of its parts' boxes seen through that picture's view, the part on
// the screen (none when it is all off the screen or behind the camera).
int RowsOnScreen(Object* o)
{
    float top = 1e9f, bottom = -1e9f, left = 1e9f, right = -1e9f;
    auto visit = [&](auto&& self, Object* part) -> void {
        if (part->flags & OBJF_HIDDEN)
            return;
        if (part->geom != nullptr) {
            const Cuboid box = part->GetRawBox();
            const Matrix m = part->GetWorldMatrix();
            for (int k = 0; k < 8; k++) {
                const Vector s = rc.world_screen * Vector(m * box.Corner(k));
                if (s[3] <= 0.0f)
                    continue;
                const float x = s[0] / s[3] - 2048.0f, y = s[1] / s[3] - 2048.0f;
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        for (Object* c = part->child; c != nullptr; c = c->sibling)
            self(self, c);
    };
    visit(visit, o);
    const float w = rc.scrw, h = rc.scrh;
    if (right < 0.0f || left > w || bottom < 0.0f || top > h)
        return 0;
    return int(std::min(bottom, h) - std::max(top, 0.0f));
}

// The live object of the world's list nearest `at` of those `keep` takes,
// each measured at `where` (its own position unless said), and how far.
struct Nearest {
    Object* object = nullptr;
    float distance = std::numeric_limits<float>::max();
};
template <typename Keep, typename Where>
Nearest NearestObject(const Point& at, Keep keep, Where where)
{
    Nearest n;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
        Object* o = l->data;
        if (o == nullptr || o->IsDead() || !keep(o))
            continue;
        if (const float d = Dist(where(o), at); d < n.distance)
            n = {o, d};
    }
    return n;
}
template <typename Keep>
Nearest NearestObject(const Point& at, Keep keep)
{
    return NearestObject(at, keep, [](const Object* o) { return Flat(o->GetWorldPos()); });
}

// A character of the enemies' ids, not hidden or out of play.
bool OfTheEnemies(const Object* o)
{
    return o->type == OBJT_CHARACTER && o->id >= -150 && o->id <= -101 && !(o->flags & 0x70000000);
}

// The nearest foe of the player still standing: a character of the
// enemies' ids with strength left.
Object* NearestFoe()
{
    return NearestObject(Flat(dace->GetWorldPos()), [](const Object* o) {
               return OfTheEnemies(o) && static_cast<const Enemy*>(o)->strength > 0.0f;
           }).object;
}

}  // namespace

void PadPilot::Poll(uint32_t vblank, PadInput pads[2])
{
    field_ = vblank;
    if (std::find(measure_.begin(), measure_.end(), vblank) != measure_.end() && dace != nullptr) {
        Object* foe = NearestFoe();
        printf("Pilot: field %d: the player %d rows tall, his foe %d rows tall\n", int(vblank), RowsOnScreen(dace),
               foe != nullptr ? RowsOnScreen(foe) : 0);
    }
    console::host::DefaultPadInputs(pads);
    PadInput& pad = pads[0];
    GameController* gc = g_pgcTest;
    if (gc == nullptr)
        return;
    const Loop loop = ThisRun();
    if (FollowPlan(pad) || left_)
        ;
    else if (stage_ == Stage::kDrive && (Wins(loop) || loop == Loop::kSelectInDrive))
        Drive(pad);
    else if (stage_ == Stage::kFight && !stand_in_fights_)
        Fight(pad);
    // A pressed button at full pressure, as a press in a script gives.
    for (const console::host::PadButton& b : console::host::PadButtons())
        if (b.pressure_index >= 0)
            pad.pressure[b.pressure_index] = (pad.buttons & b.bit) ? 0xFF : 0;
}

bool PadPilot::PlayGame(uint32_t vblank, PadInput& pad)
{
    field_ = vblank;
    const Object* m = g_pgcTest != nullptr ? g_pgcTest->pMission : nullptr;
    if (m == nullptr && g_pgcTest != nullptr && g_pgcTest->mode == kFreeDrive) {
        LeaveFreeDrive(pad);
        return true;
    }
    if (m == nullptr || g_pgcTest->iMissionRet != 0)
        return false;
    if (m->messagehandler != EscapeMissionController::staticmh)
        fleeing_ = false;
    if (CloseRoundScreen(pad))
        return true;
    if (m->messagehandler == DriveToMissionController::staticmh) {
        // Once the car has reached the marker and it has moved on to the
        // building's door, the player gets out and walks onto it.
        const auto* drive = static_cast<const DriveToMissionController*>(m);
        if (drive->target != nullptr && drive->target->mode == 2 && dace != nullptr) {
            if (PlayersCar() != nullptr) {
                Pulse(pad, kL1);
            } else {
                const Point at = Flat(dace->GetWorldPos()), goal = Goal();
                if (Dist(at, goal) > 0.25f)
                    StickToward({goal.x - at.x, goal.z - at.z}, 1.0f, pad);
            }
        } else if (PlayersCar() == nullptr) {
            WalkToCar(pad);
        } else {
            Drive(pad);
        }
    }
    else if (m->messagehandler == FightMissionController::staticmh) {
        // The fight goes on while foes are hurt, fall or come; kFightFields
        // with none of that and the player gives up.
        const auto* fight = static_cast<const FightMissionController*>(m);
        const int foes = fight->numactivefoes + fight->numpassivefoes;
        float strength = 0.0f;
        for (int i = 0; i < foes; i++) {
            const Object* o = i < fight->numactivefoes ? fight->activefoes[i]
                                                       : fight->passivefoes[i - fight->numactivefoes];
            if (o != nullptr && o->type == OBJT_CHARACTER)
                strength += std::max(static_cast<const Enemy*>(o)->strength, 0.0f);
        }
        if (fight_from_ == 0 || foes != fight_foes_ || strength < fight_strength_) {
            fight_from_ = vblank;
            fight_foes_ = foes;
        }
        fight_strength_ = strength;
        if (vblank - fight_from_ < kFightFields)
            Fight(pad);
    } else if (m->messagehandler == InfiltrateMissionController::staticmh ||
               m->messagehandler == GunCourseMissionController::staticmh) {
        WalkToExit(pad);
    } else if (m->messagehandler == EscapeMissionController::staticmh) {
        Flee(pad);
    } else if (m->messagehandler == ImpoundLotMissionController::staticmh) {
        TakeACar(pad);
    } else if (m->messagehandler == PursuitMissionController::staticmh) {
        if (!LetRunnerGo(pad))
            return false;
    } else if (m->messagehandler != DojoTrainingModeController::staticmh &&
               m->messagehandler != FRangeMissionController::staticmh) {
        return false;
    }
    return true;
}

void PadPilot::LeaveFreeDrive(PadInput& pad)
{
    if (free_from_ == 0)
        free_from_ = field_;
    if (g_pgcTest->iMainExitVal != 0)
        Pulse(pad, kCross);
    else if (field_ - free_from_ >= 180 && field_ - free_from_ < 182)
        pad.buttons |= kSelect;
}

void PadPilot::WalkToGuard(PadInput& pad)
{
    if (dace == nullptr)
        return;
    // The guards (characters of the enemies' ids; a guard has no strength
    // to count) and the nearest of them.
    const Point at = Flat(dace->GetWorldPos());
    if (const Object* guard = NearestObject(at, OfTheEnemies).object) {
        const Point to = Flat(guard->GetWorldPos());
        StickToward({to.x - at.x, to.z - at.z}, 1.0f, pad);
    } else {
        // None out yet (a guard comes out as the player nears his post):
        // on into the set, whose way out is at its far side.
        StickToward({0.0f, 1.0f}, 1.0f, pad);
    }
}

bool PadPilot::CloseRoundScreen(PadInput& pad)
{
    const UIPauseScreenMode s = GetPauseScreenMode();
    if (s != UI_DojoRoundScreen && s != UI_DojoSummaryScreen && s != UI_ShootingRoundScreen)
        return false;
    Pulse(pad, kCross);
    return true;
}

// An infiltration: the player walks for the way out at the back of the
// room (the trigger that ends the task), past the guards: he gets there, or
// a guard catches him on the way.
void PadPilot::WalkToExit(PadInput& pad)
{
    if (dace == nullptr)
        return;
    const Point at = Flat(dace->GetWorldPos());
    const auto door = [](const Object* o) {
        return Flat(static_cast<const DaceModeTrigger*>(o)->dmtp.trigger1.ToWorld(VectorPos(0, 0, 0)));
    };
    const Object* exit = NearestObject(
                             at,
                             [](const Object* o) {
                                 if (o->messagehandler != DaceModeTrigger::staticmh)
                                     return false;
                                 const auto* t = static_cast<const DaceModeTrigger*>(o);
                                 return t->dmtp.task_exit != 0 && t->dmtp.trigger1.IsValid();
                             },
                             door)
                             .object;
    if (exit == nullptr) {
        WalkToGuard(pad);
        return;
    }
    const Point to = door(exit);
    StickToward({to.x - at.x, to.z - at.z}, 1.0f, pad);
}

void PadPilot::TakeACar(PadInput& pad)
{
    if (dace == nullptr)
        return;
    if (PlayersCar() != nullptr) {
        pad.buttons |= kCross;
        return;
    }
    const Point at = Flat(dace->GetWorldPos());
    const Nearest car = NearestObject(at, [](const Object* o) { return o->type == OBJT_VEHICLE; });
    if (car.object == nullptr)
        return;
    // Near enough to a door, L1 gets in.
    if (car.distance < 3.0f) {
        Pulse(pad, kL1);
        return;
    }
    const Point to = Flat(car.object->GetWorldPos());
    StickToward({to.x - at.x, to.z - at.z}, 1.0f, pad);
}

void PadPilot::Drive(PadInput& pad)
{
    Object* player = PlayerObject();
    if (player == nullptr || g_pgcTest->pmd == nullptr)
        return;
    Vehicle* car = PlayersCar();
    if (car == nullptr) {
        // On foot beside the car: L1 gets in.
        Pulse(pad, kL1);
        return;
    }
    const Point at = Flat(car->GetWorldPos());
    const Point ahead = {car->mat.z[0], car->mat.z[2]};
    const Point goal = fleeing_ ? Point{flee_x_, flee_z_} : Goal();
    const Vector& vel = car->Vel();
    const float speed = vel[0] * car->mat.z[0] + vel[1] * car->mat.z[1] + vel[2] * car->mat.z[2];
    // The route's point nearest the car.
    size_t near = 0;
    float off = std::numeric_limits<float>::max();
    for (size_t i = 0; i < g_route.size(); i++)
        if (float d = Dist(g_route[i], at); d < off) {
            off = d;
            near = i;
        }
    // Planned on the first field in the car, and again when the car has
    // left the route.
    if (g_route.size() < 2 || (off > 12.0f && int(field_) - plan_field_ >= 60)) {
        g_route = Plan(at, ahead, goal);
        plan_field_ = int(field_);
        return;
    }
    // At the marker: held there by the hand brake until the drive ends.
    if (!fleeing_ && Dist(at, goal) < 2.0f) {
        pad.buttons |= kCircle;
        return;
    }
    // Stuck against something: back off on full lock the other way, so that
    // the car comes at it again from another angle (head-on, to each side
    // in turn).
    if (reverse_until_ > int(field_)) {
        pad.buttons |= kSquare;
        pad.sticks[2] = StickByte(reverse_steer_);
        return;
    }
    if (std::fabs(speed) < 0.01f) {
        if (++still_ > 45) {
            still_ = 0;
            reverse_until_ = int(field_) + 60;
            reverse_steer_ = std::fabs(steer_) > 0.2f ? -std::copysign(1.0f, steer_) : (stucks_++ % 2 ? 1.0f : -1.0f);
        }
    } else {
        still_ = 0;
    }
    // The point to steer at, further on the faster the car goes.
    const float look = 5.0f + 12.0f * std::fabs(speed);
    size_t aim = near;
    for (float run = 0; aim + 1 < g_route.size() && run < look; aim++)
        run += Dist(g_route[aim], g_route[aim + 1]);
    const Point to = {g_route[aim].x - at.x, g_route[aim].z - at.z};
    const float angle = std::atan2(ahead.x * to.z - ahead.z * to.x, ahead.x * to.x + ahead.z * to.z);
    float cruise = cruise_speed_, cornering = turn_speed_, lock = 1.0f;
    if (car->bCycle)
        BikePace(cruise, cornering, lock);
    steer_ = std::clamp(-2.0f * angle, -lock, lock);
    pad.sticks[2] = StickByte(steer_);
    // The turn the route makes over the stretch the car needs to slow down
    // in sets the speed.
    float turn = 0;
    {
        const float stretch = 10.0f + 60.0f * std::fabs(speed);
        size_t i = near;
        Point from = g_route[near];
        float run = 0;
        const float h0 = std::atan2(g_route[std::min(near + 3, g_route.size() - 1)].z - from.z,
                                    g_route[std::min(near + 3, g_route.size() - 1)].x - from.x);
        for (; i + 1 < g_route.size() && run < stretch; i++) {
            run += Dist(g_route[i], g_route[i + 1]);
            if (run > 3.0f) {
                const float h = std::atan2(g_route[i + 1].z - g_route[i].z, g_route[i + 1].x - g_route[i].x);
                turn = std::max(turn, std::fabs(std::remainder(h - h0, 6.2831853f)));
            }
        }
    }
    // Slowing to the marker, so as to stop within its reach.
    const float corner = turn > 0.6f ? cornering : cruise;
    const float want = fleeing_ ? corner : std::min(corner, 0.02f + 0.012f * Dist(at, goal));
    if (speed > want * 1.1f)
        pad.buttons |= kSquare;
    else if (speed < want)
        pad.buttons |= kCross;
}

// A motorbike turns by leaning into the turn and tops out near a car's
// cornering speed: it keeps to the road only when it takes the corners at
// a fraction of that, on part of its steering lock (at full lock and a
// crawl it falls into the turn and circles).
void PadPilot::BikePace(float& cruise, float& corner, float& lock)
{
    cruise = 0.2f;
    corner = 0.08f;
    lock = 0.65f;
}

// The bar fight: the player walks up to the nearest thug still standing
// and keeps at him.  A thug standing guard blocks a blow that comes at the
// height his stance covers (a high stance the punches and high blows, a low
// one the punches and kicks) and most of the others, so the player throws
// the one his stance leaves open, every so often; a thug well into a blow of
// his own, early in his recoil from one or dazed blocks nothing, and then
// the blows come one on another, each landing on the recoil of the last,
// until he is dazed and the finishing window opens.  While the player's
// combo runs the thug in front does not strike at all.
void PadPilot::Fight(PadInput& pad)
{
    Object* m = g_pgcTest->pMission;
    Dace* player = dace;
    if (m == nullptr || m->messagehandler != FightMissionController::staticmh || player == nullptr)
        return;
    const auto* fight = static_cast<const FightMissionController*>(m);
    const Point at = Flat(player->GetWorldPos());
    const Enemy* foe = nullptr;
    float nearest = std::numeric_limits<float>::max();
    for (int i = 0; i < fight->numactivefoes + fight->numpassivefoes; i++) {
        Object* o = i < fight->numactivefoes ? fight->activefoes[i] : fight->passivefoes[i - fight->numactivefoes];
        if (o == nullptr || o->type != OBJT_CHARACTER || (o->flags & 0x70000000))
            continue;
        const auto* e = static_cast<const Enemy*>(o);
        if (e->strength <= 0.0f)
            continue;
        if (float d = Dist(Flat(e->GetWorldPos()), at); d < nearest) {
            nearest = d;
            foe = e;
        }
    }
    if (foe == nullptr)
        return;
    // The next blow: a punch and a kick in turn (a kick hurts twice as much,
    // a punch comes sooner).  When it meets him (its mark, a third of the
    // way in) he does not guard if he is more than 16 frames into a blow of
    // his own, fewer than 30 into a recoil, or dazed.  While his blow can
    // still hurt, and all through his reach for a grapple, the player
    // guards.
    const uint16_t button = StrikeButton(*foe);
    const float lead = button == kSquare ? 6.3f : 8.4f;
    const float in = foe->frame - foe->firstanimframe;
    const int a = foe->mode2;
    const bool blow = a >= +BA::COMBAT_FIRST_ATTACK_ANI && a <= +BA::COMBAT_ATTACK_SPECIAL_3_ANI;
    const bool reach = a >= +BA::COMBAT_ATTACK_GRAPPLE_1_REACH_ANI && a <= +BA::COMBAT_LAST_GRAPPLE_ATTACK_REACH_ANI;
    const bool recoiling = a == +BA::COMBAT_RECOIL_HIGH_ANI || a == +BA::COMBAT_RECOIL_LOW_ANI;
    constexpr float kBlowSpent = 11.0f;   // his blow hurts until about then
    const bool open = (blow && in >= kBlowSpent && in + lead > 16.0f && in + lead < 24.0f) ||
                      (recoiling && in + lead < 30.0f) || a == +BA::COMBAT_IDLE_DAZED_ANI ||
                      foe->dazedstarttime != -1;
    const bool coming = (blow && in < kBlowSpent) || reach;
    // The stick pushed towards the thug (away = -1), as the player reads it:
    // in the camera's frame.
    const Point to = {Flat(foe->GetWorldPos()).x - at.x, Flat(foe->GetWorldPos()).z - at.z};
    auto stick = [&](float way) { StickToward(to, way, pad); };
    // Held in his grapple: face buttons pressed, each a chance to break
    // free.
    if (player->mode2 == PlayerAnims::COMBAT_GRAPPLED_ANI) {
        Pulse(pad, kSquare);
        return;
    }
    // His blow on its way: the stick held back guards against it.
    if (coming) {
        stick(-1.0f);
        return;
    }
    // Out of reach: walk at him.
    constexpr float kReach = 0.45f, kStrikeReach = 0.55f;
    if (nearest > (open ? kStrikeReach : kReach)) {
        stick(1.0f);
        return;
    }
    // A finishing window open (the thug dazed): punch, kick and high attack
    // typed once the window takes keys pick the spinning uppercut, the
    // hardest finishing move the player starts with.
    if (player->finishingstartcount != Dace::Never) {
        if (finish_from_ == 0)
            finish_from_ = field_;
        const uint32_t k = field_ - finish_from_;
        if (k >= 34 && k < 37)
            pad.buttons |= kSquare;
        else if (k >= 42 && k < 45)
            pad.buttons |= kCross;
        else if (k >= 50 && k < 53)
            pad.buttons |= kTriangle;
        return;
    }
    finish_from_ = 0;
    // Each press held two fields and let go for the next to be new; a
    // press during a blow chains the next.  On his guard a blow comes a
    // while after the last (a blocked one holds the player's fists a little
    // over half a second anyway); open, at once.
    if (field_ < strike_from_ + 2) {
        pad.buttons |= strike_button_;   // the press just made
        return;
    }
    if (field_ >= strike_from_ + (open ? 8 : kGuardedStrikeFields)) {
        strike_from_ = field_;
        strike_button_ = button;
        pad.buttons |= button;
    }
}

// Kick (low) against a high stance, a high blow against a low one; against
// a thug off his guard the high blow too, the hardest of the three.
uint16_t PadPilot::StrikeButton(const Enemy& foe)
{
    switch (foe.mode2) {
    case +BA::COMBAT_IDLE_HIGH_ANI: case +BA::COMBAT_IDLE_HIGH_B_ANI: case +BA::COMBAT_MOVE_WALK_HIGH_ANI:
    case +BA::COMBAT_MOVE_LEFT_HIGH_ANI: case +BA::COMBAT_MOVE_RIGHT_HIGH_ANI: case +BA::COMBAT_MOVE_BACK_HIGH_ANI:
        return kCross;
    default:
        return kTriangle;
    }
}

// A chase on foot: the player turns his back on the runner and runs off
// until the runner is out of the chase's reach and the chase is lost (a
// runner far off sleeps where he stands, so only the player can open the
// gap).  A chase in cars is left alone: false.
bool PadPilot::LetRunnerGo(PadInput& pad)
{
    const auto* chase = static_cast<const PursuitMissionController*>(g_pgcTest->pMission);
    Object* runner = chase->target;
    if (chase->ppmp == nullptr || chase->ppmp->pegrp == nullptr || runner == nullptr ||
        runner->GetRoot()->type == OBJT_VEHICLE)
        return false;
    if (dace == nullptr || PlayersCar() != nullptr)
        return true;
    const Point at = Flat(dace->GetWorldPos()), from = Flat(runner->GetWorldPos());
    StickToward({from.x - at.x, from.z - at.z}, -1.0f, pad);
    return true;
}

// An escape: the player drives along the roads for the junction farthest
// from the car after him, and on to the next farthest once near it, until
// he has left that car behind or it has caught him.
void PadPilot::Flee(PadInput& pad)
{
    const auto* escape = static_cast<const EscapeMissionController*>(g_pgcTest->pMission);
    Vehicle* car = PlayersCar();
    if (car == nullptr) {
        WalkToCar(pad);
        return;
    }
    if (escape->pursuer == nullptr) {
        Drive(pad);
        return;
    }
    const Point at = Flat(car->GetWorldPos()), after = Flat(escape->pursuer->GetWorldPos());
    const Point goal = {flee_x_, flee_z_};
    if (!fleeing_ || Dist(at, goal) < 15.0f) {
        RoadGraph g;
        g.Build();
        float best = -1.0f;
        for (const Point& n : g.nodes)
            if (float d = Dist(n, after); Dist(n, at) > 30.0f && d > best) {
                best = d;
                flee_x_ = n.x;
                flee_z_ = n.z;
            }
        if (best < 0.0f)
            return;
        fleeing_ = true;
        g_route.clear();
    }
    Drive(pad);
}

// On foot in a story row's drive or escape: to the nearest car standing
// still (his own, left at the kerb; he may stand at a building's door), and
// L1 once beside it.
void PadPilot::WalkToCar(PadInput& pad)
{
    if (dace == nullptr)
        return;
    const Point at = Flat(dace->GetWorldPos());
    const Nearest car = NearestObject(at, [](const Object* o) {
        if (o->type != OBJT_VEHICLE)
            return false;
        const Vector& v = static_cast<const Vehicle*>(o)->Vel();
        return std::hypot(v[0], v[2]) <= 0.01f;
    });
    if (car.object != nullptr && car.distance > 2.5f) {
        const Point to = Flat(car.object->GetWorldPos());
        StickToward({to.x - at.x, to.z - at.z}, 1.0f, pad);
        return;
    }
    Pulse(pad, kL1);
}

}  // namespace demo_test
