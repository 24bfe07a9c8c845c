// Input and inspection for tests of windows on the Qt plugin (offscreen):
// what a user does (keys with their text, mouse moves and clicks, choosing a
// menu item) and what Qt shows (a window's title, a menu item's state, the
// system clipboard), with no Qt header in sight.
#pragma once

#include <functional>
#include <string>

#include "platform/bitmap.h"
#include "platform/geometry.h"
#include "platform/ui/messages.h"

class TWinControl;
class TMenuItem;
class TBitmap;

namespace QtTesting {

// The Qt plugin is the one running.
bool Running();
// Runs Qt's events for ms milliseconds, or until done holds; false when
// done never held.
void ProcessEvents(int ms = 0);
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// The title of the top-level Qt window of a form.
std::u16string WindowTitle(TWinControl& form);
bool WindowVisible(TWinControl& control);
// The control's window on the screen (its Qt geometry).
TRect ScreenGeometry(TWinControl& control);
// Shows and activates a top-level window and waits until Qt says so.
bool ActivateWindow(TWinControl& form);

// A key typed into the control's window: the key (virtual key code, 0 for
// none) with the text it types, as a keyboard would send it.
void KeyClick(TWinControl& control, uint16_t key, const std::u16string& text, TShiftState shift = 0);
void MouseMove(TWinControl& control, int x, int y);
void MouseClick(TWinControl& control, int x, int y);
// The mouse leaves the control's window.
void MouseLeave(TWinControl& control);
// The left button goes down and up at a point, and the mouse moves with it
// held (the window that took the press keeps every move).
void MousePress(TWinControl& control, int x, int y);
void MouseDrag(TWinControl& control, int x, int y);
void MouseRelease(TWinControl& control, int x, int y);
// The wheel turns by delta (120 a notch, positive away from the user).
void MouseWheel(TWinControl& control, int x, int y, int delta);
// Saves what Qt shows of the control's window (its own widgets included) as
// a PNG file, for a person to look at.
bool SaveWindowPicture(TWinControl& control, const std::string& path);
// What Qt shows of the control's window, in the screen's own pixels (32
// bits, blue first), and the screen's device pixel ratio there.
bool GrabWindow(TWinControl& control, TBitmap& picture, double& devicePixelRatio);
// The cursor Qt shows over the control's window: a picture of its own
// (picture filled, 32 bits with alpha, and its hot spot; true) or one of the
// system's shapes (false).
bool WindowCursorPicture(TWinControl& control, TBitmap& picture, TPoint& hotSpot);
// The same, when the ratio does not matter.
bool GrabWindow(TWinControl& control, TBitmap& picture);
// A top-level window is a tool window (a floating palette) of Qt.
bool ToolWindow(TWinControl& form);

// The colour dialog that is open now: its custom colour i (a toolkit colour,
// red in the low byte), and choosing a colour in it (also adding it as
// custom colour i when i >= 0) and confirming it. False without a dialog.
bool ColorDialogCustomColor(int i, uint32_t& color);
bool AcceptColorDialog(uint32_t color, int customIndex = -1);

// A menu item of a form's menu bar, as Qt shows it.
struct TMenuItemState {
    bool Found = false, Enabled = false, Visible = false, Separator = false;
    std::u16string Text, ShortCut;
};
TMenuItemState MenuItemState(TWinControl& form, TMenuItem& item);
// Opens the menus down to the item with the mouse and moves onto it.
bool HoverMenuItem(TWinControl& form, TMenuItem& item);
// Opens the menus down to the item and clicks it.
bool ClickMenuItem(TWinControl& form, TMenuItem& item);
// The pop-up menu or modal dialog that is open now, if any, and closing it.
bool PopupOpen();
bool ClosePopup();
bool ModalOpen();
bool CloseModal();

std::u16string SystemClipboardText();

// A new application palette, as the desktop gives one when its theme
// changes: the old one with this button colour (a TColor).
void ChangePalette(uint32_t buttonColor);
// A scroll bar of a control's window as Qt shows it (positions as the
// toolkit counts them: the page is inside the range).
struct TScrollBarState {
    bool Found = false, Visible = false, Enabled = false;
    int Min = 0, Max = 0, Page = 0, Position = 0;
    TRect Geometry;  // in the control's window
};
TScrollBarState ScrollBarState(TWinControl& control, int bar);
// A click on the scroll bar at a point of its own.
void ClickScrollBar(TWinControl& control, int bar, int x, int y);
// Drags the bar's thumb to the position.
void DragScrollBar(TWinControl& control, int bar, int position);

}  // namespace QtTesting
