#include "movie/flash_object.h"

#include <algorithm>

#include "movie/flash_movie.h"

TFlashObject::~TFlashObject() {
    if (typedList_) typedList_->Forget(this);
}

void TFlashObjectListBase::Add(TFlashObject* object) {
    if (!object) return;
    if (object->typedList_) object->typedList_->Forget(object);
    object->typedList_ = this;
    items_.push_back(object);
}

void TFlashObjectListBase::Forget(TFlashObject* object) {
    // From the back: the movie frees its objects newest first.
    auto at = std::find(items_.rbegin(), items_.rend(), object);
    if (at != items_.rend()) items_.erase(std::next(at).base());
    object->typedList_ = nullptr;
}

void TFlashObjectListBase::Clear() {
    for (TFlashObject* object : items_) object->typedList_ = nullptr;
    items_.clear();
}

void TFlashIDObject::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = CopySourceAs<TFlashIDObject>(source, "a character");
    if (!Owner) Owner = other.Owner;
    SetCharacterId(other.GetCharacterId());
}

void TFlashIDObject::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings&) {
    if (node.HasAttribute("IDStr")) {
        if (Owner) Owner->RegisterCharacterName(node.AttrStr("IDStr"), GetCharacterId());
    } else if (node.HasAttribute("ID")) {
        SetCharacterId(static_cast<uint16_t>(node.AttrInt("ID")));
    }
}

uint8_t TFlashVisualObject::GetUnitFactor() const { return Owner ? Owner->UnitFactor : 1; }
