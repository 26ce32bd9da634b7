// Objects: lifetime, messages and the object tree.
#include "ZevEngine2/Object.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Utilities.h"

Object* deletingobject;

void Object::Clear(OBJMESSAGEHANDLER mh)
{
    messagehandler = mh;
    flags = 0;
    type = OBJT_STATIC;
    mode = 0;
    refcount = 0;
    id = 0;
    index = 0;
    mat = Matrix(false);
    sibling = nullptr;
    child = nullptr;
    parent = nullptr;
    geom = nullptr;
    radius = 0;
    blendAnim = nullptr;
    mdlfile = nullptr;
    collision = nullptr;
}

// ---------------------------------------------------------------------------
// Lifetime

Object::~Object()
{
    messagehandler = nullptr;
    flags |= OBJF_DEAD;
    if (geom != nullptr)
    {
        DeleteGeometry(geom);
        geom = nullptr;
    }
    if (blendAnim != nullptr)
    {
        DeleteBlendAnimation(blendAnim);
        blendAnim = nullptr;
    }
    // The children go with their parent.  Each one's next sibling is read
    // before it is deleted, since its storage may be freed by the deletion.
    Object* c = child;
    while (c != nullptr)
    {
        Object* next = c->sibling;
        c->Delete();
        c = next;
    }
    deletingobject = this;
}

void* Object::operator new(size_t size) noexcept
{
    void* p = calloc(1, size);
    if (p == nullptr)
        printf("Object: no memory for a %u-byte object\n", (unsigned)size);
    return p;
}

void Object::operator delete(void* p)
{
    if (p == nullptr)
        return;
    // The destructor that just ran recorded its object.  Going through it
    // rather than p lets a class whose Object part is not at the start of its
    // storage free the right address.
    Object* obj = deletingobject;
    obj->geom = (GEOMETRY*)p;
    if (obj->refcount-- == 0)
        free(p);
}

void ReleaseObjectRef(Object* obj)
{
    if (obj->refcount-- != 0)
        return;
    // The count wrapped: this was the last reference.  Only a destroyed object
    // has its storage's address in geom; for a live one the count was never
    // taken, which is a fault of the holder, not a reason to free.
    if (obj->IsDead())
    {
        free(obj->geom);
        return;
    }
    obj->refcount = 0;
    printf("Object: reference released twice (object 0x%08X, id %d)\n", (unsigned)(uintptr_t)obj, obj->id);
}

void Object::Delete()
{
    // A dead object has been destroyed already; its storage is only waiting
    // for its last reference.
    if (IsDead())
        return;
    if (messagehandler != nullptr)
        messagehandler(this, OM_DIE, nullptr);
    else
        delete this;
}

int Object::SendMessageUp(OBJMESSAGE msg, void* data)
{
    for (Object* o = this; o != nullptr; o = o->parent)
    {
        if (o->messagehandler != nullptr)
            return o->messagehandler(o, msg, data);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Tree

void Object::Attach(Object* obj2)
{
    obj2->parent = this;
    if (child == nullptr)
    {
        child = obj2;
        return;
    }
    Object* last = child;
    while (last->sibling != nullptr)
        last = last->sibling;
    last->sibling = obj2;
}

void Object::AttachQ(Object* obj2)
{
    obj2->parent = this;
    obj2->sibling = child;
    child = obj2;
}

Object* Object::Detach()
{
    if (IsDead() || parent == nullptr)
        return this;
    Object** link = &parent->child;
    while (*link != nullptr && *link != this)
        link = &(*link)->sibling;
    if (*link == this)
        *link = sibling;
    sibling = nullptr;
    parent = nullptr;
    return this;
}

Object* Object::DetachW()
{
    mat = GetWorldMatrix();
    return Detach();
}

Object* Object::GetRoot()
{
    Object* o = this;
    while (o->parent != nullptr)
        o = o->parent;
    return o;
}

// ---------------------------------------------------------------------------
// Transforms

Matrix Object::GetWorldMatrix() const
{
    Matrix m = mat;
    for (const Object* p = parent; p != nullptr; p = p->parent)
        m = m * p->mat;
    return m;
}

VectorPos Object::GetWorldPos() const
{
    VectorPos pos = Pos();
    for (const Object* p = parent; p != nullptr; p = p->parent)
        pos = p->mat * pos;
    return pos;
}

Matrix Object::GetRelativeMatrix(const Object* obj2) const
{
    Matrix m = mat;
    const Object* p = parent;
    while (p != nullptr && p != obj2)
    {
        m = m * p->mat;
        p = p->parent;
    }
    if (p == obj2 || obj2 == nullptr)
        return m;
    // obj2 is not an ancestor: m is the world matrix.
    return m * obj2->GetWorldMatrix().Inverse();
}

VectorPos Object::GetRelativePos(const Object* obj2) const
{
    VectorPos pos = Pos();
    const Object* p = parent;
    while (p != nullptr && p != obj2)
    {
        pos = p->mat * pos;
        p = p->parent;
    }
    if (p == obj2 || obj2 == nullptr)
        return pos;
    // Not an ancestor: the offset from obj2's origin in obj2's axes, the
    // axis rows being taken as orthonormal.
    Matrix w = obj2->GetWorldMatrix();
    VectorXYZ d = pos - w.GetTrans();
    return VectorPos(Dot(d, VectorXYZ(w.x.v)), Dot(d, VectorXYZ(w.y.v)), Dot(d, VectorXYZ(w.z.v)));
}

// ---------------------------------------------------------------------------
// Searches

Object* Object::FindSubObject(int findid)
{
    return child != nullptr ? child->_FindSubObject(findid) : nullptr;
}

// Later siblings are searched before children.
Object* Object::_FindSubObject(int findid)
{
    if (id == findid)
        return this;
    if (sibling != nullptr)
    {
        if (Object* found = sibling->_FindSubObject(findid))
            return found;
    }
    return child != nullptr ? child->_FindSubObject(findid) : nullptr;
}

bool Object::HasAnimation() const
{
    if (blendAnim != nullptr)
        return true;
    if (child != nullptr && child->HasAnimation())
        return true;
    return sibling != nullptr && sibling->HasAnimation();
}

// ---------------------------------------------------------------------------
// Collision and whole-tree updates

COLLISION* Object::GetCollision() const
{
    uintptr_t c = (uintptr_t)collision;
    if (c == 0)
        return nullptr;
    if (c < 4096)
        return mdlfile != nullptr ? GetModelCollision(mdlfile, (int)c - 1) : nullptr;
    return collision;
}

void Object::ModifyFlagsHierarchy(unsigned setmask, unsigned clearmask)
{
    flags = (flags | setmask) & ~clearmask;
    for (Object* c = child; c != nullptr; c = c->sibling)
        c->ModifyFlagsHierarchy(setmask, clearmask);
}

bool Object::InitialiseChildCollisions()
{
    bool any = false;
    for (Object* c = child; c != nullptr; c = c->sibling)
    {
        if (c->InitialiseChildCollisions())
            any = true;
    }
    if (any)
        flags |= OBJF_CHILDCOLLISION;
    return any || HasCollision();
}

u16 Object::GetCollisionMask()
{
    u16 mask = 0;
    if (COLLISION* chain = GetCollision())
    {
        for (COLLISION* c = chain; !c->IsEnd(); c = c->Next())
        {
            if (c->type == COLL_BOX)
                mask |= ((CollBox*)c)->id;
            else if (c->type == COLL_SPHERE)
                mask |= ((CollSphere*)c)->id;
        }
        return mask;
    }
    if (flags & OBJF_CHILDCOLLISION)
    {
        for (Object* c = child; c != nullptr; c = c->sibling)
            mask |= c->GetCollisionMask();
    }
    return mask;
}

u16 ModifyCollisionMask(COLLISION* pcol, u16 setmask, u16 clearmask)
{
    u16 mask = 0;
    for (COLLISION* c = pcol; !c->IsEnd(); c = c->Next())
    {
        if (c->type != COLL_BOX && c->type != COLL_SPHERE)
            continue;
        // Boxes and spheres share the head layout: type, id, child offset.
        CollBox* b = (CollBox*)c;
        b->id = (u16)((b->id | setmask) & ~clearmask);
        if (b->child != 0)
            b->id |= ModifyCollisionMask(b->Child(), setmask, clearmask);
        mask |= b->id;
    }
    return mask;
}

u16 Object::ModifyCollisionMask(u16 setmask, u16 clearmask)
{
    COLLISION* chain = GetCollision();
    return chain != nullptr ? ::ModifyCollisionMask(chain, setmask, clearmask) : 0;
}

void Object::ModifyCollisionMaskHierarchy(u16 setmask, u16 clearmask)
{
    ModifyCollisionMask(setmask, clearmask);
    if (!(flags & OBJF_CHILDCOLLISION))
        return;
    for (Object* c = child; c != nullptr; c = c->sibling)
        c->ModifyCollisionMaskHierarchy(setmask, clearmask);
}

float Object::CalcRadius()
{
    float r = geom != nullptr ? GetGeometryRadius(geom) : 0.0f;
    if (COLLISION* chain = GetCollision())
        r = std::max(r, CalcCollisionRadius(chain));
    for (Object* c = child; c != nullptr; c = c->sibling)
    {
        float cr = c->CalcRadius() + Length(c->mat.GetTrans());
        r = std::max(r, cr);
    }
    radius = r;
    return r;
}

bool Object::TurnToward(VectorDir facedir, float maxturnspeed)
{
    VectorDir z(mat.z.v);
    float a = Angle(VectorXZ(z.v), VectorXZ(facedir.v));
    Matrix look;
    bool arrived;
    if (fabsf(a) < maxturnspeed)
    {
        look = LookAlong(facedir);
        arrived = true;
    }
    else
    {
        float s = a < 0 ? -1.0f : 1.0f;
        VectorDir turned = z + (VectorDir(0, s, 0) ^ z) * Sin(maxturnspeed);
        look = LookAlong(turned);
        arrived = false;
    }
    mat.x = look.x;
    mat.y = look.y;
    mat.z = look.z;
    return arrived;
}

// ---------------------------------------------------------------------------
// Hierarchy walks

ObjectHierarchyIterator::ObjectHierarchyIterator(Object* root, WALK how)
    : sp(stack), obj(root != nullptr ? root->child : nullptr), mode(how), overflowed(false)
{
}

void ObjectHierarchyIterator::Push(Object* o)
{
    if (sp < stack + 32)
    {
        *sp++ = o;
        return;
    }
    // Deeper than any hierarchy of the game: the chain is not walked rather
    // than written past the stack.
    if (!overflowed)
        printf("ObjectHierarchyIterator: more than 32 pending siblings; object 0x%08X and its later siblings skipped\n",
               (unsigned)(uintptr_t)o);
    overflowed = true;
}

Object* ObjectHierarchyIterator::Next()
{
    for (;;)
    {
        if (obj == nullptr)
        {
            if (sp == stack)
                return nullptr;
            obj = *--sp;
            continue;
        }
        Object* o = obj;
        bool selfAnimating = (o->flags & OBJF_SELFANIMATING) != 0;
        if (selfAnimating && mode == SKIP_SUBTREE)
        {
            obj = o->sibling;
            continue;
        }
        if (o->child != nullptr)
        {
            if (o->sibling != nullptr)
                Push(o->sibling);
            obj = o->child;
        }
        else
        {
            obj = o->sibling;
        }
        if (!selfAnimating)
            return o;
    }
}

