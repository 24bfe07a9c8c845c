// Rich text in and out: what our writer writes reads back run by run, an
// outside reader (unrtf) shows the same text and formatting, text in the
// style other rich edits write reads correctly, and damaged text is read
// safely.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "platform/rtf.h"
#include "platform/testing/test_support.h"

namespace {

TRtfRun Run(std::u16string text, const std::function<void(TRtfCharFormat&)>& set = nullptr) {
    TRtfRun run{std::move(text), {}};
    run.Format.Height = 240;
    run.Format.FaceName = u"Arial";
    if (set) set(run.Format);
    return run;
}

TRtfDocument Formatted() {
    TRtfDocument doc;
    TRtfParagraph first;
    first.Runs = {Run(u"Plain "), Run(u"bold", [](auto& f) { f.Bold = true; }),
                  Run(u" italic", [](auto& f) { f.Italic = true; }),
                  Run(u" under", [](auto& f) { f.Underline = 1; }),
                  Run(u" struck", [](auto& f) { f.StrikeOut = true; })};
    TRtfParagraph second;
    second.Alignment = TRtfAlignment::Center;
    second.LeftIndent = 720;
    second.FirstIndent = -360;
    second.RightIndent = 200;
    second.Tabs = {1440, 2880};
    second.Runs = {Run(u"Red 18pt Courier", [](auto& f) {
                       f.AutoColor = false;
                       f.Color = 0x0000FF;
                       f.Height = 360;
                       f.FaceName = u"Courier New";
                   }),
                   Run(u"\tstyle 7 on yellow", [](auto& f) {
                       f.Style = 7;
                       f.AutoBackColor = false;
                       f.BackColor = 0x00FFFF;
                   }),
                   Run(u"\x0B" u"x", [](auto& f) { f.SubSuperscript = 2; })};
    TRtfParagraph third;
    third.Numbering = 1;
    third.Runs = {Run(u"Wide: \U0001F600 中文 العربية é {braces} \\ back")};
    TRtfParagraph empty;
    doc.Paragraphs = {first, second, third, empty};
    return doc;
}

std::string RunUnrtf(const std::string& rtf, const std::string& mode) {
    const std::string folder = TestScratchFolder("rtf-test");
    const std::string path = folder + "/doc.rtf";
    std::ofstream(path, std::ios::binary) << rtf;
    std::string output;
    if (FILE* pipe = popen(("unrtf --nopict " + mode + " '" + path + "' 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

}  // namespace

TEST(Rtf, WhatWeWriteReadsBackRunByRunWithItsParagraphFormats) {
    const TRtfDocument doc = Formatted();
    const std::string rtf = WriteRtf(doc);
    const TRtfDocument back = ReadRtf(rtf);
    ASSERT_EQ(back.Paragraphs.size(), doc.Paragraphs.size()) << rtf;
    for (size_t p = 0; p < doc.Paragraphs.size(); ++p) {
        EXPECT_TRUE(back.Paragraphs[p].SameFormat(doc.Paragraphs[p])) << "paragraph " << p;
        ASSERT_EQ(back.Paragraphs[p].Runs.size(), doc.Paragraphs[p].Runs.size()) << "paragraph " << p;
        for (size_t r = 0; r < doc.Paragraphs[p].Runs.size(); ++r)
            EXPECT_EQ(back.Paragraphs[p].Runs[r], doc.Paragraphs[p].Runs[r]) << "paragraph " << p << " run " << r;
    }
    EXPECT_EQ(back.PlainText(), doc.PlainText());
    // A whole document's last mark is written too; the reader sees it as a
    // paragraph end.
    TRtfWriteOptions whole;
    whole.FinalParagraphMark = true;
    EXPECT_EQ(ReadRtf(WriteRtf(doc, whole)).Paragraphs.size(), doc.Paragraphs.size() + 1);
}

TEST(Rtf, UnrtfShowsTheTextAndTheFormattingWeWrite) {
    if (!ToolInstalled("unrtf")) {
        TW_SKIP_OR_FAIL() << "unrtf is missing (scripts/packages.d/platform.list)";
    }
    const std::string rtf = WriteRtf(Formatted());
    const std::string text = RunUnrtf(rtf, "--text");
    // The text form is Latin-1 with "?" for what Latin-1 lacks.
    for (const char* part : {"Plain bold italic under struck", "Red 18pt Courier", "style 7 on yellow", "Wide: ",
                             " {braces} \\ back"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
    EXPECT_EQ(text.find("Style 7"), std::string::npos) << "the style sheet is no text";
    // The HTML form shows every character (a surrogate pair as its two
    // halves) and the formatting.
    const std::string html = RunUnrtf(rtf, "--html");
    for (const char* part : {"<b>bold</b>", "<i> italic</i>", "<u> under</u>", "<s> struck</s>",
                             "<center><font face=\"Courier New\"><font size=\"5\"><font color=\"#ff0000\">Red 18pt",
                             "background:#ffff00", "<sup>", "&middot;", "&#55357;&#56832;", "&#20013;&#25991;",
                             "&#1575;&#1604;&#1593;&#1585;&#1576;&#1610;&#1577;", "&eacute; {braces} \\ back"})
        EXPECT_NE(html.find(part), std::string::npos) << part << " in\n" << html;
}

TEST(Rtf, TextInTheStyleOfAnotherRichEditReads) {
    // As a rich edit of the system writes it: a code page, a font table with
    // charsets, a generator group, toggles instead of groups, \'xx bytes of
    // two code pages, \uN with its fallback, a bullet, a final \par.
    const std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033{\\fonttbl{\\f0\\fnil\\fcharset0 Calibri;}"
        "{\\f1\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}{\\f2\\fnil\\fcharset2 Symbol;}}\r\n"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green128\\blue0;}\r\n"
        "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n"
        "\\pard\\sa200\\sl276\\slmult1\\f0\\fs22\\lang9 Caf\\'e9 \\b bold\\b0  \\cf1 red\\cf0  "
        "\\ul under\\ulnone  \\u8364?uro \\uc2\\u20013\\'d6\\'d0 \\uc1\\f1\\'d6\\'d0\\'ce\\'c4\\f0\\par\r\n"
        "\\pard{\\pntext\\f2\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf2\\pnindent0{\\pntxtb\\'B7}}\\fi-360\\li720\\qc "
        "\\cf2\\i item\\i0\\cf0\\par\r\n}\r\n\0";
    const TRtfDocument doc = ReadRtf(rtf);
    ASSERT_EQ(doc.Paragraphs.size(), 3u);
    EXPECT_EQ(doc.PlainText(), u"Café bold red under €uro 中 中文\ritem\r");
    const auto& runs = doc.Paragraphs[0].Runs;
    ASSERT_GE(runs.size(), 6u);
    EXPECT_EQ(runs[0].Text, u"Café ");
    EXPECT_EQ(runs[0].Format.FaceName, u"Calibri");
    EXPECT_EQ(runs[0].Format.Height, 220);
    EXPECT_EQ(runs[1].Text, u"bold");
    EXPECT_TRUE(runs[1].Format.Bold);
    EXPECT_EQ(runs[3].Text, u"red");
    EXPECT_FALSE(runs[3].Format.AutoColor);
    EXPECT_EQ(runs[3].Format.Color, 0x0000FFu);
    EXPECT_EQ(runs[5].Text, u"under");
    EXPECT_EQ(runs[5].Format.Underline, 1);
    EXPECT_EQ(runs.back().Format.FaceName, u"宋体");
    const TRtfParagraph& item = doc.Paragraphs[1];
    EXPECT_EQ(item.Numbering, 1);
    EXPECT_EQ(item.Alignment, TRtfAlignment::Center);
    EXPECT_EQ(item.LeftIndent, 720);
    EXPECT_EQ(item.FirstIndent, -360);
    ASSERT_EQ(item.Runs.size(), 1u);
    EXPECT_TRUE(item.Runs[0].Format.Italic);
    EXPECT_EQ(item.Runs[0].Format.Color, 0x008000u);
}

TEST(Rtf, DamagedTextIsRefusedOrReadSafely) {
    // Not RTF at all: refused, so that a caller can take it as plain text.
    for (const char* bad : {"", "plain text", "{\\rt", "rtf1{", "{rtf1}"})
        EXPECT_THROW(ReadRtf(bad), ERtfError) << bad;
    EXPECT_THROW(ReadRtf("{\\rtf1 " + std::string(5000, '{')), ERtfError);
    EXPECT_THROW(ReadRtf("{\\rtf1 \\" + std::string(40, 'a') + " x}"), ERtfError);
    struct TCase {
        const char* rtf;
        const char16_t* text;
    };
    const TCase cases[] = {
        {"{\\rtf1 abc", u"abc"},                       // truncated: what was there
        {"{\\rtf1 {\\b bold", u"bold"},                // open groups at the end
        {"{\\rtf1 a}}}} b", u"a"},                     // extra closing braces end the document
        {"{\\rtf1 a\\'zzb\\'4", u"azzb4"},             // a broken escape is dropped, the rest is text
        {"{\\rtf1 \\u-10179?\\u-8704?}", u"\U0001F600"},  // a surrogate pair as two signed numbers
        {"{\\rtf1 \\uc5\\u65 x}", u"A"},                // fallback skipping ends with the group
        {"{\\rtf1 \\fs-5 \\cf99 \\f77 \\u99999999999 ?x}", u"\xFFFFx"},  // numbers out of range
        {"{\\rtf1 {\\*\\unknown {nested} text} kept\\", u" kept"},
        {"{\\rtf1 {\\fonttbl{\\f0 A", u""},
    };
    for (const TCase& c : cases) {
        TRtfDocument doc;
        ASSERT_NO_THROW(doc = ReadRtf(c.rtf)) << c.rtf;
        EXPECT_EQ(doc.PlainText(), c.text) << c.rtf;
    }
}
