#include "swf/actions.h"

#include <algorithm>
#include <unordered_map>

#include "platform/errors.h"
#include "swf/actions_swf4.h"
#include "swf/actions_swf5.h"
#include "swf/names.h"

// ---------------------------------------------------------------- records

void TSWFAction::CopyFieldsFrom(const TSWFAction& source) {
    BodySize = source.BodySize;
    ExtraBytes = source.ExtraBytes;
}

void TSWFAction::ReadBody(TBitsEngine& be) {
    // No fields: the body is kept as it is, so it is written back unchanged.
    int64_t n = std::min<int64_t>(BodySize, be.Stream.Remaining());
    ExtraBytes.resize(static_cast<size_t>(n));
    be.ReadBytes(ExtraBytes.data(), n);
}

void TSWFAction::WriteAction(TBitsEngine& be) {
    if (ActionCode == kActionByteCode || ActionCode == kActionOffsetMarker) {
        WriteBody(be);
        return;
    }
    be.WriteByte(ActionCode);
    if (ActionCode < 0x80) return;
    // The body goes through its own stream first: its length precedes it.
    TMemoryStream body;
    TBitsEngine bodyEngine(body);
    WriteBody(bodyEngine);
    bodyEngine.FlushLastByte(true);
    if (!ExtraBytes.empty()) body.WriteBuffer(ExtraBytes.data(), static_cast<int64_t>(ExtraBytes.size()));
    // A constant pool is read by its count, so the players and we accept one
    // whose length has wrapped; any other body must fit the length field.
    if (body.GetSize() > 0xFFFF && ActionCode != 0x88)
        throw EWriteError(FormatStr("The body of action %s is %lld bytes, more than a record can hold",
                                    ActionCodeToName(ActionCode, true).c_str(),
                                    static_cast<long long>(body.GetSize())));
    BodySize = static_cast<uint16_t>(body.GetSize());
    be.WriteWord(BodySize);
    be.WriteBuffer(body.Memory(), body.GetSize());
}

// ---------------------------------------------------------------- byte code

std::string TSWFActionByteCode::GetHexText() const {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(Data.size() * 2);
    for (uint8_t b : Data) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

void TSWFActionByteCode::SetHexText(const std::string& text) {
    size_t n = text.size() / 2;
    std::vector<uint8_t> bytes(n);
    for (size_t k = 0; k < n; ++k) bytes[k] = static_cast<uint8_t>(StrToInt64("$" + text.substr(2 * k, 2)));
    Data = std::move(bytes);
}

void TSWFActionByteCode::CopyFieldsFrom(const TSWFAction& source) {
    TSWFAction::CopyFieldsFrom(source);
    if (auto* other = dynamic_cast<const TSWFActionByteCode*>(&source)) Data = other->Data;
}

void TSWFActionByteCode::WriteBody(TBitsEngine& be) {
    if (!Data.empty()) be.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
    BodySize = static_cast<uint16_t>(Data.size());
}

void TSWFActionByteCode::LoadFromXml(const TXmlNode& node) { SetHexText(node.Text()); }

void TSWFActionByteCode::SaveToXml(TXmlNode node) {
    if (!Data.empty()) node.SetText(GetHexText());
}

// ---------------------------------------------------------------- markers

void TSWFOffsetMarker::CopyFieldsFrom(const TSWFAction& source) {
    TSWFAction::CopyFieldsFrom(source);
    if (auto* other = dynamic_cast<const TSWFOffsetMarker*>(&source)) {
        Placed = other->Placed;
        Backward = other->Backward;
        Label = other->Label;
        OffsetSize = other->OffsetSize;
        AutoOffset = other->AutoOffset;
    }
}

void TSWFOffsetMarker::Patch(TBitsEngine& be, int64_t value) {
    TStream& out = be.Stream;
    int64_t back = out.GetPosition();
    // A field that is not behind the marker in this stream was written
    // elsewhere: patching would overwrite unrelated bytes.
    if (RecordedPosition < 0 || RecordedPosition + OffsetSize > back) return;
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    if (OffsetSize != 2 && OffsetSize != 4) return;
    CheckRange(value);
    out.SetPosition(RecordedPosition);
    out.WriteBuffer(bytes, OffsetSize);
    out.SetPosition(back);
}

void TSWFOffsetMarker::CheckRange(int64_t value) const {
    int64_t low = SignedField ? (OffsetSize == 2 ? -32768 : INT32_MIN) : 0;
    int64_t high = SignedField ? (OffsetSize == 2 ? 32767 : INT32_MAX) : (OffsetSize == 2 ? 0xFFFF : UINT32_MAX);
    if (value < low || value > high)
        throw EWriteError(FormatStr("The offset to \"%s\" is %lld bytes, which its field cannot hold",
                                    Label.c_str(), static_cast<long long>(value)));
}

void TSWFOffsetMarker::WriteOffset(TBitsEngine& be) {
    if (!AutoOffset) return;
    if (OffsetSize != 2 && OffsetSize != 4) return;
    if (Backward) {
        // A marker not yet written in this pass gives no distance to measure.
        int64_t value = recorded_ ? -(int64_t(FieldPosition) + OffsetSize - RecordedPosition) : 0;
        CheckRange(value);
        if (OffsetSize == 2) be.WriteWord(static_cast<uint16_t>(value));
        else be.WriteDWord(static_cast<uint32_t>(value));
        return;
    }
    RecordedPosition = FieldPosition;
    pending_ = true;
    const uint8_t zeros[4] = {0, 0, 0, 0};
    be.Stream.WriteBuffer(zeros, OffsetSize);
}

void TSWFOffsetMarker::WriteBody(TBitsEngine& be) {
    Placed = true;
    if (!AutoOffset) return;
    int64_t position = be.Stream.GetPosition();
    if (Backward) {
        RecordedPosition = static_cast<int32_t>(position);
        recorded_ = true;
        return;
    }
    if (!pending_) return;
    pending_ = false;
    Patch(be, position - RecordedPosition - OffsetSize);
}

void TSWFOffsetMarker::LoadFromXml(const TXmlNode& node) { Label = node.AttrStrDef("Label", ""); }

void TSWFOffsetMarker::SaveToXml(TXmlNode node) { node.SetAttr("Label", Label); }

void TSWFTryOffsetMarker::WriteBody(TBitsEngine& be) {
    Placed = true;
    if (!AutoOffset) return;
    int64_t position = be.Stream.GetPosition();
    written_ = true;
    writtenPosition_ = static_cast<int32_t>(position);
    if (Backward) {
        RecordedPosition = static_cast<int32_t>(position);
        recorded_ = true;
        return;
    }
    if (!pending_) return;
    pending_ = false;
    int64_t size = position - RecordEnd;
    if (PrevMarker && PrevMarker->written_) size = position - PrevMarker->writtenPosition_;
    // The previous block ends later in the list: this block has no bytes.
    else if (PrevMarker && PrevMarker->Placed) size = 0;
    Patch(be, size);
}

// ---------------------------------------------------------------- list

TSWFActionList::~TSWFActionList() { Clear(); }

void TSWFActionList::Clear() {
    // Front to back, so that every owner is gone before the markers after it.
    for (auto& item : items_) item.reset();
    items_.clear();
}

void TSWFActionList::SetAction(size_t index, std::unique_ptr<TSWFAction> action) {
    if (!action) throw Exception("An action list holds no empty items");
    items_.at(index) = std::move(action);
}

void TSWFActionList::Insert(size_t index, std::unique_ptr<TSWFAction> action) {
    if (!action) throw Exception("An action list holds no empty items");
    if (index > items_.size()) throw Exception(FormatStr("List index out of bounds (%zu)", index));
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), std::move(action));
}

std::unique_ptr<TSWFAction> TSWFActionList::TakeMarker(TSWFOffsetMarker& marker) {
    if (!marker.holder_ || marker.holder_->get() != &marker)
        throw Exception(FormatStr("The marker \"%s\" is already placed in a list", marker.Label.c_str()));
    std::unique_ptr<TSWFOffsetMarker> taken = std::move(*marker.holder_);
    marker.holder_ = nullptr;
    marker.Placed = true;
    return taken;
}

void TSWFActionList::InsertMarker(size_t index, TSWFOffsetMarker& marker) {
    if (index > items_.size()) throw Exception(FormatStr("List index out of bounds (%zu)", index));
    Insert(index, TakeMarker(marker));
}

void TSWFActionList::ReplaceByMarker(size_t index, TSWFOffsetMarker& marker) {
    if (index >= items_.size()) throw Exception(FormatStr("List index out of bounds (%zu)", index));
    items_[index] = TakeMarker(marker);
}

void TSWFActionList::Delete(size_t index) {
    if (index >= items_.size()) throw Exception(FormatStr("List index out of bounds (%zu)", index));
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TSWFActionList::Move(size_t from, size_t count, size_t to) {
    if (from > items_.size() || count > items_.size() - from || to > items_.size())
        throw Exception(FormatStr("List index out of bounds (%zu)", from));
    auto first = items_.begin() + static_cast<std::ptrdiff_t>(from);
    auto last = first + static_cast<std::ptrdiff_t>(count);
    auto target = items_.begin() + static_cast<std::ptrdiff_t>(to);
    if (to < from) std::rotate(target, first, last);
    else if (to > from + count) std::rotate(first, last, target);
}

void TSWFActionList::TakeAll(TSWFActionList& source) {
    if (&source == this) return;
    items_.reserve(items_.size() + source.items_.size());
    for (auto& item : source.items_) items_.push_back(std::move(item));
    source.items_.clear();
}

int64_t TSWFActionList::IndexOf(const TSWFAction* action) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == action) return static_cast<int64_t>(i);
    return -1;
}

// ---------------------------------------------------------------- helpers

uint32_t ActionRecordSize(const TSWFAction& action) {
    if (action.ActionCode == kActionOffsetMarker) return 0;
    if (auto* raw = dynamic_cast<const TSWFActionByteCode*>(&action)) return static_cast<uint32_t>(raw->DataSize());
    if (action.ActionCode < 0x80) return 1;
    return uint32_t(action.BodySize) + 3;
}

int ActionListRequiredVersion(const TSWFActionList& list) {
    int version = 3;
    for (const auto& action : list) version = std::max(version, action->RequiredVersion());
    return version;
}

TXmlNode SaveToXmlChild(TSWFAction& action, TXmlNode parent) {
    std::string name = action.ActionCode == kActionOffsetMarker ? "Offset" : ActionCodeToName(action.ActionCode, false);
    TXmlNode child = parent.AddChild(name);
    action.SaveToXml(child);
    return child;
}

std::unique_ptr<TSWFAction> CreateActionByCode(uint8_t code) {
    switch (code) {
        case 0x04: return std::make_unique<TSWFActionNextFrame>();
        case 0x05: return std::make_unique<TSWFActionPreviousFrame>();
        case 0x06: return std::make_unique<TSWFActionPlay>();
        case 0x07: return std::make_unique<TSWFActionStop>();
        case 0x08: return std::make_unique<TSWFActionToggleQuality>();
        case 0x09: return std::make_unique<TSWFActionStopSounds>();
        case 0x0A: return std::make_unique<TSWFActionAdd>();
        case 0x0B: return std::make_unique<TSWFActionSubtract>();
        case 0x0C: return std::make_unique<TSWFActionMultiply>();
        case 0x0D: return std::make_unique<TSWFActionDivide>();
        case 0x0E: return std::make_unique<TSWFActionEquals>();
        case 0x0F: return std::make_unique<TSWFActionLess>();
        case 0x10: return std::make_unique<TSWFActionAnd>();
        case 0x11: return std::make_unique<TSWFActionOr>();
        case 0x12: return std::make_unique<TSWFActionNot>();
        case 0x13: return std::make_unique<TSWFActionStringEquals>();
        case 0x14: return std::make_unique<TSWFActionStringLength>();
        case 0x15: return std::make_unique<TSWFActionStringExtract>();
        case 0x17: return std::make_unique<TSWFActionPop>();
        case 0x18: return std::make_unique<TSWFActionToInteger>();
        case 0x1C: return std::make_unique<TSWFActionGetVariable>();
        case 0x1D: return std::make_unique<TSWFActionSetVariable>();
        case 0x20: return std::make_unique<TSWFActionSetTarget2>();
        case 0x21: return std::make_unique<TSWFActionStringAdd>();
        case 0x22: return std::make_unique<TSWFActionGetProperty>();
        case 0x23: return std::make_unique<TSWFActionSetProperty>();
        case 0x24: return std::make_unique<TSWFActionCloneSprite>();
        case 0x25: return std::make_unique<TSWFActionRemoveSprite>();
        case 0x26: return std::make_unique<TSWFActionTrace>();
        case 0x27: return std::make_unique<TSWFActionStartDrag>();
        case 0x28: return std::make_unique<TSWFActionEndDrag>();
        case 0x29: return std::make_unique<TSWFActionStringLess>();
        case 0x2A: return std::make_unique<TSWFActionThrow>();
        case 0x2B: return std::make_unique<TSWFActionCastOp>();
        case 0x2C: return std::make_unique<TSWFActionImplementsOp>();
        case 0x2D: return std::make_unique<TSWFActionFSCommand2>();
        case 0x30: return std::make_unique<TSWFActionRandomNumber>();
        case 0x31: return std::make_unique<TSWFActionMBStringLength>();
        case 0x32: return std::make_unique<TSWFActionCharToAscii>();
        case 0x33: return std::make_unique<TSWFActionAsciiToChar>();
        case 0x34: return std::make_unique<TSWFActionGetTime>();
        case 0x35: return std::make_unique<TSWFActionMBStringExtract>();
        case 0x36: return std::make_unique<TSWFActionMBCharToAscii>();
        case 0x37: return std::make_unique<TSWFActionMBAsciiToChar>();
        case 0x3A: return std::make_unique<TSWFActionDelete>();
        case 0x3B: return std::make_unique<TSWFActionDelete2>();
        case 0x3C: return std::make_unique<TSWFActionDefineLocal>();
        case 0x3D: return std::make_unique<TSWFActionCallFunction>();
        case 0x3E: return std::make_unique<TSWFActionReturn>();
        case 0x3F: return std::make_unique<TSWFActionModulo>();
        case 0x40: return std::make_unique<TSWFActionNewObject>();
        case 0x41: return std::make_unique<TSWFActionDefineLocal2>();
        case 0x42: return std::make_unique<TSWFActionInitArray>();
        case 0x43: return std::make_unique<TSWFActionInitObject>();
        case 0x44: return std::make_unique<TSWFActionTypeOf>();
        case 0x45: return std::make_unique<TSWFActionTargetPath>();
        case 0x46: return std::make_unique<TSWFActionEnumerate>();
        case 0x47: return std::make_unique<TSWFActionAdd2>();
        case 0x48: return std::make_unique<TSWFActionLess2>();
        case 0x49: return std::make_unique<TSWFActionEquals2>();
        case 0x4A: return std::make_unique<TSWFActionToNumber>();
        case 0x4B: return std::make_unique<TSWFActionToString>();
        case 0x4C: return std::make_unique<TSWFActionPushDuplicate>();
        case 0x4D: return std::make_unique<TSWFActionStackSwap>();
        case 0x4E: return std::make_unique<TSWFActionGetMember>();
        case 0x4F: return std::make_unique<TSWFActionSetMember>();
        case 0x50: return std::make_unique<TSWFActionIncrement>();
        case 0x51: return std::make_unique<TSWFActionDecrement>();
        case 0x52: return std::make_unique<TSWFActionCallMethod>();
        case 0x53: return std::make_unique<TSWFActionNewMethod>();
        case 0x54: return std::make_unique<TSWFActionInstanceOf>();
        case 0x55: return std::make_unique<TSWFActionEnumerate2>();
        case 0x60: return std::make_unique<TSWFActionBitAnd>();
        case 0x61: return std::make_unique<TSWFActionBitOr>();
        case 0x62: return std::make_unique<TSWFActionBitXor>();
        case 0x63: return std::make_unique<TSWFActionBitLShift>();
        case 0x64: return std::make_unique<TSWFActionBitRShift>();
        case 0x65: return std::make_unique<TSWFActionBitURShift>();
        case 0x66: return std::make_unique<TSWFActionStrictEquals>();
        case 0x67: return std::make_unique<TSWFActionGreater>();
        case 0x68: return std::make_unique<TSWFActionStringGreater>();
        case 0x69: return std::make_unique<TSWFActionExtends>();
        case 0x81: return std::make_unique<TSWFActionGotoFrame>();
        case 0x83: return std::make_unique<TSWFActionGetUrl>();
        case 0x87: return std::make_unique<TSWFActionStoreRegister>();
        case 0x88: return std::make_unique<TSWFActionConstantPool>();
        case 0x8A: return std::make_unique<TSWFActionWaitForFrame>();
        case 0x8B: return std::make_unique<TSWFActionSetTarget>();
        case 0x8C: return std::make_unique<TSWFActionGoToLabel>();
        case 0x8D: return std::make_unique<TSWFActionWaitForFrame2>();
        case 0x8E: return std::make_unique<TSWFActionDefineFunction2>();
        case 0x8F: return std::make_unique<TSWFActionTry>();
        case 0x94: return std::make_unique<TSWFActionWith>();
        case 0x96: return std::make_unique<TSWFActionPush>();
        case 0x99: return std::make_unique<TSWFActionJump>();
        case 0x9A: return std::make_unique<TSWFActionGetURL2>();
        case 0x9B: return std::make_unique<TSWFActionDefineFunction>();
        case 0x9D: return std::make_unique<TSWFActionIf>();
        case 0x9E: return std::make_unique<TSWFActionCall>();
        case 0x9F: return std::make_unique<TSWFActionGotoFrame2>();
        case kActionByteCode: return std::make_unique<TSWFActionByteCode>();
        case kActionOffsetMarker: return std::make_unique<TSWFOffsetMarker>();
        default: return nullptr;
    }
}

// ---------------------------------------------------------------- reading

namespace {

std::unique_ptr<TSWFActionByteCode> RawRecord(TStream& in, int64_t from, int64_t to) {
    auto raw = std::make_unique<TSWFActionByteCode>();
    raw->Data.resize(static_cast<size_t>(to - from));
    in.SetPosition(from);
    in.ReadBuffer(raw->Data.data(), to - from);
    raw->BodySize = static_cast<uint16_t>(raw->Data.size());
    return raw;
}

// Reads the record of a code of 0x80 or more whose code byte is behind the
// position. A record that cannot be represented by its class (a code without
// one, a length running past the block, fields running past the length) is
// kept whole as byte code, and reading goes on after it.
std::unique_ptr<TSWFAction> ReadLongRecord(TStream& in, uint8_t code, int64_t end) {
    const int64_t recordStart = in.GetPosition() - 1;
    if (end - in.GetPosition() < 2) return RawRecord(in, recordStart, end);
    TBitsEngine be(in);
    const uint16_t length = be.ReadWord();
    const int64_t bodyStart = in.GetPosition();
    if (length > end - bodyStart) return RawRecord(in, recordStart, end);
    const int64_t recordEnd = bodyStart + length;

    std::unique_ptr<TSWFAction> action;
    if (code != kActionByteCode && code != kActionOffsetMarker) action = CreateActionByCode(code);
    if (!action) return RawRecord(in, recordStart, recordEnd);
    action->BodySize = length;
    try {
        TBoundedStream view(in, bodyStart, length);
        TBitsEngine body(view);
        action->ReadBody(body);
        int64_t consumed = view.GetPosition();
        if (consumed < length) {
            // Bytes after the fields, inside the length: kept and written back.
            action->ExtraBytes.resize(static_cast<size_t>(length - consumed));
            in.SetPosition(bodyStart + consumed);
            in.ReadBuffer(action->ExtraBytes.data(), length - consumed);
        }
        action->BodySize = length;
        in.SetPosition(recordEnd);
        return action;
    } catch (const Exception&) {
    }
    if (code == kActionConstantPool) {
        // A pool whose declared length is shorter than its strings (producers
        // of pools over 64 KB write the length modulo 65536) is read by its
        // strings, so that the template look-up still finds its constants; its
        // length becomes the bytes read.
        auto pool = CreateActionByCode(code);
        pool->BodySize = length;
        try {
            TBoundedStream view(in, bodyStart, end - bodyStart);
            TBitsEngine body(view);
            pool->ReadBody(body);
            int64_t consumed = view.GetPosition();
            if (consumed > length) {
                in.SetPosition(bodyStart + consumed);
                return pool;
            }
        } catch (const Exception&) {
        }
    }
    return RawRecord(in, recordStart, recordEnd);
}

// Turns the offsets of a block just read into markers. The markers occupy
// no bytes, so every target is found on the byte positions of the actions
// alone; the markers are then put into the list in one pass, at each gap
// those placed forward first (the latest first) and those placed backward
// after them (the earliest first), as inserting them one by one would.
class TResolver {
public:
    explicit TResolver(std::vector<std::unique_ptr<TSWFAction>>& actions) : actions_(actions) {
        starts_.resize(actions.size() + 1);
        for (size_t i = 0; i < actions.size(); ++i) starts_[i + 1] = starts_[i] + ActionRecordSize(*actions[i]);
    }

    void Run() {
        for (size_t i = 0; i < actions_.size(); ++i) {
            TSWFAction* action = actions_[i].get();
            if (auto* jump = dynamic_cast<TSWFActionJump*>(action)) {
                TSWFOffsetMarker& marker = jump->GetLabel();
                marker.Backward = jump->BranchOffset < 0;
                Place(i, marker, jump->BranchOffset);
            } else if (auto* function2 = dynamic_cast<TSWFActionDefineFunction2*>(action)) {
                PlaceForward(i, function2->GetLabel(), function2->CodeSize);
            } else if (auto* function = dynamic_cast<TSWFActionDefineFunction*>(action)) {
                PlaceForward(i, function->GetLabel(), function->CodeSize);
            } else if (auto* with = dynamic_cast<TSWFActionWith*>(action)) {
                PlaceForward(i, with->GetLabel(), with->Size);
            } else if (auto* block = dynamic_cast<TSWFActionTry*>(action)) {
                // Placed last block first: an empty block's marker then
                // stays after the one of the block before it.
                std::string n = std::to_string(++counter_);
                if (block->FinallyBlockFlag) {
                    int64_t d = int64_t(block->TrySize) + block->FinallySize;
                    if (block->CatchBlockFlag) d += block->CatchSize;
                    block->GetFinallyLabel().Label = "Finally " + n;
                    PlaceForward(i, block->GetFinallyLabel(), d);
                }
                if (block->CatchBlockFlag) {
                    block->GetCatchLabel().Label = "Catch " + n;
                    PlaceForward(i, block->GetCatchLabel(), int64_t(block->TrySize) + block->CatchSize);
                }
                block->GetTryLabel().Label = "Try " + n;
                PlaceForward(i, block->GetTryLabel(), block->TrySize);
            }
        }
    }

    void MoveInto(TSWFActionList& list) {
        std::stable_sort(placed_.begin(), placed_.end(), [](const TPlaced& a, const TPlaced& b) {
            if (a.gap != b.gap) return a.gap < b.gap;
            if (a.forward != b.forward) return a.forward;
            return a.forward ? a.sequence > b.sequence : a.sequence < b.sequence;
        });
        size_t next = 0;
        for (size_t k = 0; k <= actions_.size(); ++k) {
            for (; next < placed_.size() && placed_[next].gap == k; ++next) list.AddMarker(*placed_[next].marker);
            if (k < actions_.size()) list.Add(std::move(actions_[k]));
        }
    }

private:
    struct TPlaced {
        size_t gap;  // the marker goes before the action of this index
        bool forward;
        size_t sequence;
        TSWFOffsetMarker* marker;
    };

    void PlaceForward(size_t i, TSWFOffsetMarker& marker, int64_t d) {
        marker.Backward = false;
        Place(i, marker, d);
    }

    // Places marker at distance d (bytes) from the end of the action at i.
    void Place(size_t i, TSWFOffsetMarker& marker, int64_t d) {
        marker.AutoOffset = false;
        if (d == 0) return;
        const int64_t target = static_cast<int64_t>(starts_[i + 1]) + d;
        auto found = std::lower_bound(starts_.begin(), starts_.end(), static_cast<uint64_t>(std::max<int64_t>(target, 0)));
        if (target < 0 || found == starts_.end() || static_cast<int64_t>(*found) != target) {
            // Into an instruction, before the block or past its end: the
            // owner keeps its raw value, so the bytes are written back as read.
            marker.Label = "Error Size offset: " + std::to_string(d);
            marker.Placed = false;
            return;
        }
        if (marker.Label.empty()) marker.Label = "label " + std::to_string(++counter_);
        placed_.push_back({static_cast<size_t>(found - starts_.begin()), d > 0, placed_.size(), &marker});
    }

    std::vector<std::unique_ptr<TSWFAction>>& actions_;
    // starts_[k]: the byte offset in the block at which the action k starts.
    std::vector<uint64_t> starts_;
    std::vector<TPlaced> placed_;
    uint16_t counter_ = 0;
};

}  // namespace

void ReadActionList(TBitsEngine& be, TSWFActionList& list, int64_t size) {
    TStream& in = be.Stream;
    const int64_t start = in.GetPosition();
    const int64_t end = std::min(start + std::max<int64_t>(size, 0), in.GetSize());
    // The block's last byte, when 0, is its ActionEnd; every byte before it
    // belongs to a record. An earlier ActionEnd is kept as a byte: a branch
    // can jump over it into the code after it.
    int64_t recordsEnd = end;
    if (end > start) {
        uint8_t last = 0xFF;
        in.SetPosition(end - 1);
        in.ReadBuffer(&last, 1);
        in.SetPosition(start);
        if (last == 0) recordsEnd = end - 1;
    }
    std::vector<std::unique_ptr<TSWFAction>> actions;
    while (in.GetPosition() < recordsEnd) {
        uint8_t code = be.ReadByte();
        if (code >= 0x80) {
            actions.push_back(ReadLongRecord(in, code, recordsEnd));
            continue;
        }
        std::unique_ptr<TSWFAction> action = code == 0 ? nullptr : CreateActionByCode(code);
        if (!action) {
            auto raw = std::make_unique<TSWFActionByteCode>();
            raw->Data.push_back(code);
            action = std::move(raw);
        }
        actions.push_back(std::move(action));
    }
    in.SetPosition(end);
    TResolver resolver(actions);
    resolver.Run();
    resolver.MoveInto(list);
}

// ---------------------------------------------------------------- copying

namespace {

// Where each source item stands, so that linking is not quadratic.
using TIndexMap = std::unordered_map<const TSWFAction*, size_t>;

template <class M>
void LinkCopy(const TMarkerSlot<M>& source, TMarkerSlot<M>& copy, const TIndexMap& indexes,
              const TSWFActionList& to, size_t base) {
    if (!source.Get()) return;
    auto found = indexes.find(source.Get());
    if (found == indexes.end()) return;
    if (auto* marker = dynamic_cast<M*>(to.GetAction(base + found->second))) copy.Link(marker);
}

}  // namespace

void CopyActionList(const TSWFActionList& source, TSWFActionList& destination) {
    const size_t base = destination.Count();
    TIndexMap indexes;
    for (const auto& action : source) {
        std::unique_ptr<TSWFAction> copy;
        // The markers that end try blocks measure their sizes their own way.
        if (dynamic_cast<const TSWFTryOffsetMarker*>(action.get())) copy = std::make_unique<TSWFTryOffsetMarker>();
        else copy = CreateActionByCode(action->ActionCode);
        if (!copy) throw Exception(FormatStr("Action code %d has no class to copy into", action->ActionCode));
        copy->CopyFieldsFrom(*action);
        if (action->ActionCode == kActionOffsetMarker) indexes.emplace(action.get(), destination.Count() - base);
        destination.Add(std::move(copy));
    }
    // Owners are linked also when their offsets are given, so that a copy
    // of a list that was read keeps its branch targets in the XML form.
    for (size_t k = 0; k < source.Count(); ++k) {
        TSWFAction* from = source.GetAction(k);
        TSWFAction* to = destination.GetAction(base + k);
        if (auto* jump = dynamic_cast<TSWFActionJump*>(from))
            LinkCopy(jump->LabelMarker, static_cast<TSWFActionJump*>(to)->LabelMarker, indexes, destination, base);
        else if (auto* with = dynamic_cast<TSWFActionWith*>(from))
            LinkCopy(with->LabelMarker, static_cast<TSWFActionWith*>(to)->LabelMarker, indexes, destination, base);
        else if (auto* function = dynamic_cast<TSWFActionDefineFunction*>(from))
            LinkCopy(function->LabelMarker, static_cast<TSWFActionDefineFunction*>(to)->LabelMarker, indexes,
                     destination, base);
        else if (auto* function2 = dynamic_cast<TSWFActionDefineFunction2*>(from))
            LinkCopy(function2->LabelMarker, static_cast<TSWFActionDefineFunction2*>(to)->LabelMarker, indexes,
                     destination, base);
        else if (auto* block = dynamic_cast<TSWFActionTry*>(from)) {
            auto* copy = static_cast<TSWFActionTry*>(to);
            LinkCopy(block->TryMarker, copy->TryMarker, indexes, destination, base);
            if (block->CatchBlockFlag) LinkCopy(block->CatchMarker, copy->CatchMarker, indexes, destination, base);
            if (block->FinallyBlockFlag)
                LinkCopy(block->FinallyMarker, copy->FinallyMarker, indexes, destination, base);
        }
    }
}

// ---------------------------------------------------------------- block end

int64_t FindActionListEnd(TBitsEngine& be) {
    TStream& in = be.Stream;
    const int64_t start = in.GetPosition();
    const int64_t size = in.GetSize();
    int64_t result = start;
    int64_t at = start;
    while (at < size) {
        uint8_t code;
        in.SetPosition(at);
        in.ReadBuffer(&code, 1);
        ++at;
        if (code == 0) {
            result = at;
            break;
        }
        if (code >= 0x80) {
            if (size - at < 2) break;
            uint8_t length[2];
            in.ReadBuffer(length, 2);
            at += 2 + (length[0] | length[1] << 8);
        }
    }
    in.SetPosition(start);
    return result;
}
