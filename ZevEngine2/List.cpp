// The list operations that walk, and the shared link pool's allocation.
#include "ZevEngine2/List.h"
#include "ZevEngine2/Utilities.h"

int _List::Count() const
{
    int n = 0;
    for (const _Link* l = head.next; !l->IsEOList(); l = l->next)
        n++;
    return n;
}

_Link* _List::Item(int i) const
{
    if (i < 0)
        return nullptr;
    for (_Link* l = head.next; !l->IsEOList(); l = l->next) {
        if (i-- == 0)
            return l;
    }
    return nullptr;
}

int _List::GetIndex(const _Link* link) const
{
    int i = 0;
    for (const _Link* l = head.next; !l->IsEOList(); l = l->next, i++) {
        if (l == link)
            return i;
    }
    return -1;
}

_Link* _List::InsertAt(int i, _Link* link)
{
    _Link* at = Item(i);
    if (!at)
        return AddTail(link);
    link->InsertBefore(at);
    return link;
}

// A link the pool cannot give comes from the small-block pool, so that running
// out of pool links costs memory instead of corrupting it.  That happens when
// every pool link is in use, and for links wanted by a static initialiser that
// runs before the main module has built the pool (its free list is still all
// zeros then).
void* LinkAlloc()
{
    if (linkpool.head.next != nullptr) {
        if (void* p = linkpool.Take())
            return p;
        static bool reported = false;
        if (!reported) {
            reported = true;
            printf("linkpool: all %d links in use; further links come from the small-block pool\n",
                   (int)(sizeof(linkpool.pool) / sizeof(linkpool.pool[0])));
        }
    }
    return SmallAllocator::Alloc(sizeof(Link<void>));
}

void LinkFree(void* p)
{
    if (!p)
        return;
    if (linkpool.Owns(p))
        linkpool.Give(p);
    else
        SmallAllocator::Free(p, sizeof(Link<void>));
}
