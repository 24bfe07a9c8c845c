// Tags that carry no picture, sound or script but control how a movie is
// shown, protected, linked and described: End, ShowFrame, background colour,
// frame labels, protection and debugger passwords, asset export and import,
// script limits, tab order, symbol classes, file attributes, metadata,
// product information and the nine-slice scaling grid.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swf/tag.h"
#include "swf/value_records.h"

class TSWFEnd : public TSWFObject {
public:
    TSWFEnd() { TagCode = TagCodes::End; }
};

class TSWFShowFrame : public TSWFObject {
public:
    TSWFShowFrame() { TagCode = TagCodes::ShowFrame; }
};

class TSWFSetBackgroundColor : public TSWFObject {
public:
    TSWFSetBackgroundColor() { TagCode = TagCodes::SetBackgroundColor; }
    TSWFRGB Color;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFFrameLabel : public TSWFObject {
public:
    TSWFFrameLabel() { TagCode = TagCodes::FrameLabel; }
    static std::unique_ptr<TSWFFrameLabel> CreateWithName(const std::string& name);
    std::string Name;
    bool IsAnchor = false;

    int RequiredVersion() const override { return IsAnchor ? 6 : 3; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

// Protect and the two debugger tags: an optional MD5-crypt hash of a
// password. The password itself is never written anywhere.
class TSWFProtect : public TSWFObject {
public:
    TSWFProtect() { TagCode = TagCodes::Protect; }
    std::string Password;
    std::string Hash;
    // The word in front of the hash, reserved and kept as read.
    uint16_t Reserved = 0;

    int RequiredVersion() const override;
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFEnableDebugger : public TSWFProtect {
public:
    TSWFEnableDebugger() { TagCode = TagCodes::EnableDebugger; }
    int RequiredVersion() const override { return 5; }
};

class TSWFEnableDebugger2 : public TSWFProtect {
public:
    TSWFEnableDebugger2() { TagCode = TagCodes::EnableDebugger2; }
    int RequiredVersion() const override { return 6; }
};

struct TSWFAssetEntry {
    std::string Name;
    uint16_t Id = 0;
    bool operator==(const TSWFAssetEntry&) const = default;
};

class TSWFExportAssets : public TSWFObject {
public:
    TSWFExportAssets() { TagCode = TagCodes::ExportAssets; }
    std::vector<TSWFAssetEntry> Assets;

    // Finds the entry of that name (letter case aside), adding it when absent,
    // and sets its identifier.
    void AddAsset(const std::string& name, uint16_t id);
    void SetAssetId(const std::string& name, uint16_t id) { AddAsset(name, id); }

    int RequiredVersion() const override { return 5; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;

protected:
    void ReadAssets(TBitsEngine& be);
    void WriteAssets(TBitsEngine& be);
};

class TSWFImportAssets : public TSWFExportAssets {
public:
    TSWFImportAssets() { TagCode = TagCodes::ImportAssets; }
    std::string URL;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFImportAssets2 : public TSWFImportAssets {
public:
    TSWFImportAssets2() { TagCode = TagCodes::ImportAssets2; }
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
};

class TSWFSymbolClass : public TSWFExportAssets {
public:
    TSWFSymbolClass() { TagCode = TagCodes::SymbolClass; }
    int RequiredVersion() const override { return 9; }
};

class TSWFScriptLimits : public TSWFObject {
public:
    TSWFScriptLimits() { TagCode = TagCodes::ScriptLimits; }
    uint16_t MaxRecursionDepth = 0;
    uint16_t ScriptTimeoutSeconds = 0;

    int RequiredVersion() const override { return 7; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFSetTabIndex : public TSWFObject {
public:
    TSWFSetTabIndex() { TagCode = TagCodes::SetTabIndex; }
    uint16_t Depth = 0;
    uint16_t TabIndex = 0;

    int RequiredVersion() const override { return 7; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

// The flags byte is kept whole: besides HasMetadata (0x10) and UseNetwork
// (0x01) a file may carry the ActionScript 3 flag (0x08) and others, and a
// round trip must not drop them.
class TSWFFileAttributes : public TSWFObject {
public:
    TSWFFileAttributes() { TagCode = TagCodes::FileAttributes; }
    uint8_t Flags = 0;

    bool GetHasMetadata() const { return Flags & 0x10; }
    void SetHasMetadata(bool on) { SetFlag(0x10, on); }
    bool GetUseNetwork() const { return Flags & 0x01; }
    void SetUseNetwork(bool on) { SetFlag(0x01, on); }
    bool GetActionScript3() const { return Flags & 0x08; }
    void SetActionScript3(bool on) { SetFlag(0x08, on); }
    void SetFlag(uint8_t bit, bool on) { Flags = static_cast<uint8_t>(on ? Flags | bit : Flags & ~bit); }

    int RequiredVersion() const override { return 8; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFMetadata : public TSWFObject {
public:
    TSWFMetadata() { TagCode = TagCodes::Metadata; }
    std::string Metadata;
    // Text read from a file is kept as its UTF-8 bytes and written back as
    // it is; text set in code is code-page text, converted on writing.
    // Converting on both writes would encode a read text twice.
    bool TextIsUtf8 = false;

    int RequiredVersion() const override { return 8; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFProductInfo : public TSWFObject {
public:
    TSWFProductInfo() { TagCode = TagCodes::ProductInfo; }
    uint32_t ProductId = 0;
    uint32_t Edition = 0;
    uint8_t MajorVersion = 0;
    uint8_t MinorVersion = 0;
    uint32_t BuildNumber1 = 0;  // two 16-bit parts, the first in the high half
    uint32_t BuildNumber2 = 0;
    uint8_t CompileDate[8] = {};

    int RequiredVersion() const override { return 9; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFDefineScalingGrid : public TSWFObject {
public:
    TSWFDefineScalingGrid() { TagCode = TagCodes::DefineScalingGrid; }
    uint16_t CharacterId = 0;
    TSWFRect Splitter;

    int RequiredVersion() const override { return 8; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};
