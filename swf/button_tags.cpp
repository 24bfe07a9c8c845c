#include "swf/button_tags.h"

#include <algorithm>
#include <cctype>

#include "platform/errors.h"
#include "swf/do_action.h"
#include "swf/xml_form.h"

namespace {

const char* const kConditionNames[9] = {
    "IdleToOverUp",      "OverUpToIdle",      "OverUpToOverDown", "OverDownToOverUp", "OutDownToOverDown",
    "OverDownToOutDown", "OutDownToIdle",     "IdleToOverDown",   "OverDownToIdle",
};

// The condition byte's bit of each element; 4 and 5 change places on the
// stream, 8 lives in the key byte.
const uint8_t kConditionBits[8] = {0x01, 0x02, 0x04, 0x08, 0x20, 0x10, 0x40, 0x80};

const char* const kStateNames[4] = {"Up", "Down", "Over", "HitTest"};
const uint8_t kStateBits[4] = {kButtonStateUp, kButtonStateDown, kButtonStateOver, kButtonStateHitTest};

// Down and Over swap between memory and stream; the swap is its own inverse.
uint8_t SwapDownOver(uint8_t states) {
    return static_cast<uint8_t>((states & 0x09) | (states & 0x02) << 1 | (states & 0x04) >> 1);
}

const char* const kTransitionNames[4] = {"OverUpToIdle", "IdleToOverUp", "OverUpToOverDown", "OverDownToOverUp"};

std::vector<std::string> UpperNamesList(const std::string& text) {
    std::vector<std::string> names(1);
    for (char c : text) {
        if (c == ' ') continue;
        if (c == ',') names.emplace_back();
        else names.back() += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return names;
}

std::string Upper(const char* text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The actions of a button or condition record: parsed up to and including
// the ActionEnd byte, or kept as one raw item of the bytes before it. A block
// without an ActionEnd takes the rest of the body. Whether the block was
// closed by its ActionEnd is the result.
bool ReadButtonActions(TBitsEngine& be, TSWFActionList& list, bool parse) {
    const int64_t start = be.Stream.GetPosition();
    int64_t end = FindActionListEnd(be);
    const bool closed = end > start;
    if (!closed) end = be.Stream.GetSize();
    if (parse) {
        ReadActionList(be, list, end - start);
        return closed;
    }
    auto raw = std::make_unique<TSWFActionByteCode>();
    raw->Data.resize(static_cast<size_t>(end - start - (closed ? 1 : 0)));
    if (!raw->Data.empty()) be.ReadBytes(raw->Data.data(), int64_t(raw->Data.size()));
    be.Stream.SetPosition(end);
    if (closed || !raw->Data.empty()) list.Add(std::move(raw));
    return closed;
}

void WriteButtonActions(TBitsEngine& be, const TSWFActionList& list, bool actionEnd = true) {
    for (const auto& action : list) action->WriteAction(be);
    if (actionEnd) be.WriteByte(0);
}

}  // namespace

uint16_t ButtonConditionsFromNames(const std::string& text) {
    uint16_t set = 0;
    for (const std::string& name : UpperNamesList(text))
        for (int i = 0; i < 9; ++i)
            if (name == Upper(kConditionNames[i])) set |= uint16_t(1u << i);
    return set;
}

std::string ButtonConditionsToNames(uint16_t conditions) {
    std::string text;
    for (int i = 0; i < 9; ++i)
        if (conditions & (1u << i)) text += (text.empty() ? "" : ", ") + std::string(kConditionNames[i]);
    return text;
}

// ---------------------------------------------------------------- button record

TSWFColorTransform& TSWFButtonRecord::GetColorTransform() {
    if (!colorTransform_) {
        colorTransform_ = std::make_unique<TSWFColorTransform>();
        colorTransform_->HasAlpha = true;
    }
    HasColorTransform = true;
    return *colorTransform_;
}

TSWFFilterList& TSWFButtonRecord::GetFilters() {
    if (!filters_) filters_ = std::make_unique<TSWFFilterList>();
    HasFilterList = true;
    return *filters_;
}

void TSWFButtonRecord::CopyFrom(const TSWFButtonRecord& source) {
    if (&source == this) return;
    States = source.States;
    CharacterId = source.CharacterId;
    Depth = source.Depth;
    matrix_.CopyFrom(source.matrix_);
    HasBlendMode = source.HasBlendMode;
    BlendMode = source.BlendMode;
    colorTransform_.reset();
    HasColorTransform = false;
    if (source.HasColorTransform && source.colorTransform_) GetColorTransform().CopyFrom(*source.colorTransform_);
    HasColorTransform = source.HasColorTransform;
    filters_.reset();
    HasFilterList = false;
    if (source.HasFilterList && source.filters_) GetFilters().CopyFrom(*source.filters_);
    HasFilterList = source.HasFilterList;
}

void TSWFButtonRecord::ReadFromStream(TBitsEngine& be, uint8_t flags, bool button2) {
    States = SwapDownOver(flags & 0x0F);
    CharacterId = be.ReadWord();
    Depth = be.ReadWord();
    matrix_.SetRec(be.ReadMatrix());
    if (!button2) return;
    GetColorTransform().SetRec(be.ReadColorTransform(true));
    if (flags & 0x10) GetFilters().ReadFromStream(be);
    HasBlendMode = (flags & 0x20) != 0;
    if (HasBlendMode) BlendMode = be.ReadByte();
}

void TSWFButtonRecord::WriteToStream(TBitsEngine& be) {
    be.WriteByte(static_cast<uint8_t>((HasBlendMode ? 0x20 : 0) | (HasFilterList ? 0x10 : 0) | SwapDownOver(States & 0x0F)));
    be.WriteWord(CharacterId);
    be.WriteWord(Depth);
    be.WriteMatrix(matrix_.GetRec());
    if (HasColorTransform) {
        TSWFColorTransform& transform = GetColorTransform();
        transform.HasAlpha = true;
        TSWFColorTransformRec rec = transform.GetRec();
        rec.HasAlpha = true;
        be.WriteColorTransform(rec);
    }
    if (HasFilterList) GetFilters().WriteToStream(be);
    if (HasBlendMode) be.WriteByte(BlendMode);
}

void TSWFButtonRecord::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    CharacterId = node.HasAttribute("ID") ? static_cast<uint16_t>(node.AttrInt("ID")) : 0;
    Depth = static_cast<uint16_t>(node.AttrInt("Depth"));
    HasBlendMode = node.HasAttribute("BlendMode");
    if (HasBlendMode) BlendMode = static_cast<uint8_t>(node.AttrInt("BlendMode"));
    States = 0;
    for (const std::string& name : UpperNamesList(node.AttrStrDef("State", "")))
        for (int i = 0; i < 4; ++i)
            if (name == Upper(kStateNames[i])) States |= kStateBits[i];
    if (node.ChildNode("Matrix")) matrix_.SetRec(ReadMatrixNode(settings, node, "Matrix"));
    if (node.ChildNode("ColorTransform")) {
        TSWFColorTransformRec rec = ReadColorTransformNode(node);
        rec.HasAlpha = true;
        GetColorTransform().SetRec(rec);
    }
    filters_.reset();
    HasFilterList = false;
    if (TXmlNode filters = node.ChildNode("Filters")) GetFilters().LoadFromXml(filters);
}

void TSWFButtonRecord::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(CharacterId));
    node.SetAttr("Depth", static_cast<int>(Depth));
    std::string states;
    for (int i = 0; i < 4; ++i)
        if (States & kStateBits[i]) states += (states.empty() ? "" : ", ") + std::string(kStateNames[i]);
    node.SetAttr("State", states);
    if (HasBlendMode) node.SetAttr("BlendMode", static_cast<int>(BlendMode));
    WriteMatrixNode(settings, node, matrix_.GetRec(), "Matrix");
    if (HasColorTransform && colorTransform_ && (colorTransform_->HasAdd || colorTransform_->HasMult))
        WriteColorTransformNode(node, colorTransform_->GetRec());
    if (HasFilterList && filters_ && filters_->Count() > 0) filters_->SaveToXml(node.AddChild("Filters"));
}

// ---------------------------------------------------------------- buttons

TSWFButtonRecord& TSWFBasedButton::AddButtonRecord(uint16_t characterId, uint8_t states, uint16_t depth) {
    auto record = std::make_unique<TSWFButtonRecord>(characterId);
    record->States = states;
    record->Depth = depth;
    ButtonRecords.push_back(std::move(record));
    return *ButtonRecords.back();
}

void TSWFBasedButton::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFBasedButton>(source, *this);
    if (&other == this) return;
    TSWFObject::CopyFieldsFrom(source);
    ButtonId = other.ButtonId;
    ParseActions = other.ParseActions;
    ButtonRecords.clear();
    for (const auto& record : other.ButtonRecords)
        AddButtonRecord(record->CharacterId, 0, 0).CopyFrom(*record);
}

void TSWFBasedButton::LoadRecordsFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    if (node.HasAttribute("ID")) ButtonId = static_cast<uint16_t>(node.AttrInt("ID"));
    ButtonRecords.clear();
    for (const TXmlNode& child : node.ChildElements())
        if (child.NodeName() == "ButtonRecord") AddButtonRecord(0, 0, 0).LoadFromXml(child, settings);
}

void TSWFBasedButton::SaveRecordsToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(ButtonId));
    for (const auto& record : ButtonRecords) record->SaveToXml(node.AddChild("ButtonRecord"), settings);
}

// ---------------------------------------------------------------- DefineButton

int TSWFDefineButton::RequiredVersion() const { return ActionListRequiredVersion(Actions); }

void TSWFDefineButton::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineButton>(source, *this);
    if (&other == this) return;
    TSWFBasedButton::CopyFieldsFrom(source);
    Actions.Clear();
    CopyActionList(other.Actions, Actions);
    HasActionEnd = other.HasActionEnd;
}

void TSWFDefineButton::ReadBody(TBitsEngine& be) {
    ButtonRecords.clear();
    Actions.Clear();
    ButtonId = be.ReadWord();
    for (;;) {
        uint8_t flags = be.ReadByte();
        if (flags == 0) break;
        AddButtonRecord(0, 0, 0).ReadFromStream(be, flags, false);
    }
    HasActionEnd = ReadButtonActions(be, Actions, ParseActions);
}

void TSWFDefineButton::WriteBody(TBitsEngine& be) {
    be.WriteWord(ButtonId);
    for (const auto& record : ButtonRecords) record->WriteToStream(be);
    be.WriteByte(0);
    WriteButtonActions(be, Actions, HasActionEnd);
}

void TSWFDefineButton::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    LoadRecordsFromXml(node, settings);
    Actions.Clear();
    HasActionEnd = node.AttrBoolDef("ActionEnd", true);
    if (TXmlNode events = node.ChildNode("EventActions")) {
        if (OnLoadActions) OnLoadActions(*this, events);
        else LoadActionListFromXml(events, Actions, settings);
    }
}

void TSWFDefineButton::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    SaveRecordsToXml(node, settings);
    if (!HasActionEnd) node.SetAttrBool("ActionEnd", false);
    if (!Actions.Empty()) SaveActionListToXml(node.AddChild("EventActions"), Actions, settings);
}

// ---------------------------------------------------------------- DefineButton2

TSWFButtonCondAction& TSWFDefineButton2::GetCondAction(size_t index) const { return *CondActions.at(index); }

TSWFButtonCondAction& TSWFDefineButton2::AddCondAction(uint16_t conditions, uint8_t keyCode) {
    auto record = std::make_unique<TSWFButtonCondAction>();
    record->Conditions = conditions;
    record->KeyCode = keyCode;
    CondActions.push_back(std::move(record));
    return *CondActions.back();
}

void TSWFDefineButton2::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineButton2>(source, *this);
    if (&other == this) return;
    TSWFBasedButton::CopyFieldsFrom(source);
    TrackAsMenu = other.TrackAsMenu;
    CondActions.clear();
    for (const auto& record : other.CondActions)
        CopyActionList(*record, AddCondAction(record->Conditions, record->KeyCode));
}

void TSWFDefineButton2::ReadBody(TBitsEngine& be) {
    ButtonRecords.clear();
    CondActions.clear();
    ButtonId = be.ReadWord();
    TrackAsMenu = (be.ReadByte() & 0x01) != 0;
    const uint16_t actionOffset = be.ReadWord();
    for (;;) {
        uint8_t flags = be.ReadByte();
        if (flags == 0) break;
        AddButtonRecord(0, 0, 0).ReadFromStream(be, flags, true);
    }
    if (actionOffset == 0) return;
    while (be.Stream.Remaining() > 0) {
        const uint16_t size = be.ReadWord();
        const uint8_t conditionByte = be.ReadByte();
        const uint8_t keyByte = be.ReadByte();
        uint16_t conditions = 0;
        for (int i = 0; i < 8; ++i)
            if (conditionByte & kConditionBits[i]) conditions |= uint16_t(1u << i);
        if (keyByte & 0x01) conditions |= kCondOverDownToIdle;
        ReadButtonActions(be, AddCondAction(conditions, keyByte >> 1), ParseActions);
        if (size == 0) break;
    }
}

void TSWFDefineButton2::WriteBody(TBitsEngine& be) {
    TStream& stream = be.Stream;
    be.WriteWord(ButtonId);
    be.WriteByte(TrackAsMenu ? 1 : 0);
    const int64_t offsetAt = stream.GetPosition();
    be.WriteWord(0);
    for (const auto& record : ButtonRecords) {
        // Every record of this tag carries a colour transform, if only an
        // empty one.
        record->GetColorTransform();
        record->WriteToStream(be);
    }
    be.WriteByte(0);
    if (CondActions.empty()) return;
    auto patchWord = [&](int64_t at) {
        const int64_t end = stream.GetPosition();
        if (end - at > 0xFFFF)
            throw EWriteError(FormatStr("A button's action offset of %lld bytes does not fit in 16 bits",
                                        static_cast<long long>(end - at)));
        stream.SetPosition(at);
        be.WriteWord(static_cast<uint16_t>(end - at));
        stream.SetPosition(end);
    };
    patchWord(offsetAt);
    for (size_t i = 0; i < CondActions.size(); ++i) {
        const TSWFButtonCondAction& record = *CondActions[i];
        const int64_t sizeAt = stream.GetPosition();
        be.WriteWord(0);
        uint8_t conditionByte = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (record.Conditions & (1u << bit)) conditionByte |= kConditionBits[bit];
        be.WriteByte(conditionByte);
        be.WriteByte(static_cast<uint8_t>((record.KeyCode & 0x7F) << 1 | ((record.Conditions & kCondOverDownToIdle) ? 1 : 0)));
        WriteButtonActions(be, record);
        if (i + 1 < CondActions.size()) patchWord(sizeAt);
    }
}

void TSWFDefineButton2::LoadCondActionsFromXml(const TXmlNode& element, TXMLReadWriteSettings& settings) {
    for (const TXmlNode& child : element.ChildElements()) {
        if (child.NodeName() != "Actions") continue;
        TSWFButtonCondAction& record = AddCondAction(ButtonConditionsFromNames(child.AttrStrDef("Event", "")));
        if (child.HasAttribute("KeyCode")) record.KeyCode = static_cast<uint8_t>(child.AttrInt("KeyCode"));
        if (OnLoadActions) OnLoadActions(*this, child);
        else LoadActionListFromXml(child, record, settings);
    }
}

void TSWFDefineButton2::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    LoadRecordsFromXml(node, settings);
    TrackAsMenu = node.AttrBoolDef("TrackAsMenu", false);
    CondActions.clear();
    if (TXmlNode events = node.ChildNode("EventActions")) {
        if ((events.HasAttribute("CodeType") || events.HasAttribute("File")) && OnLoadActions)
            OnLoadActions(*this, events);
        else
            LoadCondActionsFromXml(events, settings);
    }
}

void TSWFDefineButton2::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    SaveRecordsToXml(node, settings);
    node.SetAttrBool("TrackAsMenu", TrackAsMenu);
    if (CondActions.empty()) return;
    TXmlNode events = node.AddChild("EventActions");
    for (const auto& record : CondActions) {
        TXmlNode child = events.AddChild("Actions");
        child.SetAttr("Event", ButtonConditionsToNames(record->Conditions));
        if (record->KeyCode != 0) child.SetAttr("KeyCode", static_cast<int>(record->KeyCode));
        if (!record->Empty()) SaveActionListToXml(child, *record, settings);
    }
}

// ---------------------------------------------------------------- DefineButtonCxform

void TSWFDefineButtonCxform::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineButtonCxform>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    ButtonId = other.ButtonId;
    ColorTransform.CopyFrom(other.ColorTransform);
}

void TSWFDefineButtonCxform::ReadBody(TBitsEngine& be) {
    ButtonId = be.ReadWord();
    ColorTransform = TSWFColorTransform();
    ColorTransform.SetRec(be.ReadColorTransform(false));
}

void TSWFDefineButtonCxform::WriteBody(TBitsEngine& be) {
    be.WriteWord(ButtonId);
    be.WriteColorTransform(ColorTransform.GetRec());
}

void TSWFDefineButtonCxform::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    ButtonId = static_cast<uint16_t>(node.AttrInt("ID"));
    ColorTransform = TSWFColorTransform();
    if (node.ChildNode("ColorTransform")) ColorTransform.SetRec(ReadColorTransformNode(node));
}

void TSWFDefineButtonCxform::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(ButtonId));
    WriteColorTransformNode(node, ColorTransform.GetRec());
}

// ---------------------------------------------------------------- DefineButtonSound

TSWFStartSound& TSWFDefineButtonSound::GetSound(int transition) {
    auto& slot = sounds_.at(static_cast<size_t>(transition));
    if (!slot) slot = std::make_unique<TSWFStartSound>();
    return *slot;
}

const TSWFStartSound* TSWFDefineButtonSound::WrittenSound(int transition) const {
    const auto& slot = sounds_.at(static_cast<size_t>(transition));
    return slot && slot->SoundId != 0 ? slot.get() : nullptr;
}

void TSWFDefineButtonSound::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineButtonSound>(source, *this);
    if (&other == this) return;
    TSWFObject::CopyFieldsFrom(source);
    ButtonId = other.ButtonId;
    for (int i = 0; i < 4; ++i) {
        sounds_[i].reset();
        if (const TSWFStartSound* sound = other.WrittenSound(i)) GetSound(i).CopyFieldsFrom(*sound);
    }
}

void TSWFDefineButtonSound::ReadBody(TBitsEngine& be) {
    ButtonId = be.ReadWord();
    for (int i = 0; i < 4; ++i) {
        sounds_[i].reset();
        const uint16_t soundId = be.ReadWord();
        if (soundId == 0) continue;
        TSWFStartSound& sound = GetSound(i);
        sound.SoundId = soundId;
        sound.ReadSoundInfo(be);
    }
}

void TSWFDefineButtonSound::WriteBody(TBitsEngine& be) {
    be.WriteWord(ButtonId);
    for (int i = 0; i < 4; ++i) {
        if (sounds_[i] && sounds_[i]->SoundId != 0) sounds_[i]->WriteBody(be);
        else be.WriteWord(0);
    }
}

void TSWFDefineButtonSound::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    ButtonId = static_cast<uint16_t>(node.AttrInt("ID"));
    for (int i = 0; i < 4; ++i) {
        sounds_[i].reset();
        if (TXmlNode child = node.ChildNode(kTransitionNames[i])) GetSound(i).LoadFromXml(child, settings);
    }
}

void TSWFDefineButtonSound::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(ButtonId));
    for (int i = 0; i < 4; ++i)
        if (sounds_[i] && sounds_[i]->SoundId != 0) sounds_[i]->SaveToXml(node.AddChild(kTransitionNames[i]), settings);
}
