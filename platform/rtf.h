// Rich text (RTF) in and out, for the rich-edit window: the subset such a
// window keeps. Paragraphs of runs with their character formats (bold,
// italic, underline, strike-out, sub- and superscript, size, face, text and
// back colour, and a style number the window keeps for its owner), the
// paragraph's alignment, indents, tab stops and bullets or numbering. Text
// is UTF-16; a line break inside a paragraph is the character 0x0B, a tab
// 0x09.
//
// The reader takes what other rich edits and word processors write: font
// and colour tables, \uN with \ucN, 8-bit text through the code page of the
// font's charset (else \ansicpg, else Windows-1252), and it skips the
// ignorable groups (\*) and the destinations it does not keep (pictures,
// headers, the document information, style sheets). It reads every byte
// through bounds checks: a text that does not begin as RTF is refused with
// ERtfError; truncated text gives what was read up to its end; text after
// the closing brace of the document is ignored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

class ERtfError : public Exception { using Exception::Exception; };

struct TRtfCharFormat {
    bool Bold = false, Italic = false, StrikeOut = false;
    uint8_t Underline = 0;  // 0 none, 1 single, 2 words, 3 double, 4 dotted
    uint8_t SubSuperscript = 0;  // 0 none, 1 subscript, 2 superscript
    int32_t Height = 0;  // twips; 0: the reader's default (12 points)
    std::u16string FaceName;  // empty: the document's default font
    bool AutoColor = true;
    uint32_t Color = 0;  // 0x00BBGGRR
    bool AutoBackColor = true;
    uint32_t BackColor = 0;
    int16_t Style = 0;  // \csN
    bool operator==(const TRtfCharFormat&) const = default;
};

struct TRtfRun {
    std::u16string Text;
    TRtfCharFormat Format;
    bool operator==(const TRtfRun&) const = default;
};

enum class TRtfAlignment : uint8_t { Left, Right, Center, Justify };

struct TRtfParagraph {
    TRtfAlignment Alignment = TRtfAlignment::Left;
    int32_t LeftIndent = 0;   // twips, every line (\li)
    int32_t FirstIndent = 0;  // twips, the first line against the others (\fi)
    int32_t RightIndent = 0;  // \ri
    uint16_t Numbering = 0;   // 0 none, 1 bullet, 2 arabic, 3/4 lower/upper letters, 5/6 lower/upper roman
    std::vector<int32_t> Tabs;  // twips
    std::vector<TRtfRun> Runs;
    bool SameFormat(const TRtfParagraph& other) const {
        return Alignment == other.Alignment && LeftIndent == other.LeftIndent && FirstIndent == other.FirstIndent &&
               RightIndent == other.RightIndent && Numbering == other.Numbering && Tabs == other.Tabs;
    }
    bool operator==(const TRtfParagraph&) const = default;
};

// Paragraphs in order; every paragraph but the last ended in \par. An empty
// text is one empty paragraph.
struct TRtfDocument {
    std::vector<TRtfParagraph> Paragraphs;
    // The text, paragraphs joined with CR.
    std::u16string PlainText() const;
};

TRtfDocument ReadRtf(std::string_view bytes);
// Whether the bytes begin as an RTF document (blanks, then "{\rtf").
bool LooksLikeRtf(std::string_view bytes);

struct TRtfWriteOptions {
    // The font of runs without a face name.
    std::u16string DefaultFace = u"Arial";
    // Writes \par after the last paragraph too (a whole document, whose
    // last paragraph mark a reader takes as the end of its text).
    bool FinalParagraphMark = false;
};
std::string WriteRtf(const TRtfDocument& document, const TRtfWriteOptions& options = {});
