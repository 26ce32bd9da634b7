// The vehicle record: the tuning table, building a car or motorbike from its
// model, its message handler and its frame.
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/MathsLocal.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/modelfile.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/Guy.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Headlights.h"
#include "game/SkidMarks.h"
#include "game/Vehicle.h"
#include "game/VehicleFrame.h"
#include "game/smoke.h"

const float fRatios[6] = {0.025f, 0.0625f, 0.11675f, 0.176f, 0.25f, 0.275f};

// One row per vehicle type: springs, dampers, top speed, strength, inverse
// inertia, mass, grip, slip, static friction, brakes, drag, tint sets,
// centre-of-gravity offset, anti-roll, power, peak power, angular damping
// and horn.
const Vehicle_Info rvi[NUM_VEHICLE_TYPES] = {
    {{0.015625f, 0.015625f}, {0.051f, 0.051f}, 0.23283331f, 100.0f, {4.1f, 1.1f, 5.1f, 0.0f}, 1.1f, {0.0016f, 0.0013f}, {41.0f, 40.0f}, {0.054999f, 0.054999f}, 0.55f, 0.0071f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.006f, 0.84f, 0.76f, 0.015624f, 1},   // 0
    {{0.015625f, 0.010625f}, {0.077f, 0.077f}, 0.244475f, 100.0f, {3.5f, 1.8f, 3.5f, 0.0f}, 1.1f, {0.0014f, 0.0013f}, {30.0f, 55.0f}, {0.080998f, 0.080998f}, 0.75f, 0.0061f, 0, 5, {0.0f, 0.0f, 0.0f, 0.0f}, 0.008f, 0.78f, 0.52f, 0.015625f, 1},   // 1
    {{0.015625f, 0.015625f}, {0.091f, 0.091f}, 0.2794f, 100.0f, {5.5f, 3.1f, 7.5f, 0.0f}, 1.1f, {0.0017f, 0.0021f}, {35.0f, 20.0f}, {0.080999f, 0.080999f}, 1.34f, 0.0054f, 0, 5, {0.0f, 0.0f, 0.0f, 0.0f}, 0.009f, 0.87f, 0.74f, 0.008624f, 1},   // 2
    {{0.015625f, 0.015625f}, {0.091f, 0.081f}, 0.30268332f, 100.0f, {8.1f, 2.5f, 10.1f, 0.0f}, 1.1f, {0.0014f, 0.0014f}, {30.0f, 40.0f}, {0.080999f, 0.080999f}, 1.34f, 0.0045f, 0, 5, {0.0f, 0.0f, 0.0f, 0.0f}, 0.0095f, 1.1f, 0.91f, 0.015624f, 1},   // 3
    {{0.015625f, 0.010624f}, {0.051f, 0.071f}, 0.26077333f, 100.0f, {6.9f, 4.1f, 6.9f, 0.0f}, 2.1f, {0.0015f, 0.0013f}, {50.0f, 60.0f}, {0.070999f, 0.070999f}, 0.75f, 0.0065f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.004f, 0.71f, 0.71f, 0.015625f, 2},   // 4
    {{0.019624f, 0.015624f}, {0.051f, 0.071f}, 0.20955f, 100.0f, {4.2f, 2.1f, 2.5f, 0.0f}, 2.1f, {0.0014f, 0.0011f}, {30.0f, 60.0f}, {0.070999f, 0.070999f}, 0.75f, 0.0075f, 0, 4, {0.0f, 0.0f, 0.0f, 0.0f}, 0.004099f, 0.82f, 0.73f, 0.015625f, 2},   // 5
    {{0.015625f, 0.015624f}, {0.055f, 0.055f}, 0.18626668f, 100.0f, {3.1f, 1.5f, 1.5f, 0.0f}, 2.1f, {0.0008f, 0.0013f}, {50.0f, 50.0f}, {0.035999f, 0.035999f}, 0.51f, 0.009f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.006f, 0.72f, 0.72f, 0.015624f, 2},   // 6
    {{0.015625f, 0.015625f}, {0.073f, 0.073f}, 0.19790834f, 100.0f, {4.1f, 2.1f, 4.1f, 0.0f}, 1.1f, {0.0012f, 0.0012f}, {51.0f, 51.0f}, {0.081999f, 0.081999f}, 0.85f, 0.0064f, 0, 7, {0.0f, 0.0f, 0.0f, 0.0f}, 0.0089f, 0.74f, 0.84f, 0.014624f, 1},   // 7
    {{0.015625f, 0.015625f}, {0.055f, 0.045f}, 0.20955f, 100.0f, {6.59f, 1.5f, 7.6f, 0.0f}, 1.1f, {0.0013f, 0.0013f}, {51.0f, 45.0f}, {0.070998f, 0.070998f}, 0.41f, 0.0085f, 0, 8, {0.0f, 0.0f, 0.0f, 0.0f}, 0.009689f, 0.56f, 0.51f, 0.007624f, 1},   // 8
    {{0.019624f, 0.015624f}, {0.051f, 0.071f}, 0.20955f, 100.0f, {4.2f, 2.1f, 2.5f, 0.0f}, 2.1f, {0.0014f, 0.0011f}, {30.0f, 60.0f}, {0.070999f, 0.070999f}, 0.75f, 0.0075f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.004099f, 0.82f, 0.73f, 0.015625f, 2},   // 9
    {{0.015625f, 0.015625f}, {0.071f, 0.071f}, 0.18859498f, 100.0f, {5.9f, 2.8f, 5.9f, 0.0f}, 0.5f, {0.0012f, 0.0012f}, {30.0f, 30.0f}, {0.085998f, 0.085998f}, 0.75f, 0.0075f, 0, 6, {0.0f, 0.0f, 0.0f, 0.0f}, 0.0085f, 0.33f, 0.25f, 0.015625f, 0},   // 10
    {{0.015625f, 0.015625f}, {0.071f, 0.071f}, 0.20955f, 100.0f, {6.1f, 1.6f, 6.1f, 0.0f}, 1.1f, {0.0015f, 0.0014f}, {41.0f, 25.0f}, {0.068999f, 0.062999f}, 0.75f, 0.0091f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.006f, 0.83f, 0.76f, 0.015624f, 1},   // 11
    {{0.015625f, 0.010624f}, {0.051f, 0.071f}, 0.20955f, 100.0f, {5.1f, 2.1f, 5.1f, 0.0f}, 2.1f, {0.0011f, 0.0009f}, {30.0f, 40.0f}, {0.090999f, 0.070999f}, 0.75f, 0.0065f, 0, 4, {0.0f, 0.0f, 0.0f, 0.0f}, 0.005f, 0.72f, 0.72f, 0.015625f, 2},   // 12
    {{0.025624f, 0.015625f}, {0.083f, 0.083f}, 0.2794f, 100.0f, {7.5f, 4.5f, 7.5f, 0.0f}, 0.5f, {0.0016f, 0.0018f}, {30.0f, 25.0f}, {0.094999f, 0.084999f}, 0.21f, 0.0051f, 0, 7, {0.0f, 0.0f, 0.0f, 0.0f}, 0.009f, 0.86f, 0.86f, 0.015625f, 1},   // 13
    {{0.015625f, 0.015625f}, {0.029f, 0.029f}, 0.23283331f, 100.0f, {8.1f, 4.1f, 8.1f, 0.0f}, 0.3f, {0.0015f, 0.0015f}, {33.0f, 110.0f}, {0.075999f, 0.064999f}, 1.25f, 0.0055f, 0, 7, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.01f, 0.99f, 0.015625f, 0},   // 14
    {{0.015625f, 0.015625f}, {0.091f, 0.091f}, 0.2794f, 100.0f, {6.6f, 2.4f, 8.1f, 0.0f}, 1.1f, {0.0011f, 0.0011f}, {30.0f, 50.0f}, {0.080999f, 0.080999f}, 1.44f, 0.0051f, 0, 7, {0.0f, 0.0f, 0.0f, 0.0f}, 0.009f, 0.91f, 0.73f, 0.015624f, 1},   // 15
    {{0.014625f, 0.015624f}, {0.055f, 0.055f}, 0.24680331f, 100.0f, {1.7f, 1.7f, 2.3f, 0.0f}, 2.1f, {0.0011f, 0.0008f}, {50.0f, 25.0f}, {0.087998f, 0.075998f}, 0.41f, 0.0071f, 0, 2, {0.0f, 0.0f, 0.0f, 0.0f}, 0.004799f, 0.82f, 0.59f, 0.015625f, 2},   // 16
    {{0.015624f, 0.015624f}, {0.055f, 0.055f}, 0.116416655f, 100.0f, {3.1f, 1.5f, 3.1f, 0.0f}, 2.1f, {0.0008f, 0.0012f}, {51.0f, 51.0f}, {0.035999f, 0.035999f}, 0.51f, 0.0091f, 0, 6, {0.0f, 0.0f, 0.0f, 0.0f}, 0.007f, 0.2f, 0.56f, 0.015625f, 2},   // 17
    {{0.015625f, 0.010624f}, {0.051f, 0.071f}, 0.18626668f, 100.0f, {5.1f, 2.4f, 5.1f, 0.0f}, 2.1f, {0.0015f, 0.0013f}, {30.0f, 40.0f}, {0.070999f, 0.080999f}, 0.75f, 0.0065f, 0, 7, {0.0f, 0.0f, 0.0f, 0.0f}, 0.006f, 0.73f, 0.73f, 0.015625f, 2},   // 18
    {{0.015625f, 0.010624f}, {0.051f, 0.071f}, 0.18626668f, 100.0f, {5.1f, 2.4f, 5.1f, 0.0f}, 2.1f, {0.0015f, 0.0013f}, {30.0f, 40.0f}, {0.070999f, 0.080999f}, 0.75f, 0.0065f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.006f, 0.73f, 0.73f, 0.015625f, 2},   // 19
    {{0.020624f, 0.020624f}, {0.051f, 0.071f}, 0.25611663f, 100.0f, {4.1f, 3.1f, 4.1f, 0.0f}, 1.1f, {0.0015f, 0.0016f}, {25.0f, 35.0f}, {0.085998f, 0.080998f}, 0.75f, 0.0055f, 0, 6, {0.0f, 0.0f, 0.0f, 0.0f}, 0.006f, 0.82f, 0.72f, 0.015625f, 1},   // 20
    {{0.015625f, 0.015625f}, {0.071f, 0.071f}, 0.19790834f, 100.0f, {6.1f, 1.6f, 6.1f, 0.0f}, 1.1f, {0.0012f, 0.0012f}, {40.0f, 51.0f}, {0.060999f, 0.060999f}, 0.75f, 0.011f, 0, 6, {0.0f, 0.0f, 0.0f, 0.0f}, 0.003999f, 0.69f, 0.69f, 0.015625f, 1},   // 21
    {{0.015625f, 0.010624f}, {0.051f, 0.071f}, 0.25611663f, 100.0f, {4.5f, 3.1f, 4.1f, 0.0f}, 1.1f, {0.0011f, 0.0009f}, {30.0f, 40.0f}, {0.070999f, 0.070999f}, 0.65f, 0.0065f, 0, 7, {0.0f, 0.0f, 0.0f, 0.0f}, 0.0055f, 0.82f, 0.86f, 0.015625f, 1},   // 22
    {{0.015625f, 0.015625f}, {0.071f, 0.071f}, 0.26310164f, 100.0f, {6.6f, 2.1f, 6.5f, 0.0f}, 1.1f, {0.0015f, 0.0014f}, {50.0f, 41.0f}, {0.074998f, 0.074998f}, 0.81f, 0.0081f, 0, 7, {0.0f, 0.0f, 0.0f, 0.0f}, 0.0077f, 0.66f, 0.71f, 0.010624f, 1},   // 23
    {{0.015625f, 0.010624f}, {0.051f, 0.071f}, 0.20955f, 100.0f, {5.5f, 3.1f, 5.5f, 0.0f}, 2.1f, {0.0011f, 0.0009f}, {30.0f, 40.0f}, {0.070999f, 0.070999f}, 0.75f, 0.0065f, 0, 6, {0.0f, 0.0f, 0.0f, 0.0f}, 0.005f, 0.72f, 0.72f, 0.015625f, 2},   // 24
    {{0.015624f, 0.015624f}, {0.055f, 0.055f}, 0.116416655f, 100.0f, {3.1f, 1.5f, 3.1f, 0.0f}, 2.1f, {0.0008f, 0.0012f}, {51.0f, 51.0f}, {0.035999f, 0.035999f}, 0.51f, 0.0091f, 0, 6, {0.0f, 0.0f, 0.0f, 0.0f}, 0.007f, 0.2f, 0.56f, 0.015625f, 2},   // 25
    {{0.015625f, 0.015625f}, {0.081f, 0.081f}, 0.244475f, 100.0f, {6.5f, 3.5f, 6.5f, 0.0f}, 1.1f, {0.0017f, 0.0015f}, {59.0f, 55.0f}, {0.098999f, 0.095999f}, 0.06f, 0.0081f, 0, 7, {0.0f, 0.0f, 0.0f, 0.0f}, 0.007f, 0.62f, 0.86f, 0.003624f, 1},   // 26
    {{0.015625f, 0.015625f}, {0.053f, 0.042f}, 0.2794f, 100.0f, {3.5f, 2.1f, 7.7f, 0.0f}, 1.1f, {0.0016f, 0.0012f}, {51.0f, 45.0f}, {0.085998f, 0.085998f}, 0.41f, 0.0085f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.0087f, 0.72f, 0.91f, 0.008624f, 1},   // 27
    {{0.015625f, 0.015625f}, {0.091f, 0.081f}, 0.25611663f, 100.0f, {8.1f, 2.5f, 10.1f, 0.0f}, 0.5f, {0.0014f, 0.0014f}, {30.0f, 40.0f}, {0.080999f, 0.080999f}, 1.34f, 0.0045f, 0, 5, {0.0f, 0.0f, 0.0f, 0.0f}, 0.0095f, 1.1f, 0.91f, 0.015624f, 0},   // 28
    {{0.015625f, 0.015625f}, {0.071f, 0.061f}, 0.20955f, 100.0f, {4.5f, 2.1f, 4.5f, 0.0f}, 1.1f, {0.0016f, 0.0012f}, {55.0f, 55.0f}, {0.085998f, 0.085998f}, 0.45f, 0.0091f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.0085f, 0.68f, 0.76f, 0.009624f, 1},   // 29
    {{0.015625f, 0.015625f}, {0.029f, 0.029f}, 0.23283331f, 100.0f, {8.1f, 4.1f, 8.1f, 0.0f}, 0.3f, {0.0015f, 0.0015f}, {33.0f, 110.0f}, {0.075999f, 0.064999f}, 1.25f, 0.0055f, 0, 7, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.01f, 0.99f, 0.015625f, 0},   // 30
    {{0.015625f, 0.015625f}, {0.029f, 0.029f}, 0.23283331f, 100.0f, {8.1f, 4.1f, 8.1f, 0.0f}, 0.3f, {0.0015f, 0.0015f}, {33.0f, 110.0f}, {0.075999f, 0.064999f}, 1.25f, 0.0055f, 0, 8, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.01f, 0.99f, 0.015625f, 0},   // 31
    {{0.015624f, 0.010624f}, {0.051f, 0.071f}, 0.20955f, 100.0f, {4.5f, 4.1f, 3.1f, 0.0f}, 2.1f, {0.0015f, 0.0013f}, {50.0f, 60.0f}, {0.070999f, 0.070999f}, 0.21f, 0.0065f, 0, 6, {0.0f, 0.0f, 0.0f, 0.0f}, 0.004f, 0.72f, 0.72f, 0.015625f, 2},   // 32
    {{0.015624f, 0.010624f}, {0.051f, 0.071f}, 0.18626668f, 100.0f, {4.5f, 1.1f, 2.5f, 0.0f}, 1.1f, {0.001f, 0.001f}, {35.0f, 60.0f}, {0.070999f, 0.070999f}, 0.21f, 0.0065f, 0, 6, {0.0f, 0.0f, 0.0f, 0.0f}, 0.003f, 0.72f, 0.62f, 0.015625f, 1},   // 33
    {{0.015624f, 0.010624f}, {0.051f, 0.071f}, 0.20955f, 100.0f, {4.5f, 4.1f, 3.1f, 0.0f}, 1.1f, {0.0015f, 0.0013f}, {50.0f, 60.0f}, {0.070999f, 0.070999f}, 0.21f, 0.0065f, 0, 6, {0.0f, 0.0f, 0.0f, 0.0f}, 0.004f, 0.72f, 0.72f, 0.015625f, 1},   // 34
    {{0.019624f, 0.015624f}, {0.051f, 0.071f}, 0.20955f, 100.0f, {4.2f, 2.1f, 2.5f, 0.0f}, 2.1f, {0.0014f, 0.0011f}, {30.0f, 60.0f}, {0.070999f, 0.070999f}, 0.75f, 0.0075f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.004099f, 0.82f, 0.73f, 0.015625f, 2},   // 35
    {{0.015625f, 0.010624f}, {0.051f, 0.071f}, 0.18626668f, 100.0f, {5.1f, 2.4f, 5.1f, 0.0f}, 2.1f, {0.0015f, 0.0013f}, {30.0f, 40.0f}, {0.070999f, 0.080999f}, 0.75f, 0.0065f, 0, 2, {0.0f, 0.0f, 0.0f, 0.0f}, 0.006f, 0.73f, 0.73f, 0.015625f, 2},   // 36
    {{0.015625f, 0.015625f}, {0.053f, 0.042f}, 0.19790834f, 100.0f, {3.5f, 1.5f, 7.7f, 0.0f}, 1.1f, {0.0013f, 0.0014f}, {51.0f, 45.0f}, {0.070998f, 0.070998f}, 0.41f, 0.0085f, 2, 3, {0.0f, 0.0f, 0.0f, 0.0f}, 0.0087f, 0.72f, 0.91f, 0.008624f, 1},   // 37
    {{0.015625f, 0.015625f}, {0.053f, 0.042f}, 0.174625f, 100.0f, {3.5f, 1.5f, 7.7f, 0.0f}, 1.1f, {0.0013f, 0.0013f}, {51.0f, 45.0f}, {0.070998f, 0.070998f}, 0.41f, 0.0085f, 1, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.0087f, 0.72f, 0.91f, 0.008624f, 1},   // 38
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 39
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 40
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 41
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 42
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 43
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 44
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 45
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 46
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 47
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 48
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 49
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 50
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 51
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 52
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 53
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 54
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 55
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 56
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 57
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 58
    {{0.015625f, 0.015625f}, {0.070332f, 0.070331f}, 0.25844496f, 100.0f, {8.0f, 4.0f, 8.0f, 0.0f}, 0.85f, {0.001499f, 0.001499f}, {33.0f, 110.0f}, {0.074999f, 0.064999f}, 1.25f, 0.005506f, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f}, 0.01f, 1.0f, 1.0f, 0.015625f, 1},   // 59
};

namespace {

// A wheel of axle a (0 front: steered; 1 rear: driven) resting at rest with
// its bump stop travel above it, turned by turn about its axle, tuned from
// the row, its ground cache starting at the car's start.
void SetUpWheel(Wheel& w, const Vehicle_Info& vi, int a, float rest, float travel, float turn, VectorPos start)
{
    w.rest = rest;
    w.yoffset = rest - travel;
    w.flags |= a == 0 ? WHEELF_STEERED : WHEELF_DRIVEN;
    w.ang = VECTOR{0.0f, 0.0f, turn, 0.0f};
    w.iChan = -1;
    w.pskdr = nullptr;
    w.Tune(vi, a);
    w.ghc.prevpos = start;
    w.mat.SetRot(VectorXYZ(w.ang));
    w.flags |= OBJF_NOCOLLISION;
}

}  // namespace

bool VehicleNewWholeFrame()
{
    return int((world.timePrecise.t - u32(int(world.playbackSpeed * 256.0f))) >> 8) != world.time;
}

// ---------------------------------------------------------------------------
// Wheels

Wheel::Wheel(MDLFILE* mdl, int node, bool rear) : Object()
{
    std::memset(&ghc, 0, sizeof ghc);
    ghc.Clear();
    mat = Matrix(true);
    int use = node;
    if (rear && mdl != nullptr && mdl->nodes != nullptr) {
        if (NODE* n = mdl->FindNodeById1(0, 2))
            use = int(n - mdl->nodes);
    }
    radius = 0.0f;
    if (mdl != nullptr && use >= 0) {
        mdl->GetHierarchyTo(this, u16(use), 0);
        if (use < mdl->nNodes)
            radius = -mdl->nodes[use].pos[1];
    }
    rest = mat.w[1];
    spring = 0.015625f;
    damper = 1.0f / 12.0f;
    iChan = -1;
    bDamaged = false;
}

void Wheel::Tune(const Vehicle_Info& vi, int a)
{
    spring = vi.rfK[a];
    damper = vi.rfD[a];
    fKinGrip = vi.rfKinGrip[a];
    fSlip = vi.rfSlip[a];
    fStaticFact = vi.rfStaticFact[a];
}

bool Wheel::CauseDamage()
{
    if (bDamaged)
        return bDamaged;
    damper *= 0.25f;
    radius *= 0.7f;
    fKinGrip *= 0.25f;
    fSlip *= 0.0125f;
    fStaticFact *= 0.125f;
    bDamaged = true;
    return true;
}

// ---------------------------------------------------------------------------
// Construction

Vehicle::Vehicle() : DynamicObject(staticmh)
{
    // A bare car: the type-0 tuning, no model and no wheels (also when made
    // on the stack, where nothing is zeroed for it).
    i16VehType = 0;
    bCycle = false;
    for (Wheel*& w : wheel)
        w = nullptr;
    flags = OBJF_FRAMECALL;
    type = OBJT_VEHICLE;
    mat = Matrix(true);
    i16OrigIndex = -1;
    strength = fBaseStrength = rvi[0].fStrength;
    fFade = 1.0f;
    i8Tint = -1;
    for (float& p : rgpartstrength)
        p = strength * 0.25f;
    enginesndchan[0] = enginesndchan[1] = enginesndchan[2] = -1;
    iSndHorn = iSndSiren = -1;
    steeringratio = 1.0f;
    maxoccupancy = 1;
    fBrake = 0.01f;
    gear = 1;
    vdCOGOffset = VectorDir(0.0f, 0.0f, 0.0f);
    ReloadVehicleParams();
}

Vehicle::Vehicle(MDLFILE* pmf, int iNodeIndex, int iWheelIndex, VectorPos pos, int iVehType) : DynamicObject(staticmh)
{
    const Vehicle_Info& vi = rvi[iVehType];
    // 1.
    flags = OBJF_FRAMECALL;
    type = OBJT_VEHICLE;
    i16VehType = s16(iVehType);
    i16OrigIndex = s16(iNodeIndex);
    // 2.
    strength = fBaseStrength = vi.fStrength;
    fMaxCarSpeed = vi.fMaxCarSpeed;
    fBrakeCoeff = vi.fBrakeCoeff;
    fTBarFact = vi.fTBarFact;
    fPowerMult = vi.fPowerMult;
    fAngVelDamp = vi.fAngVelDamp;
    // 3.
    bCycle = bIsACycle(iVehType);
    maxoccupancy = 1;
    bKickStand = true;
    for (float& p : rgpartstrength)
        p = strength * 0.25f;
    doors = 0;
    // 4.
    mat = Matrix(true);
    if (pmf != nullptr && iNodeIndex >= 0)
        pmf->GetHierarchyTo(this, u16(iNodeIndex), GH_ANIMATE | GH_NODEMATRIX);
    // 5.
    if (iVehType == 27 || iVehType == 37 || iVehType == 38)
        RemoveSharedExtraParts(this, iVehType != 27, iVehType != 38);
    // 6.
    const NODE* body = pmf != nullptr && iNodeIndex >= 0 && iNodeIndex < pmf->nNodes ? &pmf->nodes[iNodeIndex] : nullptr;
    if (!bCycle) {
        for (int i = 0; i < 4; i++) {
            const int a = i / 2;
            Wheel* w = new Wheel(pmf, iWheelIndex, a != 0);
            if (w == nullptr)
                return;   // CreateVehicle sees the missing wheel
            wheel[i] = w;
            if (body != nullptr) {
                if (NODE* n = pmf->FindNode1(body->child, u16(0x8000 + i)))
                    w->mat = n->GetMatrix();
            }
            SetUpWheel(*w, vi, a, w->mat.w[1], 0.1171875f, (i & 1) ? maths_local::kPi : 0.0f, pos);
            Attach(w);
        }
    } else {
        pobjFork = FindSubObject(46);
        pobjSlider = FindSubObject(47);
        pobjSwingArm = FindSubObject(48);
        for (int i = 0; i < 2; i++) {
            Object* holder = i == 0 ? pobjSlider : pobjSwingArm;
            Wheel* w = new Wheel(pmf, iWheelIndex, i != 0);
            if (w == nullptr)
                return;
            wheel[i] = w;
            if (holder != nullptr && pmf != nullptr && holder->index < pmf->nNodes) {
                if (NODE* n = pmf->FindNode1(pmf->nodes[holder->index].child, u16(0x8000 + i)))
                    w->mat = n->GetMatrix();
            }
            // The rest height in the body's frame: the wheel's position
            // carried through its holder's matrix.
            const VectorPos p = holder != nullptr ? holder->mat * w->mat.GetTrans() : w->mat.GetTrans();
            SetUpWheel(*w, vi, i, p[1], 0.078125f, 0.0f, pos);
            (holder != nullptr ? holder : static_cast<Object*>(this))->Attach(w);
        }
    }
    // 7.
    i8Tint = 0;
    iBurstTimeLeft = 0;
    vSpecialMove = VSpecialMove_None;
    fForwardBackLean = 0.0f;
    iLastPropelTime = iLastCollTime = iNextCollEffectTime = world.time;
    // 8.  The wheels switch to their low detail at the body's own distance,
    // everything else at twice it.
    CalcRadius();
    CalcRadius();
    SetLowresGeom(0.0f);
    if (geom != nullptr && geom->lowresgeom != nullptr) {
        const float d = geom->lowresdist;
        SetLowresGeomHierarchy(d * 2.0f);
        for (Wheel* w : wheel) {
            if (w != nullptr && w->geom != nullptr && w->geom->lowresdist == d * 2.0f)
                w->SetLowresGeom(d);
        }
    }
    // 9.
    steeringratio = 1.0f;
    enginesndchan[0] = enginesndchan[1] = enginesndchan[2] = -1;
    iSndHorn = iSndSiren = -1;
    steeringwheel = FindSubObject(12);
    // 10.
    rI = Vector(vi.rI.x, vi.rI.y, vi.rI.z, 0.0f);
    fMass = vi.fMass;
    Cd = vi.fCd;
    fAccel = 0.0f;
    fBrake = 0.01f;
    gear = 1;
    // 11.
    InitialiseChildCollisions();
    ModifyCollisionMaskHierarchy(0x500, 0);
    // 12.  Stand on the ground under the start.
    mat.w = Vector(pos, 1.0f);
    mat.w[1] = GroundHeight(pos - VectorDir(0.0f, 0.15625f, 0.0f), nullptr);
    vdCOGOffset = VectorDir(v128f{0.0f, 0.0f, 0.0f, 1.0f});
}

Vehicle* CreateVehicle(MDLFILE* pmf, int iNodeIndex, int iWheelIndex, VectorPos pos, int iVehType)
{
    if (iVehType < 0 || iVehType >= NUM_VEHICLE_TYPES) {
        printf("vehicle: there is no vehicle type %d\n", iVehType);
        return nullptr;
    }
    if (pmf != nullptr && pmf->nodes != nullptr) {
        if (iNodeIndex < 0) {
            NODE* n = pmf->FindNodeById1(0, 0);
            iNodeIndex = n != nullptr ? int(n - pmf->nodes) : -1;
        }
        if (iWheelIndex < 0) {
            NODE* n = pmf->FindNodeById1(0, 1);
            iWheelIndex = n != nullptr ? int(n - pmf->nodes) : -1;
        }
    }
    Vehicle* v = new Vehicle(pmf, iNodeIndex, iWheelIndex, pos, iVehType);
    if (v == nullptr)
        return nullptr;
    for (int i = 0; i < v->NumWheels(); i++) {
        if (v->wheel[i] == nullptr) {
            // Out of memory part way: what was built goes (the wheels made
            // so far with the body, as its children).
            printf("vehicle: no memory for the wheels of a type %d vehicle\n", iVehType);
            delete v;
            return nullptr;
        }
    }
    return v;
}

void Vehicle::ReloadVehicleParams()
{
    const Vehicle_Info& vi = rvi[i16VehType];
    fMaxCarSpeed = vi.fMaxCarSpeed;
    fBrakeCoeff = vi.fBrakeCoeff;
    fTBarFact = vi.fTBarFact;
    fPowerMult = vi.fPowerMult;
    fAngVelDamp = vi.fAngVelDamp;
    for (int i = 0; i < NumWheels(); i++) {
        Wheel* w = wheel[i];
        if (w != nullptr && !w->bDamaged)
            w->Tune(vi, bCycle ? i : i / 2);
    }
    rI = Vector(vi.rI.x, vi.rI.y, vi.rI.z, 0.0f);
    fMass = vi.fMass;
    Cd = vi.fCd;
}

int Vehicle::iGetNumTintSets(int* start)
{
    const Vehicle_Info& vi = rvi[i16VehType];
    if (start != nullptr)
        *start = vi.i16StartTintOffset;
    return vi.i16NumTintSets;
}

void Vehicle::AdjustCenterOfGravity(VectorDir d)
{
    for (Object* c = child; c != nullptr; c = c->sibling) {
        c->mat.w[0] -= d[0];
        c->mat.w[1] -= d[1];
        c->mat.w[2] -= d[2];
    }
    if (!bCycle) {
        for (Wheel* w : wheel) {
            if (w != nullptr) {
                w->rest -= d[1];
                w->yoffset -= d[1];
            }
        }
    }
    mat.w[0] += d[0];
    mat.w[1] += d[1];
    mat.w[2] += d[2];
    vdCOGOffset += d;
}

bool Vehicle::bIsACycle(int iVehType)
{
    return iVehType == 14 || iVehType == 30 || iVehType == 31;
}

void Vehicle::RemoveSharedExtraParts(Object* obj, bool remove4, bool remove5)
{
    Object* c = obj->child;
    while (c != nullptr) {
        Object* next = c->sibling;
        if ((remove4 && c->id == 4) || (remove5 && c->id == 5)) {
            c->Detach();
            c->Delete();
        } else if (c->child != nullptr) {
            RemoveSharedExtraParts(c, remove4, remove5);
        }
        c = next;
    }
}

bool Vehicle::CarAbility(int bits)
{
    if (vSpecialMove != VSpecialMove_None || g_pgcTest == nullptr)
        return false;
    if (g_pgcTest->bEnableAllCarMoves)
        return true;
    return (g_pgcTest->stats.carAbility & u32(bits)) != 0;
}

void Vehicle::SetCarAbility(int bits, int on)
{
    if (g_pgcTest == nullptr)
        return;
    g_pgcTest->stats.carAbility = (g_pgcTest->stats.carAbility & ~u32(bits)) + u32(bits) * u32(on);
}

// ---------------------------------------------------------------------------
// Messages

int Vehicle::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    return static_cast<Vehicle*>(o)->mh(msg, data);
}

int Vehicle::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_FRAME:
        Frame();
        return 0;
    case OM_INIT:
        InstallVehicleLights();
        FindLights();
        FindShadows();
        world.vehlist.AddTail(this);
        flags |= 0x40;
        return 0;
    case OM_COLLISION:
        if (data == nullptr)
            return 0;
        if (HasDriver())
            rcoDriver->SendMessage(OM_PASSEDCOLL, data);
        return Collide(*static_cast<CollisionRecord*>(data));
    case OM_DIE:
        Die();
        return -1;
    case OM_ANIMLOOP:
        world.StopAnimating(this);
        return -1;
    case OM_SPECIAL: {
        SpecialMessage* m = static_cast<SpecialMessage*>(data);
        switch (m->submsg) {
        case 101:
            EnableSiren();
            return 0;
        case 102:
            DisableSiren();
            return 0;
        case SMSG_BULLET_HIT:
            BulletHit(*m);
            if (HasDriver())
                rcoDriver->SendMessage(OM_SPECIAL, m);
            return 0;
        case SMSG_Q_29001:
            return 25;
        case SMSG_Q_RETICLE_POS: {
            VectorPos* out = m->param[0];
            const int which = m->param[1];
            Vector r(0.0f, 0.0f, 0.0f, 1.0f);
            const int wi = which == 0 ? 0 : which == 1 ? 1 : which == 6 ? 2 : which == 7 ? 3 : -1;
            if (wi >= 0) {
                r = wheel[wi] != nullptr ? Vector(wheel[wi]->GetWorldPos() - GetWorldPos(), 0.0f) : Vector::zeroes();
            } else if (which == 20) {
                NODE* n = nullptr;
                if (mdlfile != nullptr && i16OrigIndex >= 0 && i16OrigIndex < mdlfile->nNodes)
                    n = mdlfile->FindNode1(mdlfile->nodes[i16OrigIndex].child, 0x808C);
                r = n != nullptr ? Vector(n->Pos() - VectorDir(0.0f, 0.0f, 0.15f), 0.0f) : Vector(0.0f, -0.2f, 0.0f, 0.0f);
            }
            if (out != nullptr)
                std::memcpy(out, &r, sizeof r);
            return 1;
        }
        default:
            // A message the car has no use for is its driver's business (a
            // warning that the car is shot at, an order sent to the car): it
            // goes on to the driver, whose answer is the car's, rather than
            // being dropped here.
            if (HasDriver())
                return rcoDriver->SendMessage(OM_SPECIAL, m);
            return 0;
        }
    }
    case OM_WASDRAWN:
        iLastDrawnTime = int(reinterpret_cast<intptr_t>(data));
        if (HasDriver())
            rcoDriver->SendMessage(OM_WASDRAWN, data);
        return 0;
    case OM_RENDER: {
        RenderContext* rc = static_cast<RenderContext*>(data);
        if (fFade == 0.0f && nFrames >= 4)
            fFade = 1.0f;
        fFade = std::min(fFade + 0.0625f, 1.0f);
        if (rc != nullptr)
            rc->light_colour.w.setw(fFade);
        // The lamps show only while the engine sounds.
        if (enginesndchan[0] >= 0)
            QueueLights();
        return 0;
    }
    default:
        return 0;
    }
}

void Vehicle::Frame()
{
    nFrames++;
    if (nFrames > 16)
        fFade = 1.0f;
    if (bCycle) {
        // A motorbike's frame is its physics step alone.
        if (mode == 0 && gear != 0)
            MoveCycle();
        return;
    }
    if (mode == 0 && gear != 0)
        MoveVehicle();
    if (world.time % 4 == 0)
        PlayEngineSFX();
    if ((world.time + 2) % 4 == 0) {
        // The player's own events hear his car first.
        Object* events = PlayerEvents();
        if (bSiren) {
            if (events != nullptr) {
                SpecialMessage m(SMSG_EV_CAR_NEAR_20, this);
                events->SendMessage(OM_SPECIAL, &m);
            }
            SendGEMToDriversAndPeds(SMSG_EV_CAR_NEAR_20, 20.0f);
        }
        if (bHorn) {
            if (events != nullptr) {
                SpecialMessage m(SMSG_EV_CAR_NEAR_10, this);
                events->SendMessage(OM_SPECIAL, &m);
            }
            SendGEMToDriversAndPeds(SMSG_EV_CAR_NEAR_10, 10.0f);
        }
    }
    const float r = strength / fBaseStrength;
    if (r < 0.7f) {
        const VectorPos at = VectorPos((mat.w + mat.z * 0.5625f).xyz());
        const VectorDir v = VectorDir(vel.xyz() * 0.9f);
        if (VehicleNewWholeFrame()) {
            if (r < 0.2f)
                EngineFire_Spawn(at, v, 1.0f);
            else if (r < 0.5f)
                EngineSmoke_Spawn(at, v, 1.0f);
            else
                EngineSteam_Spawn(at, v, 1.0f);
        }
        if (r < 0.2f)
            KickOutDriver(KICKOUT_ESCAPE, true, nullptr);
    }
    if (fBrake != 0.0f && gear >= 0)
        iLastBrakeLightTime = world.time;
}

Object* Vehicle::PlayerEvents() const
{
    // The player is the character with id -1 in the driver's seat.
    if (!HasDriver() || rcoDriver->id != -1 || rcoDriver->type != OBJT_CHARACTER)
        return nullptr;
    return static_cast<Guy*>(static_cast<Object*>(rcoDriver))->gameeventobj;
}

void Vehicle::SendGEMToDriversAndPeds(int code, float radius)
{
    const VectorPos me = GetWorldPos();
    const float r2 = radius * radius;
    auto near = [&](Object* o) {
        const VectorPos p = o->GetWorldPos();
        const float dx = p[0] - me[0], dz = p[2] - me[2];
        return dx * dx + dz * dz < r2;
    };
    for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || !near(o))
            continue;
        SpecialMessage m(code, this);
        o->SendMessage(OM_SPECIAL, &m);
    }
    for (ObjectIterator it = world.vehlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || o->type != OBJT_VEHICLE || !near(o))
            continue;
        Vehicle* v = static_cast<Vehicle*>(o);
        if (!v->HasDriver())
            continue;
        SpecialMessage m(code, this);
        v->rcoDriver->SendMessage(OM_SPECIAL, &m);
    }
}

void Vehicle::BulletHit(const SpecialMessage& m)
{
    const VectorPos* at = m.param[0];
    if (at == nullptr)
        return;
    VectorPos local = PointToCar(GetWorldMatrix(), *at);
    DamageVehicleAt(local, 2.0f);
    if (m.param[3].i == 0)
        return;
    for (int i = 0; i < NumWheels(); i++) {
        Wheel* w = wheel[i];
        if (w == nullptr)
            continue;
        const VectorXYZ d = w->GetWorldPos() - *at;
        if (Length(d) >= 2.0f * w->radius)
            continue;
        w->CauseDamage();
        WhiteSmoker_Create(this, local, 120.0f, 0.5f);
        const int ch = sound.AllocChannel(false);
        if (ch >= 0) {
            sound.Play(ch, sndbank_car, 33);
            sound.SetVolume(ch, 1.0f, 0.0f);
            sound.SetPosition(ch, GetWorldPos());
        }
    }
}

void Vehicle::Die()
{
    Object* meshDriver = FindMeshDriver();
    rcoDriver = nullptr;
    StopEngineSFX();
    if (meshDriver != nullptr && meshDriver->mdlfile != nullptr)
        g_GlobalMFI.DecrementRef(meshDriver->mdlfile);
    // The wheels' skid sounds stop, and the marks they were laying are let
    // go to fade (a mark held by a car that is gone would never finish).
    ClearFX();
    world.vehlist.Remove(this);
    if (mdlfile != nullptr && g_GlobalMFI.GetIndex(mdlfile) >= 0)
        g_GlobalMFI.DecrementRef(mdlfile);
    delete this;
}

void Vehicle::ClearFX()
{
    for (int i = 0; i < NumWheels(); i++) {
        Wheel* w = wheel[i];
        if (w == nullptr)
            continue;
        if (w->pskdr != nullptr) {
            w->pskdr->flags |= SKID_FINISHED;
            w->pskdr = nullptr;
        }
        StopSFX(&w->iChan);
    }
}
