// Model nodes and object creation: call-list patching, objects from nodes,
// node searches, levels of detail, and the object-tree operations that read
// model nodes.
#include "ZevEngine2/PS2/Model.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/MC2/Routines.h"

Texture gtex[GTEX_TOTAL];

// ---------------------------------------------------------------------------
// Call lists

const u16 MATERIAL::translate[TOK_COUNT] = {
    mc2Nop / 8,
    mc2Stop / 8,
    mc2SetLocal / 8,
    mc2SetViewport / 8,
    mc2SetGlobals / 8,
    mc2SetBuffers / 8,
    mc2ProcessVerts / 8,
    mc2SetMaterial / 8,
    0,   // tokNewMaterial: markers for the tools, never run
    0,   // tokEndMaterial
    mc2EndPass1 / 8,
    mc2EndPass / 8,
    mc2Giftag / 8,
    mc2GiftagCopy / 8,
    mc2Kick / 8,
    mc2KickFlip / 8,
    mc2Transform / 8,
    mc2TransformCompressed / 8,
    mc2SetUV / 8,
    mc2DoLighting / 8,
    mc2DoLightingFlip / 8,
    mc2DoLightingCompressed / 8,
    mc2DoLightingCompressedFlip / 8,
    mc2DoLightingMult / 8,
    mc2DoLightingMultFlip / 8,
    mc2DoLightingCompressedMult / 8,
    mc2DoLightingCompressedMultFlip / 8,
    mc2DoLightingPreLit / 8,
    mc2DoLightingPreLitFlip / 8,
    mc2DoLightingCompressedPreLit / 8,
    mc2DoLightingCompressedPreLitFlip / 8,
    mc2CopyColour / 8,
    mc2FillColour / 8,
    mc2BFCull / 8,
    mc2TransformUV / 8,
    mc2UnpackNormals / 8,
    mc2Reflection / 8,
    mc2Refraction / 8,
    mc2Skin / 8,
    mc2RandomClamp / 8,
    mc2AlphaReg / 8,
    mc2BFCullSwap / 8,
};

void MATERIAL::Patch() const
{
    for (int q = 0; q < callListNumQw; q++)
    {
        u16* w = Words(q);
        u16 tok = w[6];
        if (!(tok & TOK_FLAG))
            continue;
        int skip = (tok == tokGiftag || tok == tokGiftagCopy) ? (w[0] & 0x7FFF) : 0;
        // The loader has refused files with other tokens; a word outside the
        // table is left alone rather than read past it.
        if (tok >= tokNop && tok <= tokLast)
            w[6] = translate[tok - tokNop];
        q += skip;
    }
}

float MODEL::Radius() const
{
    return Length(VectorXYZ(sphere.v)) + sphere[3];
}

Matrix NODE::GetMatrix() const
{
    Matrix m = RotMatrix(VectorXYZ(ang[0], ang[1], ang[2]));
    m.w = Vector(pos[0], pos[1], pos[2], 1.0f);
    return m;
}

// ---------------------------------------------------------------------------
// Geometry and levels of detail

GEOMETRY::GEOMETRY(const MDLFILE* mf, int i) : GEOMETRY0(i)
{
    radius = mf->models[i]->Radius();
    pparams = params;
    memset(params, 0, sizeof params);
}

GEOMETRY0::~GEOMETRY0()
{
    DeleteLowRes();
}

void GEOMETRY0::DeleteLowRes()
{
    GEOMETRY0* g = lowresgeom;
    lowresgeom = nullptr;
    if (g != nullptr && g != this)
        delete g;   // and, through its destructor, the levels below it
}

void GEOMETRY::SetLowRes(MDLFILE* mf, int nodeIndex, float overrideDist)
{
    DeleteLowRes();
    float r = mf->models[index]->Radius();
    float d = overrideDist != 0.0f ? overrideDist : (r < 4.6875f ? r * 10.0f : r * 5.0f);
    int own = mf->nodes[nodeIndex].Model();
    GEOMETRY0* g = this;
    int i = nodeIndex;
    while ((i = mf->FindSpecialIndex(i, NODETYPE_LOD)) != 0)
    {
        const NODE& level = mf->nodes[i];
        int m = level.Model();
        GEOMETRY0* next = nullptr;   // beyond a level without a model nothing is drawn
        if (m < MDL_NOGEOM)
            next = m == own ? g : new GEOMETRY0(m);
        g->lowresgeom = next;
        g->lowresdist = level.extra != 0 ? (float)level.extra : d;
        d *= 2.0f;   // the default doubles whether or not it was used
        if (next == nullptr)
            break;
        g = next;
    }
}

GEOMETRY0* GEOMETRY::GetLowRes(float depth)
{
    GEOMETRY0* g = this;
    while (g->lowresdist != 0.0f && g->lowresdist < depth)
    {
        GEOMETRY0* next = g->lowresgeom;
        if (next == g)
            break;   // the same model goes on at any depth
        if (next == nullptr)
            return nullptr;
        g = next;
    }
    return g;
}

void DeleteGeometry(GEOMETRY* geom)
{
    delete geom;
}

float GetGeometryRadius(const GEOMETRY* geom)
{
    return geom->Radius();
}

void SetTintSet(Object* obj, int set, bool firstLevel)
{
    for (Object* o = obj; o != nullptr; o = firstLevel ? nullptr : o->sibling)
    {
        if (o->geom != nullptr)
            o->geom->params[0] = (u8)set;
        SetTintSet(o->child, set, false);
    }
}


// ---------------------------------------------------------------------------
// Objects from nodes

namespace {

float CollisionRadiusOf(const MDLFILE* mf, u16 collision)
{
    return collision != 0xFFFF ? CalcCollisionRadius(mf->GetCollision(collision)) : 0.0f;
}

// The node's built-in animation for obj, as GetHierarchy and GetHierarchyTo
// give it.
BlendAnimation* NodeAnimation(const MDLFILE* mf, Object* obj, const NODE& node, u32 flags)
{
    AnimBundle* bundle = nullptr;
    int length = 0, animflags = 0;
    if (mf->anmfile != nullptr)
    {
        AnimNode* an = mf->anmfile[node.animation];
        bundle = an->Bundle();
        length = an->length;
        animflags = an->flags;
    }
    return NewBlendAnimation(obj, bundle, flags, length, animflags, (AnimationClock().t >> 8) & 0xFFFF);
}

// Links the children's chain to obj and widens obj's radius over them.
void AdoptChildren(Object* obj, float& radius)
{
    for (Object* c = obj->child; c != nullptr; c = c->sibling)
    {
        c->parent = obj;
        radius = std::max(radius, Length(c->mat.GetTrans()) + c->radius);
    }
}

}  // namespace

Object* MDLFILE::ObjectFromNode(NODE* node, u32 size)
{
    int m = node->Model();
    if (m >= MDL_LIGHT && m <= MDL_LIGHT_LAST)
    {
        LightObject* light = new LightObject;
        if (light != nullptr)
            light->SetUp(node);
        return light;
    }
    if (m == MDL_BONE)
        size = std::max<u32>(size, sizeof(BoneObject));
    size = std::max<u32>(size, sizeof(Object));
    void* p = Object::operator new(size);
    if (p == nullptr)
        return nullptr;
    Object* obj = m == MDL_BONE ? new (p) BoneObject() : new (p) Object();
    obj->mat = node->GetMatrix();
    obj->mdlfile = this;
    float radius = 0.0f;
    if (m == MDL_BONE)
    {
        obj->type = OBJT_BONE;
    }
    else if (int g = NodeGeometry(*node); g >= 0)
    {
        obj->geom = new GEOMETRY(this, g);
        radius = models[g]->Radius();
    }
    if (node->collision != 0xFFFF)
    {
        obj->collision = (COLLISION*)(uintptr_t)(node->collision + 1);
        radius = std::max(radius, CollisionRadiusOf(this, node->collision));
    }
    obj->radius = radius;
    return obj;
}

Object* MDLFILE::GetHierarchy(u16 index, u32 size, u32 flags)
{
    if (nodes == nullptr || index >= nNodes)
    {
        printf("Model: no node %u to build (the file has %d)\n", index, nodes != nullptr ? nNodes : 0);
        return nullptr;
    }
    NODE& node = nodes[index];
    if (node.model & MDL_NOTOBJECT)
    {
        if ((flags & GH_SIBLINGS) && node.sibling != 0xFFFF)
            return GetHierarchy(node.sibling, size, flags);
        return nullptr;
    }
    Object* obj = ObjectFromNode(&node, size);
    if (obj == nullptr)
        return nullptr;
    obj->index = index;
    obj->id = (s16)node.extra;
    if ((flags & GH_ANIMATE) && node.GetAnimIndex() >= 0)
        obj->blendAnim = NodeAnimation(this, obj, node, flags);
    if (flags & GH_NODEMATRIX)
        obj->mat = node.GetMatrix();
    if ((flags & GH_SIBLINGS) && node.sibling != 0xFFFF)
        obj->sibling = GetHierarchy(node.sibling, size, flags);
    if (!(flags & GH_NOCHILDREN) && node.child != 0xFFFF)
    {
        obj->child = GetHierarchy(node.child, sizeof(Object), (flags | 0x41) & ~GH_RELMOTION);
        AdoptChildren(obj, obj->radius);
    }
    if (obj->geom != nullptr && (models[obj->geom->index]->flags & MDL_SKINNED))
        FixBones(obj->child, Matrix(true));
    return obj;
}

Object* MDLFILE::GetHierarchyTo(Object* obj, u16 index, u32 flags)
{
    if (nodes == nullptr || index >= nNodes)
    {
        printf("Model: no node %u to dress an object from (the file has %d)\n", index, nodes != nullptr ? nNodes : 0);
        return obj;
    }
    NODE& node = nodes[index];
    const int m = NodeGeometry(node);
    if (obj->geom != nullptr)
        DeleteGeometry(obj->geom);
    obj->geom = m >= 0 ? new GEOMETRY(this, m) : nullptr;
    obj->index = index;
    obj->mdlfile = this;
    obj->collision = (COLLISION*)(uintptr_t)(u16)(node.collision + 1);   // 0xFFFF + 1: none
    if ((flags & GH_ANIMATE) && node.GetAnimIndex() >= 0)
    {
        if (obj->blendAnim != nullptr)
            DeleteBlendAnimation(obj->blendAnim);
        obj->blendAnim = NodeAnimation(this, obj, node, flags);
    }
    float radius = obj->geom != nullptr ? obj->geom->Radius() : 0.0f;
    radius = std::max(radius, CollisionRadiusOf(this, node.collision));
    if (flags & GH_NODEMATRIX)
        obj->mat = node.GetMatrix();
    if ((flags & GH_NOCHILDREN) || node.child == 0xFFFF)
    {
        obj->child = nullptr;
    }
    else
    {
        obj->child = GetHierarchy(node.child, sizeof(Object), (flags | 0x21) & ~GH_RELMOTION);
        AdoptChildren(obj, radius);
    }
    obj->radius = radius;
    return obj;
}

// ---------------------------------------------------------------------------
// Node searches

NODE* MDLFILE::FindNode1(u16 index, u16 model) const
{
    for (u16 i = index; i != 0xFFFF && i < nNodes; i = nodes[i].sibling)
    {
        if (nodes[i].model == model)
            return &nodes[i];
    }
    return nullptr;
}

NODE* MDLFILE::FindNodeById1(u16 index, u16 id) const
{
    for (u16 i = index; i != 0xFFFF && i < nNodes; i = nodes[i].sibling)
    {
        if (nodes[i].extra == id)
            return &nodes[i];
    }
    return nullptr;
}

NODE* MDLFILE::FindNode(const NODE* parent, u16 model) const
{
    return parent != nullptr ? FindNode1(parent->child, model) : nullptr;
}

NODE* MDLFILE::FindNodeById(const NODE* parent, u16 id) const
{
    return parent != nullptr ? FindNodeById1(parent->child, id) : nullptr;
}

int MDLFILE::FindSpecialIndex(int index, int type) const
{
    if (nodes == nullptr || index < 0 || index >= nNodes)
        return 0;
    for (u16 i = nodes[index].child; i != 0xFFFF && i < nNodes; i = nodes[i].sibling)
    {
        if (nodes[i].Type() == type)
            return i;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Object-tree operations that read model nodes

void Object::Attach(Object* obj2, NODE* node)
{
    obj2->mat = node->GetMatrix();
    Attach(obj2);
}

void Object::AttachQ(Object* obj2, NODE* node)
{
    obj2->mat = node->GetMatrix();
    AttachQ(obj2);
}

NODE* Object::GetNode() const
{
    if (mdlfile == nullptr || mdlfile->nodes == nullptr || index >= mdlfile->nNodes)
        return nullptr;
    return &mdlfile->nodes[index];
}

NODE* Object::FindNode(int findtype)
{
    NODE* node = GetNode();
    return node != nullptr ? mdlfile->FindNode1(node->child, (u16)findtype) : nullptr;
}

NODE* Object::FindNodeById(int findid)
{
    NODE* node = GetNode();
    return node != nullptr ? mdlfile->FindNodeById1(node->child, (u16)findid) : nullptr;
}

Object* Object::FindNodeHierarchy(int findtype, NODE*& node)
{
    node = FindNode(findtype);
    if (node != nullptr)
        return this;
    if (sibling != nullptr)
    {
        if (Object* found = sibling->FindNodeHierarchy(findtype, node))
            return found;
    }
    return child != nullptr ? child->FindNodeHierarchy(findtype, node) : nullptr;
}

int Object::FindSpecialIndex(int findtype)
{
    return mdlfile != nullptr ? mdlfile->FindSpecialIndex(index, findtype) : 0;
}

// Every object of the tree with a shadow node below it is marked, so the
// children are searched even when their parent has a shadow itself.
bool Object::FindShadows()
{
    bool any = false;
    for (Object* o = this; o != nullptr; o = o->sibling)
    {
        bool below = o->child != nullptr && o->child->FindShadows();
        NODE* node = o->GetNode();
        if (below || (node != nullptr && node->GetShadowIndex() != 0))
        {
            o->flags |= OBJF_SHADOW;
            any = true;
        }
    }
    return any;
}

void FixBones(Object* obj, const Matrix& mat)
{
    for (Object* o = obj; o != nullptr; o = o->sibling)
    {
        if (o->type == OBJT_BONE)
        {
            NODE* node = o->GetNode();
            Matrix m = (node != nullptr ? node->GetMatrix() : o->mat) * mat;
            static_cast<BoneObject*>(o)->invinitmat = m.Inverse();
            FixBones(o->child, m);
        }
        else if (o->child != nullptr)
        {
            // Bone chains restart below objects that are not bones.
            FixBones(o->child, Matrix(true));
        }
    }
}

Cuboid Object::GetRawBox() const
{
    if (geom != nullptr && mdlfile != nullptr)
    {
        const MODEL* m = mdlfile->models[geom->index];
        return Cuboid(m->sphere.Centre(), VectorDir(m->boxextent[0], m->boxextent[1], m->boxextent[2]));
    }
    COLLISION* chain = GetCollision();
    if (chain != nullptr && chain->type == COLL_BOX)
        return ((CollBox*)chain)->box;
    return Cuboid(VectorPos(0.0f, 0.0f, 0.0f), radius);
}

Cuboid Object::GetBox() const
{
    COLLISION* chain = GetCollision();
    if ((geom != nullptr && mdlfile != nullptr) || (chain != nullptr && chain->type == COLL_BOX))
        return GetRawBox().GetBox(GetWorldMatrix());
    return Cuboid(GetWorldPos(), radius);
}

bool Object::SetLowresGeom(float fOverrideDist)
{
    if (geom == nullptr || mdlfile == nullptr)
        return false;
    geom->SetLowRes(mdlfile, index, fOverrideDist);
    return true;
}

void Object::SetLowresGeomHierarchy(float fDist)
{
    SetLowresGeom(fDist);
    for (Object* c = child; c != nullptr; c = c->sibling)
        c->SetLowresGeomHierarchy(fDist);
}

void Object::SetLowresGeomHierarchy(bool bPropogateParentDist)
{
    SetLowresGeom(0.0f);
    bool propagate = bPropogateParentDist && geom != nullptr && geom->lowresgeom != nullptr;
    for (Object* c = child; c != nullptr; c = c->sibling)
    {
        if (propagate)
            c->SetLowresGeomHierarchy(geom->lowresdist);
        else
            c->SetLowresGeomHierarchy(false);
    }
}
