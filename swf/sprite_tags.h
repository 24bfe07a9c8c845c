// The sprite (a character with a timeline of its own, kept as a nested list
// of tags read and written through the same machinery as the movie's) and
// the list of a movie's scenes and frame labels.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "swf/tag.h"

class TSWFDefineSprite : public TSWFObject {
public:
    TSWFDefineSprite() { TagCode = TagCodes::DefineSprite; }

    uint16_t SpriteID = 0;
    uint16_t FrameCount = 0;  // as stored: the writer does not count frames
    // In timeline order. A list read from a file ends with its End tag; a
    // list built in memory may end without one (the writer adds it).
    std::vector<std::unique_ptr<TSWFObject>> ControlTags;
    // Handed in by the file reader or the movie-level XML loader and passed
    // on to the children; 0 leaves the children their own defaults.
    uint8_t SWFVersion = 0;
    bool ParseActions = false;

    TSWFObject& GetTag(size_t index) const { return *ControlTags.at(index); }

    void SetParseActions(bool parse) override { ParseActions = parse; }
    void SetSWFVersion(uint8_t version) override { SWFVersion = version; }
    int32_t CharacterId() const override { return SpriteID; }
    const std::vector<std::unique_ptr<TSWFObject>>* ChildTags() const override { return &ControlTags; }

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    // At least 3, and no less than any of the tags it holds asks for.
    int RequiredVersion() const override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;

private:
    // Children whose header in the file had the other form than the one
    // WriteTag would give them (true: long). The header is part of the
    // sprite's body, so it is written back as it was.
    std::map<const TSWFObject*, bool> framing_;
};

struct TSWFSceneEntry {
    uint32_t Offset = 0;  // frame offset
    std::string Name;
    bool operator==(const TSWFSceneEntry&) const = default;
};

struct TSWFFrameLabelEntry {
    uint32_t FrameNum = 0;
    std::string Label;
    bool operator==(const TSWFFrameLabelEntry&) const = default;
};

class TSWFDefineSceneAndFrameLabelData : public TSWFObject {
public:
    TSWFDefineSceneAndFrameLabelData() { TagCode = TagCodes::DefineSceneAndFrameLabelData; }

    std::vector<TSWFSceneEntry> Scenes;
    std::vector<TSWFFrameLabelEntry> FrameLabels;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return 9; }
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};
