// An animation laid over chosen bones of a playing character, ramping in and
// fading out: an arm gesture while the body keeps walking.
//
// The overlay owns no bone's animation.  Each frame it evaluates its own
// Animation per bone and writes the result into the bone's BlendAnimation
// extra pose (pose, poseBlend), which the body's blend mixes in after its
// slots.  The owner calls Init once after its bones exist (the entries keep
// pointers to the bone objects, so the overlay must not outlive them),
// starts overlays with PlayAnim and steps it once per frame with Animate.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Anim.h"

class OverlayAnim
{
public:
    // One bone: its node animation id, the bone object (null: no such bone
    // in the hierarchy), the entry's own Animation, and whether it plays.
    struct sOverlay
    {
        int id;
        Object* pObj;
        Animation* pAnim;
        int allowAnim;
    };

    OverlayAnim();
    ~OverlayAnim();
    OverlayAnim(const OverlayAnim&) = delete;
    OverlayAnim& operator=(const OverlayAnim&) = delete;

    // Binds to the bones below rootObj, walked depth first: the bones whose
    // node animation ids are in pTBoneIDs (ascending, tBoneCnt of them), or
    // every object of the walk when pTBoneIDs is null.
    void Init(Object* rootObj, const int* pTBoneIDs, int tBoneCnt, float maxBlend, float rampup, float fadeout);
    // Starts an overlay (never looping) at clock time frame; the bundles of
    // pAnimChar are matched to the entries by id.
    void PlayAnim(AnimChar* pAnimChar, float frame);
    // One step at clock time frame: 1 while playing or fading, 0 when idle or
    // just finished.
    int Animate(float frame);
    // Switches the entries of one bone on (start != 0) or off.
    void AllowBoneID(int boneID, int start);

    void Fadeout() { m_inFadeout = true; }
    bool InFadeout() const { return m_inFadeout; }
    void SetFadeout(float f) { m_fadeout = f; }
    void SetRampUp(float r) { m_rampup = r; }
    void SetMaxBlend(float m) { m_maxBlend = m; }
    float GetFadeout() const { return m_fadeout; }
    float GetRampUp() const { return m_rampup; }
    float GetMaxBlend() const { return m_maxBlend; }

    bool m_playing;
    bool m_inFadeout;
    float m_startFrame;     // clock time the current overlay started
    u16 m_animLength;       // its length in frames
    float m_blendVal;       // current weight
    float m_maxBlend;       // weight ceiling
    float m_rampup;         // weight step per entry while playing
    float m_fadeout;        // kept for the accessors; the fade-out step is fixed
    sOverlay* m_pOverlay;   // the entries, in ascending id order
    int m_tBoneCnt;

private:
    void FreeEntries();
    int m_allocCnt;         // entries allocated (a later Init may ask for more)
};
static_assert(sizeof(OverlayAnim::sOverlay) == 16);
