// Wide captions, hints, accelerators and actions: the rules that do not need
// a window to be seen (they run on the same plugin all the same).
#include <gtest/gtest.h>

#include "controls/ucgraphics.h"
#include "controls/ui/ucactnlist.h"
#include "controls/ui/ucforms.h"
#include "controls/ui/uchintwindow.h"
#include "controls/ui/ucmenus.h"
#include "controls/ui/ucstdctrls.h"

TEST(UcText, AcceleratorsAndHintPartsFollowTheToolkitsRules) {
    struct Case {
        WideString Text, Stripped, Char;
        int Position;
    };
    const Case cases[] = {
        {u"&Файл", u"Файл", u"Ф", 2},
        {u"Save && E&xit", u"Save & Exit", u"x", 11},
        {u"Trailing&", u"Trailing", u"", 0},
        {u"&&", u"&", u"", 0},
        {u"", u"", u"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WideStripHotkeys(c.Text), c.Stripped);
        EXPECT_EQ(WideHotkeyPosition(c.Text), c.Position);
        EXPECT_EQ(WideHotkeyChar(c.Text), c.Char);
    }
    EXPECT_EQ(WideStripHotkeys(u"打开(&O)", true), u"打开");
    EXPECT_TRUE(WideSameCaption(u"&Ωμέγα", u"ΩΜΈΓΑ"));
    EXPECT_FALSE(WideSameCaptionExact(u"&Ωμέγα", u"ΩΜΈΓΑ"));
    EXPECT_TRUE(WideCaptionAccelMatches('f', u"&Файл f") == false);
    EXPECT_TRUE(WideCaptionAccelMatches('x', u"E&xit"));
    EXPECT_EQ(UcShortHint(u"Короткий|Длинный"), u"Короткий");
    EXPECT_EQ(UcLongHint(u"Короткий|Длинный"), u"Длинный");
    EXPECT_EQ(UcLongHint(u"Один"), u"Один");
    EXPECT_EQ(WideShortCutToText(ShortCut(VK_F9, 0)), u"F9");
    EXPECT_EQ(WideShortCutToText(ShortCut('S', ssCtrl | ssShift)), u"Shift+Ctrl+S");
}

TEST(UcText, WideCharactersPassThroughEightBitKeyRecords) {
    TMessage message{WM_CHAR};
    InitWMCharMessage(message, u'中');
    EXPECT_EQ(LoWord(message.WParam), 255);  // the 8-bit handlers see 255
    EXPECT_EQ(WideCharOfWMChar(message), u'中');
    UnstashWideCharInWMChar(message);
    EXPECT_EQ(message.WParam, u'中');
    InitWMCharMessage(message, u'é');
    EXPECT_EQ(message.WParam, u'é');
}

TEST(UcText, ALabelKeepsItsWideCaptionUntilTheToolkitChangesTheEightBitOne) {
    TComponent owner(nullptr);
    auto* label = new TUcLabel(&owner);
    label->SetCaption(u"Ωμέγα");
    EXPECT_EQ(label->Caption(), u"Ωμέγα");
    EXPECT_EQ(label->GetText(), "?????");
    // Another script with the same 8-bit form ("??????" against "?????" is
    // not the case here, but the wide copy must follow all the same).
    label->SetCaption(u"Юникод");
    EXPECT_EQ(label->Caption(), u"Юникод");
    label->TControl::SetText("plain");  // the toolkit's own code
    EXPECT_EQ(label->Caption(), u"plain");
    // Hints: the control's own, else its parent's.
    TForm form(nullptr);
    UcControlSetHint(form, u"Форма|Длинная подсказка");
    label->SetParent(&form);
    EXPECT_EQ(UcGetEffectiveHint(label), u"Форма|Длинная подсказка");
    label->SetHint(u"Метка");
    EXPECT_EQ(UcGetEffectiveHint(label), u"Метка");
    label->SetParent(nullptr);
}

TEST(UcText, AWideCaptionSetBeforeTheWindowShowsInItAndSurvivesItsRecreation) {
    TUcForm form(nullptr);
    auto* edit = new TUcEdit(&form);
    edit->SetCaption(u"Θέμα 主题");
    edit->SetParent(&form);
    form.Handle();
    ASSERT_TRUE(edit->HandleAllocated());
    EXPECT_EQ(edit->NativeWindow()->Text(), u"Θέμα 主题");
    EXPECT_EQ(edit->GetText(), "???? ??");  // the toolkit reads the window's text in 8 bits
    edit->RecreateWnd();
    EXPECT_EQ(edit->Caption(), u"Θέμα 主题");
    int textChanges = 0;
    edit->OnChange = [&](TComponent*) { ++textChanges; };
    edit->SetCaption(u"Новый");
    edit->SetCaption(u"Новый");
    EXPECT_EQ(textChanges, 1);
}

TEST(UcText, AnActionsWideCaptionReachesItsButtonAndMenuItemEvenWithTheSameEightBitForm) {
    TUcForm form(nullptr);
    auto* action = new TUcAction(&form);
    action->SetCaption(u"Ωμέγα");
    auto* button = new TUcButton(&form);
    button->SetParent(&form);
    button->SetAction(action);
    auto* menu = new TMainMenu(&form);
    auto* item = new TUcMenuItem(&form);
    menu->Items()->Add(item);
    item->SetAction(action);
    EXPECT_EQ(button->Caption(), u"Ωμέγα");
    EXPECT_EQ(item->WideCaption(), u"Ωμέγα");
    // "Юникод" has the same 8-bit form as nothing before it, "Омега" the
    // same as "Ωμέγα" ("?????").
    action->SetCaption(u"Омега");
    EXPECT_EQ(button->Caption(), u"Омега");
    EXPECT_EQ(item->WideCaption(), u"Омега");
    form.Handle();
    action->SetCaption(u"中文");
    EXPECT_EQ(button->Caption(), u"中文");
    // A client given its own caption no longer follows.
    button->SetCaption(u"Own");
    action->SetCaption(u"Другое");
    EXPECT_EQ(button->Caption(), u"Own");
    EXPECT_EQ(item->WideCaption(), u"Другое");
    // A menu caption that differs only in marks and case still counts as linked.
    item->SetWideCaption(u"&другое");
    action->SetCaption(u"Третье");
    EXPECT_EQ(item->WideCaption(), u"Третье");
}

TEST(UcText, TheToolkitsMovedAcceleratorLandsInTheWideMenuCaption) {
    TComponent owner(nullptr);
    auto* item = new TUcMenuItem(&owner);
    item->SetWideCaption(u"Ωmega");
    item->SetCaption("?m&ega");  // the toolkit adds its own mark
    EXPECT_EQ(item->WideCaption(), u"Ωm&ega");
}

TEST(UcText, WideCanvasTextMovesThePenAndMeasuresNothingForEmptyText) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    bitmap.SetSize(200, 40);
    TCanvas canvas(bitmap);
    canvas.Brush.Style = BS_NULL;
    WideCanvasTextOut(canvas, 5, 7, u"");
    EXPECT_EQ(canvas.PenPos, (TPoint{5, 7}));
    EXPECT_EQ(WideCanvasTextExtent(canvas, u""), (TSize{0, 0}));
    const int32_t width = WideCanvasTextWidth(canvas, u"Ωμέγα");
    ASSERT_GT(width, 0);
    WideCanvasTextOut(canvas, 5, 7, u"Ωμέγα");
    EXPECT_EQ(canvas.PenPos, (TPoint{5 + width, 7}));
    WideCanvasTextOut(canvas, 5, 7, u"Ωμέγα", true);
    EXPECT_EQ(canvas.PenPos, (TPoint{5 + 2 * width + 1, 7}));
}

TEST(UcText, TheWideHintTextCarriesTheActionsShortcut) {
    TUcForm form(nullptr);
    auto* action = new TUcAction(&form);
    action->SetShortCut(ShortCut(VK_F9, 0));
    auto* button = new TUcButton(&form);
    button->SetParent(&form);
    button->SetAction(action);
    button->SetHint(u"Просмотр|Показать фильм");
    THintInfo info;
    info.HintControl = button;
    info.HintWindowClassName = "THintWindow";
    info.HintStr = "?";
    button->Perform(CM_HINTSHOW, 0, reinterpret_cast<intptr_t>(&info));
    EXPECT_TRUE(IsUcHintData(&info));
    EXPECT_EQ(UcHintTextOf(info), u"Просмотр (F9)");
    // A hint window class of someone else's is left alone.
    THintInfo other;
    other.HintControl = button;
    other.HintWindowClassName = "TFancyHint";
    other.HintStr = "x";
    button->Perform(CM_HINTSHOW, 0, reinterpret_cast<intptr_t>(&other));
    EXPECT_FALSE(IsUcHintData(&other));
}
