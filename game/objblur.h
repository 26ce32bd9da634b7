// Blur trails: ghost copies of a moving hierarchy in the poses it held over
// the last frames, drawn after the scene with falling opacity.  A blur keeps
// a ring of past poses (the local matrix of every node with a model),
// captures one every (nFrameDelay + 1) frames, and is drawn by the world's
// frame draw through RenderObjectBlurs.
#pragma once

#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/Vector.h"

struct ObjectBlur_params
{
    Object* pObj;   // the hierarchy to blur
    int nBlurs;     // poses kept
    int vOpacity;   // not read
};

class ObjectBlur : public Object
{
public:
    static ObjectBlur* blurs;   // this frame's render list

    Object* pBlurObj;      // the blurred hierarchy
    int nNumBlurs;         // poses in use (the ring's length); 0 ends the blur
    int nAllocBlurs;       // poses the buffer holds
    int nFrameDelay;       // frames between captures, minus one
    int nMatsPerObj;       // matrices per pose
    int nFrameCount;       // frames left until the next capture
    int nCurrBuf;          // the slot written next (the oldest pose)
    float vOpacity;        // opacity of the newest ghost
    Matrix* pMatBuf;       // nAllocBlurs poses of nMatsPerObj matrices, slot by slot
    ObjectBlur* pNextRender;

    static int ObjectBlur_mh(ObjectBlur* b, OBJMESSAGE msg, void* p);

    int Init(const ObjectBlur_params& params);
    // A new ring length and opacity; null (and the blur ends at its next
    // frame) for n 0 or an opacity below 1/16.
    ObjectBlur* Change(int n, float opacity);
    int Frame();
    void RenderBlur(RenderContext& rc);

    static int CountMats(Object* obj);
    static Matrix* GetObjMatsRec(Object* obj, Matrix* out);
    static Matrix* SetObjMatsRec(Object* obj, Matrix* in);

    bool InList() const;
    void DeleteEntry();
    Matrix* Slot(int i) const { return pMatBuf + i * nMatsPerObj; }

private:
    int Die();
};

// A blur of obj's hierarchy keeping nBlurs poses, added to the world; null
// for fewer than one pose.  Its ghosts stay transparent until
// ChangeObjectBlur gives them an opacity.
ObjectBlur* MakeObjectBlur(Object* obj, int nBlurs, float opacity);
ObjectBlur* ChangeObjectBlur(ObjectBlur* b, int n, float opacity);
// Draws and empties this frame's render list.
void RenderObjectBlurs(RenderContext& rc);
