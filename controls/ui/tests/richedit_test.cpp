// The Rich Edit 2.0 control on Qt's offscreen plugin, through its own
// interfaces: wide text and lines, the selection, character and paragraph
// attributes, RTF streaming, addresses and their click events, undo and the
// change event, set up as the main window's text editor is.
#include <gtest/gtest.h>

#include <filesystem>

#include "controls/ui/richedit2.h"
#include "controls/ui/ucforms.h"
#include "platform/codepage.h"
#include "platform/rtf.h"
#include "platform/testing/test_support.h"
#include "platform/ui/qt/qt_testing.h"
#include "controls/ui/tests/require_qt.h"

namespace {

// A form with a rich edit set up as the main window's text editor.
struct TEditorForm {
    TUcForm Form{nullptr};
    TRichEdit98* Edit = nullptr;
    TEditorForm() {
        Form.SetBounds(60, 60, 480, 300);
        Edit = new TRichEdit98(&Form);
        Edit->SetBounds(10, 10, 440, 240);
        Edit->SetAutoURLDetect(adNone);
        Edit->SetLanguage(2052);
        Edit->SetLangOptions(loAutoFont);
        Edit->SetUndoLimit(0);
        Edit->SetScrollBars(ssBoth);
        Edit->Font.Name = "DejaVu Sans";
        Edit->Font.SetSize(12);
        Edit->SetParent(&Form);
        Form.Show();
    }
    void Select(int start, int length) {
        Edit->SetSelStart(start);
        Edit->SetSelLength(length);
    }
};

std::string SaveText(TRichEdit98& edit, TOutputFormat format) {
    edit.OutputFormat = format;
    TMemoryStream stream;
    edit.Lines().SaveToStream(stream);
    return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

void LoadText(TRichEdit98& edit, const std::string& bytes, TInputFormat format = ifRTF) {
    edit.InputFormat = format;
    TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    edit.Lines().LoadFromStream(stream);
}

// Every character's attributes, as the selection attributes read them.
struct TCharAttributes {
    bool Bold, Italic, StrikeOut;
    int Underline, Size;
    std::string Name;
    TColor Color;
    int16_t Style;
    bool operator==(const TCharAttributes&) const = default;
};
std::vector<TCharAttributes> AttributesOf(TEditorForm& f) {
    std::vector<TCharAttributes> all;
    const int length = static_cast<int>(f.Edit->GetWideText().size());
    for (int i = 0; i < length; ++i) {
        f.Select(i, 1);
        TTextAttributes98& a = f.Edit->SelAttributes();
        all.push_back({a.GetBold(), a.GetItalic(), a.GetStrikeOut(), a.GetUnderlineType(), a.GetSize(), a.GetName(),
                       a.GetColor(), a.GetCharStyle()});
    }
    return all;
}

// Formats "one two three" with every attribute on "two".
void FormatTwo(TEditorForm& f) {
    f.Edit->SetWideText(u"one two three\rsecond line");
    f.Select(4, 3);
    TTextAttributes98& a = f.Edit->SelAttributes();
    a.SetBold(true);
    a.SetItalic(true);
    a.SetUnderlineType(1);
    a.SetStrikeOut(true);
    a.SetSize(18);
    a.SetName("DejaVu Serif");
    a.SetColor(RGBColor(200, 0, 0));
    a.SetCharStyle(7);
    f.Select(14, 6);
    a.SetCharStyle(3);
}

}  // namespace

TEST(RichEdit, WideTextSelectionAndLinesWithOneCRAParagraph) {
    REQUIRE_QT();
    TEditorForm f;
    const WideString text = u"a\U0001F600b\r中文\rالعربية";
    f.Edit->SetWideText(text);
    EXPECT_EQ(f.Edit->GetWideText(), text);
    EXPECT_EQ(f.Edit->WideLines().GetCount(), 3);
    EXPECT_EQ(f.Edit->WideLines().Get(0), u"a\U0001F600b");
    EXPECT_EQ(f.Edit->WideLines().Get(2), u"العربية");
    // The ANSI lines go through the code page of Language 2052.
    EXPECT_EQ(f.Edit->Lines().Get(1), WideToMultiByte(u"中文", 936));
    f.Select(1, 2);
    EXPECT_EQ(f.Edit->GetSelText(), u"\U0001F600");
    f.Edit->SetSelText(u"X\rY");
    EXPECT_EQ(f.Edit->GetWideText(), u"aX\rYb\r中文\rالعربية");
    EXPECT_EQ(f.Edit->GetSelStart(), 4);
    EXPECT_EQ(f.Edit->GetSelLength(), 0);
    // ANSI text through the language's code page.
    const std::string gbk = WideToMultiByte(u"汉字", 936);
    f.Edit->SetText(gbk);
    EXPECT_EQ(f.Edit->GetWideText(), u"汉字");
    f.Edit->SetLanguage(1033);
    f.Edit->SetText(gbk);
    EXPECT_EQ(f.Edit->GetWideText(), MultiByteToWide(gbk, 1252));

    // The line lists' edges.
    TWideRichEditStrings98& lines = f.Edit->WideLines();
    f.Edit->Clear();
    EXPECT_EQ(lines.GetCount(), 0);
    lines.Add(u"a");
    lines.Add(u"b");
    EXPECT_EQ(f.Edit->GetWideText(), u"a\rb\r");
    EXPECT_EQ(lines.GetCount(), 2);
    lines.Put(2, u"c");  // the trailing empty line
    EXPECT_EQ(f.Edit->GetWideText(), u"a\rb\rc");
    f.Edit->SetWideText(u"abc");
    lines.Insert(1, u"x");
    EXPECT_EQ(f.Edit->GetWideText(), u"abc\rx");
    lines.Delete(5);  // no such line
    f.Edit->SetWideText(u"abc");
    lines.Delete(0);
    EXPECT_EQ(f.Edit->GetWideText(), u"");
    f.Edit->SetWideText(WideString(5000, u'w') + u"\rz");
    EXPECT_EQ(lines.Get(0), WideString(4096, u'w'));
    lines.SetTextStr(u"one\r\ntwo\nthree");
    EXPECT_EQ(f.Edit->GetWideText(), u"one\rtwo\rthree\r");
    EXPECT_EQ(f.Edit->Lines().GetTextStr(), "one\r\ntwo\r\nthree\r\n");
    // An insertion the text limit cuts short is an error.
    f.Edit->SetMaxLength(20);
    EXPECT_THROW(lines.Add(u"far too long for the rest"), EOutOfResources);
}

TEST(RichEdit, CharacterAttributesOnASelectionAtTheCaretAndOfAMixedSelection) {
    REQUIRE_QT();
    TEditorForm f;
    FormatTwo(f);
    TTextAttributes98& a = f.Edit->SelAttributes();
    f.Select(4, 3);
    EXPECT_TRUE(a.GetBold());
    EXPECT_TRUE(a.GetItalic());
    EXPECT_EQ(a.GetUnderlineType(), 1);
    EXPECT_TRUE(a.GetStrikeOut());
    EXPECT_EQ(a.GetSize(), 18);
    EXPECT_EQ(a.GetName(), "DejaVu Serif");
    EXPECT_EQ(a.GetColor(), RGBColor(200, 0, 0));
    EXPECT_EQ(a.GetCharStyle(), 7);
    EXPECT_EQ(a.GetStyle(), fsBold | fsItalic | fsUnderline | fsStrikeOut);
    // The text around keeps its own.
    f.Select(0, 3);
    EXPECT_FALSE(a.GetBold());
    EXPECT_EQ(a.GetCharStyle(), 0);
    EXPECT_EQ(a.GetColor(), static_cast<TColor>(f.Edit->Font.Color)) << "the font's colour, from the default attributes";
    EXPECT_EQ(a.GetName(), "DejaVu Sans");
    EXPECT_EQ(a.GetSize(), 12);
    // A mixed selection: the first character's values, and the mask says
    // which attributes the whole selection shares.
    f.Select(2, 4);
    EXPECT_FALSE(a.GetBold());
    EXPECT_EQ(a.GetCharStyle(), 0);
    const uint32_t same = a.ConsistentAttributes();
    EXPECT_EQ(same & (CFM_BOLD | CFM_STYLE | CFM_SIZE | CFM_FACE | CFM_COLOR), 0u);
    EXPECT_NE(same & CFM_SUBSCRIPT, 0u);
    // One attribute at a time: bold leaves colour, face and style number.
    f.Select(4, 3);
    a.SetBold(false);
    EXPECT_EQ(a.GetColor(), RGBColor(200, 0, 0));
    EXPECT_EQ(a.GetName(), "DejaVu Serif");
    EXPECT_EQ(a.GetCharStyle(), 7);
    // Sizes are twips: 11 points is 220; 230 reads as 11.
    a.SetSize(11);
    CHARFORMAT2W raw;
    a.GetCharFormat(raw);
    EXPECT_EQ(raw.yHeight, 220);
    raw.dwMask = CFM_SIZE;
    raw.yHeight = 230;
    a.SetCharFormat(raw);
    EXPECT_EQ(a.GetSize(), 11);
    // The window's text colour is kept as such, not as its value.
    a.SetColor(clWindowText98);
    EXPECT_EQ(a.GetColor(), clWindowText98);
    // At the caret, word formatting formats the word around it.
    f.Select(10, 0);
    a.SetBold(true);
    f.Select(8, 5);
    EXPECT_TRUE(a.GetBold());
    f.Select(7, 1);
    EXPECT_FALSE(a.GetBold()) << "the blank before the word";
    // Without it, only what is typed next.
    f.Edit->WordFormatting = false;
    f.Select(1, 0);
    a.SetItalic(true);
    f.Select(0, 3);
    EXPECT_FALSE(a.GetItalic());
    // The default attributes follow the control's font.
    EXPECT_EQ(f.Edit->DefAttributes().GetName(), "DejaVu Sans");
    EXPECT_EQ(f.Edit->DefAttributes().GetSize(), 12);
    // With no window, every getter reads zero.
    TRichEdit98 loose(nullptr);
    EXPECT_EQ(loose.SelAttributes().GetColor(), 0);
    EXPECT_FALSE(loose.SelAttributes().GetBold());
    loose.SelAttributes().SetBold(true);
}

TEST(RichEdit, ParagraphAttributesOfTheSelectedParagraphs) {
    REQUIRE_QT();
    TEditorForm f;
    f.Edit->SetWideText(u"first\rsecond\rthird");
    TParaAttributes98& p = f.Edit->Paragraph();
    f.Select(8, 0);
    p.SetAlignment(taCenter);
    p.SetFirstIndent(10);
    p.SetLeftIndent(5);
    p.SetRightIndent(3);
    p.SetNumbering(nsBullet);
    p.SetTab(0, 36);
    p.SetTab(1, 72);
    EXPECT_EQ(p.GetAlignment(), taCenter);
    EXPECT_EQ(p.GetFirstIndent(), 10);
    EXPECT_EQ(p.GetLeftIndent(), 5);
    EXPECT_EQ(p.GetRightIndent(), 3);
    EXPECT_EQ(p.GetNumbering(), nsBullet);
    EXPECT_EQ(p.GetTabCount(), 2);
    EXPECT_EQ(p.GetTab(1), 72);
    f.Select(0, 2);
    EXPECT_EQ(p.GetAlignment(), taLeftJustify);
    EXPECT_EQ(p.GetNumbering(), nsNone);
    // Over all three: what they do not share is left out of the mask.
    f.Edit->SelectAll();
    const PARAFORMAT2 all = p.GetParaFormat();
    EXPECT_EQ(all.dwMask & (PFM_ALIGNMENT | PFM_NUMBERING | PFM_STARTINDENT), 0u);
    p.SetAlignment(taRightJustify);
    f.Select(15, 0);
    EXPECT_EQ(p.GetAlignment(), taRightJustify);
    EXPECT_EQ(p.GetFirstIndent(), 0);
    f.Select(8, 0);
    EXPECT_EQ(p.GetFirstIndent(), 10) << "the other attributes stay";
}

TEST(RichEdit, RtfStreamsOutAndBackInRunByRunAndOnlyTheSelectionWhenAsked) {
    REQUIRE_QT();
    TEditorForm f;
    FormatTwo(f);
    f.Select(14, 0);
    f.Edit->Paragraph().SetAlignment(taCenter);
    const std::vector<TCharAttributes> before = AttributesOf(f);
    const std::string rtf = SaveText(*f.Edit, ofRTF);
    ASSERT_TRUE(LooksLikeRtf(rtf)) << rtf;

    TEditorForm g;
    LoadText(*g.Edit, rtf);
    EXPECT_EQ(g.Edit->GetWideText(), f.Edit->GetWideText());
    EXPECT_EQ(AttributesOf(g), before);
    g.Select(14, 0);
    EXPECT_EQ(g.Edit->Paragraph().GetAlignment(), taCenter);
    // What the loaded text looks like, for a person to look at.
    g.Edit->SetSelStart(0);
    std::filesystem::create_directories(TW_ARTIFACT_DIR);
    EXPECT_TRUE(QtTesting::SaveWindowPicture(g.Form, TW_ARTIFACT_DIR "/richedit-loaded.png"));
    // The form property carries the same.
    EXPECT_TRUE(f.Edit->HasRTFProperty());
    TEditorForm h;
    EXPECT_FALSE(h.Edit->HasRTFProperty());
    h.Edit->ReadRTFProperty(f.Edit->WriteRTFProperty());
    EXPECT_EQ(AttributesOf(h), before);

    // Only the selection out, and a load that replaces only the selection.
    f.Select(4, 3);
    f.Edit->SelectedInOut = true;
    const std::string two = SaveText(*f.Edit, ofRTF);
    EXPECT_EQ(ReadRtf(two).PlainText(), u"two");
    g.Edit->SetWideText(u"[here]");
    g.Select(1, 4);
    g.Edit->SelectedInOut = true;
    LoadText(*g.Edit, two);
    EXPECT_EQ(g.Edit->GetWideText(), u"[two]");
    g.Select(1, 3);
    EXPECT_TRUE(g.Edit->SelAttributes().GetBold());
    EXPECT_EQ(g.Edit->SelAttributes().GetCharStyle(), 7);
    g.Edit->SelectedInOut = false;

    // Text that is not RTF loads as plain text; broken RTF reads safely.
    LoadText(*g.Edit, "plain {text}\r\nline two");
    EXPECT_EQ(g.Edit->GetWideText(), u"plain {text}\rline two");
    LoadText(*g.Edit, "{\\rtf1 {\\b bold}} trailing");
    EXPECT_EQ(g.Edit->GetWideText(), u"bold");
    LoadText(*g.Edit, "{\\rtf1 {{{\\i open");
    EXPECT_EQ(g.Edit->GetWideText(), u"open");
    // Plain text and UTF-16 out and in.
    g.Edit->SetWideText(u"é 中\rz");
    EXPECT_EQ(SaveText(*g.Edit, ofText), "\xE9 ?\r\nz");
    const std::string utf16 = SaveText(*g.Edit, ofUnicode);
    LoadText(*g.Edit, utf16, ifUnicode);
    EXPECT_EQ(g.Edit->GetWideText(), u"é 中\rz");
}

TEST(RichEdit, AddressesAreMarkedByTheWindowAndByTheScannerAndAClickReportsThem) {
    REQUIRE_QT();
    TEditorForm f;
    std::vector<WideString> clicked, moved;
    f.Edit->OnURLClick = [&](TComponent*, const WideString& url) { clicked.push_back(url); };
    f.Edit->OnURLMove = [&](TComponent*, const WideString& url) { moved.push_back(url); };
    auto clickAt = [&](int position) {
        TPoint at;
        f.Edit->SendToWindow(EM_POSFROMCHAR, reinterpret_cast<intptr_t>(&at), position);
        QtTesting::MouseMove(*f.Edit, at.X + 2, at.Y + 4);
        QtTesting::MouseClick(*f.Edit, at.X + 2, at.Y + 4);
    };

    // The window's own detection.
    f.Edit->SetAutoURLDetect(adDefault);
    f.Edit->SetWideText(u"see http://example.org/a now");
    f.Select(6, 3);
    EXPECT_TRUE(f.Edit->SelAttributes().GetLink());
    f.Select(0, 3);
    EXPECT_FALSE(f.Edit->SelAttributes().GetLink());
    clickAt(8);
    EXPECT_EQ(clicked, std::vector<WideString>{u"http://example.org/a"});
    EXPECT_EQ(moved, std::vector<WideString>{u"http://example.org/a"});
    clickAt(1);
    EXPECT_EQ(clicked.size(), 1u);

    // The control's own scanner, as the text is typed.
    f.Edit->SetAutoURLDetect(adExtended);
    f.Edit->Clear();
    f.Edit->SetFocus();
    QtTesting::KeyClick(*f.Edit, 0, u"go ftp://files.org and mail me@host.org or @host.org, http: my-site.com");
    const WideString text = f.Edit->GetWideText();
    auto linkOf = [&](const WideString& word) {
        f.Select(static_cast<int>(text.find(word)), static_cast<int>(word.size()));
        return f.Edit->SelAttributes().GetLink();
    };
    EXPECT_TRUE(linkOf(u"ftp://files.org"));
    f.Select(static_cast<int>(text.find(u"ftp")), 3);
    EXPECT_EQ(f.Edit->SelAttributes().GetColor(), f.Edit->URLColor);
    EXPECT_EQ(f.Edit->SelAttributes().GetUnderlineType(), 1);
    EXPECT_FALSE(linkOf(u"and"));
    EXPECT_TRUE(linkOf(u"me@host.org"));
    EXPECT_FALSE(linkOf(u"@host.org,"));
    EXPECT_FALSE(linkOf(u"http:"));
    EXPECT_FALSE(linkOf(u"my-site.com")) << "the hyphen ends the word";
    // The caret stayed at the end, and the link reports its click.
    f.Edit->SetSelStart(static_cast<int>(text.size()));
    clicked.clear();
    clickAt(static_cast<int>(text.find(u"files")));
    EXPECT_EQ(clicked, std::vector<WideString>{u"ftp://files.org"});
    // Without the e-mail type and a scheme the scanner marks nothing.
    f.Edit->SetCustomURLs(TURLCollection{});
    f.Edit->Clear();
    QtTesting::KeyClick(*f.Edit, 0, u"http://plain.org");
    f.Edit->SelectAll();
    EXPECT_FALSE(f.Edit->SelAttributes().GetLink());
}

TEST(RichEdit, UndoLimitZeroAndTheChangeEventAsTheEditorUsesThem) {
    REQUIRE_QT();
    TEditorForm f;
    int changes = 0;
    f.Edit->OnChange = [&](TComponent*) { ++changes; };
    f.Edit->SetWideText(u"start");
    EXPECT_EQ(changes, 1);
    f.Edit->SetFocus();
    f.Edit->SetSelStart(5);
    QtTesting::KeyClick(*f.Edit, 0, u"!");
    EXPECT_EQ(f.Edit->GetWideText(), u"start!");
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(f.Edit->CanUndo()) << "undo limit 0 keeps nothing";
    // Formatting is no change of the text; rebuilding the lines tells nobody.
    f.Edit->SelectAll();
    f.Edit->SelAttributes().SetBold(true);
    f.Edit->WideLines().SetTextStr(u"a\rb");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(f.Edit->GetWideText(), u"a\rb\r");
    // With a limit, a replacement through the control can be undone.
    f.Edit->SetUndoLimit(100);
    f.Edit->SetSelStart(0);
    f.Edit->SetSelText(u"new ");
    EXPECT_TRUE(f.Edit->CanUndo());
    f.Edit->Undo();
    EXPECT_EQ(f.Edit->GetWideText(), u"a\rb\r");
    // The selection-change event.
    int selections = 0;
    f.Edit->OnSelectionChange = [&](TComponent*) { ++selections; };
    f.Select(1, 1);
    EXPECT_GT(selections, 0);
}
