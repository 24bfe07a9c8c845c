#include "swf/actions_swf5.h"

#include "platform/codepage.h"
#include "platform/errors.h"
#include "swf/names.h"
#include "swf/xml_form.h"

namespace {

// A text of blanks only would be dropped by an XML parser as layout, so it
// goes into a CDATA section.
void SetNodeText(TXmlNode node, const std::string& text) {
    if (text.empty()) return;
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) node.AddCData(text);
    else node.SetText(text);
}

// The size field of a block owner: the stored value, or through the marker.
void WriteSizeField(TBitsEngine& be, bool given, uint16_t value, TSWFOffsetMarker* marker, int32_t startPosition) {
    if (!given && marker) {
        marker->FieldPosition = startPosition + 3 + static_cast<int32_t>(be.Stream.GetPosition());
        marker->WriteOffset(be);
    } else {
        be.WriteWord(value);
    }
}

}  // namespace

// ---------------------------------------------------------------- StoreRegister

void TSWFActionStoreRegister::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionStoreRegister>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    RegisterNumber = other.RegisterNumber;
}
void TSWFActionStoreRegister::ReadBody(TBitsEngine& be) { RegisterNumber = be.ReadByte(); }
void TSWFActionStoreRegister::WriteBody(TBitsEngine& be) { be.WriteByte(RegisterNumber); }
void TSWFActionStoreRegister::LoadFromXml(const TXmlNode& node) {
    RegisterNumber = static_cast<uint8_t>(node.AttrInt("RegisterNumber"));
}
void TSWFActionStoreRegister::SaveToXml(TXmlNode node) {
    node.SetAttr("RegisterNumber", static_cast<int>(RegisterNumber));
}

// ---------------------------------------------------------------- ConstantPool

void TSWFActionConstantPool::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionConstantPool>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    std::vector<std::string> added = other.Constants;
    Constants.insert(Constants.end(), added.begin(), added.end());
}

void TSWFActionConstantPool::ReadBody(TBitsEngine& be) {
    int64_t start = be.Stream.GetPosition();
    uint16_t count = be.ReadWord();
    // No reserve(count): a damaged count must fail on the reads, not allocate.
    for (uint16_t i = 0; i < count; ++i) Constants.push_back(be.ReadString());
    int64_t consumed = be.Stream.GetPosition() - start;
    if (consumed != BodySize) BodySize = static_cast<uint16_t>(consumed);
}

void TSWFActionConstantPool::WriteBody(TBitsEngine& be) {
    if (Constants.size() > 0xFFFF)
        throw EWriteError(FormatStr("A constant pool holds %zu constants, more than 65535", Constants.size()));
    be.WriteWord(static_cast<uint16_t>(Constants.size()));
    for (const std::string& constant : Constants) be.WriteString(constant, true, false);
}

void TSWFActionConstantPool::SaveToXml(TXmlNode node) {
    for (const std::string& constant : Constants) {
        TXmlNode child = node.AddChild("Variable");
        bool escaped = false;
        std::string text = EscapeLineBreaks(constant, escaped);
        if (escaped) child.SetAttrBool("sp", true);
        SetNodeText(child, text);
    }
}

void TSWFActionConstantPool::LoadFromXml(const TXmlNode& node) {
    for (const TXmlNode& child : node.ChildElements()) {
        std::string text = child.Text();
        if (child.HasAttribute("sp")) text = UnescapeLineBreaks(text);
        Constants.push_back(std::move(text));
    }
}

// ---------------------------------------------------------------- With

void TSWFActionWith::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionWith>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    SizeGiven = other.SizeGiven;
    if (SizeGiven) Size = other.Size;
}
void TSWFActionWith::ReadBody(TBitsEngine& be) { SetBlockSize(be.ReadWord()); }
void TSWFActionWith::WriteAction(TBitsEngine& be) {
    StartPosition = static_cast<int32_t>(be.Stream.GetPosition());
    TSWFAction::WriteAction(be);
}
void TSWFActionWith::WriteBody(TBitsEngine& be) {
    WriteSizeField(be, SizeGiven, Size, LabelMarker.Get(), StartPosition);
}
void TSWFActionWith::LoadFromXml(const TXmlNode& node) { GetLabel().Label = node.AttrStr("Label"); }
void TSWFActionWith::SaveToXml(TXmlNode node) { node.SetAttr("Label", GetLabel().Label); }

// ---------------------------------------------------------------- DefineFunction

void TSWFActionDefineFunction::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionDefineFunction>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    CodeSizeGiven = other.CodeSizeGiven;
    if (CodeSizeGiven) CodeSize = other.CodeSize;
    FunctionName = other.FunctionName;
    Params = other.Params;
}

void TSWFActionDefineFunction::ReadBody(TBitsEngine& be) {
    FunctionName = be.ReadString();
    uint16_t count = be.ReadWord();
    for (uint16_t i = 0; i < count; ++i) Params.push_back(be.ReadString());
    SetCodeSize(be.ReadWord());
}

void TSWFActionDefineFunction::WriteAction(TBitsEngine& be) {
    StartPosition = static_cast<int32_t>(be.Stream.GetPosition());
    TSWFAction::WriteAction(be);
}

void TSWFActionDefineFunction::WriteBody(TBitsEngine& be) {
    if (Params.size() > 0xFFFF) throw EWriteError("A function has more than 65535 parameters");
    be.WriteString(FunctionName, true, false);
    be.WriteWord(static_cast<uint16_t>(Params.size()));
    for (const std::string& param : Params) be.WriteString(param, true, false);
    WriteSizeField(be, CodeSizeGiven, CodeSize, LabelMarker.Get(), StartPosition);
}

void TSWFActionDefineFunction::LoadFromXml(const TXmlNode& node) {
    FunctionName = node.AttrStr("Name");
    GetLabel().Label = node.AttrStr("Label");
    for (const TXmlNode& child : node.ChildElements()) Params.push_back(child.Text());
}

void TSWFActionDefineFunction::SaveToXml(TXmlNode node) {
    node.SetAttr("Name", FunctionName);
    node.SetAttr("Label", GetLabel().Label);
    for (const std::string& param : Params) SetNodeText(node.AddChild("Variable"), param);
}

// ---------------------------------------------------------------- DefineFunction2

void TSWFActionDefineFunction2::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionDefineFunction2>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    CodeSizeGiven = other.CodeSizeGiven;
    if (CodeSizeGiven) CodeSize = other.CodeSize;
    FunctionName = other.FunctionName;
    Params = other.Params;
    RegisterCount = other.RegisterCount;
    PreloadArguments = other.PreloadArguments;
    PreloadGlobal = other.PreloadGlobal;
    PreloadParent = other.PreloadParent;
    PreloadRoot = other.PreloadRoot;
    PreloadSuper = other.PreloadSuper;
    PreloadThis = other.PreloadThis;
    SuppressArguments = other.SuppressArguments;
    SuppressSuper = other.SuppressSuper;
    SuppressThis = other.SuppressThis;
}

void TSWFActionDefineFunction2::ReadBody(TBitsEngine& be) {
    FunctionName = be.ReadString();
    uint16_t count = be.ReadWord();
    RegisterCount = be.ReadByte();
    uint8_t flags = be.ReadByte();
    PreloadParent = CheckBit(flags, 8);
    PreloadRoot = CheckBit(flags, 7);
    SuppressSuper = CheckBit(flags, 6);
    PreloadSuper = CheckBit(flags, 5);
    SuppressArguments = CheckBit(flags, 4);
    PreloadArguments = CheckBit(flags, 3);
    SuppressThis = CheckBit(flags, 2);
    PreloadThis = CheckBit(flags, 1);
    PreloadGlobal = CheckBit(be.ReadByte(), 1);
    for (uint16_t i = 0; i < count; ++i) {
        TSWFFunctionParam param;
        param.Register = be.ReadByte();
        param.Name = be.ReadString();
        Params.push_back(std::move(param));
    }
    SetCodeSize(be.ReadWord());
}

void TSWFActionDefineFunction2::WriteAction(TBitsEngine& be) {
    StartPosition = static_cast<int32_t>(be.Stream.GetPosition());
    TSWFAction::WriteAction(be);
}

void TSWFActionDefineFunction2::WriteBody(TBitsEngine& be) {
    if (Params.size() > 0xFFFF) throw EWriteError("A function has more than 65535 parameters");
    be.WriteString(FunctionName, true, false);
    be.WriteWord(static_cast<uint16_t>(Params.size()));
    be.WriteByte(RegisterCount);
    be.WriteBit(PreloadParent);
    be.WriteBit(PreloadRoot);
    be.WriteBit(SuppressSuper);
    be.WriteBit(PreloadSuper);
    be.WriteBit(SuppressArguments);
    be.WriteBit(PreloadArguments);
    be.WriteBit(SuppressThis);
    be.WriteBit(PreloadThis);
    be.WriteBits(0, 7);
    be.WriteBit(PreloadGlobal);
    for (const TSWFFunctionParam& param : Params) {
        be.WriteByte(param.Register);
        be.WriteString(param.Name, true, false);
    }
    WriteSizeField(be, CodeSizeGiven, CodeSize, LabelMarker.Get(), StartPosition);
}

namespace {

// The flag attributes of DefineFunction2, in the order of the flag bits.
struct TFlagAttr {
    const char* name;
    bool TSWFActionDefineFunction2::*flag;
};
const TFlagAttr kFunction2Flags[] = {
    {"PreloadParent", &TSWFActionDefineFunction2::PreloadParent},
    {"PreloadRoot", &TSWFActionDefineFunction2::PreloadRoot},
    {"SuppressSuper", &TSWFActionDefineFunction2::SuppressSuper},
    {"PreloadSuper", &TSWFActionDefineFunction2::PreloadSuper},
    {"SuppressArguments", &TSWFActionDefineFunction2::SuppressArguments},
    {"PreloadArguments", &TSWFActionDefineFunction2::PreloadArguments},
    {"SuppressThis", &TSWFActionDefineFunction2::SuppressThis},
    {"PreloadThis", &TSWFActionDefineFunction2::PreloadThis},
    {"PreloadGlobal", &TSWFActionDefineFunction2::PreloadGlobal},
};

}  // namespace

void TSWFActionDefineFunction2::LoadFromXml(const TXmlNode& node) {
    FunctionName = node.AttrStr("Name");
    RegisterCount = static_cast<uint8_t>(node.AttrInt("RegisterCount"));
    GetLabel().Label = node.AttrStr("Label");
    for (const TXmlNode& child : node.ChildElements())
        AddParam(child.Text(), static_cast<uint8_t>(child.AttrInt("Register")));
    for (const TFlagAttr& attr : kFunction2Flags) this->*attr.flag = GetAttrDefault(node, attr.name, false);
}

void TSWFActionDefineFunction2::SaveToXml(TXmlNode node) {
    node.SetAttr("Name", FunctionName);
    node.SetAttr("RegisterCount", static_cast<int>(RegisterCount));
    node.SetAttr("Label", GetLabel().Label);
    for (const TFlagAttr& attr : kFunction2Flags)
        if (this->*attr.flag) node.SetAttrBool(attr.name, true);
    for (const TSWFFunctionParam& param : Params) {
        TXmlNode child = node.AddChild("Variable");
        child.SetAttr("Register", static_cast<int>(param.Register));
        SetNodeText(child, param.Name);
    }
}

// ---------------------------------------------------------------- Try

void TSWFActionTry::CopyFieldsFrom(const TSWFAction& source) {
    const auto& other = SourceAs<TSWFActionTry>(source, *this);
    TSWFAction::CopyFieldsFrom(source);
    CatchName = other.CatchName;
    SizesGiven = other.SizesGiven;
    CatchBlockFlag = other.CatchBlockFlag;
    CatchInRegisterFlag = other.CatchInRegisterFlag;
    CatchRegister = other.CatchRegister;
    FinallyBlockFlag = other.FinallyBlockFlag;
    if (SizesGiven) {
        TrySize = other.TrySize;
        CatchSize = other.CatchSize;
        FinallySize = other.FinallySize;
    }
}

void TSWFActionTry::ReadBody(TBitsEngine& be) {
    uint8_t flags = be.ReadByte();
    CatchInRegisterFlag = CheckBit(flags, 3);
    FinallyBlockFlag = CheckBit(flags, 2);
    CatchBlockFlag = CheckBit(flags, 1);
    SetTrySize(be.ReadWord());
    SetCatchSize(be.ReadWord());
    SetFinallySize(be.ReadWord());
    if (CatchInRegisterFlag) CatchRegister = be.ReadByte();
    else CatchName = be.ReadString();
}

void TSWFActionTry::WriteAction(TBitsEngine& be) {
    StartPosition = static_cast<int32_t>(be.Stream.GetPosition());
    for (TSWFTryOffsetMarker* marker : {TryMarker.Get(), CatchMarker.Get(), FinallyMarker.Get()})
        if (marker) marker->StartWrite();
    TSWFAction::WriteAction(be);
    // The try block's size counts from the end of this record.
    int32_t end = static_cast<int32_t>(be.Stream.GetPosition());
    for (TSWFTryOffsetMarker* marker : {TryMarker.Get(), CatchMarker.Get(), FinallyMarker.Get()})
        if (marker) marker->RecordEnd = end;
}

void TSWFActionTry::WriteBody(TBitsEngine& be) {
    be.WriteBits(0, 5);
    be.WriteBit(CatchInRegisterFlag);
    be.WriteBit(FinallyBlockFlag);
    be.WriteBit(CatchBlockFlag);
    if (SizesGiven) {
        be.WriteWord(TrySize);
        be.WriteWord(CatchSize);
        be.WriteWord(FinallySize);
    } else {
        WriteSizeField(be, false, TrySize, TryMarker.Get(), StartPosition);
        if (!CatchBlockFlag) {
            be.WriteWord(0);
        } else {
            if (CatchMarker.Get()) CatchMarker.Get()->PrevMarker = TryMarker.Get();
            WriteSizeField(be, false, CatchSize, CatchMarker.Get(), StartPosition);
        }
        if (!FinallyBlockFlag) {
            be.WriteWord(0);
        } else {
            if (FinallyMarker.Get())
                FinallyMarker.Get()->PrevMarker = CatchBlockFlag ? CatchMarker.Get() : TryMarker.Get();
            WriteSizeField(be, false, FinallySize, FinallyMarker.Get(), StartPosition);
        }
    }
    if (CatchInRegisterFlag) be.WriteByte(CatchRegister);
    else be.WriteString(CatchName, true, false);
}

void TSWFActionTry::LoadFromXml(const TXmlNode& node) {
    std::string catchText = node.AttrStr("Catch");
    try {
        int64_t number = StrToInt64(catchText);
        if (number < 0 || number > 255) throw EConvertError("not a register");
        CatchRegister = static_cast<uint8_t>(number);
        CatchInRegisterFlag = true;
    } catch (const EConvertError&) {
        CatchName = catchText;
        CatchInRegisterFlag = false;
    }
    GetTryLabel().Label = node.AttrStr("TryLabel");
    if (node.HasAttribute("CatchLabel")) {
        GetCatchLabel().Label = node.AttrStr("CatchLabel");
        CatchBlockFlag = true;
    }
    if (node.HasAttribute("FinallyLabel")) {
        GetFinallyLabel().Label = node.AttrStr("FinallyLabel");
        FinallyBlockFlag = true;
    }
}

void TSWFActionTry::SaveToXml(TXmlNode node) {
    if (CatchInRegisterFlag) node.SetAttr("Catch", static_cast<int>(CatchRegister));
    else node.SetAttr("Catch", CatchName);
    node.SetAttr("TryLabel", GetTryLabel().Label);
    if (CatchBlockFlag) node.SetAttr("CatchLabel", GetCatchLabel().Label);
    if (FinallyBlockFlag) node.SetAttr("FinallyLabel", GetFinallyLabel().Label);
}
