// Wide copies of 8-bit properties, and side objects that carry the wide
// values of components that cannot hold them themselves.
//
// A synced pair is a wide copy kept beside an 8-bit property that stays the
// truth for ordinary code: when the 8-bit value no longer is the conversion
// of the wide copy, someone changed it behind the wide side's back and the
// wide copy is taken from it again.
//
// Helpers live in a registry sorted by the address of their component, one
// helper a component, owned by the registry. The component's owner tells the
// helper when the component goes away (Notification with opRemove), and the
// helper leaves the registry. The toolkit's form-file filers are not built.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "controls/ucsystem.h"
#include "platform/ui/component.h"

// The wide copy, first taken again from the 8-bit value when that no longer
// is the copy's conversion.
WideString UcGetSyncedWideString(WideString& wideCopy, const std::string& ansiValue);
// Sets the pair to value: nothing when it is the current wide value; an 8-bit
// value that would not change (another script converting to the same '?'s)
// is first set to "" so that the owner still hears of the change.
void UcSetSyncedWideString(const WideString& value, WideString& wideCopy, const std::string& ansiValue,
                           const std::function<void(const std::string&)>& setAnsi);


class TWideComponentHelperList;

class TWideComponentHelper {
public:
    virtual ~TWideComponentHelper() = default;
    TWideComponentHelper(const TWideComponentHelper&) = delete;
    TWideComponentHelper& operator=(const TWideComponentHelper&) = delete;

    // Creates a helper of class Helper for component (further arguments go
    // to its constructor) and enters it into the registry.
    template <typename Helper, typename... Args>
    static Helper* CreateHelper(const void* component, TWideComponentHelperList& registry, Args&&... args);

    const void* Component() const { return component_; }
    // When the component is removed the helper frees itself; it must not be
    // used after that.
    void Notification(const void* component, TOperation operation);

protected:
    // Only CreateHelper makes helpers, so that each one is in a registry.
    explicit TWideComponentHelper(const void* component) : component_(component) {}

private:
    const void* component_;
    TWideComponentHelperList* registry_ = nullptr;
};

class TWideComponentHelperList {
public:
    int Count() const { return static_cast<int>(helpers_.size()); }

private:
    friend class TWideComponentHelper;
    friend TWideComponentHelper* FindComponentHelper(const TWideComponentHelperList& registry, const void* component);

    // Index of the first helper whose component is not below component.
    size_t LowerBound(const void* component) const;
    void Insert(std::unique_ptr<TWideComponentHelper> helper);
    void Remove(TWideComponentHelper* helper);

    std::vector<std::unique_ptr<TWideComponentHelper>> helpers_;
};

// The helper of that very component, or nullptr.
TWideComponentHelper* FindComponentHelper(const TWideComponentHelperList& registry, const void* component);

template <typename Helper, typename... Args>
Helper* TWideComponentHelper::CreateHelper(const void* component, TWideComponentHelperList& registry, Args&&... args) {
    if (FindComponentHelper(registry, component) != nullptr)
        throw EUcInternalError("UC Internal Error: a component has one helper of a kind.");
    std::unique_ptr<Helper> helper(new Helper(component, std::forward<Args>(args)...));
    Helper* result = helper.get();
    result->registry_ = &registry;
    registry.Insert(std::move(helper));
    return result;
}
