// Bullet ticks per second: 200 bullets crossing a room of 50 box-collided
// props, each tick their flight, the world's collision pass and the hits
// they make; bullets spent on props or by their timers are fired again.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/gunfiles.h"
#include "tools/lib/p2b.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/modelfile.h"
#include "game/QuadTree.h"
#include "game/Weapons.h"

namespace {

constexpr int kBullets = 200;
constexpr int kProps = 50;

MDLFILE* Load(const tools::P2BFile& f)
{
    std::vector<u8> bytes;
    std::string error;
    tools::WriteP2B(f, bytes, error);
    void* block = malloc_align(u32(bytes.size()), 64);
    std::memcpy(block, bytes.data(), bytes.size());
    MDLFILE* mf = new MDLFILE{};
    mf->SetBuffer(block);
    mf->Init(u32(bytes.size()));
    return mf;
}

tools::P2BFile Crate()
{
    tools::P2BFile f;
    tools::P2BModel m;
    m.sphere = Sphere(VectorPos(0.0f, 0.0f, 0.0f), 0.5f);
    m.boxextent = Vector(0.3f, 0.3f, 0.3f, 0.0f);
    f.models = {m};
    tools::CollisionChain box;
    box.Box(0x0101, Cuboid(VectorPos(-0.3f, -0.3f, -0.3f), VectorPos(0.3f, 0.3f, 0.3f)));
    f.collisions.push_back(box);
    NODE n = tools::MakeNode(0);
    n.collision = 0;
    f.AddNode(-1, n);
    return f;
}

void BM_BulletsCrossARoomOfProps(benchmark::State& state)
{
    MDLFILE* bullets = nullptr;
    for (auto& [path, f] : tools::WeaponModelFiles())
        if (path == "DemoData/Misc/BULLETS.P2B")
            bullets = Load(f);
    MDLFILE* crate = Load(Crate());
    world.Clear();
    world.SetPlaybackSpeed(1.2f);
    for (int i = 0; i < kProps; i++) {
        Object* o = crate->GetHierarchy(0, sizeof(Object), 0);
        o->mat = Matrix(true);
        o->mat.SetTrans(VectorPos(float(i % 10) * 2.0f - 9.0f, 0.0f, float(i / 10) * 4.0f + 4.0f));
        o->id = s16(100 + i);
        world.AddObject(o, nullptr);
    }
    Weapon w = gWeapons[WEAP_PISTOL_RUGER];
    int fired = 0;
    auto fire = [&]() {
        Matrix m(true);
        m.SetTrans(VectorPos(float(fired % 40) * 0.5f - 10.0f, 0.1f * float(fired % 3), 0.0f));
        ShootBullet(m, VectorDir(0.0f, 0.0f, 0.0f), bullets, 2, &w, 7, 120, false);
        fired++;
    };
    auto flying = []() {
        int n = 0;
        for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
            n += it->type == OBJT_PROJECTILE && !it->IsDead();
        return n;
    };
    for (int i = 0; i < kBullets; i++)
        fire();
    s64 ticks = 0;
    for (auto _ : state) {
        world.Update();
        world.Collision();
        for (int n = flying(); n < kBullets; n++)
            fire();
        ticks += kBullets;
    }
    state.SetItemsProcessed(ticks);
    state.counters["bullet_ticks_per_s"] = benchmark::Counter(double(ticks), benchmark::Counter::kIsRate);
    world.Clear();
}
BENCHMARK(BM_BulletsCrossARoomOfProps);

}  // namespace
