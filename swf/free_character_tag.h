// FreeCharacter (3): the oldest players' way of releasing a character, still
// written by some producers (ffmpeg's muxer frees and redefines its frame
// bitmap every frame). A body of one character identifier.
#pragma once

#include <cstdint>

#include "swf/tag.h"

class TSWFFreeCharacter : public TSWFObject {
public:
    TSWFFreeCharacter() { TagCode = TagCodes::FreeCharacter; }

    uint16_t CharacterId = 0;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};
