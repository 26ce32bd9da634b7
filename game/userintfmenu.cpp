// The generic menu: builds a screen's runtime records from its tables, reads
// pad 0 once a frame, moves the cursor, changes item values, prints every
// line and closes the menu.  What is particular to one screen lives in its
// callback.
#include "game/userintf.h"

#include <cstdio>
#include <cstring>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/MAIN.h"

extern SoundSystem sound;

const char* const OffOnText[2] = {"off", "on"};

namespace {

constexpr u32 kFrontZ = 16777215;

// The drawer of the menu frame being drawn; columns print through it.
Render2D* frameDrawer = nullptr;
// The stick counts from this far out of the centre, less the dead zone.
constexpr int kStickBase = 80;

int CountStrings(const char* const* strings)
{
    int n = 0;
    while (strings[n] != nullptr)
        n++;
    return n;
}

void Call(UIMenu* menu, UIItem* item, UIAction action, void* data = nullptr)
{
    if (menu->pCode != nullptr)
        menu->pCode(menu, item, action, data);
}

// One stick axis: 0 inside the dead zone, else the deflection beyond 80.
int StickAxis(u8 raw, int deadZone)
{
    const int d = int(raw) - 128;
    if ((d < 0 ? -d : d) < deadZone)
        return 0;
    return d >= 0 ? d - kStickBase : d + kStickBase;
}

void InitItem(UIItem& item, const UISetup& s, bool selectable)
{
    item = UIItem{};
    item.ID = s.ID;
    item.zsTitle = s.zsTitle;
    item.nType = s.eType;
    item.Selection = selectable && s.eType != UI_NoData;
    item.DrawBars = true;
    switch (s.eType) {
    case UI_String:
        item.Selection = false;
        item.zsString = static_cast<const char*>(s.Source);
        break;
    case UI_StringList:
        item.Strings = static_cast<const char* const*>(s.Source);
        item.MaxVal = CountStrings(item.Strings) - 1;
        item.zsString = item.Strings[0];
        break;
    case UI_StringListList:
        item.pStringList = static_cast<const char* const* const*>(s.Source);
        SetupStringListList(&item, 0);
        break;
    case UI_Bool: {
        item.Strings = OffOnText;
        item.MaxVal = 1;
        const int* mirror = static_cast<const int*>(s.Source);
        item.nValue = mirror != nullptr && *mirror != 0 ? 1 : 0;
        item.zsString = OffOnText[item.nValue];
        item.Source = s.Source;
        break;
    }
    case UI_Number:
    case UI_User:
        item.nValue = s.Value;
        item.MinVal = s.MinVal;
        item.MaxVal = s.MaxVal;
        item.Source = s.Source;
        break;
    case UI_NoData:
        break;
    }
    item.Alpha = item.Selection ? 1.0f : 0.75f;
}

bool HasStrings(UITyp t)
{
    return t == UI_StringList || t == UI_StringListList || t == UI_Bool;
}

}  // namespace

void PlayUISample(int n)
{
    const int chan = sound.AllocChannel(false);
    if (chan < 0)
        return;
    sound.Play(chan, sndbank_ui, u16(n));
}

UIItem* SetupStringListList(UIItem* item, int list)
{
    item->Strings = item->pStringList[list];
    item->iCurrStringList = list;
    item->nValue = item->MinVal;
    item->MaxVal = CountStrings(item->Strings) - 1;
    item->zsString = item->Strings[0];
    return item;
}

UIMenu* CreateMenuFromUISetup(const UIScreenSetup* setup)
{
    UIMenu* menu = static_cast<UIMenu*>(malloc(sizeof(UIMenu)));
    if (menu == nullptr)
        return nullptr;
    *menu = UIMenu{};
    menu->pCode = setup->pCode;
    menu->zsTitle = setup->zsTitle;
    menu->TitleX = setup->TitleX;
    menu->TitleY = setup->TitleY;
    menu->nCol = setup->nColumns;
    menu->Alpha = 1.0f;
    menu->AnalogDZone = 80;
    menu->PrevPad = 0xFFFFFFFF;
    menu->nUserCol = -1;
    menu->nUserRow = -1;

    UIColumn** link = &menu->pCol;
    for (int c = 0; c < setup->nColumns; c++) {
        const UIMenuSetup& ms = setup->pColumns[c];
        const UIColSetup& cs = *ms.pColumn;
        // The items live in the column's own block, sized to fit them.
        UIColumn* col = static_cast<UIColumn*>(malloc(sizeof(UIColumn) + sizeof(UIItem) * size_t(cs.nItems)));
        if (col == nullptr) {
            menu->Free();
            return nullptr;
        }
        *col = UIColumn{};
        col->aItems = reinterpret_cast<UIItem*>(col + 1);
        *link = col;
        link = &col->pNext;
        col->x0 = cs.x;
        col->y0 = cs.y;
        col->dy = cs.dy;
        col->nItems = cs.nItems;
        for (int i = 0; i < cs.nItems; i++) {
            UIItem& item = col->aItems[i];
            InitItem(item, cs.pSetup[i], ms.UserSelection);
            if (item.Selection && menu->nUserCol < 0) {
                menu->nUserCol = c;
                menu->nUserRow = i;
            }
        }
    }

    if (menu->pCode != nullptr) {
        Call(menu, nullptr, UI_Init);
        for (UIColumn* col = menu->pCol; col != nullptr; col = col->pNext)
            for (int i = 0; i < col->nItems; i++) {
                UIItem& item = col->aItems[i];
                if (item.ID == UI_NoID)
                    continue;
                Call(menu, &item, UI_Init);
                // An initial value chosen by the callback shows at once.
                if (HasStrings(item.nType))
                    item.zsString = item.Strings[item.nValue];
            }
    }
    return menu;
}

void UIMenu::Free()
{
    for (UIColumn* col = pCol; col != nullptr;) {
        UIColumn* next = col->pNext;
        free(col);
        col = next;
    }
    free(this);
}

bool UIMenu::Draw(float alpha, float offsX, float offsY)
{
    Alpha = alpha;
    OffsX = offsX;
    OffsY = offsY;
    Pad = u16(controller[0].pad);
    isAnalogPad = false;

    const int x = StickAxis(controller[0].rdata[6], AnalogDZone);
    const int y = StickAxis(controller[0].rdata[7], AnalogDZone);
    if (x != 0 || y != 0) {
        isAnalogPad = true;
        AnalogX = -float(x) / 128.0f;
        AnalogY = -float(y) / 128.0f;
        if (x < 0)
            Pad |= UIPAD_LEFT;
        if (x > 0)
            Pad |= UIPAD_RIGHT;
        if (y < 0)
            Pad |= UIPAD_UP;
        if (y > 0)
            Pad |= UIPAD_DOWN;
    }

    // Buttons held when the menu opens never count as presses.
    if (PrevPad == 0xFFFFFFFF) {
        HitPad = 0;
        PrevPad = Pad;
    } else {
        HitPad = u16(Pad & ~PrevPad);
    }

    if (Exit) {
        sound.UnPauseAll();
        PlayUISample(2);
        Call(this, nullptr, UI_Exit);
        Free();
        return true;
    }

    Render2D r2d;
    r2d.Open(therenderer);
    frameDrawer = &r2d;
    if (g_pGUIHead != nullptr && zsTitle != nullptr) {
        r2d.SetColour(Colour(0, 12, 32, u8(Alpha * 128.0f)));
        g_pGUIHead->Print(r2d, TitleX + OffsX, TitleY + OffsY, 0.0f, zsTitle, -1);
    }
    int c = 0;
    for (UIColumn* col = pCol; col != nullptr; col = col->pNext, c++) {
        if (c != nUserCol) {
            col->Draw(this, g_pGUIFont, -1, UI_Nop);
            continue;
        }
        UIAction action = UI_Nop;
        if (HitPad & UIPAD_CROSS)
            action = UI_Select;
        else if (HitPad & UIPAD_LEFT)
            action = UI_Dec;
        else if (HitPad & UIPAD_RIGHT)
            action = UI_Inc;
        int row = nUserRow;
        if (HitPad & UIPAD_UP)
            row--;
        else if (HitPad & UIPAD_DOWN)
            row++;
        if (row < 0)
            row = 0;
        if (row > col->nItems - 1)
            row = col->nItems - 1;
        if (row != nUserRow) {
            nUserRow = row;
            PlayUISample(0);
        }
        col->Draw(this, g_pGUIFont, nUserRow, action);
    }
    frameDrawer = nullptr;
    r2d.Close(therenderer);

    Call(this, nullptr, UI_Update);
    PrevPad = Pad;
    Counter++;
    return false;
}

void UIColumn::Draw(UIMenu* menu, Font* font, int row, UIAction action)
{
    const float x = x0 + menu->OffsX;
    float y = y0 + menu->OffsY;
    const int delta = action == UI_Inc ? 1 : action == UI_Dec ? -1 : 0;
    for (int i = 0; i < nItems; i++, y += dy) {
        UIItem& item = aItems[i];
        const bool onCursor = i == row;
        char mark = item.DrawBars ? '|' : 0;
        if (onCursor && item.Selection && mark != 0)
            mark = ' ';

        if (onCursor && delta != 0 && item.Selection) {
            const int before = item.nValue;
            if (HasStrings(item.nType)) {
                item.nValue += delta;
                if (item.nValue > item.MaxVal)
                    item.nValue = item.MinVal;
                if (item.nValue < item.MinVal)
                    item.nValue = item.MaxVal;
                item.zsString = item.Strings[item.nValue];
                if (item.nType == UI_Bool && item.Source != nullptr)
                    *const_cast<int*>(static_cast<const int*>(item.Source)) = item.nValue != 0 ? 1 : 0;
            } else if (item.nType == UI_Number) {
                item.nValue += delta;
                if (item.nValue > item.MaxVal)
                    item.nValue = item.MaxVal;
                if (item.nValue < item.MinVal)
                    item.nValue = item.MinVal;
                if (item.Source != nullptr)
                    *const_cast<int*>(static_cast<const int*>(item.Source)) = item.nValue;
            }
            if (item.nValue != before) {
                PlayUISample(1);
                if (item.ID == UI_Mission) {
                    for (int t = 0; t < nItems; t++)
                        if (aItems[t].ID == UI_Task) {
                            SetupStringListList(&aItems[t], item.nValue);
                            break;
                        }
                    g_iUITask = 0;
                    g_iUIMissionSel = item.nValue;
                }
                if (item.ID == UI_Task)
                    g_iUITask = item.nValue;
            }
        }
        if (onCursor && delta != 0 && item.ID != UI_NoID)
            Call(menu, &item, action);
        if (action == UI_Select && i == 0 && (row == 0 || row == 1))
            for (int k = 0; k < nItems; k++)
                Call(menu, &aItems[k], UI_Select);

        char value[16];
        const char* text = "";
        if (item.nType <= UI_Bool)
            text = item.zsString != nullptr ? item.zsString : "";
        else if (item.nType == UI_Number) {
            snprintf(value, sizeof value, "%d", item.nValue);
            text = value;
        }
        const char* title = item.zsTitle != nullptr ? item.zsTitle : "";

        UIForm form{title, text, mark, {}};
        if (item.Selection && menu->pCode != nullptr)
            Call(menu, &item, UI_Format, &form);
        else if (mark == 0)
            snprintf(form.Result, sizeof form.Result, "%s%s", title, text);
        else
            snprintf(form.Result, sizeof form.Result, "%c%s%s%c", mark, title, text, mark);

        if (font != nullptr && frameDrawer != nullptr) {
            frameDrawer->SetColour(Colour(0, 12, 28, u8(item.Alpha * menu->Alpha * 128.0f)));
            font->Print(*frameDrawer, x, y, float(kFrontZ), form.Result, -1);
        }
    }
}
