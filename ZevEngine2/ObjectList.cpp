// Object lists: links holding counted references, searches and sweeps.
#include "ZevEngine2/Object.h"

#include "ZevEngine2/Utilities.h"

Object* ObjectLink::Remove()
{
    Object* obj = data;
    UnLink();
    delete this;   // releases the reference
    return obj;
}

ObjectLink* ObjectList::AddHead(Object* obj)
{
    ObjectLink* l = new ObjectLink(obj);
    if (l == nullptr)
    {
        printf("ObjectList: no link for object 0x%08X\n", (unsigned)(uintptr_t)obj);
        return nullptr;
    }
    return EList<ObjectLink>::AddHead(l);
}

ObjectLink* ObjectList::AddTail(Object* obj)
{
    ObjectLink* l = new ObjectLink(obj);
    if (l == nullptr)
    {
        printf("ObjectList: no link for object 0x%08X\n", (unsigned)(uintptr_t)obj);
        return nullptr;
    }
    return EList<ObjectLink>::AddTail(l);
}

Object* ObjectList::RemoveLink(ObjectLink* link)
{
    if (link == cursor)
        cursor = link->Next();
    return link->Remove();
}

bool ObjectList::Remove(Object* obj)
{
    ObjectLink* l = Find(obj);
    if (l == nullptr)
        return false;
    RemoveLink(l);
    return true;
}

void ObjectList::RemoveAll()
{
    while (!IsEmpty())
        RemoveLink(Head());
}

void ObjectList::DeleteAll()
{
    for (ObjectLink* l = Head(); !l->IsEOList(); l = l->Next())
    {
        Object* obj = l->data;
        if (obj->parent != nullptr)
            obj->Detach();
    }
    while (!IsEmpty())
    {
        Object* obj = Head()->data;
        if (!obj->IsDead())
            obj->Delete();
        // The head is read again: the deletion may have changed the list.
        // When it dropped the object's own link (a handler that takes itself
        // out of the list it is in), the link now at the head belongs to
        // another object, which must not lose its place undeleted.
        if (!IsEmpty() && Head()->data == obj)
            RemoveLink(Head());
    }
}

void ObjectList::Clean()
{
    ObjectLink* l = Head();
    while (!l->IsEOList())
    {
        ObjectLink* next = l->Next();
        if (l->data->IsDead())
            RemoveLink(l);
        l = next;
    }
}

Object* ObjectList::Find(int findid) const
{
    for (ObjectLink* l = Head(); !l->IsEOList(); l = l->Next())
    {
        Object* obj = l->data;
        if (!obj->IsDead() && obj->id == findid)
            return obj;
    }
    return nullptr;
}

Object* ObjectList::Find(OBJTYPE findtype) const
{
    for (ObjectLink* l = Head(); !l->IsEOList(); l = l->Next())
    {
        Object* obj = l->data;
        if (!obj->IsDead() && obj->type == findtype)
            return obj;
    }
    return nullptr;
}

// The nearest by local translation among the live objects that match; a
// candidate must be strictly nearer than the best so far.
template <class Match>
static Object* FindNearest(const ObjectList& list, VectorPos pos, Match match)
{
    Object* best = nullptr;
    float bestDist = 1e38f;
    for (ObjectLink* l = list.Head(); !l->IsEOList(); l = l->Next())
    {
        Object* obj = l->data;
        if (obj->IsDead() || !match(obj))
            continue;
        float d = (obj->Pos() - pos).LengthSq();
        if (d < bestDist)
        {
            bestDist = d;
            best = obj;
        }
    }
    return best;
}

Object* ObjectList::Find(OBJTYPE findtype, VectorPos pos) const
{
    return FindNearest(*this, pos, [findtype](Object* o) { return o->type == findtype; });
}

Object* ObjectList::Find(short findid, VectorPos pos) const
{
    return FindNearest(*this, pos, [findid](Object* o) { return o->id == findid; });
}

ObjectLink* ObjectList::Find(Object* obj) const
{
    for (ObjectLink* l = Head(); !l->IsEOList(); l = l->Next())
    {
        if (l->data == obj)
            return l;
    }
    return nullptr;
}

// The range is searched in windows of 32 ids: a bit map of the ids in use is
// built for a window in one walk of the list, and its lowest clear bit is the
// answer.
int ObjectList::FindUnusedID(int startid, int endid, int notfoundid) const
{
    int dir = endid >= startid ? 1 : -1;
    int remaining = (endid - startid) * dir + 1;
    int base = startid;
    while (remaining > 0)
    {
        int w = std::min(remaining, 32);
        u32 used = 0;
        for (ObjectLink* l = Head(); !l->IsEOList(); l = l->Next())
        {
            Object* obj = l->data;
            if (obj->IsDead())
                continue;
            int offset = (obj->id - base) * dir;
            if (offset >= 0 && offset < w)
                used |= 1u << offset;
        }
        for (int k = 0; k < w; k++)
        {
            if (!(used & (1u << k)))
                return base + k * dir;
        }
        remaining -= 32;
        base += 32 * dir;
    }
    return notfoundid;
}

void ObjectList::Draw(RenderContext& rc, int filter)
{
    ObjectLink* l = Head();
    while (!l->IsEOList())
    {
        ObjectLink* next = l->Next();
        Object* obj = l->data;
        if (obj->IsDead())
            RemoveLink(l);
        else if (obj->parent == nullptr && obj->type < 32 && (filter & (1 << obj->type)))
            ::Draw(rc, obj, obj->mat);
        l = next;
    }
}
