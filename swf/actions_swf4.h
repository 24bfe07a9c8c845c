// Action classes of SWF 3 and 4: frame control, URLs, the stack operators
// of SWF 4, Push with its typed values, and the Jump and If branches.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swf/actions.h"
#include "swf/push_value.h"

// An action without a body: its class only names its code and version.
#define TW_BODILESS_ACTION(Class, Base, Code) \
    class Class : public Base {               \
    public:                                   \
        Class() : Base(Code) {}               \
    };

// ---------------------------------------------------------------- SWF 3

TW_BODILESS_ACTION(TSWFActionNextFrame, TSWFAction, 0x04)
TW_BODILESS_ACTION(TSWFActionPreviousFrame, TSWFAction, 0x05)
TW_BODILESS_ACTION(TSWFActionPlay, TSWFAction, 0x06)
TW_BODILESS_ACTION(TSWFActionStop, TSWFAction, 0x07)
TW_BODILESS_ACTION(TSWFActionToggleQuality, TSWFAction, 0x08)
TW_BODILESS_ACTION(TSWFActionStopSounds, TSWFAction, 0x09)

class TSWFActionGotoFrame : public TSWFAction {
public:
    TSWFActionGotoFrame() : TSWFAction(0x81) {}
    uint16_t Frame = 0;

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

// The URL is written as UTF-8 and read back unconverted; Target is neither.
class TSWFActionGetUrl : public TSWFAction {
public:
    TSWFActionGetUrl() : TSWFAction(0x83) {}
    std::string Target;
    std::string URL;

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFActionWaitForFrame : public TSWFAction {
public:
    TSWFActionWaitForFrame() : TSWFAction(0x8A) {}
    uint16_t Frame = 0;
    uint8_t SkipCount = 0;

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFActionSetTarget : public TSWFAction {
public:
    TSWFActionSetTarget() : TSWFAction(0x8B) {}
    std::string TargetName;

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFActionGoToLabel : public TSWFAction {
public:
    TSWFActionGoToLabel() : TSWFAction(0x8C) {}
    std::string Label;

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

// ---------------------------------------------------------------- SWF 4

TW_BODILESS_ACTION(TSWFActionAdd, TSWFAction4, 0x0A)
TW_BODILESS_ACTION(TSWFActionSubtract, TSWFAction4, 0x0B)
TW_BODILESS_ACTION(TSWFActionMultiply, TSWFAction4, 0x0C)
TW_BODILESS_ACTION(TSWFActionDivide, TSWFAction4, 0x0D)
TW_BODILESS_ACTION(TSWFActionEquals, TSWFAction4, 0x0E)
TW_BODILESS_ACTION(TSWFActionLess, TSWFAction4, 0x0F)
TW_BODILESS_ACTION(TSWFActionAnd, TSWFAction4, 0x10)
TW_BODILESS_ACTION(TSWFActionOr, TSWFAction4, 0x11)
TW_BODILESS_ACTION(TSWFActionNot, TSWFAction4, 0x12)
TW_BODILESS_ACTION(TSWFActionStringEquals, TSWFAction4, 0x13)
TW_BODILESS_ACTION(TSWFActionStringLength, TSWFAction4, 0x14)
TW_BODILESS_ACTION(TSWFActionStringExtract, TSWFAction4, 0x15)
TW_BODILESS_ACTION(TSWFActionPop, TSWFAction4, 0x17)
TW_BODILESS_ACTION(TSWFActionToInteger, TSWFAction4, 0x18)
TW_BODILESS_ACTION(TSWFActionGetVariable, TSWFAction4, 0x1C)
TW_BODILESS_ACTION(TSWFActionSetVariable, TSWFAction4, 0x1D)
TW_BODILESS_ACTION(TSWFActionSetTarget2, TSWFAction4, 0x20)
TW_BODILESS_ACTION(TSWFActionStringAdd, TSWFAction4, 0x21)
TW_BODILESS_ACTION(TSWFActionGetProperty, TSWFAction4, 0x22)
TW_BODILESS_ACTION(TSWFActionSetProperty, TSWFAction4, 0x23)
TW_BODILESS_ACTION(TSWFActionCloneSprite, TSWFAction4, 0x24)
TW_BODILESS_ACTION(TSWFActionRemoveSprite, TSWFAction4, 0x25)
TW_BODILESS_ACTION(TSWFActionTrace, TSWFAction4, 0x26)
TW_BODILESS_ACTION(TSWFActionStartDrag, TSWFAction4, 0x27)
TW_BODILESS_ACTION(TSWFActionEndDrag, TSWFAction4, 0x28)
TW_BODILESS_ACTION(TSWFActionStringLess, TSWFAction4, 0x29)
TW_BODILESS_ACTION(TSWFActionFSCommand2, TSWFAction4, 0x2D)
TW_BODILESS_ACTION(TSWFActionRandomNumber, TSWFAction4, 0x30)
TW_BODILESS_ACTION(TSWFActionMBStringLength, TSWFAction4, 0x31)
TW_BODILESS_ACTION(TSWFActionCharToAscii, TSWFAction4, 0x32)
TW_BODILESS_ACTION(TSWFActionAsciiToChar, TSWFAction4, 0x33)
TW_BODILESS_ACTION(TSWFActionGetTime, TSWFAction4, 0x34)
TW_BODILESS_ACTION(TSWFActionMBStringExtract, TSWFAction4, 0x35)
TW_BODILESS_ACTION(TSWFActionMBCharToAscii, TSWFAction4, 0x36)
TW_BODILESS_ACTION(TSWFActionMBAsciiToChar, TSWFAction4, 0x37)
// A code of 0x80 or more with an empty body: written 9E 00 00.
TW_BODILESS_ACTION(TSWFActionCall, TSWFAction4, 0x9E)

// WaitForFrame2 takes its frame from the stack; its body is the number of
// actions to skip when the frame is not loaded yet.
class TSWFActionWaitForFrame2 : public TSWFAction4 {
public:
    TSWFActionWaitForFrame2() : TSWFAction4(0x8D) {}
    uint8_t SkipCount = 0;

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

// Push value types.
enum : uint8_t {
    kPushString = 0,
    kPushFloat = 1,
    kPushNull = 2,
    kPushUndefined = 3,
    kPushRegister = 4,
    kPushBoolean = 5,
    kPushDouble = 6,
    kPushInteger = 7,
    kPushConstant8 = 8,
    kPushConstant16 = 9,
    kPushDefault = 10,  // XML only: the type is worked out from the text
};

const char* PushTypeName(uint8_t type);

class TPushValueInfo {
public:
    TPushValue Value;
    uint8_t ValueType = 0;
    // False when the value has no push type; such a value is not written.
    bool IsValid = false;

    // Classifies the value: texts "FlashVar_null" and "FlashVar_undefined"
    // stand for null and undefined.
    void SetValue(const TPushValue& value);
    // The default type (10) leaves the type as it is.
    void SetValueType(uint8_t type) {
        if (type != kPushDefault) ValueType = type;
    }
};

class TSWFActionPush : public TSWFAction4 {
public:
    TSWFActionPush() : TSWFAction4(0x96) {}
    std::vector<std::unique_ptr<TPushValueInfo>> Values;

    size_t AddValue(const TPushValue& value);
    TPushValue GetValue(size_t index) const { return Values.at(index)->Value; }
    TPushValueInfo& GetValueInfo(size_t index) const { return *Values.at(index); }
    size_t GetValueCount() const { return Values.size(); }

    int RequiredVersion() const override;
    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFActionJump : public TSWFAction4 {
public:
    TSWFActionJump() : TSWFAction4(0x99) {}

    int16_t BranchOffset = 0;
    // True when BranchOffset is the value to write, not the marker's position.
    bool OffsetGiven = false;
    int32_t StartPosition = 0;

    // The branch target, created on first use.
    TSWFOffsetMarker& GetLabel() { return LabelMarker.GetOrCreate(); }
    void SetBranchOffset(int16_t value) {
        BranchOffset = value;
        OffsetGiven = true;
    }
    TMarkerSlot<TSWFOffsetMarker> LabelMarker;

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void WriteAction(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;

protected:
    explicit TSWFActionJump(uint8_t code) : TSWFAction4(code) {}
};

class TSWFActionIf : public TSWFActionJump {
public:
    TSWFActionIf() : TSWFActionJump(0x9D) {}
};

class TSWFActionGetURL2 : public TSWFAction4 {
public:
    TSWFActionGetURL2() : TSWFAction4(0x9A) {}
    bool LoadTargetFlag = false;
    bool LoadVariablesFlag = false;
    uint8_t SendVarsMethod = 0;  // 0 none, 1 GET, 2 POST

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFActionGotoFrame2 : public TSWFAction4 {
public:
    TSWFActionGotoFrame2() : TSWFAction4(0x9F) {}
    bool PlayFlag = false;
    uint16_t SceneBias = 0;
    bool SceneBiasFlag = false;

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};
