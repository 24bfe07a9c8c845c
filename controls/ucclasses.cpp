#include "controls/ucclasses.h"

#include <algorithm>
#include <functional>

WideString UcGetSyncedWideString(WideString& wideCopy, const std::string& ansiValue) {
    if (WideToAnsiDefault(wideCopy) != ansiValue) wideCopy = AnsiToWideDefault(ansiValue);
    return wideCopy;
}

void UcSetSyncedWideString(const WideString& value, WideString& wideCopy, const std::string& ansiValue,
                           const std::function<void(const std::string&)>& setAnsi) {
    if (value == UcGetSyncedWideString(wideCopy, ansiValue)) return;
    std::string ansi = WideToAnsiDefault(value);
    if (LocaleCompareStr(AnsiToWideDefault(ansi), value) != 0 && ansi == ansiValue) setAnsi("");
    wideCopy = value;
    setAnsi(ansi);
}

void TWideComponentHelper::Notification(const void* component, TOperation operation) {
    if (operation != TOperation::opRemove || component != component_) return;
    component_ = nullptr;
    if (registry_ != nullptr) registry_->Remove(this);  // frees this helper
}

namespace {

// Components are ordered by address, as the registry's binary search needs.
bool Below(const void* a, const void* b) { return std::less<const void*>()(a, b); }

}  // namespace

size_t TWideComponentHelperList::LowerBound(const void* component) const {
    auto at = std::lower_bound(helpers_.begin(), helpers_.end(), component,
                               [](const auto& helper, const void* key) { return Below(helper->Component(), key); });
    return static_cast<size_t>(at - helpers_.begin());
}

void TWideComponentHelperList::Insert(std::unique_ptr<TWideComponentHelper> helper) {
    size_t at = LowerBound(helper->Component());
    helpers_.insert(helpers_.begin() + static_cast<std::ptrdiff_t>(at), std::move(helper));
}

void TWideComponentHelperList::Remove(TWideComponentHelper* helper) {
    auto at = std::find_if(helpers_.begin(), helpers_.end(), [&](const auto& entry) { return entry.get() == helper; });
    if (at != helpers_.end()) helpers_.erase(at);
}

TWideComponentHelper* FindComponentHelper(const TWideComponentHelperList& registry, const void* component) {
    size_t at = registry.LowerBound(component);
    if (at < registry.helpers_.size() && registry.helpers_[at]->Component() == component)
        return registry.helpers_[at].get();
    return nullptr;
}
