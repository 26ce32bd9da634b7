// Test helpers for the collision tests: collision blocks laid out byte by byte
// as model files hold them (boxes, spheres, plane sets, triangle soups with
// their search trees, nested chains), and an object that records every
// contact it hears.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Object.h"

namespace colltest {

// A soup search tree as a test describes it.
struct Tree
{
    int axis = -1;   // -1 leaf, else 0 x, 1 y, 2 z
    float value = 0;
    std::vector<u16> faces;
    std::shared_ptr<Tree> below, above;   // Link2, Link1
};
inline std::shared_ptr<Tree> Leaf(std::vector<u16> faces)
{
    auto t = std::make_shared<Tree>();
    t->faces = std::move(faces);
    return t;
}
inline std::shared_ptr<Tree> Split(int axis, float value, std::shared_ptr<Tree> below, std::shared_ptr<Tree> above)
{
    auto t = std::make_shared<Tree>();
    t->axis = axis;
    t->value = value;
    t->below = std::move(below);
    t->above = std::move(above);
    return t;
}

struct Face
{
    u16 id;
    u16 a, b, c;
};

// A collision block: entries appended 16-byte aligned in a 16-byte-aligned
// buffer that never moves.
class Chain
{
public:
    Chain() : storage(new u8[kSize + 16]())
    {
        base = reinterpret_cast<u8*>((reinterpret_cast<uintptr_t>(storage.get()) + 15) & ~uintptr_t(15));
    }

    size_t Box(u16 id, float x0, float y0, float z0, float x1, float y1, float z1)
    {
        u8 e[48] = {};
        W16(e, 0, COLL_BOX);
        W16(e, 2, id);
        float f[8] = {x0, y0, z0, 1, x1, y1, z1, 1};
        std::memcpy(e + 16, f, sizeof f);
        return Put(e, sizeof e);
    }
    size_t Ball(u16 id, float x, float y, float z, float r)
    {
        u8 e[32] = {};
        W16(e, 0, COLL_SPHERE);
        W16(e, 2, id);
        float f[4] = {x, y, z, r};
        std::memcpy(e + 16, f, sizeof f);
        return Put(e, sizeof e);
    }
    // A plane set from (nx, ny, nz, d) quadruples.
    size_t Planes(const std::vector<Vector>& planes)
    {
        std::vector<u8> e(16 + 16 * planes.size(), 0);
        W16(e.data(), 0, COLL_PLANES);
        W16(e.data(), 2, (u16)planes.size());
        for (size_t i = 0; i < planes.size(); i++)
            for (int k = 0; k < 4; k++)
            {
                float v = planes[i][k];
                std::memcpy(&e[16 + 16 * i + 4 * k], &v, 4);
            }
        return Put(e.data(), e.size());
    }
    // The cube [-h, h]^3 about c as a plane set (outward faces).
    size_t PlaneCube(VectorPos c, float h)
    {
        return Planes({Vector(1, 0, 0, -(c[0] + h)), Vector(-1, 0, 0, c[0] - h), Vector(0, 1, 0, -(c[1] + h)),
                       Vector(0, -1, 0, c[1] - h), Vector(0, 0, 1, -(c[2] + h)), Vector(0, 0, -1, c[2] - h)});
    }
    size_t Soup(const std::vector<VectorPos>& verts, const std::vector<Face>& faces, const std::shared_ptr<Tree>& tree)
    {
        std::vector<u8> e(16, 0);
        W16(e.data(), 0, COLL_SOUP);
        W16(e.data(), 2, (u16)verts.size());
        e.resize(12);
        EmitTree(e, *tree);
        while (e.size() % 8)
            e.push_back(0);
        u32 faceOffset = (u32)e.size();
        for (const Face& f : faces)
        {
            size_t at = e.size();
            e.resize(at + 8);
            W16(&e[at], 0, f.id);
            W16(&e[at], 2, f.a);
            W16(&e[at], 4, f.b);
            W16(&e[at], 6, f.c);
        }
        while (e.size() % 16)
            e.push_back(0);
        u32 vertOffset = (u32)e.size();
        for (const VectorPos& v : verts)
        {
            float f[4] = {v[0], v[1], v[2], 1.0f};
            size_t at = e.size();
            e.resize(at + 16);
            std::memcpy(&e[at], f, 16);
        }
        W32(e.data(), 4, faceOffset);
        W32(e.data(), 8, vertOffset);
        return Put(e.data(), e.size());
    }
    size_t End()
    {
        u8 e[2] = {0, 0};
        return Put(e, 2);
    }
    // Makes the box or sphere at volume a bounding volume of the list at list.
    void SetChild(size_t volume, size_t list) { W32(base + volume, 4, (u32)(list - volume)); }

    COLLISION* At(size_t offset) { return reinterpret_cast<COLLISION*>(base + offset); }
    template <class T>
    T* As(size_t offset)
    {
        return reinterpret_cast<T*>(base + offset);
    }

    static void W16(u8* p, int at, u16 v) { std::memcpy(p + at, &v, 2); }
    static void W32(u8* p, int at, u32 v) { std::memcpy(p + at, &v, 4); }

private:
    static constexpr size_t kSize = 1 << 16;

    size_t Put(const void* p, size_t n)
    {
        size_t at = end;
        EXPECT_LE(at + n, kSize);
        std::memcpy(base + at, p, n);
        end = (at + n + 15) & ~size_t(15);
        return at;
    }
    // Nodes start 4-aligned: a split is 8 bytes followed by its Link2 tree;
    // its Link1 tree starts at the next multiple of 4.
    static void EmitTree(std::vector<u8>& e, const Tree& t)
    {
        size_t at = e.size();
        if (t.axis < 0)
        {
            e.resize(at + 2 + 2 * t.faces.size());
            W16(&e[at], 0, (u16)(t.faces.size() << 2));
            for (size_t i = 0; i < t.faces.size(); i++)
                W16(&e[at], 2 + 2 * (int)i, t.faces[i]);
            return;
        }
        e.resize(at + 8);
        std::memcpy(&e[at + 4], &t.value, 4);
        EmitTree(e, *t.below);
        while (e.size() % 4)
            e.push_back(0);
        u32 link1 = (u32)(e.size() - at);
        W16(&e[at], 0, (u16)((link1 & 0xFFFC) | (u32)(t.axis + 1)));
        W16(&e[at], 2, (u16)(link1 >> 16));
        EmitTree(e, *t.above);
    }

    std::unique_ptr<u8[]> storage;
    u8* base;
    size_t end = 0;
};

// What a receiver saw of one contact.
struct Contact
{
    Object* receiver;
    Object* myPart;
    Object* hisPart;
    Object* hitObj;
    COLLISION* myCol;
    COLLISION* hisCol;
    u16 myID, hisID;
    bool flipped;
    bool info;
    VectorPos point;
    VectorDir normal;
    float dist;
    VectorDir tempnormal;
    Vector temppoint;
};

// Every contact any Hitter hears, in order.
inline std::vector<Contact>& Contacts()
{
    static std::vector<Contact> log;
    return log;
}

// An object that records its OM_COLLISION messages (asking for the contact
// information when getInfo is set) and answers with reply.
class Hitter : public Object
{
public:
    Hitter() : Object(Hitter_mh) {}

    static int Hitter_mh(Object* o, OBJMESSAGE msg, void* data) { return static_cast<Hitter*>(o)->mh(msg, data); }
    int mh(OBJMESSAGE msg, void* data)
    {
        if (msg != OM_COLLISION)
            return 0;
        CollisionRecord* rec = static_cast<CollisionRecord*>(data);
        Contact c{};
        c.receiver = this;
        c.myPart = rec->MyPart();
        c.hisPart = rec->HisPart();
        c.hitObj = rec->HitObj();
        c.myCol = rec->MyCol();
        c.hisCol = rec->HisCol();
        c.myID = rec->MyID();
        c.hisID = rec->HisID();
        c.flipped = rec->IsFlipped();
        c.tempnormal = rec->tempnormal;
        c.temppoint = rec->temppoint;
        if (getInfo)
        {
            c.info = rec->GetInfo();
            c.point = rec->Point();
            c.normal = rec->Normal();
            c.dist = rec->Dist();
        }
        Contacts().push_back(c);
        if (onHit)
            onHit(rec);
        return reply;
    }

    int reply = 0;
    bool getInfo = false;
    std::function<void(CollisionRecord*)> onHit;
};

// An object placed at pos (rotated by rot) carrying chain.
inline void Place(Object& o, COLLISION* chain, VectorPos pos, const Matrix& rot = Matrix(true))
{
    o.mat = rot;
    o.mat.SetTrans(pos);
    o.collision = chain;
    o.CalcRadius();
}

inline int CountFor(Object* receiver)
{
    int n = 0;
    for (const Contact& c : Contacts())
        n += c.receiver == receiver;
    return n;
}

inline void ExpectNear(const VectorXYZ& a, const VectorXYZ& b, float tol = 1e-4f)
{
    EXPECT_NEAR(a[0], b[0], tol);
    EXPECT_NEAR(a[1], b[1], tol);
    EXPECT_NEAR(a[2], b[2], tol);
}

}  // namespace colltest
