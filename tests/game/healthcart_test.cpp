// Health carts: the generator puts one beside a road that takes carts near
// the player and lists its place; the player on foot buys health with points
// there, once per recharge; bullets, blows and fast cars break carts, and the
// generator puts up another.
#include "game/city_support.h"
#include "game/explode_support.h"
#include "game/hud_support.h"

#include "tools/lib/miscfiles.h"

#include <cmath>
#include <string>
#include <vector>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "game/controller_support.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/HUD.h"
#include "game/MAIN.h"
#include "game/HealthCart.h"
#include "game/Player.h"

using explodetest::BareModel;
using explodetest::SlotFile;

namespace {

constexpr int kCartSlot = 136, kMarkerSlot = 144;

// The sample disc's cart.
tools::P2BFile CartModel()
{
    for (auto& [path, f] : tools::ResidentMiscFiles())
        if (path == "DemoData/Misc/SHCARTOR.P2B")
            return f;
    ADD_FAILURE() << "no cart on the disc";
    return {};
}

// The marker models: node 14 is the cart's.
tools::P2BFile MarkerModel()
{
    tools::P2BFile f;
    f.models = {BareModel(0.2f)};
    for (int i = 0; i < 15; i++)
        f.AddNode(-1, tools::MakeNode(0));
    return f;
}

// The player's special messages; a refresh gives him full health as he does.
std::vector<int> g_playerGot;
int PlayerMh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL) {
        const int code = static_cast<SpecialMessage*>(data)->submsg;
        g_playerGot.push_back(code);
        if (code == HealthCart::SMSG_PLAYER_REFRESH)
            static_cast<Dace*>(o)->strength = 100.0f;
    }
    if (msg == OM_DIE) {
        delete static_cast<Dace*>(o);
        return -1;
    }
    return 0;
}

using hudtest::TextHud;

void Ticks(int n)
{
    for (int i = 0; i < n; i++)
        world.Update();
}

HealthCart* OnlyCart()
{
    HealthCart* found = nullptr;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
        if (!l->data->IsDead() && l->data->messagehandler == HealthCart_mh)
            found = static_cast<HealthCart*>(static_cast<Object*>(l->data));
    return found;
}

class CartWorld
{
public:
    CartWorld() : cart(kCartSlot, CartModel()), marker(kMarkerSlot, MarkerModel())
    {
        world.playbackSpeed = 1.0f;
        world.mode = WORLD_MODE_NORMAL;
        srand(40);
        gametest::Controller();
        g_pgcTest->stats.nPoints = 0;
        for (Vector& v : g_pgcTest->rvHealthLocations)
            v = Vector(0.0f, 0.0f, 0.0f, 0.0f);
        g_playerGot.clear();
        rc.view_world = Matrix(true);
        player = new Dace;
        player->messagehandler = PlayerMh;
        player->mat = Matrix(true);
        dace = player;
    }
    ~CartWorld()
    {
        world.Clear();
        dace = nullptr;
        player->Detach();
        player->Delete();
        rc.view_world = Matrix(true);
    }

    SlotFile cart, marker;
    Dace* player;
};

class HealthCarts : public citytest::CityWorld
{
};

}  // namespace

// The whole life of a cart in the sample city with its streets taking carts.
TEST_F(HealthCarts, TheGeneratorsCartSellsHealthForPointsRechargesAndIsReplacedOnceBroken)
{
    Load(tools::SampleCity());   // its streets take carts, its avenues and alleys do not
    ASSERT_TRUE(SyncTo(VectorPos(0.0f, 0.0f, 0.0f)));
    CartWorld w;
    TextHud texts;
    const float ground = world.GroundHeight(VectorPos(0.0f, -1.5f, 0.0f), nullptr, nullptr);
    w.player->mat.SetTrans(VectorPos(0.0f, ground, 0.0f));

    g_pgcTest->CreateMasterHealthGenerator(1);
    HealthCart* c = nullptr;
    for (int i = 0; i < 100 && c == nullptr; i++) {
        Ticks(15);
        c = OnlyCart();
    }
    ASSERT_NE(c, nullptr);
    const VectorPos at = c->GetWorldPos();
    EXPECT_EQ(g_pgcTest->rvHealthLocations[0], Vector(at, 1.0f));
    EXPECT_EQ(g_pgcTest->rvHealthLocations[1][3], 0.0f);
    EXPECT_EQ(c->type, OBJT_DYNAMIC);
    EXPECT_EQ(c->iStrength, 10);

    // Beside a street, within its middle half, just inside its right
    // carriageway edge (5.0 - 0.46875), facing along it, its base on the
    // road (the model's first node lies 0.25 up).
    float t = -1.0f;
    const RoadSeg* rs = FindNearestRoadSeg(at, &t, false);
    ASSERT_NE(rs, nullptr);
    EXPECT_TRUE(rs->type->flags & ROADTYPE_HEALTHCARTS);
    VectorDir dir;
    const VectorXYZ params = rs->bezier.CalcParams(at, dir);
    EXPECT_NEAR(params[0], 4.53125f, 0.01f);
    EXPECT_GE(params[2], 0.25f - 1e-3f);
    EXPECT_LE(params[2], 0.75f + 1e-3f);
    const VectorDir z = Normalise(VectorDir(dir[0], 0.0f, dir[2]));
    EXPECT_NEAR(c->mat.z[0] * z[0] + c->mat.z[2] * z[2], 1.0f, 1e-3f);
    EXPECT_NEAR(c->mat.y[1], 1.0f, 1e-3f);
    EXPECT_NEAR(at[1], rs->bezier.Evaluate(params[2])[1] - 0.25f, 0.06f);
    Object* m = c->FindSubObject(HealthCart::kMarkerId);
    ASSERT_NE(m, nullptr);
    EXPECT_FLOAT_EQ(m->mat.w[1], -0.46875f);

    // 10 points at strength 60: 20 health for 10 points.
    g_pgcTest->stats.nPoints = 10;
    w.player->strength = 60.0f;
    w.player->mat.SetTrans(VectorPos(at[0] + 0.3f, ground, at[2] + 0.3f));
    Ticks(4);
    EXPECT_FLOAT_EQ(w.player->strength, 80.0f);
    EXPECT_EQ(int(g_pgcTest->stats.nPoints), 0);
    EXPECT_EQ(texts.TakeText(), "HEALTH RESTORED!");
    EXPECT_EQ(c->mode, HealthCart::HC_USED);
    EXPECT_EQ(c->FindSubObject(HealthCart::kMarkerId), nullptr);

    // Used: nothing more until 1200 frames have passed.
    g_pgcTest->stats.nPoints = 30;
    w.player->strength = 60.0f;
    Ticks(1190);
    EXPECT_EQ(int(g_pgcTest->stats.nPoints), 30);
    EXPECT_EQ(c->mode, HealthCart::HC_USED);
    Ticks(14);
    // 30 points: refreshed to full for 20.
    EXPECT_EQ(g_playerGot, std::vector<int>{HealthCart::SMSG_PLAYER_REFRESH});
    EXPECT_FLOAT_EQ(w.player->strength, 100.0f);
    EXPECT_EQ(int(g_pgcTest->stats.nPoints), 10);
    EXPECT_EQ(texts.TakeText(), "HEALTH RESTORED!");

    // Full health costs nothing.
    Ticks(1204);
    EXPECT_EQ(int(g_pgcTest->stats.nPoints), 10);
    EXPECT_EQ(g_playerGot.size(), 2u);
    EXPECT_EQ(texts.TakeText(), "HEALTH RESTORED!");

    // No points below full: refused, and the cart recharges all the same.
    g_pgcTest->stats.nPoints = 0;
    w.player->strength = 50.0f;
    Ticks(1204);
    EXPECT_EQ(texts.TakeText(), "POINTS REQUIRED TO RESTORE HEALTH!");
    EXPECT_FLOAT_EQ(w.player->strength, 50.0f);
    EXPECT_EQ(c->mode, HealthCart::HC_USED);

    // Never served in a car.
    Object car;
    car.type = OBJT_VEHICLE;
    car.mat = w.player->mat;
    w.player->mat = Matrix(true);
    car.Attach(w.player);
    g_pgcTest->stats.nPoints = 50;
    Ticks(1300);
    EXPECT_EQ(c->mode, HealthCart::HC_READY);
    EXPECT_FLOAT_EQ(w.player->strength, 50.0f);
    w.player->Detach();
    w.player->mat = car.mat;

    // Two bullets break it; the generator takes its place off the list, and
    // puts up another once the pieces are gone.
    w.player->mat.SetTrans(VectorPos(0.0f, ground, 0.0f));
    SpecialMessage bullet(SMSG_BULLET_HIT, nullptr);
    c->SendMessage(OM_SPECIAL, &bullet);
    EXPECT_EQ(c->iStrength, 5);
    EXPECT_EQ(c->mode, HealthCart::HC_READY);
    c->SendMessage(OM_SPECIAL, &bullet);
    EXPECT_EQ(c->iStrength, 0);
    EXPECT_EQ(c->mode, HealthCart::HC_EXPLODED);
    RCptr<Object> old(c);
    Ticks(15);
    EXPECT_TRUE(old.p->IsDead() || c->mode == HealthCart::HC_EXPLODED_UNLISTED);
    HealthCart* next = nullptr;
    for (int i = 0; i < 100 && next == nullptr; i++) {
        Ticks(15);
        next = OnlyCart();
    }
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(old.p->IsDead());
    EXPECT_EQ(g_pgcTest->rvHealthLocations[0], Vector(next->GetWorldPos(), 1.0f));
    EXPECT_EQ(g_pgcTest->rvHealthLocations[1][3], 0.0f);
}

// Carts made straight from their handler: what breaks them, and the camera
// leaving them behind.
TEST(HealthCart, BlowsCountFastCarsBreakAndFarCartsGo)
{
    world.Clear();
    CartWorld w;
    auto make = [](VectorPos at) {
        auto* c = reinterpret_cast<HealthCart*>(intptr_t(HealthCart_mh(nullptr, OM_CREATE, nullptr)));
        g_GlobalMFI.GetMF(kCartSlot, false)->GetHierarchyTo(c, 0, GH_ANIMATE);
        c->mat = TransMatrix(at);
        world.AddObject(c, nullptr);
        return c;
    };
    w.player->mat = TransMatrix(50.0f, 0.0f, 0.0f);

    // A fighter's striking part takes off what he says the blow did.
    struct Fighter : Object
    {
        static int mh(Object*, OBJMESSAGE msg, void* data)
        {
            return msg == OM_SPECIAL && static_cast<SpecialMessage*>(data)->submsg == SMSG_Q_COLLISION ? 7 : 0;
        }
    } fighter;
    fighter.type = OBJT_CHARACTER;
    fighter.messagehandler = Fighter::mh;
    Object fist, elbow;
    fist.flags = 0x1000;
    HealthCart* a = make(VectorPos(0.0f, 0.0f, 0.0f));
    CollisionRecord cr(a, &fighter);
    cr.Set(nullptr, nullptr, a, &elbow);
    a->SendMessage(OM_COLLISION, &cr);
    EXPECT_EQ(a->iStrength, 10);
    cr.Set(nullptr, nullptr, a, &fist);
    a->SendMessage(OM_COLLISION, &cr);
    EXPECT_EQ(a->iStrength, 3);
    a->SendMessage(OM_COLLISION, &cr);
    EXPECT_EQ(a->iStrength, 0);
    EXPECT_EQ(a->mode, HealthCart::HC_EXPLODED);

    // A car breaks a cart only above 0.0046567 a frame across the ground.
    HealthCart* b = make(VectorPos(2.0f, 0.0f, 0.0f));
    DynamicObject car;
    car.type = OBJT_VEHICLE;
    CollisionRecord hit(b, &car);
    car.vel = Vector(0.003f, 0.01f, 0.003f, 0.0f);   // 0.00424 across
    b->SendMessage(OM_COLLISION, &hit);
    EXPECT_EQ(b->mode, HealthCart::HC_READY);
    car.vel = Vector(0.0035f, 0.0f, 0.0035f, 0.0f);   // 0.00495
    b->SendMessage(OM_COLLISION, &hit);
    EXPECT_EQ(b->mode, HealthCart::HC_EXPLODED);
    EXPECT_EQ(b->iStrength, 10);

    // More than 500 across from the camera: gone at the next 18-frame check.
    HealthCart* c = make(VectorPos(4.0f, 0.0f, 0.0f));
    RCptr<Object> held(c);
    rc.view_world.w = Vector(4.0f, -900.0f, 504.5f, 1.0f);   // height does not count
    Ticks(17);
    EXPECT_FALSE(c->IsDead());
    Ticks(1);
    EXPECT_TRUE(c->IsDead());
    held = nullptr;
}
