// The rich-edit window class "RICHEDIT20W": its class messages, the
// records they carry and the notifications the window sends its control.
// Text is wide (UTF-16) on every message; paragraphs end in one CR. A
// plugin that has no rich-edit widget answers 0 to all of them.
#pragma once

#include <cstdint>

#include "platform/ui/ctrl_messages.h"
#include "platform/ui/messages.h"

constexpr const char* RICHEDIT_CLASS = "RICHEDIT20W";

// Edit messages the rich edit shares with the plain edit (and those of
// ctrl_messages.h).
constexpr uint32_t EM_SCROLL = 0x00B5;
constexpr uint32_t EM_CANUNDO = 0x00C6;
constexpr uint32_t EM_UNDO = 0x00C7;
constexpr uint32_t EM_LINEFROMCHAR = 0x00C9;
constexpr uint32_t EM_EMPTYUNDOBUFFER = 0x00CD;
constexpr uint32_t EM_GETFIRSTVISIBLELINE = 0x00CE;
constexpr uint32_t EM_POSFROMCHAR = 0x00D6;  // WParam: TPoint*, LParam: character
constexpr uint32_t EM_CHARFROMPOS = 0x00D7;  // LParam: const TPoint*
constexpr uint32_t WM_SETREDRAW = 0x000B;

// Rich-edit messages.
constexpr uint32_t EM_CANPASTE = WM_USER + 50;
constexpr uint32_t EM_EXGETSEL = WM_USER + 52;      // LParam: CHARRANGE*
constexpr uint32_t EM_EXLIMITTEXT = WM_USER + 53;   // LParam: the limit in characters
constexpr uint32_t EM_EXLINEFROMCHAR = WM_USER + 54;
constexpr uint32_t EM_EXSETSEL = WM_USER + 55;      // LParam: const CHARRANGE*
constexpr uint32_t EM_GETCHARFORMAT = WM_USER + 58;  // WParam: SCF_*, LParam: CHARFORMAT2W*
constexpr uint32_t EM_GETEVENTMASK = WM_USER + 59;
constexpr uint32_t EM_GETOLEINTERFACE = WM_USER + 60;
constexpr uint32_t EM_GETPARAFORMAT = WM_USER + 61;  // LParam: PARAFORMAT2*
constexpr uint32_t EM_GETSELTEXT = WM_USER + 62;     // LParam: char16_t buffer
constexpr uint32_t EM_HIDESELECTION = WM_USER + 63;
constexpr uint32_t EM_SETBKGNDCOLOR = WM_USER + 67;
constexpr uint32_t EM_SETCHARFORMAT = WM_USER + 68;
constexpr uint32_t EM_SETEVENTMASK = WM_USER + 69;
constexpr uint32_t EM_SETOLECALLBACK = WM_USER + 70;
constexpr uint32_t EM_SETPARAFORMAT = WM_USER + 71;
constexpr uint32_t EM_SETTARGETDEVICE = WM_USER + 72;  // LParam: 0 wraps at the window, 1 never
constexpr uint32_t EM_STREAMIN = WM_USER + 73;        // WParam: SF_*, LParam: EDITSTREAM*
constexpr uint32_t EM_STREAMOUT = WM_USER + 74;
constexpr uint32_t EM_GETTEXTRANGE = WM_USER + 75;  // LParam: TEXTRANGEW*
constexpr uint32_t EM_SETOPTIONS = WM_USER + 77;
constexpr uint32_t EM_GETOPTIONS = WM_USER + 78;
constexpr uint32_t EM_SETUNDOLIMIT = WM_USER + 82;
constexpr uint32_t EM_REDO = WM_USER + 84;
constexpr uint32_t EM_CANREDO = WM_USER + 85;
constexpr uint32_t EM_AUTOURLDETECT = WM_USER + 91;
constexpr uint32_t EM_GETTEXTEX = WM_USER + 94;         // WParam: GETTEXTEX*, LParam: char16_t buffer
constexpr uint32_t EM_GETTEXTLENGTHEX = WM_USER + 95;   // WParam: GETTEXTLENGTHEX*
constexpr uint32_t EM_SHOWSCROLLBAR = WM_USER + 96;     // WParam: SB_HORZ or SB_VERT, LParam: shown
constexpr uint32_t EM_SETLANGOPTIONS = WM_USER + 120;
constexpr uint32_t EM_GETLANGOPTIONS = WM_USER + 121;

// Notifications: EN_CHANGE comes as CN_COMMAND, the others as CN_NOTIFY
// with a record that begins with an NMHDR.
constexpr uint32_t EN_REQUESTRESIZE = 0x0701;
constexpr uint32_t EN_SELCHANGE = 0x0702;
constexpr uint32_t EN_PROTECTED = 0x0704;
constexpr uint32_t EN_LINK = 0x070B;

// Event mask bits (EM_SETEVENTMASK).
constexpr uint32_t ENM_CHANGE = 0x00000001;
constexpr uint32_t ENM_REQUESTRESIZE = 0x00040000;
constexpr uint32_t ENM_SELCHANGE = 0x00080000;
constexpr uint32_t ENM_PROTECTED = 0x00200000;
constexpr uint32_t ENM_LINK = 0x04000000;

// Character-format targets (WParam of EM_GETCHARFORMAT / EM_SETCHARFORMAT).
constexpr uintptr_t SCF_DEFAULT = 0x0000;
constexpr uintptr_t SCF_SELECTION = 0x0001;
constexpr uintptr_t SCF_WORD = 0x0002;
constexpr uintptr_t SCF_ALL = 0x0004;
constexpr uintptr_t SCF_USEUIRULES = 0x0008;

// Stream formats (WParam of EM_STREAMIN / EM_STREAMOUT).
constexpr uintptr_t SF_TEXT = 0x0001;
constexpr uintptr_t SF_RTF = 0x0002;
constexpr uintptr_t SF_RTFNOOBJS = 0x0003;
constexpr uintptr_t SF_TEXTIZED = 0x0004;
constexpr uintptr_t SF_UNICODE = 0x0010;
constexpr uintptr_t SFF_PLAINRTF = 0x4000;
constexpr uintptr_t SFF_SELECTION = 0x8000;

// Options (EM_SETOPTIONS).
constexpr uintptr_t ECOOP_SET = 1, ECOOP_OR = 2, ECOOP_AND = 3, ECOOP_XOR = 4;
constexpr uint32_t ECO_READONLY = 0x00000800;
constexpr uint32_t ECO_SELECTIONBAR = 0x01000000;

// Text-length flags (GETTEXTLENGTHEX) and code page 1200, wide text.
constexpr uint32_t GTL_DEFAULT = 0, GTL_USECRLF = 1;
constexpr uint32_t GT_DEFAULT = 0, GT_USECRLF = 1;
constexpr uint32_t CP_UNICODE = 1200;

struct CHARRANGE {
    int32_t cpMin = 0;
    int32_t cpMax = 0;  // -1: the end of the text
};

struct TEXTRANGEW {
    CHARRANGE chrg;
    char16_t* lpstrText = nullptr;  // room for the range and a NUL
};

struct GETTEXTEX {
    uint32_t cb = 0;  // bytes of the buffer
    uint32_t flags = GT_DEFAULT;
    uint32_t codepage = CP_UNICODE;
    const char* lpDefaultChar = nullptr;
    int32_t* lpUsedDefChar = nullptr;
};

struct GETTEXTLENGTHEX {
    uint32_t flags = GTL_DEFAULT;
    uint32_t codepage = CP_UNICODE;
};

// A chunk of a stream: the callback fills (stream in) or takes (stream out)
// up to cb bytes and says how many in *pcb; non-zero ends the stream with
// that error.
using EDITSTREAMCALLBACK = uint32_t (*)(uintptr_t cookie, uint8_t* buffer, int32_t cb, int32_t* pcb);
struct EDITSTREAM {
    uintptr_t dwCookie = 0;
    uint32_t dwError = 0;
    EDITSTREAMCALLBACK pfnCallback = nullptr;
};

// Character format: mask bits say which fields count.
constexpr uint32_t CFM_BOLD = 0x00000001;
constexpr uint32_t CFM_ITALIC = 0x00000002;
constexpr uint32_t CFM_UNDERLINE = 0x00000004;
constexpr uint32_t CFM_STRIKEOUT = 0x00000008;
constexpr uint32_t CFM_PROTECTED = 0x00000010;
constexpr uint32_t CFM_LINK = 0x00000020;
constexpr uint32_t CFM_SMALLCAPS = 0x00000040;
constexpr uint32_t CFM_ALLCAPS = 0x00000080;
constexpr uint32_t CFM_HIDDEN = 0x00000100;
constexpr uint32_t CFM_OUTLINE = 0x00000200;
constexpr uint32_t CFM_SHADOW = 0x00000400;
constexpr uint32_t CFM_EMBOSS = 0x00000800;
constexpr uint32_t CFM_IMPRINT = 0x00001000;
constexpr uint32_t CFM_SUBSCRIPT = 0x00030000;  // with CFM_SUPERSCRIPT
constexpr uint32_t CFM_ANIMATION = 0x00040000;
constexpr uint32_t CFM_STYLE = 0x00080000;
constexpr uint32_t CFM_KERNING = 0x00100000;
constexpr uint32_t CFM_SPACING = 0x00200000;
constexpr uint32_t CFM_WEIGHT = 0x00400000;
constexpr uint32_t CFM_UNDERLINETYPE = 0x00800000;
constexpr uint32_t CFM_LCID = 0x02000000;
constexpr uint32_t CFM_BACKCOLOR = 0x04000000;
constexpr uint32_t CFM_CHARSET = 0x08000000;
constexpr uint32_t CFM_OFFSET = 0x10000000;
constexpr uint32_t CFM_FACE = 0x20000000;
constexpr uint32_t CFM_COLOR = 0x40000000;
constexpr uint32_t CFM_SIZE = 0x80000000;

constexpr uint32_t CFE_BOLD = 0x00000001;
constexpr uint32_t CFE_ITALIC = 0x00000002;
constexpr uint32_t CFE_UNDERLINE = 0x00000004;
constexpr uint32_t CFE_STRIKEOUT = 0x00000008;
constexpr uint32_t CFE_PROTECTED = 0x00000010;
constexpr uint32_t CFE_LINK = 0x00000020;
constexpr uint32_t CFE_SMALLCAPS = 0x00000040;
constexpr uint32_t CFE_ALLCAPS = 0x00000080;
constexpr uint32_t CFE_HIDDEN = 0x00000100;
constexpr uint32_t CFE_OUTLINE = 0x00000200;
constexpr uint32_t CFE_SHADOW = 0x00000400;
constexpr uint32_t CFE_EMBOSS = 0x00000800;
constexpr uint32_t CFE_IMPRINT = 0x00001000;
constexpr uint32_t CFE_SUBSCRIPT = 0x00010000;
constexpr uint32_t CFE_SUPERSCRIPT = 0x00020000;
constexpr uint32_t CFE_AUTOBACKCOLOR = 0x04000000;
constexpr uint32_t CFE_AUTOCOLOR = 0x40000000;

// Underline types (bUnderlineType).
constexpr uint8_t CFU_UNDERLINENONE = 0, CFU_UNDERLINE = 1, CFU_UNDERLINEWORD = 2, CFU_UNDERLINEDOUBLE = 3,
                  CFU_UNDERLINEDOTTED = 4;

struct CHARFORMAT2W {
    uint32_t cbSize = sizeof(CHARFORMAT2W);
    uint32_t dwMask = 0;
    uint32_t dwEffects = 0;
    int32_t yHeight = 0;  // twips
    int32_t yOffset = 0;  // twips, positive raises
    uint32_t crTextColor = 0;  // 0x00BBGGRR
    uint8_t bCharSet = 0;
    uint8_t bPitchAndFamily = 0;
    char16_t szFaceName[32] = {};
    uint16_t wWeight = 0;
    int16_t sSpacing = 0;  // twips
    uint32_t crBackColor = 0;
    uint32_t lcid = 0;
    uint32_t dwReserved = 0;
    int16_t sStyle = 0;  // a number the window keeps for its owner
    uint16_t wKerning = 0;
    uint8_t bUnderlineType = 0;
    uint8_t bAnimation = 0;
    uint8_t bRevAuthor = 0;
    uint8_t bReserved1 = 0;
};
static_assert(sizeof(CHARFORMAT2W) == 116);

// Paragraph format.
constexpr uint32_t PFM_STARTINDENT = 0x00000001;
constexpr uint32_t PFM_RIGHTINDENT = 0x00000002;
constexpr uint32_t PFM_OFFSET = 0x00000004;
constexpr uint32_t PFM_ALIGNMENT = 0x00000008;
constexpr uint32_t PFM_TABSTOPS = 0x00000010;
constexpr uint32_t PFM_NUMBERING = 0x00000020;
constexpr uint32_t PFM_SPACEBEFORE = 0x00000040;
constexpr uint32_t PFM_SPACEAFTER = 0x00000080;
constexpr uint32_t PFM_NUMBERINGSTART = 0x00008000;
constexpr uint32_t PFM_OFFSETINDENT = 0x80000000;  // dxStartIndent is added to the present one

constexpr uint16_t PFA_LEFT = 1, PFA_RIGHT = 2, PFA_CENTER = 3, PFA_JUSTIFY = 4;
constexpr uint16_t PFN_BULLET = 1, PFN_ARABIC = 2, PFN_LCLETTER = 3, PFN_UCLETTER = 4, PFN_LCROMAN = 5,
                   PFN_UCROMAN = 6;
constexpr int MAX_TAB_STOPS = 32;

struct PARAFORMAT2 {
    uint32_t cbSize = sizeof(PARAFORMAT2);
    uint32_t dwMask = 0;
    uint16_t wNumbering = 0;
    uint16_t wEffects = 0;
    int32_t dxStartIndent = 0;  // twips: the first line's indent
    int32_t dxRightIndent = 0;
    int32_t dxOffset = 0;  // twips: the other lines against the first
    uint16_t wAlignment = 0;
    int16_t cTabCount = 0;
    int32_t rgxTabs[MAX_TAB_STOPS] = {};
    int32_t dySpaceBefore = 0;
    int32_t dySpaceAfter = 0;
    int32_t dyLineSpacing = 0;
    int16_t sStyle = 0;
    uint8_t bLineSpacingRule = 0;
    uint8_t bOutlineLevel = 0;
    uint16_t wShadingWeight = 0;
    uint16_t wShadingStyle = 0;
    uint16_t wNumberingStart = 0;
    uint16_t wNumberingStyle = 0;
    uint16_t wNumberingTab = 0;
    uint16_t wBorderSpace = 0;
    uint16_t wBorderWidth = 0;
    uint16_t wBorders = 0;
};

struct NMHDR {
    HWND hwndFrom = 0;
    uintptr_t idFrom = 0;
    uint32_t code = 0;
};

// EN_LINK: a mouse message over text with the link effect.
struct ENLINK {
    NMHDR nmhdr;
    uint32_t msg = 0;
    intptr_t wParam = 0;
    intptr_t lParam = 0;
    CHARRANGE chrg;
};

// EN_SELCHANGE.
constexpr uint16_t SEL_EMPTY = 0, SEL_TEXT = 1, SEL_MULTICHAR = 4;
struct SELCHANGE {
    NMHDR nmhdr;
    CHARRANGE chrg;
    uint16_t seltyp = 0;
};
