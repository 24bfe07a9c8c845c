#include "swf/names.h"

#include <cctype>

#include "platform/codepage.h"
#include "swf/tag_table.h"

namespace {

struct ActionRow {
    uint8_t code;
    const char* name;
};

const ActionRow kActionNames[] = {
    {0x04, "NextFrame"}, {0x05, "PreviousFrame"}, {0x06, "Play"}, {0x07, "Stop"}, {0x08, "ToggleQuality"},
    {0x09, "StopSounds"}, {0x0A, "Add"}, {0x0B, "Subtract"}, {0x0C, "Multiply"}, {0x0D, "Divide"},
    {0x0E, "Equals"}, {0x0F, "Less"}, {0x10, "And"}, {0x11, "Or"}, {0x12, "Not"}, {0x13, "StringEquals"},
    {0x14, "StringLength"}, {0x15, "StringExtract"}, {0x17, "Pop"}, {0x18, "ToInteger"},
    {0x1C, "GetVariable"}, {0x1D, "SetVariable"}, {0x20, "SetTarget2"}, {0x21, "StringAdd"},
    {0x22, "GetProperty"}, {0x23, "SetProperty"}, {0x24, "CloneSprite"}, {0x25, "RemoveSprite"},
    {0x26, "Trace"}, {0x27, "StartDrag"}, {0x28, "EndDrag"}, {0x29, "StringLess"}, {0x2A, "Throw"},
    {0x2B, "CastOp"}, {0x2C, "ImplementsOp"}, {0x2D, "FSCommand2"}, {0x30, "RandomNumber"},
    {0x31, "MBStringLength"}, {0x32, "CharToAscii"}, {0x33, "AsciiToChar"}, {0x34, "GetTime"},
    {0x35, "MBStringExtract"}, {0x36, "MBCharToAscii"}, {0x37, "MBAsciiToChar"}, {0x3A, "Delete"},
    {0x3B, "Delete2"}, {0x3C, "DefineLocal"}, {0x3D, "CallFunction"}, {0x3E, "Return"}, {0x3F, "Modulo"},
    {0x40, "NewObject"}, {0x41, "DefineLocal2"}, {0x42, "InitArray"}, {0x43, "InitObject"}, {0x44, "TypeOf"},
    {0x45, "TargetPath"}, {0x46, "Enumerate"}, {0x47, "Add2"}, {0x48, "Less2"}, {0x49, "Equals2"},
    {0x4A, "ToNumber"}, {0x4B, "ToString"}, {0x4C, "PushDuplicate"}, {0x4D, "StackSwap"},
    {0x4E, "GetMember"}, {0x4F, "SetMember"}, {0x50, "Increment"}, {0x51, "Decrement"},
    {0x52, "CallMethod"}, {0x53, "NewMethod"}, {0x54, "InstanceOf"}, {0x55, "Enumerate2"},
    {0x60, "BitAnd"}, {0x61, "BitOr"}, {0x62, "BitXor"}, {0x63, "BitLShift"}, {0x64, "BitRShift"},
    {0x65, "BitURShift"}, {0x66, "StrictEquals"}, {0x67, "Greater"}, {0x68, "StringGreater"},
    {0x69, "Extends"}, {0x81, "GotoFrame"}, {0x83, "GetURL"}, {0x87, "StoreRegister"},
    {0x88, "ConstantPool"}, {0x8A, "WaitForFrame"}, {0x8B, "SetTarget"}, {0x8C, "GoToLabel"},
    {0x8D, "WaitForFrame2"}, {0x8E, "DefineFunction2"}, {0x8F, "Try"}, {0x94, "With"}, {0x96, "Push"},
    {0x99, "Jump"}, {0x9A, "GetURL2"}, {0x9B, "DefineFunction"}, {0x9D, "If"}, {0x9E, "Call"},
    {0x9F, "GotoFrame2"}, {0xFE, "ByteCode"}, {0xFF, "Offset marker (only for work)"},
};

const char* const kFilterNames[] = {"DropShadow", "Blur", "Glow", "Bevel", "GradientGlow",
                                    "Convolution", "ColorMatrix", "GradientBevel"};

struct FillRow {
    uint8_t type;
    const char* name;
};

const FillRow kFillNames[] = {
    {0x00, "Solid"}, {0x10, "LinearGradient"}, {0x12, "RadialGradient"}, {0x13, "FocalGradient"},
    {0x40, "TileBitmap"}, {0x41, "ClipBitmap"}, {0x42, "NonSmoothTileBitmap"}, {0x43, "NonSmoothClipBitmap"},
};

}  // namespace

std::string TagIdToName(uint16_t code) {
    if (const TTagDescriptor* row = FindTagDescriptor(code)) return row->Name;
    return "Unknown " + std::to_string(code);
}

int32_t TagNameToId(const std::string& name) {
    int32_t result = -1;
    bool found = false;
    for (const TTagDescriptor& row : TagDescriptors())
        if (AnsiSameText(name, row.Name)) {
            result = row.Code;
            found = true;
            break;
        }
    if (!found && name.rfind("tag", 0) == 0) {
        std::string digits = name.substr(3);
        if (!digits.empty() && digits.size() <= 9) {
            bool allDigits = true;
            for (char c : digits) allDigits = allDigits && std::isdigit(static_cast<unsigned char>(c));
            if (allDigits) result = std::stoi(digits);
        }
        // Record headers hold 10-bit codes: anything larger names no tag.
        if (result > 1023) result = -1;
    }
    return result == kErrorTagCode ? -1 : result;
}

bool IsRawTagElementName(const std::string& name) {
    if (name.size() <= 3 || name.rfind("tag", 0) != 0) return false;
    for (size_t i = 3; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    return TagNameToId(name) >= 0;
}

std::string ActionCodeToName(uint8_t code, bool withPrefix) {
    for (const ActionRow& row : kActionNames)
        if (row.code == code) return (withPrefix && code != 0xFF ? "Action" : "") + std::string(row.name);
    return "Unknown " + std::to_string(code);
}

int32_t ActionNameToCode(const std::string& name) {
    if (AnsiSameText(name, "Offset")) return 0xFF;
    for (const ActionRow& row : kActionNames)
        if (AnsiSameText(name, row.name)) return row.code;
    return -1;
}

bool IsKnownActionCode(uint8_t code) {
    for (const ActionRow& row : kActionNames)
        if (row.code == code) return true;
    return false;
}

uint8_t FilterNameToId(const std::string& name) {
    for (uint8_t i = 0; i < 8; ++i)
        if (AnsiSameText(name, kFilterNames[i])) return i;
    return 0;
}

std::string FilterIdToName(uint8_t id) { return id < 8 ? kFilterNames[id] : std::string(); }

std::string FillStyleToName(uint8_t type, bool withPrefix) {
    std::string name;
    for (const FillRow& row : kFillNames)
        if (row.type == (type & 0x7F)) name = row.name;
    return withPrefix ? "SWFFill" + name : name;
}

uint8_t FillStyleFromName(const std::string& name) {
    for (const FillRow& row : kFillNames)
        if (AnsiSameText(name, row.name)) return row.type;
    return 0x00;
}

std::unique_ptr<TSWFObject> CreateTagByCode(uint16_t code) {
    const TTagDescriptor* row = FindTagDescriptor(code);
    if (row && row->Create) return row->Create();
    auto raw = std::make_unique<TSWFByteCodeTag>();
    raw->Name = "Uniknow tag";
    raw->RealCode = code;
    return raw;
}

std::unique_ptr<TSWFObject> CloneTag(const TSWFObject& source) {
    std::unique_ptr<TSWFObject> copy = CreateTagByCode(source.TagCode);
    copy->CopyFieldsFrom(source);
    return copy;
}

const std::string& ChooseString(size_t index, const std::vector<std::string>& strings) { return strings.at(index); }

int IndexOfText(const std::string& text, const std::vector<std::string>& strings) {
    for (size_t i = 0; i < strings.size(); ++i)
        if (AnsiSameText(text, strings[i])) return static_cast<int>(i);
    return -1;
}

int IndexOfPCharText(const std::string& text, const char* const* strings, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (strings[i] && AnsiSameText(text, strings[i])) return static_cast<int>(i);
    return -1;
}
