// Class messages and notifications of the standard and common controls
// beyond the edit and push button of messages.h: the memo's lines, the list
// and combo boxes, the list view in report mode, the tab control and the
// up-down. Numbers are those the toolkit's code was written against; texts
// travel as zero-terminated wide strings, records as the small structures
// below (the platform's own shape, not the original's binary layout).
#pragma once

#include <cstdint>

#include "platform/geometry.h"
#include "platform/ui/messages.h"

class TBitmap;

// Edit and memo.
constexpr uint32_t EM_GETLINECOUNT = 0x00BA;
constexpr uint32_t EM_LINEINDEX = 0x00BB;
constexpr uint32_t EM_LINELENGTH = 0x00C1;
constexpr uint32_t EM_GETLINE = 0x00C4;  // WParam line; LParam buffer whose first unit holds its size
constexpr uint32_t EM_LIMITTEXT = 0x00C5;
constexpr uint32_t EM_SETPASSWORDCHAR = 0x00CC;
constexpr uint32_t EM_SETREADONLY = 0x00CF;
constexpr uint32_t EM_GETLIMITTEXT = 0x00D5;
constexpr uint32_t ES_PASSWORD = 0x20;
constexpr uint32_t ES_AUTOHSCROLL = 0x80;
constexpr int EN_MAXTEXT = 0x0501;

// Buttons.
constexpr uint32_t BS_CHECKBOX = 0x2;
constexpr uint32_t BS_RADIOBUTTON = 0x4;
constexpr uint32_t BS_OWNERDRAW = 0xB;
constexpr intptr_t BST_UNCHECKED = 0, BST_CHECKED = 1;

// Owner-drawn items: the window asks its control for each item's height
// (CN_MEASUREITEM, LParam TMeasureItemStruct*) and has it paint the item
// (CN_DRAWITEM, LParam TDrawItemStruct*) into a bitmap of the item's size.
constexpr uint32_t WM_DRAWITEM = 0x002B;
constexpr uint32_t WM_MEASUREITEM = 0x002C;
constexpr uint32_t CN_DRAWITEM = CN_BASE + WM_DRAWITEM;
constexpr uint32_t CN_MEASUREITEM = CN_BASE + WM_MEASUREITEM;
constexpr int ODT_LISTBOX = 2, ODT_COMBOBOX = 3;
constexpr uint32_t ODA_DRAWENTIRE = 0x1;
constexpr uint32_t ODS_SELECTED = 0x1, ODS_DISABLED = 0x4, ODS_FOCUS = 0x10, ODS_COMBOBOXEDIT = 0x1000;

struct TDrawItemStruct {
    int CtlType = 0;
    int ItemID = -1;  // -1: no item (an empty combo box's edit part)
    uint32_t ItemAction = ODA_DRAWENTIRE;
    uint32_t ItemState = 0;
    TBitmap* Surface = nullptr;  // what the control paints on, the item's size
    TRect Item{};                // the item's rectangle on the surface
    intptr_t ItemData = 0;
};

struct TMeasureItemStruct {
    int CtlType = 0;
    int ItemID = -1;
    int ItemWidth = 0;
    int ItemHeight = 0;  // in: the fixed height; out: this item's
    intptr_t ItemData = 0;
};

// List box.
constexpr uint32_t LBS_SORT = 0x2;
constexpr uint32_t LBS_MULTIPLESEL = 0x8;
constexpr uint32_t LBS_OWNERDRAWFIXED = 0x10;
constexpr uint32_t LBS_OWNERDRAWVARIABLE = 0x20;
constexpr uint32_t LBS_HASSTRINGS = 0x40;
// No items of its own, only a count (LB_SETCOUNT): the control has the
// texts and paints the items.
constexpr uint32_t LBS_NODATA = 0x2000;
constexpr uint32_t LB_SETITEMHEIGHT = 0x01A0;  // WParam item (fixed: 0); LParam height
constexpr uint32_t LB_GETITEMHEIGHT = 0x01A1;
constexpr uint32_t LB_SETCOUNT = 0x01A7;
constexpr uint32_t LB_ADDSTRING = 0x0180;     // LParam text; answers the index
constexpr uint32_t LB_INSERTSTRING = 0x0181;  // WParam index (-1: the end)
constexpr uint32_t LB_DELETESTRING = 0x0182;
constexpr uint32_t LB_RESETCONTENT = 0x0184;
constexpr uint32_t LB_SETCURSEL = 0x0186;
constexpr uint32_t LB_GETSEL = 0x0187;
constexpr uint32_t LB_GETCURSEL = 0x0188;
constexpr uint32_t LB_GETTEXT = 0x0189;  // LParam buffer large enough for LB_GETTEXTLEN + 1
constexpr uint32_t LB_GETTEXTLEN = 0x018A;
constexpr uint32_t LB_GETCOUNT = 0x018B;
constexpr uint32_t LB_GETTOPINDEX = 0x018E;
constexpr uint32_t LB_FINDSTRING = 0x018F;  // WParam start (-1: the top); prefix, any case
constexpr uint32_t LB_SETTOPINDEX = 0x0197;
constexpr uint32_t LB_GETITEMDATA = 0x0199;
constexpr uint32_t LB_SETITEMDATA = 0x019A;
constexpr uint32_t LB_FINDSTRINGEXACT = 0x01A2;
constexpr intptr_t LB_ERR = -1;
constexpr intptr_t LB_ERRSPACE = -2;
constexpr int LBN_SELCHANGE = 1;
constexpr int LBN_DBLCLK = 2;

// Combo box.
constexpr uint32_t CBS_SIMPLE = 0x1;
constexpr uint32_t CBS_DROPDOWN = 0x2;
constexpr uint32_t CBS_DROPDOWNLIST = 0x3;
constexpr uint32_t CBS_OWNERDRAWFIXED = 0x10;
constexpr uint32_t CBS_OWNERDRAWVARIABLE = 0x20;
constexpr uint32_t CBS_HASSTRINGS = 0x200;
constexpr uint32_t CBS_SORT = 0x100;
constexpr uint32_t CB_SETITEMHEIGHT = 0x0153;  // WParam -1: the edit part, else an item; LParam height
constexpr uint32_t CB_GETITEMHEIGHT = 0x0154;
constexpr uint32_t CB_GETEDITSEL = 0x0140;
constexpr uint32_t CB_LIMITTEXT = 0x0141;
constexpr uint32_t CB_SETEDITSEL = 0x0142;  // LParam: start low word, end high word (-1: the end)
constexpr uint32_t CB_ADDSTRING = 0x0143;
constexpr uint32_t CB_DELETESTRING = 0x0144;
constexpr uint32_t CB_GETCOUNT = 0x0146;
constexpr uint32_t CB_GETCURSEL = 0x0147;
constexpr uint32_t CB_GETLBTEXT = 0x0148;
constexpr uint32_t CB_GETLBTEXTLEN = 0x0149;
constexpr uint32_t CB_INSERTSTRING = 0x014A;
constexpr uint32_t CB_RESETCONTENT = 0x014B;
constexpr uint32_t CB_FINDSTRING = 0x014C;
constexpr uint32_t CB_SETCURSEL = 0x014E;
constexpr uint32_t CB_SHOWDROPDOWN = 0x014F;
constexpr uint32_t CB_GETITEMDATA = 0x0150;
constexpr uint32_t CB_SETITEMDATA = 0x0151;
constexpr uint32_t CB_GETDROPPEDSTATE = 0x0157;
constexpr uint32_t CB_FINDSTRINGEXACT = 0x0158;
constexpr intptr_t CB_ERR = -1;
constexpr intptr_t CB_ERRSPACE = -2;
constexpr int CBN_SELCHANGE = 1;
constexpr int CBN_EDITCHANGE = 5;
constexpr int CBN_DROPDOWN = 7;
constexpr int CBN_CLOSEUP = 8;

// Every WM_NOTIFY record starts with this header.
struct TNMHdr {
    HWND From = 0;
    int Code = 0;
};

// List view (report mode).
constexpr uint32_t LVS_REPORT = 0x1;
constexpr uint32_t LVS_SINGLESEL = 0x4;
constexpr uint32_t LVS_SHOWSELALWAYS = 0x8;
constexpr uint32_t LVS_EDITLABELS = 0x200;
// Owner data: the window holds only a count (LVM_SETITEMCOUNT) and asks the
// control for each text it shows (LVN_GETDISPINFOW) and for the item a
// typed prefix finds (LVN_ODFINDITEMW).
constexpr uint32_t LVS_OWNERDATA = 0x1000;
constexpr uint32_t LVS_NOSORTHEADER = 0x8000;
constexpr uint32_t LVM_FIRST = 0x1000;
constexpr uint32_t LVM_GETITEMCOUNT = LVM_FIRST + 4;
constexpr uint32_t LVM_DELETEITEM = LVM_FIRST + 8;
constexpr uint32_t LVM_DELETEALLITEMS = LVM_FIRST + 9;
constexpr uint32_t LVM_EDITLABELW = LVM_FIRST + 118;
constexpr uint32_t LVM_GETCOLUMNWIDTH = LVM_FIRST + 29;
constexpr uint32_t LVM_SETCOLUMNWIDTH = LVM_FIRST + 30;
constexpr uint32_t LVM_SETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 54;
constexpr uint32_t LVM_GETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 55;
constexpr uint32_t LVM_SETITEMSTATE = LVM_FIRST + 43;
constexpr uint32_t LVM_GETITEMSTATE = LVM_FIRST + 44;
constexpr uint32_t LVM_SORTITEMS = LVM_FIRST + 48;  // WParam data; LParam TLVCompare
constexpr uint32_t LVM_GETNEXTITEM = LVM_FIRST + 12;
constexpr uint32_t LVM_SETITEMCOUNT = LVM_FIRST + 47;  // WParam the count
constexpr uint32_t LVM_REDRAWITEMS = LVM_FIRST + 21;   // WParam first, LParam last
constexpr uint32_t LVM_ENSUREVISIBLE = LVM_FIRST + 19;
constexpr uint32_t LVM_GETITEMW = LVM_FIRST + 75;
constexpr uint32_t LVM_SETITEMW = LVM_FIRST + 76;
constexpr uint32_t LVM_INSERTITEMW = LVM_FIRST + 77;
constexpr uint32_t LVM_GETCOLUMNW = LVM_FIRST + 95;
constexpr uint32_t LVM_SETCOLUMNW = LVM_FIRST + 96;
constexpr uint32_t LVM_INSERTCOLUMNW = LVM_FIRST + 97;
constexpr uint32_t LVM_DELETECOLUMN = LVM_FIRST + 28;
constexpr uint32_t LVM_SETITEMTEXTW = LVM_FIRST + 116;
constexpr uint32_t LVM_GETITEMTEXTW = LVM_FIRST + 115;
constexpr uint32_t LVS_EX_GRIDLINES = 0x1;
constexpr uint32_t LVS_EX_SUBITEMIMAGES = 0x2;
constexpr uint32_t LVS_EX_CHECKBOXES = 0x4;
constexpr uint32_t LVS_EX_FULLROWSELECT = 0x20;
constexpr uint32_t LVS_EX_INFOTIP = 0x400;
constexpr uint32_t LVIF_TEXT = 0x1;
constexpr uint32_t LVIF_PARAM = 0x4;
constexpr uint32_t LVIF_STATE = 0x8;
constexpr uint32_t LVIS_FOCUSED = 0x1;
constexpr uint32_t LVIS_SELECTED = 0x2;
constexpr uint32_t LVNI_SELECTED = 0x2;
constexpr uint32_t LVCF_FMT = 0x1;
constexpr uint32_t LVCF_WIDTH = 0x2;
constexpr uint32_t LVCF_TEXT = 0x4;

struct TLVItem {
    uint32_t Mask = 0;
    int Item = 0;
    int SubItem = 0;
    uint32_t State = 0;
    uint32_t StateMask = 0;
    const char16_t* Text = nullptr;  // in: the text; out (LVM_GETITEMTEXTW): filled up to TextMax
    char16_t* Buffer = nullptr;
    int TextMax = 0;
    intptr_t Param = 0;
};

struct TLVColumn {
    uint32_t Mask = 0;
    int Format = 0;
    int Width = 0;
    const char16_t* Text = nullptr;
};

// The comparison of LVM_SORTITEMS: the two items' Params and the data.
using TLVCompare = int (*)(intptr_t param1, intptr_t param2, intptr_t data);

constexpr int LVN_FIRST = -100;
constexpr int LVN_ITEMCHANGING = LVN_FIRST - 0;
constexpr int LVN_ITEMCHANGED = LVN_FIRST - 1;
constexpr int LVN_COLUMNCLICK = LVN_FIRST - 8;
constexpr int LVN_BEGINLABELEDITW = LVN_FIRST - 75;
constexpr int LVN_ENDLABELEDITW = LVN_FIRST - 76;
constexpr int LVN_GETDISPINFOW = LVN_FIRST - 77;
constexpr int LVN_ODFINDITEMW = LVN_FIRST - 79;
constexpr uint32_t LVFI_STRING = 0x2;
constexpr uint32_t LVFI_PARTIAL = 0x8;
constexpr uint32_t LVFI_WRAP = 0x20;

struct TNMListView {
    TNMHdr Hdr;
    int Item = -1;
    int SubItem = 0;
    uint32_t NewState = 0;
    uint32_t OldState = 0;
    uint32_t Changed = 0;
    intptr_t Param = 0;
};

// The label edit: Text is null when the edit was cancelled; the answer 0
// to LVN_ENDLABELEDITW refuses the new text, to LVN_BEGINLABELEDITW allows
// the edit.
struct TNMLVDispInfo {
    TNMHdr Hdr;
    TLVItem Item;
};

// LVN_ODFINDITEMW: find the item from Start on (answer its index, or -1).
struct TNMLVFindItem {
    TNMHdr Hdr;
    int Start = 0;
    uint32_t Flags = 0;
    const char16_t* Text = nullptr;
};

// Tab control.
constexpr uint32_t TCM_FIRST = 0x1300;
constexpr uint32_t TCM_GETITEMCOUNT = TCM_FIRST + 4;
constexpr uint32_t TCM_DELETEITEM = TCM_FIRST + 8;
constexpr uint32_t TCM_DELETEALLITEMS = TCM_FIRST + 9;
constexpr uint32_t TCM_GETCURSEL = TCM_FIRST + 11;
constexpr uint32_t TCM_SETCURSEL = TCM_FIRST + 12;
constexpr uint32_t TCM_ADJUSTRECT = TCM_FIRST + 40;  // WParam 0: window to display area; LParam TRect*
constexpr uint32_t TCM_GETITEMW = TCM_FIRST + 60;
constexpr uint32_t TCM_SETITEMW = TCM_FIRST + 61;
constexpr uint32_t TCM_INSERTITEMW = TCM_FIRST + 62;
constexpr uint32_t TCIF_TEXT = 0x1;
constexpr uint32_t TCIF_PARAM = 0x8;

struct TTCItem {
    uint32_t Mask = 0;
    const char16_t* Text = nullptr;
    intptr_t Param = 0;
};

constexpr int TCN_FIRST = -550;
constexpr int TCN_SELCHANGE = TCN_FIRST - 1;
constexpr int TCN_SELCHANGING = TCN_FIRST - 2;  // answer nonzero to refuse

// Up-down.
constexpr uint32_t UDS_WRAP = 0x1;
constexpr uint32_t UDS_SETBUDDYINT = 0x2;
constexpr uint32_t UDS_ALIGNRIGHT = 0x4;
constexpr uint32_t UDS_ALIGNLEFT = 0x8;
constexpr uint32_t UDS_ARROWKEYS = 0x20;
constexpr uint32_t UDS_HORZ = 0x40;
constexpr uint32_t UDS_NOTHOUSANDS = 0x80;
constexpr uint32_t UDM_SETRANGE32 = WM_USER + 111;  // WParam min, LParam max
constexpr uint32_t UDM_GETRANGE32 = WM_USER + 112;  // WParam, LParam: int* min and max
constexpr uint32_t UDM_SETPOS32 = WM_USER + 113;
constexpr uint32_t UDM_GETPOS32 = WM_USER + 114;  // LParam: bool* error (may be null)
constexpr uint32_t UDM_SETBUDDY = WM_USER + 105;  // WParam the buddy's window
constexpr uint32_t UDM_GETBUDDY = WM_USER + 106;
constexpr uint32_t UDM_SETACCEL = WM_USER + 107;  // WParam count; LParam TUDAccel*
constexpr uint32_t UDM_SETBASE = WM_USER + 109;
constexpr int UDN_DELTAPOS = -722;  // answer nonzero to refuse

struct TUDAccel {
    unsigned Sec = 0;
    unsigned Inc = 1;
};

struct TNMUpDown {
    TNMHdr Hdr;
    int Pos = 0;
    int Delta = 0;
};
