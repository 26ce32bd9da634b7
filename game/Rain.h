// Rain and its splashes, the wind that slants the rain, and the weather's fog
// settings.
//
// The rain is one cube of 128 drops, each a short streak, simulated once a
// frame and stamped over a 7 x 7 x 7 grid of cubes around the camera (those
// in view), drawn by the particle overlay's line routine.  Splashes pop up on
// the ground in the columns of that grid: particles of the Splash class, one
// more manager class of the shared particle system.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/particle.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/Vector.h"
#include "game/Road.h"
#include "game/TestPart.h"

// The image the rain's drawing selects.
extern Texture Drop;

class Rain
{
public:
    static constexpr int NDROPS = 128;
    static constexpr int NGHC = 49;
    // Drops of one unpack block: 74 quadwords, within one batch.
    static constexpr int DROPS_PER_BLOCK = 37;
    // 64-bit words of one packet buffer: 266 quadwords.
    static constexpr int PACKET_WORDS = 532;
    static constexpr float CUBE = 1.7f;

    float density;
    Colour SplashColour;
    VectorPos aPos[NDROPS];
    VectorPos aPos2[NDROPS];
    alignas(16) u64 aData[2][PACKET_WORDS];
    GHCache aGHCache[NGHC];

    static int nRain;

    // Random drops in the cube, the caches empty.
    Rain();

    void SetDensity(float d) { density = d; }
    float GetDensity() const { return density; }
    Colour GetSplashColour() const { return SplashColour; }
    void SetSplashColour(Colour c) { SplashColour = c; }
    // Each cache forgets its surface, its result and its previous position.
    void ClearGHC();

    // The frame's rain: the drops' packet, the wind, the splashes of the
    // columns in view, every cube in view drawn, then the drops moved.
    void Draw(RenderContext& rc);
    // One splash particle of size _size and peak alpha factor _a at _pos;
    // nothing for a size of 0.1 or less.
    static void Splash_Spawn(VectorPos _pos, float _size, float _a);

    // Fills packet buffer `buffer` with the first n drops (0 .. 128) as
    // unpack blocks of at most 37 drops, the two ends of each; returns the
    // quadwords written, 0 (nothing written) when they would not fit.
    u32 FillPacket(int buffer, int n);
    // Moves every drop by w and wraps it into the cube; the far ends trail
    // by 1.5 w plus the camera's move since the last frame (from `from` to
    // `to`).
    void MoveDrops(VectorDir w, VectorPos from, VectorPos to);

    // What the last Draw did: the buffer it filled, its quadwords, the drops
    // in it, the cubes drawn.
    int nFlip = 0;
    u32 packetQwc = 0;
    int dropsDrawn = 0;
    int cubesDrawn = 0;

private:
    VectorPos prevCamera;
};

extern Rain gRain;

// The gusting wind of the rain.
struct WindGenerator
{
    float vSpeedMax = 0.1f;      // highest wind speed; also the drops' fall speed
    float vSpeedMin = 0.05f;
    float vSpeedDelta = 0.0025f;  // largest change of speed per frame
    float vSpeedVsDir = 0.01f;
    float vSpeed = 0.0f;
    float vDir = 0.0f;           // radians
    float vDirDiff = 0.0f;
    float vDirGoal = 0.0f;
    float vDirJitter = 0.1f;     // largest change of direction per frame
    s32 nNewGoal = 100;
};
static_assert(sizeof(WindGenerator) == 40);

extern WindGenerator windgenerator;

// The weather's fog: how foggy (0 .. 1) and the near, far and saturation
// settings at no fog and at full fog.
struct Weather
{
    float vFog;
    float vFogNear[2];
    float vFogFar[2];
    float vFogSat[2];
};

extern Weather gWeather;

// A splash: a small flat puff that swells, drifts up and flickers, its alpha
// a triangle over 22.5 ticks peaking at 24 x its factor.
class Splash : public GenericPartManager
{
public:
    static inline Splash* manager = nullptr;
    static inline float _timeOut = 22.5f;
    static inline float _drag = 0.000173611f;
    static inline float _randvel = 0.0052083f;
    static inline float _expand = 0.015625f;
    static inline float _float = 0.000173611f;

    int Init(GenericParticle_params* params);
    static void MyInit(Particle* p, Variant a, Variant b, float scale);
    static void MyUpdate(Particle* p);
    static int Splash_mh(Object* obj, OBJMESSAGE msg, void* data);
};
