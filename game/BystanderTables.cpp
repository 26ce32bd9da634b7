// The per-character tables of the pedestrians: their animation set, their
// aggression and their voice, rows by character id 64..166.
#include "game/Bystander.h"

#include <algorithm>

#include "ZevEngine2/Utilities.h"

namespace {

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// Ids outside the table read no row.
int Row(int charid) { return charid >= 64 && charid < 64 + kNumPedChars ? charid - 64 : -1; }

}  // namespace

// Sets: 0 default, 1 female, 2 homie, 3 hobo, 4 senior, 5 slut (groups 17
// to 22); c1 and c2 the chances of the second and third set.
const NPCPedAnimSet NPCPedAnimSets[kNumPedChars] = {
    {0, 0, 0, 0, 0.0f, 0.0f},   // 64
    {0, 2, 0, 0, 0.1f, 0.0f},   // 65
    {0, 0, 0, 0, 0.0f, 0.0f},   // 66
    {0, 0, 0, 0, 0.0f, 0.0f},   // 67
    {1, 1, 1, 0, 0.0f, 0.0f},   // 68
    {0, 2, 0, 0, 0.1f, 0.0f},   // 69
    {0, 0, 0, 0, 0.0f, 0.0f},   // 70
    {0, 0, 0, 0, 0.0f, 0.0f},   // 71
    {1, 5, 1, 0, 0.1f, 0.0f},   // 72
    {1, 1, 1, 0, 0.0f, 0.0f},   // 73
    {0, 0, 0, 0, 0.0f, 0.0f},   // 74
    {0, 2, 4, 0, 0.02f, 0.02f},   // 75
    {0, 0, 0, 0, 0.0f, 0.0f},   // 76
    {0, 2, 0, 0, 0.1f, 0.0f},   // 77
    {0, 0, 0, 0, 0.0f, 0.0f},   // 78
    {0, 0, 0, 0, 0.0f, 0.0f},   // 79
    {0, 0, 0, 0, 0.0f, 0.0f},   // 80
    {0, 2, 0, 0, 0.1f, 0.0f},   // 81
    {0, 0, 0, 0, 0.0f, 0.0f},   // 82
    {1, 1, 1, 0, 0.0f, 0.0f},   // 83
    {3, 3, 3, 0, 0.0f, 0.0f},   // 84
    {3, 3, 3, 0, 0.0f, 0.0f},   // 85
    {0, 0, 0, 0, 0.0f, 0.0f},   // 86
    {0, 0, 0, 0, 0.0f, 0.0f},   // 87
    {1, 1, 1, 0, 0.0f, 0.0f},   // 88
    {1, 1, 1, 0, 0.0f, 0.0f},   // 89
    {1, 5, 1, 0, 0.1f, 0.0f},   // 90
    {0, 0, 0, 0, 0.0f, 0.0f},   // 91
    {0, 0, 0, 0, 0.0f, 0.0f},   // 92
    {3, 3, 3, 0, 0.0f, 0.0f},   // 93
    {3, 3, 3, 0, 0.0f, 0.0f},   // 94
    {0, 4, 2, 0, 0.05f, 0.03f},   // 95
    {0, 0, 0, 0, 0.0f, 0.0f},   // 96
    {0, 2, 0, 0, 0.1f, 0.0f},   // 97
    {0, 0, 0, 0, 0.0f, 0.0f},   // 98
    {0, 0, 0, 0, 0.0f, 0.0f},   // 99
    {0, 0, 0, 0, 0.0f, 0.0f},   // 100
    {0, 2, 0, 0, 0.1f, 0.0f},   // 101
    {0, 0, 0, 0, 0.0f, 0.0f},   // 102
    {0, 0, 0, 0, 0.0f, 0.0f},   // 103
    {0, 2, 1, 0, 0.15f, 0.01f},   // 104
    {0, 2, 0, 0, 0.1f, 0.0f},   // 105
    {1, 1, 1, 0, 0.0f, 0.0f},   // 106
    {0, 0, 0, 0, 0.0f, 0.0f},   // 107
    {0, 0, 0, 0, 0.0f, 0.0f},   // 108
    {2, 0, 2, 0, 0.25f, 0.0f},   // 109
    {2, 0, 2, 0, 0.25f, 0.0f},   // 110
    {0, 0, 0, 0, 0.0f, 0.0f},   // 111
    {0, 0, 0, 0, 0.0f, 0.0f},   // 112
    {0, 2, 0, 0, 0.1f, 0.0f},   // 113
    {1, 5, 1, 0, 0.1f, 0.0f},   // 114
    {5, 5, 5, 0, 0.0f, 0.0f},   // 115
    {4, 4, 4, 0, 0.0f, 0.0f},   // 116
    {4, 4, 4, 0, 0.0f, 0.0f},   // 117
    {0, 0, 0, 0, 0.0f, 0.0f},   // 118
    {0, 0, 0, 0, 0.0f, 0.0f},   // 119
    {5, 5, 5, 0, 0.0f, 0.0f},   // 120
    {5, 5, 5, 0, 0.0f, 0.0f},   // 121
    {0, 0, 0, 0, 0.0f, 0.0f},   // 122
    {0, 0, 0, 0, 0.0f, 0.0f},   // 123
    {1, 1, 1, 0, 0.0f, 0.0f},   // 124
    {1, 0, 5, 0, 0.08f, 0.05f},   // 125
    {0, 0, 0, 0, 0.0f, 0.0f},   // 126
    {0, 0, 0, 0, 0.0f, 0.0f},   // 127
    {0, 0, 0, 0, 0.0f, 0.0f},   // 128
    {0, 2, 0, 0, 0.1f, 0.0f},   // 129
    {0, 0, 0, 0, 0.0f, 0.0f},   // 130
    {0, 0, 0, 0, 0.0f, 0.0f},   // 131
    {0, 0, 0, 0, 0.0f, 0.0f},   // 132
    {0, 2, 0, 0, 0.1f, 0.0f},   // 133
    {0, 0, 0, 0, 0.0f, 0.0f},   // 134
    {0, 0, 0, 0, 0.0f, 0.0f},   // 135
    {0, 0, 0, 0, 0.0f, 0.0f},   // 136
    {0, 2, 0, 0, 0.1f, 0.0f},   // 137
    {3, 3, 3, 0, 0.0f, 0.0f},   // 138
    {3, 3, 3, 0, 0.0f, 0.0f},   // 139
    {4, 4, 4, 0, 0.0f, 0.0f},   // 140
    {4, 4, 4, 0, 0.0f, 0.0f},   // 141
    {0, 0, 0, 0, 0.0f, 0.0f},   // 142
    {0, 0, 0, 0, 0.0f, 0.0f},   // 143
    {0, 0, 0, 0, 0.0f, 0.0f},   // 144
    {0, 2, 0, 0, 0.1f, 0.0f},   // 145
    {0, 2, 0, 0, 0.1f, 0.0f},   // 146
    {0, 2, 0, 0, 0.1f, 0.0f},   // 147
    {0, 2, 0, 0, 0.1f, 0.0f},   // 148
    {1, 1, 1, 0, 0.0f, 0.0f},   // 149
    {1, 5, 1, 0, 0.1f, 0.0f},   // 150
    {3, 3, 3, 0, 0.0f, 0.0f},   // 151
    {0, 2, 0, 0, 0.1f, 0.0f},   // 152
    {3, 3, 3, 0, 0.0f, 0.0f},   // 153
    {2, 0, 2, 0, 0.25f, 0.0f},   // 154
    {2, 0, 2, 0, 0.25f, 0.0f},   // 155
    {1, 5, 1, 0, 0.1f, 0.0f},   // 156
    {1, 1, 1, 0, 0.0f, 0.0f},   // 157
    {1, 1, 1, 0, 0.0f, 0.0f},   // 158
    {1, 5, 1, 0, 0.1f, 0.0f},   // 159
    {0, 2, 0, 0, 0.1f, 0.0f},   // 160
    {0, 2, 0, 0, 0.1f, 0.0f},   // 161
    {2, 0, 2, 0, 0.25f, 0.0f},   // 162
    {2, 0, 2, 0, 0.25f, 0.0f},   // 163
    {1, 4, 5, 0, 0.15f, 0.01f},   // 164
    {1, 5, 1, 0, 0.1f, 0.0f},   // 165
    {0, 2, 0, 0, 0.1f, 0.0f},   // 166
};

const NPCAggroRow NPCAggro[kNumPedChars] = {
    {0.35f, 0.5f}, {0.5f, 0.5f}, {0.35f, 0.5f}, {0.5f, 0.5f}, {0.25f, 0.25f}, {0.5f, 0.5f},   // 64..
    {0.35f, 0.5f}, {0.5f, 0.5f}, {0.25f, 0.25f}, {0.25f, 0.25f}, {0.35f, 0.5f}, {0.5f, 0.5f},   // 70..
    {0.35f, 0.5f}, {0.5f, 0.5f}, {0.35f, 0.5f}, {0.5f, 0.5f}, {0.35f, 0.5f}, {0.5f, 0.5f},   // 76..
    {0.35f, 0.5f}, {0.25f, 0.25f}, {0.35f, 0.5f}, {0.5f, 0.5f}, {0.35f, 0.5f}, {0.5f, 0.5f},   // 82..
    {0.25f, 0.25f}, {0.25f, 0.25f}, {0.25f, 0.25f}, {0.5f, 0.5f}, {0.35f, 0.5f}, {0.5f, 0.5f},   // 88..
    {0.35f, 0.5f}, {0.5f, 0.5f}, {0.35f, 0.5f}, {0.5f, 0.5f}, {0.35f, 0.5f}, {0.5f, 0.5f},   // 94..
    {0.35f, 0.5f}, {0.5f, 0.5f}, {0.35f, 0.5f}, {0.5f, 0.5f}, {0.35f, 0.5f}, {0.5f, 0.5f},   // 100..
    {0.25f, 0.25f}, {0.5f, 0.5f}, {0.35f, 0.5f}, {0.6f, 0.4f}, {0.6f, 0.4f}, {0.5f, 0.5f},   // 106..
    {0.35f, 0.5f}, {0.5f, 0.5f}, {0.35f, 0.35f}, {0.4f, 0.3f}, {0.1f, 0.2f}, {0.1f, 0.2f},   // 112..
    {0.35f, 0.5f}, {0.5f, 0.5f}, {0.4f, 0.3f}, {0.4f, 0.3f}, {0.5f, 0.5f}, {0.5f, 0.5f},   // 118..
    {0.35f, 0.35f}, {0.35f, 0.35f}, {0.5f, 0.5f}, {0.5f, 0.5f}, {0.35f, 0.35f}, {0.35f, 0.35f},   // 124..
    {0.35f, 0.35f}, {0.35f, 0.35f}, {0.35f, 0.35f}, {0.35f, 0.35f}, {0.35f, 0.35f}, {0.45f, 0.4f},   // 130..
    {0.45f, 0.4f}, {0.45f, 0.4f}, {0.6f, 0.4f}, {0.45f, 0.4f}, {0.1f, 0.2f}, {0.1f, 0.2f},   // 136..
    {0.45f, 0.4f}, {0.45f, 0.4f}, {0.45f, 0.4f}, {0.45f, 0.4f}, {0.45f, 0.4f}, {0.45f, 0.4f},   // 142..
    {0.45f, 0.4f}, {0.2f, 0.3f}, {0.2f, 0.3f}, {0.6f, 0.4f}, {0.45f, 0.4f}, {0.6f, 0.4f},   // 148..
    {0.6f, 0.4f}, {0.6f, 0.4f}, {0.2f, 0.3f}, {0.2f, 0.3f}, {0.2f, 0.3f}, {0.2f, 0.3f},   // 154..
    {0.45f, 0.4f}, {0.45f, 0.4f}, {0.6f, 0.4f}, {0.6f, 0.4f}, {0.2f, 0.3f}, {0.2f, 0.3f},   // 160..
    {0.45f, 0.4f},   // 166..
};

const u8 NPCVOTypes[kNumPedChars] = {
    25, 27, 0, 25, 33, 0, 25, 27, 33, 33, 27, 0,   // 64..
    25, 27, 0, 25, 27, 0, 25, 33, 9, 37, 27, 0,   // 76..
    33, 33, 33, 25, 27, 37, 9, 29, 0, 25, 29, 0,   // 88..
    25, 29, 0, 25, 29, 0, 36, 29, 0, 29, 29, 0,   // 100..
    25, 29, 36, 34, 26, 32, 25, 29, 35, 34, 29, 0,   // 112..
    36, 36, 0, 0, 29, 0, 0, 0, 0, 0, 0, 1,   // 124..
    1, 1, 9, 37, 26, 32, 1, 32, 28, 30, 31, 38,   // 136..
    39, 36, 36, 37, 31, 37, 40, 40, 36, 36, 36, 36,   // 148..
    39, 32, 40, 40, 36, 36, 39,   // 160..
};

int choose2(int a, int b, float p) { return p < randf() ? b : a; }

int choose3(int a, int b, int c, float p, float q)
{
    const float r = randf();
    if (!(p < r))
        return a;
    return q < (1.0f - p) * randf() ? c : b;
}

u8 Bystander::GetPedAnimBank(int charid)
{
    const int i = Row(charid);
    if (i < 0)
        return DefaultPedAnimBank;
    const NPCPedAnimSet& r = NPCPedAnimSets[i];
    const int base = DefaultPedAnimBank;
    if (r.c2 != 0.0f)
        return u8(choose3(r.s0 + base, r.s1 + base, r.s2 + base, 1.0f - Clamp01(r.c1 + r.c2), 1.0f - Clamp01(r.c1)));
    if (r.c1 != 0.0f)
        return u8(choose2(r.s0 + base, r.s1 + base, 1.0f - Clamp01(r.c1)));
    return u8(r.s0 + base);
}

float Bystander::GetPedAggression(int charid)
{
    const int i = Row(charid);
    if (i < 0)
        return 0.5f;
    return Clamp01(NPCAggro[i].base + NPCAggro[i].range * randf());
}

u8 Bystander::GetPedVOBank(int charid)
{
    const int i = Row(charid);
    if (i < 0)
        return PedVO_Male_A;
    const int t = NPCVOTypes[i];
    if (t < 25 || t > 40)
        return u8(t);
    auto coin = []() { return (rand() & 1) != 0; };
    auto third = []() { return RandomN(3); };
    switch (t) {
    case 25:
    case 38:
    case 39: return coin() ? PedVO_Male_B : PedVO_Male_A;
    case 26: return coin() ? PedVO_Male_C : PedVO_Male_B;
    case 27: return coin() ? PedVO_Male_B : PedVO_Asian;
    case 28: return coin() ? PedVO_Male_B : PedVO_Hispanic;
    case 29:
        if (third() == 0)
            return PedVO_Male_B;
        return coin() ? PedVO_Homie : PedVO_Punk;
    case 30: return coin() ? PedVO_Male_B : PedVO_Pimp;
    case 31: return coin() ? PedVO_Male_B : PedVO_Punk;
    case 32: {
        static const u8 male[3] = {PedVO_Male_A, PedVO_Male_B, PedVO_Male_C};
        return male[third()];
    }
    case 33: return coin() ? PedVO_Female_B : PedVO_Female_A;
    case 34: return coin() ? PedVO_Female_A : PedVO_Hooker;
    case 35: return coin() ? PedVO_Female_B : PedVO_Hooker;
    case 36: {
        static const u8 female[3] = {PedVO_Female_A, PedVO_Female_B, PedVO_Female_C};
        return female[third()];
    }
    case 37: return coin() ? PedVO_Hobo : PedVO_Homie;
    case 40:
        if (third() == 0)
            return PedVO_Homie;
        return coin() ? PedVO_Punk : PedVO_Pimp;
    default: return PedVO_Male_A;
    }
}
