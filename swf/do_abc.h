// The DoABC tag (82): one block of ActionScript 3 byte code, kept as bytes or
// parsed into the ABC model of swf/avm2/, written back either way, copied,
// and saved as XML (the model's elements or the bytes in hexadecimal, inline
// or in an external file).
//
// A block is parsed only when the model writes it back byte for byte; any
// other block stays bytes, so reading with parsing on never changes a file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "swf/avm2/abc_structures.h"
#include "swf/tag.h"

class TSWFDoABC : public TSWFObject, public TSWFAS3Block {
public:
    using TLoadActionsHandler = std::function<void(TSWFDoABC& tag, const TXmlNode& node)>;

    TSWFDoABC() { TagCode = TagCodes::DoABC; }

    bool LazyInitialize = false;
    // The other bits of the flags word: reserved by the format, kept as read.
    uint32_t OtherFlags = 0;
    std::string Name;
    uint16_t MinorVersion = 0;
    uint16_t MajorVersion = 0;
    // Set by the file reader before the body is read; off keeps the bytes.
    bool ParseActions = false;
    // When set, RawData is the block after the version numbers and the
    // model is empty.
    bool HasRawData = false;
    std::vector<uint8_t> RawData;
    // Why a block read with parsing on was kept as bytes (empty otherwise).
    std::string RawReason;
    // When assigned, LoadFromXml hands the element to it instead.
    TLoadActionsHandler OnLoadActions;

    TSWFAS3Methods& GetMethods() { return Methods; }
    TSWFAS3Metadata& GetMetadata() { return Metadata; }
    TSWFAS3Instance& GetInstances() { return Instances; }
    TSWFAS3Classes& GetClasses() { return Classes; }
    TSWFAS3Scripts& GetScripts() { return Scripts; }
    TSWFAS3MethodBodies& GetMethodBodies() { return MethodBodies; }

    // "46.0.16.0" for major 46, minor 16.
    std::string GetVersionText() const;
    // Four numbers split at "."; text that does not convert gives 46.16.
    void SetVersionText(const std::string& text);

    // The block after the version numbers as it is written.
    std::vector<uint8_t> GetAbcData() const;

    void SetParseActions(bool parse) override { ParseActions = parse; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return 9; }
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;

private:
    void SetRawData(std::vector<uint8_t> bytes);
};
