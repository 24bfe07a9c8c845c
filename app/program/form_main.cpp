#include "app/program/form_main.h"

#include <algorithm>
#include <filesystem>

#include "app/app_utils.h"
#include "controls/ucinifiles.h"
#include "controls/ucsystem.h"

namespace {
constexpr const char16_t* kTitle = u"Orvu Tamblewick";
}

TFormMain::TFormMain(TComponent* owner) : TUcForm(owner) {
    SetBounds(80, 60, 760, 520);
    SetCaption(kTitle);

    ActExit = new TUcAction(this);
    ActExit->SetCaption(u"E&xit");
    ActExit->SetHint(u"Exit|Close Tamblewick");
    ActExit->OnExecute = [this](TBasicAction*) { Close(); };
    ActAbout = new TUcAction(this);
    ActAbout->SetCaption(u"&About...");
    ActAbout->SetHint(u"About|Version and copyright of Tamblewick");
    ActAbout->SetShortCut(ShortCut(VK_F1, 0));
    ActAbout->OnExecute = [](TBasicAction*) {
        Application().MessageBox(Application().Title, "", MB_OK | MB_ICONINFORMATION);
    };

    MainMenu = new TMainMenu(this);
    mnuProject = new TUcMenuItem(this);
    mnuProject->SetWideCaption(u"&Project");
    mnuExit = new TUcMenuItem(this);
    mnuExit->SetAction(ActExit);
    mnuProject->Add(mnuExit);
    mnuHelpMenu = new TUcMenuItem(this);
    mnuHelpMenu->SetWideCaption(u"&Help");
    mnuLanguages = new TUcMenuItem(this);
    mnuLanguages->SetWideCaption(u"&Languages");
    mnuLanguages->SetWideHint(u"Languages|The language of the interface");
    auto* line = new TUcMenuItem(this);
    line->SetCaption("-");
    mnuAbout = new TUcMenuItem(this);
    mnuAbout->SetAction(ActAbout);
    mnuHelpMenu->Add(mnuLanguages);
    mnuHelpMenu->Add(line);
    mnuHelpMenu->Add(mnuAbout);
    MainMenu->Items()->Add(mnuProject);
    MainMenu->Items()->Add(mnuHelpMenu);
    SetMenu(MainMenu);

    LblTitle = new TUcLabel(this);
    LblTitle->Font.Height = -28;
    LblTitle->Font.Bold = true;
    LblTitle->Font.Color = RGBColor(0x20, 0x4A, 0x87);
    LblTitle->SetBounds(24, 24, 10, 10);
    LblTitle->SetParent(this);
    LblTitle->SetCaption(kTitle);
    LblSubtitle = new TUcLabel(this);
    LblSubtitle->Font.Height = -14;
    LblSubtitle->SetBounds(26, 70, 10, 10);
    LblSubtitle->SetParent(this);
    LblSubtitle->SetCaption(u"Short animated movies for the web: intros and banners.");
    LblSubtitle->SetHint(u"Tamblewick|Compose a movie from a background, pictures and texts");

    StatusBar = new TUcStatusBar(this);
    StatusBar->SetParent(this);
    Application().OnHint = [this](TComponent*) { StatusBar->SetSimpleText(UcApplication().GetWideHint()); };
}

TFormMain::~TFormMain() { Application().OnHint = nullptr; }

void TFormMain::FormCreate() {
    // The language menu: one item a language file beside the program, in
    // sorted order of the names.
    std::vector<WideString> names;
    const std::filesystem::path folder(UcSystem::WideToUtf8(GetProgramFolder() + u"languages"));
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".ini") == 0)
                names.push_back(UcSystem::Utf8ToWide(name.substr(0, name.size() - 4)));
        }
    }
    std::sort(names.begin(), names.end(), [](const WideString& a, const WideString& b) { return LocaleCompareText(a, b) < 0; });
    for (const WideString& name : names) {
        auto* item = new TUcMenuItem(this);
        item->SetWideCaption(name);
        item->SetWideHint(name);
        item->OnClick = [this](TComponent* sender) { LanguageMenuClick(sender); };
        mnuLanguages->Add(item);
    }
    mnuLanguages->SetEnabled(!names.empty());
    ApplyLanguage(GetLanguageFile());
}

void TFormMain::LanguageMenuClick(TComponent* sender) {
    auto* item = static_cast<TUcMenuItem*>(sender);
    const WideString file = GetProgramFolder() + u"languages/" + WideStripHotkeys(item->WideCaption()) + u".ini";
    SetLanguageFile(file);
    ApplyLanguage(file);
}

void TFormMain::ApplyLanguage(const WideString& fileName) {
    TUcMemIniFile ini(fileName);
    auto text = [&](const WideString& english) { return ini.ReadString(u"INTERFACE", english, english); };
    mnuProject->SetWideCaption(text(u"&Project"));
    SetWideActionCaption(ActExit, text(u"E&xit"));
    SetWideActionHint(ActExit, text(u"Exit|Close Tamblewick"));
    mnuHelpMenu->SetWideCaption(text(u"&Help"));
    mnuLanguages->SetWideCaption(text(u"&Languages"));
    mnuLanguages->SetWideHint(text(u"Languages|The language of the interface"));
    SetWideActionCaption(ActAbout, text(u"&About..."));
    SetWideActionHint(ActAbout, text(u"About|Version and copyright of Tamblewick"));
    LblSubtitle->SetCaption(text(u"Short animated movies for the web: intros and banners."));
}
