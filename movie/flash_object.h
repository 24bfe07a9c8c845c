// The movie builder: the high-level movie API that allocates character
// identifiers, builds shapes, texts, buttons, sprites, images, sounds and
// video, and writes them through the SWF object model underneath. It knows
// the ActionScript compiler only through its abstract compile context.
//
// This header holds the bases of the movie-level objects (an owner movie, a
// character identifier where the object defines a character, the movie's
// unit factor) and the non-owning typed lists through which a movie finds
// its objects of one kind again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "swf/tag.h"

class TFlashMovie;

class TFlashObjectListBase;

class TFlashObject : public TBasedSWFObject {
public:
    explicit TFlashObject(TFlashMovie* owner = nullptr) : Owner(owner) {}
    // A copy belongs to no typed list until it is added to one.
    TFlashObject(const TFlashObject& other) : TBasedSWFObject(other), Owner(other.Owner) {}
    TFlashObject& operator=(const TFlashObject& other) {
        Owner = other.Owner;
        return *this;
    }
    // Leaves the typed list that refers to it, so the list never holds a
    // freed object, however the object list dropped it.
    ~TFlashObject() override;

    TFlashMovie* Owner;

    int ObjectLevel() const override { return 1; }
    void SetMovie(TFlashMovie* movie) {
        Owner = movie;
        OwnerChanged();
    }
    virtual void OwnerChanged() {}
    // Resource definitions (bitmaps, sounds, fonts) that a movie may gather
    // at the start of an earlier frame.
    virtual bool IsMovableResource() const { return false; }

private:
    friend class TFlashObjectListBase;
    TFlashObjectListBase* typedList_ = nullptr;
};

class TFlashIDObject : public TFlashObject {
public:
    using TFlashObject::TFlashObject;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    virtual uint16_t GetCharacterId() const { return CharacterId; }
    virtual void SetCharacterId(uint16_t id) { CharacterId = id; }

protected:
    uint16_t CharacterId = 0;
};

// A character that can be placed on a display list.
class TFlashVisualObject : public TFlashIDObject {
public:
    using TFlashIDObject::TFlashIDObject;
    // 20 in a movie that works in pixels, 1 in twips or without a movie.
    uint8_t GetUnitFactor() const;
};

// A list of references to objects that the movie owns. An object is in at
// most one such list; it leaves the list when it is freed, and the list lets
// go of its objects when it ends, so neither side can point at the other
// after it is gone.
class TFlashObjectListBase {
public:
    TFlashObjectListBase() = default;
    TFlashObjectListBase(const TFlashObjectListBase&) = delete;
    TFlashObjectListBase& operator=(const TFlashObjectListBase&) = delete;
    ~TFlashObjectListBase() { Clear(); }

    uint16_t Count() const { return static_cast<uint16_t>(items_.size()); }
    void Clear();

protected:
    void Add(TFlashObject* object);
    std::vector<TFlashObject*> items_;

private:
    friend class TFlashObject;
    void Forget(TFlashObject* object);
};

template <class T>
class TFlashObjectList : public TFlashObjectListBase {
public:
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T*;
        using difference_type = std::ptrdiff_t;
        using pointer = T* const*;
        using reference = T*;
        Iterator() = default;
        explicit Iterator(std::vector<TFlashObject*>::const_iterator at) : at_(at) {}
        T* operator*() const { return static_cast<T*>(*at_); }
        Iterator& operator++() {
            ++at_;
            return *this;
        }
        Iterator operator++(int) { return Iterator(at_++); }
        bool operator==(const Iterator&) const = default;

    private:
        std::vector<TFlashObject*>::const_iterator at_;
    };

    void Add(T* object) { TFlashObjectListBase::Add(object); }
    T* GetItem(size_t index) const { return static_cast<T*>(items_.at(index)); }
    // The first item with that character identifier, or nullptr.
    T* FindById(uint16_t id) const {
        for (T* item : *this)
            if (item->GetCharacterId() == id) return item;
        return nullptr;
    }
    T* Last() const { return items_.empty() ? nullptr : static_cast<T*>(items_.back()); }
    Iterator begin() const { return Iterator(items_.begin()); }
    Iterator end() const { return Iterator(items_.end()); }
};
