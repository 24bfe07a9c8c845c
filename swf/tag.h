// Tag objects: the contract every SWF tag class follows, the framing of a tag
// record (short and long headers), the base of tags with an opaque payload,
// and the raw tag that keeps, as bytes, any tag whose code has no class or
// whose body could not be read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/xml.h"
#include "swf/bits_engine.h"
#include "swf/tag_codes.h"

class TXMLReadWriteSettings;

struct TPlacementInfo {
    bool HasName = false;
    std::string Name;
    bool HasCharacter = false;
    uint16_t CharacterId = 0;
};

// The root of everything that can be written into a movie: SWF tags (level 0)
// and movie-builder objects (level 1).
class TBasedSWFObject {
public:
    virtual ~TBasedSWFObject() = default;
    virtual void CopyFieldsFrom(const TBasedSWFObject& source) = 0;
    virtual int ObjectLevel() const = 0;
    virtual int RequiredVersion() const { return 1; }
    virtual void WriteTag(TBitsEngine& be) = 0;
    virtual void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {}
};

class TSWFObject : public TBasedSWFObject {
public:
    int32_t BodySize = 0;
    uint16_t TagCode = 0;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int ObjectLevel() const override { return 0; }
    void WriteTag(TBitsEngine& be) override;
    virtual void ReadBody(TBitsEngine& be) {}
    virtual void WriteBody(TBitsEngine& be) {}
    virtual void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {}

    // Context the file reader hands in before the body is read.
    virtual void SetParseActions(bool parse) {}
    virtual void SetSWFVersion(uint8_t version) {}
    virtual void SetStreamSoundFormat(uint8_t format) {}

    // What the file reader's look-ups ask of a tag: the character it defines
    // or describes (-1 for none), the tags of a sprite's own timeline, and
    // for a placement its instance name and character.
    virtual int32_t CharacterId() const { return -1; }
    virtual const std::vector<std::unique_ptr<TSWFObject>>* ChildTags() const { return nullptr; }
    virtual bool GetPlacementInfo(TPlacementInfo& info) const { return false; }

    // The size of the record as the short/long rule on length alone frames it.
    int32_t GetFullSize() const { return BodySize + 2 + (BodySize > 62 ? 4 : 0); }
    // The code under which the record is written (raw tags: the file's code).
    virtual uint16_t WrittenCode() const { return TagCode; }
};

// CopyFieldsFrom takes any object; copying another class is a caller's
// mistake that must surface as a message, not as a bad_cast.
// target names what is copied into ("a shape", "tag 26").
[[noreturn]] void ThrowCopyOfAnotherKind(const std::string& target);
template <class T>
const T& CopySourceAs(const TBasedSWFObject& source, const char* target) {
    auto* typed = dynamic_cast<const T*>(&source);
    if (!typed) ThrowCopyOfAnotherKind(target);
    return *typed;
}
template <class T>
const T& SourceAs(const TBasedSWFObject& source, const TSWFObject& target) {
    auto* typed = dynamic_cast<const T*>(&source);
    if (!typed) ThrowCopyOfAnotherKind("tag " + std::to_string(target.TagCode));
    return *typed;
}

// The bytes of a body that follow the last field a reader took (the body
// started at start and holds bodySize bytes), leaving the stream at the
// body's end. Tags keep them and write them back after their fields.
std::vector<uint8_t> ReadRestOfBody(TBitsEngine& be, int64_t start, int64_t bodySize);

// Writes a record header for code and then length bytes from body's current
// position; length 0 means the whole body stream.
void WriteTagFromStream(TStream& target, uint16_t code, TStream& body, int32_t length);
// Writes tag as WriteTag does, but framed with a long header when longHeader
// is set, and with a short one when it is not and the body fits: for a tag
// whose file framed it otherwise than its code and length would.
void WriteTagFramed(TBitsEngine& be, TSWFObject& tag, bool longHeader);
// Whether a file's framing of a tag differs from the one WriteTag chooses.
bool FramedOddly(uint16_t code, int64_t bodySize, bool longHeader);
// The record header alone, framed as WriteTag frames it.
void WriteTagHeader(TStream& target, uint16_t code, int32_t bodySize, bool forceLong);
// Codes written with the long header whatever their length.
bool TagNeedsLongHeader(uint16_t code);

// Base of tags that carry an opaque payload. The payload is either owned
// (kept in the object) or borrowed from the caller, who keeps it alive; or it
// is written by OnWrite instead.
class TSWFDataObject : public TSWFObject {
public:
    using TWriteHandler = std::function<void(TSWFObject& tag, TBitsEngine& be)>;

    TWriteHandler OnWrite;
    bool OwnsData = true;

    const uint8_t* Data() const { return owned_.empty() ? borrowed_ : owned_.data(); }
    int32_t DataSize() const { return dataSize_; }
    // Takes a copy that the object owns.
    void SetData(const void* data, int32_t size);
    void SetData(std::vector<uint8_t> bytes);
    // Borrows the caller's bytes (OwnsData becomes false).
    void SetBorrowedData(const uint8_t* data, int32_t size);
    void ClearData();

    void CopyFieldsFrom(const TBasedSWFObject& source) override;

protected:
    // Reads size payload bytes, never more than the body holds.
    void ReadPayload(TBitsEngine& be, int32_t size);
    // Writes the payload, or lets OnWrite do it.
    void WritePayload(TBitsEngine& be);

private:
    std::vector<uint8_t> owned_;
    const uint8_t* borrowed_ = nullptr;
    int32_t dataSize_ = 0;
};

class TSWFByteCodeTag : public TSWFDataObject {
public:
    TSWFByteCodeTag() { TagCode = kErrorTagCode; }

    uint16_t RealCode = 0;
    std::string Name;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void WriteTag(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    uint16_t WrittenCode() const override { return RealCode; }
};
