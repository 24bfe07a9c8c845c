#include "movie/flash_object.h"

#include "movie/flash_movie.h"

void TFlashIDObject::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = dynamic_cast<const TFlashIDObject&>(source);
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
