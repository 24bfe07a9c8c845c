// The interface library's base: component collections whose items are
// components owned by the form yet listed (and freed) by a collection of a
// control, with change notification; the library's component and
// persistent bases and an object list that owns its entries; and the
// navigation bar's layer on top (clamped indexes, look-up by name).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/component.h"

class TlfComponentCollection;

enum TlfCollectionItemNotification : uint8_t { ciAdded = 0, ciChanged = 1, ciExtracting = 2, ciExtracted = 3 };

// A persistent object that names its owner.
class TlfInterfacedPersistent {
public:
    explicit TlfInterfacedPersistent(void* owner) : owner_(owner) {}
    virtual ~TlfInterfacedPersistent() = default;
    void* Owner() const { return owner_; }

private:
    void* owner_;
};

class TlfComponent : public TComponent {
public:
    explicit TlfComponent(TComponent* owner) : TComponent(owner) {}
    ~TlfComponent() override;
    // Links a form designer keeps; nothing uses them at run time.
    TComponent* FakeComponentLink1 = nullptr;
    TComponent* FakeComponentLink2 = nullptr;
    TComponent* FakeComponentLink3 = nullptr;
    // After loading while designing: the first three of CollectComponentLinks.
    void Loaded();

protected:
    virtual std::vector<TComponent*> CollectComponentLinks() { return {}; }
};

// A list of objects it owns: clearing it frees every entry in index order.
template <typename T>
class TlfObjectList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    T* Items(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
    T* Add(std::unique_ptr<T> item) {
        items_.push_back(std::move(item));
        return items_.back().get();
    }
    void Clear() {
        for (auto& item : items_) item.reset();
        items_.clear();
    }

private:
    std::vector<std::unique_ptr<T>> items_;
};

class TlfComponentCollectionItem : public TComponent {
public:
    explicit TlfComponentCollectionItem(TComponent* owner) : TComponent(owner) {}
    ~TlfComponentCollectionItem() override;

    TlfComponentCollection* Collection() const { return collection_; }
    virtual void SetCollection(TlfComponentCollection* collection);
    int32_t ID() const { return id_; }
    int GetIndex() const;
    virtual void SetIndex(int index);
    virtual std::string GetDisplayName() const { return Name; }
    // The parent component: the collection's ParentComponent.
    TComponent* GetParentComponent() const;
    bool HasParent() const { return GetParentComponent() != nullptr; }
    void SetParentComponent(TComponent* parent) { SetCollection(GetCollectionFromParent(parent)); }
    // Reports a change of this item (or, AllItems, of the whole collection).
    void Changed(bool allItems);
    // Copies what the item holds from another item of its class.
    virtual void Assign(const TlfComponentCollectionItem& source) {}

protected:
    // The collection of the parent that items of this class belong to.
    virtual TlfComponentCollection* GetCollectionFromParent(TComponent* parent) = 0;

private:
    friend class TlfComponentCollection;
    TlfComponentCollection* collection_ = nullptr;
    int32_t id_ = 0;
};

// The class of the items a collection makes and accepts.
struct TlfItemClass {
    std::function<TlfComponentCollectionItem*(TComponent* owner)> Create;
    std::function<bool(const TlfComponentCollectionItem*)> Accepts;
};
template <typename T>
TlfItemClass ItemClassOf() {
    return TlfItemClass{[](TComponent* owner) -> TlfComponentCollectionItem* { return new T(owner); },
                        [](const TlfComponentCollectionItem* item) { return dynamic_cast<const T*>(item) != nullptr; }};
}

class TlfComponentCollection {
public:
    TlfComponentCollection(TComponent* parentComponent, TlfItemClass itemClass);
    virtual ~TlfComponentCollection();
    TlfComponentCollection(const TlfComponentCollection&) = delete;
    TlfComponentCollection& operator=(const TlfComponentCollection&) = delete;

    TlfComponentCollectionItem* Add();
    void InsertItem(TlfComponentCollectionItem* item);
    void RemoveItem(TlfComponentCollectionItem* item);
    void Changed(TlfComponentCollectionItem* item, TlfCollectionItemNotification kind);
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate(bool forceUpdate = true);
    void Clear();
    void Assign(const TlfComponentCollection& source);

    int Count() const { return static_cast<int>(items_.size()); }
    TlfComponentCollectionItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    TComponent* ParentComponent() const { return parentComponent_; }
    int32_t NextID() const { return nextId_; }
    int32_t UpdateCount() const { return updateCount_; }

    std::function<void(TlfComponentCollection* sender, TlfComponentCollectionItem* item,
                       TlfCollectionItemNotification kind)>
        OnChange;

protected:
    virtual void Notify(TlfComponentCollectionItem* item, TlfCollectionItemNotification kind) {}
    virtual void SetItemName(TlfComponentCollectionItem* item) {}
    virtual void Update(TlfComponentCollectionItem* item, TlfCollectionItemNotification kind);

private:
    friend class TlfComponentCollectionItem;
    TComponent* parentComponent_;
    TlfItemClass itemClass_;
    std::vector<TlfComponentCollectionItem*> items_;
    int32_t nextId_ = 0;
    int32_t updateCount_ = 0;
};

class TkrNavBarComponentCollectionItem : public TlfComponentCollectionItem {
public:
    using TlfComponentCollectionItem::TlfComponentCollectionItem;
    // Clamped to the collection's indexes.
    void SetIndex(int index) override;
    virtual void UpdateActions() {}
};

class TkrNavBarComponentCollection : public TlfComponentCollection {
public:
    using TlfComponentCollection::TlfComponentCollection;
    TkrNavBarComponentCollectionItem* Add() { return static_cast<TkrNavBarComponentCollectionItem*>(TlfComponentCollection::Add()); }
    TkrNavBarComponentCollectionItem* Items(int index) const {
        return static_cast<TkrNavBarComponentCollectionItem*>(TlfComponentCollection::Items(index));
    }
    // Exact (case-sensitive) name; nullptr when none.
    TkrNavBarComponentCollectionItem* ItemByName(const std::string& name) const;
    void UpdateActions();
};
