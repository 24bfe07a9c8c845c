#include "swf/actions_swf4.h"

#include <bit>
#include <cstring>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "swf/names.h"
#include "swf/xml_form.h"

namespace {

const char* const kPushTypeNames[] = {"str",  "float", "null", "undef",  "reg",    "bool",
                                      "double", "int", "const8", "const16", "def"};

}  // namespace

const char* PushTypeName(uint8_t type) { return type <= kPushDefault ? kPushTypeNames[type] : ""; }

// ---------------------------------------------------------------- GotoFrame

void TSWFActionGotoFrame::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionGotoFrame>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    Frame = other.Frame;
}
void TSWFActionGotoFrame::ReadBody(TBitsEngine& be) { Frame = be.ReadWord(); }
void TSWFActionGotoFrame::WriteBody(TBitsEngine& be) { be.WriteWord(Frame); }
void TSWFActionGotoFrame::LoadFromXml(const TXmlNode& node) { Frame = static_cast<uint16_t>(node.AttrInt("Frame")); }
void TSWFActionGotoFrame::SaveToXml(TXmlNode node) { node.SetAttr("Frame", static_cast<int>(Frame)); }

// ---------------------------------------------------------------- GetURL

void TSWFActionGetUrl::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionGetUrl>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    Target = other.Target;
    URL = other.URL;
}
void TSWFActionGetUrl::ReadBody(TBitsEngine& be) {
    URL = be.ReadString();
    Target = be.ReadString();
}
void TSWFActionGetUrl::WriteBody(TBitsEngine& be) {
    be.WriteString(URL, true, true);
    be.WriteString(Target);
}
void TSWFActionGetUrl::LoadFromXml(const TXmlNode& node) {
    URL = node.AttrStr("URL");
    Target = node.AttrStr("Target");
}
void TSWFActionGetUrl::SaveToXml(TXmlNode node) {
    node.SetAttr("URL", URL);
    node.SetAttr("Target", Target);
}

// ---------------------------------------------------------------- WaitForFrame

void TSWFActionWaitForFrame::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionWaitForFrame>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    Frame = other.Frame;
    SkipCount = other.SkipCount;
}
void TSWFActionWaitForFrame::ReadBody(TBitsEngine& be) {
    Frame = be.ReadWord();
    SkipCount = be.ReadByte();
}
void TSWFActionWaitForFrame::WriteBody(TBitsEngine& be) {
    be.WriteWord(Frame);
    be.WriteByte(SkipCount);
}
void TSWFActionWaitForFrame::LoadFromXml(const TXmlNode& node) {
    Frame = static_cast<uint16_t>(node.AttrInt("Frame"));
    SkipCount = static_cast<uint8_t>(node.AttrInt("SkipCount"));
}
void TSWFActionWaitForFrame::SaveToXml(TXmlNode node) {
    node.SetAttr("Frame", static_cast<int>(Frame));
    node.SetAttr("SkipCount", static_cast<int>(SkipCount));
}

// ---------------------------------------------------------------- SetTarget, GoToLabel

void TSWFActionSetTarget::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionSetTarget>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    TargetName = other.TargetName;
}
void TSWFActionSetTarget::ReadBody(TBitsEngine& be) { TargetName = be.ReadString(); }
void TSWFActionSetTarget::WriteBody(TBitsEngine& be) { be.WriteString(TargetName); }
void TSWFActionSetTarget::LoadFromXml(const TXmlNode& node) { TargetName = node.AttrStr("TargetName"); }
void TSWFActionSetTarget::SaveToXml(TXmlNode node) { node.SetAttr("TargetName", TargetName); }

void TSWFActionGoToLabel::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionGoToLabel>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    Label = other.Label;
}
void TSWFActionGoToLabel::ReadBody(TBitsEngine& be) { Label = be.ReadString(); }
void TSWFActionGoToLabel::WriteBody(TBitsEngine& be) { be.WriteString(Label); }
void TSWFActionGoToLabel::LoadFromXml(const TXmlNode& node) { Label = node.AttrStr("Label"); }
void TSWFActionGoToLabel::SaveToXml(TXmlNode node) { node.SetAttr("Label", Label); }

// ---------------------------------------------------------------- WaitForFrame2

void TSWFActionWaitForFrame2::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionWaitForFrame2>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    SkipCount = other.SkipCount;
}
void TSWFActionWaitForFrame2::ReadBody(TBitsEngine& be) { SkipCount = be.ReadByte(); }
void TSWFActionWaitForFrame2::WriteBody(TBitsEngine& be) { be.WriteByte(SkipCount); }
void TSWFActionWaitForFrame2::LoadFromXml(const TXmlNode& node) {
    SkipCount = static_cast<uint8_t>(GetAttrDefault(node, "SkipCount", int64_t(0)));
}
void TSWFActionWaitForFrame2::SaveToXml(TXmlNode node) { node.SetAttr("SkipCount", static_cast<int>(SkipCount)); }

// ---------------------------------------------------------------- Push

void TPushValueInfo::SetValue(const TPushValue& value) {
    IsValid = true;
    Value = value;
    switch (value.Kind()) {
        case TPushValueKind::Empty:
        case TPushValueKind::Undefined:
            ValueType = kPushUndefined;
            Value = TPushValue::Undefined();
            break;
        case TPushValueKind::Null: ValueType = kPushNull; break;
        case TPushValueKind::Integer: ValueType = kPushInteger; break;
        case TPushValueKind::Single: ValueType = kPushFloat; break;
        case TPushValueKind::Double: ValueType = kPushDouble; break;
        case TPushValueKind::Boolean: ValueType = kPushBoolean; break;
        case TPushValueKind::Constant8: ValueType = kPushConstant8; break;
        case TPushValueKind::Constant16: ValueType = kPushConstant16; break;
        case TPushValueKind::Register: ValueType = kPushRegister; break;
        case TPushValueKind::String:
            if (value.AsString() == "FlashVar_undefined") {
                ValueType = kPushUndefined;
                Value = TPushValue::Undefined();
            } else if (value.AsString() == "FlashVar_null") {
                ValueType = kPushNull;
                Value = TPushValue::Null();
            } else {
                ValueType = kPushString;
            }
            break;
    }
}

size_t TSWFActionPush::AddValue(const TPushValue& value) {
    auto info = std::make_unique<TPushValueInfo>();
    info->SetValue(value);
    Values.push_back(std::move(info));
    return Values.size() - 1;
}

int TSWFActionPush::RequiredVersion() const {
    for (const auto& info : Values)
        if (info->ValueType > kPushFloat) return 5;
    return 4;
}

void TSWFActionPush::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionPush>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    for (const auto& info : other.Values) {
        auto copy = std::make_unique<TPushValueInfo>(*info);
        Values.push_back(std::move(copy));
    }
}

void TSWFActionPush::ReadBody(TBitsEngine& be) {
    int64_t consumed = 0;
    TPushValue previous;
    while (consumed < BodySize) {
        uint8_t type = be.ReadByte();
        ++consumed;
        TPushValue value;
        switch (type) {
            case kPushString: {
                std::string text = be.ReadString();
                consumed += static_cast<int64_t>(text.size()) + 1;
                value = TPushValue(std::move(text));
                break;
            }
            case kPushFloat:
                value = TPushValue(std::bit_cast<float>(be.ReadDWord()));
                consumed += 4;
                break;
            case kPushNull: value = TPushValue::Null(); break;
            case kPushUndefined: value = TPushValue::Undefined(); break;
            case kPushRegister:
                value = TPushValue::Register(be.ReadByte());
                consumed += 1;
                break;
            case kPushBoolean:
                value = TPushValue(int64_t(be.ReadByte()));
                consumed += 1;
                break;
            case kPushDouble: {
                // The high half comes first, each half little-endian.
                uint64_t high = be.ReadDWord();
                uint64_t low = be.ReadDWord();
                value = TPushValue(std::bit_cast<double>(high << 32 | low));
                consumed += 8;
                break;
            }
            case kPushInteger:
                value = TPushValue(int64_t(static_cast<int32_t>(be.ReadDWord())));
                consumed += 4;
                break;
            case kPushConstant8:
                value = TPushValue::Constant8(be.ReadByte());
                consumed += 1;
                break;
            case kPushConstant16:
                value = TPushValue::Constant16(be.ReadWord());
                consumed += 2;
                break;
            default:
                value = previous;
                break;
        }
        auto info = std::make_unique<TPushValueInfo>();
        info->SetValue(value);
        // The type read wins over the classified one; an unknown type byte
        // is kept as it is, so it is written back unchanged.
        info->ValueType = type;
        Values.push_back(std::move(info));
        previous = value;
    }
}

void TSWFActionPush::WriteBody(TBitsEngine& be) {
    for (const auto& info : Values) {
        if (!info->IsValid) continue;
        be.WriteByte(info->ValueType);
        const TPushValue& value = info->Value;
        switch (info->ValueType) {
            case kPushString: be.WriteString(value.AsString(), true, false); break;
            case kPushFloat: be.WriteDWord(std::bit_cast<uint32_t>(value.AsSingle())); break;
            case kPushRegister:
            case kPushBoolean:
            case kPushConstant8: be.WriteByte(static_cast<uint8_t>(value.AsInteger())); break;
            case kPushDouble: {
                uint64_t bits = std::bit_cast<uint64_t>(value.AsDouble());
                be.WriteDWord(static_cast<uint32_t>(bits >> 32));
                be.WriteDWord(static_cast<uint32_t>(bits));
                break;
            }
            case kPushInteger: be.WriteInteger(static_cast<int32_t>(value.AsInteger())); break;
            case kPushConstant16: be.WriteWord(static_cast<uint16_t>(value.AsInteger())); break;
            default: break;
        }
    }
}

void TSWFActionPush::SaveToXml(TXmlNode node) {
    for (const auto& info : Values) {
        TXmlNode child = node.AddChild("Variable");
        // Types without a name (read from a file) are saved by number.
        child.SetAttr("Type", info->ValueType < kPushDefault ? std::string(PushTypeName(info->ValueType))
                                                              : std::to_string(info->ValueType));
        bool escaped = false;
        std::string text = EscapeLineBreaks(info->ValueType == kPushBoolean ? BoolToStr(info->Value.AsBoolean())
                                                                             : info->Value.AsString(), escaped);
        if (escaped) child.SetAttrBool("sp", true);
        // A text of blanks only would be dropped by an XML parser as layout.
        bool blank = !text.empty() && text.find_first_not_of(" \t\r\n") == std::string::npos;
        if (blank) child.AddCData(text);
        else if (!text.empty()) child.SetText(text);
    }
}

namespace {

bool ParsesAsInteger(const std::string& text, int64_t& value) {
    try {
        value = StrToInt64(text);
        return value >= INT32_MIN && value <= INT32_MAX;
    } catch (const EConvertError&) {
        return false;
    }
}

bool ParsesAsFloat(const std::string& text, double& value) {
    try {
        value = StrToFloat(text);
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

}  // namespace

void TSWFActionPush::LoadFromXml(const TXmlNode& node) {
    for (const TXmlNode& child : node.ChildElements()) {
        std::string typeName = child.HasAttribute("Type") ? child.AttrStr("Type").substr(0, 10) : "def";
        std::string text = child.HasAttribute("sp") ? UnescapeLineBreaks(child.Text()) : child.Text();
        const std::string lowered = AnsiLowerCase(typeName);
        int type = -1;
        for (int t = 0; t <= kPushDefault && type < 0; ++t)
            if (lowered == kPushTypeNames[t]) type = t;
        int64_t number = 0;
        if (type < 0 && ParsesAsInteger(typeName, number) && number >= kPushDefault && number <= 255) {
            auto info = std::make_unique<TPushValueInfo>();
            info->SetValue(TPushValue(text));
            info->ValueType = static_cast<uint8_t>(number);
            Values.push_back(std::move(info));
            continue;
        }
        if (type < 0) throw EConvertError(FormatStr("Unknown push value type \"%s\"", typeName.c_str()));
        switch (type) {
            case kPushString:
            case kPushNull:
            case kPushUndefined:
                GetValueInfo(AddValue(TPushValue(text))).SetValueType(static_cast<uint8_t>(type));
                break;
            case kPushFloat:
            case kPushDouble:
                GetValueInfo(AddValue(TPushValue(StrToFloat(text)))).SetValueType(static_cast<uint8_t>(type));
                break;
            case kPushBoolean: GetValueInfo(AddValue(TPushValue(StrToBool(text)))).SetValueType(kPushBoolean); break;
            case kPushRegister:
            case kPushInteger:
            case kPushConstant8:
            case kPushConstant16: {
                int64_t value = StrToInt64(text);
                if (value < INT32_MIN || value > INT32_MAX)
                    throw EConvertError(FormatStr("'%s' is not a valid integer value", text.c_str()));
                GetValueInfo(AddValue(TPushValue(value))).SetValueType(static_cast<uint8_t>(type));
                break;
            }
            default: {
                double real = 0;
                if (ParsesAsInteger(text, number)) AddValue(TPushValue(number));
                else if (ParsesAsFloat(text, real)) AddValue(TPushValue(real));
                else if (AnsiSameText(text, "true") || AnsiSameText(text, "false"))
                    AddValue(TPushValue(AnsiSameText(text, "true")));
                else AddValue(TPushValue(text));
                break;
            }
        }
    }
}

// ---------------------------------------------------------------- Jump, If

void TSWFActionJump::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionJump>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    BranchOffset = other.BranchOffset;
    OffsetGiven = other.OffsetGiven;
}

void TSWFActionJump::ReadBody(TBitsEngine& be) { SetBranchOffset(static_cast<int16_t>(be.ReadWord())); }

void TSWFActionJump::WriteAction(TBitsEngine& be) {
    StartPosition = static_cast<int32_t>(be.Stream.GetPosition());
    TSWFAction::WriteAction(be);
}

void TSWFActionJump::WriteBody(TBitsEngine& be) {
    TSWFOffsetMarker* marker = LabelMarker.Get();
    if (!OffsetGiven && marker) {
        marker->SignedField = true;
        marker->FieldPosition = StartPosition + 3;
        marker->WriteOffset(be);
    } else {
        be.WriteWord(static_cast<uint16_t>(BranchOffset));
    }
}

void TSWFActionJump::LoadFromXml(const TXmlNode& node) {
    std::string label = node.AttrStrDef("Label", "");
    if (!label.empty()) GetLabel().Label = label;
    if (node.HasAttribute("Offset")) SetBranchOffset(static_cast<int16_t>(node.AttrInt("Offset")));
}

// A branch whose target lies outside its block (a jump to the end of the
// previous block, say) has no marker in the list: its offset is saved.
void TSWFActionJump::SaveToXml(TXmlNode node) {
    TSWFOffsetMarker& marker = GetLabel();
    node.SetAttr("Label", marker.Label);
    if (OffsetGiven && BranchOffset != 0 && marker.HeldByOwner()) node.SetAttr("Offset", static_cast<int>(BranchOffset));
}

// ---------------------------------------------------------------- GetURL2

void TSWFActionGetURL2::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionGetURL2>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    LoadTargetFlag = other.LoadTargetFlag;
    LoadVariablesFlag = other.LoadVariablesFlag;
    SendVarsMethod = other.SendVarsMethod;
}

void TSWFActionGetURL2::ReadBody(TBitsEngine& be) {
    uint8_t flags = be.ReadByte();
    LoadVariablesFlag = CheckBit(flags, 8);
    LoadTargetFlag = CheckBit(flags, 7);
    SendVarsMethod = flags & 3;
}

void TSWFActionGetURL2::WriteBody(TBitsEngine& be) {
    be.WriteBit(LoadVariablesFlag);
    be.WriteBit(LoadTargetFlag);
    be.WriteBits(0, 4);
    be.WriteBits(SendVarsMethod, 2);
}

void TSWFActionGetURL2::LoadFromXml(const TXmlNode& node) {
    std::string method = GetAttrDefault(node, "Method", std::string());
    SendVarsMethod = AnsiSameText(method, "GET") ? 1 : AnsiSameText(method, "POST") ? 2 : 0;
    LoadTargetFlag = node.AttrBool("LoadTargetFlag");
    LoadVariablesFlag = node.AttrBool("LoadVariablesFlag");
}

void TSWFActionGetURL2::SaveToXml(TXmlNode node) {
    node.SetAttr("Method", SendVarsMethod == 1 ? "GET" : SendVarsMethod == 2 ? "POST" : "");
    node.SetAttrBool("LoadTargetFlag", LoadTargetFlag);
    node.SetAttrBool("LoadVariablesFlag", LoadVariablesFlag);
}

// ---------------------------------------------------------------- GotoFrame2

void TSWFActionGotoFrame2::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionGotoFrame2>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    PlayFlag = other.PlayFlag;
    SceneBiasFlag = other.SceneBiasFlag;
    if (other.SceneBiasFlag) SceneBias = other.SceneBias;
}

void TSWFActionGotoFrame2::ReadBody(TBitsEngine& be) {
    uint8_t flags = be.ReadByte();
    SceneBiasFlag = CheckBit(flags, 2);
    PlayFlag = CheckBit(flags, 1);
    if (SceneBiasFlag) SceneBias = be.ReadWord();
}

void TSWFActionGotoFrame2::WriteBody(TBitsEngine& be) {
    be.WriteBits(0, 6);
    be.WriteBit(SceneBiasFlag);
    be.WriteBit(PlayFlag);
    if (SceneBiasFlag) be.WriteWord(SceneBias);
}

void TSWFActionGotoFrame2::LoadFromXml(const TXmlNode& node) {
    PlayFlag = node.AttrBool("PlayFlag");
    if (node.HasAttribute("SceneBias")) {
        SceneBias = static_cast<uint16_t>(node.AttrInt("SceneBias"));
        SceneBiasFlag = true;
    }
}

void TSWFActionGotoFrame2::SaveToXml(TXmlNode node) {
    node.SetAttrBool("PlayFlag", PlayFlag);
    if (SceneBiasFlag) node.SetAttr("SceneBias", static_cast<int>(SceneBias));
}
