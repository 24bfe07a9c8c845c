#include "platform/ui/component.h"

#include <algorithm>

TComponent::TComponent(TComponent* owner) : owner_(owner) {
    if (!owner) return;
    owner->components_.emplace_back(this);
    owner->Notification(this, TOperation::opInsert);
}

TComponent::~TComponent() {
    state_ |= csDestroying;
    DestroyComponents();
    // Everyone linked to this one hears of its going before it is gone.
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        auto& back = other->freeNotifies_;
        back.erase(std::remove(back.begin(), back.end(), this), back.end());
        other->Notification(this, TOperation::opRemove);
    }
    RemoveFromOwner();
}

void TComponent::RemoveFromOwner() {
    if (!owner_) return;
    TComponent* owner = owner_;
    owner_ = nullptr;
    auto& list = owner->components_;
    auto at = std::find_if(list.begin(), list.end(), [this](const auto& item) { return item.get() == this; });
    if (at != list.end()) {
        (void)at->release();  // this object is being destroyed already
        list.erase(at);
    }
    owner->Notification(this, TOperation::opRemove);
}

void TComponent::Free() {
    if (owner_) {
        auto& list = owner_->components_;
        auto at = std::find_if(list.begin(), list.end(), [this](const auto& item) { return item.get() == this; });
        if (at != list.end()) {
            std::unique_ptr<TComponent> self = std::move(*at);
            list.erase(at);
            TComponent* owner = owner_;
            owner_ = nullptr;
            owner->Notification(this, TOperation::opRemove);
            return;  // self goes here
        }
    }
    delete this;
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        std::unique_ptr<TComponent> child = std::move(components_.back());
        components_.pop_back();
        child->owner_ = nullptr;
        Notification(child.get(), TOperation::opRemove);
    }
}

void TComponent::FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end()) {
        freeNotifies_.push_back(other);
        other->freeNotifies_.push_back(this);
    }
    state_ |= csFreeNotification;
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    if (!other) return;
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), other), freeNotifies_.end());
    auto& back = other->freeNotifies_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
}
