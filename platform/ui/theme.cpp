#include "platform/ui/theme.h"

#include <map>
#include <utility>
#include <vector>

namespace {

std::unique_ptr<TUITheme>& Theme() {
    static std::unique_ptr<TUITheme> theme;
    return theme;
}

std::map<int, std::function<void()>>& Listeners() {
    static std::map<int, std::function<void()>> listeners;
    return listeners;
}

}  // namespace

TUITheme* UITheme() { return Theme().get(); }

void SetUITheme(std::unique_ptr<TUITheme> theme) { Theme() = std::move(theme); }

int AddThemeChangeListener(std::function<void()> listener) {
    static int next = 0;
    Listeners()[++next] = std::move(listener);
    return next;
}

void RemoveThemeChangeListener(int id) { Listeners().erase(id); }

void NotifyThemeChanged() {
    // A listener may remove itself (or others) while it is called.
    std::vector<int> ids;
    for (const auto& entry : Listeners()) ids.push_back(entry.first);
    for (int id : ids) {
        const auto found = Listeners().find(id);
        if (found != Listeners().end() && found->second) found->second();
    }
}
