// The display-list tags: PlaceObject, PlaceObject2 and PlaceObject3 put a
// character at a depth or change what stands there (PlaceObject2 and 3 can
// attach clip-event scripts to a placed sprite, PlaceObject3 adds bitmap
// filters, a blend mode, bitmap caching and a class name), and RemoveObject
// and RemoveObject2 take it away again. ShowFrame is with the control tags.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "swf/actions.h"
#include "swf/filters.h"
#include "swf/tag.h"
#include "swf/value_records.h"

// Clip events in the internal coding: bit i is the i-th name of the event
// table (KeyUp, KeyDown, MouseUp, ... DragOut), which is also their order in
// the XML form. Only the writer and reader know the file's bit order.
enum : uint32_t {
    kClipEventKeyUp = 1u << 0,
    kClipEventKeyDown = 1u << 1,
    kClipEventMouseUp = 1u << 2,
    kClipEventMouseDown = 1u << 3,
    kClipEventMouseMove = 1u << 4,
    kClipEventUnload = 1u << 5,
    kClipEventEnterFrame = 1u << 6,
    kClipEventLoad = 1u << 7,
    kClipEventDragOver = 1u << 8,
    kClipEventRollOut = 1u << 9,
    kClipEventRollOver = 1u << 10,
    kClipEventReleaseOutside = 1u << 11,
    kClipEventRelease = 1u << 12,
    kClipEventPress = 1u << 13,
    kClipEventInitialize = 1u << 14,
    kClipEventData = 1u << 15,
    kClipEventConstruct = 1u << 16,
    kClipEventKeyPress = 1u << 17,
    kClipEventDragOut = 1u << 18,
};

// value as read from the file (a UI16 before SWF 6, a UI32 from 6 on).
uint32_t ReadEventFlags(uint32_t value, uint8_t swfVersion);
void WriteEventFlags(TBitsEngine& be, uint32_t flags, uint8_t swfVersion);
// "load, enterFrame" -> the flags; letter case and spaces do not matter.
uint32_t EventNamesToFlags(const std::string& text);
// The flags -> "EnterFrame, Load"; the SWF 6 events only from version 6 on.
std::string EventFlagsToNames(uint32_t flags, uint8_t swfVersion);

// The actions of one set of clip events: the record is its own action list.
class TSWFClipActionRecord : public TSWFActionList {
public:
    uint32_t EventFlags = 0;
    uint8_t KeyCode = 0;  // with the KeyPress event

    // A code that is not 0 sets the KeyPress event, 0 clears it.
    void SetKeyCode(uint8_t code);
    TSWFActionList& GetActions() { return *this; }
    void CopyFieldsFrom(const TSWFClipActionRecord& source);
};

class TSWFClipActions {
public:
    std::vector<std::unique_ptr<TSWFClipActionRecord>> Records;
    uint32_t AllEventFlags = 0;

    // Appends a record for flags (KeyPress added when keyCode is not 0) and
    // adds flags to AllEventFlags.
    TSWFClipActionRecord& AddActionRecord(uint32_t flags, uint8_t keyCode);
    size_t GetCount() const { return Records.size(); }
    TSWFClipActionRecord& GetActionRecord(size_t index) const { return *Records.at(index); }
    // Replaces the records by deep copies of source's.
    void CopyFrom(const TSWFClipActions& source);
};

// The bytes a matrix or colour transform had in the file, with the value
// they stand for. Producers do not all choose the smallest bit widths; a
// record whose value is unchanged is written back as it was read, so that
// reading and writing a movie changes nothing.
template <class TRec>
struct TKeptEncoding {
    TRec Value{};
    std::vector<uint8_t> Bytes;
};

class TSWFBasedPlaceObject : public TSWFObject {
public:
    uint16_t CharacterId = 0;
    uint16_t Depth = 0;

    virtual void SetCharacterId(uint16_t value) { CharacterId = value; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
};

class TSWFPlaceObject : public TSWFBasedPlaceObject {
public:
    TSWFPlaceObject() { TagCode = TagCodes::PlaceObject; }

    TSWFColorTransform ColorTransform;  // written without alpha
    bool HasColorTransform = false;
    TSWFMatrix Matrix;

    bool WritesColorTransform() const {
        return HasColorTransform || ColorTransform.HasAdd || ColorTransform.HasMult;
    }

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;

private:
    TKeptEncoding<TSWFMatrixRec> keptMatrix_;
    TKeptEncoding<TSWFColorTransformRec> keptColor_;
};

class TSWFPlaceObject2 : public TSWFBasedPlaceObject {
public:
    using TLoadActionsEvent = std::function<void(TSWFPlaceObject2& tag, const TXmlNode& element)>;

    TSWFPlaceObject2() { TagCode = TagCodes::PlaceObject2; }

    uint16_t ClipDepth = 0;
    std::string Name;  // instance name, 8-bit
    // False keeps each clip-event record's actions as one raw byte-code item.
    bool ParseActions = false;
    bool HasCharacter = false, HasClipActions = false, HasClipDepth = false, HasColorTransform = false;
    bool HasMatrix = false, HasName = false, HasRatio = false, PlaceFlagMove = false;
    uint16_t Ratio = 0;
    // The version of the file or movie the tag belongs to: it decides the
    // width of the clip-event flags.
    uint8_t SWFVersion = 3;
    TLoadActionsEvent OnLoadActions;

    // Each creates its part on first use; the matrix and colour transform
    // getters set their flag on every call, GetClipActions on creation only.
    TSWFMatrix& GetMatrix();
    TSWFColorTransform& GetColorTransform();
    TSWFClipActions& GetClipActions();
    bool HasClipActionsObject() const { return clipActions_ != nullptr; }
    void SetCharacterId(uint16_t value) override;
    void SetName(const std::string& text);
    void SetRatio(uint16_t value);
    void SetClipDepth(uint16_t value);

    void SetParseActions(bool parse) override { ParseActions = parse; }
    void SetSWFVersion(uint8_t version) override { SWFVersion = version; }
    bool GetPlacementInfo(TPlacementInfo& info) const override;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;

protected:
    // What PlaceObject3 adds, at its places in the body.
    virtual void ReadPlaceFlags3(TBitsEngine& be) {}
    virtual void ReadClassName(TBitsEngine& be) {}
    virtual void ReadFilterAndBlend(TBitsEngine& be) {}
    virtual void WritePlaceFlags3(TBitsEngine& be) {}
    virtual void WriteClassName(TBitsEngine& be) {}
    virtual void WriteFilterAndBlend(TBitsEngine& be) {}

private:
    void ReadClipActions(TBitsEngine& be, int64_t end);
    void WriteClipActions(TBitsEngine& be);

    std::unique_ptr<TSWFMatrix> matrix_;
    std::unique_ptr<TSWFColorTransform> colorTransform_;
    std::unique_ptr<TSWFClipActions> clipActions_;
    TKeptEncoding<TSWFMatrixRec> keptMatrix_;
    TKeptEncoding<TSWFColorTransformRec> keptColor_;
    // The file had a clip-action block without records (and perhaps without
    // its end flag): it is written back as it was.
    bool emptyClipBlock_ = false;
    bool clipEndMissing_ = false;

protected:
    // Bytes a file had after the last field read, inside the body: written
    // back after the fields so that nothing read is lost.
    std::vector<uint8_t> trailing_;
};

// Clip-event records of an "EventActions" element, one per child element.
void LoadClipActionsFromXml(TSWFPlaceObject2& placement, const TXmlNode& element, TXMLReadWriteSettings& settings);

class TSWFPlaceObject3 : public TSWFPlaceObject2 {
public:
    TSWFPlaceObject3() {
        TagCode = TagCodes::PlaceObject3;
        SWFVersion = 8;
    }

    uint8_t BlendMode = 0;
    bool CacheAsBitmap = false;
    bool HasBlendMode = false;
    bool HasFilterList = false;
    // Leaves every addition out, so the body is a PlaceObject2 body (the
    // movie builder sets TagCode 26 with it). Not copied.
    bool WriteAsPlaceObject2 = false;
    bool HasImage = false;
    bool HasClassName = false;
    std::string ClassName;
    // Fields of the later file formats, each behind a flag. Files from SWF
    // 10 on follow the cache flag with its value byte; SWF 11 adds the
    // visibility byte (flag bit 5) and an opaque background (bit 6).
    bool HasBitmapCache = false;
    uint8_t BitmapCache = 1;
    bool HasVisible = false;
    uint8_t Visible = 1;
    bool HasOpaqueBackground = false;
    TSWFRGBAValue OpaqueBackground = 0;

    // Creates the list on first use and then sets HasFilterList.
    TSWFFilterList& GetFilters();
    bool HasFiltersObject() const { return filters_ != nullptr; }
    void SetClassName(const std::string& text);

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;

protected:
    void ReadPlaceFlags3(TBitsEngine& be) override;
    void ReadClassName(TBitsEngine& be) override;
    void ReadFilterAndBlend(TBitsEngine& be) override;
    void WritePlaceFlags3(TBitsEngine& be) override;
    void WriteClassName(TBitsEngine& be) override;
    void WriteFilterAndBlend(TBitsEngine& be) override;

private:
    bool WritesFilters() const { return HasFilterList && filters_ && filters_->Count() > 0; }
    std::unique_ptr<TSWFFilterList> filters_;
    // Flag bits read but not used: bit 7, and bits 4 and 3 before SWF 9.
    uint8_t keptFlagBits_ = 0;
};

class TSWFRemoveObject : public TSWFObject {
public:
    TSWFRemoveObject() { TagCode = TagCodes::RemoveObject; }

    uint16_t CharacterId = 0;
    uint16_t Depth = 0;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFRemoveObject2 : public TSWFObject {
public:
    TSWFRemoveObject2() { TagCode = TagCodes::RemoveObject2; }

    uint16_t Depth = 0;

    int RequiredVersion() const override { return 3; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};
