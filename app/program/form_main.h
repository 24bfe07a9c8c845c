// The main window: the program's title, its menu bar (the project and help
// menus, the interface languages found beside the program) and the status
// line that shows the hint of whatever the mouse is over. The editing pages
// stand in its client area.
#pragma once

#include "controls/ui/ucactnlist.h"
#include "controls/ui/ucforms.h"
#include "controls/ui/ucmenus.h"
#include "controls/ui/ucstdctrls.h"

class TFormMain : public TUcForm {
public:
    explicit TFormMain(TComponent* owner);
    ~TFormMain() override;
    // The steps of the window's creation; an error in one skips the rest.
    void FormCreate();

    TMainMenu* MainMenu;
    TUcMenuItem* mnuProject;
    TUcMenuItem* mnuExit;
    TUcMenuItem* mnuHelpMenu;
    TUcMenuItem* mnuLanguages;
    TUcMenuItem* mnuAbout;
    TUcAction* ActExit;
    TUcAction* ActAbout;
    TUcLabel* LblTitle;
    TUcLabel* LblSubtitle;
    TUcStatusBar* StatusBar;

private:
    void LanguageMenuClick(TComponent* sender);
    void ApplyLanguage(const WideString& fileName);
};
