// Action records of ActionScript 1 and 2 byte code: the record framing (code
// byte, UI16 length, body), the owning action list, the raw byte-code action
// and the branch markers through which jumps, function bodies, with-blocks
// and try blocks find their targets.
//
// Offsets and block sizes are never computed by code that builds a list: it
// places a TSWFOffsetMarker in the list and links the branch to it, and the
// offset comes from the marker's position when the list is written. Reading
// a block works the other way round: every offset is kept as read and a
// marker is inserted at its target, so the list is written back unchanged
// while the XML form can name the targets.
//
// The action classes are in actions_swf4.h (SWF 3 and 4) and actions_swf5.h
// (SWF 5 to 7).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/xml.h"
#include "swf/bits_engine.h"
#include "swf/names.h"

class TSWFActionList;

class TSWFAction {
public:
    explicit TSWFAction(uint8_t code) : ActionCode(code) {}
    virtual ~TSWFAction() = default;
    TSWFAction(const TSWFAction&) = delete;
    TSWFAction& operator=(const TSWFAction&) = delete;

    const uint8_t ActionCode;
    // The record's length field as read, or the length the last WriteAction
    // produced. Codes below 0x80 have no body and keep 0.
    uint16_t BodySize = 0;
    // Bytes a file had after the fields of a body, inside its declared
    // length. They are written back after the fields so that branch offsets
    // that were read still count them; the XML form does not carry them.
    std::vector<uint8_t> ExtraBytes;

    virtual void CopyFieldsFrom(const TSWFAction& source);
    virtual int RequiredVersion() const { return 3; }
    // Reads the fields of a body; the base skips BodySize bytes.
    virtual void ReadBody(TBitsEngine& be);
    virtual void WriteBody(TBitsEngine& be) {}
    virtual void WriteAction(TBitsEngine& be);
    virtual void LoadFromXml(const TXmlNode& node) {}
    virtual void SaveToXml(TXmlNode node) {}
};

// Family bases: the lowest SWF version that knows the action.
class TSWFAction4 : public TSWFAction {
public:
    using TSWFAction::TSWFAction;
    int RequiredVersion() const override { return 4; }
};
class TSWFAction5 : public TSWFAction {
public:
    using TSWFAction::TSWFAction;
    int RequiredVersion() const override { return 5; }
};
class TSWFAction6 : public TSWFAction {
public:
    using TSWFAction::TSWFAction;
    int RequiredVersion() const override { return 6; }
};
class TSWFAction7 : public TSWFAction {
public:
    using TSWFAction::TSWFAction;
    int RequiredVersion() const override { return 7; }
};

constexpr uint8_t kActionConstantPool = 0x88;
constexpr uint8_t kActionByteCode = 0xFE;
constexpr uint8_t kActionOffsetMarker = 0xFF;

// Raw action bytes, written exactly as they stand (no code byte or length of
// its own): a block kept unparsed, a record of a code without a class, or a
// record whose body did not fit its length.
class TSWFActionByteCode : public TSWFAction4 {
public:
    TSWFActionByteCode() : TSWFAction4(kActionByteCode) {}

    std::vector<uint8_t> Data;
    int32_t DataSize() const { return static_cast<int32_t>(Data.size()); }

    void SetSize(uint16_t n) { Data.assign(n, 0); }
    uint8_t GetByte(size_t index) const { return Data.at(index); }
    void SetByte(size_t index, uint8_t value) { Data.at(index) = value; }
    std::string GetHexText() const;
    // Two hexadecimal digits a byte, either case; a final odd digit is ignored.
    void SetHexText(const std::string& text);

    void CopyFieldsFrom(const TSWFAction& source) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

// A position in an action list that a branch or block size refers to. It
// occupies no bytes. Its owner (the branch or block action) creates it and
// owns it until it is placed in a list, which then owns it.
class TSWFOffsetMarker : public TSWFAction {
public:
    TSWFOffsetMarker() : TSWFAction(kActionOffsetMarker) {}

    bool Placed = false;
    // The marker stands before the action that refers to it.
    bool Backward = true;
    // The referring offset is produced at write time through this marker.
    bool AutoOffset = true;
    std::string Label;
    // Output position of the referring offset field, set just before WriteOffset.
    int32_t FieldPosition = 0;
    // Width of the offset field: 2 (UI16) or 4 (UI32); any other writes no field.
    uint8_t OffsetSize = 2;
    // Backward: where the marker was written; forward: where the placeholder is.
    int32_t RecordedPosition = 0;
    // Set by the referring action: a branch offset is signed, a block size
    // is not; an offset outside its field's range fails the write.
    bool SignedField = false;

    void CopyFieldsFrom(const TSWFAction& source) override;
    // Called by the referring action while it writes its body.
    void WriteOffset(TBitsEngine& be);
    // Runs when the list reaches the marker: records it or patches the field.
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
    // True while the owning action still holds the marker (not in a list).
    bool HeldByOwner() const { return holder_ && holder_->get() == this; }

protected:
    void Patch(TBitsEngine& be, int64_t value);
    void CheckRange(int64_t value) const;
    // A forward placeholder waits for this marker in the current write; and
    // a backward marker has been recorded in it.
    bool pending_ = false;
    bool recorded_ = false;

private:
    friend class TMarkerSlotBase;
    friend class TSWFActionList;
    // While an action owns the unplaced marker: the owner's holder.
    std::unique_ptr<TSWFOffsetMarker>* holder_ = nullptr;
};

// The end of a try, catch or finally block. Its size is measured from the
// end of the previous block of the same Try (or from the end of the Try
// record for the try block), not from the end of the offset field.
class TSWFTryOffsetMarker : public TSWFOffsetMarker {
public:
    // The marker that ends the previous block of the same Try (not owned).
    TSWFTryOffsetMarker* PrevMarker = nullptr;
    // Output position of the end of the Try record, set by the Try's writer.
    int32_t RecordEnd = 0;

    void WriteBody(TBitsEngine& be) override;
    // Called by the Try before it writes its record.
    void StartWrite() { pending_ = false; written_ = false; }

private:
    bool written_ = false;
    int32_t writtenPosition_ = 0;
};

// How an action refers to its marker: it owns the marker until the marker is
// placed in a list, and refers to it afterwards.
class TMarkerSlotBase {
protected:
    static void Adopt(TSWFOffsetMarker& marker, std::unique_ptr<TSWFOffsetMarker>& holder) { marker.holder_ = &holder; }
    static void Disown(TSWFOffsetMarker& marker) { marker.holder_ = nullptr; }
};

template <class M>
class TMarkerSlot : TMarkerSlotBase {
public:
    TMarkerSlot() = default;
    TMarkerSlot(const TMarkerSlot&) = delete;
    TMarkerSlot& operator=(const TMarkerSlot&) = delete;
    ~TMarkerSlot() { Reset(); }

    M* Get() const { return marker_; }
    // Markers that end a block are forward ones: a size only counts forward.
    M& GetOrCreate(bool backward = true) {
        if (!marker_) {
            auto created = std::make_unique<M>();
            created->Backward = backward;
            marker_ = created.get();
            owned_ = std::move(created);
            Adopt(*marker_, owned_);
        }
        return *marker_;
    }
    // Refers to a marker that a list owns (freeing an unplaced one of ours).
    void Link(M* placed) {
        if (placed == marker_) return;
        Reset();
        marker_ = placed;
    }
    // Forgets the marker, freeing it when it was never placed.
    void Reset() {
        if (owned_ && owned_.get() == marker_) Disown(*marker_);
        owned_.reset();
        marker_ = nullptr;
    }

private:
    M* marker_ = nullptr;
    // Holds the marker while it is unplaced; emptied when a list takes it.
    std::unique_ptr<TSWFOffsetMarker> owned_;
};

class TSWFActionList {
public:
    TSWFActionList() = default;
    virtual ~TSWFActionList();
    TSWFActionList(const TSWFActionList&) = delete;
    TSWFActionList& operator=(const TSWFActionList&) = delete;

    size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    TSWFAction* GetAction(size_t index) const { return items_.at(index).get(); }
    // Replaces (and frees) the item at index.
    void SetAction(size_t index, std::unique_ptr<TSWFAction> action);
    template <class T>
    T* Add(std::unique_ptr<T> action) {
        T* raw = action.get();
        Insert(items_.size(), std::move(action));
        return raw;
    }
    void Insert(size_t index, std::unique_ptr<TSWFAction> action);
    // Places a marker that an action still owns: the list takes it over.
    void InsertMarker(size_t index, TSWFOffsetMarker& marker);
    void AddMarker(TSWFOffsetMarker& marker) { InsertMarker(items_.size(), marker); }
    // Replaces the item at index by a marker that an action still owns.
    void ReplaceByMarker(size_t index, TSWFOffsetMarker& marker);
    void Delete(size_t index);
    // Moves count items from index from so that they start at index to
    // (counted before the move); the items keep their identity, so branches
    // keep their markers.
    void Move(size_t from, size_t count, size_t to);
    // Moves every item of source to the end of this list.
    void TakeAll(TSWFActionList& source);
    void Clear();
    // The index of the item, or -1.
    int64_t IndexOf(const TSWFAction* action) const;

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::unique_ptr<TSWFAction> TakeMarker(TSWFOffsetMarker& marker);
    std::vector<std::unique_ptr<TSWFAction>> items_;
};

// CopyFieldsFrom takes any action; copying another class is a caller's
// mistake that must surface as a message, not as a bad_cast.
template <class T>
const T& SourceAs(const TSWFAction& source, const TSWFAction& target) {
    auto* typed = dynamic_cast<const T*>(&source);
    if (!typed)
        throw EConvertError("Cannot copy the fields of " + ActionCodeToName(source.ActionCode, true) + " into " +
                            ActionCodeToName(target.ActionCode, true));
    return *typed;
}

// The size of the record in the file: 1 below 0x80, BodySize + 3 otherwise;
// a byte-code item counts the bytes it writes, a marker none.
uint32_t ActionRecordSize(const TSWFAction& action);
// The object of the code's class, or nothing for a code without a row in the
// action table.
std::unique_ptr<TSWFAction> CreateActionByCode(uint8_t code);
// Adds the action's element to parent and saves the action into it.
TXmlNode SaveToXmlChild(TSWFAction& action, TXmlNode parent);
// Reads one action block of size bytes from the engine's position into list
// (which appends) and turns every branch offset and block size into a marker.
void ReadActionList(TBitsEngine& be, TSWFActionList& list, int64_t size);
// Appends deep copies of source's actions to destination, with the copies'
// markers linked to the copied marker items.
void CopyActionList(const TSWFActionList& source, TSWFActionList& destination);
// The position just after the block's ActionEnd byte, or the start position
// when the stream ends first; the stream position is left unchanged.
int64_t FindActionListEnd(TBitsEngine& be);
// The highest RequiredVersion of the list's actions, at least 3.
int ActionListRequiredVersion(const TSWFActionList& list);
