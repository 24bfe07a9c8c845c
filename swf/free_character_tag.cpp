#include "swf/free_character_tag.h"

void TSWFFreeCharacter::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFFreeCharacter>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    CharacterId = other.CharacterId;
}

void TSWFFreeCharacter::ReadBody(TBitsEngine& be) { CharacterId = be.ReadWord(); }

void TSWFFreeCharacter::WriteBody(TBitsEngine& be) { be.WriteWord(CharacterId); }

void TSWFFreeCharacter::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings&) {
    CharacterId = static_cast<uint16_t>(node.AttrInt("ID"));
}

void TSWFFreeCharacter::SaveToXml(TXmlNode node, TXMLReadWriteSettings&) {
    node.SetAttr("ID", static_cast<int>(CharacterId));
}
