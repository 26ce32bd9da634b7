// Model shadows.
#include "game/Shadow.h"

#include "ZevEngine2/Collision.h"
#include "game/QuadTree.h"

namespace {

constexpr float kShadowMargin = 1.1f;
constexpr float kShadowLift = -0.05f;   // y points down: 0.05 above the ground

// The half extents of the client's first collision shape; its radius on
// every axis when it has none (1 when that is 0 too).
VectorXYZ ClientExtents(const Object* client)
{
    const COLLISION* c = client->GetCollision();
    if (c != nullptr && c->type == COLL_BOX) {
        const CollBox* b = reinterpret_cast<const CollBox*>(c);
        return VectorXYZ(b->box.Extent() * 0.5f);
    }
    if (c != nullptr && c->type == COLL_SPHERE) {
        const float r = reinterpret_cast<const CollSphere*>(c)->sphere.w();
        return VectorXYZ(r, r, r);
    }
    const float r = client->radius != 0.0f ? client->radius : 1.0f / kShadowMargin;
    return VectorXYZ(r, r, r);
}

}  // namespace

Matrix PreScale(Matrix& mat, VectorXYZ scl)
{
    mat.PreScale(scl);
    return mat;
}

Object* CreateShadow(Object* _client, MDLFILE* mdlfile, int index)
{
    Shadow* s = new Shadow;
    if (s == nullptr)
        return nullptr;
    s->messagehandler = reinterpret_cast<OBJMESSAGEHANDLER>(Shadow::staticmh);
    s->client = _client;
    if (_client != nullptr)
        _client->refcount++;
    if (mdlfile != nullptr)
        mdlfile->GetHierarchyTo(s, u16(index), 0);
    const VectorPos at = _client != nullptr ? _client->mat.GetTrans() : VectorPos(0.0f, 0.0f, 0.0f);
    s->mat = Matrix(true);
    s->mat.SetTrans(at);
    s->flags |= OBJF_FRAMECALL | OBJF_NOCOLLISION;
    const VectorXYZ e = _client != nullptr ? ClientExtents(_client) : VectorXYZ(1.0f, 1.0f, 1.0f);
    s->scale = Vector(e * kShadowMargin, 0.0f);
    s->offset = kShadowLift;
    // It follows its client only on the world's frame calls.
    if (!world.AddObject(s, nullptr)) {
        s->Delete();
        return nullptr;
    }
    return s;
}

int Shadow::Frame()
{
    if (client == nullptr || client->IsDead())
        return Die();
    const VectorPos pos = client->mat.GetTrans();
    VectorDir normal(0.0f, -1.0f, 0.0f);
    const float h = client->GroundHeight(pos, &normal);
    // Forward is the client's, laid into the ground's plane, so that the
    // shadow's up axis is the ground normal itself.
    const VectorDir fwd(client->mat.z.v);
    const float along = fwd[0] * normal[0] + fwd[1] * normal[1] + fwd[2] * normal[2];
    Matrix m = LookAlong(VectorDir(fwd - normal * along), normal);
    m.PreScale(VectorXYZ(scale.v));
    m.SetTrans(VectorPos(pos[0], h + offset, pos[2]));
    mat = m;
    return 0;
}

int Shadow::Die()
{
    Object* c = client;
    client = nullptr;
    if (c != nullptr)
        ReleaseObjectRef(c);
    delete this;
    return -1;
}

int Shadow::staticmh(Shadow* c, OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_FRAME:
        return c->Frame();
    case OM_DIE:
        return c->Die();
    default:
        return 0;
    }
}
