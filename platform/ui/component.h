// Components: objects with an owner, a name and removal notices. An owner
// owns the components created with it (as Qt's object tree does) and
// destroys them, newest first, when it is destroyed; a component destroyed
// before its owner leaves the owner's list. A component that keeps a pointer
// to another one asks for FreeNotification and hears Notification(opRemove)
// when that one goes, so no pointer outlives its object.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum class TOperation : uint8_t { opInsert, opRemove };

// Component state bits.
constexpr uint32_t csLoading = 0x0001;
constexpr uint32_t csReading = 0x0002;
constexpr uint32_t csWriting = 0x0004;
constexpr uint32_t csDestroying = 0x0008;
constexpr uint32_t csDesigning = 0x0010;
constexpr uint32_t csFreeNotification = 0x0040;

class TComponent;
using TNotifyEvent = std::function<void(TComponent* sender)>;

class TComponent {
public:
    // With an owner, the component belongs to it from here on: create it
    // with new and let the owner (or Free) destroy it. Without one, hold it
    // in a std::unique_ptr.
    explicit TComponent(TComponent* owner);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)).get(); }
    uint32_t ComponentState() const { return state_; }
    bool HasState(uint32_t bits) const { return (state_ & bits) != 0; }
    void SetState(uint32_t bits, bool on) { state_ = on ? state_ | bits : state_ & ~bits; }

    std::string Name;

    // Destroys the component now: an owned one through its owner, one
    // without an owner by delete (so never one held in a std::unique_ptr).
    void Free();
    // Destroys every owned component, newest first.
    void DestroyComponents();

    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

protected:
    // Told when an owned component arrives or any component this one is
    // linked with (owned, or by FreeNotification) is going away.
    virtual void Notification(TComponent* component, TOperation operation) {}

private:
    void RemoveFromOwner();
    TComponent* owner_ = nullptr;
    std::vector<std::unique_ptr<TComponent>> components_;
    std::vector<TComponent*> freeNotifies_;
    uint32_t state_ = 0;
};
