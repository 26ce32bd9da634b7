// Animation group files (".ANI"): the check and fix-up the loader makes, then
// every position and rotation stream played through a cursor over its
// length and beyond, looping and not.
#include "fuzz_target.h"

#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/Utilities.h"

FUZZ_TARGET(anim)
{
    fuzz::Copy file(data, size, 16);
    char why[256];
    if (!AnimGroup::Check(file.Bytes(), file.Size(), why)) {
        printf("Anim: refused: %s\n", why);
        return false;
    }
    AnimGroup* group = reinterpret_cast<AnimGroup*>(file.Bytes());
    group->FixUp();
    float sum = 0.0f;
    for (int i = 0; i < group->count; i++) {
        const AnimChar* ch = group->pChars[i];
        for (int b = 0; b < ch->GetCount(); b++) {
            AnimBundle* bundle = ch->GetBundle(b);
            for (u32 s = 0; s < bundle->numStreams; s++) {
                AnimStream* stream = bundle->pStreams[s];
                for (u16 length : {ch->length, u16(ch->length | ANIM_LEN_LOOP)}) {
                    if (stream->type == ANIM_TYPE_POS) {
                        AnimRtStreamPos c;
                        c.Set(stream);
                        for (float t : {0.0f, 1.5f, float(ch->length & 0x7FFF), 3.0f * (ch->length & 0x7FFF) + 1})
                            sum += c.Evaluate(t, length)[0];
                    } else if (stream->type == ANIM_TYPE_QUAT || stream->type == ANIM_TYPE_COMP_QUAT) {
                        AnimRtStreamQuat c;
                        c.Set(stream);
                        for (float t : {0.0f, 1.5f, float(ch->length & 0x7FFF), 3.0f * (ch->length & 0x7FFF) + 1})
                            sum += c.Evaluate(t, length)[0];
                    }
                }
            }
        }
    }
    static volatile float sink;
    sink = sink + sum;
    return true;
}
