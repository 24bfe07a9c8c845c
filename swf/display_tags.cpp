#include "swf/display_tags.h"

#include <algorithm>
#include <cctype>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "swf/do_action.h"
#include "swf/xml_form.h"

namespace {

const char* const kEventNames[19] = {
    "KeyUp",   "KeyDown",        "MouseUp", "MouseDown", "MouseMove",  "Unload",    "EnterFrame",
    "Load",    "DragOver",       "RollOut", "RollOver",  "ReleaseOutside", "Release", "Press",
    "Initialize", "Data",        "Construct", "KeyPress", "DragOut",
};

std::string UpperNoSpaces(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != ' ') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

uint32_t ReadFlagsValue(TBitsEngine& be, uint8_t swfVersion) {
    return swfVersion < 6 ? be.ReadWord() : be.ReadDWord();
}

// The ActionEnd byte closes every record, unless the record's actions are
// raw bytes that already end with it.
bool EndsWithActionEnd(const TSWFActionList& list) {
    if (list.Empty()) return false;
    auto* raw = dynamic_cast<const TSWFActionByteCode*>(list.GetAction(list.Count() - 1));
    return raw != nullptr && !raw->Data.empty() && raw->Data.back() == 0;
}

template <class TRec, class TRead>
TRec ReadKept(TBitsEngine& be, TKeptEncoding<TRec>& kept, TRead read) {
    const int64_t start = be.Stream.GetPosition();
    kept.Value = read();
    const int64_t end = be.Stream.GetPosition();
    kept.Bytes.resize(static_cast<size_t>(end - start));
    be.Stream.SetPosition(start);
    be.ReadBytes(kept.Bytes.data(), end - start);
    return kept.Value;
}

template <class TRec, class TWrite>
void WriteKept(TBitsEngine& be, const TKeptEncoding<TRec>& kept, const TRec& value, TWrite write) {
    if (!kept.Bytes.empty() && kept.Value == value) be.WriteBuffer(kept.Bytes.data(), int64_t(kept.Bytes.size()));
    else write();
}

}  // namespace

// ---------------------------------------------------------------- event flags

uint32_t ReadEventFlags(uint32_t value, uint8_t swfVersion) {
    uint32_t b0 = value & 0xFF, b1 = (value >> 8) & 0xFF, b2 = (value >> 16) & 0xFF;
    uint32_t flags = 0;
    for (int i = 0; i < 8; ++i) {
        if (b0 & (0x80u >> i)) flags |= 1u << i;
        if (b1 & (0x80u >> i)) flags |= 1u << (8 + i);
    }
    if (swfVersion >= 6)
        for (int i = 0; i < 3; ++i)
            if (b2 & (0x04u >> i)) flags |= 1u << (16 + i);
    return flags;
}

void WriteEventFlags(TBitsEngine& be, uint32_t flags, uint8_t swfVersion) {
    for (int i = 0; i < 16; ++i) be.WriteBit(flags & (1u << i));
    if (swfVersion >= 6) {
        be.WriteBits(0, 5);
        for (int i = 16; i < 19; ++i) be.WriteBit(flags & (1u << i));
        be.WriteByte(0);
    }
}

uint32_t EventNamesToFlags(const std::string& text) {
    std::string upper = UpperNoSpaces(text);
    uint32_t flags = 0;
    size_t start = 0;
    for (;;) {
        size_t comma = upper.find(',', start);
        std::string name = upper.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        for (int i = 0; i < 19; ++i)
            if (name == UpperNoSpaces(kEventNames[i])) flags |= 1u << i;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return flags;
}

std::string EventFlagsToNames(uint32_t flags, uint8_t swfVersion) {
    std::string text;
    int last = swfVersion > 5 ? 19 : 16;
    for (int i = 0; i < last; ++i)
        if (flags & (1u << i)) text += (text.empty() ? "" : ", ") + std::string(kEventNames[i]);
    return text;
}

// ---------------------------------------------------------------- clip actions

void TSWFClipActionRecord::SetKeyCode(uint8_t code) {
    KeyCode = code;
    if (code != 0) EventFlags |= kClipEventKeyPress;
    else EventFlags &= ~uint32_t(kClipEventKeyPress);
}

void TSWFClipActionRecord::CopyFieldsFrom(const TSWFClipActionRecord& source) {
    SetKeyCode(source.KeyCode);
    EventFlags = source.EventFlags;
    Clear();
    CopyActionList(source, *this);
}

TSWFClipActionRecord& TSWFClipActions::AddActionRecord(uint32_t flags, uint8_t keyCode) {
    auto record = std::make_unique<TSWFClipActionRecord>();
    record->EventFlags = flags;
    record->SetKeyCode(keyCode);
    Records.push_back(std::move(record));
    AllEventFlags |= flags;
    return *Records.back();
}

void TSWFClipActions::CopyFrom(const TSWFClipActions& source) {
    if (&source == this) return;
    Records.clear();
    for (const auto& record : source.Records)
        AddActionRecord(record->EventFlags, record->KeyCode).CopyFieldsFrom(*record);
    AllEventFlags = source.AllEventFlags;
}

// ---------------------------------------------------------------- PlaceObject

void TSWFBasedPlaceObject::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFBasedPlaceObject>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    SetCharacterId(other.CharacterId);
    Depth = other.Depth;
}

void TSWFPlaceObject::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFPlaceObject>(source, *this);
    TSWFBasedPlaceObject::CopyFieldsFrom(source);
    HasColorTransform = other.HasColorTransform;
    if (other.WritesColorTransform()) ColorTransform.CopyFrom(other.ColorTransform);
    Matrix.CopyFrom(other.Matrix);
    keptMatrix_ = other.keptMatrix_;
    keptColor_ = other.keptColor_;
}

void TSWFPlaceObject::ReadBody(TBitsEngine& be) {
    int64_t start = be.Stream.GetPosition();
    SetCharacterId(be.ReadWord());
    Depth = be.ReadWord();
    Matrix.SetRec(ReadKept(be, keptMatrix_, [&] { return be.ReadMatrix(); }));
    HasColorTransform = be.Stream.GetPosition() - start < BodySize;
    if (WritesColorTransform())
        ColorTransform.SetRec(ReadKept(be, keptColor_, [&] { return be.ReadColorTransform(false); }));
}

void TSWFPlaceObject::WriteBody(TBitsEngine& be) {
    be.WriteWord(CharacterId);
    be.WriteWord(Depth);
    TSWFMatrixRec matrix = Matrix.GetRec();
    WriteKept(be, keptMatrix_, matrix, [&] { be.WriteMatrix(matrix); });
    if (WritesColorTransform()) {
        // This record has no alpha terms, whatever the transform holds.
        TSWFColorTransformRec rec = ColorTransform.GetRec();
        rec.HasAlpha = false;
        WriteKept(be, keptColor_, rec, [&] { be.WriteColorTransform(rec); });
    }
}

void TSWFPlaceObject::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    SetCharacterId(static_cast<uint16_t>(node.AttrInt("ID")));
    Depth = static_cast<uint16_t>(node.AttrInt("Depth"));
    Matrix.SetRec(ReadMatrixNode(settings, node, "Matrix"));
    if (node.ChildNode("ColorTransform")) {
        TSWFColorTransformRec rec = ReadColorTransformNode(node);
        rec.HasAlpha = false;
        ColorTransform.SetRec(rec);
        HasColorTransform = true;
    }
}

void TSWFPlaceObject::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(CharacterId));
    node.SetAttr("Depth", static_cast<int>(Depth));
    WriteMatrixNode(settings, node, Matrix.GetRec(), "Matrix");
    if (WritesColorTransform()) WriteColorTransformNode(node, ColorTransform.GetRec());
}

// ---------------------------------------------------------------- PlaceObject2

TSWFMatrix& TSWFPlaceObject2::GetMatrix() {
    if (!matrix_) matrix_ = std::make_unique<TSWFMatrix>();
    HasMatrix = true;
    return *matrix_;
}

TSWFColorTransform& TSWFPlaceObject2::GetColorTransform() {
    if (!colorTransform_) {
        colorTransform_ = std::make_unique<TSWFColorTransform>();
        colorTransform_->HasAlpha = true;
    }
    HasColorTransform = true;
    return *colorTransform_;
}

TSWFClipActions& TSWFPlaceObject2::GetClipActions() {
    if (!clipActions_) {
        clipActions_ = std::make_unique<TSWFClipActions>();
        HasClipActions = true;
    }
    return *clipActions_;
}

void TSWFPlaceObject2::SetCharacterId(uint16_t value) {
    CharacterId = value;
    HasCharacter = true;
}

void TSWFPlaceObject2::SetName(const std::string& text) {
    Name = text;
    HasName = !text.empty();
}

void TSWFPlaceObject2::SetRatio(uint16_t value) {
    Ratio = value;
    HasRatio = true;
}

void TSWFPlaceObject2::SetClipDepth(uint16_t value) {
    ClipDepth = value;
    HasClipDepth = true;
}

bool TSWFPlaceObject2::GetPlacementInfo(TPlacementInfo& info) const {
    info.HasName = HasName;
    info.Name = Name;
    info.HasCharacter = HasCharacter;
    info.CharacterId = CharacterId;
    return true;
}

int TSWFPlaceObject2::RequiredVersion() const {
    if (!HasClipActions) return 3;
    return SWFVersion >= 6 ? SWFVersion : 5;
}

void TSWFPlaceObject2::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFPlaceObject2>(source, *this);
    if (&other == this) return;
    TSWFBasedPlaceObject::CopyFieldsFrom(source);
    HasCharacter = other.HasCharacter;
    if (other.HasClipDepth) SetClipDepth(other.ClipDepth);
    else HasClipDepth = false;
    if (other.HasRatio) SetRatio(other.Ratio);
    else HasRatio = false;
    Name = other.Name;
    HasName = other.HasName;
    if (other.HasMatrix && other.matrix_) GetMatrix().CopyFrom(*other.matrix_);
    else HasMatrix = other.HasMatrix;
    if (other.HasColorTransform && other.colorTransform_) GetColorTransform().CopyFrom(*other.colorTransform_);
    else HasColorTransform = other.HasColorTransform;
    PlaceFlagMove = other.PlaceFlagMove;
    SWFVersion = other.SWFVersion;
    ParseActions = other.ParseActions;
    clipActions_.reset();
    HasClipActions = false;
    if (other.HasClipActions && other.clipActions_) GetClipActions().CopyFrom(*other.clipActions_);
    HasClipActions = other.HasClipActions;
    emptyClipBlock_ = other.emptyClipBlock_;
    clipEndMissing_ = other.clipEndMissing_;
    keptMatrix_ = other.keptMatrix_;
    keptColor_ = other.keptColor_;
    trailing_ = other.trailing_;
}

void TSWFPlaceObject2::ReadBody(TBitsEngine& be) {
    const int64_t start = be.Stream.GetPosition();
    const int64_t end = start + BodySize;
    uint8_t flags = be.ReadByte();
    HasClipActions = flags & 0x80;
    HasClipDepth = flags & 0x40;
    HasName = flags & 0x20;
    HasRatio = flags & 0x10;
    HasColorTransform = flags & 0x08;
    HasMatrix = flags & 0x04;
    HasCharacter = flags & 0x02;
    PlaceFlagMove = flags & 0x01;
    ReadPlaceFlags3(be);
    Depth = be.ReadWord();
    ReadClassName(be);
    if (HasCharacter) SetCharacterId(be.ReadWord());
    if (HasMatrix) GetMatrix().SetRec(ReadKept(be, keptMatrix_, [&] { return be.ReadMatrix(); }));
    if (HasColorTransform)
        GetColorTransform().SetRec(ReadKept(be, keptColor_, [&] { return be.ReadColorTransform(true); }));
    if (HasRatio) SetRatio(be.ReadWord());
    // An empty name keeps its flag as the file has it.
    if (HasName) Name = be.ReadString();
    if (HasClipDepth) SetClipDepth(be.ReadWord());
    ReadFilterAndBlend(be);
    if (HasClipActions) ReadClipActions(be, end);
    trailing_ = ReadRestOfBody(be, start, BodySize);
}

void TSWFPlaceObject2::ReadClipActions(TBitsEngine& be, int64_t end) {
    TSWFClipActions& actions = GetClipActions();
    actions.Records.clear();
    be.ReadWord();  // reserved
    actions.AllEventFlags = ReadEventFlags(ReadFlagsValue(be, SWFVersion), SWFVersion);
    clipEndMissing_ = be.Stream.GetPosition() >= end;
    if (!clipEndMissing_) {
        for (;;) {
            uint32_t value = ReadFlagsValue(be, SWFVersion);
            if (value == 0) break;
            auto record = std::make_unique<TSWFClipActionRecord>();
            record->EventFlags = ReadEventFlags(value, SWFVersion);
            int64_t size = be.ReadDWord();
            if (record->EventFlags & kClipEventKeyPress) {
                if (size < 1) throw EReadError("A key-press clip action has no room for its key code");
                record->SetKeyCode(be.ReadByte());
                --size;
            }
            const int64_t recordStart = be.Stream.GetPosition();
            if (size > be.Stream.Remaining())
                throw EReadError(FormatStr("A clip action of %lld bytes runs past the end of the tag",
                                           static_cast<long long>(size)));
            if (ParseActions) {
                // The record's actions read inside their own bounds: a damaged
                // one cannot take bytes of the next record.
                TBoundedStream view(be.Stream, recordStart, size);
                TBitsEngine inner(view);
                ReadActionList(inner, *record, size);
            } else {
                auto raw = std::make_unique<TSWFActionByteCode>();
                raw->Data.resize(static_cast<size_t>(size));
                be.ReadBytes(raw->Data.data(), size);
                record->Add(std::move(raw));
            }
            be.Stream.SetPosition(recordStart + size);
            actions.Records.push_back(std::move(record));
        }
    }
    // A block without records is kept, so that it is written back as it was.
    emptyClipBlock_ = actions.Records.empty();
}

void TSWFPlaceObject2::WriteBody(TBitsEngine& be) {
    bool clip = HasClipActions && clipActions_ && (clipActions_->GetCount() > 0 || emptyClipBlock_);
    be.WriteBit(clip);
    be.WriteBit(HasClipDepth);
    be.WriteBit(HasName);
    be.WriteBit(HasRatio);
    be.WriteBit(HasColorTransform);
    be.WriteBit(HasMatrix);
    be.WriteBit(HasCharacter);
    be.WriteBit(PlaceFlagMove);
    WritePlaceFlags3(be);
    be.WriteWord(Depth);
    WriteClassName(be);
    if (HasCharacter) be.WriteWord(CharacterId);
    if (HasMatrix) {
        TSWFMatrixRec matrix = GetMatrix().GetRec();
        WriteKept(be, keptMatrix_, matrix, [&] { be.WriteMatrix(matrix); });
    }
    if (HasColorTransform) {
        TSWFColorTransformRec color = GetColorTransform().GetRec();
        WriteKept(be, keptColor_, color, [&] { be.WriteColorTransform(color); });
    }
    if (HasRatio) be.WriteWord(Ratio);
    if (HasName) be.WriteString(Name, true, false);
    if (HasClipDepth) be.WriteWord(ClipDepth);
    WriteFilterAndBlend(be);
    if (clip) WriteClipActions(be);
    if (!trailing_.empty()) be.WriteBuffer(trailing_.data(), static_cast<int64_t>(trailing_.size()));
}

void TSWFPlaceObject2::WriteClipActions(TBitsEngine& be) {
    SWFVersion = static_cast<uint8_t>(std::max(int(SWFVersion), RequiredVersion()));
    be.WriteWord(0);
    WriteEventFlags(be, clipActions_->AllEventFlags, SWFVersion);
    TStream& stream = be.Stream;
    for (const auto& record : clipActions_->Records) {
        WriteEventFlags(be, record->EventFlags, SWFVersion);
        const int64_t sizeAt = stream.GetPosition();
        be.WriteDWord(0);
        if (record->EventFlags & kClipEventKeyPress) be.WriteByte(record->KeyCode);
        for (const auto& action : *record) action->WriteAction(be);
        if (!EndsWithActionEnd(*record)) be.WriteByte(0);
        const int64_t end = stream.GetPosition();
        stream.SetPosition(sizeAt);
        be.WriteDWord(static_cast<uint32_t>(end - sizeAt - 4));
        stream.SetPosition(end);
    }
    if (clipEndMissing_ && clipActions_->Records.empty()) return;
    if (SWFVersion < 6) be.WriteWord(0);
    else be.WriteDWord(0);
}

void TSWFPlaceObject2::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    if (!(settings.LoadFlags & 0x2)) {
        if (node.HasAttribute("ID")) SetCharacterId(static_cast<uint16_t>(node.AttrInt("ID")));
        // An empty name keeps its flag: the attribute says the field is there.
        if (node.HasAttribute("Name")) {
            Name = node.AttrStr("Name");
            HasName = true;
        }
        Depth = static_cast<uint16_t>(node.AttrInt("Depth"));
        if (node.ChildNode("Matrix")) GetMatrix().SetRec(ReadMatrixNode(settings, node, "Matrix"));
        if (node.ChildNode("ColorTransform")) GetColorTransform().SetRec(ReadColorTransformNode(node));
        if (node.HasAttribute("Ratio")) SetRatio(static_cast<uint16_t>(node.AttrInt("Ratio")));
        if (node.HasAttribute("ClipDepth")) SetClipDepth(static_cast<uint16_t>(node.AttrInt("ClipDepth")));
        PlaceFlagMove = GetAttrDefault(node, "RemoveDepth", false);
    }
    trailing_ = HexStrToBin(node.AttrStrDef("Trailing", ""));
    TXmlNode events = node.ChildNode("EventActions");
    if (settings.LoadFlags & 0x1) {
        HasClipActions = false;
        return;
    }
    HasClipActions = static_cast<bool>(events);
    if (!events) return;
    GetClipActions().AllEventFlags = 0;
    HasClipActions = true;
    // A block without records, kept so that writing reproduces its bytes.
    if (events.AttrBoolDef("Empty", false) && events.ChildElements().empty()) {
        emptyClipBlock_ = true;
        GetClipActions().AllEventFlags = static_cast<uint32_t>(events.AttrIntDef("AllEvents", 0));
        clipEndMissing_ = events.AttrBoolDef("EndMissing", false);
        return;
    }
    if ((events.HasAttribute("CodeType") || events.HasAttribute("File")) && OnLoadActions) {
        OnLoadActions(*this, events);
    } else {
        LoadClipActionsFromXml(*this, events, settings);
    }
    // The word the file had, which producers do not always make the union
    // of the records' events.
    if (HasClipActions && events.HasAttribute("AllEvents"))
        GetClipActions().AllEventFlags = static_cast<uint32_t>(events.AttrInt("AllEvents"));
}

void LoadClipActionsFromXml(TSWFPlaceObject2& placement, const TXmlNode& element, TXMLReadWriteSettings& settings) {
    std::vector<TXmlNode> children = element.ChildElements();
    if (children.empty()) {
        placement.HasClipActions = false;
        return;
    }
    TSWFClipActions& actions = placement.GetClipActions();
    for (const TXmlNode& child : children) {
        auto owned = std::make_unique<TSWFClipActionRecord>();
        TSWFClipActionRecord& record = *owned;
        actions.Records.push_back(std::move(owned));
        if (child.HasAttribute("KeyCode")) {
            record.SetKeyCode(static_cast<uint8_t>(child.AttrInt("KeyCode")));
            record.EventFlags = kClipEventKeyPress;
        } else {
            record.EventFlags = 0;
        }
        if (placement.OnLoadActions) placement.OnLoadActions(placement, child);
        else LoadActionListFromXml(child, record, settings);
        record.EventFlags |= EventNamesToFlags(child.AttrStr("Event"));
        actions.AllEventFlags |= record.EventFlags;
    }
}

void TSWFPlaceObject2::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    if (HasCharacter) node.SetAttr("ID", static_cast<int>(CharacterId));
    if (HasName) node.SetAttr("Name", Name);
    node.SetAttr("Depth", static_cast<int>(Depth));
    if (HasMatrix) WriteMatrixNode(settings, node, GetMatrix().GetRec(), "Matrix");
    if (HasColorTransform) WriteColorTransformNode(node, GetColorTransform().GetRec());
    if (HasRatio) node.SetAttr("Ratio", static_cast<int>(Ratio));
    if (HasClipDepth) node.SetAttr("ClipDepth", static_cast<int>(ClipDepth));
    if (PlaceFlagMove) node.SetAttrBool("RemoveDepth", true);
    if (!trailing_.empty()) node.SetAttr("Trailing", BinToHexStr(trailing_.data(), trailing_.size()));
    if (HasClipActions && emptyClipBlock_ && clipActions_ && clipActions_->GetCount() == 0) {
        // A block read without records: an element without records would
        // read as no block at all, so it says that the block is empty.
        TXmlNode events = node.AddChild("EventActions");
        events.SetAttrBool("Empty", true);
        events.SetAttr("AllEvents", static_cast<int64_t>(clipActions_->AllEventFlags));
        if (clipEndMissing_) events.SetAttrBool("EndMissing", true);
    } else if (HasClipActions && clipActions_ && clipActions_->GetCount() > 0) {
        TXmlNode events = node.AddChild("EventActions");
        uint32_t all = 0;
        for (const auto& record : clipActions_->Records) all |= record->EventFlags;
        if (all != clipActions_->AllEventFlags) events.SetAttr("AllEvents", static_cast<int64_t>(clipActions_->AllEventFlags));
        for (const auto& record : clipActions_->Records) {
            TXmlNode child = events.AddChild("Actions");
            child.SetAttr("Event", EventFlagsToNames(record->EventFlags, SWFVersion));
            if (record->EventFlags & kClipEventKeyPress) child.SetAttr("KeyCode", static_cast<int>(record->KeyCode));
            if (!record->Empty()) SaveActionListToXml(child, *record, settings);
        }
    }
}

// ---------------------------------------------------------------- PlaceObject3

TSWFFilterList& TSWFPlaceObject3::GetFilters() {
    if (!filters_) {
        filters_ = std::make_unique<TSWFFilterList>();
        HasFilterList = true;
    }
    return *filters_;
}

void TSWFPlaceObject3::SetClassName(const std::string& text) {
    ClassName = text;
    HasClassName = !text.empty();
}

int TSWFPlaceObject3::RequiredVersion() const {
    if (WriteAsPlaceObject2) return TSWFPlaceObject2::RequiredVersion();
    if (HasVisible || HasOpaqueBackground) return 11;
    if (HasBitmapCache) return 10;
    return HasImage || HasClassName ? 9 : 8;
}

void TSWFPlaceObject3::CopyFieldsFrom(const TBasedSWFObject& source) {
    TSWFPlaceObject2::CopyFieldsFrom(source);
    auto* other = dynamic_cast<const TSWFPlaceObject3*>(&source);
    if (other == nullptr || other == this) return;
    HasImage = other->HasImage;
    HasClassName = other->HasClassName;
    ClassName = other->ClassName;
    CacheAsBitmap = other->CacheAsBitmap;
    HasBlendMode = other->HasBlendMode;
    if (other->HasBlendMode) BlendMode = other->BlendMode;
    HasFilterList = other->HasFilterList;
    if (HasFilterList) {
        TSWFFilterList& filters = GetFilters();
        if (other->filters_) filters.CopyFrom(*other->filters_);
        else filters.Clear();
    }
    HasBitmapCache = other->HasBitmapCache;
    BitmapCache = other->BitmapCache;
    HasVisible = other->HasVisible;
    Visible = other->Visible;
    HasOpaqueBackground = other->HasOpaqueBackground;
    OpaqueBackground = other->OpaqueBackground;
    keptFlagBits_ = other->keptFlagBits_;
}

// The image and class-name bits mean something only from SWF 9 on; before
// that they are kept as bits and nothing more.
void TSWFPlaceObject3::ReadPlaceFlags3(TBitsEngine& be) {
    uint8_t b = be.ReadByte();
    const bool nine = SWFVersion >= 9;
    keptFlagBits_ = static_cast<uint8_t>(b & (nine ? 0x80 : 0x98));
    HasOpaqueBackground = b & 0x40;
    HasVisible = b & 0x20;
    HasImage = nine && (b & 0x10);
    HasClassName = nine && (b & 0x08);
    CacheAsBitmap = b & 0x04;
    HasBlendMode = b & 0x02;
    HasFilterList = b & 0x01;
}

// Only the class-name flag announces the name: files that set the image and
// character flags without it hold the character identifier right here.
void TSWFPlaceObject3::ReadClassName(TBitsEngine& be) {
    if (HasClassName) ClassName = be.ReadString();
}

void TSWFPlaceObject3::ReadFilterAndBlend(TBitsEngine& be) {
    if (HasFilterList) GetFilters().ReadFromStream(be);
    if (HasBlendMode) BlendMode = be.ReadByte();
    HasBitmapCache = CacheAsBitmap && SWFVersion >= 10 && be.Stream.Remaining() > 0;
    if (HasBitmapCache) BitmapCache = be.ReadByte();
    if (HasVisible) Visible = be.ReadByte();
    if (HasOpaqueBackground) OpaqueBackground = be.ReadRGBA();
}

void TSWFPlaceObject3::WritePlaceFlags3(TBitsEngine& be) {
    if (WriteAsPlaceObject2) return;
    be.WriteByte(static_cast<uint8_t>(keptFlagBits_ | (HasOpaqueBackground ? 0x40 : 0) | (HasVisible ? 0x20 : 0) |
                                      (HasImage ? 0x10 : 0) | (HasClassName ? 0x08 : 0) |
                                      (CacheAsBitmap || HasBitmapCache ? 0x04 : 0) | (HasBlendMode ? 0x02 : 0) |
                                      (WritesFilters() ? 0x01 : 0)));
}

void TSWFPlaceObject3::WriteClassName(TBitsEngine& be) {
    if (!WriteAsPlaceObject2 && HasClassName) be.WriteString(ClassName, true, false);
}

void TSWFPlaceObject3::WriteFilterAndBlend(TBitsEngine& be) {
    if (WriteAsPlaceObject2) return;
    if (WritesFilters()) filters_->WriteToStream(be);
    if (HasBlendMode) be.WriteByte(BlendMode);
    if (HasBitmapCache) be.WriteByte(BitmapCache);
    if (HasVisible) be.WriteByte(Visible);
    if (HasOpaqueBackground) be.WriteRGBA(OpaqueBackground);
}

void TSWFPlaceObject3::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TSWFPlaceObject2::LoadFromXml(node, settings);
    HasClassName = GetAttrDefault(node, "HasClassName", false);
    if (node.HasAttribute("ClassName")) {
        ClassName = node.AttrStr("ClassName");
        HasClassName = true;
    }
    if (settings.LoadFlags & 0x2) return;
    if (node.HasAttribute("BlendMode")) {
        HasBlendMode = true;
        BlendMode = static_cast<uint8_t>(node.AttrInt("BlendMode"));
    }
    CacheAsBitmap = GetAttrDefault(node, "CacheAsBitmap", false);
    TXmlNode filters = node.ChildNode("Filters");
    HasFilterList = static_cast<bool>(filters);
    if (filters) GetFilters().LoadFromXml(filters);
    HasImage = GetAttrDefault(node, "HasImage", false);
    HasBitmapCache = node.HasAttribute("BitmapCache");
    if (HasBitmapCache) BitmapCache = static_cast<uint8_t>(node.AttrInt("BitmapCache"));
    HasVisible = node.HasAttribute("Visible");
    if (HasVisible) Visible = static_cast<uint8_t>(node.AttrInt("Visible"));
    HasOpaqueBackground = node.HasAttribute("OpaqueBackground");
    if (HasOpaqueBackground) OpaqueBackground = ReadRGBAAttr(node, "OpaqueBackground");
    keptFlagBits_ = static_cast<uint8_t>(node.AttrIntDef("KeptFlags", 0) & 0x98);
}

void TSWFPlaceObject3::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    TSWFPlaceObject2::SaveToXml(node, settings);
    if (HasBlendMode) node.SetAttr("BlendMode", static_cast<int>(BlendMode));
    if (CacheAsBitmap) node.SetAttrBool("CacheAsBitmap", true);
    if (WritesFilters()) filters_->SaveToXml(node.AddChild("Filters"));
    if (HasImage) node.SetAttrBool("HasImage", true);
    if (HasClassName) node.SetAttrBool("HasClassName", true);
    if (HasClassName) node.SetAttr("ClassName", ClassName);
    if (HasBitmapCache) node.SetAttr("BitmapCache", static_cast<int>(BitmapCache));
    if (HasVisible) node.SetAttr("Visible", static_cast<int>(Visible));
    if (HasOpaqueBackground) SetRGBAAttr(node, OpaqueBackground, 2, "OpaqueBackground");
    if (keptFlagBits_) node.SetAttr("KeptFlags", static_cast<int>(keptFlagBits_));
}

// ---------------------------------------------------------------- RemoveObject, RemoveObject2

void TSWFRemoveObject::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFRemoveObject>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    CharacterId = other.CharacterId;
    Depth = other.Depth;
}

void TSWFRemoveObject::ReadBody(TBitsEngine& be) {
    CharacterId = be.ReadWord();
    Depth = be.ReadWord();
}

void TSWFRemoveObject::WriteBody(TBitsEngine& be) {
    be.WriteWord(CharacterId);
    be.WriteWord(Depth);
}

void TSWFRemoveObject::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    CharacterId = static_cast<uint16_t>(node.AttrInt("ID"));
    Depth = static_cast<uint16_t>(node.AttrInt("Depth"));
}

void TSWFRemoveObject::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(CharacterId));
    node.SetAttr("Depth", static_cast<int>(Depth));
}

void TSWFRemoveObject2::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFRemoveObject2>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    Depth = other.Depth;
}

void TSWFRemoveObject2::ReadBody(TBitsEngine& be) { Depth = be.ReadWord(); }

void TSWFRemoveObject2::WriteBody(TBitsEngine& be) { be.WriteWord(Depth); }

void TSWFRemoveObject2::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    Depth = static_cast<uint16_t>(node.AttrInt("Depth"));
}

void TSWFRemoveObject2::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("Depth", static_cast<int>(Depth));
}
