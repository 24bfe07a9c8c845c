// Input and inspection for tests of the standard controls' widgets on the
// Qt plugin: clicking an item, a column title, a tab or an up-down arrow
// as a user would, typing into whatever has the focus, and reading what a
// widget shows. No Qt header in sight.
#pragma once

#include <string>

#include "platform/ui/messages.h"
#include "platform/ui/qt/qt_testing.h"

class TWinControl;

namespace QtTesting {

// Clicks the index'th row of a list box or list view, or tab of a tab
// control; false when there is no such thing to click.
bool ClickItem(TWinControl& control, int index);
// Clicks a column title of a list view.
bool ClickColumnHeader(TWinControl& control, int column);
// The text a list view shows as the title of a column, and in a cell.
std::u16string ColumnHeaderText(TWinControl& control, int column);
std::u16string CellText(TWinControl& control, int row, int column);
// The rows a list box or list view shows (-1: none of those), and the
// height of one of them on the screen.
int RowCount(TWinControl& control);
int RowHeight(TWinControl& control, int row);
// The tabs a tab control shows.
int TabCount(TWinControl& control);
std::u16string TabText(TWinControl& control, int index);
// The label editor of a list view is open.
bool LabelEditorOpen(TWinControl& control);
// A key typed into the widget that has the focus.
void KeyClickFocused(uint16_t key, const std::u16string& text, TShiftState shift = 0);
// Presses (and later releases) the mouse on an up-down's arrow.
bool PressArrow(TWinControl& upDown, bool increase);
bool ReleaseArrow(TWinControl& upDown, bool increase);
// The items a combo box's list shows when dropped down.
bool ComboPopupVisible(TWinControl& combo);

}  // namespace QtTesting
