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

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "swf/tag.h"

class TFlashMovie;

class TFlashObject : public TBasedSWFObject {
public:
    explicit TFlashObject(TFlashMovie* owner = nullptr) : Owner(owner) {}

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

// A list of references to objects that the movie owns.
template <class T>
class TFlashObjectList {
public:
    void Add(T* object) { items_.push_back(object); }
    uint16_t Count() const { return static_cast<uint16_t>(items_.size()); }
    T* GetItem(size_t index) const { return items_.at(index); }
    // The first item with that character identifier, or nullptr.
    T* FindById(uint16_t id) const {
        for (T* item : items_)
            if (item->GetCharacterId() == id) return item;
        return nullptr;
    }
    T* Last() const { return items_.empty() ? nullptr : items_.back(); }
    void Clear() { items_.clear(); }
    // Compared by address: the list may be of a type declared only.
    void Remove(const void* object) {
        items_.erase(std::remove_if(items_.begin(), items_.end(), [object](T* item) { return static_cast<const void*>(item) == object; }),
                     items_.end());
    }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<T*> items_;
};
