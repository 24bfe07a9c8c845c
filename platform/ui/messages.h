// Message numbers and records of the toolkit. Controls talk to each other
// and to the backend through numbered messages with two word-sized
// parameters, as the original toolkit did; the numbers are those its code
// was written against, so handlers read as they did there.
#pragma once

#include <cstdint>

struct TMessage {
    uint32_t Msg = 0;
    intptr_t WParam = 0;
    intptr_t LParam = 0;
    intptr_t Result = 0;
};

// A window of the toolkit, as a number: 0 is none. A handle stays unique for
// the life of the process, so a message posted to a window that is gone
// finds nobody and is dropped.
using HWND = uint32_t;

constexpr uint32_t WM_CREATE = 0x0001;
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_SIZE = 0x0005;
constexpr uint32_t WM_SETFOCUS = 0x0007;
constexpr uint32_t WM_KILLFOCUS = 0x0008;
constexpr uint32_t WM_SETTEXT = 0x000C;
constexpr uint32_t WM_GETTEXT = 0x000D;
constexpr uint32_t WM_GETTEXTLENGTH = 0x000E;
constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_SYSCOLORCHANGE = 0x0015;
constexpr uint32_t WM_SETCURSOR = 0x0020;
constexpr uint32_t WM_NOTIFY = 0x004E;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_CHAR = 0x0102;
constexpr uint32_t WM_COMMAND = 0x0111;
constexpr uint32_t WM_TIMER = 0x0113;
constexpr uint32_t WM_HSCROLL = 0x0114;
constexpr uint32_t WM_VSCROLL = 0x0115;
constexpr uint32_t WM_MENUSELECT = 0x011F;
constexpr uint32_t WM_MOUSEMOVE = 0x0200;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_LBUTTONDBLCLK = 0x0203;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
constexpr uint32_t WM_MBUTTONUP = 0x0208;
constexpr uint32_t WM_MOUSEWHEEL = 0x020A;
constexpr uint32_t WM_CUT = 0x0300;
constexpr uint32_t WM_COPY = 0x0301;
constexpr uint32_t WM_PASTE = 0x0302;
constexpr uint32_t WM_CLEAR = 0x0303;
constexpr uint32_t WM_USER = 0x0400;
// The toolkit's own notifications.
constexpr uint32_t CM_BASE = 0xB000;
// A character typed with Alt, offered to every control of the form in turn
// (WParam: the character) until one answers nonzero: the control whose
// caption's accelerator it is.
constexpr uint32_t CM_DIALOGCHAR = CM_BASE + 6;
constexpr uint32_t CM_ENABLEDCHANGED = CM_BASE + 12;
constexpr uint32_t CM_TEXTCHANGED = CM_BASE + 18;
constexpr uint32_t CM_MOUSEENTER = CM_BASE + 19;
constexpr uint32_t CM_MOUSELEAVE = CM_BASE + 20;
constexpr uint32_t CM_HINTSHOW = CM_BASE + 48;
// A child came (LParam 1) or went (0); WParam is the child.
constexpr uint32_t CM_CONTROLCHANGE = CM_BASE + 54;
// Docking (WParam: the control docked or undocked): a dock site takes the
// control in (answering nonzero) or lets it go; a docked control tells its
// site of a change of its own (LParam: the message, such as CM_TEXTCHANGED).
constexpr uint32_t CM_DOCKCLIENT = CM_BASE + 56;
constexpr uint32_t CM_UNDOCKCLIENT = CM_BASE + 57;
constexpr uint32_t CM_DOCKNOTIFICATION = CM_BASE + 66;
// What a standard control's window tells its control (its notifications
// come back reflected, as CN_ + the message).
constexpr uint32_t CN_BASE = 0xBC00;
constexpr uint32_t CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr uint32_t CN_NOTIFY = CN_BASE + WM_NOTIFY;  // LParam: the record, an NMHDR first
// Notification codes (high word of WParam of CN_COMMAND).
constexpr int BN_CLICKED = 0;
constexpr int EN_CHANGE = 0x0300;
// Class messages of the edit and the button.
constexpr uint32_t EM_GETSEL = 0x00B0;
constexpr uint32_t EM_SETSEL = 0x00B1;
constexpr uint32_t EM_REPLACESEL = 0x00C2;  // LParam: const char16_t*, zero-terminated
// WParam: EC_LEFTMARGIN | EC_RIGHTMARGIN; LParam: left and right margin.
constexpr uint32_t EM_SETMARGINS = 0x00D3;
constexpr intptr_t EC_LEFTMARGIN = 1, EC_RIGHTMARGIN = 2;
constexpr uint32_t BM_GETCHECK = 0x00F0;
constexpr uint32_t BM_SETCHECK = 0x00F1;
constexpr uint32_t BM_CLICK = 0x00F5;

// Virtual key codes (WParam of WM_KEYDOWN); letters and digits are their
// capital characters.
constexpr uint16_t VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
                   VK_MENU = 0x12, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22,
                   VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
                   VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_F1 = 0x70, VK_F9 = 0x78, VK_F24 = 0x87;
// Modifier keys held with a key (LParam of WM_KEYDOWN and WM_CHAR here).
using TShiftState = uint8_t;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4;

// Scroll-bar codes (low word of WParam of WM_HSCROLL / WM_VSCROLL; the high
// word carries the thumb position).
constexpr int SB_LINEUP = 0;
constexpr int SB_LINEDOWN = 1;
constexpr int SB_PAGEUP = 2;
constexpr int SB_PAGEDOWN = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_TOP = 6;
constexpr int SB_BOTTOM = 7;
constexpr int SB_ENDSCROLL = 8;
// Bars.
constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;
// Arrow states.
constexpr int ESB_ENABLE_BOTH = 0;
constexpr int ESB_DISABLE_BOTH = 3;

// Mouse and key state bits of WParam.
constexpr intptr_t MK_LBUTTON = 0x0001;
constexpr intptr_t MK_RBUTTON = 0x0002;
constexpr intptr_t MK_SHIFT = 0x0004;
constexpr intptr_t MK_CONTROL = 0x0008;
constexpr intptr_t MK_MBUTTON = 0x0010;

// Position parameters: x in the low 16 bits, y in the next 16, both signed.
constexpr intptr_t MakeLParam(int x, int y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(y) & 0xFFFF) << 16 | (static_cast<uint32_t>(x) & 0xFFFF));
}
constexpr int LParamX(intptr_t l) { return static_cast<int16_t>(l & 0xFFFF); }
constexpr int LParamY(intptr_t l) { return static_cast<int16_t>((l >> 16) & 0xFFFF); }
constexpr intptr_t MakeWParam(int low, int high) { return MakeLParam(low, high); }
constexpr int LoWord(intptr_t w) { return static_cast<int>(w & 0xFFFF); }
constexpr int HiWord(intptr_t w) { return static_cast<int>((w >> 16) & 0xFFFF); }

// System metrics the controls ask for (the backend answers).
enum TSystemMetric : int {
    SM_CXVSCROLL = 2,
    SM_CYHSCROLL = 3,
    SM_CXBORDER = 5,
    SM_CYBORDER = 6,
    SM_CXEDGE = 45,
    SM_CYEDGE = 46,
};

// Cursor ids: the stock ones are negative, an application's own positive.
using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;
