#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "ZevEngine2/collision_support.h"

#include "ZevEngine2/Allocator.h"
#include "game/QuadTree.h"

namespace {

using namespace colltest;

constexpr u16 ID_ANY = 0x01 | (0x01 << 8);   // is kind 1 and listens to it
constexpr unsigned F_INTERIOR = 0x00080000;

// One sphere of radius 1 on an object.
struct Body
{
    explicit Body(VectorPos at, float r = 1)
    {
        size_t s = chain.Ball(ID_ANY, 0, 0, 0, r);
        chain.End();
        Place(obj, chain.At(s), at);
    }
    Chain chain;
    Hitter obj;
};

// The (first receiver, second receiver) of each delivered pair, in order.
std::vector<std::pair<Object*, Object*>> Pairs()
{
    std::vector<std::pair<Object*, Object*>> v;
    const std::vector<Contact>& log = Contacts();
    for (size_t i = 0; i < log.size(); i++)
    {
        if (log[i].flipped)
            continue;
        Object* second = i + 1 < log.size() && log[i + 1].flipped ? log[i + 1].receiver : nullptr;
        v.push_back({log[i].receiver, second});
    }
    return v;
}

class WorldCollision : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Contacts().clear();
        world.objectlist.RemoveAll();
        world.dynbsp.RemoveAll();
    }
    void TearDown() override
    {
        world.dynbsp.RemoveAll();
        world.objectlist.RemoveAll();
    }
    void List(std::initializer_list<Object*> objs)
    {
        for (Object* o : objs)
            world.objectlist.AddTail(o);
    }
};

TEST_F(WorldCollision, EachPairOnceInListOrder)
{
    Body a(VectorPos(0, 0, 0)), b(VectorPos(1, 0, 0)), c(VectorPos(0, 1, 0)), far(VectorPos(50, 0, 0));
    List({&a.obj, &b.obj, &far.obj, &c.obj});
    world.Collision();
    using P = std::pair<Object*, Object*>;
    EXPECT_EQ(Pairs(), (std::vector<P>{{&a.obj, &b.obj}, {&a.obj, &c.obj}, {&b.obj, &c.obj}}));
}

TEST_F(WorldCollision, SkipsDeadUncollidableChildAndInteriorPairs)
{
    Body a(VectorPos(0, 0, 0)), b(VectorPos(1, 0, 0)), c(VectorPos(0, 1, 0)), d(VectorPos(0, 0, 1));
    Body kid(VectorPos(0, 0, 0));
    List({&a.obj, &b.obj, &c.obj, &d.obj, &kid.obj});
    b.obj.flags |= OBJF_NOCOLLISION;
    kid.obj.parent = &d.obj;   // listed but not top-level
    c.obj.flags |= F_INTERIOR;
    d.obj.flags |= F_INTERIOR;
    world.Collision();
    using P = std::pair<Object*, Object*>;
    // c and d are both interior objects: never paired.
    EXPECT_EQ(Pairs(), (std::vector<P>{{&a.obj, &c.obj}, {&a.obj, &d.obj}}));
    kid.obj.parent = nullptr;
}

TEST_F(WorldCollision, NegativeFirstAnswerStopsThatObjectsTurn)
{
    Body a(VectorPos(0, 0, 0)), b(VectorPos(1, 0, 0)), c(VectorPos(0, 1, 0));
    List({&a.obj, &b.obj, &c.obj});
    a.obj.reply = -1;   // Send gives 1: a is done for this pass
    world.Collision();
    using P = std::pair<Object*, Object*>;
    EXPECT_EQ(Pairs(), (std::vector<P>{{&a.obj, &b.obj}, {&b.obj, &c.obj}}));
}

TEST_F(WorldCollision, ChangedObjectIsTestedAgainFromItsFirstPartner)
{
    Body a(VectorPos(0, 0, 0)), b(VectorPos(1, 0, 0)), c(VectorPos(0, 1, 0));
    List({&a.obj, &b.obj, &c.obj});
    int answers = 0;
    a.obj.onHit = [&](CollisionRecord*) { a.obj.reply = answers++ == 0 ? 1 : 0; };
    world.Collision();
    using P = std::pair<Object*, Object*>;
    // The first answer (1) tells b nothing and starts a over.
    EXPECT_EQ(Pairs(), (std::vector<P>{{&a.obj, nullptr},
                                       {&a.obj, &b.obj},
                                       {&a.obj, &c.obj},
                                       {&b.obj, &c.obj}}));
}

TEST_F(WorldCollision, EndlessRetestsAreCutOff)
{
    Body a(VectorPos(0, 0, 0)), b(VectorPos(1, 0, 0));
    List({&a.obj, &b.obj});
    a.obj.reply = 1;   // always "changed"
    world.Collision();
    EXPECT_EQ(CountFor(&a.obj), KVWorld::COLLISION_RETESTS + 1);
    EXPECT_EQ(CountFor(&b.obj), 0);
}

TEST_F(WorldCollision, HandlerRemovingAnObjectMidPassIsSafe)
{
    class Mortal : public Hitter
    {
    public:
        Mortal() { messagehandler = Mortal_mh; }
        static int Mortal_mh(Object* o, OBJMESSAGE msg, void* data)
        {
            if (msg == OM_DIE)
            {
                delete static_cast<Mortal*>(o);
                return 0;
            }
            return static_cast<Mortal*>(o)->mh(msg, data);
        }
    };
    Body a(VectorPos(0, 0, 0)), c(VectorPos(0, 1, 0));
    unsigned freeBefore = TotalFree();
    Chain chain;
    size_t s = chain.Ball(ID_ANY, 0, 0, 0, 1);
    chain.End();
    Mortal* victim = new Mortal;
    ASSERT_NE(victim, nullptr);
    Place(*victim, chain.At(s), VectorPos(1, 0, 0));
    List({&a.obj, victim, &c.obj});
    a.obj.onHit = [&](CollisionRecord* rec) {
        if (rec->HitObj() == victim)
            world.RemoveObject(victim);
    };
    world.Collision();
    using P = std::pair<Object*, Object*>;
    // The victim heard nothing (it died in the first handler) and is gone.
    EXPECT_EQ(Pairs(), (std::vector<P>{{&a.obj, nullptr}, {&a.obj, &c.obj}}));
    EXPECT_EQ(world.objectlist.Count(), 2);
    world.objectlist.RemoveAll();
    EXPECT_EQ(TotalFree(), freeBefore);
}

TEST_F(WorldCollision, CollideObjectTestsOneObjectAgainstAllOthers)
{
    Body a(VectorPos(0, 0, 0)), b(VectorPos(1, 0, 0)), c(VectorPos(0, 1, 0));
    List({&a.obj, &b.obj, &c.obj});
    world.CollideObject(&c.obj);
    using P = std::pair<Object*, Object*>;
    EXPECT_EQ(Pairs(), (std::vector<P>{{&c.obj, &a.obj}, {&c.obj, &b.obj}}));

    Contacts().clear();
    c.obj.reply = -1;   // bit 0: no further partners
    world.CollideObject(&c.obj);
    EXPECT_EQ(Pairs(), (std::vector<P>{{&c.obj, &a.obj}}));

    Contacts().clear();
    c.obj.flags |= OBJF_NOCOLLISION;
    world.CollideObject(&c.obj);
    EXPECT_TRUE(Contacts().empty());
}

TEST_F(WorldCollision, InteriorPassBuildsTheTreeOnceAndRebuildsOnRequest)
{
    Body wall1(VectorPos(0, 0, 0), 2), wall2(VectorPos(3, 0, 0), 2), mover(VectorPos(1.5f, 2, 0));
    wall1.obj.flags |= F_INTERIOR;
    wall2.obj.flags |= F_INTERIOR;
    List({&wall1.obj, &mover.obj, &wall2.obj});

    world.InteriorCollision();
    EXPECT_TRUE(world.dynbsp.TreeMade);
    ASSERT_NE(world.dynbsp.pTop, nullptr);
    EXPECT_TRUE(world.dynbsp.CollCuboids.IsEmpty());
    // The mover meets both walls; the overlapping walls never meet.
    EXPECT_EQ(CountFor(&mover.obj), 2);
    EXPECT_EQ(CountFor(&wall1.obj), 1);
    EXPECT_EQ(CountFor(&wall2.obj), 1);
    DynBspNode* built = world.dynbsp.pTop;

    // Without a request the next pass keeps the tree it has: a wall moved
    // away since is still met where the tree put it.
    Contacts().clear();
    wall2.obj.mat.SetTrans(VectorPos(100, 0, 0));
    world.InteriorCollision();
    EXPECT_TRUE(world.dynbsp.TreeMade);
    EXPECT_EQ(world.dynbsp.pTop, built);
    EXPECT_TRUE(world.dynbsp.CollCuboids.IsEmpty());
    EXPECT_EQ(CountFor(&mover.obj), 2);

    // A contact handler asks for a rebuild: the tree goes after the pass and
    // the next pass builds it again.
    Contacts().clear();
    wall1.obj.onHit = [&](CollisionRecord*) { world.bRebuildDynBSP = true; };
    world.InteriorCollision();
    EXPECT_EQ(CountFor(&mover.obj), 2);
    EXPECT_FALSE(world.bRebuildDynBSP);
    EXPECT_FALSE(world.dynbsp.TreeMade);
    EXPECT_EQ(world.dynbsp.pTop, nullptr);

    // The rebuilt tree has the moved wall where it is now, out of reach.
    Contacts().clear();
    wall1.obj.onHit = nullptr;
    world.InteriorCollision();
    EXPECT_TRUE(world.dynbsp.TreeMade);
    EXPECT_EQ(CountFor(&mover.obj), 1);
    EXPECT_EQ(CountFor(&wall2.obj), 0);
}

TEST_F(WorldCollision, RayReturnsTheFirstListedObjectHit)
{
    Chain c;
    size_t box = c.Box(0x04, -1, -1, -1, 1, 1, 1);
    c.End();
    Hitter nearer, farther, ghost;
    Place(farther, c.At(box), VectorPos(8, 0, 0));
    Place(nearer, c.At(box), VectorPos(4, 0, 0));
    Place(ghost, c.At(box), VectorPos(2, 0, 0));
    ghost.flags |= OBJF_NOCOLLISION;
    List({&ghost, &farther, &nearer});

    VectorPos hit;
    VectorDir n;
    EXPECT_EQ(world.CheckRay(VectorPos(0, 0, 0), VectorPos(20, 0, 0), &hit, &n, nullptr, nullptr, 0x0400), &farther);
    ExpectNear(hit, VectorPos(7, 0, 0));
    ExpectNear(n, VectorDir(-1, 0, 0));
    EXPECT_EQ(world.CheckRay(VectorPos(0, 0, 0), VectorPos(20, 0, 0), nullptr, nullptr, &farther, nullptr, 0x0400),
              &nearer);
    EXPECT_EQ(world.CheckRay(VectorPos(0, 0, 0), VectorPos(20, 0, 0), nullptr, nullptr, &nearer, &farther, 0x0400),
              nullptr);
    EXPECT_EQ(world.CheckRay(VectorPos(0, 0, 0), VectorPos(20, 0, 0), nullptr, nullptr, nullptr, nullptr, 0x0800),
              nullptr);
    // Out of reach of the segment's sphere.
    EXPECT_EQ(world.CheckRay(VectorPos(0, 5, 0), VectorPos(1, 5, 0), nullptr, nullptr, nullptr, nullptr, 0x0400),
              nullptr);
}

TEST(RoadGround, CityCheckerIsRegisteredAndKnowsNoGroundYet)
{
    bool listed = false;
    for (GroundChecker* g = GroundChecker::list; g != nullptr; g = g->next)
        listed |= g == &roadgroundchecker;
    EXPECT_TRUE(listed);
    Object o;
    VectorDir n(5, 5, 5);
    EXPECT_EQ(o.GroundHeight(VectorPos(10, -3, 10), &n), 0.0f);
    ExpectNear(n, VectorDir(0, -1, 0));
}

}  // namespace
