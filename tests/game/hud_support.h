// Test support for the HUD: 2-D packets written into a buffer and read
// back as primitives (type, colour, vertices and texels in pixels), and the
// HUD's fonts made from the program's images.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/MAIN.h"
#include "game/controller_support.h"

namespace hudtest {

struct Prim
{
    u32 type;       // PRIM bits 0..2
    u32 prim;       // the whole PRIM value
    Colour colour;  // RGBAQ when the first vertex was written
    u64 alpha;      // ALPHA_1 then
    std::vector<std::array<float, 2>> xy;   // pixels
    std::vector<std::array<float, 2>> uv;   // texels (centre offset removed)
    std::vector<u32> z;
};

// The primitives of the GIF packets (A+D) between from and to.
inline std::vector<Prim> Prims(const u64* from, const u64* to)
{
    std::vector<Prim> out;
    u32 rgbaq = 0x80808080;
    u64 alpha = 0;
    for (const u64* q = from; q < to;) {
        const u64 tag = q[0];
        const u32 nloop = u32(tag & 0x7FFF);
        const bool pre = (tag >> 46) & 1;
        q += 2;
        Prim p{};
        p.prim = u32(tag >> 47) & 0x7FF;
        p.type = p.prim & 7;
        bool any = false;
        for (u32 i = 0; i < nloop; i++, q += 2) {
            const u64 v = q[0], reg = q[1];
            if (reg == 0x01)
                rgbaq = u32(v);
            else if (reg == 0x42)
                alpha = v;
            else if (reg == 0x03)
                p.uv.push_back({(float(v & 0x3FFF) - 8.0f) / 16.0f, (float((v >> 16) & 0x3FFF) - 8.0f) / 16.0f});
            else if (reg == 0x05) {
                if (!any) {
                    p.colour = Colour(u8(rgbaq), u8(rgbaq >> 8), u8(rgbaq >> 16), u8(rgbaq >> 24));
                    p.alpha = alpha;
                }
                any = true;
                p.xy.push_back({float(v & 0xFFFF) / 16.0f - 2048.0f, float((v >> 16) & 0xFFFF) / 16.0f - 2048.0f});
                p.z.push_back(u32(v >> 32));
            }
        }
        if (pre && any)
            out.push_back(p);
    }
    return out;
}

// A 2-D context over a buffer of its own, the HUD image already selected
// (no texture upload is asked for).
struct Packet
{
    std::vector<u64> buf = std::vector<u64>(1 << 16);
    Render2D r;
    Packet()
    {
        r.InitState(buf.data(), buf.data() + buf.size() - 16);
        r.texture = &HUDNewTexture();
        r.prim_reg |= PRIM_TME | PRIM_FST;
    }
    std::vector<Prim> Take()
    {
        std::vector<Prim> p = Prims(buf.data(), r.p);
        r.p = buf.data();
        return p;
    }
};

// The HUD's fonts over the program's font images, once; the render
// context at 640 x 512 with the horizontal aspect factor ax; no points still
// flying to the counter from an earlier fight or a bystander hurt.
inline void SetUpScreen(float ax = 1.0f)
{
    hudPoints = HUD_Points{};
    static Font gui(Font_GUI_text), medium(Font_UI_Medium), large(Font_UI_Large), helv(Font_HelveticaBlack),
        sign(Font_StreetSign);
    g_pGUIFont = &gui;
    g_pfontUIMedium = &medium;
    g_pfontUILarge = &large;
    g_pfontHelveticaB = &helv;
    g_pfontStreetSign = &sign;
    rc.scrw = 640.0f;
    rc.scrh = 512.0f;
    rc.ax = ax;
}

// Textures that count as resident without the texture manager (packet
// tests), and released again.
inline void PinTextures(bool pin)
{
    Texture* all[] = {&HUDNewTexture(), &IconsCombatTexture(), &Font_GUI_text, &Font_UI_Medium, &Font_UI_Large,
                      &Font_HelveticaBlack, &Font_StreetSign};
    for (Texture* t : all)
        t->refcount = pin ? 1000 : 0;
}

// The game controller's HUD while a test runs: the centre texts posted to it.
struct TextHud
{
    MapDisplay hud;
    gametest::Lend<MapDisplay> lent{g_pgcTest->pmd, &hud};
    // The centre text showing, taken off so that the next can come.
    std::string TakeText()
    {
        for (ScreenText& st : hud.screentext)
            if (st.stPos == STP_CENTER) {
                st.stPos = STP_NONE;
                return st.cText;
            }
        return "";
    }
};

}  // namespace hudtest
