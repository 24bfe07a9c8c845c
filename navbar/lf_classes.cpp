#include "navbar/lf_classes.h"

#include <algorithm>

TlfComponent::~TlfComponent() {
    if (!HasState(csDestroying)) SetState(csDestroying, true);
}

void TlfComponent::Loaded() {
    if (!HasState(csDesigning) || !Owner()) return;
    const std::vector<TComponent*> links = CollectComponentLinks();
    FakeComponentLink1 = links.size() > 0 ? links[0] : nullptr;
    FakeComponentLink2 = links.size() > 1 ? links[1] : nullptr;
    FakeComponentLink3 = links.size() > 2 ? links[2] : nullptr;
}

// ------------------------------------------------------------------ items

TlfComponentCollectionItem::~TlfComponentCollectionItem() {
    SetState(csDestroying, true);
    SetCollection(nullptr);
}

void TlfComponentCollectionItem::SetCollection(TlfComponentCollection* collection) {
    if (collection == collection_) return;
    if (collection_) collection_->RemoveItem(this);
    if (collection) collection->InsertItem(this);
}

int TlfComponentCollectionItem::GetIndex() const {
    if (!collection_) return -1;
    const auto& items = collection_->items_;
    const auto found = std::find(items.begin(), items.end(), this);
    return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

void TlfComponentCollectionItem::SetIndex(int index) {
    const int current = GetIndex();
    if (current < 0 || index == current) return;
    auto& items = collection_->items_;
    items.erase(items.begin() + current);
    index = std::clamp(index, 0, static_cast<int>(items.size()));
    items.insert(items.begin() + index, this);
    Changed(true);
}

TComponent* TlfComponentCollectionItem::GetParentComponent() const {
    return collection_ ? collection_->ParentComponent() : nullptr;
}

void TlfComponentCollectionItem::Changed(bool allItems) {
    if (HasState(csDestroying) || !collection_) return;
    collection_->Changed(allItems ? nullptr : this, ciChanged);
}

// ------------------------------------------------------------------ collections

TlfComponentCollection::TlfComponentCollection(TComponent* parentComponent, TlfItemClass itemClass)
    : parentComponent_(parentComponent), itemClass_(std::move(itemClass)) {}

TlfComponentCollection::~TlfComponentCollection() {
    // Nothing is reported from here on, not even the removals.
    updateCount_ = 1;
    Clear();
}

TlfComponentCollectionItem* TlfComponentCollection::Add() {
    TlfComponentCollectionItem* item = itemClass_.Create(parentComponent_ ? parentComponent_->Owner() : nullptr);
    item->SetParentComponent(parentComponent_);
    if (item->Collection() != this) InsertItem(item);
    SetItemName(item);
    return item;
}

void TlfComponentCollection::InsertItem(TlfComponentCollectionItem* item) {
    if (!item || !itemClass_.Accepts(item)) return;
    items_.push_back(item);
    item->collection_ = this;
    item->id_ = nextId_++;
    Notify(item, ciAdded);
    Changed(item, ciAdded);
}

void TlfComponentCollection::RemoveItem(TlfComponentCollectionItem* item) {
    Notify(item, ciExtracting);
    items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
    item->collection_ = nullptr;
    Notify(item, ciExtracted);
    Changed(item, ciExtracted);
}

void TlfComponentCollection::Changed(TlfComponentCollectionItem* item, TlfCollectionItemNotification kind) {
    if (updateCount_ == 0) Update(item, kind);
}

void TlfComponentCollection::Update(TlfComponentCollectionItem* item, TlfCollectionItemNotification kind) {
    if (OnChange) OnChange(this, item, kind);
}

void TlfComponentCollection::EndUpdate(bool forceUpdate) {
    --updateCount_;
    if (forceUpdate) Changed(nullptr, ciChanged);
}

void TlfComponentCollection::Clear() {
    if (items_.empty()) return;
    BeginUpdate();
    while (!items_.empty()) {
        TlfComponentCollectionItem* last = items_.back();
        // An item with an owner goes through it; one without was made by new.
        if (last->Owner()) last->Free();
        else delete last;
    }
    EndUpdate(true);
}

void TlfComponentCollection::Assign(const TlfComponentCollection& source) {
    BeginUpdate();
    Clear();
    for (TlfComponentCollectionItem* item : source.items_) Add()->Assign(*item);
    EndUpdate(true);
}

void TkrNavBarComponentCollectionItem::SetIndex(int index) {
    if (!Collection()) return;
    TlfComponentCollectionItem::SetIndex(std::clamp(index, 0, Collection()->Count() - 1));
}

TkrNavBarComponentCollectionItem* TkrNavBarComponentCollection::ItemByName(const std::string& name) const {
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Name == name) return Items(i);
    return nullptr;
}

void TkrNavBarComponentCollection::UpdateActions() {
    for (int i = 0; i < Count(); ++i) Items(i)->UpdateActions();
}
