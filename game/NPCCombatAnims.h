// The fighting groups Char\NPCKNGFU.ANI (the generic combat clips, one per
// replacement slot, in slot order) and the style groups NPCKARAT, NPCBOXER,
// NPCBRWLR, NPCKNIFE, NPCMCOMB and NPCFCOMB, whose clips the overlay
// definitions below pick per slot (-1: the style keeps the generic clip),
// and the gun overlay definitions picking the pistol and machine-gun groups'
// clips (see NPCPistolAnims.h).  The enemies' tables and the disc writer
// share them, so each group file holds exactly the clips the tables name.
#pragma once

#include "ZevEngine2/Zev.h"

constexpr int NPCCombatSlots = 58;   // CombatOverlayReplacements
constexpr int NPCGunSlots = 35;      // GunOverlayReplacements

inline constexpr s16 GunOverlayDefs[35] = {15, 16, 15, 0, 2, 3, 5, 6, 8, 9, 10, 11, 12, 13, 14, 1, 4, 7, 17, 18, 19, 22, 23, 20, 21, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33};
inline constexpr s16 BoxerOverlayDefs[58] = {22, 23, 25, 26, 21, 29, 20, 24, 24, 28, 0, 1, 2, 3, 4, 5, 18, 18, 18, 18, 18, 18, 17, 17, 17, 17, 17, 17, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 47, 27, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46};
inline constexpr s16 BrawlerOverlayDefs[58] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 58, 20, 21, 59, 23, 24, 60, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57};
inline constexpr s16 KarateOverlayDefs[58] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 58, 20, 21, 59, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57};
inline constexpr s16 KnifeOverlayDefs[58] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 58, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57};
inline constexpr s16 FemaleOverlayDefs[58] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, -1, 13, -1, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, -1, 11, 12, 30, 31, 32, 33, 34, 35};
inline constexpr s16 MaleOverlayDefs[58] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, -1, 13, -1, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, -1, 11, 12, 30, 31, 32, 33, 34, 35};

// The clips a character plays while a fighter of the style holds it in a
// grapple (the grab names them by index in the fighter's group); the
// style's own moves are kept off these indexes.  The generic group's
// indexes are its slots' own, so it has none of its own.
inline constexpr s16 KarateGrappledClips[] = {19, 22};
inline constexpr s16 BoxerGrappledClips[] = {19};
inline constexpr s16 BrawlerGrappledClips[] = {19, 22, 25};
inline constexpr s16 KnifeGrappledClips[] = {16};

// Clips in each fighting group file (the largest index named, plus one).
constexpr int NPCKungFuAnims_Count = 58;
constexpr int NPCKarateAnims_Count = 60;
constexpr int NPCBoxerAnims_Count = 48;
constexpr int NPCBrawlerAnims_Count = 61;
constexpr int NPCKnifeAnims_Count = 59;
constexpr int NPCMaleCombatAnims_Count = 36;
constexpr int NPCFemaleCombatAnims_Count = 36;
