// Embedded video: DefineVideoStream (60) defines a video character and
// VideoFrame (61) carries the encoded data of one frame of that stream.
#pragma once

#include <cstdint>

#include "swf/tag.h"

class TSWFDefineVideoStream : public TSWFObject {
public:
    TSWFDefineVideoStream() { TagCode = TagCodes::DefineVideoStream; }

    uint16_t CharacterID = 0;
    uint16_t NumFrames = 0;
    uint16_t Width = 0, Height = 0;
    uint8_t VideoFlagsDeblocking = 0;  // 0..7
    bool VideoFlagsSmoothing = false;
    uint8_t CodecID = 0;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    // 7 for the screen-video 2 codec (3), else 6.
    int RequiredVersion() const override { return CodecID == 3 ? 7 : 6; }
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    int32_t CharacterId() const override { return CharacterID; }
};

class TSWFVideoFrame : public TSWFDataObject {
public:
    TSWFVideoFrame() { TagCode = TagCodes::VideoFrame; }

    uint16_t StreamID = 0;
    uint16_t FrameNum = 0;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return 6; }
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};
