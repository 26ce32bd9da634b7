// The city world.
#include "game/QuadTree.h"

// Built by static initialisation before main; its lists need nothing else.
KVWorld world;

KVWorld::~KVWorld()
{
    rawobjPostList.RemoveAll();
}

bool KVWorld::AddPostRawObj(RawObj* pro, bool bTail)
{
    rawobjPostList.Remove(pro);
    Link<RawObj>* l = bTail ? rawobjPostList.AddTail(pro) : rawobjPostList.AddHead(pro);
    return l != nullptr;
}

void KVWorld::RemovePostRawObj(RawObj* pro)
{
    rawobjPostList.Remove(pro);
}
