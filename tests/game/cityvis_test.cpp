#include <gtest/gtest.h>

#include <vector>

#include "game/Rain.h"
#include "game/city_support.h"

using namespace citytest;

namespace {

TEST(SortedTree, KeepsTheSmallestKeysAndHandsBackWhatFallsOut)
{
    int items[8];
    std::vector<float> keys;
    auto order = [&](const SortedTree<int, 4>& t) {
        keys.clear();
        t.ForEach([&](int*, float k) { keys.push_back(k); });
        return keys;
    };
    SortedTree<int, 4> t;
    float out = -1.0f;
    EXPECT_EQ(t.Add(&items[0], 10.0f, &out), nullptr);
    EXPECT_EQ(t.Add(&items[1], 5.0f, &out), nullptr);
    EXPECT_EQ(t.Add(&items[2], 3.0f, &out), nullptr);
    EXPECT_EQ(t.Add(&items[3], 7.0f, &out), nullptr);
    EXPECT_EQ(out, -1.0f);
    EXPECT_EQ(order(t), (std::vector<float>{3, 5, 7, 10}));
    EXPECT_FALSE(t.ShouldAdd(10.0f));
    EXPECT_TRUE(t.ShouldAdd(9.0f));

    // A key equal to the worst is refused and nothing changes.
    EXPECT_EQ(t.Add(&items[4], 10.0f, &out), &items[4]);
    EXPECT_EQ(out, 10.0f);
    EXPECT_EQ(order(t), (std::vector<float>{3, 5, 7, 10}));

    // The worst is the root with only a left subtree: that subtree's root
    // becomes the head and its rightmost entry the worst.
    EXPECT_EQ(t.Head(), 0);
    EXPECT_EQ(t.Add(&items[5], 1.0f, &out), &items[0]);
    EXPECT_EQ(out, 10.0f);
    EXPECT_EQ(t.Item(t.Head()), &items[1]);
    EXPECT_EQ(t.Item(t.worst_index), &items[3]);
    EXPECT_EQ(order(t), (std::vector<float>{1, 3, 5, 7}));
    // A worst without children: its parent becomes the worst.
    EXPECT_EQ(t.Add(&items[6], 2.0f, &out), &items[3]);
    EXPECT_EQ(out, 7.0f);
    EXPECT_EQ(t.Item(t.worst_index), &items[1]);
    EXPECT_EQ(order(t), (std::vector<float>{1, 2, 3, 5}));
    // Among equal keys the later entry comes first.
    SortedTree<int, 4> e;
    e.Add(&items[0], 1.0f, nullptr);
    e.Add(&items[1], 1.0f, nullptr);
    std::vector<int*> got;
    e.ForEach([&](int* p, float) { got.push_back(p); });
    EXPECT_EQ(got, (std::vector<int*>{&items[1], &items[0]}));
    t.Clear();
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.Head(), -1);
}

TEST(InstanceFades, SixteenthsInAndTwoSixteenthsAStepOut)
{
    Instance in{};
    for (int i = 1; i <= 15; i++)
        EXPECT_EQ(FadeIn(&in), float(i) / 16.0f) << i;
    EXPECT_EQ(FadeIn(&in), 0.0f);   // the 16th frame: opaque
    EXPECT_EQ(in.State(), INSTSTATE_SHOWN);
    EXPECT_EQ(FadeIn(&in), 0.0f);   // shown: unchanged
    EXPECT_EQ(in.State(), INSTSTATE_SHOWN);
    in.State() = INSTSTATE_OUTOFVIEW;
    EXPECT_EQ(FadeIn(&in), 0.0f);
    EXPECT_EQ(in.State(), INSTSTATE_OUTOFVIEW);
    in.State() = INSTSTATE_SHOWN;
    EXPECT_EQ(FadeOut(&in), 0.0f);
    EXPECT_EQ(in.State(), INSTSTATE_SHOWN);
    in.State() = 0;
    for (int i = 7; i >= 1; i--)
        EXPECT_EQ(FadeOut(&in), float(2 * i) / 16.0f) << i;
    EXPECT_EQ(FadeOut(&in), 0.0f);
    EXPECT_EQ(in.State(), 0);
}

int AnswerDrawn(Object*, OBJMESSAGE msg, void*)
{
    return msg == OM_WASDRAWN ? 1 : 0;
}

class CityVisibility : public CityWorld
{
protected:
    RenderContext rc;

    void Camera(VectorPos from, VectorPos to)
    {
        rc.SetViewport(2048, 2048 + 640, 2048, 2048 + 512, 1.0f, 16000000.0f);
        rc.SetAspectRatio(1.0f, 1.0f);
        rc.SetZRange(0.1f, 2000.0f);
        rc.SetPerspective(1.6f);
        rc.SetCameraMatrix(LookatMatrix(from, to));
    }
    void Walk()
    {
        qt().ClearVisibility();
        qt().CalcSortedVisibility(rc);
    }
    int Listed()
    {
        int n = 0;
        qt().stObjects.ForEach([&](Instance*, float) { n++; });
        return n;
    }
    // The node holding instance records, and the first instance.
    QuadNode* InstanceNode()
    {
        for (Grid& g : qt().grid)
            for (std::vector<QuadNode*> stack{g.root}; g.root != nullptr && !stack.empty();) {
                QuadNode* n = stack.back();
                stack.pop_back();
                if (n->nObjects > 0)
                    return n;
                for (QuadNode* c : n->child)
                    if (c != nullptr)
                        stack.push_back(c);
            }
        return nullptr;
    }
};

TEST_F(CityVisibility, WalkListsWhatTheCameraSeesWithTheStatesNodesLeftBehind)
{
    Load(tools::TestCity(tools::TestCityKind::kCrossing));
    ASSERT_TRUE(SyncTo(VectorPos(128.0f, 0.0f, 128.0f)));
    QuadNode* node = InstanceNode();
    ASSERT_NE(node, nullptr);
    Instance& in = node->objects[0];
    EXPECT_EQ(in.id, 7);

    // Looking at the building across the crossing.
    Camera(VectorPos(128.0f, -6.0f, 90.0f), VectorPos(158.0f, -4.0f, 158.0f));
    Walk();
    EXPECT_EQ(Listed(), 1);
    EXPECT_EQ(in.State(), 0);   // visible all along: kept
    int segs = 0;
    for (Link<RoadSeg>* l = qt().visrslist.Head(); !l->IsEOList(); l = l->Next())
        segs++;
    EXPECT_GE(segs, 2);
    EXPECT_FALSE(qt().visjtnlist.IsEmpty());

    // Culled last frame: shown at once; too small: fades in from 0.
    node->SetFlags(node->Flags() | QN_CULLED);
    Walk();
    EXPECT_EQ(in.State(), INSTSTATE_OUTOFVIEW);
    EXPECT_EQ(node->Flags() & (QN_CULLED | QN_TOOSMALL), 0u);
    EXPECT_EQ(Listed(), 1);
    node->SetFlags(node->Flags() | QN_TOOSMALL);
    Walk();
    EXPECT_EQ(in.State(), 0);
    EXPECT_EQ(Listed(), 1);

    // A live object asked OM_WASDRAWN that answers yes is left out.
    Object live(AnswerDrawn);
    live.flags = OBJF_ASKWASDRAWN;
    live.mat = in.GetMatrix();
    live.radius = 5.0f;
    in.obj = &live;
    Walk();
    EXPECT_EQ(Listed(), 0);
    live.flags = 0;
    Walk();
    EXPECT_EQ(Listed(), 1);
    in.obj = nullptr;

    // Clearing the lists clears the rain's ground caches too.
    gRain.aGHCache[48].prs = &node->roadsegs[0];
    gRain.aGHCache[48].prevpos = VectorPos(5, 5, 5);
    Walk();
    EXPECT_EQ(gRain.aGHCache[48].prs, nullptr);
    EXPECT_EQ(Vector(gRain.aGHCache[48].prevpos.v), Vector(0, 0, 0, 1));

    // Looking away: the instance is out of view, nothing is listed.
    Camera(VectorPos(128.0f, -6.0f, 90.0f), VectorPos(128.0f, -6.0f, 0.0f));
    Walk();
    EXPECT_EQ(Listed(), 0);
    EXPECT_EQ(in.State(), 0);   // its node (or an ancestor) remembers being culled
    // Looking back: the node culled last frame shows its instance at once.
    Camera(VectorPos(128.0f, -6.0f, 90.0f), VectorPos(158.0f, -4.0f, 158.0f));
    Walk();
    EXPECT_EQ(in.State(), INSTSTATE_OUTOFVIEW);
    EXPECT_EQ(Listed(), 1);
}

TEST_F(CityVisibility, CentreFollowsTheCameraWithHysteresisAndFlatWalksKeepToTheirMask)
{
    Load(tools::SampleCity());
    ASSERT_TRUE(SyncTo(VectorPos(10.0f, 0.0f, 10.0f)));
    ASSERT_EQ(qt().gridx, 0);
    // 3 units west of the centre cell keeps it; 5 moves it.
    Camera(VectorPos(-3.0f, -5.0f, 20.0f), VectorPos(-3.0f, -5.0f, 100.0f));
    Walk();
    EXPECT_EQ(qt().gridx, 0);
    EXPECT_GT(Listed(), 0);
    Camera(VectorPos(-5.0f, -5.0f, 20.0f), VectorPos(-5.0f, -5.0f, 100.0f));
    Walk();
    EXPECT_EQ(qt().gridx, -1);
    EXPECT_EQ(qt().gridz, 0);

    // The flat walk visits every root and only children holding instances.
    ASSERT_TRUE(SyncTo(VectorPos(10.0f, 0.0f, 10.0f)));
    int roots = 0, others = 0, all = 0;
    for (Visible2D v(Cuboid(VectorPos(-200, 0, -200), VectorPos(200, 0, 200)), QN_INSTANCES); *v; ++v) {
        QuadNode* n = *v;
        bool root = false;
        for (const Grid& g : qt().grid)
            root |= g.root == n;
        roots += root;
        if (!root) {
            others++;
            EXPECT_TRUE(n->Flags() & QN_INSTANCES);
        }
    }
    EXPECT_EQ(roots, 4);
    EXPECT_GT(others, 0);
    for (Visible2D v(Cuboid(VectorPos(-200, 0, -200), VectorPos(200, 0, 200)), -1); *v; ++v)
        all++;
    EXPECT_GT(all, roots + others);
    // A box over one cell's quarter: that root only.
    roots = 0;
    for (Visible2D v(Cuboid(VectorPos(60, -100, 60), VectorPos(70, 100, 70)), QN_JUNCTIONS); *v; ++v)
        roots += v.sp == v.stack + 1 && *v == qt().grid[QuadTree::Slot(0, 0)].root;
    EXPECT_EQ(roots, 1);
}

// Quad trees far deeper than any the writer makes: every level has four
// children and only one goes on, the one a walk takes first, so the others
// wait on its stack.  The walks skip what their stacks cannot hold, say so
// once each, and end.
TEST_F(CityVisibility, WalksSkipWhatTheirStacksCannotHold)
{
    Load(tools::TestCity(tools::TestCityKind::kGroundPatch));
    ASSERT_TRUE(SyncTo(VectorPos(128.0f, 0.0f, 128.0f)));
    constexpr int kLevels = 40;
    alignas(16) static u8 junction[JunctionFile::Size(0)];
    Junction* j = (Junction*)junction;
    j->pos = VectorPos(128.0f, -1.0f, 128.0f);
    auto tree = [&](std::vector<QuadNode>& nodes, int goesOn) {
        nodes.assign(1 + 4 * kLevels, QuadNode{});
        for (QuadNode& n : nodes) {
            n.ext = Cuboid(VectorPos(100.0f, -2.0f, 100.0f), VectorPos(156.0f, 0.0f, 156.0f));
            n.SetFlags(QN_JUNCTIONS | QN_ROADSEGS | QN_INSTANCES);
        }
        int parent = 0;
        for (int l = 0; l < kLevels; l++) {
            for (int c = 0; c < 4; c++)
                nodes[size_t(parent)].child[c] = &nodes[size_t(4 * l + 1 + c)];
            parent = 4 * l + 1 + goesOn;
        }
        nodes[size_t(parent)].nJunctions = 1;
        nodes[size_t(parent)].junctions = j;
    };
    // The visibility walk takes the child nearest the camera first: child 0
    // for a camera west and north of every node.
    std::vector<QuadNode> nearFirst, lastFirst;
    tree(nearFirst, 0);
    tree(lastFirst, 3);   // the flat walk and the search take child 3 first
    Grid& g = qt().grid[QuadTree::Slot(0, 0)];
    QuadNode* saved = g.root;

    testing::internal::CaptureStdout();
    g.root = &nearFirst[0];
    Camera(VectorPos(-3.0f, -30.0f, -3.0f), VectorPos(128.0f, -1.0f, 128.0f));
    Walk();
    Walk();
    EXPECT_EQ(qt().gridx, 0);
    g.root = &lastFirst[0];
    int visited = 0;
    for (Visible2D v(Cuboid(VectorPos(0, 0, 0), VectorPos(255, 0, 255)), -1); *v; ++v)
        visited++;
    for (Visible2D v(Cuboid(VectorPos(0, 0, 0), VectorPos(255, 0, 255)), -1); *v; ++v) {
    }
    EXPECT_EQ(g.FindJunction(j->pos), nullptr);   // beyond what the search could hold
    EXPECT_EQ(g.FindJunction(j->pos), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    g.root = saved;
    EXPECT_GT(visited, 32);
    EXPECT_LT(visited, int(lastFirst.size()));
    for (const char* line : {"the visibility walk's stack is full", "a flat walk's stack is full",
                             "too deep for the junction search"}) {
        const size_t at = out.find(line);
        EXPECT_NE(at, std::string::npos) << line << "\n" << out;
        EXPECT_EQ(out.find(line, at + 1), std::string::npos) << line;
    }
}

}  // namespace
